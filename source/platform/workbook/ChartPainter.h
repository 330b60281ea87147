#pragma once
// Pictures of embedded charts drawn from the values cached in their chart parts: column and
// bar (clustered, stacked, 100%), line with markers, area, pie, doughnut and scatter, with
// title, legend, axis labels, axis titles and gridlines, in the chart's own colours or the
// theme's accent colours in order.

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

namespace xl {

struct ChartData;
struct Theme;

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
// that gives the placeholder. Throws xl::Error when the size is empty or beyond the picture
// limits of RangePainter.h.
ChartPicture PaintChart(const ChartData* chart, const Theme& theme, const QString& name,
                        QSize size);

}  // namespace xl
