#include "app/main_window.h"

#include <cmath>
#include <exception>

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QStatusBar>
#include <QWindow>

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/picture_view.h"
#include "app/title_text.h"
#include "io/picture_file.h"

namespace lumivex {

namespace {

QString Quoted(const QString& path) {
    return "'" + path + "'";
}

QString ImageFileFilters() {
    QStringList patterns;
    for (const QString& extension : WritablePictureExtensions()) {
        patterns << "*." + extension;
    }
    return "PNG image (*.png);;all picture formats (" + patterns.join(' ') + ")";
}

QString ModeName(AntialiasMode mode) {
    switch (mode) {
        case AntialiasMode::Jittered:
            return "jittered";
        case AntialiasMode::MonteCarlo:
            return "Monte-Carlo";
        case AntialiasMode::Off:
            break;
    }
    return "antialiasing off";
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

Dialogs StandardDialogs() {
    Dialogs dialogs;
    dialogs.chooseSceneFile = [](QWidget* parent) {
        // An open dialog accepts only existing files; the first filter is the selected one.
        return QFileDialog::getOpenFileName(parent, "Open", QString(), kSceneFileFilters);
    };
    dialogs.chooseImageFile = [](QWidget* parent, const QString& suggestion) {
        QFileDialog dialog(parent, "Save Image", suggestion, ImageFileFilters());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("png");
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    };
    dialogs.showError = [](QWidget* parent, const QString& message) {
        QMessageBox::critical(parent, kProgramTitle, message);
    };
    dialogs.showAbout = [](QWidget* parent) {
        AboutDialog about(parent);
        return about.exec();
    };
    return dialogs;
}

MainWindow::MainWindow(MainWindowOptions options) : options(std::move(options)) {
    setWindowTitle(kProgramTitle);
    setWindowIcon(AppIcon());
    setAcceptDrops(true);
    view = new PictureView(this);
    setCentralWidget(view);
    CreateMenus();
    CreateStatusBar();
    UpdateActions();
    connect(&repaintTimer, &QTimer::timeout, this, [this] {
        view->update();
        UpdateProgress();
    });
    connect(&document, &SceneDocument::ChangedOnDisk, this,
            [this] { ReadAndLoad(document.GetPath(), ReadCause::Watch); });
}

MainWindow::~MainWindow() {
    Teardown();
}

void MainWindow::CreateMenus() {
    const auto add = [this](QMenu* menu, const QString& text, int id, const QKeySequence& keys) {
        QAction* action = menu->addAction(text);
        if (id != 0) {
            action->setData(id);
        }
        action->setShortcut(keys);
        return action;
    };

    QMenu* file = menuBar()->addMenu("&File");
    openAction = add(file, "&Open", kCommandOpen, QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(openAction, &QAction::triggered, this, &MainWindow::ChooseAndOpen);
    reloadAction = add(file, "&Reload", 0, QKeySequence(Qt::Key_F5));
    connect(reloadAction, &QAction::triggered, this, [this] { Reload(); });
    saveAction = add(file, "&Save Image...", 0, QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(saveAction, &QAction::triggered, this, &MainWindow::ChooseAndSave);
    file->addSeparator();
    watchAction = add(file, "Reload on &Change", 0, {});
    watchAction->setCheckable(true);
    watchAction->setChecked(true);
    connect(watchAction, &QAction::toggled, &document, &SceneDocument::SetWatching);
    file->addSeparator();
    exitAction = add(file, "E&xit", kCommandExit, QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exitAction, &QAction::triggered, this, &QWidget::close);

    QMenu* render = menuBar()->addMenu("&Render");
    stochasticAction = add(render, "&Stochastic", kCommandStochastic, {});
    stochasticAction->setCheckable(true);
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
        QAction* action = add(render, text, id, {});
        action->setCheckable(true);
        action->setChecked(id == kCommandAntialiasOff);
        antialiasGroup->addAction(action);
    }

    QMenu* help = menuBar()->addMenu("&Help");
    aboutAction = add(help, "&About ...", kCommandAbout, QKeySequence(Qt::Key_F1));
    connect(aboutAction, &QAction::triggered, this, [this] { options.dialogs.showAbout(this); });
}

void MainWindow::CreateStatusBar() {
    sceneLabel = new QLabel(this);
    sceneLabel->setObjectName("sceneStatus");
    sceneLabel->setTextFormat(Qt::PlainText);
    progressLabel = new QLabel(this);
    progressLabel->setObjectName("renderStatus");
    progressLabel->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(sceneLabel, 1);
    statusBar()->addPermanentWidget(progressLabel);
}

void MainWindow::UpdateActions() {
    // Reading and saving need the window's picture; Reload needs a file to read again.
    openAction->setEnabled(ready);
    reloadAction->setEnabled(ready && !document.GetPath().isEmpty());
    saveAction->setEnabled(ready);
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
    resize(options.outerSize);
    show();
    // Where the window system draws a frame, its size is known once the window is shown; the
    // window then shrinks so that it measures outerSize frame and all.
    if (const QWindow* handle = windowHandle()) {
        const QMargins frame = handle->frameMargins();
        if (!frame.isNull()) {
            resize(options.outerSize.shrunkBy(frame));
        }
    }
    // The picture has the drawing area's size now, in device pixels, whatever the window's
    // size later becomes.
    const qreal ratio = view->devicePixelRatioF();
    const auto deviceLength = [ratio](int length) {
        return static_cast<std::uint32_t>(std::max(0L, std::lround(length * ratio)));
    };
    session = std::make_unique<RenderSession>();
    session->ResizePicture({deviceLength(view->width()), deviceLength(view->height())});
    session->SetStochastic(stochasticAction->isChecked());
    WriteHint();
    view->SetPicture(session->GetPixels(), ratio);
    repaintTimer.start(kRepaintMilliseconds);
    ready = true;
    UpdateActions();
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
    // Nothing may render once the window is gone; the rest goes in Teardown.
    if (session) {
        session->Stop();
    }
    repaintTimer.stop();
    document.SetWatching(false);
    event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Every key is taken here, and only the arrows do something.
    event->accept();
    if (!ready) {
        return;
    }
    switch (event->key()) {
        case Qt::Key_Left:
            NudgeCamera(&Vec4::x, -1.0);
            break;
        case Qt::Key_Right:
            NudgeCamera(&Vec4::x, 1.0);
            break;
        case Qt::Key_Up:
            NudgeCamera(&Vec4::z, -1.0);
            break;
        case Qt::Key_Down:
            NudgeCamera(&Vec4::z, 1.0);
            break;
        default:
            break;
    }
}

void MainWindow::NudgeCamera(float Vec4::*axis, double direction) {
    // Threads read the camera, so they stop before it moves; the scene is rendered again from
    // the new place. Before any scene is loaded there is nothing to render, and the hint stays.
    session->Stop();
    float& coordinate = session->GetScene().camera.centre.*axis;
    coordinate = static_cast<float>(static_cast<double>(coordinate) +
                                    direction * static_cast<double>(kCameraStep));
    if (!document.GetPath().isEmpty()) {
        StartRender();
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
    const QString path = options.dialogs.chooseSceneFile(this);
    if (path.isEmpty()) {
        return;  // cancelled: a running render goes on
    }
    OpenSceneFile(path);
}

bool MainWindow::OpenSceneFile(const QString& path) {
    return ready && ReadAndLoad(path, ReadCause::Chosen);
}

bool MainWindow::Reload() {
    return ready && !document.GetPath().isEmpty() &&
           ReadAndLoad(document.GetPath(), ReadCause::Chosen);
}

bool MainWindow::ReadAndLoad(const QString& path, ReadCause cause) {
    SceneReading reading = ReadScene(path, options.load);
    if (reading.scene == nullptr) {
        // Nothing changes: the scene, the picture and a running render stay as they are. A
        // watched file that is briefly unreadable is no reason for a message box.
        if (cause == ReadCause::Watch) {
            sceneLabel->setText(reading.failure);
        } else {
            ReportError(reading.failure);
        }
        return false;
    }
    // The watch also fires for other files in the directory, and for saves that change nothing.
    if (cause == ReadCause::Watch && document.IsUnchanged(reading)) {
        return false;
    }
    const auto start = std::chrono::steady_clock::now();
    try {
        // No thread may read the scene while it is replaced; SetScene stops them.
        session->SetScene(PrepareScene(std::move(reading.scene), true));
    } catch (const std::exception& e) {
        ReportError(QString::fromStdString(LoadFailureMessage(reading.path.toStdString(), e)) +
                    "; the scene stays as it was");
        return false;
    }
    const std::chrono::duration<double> indexing = std::chrono::steady_clock::now() - start;
    setWindowTitle(ReadTimeTitle(reading.seconds + indexing.count()));
    document.Accept(reading);
    sceneLabel->setText(document.ProblemSummary());
    sceneLabel->setToolTip(document.ProblemDetails());
    UpdateActions();
    // Over the previous picture: rows not reached yet still show it.
    StartRender();
    return true;
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

void MainWindow::StartRender() {
    const PixelBuffer& pixels = *session->GetPixels();
    RenderRequest request;
    request.picture = {pixels.GetWidth(), pixels.GetHeight()};
    request.mode = CheckedMode();
    request.stochastic = stochasticAction->isChecked();
    request.bands = DefaultBandCount();
    const unsigned serial = ++renderSerial;
    bandsDone = 0;
    renderSeconds.reset();
    // Runs on the rendering thread, which must not touch the window: it leaves its report for
    // the GUI thread and asks that thread to take it.
    session->Start(request, [this, serial](unsigned, double seconds) {
        {
            const std::lock_guard lock(reportsMutex);
            reports.push_back({serial, seconds});
        }
        QMetaObject::invokeMethod(this, "TakeBandReports", Qt::QueuedConnection);
    });
    UpdateProgress();
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
            emit RenderFinished(*renderSeconds);
        }
    }
}

void MainWindow::UpdateProgress() {
    if (!session || !session->GetLastRequest()) {
        return;
    }
    const RenderRequest& request = *session->GetLastRequest();
    QString text;
    if (renderSeconds) {
        text = QString("Rendered in %1 s").arg(*renderSeconds, 0, 'f', 2);
    } else {
        const std::uint64_t height = request.picture.height;
        const std::uint64_t rows = std::min<std::uint64_t>(session->RowsFinished(), height);
        const std::uint64_t percent = height == 0 ? 100 : rows * 100 / height;
        text = !session->IsRunning() && rows < height
                   ? QString("Stopped at %1%").arg(percent)
                   : QString("Rendering %1%, %2 s")
                         .arg(percent)
                         .arg(session->ElapsedSeconds(), 0, 'f', 1);
    }
    text += " · " + ModeName(request.mode);
    if (session->GetContext().stochastic.load()) {
        text += ", stochastic";
    }
    progressLabel->setText(text);
}

void MainWindow::ChooseAndSave() {
    if (!ready) {
        return;
    }
    QString suggestion = QDir::home().filePath("lumivex.png");
    if (!document.GetPath().isEmpty()) {
        const QFileInfo scenePath(document.GetPath());
        suggestion = scenePath.dir().filePath(scenePath.completeBaseName() + ".png");
    }
    const QString path = options.dialogs.chooseImageFile(this, suggestion);
    if (!path.isEmpty()) {
        SaveImage(path);
    }
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
        ReportError("cannot write " + Quoted(path) + ": " + format.problem);
        return false;
    }
    const PixelBuffer& pixels = *session->GetPixels();
    QImage image = NewPictureImage(pixels.GetWidth(), pixels.GetHeight());
    if (image.isNull()) {
        ReportError("cannot write " + Quoted(path) + ": out of memory");
        return false;
    }
    CopyPicture(pixels, image);
    const PictureWrite written = WritePicture(image, path, format.name);
    if (written.outcome != PictureWrite::Outcome::Written) {
        ReportError(written.error);
        return false;
    }
    statusBar()->showMessage("Saved " + path, 5000);
    return true;
}

void MainWindow::ReportError(const QString& message) {
    options.dialogs.showError(this, message);
}

}  // namespace lumivex
