#pragma once
// Pictures of embedded charts drawn from the values cached in their chart parts, as LibreOffice
// Calc shows them at 100 %: column and bar (clustered, stacked, 100%), line, area, pie, doughnut
// and scatter, with title, legend, axis labels and titles, gridlines, markers, smoothed lines
// and data labels, laid out and scaled the way Calc does it automatically, in the look the
// chart part gives (fonts, fills, outlines, colours), Calc's own defaults where it says nothing.

#include <QColor>
#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>

namespace xl {

struct ChartAxis;
struct ChartData;
struct Theme;

// A value axis's scale: from `min` to `max` in steps of `step`.
struct AxisScale {
    double min = 0, max = 1, step = 0.2;
};

// The scale Calc gives a value axis that the file leaves automatic (or fixes in part, in
// `axis`), for values from `lo` to `hi` and room for `maxSteps` labels along the axis. A y axis
// starts at zero when its values are far from it; an x axis (scatter) starts near its values.
AxisScale AutomaticAxisScale(double lo, double hi, int maxSteps, bool yAxis, const ChartAxis* axis = nullptr);

struct ChartPicture {
    QImage image;
    // The chart is of a kind not drawn here (or has no chart part): the picture is a framed
    // placeholder naming it, and `note` says why, for the caller to log.
    bool placeholder = false;
    QString note;
};

// The colour of the automatic series or point `index`: the theme's accents 1 to 6 in order,
// then the same again darker, then lighter, as the spreadsheet cycles them.
QColor AutomaticSeriesColor(const Theme& theme, int index);

// Paints a chart at `size` pixels. `chart` may be null (a chart whose part is missing):
// that gives the placeholder. The chart is laid out at `layout`, its own size in pixels at
// 96 dpi (`size` when empty), and drawn stretched to `size`: LibreOffice Calc draws a sheet's
// charts to the scale of its cells (Shape::ScreenSize), text and pies included. Throws
// xl::Error when the size is empty or beyond the picture limits of RangePainter.h.
ChartPicture PaintChart(const ChartData* chart, const Theme& theme, const QString& name,
                        QSize size, QSizeF layout = QSizeF());

}  // namespace xl
