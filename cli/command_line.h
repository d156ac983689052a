// The command line of lumivex-render: which mode it runs in and on what.
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

namespace lumivex {

inline constexpr char kProgramName[] = "lumivex-render";

struct CliRequest {
    enum class Mode { Help, Version, Check };
    Mode mode = Mode::Help;
    QString scenePath;  // set for Check
};

// Either a request or, for a usage error, the reason (without the program name).
struct ParsedCommandLine {
    std::optional<CliRequest> request;
    QString error;
};

// `arguments` starts with the program path, as QCoreApplication::arguments() does. --help wins
// over everything else and --version over --check.
ParsedCommandLine ParseCommandLine(const QStringList& arguments);

// The --help text: usage, options, what --check prints and the exit statuses. The usage line
// names the program as QCoreApplication::arguments() does.
QString HelpText();

}  // namespace lumivex
