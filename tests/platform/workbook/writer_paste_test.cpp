// Pasting: a picture from the clipboard, shapes moved, sized, renamed and deleted, a chart
// copied onto another sheet, cells copied from one workbook into another.

#include "WriterFixtures.h"

#include "platform/workbook/Workbook.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

using namespace xl;

namespace {

void PutPicture(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(10, 200, 60));
    QGuiApplication::clipboard()->setImage(img);
}

}  // namespace

TEST(WriterPaste, PictureFromTheClipboardAtTheActiveCell) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString path = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    {
        Application app;
        Workbook* wb = app.Workbooks().Open(path);
        // A sheet without a drawing gets one.
        Worksheet* other = wb->Sheets().Item(QStringLiteral("Other"));
        ASSERT_EQ(other->Shapes().Count(), 0);
        other->Range(QStringLiteral("C4")).Select();
        PutPicture(80, 40);
        other->Paste();
        ASSERT_EQ(other->Shapes().Count(), 1);
        Shape* pic = other->Shapes().Item(1);
        EXPECT_EQ(pic->Type(), ShapeType::Picture);
        EXPECT_DOUBLE_EQ(pic->Left(), other->ColumnLeft(3));
        EXPECT_DOUBLE_EQ(pic->Top(), other->RowTop(4));
        EXPECT_DOUBLE_EQ(pic->Width(), 60);   // 80 px at 96 dpi
        EXPECT_DOUBLE_EQ(pic->Height(), 30);

        // A sheet with a drawing: the pasted picture is the last shape.
        Worksheet* data = wb->Sheets().Item(QStringLiteral("Data"));
        PutPicture(20, 20);
        data->Paste(data->Range(QStringLiteral("A10")));
        ASSERT_EQ(data->Shapes().Count(), 3);
        EXPECT_EQ(data->Shapes().Item(3)->Type(), ShapeType::Picture);
        EXPECT_DOUBLE_EQ(data->Shapes().Item(3)->Top(), data->RowTop(10));
        EXPECT_NE(data->Shapes().Item(3)->Name(), data->Shapes().Item(2)->Name());

        // Nothing on the clipboard: an error, and no empty shape.
        QGuiApplication::clipboard()->clear();
        EXPECT_THROW(other->Paste(), Error);
        QGuiApplication::clipboard()->setText(QStringLiteral("just text"));
        EXPECT_THROW(other->Paste(), Error);
        EXPECT_EQ(other->Shapes().Count(), 1);
        wb->Save();
    }
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    Worksheet* other = wb->Sheets().Item(QStringLiteral("Other"));
    ASSERT_EQ(other->Shapes().Count(), 1);
    const DrawingShape& d = other->Shapes().Item(1)->Data();
    ASSERT_FALSE(d.imagePart.isEmpty());
    const QImage stored = QImage::fromData(wb->Data().package.Part(d.imagePart), "PNG");
    EXPECT_EQ(stored.size(), QSize(80, 40));
    EXPECT_EQ(stored.pixelColor(5, 5), QColor(10, 200, 60));
    EXPECT_EQ(wb->Sheets().Item(QStringLiteral("Data"))->Shapes().Count(), 3);
}

TEST(WriterPaste, ShapesMovedSizedRenamedAndDeleted) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString path = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    {
        Application app;
        Worksheet* ws = app.Workbooks().Open(path)->Sheets().Item(QStringLiteral("Data"));
        Shape* pic = ws->Shapes().Item(QStringLiteral("Image 2"));
        pic->SetTop(100);
        pic->SetLeft(50);
        pic->SetWidth(60);  // 40 x 20 px: the height follows, 30 x 15 pt -> 60 x 30
        EXPECT_NEAR(pic->Height(), 30, 0.01);
        pic->SetName(QStringLiteral("Logo"));
        Shape* chart = ws->Shapes().Item(QStringLiteral("Chart 1"));
        chart->SetHeight(120);
        EXPECT_NEAR(chart->Width(), 5400000 / 12700.0, 0.01);  // a chart keeps its width
        ws->Shapes().Item(QStringLiteral("Chart 1"))->Delete();
        ws->Parent()->Save();
    }
    Application app;
    Worksheet* ws = app.Workbooks().Open(path)->Sheets().Item(QStringLiteral("Data"));
    ASSERT_EQ(ws->Shapes().Count(), 1);
    Shape* pic = ws->Shapes().Item(1);
    EXPECT_EQ(pic->Name(), QStringLiteral("Logo"));
    EXPECT_NEAR(pic->Top(), 100, 0.01);
    EXPECT_NEAR(pic->Left(), 50, 0.01);
    EXPECT_NEAR(pic->Width(), 60, 0.01);
    EXPECT_NEAR(pic->Height(), 30, 0.01);
    EXPECT_EQ(ws->ChartObjects().Count(), 0);
}

TEST(WriterPaste, ChartCopiedOntoAnotherSheetTakesItsName) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString source = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    const QString target = writerfx::Copy(QStringLiteral("target.xlsx"), tmp);
    {
        Application app;
        Workbook* from = app.Workbooks().Open(source);
        Workbook* to = app.Workbooks().Open(target);
        Shape* chart = from->Sheets().Item(QStringLiteral("Data"))->ChartObjects().Item(QStringLiteral("Chart 1"));
        const double w = chart->Width(), h = chart->Height();
        chart->Copy();
        // As the custom templates keep it: a sheet "PvChartCopy", the pasted chart object (the
        // last one there) named after the copied chart.
        Worksheet* ws = to->Sheets().Add();
        ws->SetName(QStringLiteral("PvChartCopy"));
        ws->Paste();
        ws->Paste(ws->Range(QStringLiteral("A30")));  // the copy stays on the clipboard
        ASSERT_EQ(ws->ChartObjects().Count(), 2);
        ChartObject* pasted = ws->ChartObjects().Item(ws->ChartObjects().Count());
        EXPECT_NEAR(pasted->Width(), w, 0.01);
        EXPECT_NEAR(pasted->Height(), h, 0.01);
        pasted->SetName(QStringLiteral("Chart 1"));
        to->Save();
    }
    Application app;
    Worksheet* ws = app.Workbooks().Open(target)->Sheets().Item(QStringLiteral("PvChartCopy"));
    ASSERT_EQ(ws->ChartObjects().Count(), 2);
    ChartObject* last = ws->ChartObjects().Item(2);
    EXPECT_EQ(last->Name(), QStringLiteral("Chart 1"));
    ASSERT_NE(last->Chart(), nullptr);
    EXPECT_NEAR(last->Top(), ws->RowTop(30), 0.01);
    // The two pasted charts have parts of their own.
    EXPECT_NE(ws->ChartObjects().Item(1)->Data().chartPart, last->Data().chartPart);
}

TEST(WriterPaste, CellsCopiedIntoAnotherWorkbookWithTheirFormats) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString source = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    const QString target = writerfx::Copy(QStringLiteral("target.xlsx"), tmp);
    {
        Application app;
        Workbook* from = app.Workbooks().Open(source);
        Workbook* to = app.Workbooks().Open(target);
        Worksheet* data = from->Sheets().Item(QStringLiteral("Data"));
        data->Range(QStringLiteral("B3")).SetValue(CellValue::Number(33.333));
        data->Range(QStringLiteral("A1:E3")).Copy();
        Worksheet* t = to->Sheets().Item(1);
        t->Range(QStringLiteral("C5")).Select();
        t->Paste();
        // A copy from the same workbook, onto the source sheet itself.
        t->Range(QStringLiteral("A1")).Copy();
        t->Paste(t->Range(QStringLiteral("A10")));
        to->Save();
        // Something else put on the clipboard ends the copy.
        QGuiApplication::clipboard()->setText(QStringLiteral("other"));
        EXPECT_THROW(t->Paste(), Error);
    }
    Application app;
    Workbook* wb = app.Workbooks().Open(target);
    Worksheet* t = wb->Sheets().Item(1);
    EXPECT_EQ(t->Range(QStringLiteral("C5")).Value().text, QStringLiteral("Name"));
    EXPECT_TRUE(wb->Data().Look().styles.FontOf(t->Style(5, 3)).bold);
    EXPECT_EQ(t->Range(QStringLiteral("D5")).GetInterior().Color(), RGB(255, 255, 0));
    EXPECT_EQ(t->Range(QStringLiteral("C6")).Value().text, QStringLiteral("North"));
    EXPECT_EQ(t->Range(QStringLiteral("D6")).Text(), QStringLiteral("10.50"));
    EXPECT_EQ(t->Range(QStringLiteral("D7")).Text(), QStringLiteral("33.33"));
    ASSERT_EQ(t->MergedCells().size(), 1);
    EXPECT_EQ(FormatAddress(t->MergedCells()[0], false), QStringLiteral("F5:G6"));
    // The target's own cells keep theirs.
    EXPECT_TRUE(wb->Data().Look().styles.FontOf(t->Style(1, 1)).italic);
    EXPECT_EQ(t->Range(QStringLiteral("A10")).Value().text, QStringLiteral("T"));
    EXPECT_TRUE(wb->Data().Look().styles.FontOf(t->Style(10, 1)).italic);
}
