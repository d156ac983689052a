// Notices when a scene file changes on disk, including when an editor saves it by writing a new
// file and renaming it over the old one.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

namespace lumivex {

class SceneFileWatch : public QObject {
    Q_OBJECT

  public:
    static constexpr int kSettleMilliseconds = 200;

    explicit SceneFileWatch(QObject* parent = nullptr);

    // Watches `path` (absolute) instead of whatever was watched before.
    void Watch(const QString& path);
    void Clear();
    QString GetPath() const { return path; }

  signals:
    // The file was written, replaced or recreated, and has then been quiet for
    // kSettleMilliseconds; it exists. Bursts of writes give one signal.
    void Changed();

  private:
    void Settle();

    QFileSystemWatcher watcher;
    QTimer settle;
    QString path;
};

}  // namespace lumivex
