// Range pictures: their size as the sheet lays out widths and heights, and the pixels a user
// would notice (fills, borders, gridlines, text that spills or turns to "###").

#include "PainterSupport.h"

#include <QClipboard>
#include <QGuiApplication>

#include <gtest/gtest.h>

using painting::At;
using painting::Count;
using painting::CountColor;
using painting::Dark;

namespace {

// Where the lines of a picture of a range starting at A1 lie, by the sheet's own layout:
// openpyxl's files have 64 px columns and 20 px rows, LibreOffice's copies 61 px columns.
struct Grid {
    const xl::Worksheet* sheet;
    int X(int col) const {  // the line before column `col` (1 = A)
        int x = 0;
        for (int c = 1; c < col; ++c)
            x += sheet->ColumnWidthPixels(c);
        return x;
    }
    int Y(int row) const {
        int y = 0;
        for (int r = 1; r < row; ++r)
            y += sheet->RowHeightPixels(r);
        return y;
    }
    int W(int col) const { return sheet->ColumnWidthPixels(col); }
    int H(int row) const { return sheet->RowHeightPixels(row); }
    QRect Inside(int col, int row) const { return QRect(X(col) + 1, Y(row) + 1, W(col) - 1, H(row) - 1); }
};

// openpyxl's default column and row in pixels, for the clipboard test's fixed sizes.
constexpr int kCol = 62, kRow = 20;

class ProducerTest : public ::testing::TestWithParam<bool> {
protected:
    QString PathOf(const QString& name) const {
        return GetParam() ? fixtures::LibreOfficeCopy(name) : fixtures::Path(name);
    }
};

// painting.xlsx from either producer, with the picture of its "Pixels" sheet's A1:H19.
class PixelTest : public ProducerTest {
protected:
    void SetUp() override {
        const QString path = PathOf(QStringLiteral("painting.xlsx"));
        ASSERT_FIXTURE(path);
        wb = painting::Open(path);
        g.sheet = wb.Sheet(QStringLiteral("Pixels"));
        img = wb.Picture(QStringLiteral("Pixels"), QStringLiteral("A1:H19"));
    }
    painting::Opened wb;
    Grid g{nullptr};
    QImage img;
};

}  // namespace

TEST_P(ProducerTest, PictureSizeFollowsWidthsHeightsAndHiddenRowsAndColumns) {
    const QString path = PathOf(QStringLiteral("sizes.xlsx"));
    ASSERT_FIXTURE(path);
    auto wb = painting::Open(path);
    xl::Worksheet* s = wb.Sheet(QStringLiteral("Sizes"));
    const QImage all = wb.Picture(QStringLiteral("Sizes"), QStringLiteral("A1:E7"));
    const QImage left = wb.Picture(QStringLiteral("Sizes"), QStringLiteral("A1:B7"));
    const QImage right = wb.Picture(QStringLiteral("Sizes"), QStringLiteral("D1:E7"));
    // Hidden column C takes no room: the two sides put together (sharing one edge line).
    EXPECT_EQ(all.width(), left.width() + right.width() - 1);
    EXPECT_EQ(all.height(), left.height());
    const QImage top = wb.Picture(QStringLiteral("Sizes"), QStringLiteral("A1:E2"));
    const QImage bottom = wb.Picture(QStringLiteral("Sizes"), QStringLiteral("A4:E7"));
    EXPECT_EQ(all.height(), top.height() + bottom.height() - 1);  // hidden row 3 absent
    EXPECT_EQ(xl::RangePictureSize(*s, s->Range(QStringLiteral("A1:E7")).Ref()), all.size());
    EXPECT_THROW(wb.Picture(QStringLiteral("Sizes"), QStringLiteral("C3")), xl::Error);
    if (!GetParam()) {
        // openpyxl's widths as Calc lays them out with Calibri 11:
        // A 62, B (20) 143, C hidden, D (3) 21, E 62; rows 20, 40 (30 pt), hidden, 20,
        // 10 (7.5 pt), 20, 20; plus the left and top edge lines.
        ASSERT_EQ(s->MaxDigitWidth(), 7);
        EXPECT_EQ(all.width(), 62 + 143 + 21 + 62 + 1);
        EXPECT_EQ(all.height(), 20 + 40 + 20 + 10 + 20 + 20 + 1);
        EXPECT_EQ(left.width(), 62 + 143 + 1);
    }
}

TEST_P(PixelTest, FixedRowsAndARangeBeyondHiddenRowsMakeOnePicture) {
    const QString sheet = QStringLiteral("Pixels");
    const QImage joined = wb.Picture(sheet, QStringLiteral("A18:C31"));
    const QImage fixed = wb.Picture(sheet, QStringLiteral("A18:C19"));
    const QImage below = wb.Picture(sheet, QStringLiteral("A30:C31"));
    // Rows 20 to 29 are hidden: four rows of the range show.
    ASSERT_EQ(joined.size(), QSize(g.X(4) + 1, g.H(18) + g.H(19) + g.H(30) + g.H(31) + 1));
    // The fixed rows on top, the rows beyond the hidden ones right under them, pixel for pixel.
    EXPECT_EQ(joined.copy(0, 0, joined.width(), fixed.height() - 1),
              fixed.copy(0, 0, fixed.width(), fixed.height() - 1));
    EXPECT_EQ(joined.copy(0, fixed.height() - 1, joined.width(), below.height()), below);
}

TEST_P(PixelTest, FillsBordersAndGridlinesInTheirColours) {
    ASSERT_EQ(img.size(), QSize(g.X(9) + 1, g.Y(20) + 1));
    const QColor grid = xl::GridlineColor();
    const int mid = g.Y(2) + g.H(2) / 2;
    // B2's red fill at its centre and over its own edge lines: no gridline under a fill.
    EXPECT_EQ(At(img, g.X(2) + g.W(2) / 2, mid), QColor(Qt::red));
    EXPECT_EQ(At(img, g.X(2), mid), QColor(Qt::red));
    EXPECT_EQ(At(img, g.X(3), mid), QColor(Qt::red));
    EXPECT_EQ(At(img, g.X(2) + 10, g.Y(3)), QColor(Qt::red));
    // Gridlines elsewhere, in the gridline colour, on both axes and on the picture's edges.
    EXPECT_EQ(At(img, g.X(4), mid), grid);
    EXPECT_EQ(At(img, 10, g.Y(2)), grid);
    EXPECT_EQ(At(img, 0, mid), grid);
    EXPECT_EQ(At(img, 10, 0), grid);
    EXPECT_EQ(At(img, 10, g.Y(2) + 5), QColor(Qt::white));
    // A pattern fill paints in its foreground colour (LibreOffice saves it as a solid fill
    // of a paler yellow).
    EXPECT_EQ(At(img, g.X(8) + g.W(8) / 2, mid),
              GetParam() ? QColor(0xFF, 0xFF, 0x90) : QColor(Qt::yellow));

    const int row4 = g.Y(4) + g.H(4) / 2;
    // B4: thick blue on all sides, three pixels across its lines.
    for (int dx : {-1, 0, 1}) {
        EXPECT_EQ(At(img, g.X(2) + dx, row4), QColor(Qt::blue)) << dx;
        EXPECT_EQ(At(img, g.X(3) + dx, row4), QColor(Qt::blue)) << dx;
    }
    EXPECT_EQ(At(img, g.X(2) + g.W(2) / 2, g.Y(4)), QColor(Qt::blue));
    EXPECT_EQ(At(img, g.X(2) + g.W(2) / 2, g.Y(5)), QColor(Qt::blue));
    EXPECT_EQ(At(img, g.X(2) + 3, row4), QColor(Qt::white));
    // D4: medium green, two pixels.
    const QColor green(0x00, 0xB0, 0x50);
    EXPECT_EQ(At(img, g.X(4), row4), green);
    EXPECT_EQ(At(img, g.X(4) + 1, row4), green);
    // F4: double black: two lines with a blank between them.
    EXPECT_EQ(At(img, g.X(6) - 1, row4), QColor(Qt::black));
    EXPECT_EQ(At(img, g.X(6), row4), QColor(Qt::white));
    EXPECT_EQ(At(img, g.X(6) + 1, row4), QColor(Qt::black));
    // F6: thin magenta, one pixel on the line.
    const int row6 = g.Y(6) + g.H(6) / 2;
    EXPECT_EQ(At(img, g.X(6), row6), QColor(Qt::magenta));
    EXPECT_EQ(At(img, g.X(6) + 1, row6), QColor(Qt::white));
    // B6 dashed red and D6 dotted black: broken lines, both colours and gaps along them.
    const QRect dashedBottom(g.X(2) + 2, g.Y(7), g.W(2) - 4, 1);
    const int red = CountColor(img, Qt::red, dashedBottom);
    EXPECT_GT(red, g.W(2) / 2);
    EXPECT_LT(red, g.W(2) - 4);
    const QRect dottedTop(g.X(4) + 2, g.Y(6), g.W(4) - 4, 1);
    const int black = CountColor(img, Qt::black, dottedTop);
    EXPECT_GT(black, g.W(4) / 4);
    EXPECT_LT(black, g.W(4) - 4);

    // B8:D10 merged and green: one area, no gridline anywhere inside it.
    const QRect merged(QPoint(g.X(2), g.Y(8)), QPoint(g.X(5), g.Y(11)));
    EXPECT_EQ(CountColor(img, grid, merged), 0);
    EXPECT_EQ(At(img, g.X(3), g.Y(9) + 3), green);
    EXPECT_EQ(At(img, g.X(3) + 10, g.Y(9)), green);
    // Its text is drawn once, centred in the whole area: only the middle cell has other
    // pixels than the fill.
    auto notGreen = [&](QColor c) { return c != green; };
    EXPECT_GT(Count(img, g.Inside(3, 9), notGreen), 20);
    EXPECT_EQ(Count(img, g.Inside(2, 8), notGreen), 0);
    EXPECT_EQ(Count(img, g.Inside(4, 10), notGreen), 0);
}

TEST_P(PixelTest, TextSpillsIntoEmptyNeighboursAndWideNumbersTurnToHashes) {
    const QColor grid = xl::GridlineColor();
    // A12 runs on over B12 and C12, with no gridline between them.
    EXPECT_GT(Count(img, g.Inside(2, 12), Dark), 20);
    EXPECT_GT(Count(img, g.Inside(3, 12), Dark), 20);
    EXPECT_LT(CountColor(img, grid, QRect(g.X(2), g.Y(12) + 1, 1, g.H(12) - 1)), 3);
    EXPECT_EQ(CountColor(img, grid, QRect(g.X(2), g.Y(13) + 1, 1, g.H(13) - 1)), g.H(13) - 1);
    // A13's neighbour holds a value: the text stops at it; C13 stays blank.
    EXPECT_EQ(Count(img, g.Inside(3, 13), Dark), 0);
    // A14's number doesn't fit: "#" signs inside its own cell, nothing beyond.
    EXPECT_GT(Count(img, g.Inside(1, 14), Dark), 20);
    EXPECT_EQ(Count(img, g.Inside(2, 14), Dark), 0);
    // The 32767-character text fills its row to the picture's edge.
    EXPECT_GT(Count(img, g.Inside(8, 16), Dark), 20);

    // A text left of the range spills into it as it does on screen.
    const QImage beside = wb.Picture(QStringLiteral("Pixels"), QStringLiteral("B12:E13"));
    const int left = g.X(2);
    auto in = [&](int col, int row) { return g.Inside(col, row).translated(-left, -g.Y(12)); };
    EXPECT_GT(Count(beside, in(2, 12), Dark), 20);
    EXPECT_GT(Count(beside, in(3, 12), Dark), 20);
    EXPECT_EQ(Count(beside, in(3, 13), Dark), 0);
    EXPECT_EQ(beside.copy(in(3, 12)), img.copy(g.Inside(3, 12)));
}

TEST_P(PixelTest, HiddenGridlinesAndColoursSetInMemory) {
    const Grid n{wb.Sheet(QStringLiteral("NoGrid"))};
    const QImage none = wb.Picture(QStringLiteral("NoGrid"), QStringLiteral("A1:D4"));
    ASSERT_EQ(none.size(), QSize(n.X(5) + 1, n.Y(5) + 1));
    // LibreOffice keeps the sheet view only when it saves from a window; a headless copy
    // shows gridlines again, and so must its picture.
    const bool shown = wb.Sheet(QStringLiteral("NoGrid"))->ShowGridLines();
    if (shown) {
        EXPECT_GT(CountColor(none, xl::GridlineColor()), 4 * n.X(5));
    } else {
        EXPECT_EQ(CountColor(none, xl::GridlineColor()), 0);
    }
    if (!GetParam()) {
        EXPECT_FALSE(shown);
    }
    EXPECT_EQ(At(none, n.X(3) + n.W(3) / 2, n.Y(3) + n.H(3) / 2), QColor(Qt::blue));
    EXPECT_GT(Count(none, n.Inside(2, 2), Dark), 10);

    // Interior.Color set by the program shows in the next picture.
    xl::Worksheet* s = wb.Sheet(QStringLiteral("Pixels"));
    s->Range(QStringLiteral("E2")).GetInterior().SetColor(xl::RGB(0, 128, 255));
    const QImage after = wb.Picture(QStringLiteral("Pixels"), QStringLiteral("A1:F3"));
    EXPECT_EQ(At(after, g.X(5) + g.W(5) / 2, g.Y(2) + g.H(2) / 2), QColor(0, 128, 255));
}

std::string ProducerName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "LibreOffice" : "openpyxl";
}
INSTANTIATE_TEST_SUITE_P(Producers, ProducerTest, ::testing::Values(false, true), ProducerName);
INSTANTIATE_TEST_SUITE_P(Producers, PixelTest, ::testing::Values(false, true), ProducerName);

TEST(PainterLimits, HugeRangesAreRefusedAndHugeCellsStillPaint) {
    const QString path = fixtures::Path(QStringLiteral("painting.xlsx"));
    ASSERT_FIXTURE(path);
    auto wb = painting::Open(path);
    xl::Worksheet* s = wb.Sheet(QStringLiteral("Pixels"));
    // 10,000 columns of 64 px: far wider than any picture; a clear error, at once.
    try {
        xl::RangePicture(s->Range(xl::CellAddress(1, 1) + QLatin1Char(':') +
                                  xl::CellAddress(2, 10000)));
        FAIL() << "a 10,000-column range was painted";
    } catch (const xl::Error& e) {
        EXPECT_TRUE(e.Message().contains(QLatin1String("32767"))) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(QLatin1String("Pixels!"))) << e.Message().toStdString();
    }
    EXPECT_THROW(xl::RangePicture(s->Range(QStringLiteral("A:A"))), xl::Error);
    EXPECT_THROW(xl::RangePicture(s->Range(QStringLiteral("A1:XFD1048576"))), xl::Error);
    // Only hidden rows: nothing to show, said so.
    try {
        xl::RangePicture(s->Range(QStringLiteral("A20:C29")));
        FAIL() << "a range of hidden rows was painted";
    } catch (const xl::Error& e) {
        EXPECT_TRUE(e.Message().contains(QLatin1String("hidden")));
    }
    // A 32767-character cell and a 409-point font paint in their rows' room.
    EXPECT_EQ(xl::RangePicture(s->Range(QStringLiteral("A16:B17"))).size(),
              QSize(2 * kCol + 1, 2 * kRow + 1));
    // A row tall enough for the 409-point text.
    s->Range(QStringLiteral("A17")).SetRowHeight(400);
    const QImage big = xl::RangePicture(s->Range(QStringLiteral("A17")));
    EXPECT_EQ(big.height(), 534);
    EXPECT_GT(painting::Count(big, big.rect(), Dark), 1000);
}

TEST(PainterClipboard, CopyPicturePutsTheBitmapOnTheClipboard) {
    const QString path = fixtures::Path(QStringLiteral("painting.xlsx"));
    ASSERT_FIXTURE(path);
    auto wb = painting::Open(path);
    QGuiApplication::clipboard()->clear();
    wb.Sheet(QStringLiteral("Pixels"))->Range(QStringLiteral("A1:C3")).CopyPicture(xl::xlScreen, xl::xlBitmap);
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(3 * kCol + 1, 3 * kRow + 1));
    EXPECT_EQ(copied.pixelColor(kCol + kCol / 2, kRow + kRow / 2), QColor(Qt::red));
}

TEST_P(PixelTest, TurnedTextRunsUpAndDoubleUnderlinesHaveTwoLines) {
    const Grid t{wb.Sheet(QStringLiteral("Turned"))};
    const QImage img = wb.Picture(QStringLiteral("Turned"), QStringLiteral("A1:C2"));
    const auto inkOf = painting::Ink;
    const QRect up = inkOf(img, t.Inside(1, 1));
    const QRect level = inkOf(img, t.Inside(2, 1));
    ASSERT_FALSE(up.isEmpty());
    ASSERT_FALSE(level.isEmpty());
    EXPECT_GT(up.height(), 2 * up.width());
    EXPECT_GT(level.width(), level.height());
    // Two separate lines under "Twice": below its letters, some rows dark across the whole
    // word, with a light row between them.
    const QRect twice = inkOf(img, t.Inside(1, 2));
    ASSERT_FALSE(twice.isEmpty());
    std::vector<bool> fullRow;
    for (int y = twice.top(); y <= twice.bottom(); ++y)
        fullRow.push_back(Count(img, QRect(twice.left(), y, twice.width(), 1), Dark) >=
                          twice.width() * 9 / 10);
    int runs = 0;
    for (size_t i = 0; i < fullRow.size(); ++i)
        runs += fullRow[i] && (i == 0 || !fullRow[i - 1]) ? 1 : 0;
    EXPECT_EQ(runs, 2);

    // Shrunk to fit, the number shows in smaller type where its neighbour shows "#" signs.
    const QImage nums = wb.Picture(QStringLiteral("Turned"), QStringLiteral("A3:B3"));
    const QRect shrunk = inkOf(nums, QRect(1, 1, t.W(1) - 1, t.H(3) - 1));
    const QRect hashes = inkOf(nums, QRect(t.W(1) + 1, 1, t.W(2) - 1, t.H(3) - 1));
    ASSERT_FALSE(shrunk.isEmpty());
    ASSERT_FALSE(hashes.isEmpty());
    EXPECT_LT(shrunk.height(), hashes.height());
    EXPECT_GT(shrunk.width(), t.W(1) * 3 / 4);
}

TEST_P(PixelTest, HorizontalAndVerticalAlignments) {
    const Grid a{wb.Sheet(QStringLiteral("Align"))};
    const QImage img = wb.Picture(QStringLiteral("Align"), QStringLiteral("A1:C7"));
    auto ink = [&](const QRect& box) { return painting::Ink(img, box); };
    auto row = [&](int r) { return QRect(1, a.Y(r) + 1, a.X(4) - 2, a.H(r) - 1); };
    const int cellMid = a.W(1) / 2;
    // Centred across A1:C1: the middle of the three columns, not of A1.
    const QRect across = ink(row(1));
    ASSERT_FALSE(across.isEmpty());
    EXPECT_NEAR(across.center().x(), a.X(4) / 2, 4);
    // Fill repeats the text across its cell, and only its cell.
    const QRect fill = ink(row(2));
    ASSERT_FALSE(fill.isEmpty());
    EXPECT_GT(fill.width(), a.W(1) * 2 / 3);
    EXPECT_LT(fill.right(), a.X(2));
    // Indented text starts further right than plain text; centred text sits in the middle;
    // a number hugs the right edge.
    const QRect indented = ink(row(3)), plain = ink(row(4)), mid = ink(row(5)), number = ink(row(6));
    ASSERT_FALSE(indented.isEmpty() || plain.isEmpty() || mid.isEmpty() || number.isEmpty());
    EXPECT_GE(indented.left(), plain.left() + 10);
    EXPECT_LE(plain.left(), 5);
    EXPECT_NEAR(mid.center().x(), cellMid, 3);
    EXPECT_GE(number.right(), a.X(2) - 6);
    // In a tall row, "Up" at the top and "Down" at the bottom.
    const QRect up = ink(QRect(1, a.Y(7) + 1, a.W(1) - 1, a.H(7) - 1));
    const QRect down = ink(QRect(a.X(2) + 1, a.Y(7) + 1, a.W(2) - 1, a.H(7) - 1));
    ASSERT_FALSE(up.isEmpty() || down.isEmpty());
    EXPECT_LT(up.top() - a.Y(7), 8);
    EXPECT_LT(a.Y(8) - down.bottom(), 8);
    EXPECT_GT(down.top(), up.bottom());
}
