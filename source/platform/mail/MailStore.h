#pragma once
// The local mail store: a Maildir tree (as mbsync, offlineimap, mutt, Evolution keep it) read
// with GMime. It is all an "inbox" source needs of a mail program: folders, mails with
// their subject, sender, received time and attachments, and saving an attachment to a file.
// Failures throw mail::Error.

#include <QDateTime>
#include <QString>

#include <memory>
#include <stdexcept>
#include <vector>

namespace mail {

class Error : public std::runtime_error {
public:
    explicit Error(const QString& message, int systemError = 0);
    QString message() const { return QString::fromStdString(what()); }
    // The operating system's error number of a file that could not be written, 0 when none.
    int systemError() const { return systemError_; }

private:
    int systemError_ = 0;
};

// One folder of the tree. The Inbox is the root itself.
struct Folder {
    QString path;  // relative to the root, "/" between levels; "" for the Inbox
    QString name;  // display name: "Inbox" for the root, else the last level
    QString dir;   // the Maildir's absolute directory; "" for a level that only holds folders
    std::vector<Folder> children;  // sorted by name, ignoring case

    [[nodiscard]] bool IsMaildir() const { return !dir.isEmpty(); }
};

// A mail of a folder as listed, before it is read.
struct MailEntry {
    QString file;        // absolute path of the mail file
    QDateTime received;  // delivery time; invalid when none could be found (see problem)
    QString problem;     // why the delivery time is missing, naming the file; "" otherwise
};

struct Attachment {
    QString name;      // the file name as the mail gives it, decoded
    QString safeName;  // the same reduced to a bare file name that is safe to save under
};

// The longest file name, in bytes as the file system stores it (UTF-8), of Linux file systems.
constexpr int kMaxFileNameBytes = 255;

// An attachment name made safe to join to a folder: its last path element ("/" or "\"), without
// control characters nor the characters that reorder text (a name "report<RLO>xslx.exe" would
// show as "reportexe.xlsx"), cut to the file-system limit keeping its extension; "attachment"
// when nothing usable is left.
QString SafeFileName(const QString& name);

// A file name cut to at most `maxBytes` bytes in UTF-8, keeping its extension and whole
// characters.
QString FitFileName(const QString& name, int maxBytes = kMaxFileNameBytes);

// The subject of a mail (RFC 2047 decoded), read from its header block alone, so that mails
// whose subject doesn't match are never read whole. Throws when the file is no mail.
QString HeaderSubject(const QString& file);

// True when `dir` is a Maildir (holds cur/ and new/).
[[nodiscard]] bool IsMaildir(const QString& dir);

// One mail, parsed in full. Only mails that parse cleanly are opened: a file that is no MIME
// mail, is cut short, or carries neither a Date nor a Received header throws.
class Message {
public:
    static std::unique_ptr<Message> Open(const QString& file);
    ~Message();
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;

    QString File() const;
    QString Subject() const;        // RFC 2047 decoded
    QString SenderName() const;     // display name of the first From address, may be ""
    QString SenderAddress() const;  // its address, may be ""
    // The delivery time the headers give: the first Received header's date, else Date.
    QDateTime HeaderReceived() const;
    const std::vector<Attachment>& Attachments() const;
    // Decodes the attachment's content into `target`. The file appears under its name only once
    // it is complete, written meanwhile to a new file of a name no one can foresee in the same
    // folder; a failure, content whose transfer encoding is broken included, leaves no file.
    void SaveAttachment(size_t index, const QString& target) const;

    struct Impl;

private:
    explicit Message(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

class Store {
public:
    explicit Store(const QString& root);
    QString Root() const { return root_; }
    // The store can be used: its root is a Maildir.
    [[nodiscard]] bool IsRunning() const;
    // The folder tree: Maildir++ folders (".Reports", ".Reports.2024") and plain nested
    // Maildirs (Reports/2024) alike, below the Inbox.
    Folder Folders() const;
    // The Maildir folder with that relative path; nullptr when there is none.
    // The pointer lives as long as `tree`.
    static const Folder* FindFolder(const Folder& tree, const QString& path);
    // The mails of a folder (cur/ and new/) delivered at or after `notBefore` (all when
    // invalid), in file-name order, which for Maildir names is delivery order. A mail whose
    // file name carries no delivery time is dated from its headers alone, without reading its
    // body; one that can't be dated is listed with its problem.
    std::vector<MailEntry> Mails(const Folder& folder, const QDateTime& notBefore) const;

private:
    QString root_;
};

}  // namespace mail
