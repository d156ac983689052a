#include "cli/lumivex_render.h"

#include <csignal>
#include <new>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "cli/check_command.h"
#include "cli/command_line.h"
#include "test_support.h"

namespace lumivex {
namespace {

using ::testing::HasSubstr;

TEST(ParseCommandLine, TakesCheckWithOneSceneAndRejectsEverythingElse) {
    const auto parse = [](QStringList arguments) {
        return ParseCommandLine(QStringList{"lumivex-render"} + arguments);
    };
    for (const QStringList& arguments : {QStringList{"--check", "a.txt"}, {"a.txt", "--check"}}) {
        const ParsedCommandLine parsed = parse(arguments);
        ASSERT_TRUE(parsed.request) << parsed.error.toStdString();
        EXPECT_EQ(parsed.request->mode, CliRequest::Mode::Check);
        EXPECT_EQ(parsed.request->scenePath, "a.txt");
    }
    EXPECT_EQ(parse({"--check", "a.txt", "--help"}).request->mode, CliRequest::Mode::Help);
    EXPECT_EQ(parse({"-v"}).request->mode, CliRequest::Mode::Version);
    for (const QStringList& arguments : {QStringList{},
                                         {"a.txt"},
                                         {"--check"},
                                         {"--check", "a.txt", "b.txt"},
                                         {"--check", "a.txt", "--frobnicate"},
                                         {"--check", "a.txt", "-o", "out.png"}}) {
        const ParsedCommandLine parsed = parse(arguments);
        EXPECT_FALSE(parsed.request) << arguments.join(' ').toStdString();
        EXPECT_FALSE(parsed.error.isEmpty());
    }
}

class CheckTest : public ::testing::Test {
  protected:
    QString Write(const QString& name, const QByteArray& bytes) {
        QFile file(directory.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
    int Check(const QString& path, const SceneTextLoader& load = LoadSceneText) {
        return RunCheck(path, out, err, load);
    }
    QJsonObject Json() const {
        return QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).object();
    }

    QTemporaryDir directory;
    std::ostringstream out;
    std::ostringstream err;
};

// A stand-in loader that ignores the text and reports the given diagnostic and warnings.
SceneTextLoader Reporting(std::optional<SceneDiagnostic> stop,
                          std::vector<SceneDiagnostic> warnings) {
    return [=](std::string, const std::atomic<bool>*) {
        return SceneLoadResult{std::make_unique<Scene>(), stop, warnings};
    };
}

TEST_F(CheckTest, HandsTheLoaderTheWholeFileByteForByte) {
    // CR LF, a non-UTF-8 byte and more than one read's worth of data, from a file and a pipe.
    const QByteArray bytes = QByteArray("CAMERA\r\n\xff") + QByteArray(5 << 20, 'x');
    std::string seen;
    const auto load = [&](std::string text, const std::atomic<bool>*) {
        seen = text;
        return SceneLoadResult{std::make_unique<Scene>(), {}, {}};
    };
    EXPECT_EQ(Check(Write("scene.txt", bytes), load), 0);
    EXPECT_EQ(seen, bytes.toStdString());

    const QString fifo = directory.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::thread writer([&] {
        QFile pipe(fifo);
        ASSERT_TRUE(pipe.open(QIODevice::WriteOnly));
        for (qsizetype at = 0; at < bytes.size(); at += 1000000) {
            pipe.write(bytes.mid(at, 1000000));
        }
    });
    seen.clear();
    EXPECT_EQ(Check(fifo, load), 0);
    writer.join();
    EXPECT_EQ(seen, bytes.toStdString());
}

TEST_F(CheckTest, RefusesWhatIsNoSceneFileBeforeLoadingIt) {
    const QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    const struct {
        QString path;
        std::uint64_t limit;
        std::string message;
    } refused[] = {
        {directory.path(), kDefaultMaxSceneBytes, "it is a directory"},
        {"/dev/zero", kDefaultMaxSceneBytes, "it is a device, not a scene file"},
        {Write("picture.png", png), kDefaultMaxSceneBytes,
         "it is not a scene file (a NUL byte at offset 8; scene files are text)"},
        {Write("big.txt", QByteArray(101, ' ')), 100,
         "larger than the scene size limit of 100 bytes (see --max-scene-size)"},
        {Write("bigger.txt", QByteArray(2 << 20, ' ')), 1 << 20,
         "larger than the scene size limit of 1 MiB"},
    };
    bool loaded = false;
    const auto load = [&](std::string, const std::atomic<bool>*) {
        loaded = true;
        return SceneLoadResult{std::make_unique<Scene>(), {}, {}};
    };
    for (const auto& c : refused) {
        err.str("");
        EXPECT_EQ(RunCheck(c.path, out, err, load, c.limit), 2) << c.message;
        EXPECT_THAT(err.str(), HasSubstr(c.message));
        EXPECT_THAT(err.str(), HasSubstr("'" + c.path.toStdString() + "'"));
    }
    EXPECT_FALSE(loaded);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(RunCheck(Write("exact.txt", QByteArray(100, ' ')), out, err, load, 100), 0);
}

TEST_F(CheckTest, PrintsWarningsThenTheDiagnosticAndExitsThree) {
    const QString path = Write("scene.txt", "");
    const SceneDiagnostic stop{3, 5, "stopped here", "SPHERE x"};
    const SceneDiagnostic warning{1, 1, "odd line", "sphere"};
    EXPECT_EQ(Check(path, Reporting(stop, {warning, warning})), 3);
    const std::string name = path.toStdString();
    EXPECT_EQ(err.str(), FormatDiagnostic(name, warning, "warning") +
                             FormatDiagnostic(name, warning, "warning") +
                             FormatDiagnostic(name, stop, "error"));
    // The JSON gives line, column and message, but not the line text.
    EXPECT_EQ(Json()["diagnostic"],
              QJsonObject({{"line", 3}, {"column", 5}, {"message", "stopped here"}}));
    EXPECT_EQ(Json()["warnings"].toArray().size(), 2);

    // Warnings alone do not fail the check.
    EXPECT_EQ(Check(path, Reporting(std::nullopt, {warning})), 0);
}

TEST_F(CheckTest, ExitsTwoWhenTheFileCannotBeReadOrTheOutputWritten) {
    if (QFile::exists("/proc/self/mem")) {  // opens, but reading at offset 0 fails
        EXPECT_EQ(Check("/proc/self/mem"), 2);
        EXPECT_THAT(err.str(), HasSubstr("cannot read '/proc/self/mem': "));
    }
    EXPECT_EQ(out.str(), "");

    std::ostream broken(nullptr);
    EXPECT_EQ(RunCheck(Write("scene.txt", ""), broken, err), 2);
    EXPECT_THAT(err.str(), HasSubstr("cannot write"));
}

TEST_F(CheckTest, ExitsFourWhenLoadingThrows) {
    const QString path = Write("scene.txt", "SPHERE");
    EXPECT_EQ(Check(path,
                    [](std::string, const std::atomic<bool>*) -> SceneLoadResult {
                        throw std::bad_alloc();
                    }),
              4);
    EXPECT_EQ(err.str(),
              "lumivex-render: out of memory while loading '" + path.toStdString() + "'\n");
    EXPECT_EQ(Check(path,
                    [](std::string, const std::atomic<bool>*) -> SceneLoadResult {
                        throw std::runtime_error("boom");
                    }),
              4);
    EXPECT_THAT(err.str(), HasSubstr("boom"));
    err.str("");
    // What std::string and std::vector throw for a size past their limits.
    EXPECT_EQ(Check(path,
                    [](std::string, const std::atomic<bool>*) -> SceneLoadResult {
                        throw std::length_error("big");
                    }),
              4);
    EXPECT_THAT(err.str(), HasSubstr(": out of memory while loading '"));
    EXPECT_EQ(out.str(), "");
}

// The built program, run as a user would.
struct ProgramRun {
    int status;
    QByteArray out;
    std::string err;
};

ProgramRun RunProgram(const QStringList& arguments) {
    QProcess process;
    process.start(LUMIVEX_RENDER_PATH, arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    return {process.exitCode(), process.readAllStandardOutput(),
            process.readAllStandardError().toStdString()};
}

TEST(LumivexRenderProgram, ChecksTheWorkedExample) {
    const ProgramRun run = RunProgram({"--check", LUMIVEX_EXAMPLES_DIR "/worked-example.txt"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const QJsonObject json = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(json.keys(), QStringList({"air", "ambient", "camera", "diagnostic", "lights",
                                        "objects", "warnings"}));
    EXPECT_EQ(json["camera"]["centre"], (QJsonArray{0, 0, -8, 1}));
    EXPECT_EQ(json["camera"]["eyeOffset"], (QJsonArray{0, 0, -2, 0}));
    EXPECT_EQ(json["lights"][0]["radius"], 0.5);
    EXPECT_TRUE(json["diagnostic"].isNull());

    // Each shape's parameters under their own names, then its material.
    const QStringList materialKeys = {"attenuation",         "diffuse",         "permeability",
                                      "permittivity",        "refractiveIndex", "roughness",
                                      "specularCoefficient", "specularExponent"};
    const std::pair<const char*, QStringList> shapes[] = {
        {"sphere", {"centre", "material", "radius", "type"}},
        {"box", {"corner", "edge1", "edge2", "edge3", "material", "type"}},
        {"polygon", {"material", "type", "vertices"}},
        {"ellipsoid", {"axis1", "axis2", "axis3", "centre", "material", "type"}},
        {"icosahedron", {"centre", "material", "radius", "type"}},
    };
    const QJsonArray objects = json["objects"].toArray();
    ASSERT_EQ(objects.size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(objects[i]["type"], shapes[i].first);
        EXPECT_EQ(objects[i].toObject().keys(), shapes[i].second) << shapes[i].first;
        EXPECT_EQ(objects[i]["material"].toObject().keys(), materialKeys);
    }
    EXPECT_EQ(objects[1]["material"]["roughness"], 0.1);
    EXPECT_EQ(objects[2]["vertices"][1], (QJsonArray{1, 0, 5, 1}));
    EXPECT_EQ(objects[3]["material"]["refractiveIndex"], 1.5);
}

TEST_F(CheckTest, ProgramExitStatuses) {
    const ProgramRun truncated =
        RunProgram({"--check", Write("truncated.txt", "AMBIENT (1,1,1)\nSPHERE (0,0,0) 2 (1,0")});
    EXPECT_EQ(truncated.status, 3);
    EXPECT_THAT(truncated.err, HasSubstr("truncated.txt:2:"));
    EXPECT_THAT(truncated.err, HasSubstr(": error: "));
    EXPECT_EQ(QJsonDocument::fromJson(truncated.out)["diagnostic"]["line"], 2);

    const ProgramRun missing = RunProgram({"--check", "no-such-scene.txt"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err,
              "lumivex-render: cannot open 'no-such-scene.txt': No such file or directory\n");
    EXPECT_EQ(missing.out, "");

    const ProgramRun badOption = RunProgram({"--frobnicate"});
    EXPECT_EQ(badOption.status, 1);
    EXPECT_THAT(badOption.err, HasSubstr("--help"));

    const ProgramRun help = RunProgram({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out.toStdString(), HasSubstr("--check"));
    EXPECT_THAT(help.out.toStdString(), HasSubstr("Exit status"));
}

TEST(LumivexRenderProgram, AClosedPipeOnStandardOutputIsReportedWithStatusTwo) {
    QTemporaryDir directory;
    const QString scene = LUMIVEX_EXAMPLES_DIR "/worked-example.txt";
    for (const QStringList& arguments :
         {QStringList{"--help"},
          {"--version"},
          {"--check", scene},
          {scene, "-o", directory.filePath("p.png"), "--size", "4x4", "--stats"}}) {
        int ends[2];
        ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
        close(ends[0]);  // nobody will read
        QProcess process;
        const int writeEnd = ends[1];
        process.setChildProcessModifier([writeEnd] {
            std::signal(SIGPIPE, SIG_DFL);  // as a shell would start it
            dup2(writeEnd, STDOUT_FILENO);
        });
        process.start(LUMIVEX_RENDER_PATH, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        close(writeEnd);
        const std::string command = arguments.join(' ').toStdString();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << command;  // not SIGPIPE
        EXPECT_EQ(process.exitCode(), 2) << command;
        EXPECT_EQ(process.readAllStandardError(),
                  "lumivex-render: cannot write to standard output: Broken pipe\n")
            << command;
    }
}

}  // namespace
}  // namespace lumivex
