// The main window: its menus and keys, the picture as it renders, and the status bar. The scene
// file is the SceneDocument's business, the render the RenderSession's.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <QMainWindow>
#include <QString>
#include <QTimer>

#include "app/camera_navigator.h"
#include "app/scene_document.h"
#include "app/window_dialogs.h"
#include "io/scene_file.h"
#include "render/render_session.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QSettings;

namespace lumivex {

class PictureView;
class ProblemsPanel;

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
inline constexpr int kRepaintMilliseconds = 66;
inline constexpr int kRecentFiles = 10;

struct MainWindowOptions {
    PictureSize pictureSize{640, 640};  // in device pixels, unless settings remember another
    Dialogs dialogs = StandardDialogs();
    SceneTextLoader load = LoadSceneText;
    // Where choices are remembered between runs; null remembers nothing.
    QSettings* settings = nullptr;
    // Where the first File, Open starts.
    QString examplesDirectory;
};

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit MainWindow(MainWindowOptions options = {});
    ~MainWindow() override;

    // Shows the window, sized to hold the picture, and creates the picture (white, with the
    // hint); from then on the picture is repainted every 66 ms and keys are handled. Throws
    // std::bad_alloc when the picture cannot be allocated.
    void StartUp();
    // Stops the render and any reading, then releases the scene and the picture.
    void Teardown();

    // File, Open with `path` chosen: reads, loads and indexes the file in the background, then
    // stops the render and renders the new scene. A file that cannot be read is reported and
    // changes nothing.
    void OpenSceneFile(const QString& path);
    // File, Reload: the current scene file read again and rendered.
    void Reload();
    // Render, Stop: the threads stop; what is drawn stays.
    void StopRender();
    // Saves the picture as it is now (rows not yet rendered white), in the format that the file
    // name's extension names.
    bool SaveImage(const QString& path);
    // Render, Picture Size: the next renders are `size`; renders again when a scene is shown.
    void SetPictureSize(PictureSize size);

    // Read-only views for tests and scripts.
    bool IsReady() const { return ready; }
    bool IsReading() const { return document.IsReading(); }
    // The render session: from StartUp to Teardown, else null.
    const RenderSession* GetSession() const { return session.get(); }
    const SceneDocument& GetDocument() const { return document; }
    // How many renders have started so far, and whether the latest one drew every band.
    unsigned RendersStarted() const { return renderSerial; }
    bool IsRenderComplete() const { return renderSerial != 0 && renderSeconds.has_value(); }
    PictureView* GetView() const { return view; }
    ProblemsPanel* GetProblems() const { return problems; }
    // The menu item with a command id, or null.
    QAction* CommandAction(int id) const;

  signals:
    // Every band of the latest render is done.
    void RenderFinished(double seconds);
    // Render, Stop stopped a render that had drawn `percent` of its rows.
    void RenderStopped(int percent);
    // A read started with OpenSceneFile, Reload or the watch has ended, loaded or not.
    void ReadingFinished(bool loaded);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private slots:
    // Takes the reports the rendering threads queued; they post a call to it for each one.
    void TakeBandReports();

  private:
    struct BandReport {
        unsigned serial;
        double seconds;  // negative for the end of the preview
    };

    void CreateMenus();
    void CreateStatusBar();
    void RestoreSettings();
    void SaveSettings() const;
    // The one place that enables and disables the commands, from the window's state.
    void UpdateActions();
    void UpdateRecentMenu();
    void UpdateSceneStatus();
    void WriteHint();
    void FitWindowToPicture();
    void ChooseAndOpen();
    void ChooseAndSave();
    void ChoosePictureSize();
    void StartReading(const QString& path, ReadCause cause);
    void TakeReading(const std::shared_ptr<LoadedScene>& loaded, ReadCause cause);
    void StartRender(bool previewOnly = false);
    void MoveCamera(const Camera& camera, bool previewOnly = false);
    void NudgeCamera(int axis, double steps);
    void Orbit(QPointF delta);
    void Pan(QPointF delta);
    void Dolly(int steps);
    void FinishDrag();
    bool CanNavigate() const;
    void ResetCamera();
    void CopyCamera();
    AntialiasMode CheckedMode() const;
    void UpdateProgress();
    void ReportError(const QString& message);
    void RememberRecent(const QString& path);

    MainWindowOptions options;
    bool ready = false;

    PictureView* view = nullptr;
    ProblemsPanel* problems = nullptr;
    QAction* openAction = nullptr;
    QMenu* recentMenu = nullptr;
    QAction* reloadAction = nullptr;
    QAction* saveAction = nullptr;
    QAction* watchAction = nullptr;
    QAction* exitAction = nullptr;
    QAction* copyCameraAction = nullptr;
    QAction* resetCameraAction = nullptr;
    QAction* stopAction = nullptr;
    QAction* previewAction = nullptr;
    QAction* pictureSizeAction = nullptr;
    QAction* stochasticAction = nullptr;
    QActionGroup* antialiasGroup = nullptr;
    QAction* aboutAction = nullptr;
    QPushButton* problemSummary = nullptr;
    QLabel* fileLabel = nullptr;
    QLabel* pictureLabel = nullptr;
    QLabel* cameraLabel = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* progressLabel = nullptr;
    QTimer repaintTimer;

    SceneDocument document;
    std::unique_ptr<RenderSession> session;
    PictureSizeChoice pictureChoice;
    QStringList recentFiles;
    QString lastDirectory;
    Camera fileCamera;  // the camera the scene file gives, for View, Reset Camera
    CameraNavigator navigator;
    bool saveWhenFinished = false;
    QString pendingSavePath;
    unsigned renderSerial = 0;  // counts renders; reports from earlier ones are dropped
    unsigned bandsDone = 0;
    std::optional<double> renderSeconds;  // the whole picture's, once every band is done

    std::mutex reportsMutex;
    std::vector<BandReport> reports;  // from the rendering threads, guarded by reportsMutex
};

}  // namespace lumivex
