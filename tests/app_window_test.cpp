// The main window driven as a person would, through its menus, keys and mouse, with the dialogs
// answered by the test: start-up, loading and rendering, stopping, the camera, saving, closing.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <tuple>

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "app/application.h"
#include "app/picture_view.h"
#include "app/problems_panel.h"
#include "app_test_support.h"

namespace lumivex::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// At the full picture size a render is surely still running while a test does something else;
// the showcase's in Monte-Carlo mode takes minutes on two cores.
constexpr PictureSize kFullSize{640, 640};

std::string StatusText(const MainWindow& window, const char* label) {
    return window.statusBar()->findChild<QLabel*>(label)->text().toStdString();
}

// The picture an image shows, as Words() gives a buffer's: the bottom row first.
std::vector<std::uint32_t> WordsOf(const QImage& image) {
    std::vector<std::uint32_t> words;
    for (int y = image.height(); y-- > 0;) {
        for (int x = 0; x < image.width(); ++x) {
            words.push_back(image.pixel(x, y) & 0xFFFFFF);
        }
    }
    return words;
}

TEST_F(AppWindowTest, StartsWithAWhitePictureOfTheChosenSizeAndTheHint) {
    auto window = StartWindow({300, 200});
    // The picture has the chosen size in device pixels, and the window holds it unscaled.
    const PixelBuffer& pixels = PictureOf(*window);
    EXPECT_EQ(pixels.GetWidth(), 300u);
    EXPECT_EQ(pixels.GetHeight(), 200u);
    const qreal ratio = window->GetView()->devicePixelRatioF();
    const QSize unscaled(std::lround(300 / ratio), std::lround(200 / ratio));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->GetView()->viewport()->size() == unscaled; }))
        << window->GetView()->viewport()->size().width();
    EXPECT_FALSE(Action(*window, "&Save Image...")->isEnabled());  // nothing rendered yet

    // The hint is in the top rows (the buffer's last ones); the rest is still white.
    const auto words = Words(pixels);
    const auto rows =
        std::lround(std::ceil(QFontMetrics(window->GetView()->font()).height() * ratio));
    const auto top = words.end() - rows * pixels.GetWidth();
    EXPECT_TRUE(
        std::all_of(words.begin(), top, [](auto word) { return word == PixelBuffer::kWhite; }));
    EXPECT_GT(std::count_if(top, words.end(), [](auto word) { return (word & 0x808080) == 0; }),
              100);
}

TEST_F(AppWindowTest, ShowsTheRenderedPictureUnscaledAndListsTheProblems) {
    auto window = StartWindow();
    QSignalSpy finished(window.get(), &MainWindow::RenderFinished);
    Open(*window, ExampleScene("worked-example.txt"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    ASSERT_TRUE(WaitForRender(*window));
    // Each band sets the title to its time; the status bar has the whole picture's.
    EXPECT_THAT(window->windowTitle().toStdString(), StartsWith("Lumivex Render Time: "));
    EXPECT_THAT(StatusText(*window, "renderStatus"), StartsWith("Rendered in"));
    EXPECT_EQ(StatusText(*window, "sceneStatus"), "worked-example.txt");
    EXPECT_EQ(finished.count(), 1);

    // One band per processor, the picture a function of that and nothing of the window's: the
    // preview drawn first leaves no trace.
    const RenderRequest& request = *window->GetSession()->GetLastRequest();
    EXPECT_TRUE(request.preview);
    EXPECT_EQ(request.bands, DefaultBandCount());
    EXPECT_EQ(Words(PictureOf(*window)), RenderWords(ExampleText("worked-example"), request));
    EXPECT_EQ(WordsOf(window->GetView()->viewport()->grab().toImage()), Words(PictureOf(*window)));
    window->GetView()->ZoomIn();
    EXPECT_EQ(Words(PictureOf(*window)), RenderWords(ExampleText("worked-example"), request));

    Open(*window, Write("cut.txt", "AMBIENT (1,1,1)\nsphere\nSPHERE (0,0,0) 2 (1,0\n"));
    EXPECT_EQ(SceneOf(*window).objects.size(), 1u);  // what was read is rendered
    EXPECT_TRUE(window->GetProblems()->isVisibleTo(window.get()));
    EXPECT_EQ(window->GetProblems()->Count(), 2);
    const auto* summary = window->findChild<QPushButton*>("problemSummary");
    EXPECT_EQ(summary->text(), "2 problems");
    EXPECT_THAT(summary->toolTip().toStdString(),
                HasSubstr("Reading stopped early: cut.txt:3:22: expected"));
}

TEST_F(AppWindowTest, LoadingDuringARenderStopsItUnlessTheFileCannotBeLoaded) {
    const MainWindow* observed = nullptr;
    std::vector<bool> runningWhenLoading;
    bool fail = false;
    auto window = StartWindow(kFullSize, [&](std::string text, const std::atomic<bool>* stop) {
        runningWhenLoading.push_back(observed->GetSession()->IsRunning());
        if (fail) {
            throw std::bad_alloc();
        }
        return LoadSceneText(std::move(text), stop);
    });
    observed = window.get();
    // Rows are counted from the first band row on; the preview would only delay them here.
    Action(*window, "&Quick Preview")->trigger();
    window->OpenSceneFile(ExampleScene("worked-example.txt"));
    WaitForReading(*window);
    const RenderSession& session = *window->GetSession();
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.RowsFinished(0) >= 8; }, 120000));
    ASSERT_TRUE(session.IsRunning());
    // Stochastic changes the running render; antialiasing waits for the next one.
    window->CommandAction(kCommandStochastic)->trigger();
    EXPECT_TRUE(session.GetContext().stochastic.load());
    window->CommandAction(kCommandMonteCarlo)->trigger();
    EXPECT_EQ(session.GetLastRequest()->mode, AntialiasMode::Off);
    std::uint64_t rows = session.RowsFinished();
    Open(*window, ExampleScene("showcase.txt"));
    // Reading happens while the old render goes on; only replacing the scene stops it.
    EXPECT_THAT(runningWhenLoading, ::testing::ElementsAre(false, true));
    EXPECT_EQ(window->RendersStarted(), 2u);
    EXPECT_EQ(session.GetLastRequest()->mode, AntialiasMode::MonteCarlo);
    EXPECT_LT(session.RowsFinished(), rows + 8);  // started afresh

    // A cancelled choice, a missing file, a picture (a NUL byte) and a failure while loading
    // change nothing, and the render goes on.
    const QString title = window->windowTitle();
    chosen = {"", Path("missing.txt"), Write("p.png", QByteArray("\x89PNG\r\n\x1a\n\0", 9))};
    for (int attempt = 0; attempt < 3; ++attempt) {
        window->CommandAction(kCommandOpen)->trigger();
        WaitForReading(*window);
    }
    fail = true;
    Open(*window, ExampleScene("worked-example.txt"));
    EXPECT_EQ(chooserShown, 5);
    ASSERT_EQ(errors.size(), 3);
    EXPECT_THAT(errors[0].toStdString(), HasSubstr(Path("missing.txt").toStdString() + "': No"));
    EXPECT_THAT(errors[1].toStdString(), HasSubstr("not a scene file (a NUL byte at offset 8"));
    EXPECT_THAT(errors[2].toStdString(), HasSubstr("out of memory while loading"));
    EXPECT_EQ(window->windowTitle(), title);
    EXPECT_EQ(window->RendersStarted(), 2u);
    EXPECT_EQ(window->GetDocument().GetPath(), ExampleScene("showcase.txt"));
    rows = session.RowsFinished();
    EXPECT_TRUE(QTest::qWaitFor([&] { return session.RowsFinished() > rows; }, 60000));

    // Stop keeps what is drawn and says how far the render got; F5 renders again.
    fail = false;
    QTest::keyClick(window->GetView(), Qt::Key_Escape);
    EXPECT_FALSE(session.IsRunning());
    EXPECT_THAT(StatusText(*window, "renderStatus"),
                ::testing::MatchesRegex("Stopped at [0-9]+ %"));
    QTest::keyClick(window->GetView(), Qt::Key_F5);
    WaitForReading(*window);
    EXPECT_EQ(window->RendersStarted(), 3u);
}

TEST_F(AppWindowTest, ReadingInTheBackgroundKeepsTheWindowResponsiveAndCanBeCancelled) {
    auto window = StartWindow({200, 200}, [](std::string text, const std::atomic<bool>* stop) {
        QThread::msleep(text.find("slow") != std::string::npos ? 600 : 0);
        return LoadSceneText(std::move(text), stop);
    });
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    window->OpenSceneFile(
        Write("slow.txt", QByteArray::fromStdString("# slow\n" + ExampleText("worked-example"))));
    EXPECT_THAT(StatusText(*window, "sceneStatus"), StartsWith("Reading slow.txt"));
    EXPECT_EQ(window->cursor().shape(), Qt::BusyCursor);
    QTest::qWait(300);
    EXPECT_GT(ticks, 10);
    Open(*window, ExampleScene("worked-example.txt"));  // cancels the slow one
    QTest::qWait(600);
    EXPECT_EQ(window->GetDocument().GetPath(), ExampleScene("worked-example.txt"));
    EXPECT_EQ(window->RendersStarted(), 1u);
}

TEST_F(AppWindowTest, KeysAndTheMouseMoveTheCameraAndCopyCameraReproducesIt) {
    auto window = StartWindow({64, 64});
    // Before a scene is loaded a nudge moves the empty scene's camera, and the hint stays.
    QTest::keyClick(window->GetView(), Qt::Key_Right);
    EXPECT_EQ(SceneOf(*window).camera.centre.x, 0.01f);
    EXPECT_EQ(window->RendersStarted(), 0u);

    Open(*window, ExampleScene("worked-example.txt"));  // the camera at (0, 0, -8)
    const auto step = [](float from, double steps) {
        return static_cast<float>(static_cast<double>(from) + steps * static_cast<double>(0.01f));
    };
    // The keys reach the window through the picture, which has the focus.
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, Vec4> presses[] = {
        {Qt::Key_Left, Qt::NoModifier, Point(-0.01f, 0, -8)},
        {Qt::Key_Up, Qt::NoModifier, Point(-0.01f, 0, step(-8, -1))},
        {Qt::Key_Right, Qt::ShiftModifier, Point(step(-0.01f, 10), 0, step(-8, -1))},
        {Qt::Key_PageUp, Qt::ControlModifier, Point(step(-0.01f, 10), 1, step(-8, -1))},
        {Qt::Key_PageDown, Qt::NoModifier, Point(step(-0.01f, 10), step(1, -1), step(-8, -1))},
    };
    for (const auto& [key, modifiers, centre] : presses) {
        QTest::keyClick(window->GetView(), key, modifiers);
        EXPECT_EQ(SceneOf(*window).camera.centre, centre) << key;
    }
    QTest::keyClick(window->GetView(), Qt::Key_A);  // other keys do nothing
    EXPECT_EQ(window->RendersStarted(), 6u);
    ASSERT_TRUE(WaitForRender(*window));

    // Dragging renders previews only; the full render starts on release.
    emit window->GetView()->OrbitDragged(QPointF(30, -12));
    emit window->GetView()->PanDragged(QPointF(5, 7));
    EXPECT_TRUE(window->GetSession()->GetLastRequest()->previewOnly);
    emit window->GetView()->DragFinished();
    EXPECT_FALSE(window->GetSession()->GetLastRequest()->previewOnly);
    emit window->GetView()->WheelMoved(2);
    const Camera moved = SceneOf(*window).camera;

    Action(*window, "&Copy Camera")->trigger();
    const QString line = QApplication::clipboard()->text();
    EXPECT_THAT(line.toStdString(), StartsWith("CAMERA ("));
    QByteArray text = QByteArray::fromStdString(ExampleText("worked-example"));
    text.replace("CAMERA", "# CAMERA");
    Open(*window, Write("copied.txt", text + "\n" + line.toUtf8() + "\n"));
    for (const Vec4 Camera::*vector :
         {&Camera::centre, &Camera::right, &Camera::up, &Camera::eyeOffset}) {
        EXPECT_EQ(std::memcmp(&(SceneOf(*window).camera.*vector), &(moved.*vector), sizeof(Vec4)),
                  0);
    }
    QTest::keyClick(window->GetView(), Qt::Key_Left);
    QTest::keyClick(window->GetView(), Qt::Key_Home);  // back to the file's camera
    EXPECT_EQ(SceneOf(*window).camera.centre, moved.centre);

    // A menu closed with Escape gives the keyboard back to the picture.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F, Qt::AltModifier);
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    // The offscreen platform leaves the closed menu active, where a window system would not.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::qWait(20);
    EXPECT_EQ(QApplication::focusWidget(), window->GetView());
}

TEST_F(AppWindowTest, PictureSizeSavingAndDroppedFiles) {
    auto window = StartWindow({64, 64});
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(ExampleScene("worked-example.txt"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    WaitForReading(*window);
    nextPictureSize = PictureSizeChoice{{120, 90}, false};
    Action(*window, "&Picture Size...")->trigger();
    ASSERT_TRUE(WaitForRender(*window));
    EXPECT_EQ(Words(PictureOf(*window)),
              RenderWords(ExampleText("worked-example"), *window->GetSession()->GetLastRequest()));
    EXPECT_EQ(window->GetSession()->GetLastRequest()->picture, (PictureSize{120, 90}));

    // A name in no format we write brings the chooser back with the name kept; no extension
    // is PNG.
    imagePaths = {Path("picture.gif"), Path("picture")};
    Action(*window, "&Save Image...")->trigger();
    EXPECT_EQ(suggestedImage, Path("picture.gif"));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_THAT(errors.last().toStdString(), HasSubstr("picture.gif': unsupported picture format"));
    EXPECT_EQ(WordsOf(QImage(Path("picture.png"), "png")), Words(PictureOf(*window)));

    // During a render: saved once it is finished, or now with the rows not yet done white.
    window->SetPictureSize({400, 400});
    saveTiming = SaveTiming::WhenFinished;
    imagePaths = {Path("finished.png")};
    Action(*window, "&Save Image...")->trigger();
    EXPECT_FALSE(QFile::exists(Path("finished.png")));
    ASSERT_TRUE(WaitForRender(*window));
    EXPECT_EQ(WordsOf(QImage(Path("finished.png"), "png")), Words(PictureOf(*window)));
    window->CommandAction(kCommandMonteCarlo)->trigger();
    Action(*window, "Re&load")->trigger();
    WaitForReading(*window);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->GetSession()->RowsFinished() > 0; }, 60000));
    window->StopRender();
    ASSERT_TRUE(window->SaveImage(Path("now.png")));
    const auto saved = WordsOf(QImage(Path("now.png"), "png"));
    const auto shown = Words(PictureOf(*window));
    const auto& bands = window->GetSession()->GetBands();
    for (unsigned b = 0; b < bands.size(); ++b) {
        const std::uint32_t done = bands[b].y0 + window->GetSession()->RowsFinished(b);
        for (std::uint32_t y = bands[b].y0; y < bands[b].y1; ++y) {
            const auto row = std::next(saved.begin(), y * 400);
            EXPECT_TRUE(
                y < done ? std::equal(row, row + 400, std::next(shown.begin(), y * 400))
                         : std::all_of(row, row + 400, [](auto word) { return word == 0xFFFFFFu; }))
                << y;
        }
    }
}

TEST_F(AppWindowTest, RemembersChoicesAndRecentFilesBetweenRuns) {
    QSettings settings(Path("lumivex.conf"), QSettings::IniFormat);
    const auto start = [&] {
        MainWindowOptions options;
        options.pictureSize = {64, 64};
        options.settings = &settings;
        options.dialogs.showError = [this](QWidget*, const QString& message) { errors << message; };
        auto window = std::make_unique<MainWindow>(std::move(options));
        window->StartUp();
        return window;
    };
    auto first = start();
    first->SetPictureSize({48, 32});
    first->CommandAction(kCommandJittered)->trigger();
    first->OpenSceneFile(ExampleScene("worked-example.txt"));
    WaitForReading(*first);
    first->close();
    auto second = start();
    EXPECT_EQ(PictureOf(*second).GetWidth(), 48u);
    EXPECT_EQ(PictureOf(*second).GetHeight(), 32u);
    EXPECT_TRUE(second->CommandAction(kCommandJittered)->isChecked());
    QMenu* recent = Action(*second, "Open &Recent")->menu();
    ASSERT_EQ(recent->actions().size(), 1);
    recent->actions().front()->trigger();
    WaitForReading(*second);
    EXPECT_EQ(second->GetDocument().GetPath(), ExampleScene("worked-example.txt"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(AppWindowTest, ClosingStopsTheRenderAndTearsDown) {
    auto window = StartWindow(kFullSize);
    window->OpenSceneFile(ExampleScene("showcase.txt"));
    WaitForReading(*window);
    ASSERT_TRUE(window->GetSession()->IsRunning());
    window->CommandAction(kCommandExit)->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->GetSession()->IsRunning());
    window->Teardown();
    EXPECT_EQ(window->GetSession(), nullptr);
    // With no picture any more, keys and File, Open do nothing.
    QTest::keyClick(window.get(), Qt::Key_Left);
    window->CommandAction(kCommandOpen)->trigger();
    EXPECT_EQ(chooserShown, 0);
}

TEST(AppProgram, RunsUntilTheWindowClosesAndReturnsZero) {
    bool stopped = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<MainWindow*>(widget);
            if (window != nullptr && window->isVisible() && window->RendersStarted() == 1 &&
                window->GetSession()->RowsFinished() > 0) {
                window->close();
                stopped = !window->GetSession()->IsRunning();
            }
        }
    });
    poll.start(10);
    EXPECT_EQ(RunMainWindow({"lumivex", ExampleScene("showcase.txt")}), 0);
    EXPECT_TRUE(stopped);
}

}  // namespace
}  // namespace lumivex::testing
