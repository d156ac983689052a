#include "app/application.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>
#include <optional>

#include <QApplication>
#include <QCommandLineParser>

#include "app/app_icon.h"
#include "app/main_window.h"
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

    std::optional<MainWindow> window;
    try {
        window.emplace();
        window->StartUp();
    } catch (const std::bad_alloc&) {
        return FailedToStart("out of memory for the window's picture");
    }
    qInstallMessageHandler(previousHandler);

    if (!qEnvironmentVariableIsEmpty("LUMIVEX_REPORT_RENDERED")) {
        QObject::connect(&*window, &MainWindow::RenderFinished,
                         [](double seconds) { std::cout << "rendered " << seconds << std::endl; });
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
    QApplication::setApplicationVersion(LUMIVEX_VERSION);
    QApplication::setWindowIcon(AppIcon());
    QApplication::setDesktopFileName("lumivex");
    return RunMainWindow(QApplication::arguments());
}

}  // namespace lumivex
