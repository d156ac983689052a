// lumivex-render: the command-line front end. See `lumivex-render --help`.
#include <iostream>

#include <unistd.h>

#include <QCoreApplication>

#include "cli/lumivex_render.h"
#include "io/atomic_file.h"

int main(int argc, char** argv) {
    lumivex::IgnoreWriteSignals();
    // Images need no QGuiApplication: QImage and its writers work under a core application.
    QCoreApplication app(argc, argv);
    return lumivex::RunLumivexRender(QCoreApplication::arguments(), std::cout, std::cerr,
                                     isatty(STDERR_FILENO) != 0);
}
