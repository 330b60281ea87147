#pragma once
// A1 addresses on the .xlsx grid (1,048,576 rows, columns A to XFD): cells "B5", "$B$5",
// ranges "B5:D9", whole rows "3:5", whole columns "B:D". Rows and columns are 1-based.

#include <QString>

#include <cstdint>
#include <optional>

namespace xl {

constexpr int32_t kMaxRows = 1048576;
constexpr int32_t kMaxCols = 16384;

// "A" for 1 ... "XFD" for 16384; "" outside the grid.
QString ColumnName(int32_t column);
// 1 for "A" ... 16384 for "XFD" (any case); 0 when the text is not a column of the grid.
int32_t ColumnIndex(QStringView letters);

struct RangeRef {
    int32_t row1 = 1, col1 = 1, row2 = 1, col2 = 1;  // row1 <= row2, col1 <= col2

    int32_t Rows() const { return row2 - row1 + 1; }
    int32_t Cols() const { return col2 - col1 + 1; }
    int64_t Cells() const { return int64_t(Rows()) * Cols(); }
    [[nodiscard]] bool Contains(int32_t r, int32_t c) const {
        return r >= row1 && r <= row2 && c >= col1 && c <= col2;
    }
    [[nodiscard]] bool IsWholeRows() const { return col1 == 1 && col2 == kMaxCols; }
    [[nodiscard]] bool IsWholeColumns() const { return row1 == 1 && row2 == kMaxRows; }
    bool operator==(const RangeRef&) const = default;
};

// The "$" marks of a cell reference as written.
struct RefMarks {
    bool colAbsolute = false;
    bool rowAbsolute = false;
};

// Parses one area ("B5", "$B$5", "B5:D9", "3:5", "B:D", "XFD1048576"), blanks around it
// ignored; nullopt for anything else, including references beyond the grid. The marks are
// those of the first corner.
std::optional<RangeRef> ParseRange(QStringView text, RefMarks* marks = nullptr);
// Parses a list of areas separated by blanks (the form sqref attributes use); empty on failure.
QList<RangeRef> ParseRangeList(QStringView text);

// The address as the spreadsheet's Address gives it: "$B$5", "$B$5:$D$9", whole rows
// "$3:$5", whole columns "$B:$D"; without marks when `absolute` is false.
QString FormatAddress(const RangeRef& r, bool absolute = true);
QString CellAddress(int32_t row, int32_t col, bool rowAbsolute = true, bool colAbsolute = true);

std::optional<RangeRef> Intersection(const RangeRef& a, const RangeRef& b);

}  // namespace xl
