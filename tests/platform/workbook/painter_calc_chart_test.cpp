// Charts as LibreOffice Calc makes and shows them: workbooks whose charts Calc inserted itself
// (tests/fixtures/calc_chart_workbooks.py, run in Calc, saved in calc-made/), read with the look
// Calc wrote and painted in it; and the axis scales Calc picks where a file leaves them open.

#include "PainterSupport.h"

#include "platform/workbook/Chart.h"
#include "platform/workbook/FontMap.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <functional>

using painting::Count;
using painting::CountColor;

namespace {

QString CalcMade(const QString& name) {
    return QStringLiteral(SB_SOURCE_DIR "/tests/platform/workbook/calc-made/") + name;
}

// The charts of a Calc-made workbook, in the order Calc saved them (it saves them unnamed).
struct CalcCharts {
    painting::Opened wb;
    std::vector<xl::Shape*> shapes;
    explicit CalcCharts(const QString& name) : wb(painting::Open(CalcMade(name))) {
        shapes = wb.Sheet(QStringLiteral("Data"))->Shapes().All();
    }
    const xl::ChartData& Data(size_t i) const { return *shapes.at(i)->Chart(); }
    // The chart's own size at 96 dpi, at which it is laid out before it is drawn to the scale
    // of the sheet's cells.
    QSizeF Layout(size_t i) const { return shapes.at(i)->DeclaredSize() * (96.0 / 72.0); }
    QImage Paint(const xl::ChartData& data, size_t i) const {
        return xl::PaintChart(&data, wb.book->Data().Look().theme, QStringLiteral("c"), shapes.at(i)->ScreenSize(),
                              Layout(i))
            .image;
    }
    QImage Picture(size_t i) const { return xl::ShapePicture(*shapes.at(i)).image; }
};

bool Near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// The most pixels of `c` in one column: a line's thickness, or a marker's height.
int Thickest(const QImage& img, const QColor& c) {
    int most = 0;
    for (int x = 0; x < img.width(); ++x) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            n += img.pixelColor(x, y).rgb() == c.rgb() ? 1 : 0;
        most = std::max(most, n);
    }
    return most;
}

// The topmost row holding a pixel of `c`.
int Top(const QImage& img, const QColor& c) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixelColor(x, y).rgb() == c.rgb())
                return y;
    return -1;
}

}  // namespace

TEST(CalcCharts, TheLookCalcWritesIsRead) {
    const CalcCharts basic(QStringLiteral("charts_basic.xlsx"));
    const CalcCharts more(QStringLiteral("charts_more.xlsx"));
    ASSERT_EQ(basic.shapes.size(), 4u);
    ASSERT_EQ(more.shapes.size(), 4u);
    struct Case {
        const char* what;
        const CalcCharts& book;
        size_t chart;
        std::function<void(const xl::ChartData&)> check;
    };
    const std::vector<Case> cases = {
        {"lines: markers, widths and colours as set in Calc", basic, 1,
         [](const xl::ChartData& c) {
             const auto& s = c.plots.at(0).series;
             ASSERT_EQ(s.size(), 3u);
             EXPECT_EQ(s[0].marker.symbol, QStringLiteral("square"));
             EXPECT_NEAR(s[0].style.lineWidth, 0.8 / 25.4 * 72, 0.05);  // 0.8 mm
             EXPECT_EQ(s[0].style.lineColor, QColor(0xC0, 0x39, 0x2B));
             EXPECT_EQ(s[1].marker.symbol, QStringLiteral("none"));
             EXPECT_EQ(s[1].smooth, 0);
         }},
        {"lines: a 16-point bold blue title, the legend below, points on the ticks", basic, 1,
         [](const xl::ChartData& c) {
             EXPECT_EQ(c.title, QStringLiteral("Trend"));
             EXPECT_EQ(c.titleText.points, 16);
             EXPECT_EQ(c.titleText.bold, 1);
             EXPECT_EQ(c.titleText.color, QColor(0x1F, 0x4E, 0x79));
             EXPECT_EQ(c.legendPosition, QStringLiteral("b"));
             EXPECT_EQ(c.legendStyle.line, xl::ChartPaint::Solid);
             ASSERT_EQ(c.axes.size(), 2);
             EXPECT_EQ(c.axes[1].crossBetween, QStringLiteral("midCat"));
             EXPECT_TRUE(c.axes[1].majorGridlines);
             EXPECT_EQ(c.axes[1].text.points, 10);
         }},
        {"column: Calc's grey plot area and white chart area", basic, 0,
         [](const xl::ChartData& c) {
             EXPECT_EQ(c.plotStyle.fill, xl::ChartPaint::Solid);
             EXPECT_EQ(c.plotStyle.fillColor, QColor(0xD9, 0xD9, 0xD9));
             EXPECT_EQ(c.areaStyle.fill, xl::ChartPaint::Solid);
             EXPECT_EQ(c.areaStyle.line, xl::ChartPaint::None);
         }},
        {"pie: each slice's value and percentage", basic, 2,
         [](const xl::ChartData& c) {
             const xl::ChartSeries& s = c.plots.at(0).series.at(0);
             EXPECT_TRUE(s.labels.showValue);
             EXPECT_TRUE(s.labels.showPercent);
             EXPECT_FALSE(s.labels.showCategory);
             EXPECT_EQ(s.pointLabels.size(), 4u);
         }},
        {"bars: 12-point axis labels on a yellow plot area", more, 0,
         [](const xl::ChartData& c) {
             EXPECT_EQ(c.plotStyle.fillColor, QColor(0xFF, 0xF2, 0xCC));
             for (const xl::ChartAxis& a : c.axes)
                 EXPECT_EQ(a.text.points, 12);
         }},
        {"a smoothed line", more, 1,
         [](const xl::ChartData& c) { EXPECT_EQ(c.plots.at(0).series.at(0).smooth, 1); }},
        {"the doughnut's labels name the categories", more, 2,
         [](const xl::ChartData& c) {
             const xl::ChartLabels& l = c.plots.at(0).series.at(0).labels;
             EXPECT_TRUE(l.showCategory);
             EXPECT_FALSE(l.showValue);
         }},
        {"diamonds without lines", more, 3,
         [](const xl::ChartData& c) {
             const xl::ChartSeries& s = c.plots.at(0).series.at(0);
             EXPECT_EQ(s.marker.symbol, QStringLiteral("diamond"));
             EXPECT_TRUE(s.noLine);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.check(c.book.Data(c.chart));
    }
}

TEST(CalcCharts, MarkersAreDrawnAsStoredAndNoneWhereTheSeriesHasNone) {
    const CalcCharts basic(QStringLiteral("charts_basic.xlsx"));
    const QImage lines = basic.Picture(1);
    // South has no symbol: its line, 1.3 pixels wide, is never thicker than a steep stretch of it.
    EXPECT_LE(Thickest(lines, QColor(0xFF, 0x42, 0x0E)), 6);
    // North's squares, 8 points: as tall as wide in its colour, corners included.
    const QColor north(0xC0, 0x39, 0x2B);
    EXPECT_GE(Thickest(lines, north), 9);
    // A square at each of the four points: at a square's corner the colour reaches the corner.
    int squares = 0;
    for (int y = 4; y < lines.height() - 4; ++y)
        for (int x = 4; x < lines.width() - 4; ++x)
            if (lines.pixelColor(x, y).rgb() == north.rgb() && lines.pixelColor(x - 4, y - 4).rgb() == north.rgb() &&
                lines.pixelColor(x + 4, y + 4).rgb() == north.rgb() && lines.pixelColor(x - 4, y + 4).rgb() == north.rgb() &&
                lines.pixelColor(x + 4, y - 4).rgb() == north.rgb())
                ++squares;
    EXPECT_GE(squares, 4);

    // The diamonds of the scatter chart have no such corners: a square's corners are not filled.
    const CalcCharts more(QStringLiteral("charts_more.xlsx"));
    const QImage diamonds = more.Picture(3);
    const QColor purple(0x6A, 0x1B, 0x9A);
    EXPECT_GT(CountColor(diamonds, purple), 5 * 20);
    int cornered = 0;
    for (int y = 4; y < diamonds.height() - 4; ++y)
        for (int x = 4; x < diamonds.width() - 4; ++x)
            if (diamonds.pixelColor(x, y).rgb() == purple.rgb() && diamonds.pixelColor(x - 4, y - 4).rgb() == purple.rgb() &&
                diamonds.pixelColor(x + 4, y + 4).rgb() == purple.rgb())
                ++cornered;
    EXPECT_EQ(cornered, 0);
}

TEST(CalcCharts, ASmoothedLineCurvesPastItsPoints) {
    const CalcCharts more(QStringLiteral("charts_more.xlsx"));
    xl::ChartData straight = more.Data(1);
    straight.plots.at(0).series.at(0).smooth = 0;
    const QColor green(0x2E, 0x7D, 0x32);
    const QImage curved = more.Paint(more.Data(1), 1), plain = more.Paint(straight, 1);
    EXPECT_NE(curved, plain);
    // Between April (8.5) and May (7) the curve rises above April's point; the straight line
    // peaks at it.
    EXPECT_LT(Top(curved, green), Top(plain, green) - 2);
}

TEST(CalcCharts, ThePiesLabelsShowValueAndPercentage) {
    const CalcCharts basic(QStringLiteral("charts_basic.xlsx"));
    const xl::ChartData& pie = basic.Data(2);
    xl::ChartData unlabelled = pie;
    for (xl::ChartSeries& s : unlabelled.plots.at(0).series) {
        s.labels = {};
        s.pointLabels.clear();
    }
    const QImage with = basic.Paint(pie, 2), without = basic.Paint(unlabelled, 2);
    // "473 42%" on the blue slice: dark text where the plain pie is all blue.
    const QColor blue(0x00, 0x45, 0x86);
    QRect ink;
    for (int y = 0; y < with.height(); ++y)
        for (int x = 0; x < with.width() * 3 / 4; ++x)
            if (without.pixelColor(x, y).rgb() == blue.rgb() && with.pixelColor(x, y).lightness() < 40 &&
                with.pixelColor(x, y).blue() < 60)
                ink |= QRect(x, y, 1, 1);
    ASSERT_FALSE(ink.isEmpty());
    // In Arial 10 points, drawn as narrower as the chart is drawn across.
    const QFontMetricsF fm(xl::PaintFont(QStringLiteral("Arial"), 10));
    const double across = with.width() / basic.Layout(2).width();
    EXPECT_NEAR(ink.width(), fm.horizontalAdvance(QStringLiteral("473 42%")) * across, 3);
    EXPECT_NEAR(ink.height(), fm.capHeight(), 2);
}

namespace {

// The plot area of a chart picture: the longest block of rows, and of columns, more than 30 %
// in the plot's fill or in a series' colour (bars cover much of it), across gridlines.
QRect PlotBox(const QImage& img, QColor fill, const std::vector<QColor>& series) {
    auto inside = [&](int x, int y) {
        const QColor c = img.pixelColor(x, y);
        if (Near(c, fill, 3))
            return true;
        return std::any_of(series.begin(), series.end(), [&](QColor s) { return Near(c, s, 6); });
    };
    // The longest run of indices passing `full`, allowing gaps of up to 3.
    auto longest = [](int n, const std::function<bool(int)>& full) {
        std::pair<int, int> best{-1, -2}, run{-1, -2};
        for (int i = 0; i < n; ++i) {
            if (!full(i))
                continue;
            if (run.first < 0 || i - run.second > 4)
                run = {i, i};
            run.second = i;
            if (run.second - run.first > best.second - best.first)
                best = run;
        }
        return best;
    };
    const auto rows = longest(img.height(), [&](int y) {
        int n = 0;
        for (int x = 0; x < img.width(); ++x)
            n += inside(x, y) ? 1 : 0;
        return n > img.width() * 3 / 10;
    });
    const auto cols = longest(img.width(), [&](int x) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            n += inside(x, y) ? 1 : 0;
        return n > img.height() * 3 / 10;
    });
    return QRect(QPoint(cols.first, rows.first), QPoint(cols.second, rows.second));
}

}  // namespace

// Where the plot area stands is where everything else of the layout shows: the title above it,
// the legend beside or below it, the axis labels left of and under it. Calc's boxes were
// measured in its window at 100 % on a 96 dpi screen (left, top, right, bottom, inclusive).
TEST(CalcCharts, ThePlotAreaStandsWhereCalcShowsIt) {
    const CalcCharts basic(QStringLiteral("charts_basic.xlsx"));
    const CalcCharts more(QStringLiteral("charts_more.xlsx"));
    const QColor grey(0xD9, 0xD9, 0xD9);
    struct Case {
        const char* what;
        const CalcCharts& book;
        size_t chart;
        QColor fill;
        std::vector<QColor> series;
        QRect calc;
    };
    const std::vector<Case> cases = {
        {"columns, titled, legend at the right", basic, 0, grey,
         {QColor(0x00, 0x45, 0x86), QColor(0xFF, 0x42, 0x0E), QColor(0xFF, 0xD3, 0x20)}, QRect(QPoint(40, 55), QPoint(366, 233))},
        {"lines, large title, legend below", basic, 1, grey, {QColor(0xC0, 0x39, 0x2B), QColor(0xFF, 0xD3, 0x20)},
         QRect(QPoint(40, 59), QPoint(418, 204))},
        {"scatter, untitled, legend at the right", basic, 3, grey, {QColor(0x00, 0x45, 0x86)}, QRect(QPoint(33, 15), QPoint(327, 270))},
        {"stacked bars, no legend", more, 0, QColor(0xFF, 0xF2, 0xCC), {QColor(0x00, 0x45, 0x86), QColor(0xFF, 0x42, 0x0E)},
         QRect(QPoint(59, 46), QPoint(413, 231))},
        {"smoothed line, legend at the right", more, 1, grey, {QColor(0x2E, 0x7D, 0x32)}, QRect(QPoint(24, 55), QPoint(333, 233))},
        {"markers only, legend at the right", more, 3, grey, {QColor(0x6A, 0x1B, 0x9A)}, QRect(QPoint(39, 56), QPoint(334, 270))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QRect ours = PlotBox(c.book.Picture(c.chart).convertToFormat(QImage::Format_RGB32), c.fill, c.series);
        // Across, text drawn by another renderer may take a pixel or two more or less; down,
        // the layout is Calc's to the pixel but for rounding.
        EXPECT_NEAR(ours.left(), c.calc.left(), 3);
        EXPECT_NEAR(ours.right(), c.calc.right(), 3);
        EXPECT_NEAR(ours.top(), c.calc.top(), 2);
        EXPECT_NEAR(ours.bottom(), c.calc.bottom(), 2);
    }
}

TEST(CalcCharts, ColoursAndFillsAreTheChartsOwn) {
    const CalcCharts basic(QStringLiteral("charts_basic.xlsx"));
    const CalcCharts more(QStringLiteral("charts_more.xlsx"));
    const QImage lines = basic.Picture(1), bars = more.Picture(0);
    // The title's blue (its text, antialiased: the darkest pixels are its own colour).
    EXPECT_GT(Count(lines, lines.rect(), [](QColor c) { return Near(c, QColor(0x1F, 0x4E, 0x79), 12); }), 40);
    // Plot areas in their fill, a third of the chart or more.
    EXPECT_GT(CountColor(lines, QColor(0xD9, 0xD9, 0xD9)), lines.width() * lines.height() / 4);
    EXPECT_GT(CountColor(bars, QColor(0xFF, 0xF2, 0xCC)), bars.width() * bars.height() / 4);
    // No grey frame around a chart area Calc wrote without an outline.
    EXPECT_EQ(lines.pixelColor(0, lines.height() / 2), QColor(Qt::white));
}

TEST(CalcCharts, AxisScalesAreCalcsWhereTheFileLeavesThemOpen) {
    struct Case {
        const char* what;
        double lo, hi;
        int maxSteps;
        bool yAxis;
        xl::AxisScale expected;
    };
    const std::vector<Case> cases = {
        {"values 40 to 170: 0 to 180 in 20s", 40, 170, 10, true, {0, 180, 20}},
        {"x 5 to 80: a step more where 80 touches the end", 5, 80, 10, false, {0, 90, 10}},
        {"x 1 to 7: one step more at each end", 1, 7, 10, false, {0, 8, 1}},
        {"y 2 to 9", 2, 9, 10, true, {0, 10, 1}},
        {"stacked to 90 with room for 9 labels: steps of 20", 0, 90, 9, true, {0, 100, 20}},
        {"room for 10: steps of 10", 0, 90, 10, true, {0, 100, 10}},
        {"close together: widened towards zero", 95, 100, 10, true, {92, 101, 1}},
        {"all negative", -40, -5, 10, true, {-45, 0, 5}},
        {"both sides of zero", -12, 37, 10, true, {-20, 40, 10}},
        {"one value", 7, 7, 10, true, {0, 8, 1}},
        {"nothing at all", 0, 0, 10, true, {0, 1, 0.1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const xl::AxisScale s = xl::AutomaticAxisScale(c.lo, c.hi, c.maxSteps, c.yAxis);
        EXPECT_DOUBLE_EQ(s.min, c.expected.min);
        EXPECT_DOUBLE_EQ(s.max, c.expected.max);
        EXPECT_NEAR(s.step, c.expected.step, 1e-12);
    }
    // A fixed end stays where the file puts it.
    xl::ChartAxis fixed;
    fixed.hasMax = true;
    fixed.max = 250;
    const xl::AxisScale s = xl::AutomaticAxisScale(40, 170, 10, true, &fixed);
    EXPECT_EQ(s.min, 0);
    EXPECT_EQ(s.max, 250);
}
