// lumivex: the desktop application. See the README's "The desktop app".
#include "app/application.h"

int main(int argc, char** argv) {
    return lumivex::RunLumivex(argc, argv);
}
