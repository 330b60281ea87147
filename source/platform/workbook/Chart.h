#pragma once
// A chart part read far enough to paint it from its cached values: the kind of each plot,
// its grouping and direction, its series with their cached names, categories and values,
// titles, legend and axes, and the look the part gives each of them (fills, outlines, text,
// markers, smoothing, data labels, gridlines, fixed axis scales).

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace xl {

class Package;
struct Theme;

enum class ChartKind { Bar, Line, Area, Pie, Doughnut, Scatter, Other };

// How a text of the chart is written: what the part says, each field unset when it says
// nothing (the painter then takes the spreadsheet's default for that text).
struct ChartTextStyle {
    QString typeface;       // "" when not set
    double points = 0;      // 0 when not set
    int bold = -1;          // -1 not set, 0 or 1
    int italic = -1;
    QColor color;           // invalid when not set
    double rotation = 0;    // degrees counter-clockwise; text of axis labels and titles
    bool hasRotation = false;

    // `over` where it sets a field, this style elsewhere.
    ChartTextStyle Under(const ChartTextStyle& over) const;
};

// A fill or an outline as a shape's properties give it.
enum class ChartPaint { Automatic, None, Solid };

struct ChartShapeStyle {
    ChartPaint fill = ChartPaint::Automatic;
    QColor fillColor;
    ChartPaint line = ChartPaint::Automatic;
    QColor lineColor;
    double lineWidth = -1;  // points; -1 when not set (0 is the thinnest line)
    bool dashed = false;
};

// The data labels of a series or of one point.
struct ChartLabels {
    bool set = false;  // a dLbls or dLbl element was read
    bool showValue = false, showPercent = false, showCategory = false, showSeries = false;
    QString separator;      // "" when not set
    QString position;       // dLblPos: "ctr", "inEnd", "outEnd", "bestFit", "t", "r"...; "" when not set
    QString numberFormat;   // "" when not set
    ChartTextStyle text;
    [[nodiscard]] bool Any() const { return showValue || showPercent || showCategory || showSeries; }
};

struct ChartMarker {
    QString symbol;  // "none", "square", "diamond", "triangle", "circle", "x", "star", "dash",
                     // "dot", "plus", "auto"; "" when not set
    int size = 0;    // points, 2 to 72; 0 when not set
    ChartShapeStyle style;
};

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
    ChartShapeStyle style;        // the whole of its shape properties
    ChartMarker marker;
    int smooth = -1;              // -1 not set, 0 or 1
    ChartLabels labels;           // the series' labels
    std::vector<std::pair<int, ChartLabels>> pointLabels;  // per point, by index
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
    bool markers = true;   // lines: series that say nothing of their markers show automatic ones
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
    double majorUnit = 0;     // 0 when automatic
    bool reversed = false;    // orientation maxMin
    bool majorGridlines = false, minorGridlines = false;
    ChartShapeStyle gridStyle;  // the major gridlines' line
    ChartShapeStyle lineStyle;  // the axis line
    QString majorTickMark;      // "out", "in", "cross", "none"; "" when not set
    QString tickLabelPosition;  // "nextTo", "low", "high", "none"; "" when not set
    QString crossBetween;       // "between", "midCat"; "" when not set
    ChartTextStyle text;        // its labels
    ChartTextStyle titleText;
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
    ChartShapeStyle areaStyle;    // the chart area
    ChartShapeStyle plotStyle;    // the plot area
    ChartShapeStyle legendStyle;  // the legend's frame
    ChartTextStyle text;          // the whole chart's text (chartSpace txPr)
    ChartTextStyle titleText;
    ChartTextStyle legendText;
    int style = 2;  // the chart style (1 to 48), which picks the automatic colours

    // The first plot's kind, or Other for a chart without plots.
    ChartKind Kind() const { return plots.empty() ? ChartKind::Other : plots.front().kind; }
    // A name for the chart's kind as the element names it, for placeholders and logs.
    QString KindName() const;
};

// Reads a chart part. Throws xl::Error on a part that is not well-formed XML.
ChartData ReadChart(const Package& pkg, const QString& partName, const Theme& theme);

}  // namespace xl
