#include "cli/lumivex_render.h"

#include "cli/check_command.h"
#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "cli/merge_command.h"
#include "cli/render_command.h"
#include "cli/standard_output.h"

namespace lumivex {

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
            return WriteStandardOutput(out, err, HelpText().toStdString()) ? kExitOk
                                                                           : kExitUnreadable;
        case CliRequest::Mode::Version:
            return WriteStandardOutput(out, err,
                                       std::string(kProgramName) + " " + LUMIVEX_VERSION + "\n")
                       ? kExitOk
                       : kExitUnreadable;
        case CliRequest::Mode::Check:
            return RunCheck(parsed.request->scenePath, out, err, LoadSceneText,
                            parsed.request->render.maxSceneBytes);
        case CliRequest::Mode::Render:
            return RunRender(*parsed.request, out, err, errIsTerminal);
        case CliRequest::Mode::Merge:
            return RunMerge(*parsed.request, err);
    }
    return kExitUsage;
}

}  // namespace lumivex
