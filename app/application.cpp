#include "app/application.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>
#include <optional>
#include <string>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QSettings>
#include <QTimer>

#include "app/app_icon.h"
#include "app/main_window.h"
#include "app/picture_view.h"
#include "io/atomic_file.h"

namespace lumivex {

namespace {

QtMessageHandler previousHandler = nullptr;

// Installed while the application and its window are created: a fatal message then comes from
// a platform that cannot start, and ends the program with kFailedToStart rather than an abort
// and a core dump.
void StartUpMessageHandler(QtMsgType type, const QMessageLogContext& context,
                           const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n%s\n", qPrintable(message), kFailedToStart);
        std::fflush(stderr);
        std::_Exit(1);
    }
    previousHandler(type, context, message);
}

// The example scenes: installed in the share directory beside the program's, or, when the
// program runs from the build tree, in the source tree; else the home directory.
QString ExamplesDirectory() {
    for (const QString& directory :
         {QDir(QCoreApplication::applicationDirPath()).filePath(LUMIVEX_INSTALLED_EXAMPLES),
          QString(LUMIVEX_SOURCE_EXAMPLES)}) {
        if (QDir(directory).exists()) {
            return QDir(directory).canonicalPath();
        }
    }
    return QDir::homePath();
}

int FailedToStart(const QString& reason) {
    std::cerr << "lumivex: " << reason.toStdString() << '\n' << kFailedToStart << std::endl;
    return 1;
}

}  // namespace

QString MissingDisplay(const QString& platform, const QString& display,
                       const QString& waylandDisplay) {
    if (platform.isEmpty()) {
        if (display.isEmpty() && waylandDisplay.isEmpty()) {
            return "no display: neither DISPLAY nor WAYLAND_DISPLAY is set";
        }
        return {};
    }
    // Qt tries the listed platforms in turn; one that can work is enough.
    for (const QString& name : platform.split(';', Qt::SkipEmptyParts)) {
        const QString plugin = name.section(':', 0, 0);  // options may follow a colon
        if (plugin == "xcb" ? !display.isEmpty()
                            : !plugin.startsWith("wayland") || !waylandDisplay.isEmpty()) {
            return {};
        }
    }
    return "no display for QT_QPA_PLATFORM=" + platform;
}

int RunMainWindow(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Lumivex, a ray tracer: shows a scene file as it renders.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("scene", "The scene file to open, as if chosen with File, Open.",
                                 "[scene]");
    parser.process(arguments);

    // Choices are remembered in ~/.config/Lumivex/lumivex.conf.
    QSettings settings;
    MainWindowOptions options;
    options.settings = &settings;
    options.examplesDirectory = ExamplesDirectory();
    std::optional<MainWindow> window;
    try {
        window.emplace(std::move(options));
        window->StartUp();
    } catch (const std::bad_alloc&) {
        return FailedToStart("out of memory for the window's picture");
    }
    qInstallMessageHandler(previousHandler);

    if (!qEnvironmentVariableIsEmpty("LUMIVEX_REPORT_RENDERED")) {
        // For scripts that check the window: what happened, and where on the screen the
        // picture's top-left pixel is.
        MainWindow& shown = *window;
        const auto where = [&shown] {
            const QPoint corner =
                shown.GetView()->viewport()->mapToGlobal(shown.GetView()->PictureRect().topLeft());
            return " at " + std::to_string(corner.x()) + "," + std::to_string(corner.y());
        };
        // Where the picture is, whenever that changes (the window manager places the window
        // some time after it is shown).
        auto* placement = new QTimer(&shown);
        QObject::connect(placement, &QTimer::timeout, [where, last = std::string()]() mutable {
            if (const std::string now = where(); now != last) {
                std::cout << "picture" << now << std::endl;
                last = now;
            }
        });
        placement->start(50);
        QObject::connect(&shown, &MainWindow::ReadingFinished, [where](bool loaded) {
            std::cout << (loaded ? "read" : "not read") << where() << std::endl;
        });
        QObject::connect(&shown, &MainWindow::RenderStopped, [](int percent) {
            std::cout << "stopped at " << percent << " %" << std::endl;
        });
        QObject::connect(&shown, &MainWindow::RenderFinished, [where](double seconds) {
            std::cout << "rendered " << seconds << where() << std::endl;
        });
    }
    if (!parser.positionalArguments().isEmpty()) {
        window->OpenSceneFile(parser.positionalArguments().first());
    }
    const int status = QApplication::exec();
    // The render stopped when the window closed; now the scene, the render context and the
    // picture go.
    window->Teardown();
    return status;
}

int RunLumivex(int argc, char** argv) {
    IgnoreWriteSignals();
    // A -platform argument overrides QT_QPA_PLATFORM, as it does for Qt.
    QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "-platform") == 0 || qstrcmp(argv[i], "--platform") == 0) {
            platform = QString::fromLocal8Bit(argv[i + 1]);
        }
    }
    const QString missing = MissingDisplay(platform, qEnvironmentVariable("DISPLAY"),
                                           qEnvironmentVariable("WAYLAND_DISPLAY"));
    if (!missing.isEmpty()) {
        return FailedToStart(missing);
    }
    previousHandler = qInstallMessageHandler(StartUpMessageHandler);
    QApplication application(argc, argv);
    QApplication::setApplicationName("lumivex");
    QApplication::setOrganizationName("Lumivex");
    QApplication::setApplicationVersion(LUMIVEX_VERSION);
    QApplication::setWindowIcon(AppIcon());
    // The installed desktop entry (and AppStream id), so that the desktop matches the window to
    // its menu entry and icon.
    QApplication::setDesktopFileName("io.github.lumivex.lumivex");
    return RunMainWindow(QApplication::arguments());
}

}  // namespace lumivex
