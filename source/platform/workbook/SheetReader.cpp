// Reads a sheet's part: its cells in slices of rows as the part is inflated, so that a sheet of
// a million cells never needs its whole text or a whole-document XML tree in memory, then its
// views, sizes, merged cells and drawing.

#include "platform/workbook/SheetReader.h"

#include "platform/workbook/XmlSlices.h"

#include <QDateTime>
#include <QHash>
#include <QTimeZone>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

namespace xl {

namespace {

// ---- small parsing helpers ------------------------------------------------------------------

[[noreturn]] void Fail(const QString& reason) { throw Error(reason); }

bool ParseCellRef(const char* s, int32_t& row, int32_t& col) {
    int32_t c = 0;
    int letters = 0;
    while (*s == '$')
        ++s;
    while ((*s >= 'A' && *s <= 'Z') || (*s >= 'a' && *s <= 'z')) {
        if (++letters > 3)
            return false;
        c = c * 26 + ((*s | 0x20) - 'a' + 1);
        ++s;
    }
    if (*s == '$')
        ++s;
    int32_t r = 0;
    int digits = 0;
    while (*s >= '0' && *s <= '9') {
        if (++digits > 7)
            return false;
        r = r * 10 + (*s - '0');
        ++s;
    }
    if (*s != 0 || letters == 0 || digits == 0 || c > kMaxCols || r < 1 || r > kMaxRows)
        return false;
    row = r;
    col = c;
    return true;
}

bool ParseDouble(const char* s, double& out) {
    while (*s == ' ')
        ++s;
    const char* end = s + std::strlen(s);
    while (end > s && end[-1] == ' ')
        --end;
    if (s == end)
        return false;
    if (*s == '+')
        ++s;
    auto res = std::from_chars(s, end, out);
    return res.ec == std::errc() && res.ptr == end && std::isfinite(out);
}

double SerialFromIso(const char* utf8, bool date1904) {
    const QString iso = QString::fromUtf8(utf8);
    QDateTime dt = QDateTime::fromString(iso, Qt::ISODateWithMs);
    if (!dt.isValid()) {
        const QTime t = QTime::fromString(iso, Qt::ISODateWithMs);
        if (!t.isValid())
            return std::nan("");
        return t.msecsSinceStartOfDay() / 86400000.0;
    }
    dt.setTimeSpec(Qt::UTC);
    const QDateTime epoch(date1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
    return epoch.msecsTo(dt) / 86400000.0;
}

// ---- slicing --------------------------------------------------------------------------------

// sheetData's start tag: its '<', and just after its '>'.
struct SheetDataStart {
    qsizetype begin = -1, end = -1;
    bool selfClosing = false;
    QByteArray prefix;  // "x:" when the producer prefixes
};

// Finds sheetData's start tag from the front of `text`, inflating as far as that takes; begin
// is -1 when the part has none, and the whole part is then in `text`.
SheetDataStart FindSheetDataStart(PartText& text) {
    const QByteArrayView name("sheetData");
    qsizetype from = 0;
    for (qsizetype want = PartText::kChunk / 16;; want = text.Size() + PartText::kChunk) {
        text.Fill(want);
        const QByteArrayView xml = text.View();
        qsizetype pos = from;
        while ((pos = xml.indexOf(name, pos)) >= 0) {
            const qsizetype after = pos + name.size();
            if (after >= xml.size())
                break;  // its next byte is still to come
            if (!IsNameEnd(xml[after])) {
                pos = after;
                continue;
            }
            qsizetype lt = pos - 1;
            while (lt >= 0 && xml[lt] != '<' && xml[lt] != '>' && xml[lt] != ' ')
                --lt;
            if (lt < 0 || xml[lt] != '<' || xml[lt + 1] == '/') {
                pos = after;
                continue;
            }
            const qsizetype gt = xml.indexOf('>', after);
            if (gt < 0)
                break;  // the rest of the tag is still to come
            SheetDataStart start;
            start.begin = lt;
            start.end = gt + 1;
            start.selfClosing = xml[gt - 1] == '/';
            start.prefix = xml.sliced(lt + 1, pos - lt - 1).toByteArray();
            return start;
        }
        if (text.AtEnd())
            return {};
        from = pos >= 0 ? pos : std::max<qsizetype>(0, xml.size() - name.size());
    }
}

// The position just after the first row's end tag at or beyond `from`; the end of `text` when
// there is none.
qsizetype NextRowBoundary(QByteArrayView text, qsizetype from, QByteArrayView rowClose) {
    if (from >= text.size())
        return text.size();
    const qsizetype at = text.indexOf(rowClose, from);
    if (at < 0)
        return text.size();
    const qsizetype gt = text.indexOf('>', at);
    return gt < 0 ? text.size() : gt + 1;
}

// ---- rows written the plain way ---------------------------------------------------------

// A stretch of the text: where it starts, and its length.
struct Span {
    qsizetype at = -1, size = 0;
    [[nodiscard]] bool Has() const { return at >= 0; }
};

struct PlainCell {
    Span ref, style, type, value;  // value: the text of <v>; absent when the cell has none
};

struct PlainRow {
    Span number, height, hidden, customHeight, customFormat, style;
    std::vector<PlainCell> cells;  // reused from row to row
};

// Finds a row's cells straight in its text, without building a tree: the row as spreadsheets
// write it (attributes, <c> elements holding an optional <f> and <v> of plain text), which is
// nearly every row of every sheet. A row written any other way (inline strings, entities in a
// value, comments, CDATA, elements of other kinds, anything not well-formed) is left to the XML
// parser, which reads it exactly as before: the scan only says where the plain parts lie.
class PlainRowScanner {
public:
    explicit PlainRowScanner(const QByteArray& prefix)
        : row_("<" + prefix + "row"), rowEnd_("</" + prefix + "row"), cell_("<" + prefix + "c"),
          cellEnd_("</" + prefix + "c"), value_("<" + prefix + "v"), valueEnd_("</" + prefix + "v"),
          formula_("<" + prefix + "f"), formulaEnd_("</" + prefix + "f") {}

    // The row at `pos` of d[0, end): true, with `row` filled and `pos` moved past the row, when
    // it is written the plain way; false, and nothing moved, when the XML parser must read it.
    bool Scan(const char* d, qsizetype& pos, qsizetype end, PlainRow& row) {
        d_ = d;
        end_ = end;
        qsizetype p = pos;
        if (!Tag(p, row_))
            return false;
        row = PlainRow{{}, {}, {}, {}, {}, {}, std::move(row.cells)};
        row.cells.clear();
        bool closed = false;
        if (!Attributes(p, closed, [&](const char* name, qsizetype size, Span value) {
                const auto is = [&](const char* n) { return qsizetype(std::strlen(n)) == size && std::memcmp(name, n, size_t(size)) == 0; };
                Span* slot = is("r")              ? &row.number
                             : is("ht")           ? &row.height
                             : is("hidden")       ? &row.hidden
                             : is("customHeight") ? &row.customHeight
                             : is("customFormat") ? &row.customFormat
                             : is("s")            ? &row.style
                                                  : nullptr;
                if (slot && !slot->Has())
                    *slot = value;
                return !slot || Plain(value);
            }))
            return false;
        if (!closed) {
            for (;;) {
                SkipSpace(p);
                if (EndTag(p, rowEnd_))
                    break;
                if (!Cell(p, row))
                    return false;
            }
        }
        pos = p;
        return true;
    }

private:
    bool Cell(qsizetype& p, PlainRow& row) {
        if (!Tag(p, cell_))
            return false;
        PlainCell cell;
        bool closed = false;
        if (!Attributes(p, closed, [&](const char* name, qsizetype size, Span value) {
                if (size != 1)
                    return true;
                Span* slot = *name == 'r' ? &cell.ref : *name == 's' ? &cell.style : *name == 't' ? &cell.type : nullptr;
                if (slot && !slot->Has())
                    *slot = value;
                return !slot || Plain(value);
            }))
            return false;
        // An inline string's text is an item of runs: the parser reads it.
        if (cell.type.size == 9 && std::memcmp(d_ + cell.type.at, "inlineStr", 9) == 0)
            return false;
        while (!closed) {
            SkipSpace(p);
            if (EndTag(p, cellEnd_))
                break;
            if (Tag(p, formula_)) {
                if (!Element(p, formulaEnd_, nullptr))
                    return false;
            } else if (!cell.value.Has() && Tag(p, value_)) {
                if (!Element(p, valueEnd_, &cell.value))
                    return false;
                // Text the parser would change (entities, line ends) is the parser's to read.
                for (qsizetype i = cell.value.at; i < cell.value.at + cell.value.size; ++i)
                    if (d_[i] == '&' || d_[i] == '\r')
                        return false;
            } else {
                return false;
            }
        }
        row.cells.push_back(cell);
        return true;
    }

    // After an element's name: its attributes, then its text up to its end tag; `text` gets
    // the text when asked for. The text holds no markup.
    bool Element(qsizetype& p, const QByteArray& endTag, Span* text) {
        bool closed = false;
        if (!Attributes(p, closed, [](const char*, qsizetype, Span) { return true; }))
            return false;
        if (closed) {
            if (text)
                *text = Span{p, 0};  // read as "", as the parser reads <v/>
            return true;
        }
        const qsizetype at = Next(p, '<');
        if (at >= end_)
            return false;
        if (text)
            *text = Span{p, at - p};
        p = at;
        return EndTag(p, endTag);
    }

    // The attributes of a start tag, each handed to `use` (name, its length, value), up to its
    // '>' (or "/>", `closed` then): false when they are not plain or `use` refuses one.
    template <class Use>
    bool Attributes(qsizetype& p, bool& closed, const Use& use) {
        for (;;) {
            const qsizetype before = p;
            SkipSpace(p);
            if (p >= end_)
                return false;
            if (d_[p] == '>') {
                ++p;
                closed = false;
                return true;
            }
            if (d_[p] == '/') {
                if (p + 1 >= end_ || d_[p + 1] != '>')
                    return false;
                p += 2;
                closed = true;
                return true;
            }
            if (p == before)
                return false;  // attributes are set apart by blanks
            const qsizetype name = p;
            while (p < end_ && d_[p] != '=' && d_[p] != '>' && d_[p] != '/' && d_[p] != '<' && !IsSpace(d_[p]))
                ++p;
            const qsizetype nameSize = p - name;
            SkipSpace(p);
            if (nameSize == 0 || p >= end_ || d_[p] != '=')
                return false;
            ++p;
            SkipSpace(p);
            if (p >= end_ || (d_[p] != '"' && d_[p] != '\''))
                return false;
            const char quote = d_[p++];
            const qsizetype close = Next(p, quote);
            if (close >= end_)
                return false;
            const Span value{p, close - p};
            if (Contains(value, '<') || !use(d_ + name, nameSize, value))
                return false;
            p = value.at + value.size + 1;
        }
    }

    // `<` and the name, followed by the name's end.
    bool Tag(qsizetype& p, const QByteArray& start) const {
        const qsizetype after = p + start.size();
        if (after >= end_ || !Same(d_ + p, start.constData(), start.size()) || !IsNameEnd(d_[after]))
            return false;
        p = after;
        return true;
    }

    // An end tag: its name, blanks, '>'.
    bool EndTag(qsizetype& p, const QByteArray& endTag) const {
        qsizetype q = p;
        if (!Tag(q, endTag))
            return false;
        SkipSpace(q);
        if (q >= end_ || d_[q] != '>')
            return false;
        p = q + 1;
        return true;
    }

    // Names and values are a few bytes long: compared and searched here, without a call.
    static bool Same(const char* a, const char* b, qsizetype size) {
        for (qsizetype i = 0; i < size; ++i)
            if (a[i] != b[i])
                return false;
        return true;
    }
    // The first `c` at or after `from`; end_ when there is none.
    qsizetype Next(qsizetype from, char c) const {
        while (from < end_ && d_[from] != c)
            ++from;
        return from;
    }

    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    void SkipSpace(qsizetype& p) const {
        while (p < end_ && IsSpace(d_[p]))
            ++p;
    }
    bool Contains(Span s, char c) const {
        for (qsizetype i = s.at; i < s.at + s.size; ++i)
            if (d_[i] == c)
                return true;
        return false;
    }
    // A value the parser would read as it stands: no entity, and no line end or tab, which it
    // turns into blanks.
    bool Plain(Span s) const {
        for (qsizetype i = s.at; i < s.at + s.size; ++i)
            if (d_[i] == '&' || d_[i] == '\t' || d_[i] == '\n' || d_[i] == '\r')
                return false;
        return true;
    }

    const QByteArray row_, rowEnd_, cell_, cellEnd_, value_, valueEnd_, formula_, formulaEnd_;
    const char* d_ = nullptr;
    qsizetype end_ = 0;
};

// Whole numbers as the parser reads them, for the plain form alone (digits, at most nine of
// them); nullopt for anything else, which the parser then reads.
std::optional<uint32_t> PlainWhole(const char* s, qsizetype size) {
    if (size == 0 || size > 9)
        return std::nullopt;
    uint32_t v = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return std::nullopt;
        v = v * 10 + uint32_t(s[i] - '0');
    }
    return v;
}

// A number the way the parser's as_double reads one, for plain decimal text alone.
std::optional<double> PlainDecimal(const char* s, qsizetype size) {
    if (size == 0 || size > 40)
        return std::nullopt;
    for (qsizetype i = 0; i < size; ++i)
        if (!((s[i] >= '0' && s[i] <= '9') || s[i] == '.' || s[i] == '-' || s[i] == '+' || s[i] == 'e' || s[i] == 'E'))
            return std::nullopt;
    double v = 0;
    const auto res = std::from_chars(s + (*s == '+' ? 1 : 0), s + size, v);
    if (res.ec != std::errc() || res.ptr != s + size)
        return std::nullopt;
    return v;
}

// The parser's as_bool: true when the text starts with 1, t, T, y or Y.
bool PlainBool(const char* s, qsizetype size) {
    return size > 0 && (*s == '1' || *s == 't' || *s == 'T' || *s == 'y' || *s == 'Y');
}

class SheetReader {
public:
    SheetReader(const WorkbookData& wb, SheetData& sheet) : wb_(wb), sh_(sheet) {}

    // The cells are read in slices as the part is inflated; what comes before and after them
    // (views, columns, merged cells, the drawing) is small and parsed as one tree.
    void Read() {
        QByteArray rest;  // the part without its cells
        {
            PartText text(wb_.package, sh_.partName);
            const SheetDataStart start = FindSheetDataStart(text);
            if (start.begin < 0 || start.selfClosing) {
                text.FillAll();
                rest = text.View().toByteArray();
            } else {
                rest = text.View().first(start.begin).toByteArray() + "<" + start.prefix + "sheetData/>";
                text.Drop(start.end);
                ReadRows(text, start.prefix);
                text.FillAll();
                rest += text.View();
            }
        }
        pugi::xml_document doc;
        LoadXml(doc, rest, sh_.partName);
        pugi::xml_node root = doc.document_element();
        if (sh_.kind == SheetKind::Worksheet && !Is(root, "worksheet"))
            Fail(QStringLiteral("part %1 is not a worksheet").arg(sh_.partName));
        ReadViews(Child(root, "sheetViews"));
        ReadFormat(Child(root, "sheetFormatPr"));
        ReadCols(Child(root, "cols"));
        ReadMerges(Child(root, "mergeCells"));
        if (pugi::xml_node drawing = Child(root, "drawing"))
            ReadDrawing(Attr(drawing, "id", true).value());
    }

private:
    void ReadViews(const pugi::xml_node& views) {
        pugi::xml_node v = Child(views, "sheetView");
        if (!v)
            return;
        SheetView& view = sh_.view;
        view.showGridLines = v.attribute("showGridLines").as_bool(true);
        view.showHeaders = v.attribute("showRowColHeaders").as_bool(true);
        view.rightToLeft = v.attribute("rightToLeft").as_bool(false);
        view.tabSelected = v.attribute("tabSelected").as_bool(false);
        view.zoomScale = std::clamp(v.attribute("zoomScale").as_int(100), 10, 400);
        if (pugi::xml_attribute tl = v.attribute("topLeftCell"))
            ParseCellRef(tl.value(), view.topLeftRow, view.topLeftCol);
        if (pugi::xml_node p = Child(v, "pane")) {
            view.hasPane = true;
            PaneView& pane = view.pane;
            pane.xSplit = std::max(0.0, p.attribute("xSplit").as_double(0));
            pane.ySplit = std::max(0.0, p.attribute("ySplit").as_double(0));
            if (pugi::xml_attribute a = p.attribute("activePane"))
                pane.activePane = QString::fromUtf8(a.value());
            if (pugi::xml_attribute s = p.attribute("state"))
                pane.state = QString::fromUtf8(s.value());
            if (pane.IsFrozen()) {
                pane.xSplit = std::min(pane.xSplit, double(kMaxCols - 1));
                pane.ySplit = std::min(pane.ySplit, double(kMaxRows - 1));
            }
            pane.topLeftRow = view.topLeftRow + int32_t(pane.IsFrozen() ? pane.ySplit : 0);
            pane.topLeftCol = view.topLeftCol + int32_t(pane.IsFrozen() ? pane.xSplit : 0);
            if (pugi::xml_attribute tl = p.attribute("topLeftCell"))
                ParseCellRef(tl.value(), pane.topLeftRow, pane.topLeftCol);
            if (pane.xSplit == 0 && pane.ySplit == 0)
                view.hasPane = false;
        }
        for (pugi::xml_node s : v.children()) {
            if (!Is(s, "selection"))
                continue;
            SelectionView sel;
            if (pugi::xml_attribute p = s.attribute("pane"))
                sel.pane = QString::fromUtf8(p.value());
            if (pugi::xml_attribute ac = s.attribute("activeCell"))
                ParseCellRef(ac.value(), sel.activeRow, sel.activeCol);
            sel.ranges = ParseRangeList(QString::fromUtf8(s.attribute("sqref").value()));
            if (sel.ranges.isEmpty())
                sel.ranges.append(RangeRef{sel.activeRow, sel.activeCol, sel.activeRow, sel.activeCol});
            view.selections.append(sel);
        }
    }

    void ReadFormat(const pugi::xml_node& f) {
        if (!f)
            return;
        if (pugi::xml_attribute h = f.attribute("defaultRowHeight"))
            sh_.defaultRowHeight = std::clamp(h.as_double(15), 0.0, 409.5);
        sh_.zeroHeight = f.attribute("zeroHeight").as_bool(false);
        if (pugi::xml_attribute w = f.attribute("defaultColWidth"))
            sh_.defaultColWidth = std::clamp(w.as_double(-1), -1.0, 255.0);
        if (pugi::xml_attribute b = f.attribute("baseColWidth"))
            sh_.baseColWidth = std::clamp(b.as_double(8), 0.0, 255.0);
    }

    void ReadCols(const pugi::xml_node& cols) {
        for (pugi::xml_node c : cols.children()) {
            if (!Is(c, "col"))
                continue;
            ColSpan s;
            s.first = std::clamp(c.attribute("min").as_int(1), 1, kMaxCols);
            s.last = std::clamp(c.attribute("max").as_int(s.first), s.first, kMaxCols);
            if (pugi::xml_attribute w = c.attribute("width"))
                s.width = std::clamp(w.as_double(-1), 0.0, 255.0);
            s.hidden = c.attribute("hidden").as_bool(false);
            s.customWidth = c.attribute("customWidth").as_bool(false);
            if (pugi::xml_attribute st = c.attribute("style")) {
                s.hasStyle = true;
                s.style = CheckedStyle(st.as_uint(0), [&] { return QStringLiteral("column %1").arg(ColumnName(s.first)); });
            }
            sh_.cols.push_back(s);
        }
        std::sort(sh_.cols.begin(), sh_.cols.end(),
                  [](const ColSpan& a, const ColSpan& b) { return a.first < b.first; });
        // Overlapping spans would make lookups ambiguous: the earlier one keeps its columns.
        std::vector<ColSpan> clean;
        for (ColSpan s : sh_.cols) {
            if (!clean.empty() && s.first <= clean.back().last)
                s.first = clean.back().last + 1;
            if (s.first <= s.last)
                clean.push_back(s);
        }
        sh_.cols.swap(clean);
    }

    // `where` names the styled thing, and is only asked for in the refusal.
    template <class Where>
    uint32_t CheckedStyle(uint32_t s, const Where& where) {
        if (styleCount_ < 0)
            styleCount_ = wb_.Look().styles.cellXfs.size();
        if (s >= uint32_t(styleCount_))
            Fail(QStringLiteral("%1 of sheet %2 uses style %3, but the workbook defines only %4")
                     .arg(where(), sh_.name)
                     .arg(s)
                     .arg(styleCount_));
        return s;
    }

    // The rows, from just after sheetData's start tag through its end tag, in slices of whole
    // rows: each slice is parsed in place and dropped before the next is inflated.
    void ReadRows(PartText& text, const QByteArray& prefix) {
        const QByteArray rowClose = "</" + prefix + "row";
        const QByteArray dataClose = "</" + prefix + "sheetData";
        plain_.emplace(prefix);
        // A stored cell takes 20 bytes of XML at the least, mostly 30 or more: room for the
        // cells at once, rather than a vector that doubles (and copies) its way up to them.
        // Room not used is never touched, so it takes address space, not memory.
        sh_.cells.Reserve(size_t((text.PartSize() - text.Offset()) / 32));
        qsizetype want = kSlice, closeFrom = 0;
        for (;;) {
            text.Fill(want);
            const qsizetype close = FindTag(text.View(), dataClose, closeFrom);
            if (close >= 0) {
                ReadSlices(text, close, rowClose);
                text.Fill(dataClose.size() + 1);
                const qsizetype gt = text.View().indexOf('>');
                if (gt < 0)
                    Fail(QStringLiteral("part %1 is not well-formed XML (the end of its cells is cut short)")
                             .arg(sh_.partName));
                text.Drop(gt + 1);
                break;
            }
            if (text.AtEnd())
                Fail(QStringLiteral("part %1 is not well-formed XML (its cells are not closed)").arg(sh_.partName));
            const qsizetype lastRow = FindLastTag(text.View(), rowClose, text.Size());
            const qsizetype boundary = lastRow < 0 ? -1 : text.View().indexOf('>', lastRow);
            if (boundary > 0) {
                ReadSlices(text, boundary + 1, rowClose);
                ReserveRows(text);
                want = kSlice;
            } else {
                want = text.Size() + kSlice;  // a row longer than a slice: read on
            }
            closeFrom = std::max<qsizetype>(0, text.Size() - dataClose.size());
        }
        if (!rowsSorted_) {
            std::stable_sort(sh_.rows.begin(), sh_.rows.end(),
                             [](const RowData& a, const RowData& b) { return a.row < b.row; });
            // A row written twice: the later one wins, as a later cell would.
            std::vector<RowData> unique;
            for (const RowData& r : sh_.rows) {
                if (!unique.empty() && unique.back().row == r.row)
                    unique.back() = r;
                else
                    unique.push_back(r);
            }
            sh_.rows.swap(unique);
        }
    }

    // Once a first slice is read: room for the rows the rest of the part holds at the same rate,
    // and a quarter more, rather than a vector that doubles (and copies, and faults in) its way
    // up to them. Never more than a row for every 32 bytes left, whatever the first slice held.
    void ReserveRows(const PartText& text) {
        if (rowsReserved_ || sh_.rows.empty())
            return;
        rowsReserved_ = true;
        const int64_t left = text.PartSize() - text.Offset();
        const int64_t atRate = int64_t(double(left) / double(text.Offset()) * double(sh_.rows.size()) * 1.25);
        sh_.rows.reserve(sh_.rows.size() + size_t(std::min(atRate, left / 32)));
        AdviseLargePages(sh_.rows.data(), sh_.rows.capacity() * sizeof(RowData));
    }

    // Reads the first `end` bytes of `text`, whole rows, and drops them: each row straight from
    // its text when it is written the plain way, otherwise (with what follows it up to the next
    // row's end) through the XML parser.
    void ReadSlices(PartText& text, qsizetype end, const QByteArray& rowClose) {
        char* data = text.MutableData();
        qsizetype pos = 0;
        while (pos < end) {
            while (pos < end && (data[pos] == ' ' || data[pos] == '\n' || data[pos] == '\r' || data[pos] == '\t'))
                ++pos;
            if (pos >= end)
                break;
            const qsizetype start = pos;
            if (plain_->Scan(data, pos, end, plainRow_)) {
                ReadPlainRow(data);
                continue;
            }
            pos = start;
            const qsizetype cut = NextRowBoundary(text.View().first(end), pos, rowClose);
            pugi::xml_document frag;
            LoadSlice(frag, data + pos, size_t(cut - pos), sh_.partName, text.Offset() + pos,
                      QStringLiteral("the rows of sheet %1 after row %2").arg(sh_.name).arg(lastRow_));
            for (pugi::xml_node r = frag.first_child(); r; r = r.next_sibling())
                if (r.type() == pugi::node_element && Is(r, "row"))
                    ReadRow(r);
            pos = cut;
        }
        text.Drop(end);
    }

    // A row the scanner found: its values are ended in place, as the parser ends them.
    void ReadPlainRow(char* data) {
        const PlainRow& p = plainRow_;
        const auto text = [&](Span s) -> const char* {
            if (!s.Has())
                return nullptr;
            if (s.size == 0)
                return "";
            data[s.at + s.size] = 0;
            return data + s.at;
        };
        RowStart row;
        if (p.number.Has()) {
            row.hasNumber = true;
            row.number = int32_t(*PlainWhole(data + p.number.at, p.number.size));
        }
        if (p.height.Has()) {
            row.hasHeight = true;
            row.height = *PlainDecimal(data + p.height.at, p.height.size);
        }
        row.hidden = p.hidden.Has() && PlainBool(data + p.hidden.at, p.hidden.size);
        row.customHeight = p.customHeight.Has() && PlainBool(data + p.customHeight.at, p.customHeight.size);
        row.customFormat = p.customFormat.Has() && PlainBool(data + p.customFormat.at, p.customFormat.size);
        if (row.customFormat && p.style.Has())
            row.style = *PlainWhole(data + p.style.at, p.style.size);
        BeginRow(row);
        for (const PlainCell& c : p.cells) {
            std::optional<uint32_t> style;
            if (c.style.Has())
                style = *PlainWhole(data + c.style.at, c.style.size);
            const char* type = text(c.type);
            AddCell(text(c.ref), style, type ? type : "", text(c.value), nullptr);
        }
        EndRow();
    }

    // What a row's start tag says, as the parser's readings of its attributes give it.
    struct RowStart {
        bool hasNumber = false;
        int32_t number = 0;
        bool hasHeight = false;
        double height = -1;
        bool hidden = false, customHeight = false, customFormat = false;
        uint32_t style = 0;
    };

    void ReadRow(const pugi::xml_node& r) {
        RowStart row;
        if (pugi::xml_attribute ra = r.attribute("r")) {
            row.hasNumber = true;
            row.number = ra.as_int(0);
        }
        if (pugi::xml_attribute ht = r.attribute("ht")) {
            row.hasHeight = true;
            row.height = ht.as_double(-1);
        }
        row.hidden = r.attribute("hidden").as_bool(false);
        row.customHeight = r.attribute("customHeight").as_bool(false);
        row.customFormat = r.attribute("customFormat").as_bool(false);
        row.style = r.attribute("s").as_uint(0);
        BeginRow(row);
        for (pugi::xml_node c = r.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element || !Is(c, "c"))
                continue;
            // The attributes a cell may have, found in one pass rather than a search for each.
            pugi::xml_attribute ref, style, type;
            for (pugi::xml_attribute a = c.first_attribute(); a; a = a.next_attribute()) {
                const char* name = a.name();
                if (name[0] == 0 || name[1] != 0)
                    continue;
                pugi::xml_attribute* slot = name[0] == 'r'   ? &ref
                                            : name[0] == 's' ? &style
                                            : name[0] == 't' ? &type
                                                             : nullptr;
                if (slot && !*slot)  // the first of a name counts, as a search would find it
                    *slot = a;
            }
            pugi::xml_node v = Child(c, "v");
            AddCell(ref ? ref.value() : nullptr, style ? std::optional<uint32_t>(style.as_uint(0)) : std::nullopt,
                    type.value(), v ? v.text().get() : nullptr, &c);
        }
        EndRow();
    }

    void BeginRow(const RowStart& start) {
        int32_t number = start.hasNumber ? start.number : lastRow_ + 1;
        if (number < 1 || number > kMaxRows)
            Fail(QStringLiteral("sheet %1 has a row %2 outside the grid").arg(sh_.name).arg(number));
        if (number <= lastRow_)
            rowsSorted_ = false;
        lastRow_ = number;
        row_ = RowData();
        row_.row = number;
        if (start.hasHeight)
            row_.height = float(std::clamp(start.height, 0.0, 409.5));
        if (start.hidden)
            row_.flags |= kRowHidden;
        if (start.customHeight)
            row_.flags |= kRowCustomHeight;
        if (start.customFormat) {
            row_.flags |= kRowCustomFormat;
            row_.style = CheckedStyle(start.style, [&] { return QStringLiteral("row %1").arg(number); });
        }
        rowCells_.clear();
        lastCol_ = 0;
        colsSorted_ = true;
    }

    // One cell of the row begun: its reference, style, type ("" when it has none) and the text
    // of its <v> (nullptr when it has none); `node` is the cell's element when the parser read
    // it, for an inline string's items.
    void AddCell(const char* ref, std::optional<uint32_t> style, const char* type, const char* value,
                 const pugi::xml_node* node) {
        const int32_t number = row_.row;
        int32_t cr = number, cc = lastCol_ + 1;
        if (ref) {
            if (!ParseCellRef(ref, cr, cc))
                Fail(QStringLiteral("sheet %1 has a cell \"%2\" outside the grid").arg(sh_.name, QString::fromUtf8(ref)));
            if (cr != number)
                Fail(QStringLiteral("sheet %1 has cell %2 inside row %3").arg(sh_.name, QString::fromUtf8(ref)).arg(number));
        }
        if (cc < 1 || cc > kMaxCols)
            Fail(QStringLiteral("sheet %1 row %2 has a cell beyond column XFD").arg(sh_.name).arg(number));
        if (cc <= lastCol_)
            colsSorted_ = false;
        lastCol_ = cc;
        // Written twice, a cell is kept once; written more often than the row has columns,
        // the row is no spreadsheet's.
        if (rowCells_.size() >= size_t(kMaxCols))
            Fail(QStringLiteral("sheet %1 row %2 has more cells than its %3 columns")
                     .arg(sh_.name)
                     .arg(number)
                     .arg(kMaxCols));
        Cell cell;
        cell.number = 0;
        cell.col = uint16_t(cc);
        if (style)
            cell.style = CheckedStyle(*style, [&] { return CellAddress(cr, cc, false, false); });
        if (node && std::strcmp(type, "inlineStr") == 0) {
            cell.kind = CellKind::Text;
            cell.text = uint32_t(sh_.strings.size());
            AppendItemText(sh_.strings, Child(*node, "is"), [&] {
                return QStringLiteral("cell %1 of sheet %2").arg(CellAddress(cr, cc, false, false), sh_.name);
            });
        } else {
            ReadValue(value, type, cell, cr, cc);
        }
        rowCells_.push_back(cell);
    }

    void EndRow() {
        if (!colsSorted_) {
            std::stable_sort(rowCells_.begin(), rowCells_.end(), [](const Cell& a, const Cell& b) { return a.col < b.col; });
            // The same cell written twice: keep the last.
            auto out = rowCells_.begin();
            for (auto it = rowCells_.begin(); it != rowCells_.end(); ++it) {
                if (out != rowCells_.begin() && (out - 1)->col == it->col)
                    *(out - 1) = *it;
                else
                    *out++ = *it;
            }
            rowCells_.erase(out, rowCells_.end());
        }
        sh_.cells.AddRow(row_, rowCells_.data(), uint32_t(rowCells_.size()));
        // Rows that carry nothing are not worth keeping.
        if (row_.cellCount > 0 || row_.height >= 0 || row_.flags != 0)
            sh_.rows.push_back(row_);
    }

    // `t` is the cell's type attribute, "" when it has none; `text` the text of its <v>,
    // nullptr when it has none.
    void ReadValue(const char* text, const char* t, Cell& cell, int32_t row, int32_t col) {
        const auto what = [&] {
            return QStringLiteral("cell %1 of sheet %2").arg(CellAddress(row, col, false, false), sh_.name);
        };
        if (!text)
            return;  // a styled blank (or a formula without a cached result)
        if (*t == 0 || std::strcmp(t, "n") == 0) {
            double d = 0;
            if (!ParseDouble(text, d)) {
                if (*text == 0)
                    return;
                Fail(QStringLiteral("cell %1 of sheet %2 holds \"%3\", which is not a number")
                         .arg(CellAddress(row, col, false, false), sh_.name,
                              QString::fromUtf8(text).left(40)));
            }
            cell.kind = CellKind::Number;
            cell.number = d;
        } else if (std::strcmp(t, "s") == 0) {
            char* end = nullptr;
            const unsigned long long idx = std::strtoull(text, &end, 10);
            if (!sharedStrings_)
                sharedStrings_ = &wb_.SharedStrings();
            if (end == text || idx >= sharedStrings_->size())
                Fail(QStringLiteral("cell %1 of sheet %2 uses shared string %3, but the workbook "
                                    "has only %4")
                         .arg(CellAddress(row, col, false, false), sh_.name,
                              QString::fromUtf8(text).left(20))
                         .arg(sharedStrings_->size()));
            cell.kind = CellKind::SharedString;
            cell.text = uint32_t(idx);
        } else if (std::strcmp(t, "b") == 0) {
            cell.kind = CellKind::Boolean;
            cell.number = (std::strcmp(text, "1") == 0 || std::strcmp(text, "true") == 0) ? 1 : 0;
        } else if (std::strcmp(t, "e") == 0 || std::strcmp(t, "str") == 0) {
            cell.kind = *t == 'e' ? CellKind::Error : CellKind::Text;
            cell.text = uint32_t(sh_.strings.size());
            AppendCellText(sh_.strings, text, what);
        } else if (std::strcmp(t, "d") == 0) {
            const double d = SerialFromIso(text, wb_.date1904);
            if (std::isnan(d))
                return;
            cell.kind = CellKind::Number;
            cell.number = d;
        } else {
            Fail(QStringLiteral("cell %1 of sheet %2 has an unknown type \"%3\"")
                     .arg(CellAddress(row, col, false, false), sh_.name,
                          QString::fromUtf8(t).left(20)));
        }
    }

    void ReadMerges(const pugi::xml_node& merges) {
        for (pugi::xml_node m : merges.children()) {
            if (!Is(m, "mergeCell"))
                continue;
            auto r = ParseRange(QString::fromUtf8(m.attribute("ref").value()));
            if (r && r->Cells() > 1)
                sh_.merges.append(*r);
        }
    }

    static GridPoint ReadPoint(const pugi::xml_node& n) {
        GridPoint p;
        auto num = [&](const char* name) {
            return std::strtoll(Child(n, name).text().get(), nullptr, 10);
        };
        const long long col = num("col"), row = num("row");
        // Told as written (counted from 0): a saturated value has no successor.
        if (col < 0 || col >= kMaxCols || row < 0 || row >= kMaxRows)
            throw Error(QStringLiteral("column index %1, row index %2").arg(col).arg(row));
        p.col = int32_t(col);
        p.row = int32_t(row);
        p.colOff = std::clamp<long long>(num("colOff"), -(1LL << 40), 1LL << 40);
        p.rowOff = std::clamp<long long>(num("rowOff"), -(1LL << 40), 1LL << 40);
        return p;
    }

    void ReadShape(const pugi::xml_node& node, Anchor anchor) {
        DrawingShape shape;
        shape.anchor = anchor;
        const char* local = LocalName(node.name());
        pugi::xml_node nv;
        if (std::strcmp(local, "sp") == 0) {
            shape.kind = ShapeKind::Shape;
            nv = Child(Child(node, "nvSpPr"), "cNvPr");
        } else if (std::strcmp(local, "pic") == 0) {
            shape.kind = ShapeKind::Picture;
            nv = Child(Child(node, "nvPicPr"), "cNvPr");
            shape.relId = QString::fromUtf8(
                Attr(Child(Child(node, "blipFill"), "blip"), "embed", true).value());
            shape.imagePart = drawingTargets_.value(shape.relId);
        } else if (std::strcmp(local, "graphicFrame") == 0) {
            nv = Child(Child(node, "nvGraphicFramePr"), "cNvPr");
            pugi::xml_node data = Child(Child(node, "graphic"), "graphicData");
            pugi::xml_node chart = Child(data, "chart");
            if (chart) {
                shape.kind = ShapeKind::Chart;
                shape.relId = QString::fromUtf8(Attr(chart, "id", true).value());
                shape.chartPart = drawingTargets_.value(shape.relId);
            }
        } else if (std::strcmp(local, "grpSp") == 0) {
            shape.kind = ShapeKind::Group;
            nv = Child(Child(node, "nvGrpSpPr"), "cNvPr");
        } else if (std::strcmp(local, "cxnSp") == 0) {
            shape.kind = ShapeKind::Connector;
            nv = Child(Child(node, "nvCxnSpPr"), "cNvPr");
        } else {
            return;
        }
        // A graphic frame carries its transform itself; other shapes in their shape properties.
        pugi::xml_node xfrm = Child(node, "xfrm");
        if (!xfrm)
            xfrm = Child(Child(node, std::strcmp(local, "grpSp") == 0 ? "grpSpPr" : "spPr"), "xfrm");
        if (pugi::xml_node ext = Child(xfrm, "ext")) {
            shape.xfrmCx = std::clamp<long long>(ext.attribute("cx").as_llong(), 0, 1LL << 40);
            shape.xfrmCy = std::clamp<long long>(ext.attribute("cy").as_llong(), 0, 1LL << 40);
            // A two-cell anchor holds no extent of its own; the writer keeps the transform
            // in step with the anchor's, so it must start from the file's.
            if (shape.anchor.type == Anchor::Type::TwoCell && shape.xfrmCx > 0 && shape.xfrmCy > 0) {
                shape.anchor.cx = shape.xfrmCx;
                shape.anchor.cy = shape.xfrmCy;
            }
        }
        shape.name = QString::fromUtf8(nv.attribute("name").value());
        shape.id = nv.attribute("id").as_int(0);
        shape.description = QString::fromUtf8(nv.attribute("descr").value());
        sh_.shapes.push_back(shape);
    }

    void ReadDrawing(const char* relId) {
        const QString id = QString::fromUtf8(relId);
        for (const Relationship& rel : sh_.rels)
            if (rel.id == id && !rel.external)
                sh_.drawingPart = rel.target;
        if (sh_.drawingPart.isEmpty() || !wb_.package.Has(sh_.drawingPart))
            Fail(QStringLiteral("the drawing of sheet %1 is missing").arg(sh_.name));
        sh_.drawingRels = wb_.package.Relationships(sh_.drawingPart);
        for (const Relationship& rel : sh_.drawingRels)
            if (!rel.external)
                drawingTargets_.insert(rel.id, rel.target);  // a later one of the same id wins
        pugi::xml_document doc;
        LoadXml(doc, wb_.package.Part(sh_.drawingPart), sh_.drawingPart);
        for (pugi::xml_node a : doc.document_element().children()) {
            Anchor anchor;
            const char* local = LocalName(a.name());
            try {
                if (std::strcmp(local, "twoCellAnchor") == 0) {
                    anchor.type = Anchor::Type::TwoCell;
                    anchor.from = ReadPoint(Child(a, "from"));
                    anchor.to = ReadPoint(Child(a, "to"));
                    anchor.editAs = QString::fromUtf8(a.attribute("editAs").value());
                } else if (std::strcmp(local, "oneCellAnchor") == 0) {
                    anchor.type = Anchor::Type::OneCell;
                    anchor.from = ReadPoint(Child(a, "from"));
                } else if (std::strcmp(local, "absoluteAnchor") == 0) {
                    anchor.type = Anchor::Type::Absolute;
                    pugi::xml_node pos = Child(a, "pos");
                    anchor.x = std::clamp<long long>(pos.attribute("x").as_llong(), 0, 1LL << 40);
                    anchor.y = std::clamp<long long>(pos.attribute("y").as_llong(), 0, 1LL << 40);
                } else {
                    continue;
                }
            } catch (const Error& e) {
                Fail(QStringLiteral("a drawing on sheet %1 is anchored outside the grid (%2)")
                         .arg(sh_.name, e.Message()));
            }
            if (pugi::xml_node ext = Child(a, "ext")) {
                anchor.cx = std::clamp<long long>(ext.attribute("cx").as_llong(), 0, 1LL << 40);
                anchor.cy = std::clamp<long long>(ext.attribute("cy").as_llong(), 0, 1LL << 40);
            }
            for (pugi::xml_node n : a.children())
                if (n.type() == pugi::node_element && !Is(n, "from") && !Is(n, "to") &&
                    !Is(n, "ext") && !Is(n, "pos") && !Is(n, "clientData"))
                    ReadShape(n, anchor);
        }
    }

    // Slices of this many bytes: their trees take a few times as much.
    static constexpr qsizetype kSlice = qsizetype(1) << 20;

    const WorkbookData& wb_;
    SheetData& sh_;
    const StringTable* sharedStrings_ = nullptr;  // read when a cell first needs them
    qsizetype styleCount_ = -1;                    // the same for the styles
    QHash<QString, QString> drawingTargets_;  // the drawing's relationships: id -> part
    int32_t lastRow_ = 0;
    bool rowsSorted_ = true;
    RowData row_;  // the row being read
    bool rowsReserved_ = false;
    std::vector<Cell> rowCells_;  // its cells, until it ends
    int32_t lastCol_ = 0;
    bool colsSorted_ = true;
    std::optional<PlainRowScanner> plain_;  // for the prefix of the sheet's elements
    PlainRow plainRow_;
};

}  // namespace

SheetData ReadSheet(const WorkbookData& book, const SheetEntry& entry) {
    SheetData sheet;
    static_cast<SheetEntry&>(sheet) = entry;
    sheet.rels = book.package.Relationships(sheet.partName);
    if (sheet.kind != SheetKind::Other)
        SheetReader(book, sheet).Read();
    return sheet;
}

}  // namespace xl
