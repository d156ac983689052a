// A picture that cannot be written in full, through both programs: lumivex-render run as a
// process and the desktop app's Save Image. The earlier file must stay as it was, the failure be
// reported with the system's reason, and no temporary file be left behind.
#include <csignal>
#include <optional>
#include <string>
#include <tuple>

#include <sys/mount.h>
#include <sys/resource.h>

#include <QDir>

#include "app_test_support.h"

namespace lumivex::testing {
namespace {

using ::testing::HasSubstr;

enum class Program { Render, App };
enum class Failure { DiskFull, FileTooLarge };
using WriteFailure = std::tuple<const char*, Program, Failure>;  // picture format, writer, fault

// Either failure strikes after this much of the new picture, which is larger in every case.
constexpr std::uint64_t kRoomLeft = 4096;

// A tmpfs of two pages on the existing directory `path` while it lasts: the earlier picture takes
// one, leaving kRoomLeft. Mounting needs root (CI runs as root).
class SmallDisk {
  public:
    explicit SmallDisk(const QString& path) : path(QFile::encodeName(path)) {
        mounted = mount("tmpfs", this->path.constData(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC,
                        "size=8k") == 0;
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    ~SmallDisk() {
        if (mounted) {
            umount2(path.constData(), MNT_DETACH);
        }
    }
    bool mounted = false;

  private:
    QByteArray path;
};

// While it lasts, a write in this process (and in those it starts) past `bytes` fails with
// EFBIG. This process ignores SIGXFSZ meanwhile, for the app's part, which runs here.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        const rlimit limit{bytes, previous.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, SIG_DFL);
    }

  private:
    rlimit previous{};
};

class WriteFailureTest : public AppWindowTest,
                         public ::testing::WithParamInterface<WriteFailure> {};

TEST_P(WriteFailureTest, LeavesTheEarlierFileAndSaysWhy) {
    const auto [format, program, failure] = GetParam();
    std::unique_ptr<MainWindow> window;
    if (program == Program::App) {
        window = StartWindow();
        Open(*window, ExampleScene("worked-example.txt"));
        ASSERT_TRUE(WaitForRender(*window));
    }
    ASSERT_TRUE(QDir(Root()).mkdir("out"));
    std::optional<SmallDisk> disk;
    std::optional<FileSizeLimit> limit;
    if (failure == Failure::DiskFull) {
        if (!disk.emplace(Path("out")).mounted) {
            GTEST_SKIP() << "cannot mount a tmpfs (not root?)";
        }
    } else {
        limit.emplace(kRoomLeft);
    }
    const QString keep = Write("out/keep." + QString(format), "an earlier picture");

    QString message;
    if (window) {
        EXPECT_FALSE(window->SaveImage(keep));
        ASSERT_EQ(errors.size(), 1);
        message = errors.front();
    } else {
        // Started as a shell would, with SIGXFSZ's default action: lumivex-render ignores it.
        const ProgramRun run =
            RunProgram(LUMIVEX_RENDER_PATH,
                       {ExampleScene("worked-example.txt"), "-o", keep, "--size", "160x120"},
                       [] { std::signal(SIGXFSZ, SIG_DFL); });
        EXPECT_TRUE(run.exited);
        EXPECT_EQ(run.status, 2);
        message = QString::fromStdString(run.err);
    }
    const char* reason = disk ? "No space left on device" : "File too large";
    EXPECT_THAT(message.toStdString(),
                HasSubstr("cannot write '" + keep.toStdString() + "': " + reason));
    EXPECT_EQ(Read("out/keep." + QString(format)), "an earlier picture");
    EXPECT_EQ(QDir(Path("out"))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList({"keep." + QString(format)}));
}

std::string CaseName(const ::testing::TestParamInfo<WriteFailure>& info) {
    const auto [format, program, failure] = info.param;
    return std::string(format) + (program == Program::Render ? "_Render" : "_App") +
           (failure == Failure::DiskFull ? "_DiskFull" : "_FileTooLarge");
}

INSTANTIATE_TEST_SUITE_P(FormatsProgramsAndFailures, WriteFailureTest,
                         ::testing::Combine(::testing::Values("png", "ppm"),
                                            ::testing::Values(Program::Render, Program::App),
                                            ::testing::Values(Failure::DiskFull,
                                                              Failure::FileTooLarge)),
                         CaseName);

}  // namespace
}  // namespace lumivex::testing
