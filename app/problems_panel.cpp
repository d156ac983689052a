#include "app/problems_panel.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QTreeWidget>

namespace lumivex {

namespace {

constexpr int kTabWidth = 8;

enum Column { kLocation, kSeverity, kMessage };

// The code point of the UTF-8 sequence at the start of `bytes` and its length, or nullopt
// where the bytes are not UTF-8 (a stray, overlong, truncated or surrogate sequence).
std::optional<std::pair<char32_t, std::size_t>> DecodeUtf8(std::string_view bytes) {
    const auto lead = static_cast<unsigned char>(bytes[0]);
    if (lead < 0x80) {
        return std::pair{char32_t{lead}, std::size_t{1}};
    }
    const std::size_t length = (lead & 0xE0) == 0xC0   ? 2
                               : (lead & 0xF0) == 0xE0 ? 3
                               : (lead & 0xF8) == 0xF0 ? 4
                                                       : 0;
    if (length == 0 || length > bytes.size()) {
        return std::nullopt;
    }
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[i]);
        if ((next & 0xC0) != 0x80) {
            return std::nullopt;
        }
        code = (code << 6) | (next & 0x3F);
    }
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return std::nullopt;
    }
    return std::pair{code, length};
}

QString Hex(char32_t value, int digits) {
    return QString::number(value, 16).toUpper().rightJustified(digits, '0');
}

bool IsShown(char32_t code) {
    switch (QChar::category(code)) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Other_PrivateUse:
        case QChar::Other_NotAssigned:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return false;
        default:
            return true;
    }
}

// PrintableText, also telling where in the text byte `caretByte` (or the first character after
// it) begins.
QString Printable(std::string_view bytes, std::size_t caretByte, qsizetype* caret) {
    QString shown;
    for (std::size_t i = 0; i < bytes.size();) {
        if (caret != nullptr && i >= caretByte && *caret < 0) {
            *caret = shown.size();
        }
        const auto decoded = DecodeUtf8(bytes.substr(i));
        if (!decoded) {
            shown += "\\x" + Hex(static_cast<unsigned char>(bytes[i]), 2);
            ++i;
            continue;
        }
        const auto [code, length] = *decoded;
        i += length;
        if (code == '\t') {
            shown += QString(kTabWidth - shown.size() % kTabWidth, ' ');
        } else if (!IsShown(code)) {
            shown += code < 0x100 ? "\\x" + Hex(code, 2) : "\\u{" + Hex(code, 4) + "}";
        } else {
            shown += QString::fromUcs4(&code, 1);
        }
    }
    if (caret != nullptr && *caret < 0) {
        *caret = shown.size();
    }
    return shown;
}

}  // namespace

QString PrintableText(std::string_view bytes) {
    return Printable(bytes, 0, nullptr);
}

QStringList CaretLines(const SceneDiagnostic& diagnostic) {
    const QString gutter = QString::number(diagnostic.line);
    qsizetype caret = -1;
    const std::size_t caretByte = static_cast<std::size_t>(std::max(diagnostic.column, 1)) - 1;
    const QString line = Printable(diagnostic.lineText, caretByte, &caret);
    return {" " + gutter + " | " + line,
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
    const QString message = PrintableText(diagnostic.message);
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
