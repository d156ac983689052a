// Watch mode: the open scene file is read again and rendered when it changes on disk, whether
// it is rewritten in place or replaced by a rename.
#include <cstdio>

#include <QSignalSpy>

#include "app/scene_file_watch.h"
#include "app_test_support.h"

namespace lumivex::testing {
namespace {

// A scene of one sphere and `more` small ones.
QByteArray Spheres(int more) {
    QByteArray text =
        "CAMERA (0,0,-8) (1,0,0) (0,1,0) (0,0,-2)\nLIGHT (0,10,-10) (1,1,1) 0\n"
        "SPHERE (0,0,0) 2 (1,0,0) 0.5 20 (1,1,1) 1 1\n";
    for (int i = 0; i < more; ++i) {
        text += QString("SPHERE (%1,2,0) 0.5 (0,1,0) 0 1 (1,1,1) 1 1\n").arg(i - 2).toLatin1();
    }
    return text;
}

using WatchModeTest = AppWindowTest;

TEST_F(WatchModeTest, RendersAgainWhenTheFileChangesUnlessTurnedOff) {
    auto window = StartWindow();
    const QString path = Write("scene.txt", Spheres(0));
    Open(*window, path);
    ASSERT_TRUE(WaitForRender(*window));
    const auto rendersAgain = [&](unsigned more) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->RendersStarted() > more; }, 10000));
        EXPECT_EQ(SceneOf(*window).objects.size(), 1 + more);
        EXPECT_TRUE(WaitForRender(*window));
    };
    Write("scene.txt", Spheres(1));  // in place
    rendersAgain(1);
    // A new file renamed over it, as many editors save, then that new file rewritten in place.
    const QByteArray temporary = QFile::encodeName(Write("scene.txt.new", Spheres(2)));
    ASSERT_EQ(std::rename(temporary.constData(), QFile::encodeName(path).constData()), 0);
    rendersAgain(2);
    Write("scene.txt", Spheres(3));
    rendersAgain(3);

    // Not for a save that changes nothing, other files or the picture saved beside it, nor once
    // watching is off.
    Write("scene.txt", Spheres(3));
    Write("other.txt", Spheres(1));
    ASSERT_TRUE(window->SaveImage(Path("scene.png")));
    QTest::qWait(4 * SceneFileWatch::kSettleMilliseconds);
    QAction* watch = Action(*window, "Reload on &Change");
    watch->trigger();
    EXPECT_FALSE(watch->isChecked());
    Write("scene.txt", Spheres(4));
    QTest::qWait(4 * SceneFileWatch::kSettleMilliseconds);
    EXPECT_EQ(window->RendersStarted(), 4u);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(WatchModeTest, ABurstOfWritesGivesOneChange) {
    SceneFileWatch watch;
    watch.Watch(Write("scene.txt", Spheres(0)));
    QSignalSpy changed(&watch, &SceneFileWatch::Changed);
    for (int i = 1; i <= 5; ++i) {
        Write("scene.txt", Spheres(i));
        QTest::qWait(20);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return changed.count() > 0; }, 5000));
    QTest::qWait(2 * SceneFileWatch::kSettleMilliseconds);
    EXPECT_EQ(changed.count(), 1);
}

}  // namespace
}  // namespace lumivex::testing
