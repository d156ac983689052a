#include "cli/check_command.h"

#include <exception>

#include <QFile>
#include <QJsonDocument>

#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "cli/scene_json.h"
#include "cli/standard_output.h"

namespace lumivex {

int RunCheck(const QString& scenePath, std::ostream& out, std::ostream& err,
             const SceneTextLoader& load, std::uint64_t maxSceneBytes) {
    // Diagnostics name the file exactly as it was given, in the bytes it was given in.
    const std::string fileName = QFile::encodeName(scenePath).toStdString();
    const InterruptWatch interrupt;
    const auto interrupted = [&] {
        err << kProgramName << ": interrupted\n";
        return kExitInterrupted;
    };
    try {
        FileContents contents = ReadSceneFile(scenePath, {maxSceneBytes, &InterruptWatch::Flag()});
        if (contents.problem == FileContents::Problem::Stopped) {
            return interrupted();
        }
        if (!contents.bytes) {
            err << kProgramName << ": " << contents.failure.toStdString()
                << (contents.problem == FileContents::Problem::TooLarge ? " (see --max-scene-size)"
                                                                        : "")
                << '\n';
            return kExitUnreadable;
        }
        const SceneLoadResult result = load(std::move(*contents.bytes), &InterruptWatch::Flag());
        if (result.stopped) {
            return interrupted();
        }
        const QByteArray json = QJsonDocument(LoadResultToJson(result)).toJson();

        const bool written =
            WriteStandardOutput(out, err, std::string_view(json.constData(), json.size()));
        // Warnings come before the stop diagnostic, as they do in the file.
        for (const SceneDiagnostic& warning : result.warnings) {
            err << FormatDiagnostic(fileName, warning, "warning");
        }
        if (result.diagnostic) {
            err << FormatDiagnostic(fileName, *result.diagnostic, "error");
        }
        if (!written) {
            return kExitUnreadable;
        }
        return result.diagnostic ? kExitDiagnostic : kExitOk;
    } catch (const std::exception& e) {
        err << kProgramName << ": " << LoadFailureMessage(fileName, e) << '\n';
    }
    return kExitLoadFailed;
}

}  // namespace lumivex
