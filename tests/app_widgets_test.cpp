// The picture view's zoom, drags and keys; the picture size dialog; the Problems panel.
#include <gmock/gmock.h>

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTreeWidget>

#include "app/camera_navigator.h"
#include "app/picture_size_dialog.h"
#include "app/picture_view.h"
#include "app/problems_panel.h"
#include "render/camera_moves.h"
#include "render_support.h"

namespace lumivex {
namespace {

class PictureViewTest : public ::testing::Test {
  protected:
    PictureViewTest() : pixels(100, 60) {
        for (std::uint32_t i = 0; i < 6000; ++i) {
            pixels.Store(i % 100, i / 100, (i * 2654435761u) & 0xFFFFFFu);
        }
        view.resize(200, 150);
        view.SetPicture(&pixels, 1.0);
        view.show();
    }
    std::vector<std::uint32_t> Words() const {
        std::vector<std::uint32_t> words(6000);
        for (std::uint32_t y = 0; y < 60; ++y) {
            pixels.LoadRow(y, &words[y * 100]);
        }
        return words;
    }
    void Mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, at, view.viewport()->mapToGlobal(at), button, held, {});
        QApplication::sendEvent(view.viewport(), &event);
    }

    PixelBuffer pixels;
    PictureView view;
};

TEST_F(PictureViewTest, ZoomingNeverTouchesThePictureAndFitFollowsTheView) {
    const auto before = Words();
    QSignalSpy changes(&view, &PictureView::ZoomChanged);
    using P = PictureView;  // the commands in turn, and the zoom after each
    const std::pair<void (P::*)(), double> steps[] = {
        {&P::ZoomIn, 2},     {&P::ZoomIn, 3},      {&P::ActualSize, 1},  {&P::ZoomOut, 0.5},
        {&P::ZoomOut, 0.25}, {&P::ZoomOut, 0.125}, {&P::ZoomOut, 0.125}, {&P::FitToWindow, 2}};
    for (const auto& [command, zoom] : steps) {
        (view.*command)();
        EXPECT_EQ(view.Zoom(), zoom);
    }
    EXPECT_EQ(changes.count(), 7);  // the second ZoomOut at 1/8 changed nothing
    view.resize(400, 300);
    EXPECT_TRUE(view.IsFitToWindow());
    EXPECT_EQ(view.Zoom(), 4);
    EXPECT_EQ(view.PictureRect(), QRect(0, 30, 400, 240));
    view.ZoomIn();
    EXPECT_FALSE(view.IsFitToWindow());
    EXPECT_GT(view.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(Words(), before);
}

TEST_F(PictureViewTest, ActualSizeIsCentredAndCrispAndEnlargingRepeatsPixels) {
    for (const qreal ratio : {2.0, 1.0}) {
        view.SetPicture(&pixels, ratio);
        EXPECT_EQ(view.PictureRect().size(), QSize(100, 60) / ratio);
        EXPECT_EQ(view.PictureRect().center(), view.viewport()->rect().center()) << ratio;
    }
    for (const int zoom : {1, 2}) {  // at 2 the picture fills the view's width
        const QImage shot = view.viewport()->grab().toImage();
        for (const auto& [x, y] : {std::pair{0, 0}, {37, 21}, {99, 59}}) {
            for (const QPoint inside : {QPoint(0, 0), QPoint(zoom - 1, zoom - 1)}) {
                const QPoint at = view.PictureRect().topLeft() + QPoint(x, 59 - y) * zoom + inside;
                EXPECT_EQ(shot.pixel(at) & 0xFFFFFFu, pixels.Load(x, y)) << x << "," << y;
            }
        }
        view.ZoomIn();
    }
}

TEST_F(PictureViewTest, KeysReachTheWindowAndDragsAndTheWheelAreReported) {
    QSignalSpy orbits(&view, &PictureView::OrbitDragged), pans(&view, &PictureView::PanDragged),
        finished(&view, &PictureView::DragFinished), wheel(&view, &PictureView::WheelMoved);
    for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::LeftButton}) {
        Mouse(QEvent::MouseButtonPress, {10, 10}, button, button);
        if (finished.count() < 2) {  // the last press is a click
            Mouse(QEvent::MouseMove, {15, 7}, Qt::NoButton, button);
        }
        Mouse(QEvent::MouseButtonRelease, {15, 7}, button, Qt::NoButton);
    }
    ASSERT_EQ(orbits.count() * 10 + pans.count(), 11);
    EXPECT_EQ(orbits[0][0].toPointF(), QPointF(5, -3));
    EXPECT_EQ(pans[0][0].toPointF(), QPointF(5, -3));
    EXPECT_EQ(finished.count(), 2);
    for (const auto& [delta, keys] :
         {std::pair{-240, Qt::NoModifier}, {240, Qt::ControlModifier}}) {
        QWheelEvent event({50, 50}, {50, 50}, {}, {0, delta}, {}, keys, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &event);
    }
    EXPECT_EQ(wheel.count() == 1 ? wheel[0][0].toInt() : 0, -2);
    EXPECT_EQ(view.Zoom(), 3);  // two steps: now with scroll bars
    const int scrolled = view.verticalScrollBar()->value();
    for (const int key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp,
                          Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&view, &press);
        EXPECT_FALSE(press.isAccepted()) << key;
    }
    EXPECT_EQ(view.verticalScrollBar()->value(), scrolled);
}

// A drag turns the camera about the point under the picture's centre when it starts, by 0.005
// radians a pixel each way, and keeps that point and the upright direction until it ends.
TEST(CameraNavigator, DragsOrbitAboutTheirFirstPivotByTheirPixels) {
    const auto scene = LoadSceneText(testing::ExampleText("worked-example")).scene;
    const ObjectListWalk hits(*scene);
    const Camera start = scene->camera;
    const Vec4 pivot = ViewPivot(start, hits);
    const Vec4 up = WorldUpOf(start);
    CameraNavigator navigator;
    const Camera first = navigator.Orbited(start, QPointF(30, -12), hits);
    EXPECT_EQ(first.centre, OrbitCamera(start, pivot, -30.0f * 0.005f, 12.0f * 0.005f, up).centre);
    const Camera second = navigator.Orbited(first, QPointF(0, 8), hits);
    EXPECT_EQ(second.centre, OrbitCamera(first, pivot, -0.0f, -8.0f * 0.005f, up).centre);
    EXPECT_TRUE(navigator.FinishDrag());
    EXPECT_FALSE(navigator.FinishDrag());
}

TEST(PictureSize, AspectsAndMatchedHeights) {
    EXPECT_EQ(CameraAspect(Camera()), 1.0);
    EXPECT_EQ(CameraAspect({{}, Direction(6, 8, 0), Direction(0, 3, 4), {}}), 0.5);
    EXPECT_EQ(CameraAspect({{}, Direction(0, 0, 0), Direction(0, 1, 0), {}}), 1.0);
    const std::tuple<std::uint32_t, double, std::uint32_t> table[] = {
        {640, 0.75, 480}, {3, 0.5, 2}, {1, 0.1, 1}, {100, NAN, 100}, {16384, 2, 16384}};
    for (const auto& [width, aspect, height] : table) {
        EXPECT_EQ(MatchAspect(width, aspect), height) << width << " " << aspect;
    }
}

TEST(PictureSize, DialogChoices) {
    PictureSizeDialog dialog({640, 480}, true, 0.5);
    EXPECT_EQ(dialog.Choice(), (PictureSizeChoice{{640, 320}, true}));
    dialog.SetMatchAspect(false);
    dialog.SetSize({123, 45});
    EXPECT_EQ(dialog.Choice(), (PictureSizeChoice{{123, 45}, false}));
    EXPECT_EQ(dialog.PresetIndex(), 5);  // Custom
    dialog.SelectPreset(3);
    EXPECT_EQ(dialog.PresetIndex(), 3);
    dialog.SetMatchAspect(true);
    EXPECT_EQ(dialog.Choice(), (PictureSizeChoice{{800, 400}, true}));
    dialog.SelectPreset(0);  // not the camera's aspect: taken as it is
    EXPECT_EQ(dialog.Choice(), (PictureSizeChoice{{320, 320}, false}));
}

TEST(ProblemsPanel, ListsEscapedDiagnosticsAndOpensTheFile) {
    const std::tuple<std::string, int, QString, QString> lines[] = {
        {"SPHERE 1 x\x01", 10, " 3 | SPHERE 1 x\\x01", "   |          ^"},
        {"\tA\xC3\xA9\x01 x", 7, " 3 |  A\xC3\xA9\\x01 x", "   |         ^"},
        {"\xFF\xE2\x80\xAE", 2, " 3 | \\xFF\\xE2\\x80\\xAE", "   |     ^"}};
    for (const auto& [line, column, shown, caret] : lines) {
        EXPECT_EQ(CaretLines({3, column, "", line}), QStringList({shown, caret}));
    }
    ProblemsPanel panel;
    panel.Show("/some/dir/scene.txt", SceneDiagnostic{3, 10, "found 'x\x01'", "SPHERE 1 x\x01"},
               {{1, 1, "lower case", "sphere"}, {2, 4, "two", "a b c"}});
    ASSERT_EQ(panel.Count(), 3);
    const QTreeWidgetItem* first = panel.List()->topLevelItem(0);
    EXPECT_EQ(
        QStringList({first->text(0), first->text(1), first->text(2), first->child(0)->text(0)}),
        QStringList({"scene.txt:3:10", "error", "found 'x\\x01'", " 3 | SPHERE 1 x\\x01"}));
    EXPECT_EQ(panel.List()->topLevelItem(2)->text(1), "warning");
    QUrl opened;
    panel.openUrl = [&](const QUrl& url) { return opened = url, false; };
    QSignalSpy failures(&panel, &ProblemsPanel::OpenFailed);
    emit panel.List()->itemDoubleClicked(panel.List()->topLevelItem(1), 0);
    EXPECT_EQ(opened, QUrl::fromLocalFile("/some/dir/scene.txt"));
    EXPECT_EQ(failures.count(), 1);
    panel.Clear();
    EXPECT_EQ(panel.Count(), 0);
}

}  // namespace
}  // namespace lumivex
