#include "cli/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace lumivex {

namespace {

// Every option lumivex-render knows. Rendering options will join --check here, each mode
// checking afterwards that it was given only options that apply to it.
struct Options {
    QCommandLineOption help{{"h", "help"}, "Show this help and exit."};
    QCommandLineOption version{{"v", "version"}, "Show the version and exit."};
    QCommandLineOption check{
        "check",
        "Read SCENE and print what it holds as JSON on standard output; report where reading "
        "stopped and any warnings on standard error. Nothing is rendered."};
};

void Describe(QCommandLineParser& parser, const Options& options) {
    parser.setApplicationDescription("Checks a Lumivex scene file.");
    parser.addOption(options.help);
    parser.addOption(options.version);
    parser.addOption(options.check);
    parser.addPositionalArgument("SCENE", "The scene file to read.", "SCENE");
}

const char kHelpEpilogue[] =
    R"(
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
  warnings    [{line, column, message}] for skipped lines that look like mistakes
Every number reads back as the same single-precision value, except that NaN is written
as null, infinity as 1e39 (-1e39 for minus infinity) and -0 as 0.

Exit status:
  0  the scene was read to its end (warnings allowed)
  1  the command line is wrong
  2  the scene file cannot be opened or read, or standard output cannot be written
  3  reading stopped at a diagnostic; the JSON is still printed
  4  loading failed: out of memory, or another internal error
)";

}  // namespace

ParsedCommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    const Options options;
    Describe(parser, options);
    if (!parser.parse(arguments)) {
        return {std::nullopt, parser.errorText()};
    }
    if (parser.isSet(options.help)) {
        return {CliRequest{CliRequest::Mode::Help, {}}, {}};
    }
    if (parser.isSet(options.version)) {
        return {CliRequest{CliRequest::Mode::Version, {}}, {}};
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        return {std::nullopt, QString("expected one scene file, got %1 arguments: %2")
                                  .arg(positional.size())
                                  .arg(positional.join(' '))};
    }
    if (!parser.isSet(options.check)) {
        return {std::nullopt, positional.isEmpty()
                                  ? QString("no scene file given")
                                  : QString("rendering is not available yet; use --check SCENE "
                                            "to check a scene file")};
    }
    if (positional.isEmpty()) {
        return {std::nullopt, "--check needs a scene file"};
    }
    return {CliRequest{CliRequest::Mode::Check, positional.front()}, {}};
}

QString HelpText() {
    QCommandLineParser parser;
    const Options options;
    Describe(parser, options);
    return parser.helpText() + kHelpEpilogue;
}

}  // namespace lumivex
