#include "app/scene_file_watch.h"

#include <QFileInfo>

namespace lumivex {

SceneFileWatch::SceneFileWatch(QObject* parent) : QObject(parent) {
    settle.setSingleShot(true);
    settle.setInterval(kSettleMilliseconds);
    connect(&settle, &QTimer::timeout, this, &SceneFileWatch::Settle);
    // Every event only restarts the timer: an editor's save is often several writes, or a
    // delete, a create and a rename.
    connect(&watcher, &QFileSystemWatcher::fileChanged, &settle, qOverload<>(&QTimer::start));
    connect(&watcher, &QFileSystemWatcher::directoryChanged, &settle, qOverload<>(&QTimer::start));
}

void SceneFileWatch::Watch(const QString& newPath) {
    Clear();
    path = newPath;
    // A file replaced by a rename is a new file, which the watcher on the old one never sees,
    // and the watcher drops a path whose file went away. The directory's watcher sees the new
    // file arrive; Settle then watches it again.
    watcher.addPath(path);
    watcher.addPath(QFileInfo(path).absolutePath());
}

void SceneFileWatch::Clear() {
    settle.stop();
    if (!watcher.files().isEmpty()) {
        watcher.removePaths(watcher.files());
    }
    if (!watcher.directories().isEmpty()) {
        watcher.removePaths(watcher.directories());
    }
    path.clear();
}

void SceneFileWatch::Settle() {
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        return;  // gone for now; the directory's watcher reports its return
    }
    // Watch the file now at the path afresh: after a replacement the old watch may still be
    // on the old file, which may even live on while something holds it open.
    if (watcher.files().contains(path)) {
        watcher.removePath(path);
    }
    watcher.addPath(path);
    // The directory also changes when other files in it do; the receiver compares contents.
    emit Changed();
}

}  // namespace lumivex
