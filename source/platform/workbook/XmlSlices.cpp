#include "platform/workbook/XmlSlices.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/mman.h>

namespace xl {

// Inflates a part on a thread of its own, up to kAhead pieces ahead of the reader; an error
// of the inflating is the reader's when it comes to that piece.
struct PartText::ReadAhead {
    static constexpr size_t kAhead = 2;

    explicit ReadAhead(EntryReader& reader) : worker([this, &reader] { Run(reader); }) {}
    ~ReadAhead() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        changed.notify_all();
        worker.join();
    }

    void Run(EntryReader& reader) {
        try {
            for (;;) {
                QByteArray piece;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    if (!spare.empty()) {
                        piece = std::move(spare.back());
                        spare.pop_back();
                    }
                }
                piece.resize(0);
                piece.reserve(kChunk);
                const qsizetype n = reader.Read(piece, kChunk);
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stop || ready.size() < kAhead; });
                if (stop)
                    return;
                if (n == 0) {
                    done = true;
                    changed.notify_all();
                    return;
                }
                ready.push_back(std::move(piece));
                changed.notify_all();
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex);
            error = std::current_exception();
            changed.notify_all();
        }
    }

    // Appends the next piece to `out`; 0 at the end. The pieces' buffers go round between the
    // two threads, so that no new memory is faulted in for each.
    qsizetype Next(QByteArray& out) {
        QByteArray piece;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return !ready.empty() || done || error; });
            if (ready.empty()) {
                if (error)
                    std::rethrow_exception(error);
                return 0;
            }
            piece = std::move(ready.front());
            ready.pop_front();
        }
        changed.notify_all();
        out.append(piece);
        const qsizetype n = piece.size();
        std::lock_guard<std::mutex> lock(mutex);
        spare.push_back(std::move(piece));
        return n;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QByteArray> ready;
    std::vector<QByteArray> spare;
    bool done = false, stop = false;
    std::exception_ptr error;
    std::thread worker;  // last: it starts once the rest is there
};

PartText::PartText(const Package& pkg, const QString& partName) : reader_(pkg.PartReader(partName)) {
    if (reader_.Size() > EntryReader::kWholeBytes)
        ahead_ = std::make_unique<ReadAhead>(reader_);
}

PartText::~PartText() = default;

qsizetype PartText::ReadPiece(qsizetype max) {
    return ahead_ ? ahead_->Next(buffer_) : reader_.Read(buffer_, max);
}

void PartText::Fill(qsizetype bytes) {
    if (Size() >= bytes || end_)
        return;
    // What was dropped goes before more comes, so that the buffer stays the size of a slice.
    if (front_ > 0) {
        buffer_.remove(0, front_);
        front_ = 0;
    }
    while (Size() < bytes && !end_) {
        if (ReadPiece(std::max(kChunk, bytes - Size())) == 0)
            end_ = true;
    }
}

void PartText::FillAll() { Fill(std::numeric_limits<qsizetype>::max()); }

void PartText::Drop(qsizetype bytes) {
    front_ += bytes;
    dropped_ += bytes;
    if (front_ == buffer_.size()) {
        buffer_.resize(0);
        front_ = 0;
    }
}

void AdviseLargePages(void* data, size_t bytes) {
    constexpr uintptr_t kLarge = uintptr_t(2) << 20;
    if (bytes < 4 * kLarge)
        return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kLarge - 1);
    if (end > begin)
        (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

qsizetype FindTag(QByteArrayView text, QByteArrayView pattern, qsizetype from) {
    for (qsizetype at = text.indexOf(pattern, from); at >= 0; at = text.indexOf(pattern, at + 1)) {
        const qsizetype after = at + pattern.size();
        if (after >= text.size())
            return -1;
        if (IsNameEnd(text[after]))
            return at;
    }
    return -1;
}

qsizetype FindLastTag(QByteArrayView text, QByteArrayView pattern, qsizetype before) {
    for (qsizetype at = text.first(before).lastIndexOf(pattern); at >= 0;
         at = at > 0 ? text.first(at).lastIndexOf(pattern) : -1) {
        const qsizetype after = at + pattern.size();
        if (after < text.size() && IsNameEnd(text[after]))
            return at;
    }
    return -1;
}

void LoadSlice(pugi::xml_document& frag, char* data, size_t size, const QString& partName, int64_t offset,
               const QString& what) {
    CheckTreeBytes(data, size, what);
    const pugi::xml_parse_result res = frag.load_buffer_inplace(
        data, size, pugi::parse_default | pugi::parse_fragment | pugi::parse_ws_pcdata_single, pugi::encoding_utf8);
    if (!res)
        throw Error(QStringLiteral("part %1 is not well-formed XML (%2 at byte %3)")
                        .arg(partName, QString::fromUtf8(res.description()))
                        .arg(offset + res.offset));
}

void RefuseLongText(const QString& what) {
    throw Error(QStringLiteral("%1 has more than the %2 characters a cell can hold").arg(what).arg(kMaxCellChars));
}

void RefuseManyRuns(const QString& what) {
    throw Error(QStringLiteral("%1 has more than %2 formatting runs, more than its characters can carry")
                    .arg(what)
                    .arg(kMaxCellChars));
}

}  // namespace xl
