// The scene file the window shows: reading and loading it, telling a real change from a save
// that changed nothing, watching it on disk, and describing what went wrong in reading it.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QFuture>
#include <QObject>
#include <QString>

#include "app/scene_file_watch.h"
#include "io/scene_file.h"
#include "render/render_session.h"
#include "scene/scene.h"
#include "scene/scene_loader.h"

namespace lumivex {

// One reading of a scene file: the loaded scene with what the loader had to say, or why there
// is none.
struct SceneReading {
    QString path;                  // absolute
    std::unique_ptr<Scene> scene;  // null when the file could not be read or loaded
    QString failure;               // why not, naming the file
    QByteArray digest;             // of the bytes read
    std::optional<SceneDiagnostic> diagnostic;
    std::vector<SceneDiagnostic> warnings;
    double seconds = 0.0;  // loading the text, as the window title reports it
};

// Reads and loads `path` with `load`; safe on any thread.
SceneReading ReadScene(const QString& path, const SceneTextLoader& load,
                       const std::atomic<bool>* stop = nullptr);

// A reading whose scene is indexed and ready for a render session.
struct LoadedScene {
    SceneReading reading;  // its scene has moved into `prepared`
    PreparedScene prepared;
    double indexSeconds = 0.0;
};

// Why a file is read: chosen by the person (failures are reported) or seen changing on disk
// (an unchanged file or a brief failure is no news).
enum class ReadCause { Chosen, Watch };

class SceneDocument : public QObject {
    Q_OBJECT

  public:
    explicit SceneDocument(QObject* parent = nullptr);
    // Waits for a read in progress, asked to give up first.
    ~SceneDocument() override;

    // Reads, loads and indexes `path` on a worker thread; ReadFinished follows on this object's
    // thread. A read in progress is cancelled first and reports nothing.
    void StartReading(const QString& path, ReadCause cause, SceneTextLoader load);
    // Asks a read in progress to give up; it reports nothing.
    void CancelReading();
    // Whether a read is in progress, and of which file.
    bool IsReading() const { return reading; }
    const QString& ReadingPath() const { return readingPath; }

    // The file of the scene being shown; empty before the first load.
    const QString& GetPath() const { return path; }
    // Whether `reading` is of the document's file with the very bytes last accepted: a save
    // that changed nothing, or the watch seeing another file of the directory change.
    bool IsUnchanged(const SceneReading& reading) const;
    // Makes the file read the document's: remembers its bytes, watches it when watching is on,
    // and keeps what the loader said for the status bar.
    void Accept(const SceneReading& reading);

    void SetWatching(bool on);

    // What the status bar shows: where reading stopped early and how many lines were skipped
    // with a warning, or an empty string; and every message in full, compiler style.
    const QString& ProblemSummary() const { return summary; }
    const QString& ProblemDetails() const { return details; }

  signals:
    // The watched file was written or replaced and has been quiet for a moment since.
    void ChangedOnDisk();
    // A read finished: the scene is in `loaded->prepared.scene`, or null with the failure.
    void ReadFinished(std::shared_ptr<LoadedScene> loaded, ReadCause cause);

  private:
    void UpdateWatch();
    void WaitForRead();

    bool reading = false;
    QString readingPath;
    unsigned readSerial = 0;  // results of cancelled reads are dropped
    std::shared_ptr<std::atomic<bool>> readStop;
    QFuture<void> readFuture;

    QString path;
    QByteArray digest;
    bool watching = true;
    SceneFileWatch watch;
    QString summary;
    QString details;
};

}  // namespace lumivex
