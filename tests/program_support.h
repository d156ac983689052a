// Running the built programs as a user would, and a scratch directory of files for them.
#pragma once

#include <functional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace lumivex::testing {

struct ProgramRun {
    bool exited = false;  // ended normally, not by a signal
    int status = -1;
    QByteArray out;
    std::string err;
};

// Runs `program` to its end; `inChild` runs in the child before it starts (limits, descriptors).
inline ProgramRun RunProgram(const QString& program, const QStringList& arguments,
                             const std::function<void()>& inChild = {}) {
    QProcess process;
    if (inChild) {
        process.setChildProcessModifier(inChild);
    }
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(120000)) << program.toStdString();
    return {process.exitStatus() == QProcess::NormalExit, process.exitCode(),
            process.readAllStandardOutput(), process.readAllStandardError().toStdString()};
}

// A scratch directory, removed with everything in it when the test ends.
class ScratchFiles {
  public:
    QString Root() const { return directory.path(); }
    QString Path(const QString& name) const { return directory.filePath(name); }
    QString Write(const QString& name, const QByteArray& bytes) const {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
            << name.toStdString();
        return file.fileName();
    }
    QByteArray Read(const QString& name) const {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Hidden ones too, where a temporary file would be.
    QStringList Files() const { return QDir(Root()).entryList(QDir::Files | QDir::Hidden); }

  private:
    QTemporaryDir directory;
};

}  // namespace lumivex::testing
