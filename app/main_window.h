// The main window: menus, the picture the workers render into, loading scene files and
// starting and stopping renders.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QMainWindow>
#include <QSize>
#include <QString>
#include <QTimer>

#include "app/scene_file_watch.h"
#include "io/scene_file.h"
#include "render/band_dispatch.h"
#include "render/pixel_buffer.h"
#include "render/render_context.h"
#include "render/scene_index.h"
#include "scene/scene.h"
#include "scene/scene_loader.h"

class QAction;
class QActionGroup;
class QLabel;

namespace lumivex {

class PictureView;

// Command ids of the menu items, kept as each QAction's data.
enum CommandId : int {
    kCommandAbout = 104,
    kCommandExit = 105,
    kCommandOpen = 32771,
    kCommandStochastic = 32772,
    kCommandAntialiasOff = 32773,
    kCommandJittered = 32774,
    kCommandMonteCarlo = 32775,
};

inline constexpr char kStartHint[] = "Select a scene from File->Open";
inline constexpr char kSceneFileFilters[] = "text files (*.txt);;all files (*)";
inline constexpr int kRepaintMilliseconds = 66;
// The arrow keys move the camera by this much, added in double precision.
inline constexpr float kCameraStep = 0.01f;

// What the window asks of the person through modal dialogs; tests put their own in.
struct Dialogs {
    // The scene file to open, or an empty string when the chooser was cancelled.
    std::function<QString(QWidget* parent)> chooseSceneFile;
    // Where to save the picture, starting from `suggestion`; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& suggestion)> chooseImageFile;
    // An error that stopped a command.
    std::function<void(QWidget* parent, const QString& message)> showError;
    // The About box, returning its result.
    std::function<int(QWidget* parent)> showAbout;
};

// The file chooser, message box and About box.
Dialogs StandardDialogs();

struct MainWindowOptions {
    QSize outerSize{640, 640};  // the window with its frame, menu bar and status bar
    Dialogs dialogs = StandardDialogs();
    SceneTextLoader load = LoadSceneText;
};

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit MainWindow(MainWindowOptions options = {});
    ~MainWindow() override;

    // Shows the window and creates the picture (white, with the hint), the empty scene and the
    // render context; from then on the picture is repainted every 66 ms and keys are handled.
    // Throws std::bad_alloc when the picture cannot be allocated.
    void StartUp();
    // Stops the workers, then releases the scene, the render context and the picture.
    void Teardown();

    // File, Open with `path` chosen: reads the file, stops the render, loads the scene and
    // renders it. A file that cannot be read is reported and changes nothing. Returns whether
    // the scene was loaded.
    bool OpenSceneFile(const QString& path);
    // File, Reload: the current scene file read again and rendered.
    bool Reload();
    // Saves the picture as it is now, in the format that the file name's extension names.
    bool SaveImage(const QString& path);

    // Read-only views for tests and the status bar.
    bool Ready() const { return ready; }
    const PixelBuffer* Pixels() const { return pixels.get(); }
    const Scene* CurrentScene() const { return scene.get(); }
    const RenderContext* Context() const { return context.get(); }
    const RenderDispatcher& Dispatcher() const { return dispatcher; }
    // The request of the latest render, and how many renders have started so far.
    const std::optional<RenderRequest>& LastRequest() const { return lastRequest; }
    unsigned RendersStarted() const { return renderSerial; }
    bool RenderDone() const { return renderSerial != 0 && bandsDone == lastRequest->bands; }
    QString SceneFile() const { return sceneFile; }
    PictureView* View() const { return view; }
    // The menu item with a command id, or null.
    QAction* CommandAction(int id) const;

  signals:
    // Every band of the latest render is done.
    void RenderFinished(double seconds);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private slots:
    // Takes the band reports the workers queued; they post a call to it for each one.
    void TakeBandReports();

  private:
    struct BandReport {
        unsigned serial;
        double seconds;
        std::chrono::steady_clock::time_point finishedAt;
    };
    enum class ReadCause { Chosen, Watch };

    void CreateMenus();
    void CreateStatusBar();
    void WriteHint();
    void ChooseAndOpen();
    void ChooseAndSave();
    void ShowAbout();
    bool ReadAndLoad(const QString& path, ReadCause cause);
    bool LoadAndRender(const QString& path, std::string text);
    void StartRender();
    void NudgeCamera(float Vec4::*axis, double direction);
    AntialiasMode CheckedMode() const;
    void ShowLoadProblems(const QString& path, const SceneLoadResult& result);
    void UpdateProgress();
    void ReportError(const QString& message);
    void WatchSceneFile();

    MainWindowOptions options;
    bool ready = false;

    PictureView* view = nullptr;
    QAction* stochasticAction = nullptr;
    QAction* watchAction = nullptr;
    QActionGroup* antialiasGroup = nullptr;
    QLabel* progressLabel = nullptr;
    QLabel* sceneLabel = nullptr;
    QTimer repaintTimer;
    SceneFileWatch watch;

    // Created by StartUp, released by Teardown in this order: scene, context, picture.
    std::unique_ptr<PixelBuffer> pixels;
    std::unique_ptr<Scene> scene;
    std::unique_ptr<RenderContext> context;
    std::unique_ptr<SceneIndex> index;  // over the scene's objects, rebuilt with every load
    RenderDispatcher dispatcher;

    QString sceneFile;           // absolute path of the loaded scene file; empty before a load
    QByteArray sceneFileDigest;  // of the bytes last loaded, to skip reloading the same file
    std::optional<RenderRequest> lastRequest;
    unsigned renderSerial = 0;  // counts renders; reports from earlier ones are dropped
    unsigned bandsDone = 0;
    std::chrono::steady_clock::time_point renderStart;
    std::optional<double> renderSeconds;  // the whole picture's, once every band is done

    std::mutex reportsMutex;
    std::vector<BandReport> reports;  // from the workers, guarded by reportsMutex
};

}  // namespace lumivex
