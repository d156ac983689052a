// A picture that cannot be written in full, by lumivex-render or the app's Save Image: the earlier
// file stays as it was, the system's reason is given and no temporary file is left behind.
#include <csignal>
#include <string>
#include <tuple>

#include <sys/mount.h>
#include <sys/resource.h>

#include <QDir>
#include <QScopeGuard>

#include "app_test_support.h"

namespace lumivex::testing {
namespace {

using ::testing::HasSubstr;

enum class Program { Render, App };
enum class Failure { DiskFull, FileTooLarge };
using WriteFailure = std::tuple<const char*, Program, Failure>;  // picture format, writer, fault

// Either failure strikes after this much of the new picture, which is larger in every case.
constexpr rlim_t kRoomLeft = 4096;

class WriteFailureTest : public AppWindowTest,
                         public ::testing::WithParamInterface<WriteFailure> {};

TEST_P(WriteFailureTest, LeavesTheEarlierFileAndSaysWhy) {
    const auto [format, program, failure] = GetParam();
    const QString name = "keep." + QString(format);
    const QString keep = Path("out/" + name);
    ASSERT_TRUE(QDir(Root()).mkdir("out"));
    // A tmpfs of two pages: the earlier picture takes one, leaving kRoomLeft. Mounting needs root
    // (CI runs as root).
    const QByteArray out = QFile::encodeName(Path("out"));
    const bool disk = failure == Failure::DiskFull;
    if (disk && mount("tmpfs", out.constData(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC,
                      "size=8k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs (not root?)";
    }
    const auto unmount = qScopeGuard([&] {
        if (disk) {
            umount2(out.constData(), MNT_DETACH);
        }
    });
    Write("out/" + name, "an earlier picture");

    QString message;
    if (program == Program::App) {
        auto window = StartWindow();
        Open(*window, ExampleScene("worked-example.txt"));
        ASSERT_TRUE(WaitForRender(*window));
        rlimit unlimited{};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        const rlimit limit{disk ? unlimited.rlim_cur : kRoomLeft, unlimited.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        EXPECT_FALSE(window->SaveImage(keep));
        setrlimit(RLIMIT_FSIZE, &unlimited);
        ASSERT_EQ(errors.size(), 1);
        message = errors.front();
    } else {
        // Started as a shell would, SIGXFSZ with its default action: lumivex-render ignores it.
        const ProgramRun run =
            RunProgram(LUMIVEX_RENDER_PATH,
                       {ExampleScene("worked-example.txt"), "-o", keep, "--size", "160x120"},
                       [tooLarge = failure == Failure::FileTooLarge] {
                           std::signal(SIGXFSZ, SIG_DFL);
                           const rlimit limit{tooLarge ? kRoomLeft : RLIM_INFINITY, RLIM_INFINITY};
                           setrlimit(RLIMIT_FSIZE, &limit);
                       });
        EXPECT_TRUE(run.exited);
        EXPECT_EQ(run.status, 2);
        message = QString::fromStdString(run.err);
    }
    const char* reason = disk ? "No space left on device" : "File too large";
    EXPECT_THAT(message.toStdString(),
                HasSubstr("cannot write '" + keep.toStdString() + "': " + reason));
    EXPECT_EQ(Read("out/" + name), "an earlier picture");
    EXPECT_EQ(QDir(Path("out"))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList{name});
}

std::string CaseName(const ::testing::TestParamInfo<WriteFailure>& info) {
    const auto [format, program, failure] = info.param;
    return std::string(format) + (program == Program::Render ? "_Render" : "_App") +
           (failure == Failure::DiskFull ? "_DiskFull" : "_FileTooLarge");
}

// The app is saved from a full disk only: it leaves SIGXFSZ at its default action, so past a file
// size limit it would be stopped by the signal rather than see the write fail.
const WriteFailure kCases[] = {
    {"png", Program::Render, Failure::DiskFull}, {"png", Program::Render, Failure::FileTooLarge},
    {"png", Program::App, Failure::DiskFull},    {"png", Program::App, Failure::FileTooLarge},
    {"ppm", Program::Render, Failure::DiskFull}, {"ppm", Program::Render, Failure::FileTooLarge},
    {"ppm", Program::App, Failure::DiskFull},
};
INSTANTIATE_TEST_SUITE_P(FormatsProgramsAndFailures, WriteFailureTest, ::testing::ValuesIn(kCases),
                         CaseName);

}  // namespace
}  // namespace lumivex::testing
