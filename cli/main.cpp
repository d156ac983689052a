// lumivex-render: the command-line front end. See `lumivex-render --help`.
#include <csignal>
#include <iostream>

#include <unistd.h>

#include <QCoreApplication>

#include "cli/lumivex_render.h"

int main(int argc, char** argv) {
    // A write to a pipe whose reader has gone, or past the file size limit (ulimit -f), fails
    // with an error to report (and a temporary file to remove) instead of killing the program.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // Images need no QGuiApplication: QImage and its writers work under a core application.
    QCoreApplication app(argc, argv);
    return lumivex::RunLumivexRender(QCoreApplication::arguments(), std::cout, std::cerr,
                                     isatty(STDERR_FILENO) != 0);
}
