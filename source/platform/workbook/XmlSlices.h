#pragma once
// Reading a large part's XML a slice at a time: its bytes are inflated as the reader comes to
// them and dropped once read, and each slice of whole elements (rows of cells, shared string
// items) is parsed on its own, so that neither the part's text nor a tree of all of it is ever
// held at once. The string items of those slices go straight into a StringTable.

#include "platform/workbook/Error.h"
#include "platform/workbook/Package.h"
#include "platform/workbook/WorkbookData.h"
#include "platform/workbook/ZipArchive.h"

#include <QByteArray>
#include <QString>

#include <pugixml.hpp>

#include <cstring>
#include <memory>

namespace xl {

// A part's text from the front: bytes are inflated as they are asked for, and go once the
// reader drops them. A large part is inflated on a thread of its own, a few pieces ahead of
// the reader, so that its reading costs about its inflating rather than the two added up.
class PartText {
public:
    // How much is inflated at a time.
    static constexpr qsizetype kChunk = qsizetype(1) << 20;

    PartText(const Package& pkg, const QString& partName);
    ~PartText();
    PartText(const PartText&) = delete;
    PartText& operator=(const PartText&) = delete;

    // Makes at least `bytes` bytes available from the front, or all that are left.
    void Fill(qsizetype bytes);
    // Makes every byte left available.
    void FillAll();
    // Whether every byte of the part has been inflated (some may still be here).
    [[nodiscard]] bool AtEnd() const { return end_; }
    const char* Data() const { return buffer_.constData() + front_; }
    char* MutableData() { return buffer_.data() + front_; }
    qsizetype Size() const { return buffer_.size() - front_; }
    QByteArrayView View() const { return QByteArrayView(Data(), Size()); }
    // The first `bytes` bytes are done with.
    void Drop(qsizetype bytes);
    // Bytes dropped so far: where Data() lies in the part.
    int64_t Offset() const { return dropped_; }
    int64_t PartSize() const { return reader_.Size(); }

private:
    struct ReadAhead;
    // Appends the next piece of the part to buffer_; 0 at its end.
    qsizetype ReadPiece(qsizetype max);

    EntryReader reader_;
    std::unique_ptr<ReadAhead> ahead_;  // for a large part
    QByteArray buffer_;
    qsizetype front_ = 0;
    int64_t dropped_ = 0;
    bool end_ = false;
};

// Advises the kernel to map the pages wholly inside a large block in pages of 2 MB: a block that
// is written once from front to back (the cells of a large sheet) then costs the kernel a
// five-hundredth of the page faults. The kernel may decline; a small block is left as it is.
void AdviseLargePages(void* data, size_t bytes);

[[nodiscard]] inline bool IsNameEnd(char ch) {
    return ch == '>' || ch == '/' || ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

// Where `pattern` (a tag's start: "</row", "<x:si") occurs in `text` at or after `from` as a
// whole name, the end of the name following it; -1 when it does not. An occurrence at the very
// end, whose next byte is not there yet, does not count.
qsizetype FindTag(QByteArrayView text, QByteArrayView pattern, qsizetype from);
// The same, the last such occurrence before `before`.
qsizetype FindLastTag(QByteArrayView text, QByteArrayView pattern, qsizetype before);

// Parses `size` bytes of whole elements in UTF-8 as a fragment, in place: the bytes become the
// tree's and must stay until it is gone. `what` names them in the refusal of a slice whose
// tree would be too large; `offset` is where they lie in the part, for the error's position.
void LoadSlice(pugi::xml_document& frag, char* data, size_t size, const QString& partName, int64_t offset,
               const QString& what);

// Adds the text of a string item (<si>, <is>) as the next string of `table`: its <t>, or the
// runs' <t> joined; phonetic runs (<rPh>) are not part of the text. Throws the bare reason when
// the item passes what a cell holds; `what` names the item, asked for only then.
template <class What>
void AppendItemText(StringTable& table, const pugi::xml_node& item, const What& what);
// A plain text as the next string of `table`, with the same limit.
template <class What>
void AppendCellText(StringTable& table, const char* utf8, const What& what);

// ---- implementation ----

[[noreturn]] void RefuseLongText(const QString& what);
[[noreturn]] void RefuseManyRuns(const QString& what);

template <class What>
void AppendItemText(StringTable& table, const pugi::xml_node& item, const What& what) {
    qsizetype runs = 0;
    for (pugi::xml_node n = item.first_child(); n; n = n.next_sibling()) {
        const char* text = nullptr;
        if (Is(n, "t")) {
            text = n.text().get();
        } else if (Is(n, "r")) {
            // Every run carries at least one character in the spreadsheet's own files.
            if (++runs > kMaxCellChars)
                RefuseManyRuns(what());
            text = Child(n, "t").text().get();
        } else {
            continue;
        }
        if (table.Piece(text, std::strlen(text)) > kMaxCellChars)
            RefuseLongText(what());
    }
    table.End();
}

template <class What>
void AppendCellText(StringTable& table, const char* utf8, const What& what) {
    if (table.Piece(utf8, std::strlen(utf8)) > kMaxCellChars)
        RefuseLongText(what());
    table.End();
}

}  // namespace xl
