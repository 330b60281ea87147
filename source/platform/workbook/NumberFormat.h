#pragma once
// Turns a cell value and its .xlsx number format code into the text the spreadsheet shows,
// formatted as en-US. Used for painting and for searching on displayed values.

#include "platform/workbook/CellValue.h"

#include <QColor>
#include <QString>

namespace xl {

struct FormattedValue {
    QString text;     // the displayed text, padding markers resolved (see below)
    QColor color;     // a [Red]-style section colour; invalid when the section names none
    // "*x" repeats x to fill the cell: the painter inserts copies of fillChar at fillPos.
    QChar fillChar;   // null when the format has no fill
    int fillPos = -1;
};

// The format code of a built-in format ID (0 to 49 and the locale ones); "General" when unknown.
QString BuiltInFormatCode(int numFmtId);

// `generalMaxChars` bounds the digits a "General" number may use, as a narrow column does;
// the default is what a standard-width column shows.
FormattedValue FormatValue(const CellValue& value, const QString& formatCode,
                           bool date1904 = false, int generalMaxChars = 11);

}  // namespace xl
