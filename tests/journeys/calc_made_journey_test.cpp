// Workbooks that LibreOffice Calc made itself (tests/fixtures/make_calc_workbooks.py, charts
// inserted by Calc, which it saves without a name; sheets saved scrolled or frozen), used as a
// user uses them: a chart copied in Calc is pasted and follows the value the user changes and
// saves there; a range copied from a sheet saved scrolled far away from it is pasted whole.

#include "Journey.h"

#include <QThread>

namespace {

// The colour Calc gives a chart's first series.
constexpr QRgb kCalcFirstSeries = 0x004586;

}  // namespace

TEST_F(Journey, AChartCalcInsertedIsPastedAndFollowsAValueChangedInCalc) {
    const QString charts = CalcMadeWorkbook(QStringLiteral("CalcCharts.xlsx"));
    ASSERT_FALSE(charts.isEmpty());
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(StartCalc(charts));

    // Cells first, so that the program knows the workbook; then the column chart at the top.
    ASSERT_TRUE(CopyCells(QStringLiteral("$Data.A1:D5"), QStringLiteral("Data.A1:D5")));
    ASSERT_TRUE(CopyChart(kCalcFirstSeries));
    Screenshot(QStringLiteral("copied-in-calc"));
    ASSERT_TRUE(RightClickBackground(QPoint(10, 80)));
    ASSERT_TRUE(Paste());
    // Two charts of its size, neither named: the list tells them apart and the user takes the
    // first, the one copied.
    ASSERT_TRUE(Step(QStringLiteral("the program asks which chart"), 120,
                     [&] { return !desk_.Windows(QStringLiteral("^Paste Chart$")).isEmpty(); }));
    QThread::msleep(500);
    Screenshot(QStringLiteral("which-chart"));
    ASSERT_TRUE(Answer(QStringLiteral("^Paste Chart$"), {QStringLiteral("Return")}));
    const QImage first = Render(charts, QStringLiteral("Data"), QStringLiteral("`1"));
    ASSERT_TRUE(WaitOnScreen(QStringLiteral("the panel shows the chart Calc inserted"), first));
    Screenshot(QStringLiteral("pasted-chart"));

    ASSERT_TRUE(SaveDashboard(QStringLiteral("Calc chart")));
    ASSERT_TRUE(Step(QStringLiteral("the chart panel is stored"), 60, [&] {
        return Number(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE ContentType = 'C'")) == 1;
    }));
    EXPECT_EQ(Text(QStringLiteral("SELECT PicRange FROM DsbSavedPanel WHERE ContentType = 'C'")), QStringLiteral("`1"));

    // North's Q1 changed and saved in Calc; Dashboard > Refresh draws the chart of that version.
    ASSERT_TRUE(EditAndSave(charts, QStringLiteral("Data"), QStringLiteral("B2"), QStringLiteral("300")));
    ASSERT_TRUE(RefreshDashboard());
    const QImage changed = Render(charts, QStringLiteral("Data"), QStringLiteral("`1"));
    ASSERT_NE(changed, first);
    ASSERT_TRUE(WaitOnScreen(QStringLiteral("the refreshed panel shows the new value"), changed));
    Screenshot(QStringLiteral("refreshed-chart"));
}

TEST_F(Journey, ARangeOfSheetsSavedScrolledOrFrozenIsPastedWhole) {
    const QString views = CalcMadeWorkbook(QStringLiteral("CalcViews.xlsx"));
    ASSERT_FALSE(views.isEmpty());
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(StartCalc(views));

    // "Far" was saved scrolled to row 200; the user copies A1:E16 there.
    ASSERT_TRUE(CopyCells(QStringLiteral("$Far.A1:E16"), QStringLiteral("Far.A1:E16")));
    Screenshot(QStringLiteral("copied-in-calc"));
    ASSERT_TRUE(RightClickBackground(QPoint(10, 80)));
    ASSERT_TRUE(Paste());
    const auto far = WaitOnScreen(QStringLiteral("the panel shows all of A1:E16"),
                                  Render(views, QStringLiteral("Far"), QStringLiteral("A1:E16")));
    ASSERT_TRUE(far);
    Screenshot(QStringLiteral("pasted-range"));

    // "FrozenRows" keeps rows 1-2 frozen and was saved with its lower pane at row 40: A1:E16
    // comes whole, its first two rows as the fixed rows.
    ASSERT_TRUE(CopyCells(QStringLiteral("$FrozenRows.A1:E16"), QStringLiteral("FrozenRows.A1:E16")));
    ASSERT_TRUE(RightClickBackground(QPoint(far->right() + 20, 80)));
    ASSERT_TRUE(Paste());
    ASSERT_TRUE(WaitOnScreen(QStringLiteral("the second panel shows all of A1:E16"),
                             Render(views, QStringLiteral("FrozenRows"), QStringLiteral("A1:E16"))));
    Screenshot(QStringLiteral("pasted-frozen"));

    ASSERT_TRUE(SaveDashboard(QStringLiteral("Views")));
    ASSERT_TRUE(Step(QStringLiteral("both panels are stored"), 60,
                     [&] { return Number(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel")) == 2; }));
    EXPECT_EQ(Text(QStringLiteral("SELECT PicRange FROM DsbSavedPanel WHERE SheetName = 'Far'")), QStringLiteral("$A$1:$E$16``"));
    EXPECT_EQ(Text(QStringLiteral("SELECT PicRange FROM DsbSavedPanel WHERE SheetName = 'FrozenRows'")),
              QStringLiteral("$A$3:$E$16`1:2`"));
}
