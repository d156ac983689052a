// The command line of lumivex-render: which mode it runs in and on what.
#pragma once

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "io/scene_file.h"
#include "render/render_session.h"

namespace lumivex {

inline constexpr char kProgramName[] = "lumivex-render";

// Limits on what the command line accepts: a picture larger than this is refused before
// anything is read or allocated, and so is a band or thread count past kMaxCountOption.
inline constexpr std::uint32_t kMaxPictureSide = 65535;
inline constexpr std::uint64_t kMaxPicturePixels = std::uint64_t{1} << 28;
inline constexpr unsigned kMaxCountOption = 1024;

// What to render and where to put it; every field has been checked.
struct RenderOptions {
    QString outputPath;
    QByteArray format;  // the image writer's name for the output's format, e.g. "png"
    // --size, --aa, --stochastic, --workers (the band count), --threads, --no-acceleration.
    RenderRequest request;
    bool stats = false;
    bool strict = false;
    // --bands: the output is a part file holding the bands in request.onlyBands.
    bool partOutput = false;
    // Finish the bands the partial file (PartialPathFor) lacks, instead of rendering every band
    // anew.
    bool resume = false;
    std::uint64_t maxSceneBytes = kDefaultMaxSceneBytes;  // larger scene files are refused
};

struct CliRequest {
    enum class Mode { Help, Version, Check, Render, Merge };
    Mode mode = Mode::Help;
    QString scenePath;     // set for Check and Render
    RenderOptions render;  // set for Render; for Check only maxSceneBytes, for Merge the output
    QStringList parts;     // set for Merge
};

// Either a request or, for a usage error, the reason (without the program name).
struct ParsedCommandLine {
    std::optional<CliRequest> request;
    QString error;
};

// `arguments` starts with the program path, as QCoreApplication::arguments() does. --help wins
// over everything else and --version over the two modes. Without --check the request is to
// render, and every option is checked here, the output's format included, so that a wrong
// command line is refused before any work. Needs a QCoreApplication to find image plugins.
ParsedCommandLine ParseCommandLine(const QStringList& arguments);

// "off", "jittered" or "monte-carlo", as --aa takes them.
QString AntialiasModeName(AntialiasMode mode);

// The --help text: usage of both modes, options, what --check prints and the exit statuses. The
// usage line names the program as QCoreApplication::arguments() does.
QString HelpText();

}  // namespace lumivex
