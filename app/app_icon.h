// The program icon, built into the program in the sizes installed for the desktop.
#pragma once

#include <QIcon>

namespace lumivex {

QIcon AppIcon();

}  // namespace lumivex
