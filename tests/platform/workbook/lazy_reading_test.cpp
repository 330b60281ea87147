// Reading a workbook only as far as it is used: a part is inflated when it is asked for, each
// sheet (with its drawing) and each chart is read the first time something needs it, on
// whichever thread asks, and a save copies the parts nothing changed as they are stored.

#include "TestSupport.h"
#include "WorkbookFixtures.h"
#include "WriterFixtures.h"

#include "../../fuzz/SyntheticPackage.h"

#include "platform/workbook/CopyPicture.h"
#include "platform/workbook/Workbook.h"
#include "platform/workbook/ZipArchive.h"

#include <QFile>
#include <QTemporaryDir>

#include <zip.h>

#include <unistd.h>

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <random>
#include <thread>

using namespace xl;

namespace {

const QByteArray kNs = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                       "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
const QByteArray kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

struct Part {
    QByteArray name, bytes;
    bool stored = false;  // kept as it is rather than deflated
};

// A zip written by libzip, each part deflated or stored as asked.
QByteArray ZipOf(const std::vector<Part>& parts) {
    QList<QPair<const char*, QByteArray>> list;
    QList<QByteArray> stored;
    for (const Part& p : parts) {
        list.append({p.name.constData(), p.bytes});
        if (p.stored)
            stored.append(p.name);
    }
    return fuzzing::ZipOf(list, true, stored);
}

struct StoredPart {
    QByteArray bytes;  // as stored: deflated or not
    int method = -1;
    bool operator==(const StoredPart& o) const { return bytes == o.bytes && method == o.method; }
};

// Every entry of a zip file as it is stored there, read by libzip.
std::map<QString, StoredPart> StoredParts(const QString& path) {
    std::map<QString, StoredPart> out;
    int error = 0;
    zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!za) {
        ADD_FAILURE() << "libzip can't open " << path.toStdString();
        return out;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) {
        zip_stat_t st;
        if (zip_stat_index(za, zip_uint64_t(i), 0, &st) != 0) {
            ADD_FAILURE() << "libzip can't read entry " << i << " of " << path.toStdString();
            continue;
        }
        StoredPart part;
        part.method = st.comp_method;
        part.bytes.resize(qsizetype(st.comp_size));
        // A part not read whole must not pass for one that is.
        zip_file_t* f = zip_fopen_index(za, zip_uint64_t(i), ZIP_FL_COMPRESSED);
        if (!f || zip_fread(f, part.bytes.data(), st.comp_size) != zip_int64_t(st.comp_size))
            ADD_FAILURE() << "libzip can't read " << st.name << " of " << path.toStdString();
        if (f)
            zip_fclose(f);
        out[QString::fromUtf8(st.name)] = part;
    }
    zip_discard(za);
    return out;
}

QByteArray Relationships(const QList<QPair<QByteArray, QByteArray>>& items) {
    QByteArray x = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    int id = 1;
    for (const auto& [type, target] : items)
        x += "<Relationship Id=\"rId" + QByteArray::number(id++) + "\" Type=\"" + kRel + type + "\" Target=\"" +
             target + "\"/>";
    return x + "</Relationships>";
}

// A workbook of the given sheets ("Name" -> part XML), with styles, and shared strings when
// some are given.
std::vector<Part> BookOf(const QList<QPair<QByteArray, QByteArray>>& sheets, const QByteArray& sharedStrings = {}) {
    std::vector<Part> parts;
    QByteArray list;
    QList<QPair<QByteArray, QByteArray>> rels;
    for (int i = 0; i < sheets.size(); ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        list += "<sheet name=\"" + sheets[i].first + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        rels.append(qMakePair(QByteArray("worksheet"), "worksheets/sheet" + n + ".xml"));
        parts.push_back({"xl/worksheets/sheet" + n + ".xml", sheets[i].second});
    }
    rels.append(qMakePair(QByteArray("styles"), QByteArray("styles.xml")));
    if (!sharedStrings.isEmpty()) {
        rels.append(qMakePair(QByteArray("sharedStrings"), QByteArray("sharedStrings.xml")));
        parts.push_back({"xl/sharedStrings.xml", sharedStrings});
    }
    parts.push_back({"[Content_Types].xml",
                     "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default "
                     "Extension=\"xml\" ContentType=\"application/xml\"/><Default Extension=\"rels\" "
                     "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Override "
                     "PartName=\"/xl/workbook.xml\" ContentType=\"application/"
                     "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/></Types>"});
    parts.push_back({"_rels/.rels", Relationships({{"officeDocument", "xl/workbook.xml"}})});
    parts.push_back({"xl/workbook.xml", "<workbook " + kNs + "><sheets>" + list + "</sheets></workbook>"});
    parts.push_back({"xl/_rels/workbook.xml.rels", Relationships(rels)});
    parts.push_back({"xl/styles.xml", "<styleSheet " + kNs + "><fonts><font><sz val=\"11\"/><name val=\"Calibri\"/>"
                                      "</font></fonts><fills><fill/></fills><borders><border/></borders>"
                                      "<cellXfs><xf/><xf numFmtId=\"2\"/></cellXfs></styleSheet>"});
    return parts;
}

QString Refusal(const std::function<void()>& read) {
    try {
        read();
    } catch (const Error& e) {
        return e.Message();
    }
    return QString();
}

}  // namespace

// An edited workbook saved: the parts no edit touched are in the new file exactly as they were
// stored in the old one (deflated bytes, method), without being inflated at all: a part whose
// deflated bytes are damaged goes across as it is, and a stored one stays stored.
TEST(LazyReading, ASaveCopiesTheUntouchedPartsAsTheyAreStored) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    std::vector<Part> parts;
    for (const auto& [name, bytes] : writerfx::Parts(writerfx::Dir() + QStringLiteral("/book.xlsx")))
        parts.push_back({name.toUtf8(), bytes});
    QByteArray custom;
    std::mt19937 rnd(3);
    while (custom.size() < 20000)
        custom += "<p n=\"" + QByteArray::number(rnd()) + "\"/>";
    parts.push_back({"customXml/item1.xml", "<root>" + custom + "</root>", true});
    parts.push_back({"docProps/custom.xml", "<Properties>" + custom + "</Properties>"});
    QByteArray zip = ZipOf(parts);
    // The deflated bytes of docProps/custom.xml, damaged in their middle: they follow the
    // local header (30 bytes), the name and the header's extra fields.
    const qsizetype header = zip.indexOf("docProps/custom.xml") - 30;
    ASSERT_TRUE(zip.mid(header, 4) == QByteArray("PK\x03\x04"));
    const qsizetype deflated = header + 30 + 19 + (uint8_t(zip[header + 28]) | uint8_t(zip[header + 29]) << 8);
    zip[deflated + 2000] = char(zip[deflated + 2000] ^ 0x55);
    const QString path = tmp.filePath(QStringLiteral("book.xlsx"));
    testsupport::WriteBytes(path, zip);
    const auto before = StoredParts(path);
    ASSERT_EQ(before.at(QStringLiteral("customXml/item1.xml")).method, ZIP_CM_STORE);

    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    wb->Sheets().Item(QStringLiteral("Data"))->Range(QStringLiteral("B2")).SetValue(CellValue::Number(99));
    const QString saved = tmp.filePath(QStringLiteral("saved.xlsx"));
    wb->SaveAs(saved);

    const auto after = StoredParts(saved);
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [name, part] : before) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(after.count(name));
        if (name == QLatin1String("xl/worksheets/sheet1.xml"))
            EXPECT_FALSE(after.at(name) == part);  // the one part the edit changed
        else
            EXPECT_TRUE(after.at(name) == part);
    }
    // The damaged part was never inflated, by the save or by the reading of the workbook; it
    // is damaged in the copy as in the original, and told so when it is read.
    const QString damaged = Refusal([&] { Package::FromZip(writerfx::ReadAll(saved)).Part("docProps/custom.xml"); });
    EXPECT_TRUE(damaged.contains(QStringLiteral("part docProps/custom.xml is damaged"))) << damaged.toStdString();

    Application again;
    Worksheet* data = again.Workbooks().Open(saved)->Sheets().Item(QStringLiteral("Data"));
    EXPECT_EQ(data->Range(QStringLiteral("B2")).Value(), CellValue::Number(99));
    EXPECT_EQ(data->Range(QStringLiteral("A2")).Value(), CellValue::Text(QStringLiteral("North")));
    EXPECT_EQ(data->ChartObjects().Count(), 1);
}

// A picture of one sheet reads that sheet alone: a broken other sheet neither stops it nor is
// read, and is refused, with the reader's usual error, when it is used, each time the same.
TEST(LazyReading, EachSheetIsReadWhenFirstUsedAndABrokenOneIsRefusedAlone) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("two.xlsx"));
    testsupport::WriteBytes(
        path, ZipOf(BookOf(
                  {{"Good", "<worksheet " + kNs +
                                "><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
                                "<c r=\"B1\" s=\"1\"><v>2.5</v></c></row></sheetData></worksheet>"},
                   {"Broken", "<worksheet " + kNs +
                                  "><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v>"
                                  "</row></sheetData></worksheet>"}},
                  "<sst " + kNs + "><si><t>hello</t></si></sst>")));
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    const WorkbookData& data = wb->Data();
    ASSERT_EQ(wb->Sheets().Count(), 2);
    EXPECT_EQ(wb->Sheets().Item(2)->Name(), QStringLiteral("Broken"));
    EXPECT_TRUE(wb->Sheets().Item(2)->IsVisible());
    EXPECT_FALSE(data.IsSheetRead(0));
    EXPECT_FALSE(data.IsSheetRead(1));

    Worksheet* good = wb->Sheets().Item(QStringLiteral("Good"));
    EXPECT_FALSE(RangePicture(good->Range(QStringLiteral("A1:B1"))).isNull());
    EXPECT_EQ(good->Range(QStringLiteral("A1")).Value(), CellValue::Text(QStringLiteral("hello")));
    EXPECT_EQ(good->Range(QStringLiteral("B1")).Text(), QStringLiteral("2.50"));
    EXPECT_TRUE(data.IsSheetRead(0));
    EXPECT_FALSE(data.IsSheetRead(1));

    Worksheet* broken = wb->Sheets().Item(QStringLiteral("Broken"));
    const QString first = Refusal([&] { broken->UsedRange(); });
    EXPECT_TRUE(first.startsWith(path + " is not an .xlsx workbook this program can read: part "
                                        "xl/worksheets/sheet2.xml is not well-formed XML"))
        << first.toStdString();
    EXPECT_EQ(Refusal([&] { broken->Range(QStringLiteral("A1")).Value(); }), first);
    EXPECT_FALSE(data.IsSheetRead(1));
    // A search over every sheet meets the refusal too, and the good sheet stays as it was.
    EXPECT_EQ(Refusal([&] { broken->Cells().Find(QStringLiteral("x")); }), first);
    EXPECT_EQ(good->UsedRange().Address(), QStringLiteral("$A$1:$B$1"));
}

// Rows are read straight from their text when written the plain way, and through the XML
// parser otherwise; both read every form alike. Each row below is written once plainly, and
// once with a comment in it, which only the parser reads; the two sheets must read the same.
TEST(LazyReading, RowsReadStraightFromTheirTextReadAsTheParserReadsThem) {
    const QList<QByteArray> rows = {
        R"(<row r="1" spans="1:6" x14ac:dyDescent="0.25"><c r="A1" t="s"><v>0</v></c><c r="B1" s="1"><v>2.5</v></c><c r="C1" t="b"><v>1</v></c><c r="D1" t="e"><v>#N/A</v></c><c r="E1" t="str"><f>A1&amp;"x"</f><v>hellox</v></c><c r="F1" s="1"/></row>)",
        // Single quotes, blanks around '=', attributes in another order, a row without r.
        R"(<row ht = '30' customHeight='1'><c t='n' s = '1' r='B2'><v> 7 </v></c><c r="C2"><v/></c><c r="D2"><v></v></c></row>)",
        // Cells without a reference follow the last one; cells out of order, one written twice.
        R"(<row r="4" hidden="1"><c><v>1</v></c><c><v>2</v></c><c r="E4"><v>5</v></c><c r="C4"><v>3</v></c><c r="E4"><v>6</v></c></row>)",
        // A row style, a shared formula, a date, and the formula's text holding '>'.
        R"(<row r="5" s="1" customFormat="1"><c r="A5"><f t="shared" ref="A5:A6" si="0"/><v>10</v></c><c r="B5" t="d"><v>2024-03-01T12:00:00</v></c><c r="C5"><f>IF(A5>1,1,0)</f><v>1</v></c></row>)",
        R"(<row r="6"/>)",
        R"(<row r="7" ht="0.5" hidden="true"/>)",
        // What only the parser reads: entities, an inline string, a line end in a value.
        R"(<row r="8"><c r="A8" t="str"><v>a &lt; b</v></c><c r="B8" t="inlineStr"><is><r><t>rich</t></r><r><t> text</t></r></is></c><c r="C8" t="str"><v>two&#13;
lines</v></c></row>)",
        R"(<row r="9">
  <c r="A9"><v>1e3</v></c>
  <c r="B9" t="str"><v>  padded  </v></c>
</row>)",
    };
    QByteArray plain, parsed;
    for (const QByteArray& row : rows) {
        plain += row;
        // The comment goes just after the row's start tag.
        QByteArray withComment = row;
        const qsizetype gt = row.indexOf('>');
        if (row[gt - 1] == '/')
            withComment = row.left(gt - 1) + "><!-- parsed --></row>";
        else
            withComment.insert(gt + 1, "<!-- parsed -->");
        parsed += withComment;
    }
    const QByteArray head = "<worksheet " + kNs + " xmlns:x14ac=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac\"><sheetData>";
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("rows.xlsx"));
    testsupport::WriteBytes(path, ZipOf(BookOf({{"Plain", head + plain + "</sheetData></worksheet>"},
                                                {"Parsed", head + parsed + "</sheetData></worksheet>"}},
                                               "<sst " + kNs + "><si><t>hello</t></si></sst>")));
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    Worksheet* a = wb->Sheets().Item(QStringLiteral("Plain"));
    Worksheet* b = wb->Sheets().Item(QStringLiteral("Parsed"));
    ASSERT_EQ(a->UsedRange().Address(), b->UsedRange().Address());
    EXPECT_EQ(a->UsedRange().Address(), QStringLiteral("$A$1:$F$9"));
    for (int32_t r = 1; r <= 10; ++r) {
        EXPECT_EQ(a->RowHeight(r), b->RowHeight(r)) << "row " << r;
        for (int32_t c = 1; c <= 6; ++c) {
            const QString at = CellAddress(r, c, false, false);
            EXPECT_EQ(a->Range(at).Value(), b->Range(at).Value()) << at.toStdString();
            EXPECT_EQ(a->Range(at).Text(), b->Range(at).Text()) << at.toStdString();
            EXPECT_EQ(a->Style(r, c).numFmtCode, b->Style(r, c).numFmtCode) << at.toStdString();
        }
    }
    // ...and as written.
    const struct {
        const char* cell;
        CellValue value;
    } expected[] = {{"A1", CellValue::Text(QStringLiteral("hello"))},
                    {"B1", CellValue::Number(2.5)},
                    {"C1", CellValue::Boolean(true)},
                    {"D1", CellValue::Error(QStringLiteral("#N/A"))},
                    {"E1", CellValue::Text(QStringLiteral("hellox"))},
                    {"B2", CellValue::Number(7)},
                    {"A4", CellValue::Number(1)},
                    {"B4", CellValue::Number(2)},
                    {"C4", CellValue::Number(3)},
                    {"E4", CellValue::Number(6)},
                    {"A5", CellValue::Number(10)},
                    {"B5", CellValue::Number(45352.5)},
                    {"C5", CellValue::Number(1)},
                    {"A8", CellValue::Text(QStringLiteral("a < b"))},
                    {"B8", CellValue::Text(QStringLiteral("rich text"))},
                    {"A9", CellValue::Number(1000)},
                    {"B9", CellValue::Text(QStringLiteral("  padded  "))}};
    for (const auto& e : expected)
        EXPECT_EQ(a->Range(QString::fromLatin1(e.cell)).Value(), e.value) << e.cell;
    EXPECT_TRUE(a->Range(QStringLiteral("C2")).Value().IsEmpty());
    EXPECT_EQ(a->Style(2, 2).numFmtCode, QStringLiteral("0.00"));
    EXPECT_DOUBLE_EQ(a->RowHeight(2), 30);
    EXPECT_EQ(a->RowHeight(4), 0);  // hidden
    EXPECT_EQ(a->RowHeight(7), 0);
    EXPECT_EQ(a->Style(5, 4).numFmtCode, QStringLiteral("0.00"));  // the row's style, on an empty cell
}

// A workbook file is read by offset while it is open, not held in memory: another program may
// write over it, cut it short or replace it meanwhile (a watched folder's file being copied
// again). A replaced file leaves the open workbook reading the version it opened; one cut short
// is refused when its parts are read, with the reader's usual error, and never crashes.
TEST(LazyReading, AFileReplacedOrCutShortWhileOpenIsReadAsOpenedOrRefused) {
    const QString fixture = fixtures::Path(QStringLiteral("relocation.xlsx"));
    ASSERT_FIXTURE(fixture);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("Sales.xlsx"));
    const QByteArray original = testsupport::ReadBytes(fixture);
    testsupport::WriteBytes(path, original);
    const QString other = tmp.filePath(QStringLiteral("other.xlsx"));
    testsupport::WriteBytes(other, testsupport::ReadBytes(fixtures::Path(QStringLiteral("sizes.xlsx"))));

    Application app;
    Workbook* replaced = app.Workbooks().Open(path);
    ASSERT_EQ(std::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0);
    // Nothing of the sheet was read at opening; it is read now, from the file as it was opened.
    EXPECT_FALSE(replaced->Data().IsSheetRead(0));
    EXPECT_EQ(replaced->Sheets().Item(1)->Range(QStringLiteral("A1")).Value(),
              CellValue::Text(QStringLiteral("Region")));
    EXPECT_FALSE(RangePicture(replaced->Sheets().Item(1)->Range(QStringLiteral("A1:C5"))).isNull());
    replaced->Close();

    testsupport::WriteBytes(path, original);
    Application again;
    Workbook* cut = again.Workbooks().Open(path);
    ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), 200), 0);
    const QString refusal = Refusal([&] { (void)RangePicture(cut->Sheets().Item(1)->Range(QStringLiteral("A1:C5"))); });
    EXPECT_EQ(refusal, path + " is not an .xlsx workbook this program can read: the file was cut short while it "
                              "was being read")
        << refusal.toStdString();
}

// A cell's attributes are found in whatever order a producer writes them, beside attributes
// this reader does not know.
TEST(LazyReading, ACellsAttributesAreReadInAnyOrder) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("order.xlsx"));
    testsupport::WriteBytes(
        path, ZipOf(BookOf({{"S", "<worksheet " + kNs +
                                      "><sheetData><row r=\"2\">"
                                      "<c t=\"s\" s=\"1\" r=\"B2\"><v>0</v></c>"
                                      "<c cm=\"1\" x=\"y\" s=\"1\" r=\"D2\"><v>3</v></c>"
                                      "<c vm=\"1\" t=\"str\" r=\"F2\"><f>A1</f><v>result</v></c>"
                                      "<c s=\"1\"><v>4</v></c></row></sheetData></worksheet>"}},
                           "<sst " + kNs + "><si><t>hello</t></si></sst>")));
    Application app;
    Worksheet* ws = app.Workbooks().Open(path)->Sheets().Item(1);
    EXPECT_EQ(ws->Range(QStringLiteral("B2")).Value(), CellValue::Text(QStringLiteral("hello")));
    EXPECT_EQ(ws->StyleIndex(2, 2), 1u);
    EXPECT_EQ(ws->Range(QStringLiteral("D2")).Text(), QStringLiteral("3.00"));
    EXPECT_EQ(ws->Range(QStringLiteral("F2")).Value(), CellValue::Text(QStringLiteral("result")));
    // A cell without a reference follows the one before it.
    EXPECT_EQ(ws->Range(QStringLiteral("G2")).Text(), QStringLiteral("4.00"));
    EXPECT_EQ(ws->UsedRange().Address(), QStringLiteral("$B$2:$G$2"));
}

// A row of cells side by side in one style is kept without a column or a style per cell, any
// other row with them: rows of every shape read back cell by cell as written, last written
// first, and a search walks them forwards and backwards as the cells lie.
TEST(LazyReading, RowsOfEveryShapeReadBackCellByCell) {
    struct Written {
        int32_t row, col;
        bool styled;
    };
    // In the file's order; row 5 is out of order with B5 written twice, row 9 is a height alone.
    const Written cells[] = {
        {1, 1, true}, {1, 2, true}, {1, 3, true}, {1, 4, true},      // side by side, one style
        {2, 3, false}, {2, 4, false}, {2, 5, false}, {2, 6, false},  // side by side from C
        {3, 1, false}, {3, 2, false}, {3, 5, false}, {3, 6, false},  // a gap
        {4, 1, true}, {4, 2, false}, {4, 3, true},                   // styles differ
        {5, 4, false}, {5, 2, true}, {5, 3, false}, {5, 2, false},   // out of order, B5 twice
        {6, kMaxCols, true},                                         // one cell, at the last column
        {7, 2, true}, {7, 8, false},                                 // a gap and styles differ
        {10, 1, false}, {10, 2, false}};                             // after a row of its own
    QByteArray xml = "<worksheet " + kNs + "><sheetData>";
    std::map<std::pair<int32_t, int32_t>, Written> expected;
    int32_t open = 0;
    for (size_t i = 0; i < std::size(cells); ++i) {
        const Written& w = cells[i];
        if (w.row != open) {
            if (open)
                xml += "</row>";
            if (open < 9 && w.row > 9)
                xml += "<row r=\"9\" ht=\"30\" customHeight=\"1\"/>";
            xml += "<row r=\"" + QByteArray::number(w.row) + "\">";
            open = w.row;
        }
        // The value says where it was written, so that the cell kept can be told apart.
        xml += "<c r=\"" + CellAddress(w.row, w.col, false, false).toLatin1() + "\"" + (w.styled ? " s=\"1\"" : "") +
               "><v>" + QByteArray::number(qulonglong(i + 1)) + "</v></c>";
        expected[{w.row, w.col}] = w;
    }
    xml += "</row></sheetData></worksheet>";
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("shapes.xlsx"));
    testsupport::WriteBytes(path, ZipOf(BookOf({{"S", xml}})));
    Application app;
    Worksheet* ws = app.Workbooks().Open(path)->Sheets().Item(1);

    QStringList read, want;
    for (int32_t r = 1; r <= 11; ++r)
        for (int32_t c : {1, 2, 3, 4, 5, 6, 7, 8, 9, kMaxCols - 1, kMaxCols}) {
            const QString at = CellAddress(r, c, false, false);
            read << at + QLatin1Char('=') + ws->Range(at).Text() + QLatin1Char('/') + QString::number(ws->StyleIndex(r, c));
            QString value;
            bool styled = false;
            if (auto it = expected.find({r, c}); it != expected.end()) {
                size_t last = 0;
                for (size_t i = 0; i < std::size(cells); ++i)
                    if (cells[i].row == r && cells[i].col == c)
                        last = i + 1;
                styled = it->second.styled;
                value = styled ? QString::number(double(last), 'f', 2) : QString::number(last);
            }
            want << at + QLatin1Char('=') + value + QLatin1Char('/') + (styled ? QLatin1Char('1') : QLatin1Char('0'));
        }
    EXPECT_EQ(read, want);
    EXPECT_EQ(ws->UsedRange().Address(), QStringLiteral("$1:$10"));  // every column: whole rows
    EXPECT_DOUBLE_EQ(ws->RowHeight(9), 30);

    const struct {
        const char* after;
        int direction;
        const char* found;
    } searches[] = {{"F2", xlNext, "$A$3"},     {"B3", xlNext, "$E$3"},     {"D5", xlNext, "$B$7"},
                    {"H7", xlNext, "$A$10"},    {"B10", xlNext, "$A$1"},    {"A3", xlPrevious, "$F$2"},
                    {"E3", xlPrevious, "$B$3"}, {"B7", xlPrevious, "$D$5"}, {"A1", xlPrevious, "$B$10"},
                    {"A10", xlPrevious, "$H$7"}};
    const Range all = ws->Range(QStringLiteral("A1:H10"));
    for (const auto& s : searches) {
        const std::optional<Range> found =
            all.Find(QStringLiteral("*"), ws->Range(QString::fromLatin1(s.after)), xlValues, xlPart, xlByRows, s.direction);
        ASSERT_TRUE(found) << s.after;
        EXPECT_EQ(found->Address(), QString::fromLatin1(s.found)) << "after " << s.after << " direction " << s.direction;
    }
}

// A cell keeps its kind inside its value: every kind, and every number however odd its bits
// (signed zero, the smallest and largest, infinities, NaNs, one whose bits look like a stored
// string's), reads back as stored, beside its neighbours.
TEST(CellStoreTest, EveryKindAndEveryNumberReadsBackAsStored) {
    auto number = [](double v) {
        Cell c;
        c.kind = CellKind::Number;
        c.number = v;
        return c;
    };
    auto other = [](CellKind kind, uint32_t text) {
        Cell c;
        c.kind = kind;
        c.text = text;
        return c;
    };
    auto boolean = [](bool v) {
        Cell c;
        c.kind = CellKind::Boolean;
        c.number = v ? 1 : 0;
        return c;
    };
    const double looksLikeAString = std::bit_cast<double>(uint64_t(0xFFF4020000001234ull));
    const std::vector<Cell> written = {
        number(0), number(-0.0), number(2.5), number(-1e308), number(std::numeric_limits<double>::denorm_min()),
        number(std::numeric_limits<double>::max()), number(std::numeric_limits<double>::infinity()),
        number(-std::numeric_limits<double>::infinity()), number(std::numeric_limits<double>::quiet_NaN()),
        number(looksLikeAString), other(CellKind::SharedString, 0), other(CellKind::SharedString, UINT32_MAX),
        other(CellKind::Text, 7), other(CellKind::Error, 3), other(CellKind::Blank, 0), boolean(true), boolean(false)};
    CellStore store;
    std::vector<Cell> row = written;
    for (size_t i = 0; i < row.size(); ++i) {
        row[i].col = uint16_t(i + 1);
        row[i].style = uint32_t(i % 3);
    }
    RowData data;
    store.AddRow(data, row.data(), uint32_t(row.size()));
    QStringList read, want;
    auto describe = [](const Cell& c) {
        const bool holdsNumber = c.kind == CellKind::Number || c.kind == CellKind::Boolean;
        const uint64_t bits = std::bit_cast<uint64_t>(c.number);
        return QStringLiteral("%1:%2/%3/%4")
            .arg(int(c.kind))
            .arg(holdsNumber ? (std::isnan(c.number) ? QStringLiteral("nan") : QString::number(bits, 16))
                             : QString::number(c.text))
            .arg(c.col)
            .arg(c.style);
    };
    for (uint32_t i = 0; i < data.cellCount; ++i) {
        read << describe(store.At(data, i));
        want << describe(row[i]);
    }
    EXPECT_EQ(read.join(QLatin1Char(' ')).toStdString(), want.join(QLatin1Char(' ')).toStdString());
    EXPECT_EQ(store.size(), written.size());
}

// Room for a large sheet's rows is made from how many its first slice holds: a sheet whose rows
// grow long or short after that slice, or that is a run of heights alone, is read whole all the
// same, every row where it was written.
TEST(LazyReading, ASheetWhoseRowsChangeLengthAfterItsFirstSliceIsReadWhole) {
    const auto row = [](int32_t r, int cells) {
        QByteArray x = "<row r=\"" + QByteArray::number(r) + "\" ht=\"" + QByteArray::number(12 + 3 * (r % 3)) +
                       "\" customHeight=\"1\">";
        for (int c = 1; c <= cells; ++c)
            x += "<c r=\"" + CellAddress(r, c, false, false).toLatin1() + "\"><v>" + QByteArray::number(r * 100 + c) +
                 "</v></c>";
        return x + "</row>";
    };
    const struct {
        const char* what;
        int firstCells, laterCells;  // cells per row in the first 40,000 rows and after them
        int32_t rows;
    } sheets[] = {{"long rows, then short ones", 8, 1, 120000},
                  {"short rows, then long ones", 1, 12, 90000},
                  {"heights alone, then cells", 0, 4, 110000}};
    for (const auto& s : sheets) {
        QByteArray xml = "<worksheet " + kNs + "><sheetData>";
        for (int32_t r = 1; r <= s.rows; ++r)
            xml += row(r, r <= 40000 ? s.firstCells : s.laterCells);
        xml += "</sheetData></worksheet>";
        ASSERT_GT(xml.size(), qsizetype(4) << 20) << s.what;  // read in slices of 1 MB
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("rows.xlsx"));
        testsupport::WriteBytes(path, ZipOf(BookOf({{"S", xml}})));
        Application app;
        Worksheet* ws = app.Workbooks().Open(path)->Sheets().Item(1);
        EXPECT_EQ(ws->Data().rows.size(), size_t(s.rows)) << s.what;
        // A row's height, what its first cell holds and whether the cell after its last is empty.
        const auto said = [](int32_t r, double height, const CellValue& first, bool beyondEmpty) {
            return QStringLiteral("%1: %2 %3 %4")
                .arg(r)
                .arg(height)
                .arg(first.IsEmpty() ? QStringLiteral("empty") : QString::number(first.number))
                .arg(beyondEmpty ? QStringLiteral("ends") : QStringLiteral("goes on"));
        };
        QStringList read, want;
        for (const int32_t r : {1, 2, 39999, 40000, 40001, 77777, s.rows - 1, s.rows}) {
            const int cells = r <= 40000 ? s.firstCells : s.laterCells;
            read << said(r, ws->RowHeight(r), ws->Range(CellAddress(r, 1, false, false)).Value(),
                         ws->Range(CellAddress(r, cells + 1, false, false)).Value().IsEmpty());
            want << said(r, 12 + 3 * (r % 3), cells > 0 ? CellValue::Number(r * 100 + 1) : CellValue(), true);
        }
        EXPECT_EQ(read, want) << s.what;
        EXPECT_EQ(ws->UsedRange().Address(),
                  QStringLiteral("$A$%1:$%2$%3")
                      .arg(s.firstCells > 0 ? 1 : 40001)
                      .arg(ColumnName(std::max(s.firstCells, s.laterCells)))
                      .arg(s.rows))
            << s.what;
    }
}

// One parse of a workbook, as the Application keeps it, painted from on many threads at once:
// each sheet and chart is read once, and every picture is the picture painted alone.
TEST(LazyReading, AWorkbookPaintedOnManyThreadsAtOnceIsReadOnceAndAlike) {
    ASSERT_WRITER_FIXTURES();
    const QString path = writerfx::Dir() + QStringLiteral("/book.xlsx");
    QImage cells, other, chart;
    {
        Application app;
        Workbook* wb = app.Workbooks().Open(path);
        cells = RangePicture(wb->Sheets().Item(QStringLiteral("Data"))->Range(QStringLiteral("A1:E3")));
        other = RangePicture(wb->Sheets().Item(QStringLiteral("Other"))->Range(QStringLiteral("A1:B2")));
        chart = ShapePicture(*wb->Sheets().Item(QStringLiteral("Data"))->ChartObjects().Item(1)).image;
    }
    ASSERT_FALSE(cells.isNull());
    ASSERT_FALSE(chart.isNull());
    for (int round = 0; round < 3; ++round) {
        Application app;
        const std::shared_ptr<const WorkbookData> data = app.Load(path);
        constexpr int kThreads = 12;
        std::atomic<int> ready{0}, alike{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                Application mine;
                Workbook book(&mine, data, path);
                ++ready;
                while (ready < kThreads)
                    std::this_thread::yield();
                try {
                    switch (t % 3) {
                    case 0:
                        alike += RangePicture(book.Sheets().Item(QStringLiteral("Data"))->Range(QStringLiteral("A1:E3"))) == cells;
                        break;
                    case 1:
                        alike += RangePicture(book.Sheets().Item(QStringLiteral("Other"))->Range(QStringLiteral("A1:B2"))) == other;
                        break;
                    default:
                        alike += ShapePicture(*book.Sheets().Item(QStringLiteral("Data"))->ChartObjects().Item(1)).image == chart;
                    }
                } catch (const std::exception&) {
                }
            });
        for (std::thread& t : threads)
            t.join();
        EXPECT_EQ(alike, kThreads);
        EXPECT_TRUE(data->IsSheetRead(0) && data->IsSheetRead(1));
    }
}

// A sheet far larger than a slice, its cells in the "x:" prefix, with strings shared and
// inline: every cell is read, across the slices' edges and past the size inflated whole, with
// the columns before the cells and the merged areas after them.
TEST(LazyReading, ALargeSheetIsReadInSlicesAsItIsInflated) {
    constexpr int kRows = 150000, kCols = 6, kStrings = 70000;
    QByteArray sst = "<x:sst xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    for (int i = 0; i < kStrings; ++i)
        sst += "<x:si><x:t>text " + QByteArray::number(i) + "</x:t></x:si>";
    sst += "</x:sst>";
    QByteArray sheet;
    sheet.reserve(kRows * 130);
    sheet += "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
             "<x:cols><x:col min=\"2\" max=\"2\" width=\"30\" customWidth=\"1\"/></x:cols><x:sheetData>";
    double sum = 0;
    for (int r = 1; r <= kRows; ++r) {
        const QByteArray n = QByteArray::number(r);
        sheet += "<x:row r=\"" + n + "\">";
        for (int c = 1; c <= kCols; ++c) {
            const QByteArray ref = QByteArray(1, char('A' + c - 1)) + n;
            if (c == 1) {
                sheet += "<x:c r=\"" + ref + "\" t=\"s\"><x:v>" + QByteArray::number(r % kStrings) + "</x:v></x:c>";
            } else if (c == kCols && r % 1000 == 0) {
                sheet += "<x:c r=\"" + ref + "\" t=\"inlineStr\"><x:is><x:t>row " + n + "</x:t></x:is></x:c>";
            } else {
                const double v = r * 10.0 + c + 0.25;
                sum += v;
                sheet += "<x:c r=\"" + ref + "\" s=\"1\"><x:v>" + QByteArray::number(v, 'f', 2) + "</x:v></x:c>";
            }
        }
        sheet += "</x:row>";
    }
    sheet += "</x:sheetData><x:mergeCells><x:mergeCell ref=\"B2:C3\"/></x:mergeCells></x:worksheet>";
    ASSERT_GT(sheet.size(), EntryReader::kWholeBytes);

    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("large.xlsx"));
    testsupport::WriteBytes(path, ZipOf(BookOf({{"Large", sheet}}, sst)));
    Application app;
    Worksheet* ws = app.Workbooks().Open(path)->Sheets().Item(1);
    const SheetData& data = ws->Data();
    EXPECT_EQ(data.rows.size(), size_t(kRows));
    EXPECT_EQ(data.cells.size(), size_t(kRows * kCols));
    double read = 0;
    for (const RowData& row : data.rows)
        for (uint32_t i = 0; i < row.cellCount; ++i)
            if (const Cell c = data.cells.At(row, i); c.kind == CellKind::Number)
                read += c.number;
    EXPECT_DOUBLE_EQ(read, sum);
    EXPECT_EQ(ws->Range(QStringLiteral("A1")).Value(), CellValue::Text(QStringLiteral("text 1")));
    EXPECT_EQ(ws->Range(QStringLiteral("A150000")).Value(), CellValue::Text(QStringLiteral("text 10000")));
    EXPECT_EQ(ws->Range(QStringLiteral("F149000")).Value(), CellValue::Text(QStringLiteral("row 149000")));
    EXPECT_EQ(ws->Range(QStringLiteral("E77777")).Value(), CellValue::Number(777775.25));
    EXPECT_EQ(ws->UsedRange().Address(), QStringLiteral("$A$1:$F$150000"));
    EXPECT_EQ(ws->MergeAreaOf(3, 3), (RangeRef{2, 2, 3, 3}));
    // 30 in the file's unit, padding included: as Calc shows it, some 30 characters of the
    // default font.
    EXPECT_NEAR(ws->ColumnWidth(2), 30, 0.5);
}

// A zip whose sizes and offsets are in zip64 fields, its central directory found through the
// zip64 end record (Python's zipfile wrote it), is read, and saved as it is stored.
TEST(LazyReading, AZip64PackageIsReadAndSaved) {
    const QString path = fixtures::Bad(QStringLiteral("zip64.xlsx"));
    ASSERT_FIXTURE(path);
    QTemporaryDir tmp;
    const QString saved = tmp.filePath(QStringLiteral("saved.xlsx"));
    {
        Application app;
        Workbook* wb = app.Workbooks().Open(path);
        Worksheet* ws = wb->Sheets().Item(QStringLiteral("Sheet1"));
        EXPECT_EQ(ws->Range(QStringLiteral("A1")).Value(), CellValue::Text(QStringLiteral("hello")));
        EXPECT_EQ(ws->Range(QStringLiteral("B1")).Value(), CellValue::Number(1.5));
        wb->SaveAs(saved);
    }
    const auto before = StoredParts(path), after = StoredParts(saved);
    EXPECT_EQ(before.size(), after.size());
    for (const auto& [name, part] : before)
        EXPECT_TRUE(after.count(name) && after.at(name) == part) << name.toStdString();
    Application app;
    EXPECT_EQ(app.Workbooks().Open(saved)->Sheets().Item(1)->Range(QStringLiteral("B1")).Value(),
              CellValue::Number(1.5));
}

// Reading ahead for a dashboard reads the sheets its panels show, and only those.
TEST(LazyReading, ReadingAheadReadsTheSheetsAskedFor) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString path = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    Application app;
    app.Prefetch({{path, QStringLiteral("other")}, {tmp.filePath(QStringLiteral("missing.xlsx")), QString()}});
    Workbook* wb = app.Workbooks().Open(path);
    EXPECT_TRUE(wb->Data().IsSheetRead(1));   // "Other", named without regard to case
    EXPECT_FALSE(wb->Data().IsSheetRead(0));  // "Data"
    EXPECT_EQ(wb->Sheets().Item(2)->Range(QStringLiteral("A1")).Value(), CellValue::Text(QStringLiteral("x")));
    // Asked again for an unchanged file already read: its other sheet is read on.
    app.Prefetch({{path, QStringLiteral("Data")}});
    EXPECT_EQ(app.Workbooks().Open(path), wb);
    EXPECT_EQ(wb->Sheets().Item(1)->Range(QStringLiteral("B3")).Value(), CellValue::Number(20));
    EXPECT_EQ(app.CachedFiles(), 1);
}
