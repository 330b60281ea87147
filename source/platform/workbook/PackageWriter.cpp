#include "platform/workbook/PackageWriter.h"

#include "platform/workbook/Error.h"
#include "platform/workbook/ZipArchive.h"

#include <QDir>
#include <QFileInfo>

#include <zip.h>

#include <cerrno>
#include <list>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xl {

namespace {

QString ZipMessage(zip_error_t* e) { return QString::fromUtf8(zip_error_strerror(e)); }

QString SystemMessage(int err) {
    switch (err) {
    case ENOSPC:
    case EDQUOT: return QStringLiteral("there is not enough space on the disk");
    case EACCES:
    case EPERM: return QStringLiteral("permission denied");
    case EROFS: return QStringLiteral("the disk is read-only");
    default: return QString::fromLocal8Bit(std::strerror(err));
    }
}

}  // namespace

QByteArray ZipEntries(const QList<ZipEntry>& entries, const Package& source) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* src = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!src)
        throw Error(QStringLiteral("Unable to build the workbook: %1").arg(ZipMessage(&error)));
    zip_t* za = zip_open_from_source(src, ZIP_TRUNCATE, &error);
    if (!za) {
        zip_source_free(src);
        throw Error(QStringLiteral("Unable to build the workbook: %1").arg(ZipMessage(&error)));
    }
    // The source must outlive zip_close: the finished zip is read back from it.
    zip_source_keep(src);
    // The package read, opened once more for libzip to copy its entries from as they are
    // stored; it too is read at zip_close. Without it (libzip may judge a zip more strictly than
    // the reader did) the parts are inflated and deflated again.
    zip_t* from = nullptr;
    bool fromTried = false;
    QByteArray bytes;  // read from the file once; libzip reads it until zip_close
    auto copySource = [&]() -> zip_t* {
        if (!fromTried) {
            fromTried = true;
            zip_error_t e;
            zip_error_init(&e);
            try {
                bytes = source.ZipBytes();
            } catch (const Error&) {
                bytes.clear();  // the file is no longer readable: each part is read on its own below, and told
            }
            zip_source_t* s = bytes.isEmpty() ? nullptr : zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &e);
            if (s) {
                from = zip_open_from_source(s, ZIP_RDONLY, &e);
                if (!from)
                    zip_source_free(s);
            }
            zip_error_fini(&e);
        }
        return from;
    };
    // Parts inflated from the source when they could not be copied: libzip reads them at
    // zip_close.
    std::list<QByteArray> inflated;
    auto fail = [&](const QString& what) {
        const QString msg = QStringLiteral("Unable to build the workbook: %1 (%2)")
                                .arg(what, QString::fromUtf8(zip_strerror(za)));
        zip_discard(za);
        zip_source_free(src);
        if (from)
            zip_discard(from);
        throw Error(msg);
    };
    auto addBytes = [&](const QString& name, const QByteArray& data) {
        // libzip reads the buffer at zip_close, so the bytes must stay alive until then.
        zip_source_t* part = zip_source_buffer(za, data.constData(), zip_uint64_t(data.size()), 0);
        if (!part)
            fail(name);
        const zip_int64_t idx = zip_file_add(za, name.toUtf8().constData(), part, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
        if (idx < 0) {
            zip_source_free(part);
            fail(name);
        }
        zip_set_file_compression(za, zip_uint64_t(idx), ZIP_CM_DEFLATE, 6);
    };
    for (const ZipEntry& e : entries) {
        const QByteArray name = e.name.toUtf8();
        if (e.isDirectory) {
            if (zip_dir_add(za, name.constData(), ZIP_FL_ENC_UTF_8) < 0)
                fail(e.name);
            continue;
        }
        if (e.source < 0) {
            addBytes(e.name, e.data);
            continue;
        }
        const StoredEntry& stored = source.Stored(e.source);
        zip_t* copyFrom = copySource();
        const char* storedName =
            copyFrom ? zip_get_name(copyFrom, zip_uint64_t(stored.index), ZIP_FL_ENC_RAW) : nullptr;
        if (storedName && stored.rawName == storedName) {
            // Start 0 and length -1: the stored bytes as they are, never inflated.
            zip_source_t* part = zip_source_zip(za, copyFrom, zip_uint64_t(stored.index), 0, 0, -1);
            if (!part)
                fail(e.name);
            const zip_int64_t idx = zip_file_add(za, name.constData(), part, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
            if (idx < 0) {
                zip_source_free(part);
                fail(e.name);
            }
            // The entry keeps its method: libzip would deflate a stored one, and inflate and
            // deflate again one stored by another method.
            zip_set_file_compression(za, zip_uint64_t(idx), zip_int32_t(stored.method), 0);
            continue;
        }
        try {
            inflated.push_back(source.EntryBytes(e.source));
        } catch (const Error&) {
            zip_discard(za);
            zip_source_free(src);
            if (from)
                zip_discard(from);
            throw;
        }
        addBytes(e.name, inflated.back());
    }
    if (zip_close(za) < 0)
        fail(QStringLiteral("closing"));
    if (from)
        zip_discard(from);
    QByteArray out;
    if (zip_source_open(src) < 0) {
        zip_source_free(src);
        throw Error(QStringLiteral("Unable to build the workbook: the zip can't be read back"));
    }
    char buf[65536];
    zip_int64_t n;
    while ((n = zip_source_read(src, buf, sizeof buf)) > 0)
        out.append(buf, qsizetype(n));
    zip_source_close(src);
    zip_source_free(src);
    if (n < 0)
        throw Error(QStringLiteral("Unable to build the workbook: the zip can't be read back"));
    return out;
}

// Removes the temporary files a save of the same target left when it was killed half-way:
// files named `prefix` and six characters, whose lock no live save holds.
void RemoveStaleTemporaries(const QString& folder, const QString& prefix) {
    // Compared by hand: a workbook's name may hold characters a name filter reads as wildcards.
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (name.size() != prefix.size() + 6 || !name.startsWith(prefix, Qt::CaseSensitive))
            continue;
        const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + name);
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

QString LockFileOf(const QString& path) {
    const QFileInfo info(path);
    const QString lock = info.absolutePath() + QStringLiteral("/.~lock.") + info.fileName() + QLatin1Char('#');
    return QFileInfo::exists(lock) ? lock : QString();
}

void WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    const QString target = info.absoluteFilePath();
    const QString folder = info.absolutePath();
    if (info.fileName().isEmpty())
        throw Error(QStringLiteral("Unable to save the workbook: no file name was given"));
    if (!QFileInfo(folder).isDir())
        throw Error(QStringLiteral("Unable to save %1: the folder %2 does not exist").arg(target, folder));
    if (info.exists()) {
        if (info.isDir())
            throw Error(QStringLiteral("Unable to save %1: a folder of that name is there").arg(target));
        // Permission bits, not access(): a read-only workbook stays read-only for root too.
        struct stat st;
        if (!info.isWritable() ||
            (::stat(QFile::encodeName(target).constData(), &st) == 0 && (st.st_mode & 0222) == 0))
            throw Error(QStringLiteral("Unable to save %1: the file is read-only").arg(target));
    }
    if (!LockFileOf(target).isEmpty())
        throw Error(QStringLiteral("Unable to save %1: the file is open in another program (it is "
                                   "locked)")
                        .arg(target));

    const QString prefix = QStringLiteral(".") + info.fileName().left(40) + QLatin1Char('.');
    RemoveStaleTemporaries(folder, prefix);
    QByteArray tmpl = QFile::encodeName(folder + QLatin1Char('/') + prefix + QStringLiteral("XXXXXX"));
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        throw Error(QStringLiteral("Unable to save %1: %2").arg(target, SystemMessage(errno)));
    // Held while the file is written: a save that dies lets it go with its process, so a later
    // save can tell its leftover from one being written right now.
    ::flock(fd, LOCK_EX);
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(tmpl.constData());
        throw Error(QStringLiteral("Unable to save %1: %2").arg(target, SystemMessage(err)));
    };
    // The new file keeps the old one's permissions; a new file gets the usual ones.
    struct stat st;
    const QByteArray enc = QFile::encodeName(target);
    mode_t mode = 0666;
    if (::stat(enc.constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    if (::fchmod(fd, mode) != 0)
        fail(errno);
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t w = ::write(fd, p, size_t(left));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        p += w;
        left -= w;
    }
    if (::fsync(fd) != 0)
        fail(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmpl.constData());
        throw Error(QStringLiteral("Unable to save %1: %2").arg(target, SystemMessage(err)));
    }
    if (::rename(tmpl.constData(), enc.constData()) != 0) {
        const int err = errno;
        ::unlink(tmpl.constData());
        throw Error(QStringLiteral("Unable to save %1: %2").arg(target, SystemMessage(err)));
    }
    // The rename itself is made durable by flushing the folder.
    const int dfd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

}  // namespace xl
