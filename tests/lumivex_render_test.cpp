// lumivex-render as a user runs it: the picture it writes, the figures it prints, what it refuses,
// how it stops, and --check.
#include "cli/lumivex_render.h"

#include <chrono>
#include <csignal>
#include <new>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "cli/check_command.h"
#include "cli/render_command.h"
#include "io/picture_file.h"
#include "program_support.h"
#include "render_support.h"
#include "tmpfs_mount.h"

namespace lumivex {
namespace {

using ::testing::HasSubstr;
using testing::ProgramRun;

const QString kWorkedExample = LUMIVEX_EXAMPLES_DIR "/worked-example.txt";

// How long a stop request may go unanswered; sanitizers slow everything down several times.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr auto kStopLatency = std::chrono::milliseconds(600);
#else
constexpr auto kStopLatency = std::chrono::milliseconds(100);
#endif

class LumivexRender : public ::testing::Test, public testing::ScratchFiles {
  protected:
    static ProgramRun Run(const QStringList& arguments, const std::function<void()>& inChild = {}) {
        return testing::RunProgram(LUMIVEX_RENDER_PATH, arguments, inChild);
    }
    // lumivex-render in this process, standard error a terminal or not.
    int RunHere(const QStringList& arguments, bool terminal = false) {
        out.str("");
        err.str("");
        return RunLumivexRender(QStringList{"lumivex-render"} + arguments, out, err, terminal);
    }
    int Check(const QString& path, const SceneTextLoader& load = LoadSceneText,
              std::uint64_t limit = kDefaultMaxSceneBytes) {
        out.str("");
        err.str("");
        return RunCheck(path, out, err, load, limit);
    }

    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(LumivexRender, WritesTheCoreRenderersPictureAsAFunctionOfItsInputsOnly) {
    // Not square, so a swapped width and height or an unflipped picture shows.
    const auto reference =
        testing::RenderWords(testing::ExampleText("worked-example"),
                             testing::Request(40, 24, AntialiasMode::Jittered, 3));
    QByteArray ppm = "P6\n40 24\n255\n";
    for (std::uint32_t y = 24; y-- > 0;) {
        for (std::uint32_t x = 0; x < 40; ++x) {
            const std::uint32_t word = reference[y * 40 + x];
            const char rgb[] = {char(word >> 16), char(word >> 8), char(word)};
            ppm.append(rgb, 3);
        }
    }
    const QStringList arguments = {kWorkedExample, "--size",    "40x24", "--aa",
                                   "jittered",     "--workers", "3"};
    // Neither the threads that take the bands nor the search structure changes the picture.
    for (const QStringList& extra :
         {QStringList{}, {"--threads", "1"}, {"--threads", "2"}, {"--no-acceleration"}}) {
        const ProgramRun run = Run(arguments + extra + QStringList{"-o", Path("p.ppm")});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");  // no progress when standard error is no terminal
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(Read("p.ppm") == ppm) << extra.join(' ').toStdString();
    }
    EXPECT_EQ(Run(arguments + QStringList{"-o", Path("p.png")}).status, 0);
    EXPECT_EQ(QImage(Path("p.png")).convertToFormat(QImage::Format_RGB32),
              QImage(Path("p.ppm")).convertToFormat(QImage::Format_RGB32));
    // The band count is part of the picture.
    EXPECT_EQ(Run({kWorkedExample, "--size", "40x24", "--aa", "jittered", "--workers", "1", "-o",
                   Path("q.ppm")})
                  .status,
              0);
    EXPECT_NE(Read("q.ppm"), ppm);
}

TEST_F(LumivexRender, StatsAreOneJsonLineCountingTheRaysTraced) {
    for (const auto mode : {AntialiasMode::Off, AntialiasMode::MonteCarlo}) {
        const ProgramRun run =
            Run({kWorkedExample, "-o", Path("p.png"), "--size", "20x10", "--workers", "2",
                 "--stats", "--stochastic", "--aa", AntialiasModeName(mode)});
        EXPECT_EQ(run.status, 0) << run.err;
        ASSERT_TRUE(run.out.endsWith('\n'));
        EXPECT_EQ(run.out.count('\n'), 1);
        const QJsonObject stats = QJsonDocument::fromJson(run.out).object();
        EXPECT_EQ(stats.keys(),
                  QStringList({"accelerated", "height", "loadSeconds", "mode", "mraysPerSecond",
                               "rays", "seconds", "stochastic", "threads", "width", "workers"}));
        EXPECT_EQ(stats["width"], 20);
        EXPECT_EQ(stats["height"], 10);
        EXPECT_EQ(stats["workers"], 2);
        EXPECT_EQ(stats["mode"], AntialiasModeName(mode));
        EXPECT_EQ(stats["stochastic"], true);
        RenderSession session;
        session.SetScene(
            PrepareScene(LoadSceneText(testing::ExampleText("worked-example")).scene, true));
        session.Start(testing::Request(20, 10, mode, 2, true));
        session.Wait();
        const RayCounts rays = session.Rays();
        EXPECT_EQ(stats["rays"]["camera"].toInteger(), static_cast<qint64>(rays.camera));
        EXPECT_EQ(stats["rays"]["secondary"].toInteger(), static_cast<qint64>(rays.secondary));
        EXPECT_EQ(stats["rays"]["shadow"].toInteger(), static_cast<qint64>(rays.shadow));
        const double seconds = stats["seconds"].toDouble();
        EXPECT_GT(seconds, 0.0);
        EXPECT_DOUBLE_EQ(stats["mraysPerSecond"].toDouble(),
                         double(rays.camera + rays.secondary + rays.shadow) / seconds / 1e6);
    }
}

TEST_F(LumivexRender, RefusesOrFailsWithoutTouchingAnEarlierPicture) {
    const QByteArray sceneText = QByteArray::fromStdString(testing::ExampleText("worked-example"));
    const QString scene = Write("scene.ppm", sceneText);
    const QString missing = Path("missing.txt");
    Write("keep.png", "an earlier picture");
    Write("truncated.txt", "AMBIENT (1,1,1)\nsphere\nSPHERE (0,0,0) 2 (1,0");
    Write("notes.txt", "# just a note\n");
    Write("old.png", "an earlier picture");
    ASSERT_EQ(chmod(QFile::encodeName(Path("old.png")).constData(), 0662), 0);
    const bool root = geteuid() == 0;
    ASSERT_TRUE(QDir(Root()).mkdir("directory.png"));
    ASSERT_TRUE(QDir(Root()).mkdir("read-only"));
    ASSERT_EQ(mkfifo(QFile::encodeName(Path("fifo.png")).constData(), 0600), 0);
    if (root) {  // a null device of our own, which a mistake here cannot harm
        ASSERT_EQ(
            mknod(QFile::encodeName(Path("device.png")).constData(), S_IFCHR | 0600, makedev(1, 3)),
            0);
    }
    for (const auto& [link, target] : {std::pair{"to-scene.ppm", "scene.ppm"},
                                       {"to-device.png", "device.png"},
                                       {"to-nothing.png", "nothing.png"},
                                       {"to-old.png", "old.png"}}) {
        ASSERT_TRUE(QFile::link(target, Path(link)));
    }
    // Root writes to any directory, but not to a read-only file system.
    std::optional<testing::TmpfsMount> readOnly;
    if (root) {
        readOnly.emplace(Path("read-only"), "size=16k", MS_RDONLY);
    }
    const bool haveReadOnly =
        root ? readOnly->Mounted()
             : QFile::setPermissions(Path("read-only"), QFile::ReadOwner | QFile::ExeOwner);

    struct Case {
        QStringList arguments;
        const char* output;
        int status;
        std::string message;
    };
    const auto cannotWrite = [&](const char* output, const char* why) {
        return "lumivex-render: cannot write '" + Path(output).toStdString() + "': " + why;
    };
    // Output problems are found before the (missing) scene is noticed.
    const Case cases[] = {
        {{missing}, "keep.png", 2, "cannot open '" + missing.toStdString()},
        {{Root()}, "keep.png", 2, "it is a directory"},
        {{kWorkedExample, "--workers", "0"}, "keep.png", 1, "invalid --workers"},
        {{Path("truncated.txt"), "--strict"}, "keep.png", 3, "truncated.txt:3:22: error: "},
        {{Path("notes.txt"), "--strict"}, "keep.png", 3, "notes.txt:1:1: warning: not one scene"},
        {{scene}, "scene.ppm", 1, cannotWrite("scene.ppm", "it is the scene file")},
        {{scene}, "to-scene.ppm", 1, cannotWrite("to-scene.ppm", "it is the scene file")},
        {{missing}, "directory.png", 1, cannotWrite("directory.png", "it is a directory")},
        {{missing}, "fifo.png", 1, cannotWrite("fifo.png", "it is a FIFO")},
        {{missing}, "device.png", 1, cannotWrite("device.png", "it is a device")},
        {{missing},
         "to-device.png",
         1,
         cannotWrite("to-device.png", "it is a symbolic link to a device")},
        {{missing},
         "to-nothing.png",
         1,
         cannotWrite("to-nothing.png", "it is a symbolic link to nothing")},
        {{missing}, "no/p.png", 2, cannotWrite("no/p.png", "No such file or directory")},
        {{missing},
         "read-only/p.png",
         2,
         cannotWrite("read-only/p.png", root ? "Read-only file system" : "Permission denied")},
        {{Path("truncated.txt")}, "new.png", 0, "truncated.txt:3:22: warning: "},
        {{scene}, "old.png", 0, ""},
        {{scene}, "to-old.png", 0, ""},
    };
    for (const Case& c : cases) {
        const std::string output = c.output;
        if ((!root && output.find("device") != std::string::npos) ||
            (!haveReadOnly && output.starts_with("read-only"))) {
            continue;
        }
        EXPECT_EQ(RunHere(c.arguments + QStringList{"-o", Path(c.output), "--size", "4x4"}),
                  c.status)
            << output << '\n'
            << err.str();
        EXPECT_THAT(err.str(), HasSubstr(c.message)) << output;
        EXPECT_EQ(Read("keep.png"), "an earlier picture");
    }
    EXPECT_TRUE(Read("scene.ppm") == sceneText);
    EXPECT_TRUE(QFileInfo(Path("fifo.png")).exists() && !QFileInfo(Path("fifo.png")).isFile());
    EXPECT_TRUE(QFileInfo(Path("to-old.png")).isSymLink());  // written through, to its target
    for (const char* written : {"old.png", "new.png"}) {
        EXPECT_EQ(QImage(Path(written)).size(), QSize(4, 4)) << written;
    }
    // A replaced file keeps its permissions; a new one has those the umask leaves.
    const auto permissions = [&](const char* name) {
        struct stat status {};
        EXPECT_EQ(stat(QFile::encodeName(Path(name)).constData(), &status), 0);
        return status.st_mode & 0777;
    };
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(permissions("old.png"), 0662u);  // more than the umask leaves
    EXPECT_EQ(permissions("new.png"), 0666u & ~mask);
    EXPECT_EQ(Files().filter(QRegularExpression("^\\.")), QStringList());  // no temporary file
}

// A scene where one pixel takes minutes: glass seen through glass under fifty lights.
QByteArray SlowPixelScene() {
    QByteArray scene = "CAMERA (0,0,-8) (1,0,0) (0,1,0) (0,0,-2)\n";
    for (int i = 0; i < 50; ++i) {
        scene += QString("LIGHT (%1,10,-10) (0.02,0.02,0.02) 0.1\n").arg(i - 25).toLatin1();
    }
    for (int i = 0; i < 4; ++i) {
        scene +=
            QString("SPHERE (0,0,%1) 2 (0.1,0.1,0.1) 1 20 (1,1,1) 2.25 1\n").arg(i * 5).toLatin1();
    }
    return scene;
}

TEST_F(LumivexRender, StopsPromptlyInEveryPhaseExitingWith130AndWritingNothing) {
    std::string spheres;
    for (int i = 0; i < 400000; ++i) {
        spheres += "SPHERE (" + std::to_string(i % 100) + "," + std::to_string(i / 100) +
                   ",5) 0.4 (1,0,0) 0.5 20 (1,1,1) 1 1\n";
    }
    Write("spheres.txt", QByteArray::fromStdString(spheres));
    Write("slow.txt", SlowPixelScene());
    const QString fifo = Path("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const struct {
        const char* phase;
        QStringList arguments;
        bool writeToFifo;
        int signal;
    } phases[] = {
        {"waiting for a writer", {fifo}, false, SIGINT},
        {"reading a slow pipe", {fifo}, true, SIGTERM},
        {"loading", {Path("spheres.txt"), "--no-acceleration"}, false, SIGINT},
        {"rendering one long pixel",
         {Path("slow.txt"), "--size", "64x64", "--aa", "monte-carlo"},
         false,
         SIGINT},
        {"rendering", {kWorkedExample, "--size", "2048x2048", "--aa", "jittered"}, false, SIGTERM},
    };
    for (const auto& phase : phases) {
        QProcess process;
        process.start(LUMIVEX_RENDER_PATH, phase.arguments + QStringList{"-o", Path("p.png")});
        ASSERT_TRUE(process.waitForStarted());
        QFile writer(fifo);
        if (phase.writeToFifo) {
            // Some data, then silence with the pipe held open.
            ASSERT_TRUE(writer.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            writer.write("AMBIENT (1,1,1)\n");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        ASSERT_EQ(process.state(), QProcess::Running) << phase.phase;
        ::kill(static_cast<pid_t>(process.processId()), phase.signal);
        const auto stopping = std::chrono::steady_clock::now();
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_LT(std::chrono::steady_clock::now() - stopping, kStopLatency) << phase.phase;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 130) << phase.phase;
        EXPECT_THAT(process.readAllStandardError().toStdString(), HasSubstr("interrupted"));
    }
    EXPECT_EQ(Files(), QStringList({"slow.txt", "spheres.txt"}));
}

TEST_F(LumivexRender, APictureTooLargeForMemoryIsReportedNotACrash) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#else
    // 600 MB of address space: enough to start, not for a 1 GiB buffer.
    const ProgramRun run = Run({kWorkedExample, "-o", Path("p.png"), "--size", "16384x16384"}, [] {
        const rlimit limit{600u << 20, 600u << 20};
        setrlimit(RLIMIT_AS, &limit);
    });
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.err, "lumivex-render: not enough memory for a 16384x16384 picture\n");
    EXPECT_EQ(Files(), QStringList());
#endif
}

TEST_F(LumivexRender, ShowsProgressOnlyOnATerminal) {
    const QStringList arguments = {kWorkedExample, "-o", Path("p.png"), "--size", "8x8"};
    EXPECT_EQ(RunHere(arguments, true), 0);
    EXPECT_THAT(err.str(), HasSubstr("\r100% [" + std::string(30, '#') + "]"));
    EXPECT_THAT(err.str(), HasSubstr("\nwrote " + Path("p.png").toStdString() + " (8x8, "));
    EXPECT_THAT(ProgressLine(50, 200, 30.0),
                HasSubstr("\r 25% [#######.......................] 0:30 elapsed, about 1:30 left"));
    EXPECT_EQ(RunHere(arguments, false), 0);
    EXPECT_EQ(err.str(), "");
}

TEST_F(LumivexRender, AClosedPipeOnStandardOutputIsReportedWithStatusTwo) {
    for (const QStringList& arguments :
         {QStringList{"--help"},
          {"--version"},
          {"--check", kWorkedExample},
          {kWorkedExample, "-o", Path("p.png"), "--size", "4x4", "--stats"}}) {
        int ends[2];
        ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
        close(ends[0]);  // nobody will read
        const int writeEnd = ends[1];
        const ProgramRun run = Run(arguments, [writeEnd] {
            std::signal(SIGPIPE, SIG_DFL);  // as a shell would start it
            dup2(writeEnd, STDOUT_FILENO);
        });
        close(writeEnd);
        const std::string command = arguments.join(' ').toStdString();
        EXPECT_TRUE(run.exited) << command;  // not killed by SIGPIPE
        EXPECT_EQ(run.status, 2) << command;
        EXPECT_EQ(run.err, "lumivex-render: cannot write to standard output: Broken pipe\n")
            << command;
    }
}

TEST(WritePicture, WritesEveryOfferedFormatAndStopsMidWayWhenAbandoned) {
    const QStringList extensions = WritablePictureExtensions();
    EXPECT_TRUE(extensions.contains("png") && extensions.contains("ppm"));
    testing::ScratchFiles files;
    // Large enough for every format to write it in many pieces.
    QImage image = NewPictureImage(1024, 768);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(x, y, 0xFF000000u | std::uint32_t(x * 2654435761u ^ y * 40503u));
        }
    }
    for (const QString& extension : extensions) {
        const QString path = files.Path("p." + extension);
        int asks = 0;
        const PictureWrite written =
            WritePicture(image, path, extension.toLatin1(), [&] { return ++asks < 0; });
        EXPECT_EQ(written.outcome, PictureWrite::Outcome::Written) << written.error.toStdString();
        EXPECT_EQ(QImage(path).size(), image.size()) << extension.toStdString();

        // A stop request is looked at while the picture is encoded, and answered there.
        EXPECT_GT(asks, 2) << extension.toStdString();
        const QByteArray before = files.Read("p." + extension);
        int asked = 0;
        PictureWrite::Outcome outcome;
        {
#if defined(__SANITIZE_ADDRESS__)
            // Qt's PNG and PPM writers lose a row buffer when their device fails mid-picture, as
            // it does here on purpose; a stopped lumivex-render exits right after.
            const __lsan::ScopedDisabler qtLosesARow;
#endif
            outcome = WritePicture(image.mirrored(), path, extension.toLatin1(), [&] {
                          return ++asked > asks / 2;
                      }).outcome;
        }
        EXPECT_EQ(outcome, PictureWrite::Outcome::Abandoned) << extension.toStdString();
        EXPECT_EQ(asked, asks / 2 + 1) << extension.toStdString();  // no question after the yes
        EXPECT_TRUE(files.Read("p." + extension) == before) << extension.toStdString();
    }
    EXPECT_EQ(files.Files().size(), extensions.size());
}

// --check

TEST_F(LumivexRender, ChecksTheWorkedExampleAsJson) {
    const ProgramRun run = Run({"--check", kWorkedExample});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const QJsonObject json = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(json.keys(), QStringList({"air", "ambient", "camera", "diagnostic", "lights",
                                        "objects", "warnings"}));
    EXPECT_EQ(json["camera"]["eyeOffset"], (QJsonArray{0, 0, -2, 0}));
    EXPECT_EQ(json["lights"][0]["radius"], 0.5);
    EXPECT_TRUE(json["diagnostic"].isNull());
    // Each shape's parameters under their own names, then its material.
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
        EXPECT_EQ(objects[i]["material"].toObject().keys(),
                  QStringList({"attenuation", "diffuse", "permeability", "permittivity",
                               "refractiveIndex", "roughness", "specularCoefficient",
                               "specularExponent"}));
    }
    EXPECT_EQ(objects[1]["material"]["roughness"], 0.1);
    EXPECT_EQ(objects[2]["vertices"][1], (QJsonArray{1, 0, 5, 1}));
    EXPECT_EQ(objects[3]["material"]["refractiveIndex"], 1.5);

    const ProgramRun truncated =
        Run({"--check", Write("truncated.txt", "AMBIENT (1,1,1)\nSPHERE (0,0,0) 2 (1,0")});
    EXPECT_EQ(truncated.status, 3);
    EXPECT_THAT(truncated.err, HasSubstr("truncated.txt:2:22: error: "));
    EXPECT_EQ(QJsonDocument::fromJson(truncated.out)["diagnostic"]["line"], 2);
}

// A stand-in loader that ignores the text and reports the given diagnostic and warnings.
SceneTextLoader Reporting(std::optional<SceneDiagnostic> stop,
                          std::vector<SceneDiagnostic> warnings) {
    return [=](std::string, const std::atomic<bool>*) {
        return SceneLoadResult{std::make_unique<Scene>(), stop, warnings};
    };
}

TEST_F(LumivexRender, CheckPrintsWarningsThenTheDiagnosticAndExitsThree) {
    const QString path = Write("scene.txt", "");
    const SceneDiagnostic stop{3, 5, "stopped here", "SPHERE x"};
    const SceneDiagnostic warning{1, 1, "odd line", "sphere"};
    EXPECT_EQ(Check(path, Reporting(stop, {warning, warning})), 3);
    const std::string name = path.toStdString();
    EXPECT_EQ(err.str(), FormatDiagnostic(name, warning, "warning") +
                             FormatDiagnostic(name, warning, "warning") +
                             FormatDiagnostic(name, stop, "error"));
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).object();
    // The JSON gives line, column and message, but not the line text.
    EXPECT_EQ(json["diagnostic"],
              QJsonObject({{"line", 3}, {"column", 5}, {"message", "stopped here"}}));
    EXPECT_EQ(json["warnings"].toArray().size(), 2);
    // Warnings alone do not fail the check.
    EXPECT_EQ(Check(path, Reporting(std::nullopt, {warning})), 0);
}

TEST_F(LumivexRender, CheckHandsTheLoaderTheWholeFileFromAFileOrAPipe) {
    // CR LF, a non-UTF-8 byte and more than one read's worth of data.
    const QByteArray bytes = QByteArray("CAMERA\r\n\xff") + QByteArray(5 << 20, 'x');
    std::string seen;
    const auto load = [&](std::string text, const std::atomic<bool>*) {
        seen = std::move(text);
        return SceneLoadResult{std::make_unique<Scene>(), {}, {}};
    };
    EXPECT_EQ(Check(Write("scene.txt", bytes), load), 0);
    EXPECT_TRUE(seen == bytes.toStdString());

    const QString fifo = Path("fifo");
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
    EXPECT_TRUE(seen == bytes.toStdString());
}

TEST_F(LumivexRender, CheckRefusesWhatIsNoSceneFileOrCannotBeLoaded) {
    const QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    const struct {
        QString path;
        std::uint64_t limit;
        int status;
        std::string message;
    } refused[] = {
        {Path("missing.txt"), kDefaultMaxSceneBytes, 2,
         "cannot open '" + Path("missing.txt").toStdString() + "': No such file or directory"},
        {Root(), kDefaultMaxSceneBytes, 2, "it is a directory"},
        {"/dev/zero", kDefaultMaxSceneBytes, 2, "it is a device, not a scene file"},
        {"/proc/self/mem", kDefaultMaxSceneBytes, 2, "cannot read '/proc/self/mem': "},
        {Write("picture.png", png), kDefaultMaxSceneBytes, 2,
         "it is not a scene file (a NUL byte at offset 8; scene files are text)"},
        {Write("big.txt", QByteArray(101, ' ')), 100, 2,
         "larger than the scene size limit of 100 bytes (see --max-scene-size)"},
        {Write("bigger.txt", QByteArray(2 << 20, ' ')), 1 << 20, 2,
         "larger than the scene size limit of 1 MiB"},
    };
    bool loaded = false;
    const auto load = [&](std::string, const std::atomic<bool>*) {
        loaded = true;
        return SceneLoadResult{std::make_unique<Scene>(), {}, {}};
    };
    for (const auto& c : refused) {
        EXPECT_EQ(Check(c.path, load, c.limit), c.status) << c.message;
        EXPECT_THAT(err.str(), HasSubstr(c.message));
        EXPECT_EQ(out.str(), "");
    }
    EXPECT_FALSE(loaded);
    EXPECT_EQ(Check(Write("exact.txt", QByteArray(100, ' ')), load, 100), 0);

    // What loading throws: allocation failures (std::string and std::vector throw length_error
    // past their limits) and anything else.
    const QString path = Write("scene.txt", "SPHERE");
    const std::pair<std::function<void()>, std::string> failures[] = {
        {[] { throw std::bad_alloc(); }, "out of memory while loading '" + path.toStdString()},
        {[] { throw std::length_error("big"); }, "out of memory while loading '"},
        {[] { throw std::runtime_error("boom"); }, "boom"},
    };
    for (const auto& [fail, message] : failures) {
        EXPECT_EQ(Check(path,
                        [&](std::string, const std::atomic<bool>*) -> SceneLoadResult {
                            fail();
                            return {};
                        }),
                  4);
        EXPECT_THAT(err.str(), HasSubstr(message));
    }

    std::ostream broken(nullptr);
    EXPECT_EQ(RunCheck(path, broken, err), 2);
    EXPECT_THAT(err.str(), HasSubstr("cannot write"));
}

}  // namespace
}  // namespace lumivex
