#include "services/modUtilsOutlook.h"

#include "services/App.h"
#include "services/UserPrompts.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsINI.h"
#include "services/modUtilsLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>

#include <optional>


bool gOutlookWasRunning = false;

namespace {

const QString kModule = QStringLiteral("modUtilsOutlook");
// The error number a mail store that can't be opened is logged with ("can't create the
// object"): the log database's readers group failures by it.
constexpr int32_t kCantCreateObject = 429;
const QChar kValueSeparator = QLatin1Char('`');

QString MailStoreRoot() {
    QString root = INI_ReadString(GetINIFile(), QStringLiteral("Settings"), QStringLiteral("Mail Store"),
                                  QString())
                       .trimmed();
    if (root.isEmpty())
        return QDir::homePath() + QStringLiteral("/Maildir");
    if (root == QLatin1String("~") || root.startsWith(QLatin1String("~/")))
        return QDir::homePath() + root.mid(1);
    return root;
}

// Why the store can't be used, naming its folder and where that is set, so the user can
// create the folder or point the setting at the store their mail program keeps.
QString MailStoreProblem() {
    const QString root = MailStoreRoot();
    const QString why = QFileInfo(root).isDir()
                            ? QStringLiteral("The mail store folder ") + root +
                                  QStringLiteral(" is not a Maildir folder (it has no cur and new folders).")
                            : QStringLiteral("The mail store folder ") + root +
                                  QStringLiteral(" does not exist.");
    return why + QStringLiteral(" It is set as \"Mail Store\" in section [Settings] of ") +
           GetINIFile() + QLatin1Char('.');
}

QRegularExpression PatternRegExp(const QString& pattern) {
    return QRegularExpression(WildcardToRegExp(pattern),
                              QRegularExpression::CaseInsensitiveOption |
                                  QRegularExpression::DotMatchesEverythingOption);
}

// An unknown time is earlier than every known one.
bool IsLater(const QDateTime& time, const QDateTime& than) {
    return time.isValid() && (!than.isValid() || time > than);
}

// "<base>_<yymmddhhmmss>.<extension>"; a name without an extension (or with only a leading
// dot) gets the stamp at its end.
QString StampedName(const QString& name) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyMMddHHmmss"));
    // The stamp and its "_" must fit within the file-system limit as well.
    const QString fileName = mail::FitFileName(name, mail::kMaxFileNameBytes - int(stamp.size()) - 1);
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 1)
        return fileName + QLatin1Char('_') + stamp;
    return fileName.left(dot) + QLatin1Char('_') + stamp + fileName.mid(dot);
}

}  // namespace

bool Outlook_GetInstance(OutlookInstance& olApp) {
    if (olApp)
        return true;
    auto store = std::make_unique<mail::Store>(MailStoreRoot());
    if (!store->IsRunning())
        return false;
    olApp = std::move(store);
    gOutlookWasRunning = true;
    return true;
}

bool Outlook_Init(OutlookInstance& olApp) {
    if (Outlook_GetInstance(olApp))
        return true;
    // There is no mail program to start: a store that isn't there can't be created for the user.
    gOutlookWasRunning = false;
    olApp.reset();
    LogError(kModule, QStringLiteral("Outlook_Init"), kCantCreateObject, MailStoreProblem(), true);
    return false;
}

void Outlook_Exit(OutlookInstance& olApp) {
    // A store is never started by this program, so there is nothing to quit even when
    // gOutlookWasRunning is false: releasing it is all.
    olApp.reset();
}

namespace {

// The newest mail whose subject and one of whose attachments match, and that attachment.
struct ChosenAttachment {
    std::unique_ptr<mail::Message> message;
    size_t index = 0;
};

// The folder a source's stored value names ("<path>`<display name>", the Inbox when it has no
// separator); nullopt, after a message naming it, when the store has no such folder.
std::optional<mail::Folder> StoredFolder(const mail::Store& store, const QString& folderValue) {
    QString folderPath;
    QString folderName = QStringLiteral("Inbox");
    const int separator = folderValue.indexOf(kValueSeparator);
    if (separator >= 0) {
        folderPath = folderValue.left(separator);
        folderName = folderValue.mid(separator + 1);
    }
    const mail::Folder tree = store.Folders();
    if (const mail::Folder* folder = mail::Store::FindFolder(tree, folderPath))
        return *folder;
    MsgBox(QStringLiteral("[") + folderName + QStringLiteral("] not found in the mail store ") +
               store.Root() + QStringLiteral(". Unable to check for newest files."),
           vbCritical);
    return std::nullopt;
}

// Among the folder's mails received after `newestTime`, the newest whose subject matches and
// that has a matching savable attachment (the last such attachment of the mail); `newestTime`
// becomes its delivery time. A mail that can't be read is logged and passed over.
ChosenAttachment NewestMatchingMail(const mail::Store& store, const mail::Folder& folder,
                                    const QDateTime& since, const QRegularExpression& subjectRE,
                                    const QRegularExpression& attachRE, SavableAttachments savable,
                                    QDateTime& newestTime) {
    const QString proc = QStringLiteral("NewestAttach");
    // The mail program narrowed the search to mails received on the day of `since` or
    // later before the patterns were tried; mails before that are never read.
    const QDateTime notBefore = since.isValid() ? since.date().startOfDay() : QDateTime();
    ChosenAttachment chosen;
    for (const mail::MailEntry& entry : store.Mails(folder, notBefore)) {
        if (!entry.problem.isEmpty()) {
            LogEvent(kModule, proc, QStringLiteral("Mail skipped: ") + entry.problem);
            continue;
        }
        // Only a strictly later mail can take the choice over: the others need no reading.
        if (!IsLater(entry.received, newestTime))
            continue;
        // The subject decides from the header block alone; only a match is read whole.
        std::unique_ptr<mail::Message> message;
        try {
            if (!subjectRE.match(mail::HeaderSubject(entry.file)).hasMatch())
                continue;
            message = mail::Message::Open(entry.file);
        } catch (const mail::Error& e) {
            LogEvent(kModule, proc, QStringLiteral("Mail skipped: ") + e.message());
            continue;
        }
        bool matched = false;
        for (size_t i = 0; i < message->Attachments().size(); ++i) {
            const QString& name = message->Attachments()[i].safeName;
            if (attachRE.match(name).hasMatch() &&
                (savable == SavableAttachments::Any || IsWorkbookName(name))) {
                chosen.index = i;
                matched = true;
            }
        }
        if (matched) {
            newestTime = entry.received;
            chosen.message = std::move(message);
        }
    }
    return chosen;
}

// The output folder, made when missing; false after a message when it can't be.
bool EnsureOutputFolder(const QString& outputFolder) {
    if (FolderExists(outputFolder) || FolderCreate(outputFolder))
        return true;
    MsgBox(QStringLiteral("Unable to create output path [") + outputFolder +
               QStringLiteral("].  Make sure you have rights to create the folder."),
           vbExclamation);
    return false;
}

// Saves the chosen attachment into the output folder under its own name, or a stamped one
// when that is taken, dated with the mail's delivery time; "" after a message when the file
// can't be written.
QString SaveChosenAttachment(const ChosenAttachment& chosen, const QString& outputFolder,
                             const QDateTime& received) {
    // The name the mail gives is only trusted as a bare file name inside the output folder.
    const QString fileName = chosen.message->Attachments()[chosen.index].safeName;
    const QString folderWithSeparator = App::WithSeparator(outputFolder);
    QString target = folderWithSeparator + fileName;
    // Any entry of that name counts as taken, hidden files included: none is overwritten.
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
        target = folderWithSeparator + StampedName(fileName);
    try {
        chosen.message->SaveAttachment(chosen.index, target);
    } catch (const mail::Error& e) {
        // A full disk or a read-only folder is named; otherwise the likely cause.
        const int error = e.systemError();
        MsgBox(QStringLiteral("Unable to save attachment as [") + target + QStringLiteral("].  ") +
                   (IsDiskFull(error) || error == EROFS || error == EACCES || error == EPERM
                        ? WriteFailureText(error, target)
                        : QStringLiteral("Make sure you have proper rights to the folder.")),
               vbExclamation);
        LogEvent(kModule, QStringLiteral("NewestAttach"),
                 QStringLiteral("Error during call to SaveAsFile. ErrNum = ") +
                     QString::number(ErrNum::kFileAccess) + QLatin1Char(' ') + e.message());
        return QString();
    }
    // The copy is dated as the mail was delivered, so newer-file checks compare like with like.
    // A copy that keeps its own time (logged) is still the newest attachment: it is used.
    (void)AdjustFileTime(target, received);
    return target;
}

}  // namespace

QString NewestAttach(const QString& subjectPattern, const QString& attachPattern,
                     const QString& folderValue, const QDateTime& since,
                     const QString& outputFolder, QDateTime& newestTime,
                     SavableAttachments savable) {
    const QString proc = QStringLiteral("NewestAttach");
    OutlookInstance olApp;
    try {
        const QRegularExpression attachRE = PatternRegExp(attachPattern);
        const QRegularExpression subjectRE = PatternRegExp(subjectPattern);
        if (!Outlook_GetInstance(olApp)) {
            MsgBox(App::Title() + QStringLiteral(" is unable to check the mail for updates. ") +
                       MailStoreProblem(),
                   vbCritical);
            return QString();
        }
        const std::optional<mail::Folder> folder = StoredFolder(*olApp, folderValue);
        if (!folder) {
            Outlook_Exit(olApp);
            return QString();
        }
        const ChosenAttachment chosen =
            NewestMatchingMail(*olApp, *folder, since, subjectRE, attachRE, savable, newestTime);
        if (!chosen.message) {
            Outlook_Exit(olApp);
            LogEvent(kModule, proc, QStringLiteral("post Outlook_Exit"));
            return QString();
        }
        if (!EnsureOutputFolder(outputFolder)) {
            Outlook_Exit(olApp);
            return QString();
        }
        QString result;
        // An attachment no later than the copy in hand is not saved again.
        if (IsLater(newestTime, since)) {
            result = SaveChosenAttachment(chosen, outputFolder, newestTime);
            if (result.isEmpty()) {
                Outlook_Exit(olApp);
                return QString();
            }
        }
        Outlook_Exit(olApp);
        LogEvent(kModule, proc, QStringLiteral("post Outlook_Exit"));
        return result;
    } catch (const std::exception& e) {
        LogError(kModule, proc, ErrNum::kGeneral, QString::fromStdString(e.what()), true);
        Outlook_Exit(olApp);
        return QString();
    }
}

QString Outlook_SelectFolder() {
    const QString proc = QStringLiteral("Outlook_SelectFolder");
    OutlookInstance olApp;
    try {
        if (!Outlook_Init(olApp)) {
            MsgBox(QStringLiteral("Unable to open the mail store."), vbCritical);
            return QString();
        }
        const mail::Folder tree = olApp->Folders();
        const QVariant answer = AskMailFolder(tree);
        // The value is made again from the store, so only a folder that is there is returned.
        QString result;
        const QString picked = answer.toString();
        if (!picked.isEmpty()) {
            if (const mail::Folder* folder =
                    mail::Store::FindFolder(tree, picked.section(kValueSeparator, 0, 0)))
                result = folder->path + kValueSeparator + folder->name;
        }
        if (result.isEmpty())
            LogEvent(kModule, proc, QStringLiteral("No outlook folder selected."));
        Outlook_Exit(olApp);
        return result;
    } catch (const std::exception& e) {
        LogError(kModule, proc, ErrNum::kGeneral, QString::fromStdString(e.what()), true);
        Outlook_Exit(olApp);
        return QString();
    }
}

QString StripTrailingWildcard(const QString& text) {
    return text.endsWith(QLatin1Char('*')) ? text.left(text.size() - 1) : text;
}

QString WildcardToRegExp(const QString& pattern) {
    // Every character with a meaning in a regular expression matches itself; only the two
    // wildcards are translated.
    static const QString special = QStringLiteral("\\^$.|+()[]{}");
    QString result = QStringLiteral("^");
    for (const QChar c : pattern) {
        if (c == QLatin1Char('*')) {
            result += QStringLiteral(".*");
        } else if (c == QLatin1Char('?')) {
            result += QLatin1Char('.');
        } else {
            if (special.contains(c))
                result += QLatin1Char('\\');
            result += c;
        }
    }
    return result;
}
