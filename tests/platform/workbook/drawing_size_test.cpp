// The size a drawing declares for a chart, as LibreOffice Calc saves it: a two-cell anchor whose
// cells measure a little differently here, and the chart's own transform with the size Calc
// meant. Our writer keeps that transform in step when it saves the drawing.

#include "platform/workbook/Workbook.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace xl;

namespace {

const QString kSavedByCalc =
    QStringLiteral(SB_SOURCE_DIR "/tests/platform/desktop/payloads/files/SalesSavedByCalc.xlsx");
// The transform's extent in that file: 5399640 x 2699640 EMU.
constexpr double kWidthPoints = 5399640 / 12700.0;
constexpr double kHeightPoints = 2699640 / 12700.0;

Shape* TheChart(Workbook* wb) {
    const auto charts = wb->Sheets().Item(QStringLiteral("Data"))->ChartObjects().All();
    return charts.size() == 1 ? charts.front() : nullptr;
}

}  // namespace

TEST(DeclaredShapeSize, IsTheTransformOfAChartSavedByCalc) {
    Application app;
    Shape* chart = TheChart(app.Workbooks().Open(kSavedByCalc));
    ASSERT_TRUE(chart);
    EXPECT_EQ(chart->Name(), QStringLiteral("Chart 1"));
    EXPECT_DOUBLE_EQ(chart->DeclaredSize().width(), kWidthPoints);
    EXPECT_DOUBLE_EQ(chart->DeclaredSize().height(), kHeightPoints);
}

TEST(DeclaredShapeSize, SurvivesASaveOfTheDrawingAndFollowsAResize) {
    QTemporaryDir tmp;
    const QString renamed = tmp.filePath(QStringLiteral("renamed.xlsx"));
    const QString resized = tmp.filePath(QStringLiteral("resized.xlsx"));
    {
        Application app;
        Workbook* wb = app.Workbooks().Open(kSavedByCalc);
        Shape* chart = TheChart(wb);
        ASSERT_TRUE(chart);
        // A new name rewrites the drawing; its transform must keep the saved size.
        chart->SetName(QStringLiteral("Revenue"));
        wb->SaveAs(renamed);
    }
    {
        Application app;
        Workbook* wb = app.Workbooks().Open(renamed);
        Shape* chart = TheChart(wb);
        ASSERT_TRUE(chart);
        EXPECT_EQ(chart->Name(), QStringLiteral("Revenue"));
        EXPECT_NEAR(chart->DeclaredSize().width(), kWidthPoints, 0.01);
        EXPECT_NEAR(chart->DeclaredSize().height(), kHeightPoints, 0.01);
        chart->SetWidth(300);
        chart->SetHeight(120);
        EXPECT_NEAR(chart->DeclaredSize().width(), 300, 0.01);
        wb->SaveAs(resized);
    }
    Application app;
    Shape* chart = TheChart(app.Workbooks().Open(resized));
    ASSERT_TRUE(chart);
    EXPECT_NEAR(chart->DeclaredSize().width(), 300, 0.01);
    EXPECT_NEAR(chart->DeclaredSize().height(), 120, 0.01);
    // The anchor was moved to the same size.
    EXPECT_NEAR(chart->Width(), 300, 0.5);
    EXPECT_NEAR(chart->Height(), 120, 0.5);
}
