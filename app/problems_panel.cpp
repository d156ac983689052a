#include "app/problems_panel.h"

#include <algorithm>

#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QTreeWidget>

#include "scene/printable_text.h"

namespace lumivex {

namespace {

enum Column { kLocation, kSeverity, kMessage };

// Scene text as shown in the panel: escaped where unprintable, a tab as one blank so that the
// caret below counts the same characters.
QString Shown(std::string text) {
    std::replace(text.begin(), text.end(), '\t', ' ');
    return QString::fromStdString(PrintableText(text));
}

}  // namespace

QStringList CaretLines(const SceneDiagnostic& diagnostic) {
    const QString gutter = QString::number(diagnostic.line);
    const std::string_view line = diagnostic.lineText;
    const std::size_t caretByte =
        std::min(static_cast<std::size_t>(std::max(diagnostic.column, 1)) - 1, line.size());
    const QString before = Shown(std::string(line.substr(0, caretByte)));
    const QString after = Shown(std::string(line.substr(caretByte)));
    const auto caret = static_cast<qsizetype>(before.toUcs4().size());
    return {" " + gutter + " | " + before + after,
            " " + QString(gutter.size(), ' ') + " | " + QString(caret, ' ') + "^"};
}

ProblemsPanel::ProblemsPanel(QWidget* parent) : QDockWidget("Problems", parent) {
    setObjectName("problemsPanel");
    list = new QTreeWidget(this);
    list->setColumnCount(3);
    list->setHeaderLabels({"Location", "Severity", "Message"});
    list->setRootIsDecorated(true);
    list->setUniformRowHeights(true);
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->header()->setStretchLastSection(true);
    connect(list, &QTreeWidget::itemDoubleClicked, this, &ProblemsPanel::OpenFile);
    setWidget(list);
}

void ProblemsPanel::Show(const QString& scenePath, const std::optional<SceneDiagnostic>& stop,
                         const std::vector<SceneDiagnostic>& warnings) {
    Clear();
    path = scenePath;
    const QString fileName = QFileInfo(path).fileName();
    if (stop) {
        AddRow(fileName, *stop, "error");
    }
    for (const SceneDiagnostic& warning : warnings) {
        AddRow(fileName, warning, "warning");
    }
    list->expandAll();
}

void ProblemsPanel::AddRow(const QString& fileName, const SceneDiagnostic& diagnostic,
                           const QString& severity) {
    const QString location =
        QString("%1:%2:%3").arg(fileName).arg(diagnostic.line).arg(diagnostic.column);
    const QString message = Shown(diagnostic.message);
    auto* row = new QTreeWidgetItem(list, {location, severity, message});
    const QStringList lines = CaretLines(diagnostic);
    row->setToolTip(kLocation, path);
    row->setToolTip(kMessage, message + "\n" + lines.join('\n'));
    // The line and its caret beneath, across the whole width, in a fixed-width font so that the
    // caret stands under its character.
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (const QString& text : lines) {
        auto* child = new QTreeWidgetItem(row, {text});
        child->setFont(kLocation, fixed);
        child->setFirstColumnSpanned(true);
    }
}

void ProblemsPanel::Clear() {
    list->clear();
    path.clear();
}

int ProblemsPanel::Count() const {
    return list->topLevelItemCount();
}

void ProblemsPanel::OpenFile() {
    if (path.isEmpty()) {
        return;
    }
    if (!openUrl || !openUrl(QUrl::fromLocalFile(path))) {
        emit OpenFailed(path);
    }
}

}  // namespace lumivex
