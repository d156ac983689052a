// Rendering with lumivex-render: the command line, the picture it writes compared with the core
// renderer's, and what happens when something goes wrong.
#include <chrono>
#include <optional>
#include <sstream>
#include <thread>

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "cli/command_line.h"
#include "cli/lumivex_render.h"
#include "io/picture_file.h"
#include "cli/render_command.h"
#include "render/band_dispatch.h"
#include "test_support.h"
#include "tmpfs_mount.h"

namespace lumivex {
namespace {

using ::testing::HasSubstr;

const QString kWorkedExample = LUMIVEX_EXAMPLES_DIR "/worked-example.txt";

TEST(ParseRenderCommandLine, TakesEveryOptionAndRefusesBadOnesSayingWhy) {
    const auto parse = [](QStringList arguments) {
        return ParseCommandLine(QStringList{"lumivex-render", "s.txt"} + arguments);
    };
    const ParsedCommandLine all =
        parse({"--output=P.PPM", "--size", "0016384x16384", "--aa", "monte-carlo", "--stochastic",
               "--workers", "1024", "--stats", "--strict", "--max-scene-size", "2GiB"});
    ASSERT_TRUE(all.request) << all.error.toStdString();
    const RenderOptions& r = all.request->render;
    EXPECT_EQ(r.format, "ppm");
    EXPECT_EQ(r.width * r.height, 1u << 28);  // the largest picture allowed
    EXPECT_EQ(r.mode, AntialiasMode::MonteCarlo);
    EXPECT_EQ(r.workers, 1024u);
    EXPECT_TRUE(r.stochastic && r.stats && r.strict);
    EXPECT_EQ(r.maxSceneBytes, std::uint64_t{2} << 30);
    EXPECT_EQ(parse({"-o", "p.png"}).request->render.maxSceneBytes, kDefaultMaxSceneBytes);
    EXPECT_EQ(parse({"--check", "--max-scene-size=300k"}).request->render.maxSceneBytes,
              300u << 10);
    EXPECT_EQ(parse({"-o", "p.png", "--max-scene-size", "1000"}).request->render.maxSceneBytes,
              1000u);
    EXPECT_EQ(parse({"-o", "p.png"}).request->render.workers, DefaultWorkerCount());
    EXPECT_TRUE(all.request->render.accelerate);
    const RenderOptions bands =
        parse({"-o", "p.png", "--workers", "16", "--threads", "3", "--no-acceleration"})
            .request->render;
    EXPECT_EQ(bands.workers, 16u);
    EXPECT_EQ(bands.threads, 3u);
    EXPECT_FALSE(bands.accelerate);
    EXPECT_EQ(parse({"-o", "p.png", "--workers", "1"}).request->render.threads, 1u);
    EXPECT_TRUE(parse({"-o", "p.jpg", "--size", "65500x2"}).request);

    const std::pair<QStringList, const char*> refused[] = {
        {{}, "no picture file"},
        {{"t.txt", "-o", "p.png"}, "expected one scene file"},
        {{"-o", "p.gif"}, "unsupported picture format 'gif'; use one of"},
        {{"-o", "picture"}, "no extension"},
        {{"-o", "p.png", "-o", "q.png"}, "more than once"},
        {{"--check", "--size", "8x8"}, "--size is for rendering"},
        {{"-o", "p.png", "--aa", "Jittered"}, "expected off, jittered or monte-carlo"},
        {{"-o", "p.png", "--size", "0x8"}, "at least 1"},
        {{"-o", "p.png", "--size", "65536x1"}, "picture too large"},
        {{"-o", "p.png", "--size", "16385x16384"}, "picture too large"},
        {{"-o", "p.png", "--size", "99999999999999999999x1"}, "picture too large"},
        {{"-o", "p.jpg", "--size", "65501x1"}, "a JPEG picture is at most 65500 pixels on a side"},
        {{"-o", "p.jpeg", "--size", "1x65501"}, "a JPEG picture is at most 65500"},
    };
    for (const auto& [arguments, message] : refused) {
        const ParsedCommandLine parsed = parse(arguments);
        EXPECT_FALSE(parsed.request) << arguments.join(' ').toStdString();
        EXPECT_THAT(parsed.error.toStdString(), HasSubstr(message));
    }
    for (const char* size : {"", "8", "8x", "8x8x8", "-8x8", "+8x8", " 8x8", "8X8", "8.0x8"}) {
        EXPECT_THAT(parse({"-o", "p.png", "--size", size}).error.toStdString(),
                    HasSubstr("expected WxH"))
            << size;
    }
    for (const char* limit : {"0", "", "-1", "1.5G", "2T", "G", "12 34"}) {
        EXPECT_THAT(parse({"-o", "p.png", "--max-scene-size", limit}).error.toStdString(),
                    HasSubstr("invalid --max-scene-size"))
            << limit;
    }
    for (const char* workers : {"0", "1025", "", "-1", "2.5", "two", "4294967297"}) {
        EXPECT_THAT(parse({"-o", "p.png", "--workers", workers}).error.toStdString(),
                    HasSubstr("invalid --workers"))
            << workers;
        EXPECT_THAT(parse({"-o", "p.png", "--threads", workers}).error.toStdString(),
                    HasSubstr("invalid --threads"))
            << workers;
    }
}

TEST(WritePicture, WritesEveryOfferedFormatAndStopsMidWayWhenAbandoned) {
    const QStringList extensions = WritablePictureExtensions();
    EXPECT_TRUE(extensions.contains("png") && extensions.contains("ppm"));
    QTemporaryDir directory;
    // Large enough for every format to write it in many pieces.
    QImage image = NewPictureImage(1024, 768);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(x, y, 0xFF000000u | std::uint32_t(x * 2654435761u ^ y * 40503u));
        }
    }
    const QImage other = image.mirrored();
    for (const QString& extension : extensions) {
        const QString path = directory.filePath("p." + extension);
        int asks = 0;
        const PictureWrite written =
            WritePicture(image, path, extension.toLatin1(), [&] { return ++asks < 0; });
        EXPECT_EQ(written.outcome, PictureWrite::Outcome::Written) << written.error.toStdString();
        EXPECT_EQ(QImage(path).size(), image.size()) << extension.toStdString();

        // A stop request is looked at while the picture is encoded, and answered there.
        EXPECT_GT(asks, 2) << extension.toStdString();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        int asked = 0;
        PictureWrite::Outcome outcome;
        {
#if defined(__SANITIZE_ADDRESS__)
            // Qt's PNG and PPM writers lose a row buffer when their device fails mid-picture, as
            // it does here on purpose; a stopped lumivex-render exits right after.
            const __lsan::ScopedDisabler qtLosesARow;
#endif
            outcome = WritePicture(other, path, extension.toLatin1(), [&] {
                          return ++asked > asks / 2;
                      }).outcome;
        }
        EXPECT_EQ(outcome, PictureWrite::Outcome::Abandoned) << extension.toStdString();
        EXPECT_EQ(asked, asks / 2 + 1) << extension.toStdString();  // no question after the yes
        file.seek(0);
        EXPECT_TRUE(file.readAll() == before) << extension.toStdString();
    }
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Files | QDir::Hidden).size(),
              extensions.size());
}

// The worked example rendered in this process with the core API.
struct Reference {
    std::unique_ptr<PixelBuffer> pixels;
    RayCounts rays;
};

Reference RenderWorkedExample(std::uint32_t width, std::uint32_t height, AntialiasMode mode,
                              unsigned workers, bool stochastic) {
    QFile file(kWorkedExample);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const SceneLoadResult loaded = LoadSceneText(file.readAll().toStdString());
    Reference reference{std::make_unique<PixelBuffer>(width, height), {}};
    RenderContext context;
    context.stochastic = stochastic;
    context.pixels = reference.pixels.get();
    context.scene = loaded.scene.get();
    RenderDispatcher dispatcher;
    dispatcher.Start(context, {width, height, mode, workers, 0});
    dispatcher.Wait();
    reference.rays = dispatcher.Rays();
    return reference;
}

struct ProgramRun {
    int status;
    QByteArray out;
    std::string err;
};

class RenderProgram : public ::testing::Test {
  protected:
    ProgramRun Run(const QStringList& arguments) {
        QProcess process;
        process.start(LUMIVEX_RENDER_PATH, arguments);
        EXPECT_TRUE(process.waitForFinished(120000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        return {process.exitCode(), process.readAllStandardOutput(),
                process.readAllStandardError().toStdString()};
    }
    QString Path(const QString& name) const { return directory.filePath(name); }
    QByteArray Read(const QString& name) const {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void Write(const QString& name, const QByteArray& bytes) {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // Hidden ones too, where a temporary file would be.
    QStringList Files() const {
        return QDir(directory.path()).entryList(QDir::Files | QDir::Hidden);
    }

    QTemporaryDir directory;
};

TEST_F(RenderProgram, WritesTheCoreRenderersPictureTopRowFirst) {
    // Not square, so a swapped width and height or an unflipped picture shows.
    const Reference reference = RenderWorkedExample(40, 24, AntialiasMode::Jittered, 3, false);
    for (const QString name : {"p.ppm", "p.png"}) {
        const ProgramRun run = Run({kWorkedExample, "-o", Path(name), "--size", "40x24", "--aa",
                                    "jittered", "--workers", "3"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");  // no progress when standard error is no terminal
        EXPECT_EQ(run.out, "");
    }
    // The PPM byte for byte: the header Qt writes, then RGB triples from the top row down.
    QByteArray ppm = "P6\n40 24\n255\n";
    for (std::uint32_t y = 24; y-- > 0;) {
        for (std::uint32_t x = 0; x < 40; ++x) {
            const std::uint32_t word = reference.pixels->Load(x, y);
            const char rgb[] = {char(word >> 16), char(word >> 8), char(word)};
            ppm.append(rgb, 3);
        }
    }
    EXPECT_TRUE(Read("p.ppm") == ppm);
    EXPECT_EQ(QImage(Path("p.png")).convertToFormat(QImage::Format_RGB32),
              QImage(Path("p.ppm")).convertToFormat(QImage::Format_RGB32));
}

TEST_F(RenderProgram, SameArgumentsGiveTheSameBytesAndTheBandCountIsPartOfThePicture) {
    const auto render = [&](const char* workers, const QString& name) {
        const QStringList arguments = {kWorkedExample, "-o",       Path(name),  "--size", "32x32",
                                       "--aa",         "jittered", "--workers", workers};
        EXPECT_EQ(Run(arguments).status, 0);
        return Read(name);
    };
    const QByteArray oneBand = render("1", "a.png");
    const QByteArray threeBands = render("3", "b.png");
    ASSERT_FALSE(oneBand.isEmpty());
    EXPECT_EQ(render("1", "c.png"), oneBand);
    EXPECT_EQ(render("3", "d.png"), threeBands);
    EXPECT_NE(oneBand, threeBands);

    // Neither the threads that take the bands nor the search structure changes the picture.
    for (const QStringList& extra :
         {QStringList{"--threads", "1"}, {"--threads", "2"}, {"--no-acceleration"}}) {
        const QStringList arguments =
            QStringList{kWorkedExample, "-o",       Path("e.png"), "--size", "32x32",
                        "--aa",         "jittered", "--workers",   "3"} +
            extra;
        EXPECT_EQ(Run(arguments).status, 0);
        EXPECT_EQ(Read("e.png"), threeBands) << extra.join(' ').toStdString();
    }
}

TEST_F(RenderProgram, StatsAreOneJsonLineCountingTheRaysTraced) {
    for (const bool antialiased : {false, true}) {
        const AntialiasMode mode = antialiased ? AntialiasMode::MonteCarlo : AntialiasMode::Off;
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
        EXPECT_EQ(stats["rays"]["camera"], antialiased ? 20 * 10 * 16 : 20 * 10);
        const RayCounts rays = RenderWorkedExample(20, 10, mode, 2, true).rays;
        EXPECT_EQ(stats["rays"]["secondary"].toInteger(), static_cast<qint64>(rays.secondary));
        EXPECT_EQ(stats["rays"]["shadow"].toInteger(), static_cast<qint64>(rays.shadow));
        const double seconds = stats["seconds"].toDouble();
        EXPECT_GT(seconds, 0.0);
        EXPECT_DOUBLE_EQ(stats["mraysPerSecond"].toDouble(),
                         double(rays.camera + rays.secondary + rays.shadow) / seconds / 1e6);
    }
}

TEST_F(RenderProgram, FailuresLeaveAnExistingPictureAlone) {
    Write("keep.png", "an earlier picture");
    Write("truncated.txt", "AMBIENT (1,1,1)\nSPHERE (0,0,0) 2 (1,0");
    const QString keep = Path("keep.png");
    const std::pair<QStringList, int> failures[] = {
        {{Path("missing.txt"), "-o", keep}, 2},
        {{directory.path(), "-o", keep}, 2},
        {{kWorkedExample, "-o", keep, "--size", "8x0"}, 1},
        {{kWorkedExample, "-o", keep, "--workers", "0"}, 1},
        {{Path("truncated.txt"), "-o", keep, "--strict"}, 3},
    };
    for (const auto& [arguments, status] : failures) {
        const ProgramRun run = Run(arguments);
        EXPECT_EQ(run.status, status) << arguments.join(' ').toStdString() << '\n' << run.err;
        EXPECT_EQ(Read("keep.png"), "an earlier picture");
    }
    EXPECT_EQ(Files(), QStringList({"keep.png", "truncated.txt"}));

    EXPECT_EQ(Run({kWorkedExample, "-o", Path("p.tga")}).status, 1);
    const ProgramRun noDirectory = Run({kWorkedExample, "-o", Path("no/p.png"), "--size", "4x4"});
    EXPECT_EQ(noDirectory.status, 2);
    EXPECT_EQ(noDirectory.err, "lumivex-render: cannot write '" + Path("no/p.png").toStdString() +
                                   "': No such file or directory\n");
    EXPECT_EQ(Files(), QStringList({"keep.png", "truncated.txt"}));
}

TEST_F(RenderProgram, RefusesAnOutputThatIsNoPlaceForAPictureBeforeReadingTheScene) {
    const QByteArray sceneText = QByteArray::fromStdString(*ReadSceneFile(kWorkedExample).bytes);
    Write("scene.ppm", sceneText);
    Write("old.png", "an earlier picture");
    ASSERT_EQ(chmod(QFile::encodeName(Path("old.png")).constData(), 0662), 0);
    const bool root = geteuid() == 0;
    ASSERT_TRUE(QDir(directory.path()).mkdir("directory.png"));
    ASSERT_EQ(mkfifo(QFile::encodeName(Path("fifo.png")).constData(), 0600), 0);
    if (root) {  // a null device of our own, which a mistake here cannot harm
        ASSERT_EQ(
            mknod(QFile::encodeName(Path("device.png")).constData(), S_IFCHR | 0600, makedev(1, 3)),
            0);
    }
    const std::pair<const char*, const char*> links[] = {{"to-scene.ppm", "scene.ppm"},
                                                         {"to-device.png", "device.png"},
                                                         {"to-nothing.png", "nothing.png"},
                                                         {"to-old.png", "old.png"}};
    for (const auto& [link, target] : links) {
        ASSERT_TRUE(QFile::link(target, Path(link)));
    }
    // A read-only directory: root writes to any directory but not to a read-only file system.
    ASSERT_TRUE(QDir(directory.path()).mkdir("read-only"));
    std::optional<testing::TmpfsMount> readOnly;
    if (root) {
        readOnly.emplace(Path("read-only"), "size=16k", MS_RDONLY);
    }
    const bool haveReadOnly =
        root ? readOnly->Mounted()
             : QFile::setPermissions(Path("read-only"), QFile::ReadOwner | QFile::ExeOwner);

    // The refusals name the output and come before the missing scene is noticed.
    const QString scene = Path("scene.ppm");
    const QString missing = Path("missing.txt");
    struct Case {
        const char* output;
        QString scene;
        int status;
        const char* problem;
    };
    const Case cases[] = {
        {"scene.ppm", scene, 1, "it is the scene file"},
        {"to-scene.ppm", scene, 1, "it is the scene file"},
        {"directory.png", missing, 1, "it is a directory"},
        {"fifo.png", missing, 1, "it is a FIFO"},
        {"device.png", missing, 1, "it is a device"},
        {"to-device.png", missing, 1, "it is a symbolic link to a device"},
        {"to-nothing.png", missing, 1, "it is a symbolic link to nothing"},
        {"no/p.png", missing, 2, "No such file or directory"},
        {"read-only/p.png", missing, 2, root ? "Read-only file system" : "Permission denied"},
        {"new.png", scene, 0, ""},
        {"old.png", scene, 0, ""},
        {"to-old.png", scene, 0, ""},
    };
    for (const Case& c : cases) {
        if ((!root && QByteArray(c.output).contains("device")) ||
            (!haveReadOnly && QByteArray(c.output).startsWith("read-only"))) {
            continue;
        }
        std::ostringstream out;
        std::ostringstream err;
        const int status = RunLumivexRender(
            {"lumivex-render", c.scene, "-o", Path(c.output), "--size", "4x4"}, out, err);
        EXPECT_EQ(status, c.status) << c.output << '\n' << err.str();
        if (c.status != 0) {
            EXPECT_EQ(err.str(), "lumivex-render: cannot write '" + Path(c.output).toStdString() +
                                     "': " + c.problem + '\n');
        }
    }
    EXPECT_TRUE(Read("scene.ppm") == sceneText);
    EXPECT_TRUE(QFileInfo(Path("fifo.png")).exists() && !QFileInfo(Path("fifo.png")).isFile());
    EXPECT_TRUE(QFileInfo(Path("to-old.png")).isSymLink());  // written through, to its target
    EXPECT_EQ(QImage(Path("old.png")).size(), QSize(4, 4));
    EXPECT_EQ(QImage(Path("new.png")).size(), QSize(4, 4));
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
    EXPECT_EQ(Files().filter(QRegularExpression("^\\.")), QStringList());
}

TEST_F(RenderProgram, AStopDiagnosticIsAWarningUnlessStrict) {
    Write("truncated.txt", "AMBIENT (1,1,1)\nsphere\nSPHERE (0,0,0) 2 (1,0");
    const ProgramRun lenient = Run({Path("truncated.txt"), "-o", Path("p.png"), "--size", "4x4"});
    EXPECT_EQ(lenient.status, 0);
    EXPECT_THAT(lenient.err, HasSubstr("truncated.txt:2:1: warning: "));
    EXPECT_THAT(lenient.err, HasSubstr("truncated.txt:3:22: warning: "));
    EXPECT_EQ(QImage(Path("p.png")).size(), QSize(4, 4));

    const ProgramRun strict =
        Run({Path("truncated.txt"), "-o", Path("q.png"), "--size", "4x4", "--strict"});
    EXPECT_EQ(strict.status, 3);
    EXPECT_THAT(strict.err, HasSubstr("truncated.txt:3:22: error: "));
    EXPECT_FALSE(QFile::exists(Path("q.png")));
}

// The threads of a running process, from Linux's /proc.
qsizetype ThreadCount(qint64 pid) {
    return QDir(QString("/proc/%1/task").arg(pid))
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
        .size();
}

TEST_F(RenderProgram, InterruptedRenderExits130AndWritesNothing) {
    for (const int signal : {SIGINT, SIGTERM}) {
        QProcess process;
        process.start(LUMIVEX_RENDER_PATH, {kWorkedExample, "-o", Path("p.png"), "--size",
                                            "2048x2048", "--aa", "jittered", "--workers", "4"});
        ASSERT_TRUE(process.waitForStarted());
        // Signal once a worker runs: the main thread, perhaps a sanitizer's, and one more.
        const auto start = std::chrono::steady_clock::now();
        while (ThreadCount(process.processId()) < 3 &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_GE(ThreadCount(process.processId()), 3) << "the render never started";
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::kill(static_cast<pid_t>(process.processId()), signal);
        const auto stopping = std::chrono::steady_clock::now();
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(5));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 130) << signal;
        EXPECT_EQ(Files(), QStringList());
    }
}

// How long a stop request may go unanswered; sanitizers slow everything down several times.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr auto kStopLatency = std::chrono::milliseconds(600);
#else
constexpr auto kStopLatency = std::chrono::milliseconds(100);
#endif

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

TEST_F(RenderProgram, AnswersAStopPromptlyInEveryPhase) {
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
    } phases[] = {
        {"waiting for a writer", {fifo}, false},
        {"reading a slow pipe", {fifo}, true},
        {"loading", {Path("spheres.txt"), "--no-acceleration"}, false},
        {"rendering one long pixel",
         {Path("slow.txt"), "--size", "64x64", "--aa", "monte-carlo"},
         false},
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
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        const auto stopping = std::chrono::steady_clock::now();
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_LT(std::chrono::steady_clock::now() - stopping, kStopLatency) << phase.phase;
        EXPECT_EQ(process.exitCode(), 130) << phase.phase;
        EXPECT_THAT(process.readAllStandardError().toStdString(), HasSubstr("interrupted"));
        EXPECT_FALSE(QFile::exists(Path("p.png")));
    }
    EXPECT_EQ(Files(), QStringList({"slow.txt", "spheres.txt"}));
}

TEST_F(RenderProgram, TextWithoutASceneEntryIsSuspectAndRefusedWhenStrict) {
    Write("notes.txt", "# just a note\n");
    const ProgramRun lenient = Run({Path("notes.txt"), "-o", Path("p.png"), "--size", "4x4"});
    EXPECT_EQ(lenient.status, 0);
    EXPECT_THAT(lenient.err, HasSubstr("notes.txt:1:1: warning: not one scene entry"));
    const ProgramRun strict =
        Run({Path("notes.txt"), "-o", Path("q.png"), "--size", "4x4", "--strict"});
    EXPECT_EQ(strict.status, 3);
    EXPECT_FALSE(QFile::exists(Path("q.png")));
}

TEST_F(RenderProgram, APictureTooLargeForMemoryIsReportedNotACrash) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#else
    QProcess process;
    // 600 MB of address space: enough to start, not for a 1 GiB buffer.
    process.setChildProcessModifier([] {
        const rlimit limit{600u << 20, 600u << 20};
        setrlimit(RLIMIT_AS, &limit);
    });
    process.start(LUMIVEX_RENDER_PATH,
                  {kWorkedExample, "-o", Path("p.png"), "--size", "16384x16384"});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 4);
    EXPECT_EQ(process.readAllStandardError(),
              "lumivex-render: not enough memory for a 16384x16384 picture\n");
    EXPECT_EQ(Files(), QStringList());
#endif
}

TEST_F(RenderProgram, ShowsProgressOnlyOnATerminal) {
    const QStringList arguments = {"lumivex-render", kWorkedExample, "-o",
                                   Path("p.png"),    "--size",       "8x8"};
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunLumivexRender(arguments, out, err, true), 0);
    EXPECT_THAT(err.str(), HasSubstr("\r100% [" + std::string(30, '#') + "]"));
    EXPECT_THAT(err.str(), HasSubstr("\nwrote " + Path("p.png").toStdString() + " (8x8, "));
    EXPECT_EQ(out.str(), "");
    EXPECT_THAT(ProgressLine(50, 200, 30.0),
                HasSubstr("\r 25% [#######.......................] 0:30 elapsed, about 1:30 left"));

    std::ostringstream quietErr;
    EXPECT_EQ(RunLumivexRender(arguments, out, quietErr, false), 0);
    EXPECT_EQ(quietErr.str(), "");
}

}  // namespace
}  // namespace lumivex
