// Shared helpers for the desktop app's tests: a window whose dialogs the test answers, scene
// files in a scratch directory, and reference pictures rendered without the window.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/main_window.h"
#include "io/scene_file.h"
#include "render/band_dispatch.h"

namespace lumivex::testing {

inline QString ExampleScene(const char* name) {
    return QString(LUMIVEX_EXAMPLES_DIR "/") + name;
}

inline std::string ExampleText(const char* name) {
    return *ReadSceneFile(ExampleScene(name)).bytes;
}

// Every word of a buffer, row 0 first.
inline std::vector<std::uint32_t> Words(const PixelBuffer& pixels) {
    std::vector<std::uint32_t> words(static_cast<std::size_t>(pixels.Width()) * pixels.Height());
    for (std::uint32_t y = 0; y < pixels.Height(); ++y) {
        pixels.LoadRow(y, words.data() + static_cast<std::size_t>(y) * pixels.Width());
    }
    return words;
}

// The picture a complete render of `text` gives, rendered straight through the core library.
inline std::vector<std::uint32_t> ReferencePicture(const std::string& text,
                                                   const RenderRequest& request,
                                                   bool stochastic = false) {
    const SceneLoadResult loaded = LoadSceneText(text);
    PixelBuffer pixels(request.width, request.height);
    RenderContext context;
    context.stochastic.store(stochastic);
    context.pixels = &pixels;
    context.scene = loaded.scene.get();
    RenderDispatcher dispatcher;
    dispatcher.Start(context, request);
    dispatcher.Wait();
    return Words(pixels);
}

// A main window whose dialogs answer from the test: the file chooser returns the queued
// answers in turn (an empty string cancels), and errors are collected.
class AppWindowTest : public ::testing::Test {
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

    std::unique_ptr<MainWindow> StartWindow(MainWindowOptions options) {
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
        return QTest::qWaitFor([&] { return window.RenderDone(); }, milliseconds);
    }

    QString WriteScene(const QString& name, const std::string& text) {
        const QString path = directory.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.data(), static_cast<qint64>(text.size()));
        return path;
    }

    QTemporaryDir directory;
    std::deque<QString> chosen;
    int chooserShown = 0;
    QString imagePath;
    QString suggestedImage;
    QStringList errors;
};

}  // namespace lumivex::testing
