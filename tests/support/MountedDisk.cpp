#include "MountedDisk.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace testsupport {

namespace {

std::string Refused(const char* what, const QString& path, int error) {
    std::string why = std::string(what) + " " + path.toStdString() + ": " + std::strerror(error);
    if (error == EPERM || error == EACCES)
        why +=
            " (mounting the small disks of the full-disk and read-only tests needs root or "
            "CAP_SYS_ADMIN; run make test as root)";
    return why;
}

QString FillerPath(const QString& folder) { return folder + QStringLiteral("/.filler"); }

}  // namespace

MountedDisk::MountedDisk(const QString& folder, qint64 bytes) : folder_(folder) {
    const qint64 page = ::sysconf(_SC_PAGESIZE);
    options_ = QStringLiteral("size=%1,mode=0755").arg((bytes + page - 1) / page * page);
    if (!QDir().mkpath(folder)) {
        why_ = "cannot make " + folder.toStdString();
        return;
    }
    if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                options_.toLatin1().constData()) != 0) {
        why_ = Refused("cannot mount a tmpfs on", folder, errno);
        return;
    }
    mounted_ = true;
}

MountedDisk::~MountedDisk() {
    if (mounted_)
        ::umount2(QFile::encodeName(folder_).constData(), MNT_DETACH);
}

bool MountedDisk::Fill(qint64 leave) {
    const QByteArray path = QFile::encodeName(FillerPath(folder_));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0)
        return false;
    static const QByteArray block(64 * 1024, 'f');
    qint64 written = 0;
    for (;;) {
        const ssize_t n = ::write(fd, block.constData(), size_t(block.size()));
        if (n > 0) {
            written += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    // Small blocks too, so that not even a page is left.
    for (;;) {
        const ssize_t n = ::write(fd, block.constData(), 512);
        if (n <= 0)
            break;
    }
    bool ok = true;
    if (leave > 0) {
        const off_t size = ::lseek(fd, 0, SEEK_END);
        ok = ::ftruncate(fd, std::max<off_t>(0, size - off_t(leave))) == 0;
    }
    ::close(fd);
    return ok && FreeBytes() <= std::max<qint64>(leave, 0) + ::sysconf(_SC_PAGESIZE);
}

void MountedDisk::Free() { QFile::remove(FillerPath(folder_)); }

qint64 MountedDisk::FreeBytes() const {
    struct statvfs st {};
    if (::statvfs(QFile::encodeName(folder_).constData(), &st) != 0)
        return -1;
    return qint64(st.f_bavail) * qint64(st.f_frsize);
}

bool MountedDisk::SetReadOnly(bool readOnly) {
    const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
    if (::mount("tmpfs", QFile::encodeName(folder_).constData(), "tmpfs", flags,
                options_.toLatin1().constData()) != 0) {
        why_ = Refused("cannot remount", folder_, errno);
        return false;
    }
    return true;
}

ReadOnlyFile::ReadOnlyFile(const QString& path) : path_(path) {
    const QByteArray file = QFile::encodeName(path);
    if (::mount(file.constData(), file.constData(), nullptr, MS_BIND, nullptr) != 0) {
        why_ = Refused("cannot bind", path, errno);
        return;
    }
    mounted_ = true;
    if (::mount(nullptr, file.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
        why_ = Refused("cannot make read-only", path, errno);
}

ReadOnlyFile::~ReadOnlyFile() {
    if (mounted_)
        ::umount2(QFile::encodeName(path_).constData(), MNT_DETACH);
}

}  // namespace testsupport
