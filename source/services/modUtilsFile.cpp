#include "services/modUtilsFile.h"

#include "services/modUtilsLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kModule = QStringLiteral("modUtilsFile");

// A path whose only separator is "\" came from a stored Windows-style path; Linux paths that
// hold a "/" keep any "\" as part of a name.
QString FsPath(const QString& path) {
    if (path.contains(QLatin1Char('/')) || !path.contains(QLatin1Char('\\')))
        return path;
    QString converted = path;
    return converted.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

QString SystemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Matches one name against one mask, both already case-folded, "*" any run, "?" one character.
bool GlobMatch(const QList<uint>& mask, const QList<uint>& name) {
    qsizetype m = 0, n = 0, starAt = -1, resumeAt = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || (mask[m] != '*' && mask[m] == name[n]))) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == '*') {
            starAt = m++;
            resumeAt = n;
        } else if (starAt >= 0) {
            m = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

// The file search's rules: no case, "*" and "?" only (every other character, "[" and "+"
// among them, is literal), and its two dot habits that stored masks rely on: a mask ending in
// ".*" also takes names without that dot ("*.*" is every file, "report.*" takes "report"), and
// a mask ending in "." takes names that have no dot ("*." is every name without an extension).
bool FileMaskMatches(const QString& mask, const QString& name) {
    const QList<uint> m = mask.toCaseFolded().toUcs4();
    const QList<uint> n = name.toCaseFolded().toUcs4();
    if (GlobMatch(m, n))
        return true;
    if (mask.endsWith(QLatin1String(".*")))
        return GlobMatch(m.first(m.size() - 2), n);
    if (mask.endsWith(QLatin1Char('.')) && !name.contains(QLatin1Char('.')))
        return GlobMatch(m.first(m.size() - 1), n);
    return false;
}
}  // namespace

bool FileExists(const QString& path) {
    if (path.trimmed().isEmpty())
        return false;
    const QFileInfo info(FsPath(path));
    // Hidden files count as missing: the folder searches skip them too, and a file the user
    // can't see in a file dialog must not be taken as a source version.
    return info.isFile() && !info.fileName().startsWith(QLatin1Char('.'));
}

bool FolderExists(const QString& path) {
    if (path.trimmed().isEmpty())
        return false;
    return QFileInfo::exists(FsPath(path));
}

bool FolderCreate(const QString& path) {
    const QString folder = FsPath(path);
    if (path.trimmed().isEmpty() || !QDir().mkdir(folder)) {
        const QString reason = QFileInfo::exists(folder) ? QStringLiteral("Path/File access error")
                               : QFileInfo(QFileInfo(folder).absolutePath()).isDir()
                                   ? QStringLiteral("The folder could not be made.")
                                   : QStringLiteral("Path not found");
        LogEvent(kModule, QStringLiteral("FolderCreate"), path + QStringLiteral("\r\n") + reason);
        return false;
    }
    return true;
}

bool FileRename(const QString& oldName, const QString& newName) {
    if (!FileExists(oldName))
        return false;
    const QString oldPath = FsPath(oldName);
    const QString newPath = FsPath(newName);
    // rename(2) replaces the target in one step, so the target is never missing half-way.
    if (::rename(QFile::encodeName(oldPath).constData(), QFile::encodeName(newPath).constData()) == 0)
        return true;
    // Across file systems: copy, then remove the old file once the new one is there.
    QFile::remove(newPath + QStringLiteral(".part"));
    if (!QFile::copy(oldPath, newPath + QStringLiteral(".part")) ||
        ::rename(QFile::encodeName(newPath + QStringLiteral(".part")).constData(),
                 QFile::encodeName(newPath).constData()) != 0) {
        QFile::remove(newPath + QStringLiteral(".part"));
        LogEvent(kModule, QStringLiteral("FileRename"),
                 QStringLiteral("[") + oldName + QStringLiteral("] could not be renamed to [") +
                     newName + QStringLiteral("]."));
        return false;
    }
    QFile::remove(oldPath);
    return true;
}

QString GetPathSeparator(const QString& path) {
    return path.contains(QLatin1Char('/')) ? QStringLiteral("/") : QStringLiteral("\\");
}

bool IsDiskFull(int error) { return error == ENOSPC || error == EDQUOT; }

QString WriteFailureText(int error, const QString& path) {
    const QFileInfo info(FsPath(path));
    const QString folder = info.absolutePath();
    if (IsDiskFull(error))
        return QStringLiteral("The disk that holds %1 is full.").arg(folder);
    if (error == EROFS) {
        // A file can be read-only on its own (mounted so) in a folder that is not.
        if (info.exists() && ::access(QFile::encodeName(folder).constData(), W_OK) == 0)
            return QStringLiteral("%1 is read-only.").arg(path);
        return QStringLiteral("The disk that holds %1 is read-only.").arg(folder);
    }
    if (error == EACCES || error == EPERM) {
        // The file itself when it is there and refuses writing; otherwise its folder refused
        // the new file.
        if (info.exists() &&
            ::access(QFile::encodeName(info.absoluteFilePath()).constData(), W_OK) != 0)
            return QStringLiteral("%1 is read-only.").arg(path);
        return QStringLiteral("The folder %1 can't be written to.").arg(folder);
    }
    return error ? SystemError(error) + QLatin1Char('.')
                 : QStringLiteral("It could not be written.");
}

namespace {

// The writes of a streaming writer, handed on to its WholeFile.
class WholeFileDevice : public QIODevice {
public:
    explicit WholeFileDevice(WholeFile& file) : file_(file) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        return file_.Write(data, size) ? size : -1;
    }

private:
    WholeFile& file_;
};

}  // namespace

WholeFile::WholeFile(const QString& target) : target_(FsPath(target)) {
    const QFileInfo info(target_);
    temporary_ = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") +
                                   info.fileName().left(40) + QStringLiteral(".XXXXXX"));
    fd_ = ::mkstemp(temporary_.data());
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    // mkstemp makes the file private; it gets what the target had, or what a new file gets.
    struct stat st {};
    mode_t mode = 0666;
    if (::stat(QFile::encodeName(target_).constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    ::fchmod(fd_, mode);
}

WholeFile::~WholeFile() {
    delete device_;
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_ && !temporary_.isEmpty())
        ::unlink(temporary_.constData());
}

bool WholeFile::Write(const char* data, qint64 size) {
    if (fd_ < 0 || error_)
        return false;
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            error_ = errno;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

QIODevice* WholeFile::Device() {
    if (!device_)
        device_ = new WholeFileDevice(*this);
    return device_;
}

bool WholeFile::Commit() {
    if (fd_ < 0 || error_)
        return false;
    // Space a file system promised but could not give shows here at the latest.
    if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
        error_ = errno;
        fd_ = -1;
        return false;
    }
    fd_ = -1;
    if (::rename(temporary_.constData(), QFile::encodeName(target_).constData()) != 0) {
        error_ = errno;
        return false;
    }
    committed_ = true;
    // Make the rename itself survive a power cut.
    const int dirFd = ::open(QFile::encodeName(QFileInfo(target_).absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

int WriteWholeFile(const QString& target, const QByteArray& bytes) {
    WholeFile file(target);
    if (file.Write(bytes) && file.Commit())
        return 0;
    return file.Error() ? file.Error() : EIO;
}

QString WholeFile::TemporaryPath() const { return QFile::decodeName(temporary_); }

namespace {

FileState StateOf(const struct stat& st) {
    return {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            quint64(st.st_ino)};
}

}  // namespace

std::optional<FileState> StateOfFile(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(FsPath(path)).constData(), &st) != 0)
        return std::nullopt;
    return StateOf(st);
}

CopyOutcome File_CopyOutcome(const QString& source, const QString& target,
                             const std::function<QString(const QString& copy)>& accept) {
    CopyOutcome outcome;
    const QString from = FsPath(source);
    QString to = FsPath(target);
    if (to.endsWith(QLatin1Char('/')))
        to += QFileInfo(from).fileName();
    const QFileInfo sourceInfo(from);
    const QFileInfo targetInfo(to);
    auto fail = [&](const QString& reason) {
        LogEvent(kModule, QStringLiteral("File_Copy"),
                 QStringLiteral("[") + source + QStringLiteral("] could not be copied to [") +
                     target + QStringLiteral("]: ") + reason);
        return outcome;
    };
    if (from.isEmpty() || !sourceInfo.isFile())
        return fail(QStringLiteral("File not found"));
    if (to.isEmpty())
        return fail(QStringLiteral("Bad file name or number"));
    if (targetInfo.isDir())
        return fail(QStringLiteral("Permission denied"));
    if (targetInfo.exists() && sourceInfo.canonicalFilePath() == targetInfo.canonicalFilePath())
        return fail(QStringLiteral("Permission denied"));
    if (!targetInfo.absoluteDir().exists())
        return fail(QStringLiteral("Path not found"));

    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return fail(in.errorString());
    struct stat before {};
    if (::fstat(in.handle(), &before) != 0) {
        outcome.error = errno;
        return fail(SystemError(outcome.error));
    }
    // The copy grows under a hidden name in the target's own folder, so a mask search never
    // sees it half-written and the final rename stays on one file system; the old target is
    // only replaced once the whole copy is on disk.
    WholeFile out(to);
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(chunk.data(), chunk.size());
        if (got < 0)
            return fail(in.errorString());
        if (got == 0)
            break;
        if (!out.Write(chunk.constData(), got)) {
            outcome.error = out.Error();
            return fail(WriteFailureText(outcome.error, to));
        }
    }
    // A file that changed while it was read is still being written: what was read may be any
    // mix of its old and new bytes, or only the first of them.
    struct stat after {};
    if (::fstat(in.handle(), &after) != 0 || StateOf(after) != StateOf(before) ||
        StateOfFile(from) != StateOf(before)) {
        outcome.sourceChanged = true;
        return fail(QStringLiteral("it changed while it was copied (it is still being written)"));
    }
    if (accept) {
        outcome.refused = accept(out.TemporaryPath());
        if (!outcome.refused.isEmpty())
            return fail(outcome.refused);
    }
    // Windows' copy keeps the last-write time; the update pass dates versions by it.
    ::fchmod(out.Handle(), before.st_mode & 07777);
    const timespec times[2] = {before.st_mtim, before.st_mtim};
    if (::futimens(out.Handle(), times) != 0) {
        outcome.error = errno;
        return fail(SystemError(outcome.error));
    }
    if (!out.Commit()) {
        outcome.error = out.Error();
        return fail(WriteFailureText(outcome.error, to));
    }
    outcome.copied = true;
    return outcome;
}

bool File_Copy(const QString& source, const QString& target) {
    return File_CopyOutcome(source, target).copied;
}

QString GetFolder(const QString& path) {
    const qsizetype at = path.lastIndexOf(GetPathSeparator(path));
    return at <= 0 ? QString() : path.left(at);
}

void SplitPath(const QString& fullPath, QString* folder, QString* fileName, QString* extension) {
    if (!folder && !fileName && !extension)
        return;
    if (folder)
        *folder = GetFolder(fullPath);
    // The name is what follows the last separator, also for a file in the root folder.
    const qsizetype at = fullPath.lastIndexOf(GetPathSeparator(fullPath));
    QString name = fullPath.mid(at + 1);
    if (extension) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot >= 1) {
            *extension = name.mid(dot + 1);
            name.truncate(dot);
        }
    }
    if (fileName)
        *fileName = name;
}

bool IsWorkbookName(const QString& name) {
    return name.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".xlsm"), Qt::CaseInsensitive);
}

namespace {

QString NewestMatchOf(const QString& maskPath, bool workbooksOnly) {
    if (maskPath.isEmpty())
        return QString();
    const QString separator = GetPathSeparator(maskPath);
    const qsizetype at = maskPath.lastIndexOf(separator);
    const QString mask = maskPath.mid(at + 1);
    if (mask.isEmpty())
        return QString();
    // A mask without a folder searches the current folder and answers with the bare name; one
    // whose only separator leads searches the root.
    const QString prefix = at < 0 ? QString() : maskPath.left(at) + separator;
    const QString searchIn = at < 0 ? QStringLiteral(".") : at == 0 ? QStringLiteral("/")
                                                                    : FsPath(maskPath.left(at));

    DIR* dir = ::opendir(QFile::encodeName(searchIn).constData());
    if (!dir)
        return QStringLiteral("none");
    const QDateTime start(QDate(1900, 1, 1), QTime(0, 0));
    QDateTime best = start;
    QString bestName;
    bool failed = false;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            failed = errno != 0;
            break;
        }
        const QString name = QFile::decodeName(entry->d_name);
        // Hidden entries are not normal files for the search.
        if (name.startsWith(QLatin1Char('.')) || !FileMaskMatches(mask, name) ||
            (workbooksOnly && !IsWorkbookName(name)))
            continue;
        struct stat st {};
        const QByteArray full = QFile::encodeName(searchIn + QLatin1Char('/') + name);
        // A file removed between listing and looking is simply no longer a candidate.
        if (::stat(full.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const QDateTime modified = QDateTime::fromMSecsSinceEpoch(
            qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000);
        if (modified > best) {
            best = modified;
            bestName = name;
        }
    }
    ::closedir(dir);
    if (failed)
        return QStringLiteral("none");
    return bestName.isEmpty() ? QString() : prefix + bestName;
}

}  // namespace

QString NewestMatch(const QString& maskPath) { return NewestMatchOf(maskPath, false); }

QString NewestWorkbookMatch(const QString& maskPath) { return NewestMatchOf(maskPath, true); }

// Linux keeps no creation time that a program can set, so the access and modification times
// carry the date-time; the modification time is the one the program reads back.
bool AdjustFileTime(const QString& path, const QDateTime& when) {
    QString reason;
    if (!when.isValid()) {
        reason = QStringLiteral("Invalid date");
    } else {
        timespec times[2];
        times[0].tv_sec = static_cast<time_t>(when.toSecsSinceEpoch());
        times[0].tv_nsec = 0;
        times[1] = times[0];
        if (::utimensat(AT_FDCWD, QFile::encodeName(FsPath(path)).constData(), times, 0) == 0)
            return true;
        reason = SystemError(errno);
    }
    LogEvent(kModule, QStringLiteral("AdjustFileTime"),
             QStringLiteral("[") + path + QStringLiteral("] ") + reason);
    return false;
}
