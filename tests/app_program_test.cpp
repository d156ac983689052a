// The program as a whole: the title texts, starting without a display, the built lumivex run
// as a process, and the files installed for the desktop.
#include <map>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QXmlStreamReader>

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

// Starts lumivex with no display in its environment, but the variables given.
void StartWithoutDisplay(QProcess& process, const QStringList& arguments,
                         const std::map<QString, QString>& variables) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(name);
    }
    for (const auto& [name, value] : variables) {
        environment.insert(name, value);
    }
    process.setProcessEnvironment(environment);
    process.start(LUMIVEX_APP_PATH, arguments);
}

TEST(LumivexProgram, FailsCleanlyWithoutADisplayOrWhenItCannotBeReached) {
    // Qt's X11 platform gives up with a fatal message, which would abort the program.
    for (const std::map<QString, QString>& variables :
         {std::map<QString, QString>{}, {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":1234"}}}) {
        QProcess process;
        StartWithoutDisplay(process, {}, variables);
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);  // no crash, no core dump
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_THAT(process.readAllStandardError().toStdString(),
                    EndsWith("Failed to initialize instance\n"));
    }
}

TEST(LumivexProgram, ReportsFinishedRendersWhenAsked) {
    QProcess process;
    StartWithoutDisplay(process, {ExampleScene("worked-example.txt")},
                        {{"QT_QPA_PLATFORM", "offscreen"}, {"LUMIVEX_REPORT_RENDERED", "1"}});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return process.canReadLine() || process.state() == QProcess::NotRunning; }, 120000));
    EXPECT_THAT(process.readLine().toStdString(), ::testing::StartsWith("rendered "));
    process.terminate();
    process.waitForFinished(10000);
}

TEST(DesktopFiles, DescribeTheProgramAndItsIcon) {
    const QSettings entry(LUMIVEX_APP_DIR "/lumivex.desktop", QSettings::IniFormat);
    EXPECT_EQ(entry.value("Desktop Entry/Exec").toString(), "lumivex %f");
    EXPECT_EQ(entry.value("Desktop Entry/Icon").toString(), "lumivex");
    // Well-formed, and naming the desktop entry.
    QFile file(LUMIVEX_APP_DIR "/lumivex.metainfo.xml");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray metainfo = file.readAll();
    QXmlStreamReader xml(metainfo);
    while (!xml.atEnd()) {
        xml.readNext();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(metainfo.contains(">lumivex.desktop</launchable>"));
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        const QImage icon(QString(LUMIVEX_APP_DIR "/icons/lumivex-%1.png").arg(size));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
    }
}

}  // namespace
}  // namespace lumivex::testing
