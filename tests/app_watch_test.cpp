// Watch mode: the open scene file is read again and rendered when it changes on disk, whether
// it is rewritten in place or replaced by a rename as many editors save.
#include <cstdio>

#include <gtest/gtest.h>

#include <QAction>
#include <QSignalSpy>

#include "app/scene_file_watch.h"
#include "app_test_support.h"

namespace lumivex::testing {
namespace {

const std::string kScene =
    "CAMERA (0,0,-8) (1,0,0) (0,1,0) (0,0,-2)\n"
    "LIGHT (0,10,-10) (1,1,1) 0\n"
    "SPHERE (0,0,0) 2 (1,0,0) 0.5 20 (1,1,1) 1 1\n";

std::string WithSpheres(int count) {
    std::string text = kScene;
    for (int i = 0; i < count; ++i) {
        text += "SPHERE (" + std::to_string(i - 2) + ",2,0) 0.5 (0,1,0) 0 1 (1,1,1) 1 1\n";
    }
    return text;
}

class WatchModeTest : public AppWindowTest {
  protected:
    QString WriteScene(const QString& name, const std::string& text) {
        return Write(name, QByteArray::fromStdString(text));
    }
    // Writes a sibling file and renames it over `path`: a new file under the old name.
    void ReplaceByRename(const QString& path, const std::string& text) {
        const QString temporary = WriteScene("scene.txt.new", text);
        ASSERT_EQ(std::rename(QFile::encodeName(temporary).constData(),
                              QFile::encodeName(path).constData()),
                  0);
    }

    bool WaitForRenders(const MainWindow& window, unsigned count) {
        return QTest::qWaitFor([&] { return window.RendersStarted() >= count; }, 10000);
    }
};

TEST_F(WatchModeTest, RendersAgainWhenTheFileIsRewrittenOrReplaced) {
    auto window = StartWindow();
    const QString path = WriteScene("scene.txt", kScene);
    Open(*window, path);
    ASSERT_TRUE(WaitForRender(*window));
    EXPECT_EQ(SceneOf(*window).objects.size(), 1u);

    WriteScene("scene.txt", WithSpheres(1));  // in place
    ASSERT_TRUE(WaitForRenders(*window, 2));
    EXPECT_EQ(SceneOf(*window).objects.size(), 2u);
    ASSERT_TRUE(WaitForRender(*window));

    ReplaceByRename(path, WithSpheres(2));
    ASSERT_TRUE(WaitForRenders(*window, 3));
    EXPECT_EQ(SceneOf(*window).objects.size(), 3u);
    ASSERT_TRUE(WaitForRender(*window));

    // The replacement is watched in turn, also when written in place.
    WriteScene("scene.txt", WithSpheres(3));
    ASSERT_TRUE(WaitForRenders(*window, 4));
    EXPECT_EQ(SceneOf(*window).objects.size(), 4u);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(WatchModeTest, IgnoresSavesThatChangeNothingAndOtherFiles) {
    auto window = StartWindow();
    const QString path = WriteScene("scene.txt", kScene);
    Open(*window, path);
    ASSERT_TRUE(WaitForRender(*window));
    WriteScene("scene.txt", kScene);
    WriteScene("other.txt", WithSpheres(1));
    ASSERT_TRUE(window->SaveImage(Path("scene.png")));
    QTest::qWait(4 * SceneFileWatch::kSettleMilliseconds);
    EXPECT_EQ(window->RendersStarted(), 1u);
}

TEST_F(WatchModeTest, CanBeTurnedOff) {
    auto window = StartWindow();
    const QString path = WriteScene("scene.txt", kScene);
    Open(*window, path);
    for (QAction* action : window->findChildren<QAction*>()) {
        if (action->text() == "Reload on &Change") {
            action->trigger();
            EXPECT_FALSE(action->isChecked());
        }
    }
    WriteScene("scene.txt", WithSpheres(1));
    QTest::qWait(4 * SceneFileWatch::kSettleMilliseconds);
    EXPECT_EQ(window->RendersStarted(), 1u);
}

TEST_F(WatchModeTest, ABurstOfWritesGivesOneChange) {
    SceneFileWatch watch;
    const QString path = WriteScene("scene.txt", kScene);
    watch.Watch(path);
    QSignalSpy changed(&watch, &SceneFileWatch::Changed);
    for (int i = 0; i < 5; ++i) {
        WriteScene("scene.txt", WithSpheres(i));
        QTest::qWait(20);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return changed.count() > 0; }, 5000));
    QTest::qWait(2 * SceneFileWatch::kSettleMilliseconds);
    EXPECT_EQ(changed.count(), 1);
}

}  // namespace
}  // namespace lumivex::testing
