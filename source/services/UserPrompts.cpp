#include "services/UserPrompts.h"

#include "services/App.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>

#include <algorithm>
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

std::unique_ptr<PromptDialogs>& Dialogs() {
    static std::unique_ptr<PromptDialogs> dialogs;
    return dialogs;
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

int DefaultMsgBoxAnswer(int style) {
    const int buttons = style & 7;
    const int defaultIndex = (style & vbDefaultButton3) ? 2 : (style & vbDefaultButton2) ? 1 : 0;
    static const std::vector<std::vector<int>> table = {
        {vbOK}, {vbOK, vbCancel}, {vbAbort, vbRetry, vbIgnore}, {vbYes, vbNo, vbCancel},
        {vbYes, vbNo}, {vbRetry, vbCancel}};
    const auto& row = table[buttons < 6 ? buttons : 0];
    return row[std::min<size_t>(defaultIndex, row.size() - 1)];
}

void SetPromptDialogs(std::unique_ptr<PromptDialogs> dialogs) { Dialogs() = std::move(dialogs); }

int MsgBox(const QString& prompt, int style, const QString& title) {
    const QString caption = title.isEmpty() ? App::Title() : title;
    auto& s = Script();
    if (s.enabled) {
        int answer = DefaultMsgBoxAnswer(style);
        if (!s.msgBoxAnswers.empty()) {
            answer = s.msgBoxAnswers.front();
            s.msgBoxAnswers.pop_front();
        }
        s.record.push_back({QStringLiteral("msgbox"), caption, prompt, style, answer});
        return answer;
    }
    return Dialogs() ? Dialogs()->MessageBox(prompt, style, caption) : DefaultMsgBoxAnswer(style);
}

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
    QString chosen;
    if (Script().enabled)
        chosen = ScriptedDialog(QStringLiteral("open"), title, start).toString();
    else if (Dialogs())
        chosen = Dialogs()->OpenFile(parent, title, start, filter);
    RememberFolderOf(chosen, false);
    return chosen;
}

QString AskSaveFile(QWidget* parent, const QString& title, const QString& concerned,
                    const QString& filter, const QString& defaultSuffix) {
    const QString start = SaveStartPath(concerned);
    QString chosen;
    if (Script().enabled)
        chosen = ScriptedDialog(QStringLiteral("save"), title, start).toString();
    else if (Dialogs())
        chosen = Dialogs()->SaveFile(parent, title, start, filter, defaultSuffix);
    RememberFolderOf(chosen, false);
    return chosen;
}

QString AskFolder(QWidget* parent, const QString& title, const QString& concerned) {
    const QString start = DialogStartFolder(concerned);
    QString folder;
    if (Script().enabled)
        folder = ScriptedDialog(QStringLiteral("folder"), title, start).toString();
    else if (Dialogs())
        folder = Dialogs()->Folder(parent, title, start);
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
    } else if (Dialogs()) {
        color = Dialogs()->Color(parent, initial);
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

QVariant AskItem(const QString& kind, const QString& title, const QString& prompt,
                 const QStringList& items) {
    if (Script().enabled)
        return ScriptedDialog(kind, title, items.join(QLatin1Char('\n')));
    return Dialogs() ? Dialogs()->Item(title, prompt, items) : QVariant();
}

QVariant AskMailFolder(const mail::Folder& tree) {
    if (Script().enabled)
        return ScriptedDialog(QStringLiteral("mailfolder"), QString(), QString());
    return Dialogs() ? Dialogs()->MailFolder(tree) : QVariant();
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
