// Workbooks that LibreOffice Calc made and saved itself: a window's panes hold the whole
// selection, whatever view the sheet was saved with.

#include "WorkbookFixtures.h"

#include "FixtureTools.h"
#include "platform/workbook/Workbook.h"

using namespace xl;

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
