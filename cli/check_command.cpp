#include "cli/check_command.h"

#include <new>
#include <stdexcept>

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "cli/scene_json.h"

namespace lumivex {

namespace {

QString Quoted(const QString& path) {
    return "'" + path + "'";
}

}  // namespace

FileContents ReadWholeFile(const QString& path) {
    // QFile would say "file to open is a directory"; name it plainly instead.
    if (QFileInfo(path).isDir()) {
        return {std::nullopt, "cannot read " + Quoted(path) + ": it is a directory"};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {std::nullopt, "cannot open " + Quoted(path) + ": " + file.errorString()};
    }
    // Read to the end in chunks rather than trusting size(), which is 0 for pipes and for
    // files under /proc.
    std::string bytes;
    if (file.size() > 0) {
        bytes.reserve(static_cast<std::size_t>(file.size()));
    }
    char chunk[64 * 1024];
    for (;;) {
        const qint64 count = file.read(chunk, sizeof chunk);
        if (count < 0) {
            return {std::nullopt, "cannot read " + Quoted(path) + ": " + file.errorString()};
        }
        if (count == 0) {
            break;
        }
        bytes.append(chunk, static_cast<std::size_t>(count));
    }
    return {std::move(bytes), {}};
}

int RunCheck(const QString& scenePath, std::ostream& out, std::ostream& err,
             const SceneTextLoader& load) {
    // Diagnostics name the file exactly as it was given, in the bytes it was given in.
    const std::string fileName = QFile::encodeName(scenePath).toStdString();
    try {
        FileContents contents = ReadWholeFile(scenePath);
        if (!contents.bytes) {
            err << kProgramName << ": " << contents.failure.toStdString() << '\n';
            return kExitUnreadable;
        }
        const SceneLoadResult result = load(std::move(*contents.bytes));
        const QByteArray json = QJsonDocument(LoadResultToJson(result)).toJson();

        out.write(json.constData(), json.size());
        out.flush();
        // Warnings come before the stop diagnostic, as they do in the file.
        for (const SceneDiagnostic& warning : result.warnings) {
            err << FormatDiagnostic(fileName, warning, "warning");
        }
        if (result.diagnostic) {
            err << FormatDiagnostic(fileName, *result.diagnostic, "error");
        }
        if (!out) {
            err << kProgramName << ": cannot write the JSON to standard output\n";
            return kExitUnreadable;
        }
        return result.diagnostic ? kExitDiagnostic : kExitOk;
    } catch (const std::bad_alloc&) {
        err << kProgramName << ": out of memory while loading '" << fileName << "'\n";
    } catch (const std::length_error&) {
        // What std::string and std::vector throw for a size past their limits.
        err << kProgramName << ": out of memory while loading '" << fileName << "'\n";
    } catch (const std::exception& e) {
        err << kProgramName << ": loading '" << fileName << "' failed: " << e.what() << '\n';
    }
    return kExitLoadFailed;
}

}  // namespace lumivex
