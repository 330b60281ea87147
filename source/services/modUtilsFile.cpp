#include "services/modUtilsFile.h"

#include "services/modUtilsLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {
const QString kModule = QStringLiteral("modUtilsFile");
}

bool FileExists(const QString& path) {
    if (path.trimmed().isEmpty())
        return false;
    const QFileInfo info(path);
    // Hidden files are not found by the designed search, which skips hidden and system entries.
    return info.isFile() && !info.fileName().startsWith(QLatin1Char('.'));
}

bool FolderExists(const QString& path) {
    if (path.trimmed().isEmpty())
        return false;
    return QFileInfo::exists(path);
}

bool FolderCreate(const QString& path) {
    if (path.trimmed().isEmpty() || !QDir().mkdir(path)) {
        const QString reason = QFileInfo::exists(path) ? QStringLiteral("Path/File access error")
                               : QFileInfo(QFileInfo(path).absolutePath()).isDir()
                                   ? QStringLiteral("The folder could not be made.")
                                   : QStringLiteral("Path not found");
        LogEvent(kModule, QStringLiteral("FolderCreate"), path + QStringLiteral("\r\n") + reason);
        return false;
    }
    return true;
}

bool FileRename(const QString& oldPath, const QString& newPath) {
    if (!FileExists(oldPath))
        return false;
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
                 QStringLiteral("[") + oldPath + QStringLiteral("] could not be renamed to [") +
                     newPath + QStringLiteral("]."));
        return false;
    }
    QFile::remove(oldPath);
    return true;
}

QString GetPathSeparator(const QString& path) {
    return path.contains(QLatin1Char('/')) ? QStringLiteral("/") : QStringLiteral("\\");
}
