#pragma once
// The mail program's automation for "inbox" sources, on the local mail store: find the newest
// mail of a folder whose subject and attachment name match their patterns and save that
// attachment, and let the user pick the folder.
//
// The stored folder value is the folder's path relative to the store's root, a back-quote and
// its display name ("Reports/2024`2024"); "" or a value without a back-quote is the Inbox.
// The store's root is INI "Settings" / "Mail Store", by default ~/Maildir.

#include "platform/mail/MailStore.h"

#include <QDateTime>
#include <QString>

#include <memory>

// The "instance" of the mail program that a call attaches to: the open store.
using OutlookInstance = std::unique_ptr<mail::Store>;

// The store was already there when this program attached to it, so it must not be quit.
extern bool gOutlookWasRunning;

// Attaches to the store when its root is a Maildir; never creates one.
[[nodiscard]] bool Outlook_GetInstance(OutlookInstance& olApp);
// Attaches like Outlook_GetInstance; when there is no store, reports it with a box.
[[nodiscard]] bool Outlook_Init(OutlookInstance& olApp);
// Releases the instance (quitting it only when this program started it).
void Outlook_Exit(OutlookInstance& olApp);

// Which attachments a search may save at all, whatever its pattern says: the program itself
// saves only workbooks it can show, since a pattern can come with someone else's dashboard.
enum class SavableAttachments { Workbooks, Any };

// Saves the last matching attachment of the latest matching mail of the folder into the output
// folder and returns the saved file's path; "" when nothing newer than `since` was found or on
// failure. `newestTime` (in/out) ends as the received time of the chosen mail. An attachment
// that is not savable does not match.
QString NewestAttach(const QString& subjectPattern, const QString& attachPattern,
                     const QString& folderValue, const QDateTime& since,
                     const QString& outputFolder, QDateTime& newestTime,
                     SavableAttachments savable = SavableAttachments::Workbooks);

// The folder picker: the chosen folder's stored value, "" when the user picked nothing.
QString Outlook_SelectFolder();

// The text without its last character when that is "*".
QString StripTrailingWildcard(const QString& text);
// A regular expression for a file wildcard pattern ("*" any run, "?" one character), anchored
// at the start only; every other character matches itself. Match it without regard to case.
QString WildcardToRegExp(const QString& pattern);
