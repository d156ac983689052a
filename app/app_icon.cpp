#include "app/app_icon.h"

namespace lumivex {

QIcon AppIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QString(":/lumivex/icons/lumivex-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace lumivex
