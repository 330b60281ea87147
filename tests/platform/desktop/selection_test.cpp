// Classifying the clipboard as a paste sees it: captured payloads fed back through QMimeData,
// pointed at workbooks made by openpyxl (and real .ods/.xls files) in a temporary folder.

#include "Payloads.h"
#include "platform/desktop/ClipboardSelection.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace desk;

namespace {

class ClipboardSelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        payloads::MakeWorkbooks(dir_.path());
    }
    QString Path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
    // A captured case whose link points into the temporary folder.
    ClipboardSelection Classify(const QString& caseName, const QString& remembered = {}) {
        const auto data = payloads::LoadIn(caseName, dir_.path());
        return ClassifyClipboard(data.get(), remembered);
    }
    void CopyFile(const QString& from, const QString& to) {
        ASSERT_TRUE(QFile::copy(from, Path(to))) << to.toStdString();
    }
    QString RealFile(const QString& name) const {
        return payloads::Folder() + QStringLiteral("/files/") + name;
    }

    QTemporaryDir dir_;
};

}  // namespace

TEST_F(ClipboardSelectionTest, CopiedCellsGiveWorkbookSheetRangeAndText) {
    const ClipboardSelection range = Classify(QStringLiteral("range"));
    EXPECT_EQ(range.kind, ClipboardKind::Cells);
    EXPECT_TRUE(range.IsUsable());
    EXPECT_EQ(range.workbookPath, Path(QStringLiteral("Sales.xlsx")));
    EXPECT_EQ(range.sheet, "Data");
    EXPECT_EQ(range.range, "A2:C4");
    EXPECT_EQ(range.copiedText, "North\t120\t135\nSouth\t98\t101\nEast\t143.5\t150\n");
    ASSERT_EQ(range.copiedRows.size(), 3);
    EXPECT_EQ(range.copiedRows[1], QStringList({"South", "98", "101"}));
    EXPECT_EQ(range.width100mm, 5081);
    EXPECT_EQ(range.height100mm, 1589);
    EXPECT_EQ(DescribeRefusal(range), "");

    const ClipboardSelection single = Classify(QStringLiteral("single-cell"));
    EXPECT_EQ(single.kind, ClipboardKind::Cells);
    EXPECT_EQ(single.range, "B3");
    EXPECT_EQ(single.copiedRows, QList<QStringList>({{"98"}}));

    const ClipboardSelection blank = Classify(QStringLiteral("sheet-with-blank"));
    EXPECT_EQ(blank.kind, ClipboardKind::Cells);
    EXPECT_EQ(blank.sheet, "Q1 Data");
    EXPECT_EQ(blank.range, "A1:B3");

    const ClipboardSelection dot = Classify(QStringLiteral("sheet-with-dot"));
    EXPECT_EQ(dot.sheet, "Fin.2024");
    EXPECT_EQ(dot.range, "A2:B3");

    // An empty cell is still cells, with nothing copied as text.
    const ClipboardSelection empty = Classify(QStringLiteral("empty-cell"));
    EXPECT_EQ(empty.kind, ClipboardKind::Cells);
    EXPECT_EQ(empty.range, "J4");
    EXPECT_TRUE(empty.copiedRows.isEmpty());

    const ClipboardSelection column = Classify(QStringLiteral("whole-column"));
    EXPECT_EQ(column.range, "B1:B1048576");
    EXPECT_EQ(column.copiedRows.size(), 5);
}

TEST_F(ClipboardSelectionTest, PathsWithBlanksAccentsAndMacroWorkbooks) {
    CopyFile(Path(QStringLiteral("Sales.xlsx")), QString::fromUtf8("Q3 Résumé.xlsx"));
    const ClipboardSelection accent = Classify(QStringLiteral("path-with-blank-and-accent"));
    EXPECT_EQ(accent.kind, ClipboardKind::Cells);
    EXPECT_EQ(accent.workbookPath, Path(QString::fromUtf8("Q3 Résumé.xlsx")));
    EXPECT_EQ(accent.copiedRows, QList<QStringList>({{"Region", "Q1"}, {"North", "120"}}));

    const auto xlsm = payloads::Load(QStringLiteral("range"),
                                     {{"/tmp/cap/wb/Sales.xlsx", QFile::encodeName(Path("Sales.xlsm"))}});
    const ClipboardSelection macro = ClassifyClipboard(xlsm.get());
    EXPECT_EQ(macro.kind, ClipboardKind::Cells);
    EXPECT_EQ(macro.workbookPath, Path(QStringLiteral("Sales.xlsm")));
}

TEST_F(ClipboardSelectionTest, RefusalsSayWhyAndNameTheDocument) {
    // Never saved: the link names a title, not a file.
    const ClipboardSelection unsaved = Classify(QStringLiteral("unsaved"));
    EXPECT_EQ(unsaved.kind, ClipboardKind::Nothing);
    EXPECT_EQ(unsaved.refusal, Refusal::NeverSaved);
    EXPECT_TRUE(DescribeRefusal(unsaved).contains("Untitled 1"));

    // The workbook was deleted since the copy.
    ASSERT_TRUE(QFile::remove(Path(QStringLiteral("Sales.xlsx"))));
    const ClipboardSelection missing = Classify(QStringLiteral("range"));
    EXPECT_EQ(missing.kind, ClipboardKind::Nothing);
    EXPECT_EQ(missing.refusal, Refusal::FileMissing);
    EXPECT_TRUE(DescribeRefusal(missing).contains(Path(QStringLiteral("Sales.xlsx"))));

    // A real .ods document and the same converted to .xls.
    CopyFile(RealFile(QStringLiteral("Budget.ods")), QStringLiteral("Budget.ods"));
    const ClipboardSelection ods = Classify(QStringLiteral("ods-link"));
    EXPECT_EQ(ods.refusal, Refusal::NotXlsx);
    EXPECT_TRUE(DescribeRefusal(ods).contains(Path(QStringLiteral("Budget.ods"))));
    EXPECT_EQ(Classify(QStringLiteral("sheet-with-apostrophe")).refusal, Refusal::NotXlsx);

    CopyFile(RealFile(QStringLiteral("Budget.xls")), QStringLiteral("Budget.xls"));
    const auto xls = payloads::Load(QStringLiteral("ods-link"),
                                    {{"/tmp/cap/wb/Budget.ods", QFile::encodeName(Path("Budget.xls"))}});
    EXPECT_EQ(ClassifyClipboard(xls.get()).refusal, Refusal::NotXlsx);

    // The name doesn't decide: an .ods renamed .xlsx and a text file named .xlsx are refused.
    CopyFile(RealFile(QStringLiteral("Budget.ods")), QStringLiteral("Sales.xlsx"));
    EXPECT_EQ(Classify(QStringLiteral("range")).refusal, Refusal::NotXlsx);
    ASSERT_TRUE(QFile::remove(Path(QStringLiteral("Sales.xlsx"))));
    {
        QFile text(Path(QStringLiteral("Sales.xlsx")));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("Region\tQ1\n");
    }
    EXPECT_EQ(Classify(QStringLiteral("range")).refusal, Refusal::NotXlsx);
    EXPECT_EQ(CheckWorkbookFile(Path(QStringLiteral("Sales.xlsm"))), WorkbookCheck::Ok);
    EXPECT_EQ(CheckWorkbookFile(dir_.path()), WorkbookCheck::Missing);  // a folder
    EXPECT_EQ(CheckWorkbookFile(QString()), WorkbookCheck::Missing);
}

TEST_F(ClipboardSelectionTest, LinksNamingNoSheetOrNoCellsAreRefused) {
    const QByteArray path = QFile::encodeName(Path(QStringLiteral("Sales.xlsx")));
    for (const QByteArray& item : {QByteArray("A1:B2"), QByteArray("Data.Total"), QByteArray()}) {
        SCOPED_TRACE(item.toStdString());
        QMimeData data;
        data.setData(QStringLiteral("application/x-openoffice-link;windows_formatname=\"Link\""),
                     QByteArray("soffice") + '\0' + path + '\0' + item + '\0' + "calc:extref" +
                         '\0' + '\0');
        data.setText(QStringLiteral("x"));
        const ClipboardSelection s = ClassifyClipboard(&data);
        EXPECT_EQ(s.kind, ClipboardKind::Nothing);
        EXPECT_EQ(s.refusal, Refusal::NoSheet);
        EXPECT_FALSE(DescribeRefusal(s).isEmpty());
    }
}

TEST_F(ClipboardSelectionTest, TextPicturesAndNothingAreNoSpreadsheetContent) {
    QMimeData text;
    text.setText(QStringLiteral("North\t120\t135\n"));
    EXPECT_EQ(ClassifyClipboard(&text).refusal, Refusal::NoSpreadsheetContent);

    // What a browser offers for a copied picture.
    QMimeData image;
    image.setData(QStringLiteral("image/png"),
                  payloads::Bytes(QStringLiteral("chart"), QStringLiteral("image/png")));
    image.setHtml(QStringLiteral("<meta charset=\"utf-8\"><img src=\"https://example.org/a.png\">"));
    const ClipboardSelection picture = ClassifyClipboard(&image, Path(QStringLiteral("Sales.xlsx")));
    EXPECT_EQ(picture.kind, ClipboardKind::Nothing);
    EXPECT_EQ(picture.refusal, Refusal::NoSpreadsheetContent);
    EXPECT_FALSE(DescribeRefusal(picture).isEmpty());

    QMimeData none;
    EXPECT_EQ(ClassifyClipboard(&none).refusal, Refusal::NoSpreadsheetContent);
    EXPECT_EQ(ClassifyClipboard(nullptr).refusal, Refusal::NoSpreadsheetContent);

    // A damaged link is no link; with nothing else usable the clipboard holds no cells.
    QMimeData garbage;
    garbage.setData(QStringLiteral("application/x-openoffice-link;windows_formatname=\"Link\""),
                    QByteArray("\0\0", 2));
    garbage.setText(QStringLiteral("x"));
    EXPECT_EQ(ClassifyClipboard(&garbage).refusal, Refusal::NoSpreadsheetContent);
}

TEST_F(ClipboardSelectionTest, CopiedChartGivesItsSizeAndTheRememberedWorkbook) {
    const QString sales = Path(QStringLiteral("Sales.xlsx"));
    const ClipboardSelection chart = Classify(QStringLiteral("chart"), sales);
    EXPECT_EQ(chart.kind, ClipboardKind::Chart);
    EXPECT_TRUE(chart.IsUsable());
    EXPECT_EQ(chart.workbookPath, sales);
    EXPECT_EQ(chart.width100mm, 15000);
    EXPECT_EQ(chart.height100mm, 7500);
    // 150 mm x 75 mm
    EXPECT_NEAR(chart.sizePoints.width(), 425.197, 0.001);
    EXPECT_NEAR(chart.sizePoints.height(), 212.598, 0.001);
    EXPECT_EQ(chart.sizePixels, QSize(567, 283));
    EXPECT_TRUE(chart.copiedText.isEmpty());

    // Nothing remembered, or a remembered file that is gone or not a workbook: no workbook.
    EXPECT_EQ(Classify(QStringLiteral("chart")).workbookPath, "");
    EXPECT_EQ(Classify(QStringLiteral("chart"), Path(QStringLiteral("Gone.xlsx"))).workbookPath, "");
    CopyFile(RealFile(QStringLiteral("Budget.ods")), QStringLiteral("Budget.ods"));
    const ClipboardSelection fromOds = Classify(QStringLiteral("chart"), Path(QStringLiteral("Budget.ods")));
    EXPECT_EQ(fromOds.kind, ClipboardKind::Chart);
    EXPECT_EQ(fromOds.workbookPath, "");

    // Without the descriptor the embedded object still tells a chart, of unknown size.
    auto data = payloads::Load(QStringLiteral("chart"));
    for (const QString& f : data->formats())
        if (f.startsWith(QLatin1String(kObjectDescriptorFormat)))
            data->removeFormat(f);
    const ClipboardSelection bare = ClassifyClipboard(data.get(), sales);
    EXPECT_EQ(bare.kind, ClipboardKind::Chart);
    EXPECT_EQ(bare.width100mm, 0);
    EXPECT_TRUE(bare.sizePixels.isEmpty());

    // A descriptor whose attributes were trimmed from the name falls back to its bytes.
    QMimeData trimmed;
    const QString full = payloads::Targets(QStringLiteral("chart"))[1];
    ASSERT_TRUE(full.startsWith(QLatin1String(kObjectDescriptorFormat)));
    trimmed.setData(QLatin1String(kObjectDescriptorFormat),
                    payloads::Bytes(QStringLiteral("chart"), full));
    const ClipboardSelection fromBytes = ClassifyClipboard(&trimmed);
    EXPECT_EQ(fromBytes.kind, ClipboardKind::Chart);
    EXPECT_EQ(fromBytes.width100mm, 15000);
}
