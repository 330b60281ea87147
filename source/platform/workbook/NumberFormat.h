#pragma once
// Turns a cell value and its .xlsx number format code into the text the spreadsheet shows,
// formatted as en-US. Used for painting and for searching on displayed values.
//
// Display rules chosen where spreadsheets could differ:
// - A negative value that rounds to zero in a format without a negative section shows "-0"
//   ("0" of -0.001 is "-0"), as the spreadsheet itself shows it: the sign belongs to the value,
//   not to the rounded text, and a picture must match what the user sees on screen.
// - A date or time format given a negative serial, or one past 9999-12-31, shows the cell
//   filled with "#": text "#" with fillChar '#' at 0.
// - A malformed code (unterminated quote or bracket, a dangling \ _ *, more than four
//   sections, an unknown [ColorN], an unreadable condition) formats as "General".

#include "platform/workbook/CellValue.h"

#include <QColor>
#include <QString>
#include <QVector>

namespace xl {

// "_x" leaves a blank as wide as x. The text holds one ordinary space for it, so searching
// and plain-text consumers see a space; a painter that wants the exact width measures `width`
// in the cell's font and widens the space at `pos` to that.
struct Padding {
    int pos = 0;
    QChar width;
};

struct FormattedValue {
    QString text;     // the displayed text, padding markers resolved (see below)
    QColor color;     // a [Red]-style section colour; invalid when the section names none
    // "*x" repeats x to fill the cell: the painter inserts copies of fillChar at fillPos.
    QChar fillChar;   // null when the format has no fill
    int fillPos = -1;
    QVector<Padding> paddings;  // the "_x" blanks in `text`, in order
};

// The format code of a built-in format ID (0 to 49 and the locale ones); "General" when unknown.
QString BuiltInFormatCode(int numFmtId);

// `generalMaxChars` bounds the digits a "General" number may use, as a narrow column does;
// the default is what a standard-width column shows. The minus sign is not counted.
FormattedValue FormatValue(const CellValue& value, const QString& formatCode,
                           bool date1904 = false, int generalMaxChars = 11);

// Whether a number shown through this code is a date or time (its first section has date or
// time parts), for callers that treat such cells as dates rather than plain numbers.
[[nodiscard]] bool IsDateFormat(const QString& formatCode);

}  // namespace xl
