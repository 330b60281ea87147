// Range.Find with the spreadsheet's rules: displayed values, whole or part, wildcards,
// case-insensitive, by rows or by columns, starting after a cell and wrapping.

#include "platform/workbook/NumberFormat.h"
#include "platform/workbook/Workbook.h"

#include <algorithm>
#include <limits>

namespace xl {

namespace {

// A "*" / "?" pattern with "~" escaping the next character.
class Pattern {
public:
    Pattern(const QString& what, bool whole, bool matchCase) : matchCase_(matchCase) {
        QString p;
        bool hasWild = false;
        for (qsizetype i = 0; i < what.size(); ++i) {
            const QChar ch = what[i];
            if (ch == u'~' && i + 1 < what.size()) {
                literal_.append(true);
                p.append(what[++i]);
            } else {
                const bool wild = ch == u'*' || ch == u'?';
                hasWild = hasWild || wild;
                literal_.append(!wild);
                p.append(ch);
            }
        }
        if (!whole) {
            p = u'*' + p + u'*';
            literal_.prepend(false);
            literal_.append(false);
        }
        pattern_ = matchCase ? p : p.toCaseFolded();
        plain_ = !hasWild;
        needle_ = matchCase ? what : what.toCaseFolded();
        whole_ = whole;
        anything_ = std::all_of(pattern_.begin(), pattern_.end(), [&](QChar c) { return c == u'*'; }) &&
                    std::none_of(literal_.begin(), literal_.end(), [](bool b) { return b; });
        if (plain_) {
            // Unescape for the plain comparisons.
            QString n;
            for (qsizetype i = 0; i < what.size(); ++i)
                n.append(what[i] == u'~' && i + 1 < what.size() ? what[++i] : what[i]);
            needle_ = n;
        }
    }

    // Any non-empty text matches: the search for the last used cell.
    bool MatchesAnything() const { return anything_; }
    // Whether a number shown in the General format (digits, ".", "-", "+", "E") could match:
    // a pattern with any other literal character can't.
    bool GeneralNumbersCanMatch() const {
        for (qsizetype i = 0; i < pattern_.size(); ++i) {
            if (!literal_[i])
                continue;
            const QChar c = pattern_[i];
            if (!(c.isDigit() || c == u'.' || c == u'-' || c == u'+' || c == u'e' || c == u'E'))
                return false;
        }
        return true;
    }

    bool Matches(const QString& text) const {
        if (text.isEmpty())
            return false;
        if (anything_)
            return true;
        const Qt::CaseSensitivity cs = matchCase_ ? Qt::CaseSensitive : Qt::CaseInsensitive;
        if (plain_)
            return whole_ ? text.compare(needle_, cs) == 0 : text.contains(needle_, cs);
        return Wild(matchCase_ ? text : text.toCaseFolded());
    }

private:
    bool Wild(const QString& s) const {
        qsizetype p = 0, t = 0, star = -1, mark = 0;
        const qsizetype pn = pattern_.size(), tn = s.size();
        while (t < tn) {
            if (p < pn && !literal_[p] && pattern_[p] == u'*') {
                star = p++;
                mark = t;
            } else if (p < pn && ((!literal_[p] && pattern_[p] == u'?') || pattern_[p] == s[t])) {
                ++p;
                ++t;
            } else if (star >= 0) {
                p = star + 1;
                t = ++mark;
            } else {
                return false;
            }
        }
        while (p < pn && !literal_[p] && pattern_[p] == u'*')
            ++p;
        return p == pn;
    }

    QString pattern_, needle_;
    QList<bool> literal_;
    bool plain_ = true, whole_ = false, matchCase_ = false, anything_ = false;
};

enum FormatKind : int8_t { kUnknown = -1, kOther = 0, kGeneral = 1, kText = 2 };

FormatKind KindOf(const QString& code) {
    if (code.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0)
        return kGeneral;
    return code == QLatin1String("@") ? kText : kOther;
}

// Whether a cell shows (or, searching the stored values, holds) a text the pattern matches, and
// whether the search passes over it as hidden. One per search: it keeps what it has worked out
// about the shared strings, the cell formats and the hidden columns.
class CellMatcher {
public:
    CellMatcher(const Worksheet& sheet, const Pattern& pattern, bool displayed)
        : sheet_(sheet),
          data_(sheet.Data()),
          book_(sheet.Book()),
          shared_(book_.SharedStrings()),
          edited_(sheet.EditedValues()),
          pattern_(pattern),
          displayed_(displayed),
          formatKinds_(size_t(book_.Look().styles.cellXfs.size()), kUnknown),
          numbersCanMatch_(pattern.GeneralNumbersCanMatch()) {}

    // Searching values passes over hidden rows and columns, as the spreadsheet does; searching
    // the stored values (xlFormulas) finds them too.
    bool Hidden(int32_t r, int32_t c) {
        if (!displayed_)
            return false;
        if (hiddenColumns_.empty())
            hiddenColumns_.assign(size_t(kMaxCols) + 1, -1);
        int8_t& h = hiddenColumns_[size_t(c)];
        if (h < 0)
            h = sheet_.ColumnWidthPixels(c) == 0 ? 1 : 0;
        return h == 1 || sheet_.RowHeight(r) == 0;
    }

    bool Matches(int32_t r, int32_t c, const Cell* cell) {
        if (!edited_.empty()) {
            auto it = edited_.find({r, c});
            if (it != edited_.end())
                return MatchesValue(r, c, it->second);
        }
        if (!cell || cell->kind == CellKind::Blank)
            return false;
        if (pattern_.MatchesAnything()) {
            // An empty text (a formula giving "") shows nothing, so "*" passes it over.
            if (cell->kind == CellKind::SharedString)
                return !shared_.IsEmpty(cell->text);
            if (cell->kind == CellKind::Text)
                return !data_.strings.IsEmpty(cell->text);
            return true;
        }
        // A text shows as itself under General or "@": shared strings are tested once each,
        // and General numbers only when the pattern could match digits at all.
        if (displayed_) {
            const FormatKind kind = FormatOf(cell->style);
            if (kind != kOther) {
                switch (cell->kind) {
                case CellKind::SharedString: {
                    if (sharedVerdict_.empty())
                        sharedVerdict_.assign(shared_.size(), -1);
                    int8_t& verdict = sharedVerdict_[cell->text];
                    if (verdict < 0)
                        verdict = pattern_.Matches(shared_[cell->text]) ? 1 : 0;
                    return verdict == 1;
                }
                case CellKind::Text: return pattern_.Matches(data_.strings[cell->text]);
                case CellKind::Number:
                    if (kind == kGeneral && !numbersCanMatch_)
                        return false;
                    break;
                default: break;
                }
            }
        }
        return MatchesValue(r, c, data_.ValueOf(*cell, shared_));
    }

private:
    bool MatchesValue(int32_t r, int32_t c, const CellValue& v) const {
        if (v.IsEmpty() || ((v.type == ValueType::Text) && v.text.isEmpty()))
            return false;
        if (pattern_.MatchesAnything())
            return true;
        QString text;
        if (displayed_)
            text = FormatValue(v, sheet_.Style(r, c).numFmtCode, book_.date1904).text;
        else
            text = v.type == ValueType::Number    ? QString::number(v.number, 'g', 15)
                   : v.type == ValueType::Boolean ? (v.number != 0 ? QStringLiteral("TRUE")
                                                                    : QStringLiteral("FALSE"))
                                                  : v.text;
        return pattern_.Matches(text);
    }

    FormatKind FormatOf(uint32_t style) {
        int8_t& k = formatKinds_[style];
        if (k == kUnknown)
            k = KindOf(book_.Look().styles.Xf(style).numFmtCode);
        return FormatKind(k);
    }

    const Worksheet& sheet_;
    const SheetData& data_;
    const WorkbookData& book_;
    const StringTable& shared_;
    const std::map<std::pair<int32_t, int32_t>, CellValue>& edited_;
    const Pattern& pattern_;
    const bool displayed_;
    std::vector<int8_t> formatKinds_;
    std::vector<int8_t> sharedVerdict_;
    std::vector<int8_t> hiddenColumns_;
    const bool numbersCanMatch_;
};

// What the search does after a cell: goes on, skips the rest of the row or of a part of it, or
// stops, when the cells it would visit there can't come nearer the start than the one found.
constexpr int32_t kGoOn = 0;
constexpr int32_t kNextRow = -1;
constexpr int32_t kStop = -2;
// Any other value is a column: the row goes on from it (from the first cell at or beyond it in
// the direction of the visit).

// Calls consider(row, column, cellOf) for the stored cells inside R: row by row from the start
// row in the search's direction, wrapping, so that a search by rows meets the cells in its own
// order but for the start row's; within a row in the same direction. cellOf() gives the cell:
// most cells a search meets can't come nearer than the one it holds, and are passed over by
// their place alone. consider answers what to do next, as above.
template <class Consider>
void VisitStoredCells(const SheetData& data, const RangeRef& R, int32_t afterRow, bool previous,
                      Consider&& consider) {
    auto lo = std::lower_bound(data.rows.begin(), data.rows.end(), R.row1,
                               [](const RowData& x, int32_t v) { return x.row < v; });
    auto hi = std::upper_bound(data.rows.begin(), data.rows.end(), R.row2,
                               [](int32_t v, const RowData& x) { return v < x.row; });
    const size_t count = size_t(hi - lo);
    size_t start = size_t(std::lower_bound(lo, hi, afterRow,
                                           [](const RowData& x, int32_t v) { return x.row < v; }) - lo);
    // False once the search is to stop.
    auto visitRow = [&](const RowData& row) {
        const uint32_t first = data.cells.LowerBound(row, R.col1);
        const uint32_t last = data.cells.LowerBound(row, R.col2 + 1);
        if (!previous) {
            for (uint32_t i = first; i < last;) {
                const int32_t col = data.cells.Col(row, i);
                const int32_t next = consider(row.row, col, [&] { return data.cells.At(row, i); });
                if (next == kStop)
                    return false;
                if (next == kNextRow)
                    return true;
                i = next > col ? data.cells.LowerBound(row, next) : i + 1;
            }
        } else {
            for (uint32_t i = last; i != first;) {
                --i;
                const int32_t col = data.cells.Col(row, i);
                const int32_t next = consider(row.row, col, [&] { return data.cells.At(row, i); });
                if (next == kStop)
                    return false;
                if (next == kNextRow)
                    return true;
                if (next > 0 && next < col)  // on from the last cell at or before that column
                    i = std::max(first, data.cells.LowerBound(row, next + 1));
            }
        }
        return true;
    };
    // Going backwards, the first row to visit is the last one at or above the start row.
    const int64_t back = int64_t(std::upper_bound(lo, hi, afterRow, [](int32_t v, const RowData& x) {
                                     return v < x.row;
                                 }) - lo) - 1;
    for (size_t i = 0; i < count; ++i) {
        const size_t idx = !previous ? (start + i) % count
                                     : size_t((back - int64_t(i) + 2 * int64_t(count)) % int64_t(count));
        if (!visitRow(lo[idx]))
            return;
    }
}

}  // namespace

std::optional<Range> Range::Find(const QString& what, std::optional<Range> after, int lookIn,
                                 int lookAt, int searchOrder, int searchDirection,
                                 bool matchCase) const {
    if (!sheet_)
        throw Error(QStringLiteral("Object variable not set: the range belongs to no sheet"));
    if (what.isEmpty())
        return std::nullopt;
    const RangeRef R = ref_;
    const bool byColumns = searchOrder == xlByColumns;
    const bool previous = searchDirection == xlPrevious;
    const bool displayed = lookIn != xlFormulas;
    const Pattern pattern(what, lookAt == xlWhole, matchCase);

    int32_t afterRow = R.row1, afterCol = R.col1;
    if (after && after->IsValid()) {
        if (!R.Contains(after->Row(), after->Column()))
            throw Error(QStringLiteral("Method 'Find' failed: the cell to start after, %1, lies outside %2")
                            .arg(after->Address(), Address()));
        afterRow = after->Row();
        afterCol = after->Column();
    }
    const int64_t nRows = R.Rows(), nCols = R.Cols(), N = nRows * nCols;
    auto pos = [&](int32_t r, int32_t c) {
        return byColumns ? int64_t(c - R.col1) * nRows + (r - R.row1)
                         : int64_t(r - R.row1) * nCols + (c - R.col1);
    };
    const int64_t afterPos = pos(afterRow, afterCol);
    // Distance from the start cell in the order of the search: the smallest wins. Both places
    // lie in [0, N), so one wrap brings the difference into it (no division: a search for the
    // last used cell of a big sheet asks this twice a row).
    auto key = [&](int32_t r, int32_t c) {
        const int64_t p = pos(r, c);
        const int64_t d = previous ? afterPos - p - 1 : p - afterPos - 1;
        return d < 0 ? d + N : d;
    };

    CellMatcher matcher(*sheet_, pattern, displayed);
    const SheetData& data = sheet_->Data();
    const auto& edited = sheet_->EditedValues();

    int64_t bestKey = std::numeric_limits<int64_t>::max();
    int32_t bestRow = 0, bestCol = 0;
    auto consider = [&](int32_t r, int32_t c, auto&& cellOf) {
        const int64_t k = key(r, c);
        if (k < bestKey) {
            if (matcher.Hidden(r, c))
                return kGoOn;
            const Cell cell = cellOf();
            if (!matcher.Matches(r, c, &cell))
                return kGoOn;
            bestKey = k;
            bestRow = r;
            bestCol = c;
        }
        // This cell is now no nearer the start than the best found, and the cells visited after
        // it in its run are farther still. By rows the cells come in the search's order, but
        // for those of the start row.
        if (!byColumns)
            return r == afterRow ? kGoOn : kStop;
        // By columns, each row holds two runs in the search's order, the columns on either side
        // of the start column (which itself may belong to either, by its row); the run visited
        // second comes nearer than the first.
        if (c == afterCol)
            return kGoOn;
        if (previous)
            return c > afterCol ? afterCol : kNextRow;
        return c < afterCol ? afterCol : kNextRow;
    };

    VisitStoredCells(data, R, afterRow, previous, consider);
    for (const auto& [p, v] : edited)
        if (R.Contains(p.first, p.second)) {
            const std::optional<Cell> cell = data.FindCell(p.first, p.second);
            (void)consider(p.first, p.second, [&] { return cell.value_or(Cell{}); });
        }

    if (bestRow == 0)
        return std::nullopt;
    return Range(sheet_, {bestRow, bestCol, bestRow, bestCol});
}

}  // namespace xl
