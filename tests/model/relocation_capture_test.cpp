// Range capture at paste: the whole selection, the fixed rows and columns of frozen or split
// panes with their messages, and the runs of row heights and column widths, on workbooks
// written by openpyxl and on one that LibreOffice Calc made and saved with its views.

#include "RelocationSupport.h"

#include <QLocale>

TEST_F(RelocationTest, CaptureWithoutPanesStoresTheRangeAndItsRuns) {
    xl::Worksheet* ws = Sheet(QStringLiteral("report_v1.xlsx"), QStringLiteral("Sales"));
    clsWorkspacePanel p;
    ASSERT_TRUE(Capture(p, ws, QStringLiteral("bottom")));
    EXPECT_EQ(p.PicRange, QStringLiteral("$B$4:$F$12``"));
    EXPECT_EQ(p.movRange, QStringLiteral("$B$4:$F$12"));
    // Row 4 is 24 pt, row 8 hidden, row 10 30 pt: one run per block of equal heights.
    EXPECT_EQ(p.RowHeights, QStringLiteral("4:4=24`5:7=15`8:8=0`9:9=15`10:10=30`11:12=15"));
    const QStringList cols = p.ColWidths.split(QLatin1Char('`'));
    ASSERT_EQ(cols.size(), 5) << p.ColWidths.toStdString();
    EXPECT_TRUE(cols[0].startsWith(QStringLiteral("B:B=15."))) << cols[0].toStdString();
    EXPECT_EQ(cols[1], QStringLiteral("C:C=8.43"));
    EXPECT_EQ(cols[2], QStringLiteral("D:D=0"));
    EXPECT_EQ(cols[3], QStringLiteral("E:E=8.43"));
    EXPECT_TRUE(cols[4].startsWith(QStringLiteral("F:F=11."))) << cols[4].toStdString();
    EXPECT_EQ(p.ContentMatch, QStringLiteral("bottom=$H$14"));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());

    // Plain: no panes, saved scrolled to C5, selection B7:D9 reaching left of where it was
    // scrolled: taken whole.
    clsWorkspacePanel whole;
    ASSERT_TRUE(Capture(whole, Sheet(QStringLiteral("panes.xlsx"), QStringLiteral("Plain")),
                        QStringLiteral("bottom")));
    EXPECT_EQ(whole.PicRange, QStringLiteral("$B$7:$D$9``"));
    EXPECT_EQ(whole.RowHeights, QStringLiteral("7:9=15"));
    EXPECT_EQ(whole.ColWidths, QStringLiteral("B:D=8.43"));
}

TEST_F(RelocationTest, CaptureTakesFixedRowsAndColumnsFromThePanes) {
    // Rows 1-2 frozen, the bottom pane at row 10, the selection B12:C14 in it.
    clsWorkspacePanel rows;
    xl::Worksheet* fr = Sheet(QStringLiteral("panes.xlsx"), QStringLiteral("FrozenRows"));
    EXPECT_EQ(RangeDefsOf(fr).count(QLatin1Char('`')), 2);
    ASSERT_TRUE(Capture(rows, fr, QStringLiteral("bottom")));
    EXPECT_EQ(rows.PicRange, QStringLiteral("$B$12:$C$14`1:2`"));
    EXPECT_EQ(rows.RowHeights, QStringLiteral("12:14=15`1:2=15"));
    EXPECT_EQ(rows.ColWidths, QStringLiteral("B:C=8.43"));

    // Columns A-B frozen: the fixed columns' runs follow the range's after a back-quote.
    clsWorkspacePanel cols;
    xl::Worksheet* fc = Sheet(QStringLiteral("panes.xlsx"), QStringLiteral("FrozenCols"));
    ASSERT_TRUE(Capture(cols, fc, QStringLiteral("bottom"), QStringLiteral("$D$3:$F$6")));
    EXPECT_EQ(cols.PicRange, QStringLiteral("$D$3:$F$6``A:B"));
    EXPECT_EQ(cols.RowHeights, QStringLiteral("3:6=15"));
    EXPECT_EQ(cols.ColWidths, QStringLiteral("D:F=8.43`A:B=8.43"));

    // Rows 1-3 and column A frozen: five elements, both fixed areas.
    clsWorkspacePanel both;
    xl::Worksheet* fb = Sheet(QStringLiteral("panes.xlsx"), QStringLiteral("FrozenBoth"));
    EXPECT_EQ(RangeDefsOf(fb, QStringLiteral("$C$6:$E$9")).count(QLatin1Char('`')), 4);
    ASSERT_TRUE(Capture(both, fb, QStringLiteral("bottom"), QStringLiteral("$C$6:$E$9")));
    EXPECT_EQ(both.PicRange, QStringLiteral("$C$6:$E$9`1:3`A:A"));
    EXPECT_EQ(both.RowHeights, QStringLiteral("6:9=15`1:3=15"));
    EXPECT_EQ(both.ColWidths, QStringLiteral("C:E=8.43`A:A=8.43"));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(RelocationTest, CaptureRefusesPanesInTheWrongPlaceAndSelectionsOutsideTheMainPane) {
    xl::Worksheet* ws = Sheet(QStringLiteral("panes.xlsx"), QStringLiteral("Plain"));
    const QString rowsMsg =
        QStringLiteral("The fixed rows must be above the rows in the bottom pane of the "
                       "spreadsheet.Please scroll the sheet so that the top pane shows rows that "
                       "are above the lower pane's.");
    const QString colsMsg =
        QStringLiteral("The fixed columns must be on the left of the columns in the right pane "
                       "of the spreadsheet.Please scroll the sheet so that the left side shows "
                       "columns on the left of the right pane.");
    const QString bothMsg =
        QStringLiteral("The fixed rows and columns must be above and to the left of the "
                       "contents of the bottom pane of the spreadsheet.Please scroll the sheet "
                       "to correct the problem.");
    const QString noneMsg = QStringLiteral(
        "No range of cells selected in the spreadsheet.  Please select a range and paste again.");

    clsWorkspacePanel p;
    p.PicRange = QStringLiteral("as before");
    // The top pane scrolled below the bottom pane's first row.
    EXPECT_FALSE(p.PasteRange(ws, QStringLiteral("$B$12:$C$14`$A$20:$N$21`$A$10:$N$40")));
    // The left pane scrolled right of the right pane's first column.
    EXPECT_FALSE(p.PasteRange(ws, QStringLiteral("$E$5:$F$6`$H$1:$I$40`$C$1:$N$40")));
    // Split both ways, the top-left pane below the selection's first row.
    EXPECT_FALSE(p.PasteRange(
        ws, QStringLiteral("$C$10:$D$12`$A$11:$A$12`$B$11:$N$12`$A$13:$A$40`$B$9:$N$40")));
    // After a pane message the intersection is kept, the fixed area cleared, no PicRange.
    EXPECT_EQ(p.movRange, QStringLiteral("$C$10:$D$12"));
    EXPECT_EQ(p.PicRange, QStringLiteral("as before"));
    EXPECT_TRUE(p.RowHeights.isEmpty());

    // A selection wholly inside the frozen pane: nothing of it in the main pane.
    clsWorkspacePanel q;
    EXPECT_FALSE(q.PasteRange(ws, QStringLiteral("$A$1:$B$2`$A$1:$N$2`$A$10:$N$40")));
    EXPECT_TRUE(q.movRange.isEmpty());
    EXPECT_TRUE(q.PicRange.isEmpty());

    const auto& shown = PromptScript::Record();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].text, rowsMsg);
    EXPECT_EQ(shown[1].text, colsMsg);
    EXPECT_EQ(shown[2].text, bothMsg);
    EXPECT_EQ(shown[3].text, noneMsg);
    for (const auto& s : shown) {
        EXPECT_EQ(s.style, vbExclamation | vbOKOnly);
        EXPECT_EQ(s.title, QStringLiteral("Sheetbeacon"));
    }

    // Addresses that can't be taken: logged, refused, no crash.
    clsWorkspacePanel bad;
    EXPECT_FALSE(bad.PasteRange(ws, QString()));
    EXPECT_FALSE(bad.PasteRange(ws, QStringLiteral("$B$3:$ZZZZ$9`$A$1:$N$40")));
    EXPECT_FALSE(bad.PasteRange(nullptr, QStringLiteral("$B$3`$A$1:$N$40")));
    EXPECT_TRUE(bad.PicRange.isEmpty());
    EXPECT_TRUE(LogText().contains(QStringLiteral("PasteRange")));
}

TEST_F(RelocationTest, SizeRunsAreWrittenWithAPointInEveryLocale) {
    xl::Worksheet* ws = Sheet(QStringLiteral("sizes.xlsx"), QStringLiteral("Sizes"));
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    clsWorkspacePanel p;
    p.GetHeights(ws, 1, 6);
    p.GetHeights(ws, 40000, 40001);  // rows beyond 16-bit numbers
    QLocale::setDefault(before);
    // Row 2 is 30 pt, row 3 hidden, row 5 7.5 pt: a decimal comma here would read back as 7.
    EXPECT_EQ(p.RowHeights, QStringLiteral("1:1=15`2:2=30`3:3=0`4:4=15`5:5=7.5`6:6=15") +
                                QStringLiteral("40000:40000=20`40001:40001=15"));

    // Columns beyond the old 256-column grid keep their letters.
    clsWorkspacePanel w;
    w.GetWidths(ws, 256, 258);
    EXPECT_TRUE(w.ColWidths.startsWith(QStringLiteral("IV:IW="))) << w.ColWidths.toStdString();
    EXPECT_TRUE(w.ColWidths.contains(QStringLiteral("`IX:IX=8.43")));

    // Many different heights: the whole text is kept, with the information message.
    clsWorkspacePanel many;
    xl::Worksheet* tall = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Data"));
    for (int r = 1; r <= 60; ++r)
        tall->Rows(r).SetRowHeight(10 + r % 2);
    ASSERT_TRUE(many.PasteRange(tall, QStringLiteral("$A$1:$B$60`$A$1:$Z$80")));
    EXPECT_GT(many.RowHeights.size(), 255);
    EXPECT_EQ(many.RowHeights.count(QLatin1Char('`')), 59);
    ASSERT_EQ(PromptScript::Record().size(), 1u);
    EXPECT_EQ(PromptScript::Record()[0].text,
              QStringLiteral("Too many different row heights. Some hidden rows may appear in the "
                             "future."));
    EXPECT_EQ(PromptScript::Record()[0].style, vbInformation | vbOKOnly);
}

TEST_F(RelocationTest, CaptureTakesTheWholeSelectionWhateverViewCalcSavedTheSheetWith) {
    const QString path = testsupport::CalcMade(QStringLiteral("CalcViews.xlsx"));
    ASSERT_CALC_MADE(path);
    xl::Workbook* wb = XL->Workbooks().Open(path);
    // The views are named in tests/fixtures/make_calc_workbooks.py.
    const struct {
        const char* sheet;
        const char* selection;
        const char* picRange;
        const char* rowRuns;  // the rows of the runs before the fixed rows'
    } cases[] = {
        {"Scrolled", "A1:E16", "$A$1:$E$16``", "1:16"},
        {"Scrolled", "A1:E100", "$A$1:$E$100``", "1:100"},
        {"Far", "A1:E16", "$A$1:$E$16``", "1:16"},
        {"FrozenRows", "A1:E16", "$A$3:$E$16`1:2`", "3:16"},
        {"FrozenRows", "A10:E20", "$A$10:$E$20`1:2`", "10:20"},
        {"FrozenRows", "A1:E2", "$A$1:$E$2``", "1:2"},
        {"FrozenCols", "C5:D9", "$C$5:$D$9``A:A", "5:9"},
        {"FrozenBoth", "A1:E16", "$C$3:$E$16`1:2`A:B", "3:16"},
        {"FrozenLow", "A1:E16", "$A$1:$E$16``", "1:16"},
        {"FrozenLow", "A8:E9", "$A$8:$E$9`5:6`", "8:9"},
        {"Split", "A1:E16", "$A$4:$E$16`1:3`", "4:16"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sheet) + " " + c.selection);
        clsWorkspacePanel p;
        ASSERT_TRUE(Capture(p, wb->Sheets().Item(QString::fromUtf8(c.sheet)), QStringLiteral("bottom"),
                            QString::fromUtf8(c.selection)));
        EXPECT_EQ(p.PicRange, QString::fromUtf8(c.picRange));
        // Calc's rows all have its default height: one run over the stored range's rows.
        EXPECT_EQ(p.RowHeights.section(QLatin1Char('='), 0, 0), QString::fromUtf8(c.rowRuns)) << p.RowHeights.toStdString();
    }
    EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join('|').toStdString();
}
