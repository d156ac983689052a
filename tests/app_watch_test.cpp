// Watch mode: the open scene file is read again and rendered when it changes on disk, whether
// it is rewritten in place or replaced by a rename.
#include <cstdio>

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

TEST_F(WatchModeTest, RendersAgainOnceWhenTheFileChangesUnlessTurnedOff) {
    auto window = StartWindow();
    const QString path = Write("scene.txt", Spheres(0));
    Open(*window, path);
    ASSERT_TRUE(WaitForRender(*window));
    unsigned renders = 1;
    const auto rendersAgain = [&](unsigned more) {
        ++renders;
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->RendersStarted() == renders; }, 10000));
        EXPECT_EQ(SceneOf(*window).objects.size(), 1 + more);
        EXPECT_TRUE(WaitForRender(*window));
    };
    // A burst of writes in place, as an editor may save, gives one render of the last.
    for (int more = 1; more <= 5; ++more) {
        Write("scene.txt", Spheres(more));
        QTest::qWait(20);
    }
    rendersAgain(5);
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
    EXPECT_EQ(window->RendersStarted(), renders);
    // Turned back on, it picks up what changed while it was off.
    watch->trigger();
    rendersAgain(4);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

}  // namespace
}  // namespace lumivex::testing
