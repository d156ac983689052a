#include "app/main_window.h"

#include <cmath>
#include <exception>

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCryptographicHash>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImageWriter>
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

using Clock = std::chrono::steady_clock;

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

// "file:line:column: message", as compilers write it.
QString DiagnosticLine(const QString& fileName, const SceneDiagnostic& diagnostic) {
    return QString("%1:%2:%3: %4")
        .arg(fileName)
        .arg(diagnostic.line)
        .arg(diagnostic.column)
        .arg(QString::fromStdString(diagnostic.message));
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
    connect(&repaintTimer, &QTimer::timeout, this, [this] {
        view->update();
        UpdateProgress();
    });
    connect(&watch, &SceneFileWatch::Changed, this,
            [this] { ReadAndLoad(watch.Path(), ReadCause::Watch); });
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
    connect(add(file, "&Open", kCommandOpen, QKeySequence(Qt::CTRL | Qt::Key_O)),
            &QAction::triggered, this, &MainWindow::ChooseAndOpen);
    QAction* reload = add(file, "&Reload", 0, QKeySequence(Qt::Key_F5));
    connect(reload, &QAction::triggered, this, [this] { Reload(); });
    QAction* save = add(file, "&Save Image...", 0, QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(save, &QAction::triggered, this, &MainWindow::ChooseAndSave);
    file->addSeparator();
    watchAction = add(file, "Reload on &Change", 0, {});
    watchAction->setCheckable(true);
    watchAction->setChecked(true);
    connect(watchAction, &QAction::toggled, this, &MainWindow::WatchSceneFile);
    file->addSeparator();
    connect(add(file, "E&xit", kCommandExit, QKeySequence(Qt::CTRL | Qt::Key_Q)),
            &QAction::triggered, this, &QWidget::close);

    QMenu* render = menuBar()->addMenu("&Render");
    stochasticAction = add(render, "&Stochastic", kCommandStochastic, {});
    stochasticAction->setCheckable(true);
    // Workers read the flag at every hit, so this changes the rest of a running render.
    connect(stochasticAction, &QAction::toggled, this, [this](bool on) {
        if (context) {
            context->stochastic.store(on);
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
    connect(add(help, "&About ...", kCommandAbout, QKeySequence(Qt::Key_F1)), &QAction::triggered,
            this, &MainWindow::ShowAbout);
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
    pixels =
        std::make_unique<PixelBuffer>(deviceLength(view->width()), deviceLength(view->height()));
    scene = std::make_unique<Scene>();
    context = std::make_unique<RenderContext>();
    context->stochastic.store(stochasticAction->isChecked());
    context->pixels = pixels.get();
    context->scene = scene.get();
    WriteHint();
    view->SetPicture(pixels.get(), ratio);
    repaintTimer.start(kRepaintMilliseconds);
    ready = true;
}

void MainWindow::WriteHint() {
    QImage image = NewPictureImage(pixels->Width(), pixels->Height());
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
    const std::uint32_t height = pixels->Height();
    for (std::uint32_t row = 0; row < height; ++row) {
        const auto* line =
            reinterpret_cast<const QRgb*>(image.constScanLine(static_cast<int>(row)));
        for (std::uint32_t x = 0; x < pixels->Width(); ++x) {
            const std::uint32_t word = line[x] & 0x00FFFFFFu;
            if (word != 0x00FFFFFFu) {
                pixels->Store(x, height - 1 - row, word);
            }
        }
    }
}

void MainWindow::Teardown() {
    dispatcher.Stop();
    ready = false;
    repaintTimer.stop();
    watch.Clear();
    view->SetPicture(nullptr, 1.0);
    if (context != nullptr) {
        context->index = nullptr;
    }
    index.reset();
    scene.reset();
    context.reset();
    pixels.reset();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Nothing may render once the window is gone; the rest goes in Teardown.
    dispatcher.Stop();
    repaintTimer.stop();
    watch.Clear();
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
    // Workers read the camera, so they stop before it moves; the scene is rendered again from
    // the new place. Before any scene is loaded there is nothing to render, and the hint stays.
    dispatcher.Stop();
    float& coordinate = scene->camera.centre.*axis;
    coordinate = static_cast<float>(static_cast<double>(coordinate) +
                                    direction * static_cast<double>(kCameraStep));
    if (!sceneFile.isEmpty()) {
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
    return ready && !sceneFile.isEmpty() && ReadAndLoad(sceneFile, ReadCause::Chosen);
}

bool MainWindow::ReadAndLoad(const QString& path, ReadCause cause) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    FileContents contents;
    try {
        contents = ReadSceneFile(absolute);
    } catch (const std::exception&) {
        contents = {std::nullopt, "cannot read " + Quoted(absolute) + ": out of memory"};
    }
    if (!contents.bytes) {
        // Nothing changes: the scene, the picture and a running render stay as they are. A
        // watched file that is briefly unreadable is no reason for a message box.
        if (cause == ReadCause::Watch) {
            sceneLabel->setText(contents.failure);
        } else {
            ReportError(contents.failure);
        }
        return false;
    }
    const QByteArray digest = QCryptographicHash::hash(
        QByteArrayView(contents.bytes->data(), static_cast<qsizetype>(contents.bytes->size())),
        QCryptographicHash::Sha256);
    // The watch also fires for other files in the directory, and for saves that change nothing.
    if (cause == ReadCause::Watch && absolute == sceneFile && digest == sceneFileDigest) {
        return false;
    }
    if (!LoadAndRender(absolute, std::move(*contents.bytes))) {
        return false;
    }
    sceneFileDigest = digest;
    return true;
}

bool MainWindow::LoadAndRender(const QString& path, std::string text) {
    // No worker may read the scene while it is replaced.
    dispatcher.Stop();
    const auto start = Clock::now();
    SceneLoadResult result;
    try {
        result = options.load(std::move(text), nullptr);
        // The index points at the loaded objects, which TakeOver moves without copying.
        auto newIndex = std::make_unique<SceneIndex>(*result.scene);
        scene->TakeOver(*result.scene);
        context->index = nullptr;
        index = std::move(newIndex);
        context->index = index.get();
    } catch (const std::exception& e) {
        ReportError(QString::fromStdString(LoadFailureMessage(path.toStdString(), e)) +
                    "; the scene stays as it was");
        return false;
    }
    const std::chrono::duration<double> seconds = Clock::now() - start;
    setWindowTitle(ReadTimeTitle(seconds.count()));
    if (path != sceneFile) {
        sceneFile = path;
        WatchSceneFile();
    }
    ShowLoadProblems(path, result);
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
    const RenderRequest request{pixels->Width(), pixels->Height(), CheckedMode(),
                                DefaultWorkerCount(), 0};
    const unsigned serial = ++renderSerial;
    lastRequest = request;
    bandsDone = 0;
    renderSeconds.reset();
    renderStart = Clock::now();
    // Runs on the worker's thread, which must not touch the window: it leaves its report for
    // the GUI thread and asks that thread to take it.
    dispatcher.Start(*context, request, [this, serial](unsigned, double seconds) {
        {
            const std::lock_guard lock(reportsMutex);
            reports.push_back({serial, seconds, Clock::now()});
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
        if (report.serial != renderSerial) {
            continue;  // from a render stopped since; its report lost the race to the stop
        }
        // Every band sets the title; the last one to finish wins.
        setWindowTitle(RenderTimeTitle(report.seconds));
        if (++bandsDone == lastRequest->bands) {
            renderSeconds = std::chrono::duration<double>(report.finishedAt - renderStart).count();
            UpdateProgress();
            emit RenderFinished(*renderSeconds);
        }
    }
}

void MainWindow::UpdateProgress() {
    if (!lastRequest) {
        return;
    }
    QString text;
    if (renderSeconds) {
        text = QString("Rendered in %1 s").arg(*renderSeconds, 0, 'f', 2);
    } else {
        const std::uint64_t height = lastRequest->height;
        const std::uint64_t rows = std::min<std::uint64_t>(dispatcher.RowsFinished(), height);
        const std::uint64_t percent = height == 0 ? 100 : rows * 100 / height;
        const std::chrono::duration<double> elapsed = Clock::now() - renderStart;
        text = dispatcher.Finished() && rows < height
                   ? QString("Stopped at %1%").arg(percent)
                   : QString("Rendering %1%, %2 s").arg(percent).arg(elapsed.count(), 0, 'f', 1);
    }
    text += " · " + ModeName(lastRequest->mode);
    if (context && context->stochastic.load()) {
        text += ", stochastic";
    }
    progressLabel->setText(text);
}

void MainWindow::ShowLoadProblems(const QString& path, const SceneLoadResult& result) {
    const QString fileName = QFileInfo(path).fileName();
    const std::string diagnosticsName = QFile::encodeName(fileName).toStdString();
    QStringList parts;
    QString details;
    if (result.diagnostic) {
        parts << "Reading stopped early: " + DiagnosticLine(fileName, *result.diagnostic);
    }
    if (!result.warnings.empty()) {
        const QString count = result.warnings.size() > kMaxListedWarnings
                                  ? QString("more than %1 warnings").arg(kMaxListedWarnings)
                              : result.warnings.size() == 1
                                  ? QString("1 warning")
                                  : QString("%1 warnings").arg(result.warnings.size());
        parts << count + ", the first: " + DiagnosticLine(fileName, result.warnings.front());
    }
    for (const SceneDiagnostic& warning : result.warnings) {
        details += QString::fromStdString(FormatDiagnostic(diagnosticsName, warning, "warning"));
    }
    if (result.diagnostic) {
        details +=
            QString::fromStdString(FormatDiagnostic(diagnosticsName, *result.diagnostic, "error"));
    }
    sceneLabel->setText(parts.join("; "));
    sceneLabel->setToolTip(details.trimmed());
}

void MainWindow::ChooseAndSave() {
    if (!ready) {
        return;
    }
    QString suggestion = QDir::home().filePath("lumivex.png");
    if (!sceneFile.isEmpty()) {
        const QFileInfo scenePath(sceneFile);
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
    QImage image = NewPictureImage(pixels->Width(), pixels->Height());
    if (image.isNull()) {
        ReportError("cannot write " + Quoted(path) + ": out of memory");
        return false;
    }
    CopyPicture(*pixels, image);
    const PictureWrite written = WritePicture(image, path, format.name);
    if (written.outcome != PictureWrite::Outcome::Written) {
        ReportError(written.error);
        return false;
    }
    statusBar()->showMessage("Saved " + path, 5000);
    return true;
}

void MainWindow::ShowAbout() {
    options.dialogs.showAbout(this);
}

void MainWindow::ReportError(const QString& message) {
    options.dialogs.showError(this, message);
}

void MainWindow::WatchSceneFile() {
    if (watchAction->isChecked() && !sceneFile.isEmpty()) {
        watch.Watch(sceneFile);
    } else {
        watch.Clear();
    }
}

}  // namespace lumivex
