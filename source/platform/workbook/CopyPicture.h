#pragma once
// The pictures CopyPicture puts on the clipboard, also to be had directly: ranges through
// RangePainter, charts through ChartPainter, picture shapes from their media.

#include "platform/workbook/ChartPainter.h"

#include <QImage>

namespace xl {

class Range;
class Shape;

// CopyPicture's arguments as the spreadsheet numbers them. Every combination gives the
// screen appearance as a bitmap: that is the only picture this engine makes.
constexpr int xlScreen = 1;
constexpr int xlPrinter = 2;
constexpr int xlBitmap = 2;
constexpr int xlPicture = -4147;

// The picture of a range, as Range.CopyPicture copies it. Throws xl::Error.
QImage RangePicture(const Range& range);

// The picture of a shape, the size of the shape: a chart drawn from its cached values, a
// picture from its media, any other shape (or a chart of a kind not drawn) a framed
// placeholder with a note for the caller's log. Throws xl::Error.
ChartPicture ShapePicture(const Shape& shape);
// The size of that picture in pixels, known without painting it.
QSize ShapePictureSize(const Shape& shape);

}  // namespace xl
