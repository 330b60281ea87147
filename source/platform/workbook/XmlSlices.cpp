#include "platform/workbook/XmlSlices.h"

#include <algorithm>
#include <limits>

namespace xl {

PartText::PartText(const Package& pkg, const QString& partName) : reader_(pkg.PartReader(partName)) {}

void PartText::Fill(qsizetype bytes) {
    if (Size() >= bytes || end_)
        return;
    // What was dropped goes before more comes, so that the buffer stays the size of a slice.
    if (front_ > 0) {
        buffer_.remove(0, front_);
        front_ = 0;
    }
    while (Size() < bytes && !end_) {
        if (reader_.Read(buffer_, std::max(kChunk, bytes - Size())) == 0)
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
