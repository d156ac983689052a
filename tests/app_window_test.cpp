// The main window driven as a person would, through its menus and keys, with the dialogs
// answered by the test: start-up, loading and rendering, the arrow keys, saving, About, closing.
#include <cmath>
#include <new>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include "app/about_dialog.h"
#include "app/application.h"
#include "app/picture_view.h"
#include "app_test_support.h"

namespace lumivex::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A render of the showcase at the full window size in Monte-Carlo mode takes minutes on two
// cores: it is surely still running while a test does something else.
constexpr QSize kFullSize{640, 640};

std::unique_ptr<MainWindow> StartLongRender(std::unique_ptr<MainWindow> window) {
    window->CommandAction(kCommandMonteCarlo)->trigger();
    window->OpenSceneFile(ExampleScene("showcase.txt"));
    return window;
}

QString StatusText(const MainWindow& window, const char* label) {
    return window.statusBar()->findChild<QLabel*>(label)->text();
}

TEST_F(AppWindowTest, StartsWithTheTitleAWhitePictureAndTheHint) {
    auto window = StartWindow(kFullSize);
    EXPECT_EQ(window->windowTitle(), "Lumivex");
    EXPECT_EQ(window->frameGeometry().size(), kFullSize);  // no frame offscreen

    // The picture has the drawing area's size in device pixels.
    const PixelBuffer& pixels = PictureOf(*window);
    const qreal ratio = window->GetView()->devicePixelRatioF();
    EXPECT_EQ(pixels.GetWidth(), std::lround(window->GetView()->width() * ratio));
    EXPECT_EQ(pixels.GetHeight(), std::lround(window->GetView()->height() * ratio));

    // The hint is in the top rows (the buffer's last ones), from x = 2 on; everything else is
    // still white, every byte 0xFF.
    const QFontMetrics metrics(window->GetView()->font());
    const auto textWidth =
        static_cast<std::uint32_t>(std::ceil((2 + metrics.horizontalAdvance(kStartHint)) * ratio));
    const auto textHeight = static_cast<std::uint32_t>(std::ceil(metrics.height() * ratio));
    int dark = 0;
    for (std::uint32_t y = 0; y < pixels.GetHeight(); ++y) {
        for (std::uint32_t x = 0; x < pixels.GetWidth(); ++x) {
            const std::uint32_t word = pixels.Load(x, y);
            if (y < pixels.GetHeight() - textHeight || x < 2 || x >= textWidth) {
                ASSERT_EQ(word, PixelBuffer::kWhite) << x << ", " << y;
            }
            dark += (word & 0x808080) == 0 ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 100);
    EXPECT_TRUE(SceneOf(*window).objects.empty());
    EXPECT_FALSE(window->GetSession()->GetContext().stochastic.load());
    EXPECT_EQ(window->RendersStarted(), 0u);

    // Before start-up there is nothing to show or to open.
    MainWindow idle(Options());
    QTest::keyClick(&idle, Qt::Key_Left);
    EXPECT_EQ(idle.GetSession(), nullptr);
    idle.CommandAction(kCommandOpen)->trigger();
    EXPECT_EQ(chooserShown, 0);
}

TEST_F(AppWindowTest, ShowsTheRenderedPictureUnscaledTopRowFirst) {
    auto window = StartWindow();
    QSignalSpy finished(window.get(), &MainWindow::RenderFinished);
    Open(*window, ExampleScene("worked-example.txt"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(SceneOf(*window).objects.size(), 5u);
    EXPECT_TRUE(QRegularExpression(R"(^Lumivex Read Time: \d[\d.e+-]*$)")
                    .match(window->windowTitle())
                    .hasMatch())
        << window->windowTitle().toStdString();
    ASSERT_TRUE(WaitForRender(*window));

    // Each band sets the title to its time and rate; the status bar has the whole picture's.
    const QRegularExpressionMatch match =
        QRegularExpression(R"(^Lumivex Render Time: (\S+) \((\S+) fps\)$)")
            .match(window->windowTitle());
    ASSERT_TRUE(match.hasMatch()) << window->windowTitle().toStdString();
    EXPECT_NEAR(match.captured(2).toDouble() * match.captured(1).toDouble(), 1.0, 1e-4);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_THAT(StatusText(*window, "renderStatus").toStdString(), HasSubstr("Rendered in"));

    // One band per processor, the picture a function of that and nothing of the window's.
    const PixelBuffer& pixels = PictureOf(*window);
    const RenderRequest& request = *window->GetSession()->GetLastRequest();
    EXPECT_EQ(request.bands, DefaultBandCount());
    EXPECT_EQ(Words(pixels), RenderWords(ExampleText("worked-example"), request));
    const QImage shown = window->GetView()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.width(), static_cast<int>(pixels.GetWidth()));
    for (std::uint32_t y = 0; y < pixels.GetHeight(); ++y) {
        for (std::uint32_t x = 0; x < pixels.GetWidth(); ++x) {
            ASSERT_EQ(shown.pixel(x, pixels.GetHeight() - 1 - y) & 0xFFFFFF, pixels.Load(x, y))
                << x << ", " << y;
        }
    }
}

TEST_F(AppWindowTest, StochasticActsAtOnceAntialiasingAtTheNextRender) {
    auto window = StartWindow();
    QAction* stochastic = window->CommandAction(kCommandStochastic);
    for (const bool on : {true, false}) {
        stochastic->trigger();
        EXPECT_EQ(stochastic->isChecked(), on);
        EXPECT_EQ(window->GetSession()->GetContext().stochastic.load(), on);
    }
    Open(*window, ExampleScene("worked-example.txt"));
    Trigger(*window, kCommandJittered);
    EXPECT_TRUE(window->CommandAction(kCommandJittered)->isChecked());
    EXPECT_FALSE(window->CommandAction(kCommandAntialiasOff)->isChecked());
    EXPECT_EQ(window->GetSession()->GetLastRequest()->mode, AntialiasMode::Off);
    Open(*window, ExampleScene("worked-example.txt"));
    EXPECT_EQ(window->GetSession()->GetLastRequest()->mode, AntialiasMode::Jittered);
}

TEST_F(AppWindowTest, LoadingDuringARenderStopsItAndRendersOverThePicture) {
    MainWindowOptions options = Options(kFullSize);
    const MainWindow* observed = nullptr;
    std::vector<bool> runningWhenLoading;
    options.load = [&](std::string text, const std::atomic<bool>* stop) {
        runningWhenLoading.push_back(observed->GetSession()->IsRunning());
        return LoadSceneText(std::move(text), stop);
    };
    auto window = StartWindow(std::move(options));
    observed = window.get();
    window->OpenSceneFile(ExampleScene("worked-example.txt"));
    const RenderSession& session = *window->GetSession();
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.RowsFinished(0) >= 8; }, 120000));
    ASSERT_TRUE(session.IsRunning());
    const std::uint64_t rows = session.RowsFinished();
    Trigger(*window, kCommandMonteCarlo);
    Open(*window, ExampleScene("showcase.txt"));
    // Reading happens while the old render goes on; only replacing the scene stops it.
    EXPECT_THAT(runningWhenLoading, ElementsAre(false, true));
    EXPECT_EQ(window->RendersStarted(), 2u);
    EXPECT_EQ(session.GetLastRequest()->mode, AntialiasMode::MonteCarlo);
    EXPECT_LT(session.RowsFinished(), rows + 8);  // started afresh
}

TEST_F(AppWindowTest, AFileThatCannotBeLoadedChangesNothing) {
    MainWindowOptions options = Options(kFullSize);
    bool fail = false;
    options.load = [&](std::string text, const std::atomic<bool>* stop) {
        if (fail) {
            throw std::bad_alloc();
        }
        return LoadSceneText(std::move(text), stop);
    };
    auto window = StartLongRender(StartWindow(std::move(options)));
    const QString title = window->windowTitle();
    Write("picture.png", QByteArray("\x89PNG\r\n\x1a\n\0\0", 10));
    chosen = {"", Path("missing.txt"), Root(), Path("picture.png")};
    for (int attempt = 0; attempt < 4; ++attempt) {
        Trigger(*window, kCommandOpen);
    }
    fail = true;
    Open(*window, ExampleScene("worked-example.txt"));
    EXPECT_EQ(chooserShown, 5);
    ASSERT_EQ(errors.size(), 4);
    EXPECT_THAT(errors[0].toStdString(), HasSubstr(Path("missing.txt").toStdString() + "'"));
    EXPECT_THAT(errors[0].toStdString(), HasSubstr("No such file"));
    EXPECT_THAT(errors[1].toStdString(), HasSubstr("is a directory"));
    EXPECT_THAT(errors[2].toStdString(), HasSubstr("not a scene file (a NUL byte at offset 8"));
    EXPECT_THAT(errors[3].toStdString(), HasSubstr("out of memory while loading"));
    EXPECT_EQ(window->windowTitle(), title);
    EXPECT_EQ(window->RendersStarted(), 1u);
    EXPECT_EQ(window->GetDocument().GetPath(), ExampleScene("showcase.txt"));
    // The render goes on.
    const std::uint64_t rows = window->GetSession()->RowsFinished();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return window->GetSession()->RowsFinished() > rows; }, 60000));
}

TEST_F(AppWindowTest, ShowsWhereReadingStoppedInTheStatusBar) {
    auto window = StartWindow();
    Open(*window, Write("cut.txt", "AMBIENT (1,1,1)\nsphere\nSPHERE (0,0,0) 2 (1,0\n"));
    EXPECT_EQ(SceneOf(*window).objects.size(), 1u);  // what was read is rendered
    const QString summary = StatusText(*window, "sceneStatus");
    EXPECT_THAT(summary.toStdString(), HasSubstr("Reading stopped early: cut.txt:3:22: expected"));
    EXPECT_THAT(summary.toStdString(), HasSubstr("1 warning, the first: cut.txt:2:1: "));
}

TEST_F(AppWindowTest, ArrowKeysNudgeTheCameraAndRenderAgain) {
    auto window = StartWindow();
    // Before a scene is loaded a nudge moves the empty scene's camera, and the hint stays.
    QTest::keyClick(window.get(), Qt::Key_Right);
    EXPECT_EQ(SceneOf(*window).camera.centre.x, 0.01f);
    EXPECT_EQ(window->RendersStarted(), 0u);

    Open(*window, ExampleScene("worked-example.txt"));
    ASSERT_TRUE(WaitForRender(*window));
    const auto first = Words(PictureOf(*window));
    const struct {
        Qt::Key key;
        float Vec4::*axis;
        double sign;
    } presses[] = {{Qt::Key_Left, &Vec4::x, -1},
                   {Qt::Key_Right, &Vec4::x, 1},
                   {Qt::Key_Up, &Vec4::z, -1},
                   {Qt::Key_Down, &Vec4::z, 1}};
    for (const auto& press : presses) {
        Vec4 expected = SceneOf(*window).camera.centre;
        // The float step, added in double.
        expected.*press.axis = static_cast<float>(static_cast<double>(expected.*press.axis) +
                                                  press.sign * static_cast<double>(0.01f));
        const unsigned renders = window->RendersStarted();
        QTest::keyClick(window.get(), press.key);
        EXPECT_EQ(SceneOf(*window).camera.centre, expected) << press.key;
        EXPECT_EQ(window->RendersStarted(), renders + 1);
    }
    QTest::keyClick(window.get(), Qt::Key_A);
    EXPECT_EQ(window->RendersStarted(), 5u);
    QTest::keyClick(window.get(), Qt::Key_Left);
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
    EXPECT_EQ(window->GetDocument().GetPath(), ExampleScene("worked-example.txt"));
    ASSERT_TRUE(WaitForRender(*window));

    imagePath = Path("picture");  // no extension: PNG
    for (QAction* action : window->findChildren<QAction*>()) {
        if (action->text() == "&Save Image...") {
            action->trigger();
        }
    }
    EXPECT_EQ(suggestedImage, QString(LUMIVEX_EXAMPLES_DIR "/worked-example.png"));
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    const QImage saved(Path("picture.png"), "png");
    const PixelBuffer& pixels = PictureOf(*window);
    ASSERT_EQ(saved.size(), QSize(pixels.GetWidth(), pixels.GetHeight()));
    for (std::uint32_t y = 0; y < pixels.GetHeight(); ++y) {
        for (std::uint32_t x = 0; x < pixels.GetWidth(); ++x) {
            ASSERT_EQ(saved.pixel(x, pixels.GetHeight() - 1 - y) & 0xFFFFFF, pixels.Load(x, y));
        }
    }
    for (const char* refused : {"no/such/dir/picture.png", "picture.gif"}) {
        EXPECT_FALSE(window->SaveImage(Path(refused)));
        EXPECT_THAT(errors.last().toStdString(), HasSubstr(refused));
    }
}

TEST_F(AppWindowTest, AboutBoxClosesWithOkAsOneAndEscapeAsTwo) {
    AboutDialog about;
    EXPECT_EQ(about.windowTitle(), "About");
    QStringList texts;
    bool hasIcon = false;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        texts << label->text();
        hasIcon = hasIcon || !label->pixmap().isNull();
    }
    EXPECT_TRUE(texts.contains("Lumivex Version 1.0"));
    EXPECT_TRUE(hasIcon);

    // Through Help, About, as modal boxes: OK, then Escape.
    auto window = StartWindow();
    std::vector<int> results;
    const auto answer = [&](bool ok) {
        QTimer::singleShot(0, [ok] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            if (ok) {
                box->findChild<QPushButton*>()->click();
            } else {
                QTest::keyClick(box, Qt::Key_Escape);
            }
        });
    };
    for (const bool ok : {true, false}) {
        answer(ok);
        results.push_back(StandardDialogs().showAbout(window.get()));
    }
    EXPECT_THAT(results, ElementsAre(1, 2));
    answer(false);
    Trigger(*window, kCommandAbout);  // returns once the box is closed
}

TEST_F(AppWindowTest, ClosingStopsTheRenderAndTearsDown) {
    auto window = StartLongRender(StartWindow(kFullSize));
    ASSERT_TRUE(window->GetSession()->IsRunning());
    Trigger(*window, kCommandExit);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->GetSession()->IsRunning());
    window->Teardown();
    EXPECT_EQ(window->GetSession(), nullptr);
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
