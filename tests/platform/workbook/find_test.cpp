// Find and the used range with the spreadsheet's rules, on relocation.xlsx: sheet "Data" has
// "alpha" in B1 and A4, "Alpha beta" in B2, "ALPHA" in D2, 0.5 shown as 50% in E3, "Total"
// in C9, "wide row" in K5 and "last" in H12.

#include "platform/workbook/Workbook.h"

#include "WorkbookFixtures.h"

using namespace xl;

class FindTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString path = fixtures::Path(QStringLiteral("relocation.xlsx"));
        ASSERT_FIXTURE(path);
        ws_ = app_.Workbooks().Open(path)->Sheets().Item(QStringLiteral("Data"));
    }
    QString Found(const Range& in, const QString& what, std::optional<Range> after = std::nullopt,
                  int lookAt = xlPart, int order = xlByRows, int direction = xlNext) {
        auto r = in.Find(what, after, xlValues, lookAt, order, direction);
        return r ? r->Address() : QStringLiteral("not found");
    }
    Application app_;
    Worksheet* ws_ = nullptr;
};

TEST_F(FindTest, StartsAfterTheFirstCellAndWraps) {
    const Range all = ws_->Cells();
    // A1 is skipped first, so the first "alpha" by rows is B1.
    EXPECT_EQ(Found(all, "alpha", std::nullopt, xlWhole), "$B$1");
    EXPECT_EQ(Found(all, "alpha", ws_->Range("B1"), xlWhole), "$D$2");  // case ignored
    EXPECT_EQ(Found(all, "alpha", ws_->Range("D2"), xlWhole), "$A$4");
    EXPECT_EQ(Found(all, "alpha", ws_->Range("A4"), xlWhole), "$B$1");  // wrapped
    // By columns: down column A first.
    EXPECT_EQ(Found(all, "alpha", std::nullopt, xlWhole, xlByColumns), "$A$4");
    EXPECT_EQ(Found(all, "alpha", ws_->Range("A4"), xlWhole, xlByColumns), "$B$1");
    // Backwards from the first cell wraps to the end of the sheet.
    EXPECT_EQ(Found(all, "alpha", std::nullopt, xlWhole, xlByRows, xlPrevious), "$A$4");
    EXPECT_EQ(Found(all, "alpha", ws_->Range("A4"), xlWhole, xlByRows, xlPrevious), "$D$2");
}

TEST_F(FindTest, AMatchInTheFirstCellIsFoundLast) {
    const Range area = ws_->Range("A1:D4");
    EXPECT_EQ(Found(area, "Region"), "$A$1");  // the only match, found after wrapping
    const Range fromB1 = ws_->Range("B1:D4");
    EXPECT_EQ(Found(fromB1, "alpha", std::nullopt, xlWhole), "$D$2");
    EXPECT_EQ(Found(fromB1, "alpha", ws_->Range("D2"), xlWhole), "$B$1");
}

TEST_F(FindTest, WholeAgainstPartAndWildcards) {
    const Range all = ws_->Cells();
    EXPECT_EQ(Found(all, "beta", std::nullopt, xlWhole), "not found");
    EXPECT_EQ(Found(all, "beta", std::nullopt, xlPart), "$B$2");
    EXPECT_EQ(Found(all, "alpha b*", std::nullopt, xlWhole), "$B$2");
    EXPECT_EQ(Found(all, "?otal", std::nullopt, xlWhole), "$C$9");
    EXPECT_EQ(Found(all, "tot", std::nullopt, xlPart), "$C$9");
    EXPECT_EQ(Found(all, "TOTAL", std::nullopt, xlWhole), "$C$9");
    EXPECT_EQ(Found(all, "nowhere"), "not found");
    EXPECT_EQ(Found(ws_->Range("A1:B2"), "Total"), "not found");  // only inside the range
    // "~*" is a literal star, which no cell holds.
    EXPECT_EQ(Found(all, "~*"), "not found");
    // Matching case when asked.
    auto exact = all.Find("ALPHA", std::nullopt, xlValues, xlWhole, xlByRows, xlNext, true);
    ASSERT_TRUE(exact);
    EXPECT_EQ(exact->Address(), "$D$2");
}

TEST_F(FindTest, SearchesDisplayedValues) {
    // 12 shows as 12; a number is found by its text.
    EXPECT_EQ(Found(ws_->Cells(), "12", std::nullopt, xlWhole), "$F$6");
    ASSERT_EQ(ws_->Range("E3").Text(), QLatin1String("50%"));
    EXPECT_EQ(Found(ws_->Cells(), "50%", std::nullopt, xlWhole), "$E$3");
    EXPECT_EQ(Found(ws_->Cells(), "0.5", std::nullopt, xlWhole), "not found");
}

TEST_F(FindTest, EditedValuesAreSearchedToo) {
    ws_->Range("AB200").SetValue(CellValue::Text(QString()));  // shows nothing: not "used" by Find
    auto last = ws_->Cells().Find("*", std::nullopt, xlValues, xlPart, xlByRows, xlPrevious);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->Row(), 12);
    ws_->Range("Z100").SetValue(CellValue::Text("planted"));
    ws_->Range("C9").SetValue(CellValue{});  // "Total" emptied
    EXPECT_EQ(Found(ws_->Cells(), "planted"), "$Z$100");
    EXPECT_EQ(Found(ws_->Cells(), "Total"), "not found");
    EXPECT_EQ(ws_->UsedRange().Address(), "$A$1:$AB$200");
}

TEST_F(FindTest, LastUsedCellAndUsedRange) {
    const Range all = ws_->Cells();
    auto lastRow = all.Find("*", std::nullopt, xlValues, xlPart, xlByRows, xlPrevious);
    auto lastCol = all.Find("*", std::nullopt, xlValues, xlPart, xlByColumns, xlPrevious);
    ASSERT_TRUE(lastRow && lastCol);
    EXPECT_EQ(lastRow->Row(), 12);
    EXPECT_EQ(lastCol->Column(), 11);  // K5 is the widest row, though not the last
    EXPECT_EQ(ws_->UsedRange().Address(), "$A$1:$K$12");
    Worksheet* empty = ws_->Parent()->Sheets().Item(QStringLiteral("Empty"));
    EXPECT_FALSE(empty->Cells().Find("*"));
    EXPECT_EQ(empty->UsedRange().Address(), "$A$1");
    Worksheet* tall = ws_->Parent()->Sheets().Item(QStringLiteral("Tall"));
    auto deep = tall->Cells().Find("*", std::nullopt, xlValues, xlPart, xlByRows, xlPrevious);
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->Address(), "$B$70000");
    EXPECT_EQ(tall->UsedRange().Address(), "$A$40000:$B$70000");
}

// From every start cell of an area, by rows and by columns, forwards and backwards: Find gives
// the first cell, counted one by one in the search's order from the start cell and wrapping,
// that is not hidden and shows a text the search takes. Rows hold matches on both sides of
// most start cells, and an edited value and a hidden row and column are among them.
TEST_F(FindTest, FindsTheNearestMatchFromEveryStartCell) {
    ws_->Range("F6").SetValue(CellValue::Text("alpha"));
    ws_->Range("J2").SetValue(CellValue::Text("ALPHA"));
    ws_->Range("A3").SetRowHeight(0);
    ws_->Range("E1").SetColumnWidth(0);
    const Range area = ws_->Range("A1:L13");
    const RangeRef R = area.Ref();
    struct Search {
        const char* what;
        int lookAt;
        bool (*takes)(const QString& shown);
    };
    const Search searches[] = {
        {"*", xlPart, [](const QString& shown) { return !shown.isEmpty(); }},
        {"alpha", xlWhole, [](const QString& shown) { return shown.compare("alpha", Qt::CaseInsensitive) == 0; }},
    };
    for (const Search& search : searches) {
        std::vector<std::vector<bool>> hit(size_t(R.row2 + 1), std::vector<bool>(size_t(R.col2 + 1)));
        for (int32_t r = R.row1; r <= R.row2; ++r)
            for (int32_t c = R.col1; c <= R.col2; ++c) {
                const Range cell = ws_->Cells(r, c);
                hit[r][c] = cell.RowHeight() > 0 && cell.ColumnWidth() > 0 && search.takes(cell.Text());
            }
        const int64_t nRows = R.Rows(), nCols = R.Cols(), N = nRows * nCols;
        for (const int order : {xlByRows, xlByColumns})
            for (const int direction : {xlNext, xlPrevious})
                for (int32_t r0 = R.row1; r0 <= R.row2; ++r0)
                    for (int32_t c0 = R.col1; c0 <= R.col2; ++c0) {
                        auto at = [&](int64_t p) {
                            p = ((p % N) + N) % N;
                            return order == xlByRows ? std::pair<int32_t, int32_t>(R.row1 + p / nCols, R.col1 + p % nCols)
                                                     : std::pair<int32_t, int32_t>(R.row1 + p % nRows, R.col1 + p / nRows);
                        };
                        const int64_t start = order == xlByRows ? (r0 - R.row1) * nCols + (c0 - R.col1)
                                                                : (c0 - R.col1) * nRows + (r0 - R.row1);
                        QString expected = QStringLiteral("not found");
                        for (int64_t k = 1; k <= N; ++k) {
                            const auto [r, c] = at(direction == xlNext ? start + k : start - k);
                            if (hit[r][c]) {
                                expected = ws_->Cells(r, c).Address();
                                break;
                            }
                        }
                        ASSERT_EQ(Found(area, search.what, ws_->Cells(r0, c0), search.lookAt, order, direction), expected)
                            << search.what << (order == xlByRows ? " by rows " : " by columns ")
                            << (direction == xlNext ? "next" : "previous") << " after "
                            << ws_->Cells(r0, c0).Address().toStdString();
                    }
    }
}

TEST_F(FindTest, RefusesAStartCellOutsideTheRange) {
    EXPECT_THROW(ws_->Range("A1:B2").Find("alpha", ws_->Range("C3")), Error);
    EXPECT_FALSE(ws_->Cells().Find(""));
}

TEST(FindHidden, ValuesInHiddenRowsAndColumnsAreFoundOnlyAmongStoredValues) {
    const QString path = fixtures::Path(QStringLiteral("sizes.xlsx"));
    ASSERT_FIXTURE(path);
    Application app;
    Worksheet* ws = app.Workbooks().Open(path)->Sheets().Item(QStringLiteral("Sizes"));
    // Row 3 and column C are hidden: 31 sits in A3, 13 in C1.
    EXPECT_FALSE(ws->Cells().Find("31", std::nullopt, xlValues, xlWhole));
    EXPECT_FALSE(ws->Cells().Find("13", std::nullopt, xlValues, xlWhole));
    auto stored = ws->Cells().Find("31", std::nullopt, xlFormulas, xlWhole);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->Address(), "$A$3");
    // Shown again in memory, the value is found.
    ws->Rows(3).SetRowHeight(15);
    auto shown = ws->Cells().Find("31", std::nullopt, xlValues, xlWhole);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->Address(), "$A$3");
}
