// Chart pictures: the size of the chart object, every series in its colour, placeholders for
// kinds not drawn, and charts without cached values.

#include "PainterSupport.h"

#include <QClipboard>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cmath>

using painting::CountColor;

namespace {

// A chart is painted at the size its drawing gives it (which LibreOffice writes beside a
// cell anchor that measures differently here), at the scale Calc shows the sheet's drawings.
QSize ShapePixels(const xl::Shape& s) { return s.ScreenSize(); }

// The colour a series (or, in pies, a point) should show in: its own, else the theme's; the
// chart styles of one accent (3 to 8 in each row of eight: the scatter chart's 13) give every
// series that accent, as Calc shows them.
QColor Expected(const xl::ChartSeries& s, const xl::Theme& theme, bool line, int style) {
    const QColor own = line ? (s.lineColor.isValid() ? s.lineColor : s.fillColor)
                            : (s.fillColor.isValid() ? s.fillColor : s.lineColor);
    const int column = (style - 1) % 8;
    return own.isValid() ? own : xl::AutomaticSeriesColor(theme, column >= 2 ? column - 2 : s.index);
}

class ChartProducers : public ::testing::TestWithParam<bool> {};

}  // namespace

TEST(PainterCharts, ColouredChartIsTheSizeOfItsObjectWithEverySeriesColour) {
    const QString path = fixtures::Path(QStringLiteral("painting.xlsx"));
    ASSERT_FIXTURE(path);
    auto wb = painting::Open(path);
    xl::Shape* chart = wb.Sheet(QStringLiteral("Charts"))->Shapes().Item(QStringLiteral("Chart 1"));
    const xl::ChartPicture pic = xl::ShapePicture(*chart);
    EXPECT_FALSE(pic.placeholder);
    EXPECT_TRUE(pic.note.isEmpty());
    // openpyxl's 10 x 6 cm, which Calc shows as 366 x 228 pixels on a 96 dpi screen.
    EXPECT_NEAR(pic.image.width(), 366, 1);
    EXPECT_NEAR(pic.image.height(), 228, 1);
    EXPECT_EQ(pic.image.size(), ShapePixels(*chart));
    for (const QColor c : {QColor(0xFF, 0, 0), QColor(0, 0xAA, 0), QColor(0, 0, 0xFF)})
        EXPECT_GT(CountColor(pic.image, c), 200) << c.name().toStdString();
}

TEST(PainterCharts, OtherKindsAndMissingCachesStillGiveAPicture) {
    const QString path = fixtures::Path(QStringLiteral("painting.xlsx"));
    ASSERT_FIXTURE(path);
    auto wb = painting::Open(path);
    xl::Worksheet* sheet = wb.Sheet(QStringLiteral("Charts"));
    // A radar chart: a framed placeholder naming it, and a note for the log.
    xl::Shape* radar = sheet->Shapes().Item(QStringLiteral("Chart 2"));
    const xl::ChartPicture pic = xl::ShapePicture(*radar);
    EXPECT_TRUE(pic.placeholder);
    EXPECT_TRUE(pic.note.contains(QLatin1String("Chart 2")));
    EXPECT_TRUE(pic.note.contains(QLatin1String("radar")));
    EXPECT_EQ(pic.image.size(), ShapePixels(*radar));
    EXPECT_EQ(pic.image.pixelColor(0, pic.image.height() / 2), QColor(128, 128, 128));
    EXPECT_GT(painting::Count(pic.image, pic.image.rect(), painting::Dark), 30);  // its name

    // No cached values: the chart's frame, title and axes, no series.
    xl::Shape* empty = sheet->Shapes().Item(QStringLiteral("Chart 3"));
    const xl::ChartPicture none = xl::ShapePicture(*empty);
    EXPECT_FALSE(none.placeholder);
    EXPECT_EQ(none.image.size(), ShapePixels(*empty));

    // CopyPicture passes the note on and copies the placeholder.
    QGuiApplication::clipboard()->clear();
    EXPECT_FALSE(radar->CopyPicture().isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), pic.image.size());
    EXPECT_TRUE(sheet->Shapes().Item(QStringLiteral("Chart 1"))->CopyPicture().isEmpty());

    // Sizes no picture can have.
    const xl::ChartData* data = sheet->Shapes().Item(QStringLiteral("Chart 1"))->Chart();
    const xl::Theme& theme = wb.book->Data().Look().theme;
    EXPECT_THROW(xl::PaintChart(data, theme, QStringLiteral("c"), QSize(0, 10)), xl::Error);
    EXPECT_THROW(xl::PaintChart(data, theme, QStringLiteral("c"), QSize(40000, 10)), xl::Error);
    EXPECT_THROW(xl::PaintChart(data, theme, QStringLiteral("c"), QSize(20000, 20000)), xl::Error);
    // Tiny ones paint without failing.
    EXPECT_EQ(xl::PaintChart(data, theme, QStringLiteral("c"), QSize(3, 3)).image.size(), QSize(3, 3));
}

TEST_P(ChartProducers, EveryKindDrawsEachSeriesInItsColour) {
    const QString path = GetParam() ? fixtures::LibreOfficeCopy(QStringLiteral("charts.xlsx"))
                                    : fixtures::Path(QStringLiteral("charts.xlsx"));
    ASSERT_FIXTURE(path);
    auto wb = painting::Open(path);
    xl::Worksheet* sheet = wb.Sheet(QStringLiteral("Charts"));
    const xl::Theme& theme = wb.book->Data().Look().theme;
    const std::vector<xl::Shape*> shapes = sheet->Shapes().All();
    ASSERT_EQ(shapes.size(), 9u);
    int checked = 0;
    for (xl::Shape* shape : shapes) {
        const xl::ChartData* data = shape->Chart();
        ASSERT_NE(data, nullptr) << shape->Name().toStdString();
        const xl::ChartPicture pic = xl::ShapePicture(*shape);
        SCOPED_TRACE(shape->Name().toStdString() + " " + data->KindName().toStdString());
        EXPECT_FALSE(pic.placeholder);
        EXPECT_EQ(pic.image.size(), ShapePixels(*shape));
        // LibreOffice anchors a chart to the cells it covers on its screen, and the columns are
        // as wide here as there, so the chart spans its anchor's columns to the pixel.
        if (GetParam()) {
            EXPECT_NEAR(pic.image.width(), std::lround(shape->Width() * 96.0 / 72.0), 1);
        }
        const xl::ChartPlot& plot = data->plots.front();
        const bool pie = plot.kind == xl::ChartKind::Pie || plot.kind == xl::ChartKind::Doughnut;
        const bool line = plot.kind == xl::ChartKind::Line || plot.kind == xl::ChartKind::Scatter;
        for (const xl::ChartSeries& s : plot.series) {
            if (pie) {
                // Every slice in its own colour.
                for (size_t i = 0; i < s.values.size(); ++i) {
                    const QColor c = i < size_t(s.pointColors.size()) && s.pointColors[qsizetype(i)].isValid()
                                         ? s.pointColors[qsizetype(i)]
                                         : xl::AutomaticSeriesColor(theme, int(i));
                    EXPECT_GT(CountColor(pic.image, c), 100) << c.name().toStdString();
                    ++checked;
                }
                break;  // the pie's one series; a doughnut's first ring
            }
            const QColor c = Expected(s, theme, line, data->style);
            EXPECT_GT(CountColor(pic.image, c), line ? 40 : 200) << c.name().toStdString();
            ++checked;
            // Areas that do not stack hide each other: Calc draws the first in front.
            if (plot.kind == xl::ChartKind::Area && plot.grouping == QLatin1String("standard"))
                break;
        }
    }
    EXPECT_GE(checked, 18);
    if (!GetParam()) {
        // The line chart's first series is red in its chart part.
        xl::Shape* lineChart = shapes[4];
        EXPECT_EQ(lineChart->Chart()->plots.front().kind, xl::ChartKind::Line);
        EXPECT_GT(CountColor(xl::ShapePicture(*lineChart).image, QColor(0xFF, 0, 0)), 40);
    }
}

INSTANTIATE_TEST_SUITE_P(Producers, ChartProducers, ::testing::Values(false, true),
                         [](const auto& info) {
                             return info.param ? std::string("LibreOffice")
                                               : std::string("openpyxl");
                         });

TEST(PainterCharts, AutomaticColoursFollowTheThemeAccentsInOrder) {
    xl::Theme theme;  // the Office theme
    for (int i = 0; i < 6; ++i) {
        static const char* const names[] = {"accent1", "accent2", "accent3",
                                            "accent4", "accent5", "accent6"};
        EXPECT_EQ(xl::AutomaticSeriesColor(theme, i), theme.Scheme(QLatin1String(names[i])));
    }
    // The seventh series on repeats the accents in other shades: never the same colour again
    // within the first round of repeats.
    for (int i = 6; i < 12; ++i) {
        EXPECT_NE(xl::AutomaticSeriesColor(theme, i), xl::AutomaticSeriesColor(theme, i - 6));
        EXPECT_EQ(xl::AutomaticSeriesColor(theme, i).hue(), xl::AutomaticSeriesColor(theme, i - 6).hue());
    }
}

TEST(PainterCharts, ChartsOverARangeShowInItsPicture) {
    const QString path = fixtures::Path(QStringLiteral("painting.xlsx"));
    ASSERT_FIXTURE(path);
    auto wb = painting::Open(path);
    auto rgb = [](const QImage& img) { return img.convertToFormat(QImage::Format_RGB32); };
    // "Chart 1" stands at A1, 10 x 6 cm: a range under it shows the chart's own picture at its
    // place and in its size, cut at the range's edge.
    const QImage chart = rgb(xl::ShapePicture(*wb.Sheet(QStringLiteral("Charts"))->Shapes().Item(QStringLiteral("Chart 1"))).image);
    const QImage under = rgb(wb.Picture(QStringLiteral("Charts"), QStringLiteral("A1:C5")));
    ASSERT_LT(under.width(), chart.width());
    ASSERT_LT(under.height(), chart.height());
    EXPECT_EQ(under, chart.copy(under.rect()));
    // A range around the whole chart shows all of it, and the cells' grid beyond it.
    const QImage whole = rgb(wb.Picture(QStringLiteral("Charts"), QStringLiteral("A1:H15")));
    ASSERT_GT(whole.width(), chart.width() + 4);
    ASSERT_GT(whole.height(), chart.height() + 20);
    EXPECT_EQ(whole.copy(chart.rect()), chart);
    EXPECT_GT(CountColor(whole.copy(0, chart.height(), whole.width(), whole.height() - chart.height()), xl::GridlineColor()), 100);
    // Cells away from every chart: the plain grid.
    const QColor red(0xFF, 0, 0), blue(0, 0, 0xFF);
    const QImage away = wb.Picture(QStringLiteral("Charts"), QStringLiteral("A60:C62"));
    EXPECT_EQ(CountColor(away, red) + CountColor(away, blue), 0);
    EXPECT_EQ(away.pixelColor(0, 5), xl::GridlineColor());
}
