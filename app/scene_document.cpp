#include "app/scene_document.h"

#include <chrono>
#include <exception>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QtConcurrent/QtConcurrentRun>

namespace lumivex {

namespace {

// "file:line:column: message", as compilers write it.
QString DiagnosticLine(const QString& fileName, const SceneDiagnostic& diagnostic) {
    return QString("%1:%2:%3: %4")
        .arg(PrintableFileName(fileName))
        .arg(diagnostic.line)
        .arg(diagnostic.column)
        .arg(QString::fromStdString(diagnostic.message));
}

}  // namespace

SceneReading ReadScene(const QString& path, const SceneTextLoader& load,
                       const std::atomic<bool>* stop) {
    SceneReading reading;
    reading.path = QFileInfo(path).absoluteFilePath();
    FileContents contents;
    try {
        contents = ReadSceneFile(reading.path, {kDefaultMaxSceneBytes, stop});
    } catch (const std::exception&) {
        contents.failure = "cannot read '" + PrintableFileName(reading.path) + "': out of memory";
    }
    if (!contents.bytes) {
        reading.failure = contents.failure;
        return reading;
    }
    reading.digest = QCryptographicHash::hash(
        QByteArrayView(contents.bytes->data(), static_cast<qsizetype>(contents.bytes->size())),
        QCryptographicHash::Sha256);
    const auto start = std::chrono::steady_clock::now();
    try {
        SceneLoadResult result = load(std::move(*contents.bytes), stop);
        reading.scene = std::move(result.scene);
        reading.diagnostic = std::move(result.diagnostic);
        reading.warnings = std::move(result.warnings);
    } catch (const std::exception& e) {
        reading.failure =
            QString::fromStdString(LoadFailureMessage(reading.path.toStdString(), e)) +
            "; the scene stays as it was";
        return reading;
    }
    reading.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return reading;
}

SceneDocument::SceneDocument(QObject* parent) : QObject(parent) {
    connect(&watch, &SceneFileWatch::Changed, this, &SceneDocument::ChangedOnDisk);
}

SceneDocument::~SceneDocument() {
    CancelReading();
    WaitForRead();
}

void SceneDocument::StartReading(const QString& path, ReadCause cause, SceneTextLoader load) {
    CancelReading();
    const unsigned serial = ++readSerial;
    auto stop = std::make_shared<std::atomic<bool>>(false);
    readStop = stop;
    reading = true;
    readingPath = path;
    // The worker owns what it uses; the result comes back through a queued call, which is
    // dropped when the document is gone or a later read has started.
    readFuture = QtConcurrent::run([this, path, cause, serial, stop, load = std::move(load)] {
        auto loaded = std::make_shared<LoadedScene>();
        loaded->reading = ReadScene(path, load, stop.get());
        if (loaded->reading.scene != nullptr && !stop->load()) {
            const auto start = std::chrono::steady_clock::now();
            try {
                loaded->prepared = PrepareScene(std::move(loaded->reading.scene), true, stop.get());
            } catch (const std::exception& e) {
                loaded->reading.failure = QString::fromStdString(LoadFailureMessage(
                                              loaded->reading.path.toStdString(), e)) +
                                          "; the scene stays as it was";
            }
            loaded->indexSeconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        if (stop->load()) {
            return;
        }
        QMetaObject::invokeMethod(this, [this, serial, loaded, cause] {
            if (serial != readSerial) {
                return;
            }
            reading = false;
            emit ReadFinished(loaded, cause);
        });
    });
}

void SceneDocument::CancelReading() {
    if (readStop) {
        readStop->store(true);
    }
    ++readSerial;
    reading = false;
}

void SceneDocument::WaitForRead() {
    readFuture.waitForFinished();
}

bool SceneDocument::IsUnchanged(const SceneReading& reading) const {
    return reading.path == path && reading.digest == digest;
}

void SceneDocument::Accept(const SceneReading& reading) {
    digest = reading.digest;
    if (reading.path != path) {
        path = reading.path;
        UpdateWatch();
    }

    const QString fileName = QFileInfo(path).fileName();
    const std::string diagnosticsName = QFile::encodeName(fileName).toStdString();
    QStringList parts;
    if (reading.diagnostic) {
        parts << "Reading stopped early: " + DiagnosticLine(fileName, *reading.diagnostic);
    }
    if (!reading.warnings.empty()) {
        const QString count = reading.warnings.size() > kMaxListedWarnings
                                  ? QString("more than %1 warnings").arg(kMaxListedWarnings)
                              : reading.warnings.size() == 1
                                  ? QString("1 warning")
                                  : QString("%1 warnings").arg(reading.warnings.size());
        parts << count + ", the first: " + DiagnosticLine(fileName, reading.warnings.front());
    }
    details.clear();
    for (const SceneDiagnostic& warning : reading.warnings) {
        details += QString::fromStdString(FormatDiagnostic(diagnosticsName, warning, "warning"));
    }
    if (reading.diagnostic) {
        details +=
            QString::fromStdString(FormatDiagnostic(diagnosticsName, *reading.diagnostic, "error"));
    }
    details = details.trimmed();
    summary = parts.join("; ");
}

void SceneDocument::SetWatching(bool on) {
    watching = on;
    UpdateWatch();
}

void SceneDocument::UpdateWatch() {
    if (watching && !path.isEmpty()) {
        watch.Watch(path);
    } else {
        watch.Clear();
    }
}

}  // namespace lumivex
