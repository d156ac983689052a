// lumivex-render: the command-line front end. See `lumivex-render --help`.
#include <iostream>

#include <QCoreApplication>

#include "cli/lumivex_render.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return lumivex::RunLumivexRender(QCoreApplication::arguments(), std::cout, std::cerr);
}
