#include "platform/workbook/ZipArchive.h"

#include "platform/workbook/Error.h"
#include "platform/workbook/Package.h"

#include <libdeflate.h>
#include <zip.h>
#include <zlib.h>

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xl {

namespace {

constexpr uint32_t kEndOfDirectory = 0x06054b50;
constexpr uint32_t kEndOfDirectory64 = 0x06064b50;
constexpr uint32_t kEndOfDirectory64Locator = 0x07064b50;
constexpr uint32_t kDirectoryHeader = 0x02014b50;
constexpr uint32_t kLocalHeader = 0x04034b50;
constexpr uint16_t kZip64Extra = 0x0001;
constexpr uint16_t kEncryptedFlag = 0x0001 | 0x0040;  // traditional or strong encryption
constexpr uint16_t kStored = 0, kDeflated = 8;

// Little-endian numbers at a position already checked to lie inside the bytes.
uint16_t U16(const char* p) { return uint16_t(uint8_t(p[0]) | uint8_t(p[1]) << 8); }
uint32_t U32(const char* p) { return uint32_t(U16(p)) | uint32_t(U16(p + 2)) << 16; }
uint64_t U64(const char* p) { return uint64_t(U32(p)) | uint64_t(U32(p + 4)) << 32; }

[[noreturn]] void NotAZip(const char* why) {
    throw Error(QStringLiteral("it is not a zip package (%1)").arg(QString::fromLatin1(why)));
}

// Where the directory is, from the end of central directory record (and its zip64 form).
struct DirectoryPlace {
    uint64_t entries = 0, size = 0, offset = 0;
};

bool Inside(uint64_t offset, uint64_t length, int64_t total) {
    return offset <= uint64_t(total) && length <= uint64_t(total) - offset;
}

// The end records name where the directory is; a comment after them may hold anything, so the
// last record whose directory lies inside the bytes is the one. They lie in the last 64 KB.
DirectoryPlace FindDirectory(const ZipSource& zip) {
    const int64_t size = zip.Size();
    if (size < 22)
        NotAZip("too short for a zip");
    const int64_t tailStart = std::max<int64_t>(0, size - 22 - 0xFFFF);
    const QByteArray tail = zip.Read(tailStart, size - tailStart);
    const char* data = tail.constData();
    for (qsizetype at = tail.size() - 22; at >= 0; --at) {
        if (U32(data + at) != kEndOfDirectory)
            continue;
        const char* end = data + at;
        const int64_t endOffset = tailStart + at;
        DirectoryPlace place{U16(end + 10), U32(end + 12), U32(end + 16)};
        if (U16(end + 4) != 0 || U16(end + 6) != 0 || U16(end + 8) != U16(end + 10))
            NotAZip("it is split over several files");
        const bool zip64 = place.entries == 0xFFFF || place.size == 0xFFFFFFFF || place.offset == 0xFFFFFFFF;
        if (zip64 && at >= 20 && U32(end - 20) == kEndOfDirectory64Locator) {
            const uint64_t record = U64(end - 20 + 8);
            if (!Inside(record, 56, endOffset))
                continue;
            const QByteArray r64 = zip.Read(int64_t(record), 56);
            const char* r = r64.constData();
            if (U32(r) != kEndOfDirectory64)
                continue;
            if (U32(r + 16) != 0 || U32(r + 20) != 0 || U64(r + 24) != U64(r + 32))
                NotAZip("it is split over several files");
            place = {U64(r + 32), U64(r + 40), U64(r + 48)};
        }
        if (Inside(place.offset, place.size, endOffset))
            return place;
    }
    NotAZip("no end of its central directory");
}

// The zip64 extra field of a directory header: the 64-bit values of the fields whose 32-bit
// ones are saturated, in the order the format gives them.
void ReadZip64Extra(const char* extra, uint16_t length, StoredEntry& e, uint64_t& localOffset,
                    bool sizeSaturated, bool storedSaturated, bool offsetSaturated) {
    for (uint32_t at = 0; at + 4 <= length;) {
        const uint16_t id = U16(extra + at), len = U16(extra + at + 2);
        if (at + 4 + len > length)
            break;
        if (id == kZip64Extra) {
            const char* p = extra + at + 4;
            uint32_t left = len;
            auto next = [&](uint64_t& out) {
                if (left < 8)
                    NotAZip("a zip64 field is cut short");
                out = U64(p);
                p += 8;
                left -= 8;
            };
            uint64_t v = 0;
            if (sizeSaturated) {
                next(v);
                e.size = int64_t(std::min<uint64_t>(v, uint64_t(1) << 62));
            }
            if (storedSaturated) {
                next(v);
                e.storedSize = int64_t(std::min<uint64_t>(v, uint64_t(1) << 62));
            }
            if (offsetSaturated)
                next(localOffset);
            return;
        }
        at += 4 + len;
    }
    if (sizeSaturated || storedSaturated || offsetSaturated)
        NotAZip("an entry's zip64 sizes are missing");
}

QString PartDamaged(const StoredEntry& e, const QString& why) {
    return QStringLiteral("part %1 is damaged (%2)").arg(e.name, why);
}

QString SizeMismatch(const StoredEntry& e, int64_t made) {
    return PartDamaged(e, QStringLiteral("it inflates to %1 bytes, not the %2 its zip entry declares")
                              .arg(made)
                              .arg(e.size));
}

uint32_t Crc(uint32_t crc, const char* data, size_t size) {
    return libdeflate_crc32(crc, data, size);
}

// Methods other than store and deflate, as libzip reads them (bzip2, xz... when it was built
// with them); its own zip handle, so that threads reading the same zip never share one.
QByteArray InflateThroughLibzip(const ZipSource& source, const StoredEntry& e) {
    const QByteArray zip = source.All();
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* src = zip_source_buffer_create(zip.constData(), zip_uint64_t(zip.size()), 0, &err);
    zip_t* za = src ? zip_open_from_source(src, ZIP_RDONLY, &err) : nullptr;
    if (!za) {
        if (src)
            zip_source_free(src);
        const QString why = QString::fromUtf8(zip_error_strerror(&err));
        zip_error_fini(&err);
        throw Error(PartDamaged(e, why));
    }
    zip_error_fini(&err);
    std::unique_ptr<zip_t, void (*)(zip_t*)> guard(za, [](zip_t* z) { zip_discard(z); });
    const char* name = zip_get_name(za, zip_uint64_t(e.index), ZIP_FL_ENC_RAW);
    if (!name || QByteArray(name) != e.rawName)
        throw Error(PartDamaged(e, QStringLiteral("its directory entry can't be found again")));
    zip_file_t* zf = zip_fopen_index(za, zip_uint64_t(e.index), 0);
    if (!zf)
        throw Error(PartDamaged(e, QString::fromUtf8(zip_strerror(za))));
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> fileGuard(zf, zip_fclose);
    QByteArray out(qsizetype(e.size) + 1, Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(zf, out.data() + used, zip_uint64_t(out.size() - used));
        if (n < 0)
            throw Error(PartDamaged(e, QString::fromUtf8(zip_file_strerror(zf))));
        if (n == 0)
            break;
        used += qsizetype(n);
        if (used > e.size)
            throw Error(SizeMismatch(e, used));
    }
    if (used != e.size)
        throw Error(SizeMismatch(e, used));
    out.truncate(used);
    if (Crc(0, out.constData(), size_t(used)) != e.crc)
        throw Error(PartDamaged(e, QStringLiteral("its checksum is wrong")));
    return out;
}

}  // namespace

std::vector<StoredEntry> ReadZipDirectory(const ZipSource& zip, int64_t maxEntries) {
    const DirectoryPlace place = FindDirectory(zip);
    if (place.entries > uint64_t(maxEntries))
        throw Error(QStringLiteral("the package has too many entries (%1)").arg(place.entries));
    const QByteArray directory = zip.Read(int64_t(place.offset), int64_t(place.size));
    const char* data = directory.constData();
    const int64_t directoryEnd = directory.size();
    std::vector<StoredEntry> out;
    out.reserve(size_t(place.entries));
    uint64_t at = 0;
    char local[30];
    for (uint64_t i = 0; i < place.entries; ++i) {
        if (!Inside(at, 46, directoryEnd) || U32(data + at) != kDirectoryHeader)
            NotAZip("its central directory is damaged");
        const char* h = data + at;
        const uint16_t nameLength = U16(h + 28), extraLength = U16(h + 30), commentLength = U16(h + 32);
        if (!Inside(at + 46, uint64_t(nameLength) + extraLength + commentLength, directoryEnd))
            NotAZip("its central directory is damaged");
        StoredEntry e;
        e.index = int(i);
        e.rawName = QByteArray(h + 46, nameLength);
        e.name = QString::fromUtf8(e.rawName);
        e.isDirectory = e.name.endsWith(QLatin1Char('/'));
        const uint16_t flags = U16(h + 8);
        e.method = U16(h + 10);
        e.crc = U32(h + 16);
        const uint32_t stored32 = U32(h + 20), size32 = U32(h + 24), offset32 = U32(h + 42);
        e.storedSize = stored32;
        e.size = size32;
        uint64_t localOffset = offset32;
        ReadZip64Extra(h + 46 + nameLength, extraLength, e, localOffset, size32 == 0xFFFFFFFF,
                       stored32 == 0xFFFFFFFF, offset32 == 0xFFFFFFFF);
        if (flags & kEncryptedFlag)
            throw Error(QStringLiteral("part %1 is encrypted").arg(e.name));
        // The local header repeats the name and may carry extra fields of its own length; the
        // stored bytes follow it.
        if (!Inside(localOffset, 30, zip.Size()))
            throw Error(PartDamaged(e, QStringLiteral("its local header is missing")));
        zip.Read(int64_t(localOffset), local, 30);
        if (U32(local) != kLocalHeader)
            throw Error(PartDamaged(e, QStringLiteral("its local header is missing")));
        const uint64_t dataOffset = localOffset + 30 + U16(local + 26) + U16(local + 28);
        if (!Inside(dataOffset, uint64_t(e.storedSize), zip.Size()))
            throw Error(PartDamaged(e, QStringLiteral("its bytes run past the end of the file")));
        e.dataOffset = int64_t(dataOffset);
        out.push_back(std::move(e));
        at += 46 + uint64_t(nameLength) + extraLength + commentLength;
    }
    return out;
}

QByteArray InflateEntry(const ZipSource& zip, const StoredEntry& e) {
    if (e.method != kStored && e.method != kDeflated)
        return InflateThroughLibzip(zip, e);
    // A zip in a file: its stored bytes, read for the moment they are inflated.
    QByteArray read;
    const char* stored = zip.Memory();
    if (stored) {
        stored += e.dataOffset;
    } else {
        read = zip.Read(e.dataOffset, e.storedSize);
        stored = read.constData();
    }
    if (e.method == kStored) {
        if (e.storedSize != e.size)
            throw Error(SizeMismatch(e, e.storedSize));
        QByteArray out = read.isNull() ? QByteArray(stored, qsizetype(e.size)) : read;
        if (Crc(0, out.constData(), size_t(out.size())) != e.crc)
            throw Error(PartDamaged(e, QStringLiteral("its checksum is wrong")));
        return out;
    }
    thread_local std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    if (!inflater)
        throw std::bad_alloc();
    QByteArray out(qsizetype(e.size), Qt::Uninitialized);
    size_t inUsed = 0, made = 0;
    const libdeflate_result result = libdeflate_deflate_decompress_ex(
        inflater.get(), stored, size_t(e.storedSize), out.data(), size_t(out.size()), &inUsed, &made);
    if (result == LIBDEFLATE_INSUFFICIENT_SPACE)
        throw Error(PartDamaged(e, QStringLiteral("it inflates to more than the %1 bytes its zip entry declares")
                                       .arg(e.size)));
    if (result != LIBDEFLATE_SUCCESS)
        throw Error(PartDamaged(e, QStringLiteral("its deflated bytes are invalid")));
    if (made != size_t(e.size))
        throw Error(SizeMismatch(e, int64_t(made)));
    if (Crc(0, out.constData(), size_t(out.size())) != e.crc)
        throw Error(PartDamaged(e, QStringLiteral("its checksum is wrong")));
    return out;
}

// ---- ZipSource ------------------------------------------------------------------------------

std::shared_ptr<const ZipSource> ZipSource::InMemory(const QByteArray& bytes) {
    std::shared_ptr<ZipSource> s(new ZipSource);
    s->bytes_ = bytes;
    s->size_ = bytes.size();
    return s;
}

std::shared_ptr<const ZipSource> ZipSource::OfFile(const QString& path) {
    std::shared_ptr<ZipSource> s(new ZipSource);
    s->fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (s->fd_ < 0)
        throw Error(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st;
    if (::fstat(s->fd_, &st) != 0)
        throw Error(QString::fromLocal8Bit(std::strerror(errno)));
    s->size_ = int64_t(st.st_size);
    return s;
}

ZipSource::~ZipSource() {
    if (fd_ >= 0)
        ::close(fd_);
}

void ZipSource::Read(int64_t offset, char* out, int64_t size) const {
    if (offset < 0 || size < 0 || !Inside(uint64_t(offset), uint64_t(size), size_))
        throw Error(QStringLiteral("the file ends before its zip directory says it does"));
    if (fd_ < 0) {
        std::memcpy(out, bytes_.constData() + offset, size_t(size));
        return;
    }
    while (size > 0) {
        const ssize_t n = ::pread(fd_, out, size_t(std::min<int64_t>(size, int64_t(1) << 30)), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw Error(QStringLiteral("the file can't be read (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
        // Another program cut the file short since it was opened (a copy being written again).
        if (n == 0)
            throw Error(QStringLiteral("the file was cut short while it was being read"));
        out += n;
        offset += n;
        size -= n;
    }
}

QByteArray ZipSource::Read(int64_t offset, int64_t size) const {
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    Read(offset, out.data(), size);
    return out;
}

QByteArray ZipSource::All() const { return fd_ < 0 ? bytes_ : Read(0, size_); }

// ---- EntryReader ----------------------------------------------------------------------------

struct EntryReader::State {
    StoredEntry entry;
    std::shared_ptr<const ZipSource> zip;
    // Inflated whole (small parts, and methods zlib does not read), handed out from `whole`;
    // otherwise inflated by zlib as asked.
    bool streaming = false;
    QByteArray whole;
    int64_t handedOut = 0;
    // The stored bytes not yet given to zlib: read from a file a piece at a time.
    QByteArray input;
    int64_t storedRead = 0;
    z_stream z{};
    bool zOpen = false;
    bool finished = false;
    uint32_t crc = 0;

    ~State() {
        if (zOpen)
            inflateEnd(&z);
    }

    // Gives zlib more stored bytes once it has used up those it had.
    void Feed() {
        if (z.avail_in > 0 || storedRead == entry.storedSize)
            return;
        constexpr int64_t kPiece = int64_t(1) << 18;
        const int64_t n = std::min(kPiece, entry.storedSize - storedRead);
        if (const char* memory = zip->Memory()) {
            // zlib counts its input in 32 bits; the reader refuses files of a gigabyte and more.
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(memory + entry.dataOffset + storedRead));
            z.avail_in = uInt(entry.storedSize - storedRead);
            storedRead = entry.storedSize;
            return;
        }
        input.resize(qsizetype(n));
        zip->Read(entry.dataOffset + storedRead, input.data(), n);
        z.next_in = reinterpret_cast<Bytef*>(input.data());
        z.avail_in = uInt(n);
        storedRead += n;
    }
};

EntryReader::EntryReader() : state_(std::make_unique<State>()) { state_->finished = true; }

EntryReader::EntryReader(std::shared_ptr<const ZipSource> zip, const StoredEntry& entry)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.entry = entry;
    s.zip = std::move(zip);
    s.streaming = (entry.method == kDeflated || entry.method == kStored) && entry.size > kWholeBytes;
    if (!s.streaming) {
        s.whole = InflateEntry(*s.zip, entry);
        return;
    }
    if (entry.method == kStored) {
        if (entry.storedSize != entry.size)
            throw Error(SizeMismatch(entry, entry.storedSize));
        return;
    }
    if (inflateInit2(&s.z, -MAX_WBITS) != Z_OK)
        throw std::bad_alloc();
    s.zOpen = true;
}

EntryReader::~EntryReader() = default;
EntryReader::EntryReader(EntryReader&&) noexcept = default;
EntryReader& EntryReader::operator=(EntryReader&&) noexcept = default;

int64_t EntryReader::Size() const { return state_->entry.size; }

qsizetype EntryReader::Read(QByteArray& out, qsizetype max) {
    State& s = *state_;
    if (max <= 0 || s.finished)
        return 0;
    if (!s.streaming) {
        const qsizetype n = qsizetype(std::min<int64_t>(max, s.whole.size() - s.handedOut));
        out.append(s.whole.constData() + s.handedOut, n);
        s.handedOut += n;
        if (s.handedOut == s.whole.size()) {
            s.finished = true;
            s.whole = QByteArray();  // gone as soon as it is handed out
        }
        return n;
    }
    const StoredEntry& e = s.entry;
    if (e.method == kStored) {
        const qsizetype n = qsizetype(std::min<int64_t>(max, e.size - s.handedOut));
        const qsizetype before = out.size();
        out.resize(before + n);
        s.zip->Read(e.dataOffset + s.handedOut, out.data() + before, n);
        s.crc = Crc(s.crc, out.constData() + before, size_t(n));
        s.handedOut += n;
        if (s.handedOut == e.size) {
            if (s.crc != e.crc)
                throw Error(PartDamaged(e, QStringLiteral("its checksum is wrong")));
            s.finished = true;
        }
        return n;
    }
    // Never more than the declared size: a part that would inflate further is damaged, and
    // found so at once rather than after it has taken the memory.
    const int64_t left = e.size - s.handedOut;
    const qsizetype want = qsizetype(std::min<int64_t>(max, left + 1));
    const qsizetype before = out.size();
    out.resize(before + want);
    s.z.next_out = reinterpret_cast<Bytef*>(out.data() + before);
    s.z.avail_out = uInt(want);
    int rc = Z_OK;
    while (s.z.avail_out > 0 && rc == Z_OK) {
        s.Feed();
        rc = inflate(&s.z, Z_NO_FLUSH);
        if (rc == Z_BUF_ERROR && s.z.avail_in == 0 && s.storedRead == e.storedSize)
            break;  // no more input: told below
        if (rc == Z_BUF_ERROR)
            rc = Z_OK;  // this piece of input is used up; the next follows
    }
    const qsizetype made = qsizetype(want - qsizetype(s.z.avail_out));
    out.truncate(before + made);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
        throw Error(PartDamaged(e, QStringLiteral("its deflated bytes are invalid")));
    s.handedOut += made;
    if (s.handedOut > e.size)
        throw Error(PartDamaged(e, QStringLiteral("it inflates to more than the %1 bytes its zip entry declares")
                                       .arg(e.size)));
    s.crc = Crc(s.crc, out.constData() + before, size_t(made));
    if (rc == Z_STREAM_END || rc == Z_BUF_ERROR) {
        if (rc != Z_STREAM_END)
            throw Error(PartDamaged(e, QStringLiteral("its deflated bytes end too soon")));
        if (s.handedOut != e.size)
            throw Error(SizeMismatch(e, s.handedOut));
        if (s.crc != e.crc)
            throw Error(PartDamaged(e, QStringLiteral("its checksum is wrong")));
        s.finished = true;
        inflateEnd(&s.z);
        s.zOpen = false;
    }
    return made;
}

QString ZipFileNotWhole(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return QStringLiteral("it is not there");
    if (info.size() == 0)
        return QStringLiteral("it is empty");
    // The directory as the workbook reader reads it, by offset: a file it can't find the
    // directory of, or whose entries run past its end, would not open as a workbook either.
    try {
        (void)ReadZipDirectory(*ZipSource::OfFile(info.absoluteFilePath()), PackageLimits{}.maxEntries);
    } catch (const Error& e) {
        return QStringLiteral("its zip directory does not read (%1)").arg(e.Message());
    }
    return QString();
}

}  // namespace xl
