// Workbooks that LibreOffice Calc made and saved itself: the charts it inserted have no name
// and are found by their place among the sheet's charts, in the file and in a newer version of
// it; and a window's panes hold the whole selection, whatever view the sheet was saved with.

#include "WorkbookFixtures.h"

#include "FixtureTools.h"
#include "platform/workbook/Chart.h"
#include "platform/workbook/Workbook.h"

using namespace xl;

namespace {

QStringList References(Worksheet* ws) {
    QStringList out;
    for (Shape* chart : ws->ChartObjects().All())
        out << chart->Reference();
    return out;
}

// The first series' cached values of a chart.
QList<double> FirstSeries(const Shape* chart) {
    QList<double> values;
    if (const ChartData* data = chart->Chart(); data && !data->plots.empty() && !data->plots.front().series.empty())
        for (double v : data->plots.front().series.front().values)
            values << v;
    return values;
}

}  // namespace

TEST(CalcMadeWorkbook, ChartsWithoutANameAreFoundByTheirPlaceInThisAndANewerVersion) {
    const QString path = testsupport::CalcMade(QStringLiteral("CalcCharts.xlsx"));
    const QString newer = testsupport::CalcMade(QStringLiteral("CalcCharts_newer.xlsx"));
    ASSERT_CALC_MADE(path);
    ASSERT_CALC_MADE(newer);
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    Worksheet* data = wb->Sheets().Item(QStringLiteral("Data"));
    Worksheet* other = wb->Sheets().Item(QStringLiteral("Other"));
    // As Calc saved them: two charts without a name, then the one the user named.
    ASSERT_EQ(data->ChartObjects().Count(), 3);
    EXPECT_EQ(data->ChartObjects().Item(1)->Name(), QString());
    EXPECT_EQ(data->ChartObjects().Item(2)->Name(), QString());
    EXPECT_EQ(References(data), (QStringList{"`1", "`2", "Margins"}));
    EXPECT_EQ(References(other), (QStringList{"`1"}));

    // Every chart is found again by its reference, by each lookup the program uses.
    for (Worksheet* ws : {data, other}) {
        for (Shape* chart : ws->ChartObjects().All()) {
            SCOPED_TRACE((ws->Name() + QLatin1Char(' ') + chart->Reference()).toStdString());
            EXPECT_EQ(ws->Shapes().Item(chart->Reference()), chart);
            EXPECT_EQ(ws->Shapes().Find(chart->Reference()), chart);
            EXPECT_EQ(ws->ChartObjects().Item(chart->Reference()), chart);
        }
    }
    EXPECT_EQ(FirstSeries(data->Shapes().Item(QStringLiteral("`1"))), (QList<double>{120, 98, 143, 77}));

    // A place beyond the sheet's charts is no chart: not found, and Item says so.
    EXPECT_EQ(other->Shapes().Find(QStringLiteral("`2")), nullptr);
    EXPECT_THROW(other->Shapes().Item(QStringLiteral("`2")), Error);
    EXPECT_THROW(other->ChartObjects().Item(QStringLiteral("`2")), Error);

    // The newer version, saved by Calc after North's Q1 changed: the same reference finds the
    // same chart, now with the new value.
    Worksheet* next = app.Workbooks().Open(newer)->Sheets().Item(QStringLiteral("Data"));
    EXPECT_EQ(References(next), References(data));
    EXPECT_EQ(FirstSeries(next->Shapes().Item(QStringLiteral("`1"))), (QList<double>{180, 98, 143, 77}));
    EXPECT_EQ(next->Shapes().Item(QStringLiteral("`2"))->Chart()->title, QStringLiteral("Trend"));

    // A second chart under a name an earlier one has is known by its place: the name would
    // find the first.
    data->ChartObjects().Item(2)->SetName(QStringLiteral("Margins"));
    data->ChartObjects().Item(3)->SetName(QStringLiteral("margins"));
    EXPECT_EQ(References(data), (QStringList{"`1", "Margins", "`3"}));
}

TEST(CalcMadeWorkbook, ChartPlacesAreReadOnlyFromTheirOwnForm) {
    const struct {
        const char* text;
        int place;
        const char* description;
    } cases[] = {
        {"`1", 1, "chart 1 (no name)"},   {"`12", 12, "chart 12 (no name)"},
        {"Chart 1", 0, "Chart 1"},        {"", 0, ""},
        {"`", 0, "`"},                    {"`0", 0, "`0"},
        {"`-1", 0, "`-1"},                {"`+1", 0, "`+1"},
        {"`1a", 0, "`1a"},                {"``1", 0, "``1"},
        {"1", 0, "1"},                    {"`99999999999", 0, "`99999999999"},
        {"$B$2:$C$4``", 0, "$B$2:$C$4``"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ChartPlace(QString::fromUtf8(c.text)), c.place);
        EXPECT_EQ(DescribeReference(QString::fromUtf8(c.text)), QString::fromUtf8(c.description));
        if (c.place > 0) {
            EXPECT_EQ(ChartPlaceReference(c.place), QString::fromUtf8(c.text));
        }
    }
}

TEST(CalcMadeWorkbook, AWindowsMainPaneHoldsTheWholeSelectionBesideTheFixedRowsAndColumns) {
    const QString path = testsupport::CalcMade(QStringLiteral("CalcViews.xlsx"));
    ASSERT_CALC_MADE(path);
    // Each sheet was saved by Calc with the view named (tests/fixtures/make_calc_workbooks.py);
    // the panes are given as the visible range of each, the main pane last.
    const struct {
        const char* sheet;
        const char* selection;
        const char* panes;
    } cases[] = {
        // Saved scrolled to row 7 or 200: the selection shows whole all the same.
        {"Scrolled", "A1:E16", "$A$1:$E$16"},
        {"Scrolled", "A1:E100", "$A$1:$E$100"},
        {"Far", "A1:E16", "$A$1:$E$16"},
        {"Far", "B3", "$B$3"},
        // Whole rows and columns as far as the sheet is used (A1:H260).
        {"Far", "3:4", "$A$3:$H$4"},
        {"Far", "B:C", "$B$1:$C$260"},
        // Rows 1-2 frozen, the lower pane saved at row 40.
        {"FrozenRows", "A1:E16", "$A$1:$E$2`$A$3:$E$16"},
        {"FrozenRows", "A2:E16", "$A$1:$E$2`$A$3:$E$16"},
        {"FrozenRows", "A10:E20", "$A$1:$E$2`$A$3:$E$20"},
        {"FrozenRows", "A1:E2", "$A$1:$E$2"},
        {"FrozenRows", "B1", "$B$1"},
        {"FrozenRows", "B:B", "$B$1:$B$2`$B$3:$B$260"},
        // Column A frozen, the right pane saved at column F.
        {"FrozenCols", "A1:E16", "$A$1:$A$16`$B$1:$E$16"},
        {"FrozenCols", "C5:D9", "$A$5:$A$9`$B$5:$D$9"},
        {"FrozenCols", "A3:A9", "$A$3:$A$9"},
        // Rows 1-2 and columns A-B frozen, saved at row 30.
        {"FrozenBoth", "A1:E16", "$A$1:$B$2`$C$1:$E$2`$A$3:$B$16`$C$3:$E$16"},
        {"FrozenBoth", "D40:E41", "$A$1:$B$2`$C$1:$E$2`$A$3:$B$41`$C$3:$E$41"},
        {"FrozenBoth", "A1:B16", "$A$1:$B$2`$A$3:$B$16"},
        {"FrozenBoth", "A1:E2", "$A$1:$B$2`$C$1:$E$2"},
        // Rows 5-6 frozen: a selection from above them shows whole, without them.
        {"FrozenLow", "A1:E16", "$A$1:$E$16"},
        {"FrozenLow", "A5:E16", "$A$5:$E$6`$A$7:$E$16"},
        {"FrozenLow", "A8:E9", "$A$5:$E$6`$A$7:$E$9"},
        // Split three rows from the top; the lower pane saved at row 60.
        {"Split", "A1:E16", "$A$1:$E$3`$A$4:$E$16"},
        {"Split", "A70:B71", "$A$1:$B$3`$A$4:$B$71"},
    };
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sheet) + " " + c.selection);
        Worksheet* ws = wb->Sheets().Item(QString::fromUtf8(c.sheet));
        ws->Range(QString::fromUtf8(c.selection)).Select();
        QStringList panes;
        for (const Pane& pane : wb->ActiveWindow()->Panes())
            panes << pane.VisibleRange().Address();
        EXPECT_EQ(panes.join(QLatin1Char('`')), QString::fromUtf8(c.panes));
    }
}
