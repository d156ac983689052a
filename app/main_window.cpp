#include "app/main_window.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QWindow>

#include "app/app_icon.h"
#include "app/picture_view.h"
#include "app/problems_panel.h"
#include "app/title_text.h"
#include "io/picture_file.h"
#include "render/camera_moves.h"

namespace lumivex {

namespace {

QString ModeName(AntialiasMode mode) {
    switch (mode) {
        case AntialiasMode::Jittered:
            return "jittered";
        case AntialiasMode::MonteCarlo:
            return "Monte-Carlo";
        case AntialiasMode::Off:
            break;
    }
    return "AA off";
}

QString Seconds(double seconds) {
    return seconds < 10    ? QString::number(seconds, 'f', 1) + " s"
           : seconds < 120 ? QString::number(std::lround(seconds)) + " s"
                           : QString("%1 min %2 s")
                                 .arg(std::lround(seconds) / 60)
                                 .arg(std::lround(seconds) % 60);
}

// The local file a drag carries, or an empty string.
QString DraggedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().isEmpty()) {
        return {};
    }
    const QUrl url = data->urls().first();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

MainWindow::MainWindow(MainWindowOptions options) : options(std::move(options)) {
    pictureChoice.size = this->options.pictureSize;
    setWindowTitle(kProgramTitle);
    setWindowIcon(AppIcon());
    setAcceptDrops(true);
    view = new PictureView(this);
    view->setFocusPolicy(Qt::StrongFocus);
    setCentralWidget(view);
    problems = new ProblemsPanel(this);
    addDockWidget(Qt::BottomDockWidgetArea, problems);
    problems->hide();
    CreateMenus();
    CreateStatusBar();
    RestoreSettings();
    UpdateActions();
    connect(&repaintTimer, &QTimer::timeout, this, [this] {
        view->viewport()->update();
        UpdateProgress();
    });
    connect(&document, &SceneDocument::ChangedOnDisk, this,
            [this] { StartReading(document.GetPath(), ReadCause::Watch); });
    connect(&document, &SceneDocument::ReadFinished, this, &MainWindow::TakeReading);
    connect(view, &PictureView::OrbitDragged, this, &MainWindow::Orbit);
    connect(view, &PictureView::PanDragged, this, &MainWindow::Pan);
    connect(view, &PictureView::WheelMoved, this, &MainWindow::Dolly);
    connect(view, &PictureView::DragFinished, this, &MainWindow::FinishDrag);
}

MainWindow::~MainWindow() {
    Teardown();
}

void MainWindow::CreateMenus() {
    const auto add = [this](QMenu* menu, const QString& text, const QKeySequence& keys,
                            int id = 0) {
        QAction* action = menu->addAction(text);
        if (id != 0) {
            action->setData(id);
        }
        action->setShortcut(keys);
        return action;
    };
    const auto checkable = [](QAction* action, bool checked) {
        action->setCheckable(true);
        action->setChecked(checked);
        return action;
    };

    QMenu* file = menuBar()->addMenu("&File");
    openAction = add(file, "&Open...", QKeySequence::Open, kCommandOpen);
    connect(openAction, &QAction::triggered, this, &MainWindow::ChooseAndOpen);
    recentMenu = file->addMenu("Open &Recent");
    reloadAction = add(file, "Re&load", QKeySequence(Qt::Key_F5));
    connect(reloadAction, &QAction::triggered, this, &MainWindow::Reload);
    saveAction = add(file, "&Save Image...", QKeySequence::Save);
    connect(saveAction, &QAction::triggered, this, &MainWindow::ChooseAndSave);
    file->addSeparator();
    watchAction = checkable(add(file, "Reload on &Change", {}), true);
    connect(watchAction, &QAction::toggled, this, [this](bool on) {
        document.SetWatching(on);
        // Edits made while the watch was off count as soon as it is back on.
        if (on && ready && !document.GetPath().isEmpty()) {
            StartReading(document.GetPath(), ReadCause::Watch);
        }
    });
    file->addSeparator();
    exitAction = add(file, "E&xit", QKeySequence(Qt::CTRL | Qt::Key_Q), kCommandExit);
    connect(exitAction, &QAction::triggered, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu("&Edit");
    copyCameraAction = add(edit, "&Copy Camera", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    connect(copyCameraAction, &QAction::triggered, this, &MainWindow::CopyCamera);

    QMenu* viewMenu = menuBar()->addMenu("&View");
    QAction* zoomIn = add(viewMenu, "Zoom &In", QKeySequence(Qt::CTRL | Qt::Key_Equal));
    zoomIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence::ZoomIn});
    connect(zoomIn, &QAction::triggered, view, &PictureView::ZoomIn);
    connect(add(viewMenu, "Zoom &Out", QKeySequence(Qt::CTRL | Qt::Key_Minus)), &QAction::triggered,
            view, &PictureView::ZoomOut);
    connect(add(viewMenu, "&Actual Size", QKeySequence(Qt::CTRL | Qt::Key_0)), &QAction::triggered,
            view, &PictureView::ActualSize);
    connect(add(viewMenu, "&Fit to Window", QKeySequence(Qt::CTRL | Qt::Key_9)),
            &QAction::triggered, view, &PictureView::FitToWindow);
    viewMenu->addSeparator();
    resetCameraAction = add(viewMenu, "&Reset Camera", QKeySequence(Qt::Key_Home));
    connect(resetCameraAction, &QAction::triggered, this, &MainWindow::ResetCamera);
    viewMenu->addSeparator();
    QAction* problemsAction = problems->toggleViewAction();
    problemsAction->setText("&Problems");
    viewMenu->addAction(problemsAction);

    QMenu* render = menuBar()->addMenu("&Render");
    stopAction = add(render, "S&top", QKeySequence(Qt::Key_Escape));
    connect(stopAction, &QAction::triggered, this, &MainWindow::StopRender);
    render->addSeparator();
    previewAction = checkable(add(render, "&Quick Preview", {}), true);
    pictureSizeAction = add(render, "&Picture Size...", {});
    connect(pictureSizeAction, &QAction::triggered, this, &MainWindow::ChoosePictureSize);
    render->addSeparator();
    stochasticAction = checkable(add(render, "&Stochastic", {}, kCommandStochastic), false);
    // Threads read the flag at every hit, so this changes the rest of a running render.
    connect(stochasticAction, &QAction::toggled, this, [this](bool on) {
        if (session) {
            session->SetStochastic(on);
        }
    });
    render->addSeparator();
    // These only record the choice: it takes effect when the next render starts.
    antialiasGroup = new QActionGroup(this);
    for (const auto& [text, id] : {std::pair{"Antialiasing &Off", kCommandAntialiasOff},
                                   std::pair{"&Jittered", kCommandJittered},
                                   std::pair{"&Monte-Carlo", kCommandMonteCarlo}}) {
        antialiasGroup->addAction(checkable(add(render, text, {}, id), id == kCommandAntialiasOff));
    }

    QMenu* help = menuBar()->addMenu("&Help");
    aboutAction = add(help, "&About ...", QKeySequence(Qt::Key_F1), kCommandAbout);
    connect(aboutAction, &QAction::triggered, this, [this] { options.dialogs.showAbout(this); });

    // A menu closed with Escape leaves the menu bar holding the keyboard; the picture takes it
    // back, so that the arrow keys move the camera again.
    for (QMenu* menu : {file, recentMenu, edit, viewMenu, render, help}) {
        connect(menu, &QMenu::aboutToHide, this, [this] {
            QTimer::singleShot(0, this, [this] {
                if (QApplication::activePopupWidget() == nullptr) {
                    view->setFocus(Qt::OtherFocusReason);
                }
            });
        });
    }
}

void MainWindow::CreateStatusBar() {
    problemSummary = new QPushButton(this);
    problemSummary->setObjectName("problemSummary");
    problemSummary->setFlat(true);
    problemSummary->setFocusPolicy(Qt::NoFocus);
    problemSummary->hide();
    connect(problemSummary, &QPushButton::clicked, this, [this] {
        problems->show();
        problems->raise();
    });
    const auto label = [this](const char* name) {
        auto* created = new QLabel(this);
        created->setObjectName(name);
        created->setTextFormat(Qt::PlainText);
        return created;
    };
    fileLabel = label("sceneStatus");
    pictureLabel = label("pictureStatus");
    cameraLabel = label("cameraStatus");
    progressLabel = label("renderStatus");
    progressBar = new QProgressBar(this);
    progressBar->setRange(0, 100);
    progressBar->setMaximumWidth(90);
    progressBar->setFocusPolicy(Qt::NoFocus);
    statusBar()->addWidget(problemSummary);
    statusBar()->addWidget(fileLabel, 1);
    statusBar()->addPermanentWidget(cameraLabel);
    statusBar()->addPermanentWidget(pictureLabel);
    statusBar()->addPermanentWidget(progressBar);
    statusBar()->addPermanentWidget(progressLabel);
}

void MainWindow::RestoreSettings() {
    if (options.settings == nullptr) {
        return;
    }
    QSettings& settings = *options.settings;
    const auto width = settings.value("picture/width", pictureChoice.size.width).toUInt();
    const auto height = settings.value("picture/height", pictureChoice.size.height).toUInt();
    if (width >= 1 && height >= 1 && width <= 16384 && height <= 16384) {
        pictureChoice.size = {width, height};
    }
    pictureChoice.matchAspect = settings.value("picture/matchAspect", true).toBool();
    const int mode = settings.value("render/antialiasing", kCommandAntialiasOff).toInt();
    for (QAction* action : antialiasGroup->actions()) {
        if (action->data().toInt() == mode) {
            action->setChecked(true);
        }
    }
    stochasticAction->setChecked(settings.value("render/stochastic", false).toBool());
    previewAction->setChecked(settings.value("render/quickPreview", true).toBool());
    watchAction->setChecked(settings.value("file/reloadOnChange", true).toBool());
    lastDirectory = settings.value("file/lastDirectory").toString();
    recentFiles = settings.value("file/recent").toStringList().mid(0, kRecentFiles);
    UpdateRecentMenu();
}

void MainWindow::SaveSettings() const {
    if (options.settings == nullptr) {
        return;
    }
    QSettings& settings = *options.settings;
    settings.setValue("window/geometry", saveGeometry());
    settings.setValue("picture/width", pictureChoice.size.width);
    settings.setValue("picture/height", pictureChoice.size.height);
    settings.setValue("picture/matchAspect", pictureChoice.matchAspect);
    const QAction* mode = antialiasGroup->checkedAction();
    settings.setValue("render/antialiasing", mode != nullptr ? mode->data().toInt() : 0);
    settings.setValue("render/stochastic", stochasticAction->isChecked());
    settings.setValue("render/quickPreview", previewAction->isChecked());
    settings.setValue("file/reloadOnChange", watchAction->isChecked());
    settings.setValue("file/lastDirectory", lastDirectory);
    settings.setValue("file/recent", recentFiles);
}

void MainWindow::UpdateActions() {
    const bool hasScene = ready && !document.GetPath().isEmpty();
    const bool running = ready && session->IsRunning();
    openAction->setEnabled(ready);
    recentMenu->setEnabled(ready && !recentFiles.isEmpty());
    reloadAction->setEnabled(hasScene);
    // Something to save once a render has drawn into the picture.
    saveAction->setEnabled(ready && renderSerial != 0);
    stopAction->setEnabled(running);
    pictureSizeAction->setEnabled(ready);
    copyCameraAction->setEnabled(ready);
    resetCameraAction->setEnabled(hasScene);
}

void MainWindow::UpdateRecentMenu() {
    recentMenu->clear();
    for (const QString& path : recentFiles) {
        QAction* action = recentMenu->addAction(PrintableFileName(QFileInfo(path).fileName()));
        action->setToolTip(PrintableFileName(path));
        connect(action, &QAction::triggered, this, [this, path] { OpenSceneFile(path); });
    }
    recentMenu->setEnabled(ready && !recentFiles.isEmpty());
}

void MainWindow::RememberRecent(const QString& path) {
    recentFiles.removeAll(path);
    recentFiles.prepend(path);
    while (recentFiles.size() > kRecentFiles) {
        recentFiles.removeLast();
    }
    lastDirectory = QFileInfo(path).absolutePath();
    UpdateRecentMenu();
    SaveSettings();
}

QAction* MainWindow::CommandAction(int id) const {
    for (QAction* menu : menuBar()->actions()) {
        for (QAction* action : menu->menu()->actions()) {
            if (action->data().toInt() == id) {
                return action;
            }
        }
    }
    return nullptr;
}

void MainWindow::StartUp() {
    session = std::make_unique<RenderSession>();
    session->ResizePicture(pictureChoice.size);
    session->SetStochastic(stochasticAction->isChecked());
    show();
    WriteHint();
    view->SetPicture(session->GetPixels(), view->devicePixelRatioF());
    const QByteArray geometry = options.settings != nullptr
                                    ? options.settings->value("window/geometry").toByteArray()
                                    : QByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        FitWindowToPicture();
    }
    repaintTimer.start(kRepaintMilliseconds);
    ready = true;
    view->setFocus(Qt::OtherFocusReason);
    UpdateSceneStatus();
    UpdateActions();
}

void MainWindow::FitWindowToPicture() {
    // The window grows by its bars and frame to hold the picture one pixel to a device pixel,
    // or shows it scaled to fit where the screen is smaller.
    const qreal ratio = view->devicePixelRatioF();
    const QSize picture(static_cast<int>(std::ceil(pictureChoice.size.width / ratio)),
                        static_cast<int>(std::ceil(pictureChoice.size.height / ratio)));
    // The menu bar, the status bar and the window's frame around the picture view.
    layout()->activate();
    const QSize bars = size() - view->size();
    QSize wanted = picture + bars;
    QSize room = wanted;
    if (const QScreen* display = screen()) {
        room = display->availableGeometry().size();
        if (const QWindow* handle = windowHandle()) {
            room = room.shrunkBy(handle->frameMargins());
        }
    }
    resize(wanted.boundedTo(room));
    layout()->activate();
    if (wanted.width() > room.width() || wanted.height() > room.height()) {
        view->FitToWindow();
    } else {
        view->ActualSize();
    }
}

void MainWindow::WriteHint() {
    PixelBuffer& pixels = *session->GetPixels();
    QImage image = NewPictureImage(pixels.GetWidth(), pixels.GetHeight());
    if (image.isNull()) {
        return;
    }
    image.fill(Qt::white);
    image.setDevicePixelRatio(view->devicePixelRatioF());
    {
        QPainter painter(&image);
        painter.setFont(view->font());
        painter.setPen(Qt::black);
        // (2, 0) is the top-left corner of the text, as the baseline lies an ascent below.
        painter.drawText(QPointF(2, QFontMetricsF(view->font()).ascent()), kStartHint);
    }
    // Only the text's own pixels go into the picture; the rest stays the new buffer's white.
    const std::uint32_t height = pixels.GetHeight();
    for (std::uint32_t row = 0; row < height; ++row) {
        const auto* line =
            reinterpret_cast<const QRgb*>(image.constScanLine(static_cast<int>(row)));
        for (std::uint32_t x = 0; x < pixels.GetWidth(); ++x) {
            const std::uint32_t word = line[x] & 0x00FFFFFFu;
            if (word != 0x00FFFFFFu) {
                pixels.Store(x, height - 1 - row, word);
            }
        }
    }
}

void MainWindow::Teardown() {
    document.CancelReading();
    if (session) {
        session->Stop();
    }
    ready = false;
    repaintTimer.stop();
    document.SetWatching(false);
    view->SetPicture(nullptr, 1.0);
    // The session releases the scene, the render context and the picture, in that order.
    session.reset();
    UpdateActions();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Nothing may render or read once the window is gone; the rest goes in Teardown.
    document.CancelReading();
    if (session) {
        session->Stop();
    }
    repaintTimer.stop();
    document.SetWatching(false);
    SaveSettings();
    event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Every key is taken here; the arrows and Page Up and Down move the camera, Shift ten times
    // as far and Ctrl a hundred times.
    event->accept();
    if (!ready) {
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const double steps = modifiers & Qt::ControlModifier ? 100.0
                         : modifiers & Qt::ShiftModifier ? 10.0
                                                         : 1.0;
    switch (event->key()) {
        case Qt::Key_Left:
            NudgeCamera(0, -steps);
            break;
        case Qt::Key_Right:
            NudgeCamera(0, steps);
            break;
        case Qt::Key_Up:
            NudgeCamera(2, -steps);
            break;
        case Qt::Key_Down:
            NudgeCamera(2, steps);
            break;
        case Qt::Key_PageUp:
            NudgeCamera(1, steps);
            break;
        case Qt::Key_PageDown:
            NudgeCamera(1, -steps);
            break;
        default:
            break;
    }
}

void MainWindow::NudgeCamera(int axis, double steps) {
    MoveCamera(CameraNavigator::Nudged(session->GetScene().camera, axis, steps));
}

void MainWindow::MoveCamera(const Camera& camera, bool previewOnly) {
    // Threads read the camera, so they stop before it moves; the scene is rendered again from
    // the new place. Before any scene is loaded there is nothing to render, and the hint stays.
    session->Stop();
    session->GetScene().camera = camera;
    if (!document.GetPath().isEmpty()) {
        StartRender(previewOnly);
    }
    UpdateSceneStatus();
}

bool MainWindow::CanNavigate() const {
    return ready && !document.GetPath().isEmpty() && session->GetContext().hits != nullptr;
}

void MainWindow::Orbit(QPointF delta) {
    // While a button drags only previews render; the full render starts on release.
    if (CanNavigate()) {
        MoveCamera(navigator.Orbited(session->GetScene().camera, delta / view->Zoom(),
                                     *session->GetContext().hits),
                   true);
    }
}

void MainWindow::Pan(QPointF delta) {
    if (CanNavigate()) {
        MoveCamera(
            navigator.Panned(session->GetScene().camera, delta / view->Zoom(), pictureChoice.size),
            true);
    }
}

void MainWindow::Dolly(int steps) {
    if (CanNavigate()) {
        MoveCamera(CameraNavigator::Dollied(session->GetScene().camera, steps));
    }
}

void MainWindow::FinishDrag() {
    if (navigator.FinishDrag() && CanNavigate()) {
        session->Stop();
        StartRender();
    }
}

void MainWindow::ResetCamera() {
    if (ready && !document.GetPath().isEmpty()) {
        MoveCamera(fileCamera);
    }
}

void MainWindow::CopyCamera() {
    if (ready) {
        QApplication::clipboard()->setText(
            QString::fromStdString(CameraLine(session->GetScene().camera)));
        statusBar()->showMessage("Camera copied", 3000);
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!DraggedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString path = DraggedFile(event->mimeData());
    if (!path.isEmpty()) {
        event->acceptProposedAction();
        OpenSceneFile(path);
    }
}

void MainWindow::ChooseAndOpen() {
    if (!ready) {
        return;
    }
    const QString directory = !lastDirectory.isEmpty() ? lastDirectory : options.examplesDirectory;
    const QString path = options.dialogs.chooseSceneFile(this, directory);
    if (path.isEmpty()) {
        return;  // cancelled: a running render goes on
    }
    OpenSceneFile(path);
}

void MainWindow::OpenSceneFile(const QString& path) {
    if (ready) {
        StartReading(path, ReadCause::Chosen);
    }
}

void MainWindow::Reload() {
    if (ready && !document.GetPath().isEmpty()) {
        StartReading(document.GetPath(), ReadCause::Chosen);
    }
}

void MainWindow::StartReading(const QString& path, ReadCause cause) {
    // The render goes on while the file is read and indexed; a read in progress is cancelled.
    document.StartReading(path, cause, options.load);
    setCursor(Qt::BusyCursor);
    fileLabel->setText("Reading " + PrintableFileName(QFileInfo(path).fileName()) + "...");
}

void MainWindow::TakeReading(const std::shared_ptr<LoadedScene>& loaded, ReadCause cause) {
    unsetCursor();
    SceneReading& reading = loaded->reading;
    if (!ready) {
        return;
    }
    if (loaded->prepared.scene == nullptr) {
        // Nothing changes: the scene, the picture and a running render stay as they are. A
        // watched file that is briefly unreadable is no reason for a message box.
        UpdateSceneStatus();
        if (cause == ReadCause::Watch) {
            statusBar()->showMessage(reading.failure, 10000);
        } else {
            ReportError(reading.failure);
        }
        emit ReadingFinished(false);
        return;
    }
    // The watch also fires for other files in the directory, and for saves that change nothing.
    if (cause == ReadCause::Watch && document.IsUnchanged(reading)) {
        UpdateSceneStatus();
        emit ReadingFinished(false);
        return;
    }
    // No thread may read the scene while it is replaced; SetScene stops them.
    session->SetScene(std::move(loaded->prepared));
    setWindowTitle(ReadTimeTitle(reading.seconds + loaded->indexSeconds));
    document.Accept(reading);
    fileCamera = session->GetScene().camera;
    RememberRecent(reading.path);
    problems->Show(reading.path, reading.diagnostic, reading.warnings);
    if (problems->Count() > 0 && problems->isHidden()) {
        // The panel opens below the picture, and the window grows to keep the picture whole.
        problems->show();
        if (!isMaximized() && !isFullScreen()) {
            FitWindowToPicture();
        }
    }
    UpdateSceneStatus();
    emit ReadingFinished(true);
    // Over the previous picture: rows not reached yet still show it.
    StartRender();
}

void MainWindow::UpdateSceneStatus() {
    const QString& path = document.GetPath();
    fileLabel->setText(path.isEmpty() ? QString() : PrintableFileName(QFileInfo(path).fileName()));
    fileLabel->setToolTip(PrintableFileName(path));
    const QString& summary = document.ProblemSummary();
    const int count = problems->Count();
    problemSummary->setVisible(!summary.isEmpty());
    problemSummary->setText(count == 1 ? "1 problem" : QString("%1 problems").arg(count));
    problemSummary->setToolTip(summary);
    if (session) {
        const Vec4& centre = session->GetScene().camera.centre;
        cameraLabel->setText(QString("camera (%1, %2, %3)")
                                 .arg(centre.x, 0, 'g', 4)
                                 .arg(centre.y, 0, 'g', 4)
                                 .arg(centre.z, 0, 'g', 4));
    }
    UpdateActions();
}

AntialiasMode MainWindow::CheckedMode() const {
    const QAction* checked = antialiasGroup->checkedAction();
    switch (checked != nullptr ? checked->data().toInt() : kCommandAntialiasOff) {
        case kCommandJittered:
            return AntialiasMode::Jittered;
        case kCommandMonteCarlo:
            return AntialiasMode::MonteCarlo;
        default:
            return AntialiasMode::Off;
    }
}

void MainWindow::StartRender(bool previewOnly) {
    RenderRequest request;
    request.picture = pictureChoice.size;
    request.mode = CheckedMode();
    request.stochastic = stochasticAction->isChecked();
    request.bands = DefaultBandCount();
    request.preview = previewOnly || previewAction->isChecked();
    request.previewOnly = previewOnly;
    const unsigned serial = ++renderSerial;
    bandsDone = 0;
    renderSeconds.reset();
    // Runs on the rendering thread, which must not touch the window: it leaves its report for
    // the GUI thread and asks that thread to take it.
    try {
        session->Start(request, [this, serial](unsigned, double seconds) {
            {
                const std::lock_guard lock(reportsMutex);
                reports.push_back({serial, seconds});
            }
            QMetaObject::invokeMethod(this, "TakeBandReports", Qt::QueuedConnection);
        });
    } catch (const std::exception& e) {
        ReportError(QString("cannot render: %1").arg(e.what()));
    }
    // Starting may have made a new picture of the new size.
    view->SetPicture(session->GetPixels(), view->devicePixelRatioF());
    UpdateProgress();
    UpdateActions();
}

void MainWindow::TakeBandReports() {
    std::vector<BandReport> taken;
    {
        const std::lock_guard lock(reportsMutex);
        taken.swap(reports);
    }
    for (const BandReport& report : taken) {
        if (report.serial != renderSerial || !session) {
            continue;  // from a render stopped since; its report lost the race to the stop
        }
        // Every band sets the title; the last one to finish wins.
        setWindowTitle(RenderTimeTitle(report.seconds));
        if (++bandsDone == session->GetBands().size()) {
            renderSeconds = session->LastBandSeconds();
            UpdateProgress();
            UpdateActions();
            if (saveWhenFinished) {
                saveWhenFinished = false;
                SaveImage(pendingSavePath);
            }
            emit RenderFinished(*renderSeconds);
        }
    }
}

void MainWindow::StopRender() {
    if (!session || !session->IsRunning()) {
        return;
    }
    session->Stop();
    if (saveWhenFinished) {
        saveWhenFinished = false;
        statusBar()->showMessage(
            "Stopped: " + PrintableFileName(pendingSavePath) + " was not saved", 10000);
    }
    UpdateProgress();
    UpdateActions();
    const std::uint64_t height = std::max<std::uint64_t>(pictureChoice.size.height, 1);
    emit RenderStopped(
        static_cast<int>(std::min<std::uint64_t>(session->RowsFinished(), height) * 100 / height));
}

void MainWindow::UpdateProgress() {
    if (!session) {
        return;
    }
    const PictureSize size = pictureChoice.size;
    QString picture =
        QString("%1 x %2 · %3").arg(size.width).arg(size.height).arg(ModeName(CheckedMode()));
    if (session->GetContext().stochastic.load()) {
        picture += ", stochastic";
    }
    pictureLabel->setText(picture);
    if (!session->GetLastRequest()) {
        progressBar->hide();
        return;
    }
    const RenderRequest& request = *session->GetLastRequest();
    const std::uint64_t height = request.picture.height;
    const std::uint64_t rows = std::min<std::uint64_t>(session->RowsFinished(), height);
    const int percent = height == 0 ? 100 : static_cast<int>(rows * 100 / height);
    QString text;
    if (renderSeconds) {
        text = QString("Rendered in %1 s").arg(*renderSeconds, 0, 'f', 2);
    } else if (session->IsRunning()) {
        const double elapsed = session->ElapsedSeconds();
        if (session->IsPreviewing()) {
            text = "Previewing, " + Seconds(elapsed);
        } else {
            text = QString("Rendering, %1").arg(Seconds(elapsed));
            if (rows > 0) {
                text += ", " +
                        Seconds(elapsed * static_cast<double>(height - rows) /
                                static_cast<double>(rows)) +
                        " left";
            }
        }
    } else {
        text = request.previewOnly ? QString("Preview") : QString("Stopped at %1 %").arg(percent);
    }
    progressBar->setVisible(!renderSeconds);
    progressBar->setValue(percent);
    progressLabel->setText(text);
}

void MainWindow::ChoosePictureSize() {
    if (!ready) {
        return;
    }
    const auto choice = options.dialogs.choosePictureSize(this, pictureChoice,
                                                          CameraAspect(session->GetScene().camera));
    if (choice) {
        pictureChoice.matchAspect = choice->matchAspect;
        SetPictureSize(choice->size);
    }
}

void MainWindow::SetPictureSize(PictureSize size) {
    if (!ready || size.width == 0 || size.height == 0) {
        return;
    }
    try {
        session->ResizePicture(size);
    } catch (const std::bad_alloc&) {
        ReportError(QString("no memory for a %1 x %2 picture; it stays %3 x %4")
                        .arg(size.width)
                        .arg(size.height)
                        .arg(pictureChoice.size.width)
                        .arg(pictureChoice.size.height));
        return;
    }
    pictureChoice.size = size;
    view->SetPicture(session->GetPixels(), view->devicePixelRatioF());
    view->PictureResized();
    SaveSettings();
    if (!document.GetPath().isEmpty()) {
        StartRender();
    } else {
        WriteHint();
    }
    UpdateProgress();
}

void MainWindow::ChooseAndSave() {
    if (!ready || renderSerial == 0) {
        return;
    }
    SaveTiming timing = SaveTiming::Now;
    if (session->IsRunning()) {
        timing = options.dialogs.chooseSaveTiming(this);
        if (timing == SaveTiming::Cancel) {
            return;
        }
    }
    QString suggestion = QDir::home().filePath("lumivex.png");
    if (!document.GetPath().isEmpty()) {
        const QFileInfo scenePath(document.GetPath());
        suggestion = scenePath.dir().filePath(scenePath.completeBaseName() + ".png");
    }
    // A name the program cannot write brings the chooser back with the name kept.
    QString path;
    for (;;) {
        path = options.dialogs.chooseImageFile(this, suggestion);
        if (path.isEmpty()) {
            return;
        }
        if (QFileInfo(path).suffix().isEmpty()) {
            path += ".png";
        }
        const PictureFormat format = PictureFormatFor(path);
        if (!format.name.isEmpty()) {
            break;
        }
        ReportError("cannot write '" + PrintableFileName(path) + "': " + format.problem);
        suggestion = path;
    }
    if (timing == SaveTiming::WhenFinished && session->IsRunning()) {
        saveWhenFinished = true;
        pendingSavePath = path;
        statusBar()->showMessage(
            "The picture goes to " + PrintableFileName(path) + " once it is finished", 10000);
        return;
    }
    SaveImage(path);
}

bool MainWindow::SaveImage(const QString& chosenPath) {
    if (!ready) {
        return false;
    }
    QString path = chosenPath;
    if (QFileInfo(path).suffix().isEmpty()) {
        path += ".png";
    }
    const PictureFormat format = PictureFormatFor(path);
    if (format.name.isEmpty()) {
        ReportError("cannot write '" + PrintableFileName(path) + "': " + format.problem);
        return false;
    }
    const PixelBuffer& pixels = *session->GetPixels();
    QImage image = NewPictureImage(pixels.GetWidth(), pixels.GetHeight());
    if (image.isNull()) {
        ReportError("cannot write '" + PrintableFileName(path) + "': out of memory");
        return false;
    }
    CopyPicture(pixels, image);
    // Rows a render has not finished hold progress markers or an older picture: they are saved
    // white, so that the file holds only what this render drew.
    if (!IsRenderComplete() && session->GetLastRequest()) {
        const std::vector<Band>& bands = session->GetBands();
        for (unsigned b = 0; b < bands.size(); ++b) {
            const std::uint32_t finished = bands[b].y0 + session->RowsFinished(b);
            for (std::uint32_t y = std::max(finished, bands[b].y0); y < bands[b].y1; ++y) {
                const int row = image.height() - 1 - static_cast<int>(y);
                std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(row)), image.width(),
                            qRgb(255, 255, 255));
            }
        }
    }
    const PictureWrite written = WritePicture(image, path, format.name);
    if (written.outcome != PictureWrite::Outcome::Written) {
        ReportError(written.error);
        return false;
    }
    statusBar()->showMessage("Saved " + PrintableFileName(path), 5000);
    return true;
}

void MainWindow::ReportError(const QString& message) {
    options.dialogs.showError(this, message);
}

}  // namespace lumivex
