// Finding a panel's range again: the rules "top", "bottom" and "contents" in each anchor form,
// clamping at row and column 1, the picture range with its fixed rows and columns, stored
// sizes applied after a move, reading ContentMatch, and bad stored texts. relocation.xlsx,
// sheet "Data": last used cell $K$12, "Total" in C9, "alpha" in B1 and A4 (and "ALPHA" in D2).

#include "RelocationSupport.h"

#include "model/ContentMatch.h"

namespace {

clsWorkspacePanel Panel(const QString& picRange, const QString& rule, const QString& match) {
    clsWorkspacePanel p;
    p.ID = 7;
    p.PicRange = picRange;
    p.RelativeTo = rule;
    p.ContentMatch = match;
    return p;
}

}  // namespace

TEST_F(RelocationTest, TopOrAnyOtherRuleLeavesTheRangeWhereItIs) {
    xl::Worksheet* ws = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Data"));
    for (const char* rule : {"top", "", "Bottom", "sideways"}) {
        clsWorkspacePanel p = Panel(QStringLiteral("$B$3:$F$20``"), QLatin1String(rule),
                                    QStringLiteral("bottom=$H$40"));
        EXPECT_TRUE(p.GetAdjRange(ws)) << rule;
        EXPECT_EQ(p.adjMovRange(), QStringLiteral("$B$3:$F$20")) << rule;
        EXPECT_EQ(p.RowShift(), 0);
        EXPECT_EQ(p.ColShift(), 0);
    }
}

TEST_F(RelocationTest, BottomMovesWithTheLastUsedCellAndStopsAtRowAndColumnOne) {
    xl::Worksheet* ws = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Data"));
    clsWorkspacePanel down = Panel(QStringLiteral("$B$3:$D$5``"), QStringLiteral("bottom"),
                                   QStringLiteral("bottom=$K$7`anchor=`content="));
    ASSERT_TRUE(down.GetAdjRange(ws));
    EXPECT_EQ(down.adjMovRange(), QStringLiteral("B8:D10"));
    EXPECT_EQ(down.RowShift(), 5);
    EXPECT_EQ(down.ColShift(), 0);

    // Up 8 rows from row 3 stops at row 1, same size; the shift is what really happened.
    clsWorkspacePanel up = Panel(QStringLiteral("$B$3:$D$5``"), QStringLiteral("bottom"),
                                 QStringLiteral("bottom=$K$20"));
    ASSERT_TRUE(up.GetAdjRange(ws));
    EXPECT_EQ(up.adjMovRange(), QStringLiteral("B1:D3"));
    EXPECT_EQ(up.RowShift(), -2);

    clsWorkspacePanel left = Panel(QStringLiteral("$B$3:$D$5``"), QStringLiteral("bottom"),
                                   QStringLiteral("bottom=$Q$12"));
    ASSERT_TRUE(left.GetAdjRange(ws));
    EXPECT_EQ(left.adjMovRange(), QStringLiteral("A3:C5"));
    EXPECT_EQ(left.ColShift(), -1);

    // No stored bottom cell: taken to be the new one, nothing moves. Repeated keys: the first.
    clsWorkspacePanel none = Panel(QStringLiteral("$B$3:$D$5``"), QStringLiteral("bottom"), QString());
    ASSERT_TRUE(none.GetAdjRange(ws));
    EXPECT_EQ(none.adjMovRange(), QStringLiteral("B3:D5"));
    clsWorkspacePanel twice = Panel(QStringLiteral("$B$3:$D$5``"), QStringLiteral("bottom"),
                                    QStringLiteral("bottom=$K$7`BOTTOM=$A$1"));
    ASSERT_TRUE(twice.GetAdjRange(ws));
    EXPECT_EQ(twice.RowShift(), 5);

    // Rows beyond 16-bit numbers: "Tall" ends at B70000.
    xl::Worksheet* tall = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Tall"));
    clsWorkspacePanel deep = Panel(QStringLiteral("$A$39990:$B$40000`1:2`"), QStringLiteral("bottom"),
                                   QStringLiteral("bottom=$B$35000"));
    ASSERT_TRUE(deep.GetAdjRange(tall));
    EXPECT_EQ(deep.adjMovRange(), QStringLiteral("A74990:B75000"));
    EXPECT_EQ(deep.RowShift(), 35000);
}

TEST_F(RelocationTest, ContentsFindsTheAnchorInEachForm) {
    xl::Worksheet* ws = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Data"));
    // Column fixed: down column C to "Total" in row 9.
    clsWorkspacePanel col = Panel(QStringLiteral("$B$6:$D$8``"), QStringLiteral("contents"),
                                  QStringLiteral("bottom=`anchor=$C5`content=Total"));
    ASSERT_TRUE(col.GetAdjRange(ws));
    EXPECT_EQ(col.adjMovRange(), QStringLiteral("B10:D12"));
    EXPECT_EQ(col.RowShift(), 4);
    EXPECT_EQ(col.NewCell, QStringLiteral("$C9"));
    EXPECT_EQ(col.Content, QStringLiteral("Total"));
    EXPECT_TRUE(col.anchorCols);
    EXPECT_FALSE(col.anchorRows);

    // Not in the column: nothing moves, the anchor stays, and the log says why.
    clsWorkspacePanel missing = Panel(QStringLiteral("$B$6:$D$8``"), QStringLiteral("contents"),
                                      QStringLiteral("bottom=`anchor=$D5`content=Total"));
    ASSERT_TRUE(missing.GetAdjRange(ws));
    EXPECT_EQ(missing.adjMovRange(), QStringLiteral("$B$6:$D$8"));
    EXPECT_EQ(missing.NewCell, QStringLiteral("$D5"));
    EXPECT_EQ(missing.RowShift(), 0);
    EXPECT_TRUE(LogText().contains(QStringLiteral("FromAnchor")));

    // Both fixed: no search at all.
    clsWorkspacePanel both = Panel(QStringLiteral("$B$6:$D$8``"), QStringLiteral("contents"),
                                   QStringLiteral("bottom=`anchor=$C$5`content=Total"));
    ASSERT_TRUE(both.GetAdjRange(ws));
    EXPECT_EQ(both.adjMovRange(), QStringLiteral("$B$6:$D$8"));
    EXPECT_EQ(both.NewCell, QStringLiteral("$C$5"));
    EXPECT_TRUE(both.anchorRows && both.anchorCols);

    // Neither fixed: the whole sheet; the anchor comes back with its row fixed.
    clsWorkspacePanel free = Panel(QStringLiteral("$B$6:$D$8``"), QStringLiteral("contents"),
                                   QStringLiteral("bottom=`anchor=C5`content=total"));
    ASSERT_TRUE(free.GetAdjRange(ws));
    EXPECT_EQ(free.adjMovRange(), QStringLiteral("B10:D12"));
    EXPECT_EQ(free.NewCell, QStringLiteral("C$9"));
    EXPECT_FALSE(free.anchorCols);
    EXPECT_TRUE(free.anchorRows);

    // Several matches: the topmost match's row (B1) with the leftmost match's column (A4).
    clsWorkspacePanel many = Panel(QStringLiteral("$C$3:$D$4``"), QStringLiteral("contents"),
                                   QStringLiteral("bottom=`anchor=B2`content=alpha"));
    ASSERT_TRUE(many.GetAdjRange(ws));
    EXPECT_EQ(many.NewCell, QStringLiteral("A$1"));
    EXPECT_EQ(many.adjMovRange(), QStringLiteral("B2:C3"));

    // Row fixed: along row 9.
    clsWorkspacePanel row = Panel(QStringLiteral("$B$6:$D$8``"), QStringLiteral("contents"),
                                  QStringLiteral("bottom=`anchor=A$9`content=Total"));
    ASSERT_TRUE(row.GetAdjRange(ws));
    EXPECT_EQ(row.adjMovRange(), QStringLiteral("D6:F8"));
    EXPECT_EQ(row.ColShift(), 2);
    EXPECT_EQ(row.NewCell, QStringLiteral("C$9"));

    // An anchor that is no address, an empty text: the stored range, unmoved.
    clsWorkspacePanel junk = Panel(QStringLiteral("$B$6:$D$8``"), QStringLiteral("contents"),
                                   QStringLiteral("bottom=`anchor=$Q$Q`content=Total"));
    ASSERT_TRUE(junk.GetAdjRange(ws));
    EXPECT_EQ(junk.adjMovRange(), QStringLiteral("$B$6:$D$8"));
    EXPECT_EQ(junk.NewCell, QStringLiteral("$Q$Q"));
    clsWorkspacePanel empty = Panel(QStringLiteral("$B$6:$D$8``"), QStringLiteral("contents"),
                                    QStringLiteral("bottom=`anchor=$C5`content="));
    ASSERT_TRUE(empty.GetAdjRange(ws));
    EXPECT_EQ(empty.adjMovRange(), QStringLiteral("$B$6:$D$8"));
}

TEST_F(RelocationTest, ContentMatchIsReadByItsKeys) {
    QString bottom = QStringLiteral("old"), anchor = QStringLiteral("old"),
            content = QStringLiteral("old");
    parseContentMatch(QStringLiteral("bottom=$H$40"), bottom, anchor, content);
    EXPECT_EQ(bottom, QStringLiteral("$H$40"));
    EXPECT_EQ(anchor, QStringLiteral("old"));  // no anchor part: left as passed
    EXPECT_EQ(content, QStringLiteral("old"));

    parseContentMatch(QStringLiteral("BOTTOM=$H$40`Anchor=$C5`CONTENT=To`tal=x"), bottom, anchor,
                      content);
    EXPECT_EQ(bottom, QStringLiteral("$H$40"));
    EXPECT_EQ(anchor, QStringLiteral("$C5"));
    EXPECT_EQ(content, QStringLiteral("To`tal=x"));

    // An anchor without a back-quote after it is no anchor part.
    parseContentMatch(QStringLiteral("anchor=$D7"), bottom, anchor, content);
    EXPECT_EQ(bottom, QString());
    EXPECT_EQ(anchor, QStringLiteral("$C5"));
    // An anchor part without an anchor text empties both.
    parseContentMatch(QStringLiteral("bottom=$A$2`anchor=$D7`"), bottom, anchor, content);
    EXPECT_EQ(bottom, QStringLiteral("$A$2"));
    EXPECT_EQ(anchor, QString());
    EXPECT_EQ(content, QString());
    // An anchor text that holds a key is no key.
    parseContentMatch(QStringLiteral("anchor=$C5`content=bottom=Z`anchor=Q"), bottom, anchor,
                      content);
    EXPECT_EQ(bottom, QString());
    EXPECT_EQ(anchor, QStringLiteral("$C5"));
    EXPECT_EQ(content, QStringLiteral("bottom=Z`anchor=Q"));

    clsWorkspacePanel p;
    p.ContentMatch = QStringLiteral("bottom=$K$12`anchor=$B4`content=Region");
    p.parseContentMatch(bottom, anchor, content);
    EXPECT_EQ(bottom + anchor + content, QStringLiteral("$K$12$B4Region"));
}

TEST_F(RelocationTest, PictureRangeJoinsTheFixedAreaAndHidesTheGap) {
    xl::Worksheet* ws = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Data"));
    // Fixed rows 1-2, range from row 4: row 3 hidden, the picture from row 1.
    clsWorkspacePanel rows = Panel(QStringLiteral("$B$4:$D$6`1:2`"), QStringLiteral("top"), QString());
    ASSERT_TRUE(rows.GetAdjRange(ws));
    EXPECT_EQ(rows.adjRange(ws), QStringLiteral("B1:D6"));
    EXPECT_EQ(ws->RowHeight(3), 0);
    EXPECT_EQ(ws->RowHeight(2), 15);
    EXPECT_EQ(ws->RowHeight(4), 15);
    ws->Rows(QStringLiteral("1:20")).SetRowHeight(15);

    // Range from row 3: nothing between to hide.
    clsWorkspacePanel touching = Panel(QStringLiteral("$B$3:$D$6`1:2`"), QStringLiteral("top"), QString());
    ASSERT_TRUE(touching.GetAdjRange(ws));
    EXPECT_EQ(touching.adjRange(ws), QStringLiteral("B1:D6"));
    for (int r = 1; r <= 6; ++r)
        EXPECT_EQ(ws->RowHeight(r), 15) << r;

    // Fixed rows 3-4: rows 1-2 above them hidden too.
    clsWorkspacePanel lower = Panel(QStringLiteral("$B$8:$D$9`3:4`"), QStringLiteral("top"), QString());
    ASSERT_TRUE(lower.GetAdjRange(ws));
    EXPECT_EQ(lower.adjRange(ws), QStringLiteral("B3:D9"));
    for (int r : {1, 2, 5, 6, 7})
        EXPECT_EQ(ws->RowHeight(r), 0) << r;
    EXPECT_EQ(ws->RowHeight(3), 15);

    // Fixed column C, range from column F: A-B and D-E hidden, the picture from column C.
    clsWorkspacePanel cols = Panel(QStringLiteral("$F$2:$G$4``C:C"), QStringLiteral("top"), QString());
    ASSERT_TRUE(cols.GetAdjRange(ws));
    EXPECT_EQ(cols.adjRange(ws), QStringLiteral("C2:G4"));
    for (int c : {1, 2, 4, 5})
        EXPECT_EQ(ws->ColumnWidth(c), 0) << c;
    EXPECT_GT(ws->ColumnWidth(3), 0);
    EXPECT_GT(ws->ColumnWidth(6), 0);
}

TEST_F(RelocationTest, StoredSizesFollowTheMoveExceptThoseOfTheFixedRows) {
    xl::Worksheet* ws = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Data"));
    // Fixed rows 1-2, moved down 3 rows: the range's run 10:12=20 lands on rows 13-15, the
    // fixed rows' run 1:2=30 stays on rows 1-2.
    clsWorkspacePanel p = Panel(QStringLiteral("$B$10:$C$12`1:2`"), QStringLiteral("bottom"),
                                QStringLiteral("bottom=$K$9"));
    p.RowHeights = QStringLiteral("10:12=20`1:2=30");
    ASSERT_TRUE(p.GetAdjRange(ws));
    EXPECT_EQ(p.RowShift(), 3);
    EXPECT_EQ(p.adjRange(ws), QStringLiteral("B1:C15"));
    for (int r = 13; r <= 15; ++r)
        EXPECT_EQ(ws->RowHeight(r), 20) << r;
    EXPECT_EQ(ws->RowHeight(1), 30);
    EXPECT_EQ(ws->RowHeight(2), 30);
    for (int r = 3; r <= 12; ++r)
        EXPECT_EQ(ws->RowHeight(r), 0) << r;
}

TEST_F(RelocationTest, StoredSizesFollowTheMoveWithoutFixedRowsOrColumns) {
    // Moved down 2 rows and right 1 column, no fixed area. Under the old rule the runs were
    // applied where they were stored: row 5, now the moved range's first row, was hidden and
    // its data vanished from the picture while the row that should be hidden (7) showed.
    xl::Worksheet* ws = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Data"));
    clsWorkspacePanel p = Panel(QStringLiteral("$B$3:$D$8``"), QStringLiteral("bottom"),
                                QStringLiteral("bottom=$J$10"));
    p.RowHeights = QStringLiteral("3:4=15`5:5=0`6:8=15");
    p.ColWidths = QStringLiteral("B:B=12`C:C=0`D:D=8.43");
    ASSERT_TRUE(p.GetAdjRange(ws));
    EXPECT_EQ(p.adjMovRange(), QStringLiteral("C5:E10"));
    EXPECT_EQ(p.adjRange(ws), QStringLiteral("C5:E10"));
    EXPECT_EQ(ws->RowHeight(5), 15);
    EXPECT_EQ(ws->RowHeight(7), 0);
    EXPECT_GT(ws->ColumnWidth(3), 11.5);  // the stored 12 of column B, now on C
    EXPECT_EQ(ws->ColumnWidth(4), 0);
    EXPECT_GT(ws->ColumnWidth(2), 0);

    // AdjustAll moves the runs for good, so the next render needs no shift.
    p.AdjustAll(ws);
    EXPECT_EQ(p.RowHeights, QStringLiteral("5:6=15`7:7=0`8:10=15"));
    EXPECT_EQ(p.ColWidths, QStringLiteral("C:C=12`D:D=0`E:E=8.43"));
    EXPECT_EQ(p.PicRange, QStringLiteral("C5:E10``"));
    EXPECT_EQ(p.ContentMatch, QStringLiteral("bottom=$K$12`anchor=`content="));
}

TEST_F(RelocationTest, SizesReadWithAPointOrACommaAndBadRunsPassedOver) {
    xl::Worksheet* ws = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Data"));
    clsWorkspacePanel p = Panel(QStringLiteral("$B$3:$D$8``"), QStringLiteral("top"), QString());
    // Written on a machine with a decimal comma, one with a point, and junk after the number.
    p.RowHeights = QStringLiteral("3:3=12,75`junk`4:4=7.5`5:5= 20pt");
    ASSERT_TRUE(p.GetAdjRange(ws));
    EXPECT_EQ(p.adjRange(ws), QStringLiteral("B3:D8"));
    EXPECT_EQ(ws->RowHeight(3), 12.75);
    EXPECT_EQ(ws->RowHeight(4), 7.5);
    EXPECT_EQ(ws->RowHeight(5), 20);

    // A run whose address is no rows: logged with a message, the runs after it not applied.
    clsWorkspacePanel bad = Panel(QStringLiteral("$B$3:$D$8``"), QStringLiteral("top"), QString());
    bad.RowHeights = QStringLiteral("6:6=30`x:y=10`7:7=40");
    ASSERT_TRUE(bad.GetAdjRange(ws));
    EXPECT_EQ(bad.adjRange(ws), QStringLiteral("B3:D8"));
    EXPECT_EQ(ws->RowHeight(6), 30);
    EXPECT_EQ(ws->RowHeight(7), 15);
    EXPECT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(LogText().contains(QStringLiteral("AdjHeightWidths")));
}

TEST_F(RelocationTest, AnchorDefaultsToTheFirstVisibleCellWithAText) {
    xl::Worksheet* ws = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Data"));
    clsWorkspacePanel p = Panel(QStringLiteral("$A$1:$C$5``"), QStringLiteral("top"), QString());
    ASSERT_TRUE(p.GetAdjRange(ws));
    p.SetAnchorDefaults(ws);
    EXPECT_EQ(p.NewCell, QStringLiteral("$A$1"));
    EXPECT_EQ(p.Content, QStringLiteral("Region"));
    EXPECT_TRUE(p.anchorCols);
    EXPECT_FALSE(p.anchorRows);

    // Hidden rows and columns are passed over.
    ws->Rows(1).SetRowHeight(0);
    ws->Columns(2).SetColumnWidth(0);
    p.SetAnchorDefaults(ws);
    EXPECT_EQ(p.NewCell, QStringLiteral("$A$4"));
    EXPECT_EQ(p.Content, QStringLiteral("alpha"));

    // A number is the anchor as the sheet shows it, which is what the search finds again.
    clsWorkspacePanel pct = Panel(QStringLiteral("$E$2:$E$4``"), QStringLiteral("top"), QString());
    ASSERT_TRUE(pct.GetAdjRange(ws));
    pct.SetAnchorDefaults(ws);
    EXPECT_EQ(pct.Content, QStringLiteral("50%"));
    EXPECT_EQ(pct.NewCell, QStringLiteral("$E$3"));

    // Nothing in the range: the record is not touched.
    clsWorkspacePanel none = Panel(QStringLiteral("$M$20:$N$22``"), QStringLiteral("top"), QString());
    none.NewCell = QStringLiteral("$C5");
    none.Content = QStringLiteral("kept");
    ASSERT_TRUE(none.GetAdjRange(ws));
    none.SetAnchorDefaults(ws);
    EXPECT_EQ(none.NewCell, QStringLiteral("$C5"));
    EXPECT_EQ(none.Content, QStringLiteral("kept"));
}

TEST_F(RelocationTest, UnreadableStoredTextsRenderTheStoredRangeUnmoved) {
    xl::Worksheet* ws = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Data"));
    // Fixed rows without ":".
    clsWorkspacePanel rows = Panel(QStringLiteral("$B$3:$D$5`1-2`"), QStringLiteral("bottom"),
                                   QStringLiteral("bottom=$K$7"));
    EXPECT_FALSE(rows.GetAdjRange(ws));
    EXPECT_EQ(rows.adjMovRange(), QStringLiteral("$B$3:$D$5"));
    EXPECT_EQ(rows.RowShift(), 0);
    EXPECT_EQ(rows.adjRange(ws), QStringLiteral("B3:D5"));

    // Fixed columns that are no columns.
    clsWorkspacePanel cols = Panel(QStringLiteral("$B$3:$D$5``1:2"), QStringLiteral("top"), QString());
    EXPECT_FALSE(cols.GetAdjRange(ws));
    EXPECT_EQ(cols.adjMovRange(), QStringLiteral("$B$3:$D$5"));

    // A stored range beyond the grid: nothing to render, and no crash.
    clsWorkspacePanel beyond = Panel(QStringLiteral("$A$1048577:$A$1048578``"), QStringLiteral("top"),
                                     QString());
    EXPECT_FALSE(beyond.GetAdjRange(ws));
    EXPECT_EQ(beyond.adjMovRange(), QString());
    EXPECT_EQ(beyond.adjRange(ws), QString());

    // "bottom" on an empty sheet: no last used cell to move by.
    xl::Worksheet* empty = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Empty"));
    clsWorkspacePanel blank = Panel(QStringLiteral("$B$3:$D$5``"), QStringLiteral("bottom"),
                                    QStringLiteral("bottom=$K$7"));
    EXPECT_FALSE(blank.GetAdjRange(empty));
    EXPECT_EQ(blank.adjMovRange(), QStringLiteral("$B$3:$D$5"));
    EXPECT_FALSE(blank.GetAdjRange(nullptr));

    const QString log = LogText();
    EXPECT_TRUE(log.contains(QStringLiteral("1-2"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("GetAdjRange")));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}
