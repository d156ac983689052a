// The main window: its menus and keys, the picture as it renders, and the status bar. The scene
// file is the SceneDocument's business, the render the RenderSession's.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <QMainWindow>
#include <QSize>
#include <QString>
#include <QTimer>

#include "app/scene_document.h"
#include "io/scene_file.h"
#include "render/render_session.h"

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

    // Shows the window and creates the picture (white, with the hint); from then on the picture
    // is repainted every 66 ms and keys are handled. Throws std::bad_alloc when the picture
    // cannot be allocated.
    void StartUp();
    // Stops the render, then releases the scene, the render context and the picture.
    void Teardown();

    // File, Open with `path` chosen: reads the file, stops the render, loads the scene and
    // renders it. A file that cannot be read is reported and changes nothing. Returns whether
    // the scene was loaded.
    bool OpenSceneFile(const QString& path);
    // File, Reload: the current scene file read again and rendered.
    bool Reload();
    // Saves the picture as it is now, in the format that the file name's extension names.
    bool SaveImage(const QString& path);

    // Read-only views for tests and scripts.
    bool IsReady() const { return ready; }
    // The render session: from StartUp to Teardown, else null.
    const RenderSession* GetSession() const { return session.get(); }
    const SceneDocument& GetDocument() const { return document; }
    // How many renders have started so far, and whether the latest one drew every band.
    unsigned RendersStarted() const { return renderSerial; }
    bool IsRenderComplete() const { return renderSerial != 0 && renderSeconds.has_value(); }
    PictureView* GetView() const { return view; }
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
    // Takes the band reports the rendering threads queued; they post a call to it for each one.
    void TakeBandReports();

  private:
    struct BandReport {
        unsigned serial;
        double seconds;
    };
    enum class ReadCause { Chosen, Watch };

    void CreateMenus();
    void CreateStatusBar();
    // The one place that enables and disables the commands, from the window's state.
    void UpdateActions();
    void WriteHint();
    void ChooseAndOpen();
    void ChooseAndSave();
    bool ReadAndLoad(const QString& path, ReadCause cause);
    void StartRender();
    void NudgeCamera(float Vec4::*axis, double direction);
    AntialiasMode CheckedMode() const;
    void UpdateProgress();
    void ReportError(const QString& message);

    MainWindowOptions options;
    bool ready = false;

    PictureView* view = nullptr;
    QAction* openAction = nullptr;
    QAction* reloadAction = nullptr;
    QAction* saveAction = nullptr;
    QAction* watchAction = nullptr;
    QAction* exitAction = nullptr;
    QAction* stochasticAction = nullptr;
    QActionGroup* antialiasGroup = nullptr;
    QAction* aboutAction = nullptr;
    QLabel* progressLabel = nullptr;
    QLabel* sceneLabel = nullptr;
    QTimer repaintTimer;

    SceneDocument document;
    std::unique_ptr<RenderSession> session;
    unsigned renderSerial = 0;  // counts renders; reports from earlier ones are dropped
    unsigned bandsDone = 0;
    std::optional<double> renderSeconds;  // the whole picture's, once every band is done

    std::mutex reportsMutex;
    std::vector<BandReport> reports;  // from the rendering threads, guarded by reportsMutex
};

}  // namespace lumivex
