// The desktop app's tests: a window whose dialogs the test answers, and scene files in a scratch
// directory.
#pragma once

#include <memory>
#include <optional>
#include <utility>

#include <QAction>
#include <QTest>

#include "app/main_window.h"
#include "program_support.h"
#include "render_support.h"

namespace lumivex::testing {

inline QString ExampleScene(const char* name) {
    return QString(LUMIVEX_EXAMPLES_DIR "/") + name;
}

// A main window whose dialogs answer from the test: the file chooser returns the queued answers
// in turn (an empty string cancels), and errors are collected.
class AppWindowTest : public ::testing::Test, public ScratchFiles {
  protected:
    // Shown and started; small by default, so that renders take a fraction of a second.
    std::unique_ptr<MainWindow> StartWindow(PictureSize pictureSize = {200, 200},
                                            SceneTextLoader load = LoadSceneText) {
        MainWindowOptions options;
        options.pictureSize = pictureSize;
        options.load = std::move(load);
        options.dialogs.chooseSceneFile = [this](QWidget*, const QString&) {
            ++chooserShown;
            return chosen.isEmpty() ? QString() : chosen.takeFirst();
        };
        options.dialogs.chooseImageFile = [this](QWidget*, const QString& suggestion) {
            suggestedImage = suggestion;
            return imagePaths.isEmpty() ? QString() : imagePaths.takeFirst();
        };
        options.dialogs.chooseSaveTiming = [this](QWidget*) { return saveTiming; };
        options.dialogs.choosePictureSize = [this](QWidget*, PictureSizeChoice, double) {
            return std::exchange(nextPictureSize, std::nullopt);
        };
        options.dialogs.showError = [this](QWidget*, const QString& message) { errors << message; };
        auto window = std::make_unique<MainWindow>(std::move(options));
        window->StartUp();
        return window;
    }

    // The menu item with this text, such as "&Save Image...".
    static QAction* Action(const MainWindow& window, const QString& text) {
        for (QAction* action : window.findChildren<QAction*>()) {
            if (action->text() == text) {
                return action;
            }
        }
        ADD_FAILURE() << "no menu item " << text.toStdString();
        return nullptr;
    }
    // File, Open with the chooser answering `path`, once the file is read.
    void Open(MainWindow& window, const QString& path) {
        chosen << path;
        window.CommandAction(kCommandOpen)->trigger();
        WaitForReading(window);
    }
    static void WaitForReading(const MainWindow& window) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window.IsReading(); }, 60000));
    }
    static bool WaitForRender(const MainWindow& window) {
        return QTest::qWaitFor([&] { return window.IsRenderComplete(); }, 60000);
    }
    static const Scene& SceneOf(const MainWindow& window) {
        return window.GetSession()->GetScene();
    }
    static const PixelBuffer& PictureOf(const MainWindow& window) {
        return *window.GetSession()->GetPixels();
    }

    QStringList chosen;
    int chooserShown = 0;
    QStringList imagePaths;
    QString suggestedImage;
    SaveTiming saveTiming = SaveTiming::Now;
    std::optional<PictureSizeChoice> nextPictureSize;
    QStringList errors;
};

}  // namespace lumivex::testing
