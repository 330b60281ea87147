#pragma once
// Pictures of cell ranges as the spreadsheet shows them on screen, at 96 dpi: column widths
// and row heights as laid out (hidden ones absent), fills, gridlines, borders, text in its
// font and alignment through the cell's number format, overflow and merged cells.

#include "platform/workbook/Address.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <cstdint>

namespace xl {

class Worksheet;

// Pictures beyond these are refused with an xl::Error instead of exhausting memory: wider or
// taller than 32767 pixels (QPainter's own coordinate limit), or more than 200 megapixels.
constexpr int kMaxPictureSide = 32767;
constexpr int64_t kMaxPicturePixels = 200'000'000;

// The colour the spreadsheet (LibreOffice Calc) draws gridlines in when the sheet sets none.
inline QColor GridlineColor() { return QColor(192, 192, 192); }

// The picture's size in pixels: every visible column's and row's width, plus one pixel for
// the left and top edge lines. Throws xl::Error when nothing of the range is visible or the
// picture would be too large.
QSize RangePictureSize(const Worksheet& sheet, const RangeRef& range);

// Paints the range. Throws xl::Error as RangePictureSize does.
QImage PaintRange(const Worksheet& sheet, const RangeRef& range);

}  // namespace xl
