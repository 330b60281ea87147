// Reads an .xlsx / .xlsm package into WorkbookData. Sheet cells are parsed in slices of rows so
// that a sheet of a million cells never needs a whole-document XML tree in memory.

#include "platform/workbook/WorkbookData.h"

#include "platform/workbook/Error.h"
#include "platform/workbook/FontMap.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QTimeZone>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace xl {

// ---- lookups on the read data ---------------------------------------------------------------

const RowData* SheetData::FindRow(int32_t row) const {
    auto it = std::lower_bound(rows.begin(), rows.end(), row,
                               [](const RowData& r, int32_t v) { return r.row < v; });
    return it != rows.end() && it->row == row ? &*it : nullptr;
}

const Cell* SheetData::FindCell(int32_t row, int32_t col) const {
    const RowData* r = FindRow(row);
    if (!r || r->cellCount == 0)
        return nullptr;
    const Cell* begin = cells.data() + r->firstCell;
    const Cell* end = begin + r->cellCount;
    const Cell* it = std::lower_bound(begin, end, col,
                                      [](const Cell& c, int32_t v) { return c.col < v; });
    return it != end && it->col == col ? it : nullptr;
}

const ColSpan* SheetData::FindCol(int32_t col) const {
    auto it = std::upper_bound(cols.begin(), cols.end(), col,
                               [](int32_t v, const ColSpan& s) { return v < s.first; });
    if (it == cols.begin())
        return nullptr;
    --it;
    return col <= it->last ? &*it : nullptr;
}

void StringTable::Append(const QString& s) {
    if (text_.size() + s.size() > qsizetype(UINT32_MAX))
        throw Error(QStringLiteral("its shared strings are too long to read"));
    text_ += s;
    ends_.push_back(uint32_t(text_.size()));
}

void StringTable::Squeeze() {
    text_.squeeze();
    ends_.shrink_to_fit();
}

CellValue SheetData::ValueOf(const Cell& c, const StringTable& sharedStrings) const {
    switch (c.kind) {
    case CellKind::Blank: return {};
    case CellKind::Number: return CellValue::Number(c.number);
    case CellKind::Boolean: return CellValue::Boolean(c.number != 0);
    case CellKind::SharedString: return CellValue::Text(sharedStrings[c.text]);
    case CellKind::Text: return CellValue::Text(strings[c.text]);
    case CellKind::Error: return CellValue::Error(strings[c.text]);
    }
    return {};
}

// ---- font measurement -----------------------------------------------------------------------

namespace {

// Digit advance per em of the common fonts, for when nothing can be measured.
double DigitEm(const QString& name) {
    const QString n = name.toLower();
    if (n.startsWith(QLatin1String("calibri")) || n == QLatin1String("carlito"))
        return 0.507;
    if (n.startsWith(QLatin1String("courier")) || n.contains(QLatin1String("mono")))
        return 0.6;
    if (n.startsWith(QLatin1String("times")) || n.contains(QLatin1String("serif")))
        return 0.5;
    if (n == QLatin1String("cambria") || n == QLatin1String("caladea"))
        return 0.555;
    return 0.556;  // Arial, Liberation Sans and most sans-serif faces
}

}  // namespace

int MaxDigitWidth(const QString& fontName, double pointSize) {
    const double pixels = pointSize * 96.0 / 72.0;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const QString family = StandInFamily(fontName);
        QFont font(family);
        font.setPixelSize(1000);  // measured large and scaled: no hinting in the figures
        if (QFontInfo(font).family().compare(family, Qt::CaseInsensitive) == 0) {
            QFontMetricsF fm(font);
            double widest = 0;
            for (char d = '0'; d <= '9'; ++d)
                widest = std::max(widest, fm.horizontalAdvance(QLatin1Char(d)));
            if (widest > 0)
                return std::max(1, int(std::lround(widest * pixels / 1000.0)));
        }
    }
    return std::max(1, int(std::lround(DigitEm(fontName) * pixels)));
}

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

// The text of a string item (<si>, <is>): its <t>, or the runs' <t> joined; phonetic runs
// (<rPh>) are not part of the text. Throws the bare reason when the item passes what a cell
// holds; `what` names the item for it.
template <class What>
QString ItemText(const pugi::xml_node& item, const What& what) {
    QString out;
    qsizetype runs = 0;
    for (pugi::xml_node n = item.first_child(); n; n = n.next_sibling()) {
        if (Is(n, "t")) {
            out += QString::fromUtf8(n.text().get());
        } else if (Is(n, "r")) {
            // Every run carries at least one character in the spreadsheet's own files.
            if (++runs > kMaxCellChars)
                Fail(QStringLiteral("%1 has more than %2 formatting runs, more than its "
                                    "characters can carry")
                         .arg(what())
                         .arg(kMaxCellChars));
            out += QString::fromUtf8(Child(n, "t").text().get());
        }
        if (out.size() > kMaxCellChars)
            Fail(QStringLiteral("%1 has more than the %2 characters a cell can hold")
                     .arg(what())
                     .arg(kMaxCellChars));
    }
    return out;
}

template <class What>
QString CheckedCellText(const char* utf8, const What& what) {
    QString text = QString::fromUtf8(utf8);
    if (text.size() > kMaxCellChars)
        Fail(QStringLiteral("%1 has more than the %2 characters a cell can hold")
                 .arg(what())
                 .arg(kMaxCellChars));
    return text;
}

double SerialFromIso(const QString& iso, bool date1904) {
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

// Parses the bytes [pos, end) of a part, whole elements in UTF-8, as a fragment; `what` names
// them in the refusal of a slice whose tree would be too large.
void LoadSlice(pugi::xml_document& frag, const QByteArray& xml, qsizetype pos, qsizetype end,
               const QString& partName, const QString& what) {
    CheckTreeBytes(xml.constData() + pos, size_t(end - pos), what);
    const pugi::xml_parse_result res = frag.load_buffer(
        xml.constData() + pos, size_t(end - pos),
        pugi::parse_default | pugi::parse_fragment | pugi::parse_ws_pcdata_single, pugi::encoding_utf8);
    if (!res)
        Fail(QStringLiteral("part %1 is not well-formed XML (%2 at byte %3)")
                 .arg(partName, QString::fromUtf8(res.description()))
                 .arg(pos + res.offset));
}

// ---- sheet slicing --------------------------------------------------------------------------

struct SheetDataSpan {
    qsizetype contentBegin = -1, contentEnd = -1;  // between <sheetData ...> and </sheetData>
    qsizetype elemBegin = -1, elemEnd = -1;        // the whole element
    QByteArray prefix;                             // "x:" when the producer prefixes
};

bool IsNameEnd(char ch) { return ch == '>' || ch == '/' || ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

SheetDataSpan FindSheetData(const QByteArray& xml) {
    SheetDataSpan span;
    qsizetype pos = 0;
    const QByteArray name("sheetData");
    while ((pos = xml.indexOf(name, pos)) >= 0) {
        const qsizetype after = pos + name.size();
        if (after >= xml.size() || !IsNameEnd(xml[after])) {
            pos = after;
            continue;
        }
        qsizetype lt = pos - 1;
        while (lt >= 0 && xml[lt] != '<' && xml[lt] != '>' && xml[lt] != ' ')
            --lt;
        if (lt < 0 || xml[lt] != '<' || (lt + 1 < xml.size() && xml[lt + 1] == '/')) {
            pos = after;
            continue;
        }
        span.prefix = xml.mid(lt + 1, pos - lt - 1);
        span.elemBegin = lt;
        const qsizetype gt = xml.indexOf('>', after);
        if (gt < 0)
            return {};
        if (xml[gt - 1] == '/') {  // <sheetData/>
            span.contentBegin = span.contentEnd = gt + 1;
            span.elemEnd = gt + 1;
            return span;
        }
        span.contentBegin = gt + 1;
        const QByteArray close = "</" + span.prefix + "sheetData";
        const qsizetype end = xml.indexOf(close, span.contentBegin);
        if (end < 0)
            return {};
        const qsizetype endGt = xml.indexOf('>', end);
        if (endGt < 0)
            return {};
        span.contentEnd = end;
        span.elemEnd = endGt + 1;
        return span;
    }
    return span;
}

// The next position after a row's end tag at or beyond `from`; the end when there is none.
qsizetype NextRowBoundary(const QByteArray& xml, qsizetype from, qsizetype end,
                          const QByteArray& rowClose) {
    if (from >= end)
        return end;
    const qsizetype at = xml.indexOf(rowClose, from);
    if (at < 0 || at >= end)
        return end;
    const qsizetype gt = xml.indexOf('>', at);
    return gt < 0 || gt >= end ? end : gt + 1;
}

class SheetReader {
public:
    // `charts` indexes the charts read so far by part, across the sheets.
    SheetReader(WorkbookData& wb, SheetData& sheet, QHash<QString, int>& charts)
        : wb_(wb), sh_(sheet), charts_(charts) {}

    void Read() {
        const QByteArray& xml = wb_.package.Part(sh_.partName);
        const SheetDataSpan span = FindSheetData(xml);
        pugi::xml_document doc;
        if (span.elemBegin >= 0) {
            QByteArray rest;
            rest.reserve(xml.size() - (span.elemEnd - span.elemBegin) + 32);
            rest.append(xml.constData(), span.elemBegin);
            rest.append("<" + span.prefix + "sheetData/>");
            rest.append(xml.constData() + span.elemEnd, xml.size() - span.elemEnd);
            LoadXml(doc, rest, sh_.partName);
        } else {
            LoadXml(doc, xml, sh_.partName);
        }
        pugi::xml_node root = doc.document_element();
        if (sh_.kind == SheetKind::Worksheet && !Is(root, "worksheet"))
            Fail(QStringLiteral("part %1 is not a worksheet").arg(sh_.partName));
        ReadViews(Child(root, "sheetViews"));
        ReadFormat(Child(root, "sheetFormatPr"));
        ReadCols(Child(root, "cols"));
        if (span.contentBegin >= 0)
            ReadRows(xml, span);
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
    uint32_t CheckedStyle(uint32_t s, const Where& where) const {
        if (s >= uint32_t(wb_.styles.cellXfs.size()))
            Fail(QStringLiteral("%1 of sheet %2 uses style %3, but the workbook defines only %4")
                     .arg(where(), sh_.name)
                     .arg(s)
                     .arg(wb_.styles.cellXfs.size()));
        return s;
    }

    void ReadRows(const QByteArray& xml, const SheetDataSpan& span) {
        const QByteArray rowClose = "</" + span.prefix + "row";
        constexpr qsizetype kSlice = 4 << 20;
        // A stored cell takes 20 bytes of XML at the least, mostly 30 or more: room for the
        // cells at once, rather than a vector that doubles (and copies) its way up to them.
        sh_.cells.reserve(sh_.cells.size() + size_t((span.contentEnd - span.contentBegin) / 32));
        qsizetype pos = span.contentBegin;
        while (pos < span.contentEnd) {
            const qsizetype end = NextRowBoundary(xml, std::min(pos + kSlice, span.contentEnd),
                                                  span.contentEnd, rowClose);
            pugi::xml_document frag;
            LoadSlice(frag, xml, pos, end, sh_.partName,
                      QStringLiteral("the rows of sheet %1 after row %2").arg(sh_.name).arg(lastRow_));
            for (pugi::xml_node r = frag.first_child(); r; r = r.next_sibling())
                if (r.type() == pugi::node_element && Is(r, "row"))
                    ReadRow(r);
            pos = end;
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

    void ReadRow(const pugi::xml_node& r) {
        RowData row;
        int32_t number = lastRow_ + 1;
        if (pugi::xml_attribute ra = r.attribute("r")) {
            number = ra.as_int(0);
        }
        if (number < 1 || number > kMaxRows)
            Fail(QStringLiteral("sheet %1 has a row %2 outside the grid").arg(sh_.name).arg(number));
        if (number <= lastRow_)
            rowsSorted_ = false;
        lastRow_ = number;
        row.row = number;
        if (pugi::xml_attribute ht = r.attribute("ht"))
            row.height = float(std::clamp(ht.as_double(-1), 0.0, 409.5));
        if (r.attribute("hidden").as_bool(false))
            row.flags |= kRowHidden;
        if (r.attribute("customHeight").as_bool(false))
            row.flags |= kRowCustomHeight;
        if (r.attribute("customFormat").as_bool(false)) {
            row.flags |= kRowCustomFormat;
            row.style = CheckedStyle(r.attribute("s").as_uint(0), [&] { return QStringLiteral("row %1").arg(number); });
        }
        row.firstCell = uint32_t(sh_.cells.size());
        int32_t lastCol = 0;
        bool sorted = true;
        for (pugi::xml_node c = r.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element || !Is(c, "c"))
                continue;
            int32_t cr = number, cc = lastCol + 1;
            if (pugi::xml_attribute ref = c.attribute("r")) {
                if (!ParseCellRef(ref.value(), cr, cc))
                    Fail(QStringLiteral("sheet %1 has a cell \"%2\" outside the grid")
                             .arg(sh_.name, QString::fromUtf8(ref.value())));
                if (cr != number)
                    Fail(QStringLiteral("sheet %1 has cell %2 inside row %3")
                             .arg(sh_.name, QString::fromUtf8(ref.value()))
                             .arg(number));
            }
            if (cc < 1 || cc > kMaxCols)
                Fail(QStringLiteral("sheet %1 row %2 has a cell beyond column XFD").arg(sh_.name).arg(number));
            if (cc <= lastCol)
                sorted = false;
            lastCol = cc;
            // Written twice, a cell is kept once; written more often than the row has columns,
            // the row is no spreadsheet's.
            if (sh_.cells.size() - row.firstCell >= size_t(kMaxCols))
                Fail(QStringLiteral("sheet %1 row %2 has more cells than its %3 columns")
                         .arg(sh_.name)
                         .arg(number)
                         .arg(kMaxCols));
            Cell cell;
            cell.number = 0;
            cell.col = uint16_t(cc);
            if (pugi::xml_attribute s = c.attribute("s"))
                cell.style = CheckedStyle(s.as_uint(0), [&] { return CellAddress(cr, cc, false, false); });
            ReadValue(c, cell, cr, cc);
            sh_.cells.push_back(cell);
        }
        row.cellCount = uint32_t(sh_.cells.size() - row.firstCell);
        if (!sorted) {
            auto begin = sh_.cells.begin() + row.firstCell;
            std::stable_sort(begin, sh_.cells.end(),
                             [](const Cell& a, const Cell& b) { return a.col < b.col; });
            // The same cell written twice: keep the last.
            auto out = begin;
            for (auto it = begin; it != sh_.cells.end(); ++it) {
                if (out != begin && (out - 1)->col == it->col)
                    *(out - 1) = *it;
                else
                    *out++ = *it;
            }
            sh_.cells.erase(out, sh_.cells.end());
            row.cellCount = uint32_t(sh_.cells.size() - row.firstCell);
        }
        // Rows that carry nothing are not worth keeping.
        if (row.cellCount > 0 || row.height >= 0 || row.flags != 0)
            sh_.rows.push_back(row);
    }

    uint32_t Pool(const QString& s) {
        sh_.strings.push_back(s);
        return uint32_t(sh_.strings.size() - 1);
    }

    void ReadValue(const pugi::xml_node& c, Cell& cell, int32_t row, int32_t col) {
        const char* t = c.attribute("t").value();
        const auto what = [&] {
            return QStringLiteral("cell %1 of sheet %2").arg(CellAddress(row, col, false, false), sh_.name);
        };
        if (std::strcmp(t, "inlineStr") == 0) {
            cell.kind = CellKind::Text;
            cell.text = Pool(ItemText(Child(c, "is"), what));
            return;
        }
        pugi::xml_node v = Child(c, "v");
        if (!v)
            return;  // a styled blank (or a formula without a cached result)
        const char* text = v.text().get();
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
            if (end == text || idx >= wb_.sharedStrings.size())
                Fail(QStringLiteral("cell %1 of sheet %2 uses shared string %3, but the workbook "
                                    "has only %4")
                         .arg(CellAddress(row, col, false, false), sh_.name,
                              QString::fromUtf8(text).left(20))
                         .arg(wb_.sharedStrings.size()));
            cell.kind = CellKind::SharedString;
            cell.text = uint32_t(idx);
        } else if (std::strcmp(t, "b") == 0) {
            cell.kind = CellKind::Boolean;
            cell.number = (std::strcmp(text, "1") == 0 || std::strcmp(text, "true") == 0) ? 1 : 0;
        } else if (std::strcmp(t, "e") == 0) {
            cell.kind = CellKind::Error;
            cell.text = Pool(CheckedCellText(text, what));
        } else if (std::strcmp(t, "str") == 0) {
            cell.kind = CellKind::Text;
            cell.text = Pool(CheckedCellText(text, what));
        } else if (std::strcmp(t, "d") == 0) {
            const double d = SerialFromIso(QString::fromUtf8(text), wb_.date1904);
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
                if (!shape.chartPart.isEmpty() && wb_.package.Has(shape.chartPart))
                    shape.chart = ChartIndex(shape.chartPart);
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

    int ChartIndex(const QString& part) {
        if (auto it = charts_.constFind(part); it != charts_.constEnd())
            return *it;
        wb_.charts.push_back(ReadChart(wb_.package, part, wb_.theme));
        charts_.insert(part, int(wb_.charts.size() - 1));
        return int(wb_.charts.size() - 1);
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

    WorkbookData& wb_;
    SheetData& sh_;
    QHash<QString, int>& charts_;
    QHash<QString, QString> drawingTargets_;  // the drawing's relationships: id -> part
    int32_t lastRow_ = 0;
    bool rowsSorted_ = true;
};

// ---- the package ----------------------------------------------------------------------------

QString RelTarget(const QList<Relationship>& rels, const char* kind) {
    for (const Relationship& r : rels)
        if (!r.external && r.Kind() == QLatin1String(kind))
            return r.target;
    return {};
}

void Detect(const QByteArray& bytes) {
    if (bytes.isEmpty())
        Fail(QStringLiteral("the file is empty"));
    if (bytes.startsWith(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)))
        Fail(QStringLiteral("it is an Excel 97-2003 (.xls) workbook or a password-protected file"));
    if (!bytes.startsWith("PK"))
        Fail(QStringLiteral("it is not a zip package"));
}

// The shared strings, read in slices of whole items, so that the table of a large workbook
// never needs a tree of the whole part, and no slice a tree larger than the part itself.
void ReadSharedStrings(const QByteArray& xml, const QString& partName, size_t maxStrings,
                       StringTable& out) {
    const auto add = [&](const pugi::xml_node& si) {
        if (out.size() >= maxStrings)
            Fail(QStringLiteral("it has more than %1 shared strings, more than its sheets have "
                                "cells to show")
                     .arg(maxStrings));
        out.Append(ItemText(si, [&] { return QStringLiteral("shared string %1").arg(out.size() + 1); }));
    };
    // Slices are cut in UTF-8; a part in UTF-16 is read whole.
    if (xml.startsWith("\xFF\xFE") || xml.startsWith("\xFE\xFF") ||
        (xml.size() > 1 && (xml[0] == 0 || xml[1] == 0))) {
        pugi::xml_document doc;
        LoadXml(doc, xml, partName, pugi::parse_default | pugi::parse_ws_pcdata_single);
        for (pugi::xml_node si : doc.document_element().children())
            if (Is(si, "si"))
                add(si);
        return;
    }
    // The content of the root element: after its start tag, up to its end tag.
    qsizetype root = 0;
    while ((root = xml.indexOf('<', root)) >= 0 && root + 1 < xml.size() &&
           (xml[root + 1] == '?' || xml[root + 1] == '!'))
        ++root;
    const qsizetype begin = root < 0 ? -1 : xml.indexOf('>', root);
    const qsizetype end = xml.lastIndexOf("</");
    if (begin < 0 || xml[begin - 1] == '/' || end <= begin) {
        pugi::xml_document doc;
        LoadXml(doc, xml, partName);  // an empty table, or the reason it is not well-formed
        return;
    }
    qsizetype name = root + 1;
    while (name < begin && !IsNameEnd(xml[name]))
        ++name;
    const QByteArray rootName = xml.mid(root + 1, name - root - 1);
    const qsizetype colon = rootName.indexOf(':');
    const QByteArray itemStart = "<" + (colon < 0 ? QByteArray() : rootName.left(colon + 1)) + "si";

    constexpr qsizetype kSlice = 1 << 20;
    qsizetype pos = begin + 1;
    while (pos < end) {
        // Up to the start of an item at least a slice further on, or the end.
        qsizetype next = std::min(pos + kSlice, end);
        while (next < end) {
            next = xml.indexOf(itemStart, next);
            if (next < 0 || next >= end) {
                next = end;
                break;
            }
            const qsizetype after = next + itemStart.size();
            if (after < end && IsNameEnd(xml[after]))
                break;
            next = after;
        }
        pugi::xml_document frag;
        LoadSlice(frag, xml, pos, next, partName,
                  QStringLiteral("the shared strings from number %1 on").arg(out.size() + 1));
        for (pugi::xml_node si = frag.first_child(); si; si = si.next_sibling()) {
            if (si.type() == pugi::node_element && Is(si, "si"))
                add(si);
        }
        pos = next;
    }
    out.Squeeze();
}

void ReadParts(WorkbookData& wb) {
    const Package& pkg = wb.package;
    // An OpenDocument file is a zip too: its first entry says what it is.
    if (pkg.Has(QStringLiteral("mimetype"))) {
        const QByteArray mime = pkg.Part(QStringLiteral("mimetype")).trimmed();
        if (mime.startsWith("application/vnd.oasis.opendocument"))
            Fail(QStringLiteral("it is an OpenDocument file (%1), not .xlsx")
                     .arg(QString::fromUtf8(mime.left(80))));
    }
    wb.workbookPart = RelTarget(pkg.Relationships(QString()), "officeDocument");
    if (wb.workbookPart.isEmpty())
        wb.workbookPart = QStringLiteral("xl/workbook.xml");
    if (!pkg.Has(wb.workbookPart))
        Fail(QStringLiteral("the workbook part %1 is missing").arg(wb.workbookPart));
    const QString type = pkg.ContentType(wb.workbookPart);
    if (!type.isEmpty() && !type.contains(QLatin1String("spreadsheetml.sheet.main")) &&
        !type.contains(QLatin1String("spreadsheetml.template.main")) &&
        !type.contains(QLatin1String("ms-excel.sheet.macroEnabled.main")) &&
        !type.contains(QLatin1String("ms-excel.template.macroEnabled.main")))
        Fail(QStringLiteral("its main part is of type %1").arg(type));
    wb.macroEnabled = type.contains(QLatin1String("macroEnabled"));

    pugi::xml_document doc;
    LoadXml(doc, pkg.Part(wb.workbookPart), wb.workbookPart);
    pugi::xml_node root = doc.document_element();
    if (!Is(root, "workbook"))
        Fail(QStringLiteral("part %1 is not a workbook").arg(wb.workbookPart));
    wb.workbookRels = pkg.Relationships(wb.workbookPart);
    wb.date1904 = Child(root, "workbookPr").attribute("date1904").as_bool(false);
    wb.activeTab = std::max(0, Child(Child(root, "bookViews"), "workbookView").attribute("activeTab").as_int(0));

    wb.themePart = RelTarget(wb.workbookRels, "theme");
    wb.theme = ReadTheme(pkg, wb.themePart);
    wb.stylesPart = RelTarget(wb.workbookRels, "styles");
    wb.styles = ReadStyles(pkg, wb.stylesPart, wb.theme);
    wb.sharedStringsPart = RelTarget(wb.workbookRels, "sharedStrings");
    if (!wb.sharedStringsPart.isEmpty() && pkg.Has(wb.sharedStringsPart)) {
        // A shared string is there for a cell to show, and a cell that shows one takes some
        // twenty bytes of its sheet: a table longer than the sheets can refer to is no
        // spreadsheet's, however few bytes its strings take.
        constexpr qsizetype kMinCellBytes = 16;
        qsizetype sheetBytes = 0;
        for (const Relationship& r : wb.workbookRels)
            if (!r.external && r.Kind() == QLatin1String("worksheet"))
                sheetBytes += qsizetype(pkg.PartSize(r.target));
        ReadSharedStrings(pkg.Part(wb.sharedStringsPart), wb.sharedStringsPart,
                          size_t(sheetBytes / kMinCellBytes) + 1024, wb.sharedStrings);
    }
    const Font font = wb.styles.DefaultFont();
    wb.maxDigitWidth = MaxDigitWidth(font.name, font.size);

    QHash<QString, qsizetype> relIndex;
    for (qsizetype i = 0; i < wb.workbookRels.size(); ++i)
        if (!wb.workbookRels[i].external)
            relIndex.insert(wb.workbookRels[i].id, i);  // a later one of the same id wins
    QHash<QString, QString> sheetOfPart;
    for (pugi::xml_node s : Child(root, "sheets").children()) {
        if (!Is(s, "sheet"))
            continue;
        SheetData sheet;
        sheet.name = QString::fromUtf8(s.attribute("name").value());
        sheet.sheetId = s.attribute("sheetId").as_int(0);
        if (pugi::xml_attribute st = s.attribute("state"))
            sheet.state = QString::fromUtf8(st.value());
        sheet.relId = QString::fromUtf8(Attr(s, "id", true).value());
        QString kind;
        if (auto it = relIndex.constFind(sheet.relId); it != relIndex.constEnd()) {
            sheet.partName = wb.workbookRels[*it].target;
            kind = wb.workbookRels[*it].Kind();
        }
        if (sheet.partName.isEmpty() || !pkg.Has(sheet.partName))
            Fail(QStringLiteral("the part of sheet \"%1\" is missing").arg(sheet.name));
        // Each sheet has a part of its own, so there are never more sheets than parts.
        if (auto it = sheetOfPart.constFind(sheet.partName); it != sheetOfPart.constEnd())
            Fail(QStringLiteral("sheets \"%1\" and \"%2\" are both stored in part %3")
                     .arg(*it, sheet.name, sheet.partName));
        sheetOfPart.insert(sheet.partName, sheet.name);
        sheet.kind = kind == QLatin1String("worksheet")    ? SheetKind::Worksheet
                     : kind == QLatin1String("chartsheet") ? SheetKind::ChartSheet
                                                           : SheetKind::Other;
        sheet.rels = pkg.Relationships(sheet.partName);
        wb.sheets.push_back(std::move(sheet));
    }
    if (wb.sheets.empty())
        Fail(QStringLiteral("the workbook has no sheets"));
    if (wb.activeTab >= int(wb.sheets.size()))
        wb.activeTab = 0;
    QHash<QString, int> charts;
    for (SheetData& sheet : wb.sheets) {
        if (sheet.kind == SheetKind::Other)
            continue;
        SheetReader(wb, sheet, charts).Read();
    }
}

}  // namespace

std::shared_ptr<const WorkbookData> ReadWorkbookBytes(const QByteArray& bytes, const QString& path,
                                                      const PackageLimits& limits) {
    auto wb = std::make_shared<WorkbookData>();
    wb->path = path;
    try {
        Detect(bytes);
        wb->package = Package::FromZip(bytes, limits);
        ReadParts(*wb);
    } catch (const Error& e) {
        throw Error(QStringLiteral("%1 is not an .xlsx workbook this program can read: %2")
                        .arg(path, e.Message()));
    } catch (const std::bad_alloc&) {
        throw Error(QStringLiteral("%1 is not an .xlsx workbook this program can read: it is "
                                   "too large to read into memory")
                        .arg(path));
    }
    return wb;
}

void CheckWorkbookFile(const QString& path) {
    const QFileInfo info(path);
    if (info.isFile())
        return;
    if (info.isDir())
        throw Error(QStringLiteral("%1 can't be read: it is a folder, not a file").arg(path));
    if (info.exists())  // a pipe, a socket or a device: opening a pipe would wait for a writer
        throw Error(QStringLiteral("%1 can't be read: it is not a regular file").arg(path));
    throw Error(QStringLiteral("%1 can't be read: the file does not exist").arg(path));
}

std::shared_ptr<const WorkbookData> ReadWorkbookFile(const QString& path) {
    CheckWorkbookFile(path);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("%1 can't be read: %2").arg(path, f.errorString()));
    if (f.size() > (int64_t(1) << 30))
        throw Error(QStringLiteral("%1 is not an .xlsx workbook this program can read: the file "
                                   "is larger than 1 GB")
                        .arg(path));
    return ReadWorkbookBytes(f.readAll(), path);
}

}  // namespace xl
