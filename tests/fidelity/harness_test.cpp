// The oracle itself: where CalcScreen says a range's lines are, Calc's window draws its grid
// lines, pixel for pixel. Every other fidelity check stands on this.

#include "CalcScreen.h"

#include <gtest/gtest.h>

#include <QHash>

namespace {

using fidelity::CalcScreen;

// The colour Calc draws most of a line in: the grid colour along a grid line, the cells'
// white beside it.
QRgb Along(const QImage& img, bool vertical, int at, int from, int to) {
    QHash<QRgb, int> counts;
    QRgb best = 0;
    for (int i = from; i <= to; ++i) {
        const QRgb c = (vertical ? img.pixel(at, i) : img.pixel(i, at)) & 0xFFFFFF;
        if (++counts[c] > counts.value(best))
            best = c;
    }
    return best;
}

TEST(CalcScreenHarness, LinesAreWhereCalcDrawsItsGrid) {
    CalcScreen& calc = CalcScreen::Shared();
    ASSERT_TRUE(calc.Ready()) << calc.Why().toStdString();
    QString why;
    const QStringList made =
        calc.MakeWorkbooks(QStringLiteral("calc_harness_workbooks.py"), calc.Folder(QStringLiteral("harness")), &why);
    ASSERT_EQ(made.size(), 1) << why.toStdString();
    // From the second column and row on, so that the lines before the range are the sheet's.
    const std::optional<fidelity::ShownRange> shown =
        calc.ShowRange(made.first(), QStringLiteral("Grid"), QStringLiteral("B2:G6"), &why);
    ASSERT_TRUE(shown) << why.toStdString();
    EXPECT_TRUE(shown->leftLineIsGrid);
    EXPECT_TRUE(shown->topLineIsGrid);
    ASSERT_EQ(shown->cols.size(), 7u);
    ASSERT_EQ(shown->rows.size(), 6u);
    // The hidden column D takes no room.
    EXPECT_EQ(shown->cols[2], shown->cols[3]);
    const QImage& img = shown->picture;
    ASSERT_EQ(img.size(), shown->area.size());
    const QRgb white = 0xFFFFFF;
    const int bottom = shown->rows.back(), right = shown->cols.back();
    for (size_t i = 0; i < shown->cols.size(); ++i) {
        const int x = shown->cols[i];
        const QRgb line = Along(img, true, x, 1, bottom - 1);
        EXPECT_NE(line, white) << "no grid line at column line " << i << " (x " << x << ")";
        if (x > 0) {
            EXPECT_EQ(Along(img, true, x - 1, 1, bottom - 1), white) << "a line before column line " << i;
        }
        if (x < right) {
            EXPECT_EQ(Along(img, true, x + 1, 1, bottom - 1), white) << "a line after column line " << i;
        }
    }
    for (size_t i = 0; i < shown->rows.size(); ++i) {
        const int y = shown->rows[i];
        EXPECT_NE(Along(img, false, y, 1, right - 1), white) << "no grid line at row line " << i << " (y " << y << ")";
        if (y > 0) {
            EXPECT_EQ(Along(img, false, y - 1, 1, right - 1), white) << "a line above row line " << i;
        }
        if (y < bottom) {
            EXPECT_EQ(Along(img, false, y + 1, 1, right - 1), white) << "a line below row line " << i;
        }
    }
}

}  // namespace
