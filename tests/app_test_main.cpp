// The desktop app's tests run real windows on Qt's offscreen platform, unless QT_QPA_PLATFORM says.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

#include "io/atomic_file.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // As the program does on start-up: a save past the file size limit is then reported.
    lumivex::IgnoreWriteSignals();
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // Settings go to a test location, never to the person's own.
    QStandardPaths::setTestModeEnabled(true);
    return RUN_ALL_TESTS();
}
