// Reading the single clipboard formats: the spreadsheet link, the object descriptor and the
// copied text, from payloads captured in LibreOffice Calc and from damaged variants of them.

#include "Payloads.h"
#include "platform/desktop/ClipboardPayload.h"

#include <gtest/gtest.h>

using namespace desk;

namespace {

const QString kLinkTarget = QStringLiteral("application/x-openoffice-link;windows_formatname=\"Link\"");

SheetLink CapturedLink(const QString& caseName) {
    const auto link = ParseSheetLink(payloads::Bytes(caseName, kLinkTarget));
    EXPECT_TRUE(link.has_value()) << caseName.toStdString();
    return link.value_or(SheetLink{});
}

QString DescriptorTarget(const QString& caseName) {
    for (const QString& t : payloads::Targets(caseName))
        if (t.startsWith(QLatin1String(kObjectDescriptorFormat)))
            return t;
    return {};
}

}  // namespace

TEST(SheetLinkTest, CapturedLinksGiveDocumentSheetAndRange) {
    struct Case {
        const char* name;
        const char* document;
        const char* sheet;
        const char* range;
    };
    const Case cases[] = {
        {"range", "/tmp/cap/wb/Sales.xlsx", "Data", "A2:C4"},
        {"single-cell", "/tmp/cap/wb/Sales.xlsx", "Data", "B3"},
        {"sheet-with-blank", "/tmp/cap/wb/Sales.xlsx", "Q1 Data", "A1:B3"},
        {"sheet-with-dot", "/tmp/cap/wb/Sales.xlsx", "Fin.2024", "A2:B3"},
        {"sheet-with-apostrophe", "/tmp/cap/wb/Budget.ods", "Bob's Q1", "A1:B2"},
        {"empty-cell", "/tmp/cap/wb/Sales.xlsx", "Fin.2024", "J4"},
        {"whole-column", "/tmp/cap/wb/Sales.xlsx", "Data", "B1:B1048576"},
        {"path-with-blank-and-accent", "/tmp/cap/wb/Q3 Résumé.xlsx", "Data", "A1:B2"},
        {"ods-link", "/tmp/cap/wb/Budget.ods", "Sheet1", "A1:C2"},
        {"range-past-data", "/tmp/cap/wb/Sales.xlsx", "Data", "A1:E10"},
        {"sparse-range", "/tmp/cap/wb/Budget.ods", "Bob's Q1", "C3:E6"},
        {"changed-not-saved", "/tmp/cap/wb/Sales.xlsx", "Data", "A2:C4"},
        {"formatted-values", "/tmp/cap/wb/Sales.xlsx", "Data", "G20:N20"},
        {"hidden-row", "/tmp/cap/wb/Sales.xlsx", "Data", "A1:C5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SheetLink link = CapturedLink(QString::fromLatin1(c.name));
        EXPECT_EQ(link.application, "soffice");
        EXPECT_EQ(link.document, QString::fromUtf8(c.document));
        EXPECT_EQ(link.sheet, QString::fromUtf8(c.sheet));
        EXPECT_EQ(link.range, QString::fromLatin1(c.range));
        EXPECT_EQ(link.marker, "calc:extref");
        EXPECT_TRUE(link.IsSaved());
    }

    const SheetLink unsaved = CapturedLink(QStringLiteral("unsaved"));
    EXPECT_EQ(unsaved.document, "Untitled 1");
    EXPECT_FALSE(unsaved.IsSaved());
    EXPECT_EQ(unsaved.sheet, "Sheet1");
    EXPECT_EQ(unsaved.range, "A1:B1");
}

TEST(SheetLinkTest, DamagedOrForeignLinksAreNotMistakenForCells) {
    EXPECT_FALSE(ParseSheetLink(QByteArray()).has_value());
    EXPECT_FALSE(ParseSheetLink(QByteArray("\0\0\0\0", 4)).has_value());
    EXPECT_FALSE(ParseSheetLink("just some text").has_value());
    EXPECT_FALSE(ParseSheetLink(QByteArray("soffice\0/a/b.xlsx", 17)).has_value());

    // A link that names a document but no cells of a sheet.
    const auto noSheet = ParseSheetLink(QByteArray("soffice\0/a/b.xlsx\0A1:B2\0calc:extref\0\0", 38));
    ASSERT_TRUE(noSheet.has_value());
    EXPECT_EQ(noSheet->sheet, "");
    EXPECT_EQ(noSheet->range, "A1:B2");

    const auto bookmark = ParseSheetLink(QByteArray("soffice\0/a/letter.odt\0Intro\0\0\0", 30));
    ASSERT_TRUE(bookmark.has_value());
    EXPECT_EQ(bookmark->range, "");

    // A document named by URL is read as the file it names.
    const auto url = ParseSheetLink(
        QByteArray("soffice\0file:///a/Q3%20Sales.xlsx\0Data.A1\0calc:extref\0\0", 52));
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->document, "/a/Q3 Sales.xlsx");
    EXPECT_TRUE(url->IsSaved());
}

TEST(SheetLinkTest, SheetReferencesInEveryQuotingAndAbsoluteForm) {
    struct Case {
        const char* reference;
        const char* sheet;
        const char* range;
    };
    const Case cases[] = {
        {"Data.A2:C4", "Data", "A2:C4"},
        {"$Data.$A$2:$C$4", "Data", "A2:C4"},
        {"$'Q1 Data'.$A$1:$B$3", "Q1 Data", "A1:B3"},
        {"'Bob''s Q1'.A1", "Bob's Q1", "A1"},
        {"''''.B2", "'", "B2"},
        {"'Fin.2024'.A2:'Fin.2024'.B3", "Fin.2024", "A2:B3"},
        {"Data.A2:Data.C4", "Data", "A2:C4"},
        {"Data.c4:a2", "Data", "A2:C4"},      // corners reordered, letters upper case
        {"Data.B3:B3", "Data", "B3"},         // a one-cell range is the cell
        {"Data.XFD1048576", "Data", "XFD1048576"},
        {"Data.XFE1", "Data", ""},            // past the last column
        {"Data.A1048577", "Data", ""},        // past the last row
        {"Data.A0", "Data", ""},
        {"Data.A1:B2:C3", "Data", ""},
        {"Data.", "Data", ""},
        {"Data.Total", "Data", ""},           // a name, not a cell
        {"A1:B2", "", "A1:B2"},
        {"'Unclosed.A1", "", ""},
        {"'Q1 Data'A1", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reference);
        QString sheet = QStringLiteral("stale");
        QString range = QStringLiteral("stale");
        SplitSheetReference(QString::fromUtf8(c.reference), &sheet, &range);
        EXPECT_EQ(sheet, QString::fromUtf8(c.sheet));
        EXPECT_EQ(range, QString::fromLatin1(c.range));
    }
}

TEST(ObjectDescriptorTest, CapturedDescriptorsGiveKindSizeAndDocument) {
    const auto chart = ParseObjectDescriptorFormat(DescriptorTarget(QStringLiteral("chart")));
    ASSERT_TRUE(chart.has_value());
    EXPECT_TRUE(chart->IsChart());
    EXPECT_EQ(chart->width, 15000);
    EXPECT_EQ(chart->height, 7500);
    EXPECT_EQ(chart->displayName, "");

    const auto cells = ParseObjectDescriptorFormat(DescriptorTarget(QStringLiteral("range")));
    ASSERT_TRUE(cells.has_value());
    EXPECT_FALSE(cells->IsChart());
    EXPECT_EQ(cells->displayName, "file:///tmp/cap/wb/Sales.xlsx");
    EXPECT_EQ(cells->typeName, "LibreOffice 7.4 Spreadsheet");
    EXPECT_EQ(cells->width, 5081);
    EXPECT_EQ(cells->height, 1589);

    // The binary block in the bytes says the same as the name, for every captured case.
    for (const char* name : {"range", "single-cell", "sheet-with-blank", "chart", "unsaved",
                             "path-with-blank-and-accent", "ods-link"}) {
        SCOPED_TRACE(name);
        const QString target = DescriptorTarget(QString::fromLatin1(name));
        const auto fromName = ParseObjectDescriptorFormat(target);
        const auto fromBytes =
            ParseObjectDescriptorBytes(payloads::Bytes(QString::fromLatin1(name), target));
        ASSERT_TRUE(fromName.has_value());
        ASSERT_TRUE(fromBytes.has_value());
        EXPECT_EQ(fromBytes->classId, fromName->classId);
        EXPECT_EQ(fromBytes->width, fromName->width);
        EXPECT_EQ(fromBytes->height, fromName->height);
        if (QLatin1String(name) != QLatin1String("path-with-blank-and-accent")) {
            EXPECT_EQ(fromBytes->displayName, fromName->displayName);
        }
    }

    // Where the two disagree, the name escapes the blank twice: only the link is trusted.
    const QString accent = DescriptorTarget(QStringLiteral("path-with-blank-and-accent"));
    EXPECT_EQ(ParseObjectDescriptorFormat(accent)->displayName,
              "file:///tmp/cap/wb/Q3%2520R%C3%A9sum%C3%A9.xlsx");
    EXPECT_EQ(ParseObjectDescriptorBytes(
                  payloads::Bytes(QStringLiteral("path-with-blank-and-accent"), accent))
                  ->displayName,
              QString::fromUtf8("file:///tmp/cap/wb/Q3%20Résumé.xlsx"));
}

TEST(ObjectDescriptorTest, TruncatedOrForeignDescriptorsAreRejected) {
    const QString target = DescriptorTarget(QStringLiteral("range"));
    const QByteArray bytes = payloads::Bytes(QStringLiteral("range"), target);
    ASSERT_GT(bytes.size(), 60);
    EXPECT_FALSE(ParseObjectDescriptorBytes(bytes.left(30)).has_value());
    EXPECT_FALSE(ParseObjectDescriptorBytes(bytes.left(60)).has_value());  // size says more
    EXPECT_FALSE(ParseObjectDescriptorBytes(QByteArray(200, '\xff')).has_value());
    EXPECT_FALSE(ParseObjectDescriptorBytes(QByteArray()).has_value());
    // A text length running past the block.
    QByteArray longText = bytes;
    longText[40] = '\xff';
    longText[41] = '\x7f';
    EXPECT_FALSE(ParseObjectDescriptorBytes(longText).has_value());

    EXPECT_FALSE(ParseObjectDescriptorFormat(QStringLiteral("text/plain;charset=utf-8")));
    EXPECT_FALSE(ParseObjectDescriptorFormat(QLatin1String(kObjectDescriptorFormat)));
}

TEST(CopiedTextTest, RowsAndCellsAsDisplayed) {
    const auto range = SplitCopiedText(QString::fromUtf8(
        payloads::Bytes(QStringLiteral("range"), QStringLiteral("text/plain;charset=utf-8"))));
    ASSERT_EQ(range.size(), 3);
    EXPECT_EQ(range[0], QStringList({"North", "120", "135"}));
    EXPECT_EQ(range[2], QStringList({"East", "143.5", "150"}));

    // A single cell comes without a line end.
    const auto single = SplitCopiedText(QString::fromUtf8(
        payloads::Bytes(QStringLiteral("single-cell"), QStringLiteral("text/plain;charset=utf-8"))));
    ASSERT_EQ(single.size(), 1);
    EXPECT_EQ(single[0], QStringList({"98"}));

    // An empty last cell is kept, and a line break inside a cell arrives as a blank.
    const auto ods = SplitCopiedText(QString::fromUtf8(
        payloads::Bytes(QStringLiteral("ods-link"), QStringLiteral("text/plain;charset=utf-8"))));
    ASSERT_EQ(ods.size(), 2);
    EXPECT_EQ(ods[0], QStringList({"alpha", "42", ""}));
    EXPECT_EQ(ods[1][0], "two Lines");
    EXPECT_EQ(ods[1][1], QString::fromUtf8("say “hi”"));

    EXPECT_TRUE(SplitCopiedText(QString()).isEmpty());
    EXPECT_EQ(SplitCopiedText(QStringLiteral("a\tb\r\nc\td\r\n")),
              QList<QStringList>({{"a", "b"}, {"c", "d"}}));
    EXPECT_EQ(SplitCopiedText(QStringLiteral("\n\n")), QList<QStringList>({{""}, {""}}));
}

namespace {

QString CapturedText(const char* caseName) {
    return QString::fromUtf8(payloads::Bytes(QString::fromLatin1(caseName),
                                             QStringLiteral("text/plain;charset=utf-8")));
}

// The cells of Data in the workbook as saved, displayed; rows 6 to 10 and columns D, E empty.
QList<QStringList> SavedData(int rows, int columns) {
    QList<QStringList> grid = {{"Region", "Q1", "Q2"}, {"North", "120", "135"},
                               {"South", "98", "101"},  {"East", "143.5", "150"},
                               {"West", "77", "80"}};
    while (grid.size() < rows)
        grid.append(QStringList());
    for (QStringList& row : grid)
        while (row.size() < columns)
            row.append(QString());
    return grid;
}

}  // namespace

TEST(CopiedTextTest, MatchesTheSavedCellsAsTheSpreadsheetCopiesThem) {
    const QList<QStringList> data = SavedData(10, 5);  // A1:E10
    EXPECT_TRUE(CopiedTextMatches(CapturedText("range"), data.mid(1, 3)));  // A2:C4
    EXPECT_TRUE(CopiedTextMatches(CapturedText("single-cell"), {{"98"}}));
    EXPECT_EQ(ExpectedCopiedText({{"98"}}), "98");
    EXPECT_TRUE(CopiedTextMatches(CapturedText("range-past-data"), data));
    // The whole column, cut to the used rows or not.
    QList<QStringList> columnB;
    for (const QStringList& row : data)
        columnB.append({row[1]});
    EXPECT_TRUE(CopiedTextMatches(CapturedText("whole-column"), columnB));
    EXPECT_TRUE(CopiedTextMatches(CapturedText("whole-column"), columnB.mid(0, 5)));

    // Edits made after the last save show.
    EXPECT_FALSE(CopiedTextMatches(CapturedText("changed-not-saved"), data.mid(1, 3)));
    QList<QStringList> edited = data.mid(1, 3);
    edited[1][1] = QStringLiteral("99");
    EXPECT_TRUE(CopiedTextMatches(CapturedText("changed-not-saved"), edited));
    EXPECT_FALSE(CopiedTextMatches(CapturedText("range"), SavedData(4, 3).mid(1, 2)));

    // A row hidden by hand is copied all the same (the edit of B3 to 99 shows here too).
    QList<QStringList> shown = SavedData(5, 3);
    shown[2][1] = QStringLiteral("99");
    EXPECT_TRUE(CopiedTextMatches(CapturedText("hidden-row"), shown));
    shown.removeAt(2);
    EXPECT_FALSE(CopiedTextMatches(CapturedText("hidden-row"), shown));

    // C3:E6 holding only D5: the text is that one cell.
    QList<QStringList> sparse(4, QStringList(3));
    sparse[2][1] = QStringLiteral("zz");
    EXPECT_TRUE(CopiedTextMatches(CapturedText("sparse-range"), sparse));
    sparse[0][0] = QStringLiteral("x");
    EXPECT_FALSE(CopiedTextMatches(CapturedText("sparse-range"), sparse));

    // An empty last cell inside the block stays, a line break in a cell becomes a blank.
    EXPECT_TRUE(CopiedTextMatches(
        CapturedText("ods-link"),
        {{"alpha", "42", ""}, {"two\nLines", QString::fromUtf8("say “hi”"), "1234.5"}}));

    // Formatted values, empty cells and leading blanks, unsqueezed by the column width.
    EXPECT_TRUE(CopiedTextMatches(CapturedText("formatted-values"),
                                  {{"12.50%", "2024-03-01", "1.00E+10", "0.1234567890123", "",
                                    "TRUE", "#DIV/0!", "  padded"}}));
    EXPECT_FALSE(CopiedTextMatches(CapturedText("formatted-values"),
                                   {{"12.50%", "2024-03-01", "1.00E+10", "0.123457", "", "TRUE",
                                     "#DIV/0!", "  padded"}}));

    // Nothing copied from empty cells, and nothing displayed, agree.
    EXPECT_TRUE(CopiedTextMatches(CapturedText("empty-cell"), {{""}}));
    EXPECT_TRUE(CopiedTextMatches(QString(), {}));
    EXPECT_FALSE(CopiedTextMatches(QString(), {{"", "1"}}));
    EXPECT_FALSE(CopiedTextMatches(CapturedText("empty-cell"), {{"x"}}));
    // Ragged rows read as empty cells; CR LF line ends are the same line ends.
    EXPECT_TRUE(CopiedTextMatches(QStringLiteral("a\t\r\nb\tc\r\n"), {{"a"}, {"b", "c"}}));
}
