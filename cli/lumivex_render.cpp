#include "cli/lumivex_render.h"

#include "cli/check_command.h"
#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "cli/render_command.h"

namespace lumivex {

namespace {

int FinishOutput(std::ostream& out, std::ostream& err) {
    out.flush();
    if (!out) {
        err << kProgramName << ": cannot write to standard output\n";
        return kExitUnreadable;
    }
    return kExitOk;
}

}  // namespace

int RunLumivexRender(const QStringList& arguments, std::ostream& out, std::ostream& err,
                     bool errIsTerminal) {
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.request) {
        err << kProgramName << ": " << parsed.error.toStdString() << "\nRun '" << kProgramName
            << " --help' for usage.\n";
        return kExitUsage;
    }
    switch (parsed.request->mode) {
        case CliRequest::Mode::Help:
            out << HelpText().toStdString();
            return FinishOutput(out, err);
        case CliRequest::Mode::Version:
            out << kProgramName << ' ' << LUMIVEX_VERSION << '\n';
            return FinishOutput(out, err);
        case CliRequest::Mode::Check:
            return RunCheck(parsed.request->scenePath, out, err, LoadSceneText,
                            parsed.request->render.maxSceneBytes);
        case CliRequest::Mode::Render:
            return RunRender(*parsed.request, out, err, errIsTerminal);
    }
    return kExitUsage;
}

}  // namespace lumivex
