#pragma once
// A chart part read far enough to paint it from its cached values: the kind of each plot,
// its grouping and direction, its series with their cached names, categories and values,
// the colours the chart sets, titles, legend and axis titles.

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace xl {

class Package;
struct Theme;

enum class ChartKind { Bar, Line, Area, Pie, Doughnut, Scatter, Other };

struct ChartSeries {
    QString name;                 // from its cached text; "" when none
    QStringList categories;       // cached category labels ("" for a missing point)
    std::vector<double> values;   // cached values; NaN for a missing point
    std::vector<double> xValues;  // scatter only: cached x values
    QString valueFormat;          // the value cache's format code, "General" when none
    QColor fillColor;             // from the series' shape properties; invalid when automatic
    QColor lineColor;
    bool noLine = false;          // an explicit "no line" (scatter markers only)
    QList<QColor> pointColors;    // per-point fills (pie slices), invalid entries automatic
    int index = 0;                // the series' idx, which picks its automatic colour
};

struct ChartPlot {
    ChartKind kind = ChartKind::Other;
    QString element;       // the plot element's own name: "barChart", "radarChart"...
    QString barDirection;  // "col" or "bar" (bar charts)
    QString grouping;      // "clustered", "stacked", "percentStacked", "standard"
    bool varyColors = false;
    int holeSize = 50;       // doughnut, percent
    int firstSliceAngle = 0; // pie and doughnut, degrees
    int gapWidth = 150, overlap = 0;
    QString scatterStyle;  // "lineMarker", "marker", "line", "smooth"...
    std::vector<ChartSeries> series;
};

struct ChartAxis {
    QString kind;  // "catAx", "valAx", "dateAx", "serAx"
    QString position;  // "b", "l", "t", "r"
    QString title;
    QString numberFormat;
    bool deleted = false;
    double min = 0, max = 0;  // valid only when hasMin / hasMax
    bool hasMin = false, hasMax = false;
};

struct ChartData {
    QString partName;   // the chart part in the package
    QString title;      // "" when none; the series name when auto-titled with one series
    bool hasTitle = false;
    bool hasLegend = false;
    QString legendPosition = QStringLiteral("r");  // "r", "l", "t", "b", "tr"
    std::vector<ChartPlot> plots;
    QList<ChartAxis> axes;
    QColor areaFill;  // chart area fill; invalid when automatic (white)

    // The first plot's kind, or Other for a chart without plots.
    ChartKind Kind() const { return plots.empty() ? ChartKind::Other : plots.front().kind; }
    // A name for the chart's kind as the element names it, for placeholders and logs.
    QString KindName() const;
};

// Reads a chart part. Throws xl::Error on a part that is not well-formed XML.
ChartData ReadChart(const Package& pkg, const QString& partName, const Theme& theme);

}  // namespace xl
