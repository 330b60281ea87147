#pragma once
// Small file systems of their own for the tests of full and read-only disks: a real tmpfs of a
// given size mounted on a folder, made full or read-only for real, and a file made read-only by
// mounting it over itself. Mounting needs root (or CAP_SYS_ADMIN), as `make test` runs here; a
// test whose mount is refused fails and says so, rather than faking the disk.

#include <QString>

#include <string>

namespace testsupport {

class MountedDisk {
public:
    // Mounts a tmpfs of `bytes` (rounded up to whole pages) on `folder`, which must exist and
    // be empty. Ok() tells whether it worked; Why() says why not.
    MountedDisk(const QString& folder, qint64 bytes);
    ~MountedDisk();  // unmounts, whatever the state
    MountedDisk(const MountedDisk&) = delete;
    MountedDisk& operator=(const MountedDisk&) = delete;

    [[nodiscard]] bool Ok() const { return why_.empty(); }
    const std::string& Why() const { return why_; }
    QString Path() const { return folder_; }

    // Fills the disk with a hidden filler file until only `leave` bytes (rounded down to whole
    // pages) are free; Fill(0) leaves none. Free() removes the filler.
    [[nodiscard]] bool Fill(qint64 leave = 0);
    void Free();
    // Free bytes on the disk, as the file system reports them.
    qint64 FreeBytes() const;
    // Makes the whole disk read-only, or writable again, in place.
    [[nodiscard]] bool SetReadOnly(bool readOnly);

private:
    QString folder_;
    QString options_;
    std::string why_;
    bool mounted_ = false;
};

// Mounts a file read-only over itself for as long as it lives: the file can't be written by
// anyone, root included, while its folder stays writable.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    [[nodiscard]] bool Ok() const { return why_.empty(); }
    const std::string& Why() const { return why_; }

private:
    QString path_;
    std::string why_;
    bool mounted_ = false;
};

}  // namespace testsupport

// Stops the test with a failure when a disk of the test's own could not be mounted.
#define ASSERT_MOUNTED(disk) ASSERT_TRUE((disk).Ok()) << (disk).Why()
