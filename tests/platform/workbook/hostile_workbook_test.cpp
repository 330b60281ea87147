// Small workbooks made to take the reader's memory or time: counts far beyond what the
// spreadsheet allows or what the rest of the file could use, and files that are no files.
// Each is opened as the program opens a workbook and refused with the reader's usual error.

#include "platform/workbook/CopyPicture.h"
#include "platform/workbook/Workbook.h"

#include "../../fuzz/SyntheticPackage.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace xl;

namespace {

const QByteArray kNs = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                       "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
const QByteArray kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

QByteArray Repeat(const QByteArray& item, int times) {
    QByteArray out;
    out.reserve(item.size() * qsizetype(times));
    for (int i = 0; i < times; ++i)
        out += item;
    return out;
}

QByteArray Relationships(const QByteArray& items) {
    return "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
           items + "</Relationships>";
}

QByteArray RelationshipXml(const QByteArray& id, const QByteArray& type, const QByteArray& target) {
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRel + type + "\" Target=\"" + target + "\"/>";
}

// A plain workbook of one sheet "S" holding A1 = shared string 0, with styles and shared
// strings; any part can be given instead.
QMap<QByteArray, QByteArray> BookParts(const QMap<QByteArray, QByteArray>& replaced = {}) {
    QMap<QByteArray, QByteArray> parts = {
        {"[Content_Types].xml",
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default "
         "Extension=\"xml\" ContentType=\"application/xml\"/><Default Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Override "
         "PartName=\"/xl/workbook.xml\" ContentType=\"application/"
         "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/></Types>"},
        {"_rels/.rels", Relationships(RelationshipXml("rId1", "officeDocument", "xl/workbook.xml"))},
        {"xl/workbook.xml",
         "<workbook " + kNs + "><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         Relationships(RelationshipXml("rId1", "worksheet", "worksheets/sheet1.xml") +
                       RelationshipXml("rId2", "styles", "styles.xml") +
                       RelationshipXml("rId3", "sharedStrings", "sharedStrings.xml"))},
        {"xl/worksheets/sheet1.xml",
         "<worksheet " + kNs + "><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"
         "</sheetData></worksheet>"},
        {"xl/styles.xml",
         "<styleSheet " + kNs + "><fonts><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
         "<fills><fill/></fills><borders><border/></borders><cellXfs><xf/></cellXfs></styleSheet>"},
        {"xl/sharedStrings.xml", "<sst " + kNs + "><si><t>hello</t></si></sst>"},
    };
    for (auto it = replaced.begin(); it != replaced.end(); ++it)
        parts[it.key()] = it.value();
    return parts;
}

QByteArray Zip(const QMap<QByteArray, QByteArray>& parts) {
    QList<QPair<const char*, QByteArray>> list;
    for (auto it = parts.begin(); it != parts.end(); ++it)
        list.append({it.key().constData(), it.value()});
    return fuzzing::ZipOf(list, true);
}

class HostileWorkbookTest : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        testsupport::WriteBytes(path, bytes);
        return path;
    }
    // Opens the file as the program does, paints A1:C3 of its first sheet and its shapes, which
    // reads what they need (the sheet, strings, styles, drawing, charts), and expects the
    // reader's refusal naming `reason`.
    void ExpectRefused(const QString& path, const QString& reason) {
        SCOPED_TRACE(path.toStdString());
        Application app;
        try {
            Worksheet* ws = app.Workbooks().Open(path)->Sheets().Item(1);
            (void)RangePicture(ws->Range(QStringLiteral("A1:C3")));
            for (Shape* shape : ws->Shapes().All())
                (void)ShapePicture(*shape);
            ADD_FAILURE() << "read";
        } catch (const Error& e) {
            EXPECT_TRUE(e.Message().startsWith(path + " is not an .xlsx workbook this program can read: "))
                << e.Message().toStdString();
            EXPECT_TRUE(e.Message().contains(reason)) << e.Message().toStdString();
        }
    }
    void ExpectRefused(const QString& name, const QMap<QByteArray, QByteArray>& parts,
                       const QString& reason) {
        ExpectRefused(Write(name, Zip(BookParts(parts))), reason);
    }
    QTemporaryDir dir_;
};

QByteArray Sst(const QByteArray& items) { return "<sst " + kNs + ">" + items + "</sst>"; }

}  // namespace

TEST_F(HostileWorkbookTest, SharedStringsAreKeptInProportionToTheCellsThatCanShowThem) {
    // Two hundred thousand strings for a sheet of one cell: a few hundred bytes deflated.
    ExpectRefused("strings.xlsx", {{"xl/sharedStrings.xml", Sst(Repeat("<si><t>a</t></si>", 200000))}},
                  "shared strings, more than its sheets have cells to show");

    // As many strings as cells is what a spreadsheet writes, and reads.
    QByteArray strings, cells;
    for (int i = 0; i < 5000; ++i) {
        strings += "<si><t>s" + QByteArray::number(i) + "</t></si>";
        cells += "<row r=\"" + QByteArray::number(i + 1) + "\"><c r=\"A" + QByteArray::number(i + 1) +
                 "\" t=\"s\"><v>" + QByteArray::number(i) + "</v></c></row>";
    }
    const QString fine = Write("fine.xlsx", Zip(BookParts(
        {{"xl/sharedStrings.xml", Sst(strings)},
         {"xl/worksheets/sheet1.xml", "<worksheet " + kNs + "><sheetData>" + cells + "</sheetData></worksheet>"}})));
    Application app;
    Worksheet* ws = app.Workbooks().Open(fine)->Sheets().Item(1);
    EXPECT_EQ(ws->Range(QStringLiteral("A1")).Value(), CellValue::Text(QStringLiteral("s0")));
    EXPECT_EQ(ws->Range(QStringLiteral("A5000")).Value(), CellValue::Text(QStringLiteral("s4999")));
}

TEST_F(HostileWorkbookTest, StylesBeyondTheSpreadsheetsLimitsAreRefused) {
    const QByteArray head = "<styleSheet " + kNs + "><fonts><font/></fonts><fills><fill/></fills><borders><border/></borders>";
    ExpectRefused("formats.xlsx",
                  {{"xl/styles.xml", head + "<cellXfs>" + Repeat("<xf/>", 64001) + "</cellXfs></styleSheet>"}},
                  "more than 64000 cell formats");
    // Far beyond: refused from a count of the part, before any tree is built.
    ExpectRefused("manyformats.xlsx",
                  {{"xl/styles.xml", head + "<cellXfs>" + Repeat("<xf/>", 1000000) + "</cellXfs></styleSheet>"}},
                  "more than 64000 cell formats");
    ExpectRefused("fonts.xlsx",
                  {{"xl/styles.xml", "<styleSheet " + kNs + "><fonts>" + Repeat("<font/>", 64001) +
                                         "</fonts><cellXfs><xf/></cellXfs></styleSheet>"}},
                  "more than 64000 fonts");
}

TEST_F(HostileWorkbookTest, CellTextsAndRunsBeyondACellAreRefused) {
    ExpectRefused("runs.xlsx", {{"xl/sharedStrings.xml", Sst("<si>" + Repeat("<r><t>a</t></r>", 40000) + "</si>")}},
                  "shared string 1 has more than 32767 formatting runs");
    // Runs without text cost a tree node each and carry nothing: refused before parsing.
    ExpectRefused("emptyruns.xlsx", {{"xl/sharedStrings.xml", Sst("<si>" + Repeat("<r/>", 3000000) + "</si>")}},
                  "the shared strings from number 1 on would take");
    ExpectRefused("longstring.xlsx",
                  {{"xl/sharedStrings.xml", Sst("<si><t>" + QByteArray(40000, 'x') + "</t></si>")}},
                  "shared string 1 has more than the 32767 characters a cell can hold");
    ExpectRefused("longinline.xlsx",
                  {{"xl/worksheets/sheet1.xml",
                    "<worksheet " + kNs + "><sheetData><row r=\"1\"><c r=\"B1\" t=\"inlineStr\"><is><t>" +
                        QByteArray(40000, 'x') + "</t></is></c></row></sheetData></worksheet>"}},
                  "cell B1 of sheet S has more than the 32767 characters a cell can hold");
    ExpectRefused("longresult.xlsx",
                  {{"xl/worksheets/sheet1.xml",
                    "<worksheet " + kNs + "><sheetData><row r=\"1\"><c r=\"C1\" t=\"str\"><f>A1</f><v>" +
                        QByteArray(40000, 'x') + "</v></c></row></sheetData></worksheet>"}},
                  "cell C1 of sheet S has more than the 32767 characters a cell can hold");
    // A row written over and over again, one cell at a time.
    ExpectRefused("row.xlsx",
                  {{"xl/worksheets/sheet1.xml",
                    "<worksheet " + kNs + "><sheetData><row r=\"1\">" + Repeat("<c r=\"A1\"/>", 16385) +
                        "</row></sheetData></worksheet>"}},
                  "sheet S row 1 has more cells than its 16384 columns");
}

TEST_F(HostileWorkbookTest, SheetsMergesAndRelationshipsStayInProportion) {
    // A hundred thousand sheets naming one part.
    QByteArray sheets;
    for (int i = 1; i <= 100000; ++i)
        sheets += "<sheet name=\"S" + QByteArray::number(i) + "\" sheetId=\"" + QByteArray::number(i) +
                  "\" r:id=\"rId1\"/>";
    ExpectRefused("sheets.xlsx", {{"xl/workbook.xml", "<workbook " + kNs + "><sheets>" + sheets + "</sheets></workbook>"}},
                  "sheets \"S1\" and \"S2\" are both stored in part xl/worksheets/sheet1.xml");

    // Merged areas of their own, so that the part deflates as real ones do and it is its tree,
    // not its ratio, that gets it refused.
    QByteArray merges;
    merges.reserve(1100000 * 32);
    for (int i = 1; i <= 1100000; ++i)
        merges += "<mergeCell ref=\"A" + QByteArray::number(i) + ":B" + QByteArray::number(i) + "\"/>";
    ExpectRefused("merges.xlsx",
                  {{"xl/worksheets/sheet1.xml",
                    "<worksheet " + kNs + "><sheetData/><mergeCells>" + merges + "</mergeCells></worksheet>"}},
                  "part xl/worksheets/sheet1.xml would take");

    QByteArray rels = RelationshipXml("rId1", "worksheet", "worksheets/sheet1.xml");
    for (int i = 0; i < 90000; ++i)
        rels += RelationshipXml("x" + QByteArray::number(i), "hyperlink", "https://example.com/");
    ExpectRefused("rels.xlsx", {{"xl/_rels/workbook.xml.rels", Relationships(rels)}},
                  "part xl/_rels/workbook.xml.rels has more than 85530 relationships");
}

TEST_F(HostileWorkbookTest, ChartCachesClaimingMorePointsThanTheyHoldAreRefused) {
    // Each series claims a hundred thousand points in a few bytes.
    const QByteArray series =
        "<c:ser><c:cat><c:strLit><c:ptCount val=\"100000\"/></c:strLit></c:cat>"
        "<c:val><c:numLit><c:ptCount val=\"100000\"/></c:numLit></c:val></c:ser>";
    const QByteArray chart =
        "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart>"
        "<c:plotArea><c:barChart>" + Repeat(series, 20) + "</c:barChart></c:plotArea></c:chart></c:chartSpace>";
    ExpectRefused(Write("chart.xlsx", fuzzing::SyntheticPackage('c', chart)),
                  "chart part xl/charts/chart1.xml holds more than 1000000 points");
}

TEST_F(HostileWorkbookTest, AnAnchorAtTheEndOfTheNumbersIsToldAsWritten) {
    const QByteArray drawing =
        "<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\">"
        "<xdr:oneCellAnchor><xdr:from><xdr:col>99999999999999999999</xdr:col><xdr:colOff>0</xdr:colOff>"
        "<xdr:row>-99999999999999999999</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from>"
        "<xdr:ext cx=\"1\" cy=\"1\"/></xdr:oneCellAnchor></xdr:wsDr>";
    ExpectRefused(Write("anchor.xlsx", fuzzing::SyntheticPackage('d', drawing)),
                  "anchored outside the grid (column index 9223372036854775807, row index "
                  "-9223372036854775808)");
}

TEST_F(HostileWorkbookTest, AFolderOrAPipeIsToldForWhatItIs) {
    const QString folder = dir_.filePath(QStringLiteral("Sales.xlsx"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString pipe = dir_.filePath(QStringLiteral("Pipe.xlsx"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const struct {
        QString path;
        const char* reason;
    } cases[] = {{folder, "it is a folder, not a file"},
                 {pipe, "it is not a regular file"},
                 {dir_.filePath(QStringLiteral("Missing.xlsx")), "the file does not exist"}};
    for (const auto& c : cases) {
        Application app;
        try {
            app.Workbooks().Open(c.path);  // a pipe would wait here for a writer
            ADD_FAILURE() << c.path.toStdString() << " was read";
        } catch (const Error& e) {
            EXPECT_EQ(e.Message(), c.path + " can't be read: " + c.reason);
        }
    }
}
