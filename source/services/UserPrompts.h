#pragma once
// Every message box and every file, folder, colour or list dialog of the program goes through
// these functions, so that tests can script the answers and read what was shown.

#include <QColor>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

class QWidget;
namespace mail {
struct Folder;
}

// Message box styles and answers. The values are the ones stored style flags and answers are
// combined with (buttons + icon + default button), so they are kept as they are.
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton1 = 0,
    vbDefaultButton2 = 256,
    vbDefaultButton3 = 512,
};

enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7 };

// Shows a message box; the title defaults to the program title. Returns a MsgBoxResult.
int MsgBox(const QString& prompt, int style = vbOKOnly, const QString& title = QString());

// File and folder dialogs start in the folder of the file or folder they concern (`concerned`,
// "" for none), else in the folder the last of them was answered in, else in the home folder.
// `concerned` is a file's path or a folder's; it need not exist.
QString DialogStartFolder(const QString& concerned);

// File dialogs: the chosen path, "" on cancel. Filters are Qt filter strings. The save dialog
// offers the concerned file's name.
QString AskOpenFile(QWidget* parent, const QString& title, const QString& concerned,
                    const QString& filter);
QString AskSaveFile(QWidget* parent, const QString& title, const QString& concerned,
                    const QString& filter, const QString& defaultSuffix = QString());
// Folder picker: the chosen folder without a trailing separator, "" on cancel.
QString AskFolder(QWidget* parent, const QString& title, const QString& concerned);
// Colour picker: false on cancel.
[[nodiscard]] bool AskColor(QWidget* parent, const QColor& initial, QColor* chosen);
// Any other modal dialog of ours that tests answer in place: `kind` names it, `show` runs the
// real dialog and returns its result.
QVariant AskCustom(const QString& kind, const std::function<QVariant()>& show);
// A choice from a short list (answered under `kind`): the chosen item, invalid on cancel.
QVariant AskItem(const QString& kind, const QString& title, const QString& prompt,
                 const QStringList& items);
// The mail folder picker over the store's folder tree: the chosen folder's stored value,
// invalid on cancel. Answered as "mailfolder".
QVariant AskMailFolder(const mail::Folder& tree);

// The real dialogs behind the prompts above. The layers without widgets ask through these
// functions; the UI helpers install the Qt dialogs at start-up (InstallPromptDialogs in
// ui/PromptDialogs.h). Until then, and in a program without windows, every message box gives
// its default button and every dialog is cancelled. Parents may be null: the dialog owner.
class PromptDialogs {
public:
    virtual ~PromptDialogs() = default;
    virtual int MessageBox(const QString& prompt, int style, const QString& caption) = 0;
    virtual QString OpenFile(QWidget* parent, const QString& title, const QString& start,
                             const QString& filter) = 0;
    virtual QString SaveFile(QWidget* parent, const QString& title, const QString& start,
                             const QString& filter, const QString& defaultSuffix) = 0;
    virtual QString Folder(QWidget* parent, const QString& title, const QString& start) = 0;
    virtual QColor Color(QWidget* parent, const QColor& initial) = 0;
    virtual QVariant Item(const QString& title, const QString& prompt, const QStringList& items) = 0;
    virtual QVariant MailFolder(const mail::Folder& tree) = 0;
};
void SetPromptDialogs(std::unique_ptr<PromptDialogs> dialogs);
// The answer a message box of that style gives by its default button.
int DefaultMsgBoxAnswer(int style);

namespace PromptScript {

// One shown prompt, as recorded while scripting is on.
struct Shown {
    QString kind;    // "msgbox", "open", "save", "folder", "color" or a custom kind
    QString title;
    QString text;    // the message, the folder (or, saving, the path) a dialog starts at, or
                     // the items of a choice, one a line
    int style = 0;   // message boxes only
    QVariant answer;
};

// Scripting on: nothing is shown, answers come from the queues, every prompt is recorded.
// A message box with no queued answer gets its default button; a dialog gets "cancel".
void Enable();
void Disable();
[[nodiscard]] bool Enabled();
void Reset();  // empties the queues and the record, and forgets the last folder used
void QueueMsgBox(int answer);
void QueueDialog(const QString& kind, const QVariant& answer);  // "" or invalid = cancel
const std::vector<Shown>& Record();
// The texts of the message boxes shown so far, in order.
QStringList Messages();

}  // namespace PromptScript
