// Sheets: adding, renaming with the name rules, deleting, copying into another workbook with
// values, styles, sizes, merged cells and drawings, copying every sheet into a new workbook.

#include "WriterFixtures.h"

#include "platform/workbook/Workbook.h"

using namespace xl;

namespace {

QStringList SheetNames(Workbook* wb) {
    QStringList out;
    for (int i = 1; i <= wb->Sheets().Count(); ++i)
        out << wb->Sheets().Item(i)->Name();
    return out;
}

}  // namespace

TEST(WriterSheets, AddRenameAndDelete) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString path = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    Worksheet* other = wb->Sheets().Item(QStringLiteral("Other"));
    other->Activate();
    other->Range(QStringLiteral("B1")).SetValue(CellValue::Number(5));  // an edit not yet written

    // Added before the active sheet, which it becomes, named with the first free number.
    Worksheet* added = wb->Sheets().Add();
    EXPECT_EQ(added->Name(), QStringLiteral("Sheet1"));
    EXPECT_EQ(SheetNames(wb), (QStringList{"Data", "Sheet1", "Other"}));
    EXPECT_EQ(wb->ActiveSheet(), added);
    // The model's objects of the other sheets are the same, their edits kept.
    EXPECT_EQ(wb->Sheets().Item(QStringLiteral("Other")), other);
    EXPECT_EQ(other->Range(QStringLiteral("B1")).Value().number, 5);
    EXPECT_EQ(wb->Sheets().Add()->Name(), QStringLiteral("Sheet2"));

    // Names refused, each with its reason.
    for (const QString& bad : {QStringLiteral("data"), QStringLiteral("A name of more than thirty-one chars"),
                               QStringLiteral("a/b"), QStringLiteral("x[1]"), QStringLiteral("q?"),
                               QStringLiteral("star*"), QStringLiteral("c:d"), QStringLiteral("back\\slash"),
                               QStringLiteral(""), QStringLiteral("'quoted'")}) {
        try {
            added->SetName(bad);
            ADD_FAILURE() << "accepted " << bad.toStdString();
        } catch (const Error& e) {
            EXPECT_FALSE(e.Message().isEmpty());
        }
    }
    try {
        added->SetName(QStringLiteral("DATA"));
    } catch (const Error& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("already taken"))) << e.what();
    }
    added->SetName(QStringLiteral("Summary 2026"));
    EXPECT_EQ(added->Name(), QStringLiteral("Summary 2026"));
    added->SetName(QStringLiteral("summary 2026"));  // its own name in another case is fine
    EXPECT_EQ(added->Name(), QStringLiteral("summary 2026"));

    wb->Sheets().Item(QStringLiteral("Sheet2"))->Delete();
    EXPECT_EQ(SheetNames(wb), (QStringList{"Data", "summary 2026", "Other"}));
    wb->Save();

    Application check;
    Workbook* back = check.Workbooks().Open(path);
    EXPECT_EQ(SheetNames(back), (QStringList{"Data", "summary 2026", "Other"}));
    EXPECT_EQ(back->Sheets().Item(QStringLiteral("Other"))->Range(QStringLiteral("B1")).Value().number, 5);
    EXPECT_EQ(back->Sheets().Item(QStringLiteral("Data"))->Shapes().Count(), 2);
    back->Sheets().Item(2)->Delete();
    back->Sheets().Item(2)->Delete();
    // The last sheet stays.
    EXPECT_THROW(back->Sheets().Item(1)->Delete(), Error);
    EXPECT_EQ(back->Sheets().Count(), 1);
    // Deleting a sheet with a drawing takes its drawing part along.
    back->Sheets().Add();
    back->Sheets().Item(QStringLiteral("Data"))->Delete();
    back->Save();
    const auto parts = writerfx::Parts(path);
    for (const auto& [name, bytes] : parts)
        EXPECT_FALSE(name.startsWith(QLatin1String("xl/drawings/drawing"))) << name.toStdString();
}

TEST(WriterSheets, CopyIntoAnotherWorkbookKeepsValuesStylesSizesMergesAndDrawings) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString source = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    const QString target = writerfx::Copy(QStringLiteral("target.xlsx"), tmp);
    double width = 0, height = 0;
    {
        Application app;
        Workbook* from = app.Workbooks().Open(source);
        Workbook* to = app.Workbooks().Open(target);
        Worksheet* data = from->Sheets().Item(QStringLiteral("Data"));
        width = data->Range(QStringLiteral("A1")).ColumnWidth();
        height = data->Range(QStringLiteral("A2")).RowHeight();
        data->Range(QStringLiteral("C3")).SetValue(CellValue::Text(QStringLiteral("edited")));
        data->Copy(to->Sheets().Item(1));
        data->Copy(to->Sheets().Item(1));  // a second copy takes the next free name
        EXPECT_EQ(SheetNames(to), (QStringList{"Data (2)", "Data", "Target"}));
        EXPECT_EQ(to->ActiveSheet()->Name(), QStringLiteral("Data (2)"));
        to->Save();
        // The source stays as it was on disk.
        EXPECT_FALSE(from->Saved());
    }
    Application app;
    Workbook* wb = app.Workbooks().Open(target);
    for (const QString& name : {QStringLiteral("Data"), QStringLiteral("Data (2)")}) {
        Worksheet* ws = wb->Sheets().Item(name);
        EXPECT_EQ(ws->Range(QStringLiteral("A1")).Value().text, QStringLiteral("Name"));   // was shared
        EXPECT_EQ(ws->Range(QStringLiteral("A2")).Value().text, QStringLiteral("North"));  // was shared
        EXPECT_EQ(ws->Range(QStringLiteral("C3")).Value().text, QStringLiteral("edited"));
        EXPECT_EQ(ws->Range(QStringLiteral("B2")).Text(), QStringLiteral("10.50"));
        EXPECT_TRUE(wb->Data().Look().styles.FontOf(ws->Style(1, 1)).bold);
        EXPECT_EQ(ws->Range(QStringLiteral("B1")).GetInterior().Color(), RGB(255, 255, 0));
        EXPECT_EQ(ws->Range(QStringLiteral("A1")).ColumnWidth(), width);
        EXPECT_EQ(ws->Range(QStringLiteral("A2")).RowHeight(), height);
        ASSERT_EQ(ws->MergedCells().size(), 1);
        EXPECT_EQ(FormatAddress(ws->MergedCells()[0], false), QStringLiteral("D1:E2"));
        ASSERT_EQ(ws->Shapes().Count(), 2);
        EXPECT_EQ(ws->ChartObjects().Count(), 1);
        EXPECT_NE(ws->ChartObjects().Item(1)->Chart(), nullptr);
    }
    // The target's own cells keep their styles.
    Worksheet* t = wb->Sheets().Item(QStringLiteral("Target"));
    EXPECT_TRUE(wb->Data().Look().styles.FontOf(t->Style(1, 1)).italic);
    EXPECT_EQ(t->Range(QStringLiteral("A2")).Text(), QStringLiteral("100%"));
    // The two copies have drawings of their own.
    EXPECT_NE(wb->Sheets().Item(1)->Data().drawingPart, wb->Sheets().Item(2)->Data().drawingPart);
}

TEST(WriterSheets, CopyOfEverySheetIntoANewWorkbook) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString source = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    Application app;
    Workbook* from = app.Workbooks().Open(source);
    from->Sheets().Item(2)->Range(QStringLiteral("A2")).SetValue(CellValue::Number(7));
    Workbook* copy = from->Sheets().Copy();
    EXPECT_NE(copy, from);
    EXPECT_EQ(app.ActiveWorkbook(), copy);
    EXPECT_FALSE(copy->HasFile());
    EXPECT_EQ(SheetNames(copy), (QStringList{"Data", "Other"}));
    EXPECT_EQ(copy->Sheets().Item(2)->Range(QStringLiteral("A2")).Value().number, 7);
    EXPECT_EQ(copy->Sheets().Item(1)->Shapes().Count(), 2);
}

TEST(WriterSheets, AnAddedSheetLeavesTheOtherPartsAsTheyWere) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString path = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    const auto before = writerfx::Parts(path);
    {
        Application app;
        Workbook* wb = app.Workbooks().Open(path);
        wb->Sheets().Add();
        wb->Save();
    }
    const auto after = writerfx::Parts(path);
    EXPECT_EQ(after.size(), before.size() + 1);
    const QStringList listing = {"[Content_Types].xml", "xl/workbook.xml", "xl/_rels/workbook.xml.rels"};
    for (const auto& [name, bytes] : before) {
        ASSERT_EQ(after.count(name), 1u) << name.toStdString();
        if (listing.contains(name))
            EXPECT_NE(after.at(name), bytes) << name.toStdString();
        else
            EXPECT_EQ(after.at(name), bytes) << name.toStdString();
    }
}
