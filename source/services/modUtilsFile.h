#pragma once
// Files: existence checks, folder creation, renaming and copying, path splitting, the newest
// file of a mask and file times. Failures go to the log as events, never with a box.

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

[[nodiscard]] bool FileExists(const QString& path);    // normal files only
[[nodiscard]] bool FolderExists(const QString& path);  // any entry: an existing file also answers true
[[nodiscard]] bool FolderCreate(const QString& path);  // one level; the parent must exist
[[nodiscard]] bool FileRename(const QString& oldPath, const QString& newPath);
// "/" when the path holds a "/" anywhere, else "\" (also for an empty path).
QString GetPathSeparator(const QString& path);

// Copies a file over any existing target. The target is either left as it was or replaced by
// the whole copy; a target ending in a separator names the folder to copy into. The copy keeps
// the source's modification time, which the source update pass compares. A source that changes
// while it is copied (it is still being written) is not copied.
[[nodiscard]] bool File_Copy(const QString& source, const QString& target);

// File_Copy with the reason it failed. `accept`, when given, looks at the whole copy before it
// takes the target's name and may refuse it with a reason.
struct CopyOutcome {
    bool copied = false;
    bool sourceChanged = false;  // the source changed while it was read: it is still being written
    QString refused;             // why `accept` refused the copy
    int error = 0;  // otherwise the system's error number of the failure, when it has one
};
CopyOutcome File_CopyOutcome(const QString& source, const QString& target,
                             const std::function<QString(const QString& copy)>& accept = {});

// A file's size, modification time to the nanosecond and identity: what tells a file that is
// being written from one at rest.
struct FileState {
    qint64 size = 0;
    qint64 modifiedNs = 0;
    quint64 inode = 0;
    bool operator==(const FileState&) const = default;
};
std::optional<FileState> StateOfFile(const QString& path);

// A full disk (or a used-up quota): the one write failure that freeing space mends.
[[nodiscard]] bool IsDiskFull(int error);
// Why writing `path` failed, as a sentence for a message: the disk that holds it is full, it or
// its folder can't be written to, or the system's own words.
QString WriteFailureText(int error, const QString& path);

// A file written whole or not at all. The bytes go to a new hidden file in the target's folder
// (which no folder search takes), are flushed to disk, and only then take the target's name in
// one step: a full disk, a failure or a crash leaves the target as it was, never cut short.
class WholeFile {
public:
    explicit WholeFile(const QString& target);
    ~WholeFile();  // removes the new file unless it was committed
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    [[nodiscard]] bool Write(const char* data, qint64 size);
    [[nodiscard]] bool Write(const QByteArray& bytes) {
        return Write(bytes.constData(), bytes.size());
    }
    // For writers that stream into a device (an image writer); its writes go to Write.
    QIODevice* Device();
    // The new file's descriptor, for its permissions and times; -1 when it could not be made.
    int Handle() const { return fd_; }
    // Flushes the file to disk and renames it over the target; false (with Error) when any
    // write, the flush or the rename failed, and then the target is untouched.
    [[nodiscard]] bool Commit();
    int Error() const { return error_; }  // the system's error number of the first failure
    // Where the bytes are until Commit, for a look at them before they take the target's name.
    QString TemporaryPath() const;

private:
    QString target_;
    QByteArray temporary_;
    int fd_ = -1;
    int error_ = 0;
    bool committed_ = false;
    QIODevice* device_ = nullptr;
};

// Writes `bytes` to `target` through a WholeFile: 0 when written, otherwise the system's error
// number.
[[nodiscard]] int WriteWholeFile(const QString& target, const QByteArray& bytes);
// Splits a path into its folder (no trailing separator), file name and extension. Each output
// is optional; the extension output is left unchanged when the name has none, and the file
// name keeps its extension when no extension output is given.
void SplitPath(const QString& fullPath, QString* folder = nullptr, QString* fileName = nullptr,
               QString* extension = nullptr);
// The text before the last separator; "" when there is none or it is the first character.
QString GetFolder(const QString& path);
// The newest normal file matching the mask ("*" and "?", any case) as folder, separator and
// name; "" when nothing matches or the mask is empty, "none" when the folder can't be searched.
QString NewestMatch(const QString& maskPath);
// The same among the workbooks the program can show (IsWorkbookName): a mask can name any
// file of a folder, and one that came with someone else's dashboard may aim at any.
QString NewestWorkbookMatch(const QString& maskPath);
// A file name ending in ".xlsx" or ".xlsm" (any case): a workbook the program can show.
[[nodiscard]] bool IsWorkbookName(const QString& name);
// Sets the file's access and modification times to the local date-time.
[[nodiscard]] bool AdjustFileTime(const QString& path, const QDateTime& when);

