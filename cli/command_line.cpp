#include "cli/command_line.h"

#include <algorithm>
#include <thread>

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QImageWriter>
#include <QRegularExpression>

#include "io/part_file.h"
#include "io/picture_file.h"
#include "io/scene_file.h"
#include "render/band_dispatch.h"

namespace lumivex {

namespace {

// Every option lumivex-render knows. Each mode checks afterwards that it was given only options
// that apply to it.
struct Options {
    QCommandLineOption help{{"h", "help"}, "Show this help and exit."};
    QCommandLineOption version{{"v", "version"}, "Show the version and exit."};
    QCommandLineOption output{
        {"o", "output"},
        "Write the picture to OUT (required when rendering), in the format its extension names: " +
            WritablePictureExtensions(PictureKinds::EightBitAndFloat).join(", ") +
            ". exr keeps each pixel's colour as 32-bit floats, as computed before it is packed "
            "into the 8 bits of the others. An existing OUT is replaced only once the new "
            "picture is complete and on disk; OUT must be a new name or a regular file (or a "
            "symbolic link to one, whose target is replaced), and not the scene file.",
        "OUT"};
    QCommandLineOption size{
        "size",
        QString("Picture size in pixels (default 640x640); at most %1 on a side (JPEG 65500, "
                "WebP 16383) and %2 pixels in all.")
            .arg(kMaxPictureSide)
            .arg(kMaxPicturePixels),
        "WxH"};
    QCommandLineOption aa{"aa",
                          "Antialiasing: off (one ray per pixel; the default), jittered (16 rays, "
                          "one in each cell of a 4x4 grid over the pixel) or monte-carlo (16 rays "
                          "at random places in the pixel).",
                          "MODE"};
    QCommandLineOption stochastic{
        "stochastic",
        "Where a surface both mirrors and transmits, follow one of the two rays, picked at "
        "random, instead of both."};
    QCommandLineOption workers{
        "workers",
        QString("Split the picture into N bands of rows (1 to %1; default: one per processor, at "
                "most %2, which is %3 here). Each band restarts the random sequence, so N is "
                "part of the picture.")
            .arg(kMaxCountOption)
            .arg(kMaxDefaultBands)
            .arg(DefaultBandCount()),
        "N"};
    QCommandLineOption threads{
        "threads",
        QString("Render the bands with T threads, each taking the next band when it is done "
                "(1 to %1; default: the smaller of N and the processor count, %2 here). The "
                "picture does not depend on T, so --workers 16 gives the same picture on any "
                "machine and keeps every processor busy.")
            .arg(kMaxCountOption)
            .arg(ProcessorCount()),
        "T"};
    QCommandLineOption noAcceleration{
        "no-acceleration",
        "Find every hit by walking the whole object list instead of through the scene's "
        "bounding volume hierarchy: much slower, the same picture. For comparisons."};
    QCommandLineOption stats{"stats",
                             "After writing the picture, print one JSON line of figures about "
                             "the render on standard output (see below)."};
    QCommandLineOption strict{
        "strict",
        "Refuse a scene file whose reading stopped early: report where as an error and exit "
        "with 3 without rendering. Without it that report is a warning and what was read is "
        "rendered."};
    QCommandLineOption maxSceneSize{
        "max-scene-size",
        "Refuse a scene file larger than SIZE: a number of bytes, or of KiB, MiB or GiB with the "
        "suffix K, M or G (default 1G). Scene files are read whole into memory.",
        "SIZE"};
    QCommandLineOption bands{
        "bands",
        "Render only bands K to M (or band K, or a list such as 0-3,7) of the N that --workers "
        "sets, numbered from 0, into a part file: OUT must be a PNG or an EXR file, holding "
        "those bands' rows and, in its text or attributes, what they were rendered from. Needs "
        "--workers. Parts rendered anywhere are put together with --merge.",
        "K-M"};
    QCommandLineOption merge{
        "merge",
        "Put together the part files given instead of SCENE, rendered with --bands from one "
        "scene file with the same --size, --aa, --stochastic and --workers and holding every "
        "band once, into OUT: the picture one render with those options writes. EXR parts make "
        "a picture in any format, PNG parts one in any but EXR; the parts are all of one kind.",
    };
    QCommandLineOption resume{
        "resume",
        "Finish an interrupted render: keep the bands OUT.partial.png (OUT.partial.exr for an "
        "EXR picture) holds (Ctrl+C or SIGTERM leaves it, when bands were done) and render only "
        "the others; the options must be the same as before. The part file is removed once OUT "
        "is written. Without it, every band is rendered."};
    QCommandLineOption check{
        "check",
        "Read SCENE and print what it holds as JSON on standard output; report where reading "
        "stopped and any warnings on standard error. Nothing is rendered."};
};

void Describe(QCommandLineParser& parser, const Options& options) {
    parser.setApplicationDescription(
        "Renders a Lumivex scene file to a picture, or checks one:\n"
        "  lumivex-render SCENE -o OUT [--size WxH] [--aa MODE] [--stochastic] [--workers N]\n"
        "                 [--threads T] [--stats] [--strict] [--max-scene-size SIZE]\n"
        "                 [--bands K-M] [--resume]\n"
        "  lumivex-render --merge PART... -o OUT\n"
        "  lumivex-render --check SCENE [--max-scene-size SIZE]");
    for (const QCommandLineOption* option :
         {&options.help, &options.version, &options.output, &options.size, &options.aa,
          &options.stochastic, &options.workers, &options.threads, &options.noAcceleration,
          &options.stats, &options.strict, &options.maxSceneSize, &options.bands, &options.resume,
          &options.merge, &options.check}) {
        parser.addOption(*option);
    }
    parser.addPositionalArgument("SCENE", "The scene file to read (with --merge: the part files).",
                                 "SCENE");
}

const char kHelpEpilogue[] =
    R"(
SCENE is a text file, a pipe or a FIFO (/dev/stdin reads standard input). A directory, a
device, a file holding a NUL byte (no text file does) and a file past --max-scene-size are
refused. Rendering reports skipped lines that look like mistakes (a keyword in the wrong case,
misspelt or written against its data, stray data) as warnings on standard error, and so does
a scene without objects or a file without a single entry (--strict refuses the latter). On a
terminal, standard error also shows the progress. Ctrl+C stops at once, whether the scene is
being read, loaded or rendered or the picture written, and leaves OUT as it was. Bands done by
then are kept in OUT.partial.png (OUT.partial.exr for an EXR picture), which --resume
finishes. The picture depends only on SCENE, --size, --aa, --stochastic and --workers: the
same command gives the same file, and so do parts rendered with --bands and put together with
--merge, on any machine with the same C library and processor family.

With --stats, standard output receives one JSON object on one line:
  seconds, workers, threads, width, height, mode, stochastic, accelerated,
  rays {camera, secondary, shadow}, mraysPerSecond (all rays, in millions per second of the
  render), loadSeconds (reading the scene and building its index)

With --check, standard output receives one JSON object:
  camera      {centre, right, up, eyeOffset}, each [x, y, z, w]
  ambient     [r, g, b, a]
  air         {permittivity, permeability, refractiveIndex, attenuation}
  lights      [{color, position, radius}]
  objects     [{type, the shape's parameters, material}] in file order; type is sphere
              (centre, radius), box (corner, edge1, edge2, edge3), polygon (vertices),
              ellipsoid (centre, axis1, axis2, axis3) or icosahedron (centre, radius);
              material is {diffuse, specularCoefficient, specularExponent, attenuation,
              permittivity, permeability, refractiveIndex, roughness}
  diagnostic  null, or {line, column, message} for the item where reading stopped
  warnings    [{line, column, message}] for skipped lines that look like mistakes, and for
              a scene without objects
Every number reads back as the same single-precision value, except that NaN is written
as null, infinity as 1e39 (-1e39 for minus infinity) and -0 as 0.

Exit status:
  0    done (warnings allowed)
  1    the command line is wrong, or OUT is the scene file, a directory, a device, a FIFO,
       a socket or a symbolic link to nothing (checked before the scene is read)
  2    the scene file cannot be opened or read or is refused (see above), or the picture
       or standard output cannot be written (full disk, no permission, a closed pipe, ...);
       an existing OUT is then left as it was
  3    reading the scene stopped at a diagnostic, with --check (the JSON is still printed)
       or --strict (nothing is rendered); with --strict also a file without any entry;
       part files that do not fit together (--merge: another scene or options, a band
       missing or held twice, PNG and EXR parts mixed or PNG parts for an EXR picture;
       --resume: OUT.partial.png rendered from another scene or with other options)
  4    out of memory (the scene, or a picture too large to allocate) or another internal
       error
  130  interrupted by Ctrl+C (SIGINT) or SIGTERM; OUT is not written (finished bands go to
       OUT.partial.png, or OUT.partial.exr)
)";

QString Quoted(const QString& text) {
    return "'" + PrintableFileName(text) + "'";
}

// Past every limit the command line sets; larger numbers read as this.
constexpr std::uint64_t kSaturated = 1'000'000'000;

// A number written with decimal digits only, leading zeros allowed; nothing for anything else (a
// sign, a space, an empty string). Numbers past kSaturated read as kSaturated.
std::optional<std::uint64_t> ParseDecimal(const QString& text) {
    if (text.isEmpty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = std::min(value * 10 + (c.unicode() - u'0'), kSaturated);
    }
    return value;
}

// Parses --size into `render`, whose format is known; returns what is wrong, or an empty string.
QString ParseSize(const QString& text, RenderOptions& render) {
    const QString problem = "invalid --size " + Quoted(text) + ": ";
    const qsizetype cross = text.indexOf('x');
    const auto width = cross < 0 ? std::nullopt : ParseDecimal(text.left(cross));
    const auto height = cross < 0 ? std::nullopt : ParseDecimal(text.mid(cross + 1));
    if (!width || !height) {
        return problem + "expected WxH, two whole numbers such as 640x480";
    }
    if (*width == 0 || *height == 0) {
        return problem + "width and height must be at least 1";
    }
    if (*width > kMaxPictureSide || *height > kMaxPictureSide ||
        *width * *height > kMaxPicturePixels) {
        return problem + QString("picture too large (at most %1 on a side and %2 pixels in all)")
                             .arg(kMaxPictureSide)
                             .arg(kMaxPicturePixels);
    }
    if (const QString tooLarge = PictureSizeProblem(
            render.format, static_cast<std::uint32_t>(*width), static_cast<std::uint32_t>(*height));
        !tooLarge.isEmpty()) {
        return problem + tooLarge;
    }
    render.request.picture = {static_cast<std::uint32_t>(*width),
                              static_cast<std::uint32_t>(*height)};
    return {};
}

constexpr AntialiasMode kModes[] = {AntialiasMode::Off, AntialiasMode::Jittered,
                                    AntialiasMode::MonteCarlo};

QString ParseMode(const QString& text, RenderOptions& render) {
    for (const AntialiasMode mode : kModes) {
        if (text == AntialiasModeName(mode)) {
            render.request.mode = mode;
            return {};
        }
    }
    return "invalid --aa " + Quoted(text) + ": expected off, jittered or monte-carlo";
}

// A count of bands or threads, from 1 to kMaxCountOption, for the option named `option`.
QString ParseCount(const QString& text, const char* option, unsigned& count) {
    const auto value = ParseDecimal(text);
    if (!value || *value < 1 || *value > kMaxCountOption) {
        return QString("invalid --%1 %2: expected a whole number from 1 to %3")
            .arg(option)
            .arg(Quoted(text))
            .arg(kMaxCountOption);
    }
    count = static_cast<unsigned>(*value);
    return {};
}

// --max-scene-size: whole bytes, or KiB, MiB or GiB with a suffix K, M or G (any case, with or
// without "iB"/"B" after it).
QString ParseSceneSizeLimit(const QString& text, std::uint64_t& bytes) {
    static const QRegularExpression kPattern("^([0-9]{1,12})\\s*(?:([KMG])(?:I?B)?|B)?$",
                                             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = kPattern.match(text);
    if (!match.hasMatch() || match.captured(1).toULongLong() == 0) {
        return "invalid --max-scene-size " + Quoted(text) +
               ": expected a size such as 500000, 200M or 2G";
    }
    const QString unit = match.captured(2).toUpper();
    const int shift = unit == "K" ? 10 : unit == "M" ? 20 : unit == "G" ? 30 : 0;
    bytes = match.captured(1).toULongLong() << shift;
    return {};
}

QString ParseOutput(const QString& path, RenderOptions& render) {
    const PictureFormat format = PictureFormatFor(path, PictureKinds::EightBitAndFloat);
    if (format.name.isEmpty()) {
        return "cannot write " + Quoted(path) + ": " + format.problem;
    }
    render.outputPath = path;
    render.format = format.name;
    return {};
}

// --bands, once the band count is known: the bands to render into a part file.
QString ParseBands(const QString& text, bool workersGiven, RenderOptions& render) {
    // The default band count is this machine's processor count, which other machines need not
    // share; parts fit together only when every one was rendered with the same count.
    if (!workersGiven) {
        return "--bands needs --workers N, so that every part splits the picture alike";
    }
    if (render.format != "png" && !IsFloatPictureFormat(render.format)) {
        return "cannot write " + Quoted(render.outputPath) +
               " with --bands: a part file is a PNG file (.png) or an EXR file (.exr)";
    }
    BandList list = ParseBandList(text, render.request.bands);
    if (!list.problem.isEmpty()) {
        return "invalid --bands " + Quoted(text) + ": " + list.problem;
    }
    render.request.onlyBands = std::move(list.bands);
    render.partOutput = true;
    return {};
}

}  // namespace

QString AntialiasModeName(AntialiasMode mode) {
    switch (mode) {
        case AntialiasMode::Off:
            return "off";
        case AntialiasMode::Jittered:
            return "jittered";
        case AntialiasMode::MonteCarlo:
            return "monte-carlo";
    }
    return "unknown";
}

ParsedCommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    const Options options;
    Describe(parser, options);
    if (!parser.parse(arguments)) {
        return {std::nullopt, parser.errorText()};
    }
    if (parser.isSet(options.help)) {
        return {CliRequest{CliRequest::Mode::Help, {}, {}, {}}, {}};
    }
    if (parser.isSet(options.version)) {
        return {CliRequest{CliRequest::Mode::Version, {}, {}, {}}, {}};
    }

    const QStringList positional = parser.positionalArguments();
    const QCommandLineOption* const renderOptions[] = {
        &options.output,         &options.size,    &options.aa,
        &options.stochastic,     &options.workers, &options.threads,
        &options.noAcceleration, &options.stats,   &options.strict,
        &options.bands,          &options.resume};
    for (const QCommandLineOption* option : renderOptions) {
        if (!option->valueName().isEmpty() && parser.values(*option).size() > 1) {
            return {std::nullopt, "--" + option->names().last() + " is given more than once"};
        }
    }
    if (parser.values(options.maxSceneSize).size() > 1) {
        return {std::nullopt, "--max-scene-size is given more than once"};
    }
    std::uint64_t maxSceneBytes = kDefaultMaxSceneBytes;
    if (parser.isSet(options.maxSceneSize)) {
        const QString error =
            ParseSceneSizeLimit(parser.value(options.maxSceneSize), maxSceneBytes);
        if (!error.isEmpty()) {
            return {std::nullopt, error};
        }
    }

    if (parser.isSet(options.merge)) {
        for (const QCommandLineOption* option : renderOptions) {
            if (option != &options.output && parser.isSet(*option)) {
                return {std::nullopt, "--" + option->names().last() + " is not for --merge"};
            }
        }
        for (const QCommandLineOption* option : {&options.check, &options.maxSceneSize}) {
            if (parser.isSet(*option)) {
                return {std::nullopt, "--" + option->names().last() + " is not for --merge"};
            }
        }
        if (positional.isEmpty()) {
            return {std::nullopt, "--merge needs the part files to put together"};
        }
        if (!parser.isSet(options.output)) {
            return {std::nullopt, "no picture file given; name one with -o OUT"};
        }
        CliRequest request{CliRequest::Mode::Merge, {}, {}, positional};
        const QString error = ParseOutput(parser.value(options.output), request.render);
        if (!error.isEmpty()) {
            return {std::nullopt, error};
        }
        return {request, {}};
    }
    if (positional.size() > 1) {
        return {std::nullopt, QString("expected one scene file, got %1 arguments: %2")
                                  .arg(positional.size())
                                  .arg(positional.join(' '))};
    }

    if (parser.isSet(options.check)) {
        for (const QCommandLineOption* option : renderOptions) {
            if (parser.isSet(*option)) {
                return {std::nullopt,
                        "--" + option->names().last() + " is for rendering, not for --check"};
            }
        }
        if (positional.isEmpty()) {
            return {std::nullopt, "--check needs a scene file"};
        }
        CliRequest request{CliRequest::Mode::Check, positional.front(), {}, {}};
        request.render.maxSceneBytes = maxSceneBytes;
        return {request, {}};
    }

    if (positional.isEmpty()) {
        return {std::nullopt, "no scene file given"};
    }
    if (!parser.isSet(options.output)) {
        return {std::nullopt, "no picture file given; name one with -o OUT"};
    }
    CliRequest request{CliRequest::Mode::Render, positional.front(), {}, {}};
    RenderOptions& render = request.render;
    RenderRequest& what = render.request;
    what.bands = DefaultBandCount();
    what.stochastic = parser.isSet(options.stochastic);
    what.accelerate = !parser.isSet(options.noAcceleration);
    render.stats = parser.isSet(options.stats);
    render.strict = parser.isSet(options.strict);
    render.maxSceneBytes = maxSceneBytes;
    QString error = ParseOutput(parser.value(options.output), render);
    if (error.isEmpty() && parser.isSet(options.size)) {
        error = ParseSize(parser.value(options.size), render);
    }
    if (error.isEmpty() && parser.isSet(options.aa)) {
        error = ParseMode(parser.value(options.aa), render);
    }
    if (error.isEmpty() && parser.isSet(options.workers)) {
        error = ParseCount(parser.value(options.workers), "workers", what.bands);
    }
    what.threads = std::min(what.bands, ProcessorCount());
    if (error.isEmpty() && parser.isSet(options.threads)) {
        error = ParseCount(parser.value(options.threads), "threads", what.threads);
    }
    if (error.isEmpty() && parser.isSet(options.bands)) {
        error = ParseBands(parser.value(options.bands), parser.isSet(options.workers), render);
    }
    render.resume = parser.isSet(options.resume);
    if (!error.isEmpty()) {
        return {std::nullopt, error};
    }
    return {request, {}};
}

QString HelpText() {
    QCommandLineParser parser;
    const Options options;
    Describe(parser, options);
    return parser.helpText() + kHelpEpilogue;
}

}  // namespace lumivex
