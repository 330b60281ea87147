#include "platform/workbook/Workbook.h"

#include "platform/workbook/NumberFormat.h"
#include "platform/workbook/Waiting.h"

#include <QThreadPool>

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <functional>
#include <cmath>

namespace xl {

// ---- SpanMap --------------------------------------------------------------------------------

void SpanMap::Assign(int32_t first, int32_t last, double value) {
    if (first > last)
        return;
    // Cut the spans overlapping [first, last], keeping their outside parts.
    auto it = spans_.upper_bound(first);
    if (it != spans_.begin())
        --it;
    std::vector<std::tuple<int32_t, int32_t, double>> keep;
    while (it != spans_.end() && it->first <= last) {
        const int32_t f = it->first, l = it->second.first;
        const double v = it->second.second;
        if (l < first) {
            ++it;
            continue;
        }
        if (f < first)
            keep.emplace_back(f, first - 1, v);
        if (l > last)
            keep.emplace_back(last + 1, l, v);
        it = spans_.erase(it);
    }
    for (auto& [f, l, v] : keep)
        spans_[f] = {l, v};
    spans_[first] = {last, value};
}

std::optional<double> SpanMap::Get(int32_t key) const {
    auto it = spans_.upper_bound(key);
    if (it == spans_.begin())
        return std::nullopt;
    --it;
    if (key <= it->second.first)
        return it->second.second;
    return std::nullopt;
}

std::vector<std::tuple<int32_t, int32_t, double>> SpanMap::Spans() const {
    std::vector<std::tuple<int32_t, int32_t, double>> out;
    for (const auto& [f, lv] : spans_)
        out.emplace_back(f, lv.first, lv.second);
    return out;
}

// ---- colours --------------------------------------------------------------------------------

QColor ColorFromLong(int32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

int32_t LongFromColor(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }

// ---- Range ----------------------------------------------------------------------------------

Range::Range(Worksheet* sheet, const RangeRef& ref) : sheet_(sheet), ref_(ref) {}

namespace {
void Need(const Worksheet* s) {
    if (!s)
        throw Error(QStringLiteral("Object variable not set: the range belongs to no sheet"));
}
}  // namespace

QString Range::Address(bool rowAbsolute, bool columnAbsolute) const {
    if (rowAbsolute == columnAbsolute)
        return FormatAddress(ref_, rowAbsolute);
    const QString first = CellAddress(ref_.row1, ref_.col1, rowAbsolute, columnAbsolute);
    if (ref_.row1 == ref_.row2 && ref_.col1 == ref_.col2)
        return first;
    return first + QLatin1Char(':') + CellAddress(ref_.row2, ref_.col2, rowAbsolute, columnAbsolute);
}

Range Range::Rows() const {
    Range r = *this;
    r.counting_ = Counting::Rows;
    return r;
}

Range Range::Columns() const {
    Range r = *this;
    r.counting_ = Counting::Columns;
    return r;
}

Range Range::Rows(int32_t index) const {
    Need(sheet_);
    const int32_t row = ref_.row1 + index - 1;
    if (index < 1 || row > kMaxRows)
        throw Error(QStringLiteral("Row %1 lies outside the grid").arg(index));
    return Range(sheet_, {row, ref_.col1, row, ref_.col2});
}

Range Range::Columns(int32_t index) const {
    Need(sheet_);
    const int32_t col = ref_.col1 + index - 1;
    if (index < 1 || col > kMaxCols)
        throw Error(QStringLiteral("Column %1 lies outside the grid").arg(index));
    return Range(sheet_, {ref_.row1, col, ref_.row2, col});
}

int64_t Range::Count() const {
    switch (counting_) {
    case Counting::Rows: return ref_.Rows();
    case Counting::Columns: return ref_.Cols();
    case Counting::Cells: break;
    }
    return ref_.Cells();
}

Range Range::Cells(int32_t row, int32_t column) const {
    Need(sheet_);
    const int64_t r = int64_t(ref_.row1) + row - 1, c = int64_t(ref_.col1) + column - 1;
    if (r < 1 || r > kMaxRows || c < 1 || c > kMaxCols)
        throw Error(QStringLiteral("Cell (%1, %2) lies outside the grid").arg(r).arg(c));
    return Range(sheet_, {int32_t(r), int32_t(c), int32_t(r), int32_t(c)});
}

Range Range::EntireRow() const { return Range(sheet_, {ref_.row1, 1, ref_.row2, kMaxCols}); }
Range Range::EntireColumn() const { return Range(sheet_, {1, ref_.col1, kMaxRows, ref_.col2}); }

Range Range::MergeArea() const {
    Need(sheet_);
    if (auto m = sheet_->MergeAreaOf(ref_.row1, ref_.col1))
        return Range(sheet_, *m);
    return Range(sheet_, {ref_.row1, ref_.col1, ref_.row1, ref_.col1});
}

CellValue Range::Value() const {
    Need(sheet_);
    return sheet_->Value(ref_.row1, ref_.col1);
}

void Range::SetValue(const CellValue& value) const {
    Need(sheet_);
    if (ref_.Cells() > 1000000)
        throw Error(QStringLiteral("Too many cells to set at once: %1").arg(Address()));
    for (int32_t r = ref_.row1; r <= ref_.row2; ++r)
        for (int32_t c = ref_.col1; c <= ref_.col2; ++c)
            sheet_->values_[{r, c}] = value;
}

QString Range::Text() const {
    Need(sheet_);
    return sheet_->DisplayText(ref_.row1, ref_.col1);
}

double Range::RowHeight() const {
    Need(sheet_);
    return sheet_->RowHeight(ref_.row1);
}

void Range::SetRowHeight(double points) const {
    Need(sheet_);
    if (!(points >= 0 && points <= 409.5))
        throw Error(QStringLiteral("Unable to set the RowHeight property to %1").arg(points));
    sheet_->SetRowHeights(ref_.row1, ref_.row2, points);
}

double Range::ColumnWidth() const {
    Need(sheet_);
    return sheet_->ColumnWidth(ref_.col1);
}

void Range::SetColumnWidth(double characters) const {
    Need(sheet_);
    if (!(characters >= 0 && characters <= 255))
        throw Error(QStringLiteral("Unable to set the ColumnWidth property to %1").arg(characters));
    sheet_->SetColumnWidths(ref_.col1, ref_.col2, characters);
}

Interior Range::GetInterior() const { return Interior(*this); }

void Range::Select() const {
    Need(sheet_);
    sheet_->Activate();
    SheetView& view = sheet_->View();
    const QString pane = view.hasPane ? view.pane.activePane : QStringLiteral("topLeft");
    SelectionView sel;
    sel.pane = pane;
    sel.activeRow = ref_.row1;
    sel.activeCol = ref_.col1;
    sel.ranges = {ref_};
    view.selections.erase(std::remove_if(view.selections.begin(), view.selections.end(),
                                         [&](const SelectionView& s) { return s.pane == pane; }),
                          view.selections.end());
    view.selections.append(sel);
}

void Range::Activate() const { Select(); }

// ---- Interior -------------------------------------------------------------------------------

QColor Interior::ColorQ() const {
    Worksheet* s = range_.Parent();
    Need(s);
    const RangeRef& r = range_.Ref();
    if (auto c = s->InteriorOverride(r.row1, r.col1))
        return *c;
    const Styles& st = s->Book().Look().styles;
    const QColor fill = st.FillOf(s->Style(r.row1, r.col1)).SolidColor();
    return fill.isValid() ? fill : QColor(Qt::white);
}

int32_t Interior::Color() const { return LongFromColor(ColorQ()); }

void Interior::SetColor(int32_t bgr) const {
    Worksheet* s = range_.Parent();
    Need(s);
    const RangeRef& r = range_.Ref();
    if (r.Cells() > 1000000)
        throw Error(QStringLiteral("Too many cells to colour at once: %1").arg(range_.Address()));
    for (int32_t row = r.row1; row <= r.row2; ++row)
        for (int32_t col = r.col1; col <= r.col2; ++col)
            s->interiors_[{row, col}] = ColorFromLong(bgr);
}

// ---- Worksheet: cells and sizes -------------------------------------------------------------

Worksheet::Worksheet(Workbook* book, int index) : book_(book), index_(index) {}

const WorkbookData& Worksheet::Book() const { return book_->Data(); }

const SheetEntry& Worksheet::Entry() const { return Book().sheets[size_t(index_ - 1)]; }

const SheetData& Worksheet::Data() const {
    if (!data_)
        data_ = &Book().Sheet(size_t(index_ - 1));
    return *data_;
}

const SheetView& Worksheet::View() const {
    if (!view_)
        view_ = Data().view;
    return *view_;
}

SheetView& Worksheet::View() {
    if (!view_)
        view_ = Data().view;
    return *view_;
}

std::vector<std::unique_ptr<Shape>>& Worksheet::ShapeObjects() {
    if (!shapesRead_) {
        for (const DrawingShape& s : Data().shapes)
            shapes_.push_back(std::make_unique<Shape>(this, s));
        shapesRead_ = true;
    }
    return shapes_;
}

xl::Range Worksheet::Range(const QString& address) {
    auto r = ParseRange(address);
    if (!r)
        throw Error(QStringLiteral("Method 'Range' of object '_Worksheet' failed: \"%1\" is not an address")
                        .arg(address));
    return xl::Range(this, *r);
}

xl::Range Worksheet::Range(const QString& cell1, const QString& cell2) {
    return Range(Range(cell1), Range(cell2));
}

xl::Range Worksheet::Range(const xl::Range& a, const xl::Range& b) {
    const RangeRef& x = a.Ref();
    const RangeRef& y = b.Ref();
    return xl::Range(this, {std::min(x.row1, y.row1), std::min(x.col1, y.col1),
                            std::max(x.row2, y.row2), std::max(x.col2, y.col2)});
}

xl::Range Worksheet::Cells() { return xl::Range(this, {1, 1, kMaxRows, kMaxCols}); }

xl::Range Worksheet::Cells(int32_t row, int32_t column) { return Cells().Cells(row, column); }

xl::Range Worksheet::Rows() { return Cells().Rows(); }

xl::Range Worksheet::Rows(int32_t row) {
    if (row < 1 || row > kMaxRows)
        throw Error(QStringLiteral("Row %1 lies outside the grid").arg(row));
    return xl::Range(this, {row, 1, row, kMaxCols});
}

xl::Range Worksheet::Rows(const QString& rows) {
    const QString t = rows.trimmed();
    auto r = ParseRange(t.contains(QLatin1Char(':')) ? t : t + QLatin1Char(':') + t);
    if (!r || !r->IsWholeRows())
        throw Error(QStringLiteral("Method 'Rows' failed: \"%1\" is not a row address").arg(rows));
    return xl::Range(this, *r);
}

xl::Range Worksheet::Columns() { return Cells().Columns(); }

xl::Range Worksheet::Columns(int32_t column) {
    if (column < 1 || column > kMaxCols)
        throw Error(QStringLiteral("Column %1 lies outside the grid").arg(column));
    return xl::Range(this, {1, column, kMaxRows, column});
}

xl::Range Worksheet::Columns(const QString& columns) {
    const QString t = columns.trimmed();
    auto r = ParseRange(t.contains(QLatin1Char(':')) ? t : t + QLatin1Char(':') + t);
    if (!r || !r->IsWholeColumns() || r->IsWholeRows())
        throw Error(QStringLiteral("Method 'Columns' failed: \"%1\" is not a column address").arg(columns));
    return xl::Range(this, *r);
}

xl::Range Worksheet::UsedRange() {
    int32_t r1 = kMaxRows + 1, r2 = 0, c1 = kMaxCols + 1, c2 = 0;
    for (const RowData& row : Data().rows) {
        if (row.cellCount == 0)
            continue;
        r1 = std::min(r1, row.row);
        r2 = std::max(r2, row.row);
        c1 = std::min(c1, Data().cells.Col(row, 0));
        c2 = std::max(c2, Data().cells.Col(row, row.cellCount - 1));
    }
    for (const auto& [pos, v] : values_) {
        if (v.IsEmpty())
            continue;
        r1 = std::min(r1, pos.first);
        r2 = std::max(r2, pos.first);
        c1 = std::min(c1, pos.second);
        c2 = std::max(c2, pos.second);
    }
    if (r2 == 0)
        return xl::Range(this, {1, 1, 1, 1});
    return xl::Range(this, {r1, c1, r2, c2});
}

void Worksheet::Activate() {
    book_->SetActiveSheetIndex(index_ - 1);
    book_->Activate();
}

CellValue Worksheet::Value(int32_t row, int32_t col) const {
    if (!values_.empty()) {
        auto it = values_.find({row, col});
        if (it != values_.end())
            return it->second;
    }
    const std::optional<Cell> c = Data().FindCell(row, col);
    return c ? Data().ValueOf(*c, Book().SharedStrings()) : CellValue{};
}

QString Worksheet::DisplayText(int32_t row, int32_t col) const {
    const CellValue v = Value(row, col);
    if (v.IsEmpty())
        return {};
    return FormatValue(v, Style(row, col).numFmtCode, Book().date1904).text;
}

uint32_t Worksheet::StyleIndex(int32_t row, int32_t col) const {
    if (const std::optional<Cell> c = Data().FindCell(row, col))
        return c->style;
    if (const RowData* r = Data().FindRow(row); r && (r->flags & kRowCustomFormat))
        return r->style;
    if (const ColSpan* s = Data().FindCol(col); s && s->hasStyle)
        return s->style;
    return 0;
}

const CellStyle& Worksheet::Style(int32_t row, int32_t col) const {
    return Book().Look().styles.Xf(StyleIndex(row, col));
}

std::optional<QColor> Worksheet::InteriorOverride(int32_t row, int32_t col) const {
    auto it = interiors_.find({row, col});
    if (it == interiors_.end())
        return std::nullopt;
    return it->second;
}

std::optional<RangeRef> Worksheet::MergeAreaOf(int32_t row, int32_t col) const {
    for (const RangeRef& m : Data().merges)
        if (m.Contains(row, col))
            return m;
    return std::nullopt;
}

int Worksheet::MaxDigitWidth() const { return Book().Look().maxDigitWidth; }

int Worksheet::DigitTwips() const { return Book().Look().digitTwips; }

namespace {

// LibreOffice Calc's screen at 100 % on a 96 dpi desktop, the picture users compare ours with.
// Calc keeps widths and heights in twips. A row takes twips / 15 pixels, rounded down. A column
// takes fewer: Calc scales its columns (not its rows) by how much narrower its default font,
// Liberation Sans 10 pt, draws on screen than on paper, and rounds each one down, which on the
// reference desktop (Debian 12, LibreOffice 7.4, 96 dpi) comes to 0.064773 pixels a twip.
// Measured in Calc's window; the fidelity check against Calc keeps it true.
constexpr double kColumnPixelsPerTwip = 0.064773;
constexpr int kTwipsPerRowPixel = 15;
// The padding Calc adds to a default width given as a base of characters: five pixels of a
// 96 dpi screen.
constexpr int kBasePaddingTwips = 75;
constexpr int kMaxTwips = 255 * 1000;

int ColumnTwipsFromFileWidth(double width, int digitTwips) {
    if (!(width > 0))
        return 0;
    return int(std::min<double>(std::round(width * digitTwips), kMaxTwips));
}

constexpr double kEmuPerTwip = 635;

}  // namespace

int Worksheet::PixelsFromColumnTwips(int twips) {
    if (twips <= 0)
        return 0;
    return std::max(1, int(twips * kColumnPixelsPerTwip));
}

int Worksheet::PixelsFromRowTwips(int twips) {
    if (twips <= 0)
        return 0;
    return std::max(1, twips / kTwipsPerRowPixel);
}

int Worksheet::ColumnWidthTwips(int32_t col) const {
    const int digit = DigitTwips();
    if (auto v = colWidths_.Get(col))
        return ColumnTwipsFromFileWidth(*v, digit);
    if (const ColSpan* s = Data().FindCol(col)) {
        if (s->hidden)
            return 0;
        if (s->width >= 0)
            return ColumnTwipsFromFileWidth(s->width, digit);
    }
    if (Data().defaultColWidth >= 0)
        return ColumnTwipsFromFileWidth(Data().defaultColWidth, digit);
    return ColumnTwipsFromFileWidth(Data().baseColWidth, digit) + kBasePaddingTwips;
}

int Worksheet::RowHeightTwips(int32_t row) const {
    const double points = RowHeight(row);
    return points > 0 ? int(std::lround(std::min(points, 409.5) * 20)) : 0;
}

QSizeF Worksheet::DrawingPixelsPerTwip() const {
    // Calc's drawing layer takes its scale from the columns before the last one that holds a
    // cell, twenty at least, and from the rows likewise; hidden ones count for nothing.
    int32_t lastRow = 0, lastCol = 0;
    for (const RowData& r : Data().rows) {
        if (r.cellCount == 0)
            continue;
        lastRow = std::max(lastRow, r.row);
        lastCol = std::max<int32_t>(lastCol, Data().cells.Col(r, r.cellCount - 1));
    }
    for (const auto& [pos, v] : values_) {
        if (!v.IsEmpty()) {
            lastRow = std::max(lastRow, pos.first);
            lastCol = std::max(lastCol, pos.second);
        }
    }
    int64_t colPixels = 0, colTwips = 0, rowPixels = 0, rowTwips = 0;
    for (int32_t c = 1; c <= std::max(20, lastCol - 1); ++c) {
        const int t = ColumnWidthTwips(c);
        colTwips += t;
        colPixels += PixelsFromColumnTwips(t);
    }
    for (int32_t r = 1; r <= std::max(20, lastRow - 1); ++r) {
        const int t = RowHeightTwips(r);
        rowTwips += t;
        rowPixels += PixelsFromRowTwips(t);
    }
    constexpr double k96Dpi = 1.0 / kTwipsPerRowPixel;
    return QSizeF(colTwips > 0 ? double(colPixels) / double(colTwips) : k96Dpi,
                  rowTwips > 0 ? double(rowPixels) / double(rowTwips) : k96Dpi);
}

int Worksheet::PixelsFromFileWidth(double width, int digitTwips) {
    return PixelsFromColumnTwips(ColumnTwipsFromFileWidth(width, digitTwips));
}

double Worksheet::FileWidthFromPixels(int pixels, int digitTwips) {
    if (pixels <= 0)
        return 0;
    // The fewest twips that show as these pixels.
    int twips = int(std::ceil(pixels / kColumnPixelsPerTwip));
    while (twips > 1 && PixelsFromColumnTwips(twips - 1) >= pixels)
        --twips;
    while (PixelsFromColumnTwips(twips) < pixels)
        ++twips;
    return double(twips) / std::max(1, digitTwips);
}

double Worksheet::CharactersFromPixels(int pixels, int mdw) {
    if (pixels <= 0)
        return 0;
    if (pixels < mdw + 5)
        return std::trunc(double(pixels) / (mdw + 5) * 100.0 + 0.5) / 100.0;
    return std::trunc(double(pixels - 5) / mdw * 100.0 + 0.5) / 100.0;
}

int Worksheet::PixelsFromCharacters(double characters, int mdw) {
    if (characters <= 0)
        return 0;
    if (characters < 1)
        return int(std::trunc(characters * (mdw + 5) + 0.5));
    return int(std::trunc(characters * mdw + 0.5)) + 5;
}

double Worksheet::DefaultRowHeight() const {
    return Data().zeroHeight ? 0.0 : Data().defaultRowHeight;
}

double Worksheet::StoredRowHeight(int32_t row) const {
    if (const RowData* r = Data().FindRow(row)) {
        if (r->flags & kRowHidden)
            return 0;
        if (r->height >= 0)
            return r->height;
        return Data().defaultRowHeight;
    }
    return DefaultRowHeight();
}

double Worksheet::RowHeight(int32_t row) const {
    if (auto v = rowHeights_.Get(row))
        return *v;
    return StoredRowHeight(row);
}

int Worksheet::RowHeightPixels(int32_t row) const {
    return PixelsFromRowTwips(int(std::lround(std::min(RowHeight(row), 409.5) * 20)));
}

int Worksheet::DefaultColumnPixels() const {
    const int digit = DigitTwips();
    if (Data().defaultColWidth >= 0)
        return PixelsFromFileWidth(Data().defaultColWidth, digit);
    return PixelsFromColumnTwips(ColumnTwipsFromFileWidth(Data().baseColWidth, digit) + kBasePaddingTwips);
}

int Worksheet::StoredColumnPixels(int32_t col) const {
    if (const ColSpan* s = Data().FindCol(col)) {
        if (s->hidden)
            return 0;
        if (s->width >= 0)
            return PixelsFromFileWidth(s->width, DigitTwips());
    }
    return DefaultColumnPixels();
}

int Worksheet::ColumnWidthPixels(int32_t col) const {
    if (auto v = colWidths_.Get(col))
        return *v <= 0 ? 0 : PixelsFromFileWidth(*v, DigitTwips());
    return StoredColumnPixels(col);
}

double Worksheet::ColumnWidth(int32_t col) const {
    return CharactersFromPixels(ColumnWidthPixels(col), MaxDigitWidth());
}

double Worksheet::StandardHeight() const { return Data().defaultRowHeight; }

double Worksheet::StandardWidth() const {
    return CharactersFromPixels(DefaultColumnPixels(), MaxDigitWidth());
}

double Worksheet::RowTop(int32_t row) const {
    row = std::clamp(row, 1, kMaxRows + 1);
    // Rows without a height of their own are all the default: add them in one step and
    // walk only the rows and spans that differ.
    const double def = DefaultRowHeight();
    auto storedSum = [&](int32_t first, int32_t last) {  // rows first..last as stored
        double sum = double(last - first + 1) * def;
        auto it = std::lower_bound(Data().rows.begin(), Data().rows.end(), first,
                                   [](const RowData& r, int32_t v) { return r.row < v; });
        for (; it != Data().rows.end() && it->row <= last; ++it)
            sum += StoredRowHeight(it->row) - def;
        return sum;
    };
    double top = row > 1 ? storedSum(1, row - 1) : 0;
    for (const auto& [first, last, value] : rowHeights_.Spans()) {
        if (first >= row)
            break;
        const int32_t l = std::min(last, row - 1);
        top += double(l - first + 1) * value - storedSum(first, l);
    }
    return top;
}

int64_t Worksheet::ColumnLeftPixels(int32_t col) const {
    col = std::clamp(col, 1, kMaxCols + 1);
    int64_t left = 0;
    for (int32_t c = 1; c < col; ++c)
        left += ColumnWidthPixels(c);
    return left;
}

void Worksheet::SetRowHeights(int32_t first, int32_t last, double points) {
    rowHeights_.Assign(first, last, points);
}

void Worksheet::SetColumnWidths(int32_t first, int32_t last, double characters) {
    const int px = PixelsFromCharacters(characters, MaxDigitWidth());
    // Stored in the file's unit, which gives back exactly these pixels.
    colWidths_.Assign(first, last, FileWidthFromPixels(px, DigitTwips()));
}

CellValue Worksheet::Evaluate(const QString& expression) const {
    QString e = expression.trimmed();
    if (e.startsWith(QLatin1Char('=')))
        e = e.mid(1).trimmed();
    auto number = [](const QString& t, double& out) {
        bool ok = false;
        out = t.trimmed().toDouble(&ok);
        return ok;
    };
    static const char* ops[] = {">=", "<=", "<>", ">", "<", "="};
    for (const char* op : ops) {
        const qsizetype at = e.indexOf(QLatin1String(op), 1);
        if (at < 0)
            continue;
        double a = 0, b = 0;
        if (!number(e.left(at), a) || !number(e.mid(at + qsizetype(std::strlen(op))), b))
            return CellValue::Error(QStringLiteral("#VALUE!"));
        const QString o = QLatin1String(op);
        const bool r = o == QLatin1String(">=")   ? a >= b
                       : o == QLatin1String("<=") ? a <= b
                       : o == QLatin1String("<>") ? a != b
                       : o == QLatin1String(">")  ? a > b
                       : o == QLatin1String("<")  ? a < b
                                                  : a == b;
        return CellValue::Boolean(r);
    }
    double v = 0;
    if (number(e, v))
        return CellValue::Number(v);
    return CellValue::Error(QStringLiteral("#NAME?"));
}

// ---- collections ----------------------------------------------------------------------------

namespace {

template <class T> T* Raw(T* p) { return p; }
template <class T> T* Raw(const std::unique_ptr<T>& p) { return p.get(); }

// Item(index) of a 1-based collection; the spreadsheet's "subscript out of range" otherwise.
template <class List>
auto NthItem(const List& all, int index, const char* what) {
    if (index < 1 || index > int(all.size()))
        throw Error(QStringLiteral("Subscript out of range: %1 %2").arg(QLatin1String(what)).arg(index));
    return Raw(all[size_t(index - 1)]);
}

// The member whose name matches without regard to case; nullptr when none does.
template <class List, class NameOf>
auto NamedItem(const List& all, const QString& name, NameOf nameOf) -> decltype(Raw(all[0])) {
    for (const auto& item : all)
        if (nameOf(Raw(item)).compare(name, Qt::CaseInsensitive) == 0)
            return Raw(item);
    return nullptr;
}

}  // namespace

// ---- Shapes ---------------------------------------------------------------------------------

Shape::Shape(Worksheet* sheet, DrawingShape data) : sheet_(sheet), data_(std::move(data)) {}

ShapeType Shape::Type() const {
    switch (data_.kind) {
    case ShapeKind::Chart: return ShapeType::Chart;
    case ShapeKind::Picture: return ShapeType::Picture;
    case ShapeKind::Shape: return ShapeType::AutoShape;
    case ShapeKind::Group: return ShapeType::Group;
    case ShapeKind::Connector: return ShapeType::Connector;
    case ShapeKind::Other: break;
    }
    return ShapeType::Other;
}

const ChartData* Shape::Chart() const {
    return data_.kind == ShapeKind::Chart ? sheet_->Book().Chart(data_.chartPart) : nullptr;
}

namespace {
double EmuToPoints(int64_t emu) { return double(emu) / kEmuPerPoint; }
}  // namespace

double Shape::Left() const {
    const Anchor& a = data_.anchor;
    if (a.type == Anchor::Type::Absolute)
        return EmuToPoints(a.x);
    return sheet_->ColumnLeft(a.from.col + 1) + EmuToPoints(a.from.colOff);
}

double Shape::Top() const {
    const Anchor& a = data_.anchor;
    if (a.type == Anchor::Type::Absolute)
        return EmuToPoints(a.y);
    return sheet_->RowTop(a.from.row + 1) + EmuToPoints(a.from.rowOff);
}

double Shape::Width() const {
    const Anchor& a = data_.anchor;
    if (a.type != Anchor::Type::TwoCell)
        return EmuToPoints(a.cx);
    return std::max(0.0, sheet_->ColumnLeft(a.to.col + 1) + EmuToPoints(a.to.colOff) - Left());
}

double Shape::Height() const {
    const Anchor& a = data_.anchor;
    if (a.type != Anchor::Type::TwoCell)
        return EmuToPoints(a.cy);
    return std::max(0.0, sheet_->RowTop(a.to.row + 1) + EmuToPoints(a.to.rowOff) - Top());
}

QSizeF Shape::DeclaredSize() const {
    if (data_.xfrmCx > 0 && data_.xfrmCy > 0)
        return QSizeF(EmuToPoints(data_.xfrmCx), EmuToPoints(data_.xfrmCy));
    return QSizeF(Width(), Height());
}

QSize Shape::ScreenSize() const {
    const QSizeF perTwip = sheet_->DrawingPixelsPerTwip();
    const QSizeF twips = DeclaredSize() * 20;
    // Where the shape starts in Calc's own measures: the twips of the columns and rows before
    // its anchor, and the offset into the anchor's cell.
    double left = 0, top = 0;
    const Anchor& a = data_.anchor;
    if (a.type == Anchor::Type::Absolute) {
        left = double(a.x) / kEmuPerTwip;
        top = double(a.y) / kEmuPerTwip;
    } else {
        for (int32_t c = 1; c <= std::min(a.from.col, kMaxCols); ++c)
            left += sheet_->ColumnWidthTwips(c);
        for (int32_t r = 1; r <= std::min(a.from.row, kMaxRows); ++r)
            top += sheet_->RowHeightTwips(r);
        left += double(a.from.colOff) / kEmuPerTwip;
        top += double(a.from.rowOff) / kEmuPerTwip;
    }
    // Calc covers the pixels from the one where the shape starts to the one where it ends.
    auto covered = [](double start, double length, double perTwip) {
        if (!std::isfinite(start) || !std::isfinite(length) || length <= 0)
            return 0;
        const double first = std::floor(start * perTwip), last = std::floor((start + length) * perTwip);
        return int(std::clamp(last - first + 1, 1.0, double(1 << 20)));
    };
    return QSize(covered(left, twips.width(), perTwip.width()), covered(top, twips.height(), perTwip.height()));
}

namespace {

// The 0-based cell holding a distance from the sheet's edge, with the offset into it.
GridPoint ColumnAt(const Worksheet* s, double points) {
    GridPoint p;
    double left = 0;
    for (int32_t c = 1; c <= kMaxCols; ++c) {
        const double w = s->ColumnWidthPixels(c) * 0.75;
        if (points < left + w || c == kMaxCols) {
            p.col = c - 1;
            p.colOff = int64_t(std::llround((points - left) * kEmuPerPoint));
            return p;
        }
        left += w;
    }
    return p;
}

GridPoint RowAt(const Worksheet* s, double points) {
    GridPoint p;
    double top = 0;
    for (int32_t r = 1; r <= kMaxRows; ++r) {
        const double h = s->RowHeight(r);
        if (points < top + h || r == kMaxRows) {
            p.row = r - 1;
            p.rowOff = int64_t(std::llround((points - top) * kEmuPerPoint));
            return p;
        }
        top += h;
    }
    return p;
}

}  // namespace

void Shape::SetBox(double left, double top, double width, double height) {
    left = std::max(0.0, left);
    top = std::max(0.0, top);
    width = std::max(0.0, width);
    height = std::max(0.0, height);
    Anchor& a = data_.anchor;
    if (a.type == Anchor::Type::Absolute) {
        a.x = std::llround(left * kEmuPerPoint);
        a.y = std::llround(top * kEmuPerPoint);
    } else {
        const GridPoint c = ColumnAt(sheet_, left), r = RowAt(sheet_, top);
        a.from = {c.col, r.row, c.colOff, r.rowOff};
        if (a.type == Anchor::Type::TwoCell) {
            const GridPoint c2 = ColumnAt(sheet_, left + width), r2 = RowAt(sheet_, top + height);
            a.to = {c2.col, r2.row, c2.colOff, r2.rowOff};
        }
    }
    a.cx = std::llround(width * kEmuPerPoint);
    a.cy = std::llround(height * kEmuPerPoint);
    // The writer puts the new extent into the shape's transform too.
    if (data_.xfrmCx > 0 || data_.xfrmCy > 0) {
        data_.xfrmCx = a.cx;
        data_.xfrmCy = a.cy;
    }
}

void Shape::SetLeft(double points) { SetBox(points, Top(), Width(), Height()); }
void Shape::SetTop(double points) { SetBox(Left(), points, Width(), Height()); }
// A picture keeps its aspect ratio, as the spreadsheet locks it for pictures.
void Shape::SetWidth(double points) {
    const double w = Width(), h = Height();
    const double height = data_.kind == ShapeKind::Picture && w > 0 ? h * std::max(0.0, points) / w : h;
    SetBox(Left(), Top(), points, height);
}
void Shape::SetHeight(double points) { SetBox(Left(), Top(), Width(), points); }

Range Shape::TopLeftCell() const {
    const GridPoint c = ColumnAt(sheet_, Left()), r = RowAt(sheet_, Top());
    return Range(sheet_, {r.row + 1, c.col + 1, r.row + 1, c.col + 1});
}

Range Shape::BottomRightCell() const {
    const GridPoint c = ColumnAt(sheet_, Left() + Width()), r = RowAt(sheet_, Top() + Height());
    return Range(sheet_, {r.row + 1, c.col + 1, r.row + 1, c.col + 1});
}

void Shape::Delete() { deleted_ = true; }

void Shape::Select() { sheet_->Activate(); }

int Shapes::Count() const { return int(All().size()); }

std::vector<Shape*> Shapes::All() const {
    std::vector<Shape*> out;
    for (auto& s : sheet_->ShapeObjects())
        if (!s->IsDeleted())
            out.push_back(s.get());
    return out;
}

Shape* Shapes::Item(int index) const { return NthItem(All(), index, "shape"); }

Shape* Shapes::Find(const QString& name) const {
    if (Shape* s = NamedItem(All(), name, [](const Shape* s) { return s->Name(); }))
        return s;
    const int place = ChartPlace(name);
    const std::vector<ChartObject*> charts = ChartObjects(sheet_).All();
    return place > 0 && place <= int(charts.size()) ? charts[size_t(place - 1)] : nullptr;
}

QString ChartPlaceReference(int place) { return QLatin1Char('`') + QString::number(place); }

int ChartPlace(QStringView reference) {
    if (reference.size() < 2 || reference.size() > 10 || reference.front() != QLatin1Char('`'))
        return 0;
    bool ok = false;
    const int place = reference.mid(1).toInt(&ok);
    return ok && place > 0 && reference.mid(1).front().isDigit() ? place : 0;
}

QString DescribeReference(const QString& reference) {
    const int place = ChartPlace(reference);
    return place > 0 ? QStringLiteral("chart %1 (no name)").arg(place) : reference;
}

QString Shape::Reference() const {
    if (!data_.name.isEmpty() && Shapes(sheet_).Find(data_.name) == this)
        return data_.name;
    if (!HasChart())
        return data_.name;
    const std::vector<ChartObject*> charts = ChartObjects(sheet_).All();
    const auto at = std::find(charts.begin(), charts.end(), this);
    return at == charts.end() ? data_.name : ChartPlaceReference(int(at - charts.begin()) + 1);
}

Shape* Shapes::Item(const QString& name) const {
    if (Shape* s = Find(name))
        return s;
    throw Error(QStringLiteral("The item with the specified name wasn't found: %1").arg(name));
}

std::vector<ChartObject*> ChartObjects::All() const {
    std::vector<ChartObject*> out;
    for (Shape* s : Shapes(sheet_).All())
        if (s->HasChart())
            out.push_back(s);
    return out;
}

int ChartObjects::Count() const { return int(All().size()); }

ChartObject* ChartObjects::Item(int index) const { return NthItem(All(), index, "chart object"); }

ChartObject* ChartObjects::Item(const QString& name) const {
    const std::vector<ChartObject*> all = All();
    if (ChartObject* c = NamedItem(all, name, [](const Shape* s) { return s->Name(); }))
        return c;
    if (const int place = ChartPlace(name); place > 0 && place <= int(all.size()))
        return all[size_t(place - 1)];
    throw Error(QStringLiteral("The chart object with the specified name wasn't found: %1").arg(name));
}

// ---- Sheets, Window -------------------------------------------------------------------------

int Sheets::Count() const { return int(book_->SheetObjects().size()); }

Worksheet* Sheets::Item(int index) const { return NthItem(book_->SheetObjects(), index, "sheet"); }

Worksheet* Sheets::Find(const QString& name) const {
    return NamedItem(book_->SheetObjects(), name, [](const Worksheet* s) { return s->Name(); });
}

Worksheet* Sheets::Item(const QString& name) const {
    if (Worksheet* s = Find(name))
        return s;
    throw Error(QStringLiteral("Subscript out of range: no sheet named \"%1\"").arg(name));
}

Worksheet* Window::ActiveSheet() const { return book_->ActiveSheet(); }

bool Window::FreezePanes() const {
    const Worksheet* s = ActiveSheet();
    return s && s->View().hasPane && s->View().pane.IsFrozen();
}

int32_t Window::SplitRow() const {
    const Worksheet* s = ActiveSheet();
    return s && s->View().hasPane && s->View().pane.IsFrozen() ? int32_t(s->View().pane.ySplit) : 0;
}

int32_t Window::SplitColumn() const {
    const Worksheet* s = ActiveSheet();
    return s && s->View().hasPane && s->View().pane.IsFrozen() ? int32_t(s->View().pane.xSplit) : 0;
}

namespace {

// The last row (column) that shows, at least in part, in `pixels` from `first` on.
int32_t LastVisibleRow(const Worksheet* s, int32_t first, int pixels) {
    int used = 0;
    int32_t r = first;
    for (; r < kMaxRows; ++r) {
        used += s->RowHeightPixels(r);
        if (used >= pixels)
            break;
    }
    return r;
}

int32_t LastVisibleColumn(const Worksheet* s, int32_t first, int pixels) {
    int used = 0;
    int32_t c = first;
    for (; c < kMaxCols; ++c) {
        used += s->ColumnWidthPixels(c);
        if (used >= pixels)
            break;
    }
    return c;
}

// Rows or columns, first to last; none when last < first.
struct Span {
    int32_t first = 1, last = 0;
    [[nodiscard]] bool Empty() const { return last < first; }
};

// Whether the fixed span stands beside the selection's: the selection starts in it or after
// it and reaches beyond it.
bool Beside(Span selection, Span fixed) {
    return !fixed.Empty() && selection.first >= fixed.first && selection.last > fixed.last;
}

// The main pane's span: the selection's, after the fixed span when that stands beside it.
Span MainSpan(Span selection, Span fixed) {
    return Beside(selection, fixed) ? Span{fixed.last + 1, selection.last} : selection;
}

}  // namespace

std::vector<Pane> Window::Panes() const {
    Worksheet* s = ActiveSheet();
    std::vector<Pane> out;
    if (!s)
        return out;
    const SheetView& v = s->View();
    // What the selection shows: a whole row or column only as far as the sheet is used.
    RangeRef sel = RangeSelection().Ref();
    if (sel.IsWholeColumns() || sel.IsWholeRows()) {
        const RangeRef used = s->UsedRange().Ref();
        if (sel.IsWholeColumns())
            sel.row2 = std::max(sel.row1, used.row2);
        if (sel.IsWholeRows())
            sel.col2 = std::max(sel.col1, used.col2);
    }
    // The fixed area as the file records it: frozen panes hold whole rows and columns, a split
    // bar sits at a distance in twentieths of a point from the top-left pane's first cell.
    Span fixedRows, fixedCols;
    if (v.hasPane) {
        const PaneView& p = v.pane;
        if (p.IsFrozen()) {
            if (p.ySplit >= 1)
                fixedRows = {v.topLeftRow, std::min<int32_t>(kMaxRows, v.topLeftRow + int32_t(p.ySplit) - 1)};
            if (p.xSplit >= 1)
                fixedCols = {v.topLeftCol, std::min<int32_t>(kMaxCols, v.topLeftCol + int32_t(p.xSplit) - 1)};
        } else {
            const int topPx = int(std::lround(p.ySplit / 20.0 * 96.0 / 72.0));
            const int leftPx = int(std::lround(p.xSplit / 20.0 * 96.0 / 72.0));
            if (topPx > 0)
                fixedRows = {v.topLeftRow, LastVisibleRow(s, v.topLeftRow, topPx)};
            if (leftPx > 0)
                fixedCols = {v.topLeftCol, LastVisibleColumn(s, v.topLeftCol, leftPx)};
        }
    }
    const Span selRows{sel.row1, sel.row2}, selCols{sel.col1, sel.col2};
    const bool hasTop = Beside(selRows, fixedRows), hasLeft = Beside(selCols, fixedCols);
    const Span rows = MainSpan(selRows, fixedRows), cols = MainSpan(selCols, fixedCols);
    auto add = [&](Span r, Span c) {
        out.emplace_back(s, RangeRef{r.first, c.first, r.last, c.last}, r.first, c.first);
    };
    if (hasTop && hasLeft) {
        add(fixedRows, fixedCols);
        add(fixedRows, cols);
        add(rows, fixedCols);
    } else if (hasTop) {
        add(fixedRows, cols);
    } else if (hasLeft) {
        add(rows, fixedCols);
    }
    add(rows, cols);
    return out;
}

Range Window::RangeSelection() const {
    Worksheet* s = ActiveSheet();
    if (!s)
        return {};
    const SheetView& v = s->View();
    const QString pane = v.hasPane ? v.pane.activePane : QStringLiteral("topLeft");
    for (const SelectionView& sel : v.selections)
        if (sel.pane == pane && !sel.ranges.isEmpty())
            return Range(s, sel.ranges.front());
    if (!v.selections.isEmpty() && !v.selections.back().ranges.isEmpty())
        return Range(s, v.selections.back().ranges.front());
    return Range(s, {1, 1, 1, 1});
}

Range Window::ActiveCell() const {
    Worksheet* s = ActiveSheet();
    if (!s)
        return {};
    const SheetView& v = s->View();
    const QString pane = v.hasPane ? v.pane.activePane : QStringLiteral("topLeft");
    for (const SelectionView& sel : v.selections)
        if (sel.pane == pane)
            return Range(s, {sel.activeRow, sel.activeCol, sel.activeRow, sel.activeCol});
    return Range(s, {1, 1, 1, 1});
}

// ---- Workbook, Workbooks, Application -------------------------------------------------------

Workbook::Workbook(Application* app, std::shared_ptr<const WorkbookData> data, const QString& fullName)
    : app_(app), data_(std::move(data)), fullName_(fullName), window_(std::make_unique<Window>(this)) {
    for (size_t i = 0; i < data_->sheets.size(); ++i)
        sheets_.push_back(std::make_unique<Worksheet>(this, int(i) + 1));
    activeSheet_ = std::clamp(data_->activeTab, 0, int(sheets_.size()) - 1);
}

Workbook::~Workbook() = default;

QString Workbook::Name() const { return QFileInfo(fullName_).fileName(); }
QString Workbook::Path() const { return HasFile() ? QFileInfo(fullName_).absolutePath() : QString(); }

Worksheet* Workbook::ActiveSheet() const {
    if (sheets_.empty())
        return nullptr;
    return sheets_[size_t(std::clamp(activeSheet_, 0, int(sheets_.size()) - 1))].get();
}

void Workbook::Activate() { app_->SetActiveWorkbook(this); }

void Workbook::Close() { app_->Closed(this); }

int Workbooks::Count() const { return int(app_->OpenWorkbooks().size()); }

Workbook* Workbooks::Item(int index) const { return NthItem(app_->OpenWorkbooks(), index, "workbook"); }

Workbook* Workbooks::Item(const QString& name) const {
    if (Workbook* b = NamedItem(app_->OpenWorkbooks(), name, [](const Workbook* w) { return w->Name(); }))
        return b;
    throw Error(QStringLiteral("Subscript out of range: no workbook named \"%1\"").arg(name));
}

Workbook* Workbooks::Open(const QString& path, bool /*updateLinks*/) {
    const QString full = QFileInfo(path).absoluteFilePath();
    for (auto& b : app_->OpenWorkbooks())
        if (b->FullName() == full) {
            b->Activate();
            return b.get();
        }
    auto data = app_->Load(full);
    app_->OpenWorkbooks().push_back(std::make_unique<Workbook>(app_, std::move(data), full));
    Workbook* book = app_->OpenWorkbooks().back().get();
    book->Activate();
    return book;
}

struct ReadStore {
    struct Entry {
        qint64 size = 0;
        QDateTime modified;
        std::shared_ptr<const WorkbookData> data;
    };
    // A read on another core: of the file as it was (size, time), with the sheets named.
    struct Pending {
        qint64 size = 0;
        QDateTime modified;
        QStringList sheets;
        uint64_t id = 0;
        std::shared_future<std::shared_ptr<const WorkbookData>> data;
    };
    std::map<QString, Entry> cache;
    std::map<QString, Pending> pending;
    uint64_t reads = 0;
};

namespace {

ReadStore* gSharedReads = nullptr;

bool SameFile(qint64 size, const QDateTime& modified, const QFileInfo& info) {
    return size == info.size() && modified == info.lastModified();
}

// Runs `read` on another core; its result, or what it threw, comes through the future.
std::shared_future<std::shared_ptr<const WorkbookData>> ReadElsewhere(
    std::function<std::shared_ptr<const WorkbookData>()> read) {
    auto promise = std::make_shared<std::promise<std::shared_ptr<const WorkbookData>>>();
    auto future = promise->get_future().share();
    QThreadPool::globalInstance()->start([promise, read = std::move(read)] {
        try {
            promise->set_value(read());
        } catch (...) {
            promise->set_exception(std::current_exception());
        }
    });
    return future;
}

}  // namespace

SharedReads::SharedReads() {
    if (!gSharedReads) {
        owned_ = std::make_unique<ReadStore>();
        gSharedReads = owned_.get();
    }
}

SharedReads::~SharedReads() {
    if (owned_)
        gSharedReads = nullptr;
}

bool SharedReads::Active() { return gSharedReads != nullptr; }

Application::Application() : reads_(std::make_unique<ReadStore>()) {}
Application::~Application() = default;

ReadStore& Application::Reads() const { return gSharedReads ? *gSharedReads : *reads_; }

int Application::CachedFiles() const { return int(Reads().cache.size()); }

Workbook* Application::ActiveWorkbook() const { return active_; }

Worksheet* Application::ActiveSheet() const { return active_ ? active_->ActiveSheet() : nullptr; }

Window* Application::ActiveWindow() const { return active_ ? active_->ActiveWindow() : nullptr; }

std::optional<Range> Application::Selection() const {
    if (Window* w = ActiveWindow())
        return w->RangeSelection();
    return std::nullopt;
}

std::optional<Range> Application::Intersect(const Range& a, const Range& b) {
    if (!a.IsValid() || !b.IsValid())
        return std::nullopt;
    if (a.Parent() != b.Parent())
        throw Error(QStringLiteral("Method 'Intersect' failed: the ranges lie on different sheets"));
    auto r = xl::Intersection(a.Ref(), b.Ref());
    if (!r)
        return std::nullopt;
    return Range(a.Parent(), *r);
}

QString Application::Caption() const {
    return active_ ? active_->Name() + QStringLiteral(" - Sheetbeacon workbook engine")
                   : QStringLiteral("Sheetbeacon workbook engine");
}

void Application::Closed(Workbook* book) {
    auto it = std::find_if(books_.begin(), books_.end(),
                           [&](const std::unique_ptr<Workbook>& b) { return b.get() == book; });
    if (it == books_.end())
        return;
    std::unique_ptr<Workbook> keep = std::move(*it);
    books_.erase(it);
    if (active_ == book)
        active_ = books_.empty() ? nullptr : books_.back().get();
}

std::unique_ptr<Workbook> Application::Detach(Workbook* book) {
    auto it = std::find_if(books_.begin(), books_.end(),
                           [&](const std::unique_ptr<Workbook>& b) { return b.get() == book; });
    if (it == books_.end())
        return nullptr;
    std::unique_ptr<Workbook> out = std::move(*it);
    books_.erase(it);
    if (active_ == book)
        active_ = books_.empty() ? nullptr : books_.back().get();
    return out;
}

void Application::Quit() {
    active_ = nullptr;
    books_.clear();
    // Its own reads only: shared ones serve the other instances until their scope ends.
    reads_->cache.clear();
    reads_->pending.clear();  // reads still under way finish into nothing
}

namespace {

// Reads the named sheets of a workbook; one that can't be read keeps its error for when it is
// used.
void ReadSheetsNamed(const WorkbookData& data, const QStringList& names) {
    for (const QString& name : names)
        for (size_t i = 0; i < data.sheets.size(); ++i)
            if (data.sheets[i].name.compare(name, Qt::CaseInsensitive) == 0) {
                try {
                    data.Sheet(i);
                } catch (const Error&) {
                }
                break;
            }
}

}  // namespace

void Application::Prefetch(const QList<QPair<QString, QString>>& sheets) {
    QStringList files;
    std::map<QString, QStringList> names;
    for (const auto& [path, sheet] : sheets) {
        const QString key = QFileInfo(path).absoluteFilePath();
        if (!names.count(key))
            files << key;
        QStringList& wanted = names[key];
        if (!sheet.isEmpty() && !wanted.contains(sheet, Qt::CaseInsensitive))
            wanted << sheet;
    }
    ReadStore& reads = Reads();
    for (const QString& key : files) {
        const QFileInfo info(key);
        if (!info.isFile())
            continue;
        const QStringList& wanted = names[key];
        // A read under way of the file as it is now serves; the sheets it does not read yet are
        // read once it is done. One of an older file is replaced.
        if (auto p = reads.pending.find(key); p != reads.pending.end() && SameFile(p->second.size, p->second.modified, info)) {
            QStringList more;
            for (const QString& sheet : wanted)
                if (!p->second.sheets.contains(sheet, Qt::CaseInsensitive))
                    more << sheet;
            if (more.isEmpty())
                continue;
            p->second.sheets << more;
            p->second.id = ++reads.reads;
            p->second.data = ReadElsewhere([before = p->second.data, more] {
                std::shared_ptr<const WorkbookData> data = before.get();
                ReadSheetsNamed(*data, more);
                return data;
            });
            continue;
        }
        if (auto cached = reads.cache.find(key);
            cached != reads.cache.end() && SameFile(cached->second.size, cached->second.modified, info)) {
            std::shared_ptr<const WorkbookData> data = cached->second.data;
            QStringList unread;
            for (const QString& sheet : wanted)
                for (size_t i = 0; i < data->sheets.size(); ++i)
                    if (data->sheets[i].name.compare(sheet, Qt::CaseInsensitive) == 0 && !data->IsSheetRead(i))
                        unread << sheet;
            if (!unread.isEmpty())
                reads.pending[key] = {info.size(), info.lastModified(), wanted, ++reads.reads,
                                      ReadElsewhere([data, unread] {
                                          ReadSheetsNamed(*data, unread);
                                          return data;
                                      })};
            continue;
        }
        reads.pending[key] = {info.size(), info.lastModified(), wanted, ++reads.reads,
                              ReadElsewhere([key, wanted] {
                                  std::shared_ptr<const WorkbookData> data = ReadWorkbookFile(key);
                                  ReadSheetsNamed(*data, wanted);
                                  return data;
                              })};
    }
}

std::shared_ptr<const WorkbookData> Application::Load(const QString& path) {
    const QFileInfo info(path);
    const QString key = info.absoluteFilePath();
    CheckWorkbookFile(key);
    const qint64 size = info.size();
    const QDateTime modified = info.lastModified();
    ReadStore& reads = Reads();
    auto p = reads.pending.find(key);
    if (p == reads.pending.end() || !SameFile(p->second.size, p->second.modified, info)) {
        auto it = reads.cache.find(key);
        if (it != reads.cache.end() && it->second.size == size && it->second.modified == modified)
            return it->second.data;
        // Read on another core: the caller's window goes on painting meanwhile.
        Prefetch({{key, QString()}});
        p = reads.pending.find(key);
        if (p == reads.pending.end())  // gone since it was looked at
            return ReadWorkbookFile(key);
    }
    // Kept while it is waited for: an event let in meanwhile that loads the same workbook
    // waits for the same read rather than reading the file again.
    const ReadStore::Pending read = p->second;
    while (read.data.wait_for(std::chrono::milliseconds(15)) != std::future_status::ready)
        WhileWaiting();
    // The store again: an event let in meanwhile may have changed it. A read asked for more
    // sheets since stays, and serves the next Open.
    ReadStore& after = Reads();
    if (auto q = after.pending.find(key); q != after.pending.end() && q->second.id == read.id)
        after.pending.erase(q);
    std::shared_ptr<const WorkbookData> data = read.data.get();  // a read that failed throws its error here
    after.cache[key] = {size, modified, data};
    return data;
}

}  // namespace xl
