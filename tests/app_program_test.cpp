// The program as a whole: the title texts, starting without a display, and the built lumivex run
// as a process.
#include "app/application.h"
#include "app/title_text.h"
#include "app_test_support.h"

namespace lumivex::testing {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;

TEST(TitleText, WritesNumbersAsADefaultStreamDoes) {
    EXPECT_EQ(RenderTimeTitle(0.5), "Lumivex Render Time: 0.5 (2 fps)");
    EXPECT_EQ(RenderTimeTitle(3.0), "Lumivex Render Time: 3 (0.333333 fps)");
    EXPECT_EQ(ReadTimeTitle(0.00123), "Lumivex Read Time: 0.00123");
    EXPECT_EQ(ReadTimeTitle(0.0000123), "Lumivex Read Time: 1.23e-05");
    EXPECT_EQ(ReadTimeTitle(1234567.0), "Lumivex Read Time: 1.23457e+06");
    EXPECT_EQ(ReadTimeTitle(100000.0), "Lumivex Read Time: 100000");
}

TEST(MissingDisplay, NeedsADisplayForThePlatformThatWillBeUsed) {
    EXPECT_THAT(MissingDisplay("", "", "").toStdString(), HasSubstr("no display"));
    EXPECT_EQ(MissingDisplay("", ":0", ""), "");
    EXPECT_EQ(MissingDisplay("", "", "wayland-0"), "");
    EXPECT_NE(MissingDisplay("xcb", "", "wayland-0"), "");
    EXPECT_NE(MissingDisplay("wayland", ":0", ""), "");
    EXPECT_EQ(MissingDisplay("wayland;xcb", ":0", ""), "");
    EXPECT_EQ(MissingDisplay("offscreen", "", ""), "");
    EXPECT_EQ(MissingDisplay("vnc:size=800x600", "", ""), "");
}

// `env` arguments that start a program with no display in its environment.
const QStringList kWithoutDisplay = {"-u", "DISPLAY",        "-u", "WAYLAND_DISPLAY",
                                     "-u", "QT_QPA_PLATFORM"};

TEST(LumivexProgram, FailsCleanlyWithoutADisplayOrWhenItCannotBeReached) {
    // Qt's X11 platform gives up with a fatal message, which would abort the program.
    for (const QStringList& variables : {QStringList{}, {"QT_QPA_PLATFORM=xcb", "DISPLAY=:1234"}}) {
        const ProgramRun run =
            RunProgram("env", kWithoutDisplay + variables + QStringList{LUMIVEX_APP_PATH});
        EXPECT_TRUE(run.exited);  // no crash, no core dump
        EXPECT_EQ(run.status, 1);
        EXPECT_THAT(run.err, EndsWith("Failed to initialize instance\n"));
    }
}

}  // namespace
}  // namespace lumivex::testing
