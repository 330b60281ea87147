#include "services/UserPrompts.h"

#include "services/App.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMap>
#include <QMessageBox>
#include <QPointer>

#include <deque>

namespace {

struct ScriptState {
    bool enabled = false;
    std::deque<int> msgBoxAnswers;
    QMap<QString, std::deque<QVariant>> dialogAnswers;
    std::vector<PromptScript::Shown> record;
};

ScriptState& Script() {
    static ScriptState state;
    return state;
}

QPointer<QWidget>& Owner() {
    static QPointer<QWidget> owner;
    return owner;
}

int DefaultAnswer(int style) {
    const int buttons = style & 7;
    const int defaultIndex = (style & vbDefaultButton3) ? 2 : (style & vbDefaultButton2) ? 1 : 0;
    static const std::vector<std::vector<int>> table = {
        {vbOK}, {vbOK, vbCancel}, {vbAbort, vbRetry, vbIgnore}, {vbYes, vbNo, vbCancel},
        {vbYes, vbNo}, {vbRetry, vbCancel}};
    const auto& row = table[buttons < 6 ? buttons : 0];
    return row[std::min<size_t>(defaultIndex, row.size() - 1)];
}

QVariant ScriptedDialog(const QString& kind, const QString& title, const QString& text) {
    auto& s = Script();
    QVariant answer;
    auto it = s.dialogAnswers.find(kind);
    if (it != s.dialogAnswers.end() && !it->empty()) {
        answer = it->front();
        it->pop_front();
    }
    s.record.push_back({kind, title, text, 0, answer});
    return answer;
}

QWidget* ParentOr(QWidget* parent) { return parent ? parent : Owner().data(); }

// The folder the last file or folder dialog was answered in, for the next one that concerns
// no file of its own.
QString& LastFolderUsed() {
    static QString folder;
    return folder;
}

void RememberFolderOf(const QString& chosen, bool isFolder) {
    if (chosen.isEmpty())
        return;
    const QFileInfo info(chosen);
    LastFolderUsed() = isFolder ? QDir::cleanPath(info.absoluteFilePath()) : info.absolutePath();
}

// The save dialog's start: the folder, and the concerned file's name when there is one.
QString SaveStartPath(const QString& concerned) {
    const QString folder = DialogStartFolder(concerned);
    const QFileInfo info(concerned);
    if (concerned.isEmpty() || concerned.endsWith(QLatin1Char('/')) || info.isDir())
        return folder;
    return QDir(folder).filePath(info.fileName());
}

}  // namespace

int MsgBox(const QString& prompt, int style, const QString& title) {
    const QString caption = title.isEmpty() ? App::Title() : title;
    auto& s = Script();
    if (s.enabled) {
        int answer = DefaultAnswer(style);
        if (!s.msgBoxAnswers.empty()) {
            answer = s.msgBoxAnswers.front();
            s.msgBoxAnswers.pop_front();
        }
        s.record.push_back({QStringLiteral("msgbox"), caption, prompt, style, answer});
        return answer;
    }
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return DefaultAnswer(style);

    QMessageBox box(ParentOr(nullptr));
    box.setWindowTitle(caption);
    box.setText(prompt);
    switch (style & 0x70) {
    case vbCritical: box.setIcon(QMessageBox::Critical); break;
    case vbQuestion: box.setIcon(QMessageBox::Question); break;
    case vbExclamation: box.setIcon(QMessageBox::Warning); break;
    case vbInformation: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    struct Choice { QMessageBox::StandardButton button; int result; };
    std::vector<Choice> choices;
    switch (style & 7) {
    case vbOKCancel: choices = {{QMessageBox::Ok, vbOK}, {QMessageBox::Cancel, vbCancel}}; break;
    case vbAbortRetryIgnore:
        choices = {{QMessageBox::Abort, vbAbort}, {QMessageBox::Retry, vbRetry}, {QMessageBox::Ignore, vbIgnore}};
        break;
    case vbYesNoCancel:
        choices = {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}, {QMessageBox::Cancel, vbCancel}};
        break;
    case vbYesNo: choices = {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}}; break;
    case vbRetryCancel: choices = {{QMessageBox::Retry, vbRetry}, {QMessageBox::Cancel, vbCancel}}; break;
    default: choices = {{QMessageBox::Ok, vbOK}}; break;
    }
    QMessageBox::StandardButtons buttons;
    for (const auto& c : choices)
        buttons |= c.button;
    box.setStandardButtons(buttons);
    const int defaultIndex = (style & vbDefaultButton3) ? 2 : (style & vbDefaultButton2) ? 1 : 0;
    box.setDefaultButton(choices[std::min<size_t>(defaultIndex, choices.size() - 1)].button);
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const auto& c : choices)
        if (c.button == pressed)
            return c.result;
    // Closing the box with Escape or its close button: Cancel where there is one, else the
    // last button (No, OK).
    for (const auto& c : choices)
        if (c.result == vbCancel)
            return vbCancel;
    return choices.back().result;
}

void SetDialogOwner(QWidget* owner) { Owner() = owner; }

QWidget* DialogOwner() { return Owner().data(); }

QString DialogStartFolder(const QString& concerned) {
    // Only a path of this system counts: a stored folder from another platform ("C:\Data")
    // names nothing here.
    if (!concerned.isEmpty() && QDir::isAbsolutePath(concerned)) {
        const QFileInfo info(concerned);
        if (info.isDir())
            return QDir::cleanPath(info.absoluteFilePath());
        if (QFileInfo(info.absolutePath()).isDir())
            return info.absolutePath();
    }
    if (!LastFolderUsed().isEmpty() && QFileInfo(LastFolderUsed()).isDir())
        return LastFolderUsed();
    return QDir::homePath();
}

QString AskOpenFile(QWidget* parent, const QString& title, const QString& concerned,
                    const QString& filter) {
    const QString start = DialogStartFolder(concerned);
    const QString chosen = Script().enabled
                               ? ScriptedDialog(QStringLiteral("open"), title, start).toString()
                               : QFileDialog::getOpenFileName(ParentOr(parent), title, start, filter);
    RememberFolderOf(chosen, false);
    return chosen;
}

QString AskSaveFile(QWidget* parent, const QString& title, const QString& concerned,
                    const QString& filter, const QString& defaultSuffix) {
    const QString start = SaveStartPath(concerned);
    QString chosen;
    if (Script().enabled) {
        chosen = ScriptedDialog(QStringLiteral("save"), title, start).toString();
    } else {
        QFileDialog dialog(ParentOr(parent), title, start, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (!defaultSuffix.isEmpty())
            dialog.setDefaultSuffix(defaultSuffix);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().first();
    }
    RememberFolderOf(chosen, false);
    return chosen;
}

QString AskFolder(QWidget* parent, const QString& title, const QString& concerned) {
    const QString start = DialogStartFolder(concerned);
    QString folder;
    if (Script().enabled) {
        folder = ScriptedDialog(QStringLiteral("folder"), title, start).toString();
    } else {
        QFileDialog dialog(ParentOr(parent), title, start);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            folder = dialog.selectedFiles().first();
    }
    while (folder.size() > 1 && (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))))
        folder.chop(1);
    RememberFolderOf(folder, true);
    return folder;
}

bool AskColor(QWidget* parent, const QColor& initial, QColor* chosen) {
    QColor color;
    if (Script().enabled) {
        const QVariant answer = ScriptedDialog(QStringLiteral("color"), QString(), initial.name());
        color = answer.isValid() ? answer.value<QColor>() : QColor();
    } else {
        color = QColorDialog::getColor(initial, ParentOr(parent));
    }
    if (!color.isValid())
        return false;
    if (chosen)
        *chosen = color;
    return true;
}

QVariant AskCustom(const QString& kind, const std::function<QVariant()>& show) {
    if (Script().enabled)
        return ScriptedDialog(kind, QString(), QString());
    return show();
}

namespace PromptScript {

void Enable() { Script().enabled = true; }
void Disable() { Script().enabled = false; }
bool Enabled() { return Script().enabled; }

void Reset() {
    auto& s = Script();
    s.msgBoxAnswers.clear();
    s.dialogAnswers.clear();
    s.record.clear();
    LastFolderUsed().clear();
}

void QueueMsgBox(int answer) { Script().msgBoxAnswers.push_back(answer); }

void QueueDialog(const QString& kind, const QVariant& answer) {
    Script().dialogAnswers[kind].push_back(answer);
}

const std::vector<Shown>& Record() { return Script().record; }

QStringList Messages() {
    QStringList texts;
    for (const auto& shown : Script().record)
        if (shown.kind == QLatin1String("msgbox"))
            texts << shown.text;
    return texts;
}

}  // namespace PromptScript
