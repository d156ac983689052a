// The Problems panel: why reading the scene file stopped and the lines that look like mistakes,
// one row each with the line itself and a caret beneath; a double click opens the file.
#pragma once

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include <QDesktopServices>
#include <QDockWidget>
#include <QStringList>
#include <QUrl>

#include "scene/scene_loader.h"

class QTreeWidget;

namespace lumivex {

// The offending line under a diagnostic, as compilers show it: " 12 | the line" and beneath it a
// caret under the column, both made printable.
QStringList CaretLines(const SceneDiagnostic& diagnostic);

class ProblemsPanel : public QDockWidget {
    Q_OBJECT

  public:
    explicit ProblemsPanel(QWidget* parent = nullptr);

    // Lists the diagnostics of the scene file at `path` in place of the earlier ones: `stop`
    // first, as an error, then the warnings.
    void Show(const QString& path, const std::optional<SceneDiagnostic>& stop,
              const std::vector<SceneDiagnostic>& warnings);
    void Clear();
    // How many diagnostics are listed.
    int Count() const;
    QTreeWidget* List() const { return list; }

    // Opens the scene file in the desktop's editor on a double click; tests put their own in.
    std::function<bool(const QUrl&)> openUrl = [](const QUrl& url) {
        return QDesktopServices::openUrl(url);
    };

  signals:
    // openUrl could not open the scene file.
    void OpenFailed(const QString& path);

  private:
    void AddRow(const QString& fileName, const SceneDiagnostic& diagnostic,
                const QString& severity);
    void OpenFile();

    QTreeWidget* list = nullptr;
    QString path;
};

}  // namespace lumivex
