// The main window driven as a person would, through its menus and keys, with the dialogs
// answered by the test: start-up, loading and rendering, the arrow keys, saving, closing.
#include <algorithm>
#include <cmath>
#include <new>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include "app/application.h"
#include "app/picture_view.h"
#include "app_test_support.h"

namespace lumivex::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// At the full window size a render is surely still running while a test does something else;
// the showcase's in Monte-Carlo mode takes minutes on two cores.
constexpr QSize kFullSize{640, 640};

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

TEST_F(AppWindowTest, StartsWithAWhitePictureAndTheHint) {
    auto window = StartWindow(kFullSize);
    EXPECT_EQ(window->frameGeometry().size(), kFullSize);  // no frame offscreen

    // The picture has the drawing area's size in device pixels.
    const PixelBuffer& pixels = PictureOf(*window);
    const qreal ratio = window->GetView()->devicePixelRatioF();
    EXPECT_EQ(pixels.GetWidth(), std::lround(window->GetView()->width() * ratio));
    EXPECT_EQ(pixels.GetHeight(), std::lround(window->GetView()->height() * ratio));

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

TEST_F(AppWindowTest, ShowsTheRenderedPictureUnscaledTopRowFirstAndWhereReadingStopped) {
    auto window = StartWindow();
    QSignalSpy finished(window.get(), &MainWindow::RenderFinished);
    Open(*window, ExampleScene("worked-example.txt"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_THAT(window->windowTitle().toStdString(), StartsWith("Lumivex Read Time: "));
    ASSERT_TRUE(WaitForRender(*window));
    // Each band sets the title to its time; the status bar has the whole picture's.
    EXPECT_THAT(window->windowTitle().toStdString(), StartsWith("Lumivex Render Time: "));
    EXPECT_THAT(StatusText(*window, "renderStatus"), StartsWith("Rendered in"));
    EXPECT_EQ(finished.count(), 1);

    // One band per processor, the picture a function of that and nothing of the window's.
    const RenderRequest& request = *window->GetSession()->GetLastRequest();
    EXPECT_EQ(request.bands, DefaultBandCount());
    EXPECT_EQ(Words(PictureOf(*window)), RenderWords(ExampleText("worked-example"), request));
    EXPECT_EQ(WordsOf(window->GetView()->grab().toImage()), Words(PictureOf(*window)));

    Open(*window, Write("cut.txt", "AMBIENT (1,1,1)\nsphere\nSPHERE (0,0,0) 2 (1,0\n"));
    EXPECT_EQ(SceneOf(*window).objects.size(), 1u);  // what was read is rendered
    const std::string summary = StatusText(*window, "sceneStatus");
    EXPECT_THAT(summary, HasSubstr("Reading stopped early: cut.txt:3:22: expected"));
    EXPECT_THAT(summary, HasSubstr("1 warning, the first: cut.txt:2:1: "));
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
    window->OpenSceneFile(ExampleScene("worked-example.txt"));
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
}

TEST_F(AppWindowTest, ArrowKeysNudgeTheCameraAndRenderAgain) {
    auto window = StartWindow();
    // Before a scene is loaded a nudge moves the empty scene's camera, and the hint stays.
    QTest::keyClick(window.get(), Qt::Key_Right);
    EXPECT_EQ(SceneOf(*window).camera.centre.x, 0.01f);
    EXPECT_EQ(window->RendersStarted(), 0u);

    Open(*window, ExampleScene("worked-example.txt"));  // the camera at (0, 0, -8)
    ASSERT_TRUE(WaitForRender(*window));
    const auto first = Words(PictureOf(*window));
    const std::pair<Qt::Key, Vec4> presses[] = {
        {Qt::Key_Left, Point(-0.01f, 0, -8)}, {Qt::Key_Up, Point(-0.01f, 0, -8.01f)},
        {Qt::Key_Right, Point(0, 0, -8.01f)}, {Qt::Key_Down, Point(0, 0, -8)},
        {Qt::Key_Left, Point(-0.01f, 0, -8)},
    };
    for (const auto& [key, centre] : presses) {
        QTest::keyClick(window.get(), key);
        EXPECT_EQ(SceneOf(*window).camera.centre, centre) << key;
    }
    QTest::keyClick(window.get(), Qt::Key_A);  // other keys do nothing
    EXPECT_EQ(window->RendersStarted(), 6u);
    ASSERT_TRUE(WaitForRender(*window));
    EXPECT_NE(Words(PictureOf(*window)), first);  // the picture of the moved camera
}

TEST_F(AppWindowTest, SavesThePictureAsItIsAndOpensADroppedFile) {
    auto window = StartWindow();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(ExampleScene("worked-example.txt"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    ASSERT_TRUE(WaitForRender(*window));

    imagePath = Path("picture");  // no extension: PNG
    Action(*window, "&Save Image...")->trigger();
    EXPECT_EQ(suggestedImage, QString(LUMIVEX_EXAMPLES_DIR "/worked-example.png"));
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(WordsOf(QImage(Path("picture.png"), "png")), Words(PictureOf(*window)));
    EXPECT_FALSE(window->SaveImage(Path("picture.gif")));
    EXPECT_THAT(errors.last().toStdString(), HasSubstr("picture.gif': unsupported picture format"));
}

TEST_F(AppWindowTest, ClosingStopsTheRenderAndTearsDown) {
    auto window = StartWindow(kFullSize);
    window->OpenSceneFile(ExampleScene("showcase.txt"));
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
