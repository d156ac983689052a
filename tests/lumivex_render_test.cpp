// lumivex-render as a user runs it: the picture it writes, the figures it prints, what it refuses,
// how it stops, and --check.
#include "cli/lumivex_render.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <csignal>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <tuple>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/check_command.h"
#include "cli/render_command.h"
#include "io/exr_file.h"
#include "io/part_file.h"
#include "io/picture_file.h"
#include "program_support.h"
#include "render_support.h"

namespace lumivex {
namespace {

using ::testing::HasSubstr;
using testing::ProgramRun;

const QString kWorkedExample = LUMIVEX_EXAMPLES_DIR "/worked-example.txt";

// How long a stop request may go unanswered, on a machine running other tests beside this one;
// sanitizers slow everything down several times.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr auto kStopLatency = std::chrono::milliseconds(600);
#else
constexpr auto kStopLatency = std::chrono::milliseconds(150);
#endif

class LumivexRender : public ::testing::Test, public testing::ScratchFiles {
  protected:
    // lumivex-render in this process, standard error a terminal or not.
    static ProgramRun RunHere(const QStringList& arguments, bool terminal = false) {
        std::ostringstream out, err;
        const int status =
            RunLumivexRender(QStringList{"lumivex-render"} + arguments, out, err, terminal);
        return {true, status, QByteArray::fromStdString(out.str()), err.str()};
    }
    static ProgramRun Check(const QString& path, const SceneTextLoader& load) {
        std::ostringstream out, err;
        const int status = RunCheck(path, out, err, load);
        return {true, status, QByteArray::fromStdString(out.str()), err.str()};
    }
};

TEST_F(LumivexRender, WritesTheCoreRenderersPicture) {
    // Not square, so a swapped width and height or an unflipped picture shows.
    const auto words = testing::RenderWords(testing::ExampleText("worked-example"),
                                            testing::Request(40, 24, AntialiasMode::Jittered, 3));
    QByteArray ppm = "P6\n40 24\n255\n";
    for (std::uint32_t y = 24; y-- > 0;) {
        for (std::uint32_t x = 0; x < 40; ++x) {
            const std::uint32_t word = words[y * 40 + x];
            const char rgb[] = {char(word >> 16), char(word >> 8), char(word)};
            ppm.append(rgb, 3);
        }
    }
    // No progress when standard error is no terminal; nothing on standard output.
    const QStringList arguments = {kWorkedExample, "--size",    "40x24", "--aa",
                                   "jittered",     "--workers", "3",     "-o"};
    const ProgramRun run = RunHere(arguments + QStringList{Path("p.ppm")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err + run.out.toStdString(), "");
    EXPECT_TRUE(Read("p.ppm") == ppm);
    EXPECT_EQ(RunHere(arguments + QStringList{Path("p.png")}).status, 0);
    EXPECT_EQ(QImage(Path("p.png")).convertToFormat(QImage::Format_RGB32),
              QImage(Path("p.ppm")).convertToFormat(QImage::Format_RGB32));
}

TEST_F(LumivexRender, StatsAreOneJsonLineCountingTheRaysTraced) {
    const ProgramRun run =
        RunHere({kWorkedExample, "-o", Path("p.png"), "--size", "20x10", "--workers", "2",
                 "--stats", "--stochastic", "--aa", "monte-carlo"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.endsWith('\n') && run.out.count('\n') == 1) << run.out.toStdString();
    QJsonObject stats = QJsonDocument::fromJson(run.out).object();
    RenderSession session;
    session.SetScene(
        PrepareScene(LoadSceneText(testing::ExampleText("worked-example")).scene, true));
    session.Start(testing::Request(20, 10, AntialiasMode::MonteCarlo, 2, true));
    session.Wait();
    const RayCounts rays = session.Rays();
    EXPECT_EQ(stats.take("rays"), QJsonObject({{"camera", qint64(rays.camera)},
                                               {"secondary", qint64(rays.secondary)},
                                               {"shadow", qint64(rays.shadow)}}));
    const double seconds = stats.take("seconds").toDouble();
    EXPECT_GT(seconds, 0.0);
    EXPECT_DOUBLE_EQ(stats.take("mraysPerSecond").toDouble(),
                     double(rays.camera + rays.secondary + rays.shadow) / seconds / 1e6);
    EXPECT_GE(stats.take("loadSeconds").toDouble(-1), 0.0);
    EXPECT_GE(stats.take("threads").toInt(), 1);
    const QJsonObject expected = {{"width", 20},        {"height", 10},
                                  {"workers", 2},       {"mode", "monte-carlo"},
                                  {"stochastic", true}, {"accelerated", true}};
    EXPECT_EQ(stats, expected);
}

TEST_F(LumivexRender, RefusesBadScenesAndOptionsWithTheirStatusAndReason) {
    Write("keep.png", "an earlier picture");
    const QString cut = Write("cut.txt", "AMBIENT (1,1,1)\nsphere\nSPHERE (0,0,0) 2 (1,0");
    const std::tuple<QStringList, int, QString> refused[] = {
        {{Path("missing.txt")}, 2, "cannot open '%1': No such file or directory"},
        {{Root()}, 2, "cannot read '%1': it is a directory"},
        {{"/dev/zero"}, 2, "cannot read '%1': it is a device, not a scene file"},
        {{"/proc/self/mem"}, 2, "cannot read '%1': Input/output error"},
        {{Write("picture.png", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16))},
         2,
         "'%1': it is not a scene file (a NUL byte at offset 8; scene files are text)"},
        {{Write("big.txt", QByteArray(101, ' ')), "--max-scene-size", "100"},
         2,
         "'%1': it is larger than the scene size limit of 100 bytes (see --max-scene-size)"},
        {{Write("bigger.txt", QByteArray(2 << 20, ' ')), "--max-scene-size", "1M"}, 2, "of 1 MiB"},
        {{kWorkedExample, "--workers", "0"}, 1, "invalid --workers"},
        {{cut, "--strict"}, 3, "cut.txt:3:22: error: "},
        {{Write("notes.txt", "# a note\n"), "--strict"}, 3, "holds no scene entry; nothing"},
    };
    for (const auto& [arguments, status, message] : refused) {
        // Only messages that name the file have a place for it (arg would warn otherwise).
        const std::string expected =
            (message.contains("%1") ? message.arg(arguments[0]) : message).toStdString();
        // A file that is no scene file is refused alike by --check.
        for (const QStringList& command : {QStringList{"-o", Path("keep.png")}, {"--check"}}) {
            const ProgramRun run = RunHere(arguments + command);
            EXPECT_EQ(run.status, status) << run.err;
            EXPECT_THAT(run.err, HasSubstr(expected));
            EXPECT_EQ(run.out, "");
            if (status != 2) {
                break;
            }
        }
    }
    EXPECT_EQ(Read("keep.png"), "an earlier picture");
    // A name is shown with its control characters escaped.
    EXPECT_THAT(RunHere({Path("a\x1B.txt"), "--check"}).err, HasSubstr("a\\x1B.txt': No such"));
    const QString exact = Write("exact.txt", QByteArray(100, ' '));
    EXPECT_EQ(RunHere({exact, "--check", "--max-scene-size", "100"}).status, 0);
    // Without --strict what was read before the problem is rendered; on a terminal the progress
    // and what was written are shown.
    const std::string lenient = RunHere({cut, "-o", Path("new.png"), "--size", "4x4"}, true).err;
    EXPECT_THAT(lenient, HasSubstr("cut.txt:3:22: warning: "));
    EXPECT_THAT(lenient, HasSubstr("\r100% [" + std::string(30, '#') + "]"));
    EXPECT_THAT(lenient, HasSubstr("\nwrote " + Path("new.png").toStdString() + " (4x4, "));
    EXPECT_EQ(QImage(Path("new.png")).size(), QSize(4, 4));
    EXPECT_THAT(ProgressLine(50, 200, 30.0),
                HasSubstr("\r 25% [#######.......................] 0:30 elapsed, about 1:30 left"));
}

TEST_F(LumivexRender, WritesOnlyWhereAPictureFileMayBeReplaced) {
    const QByteArray sceneText = QByteArray::fromStdString(testing::ExampleText("worked-example"));
    const QString scene = Write("scene.ppm", sceneText);
    Write("old.png", "an earlier picture");
    ASSERT_EQ(chmod(QFile::encodeName(Path("old.png")).constData(), 0662), 0);
    ASSERT_TRUE(QDir(Root()).mkdir("directory.png"));
    ASSERT_EQ(mkfifo(QFile::encodeName(Path("fifo.png")).constData(), 0600), 0);
    // A null device of our own, which a mistake here cannot harm; only root may make one.
    const bool device = mknod(QFile::encodeName(Path("device.png")).constData(), S_IFCHR | 0600,
                              makedev(1, 3)) == 0;
    for (const auto& [link, target] : {std::pair{"to-scene.ppm", "scene.ppm"},
                                       {"to-device.png", "device.png"},
                                       {"to-nothing.png", "nothing.png"},
                                       {"to-old.png", "old.png"}}) {
        ASSERT_TRUE(QFile::link(target, Path(link)));
    }
    // The output is refused before the scene is read, so most of these name a missing one.
    const QString missing = Path("missing.txt");
    const std::tuple<QString, QString, int, const char*> refused[] = {
        {scene, "scene.ppm", 1, "it is the scene file"},
        {scene, "to-scene.ppm", 1, "it is the scene file"},
        {missing, "directory.png", 1, "it is a directory"},
        {missing, "fifo.png", 1, "it is a FIFO"},
        {missing, "to-device.png", 1, "it is a symbolic link to a device"},
        {missing, "to-nothing.png", 1, "it is a symbolic link to nothing"},
        {missing, "no/p.png", 2, "No such file or directory"},
    };
    for (const auto& [input, output, status, why] : refused) {
        if (output.contains("device") && !device) {
            continue;
        }
        const ProgramRun run = RunHere({input, "-o", Path(output), "--size", "4x4"});
        EXPECT_EQ(run.status, status) << output.toStdString() << '\n' << run.err;
        EXPECT_THAT(run.err, HasSubstr("lumivex-render: cannot write '" +
                                       Path(output).toStdString() + "': " + why));
    }
    EXPECT_TRUE(Read("scene.ppm") == sceneText);
    EXPECT_TRUE(QFileInfo(Path("fifo.png")).exists() && !QFileInfo(Path("fifo.png")).isFile());

    // A symbolic link is written through, to its target; a replaced file keeps its permissions,
    // a new one has those the umask leaves.
    for (const char* output : {"old.png", "to-old.png", "new.png"}) {
        EXPECT_EQ(RunHere({scene, "-o", Path(output), "--size", "4x4"}).status, 0) << output;
    }
    EXPECT_TRUE(QFileInfo(Path("to-old.png")).isSymLink());
    EXPECT_EQ(QImage(Path("old.png")).size(), QSize(4, 4));
    const auto permissions = [&](const char* name) {
        struct stat status {};
        EXPECT_EQ(stat(QFile::encodeName(Path(name)).constData(), &status), 0);
        return status.st_mode & 0777;
    };
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(permissions("old.png"), 0662u);  // more than the umask leaves
    EXPECT_EQ(permissions("new.png"), 0666u & ~mask);
    for (const QString& file : Files()) {
        EXPECT_FALSE(file.startsWith('.')) << "a temporary file left: " << file.toStdString();
    }
}

TEST_F(LumivexRender, StopsPromptlyInEveryPhaseExitingWith130AndWritingNothing) {
    // Loading this takes a good second; one pixel of the other takes minutes: glass seen through
    // glass under fifty lights.
    Write("spheres.txt",
          QByteArray("SPHERE (0,0,5) 0.4 (1,0,0) 0.5 20 (1,1,1) 1 1\n").repeated(400000));
    QByteArray slow = "CAMERA (0,0,-8) (1,0,0) (0,1,0) (0,0,-2)\n" +
                      QByteArray("LIGHT (0,10,-10) (0.02,0.02,0.02) 0.1\n").repeated(50);
    for (const char* z : {"0", "5", "10", "15"}) {
        slow += "SPHERE (0,0," + QByteArray(z) + ") 2 (0.1,0.1,0.1) 1 20 (1,1,1) 2.25 1\n";
    }
    Write("slow.txt", slow);
    Write("p.png", "an earlier picture");
    const QString fifo = Path("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // What it is doing, how it is started, whether the FIFO gets a line and then silence, and
    // the signal that stops it.
    const std::tuple<const char*, QStringList, bool, int> phases[] = {
        {"waiting for a writer", {fifo}, false, SIGINT},
        {"reading a slow pipe", {fifo}, true, SIGTERM},
        {"loading", {Path("spheres.txt"), "--no-acceleration"}, false, SIGINT},
        {"one long pixel", {Path("slow.txt"), "--aa", "monte-carlo"}, false, SIGINT},
        {"rendering", {kWorkedExample, "--size", "2048x2048", "--aa", "jittered"}, false, SIGTERM},
    };
    for (const auto& [phase, arguments, writeToFifo, signal] : phases) {
        QProcess process;
        process.start(LUMIVEX_RENDER_PATH, arguments + QStringList{"-o", Path("p.png")});
        ASSERT_TRUE(process.waitForStarted());
        QFile writer(fifo);
        if (writeToFifo) {
            ASSERT_TRUE(writer.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            writer.write("AMBIENT (1,1,1)\n");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        ASSERT_EQ(process.state(), QProcess::Running) << phase;
        ::kill(static_cast<pid_t>(process.processId()), signal);
        const auto stopping = std::chrono::steady_clock::now();
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_LT(std::chrono::steady_clock::now() - stopping, kStopLatency) << phase;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 130) << phase;
        EXPECT_THAT(process.readAllStandardError().toStdString(), HasSubstr("interrupted"));
    }
    EXPECT_EQ(Files(), QStringList({"p.png", "slow.txt", "spheres.txt"}));
    EXPECT_EQ(Read("p.png"), "an earlier picture");
}

// Parts rendered apart and put together, and renders interrupted and resumed, give the very
// file one render writes; parts that do not make one picture are refused, writing nothing.
TEST_F(LumivexRender, PartsOfAnySplitMergeToTheOneProcessPicture) {
    const QStringList options = {kWorkedExample, "--size",       "24x40", "--workers",
                                 "16",           "--stochastic", "--aa",  "jittered"};
    ASSERT_EQ(RunHere(options + QStringList{"-o", Path("one.ppm")}).status, 0);
    const std::vector<QStringList> splits = {
        {"0-15"}, {"0-4", "5-10", "11-15"}, {"11-15", "0-4,6", "5,7-10"}, {"15", "0-14"}};
    for (const QStringList& split : splits) {
        QStringList parts;
        for (const QString& bands : split) {
            parts << Path(QString("part%1.png").arg(parts.size()));
            ASSERT_EQ(RunHere(options + QStringList{"--bands", bands, "-o", parts.back()}).status,
                      0);
        }
        const ProgramRun merged =
            RunHere(QStringList{"--merge"} + parts + QStringList{"-o", Path("merged.ppm")});
        EXPECT_EQ(merged.status, 0) << merged.err;
        EXPECT_TRUE(Read("merged.ppm") == Read("one.ppm")) << split.join(' ').toStdString();
    }
}

TEST_F(LumivexRender, MergeRefusesPartsThatDoNotMakeOnePicture) {
    Write("other.txt", QByteArray::fromStdString(testing::ExampleText("worked-example")) + "\n");
    // A part of the worked example at 16x12 in 4 bands, unless told otherwise.
    const auto part = [&](const QString& name, const QString& bands, const QStringList& extra = {},
                          const QString& size = "16x12", const QString& workers = "4",
                          const QString& scene = kWorkedExample) {
        QStringList arguments = {scene, "--size", size, "--workers", workers, "-o", Path(name)};
        if (!bands.isEmpty()) {
            arguments << "--bands" << bands;
        }
        EXPECT_EQ(RunHere(arguments + extra).status, 0) << name.toStdString();
        return Path(name);
    };
    const QString low = part("low.png", "0-1");
    const QString high = part("high.png", "2-3");
    const QString whole = part("whole.png", "");
    Write("p.png", "an earlier picture");
    const std::tuple<QStringList, int, const char*> refused[] = {
        {{low}, 3, "no part holds bands 2-3 of 4"},
        {{low, high, part("again.png", "1")}, 3, "band 1 is in both"},
        {{low, part("size.png", "2-3", {}, "16x13")}, 3, "16x13, not 16x12"},
        {{low, part("aa.png", "2-3", {"--aa", "jittered"})}, 3, "jittered, not off"},
        {{low, part("st.png", "2-3", {"--stochastic"})}, 3, "with --stochastic"},
        {{low, part("n.png", "2-3", {}, "16x12", "5")}, 3, "--workers 5, not 4"},
        {{low, part("s.png", "2-3", {}, "16x12", "4", Path("other.txt"))}, 3, "another scene"},
        {{low, whole}, 2, "not a Lumivex part file"},
        {{low, Path("missing.png")}, 2, "missing.png"},
    };
    for (const auto& [parts, status, message] : refused) {
        const ProgramRun run =
            RunHere(QStringList{"--merge"} + parts + QStringList{"-o", Path("p.png")});
        EXPECT_EQ(run.status, status) << message;
        EXPECT_THAT(run.err, HasSubstr(message));
    }
    EXPECT_EQ(Read("p.png"), "an earlier picture");
}

TEST_F(LumivexRender, AnInterruptedRenderResumesToTheOneProcessPicture) {
    const QString showcase = LUMIVEX_EXAMPLES_DIR "/showcase.txt";
    // Some seconds of work in 64 short bands, so that an interruption finds some of them done.
    const QStringList options = {showcase, "--size", "128x160",  "--workers",
                                 "64",     "--aa",   "jittered", "-o"};
    ASSERT_EQ(RunHere(options + QStringList{Path("one.ppm")}).status, 0);
    const QStringList resume = options + QStringList{Path("p.ppm"), "--resume"};
    const QString partial = Path("p.ppm.partial.png");

    // A part file from other options or another scene is refused, and kept; one that fits is
    // finished, and removed.
    const std::pair<QStringList, const char*> stale[] = {
        {{showcase, "--size", "128x160", "--workers", "64"}, "jittered"},
        {{kWorkedExample, "--size", "128x160", "--workers", "64", "--aa", "jittered"}, "scene"},
    };
    for (const auto& [parts, message] : stale) {
        ASSERT_EQ(RunHere(parts + QStringList{"--bands", "0-9", "-o", partial}).status, 0);
        const ProgramRun run = RunHere(resume);
        EXPECT_EQ(run.status, 3);
        EXPECT_THAT(run.err, HasSubstr(message));
        EXPECT_EQ(Files(), QStringList({"one.ppm", "p.ppm.partial.png"}));
    }
    ASSERT_EQ(RunHere(options + QStringList{partial, "--bands", "3-7,20"}).status, 0);
    EXPECT_EQ(RunHere(resume).status, 0);
    EXPECT_TRUE(Read("p.ppm") == Read("one.ppm"));
    EXPECT_EQ(Files(), QStringList({"one.ppm", "p.ppm"}));

    // Ctrl+C or SIGTERM at any moment, then --resume, again and again; the last one is let be.
    QFile::remove(Path("p.ppm"));
    std::mt19937 random(7);
    int interrupted = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        QProcess process;
        process.start(LUMIVEX_RENDER_PATH,
                      attempt == 0 ? options + QStringList{Path("p.ppm")} : resume);
        ASSERT_TRUE(process.waitForStarted());
        // Not before the program has had time to start and watch for signals.
        std::this_thread::sleep_for(std::chrono::milliseconds(400 + random() % 500));
        ::kill(static_cast<pid_t>(process.processId()), attempt % 2 ? SIGTERM : SIGINT);
        ASSERT_TRUE(process.waitForFinished(60000));
        const int status = process.exitCode();
        ASSERT_TRUE(status == 0 || status == 130) << process.readAllStandardError().toStdString();
        interrupted += status == 130;
    }
    const ProgramRun last = RunHere(resume);
    EXPECT_EQ(last.status, 0) << last.err;
    EXPECT_GE(interrupted, 1);
    EXPECT_TRUE(Read("p.ppm") == Read("one.ppm"));
    EXPECT_EQ(Files(), QStringList({"one.ppm", "p.ppm"}));
}

// EXR pictures: the colours that pack to the 8-bit picture's bytes, put together from parts and
// after interruptions into the very file one render writes.
TEST_F(LumivexRender, AnExrPictureHoldsTheColoursThatPackToTheEightBitOne) {
    for (const QString mode : {"off", "jittered", "monte-carlo"}) {
        const QStringList options = {kWorkedExample, "--size", "20x12",        "--workers", "3",
                                     "--aa",         mode,     "--stochastic", "-o"};
        ASSERT_EQ(RunHere(options + QStringList{Path("p.exr")}).status, 0);
        ASSERT_EQ(RunHere(options + QStringList{Path("p.png")}).status, 0);
        const ExrPicture exr = ReadExr(Path("p.exr"));
        ASSERT_TRUE(exr.colors.has_value()) << exr.problem.toStdString();
        QImage packed = NewPictureImage(20, 12);
        CopyBandRows(*exr.colors, packed, {0, 12});
        EXPECT_EQ(packed, QImage(Path("p.png")).convertToFormat(QImage::Format_RGB32));
    }
}

TEST_F(LumivexRender, ExrPartsMergeToTheOneProcessPictureInEitherDepth) {
    const QStringList options = {kWorkedExample, "--size",       "24x40", "--workers",
                                 "16",           "--stochastic", "--aa",  "monte-carlo"};
    for (const char* one : {"one.exr", "one.png"}) {
        ASSERT_EQ(RunHere(options + QStringList{"-o", Path(one)}).status, 0);
    }
    QStringList parts;
    for (const QString bands : {"11-15", "0-4,6", "5,7-10"}) {
        parts << Path("part" + bands + ".exr");
        ASSERT_EQ(RunHere(options + QStringList{"--bands", bands, "-o", parts.back()}).status, 0);
    }
    for (const char* merged : {"merged.exr", "merged.png"}) {
        const ProgramRun run =
            RunHere(QStringList{"--merge"} + parts + QStringList{"-o", Path(merged)});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(Read(merged) == Read(QString(merged).replace("merged", "one"))) << merged;
    }
    // 8-bit parts make no EXR picture, and do not mix with float ones.
    ASSERT_EQ(RunHere(options + QStringList{"--bands", "0-4,6", "-o", Path("low.png")}).status, 0);
    const std::pair<QStringList, const char*> refused[] = {
        {{parts[0], Path("low.png"), parts[2]}, "are of one kind"},
        {{Path("low.png")}, "an EXR picture is made of EXR parts"},
    };
    for (const auto& [from, message] : refused) {
        const ProgramRun run =
            RunHere(QStringList{"--merge"} + from + QStringList{"-o", Path("merged.exr")});
        EXPECT_EQ(run.status, 3);
        EXPECT_THAT(run.err, HasSubstr(message));
    }
}

TEST_F(LumivexRender, AnInterruptedExrRenderResumesToTheOneProcessPicture) {
    const QString showcase = LUMIVEX_EXAMPLES_DIR "/showcase.txt";
    // Some seconds of work in 64 short bands, so that an interruption finds some of them done.
    const QStringList options = {showcase, "--size", "128x160",  "--workers",
                                 "64",     "--aa",   "jittered", "-o"};
    ASSERT_EQ(RunHere(options + QStringList{Path("one.exr")}).status, 0);
    const QStringList resume = options + QStringList{Path("p.exr"), "--resume"};
    bool kept = false;
    for (const int milliseconds : {500, 800}) {
        QProcess process;
        process.start(LUMIVEX_RENDER_PATH, resume);
        ASSERT_TRUE(process.waitForStarted());
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        ASSERT_TRUE(process.waitForFinished(60000));
        const int status = process.exitCode();
        ASSERT_TRUE(status == 0 || status == 130) << process.readAllStandardError().toStdString();
        kept = kept || Files().contains("p.exr.partial.exr");
    }
    EXPECT_TRUE(kept);
    EXPECT_EQ(RunHere(resume).status, 0);
    EXPECT_TRUE(Read("p.exr") == Read("one.exr"));
    EXPECT_EQ(Files(), QStringList({"one.exr", "p.exr"}));
}

// Every float comes back with its bits, and the labels with it; an abandoned write leaves the
// earlier file.
TEST(ExrFile, KeepsEveryFloatBitForBitAndLeavesAnEarlierFileWhenAbandoned) {
    testing::ScratchFiles files;
    const std::uint32_t width = 37, height = 300;
    ColorBuffer colors(width, height);
    std::mt19937 random(3);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::generate_n(colors.Row(y), colors.RowFloats(),
                        [&] { return std::bit_cast<float>(static_cast<std::uint32_t>(random())); });
    }
    colors.Store(0, 0, {2.5f, -0.75f, std::numeric_limits<float>::infinity(), 1});
    const PictureLabels labels = {{"lumivexScene", "abc"}, {"note", "é"}};
    EXPECT_EQ(PictureFile(files.Path("p.exr")).WriteColors(colors, labels).outcome,
              PictureWrite::Outcome::Written);
    const ExrPicture read = ReadExr(files.Path("p.exr"));
    ASSERT_TRUE(read.colors.has_value()) << read.problem.toStdString();
    ASSERT_EQ(read.colors->GetWidth(), width);
    ASSERT_EQ(read.colors->GetHeight(), height);
    for (std::uint32_t y = 0; y < height; ++y) {
        EXPECT_EQ(std::memcmp(read.colors->Row(y), colors.Row(y), colors.RowFloats() * 4), 0) << y;
    }
    EXPECT_EQ(read.labels.value("lumivexScene"), "abc");
    EXPECT_EQ(read.labels.value("note"), "é");

    const QByteArray before = files.Read("p.exr");
    int asked = 0;
    EXPECT_EQ(PictureFile(files.Path("p.exr"))
                  .WriteColors(ColorBuffer(2000, 300), {}, [&] { return ++asked > 1; })
                  .outcome,
              PictureWrite::Outcome::Abandoned);
    EXPECT_TRUE(files.Read("p.exr") == before);
    EXPECT_EQ(files.Files(), QStringList({"p.exr"}));
}

TEST_F(LumivexRender, APictureTooLargeForMemoryIsReportedNotACrash) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#else
    // 600 MB of address space: enough to start, not for a 1 GiB buffer.
    const ProgramRun run = testing::RunProgram(
        LUMIVEX_RENDER_PATH, {kWorkedExample, "-o", Path("p.png"), "--size", "16384x16384"}, [] {
            const rlimit limit{600u << 20, 600u << 20};
            setrlimit(RLIMIT_AS, &limit);
        });
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.err, "lumivex-render: not enough memory for a 16384x16384 picture\n");
    EXPECT_EQ(Files(), QStringList());
#endif
}

TEST_F(LumivexRender, AClosedPipeOnStandardOutputIsReportedWithStatusTwo) {
    for (const QStringList& arguments :
         {QStringList{"--help"},
          {"--check", kWorkedExample},
          {kWorkedExample, "-o", Path("p.png"), "--size", "4x4", "--stats"}}) {
        int ends[2];
        ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
        close(ends[0]);  // nobody will read
        const ProgramRun run =
            testing::RunProgram(LUMIVEX_RENDER_PATH, arguments, [writeEnd = ends[1]] {
                std::signal(SIGPIPE, SIG_DFL);  // as a shell would start it
                dup2(writeEnd, STDOUT_FILENO);
            });
        close(ends[1]);
        EXPECT_TRUE(run.exited);  // not killed by SIGPIPE
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "lumivex-render: cannot write to standard output: Broken pipe\n")
            << arguments.join(' ').toStdString();
    }
}

TEST(WritePicture, WritesEveryOfferedFormatAndStopsMidWayWhenAbandoned) {
    const QStringList extensions = WritablePictureExtensions();
    testing::ScratchFiles files;
    // Noise, large enough for every format to write it in many pieces.
    QImage image = NewPictureImage(1024, 768);
    auto* words = reinterpret_cast<std::uint32_t*>(image.bits());
    std::generate(words, words + 1024 * 768,
                  [n = 0u]() mutable { return 0xFF000000u | ++n * 2654435761u; });
    for (const QString& extension : extensions) {
        SCOPED_TRACE(extension.toStdString());
        const QString path = files.Path("p." + extension);
        int asks = 0;
        const PictureWrite written =
            WritePicture(image, path, extension.toLatin1(), [&] { return ++asks < 0; });
        EXPECT_EQ(written.outcome, PictureWrite::Outcome::Written) << written.error.toStdString();
        EXPECT_EQ(QImage(path).size(), image.size());

        // A stop request is looked at while the picture is encoded, and answered there.
        EXPECT_GT(asks, 2);
        const QByteArray before = files.Read("p." + extension);
        int asked = 0;
#if defined(__SANITIZE_ADDRESS__)
        // Qt's PNG and PPM writers lose a row buffer when their device fails mid-picture, as it
        // does here on purpose; a stopped lumivex-render exits right after.
        const __lsan::ScopedDisabler qtLosesARow;
#endif
        const auto abandon = [&] { return ++asked > asks / 2; };
        EXPECT_EQ(WritePicture(image.mirrored(), path, extension.toLatin1(), abandon).outcome,
                  PictureWrite::Outcome::Abandoned);
        EXPECT_EQ(asked, asks / 2 + 1);  // no question after the yes
        EXPECT_TRUE(files.Read("p." + extension) == before);
    }
    EXPECT_EQ(files.Files().size(), extensions.size());
}

// --check

TEST_F(LumivexRender, ChecksAsJson) {
    const ProgramRun run = RunHere({"--check", kWorkedExample});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const QJsonObject json = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(json.keys(), QStringList({"air", "ambient", "camera", "diagnostic", "lights",
                                        "objects", "warnings"}));
    EXPECT_TRUE(json["diagnostic"].isNull());
    EXPECT_EQ(json["camera"]["eyeOffset"], (QJsonArray{0, 0, -2, 0}));
    EXPECT_EQ(json["lights"][0]["radius"], 0.5);
    // Each shape under its type with its own parameters, and its material.
    const QJsonArray objects = json["objects"].toArray();
    ASSERT_EQ(objects.size(), 5);
    for (int i = 0; const char* type : {"sphere", "box", "polygon", "ellipsoid", "icosahedron"}) {
        EXPECT_EQ(objects[i++]["type"], type);
    }
    EXPECT_EQ(objects[1]["material"]["roughness"], 0.1);
    EXPECT_EQ(objects[2]["vertices"][1], (QJsonArray{1, 0, 5, 1}));
    EXPECT_EQ(objects[3]["material"]["refractiveIndex"], 1.5);
    EXPECT_EQ(objects[4]["material"]["attenuation"], (QJsonArray{0.9, 0.9, 0.9, 1}));

    // Warnings, then where reading stopped: on standard error as they come in the file, in the
    // JSON without the line's text. Warnings alone do not fail the check.
    const ProgramRun cut =
        RunHere({"--check", Write("cut.txt", "AMBIENT (1,1,1)\nsphere\nSPHERE (")});
    EXPECT_EQ(cut.status, 3);
    EXPECT_THAT(cut.err, ::testing::ContainsRegex("cut.txt:2:1: warning: .*cut.txt:3:9: error: "));
    const QJsonObject stopped = QJsonDocument::fromJson(cut.out).object();
    EXPECT_EQ(stopped["diagnostic"].toObject().keys(), QStringList({"column", "line", "message"}));
    EXPECT_EQ(stopped["diagnostic"]["column"], 9);
    EXPECT_EQ(stopped["warnings"][0]["line"], 2);
    const ProgramRun odd = RunHere({"--check", Write("odd.txt", "AMBIENT (1,1,1)\nsphere\n")});
    EXPECT_EQ(odd.status, 0);
    EXPECT_THAT(odd.err, HasSubstr("odd.txt:2:7: warning: the scene has no objects"));
}

TEST_F(LumivexRender, CheckHandsTheLoaderTheWholeFileAndReportsWhatItThrows) {
    // CR LF, a non-UTF-8 byte and more than one read's worth of data, from a file and a pipe.
    const QByteArray bytes = QByteArray("CAMERA\r\n\xff") + QByteArray(5 << 20, 'x');
    const auto load = [&](std::string text, const std::atomic<bool>*) {
        EXPECT_TRUE(text == bytes.toStdString());
        return SceneLoadResult{std::make_unique<Scene>(), {}, {}};
    };
    const QString path = Write("scene.txt", bytes);
    EXPECT_EQ(Check(path, load).status, 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path("fifo")).constData(), 0600), 0);
    std::thread writer([&] {
        QFile pipe(Path("fifo"));
        EXPECT_TRUE(pipe.open(QIODevice::WriteOnly) && pipe.write(bytes) == bytes.size());
    });
    EXPECT_EQ(Check(Path("fifo"), load).status, 0);
    writer.join();

    // Allocation failures (std::string and std::vector throw length_error past their limits),
    // and anything else.
    const std::string name = path.toStdString();
    const std::pair<std::exception_ptr, std::string> failures[] = {
        {std::make_exception_ptr(std::bad_alloc()), "out of memory while loading '" + name},
        {std::make_exception_ptr(std::length_error("big")), "out of memory while loading '"},
        {std::make_exception_ptr(std::runtime_error("boom")),
         "loading '" + name + "' failed: boom"},
    };
    for (const auto& [failure, message] : failures) {
        const ProgramRun run = Check(
            path, [failure = failure](std::string, const std::atomic<bool>*) -> SceneLoadResult {
                std::rethrow_exception(failure);
            });
        EXPECT_EQ(run.status, 4);
        EXPECT_THAT(run.err, HasSubstr(message));
    }
}

}  // namespace
}  // namespace lumivex
