#pragma once
// Every message box and every file, folder, colour or list dialog of the program goes through
// these functions, so that tests can script the answers and read what was shown.

#include <QColor>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <vector>

class QWidget;

// Message box styles and answers, with the values the designed procedures use.
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

// The owner of dialogs that have no window of their own to hang on (the main window).
void SetDialogOwner(QWidget* owner);
QWidget* DialogOwner();

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
bool AskColor(QWidget* parent, const QColor& initial, QColor* chosen);
// Any other modal dialog of ours that tests answer in place: `kind` names it, `show` runs the
// real dialog and returns its result.
QVariant AskCustom(const QString& kind, const std::function<QVariant()>& show);

namespace PromptScript {

// One shown prompt, as recorded while scripting is on.
struct Shown {
    QString kind;    // "msgbox", "open", "save", "folder", "color" or a custom kind
    QString title;
    QString text;    // the message, or the folder (or, saving, the path) a dialog starts at
    int style = 0;   // message boxes only
    QVariant answer;
};

// Scripting on: nothing is shown, answers come from the queues, every prompt is recorded.
// A message box with no queued answer gets its default button; a dialog gets "cancel".
void Enable();
void Disable();
bool Enabled();
void Reset();  // empties the queues and the record, and forgets the last folder used
void QueueMsgBox(int answer);
void QueueDialog(const QString& kind, const QVariant& answer);  // "" or invalid = cancel
const std::vector<Shown>& Record();
// The texts of the message boxes shown so far, in order.
QStringList Messages();

}  // namespace PromptScript
