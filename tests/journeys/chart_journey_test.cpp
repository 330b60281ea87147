// A chart copied in LibreOffice Calc, in a workbook Calc saved, becomes a chart panel, its
// window as wide as the chart however wide that is; and the main window's Panel menu follows
// the panel the user clicks.

#include "Journey.h"

TEST_F(Journey, AChartFromCalcBecomesAPanelAndThePanelMenuFollowsTheClickedPanel) {
    ASSERT_TRUE(MakeWorkbooks());
    const QString sales = Work(QStringLiteral("Sales.xlsx"));
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(StartCalc(sales));

    // Cells copied, then the chart, before anything is pasted: a copied chart names no
    // workbook, and the program takes the one the cells last copied came from.
    ASSERT_TRUE(CopyCells(QStringLiteral("$Data.A1:D6"), QStringLiteral("Data.A1:D6")));
    ASSERT_TRUE(CopyChart());
    ASSERT_TRUE(RightClickBackground(QPoint(10, 400)));
    ASSERT_TRUE(Paste());
    const QImage chart = Render(sales, QStringLiteral("Data"), QStringLiteral("Chart 1"));
    // 62 cm across, wider than the screen: its left part shows.
    ASSERT_GT(chart.width() * kTwipsPerPixel, 32767);
    const auto shown = WaitOnScreen(QStringLiteral("the chart panel shows the chart"), chart.copy(0, 0, 500, chart.height()));
    ASSERT_TRUE(shown);

    // Then the cells themselves, pasted at the top of the dashboard.
    ASSERT_TRUE(CopyCells(QStringLiteral("$Data.A1:D6"), QStringLiteral("Data.A1:D6")));
    ASSERT_TRUE(RightClickBackground(QPoint(8, 80)));
    ASSERT_TRUE(Paste());
    const auto range = WaitOnScreen(QStringLiteral("the range panel shows A1:D6"),
                                    Render(sales, QStringLiteral("Data"), QStringLiteral("A1:D6")));
    ASSERT_TRUE(range);

    // The user clicks the range panel and opens the Panel menu, then the same with the chart
    // panel, then with the range panel again. A chart has no range to locate: the menu differs.
    auto menuAfterClicking = [&](const QPoint& at) {
        desk_.Click(at);
        return MenuPicture(QStringLiteral("p"));
    };
    const QImage forRange = menuAfterClicking(range->center());
    const QImage forChart = menuAfterClicking(shown->topLeft() + QPoint(250, shown->height() / 2));
    const QImage forRangeAgain = menuAfterClicking(range->center());
    ASSERT_FALSE(forRange.isNull());
    ASSERT_FALSE(forChart.isNull());
    EXPECT_EQ(forRangeAgain, forRange) << "the Panel menu of one panel changed between two clicks";
    if (forChart == forRange)
        Fail(QStringLiteral("the Panel menu stayed as it was for the range panel after the chart panel was clicked"));

    // Panel > Refresh on the chart panel before the dashboard was ever saved (the user does
    // not save it first): drawn again at the size its record holds, which is the whole chart.
    desk_.Click(shown->topLeft() + QPoint(250, shown->height() / 2));
    // From the bottom: Move, Copy, Crop, Zoom to Fit, Autosize, Layout Mode, Delete, Refresh.
    ASSERT_TRUE(Menu(QStringLiteral("p"), QStringList(8, QStringLiteral("Up"))));
    ASSERT_TRUE(Answer(QStringLiteral("^Sheetbeacon$"), {QStringLiteral("alt+n")}));
    ASSERT_TRUE(Step(QStringLiteral("the question closes"), 30,
                     [&] { return desk_.Windows(QStringLiteral("^Sheetbeacon$")).isEmpty(); }));
    ASSERT_TRUE(WaitOnScreen(QStringLiteral("the refreshed chart panel shows the chart"), chart.copy(0, 0, 500, chart.height())));

    // Saved: a chart panel, its window as wide as the chart in 32-bit twips.
    ASSERT_TRUE(SaveDashboard(QStringLiteral("Charts")));
    ASSERT_TRUE(Step(QStringLiteral("the chart panel is stored"), 60, [&] {
        return Number(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE ContentType = 'C'")) == 1;
    }));
    EXPECT_EQ(Text(QStringLiteral("SELECT PicRange FROM DsbSavedPanel WHERE ContentType = 'C'")), QStringLiteral("Chart 1"));
    EXPECT_EQ(Text(QStringLiteral("SELECT FullPath FROM DsbPanelSource s JOIN DsbSavedPanel p ON p.SourceID = s.ID "
                                  "WHERE p.ContentType = 'C'")),
              sales);
    EXPECT_GE(Number(QStringLiteral("SELECT Width FROM DsbSavedPanel WHERE ContentType = 'C'")),
              chart.width() * kTwipsPerPixel);
}
