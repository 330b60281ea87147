// Relocating for good (AdjustAll) into a newer version of a workbook: a range captured from
// report_v1.xlsx is found again in report_v2.xlsx (7 rows added above it, 2 columns to its
// left) by the last used cell and by an anchor text, with the same cells and sizes; and a
// relocation that can't be completed keeps the stored texts.

#include "RelocationSupport.h"

#include "platform/workbook/CopyPicture.h"

namespace {

// The range's picture as the panel window paints it.
QImage Picture(xl::Worksheet* ws, const QString& address) {
    return xl::RangePicture(ws->Range(address));
}

}  // namespace

TEST_F(RelocationTest, BottomAndContentsFindTheSameCellsInTheNewerVersion) {
    xl::Worksheet* v1 = Sheet(QStringLiteral("report_v1.xlsx"), QStringLiteral("Sales"));
    xl::Worksheet* v2 = Sheet(QStringLiteral("report_v2.xlsx"), QStringLiteral("Sales"));

    clsWorkspacePanel byBottom;
    ASSERT_TRUE(Capture(byBottom, v1, QStringLiteral("bottom")));
    const QString original = byBottom.movRange;
    clsWorkspacePanel first = byBottom;
    ASSERT_TRUE(first.GetAdjRange(v1));
    const QImage originalPicture = Picture(v1, first.adjRange(v1));
    ASSERT_FALSE(originalPicture.isNull());

    // The anchor the range location dialog would offer, searched over the whole sheet since
    // columns were added to the left.
    clsWorkspacePanel byContents;
    ASSERT_TRUE(Capture(byContents, v1, QStringLiteral("top"), QStringLiteral("$B$4:$F$12")));
    ASSERT_TRUE(byContents.GetAdjRange(v1));
    byContents.SetAnchorDefaults(v1);
    ASSERT_EQ(byContents.NewCell, QStringLiteral("$B$4"));
    byContents.RelativeTo = QStringLiteral("contents");
    byContents.ContentMatch = QStringLiteral("bottom=$H$14`anchor=B4`content=") + byContents.Content;

    byBottom.AdjustAll(v2);
    byContents.AdjustAll(v2);
    EXPECT_EQ(byBottom.PicRange, QStringLiteral("D11:H19``"));
    EXPECT_EQ(byContents.PicRange, byBottom.PicRange);
    EXPECT_EQ(byBottom.ContentMatch, QStringLiteral("bottom=$J$21`anchor=`content="));
    EXPECT_EQ(byContents.ContentMatch, QStringLiteral("bottom=`anchor=D$11`content=Region"));
    EXPECT_EQ(byBottom.RowHeights, QStringLiteral("11:11=24`12:14=15`15:15=0`16:16=15`17:17=30`18:19=15"));
    EXPECT_EQ(byContents.RowHeights, byBottom.RowHeights);
    EXPECT_TRUE(byBottom.ColWidths.startsWith(QStringLiteral("D:D=")));
    EXPECT_TRUE(byBottom.ColWidths.contains(QStringLiteral("`F:F=0`")));
    EXPECT_EQ(byContents.ColWidths, byBottom.ColWidths);

    // What a panel window then renders from the newer version: the stored texts, unmoved
    // since they were relocated, with the same values and sizes as the captured range.
    for (clsWorkspacePanel* p : {&byBottom, &byContents}) {
        clsWorkspacePanel render;
        render.PicRange = p->PicRange;
        render.RowHeights = p->RowHeights;
        render.ColWidths = p->ColWidths;
        render.RelativeTo = p->RelativeTo;
        render.ContentMatch = p->ContentMatch;
        ASSERT_TRUE(render.GetAdjRange(v2));
        EXPECT_EQ(render.RowShift(), 0);
        EXPECT_EQ(render.ColShift(), 0);
        const QString picture = render.adjRange(v2);
        EXPECT_EQ(picture, QStringLiteral("D11:H19"));
        EXPECT_EQ(Differences(v1, original, v2, picture), QString());
        EXPECT_TRUE(Picture(v2, picture) == originalPicture);
    }
    // The picture does tell ranges apart: one row lower is another picture.
    EXPECT_FALSE(Picture(v2, QStringLiteral("D12:H20")) == originalPicture);
}

TEST_F(RelocationTest, FixedTitleRowsStayWhileTheRangeMovesBelowThem) {
    xl::Worksheet* v1 = Sheet(QStringLiteral("report_v1.xlsx"), QStringLiteral("Frozen"));
    xl::Worksheet* v2 = Sheet(QStringLiteral("report_v2.xlsx"), QStringLiteral("Frozen"));
    clsWorkspacePanel p;
    ASSERT_TRUE(Capture(p, v1, QStringLiteral("bottom")));
    EXPECT_EQ(p.PicRange, QStringLiteral("$B$5:$E$12`1:2`"));
    EXPECT_EQ(p.RowHeights, QStringLiteral("5:5=15`6:6=0`7:8=15`9:9=28`10:12=15`1:1=30`2:2=15"));
    EXPECT_EQ(p.ContentMatch, QStringLiteral("bottom=$E$22"));

    // The original picture: the title rows, rows 3-4 hidden, then the range.
    clsWorkspacePanel before = p;
    ASSERT_TRUE(before.GetAdjRange(v1));
    EXPECT_EQ(before.adjRange(v1), QStringLiteral("B1:E12"));
    const QImage originalPicture = Picture(v1, QStringLiteral("B1:E12"));

    p.AdjustAll(v2);
    EXPECT_EQ(p.PicRange, QStringLiteral("B12:E19`1:2`"));
    EXPECT_EQ(p.RowHeights, QStringLiteral("12:12=15`13:13=0`14:15=15`16:16=28`17:19=15`1:1=30`2:2=15"));
    EXPECT_EQ(p.ContentMatch, QStringLiteral("bottom=$E$29`anchor=`content="));

    // "contents" with the column fixed finds the same rows. (Rendering selected A1 of v1.)
    clsWorkspacePanel anchored;
    ASSERT_TRUE(Capture(anchored, v1, QStringLiteral("contents"), QStringLiteral("$B$5:$E$12")));
    anchored.ContentMatch = QStringLiteral("bottom=`anchor=$A5`content=Item 3");
    anchored.AdjustAll(v2);
    EXPECT_EQ(anchored.PicRange, p.PicRange);
    EXPECT_EQ(anchored.RowHeights, p.RowHeights);
    EXPECT_EQ(anchored.ContentMatch, QStringLiteral("bottom=`anchor=$A12`content=Item 3"));

    // The same record renders the newer version without moving the range again.
    clsWorkspacePanel after = p;
    ASSERT_TRUE(after.GetAdjRange(v2));
    EXPECT_EQ(after.RowShift(), 0);
    EXPECT_EQ(after.adjRange(v2), QStringLiteral("B1:E19"));
    for (int r = 3; r <= 11; ++r)
        EXPECT_EQ(v2->RowHeight(r), 0) << r;
    // Title rows, then the range: the same values and sizes in both versions.
    EXPECT_EQ(Differences(v1, QStringLiteral("B1:E2"), v2, QStringLiteral("B1:E2")), QString());
    EXPECT_EQ(Differences(v1, QStringLiteral("B5:E12"), v2, QStringLiteral("B12:E19")), QString());
    EXPECT_TRUE(Picture(v2, QStringLiteral("B1:E19")) == originalPicture);
}

TEST_F(RelocationTest, AFailedRelocationKeepsTheStoredTexts) {
    // The old order blanked PicRange to "``" and ContentMatch to empty keys whenever the range
    // could not be located, and the update pass saved that into every dashboard for good.
    xl::Worksheet* ws = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Data"));
    xl::Worksheet* empty = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Empty"));
    struct Case {
        const char* what;
        const char* picRange;
        const char* rule;
        xl::Worksheet* sheet;
    };
    const Case cases[] = {
        {"fixed rows without a colon", "$B$3:$D$5`1-2`", "bottom", ws},
        {"no range stored", "", "top", ws},
        {"a range beyond the grid", "$B$1048577:$D$1048579``", "bottom", ws},
        {"an empty sheet under bottom", "$B$3:$D$5``", "bottom", empty},
        {"an empty sheet under contents", "$B$3:$D$5``", "contents", empty},
        {"no sheet at all", "$B$3:$D$5``", "bottom", nullptr},
    };
    int kept = 0;
    for (const Case& c : cases) {
        clsWorkspacePanel p;
        p.ID = 12;
        p.PicRange = QLatin1String(c.picRange);
        p.RelativeTo = QLatin1String(c.rule);
        p.RowHeights = QStringLiteral("3:4=15`5:5=0");
        p.ColWidths = QStringLiteral("B:D=8.43");
        p.ContentMatch = QStringLiteral("bottom=$K$7`anchor=$C5`content=Total");
        p.AdjustAll(c.sheet);
        EXPECT_EQ(p.PicRange, QLatin1String(c.picRange)) << c.what;
        EXPECT_EQ(p.RowHeights, QStringLiteral("3:4=15`5:5=0")) << c.what;
        EXPECT_EQ(p.ColWidths, QStringLiteral("B:D=8.43")) << c.what;
        EXPECT_EQ(p.ContentMatch, QStringLiteral("bottom=$K$7`anchor=$C5`content=Total")) << c.what;
        EXPECT_EQ(LogText().count(QStringLiteral("The stored range is kept.")), ++kept) << c.what;
    }

    // Stored sizes that can't be moved: the range is not moved either, so texts and sizes
    // keep matching each other.
    clsWorkspacePanel sizes;
    sizes.PicRange = QStringLiteral("$B$3:$D$5``");
    sizes.RelativeTo = QStringLiteral("bottom");
    sizes.ContentMatch = QStringLiteral("bottom=$K$7");
    sizes.RowHeights = QStringLiteral("3:4=15`no equals");
    sizes.AdjustAll(ws);
    EXPECT_EQ(sizes.PicRange, QStringLiteral("$B$3:$D$5``"));
    EXPECT_EQ(sizes.RowHeights, QStringLiteral("3:4=15`no equals"));
    EXPECT_EQ(sizes.ContentMatch, QStringLiteral("bottom=$K$7"));
    EXPECT_TRUE(LogText().contains(QStringLiteral("no equals")));

    // An anchor not found is no failure: the range stays, the texts are rewritten.
    clsWorkspacePanel notFound;
    notFound.PicRange = QStringLiteral("$B$3:$D$5`1:1`");
    notFound.RelativeTo = QStringLiteral("contents");
    notFound.ContentMatch = QStringLiteral("bottom=$K$7`anchor=$C5`content=Nowhere");
    notFound.AdjustAll(ws);
    EXPECT_EQ(notFound.PicRange, QStringLiteral("$B$3:$D$5`1:1`"));
    EXPECT_EQ(notFound.ContentMatch, QStringLiteral("bottom=`anchor=$C5`content=Nowhere"));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(RelocationTest, RelocatedPanelIsSavedAndLoadedWithItsNewTexts) {
    xl::Worksheet* v1 = Sheet(QStringLiteral("report_v1.xlsx"), QStringLiteral("Sales"));
    xl::Worksheet* v2 = Sheet(QStringLiteral("report_v2.xlsx"), QStringLiteral("Sales"));
    clsWorkspacePanel p;
    ASSERT_TRUE(Capture(p, v1, QStringLiteral("bottom")));
    ASSERT_TRUE(p.SaveToDB(gDB.get(), 1));

    // As the update pass does it: a fresh record from the row, relocated, saved back.
    clsWorkspacePanel loaded;
    ASSERT_TRUE(loaded.LoadFromDB(p.ID, gDB.get()));
    loaded.AdjustAll(v2);
    ASSERT_TRUE(loaded.SaveToDB(gDB.get(), 1));
    EXPECT_EQ(TextOf(QStringLiteral("SELECT PicRange FROM DsbSavedPanel WHERE ID = ?"), {p.ID}),
              QStringLiteral("D11:H19``"));
    EXPECT_EQ(TextOf(QStringLiteral("SELECT ContentMatch FROM DsbSavedPanel WHERE ID = ?"), {p.ID}),
              QStringLiteral("bottom=$J$21`anchor=`content="));

    // The next version is the same again: relocating once more changes nothing.
    clsWorkspacePanel again;
    ASSERT_TRUE(again.LoadFromDB(p.ID, gDB.get()));
    again.AdjustAll(v2);
    EXPECT_EQ(again.PicRange, loaded.PicRange);
    EXPECT_EQ(again.RowHeights, loaded.RowHeights);
    EXPECT_EQ(again.ColWidths, loaded.ColWidths);
    EXPECT_EQ(again.ContentMatch, loaded.ContentMatch);
}
