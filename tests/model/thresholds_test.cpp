// Threshold highlighting: rules of DsbpanelThresholds colour cells of relocation.xlsx "Data"
// where the range lies after the last relocation; rules that can't be read are logged and
// passed over.

#include "RelocationSupport.h"

#include "platform/workbook/CopyPicture.h"

namespace {

constexpr int32_t kHigh = xl::RGB(128, 180, 180);
constexpr int32_t kLow = xl::RGB(180, 128, 180);
constexpr int32_t kNoFill = 16777215;

void AddRule(int32_t panel, int32_t row, int32_t col, const QVariant& highExp,
             const QVariant& ifHigh, const QVariant& lowExp, const QVariant& ifLow) {
    gDB->Execute(QStringLiteral("INSERT INTO DsbpanelThresholds(PanelID, rowOffset, colOffset, "
                                "highExp, ifHigh, lowExp, ifLow) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                 {panel, row, col, highExp, ifHigh, lowExp, ifLow});
}

int32_t ColorAt(xl::Worksheet* ws, const QString& cell) {
    return ws->Range(cell).GetInterior().Color();
}

}  // namespace

TEST_F(RelocationTest, MapCellKeepsTheFixedCornerAndMovesTheRest) {
    xl::Worksheet* ws = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Data"));
    // Fixed rows 1-2 and columns A-B, moved 3 rows down and 1 column right.
    clsWorkspacePanel p;
    p.PicRange = QStringLiteral("$C$3:$D$5`1:2`A:B");
    p.RelativeTo = QStringLiteral("bottom");
    p.ContentMatch = QStringLiteral("bottom=$J$9");
    ASSERT_TRUE(p.GetAdjRange(ws));
    ASSERT_EQ(p.RowShift(), 3);
    ASSERT_EQ(p.ColShift(), 1);
    EXPECT_EQ(p.MapCell(2, 2, ws), QStringLiteral("B2"));
    EXPECT_EQ(p.MapCell(10, 4, ws), QStringLiteral("E13"));
    // In the fixed rows but not the fixed columns (and the reverse): both shifts.
    EXPECT_EQ(p.MapCell(1, 5, ws), QStringLiteral("F4"));
    EXPECT_EQ(p.MapCell(7, 1, ws), QStringLiteral("B10"));
    // Columns to XFD; beyond the grid is an error, not a wrong cell.
    EXPECT_EQ(p.MapCell(40000, 16383, ws), QStringLiteral("XFD40003"));
    EXPECT_THROW(p.MapCell(4, 16384, ws), xl::Error);
    EXPECT_THROW(p.MapCell(0, 0, ws), xl::Error);

    // Without a fixed area every cell moves.
    clsWorkspacePanel plain;
    plain.PicRange = QStringLiteral("$C$3:$D$5``");
    plain.RelativeTo = QStringLiteral("bottom");
    plain.ContentMatch = QStringLiteral("bottom=$J$9");
    ASSERT_TRUE(plain.GetAdjRange(ws));
    EXPECT_EQ(plain.MapCell(1, 1, ws), QStringLiteral("B4"));
}

TEST_F(RelocationTest, ThresholdRulesColourCellsWhoseValuesPassTheirTests) {
    xl::Worksheet* ws = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Data"));
    clsWorkspacePanel p;
    p.ID = 5;
    p.PicRange = QStringLiteral("$F$6:$G$8``");
    p.RelativeTo = QStringLiteral("top");
    ASSERT_TRUE(p.GetAdjRange(ws));
    ws->Range(QStringLiteral("F7")).SetValue(xl::CellValue::Number(150));
    ws->Range(QStringLiteral("F8")).SetValue(xl::CellValue::Number(150));
    ws->Range(QStringLiteral("G6")).SetValue(xl::CellValue::Number(5));
    ws->Range(QStringLiteral("G7")).SetValue(xl::CellValue::Number(150));
    ws->Range(QStringLiteral("G8")).SetValue(xl::CellValue::Text(QStringLiteral(" 250 ")));

    AddRule(5, 6, 6, QStringLiteral(">100"), QStringLiteral("color"), QVariant(), QVariant());  // 12
    AddRule(5, 7, 6, QStringLiteral(">100"), QStringLiteral("color"), QString(), QString());  // 150
    AddRule(5, 8, 6, QStringLiteral(">100"), QStringLiteral("bold"), QString(), QString());
    AddRule(5, 6, 7, QString(), QString(), QStringLiteral("<= 5"), QStringLiteral("color low"));
    // Both hold: the low colour is the one that stays.
    AddRule(5, 7, 7, QStringLiteral(">=150"), QStringLiteral("color"), QStringLiteral("<>7.5"),
            QStringLiteral("color"));
    AddRule(5, 8, 7, QStringLiteral("= 250"), QStringLiteral("color"), QString(), QString());
    AddRule(6, 6, 6, QStringLiteral(">0"), QStringLiteral("color"), QString(), QString());  // another panel

    p.lightCells(ws, gDB.get());
    EXPECT_EQ(ColorAt(ws, QStringLiteral("F6")), kNoFill);
    EXPECT_EQ(ColorAt(ws, QStringLiteral("F7")), kHigh);
    EXPECT_EQ(ColorAt(ws, QStringLiteral("F8")), kNoFill);
    EXPECT_EQ(ColorAt(ws, QStringLiteral("G6")), kLow);
    EXPECT_EQ(ColorAt(ws, QStringLiteral("G7")), kLow);
    EXPECT_EQ(ColorAt(ws, QStringLiteral("G8")), kHigh);
    // The painted picture shows the colour (the number stands at the right of the cell).
    const QImage picture = xl::RangePicture(ws->Range(QStringLiteral("F7")));
    EXPECT_EQ(picture.pixelColor(4, picture.height() / 2), QColor(128, 180, 180));
    const QImage plain = xl::RangePicture(ws->Range(QStringLiteral("F6")));
    EXPECT_EQ(plain.pixelColor(4, plain.height() / 2), QColor(Qt::white));

    // A panel without rules colours nothing.
    clsWorkspacePanel none;
    none.ID = 99;
    none.PicRange = QStringLiteral("$A$1:$C$3``");
    ASSERT_TRUE(none.GetAdjRange(ws));
    none.lightCells(ws, gDB.get());
    for (const char* cell : {"A1", "B1", "C3"})
        EXPECT_EQ(ColorAt(ws, QLatin1String(cell)), kNoFill) << cell;
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(RelocationTest, ThresholdRulesFollowTheMovedRangeAndBadRulesAreSkipped) {
    xl::Worksheet* ws = Sheet(QStringLiteral("relocation.xlsx"), QStringLiteral("Data"));
    clsWorkspacePanel p;
    p.ID = 8;
    p.PicRange = QStringLiteral("$F$3:$G$6``");
    p.RelativeTo = QStringLiteral("bottom");
    p.ContentMatch = QStringLiteral("bottom=$J$9");
    ASSERT_TRUE(p.GetAdjRange(ws));  // 3 rows down, 1 column right
    ws->Range(QStringLiteral("G9")).SetValue(xl::CellValue::Number(150));
    ws->Range(QStringLiteral("H9")).SetValue(xl::CellValue::Number(150));

    AddRule(8, 3, 6, QStringLiteral("~~100"), QStringLiteral("color"), QString(), QString());
    AddRule(8, 4, 6, QStringLiteral(">100"), QStringLiteral("color"), QString(), QString());  // G7: empty counts as 0
    AddRule(8, 6, 6, QStringLiteral(">100"), QStringLiteral("color"), QString(), QString());
    AddRule(8, 1, 1, QStringLiteral(">100"), QStringLiteral("color"), QString(), QString());  // B4: empty
    AddRule(8, -5, 6, QStringLiteral(">100"), QStringLiteral("color"), QString(), QString());
    AddRule(8, 6, 7, QString(), QString(), QStringLiteral("<1e400x"), QStringLiteral("color"));
    AddRule(8, 2, 10, QStringLiteral(">0"), QStringLiteral("color"), QString(), QString());  // K5 "wide row"

    p.lightCells(ws, gDB.get());
    // The stored cell F6 is G9 now; F6 itself is left alone.
    EXPECT_EQ(ColorAt(ws, QStringLiteral("G9")), kHigh);
    EXPECT_EQ(ColorAt(ws, QStringLiteral("F6")), kNoFill);
    EXPECT_EQ(ColorAt(ws, QStringLiteral("H9")), kNoFill);
    EXPECT_EQ(ColorAt(ws, QStringLiteral("K5")), kNoFill);

    const QString log = LogText();
    EXPECT_TRUE(log.contains(QStringLiteral("~~100"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("<1e400x")));
    EXPECT_TRUE(log.contains(QStringLiteral("K5")));  // a text is no number
    EXPECT_EQ(log.count(QStringLiteral("lightCells")), 4);
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}
