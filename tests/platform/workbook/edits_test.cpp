// In-memory edits: sizes, values, colours, selection, and that none of them reaches the file.

#include "platform/workbook/Workbook.h"

#include "WorkbookFixtures.h"

#include <QCryptographicHash>
#include <QFile>

using namespace xl;

namespace {
QByteArray Digest(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}
}  // namespace

TEST(WorkbookEdits, SizesValuesAndColoursChangeOnlyInMemory) {
    const QString path = fixtures::Path(QStringLiteral("sizes.xlsx"));
    ASSERT_FIXTURE(path);
    const QByteArray before = Digest(path);
    Application app;
    Worksheet* ws = app.Workbooks().Open(path)->Sheets().Item(QStringLiteral("Sizes"));

    ws->Rows(QStringLiteral("1:500")).SetRowHeight(0);  // hides
    EXPECT_DOUBLE_EQ(ws->Rows(2).RowHeight(), 0);
    EXPECT_DOUBLE_EQ(ws->Rows(500).RowHeight(), 0);
    EXPECT_DOUBLE_EQ(ws->Rows(501).RowHeight(), 15);
    ws->Rows(QStringLiteral("10:12")).SetRowHeight(20);
    EXPECT_DOUBLE_EQ(ws->Rows(11).RowHeight(), 20);
    EXPECT_DOUBLE_EQ(ws->Rows(9).RowHeight(), 0);
    EXPECT_DOUBLE_EQ(ws->Rows(13).RowHeight(), 0);
    EXPECT_DOUBLE_EQ(ws->RowTop(14), 3 * 20);
    ws->Rows(3).SetRowHeight(12.75);  // a hidden row shown again
    EXPECT_DOUBLE_EQ(ws->Range(QStringLiteral("C3")).RowHeight(), 12.75);

    ws->Columns(QStringLiteral("A:B")).SetColumnWidth(0);
    EXPECT_DOUBLE_EQ(ws->Columns(2).ColumnWidth(), 0);
    ws->Columns(QStringLiteral("C")).SetColumnWidth(8.43);  // hidden column shown
    EXPECT_DOUBLE_EQ(ws->Columns(3).ColumnWidth(), 8.43);
    EXPECT_EQ(ws->ColumnWidthPixels(3), 64);
    ws->Range(QStringLiteral("E1")).SetColumnWidth(0.5);
    EXPECT_DOUBLE_EQ(ws->Columns(5).ColumnWidth(), 0.5);
    ws->Columns(QStringLiteral("IW")).SetColumnWidth(30);
    EXPECT_DOUBLE_EQ(ws->Columns(257).ColumnWidth(), 30);
    EXPECT_THROW(ws->Rows(1).SetRowHeight(-1), Error);
    EXPECT_THROW(ws->Columns(1).SetColumnWidth(300), Error);

    ws->Range(QStringLiteral("B2")).SetValue(CellValue::Number(99));
    EXPECT_EQ(ws->Range(QStringLiteral("B2")).Value(), CellValue::Number(99));
    ws->Range(QStringLiteral("B2")).GetInterior().SetColor(RGB(128, 180, 180));
    EXPECT_EQ(ws->Range(QStringLiteral("B2")).GetInterior().Color(), RGB(128, 180, 180));
    EXPECT_EQ(ws->InteriorOverride(2, 2), QColor(128, 180, 180));
    EXPECT_EQ(ws->Range(QStringLiteral("B3")).GetInterior().Color(), RGB(255, 255, 255));

    app.Workbooks().Item(1)->Close();
    EXPECT_EQ(Digest(path), before);
    Worksheet* fresh = app.Workbooks().Open(path)->Sheets().Item(QStringLiteral("Sizes"));
    EXPECT_DOUBLE_EQ(fresh->Rows(2).RowHeight(), 30);
    EXPECT_DOUBLE_EQ(fresh->Columns(3).ColumnWidth(), 0);
    EXPECT_EQ(fresh->Range(QStringLiteral("B2")).Value(), CellValue::Number(22));
}

TEST(WorkbookEdits, SelectActivateAndIntersect) {
    const QString path = fixtures::Path(QStringLiteral("panes.xlsx"));
    ASSERT_FIXTURE(path);
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    EXPECT_EQ(app.ActiveWorkbook(), wb);
    Worksheet* plain = wb->Sheets().Item(QStringLiteral("Plain"));
    plain->Range(QStringLiteral("C4:E6")).Select();
    EXPECT_EQ(app.ActiveSheet(), plain);
    ASSERT_TRUE(app.Selection());
    EXPECT_EQ(app.Selection()->Address(), "$C$4:$E$6");
    EXPECT_EQ(app.ActiveWindow()->ActiveCell().Address(), "$C$4");

    auto both = Application::Intersect(plain->Range(QStringLiteral("B3:F20")),
                                       plain->Range(QStringLiteral("D1:H8")));
    ASSERT_TRUE(both);
    EXPECT_EQ(both->Address(), "$D$3:$F$8");
    EXPECT_FALSE(Application::Intersect(plain->Range(QStringLiteral("A1:B2")),
                                        plain->Range(QStringLiteral("C3"))));
    auto withRows = Application::Intersect(plain->Rows(QStringLiteral("3:5")),
                                           plain->Columns(QStringLiteral("B:D")));
    ASSERT_TRUE(withRows);
    EXPECT_EQ(withRows->Address(), "$B$3:$D$5");
    Worksheet* other = wb->Sheets().Item(1);
    EXPECT_THROW(Application::Intersect(plain->Range(QStringLiteral("A1")), other->Range(QStringLiteral("A1"))),
                 Error);
}

TEST(WorkbookEdits, RangeMembers) {
    const QString path = fixtures::Path(QStringLiteral("relocation.xlsx"));
    ASSERT_FIXTURE(path);
    Application app;
    Worksheet* ws = app.Workbooks().Open(path)->Sheets().Item(1);
    const Range r = ws->Range(QStringLiteral("$B$3:$F$20"));
    EXPECT_EQ(r.Row(), 3);
    EXPECT_EQ(r.Column(), 2);
    EXPECT_EQ(r.Rows().Count(), 18);
    EXPECT_EQ(r.Columns().Count(), 5);
    EXPECT_EQ(r.Count(), 90);
    EXPECT_EQ(r.Address(false, false), "B3:F20");
    EXPECT_EQ(r.Address(true, false), "B$3:F$20");
    EXPECT_EQ(r.Cells(2, 3).Address(), "$D$4");
    EXPECT_EQ(r.Rows(2).Address(), "$B$4:$F$4");
    EXPECT_EQ(ws->Rows(QStringLiteral("3:5")).Address(), "$3:$5");
    EXPECT_EQ(ws->Columns(QStringLiteral("B:D")).Address(), "$B:$D");
    EXPECT_EQ(ws->Columns(QStringLiteral("B:D")).Columns().Count(), 3);
    EXPECT_EQ(ws->Cells().Count(), int64_t(kMaxRows) * kMaxCols);
    EXPECT_EQ(ws->Range(QStringLiteral("A1"), QStringLiteral("C3")).Address(), "$A$1:$C$3");
    EXPECT_EQ(ws->Cells(70000, 257).Address(), "$IW$70000");
    EXPECT_THROW(ws->Range(QStringLiteral("Sheet1!A1")), Error);
    EXPECT_THROW(ws->Range(QStringLiteral("A0")), Error);
    EXPECT_THROW(ws->Cells(kMaxRows + 1, 1), Error);
    EXPECT_THROW(ws->Rows(QStringLiteral("B:D")), Error);
    EXPECT_EQ(ws->Evaluate(QStringLiteral("= 150>100")), CellValue::Boolean(true));
    EXPECT_EQ(ws->Evaluate(QStringLiteral("= 50>100")), CellValue::Boolean(false));
    EXPECT_EQ(ws->Evaluate(QStringLiteral("= -5<=-5")), CellValue::Boolean(true));
    EXPECT_EQ(ws->Evaluate(QStringLiteral("= 3<>3")), CellValue::Boolean(false));
    EXPECT_EQ(ws->Evaluate(QStringLiteral("=abc>1")).type, ValueType::Error);
}

TEST(WorkbookEdits, ShapesMoveSizeRenameAndDelete) {
    const QString path = fixtures::Path(QStringLiteral("charts.xlsx"));
    ASSERT_FIXTURE(path);
    Application app;
    Worksheet* ws = app.Workbooks().Open(path)->Sheets().Item(QStringLiteral("Charts"));
    Shape* s = ws->Shapes().Item(QStringLiteral("Chart 2"));
    s->SetLeft(100);
    s->SetTop(50);
    s->SetWidth(200);
    EXPECT_NEAR(s->Left(), 100, 0.01);
    EXPECT_NEAR(s->Top(), 50, 0.01);
    EXPECT_NEAR(s->Width(), 200, 0.01);
    s->SetName(QStringLiteral("Sales chart"));
    EXPECT_TRUE(ws->Shapes().Find(QStringLiteral("sales CHART")));
    const int before = ws->Shapes().Count();
    s->Delete();
    EXPECT_EQ(ws->Shapes().Count(), before - 1);
    EXPECT_EQ(ws->ChartObjects().Count(), before - 1);
    EXPECT_FALSE(ws->Shapes().Find(QStringLiteral("Sales chart")));
    EXPECT_THROW(ws->Shapes().Item(QStringLiteral("Sales chart")), Error);
    EXPECT_THROW(ws->Shapes().Item(99), Error);
}
