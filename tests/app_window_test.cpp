// The main window: start-up, menus, loading and rendering, the arrow keys, saving, About and
// closing, driven as a person would through the menus, with the dialogs answered by the test.
#include <cmath>
#include <new>
#include <stdexcept>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
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

bool IsDark(std::uint32_t word) {
    return (word & 0xFF) < 0x80 && (word >> 8 & 0xFF) < 0x80 && (word >> 16 & 0xFF) < 0x80;
}

// Starts a long render of the showcase in a full-size window.
std::unique_ptr<MainWindow> StartLongRender(std::unique_ptr<MainWindow> window) {
    window->CommandAction(kCommandMonteCarlo)->trigger();
    window->OpenSceneFile(ExampleScene("showcase.txt"));
    return window;
}

TEST_F(AppWindowTest, StartsWithTheTitleAWhitePictureAndTheHint) {
    auto window = StartWindow(kFullSize);
    EXPECT_EQ(window->windowTitle(), "Lumivex");
    EXPECT_EQ(window->frameGeometry().size(), kFullSize);  // no frame offscreen

    // The picture has the drawing area's size in device pixels.
    const PixelBuffer& pixels = *window->Pixels();
    const qreal ratio = window->View()->devicePixelRatioF();
    EXPECT_EQ(pixels.Width(), std::lround(window->View()->width() * ratio));
    EXPECT_EQ(pixels.Height(), std::lround(window->View()->height() * ratio));
    ASSERT_GT(pixels.Height(), 100u);

    // The hint is in the top rows (the buffer's last ones), from x = 2 on; everything else
    // is still white, every byte 0xFF.
    const QFontMetrics metrics(window->View()->font());
    const auto textWidth =
        static_cast<std::uint32_t>(std::ceil((2 + metrics.horizontalAdvance(kStartHint)) * ratio));
    const auto textHeight = static_cast<std::uint32_t>(std::ceil(metrics.height() * ratio));
    int dark = 0;
    for (std::uint32_t y = 0; y < pixels.Height(); ++y) {
        for (std::uint32_t x = 0; x < pixels.Width(); ++x) {
            const std::uint32_t word = pixels.Load(x, y);
            const bool inText = y >= pixels.Height() - textHeight && x >= 2 && x < textWidth;
            if (!inText) {
                ASSERT_EQ(word, PixelBuffer::kWhite) << x << ", " << y;
            } else if (IsDark(word)) {
                ++dark;
            }
        }
    }
    EXPECT_GT(dark, 100);

    // The scene is empty, the render context points at it and the picture, Stochastic is off,
    // and nothing renders.
    EXPECT_TRUE(window->CurrentScene()->objects.empty());
    EXPECT_EQ(window->Context()->scene, window->CurrentScene());
    EXPECT_EQ(window->Context()->pixels, window->Pixels());
    EXPECT_FALSE(window->Context()->stochastic.load());
    EXPECT_EQ(window->RendersStarted(), 0u);
}

TEST_F(AppWindowTest, ShowsThePictureUnscaledTopRowFirst) {
    auto window = StartWindow();
    window->OpenSceneFile(ExampleScene("worked-example.txt"));
    ASSERT_TRUE(WaitForRender(*window));
    const PixelBuffer& pixels = *window->Pixels();
    const QImage shown = window->View()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.width(), static_cast<int>(pixels.Width()));
    for (std::uint32_t y = 0; y < pixels.Height(); ++y) {
        for (std::uint32_t x = 0; x < pixels.Width(); ++x) {
            ASSERT_EQ(shown.pixel(x, pixels.Height() - 1 - y) & 0xFFFFFF, pixels.Load(x, y))
                << x << ", " << y;
        }
    }
}

TEST_F(AppWindowTest, IgnoresKeysAndShowsNothingBeforeStartUp) {
    MainWindow window(Options());
    QTest::keyClick(&window, Qt::Key_Left);
    EXPECT_EQ(window.Pixels(), nullptr);
    EXPECT_EQ(window.CurrentScene(), nullptr);
    window.CommandAction(kCommandOpen)->trigger();
    EXPECT_EQ(chooserShown, 0);
}

TEST_F(AppWindowTest, HasTheMenusWithTheirIdsShortcutsAndChecks) {
    auto window = StartWindow();
    struct Item {
        QString text;
        int id;
        QString shortcut;
        bool checkable;
        bool checked;
        bool operator==(const Item&) const = default;
    };
    const auto items = [](QMenu* menu) {
        std::vector<Item> result;
        for (const QAction* action : menu->actions()) {
            result.push_back({action->isSeparator() ? "-" : action->text(), action->data().toInt(),
                              action->shortcut().toString(), action->isCheckable(),
                              action->isChecked()});
        }
        return result;
    };
    const QList<QAction*> menus = window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Render");
    EXPECT_EQ(menus[2]->text(), "&Help");
    EXPECT_THAT(
        items(menus[0]->menu()),
        ElementsAre(Item{"&Open", 32771, "Ctrl+O", false, false},
                    Item{"&Reload", 0, "F5", false, false},
                    Item{"&Save Image...", 0, "Ctrl+S", false, false},
                    Item{"-", 0, "", false, false}, Item{"Reload on &Change", 0, "", true, true},
                    Item{"-", 0, "", false, false}, Item{"E&xit", 105, "Ctrl+Q", false, false}));
    EXPECT_THAT(
        items(menus[1]->menu()),
        ElementsAre(Item{"&Stochastic", 32772, "", true, false}, Item{"-", 0, "", false, false},
                    Item{"Antialiasing &Off", 32773, "", true, true},
                    Item{"&Jittered", 32774, "", true, false},
                    Item{"&Monte-Carlo", 32775, "", true, false}));
    EXPECT_THAT(items(menus[2]->menu()), ElementsAre(Item{"&About ...", 104, "F1", false, false}));
}

TEST_F(AppWindowTest, StochasticTogglesTheLiveFlag) {
    auto window = StartWindow();
    QAction* stochastic = window->CommandAction(kCommandStochastic);
    stochastic->trigger();
    EXPECT_TRUE(stochastic->isChecked());
    EXPECT_TRUE(window->Context()->stochastic.load());
    stochastic->trigger();
    EXPECT_FALSE(stochastic->isChecked());
    EXPECT_FALSE(window->Context()->stochastic.load());
}

TEST_F(AppWindowTest, AntialiasingChoiceWaitsForTheNextLoad) {
    auto window = StartWindow();
    const std::string text = ExampleText("worked-example.txt");
    Open(*window, ExampleScene("worked-example.txt"));
    Trigger(*window, kCommandJittered);
    ASSERT_FALSE(window->RenderDone());
    EXPECT_TRUE(window->CommandAction(kCommandJittered)->isChecked());
    EXPECT_FALSE(window->CommandAction(kCommandAntialiasOff)->isChecked());
    EXPECT_EQ(window->LastRequest()->mode, AntialiasMode::Off);
    ASSERT_TRUE(WaitForRender(*window));
    // The render went on as it started: its picture is the one-ray-per-pixel one.
    const RenderRequest request = *window->LastRequest();
    EXPECT_EQ(request.bands, DefaultWorkerCount());
    EXPECT_EQ(Words(*window->Pixels()), ReferencePicture(text, request));

    Open(*window, ExampleScene("worked-example.txt"));
    EXPECT_EQ(window->LastRequest()->mode, AntialiasMode::Jittered);
    EXPECT_EQ(window->RendersStarted(), 2u);
}

TEST_F(AppWindowTest, LoadingSetsTheReadTimeThenEachBandTheRenderTime) {
    auto window = StartWindow();
    QSignalSpy finished(window.get(), &MainWindow::RenderFinished);
    Open(*window, ExampleScene("worked-example.txt"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(window->CurrentScene()->objects.size(), 5u);
    EXPECT_EQ(window->CurrentScene()->lights.size(), 1u);
    EXPECT_TRUE(QRegularExpression(R"(^Lumivex Read Time: \d[\d.e+-]*$)")
                    .match(window->windowTitle())
                    .hasMatch())
        << window->windowTitle().toStdString();

    ASSERT_TRUE(WaitForRender(*window));
    const QRegularExpressionMatch match =
        QRegularExpression(R"(^Lumivex Render Time: (\S+) \((\S+) fps\)$)")
            .match(window->windowTitle());
    ASSERT_TRUE(match.hasMatch()) << window->windowTitle().toStdString();
    EXPECT_GT(match.captured(1).toDouble(), 0.0);
    EXPECT_NEAR(match.captured(2).toDouble() * match.captured(1).toDouble(), 1.0, 1e-4);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_THAT(window->statusBar()->findChild<QLabel*>("renderStatus")->text().toStdString(),
                HasSubstr("Rendered in"));
}

TEST_F(AppWindowTest, LoadingDuringARenderStopsItBeforeTheSceneIsReplaced) {
    MainWindowOptions options = Options(kFullSize);
    const MainWindow* observed = nullptr;
    std::vector<bool> stoppedWhenLoading;
    options.load = [&](std::string text, const std::atomic<bool>*) {
        stoppedWhenLoading.push_back(observed->Dispatcher().Finished());
        return LoadSceneText(std::move(text));
    };
    auto window = StartWindow(std::move(options));
    observed = window.get();
    // Its first rows are empty background, quick to render even under ThreadSanitizer.
    window->OpenSceneFile(ExampleScene("worked-example.txt"));
    const RenderDispatcher& dispatcher = window->Dispatcher();
    const std::vector<Band> bands = dispatcher.Bands();
    constexpr std::uint32_t kRowsDone = 12;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (unsigned band = 0; band < bands.size(); ++band) {
                if (dispatcher.RowsFinished(band) < kRowsDone) {
                    return false;
                }
            }
            return true;
        },
        120000));
    ASSERT_FALSE(dispatcher.Finished());
    const std::vector<std::uint32_t> before = Words(*window->Pixels());

    // The new render is slow (sixteen rays a pixel on the floor at the bottom of each band),
    // so it has only begun when Open returns.
    Trigger(*window, kCommandMonteCarlo);
    Open(*window, ExampleScene("showcase.txt"));
    EXPECT_THAT(stoppedWhenLoading, ElementsAre(true, true));
    EXPECT_EQ(window->RendersStarted(), 2u);
    EXPECT_EQ(window->LastRequest()->mode, AntialiasMode::MonteCarlo);
    EXPECT_FALSE(dispatcher.Finished());
    ASSERT_EQ(dispatcher.Bands(), bands);

    // It starts over the old picture: past the markers on its first rows, the rows the old
    // render had finished are still there.
    const std::vector<std::uint32_t> after = Words(*window->Pixels());
    const std::uint32_t width = window->Pixels()->Width();
    for (const Band& band : bands) {
        bool rendered = false;
        for (std::uint32_t y = band.y0 + 4; y < band.y0 + kRowsDone; ++y) {
            for (std::uint32_t x = 0; x < width; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * width + x;
                ASSERT_EQ(after[i], before[i]) << x << ", " << y;
                rendered = rendered || after[i] != PixelBuffer::kWhite;
            }
        }
        EXPECT_TRUE(rendered) << band.y0;
    }
}

TEST_F(AppWindowTest, CancellingOrAnUnreadableFileChangesNothing) {
    auto window = StartLongRender(StartWindow(kFullSize));
    const QString title = window->windowTitle();
    const std::size_t objects = window->CurrentScene()->objects.size();

    QFile picture(directory.filePath("picture.png"));
    ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
    picture.write(QByteArray("\x89PNG\r\n\x1a\n\0\0", 10));
    picture.close();
    chosen = {"", directory.filePath("missing.txt"), directory.path(), picture.fileName()};
    for (int attempt = 0; attempt < 4; ++attempt) {
        Trigger(*window, kCommandOpen);
        EXPECT_FALSE(window->Dispatcher().Finished()) << attempt;
    }
    EXPECT_EQ(chooserShown, 4);
    ASSERT_EQ(errors.size(), 3);
    EXPECT_THAT(errors[0].toStdString(),
                HasSubstr(directory.filePath("missing.txt").toStdString()));
    EXPECT_THAT(errors[0].toStdString(), HasSubstr("No such file"));
    EXPECT_THAT(errors[1].toStdString(), HasSubstr("is a directory"));
    EXPECT_THAT(errors[2].toStdString(), HasSubstr("not a scene file (a NUL byte at offset 8"));
    EXPECT_EQ(window->windowTitle(), title);
    EXPECT_EQ(window->CurrentScene()->objects.size(), objects);
    EXPECT_EQ(window->RendersStarted(), 1u);
    EXPECT_EQ(window->SceneFile(), ExampleScene("showcase.txt"));
    // The render goes on.
    const std::uint64_t rows = window->Dispatcher().RowsFinished();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->Dispatcher().RowsFinished() > rows; }, 60000));
}

TEST_F(AppWindowTest, AFailedLoadKeepsThePreviousScene) {
    MainWindowOptions options = Options();
    bool fail = false;
    options.load = [&](std::string text, const std::atomic<bool>*) {
        if (fail) {
            throw std::bad_alloc();
        }
        return LoadSceneText(std::move(text));
    };
    auto window = StartWindow(std::move(options));
    Open(*window, ExampleScene("worked-example.txt"));
    fail = true;
    Open(*window, ExampleScene("showcase.txt"));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_THAT(errors[0].toStdString(), HasSubstr("out of memory"));
    EXPECT_THAT(errors[0].toStdString(), HasSubstr("showcase.txt"));
    EXPECT_EQ(window->CurrentScene()->objects.size(), 5u);
    EXPECT_EQ(window->SceneFile(), ExampleScene("worked-example.txt"));
}

TEST_F(AppWindowTest, ShowsWhereReadingStoppedInTheStatusBar) {
    auto window = StartWindow();
    Open(*window, WriteScene("cut.txt", "AMBIENT (1,1,1)\nSPHERE (0,0,0) 2 (1,0\n"));
    EXPECT_EQ(window->CurrentScene()->objects.size(), 1u);  // what was read is rendered
    EXPECT_THAT(window->statusBar()->findChild<QLabel*>("sceneStatus")->text().toStdString(),
                HasSubstr("cut.txt:2:22: expected"));
}

TEST_F(AppWindowTest, ArrowKeysNudgeTheCameraAndRenderAgain) {
    auto window = StartWindow();
    // Before a scene is loaded a nudge moves the empty scene's camera, and the hint stays.
    const Vec4 initial = window->CurrentScene()->camera.centre;
    QTest::keyClick(window.get(), Qt::Key_Right);
    EXPECT_EQ(window->CurrentScene()->camera.centre.x,
              static_cast<float>(static_cast<double>(initial.x) + static_cast<double>(0.01f)));
    EXPECT_EQ(window->RendersStarted(), 0u);

    Open(*window, ExampleScene("worked-example.txt"));
    ASSERT_TRUE(WaitForRender(*window));
    const std::vector<std::uint32_t> first = Words(*window->Pixels());
    const Vec4 loaded = window->CurrentScene()->camera.centre;
    const double step = static_cast<double>(0.01f);
    const auto moved = [](float value, double delta) {
        return static_cast<float>(static_cast<double>(value) + delta);
    };
    struct Press {
        Qt::Key key;
        Vec4 expected;
    };
    Vec4 expected = loaded;
    expected.x = moved(expected.x, -step);
    const Press left{Qt::Key_Left, expected};
    expected.x = moved(expected.x, step);
    const Press right{Qt::Key_Right, expected};
    expected.z = moved(expected.z, -step);
    const Press up{Qt::Key_Up, expected};
    expected.z = moved(expected.z, step);
    const Press down{Qt::Key_Down, expected};
    unsigned renders = window->RendersStarted();
    for (const Press& press : {left, right, up, down}) {
        QTest::keyClick(window.get(), press.key);
        const Vec4& centre = window->CurrentScene()->camera.centre;
        EXPECT_EQ(centre.x, press.expected.x) << press.key;
        EXPECT_EQ(centre.y, loaded.y) << press.key;
        EXPECT_EQ(centre.z, press.expected.z) << press.key;
        EXPECT_EQ(window->RendersStarted(), ++renders) << press.key;
        EXPECT_EQ(window->LastRequest()->mode, AntialiasMode::Off);
    }
    QTest::keyClick(window.get(), Qt::Key_A);
    EXPECT_EQ(window->RendersStarted(), renders);

    // The picture is that of the moved camera.
    QTest::keyClick(window.get(), Qt::Key_Left);
    ASSERT_TRUE(WaitForRender(*window));
    EXPECT_NE(Words(*window->Pixels()), first);
}

TEST_F(AppWindowTest, SavesThePictureAsItIs) {
    auto window = StartWindow();
    Open(*window, ExampleScene("worked-example.txt"));
    ASSERT_TRUE(WaitForRender(*window));
    imagePath = directory.filePath("picture");  // no extension: PNG
    for (QAction* action : window->menuBar()->actions().first()->menu()->actions()) {
        if (action->text() == "&Save Image...") {
            action->trigger();
        }
    }
    EXPECT_EQ(suggestedImage, QString(LUMIVEX_EXAMPLES_DIR "/worked-example.png"));
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    const QImage saved(directory.filePath("picture.png"), "png");
    const PixelBuffer& pixels = *window->Pixels();
    ASSERT_EQ(saved.size(), QSize(pixels.Width(), pixels.Height()));
    for (std::uint32_t y = 0; y < pixels.Height(); ++y) {
        for (std::uint32_t x = 0; x < pixels.Width(); ++x) {
            ASSERT_EQ(saved.pixel(x, pixels.Height() - 1 - y) & 0xFFFFFF, pixels.Load(x, y));
        }
    }

    EXPECT_FALSE(window->SaveImage(directory.filePath("no/such/dir/picture.png")));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_THAT(errors[0].toStdString(), HasSubstr("no/such/dir/picture.png"));
}

TEST_F(AppWindowTest, OpensADroppedFile) {
    auto window = StartWindow();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(ExampleScene("worked-example.txt"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(window->SceneFile(), ExampleScene("worked-example.txt"));
    EXPECT_EQ(window->RendersStarted(), 1u);
}

TEST_F(AppWindowTest, AboutBoxClosesWithOkAsOneAndEscapeAsTwo) {
    AboutDialog about;
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_FALSE(about.windowIcon().isNull());
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

TEST_F(AppWindowTest, ClosingStopsTheWorkersAndTearsDown) {
    auto window = StartLongRender(StartWindow(kFullSize));
    ASSERT_FALSE(window->Dispatcher().Finished());
    Trigger(*window, kCommandExit);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->Dispatcher().Finished());
    window->Teardown();
    EXPECT_EQ(window->CurrentScene(), nullptr);
    EXPECT_EQ(window->Context(), nullptr);
    EXPECT_EQ(window->Pixels(), nullptr);
}

TEST(AppProgram, RunsUntilTheWindowClosesAndReturnsZero) {
    bool stopped = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<MainWindow*>(widget);
            if (window != nullptr && window->isVisible() && window->RendersStarted() == 1 &&
                window->Dispatcher().RowsFinished() > 0) {
                window->close();
                stopped = window->Dispatcher().Finished();
            }
        }
    });
    poll.start(10);
    EXPECT_EQ(RunMainWindow({"lumivex", ExampleScene("showcase.txt")}), 0);
    EXPECT_TRUE(stopped);
}

}  // namespace
}  // namespace lumivex::testing
