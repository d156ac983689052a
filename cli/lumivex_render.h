// lumivex-render as a function, so tests can run it without starting a process.
#pragma once

#include <ostream>

#include <QStringList>

namespace lumivex {

// Runs the program on `arguments` (program path first), writing to `out` and `err` as it would
// to standard output and standard error, and returns the exit status. `errIsTerminal` says
// whether standard error is a terminal, which shows a render's progress. Needs a
// QCoreApplication for --help, whose usage line names the program, and for image plugins.
int RunLumivexRender(const QStringList& arguments, std::ostream& out, std::ostream& err,
                     bool errIsTerminal = false);

}  // namespace lumivex
