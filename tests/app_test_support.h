// The desktop app's tests: a window whose dialogs the test answers, and scene files in a scratch
// directory.
#pragma once

#include <deque>
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
    // A small window by default, so that renders take a fraction of a second.
    MainWindowOptions Options(QSize outerSize = {200, 200}) {
        MainWindowOptions options;
        options.outerSize = outerSize;
        options.dialogs.chooseSceneFile = [this](QWidget*) {
            ++chooserShown;
            if (chosen.empty()) {
                return QString();
            }
            QString path = chosen.front();
            chosen.pop_front();
            return path;
        };
        options.dialogs.chooseImageFile = [this](QWidget*, const QString& suggestion) {
            suggestedImage = suggestion;
            return imagePath;
        };
        options.dialogs.showError = [this](QWidget*, const QString& message) { errors << message; };
        options.dialogs.showAbout = StandardDialogs().showAbout;
        return options;
    }

    static std::unique_ptr<MainWindow> StartWindow(MainWindowOptions options) {
        auto window = std::make_unique<MainWindow>(std::move(options));
        window->StartUp();
        return window;
    }
    std::unique_ptr<MainWindow> StartWindow(QSize outerSize = {200, 200}) {
        return StartWindow(Options(outerSize));
    }

    static void Trigger(MainWindow& window, int id) {
        QAction* action = window.CommandAction(id);
        ASSERT_NE(action, nullptr) << id;
        action->trigger();
    }
    // File, Open with the chooser answering `path`.
    void Open(MainWindow& window, const QString& path) {
        chosen.push_back(path);
        Trigger(window, kCommandOpen);
    }
    static bool WaitForRender(const MainWindow& window, int milliseconds = 60000) {
        return QTest::qWaitFor([&] { return window.IsRenderComplete(); }, milliseconds);
    }
    static const Scene& SceneOf(const MainWindow& window) {
        return window.GetSession()->GetScene();
    }
    static const PixelBuffer& PictureOf(const MainWindow& window) {
        return *window.GetSession()->GetPixels();
    }

    std::deque<QString> chosen;
    int chooserShown = 0;
    QString imagePath;
    QString suggestedImage;
    QStringList errors;
};

}  // namespace lumivex::testing
