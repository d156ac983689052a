// The program around the main window: the display check, the command line and the event loop.
#pragma once

#include <QString>
#include <QStringList>

namespace lumivex {

inline constexpr char kFailedToStart[] = "Failed to initialize instance";

// Why no window could be shown with this environment, judged before Qt tries (Qt's X11
// platform ends the program when it cannot reach the display), or an empty string when a
// window may be possible. `platform` is QT_QPA_PLATFORM (a list separated by ';' or empty),
// `display` and `waylandDisplay` are DISPLAY and WAYLAND_DISPLAY.
QString MissingDisplay(const QString& platform, const QString& display,
                       const QString& waylandDisplay);

// The whole program: returns its exit status. Prints kFailedToStart to standard error and
// returns 1 when no window can be created. When the environment variable
// LUMIVEX_REPORT_RENDERED is set, prints "rendered SECONDS" on standard output each time a
// render is complete (scripts and CI use it to take a screenshot at the right time).
int RunLumivex(int argc, char** argv);

// The part of RunLumivex that needs the QApplication: the main window on the command line's
// scene file, until it is closed. Returns the event loop's exit status.
int RunMainWindow(const QStringList& arguments);

}  // namespace lumivex
