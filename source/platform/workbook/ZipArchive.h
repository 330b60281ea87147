#pragma once
// A zip read the way a workbook is read: the central directory at once, each entry's bytes
// only when they are asked for, inflated whole or a piece at a time, their size and checksum
// checked. A zip in a file is read by offset, never held whole: a small range beside a large
// sheet reads the directory and the parts it needs, not the sheet's bytes. Nothing here keeps
// inflated bytes: the caller holds them as long as it needs them.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace xl {

// The bytes of a zip: held in memory, or read by offset from a file kept open while they are
// used. The open file stays the version that was opened when another takes its name; one
// written over in place or cut short reads as damaged, never as a crash (the file is read,
// not mapped, so a file that shrinks can't fault the process).
class ZipSource {
public:
    static std::shared_ptr<const ZipSource> InMemory(const QByteArray& bytes);
    // Throws xl::Error with the reason alone when the file can't be opened.
    static std::shared_ptr<const ZipSource> OfFile(const QString& path);
    ~ZipSource();
    ZipSource(const ZipSource&) = delete;
    ZipSource& operator=(const ZipSource&) = delete;

    int64_t Size() const { return size_; }
    // Copies `size` bytes from `offset` into `out`. Throws xl::Error when the file no longer
    // holds them (it was cut short or can't be read).
    void Read(int64_t offset, char* out, int64_t size) const;
    QByteArray Read(int64_t offset, int64_t size) const;
    // The bytes themselves when held in memory, nullptr for a file.
    const char* Memory() const { return fd_ < 0 ? bytes_.constData() : nullptr; }
    // Every byte (read now, for a file).
    QByteArray All() const;

private:
    ZipSource() = default;
    QByteArray bytes_;
    int fd_ = -1;
    int64_t size_ = 0;
};

// One entry as the central directory describes it.
struct StoredEntry {
    QString name;
    QByteArray rawName;        // the name's bytes as stored
    bool isDirectory = false;
    uint16_t method = 0;       // 0 stored, 8 deflated; others are read through libzip
    uint32_t crc = 0;
    int64_t storedSize = 0;    // its bytes in the zip
    int64_t size = 0;          // its bytes inflated, as declared
    int64_t dataOffset = 0;    // where its stored bytes begin in the zip
    int index = 0;             // its place in the central directory
};

// The central directory of `zip`, each entry's stored bytes found inside the zip. Throws
// xl::Error with the reason alone when the bytes are no zip this program reads (no end of
// central directory, a directory or an entry beyond the bytes, an encrypted entry, a zip
// split over several files) or when it has more than `maxEntries` entries.
std::vector<StoredEntry> ReadZipDirectory(const ZipSource& zip, int64_t maxEntries);

// Why the zip file at `path` is not whole; "" when it is: its central directory reads and every
// entry it lists has its header where the directory says. A zip still being written, or cut
// short, has no directory at its end yet. Only the directory and the headers are read.
QString ZipFileNotWhole(const QString& path);

// The entry's bytes inflated whole. Throws xl::Error "part <name> is damaged (...)" when they
// do not inflate to the declared size and checksum.
QByteArray InflateEntry(const ZipSource& zip, const StoredEntry& entry);

// An entry's bytes inflated a piece at a time, so that a part far larger than its stored bytes
// never needs to be held inflated whole. Small parts are inflated whole at once, which is
// faster, and handed out in pieces.
class EntryReader {
public:
    // Parts up to this size are inflated whole.
    static constexpr int64_t kWholeBytes = int64_t(16) << 20;

    // An empty reader: no bytes at all.
    EntryReader();
    EntryReader(std::shared_ptr<const ZipSource> zip, const StoredEntry& entry);
    ~EntryReader();
    EntryReader(EntryReader&&) noexcept;
    EntryReader& operator=(EntryReader&&) noexcept;

    // Appends up to `max` more bytes of the entry to `out` and returns how many; 0 once all
    // are read, their size and checksum found right. Throws xl::Error when they are not.
    qsizetype Read(QByteArray& out, qsizetype max);
    // The inflated size the directory declares (and Read holds the entry to).
    int64_t Size() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace xl
