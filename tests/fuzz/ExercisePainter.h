#pragma once
// What the painter's fuzz target and the corpus replay do with one input: read it as the
// reader's target does, then paint what a panel would show of it: the cells of each sheet and
// every chart and picture. Pictures are kept small (a fuzz input can claim any size, and the
// size limits have tests of their own), so the time goes into the painters' logic. Any failure
// must be an xl::Error; anything else is a bug.

#include "ExerciseReader.h"

#include "platform/workbook/ChartPainter.h"
#include "platform/workbook/CopyPicture.h"
#include "platform/workbook/RangePainter.h"

#include <QGuiApplication>

#include <algorithm>
#include <cmath>

namespace fuzzing {

// Pictures larger than this are not painted by the target.
constexpr int64_t kFuzzPicturePixels = 1'500'000;
constexpr int kFuzzChartSide = 480;

inline void PaintSheet(xl::Worksheet* ws) {
    const xl::RangeRef used = ws->UsedRange().Ref();
    // The top-left corner of what is used, as a pasted range would be, and the first cells.
    for (const xl::RangeRef& r :
         {xl::RangeRef{used.row1, used.col1, std::min(used.row2, used.row1 + 30), std::min(used.col2, used.col1 + 12)},
          xl::RangeRef{1, 1, 6, 6}}) {
        try {
            const QSize size = xl::RangePictureSize(*ws, r);
            if (int64_t(size.width()) * size.height() <= kFuzzPicturePixels)
                (void)xl::PaintRange(*ws, r);
        } catch (const xl::Error&) {
        }
    }
    const xl::Theme& theme = ws->Book().Look().theme;
    for (xl::Shape* s : ws->Shapes().All()) {
        try {
            const QSizeF declared = s->DeclaredSize();
            const double w = declared.width() * 96.0 / 72.0, h = declared.height() * 96.0 / 72.0;
            if (s->HasChart()) {
                // The chart at its own size when that is small, else at a small one of its shape.
                const double fit = std::min({1.0, kFuzzChartSide / std::max(1.0, w), kFuzzChartSide / std::max(1.0, h)});
                const QSize size(std::clamp(int(std::lround(w * fit)), 1, kFuzzChartSide),
                                 std::clamp(int(std::lround(h * fit)), 1, kFuzzChartSide));
                (void)xl::PaintChart(s->Chart(), theme, s->Name(), size);
            } else if (std::isfinite(w) && std::isfinite(h) && w * h <= double(kFuzzPicturePixels)) {
                (void)xl::ShapePicture(*s);
            }
        } catch (const xl::Error&) {
        }
    }
}

// True when the input was read as a workbook (whatever its pictures did), false when refused.
inline bool ExercisePainter(const QByteArray& input) {
    try {
        const auto data = xl::ReadWorkbookBytes(WorkbookBytesFor(input), QStringLiteral("fuzz.xlsx"));
        xl::Application app;
        xl::Workbook book(&app, data, QStringLiteral("/fuzz/fuzz.xlsx"));
        for (int i = 1; i <= book.Sheets().Count(); ++i) {
            try {
                xl::Worksheet* ws = book.Sheets().Item(i);
                ExerciseSheet(book, ws);
                PaintSheet(ws);
            } catch (const xl::Error&) {
            }
        }
        return true;
    } catch (const xl::Error&) {
        return false;
    }
}

}  // namespace fuzzing
