// A picture that cannot be written in full, through both programs: lumivex-render run as a
// process and the desktop app's Save Image. The earlier file must stay as it was, the failure be
// reported with the system's reason, and no temporary file be left behind.
#include <csignal>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <tuple>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QDir>

#include "app_test_support.h"
#include "tmpfs_mount.h"

namespace lumivex::testing {
namespace {

using ::testing::HasSubstr;

enum class Program { Render, App };
enum class Failure { DiskFull, FileTooLarge };

std::ostream& operator<<(std::ostream& out, Program program) {
    return out << (program == Program::Render ? "Render" : "App");
}

std::ostream& operator<<(std::ostream& out, Failure failure) {
    return out << (failure == Failure::DiskFull ? "DiskFull" : "FileTooLarge");
}

// Either failure strikes after this much of the new picture, which is larger in every case.
constexpr std::uint64_t kRoomLeft = 4096;

// Makes a write past `bytes` fail with EFBIG in this process, rather than raise SIGXFSZ; returns
// the limit it replaced.
rlimit LimitFileSize(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    const rlimit limit{bytes, previous.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    return previous;
}

class WriteFailureTest
    : public AppWindowTest,
      public ::testing::WithParamInterface<std::tuple<const char*, Program, Failure>> {};

TEST_P(WriteFailureTest, LeavesTheEarlierFileAndSaysWhy) {
    const auto [format, program, failure] = GetParam();
    const QString folder = Path("out");
    ASSERT_TRUE(QDir().mkdir(folder));
    std::optional<TmpfsMount> disk;
    if (failure == Failure::DiskFull) {
        disk.emplace(folder, "size=64k");
        if (!disk->Mounted()) {
            GTEST_SKIP() << "cannot mount a tmpfs (not root?)";
        }
    }
    const QString keep = folder + "/keep." + format;
    const QByteArray earlier = "an earlier picture";
    Write("out/keep." + QString(format), earlier);
    QStringList expectedFiles = {QString("keep.") + format};
    if (disk) {
        ASSERT_TRUE(disk->FillLeaving("filler", kRoomLeft));
        expectedFiles.prepend("filler");
    }

    QString message;
    if (program == Program::Render) {
        const ProgramRun run =
            RunProgram(LUMIVEX_RENDER_PATH,
                       {ExampleScene("worked-example.txt"), "-o", keep, "--size", "160x120"},
                       [failure = failure] {
                           if (failure == Failure::FileTooLarge) {
                               LimitFileSize(kRoomLeft);
                           }
                       });
        EXPECT_TRUE(run.exited);
        EXPECT_EQ(run.status, 2);
        message = QString::fromStdString(run.err);
    } else {
        auto window = StartWindow();
        Open(*window, ExampleScene("worked-example.txt"));
        ASSERT_TRUE(WaitForRender(*window));
        const rlimit previous = failure == Failure::FileTooLarge
                                    ? LimitFileSize(kRoomLeft)
                                    : rlimit{RLIM_INFINITY, RLIM_INFINITY};
        EXPECT_FALSE(window->SaveImage(keep));
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, SIG_DFL);
        ASSERT_EQ(errors.size(), 1);
        message = errors.front();
    }
    const char* reason =
        failure == Failure::DiskFull ? "No space left on device" : "File too large";
    EXPECT_THAT(message.toStdString(),
                HasSubstr("cannot write '" + keep.toStdString() + "': " + reason));
    EXPECT_EQ(Read("out/keep." + QString(format)), earlier);
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                     QDir::NoDotAndDotDot),
              expectedFiles);
}

std::string CaseName(
    const ::testing::TestParamInfo<std::tuple<const char*, Program, Failure>>& info) {
    const auto [format, program, failure] = info.param;
    std::ostringstream name;
    name << format << '_' << program << '_' << failure;
    return name.str();
}

INSTANTIATE_TEST_SUITE_P(FormatsProgramsAndFailures, WriteFailureTest,
                         ::testing::Combine(::testing::Values("png", "ppm"),
                                            ::testing::Values(Program::Render, Program::App),
                                            ::testing::Values(Failure::DiskFull,
                                                              Failure::FileTooLarge)),
                         CaseName);

}  // namespace
}  // namespace lumivex::testing
