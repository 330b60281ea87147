#include "services/modUtilsFile.h"

#include "services/modUtilsLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

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

bool File_Copy(const QString& source, const QString& target) {
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
        return false;
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
    // The copy grows under a hidden name in the target's own folder, so a mask search never
    // sees it half-written and the final rename stays on one file system; the old target is
    // only replaced once the whole copy is on disk.
    QTemporaryFile out(targetInfo.absolutePath() + QStringLiteral("/.copy-XXXXXX"));
    if (!out.open())
        return fail(out.errorString());
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(chunk.data(), chunk.size());
        if (got < 0)
            return fail(in.errorString());
        if (got == 0)
            break;
        if (out.write(chunk.constData(), got) != got)
            return fail(out.errorString());
    }
    if (!out.flush())
        return fail(out.errorString());
    // Windows' copy keeps the last-write time; the update pass dates versions by it.
    out.setPermissions(sourceInfo.permissions());
    const QDateTime modified = sourceInfo.lastModified();
    if (!out.setFileTime(modified, QFileDevice::FileModificationTime) ||
        !out.setFileTime(modified, QFileDevice::FileAccessTime))
        return fail(out.errorString());
    if (::fsync(out.handle()) != 0)
        return fail(SystemError(errno));
    if (::rename(QFile::encodeName(out.fileName()).constData(),
                 QFile::encodeName(to).constData()) != 0)
        return fail(SystemError(errno));
    out.setAutoRemove(false);
    // Make the rename itself survive a power cut.
    const int dirFd = ::open(QFile::encodeName(targetInfo.absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
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
