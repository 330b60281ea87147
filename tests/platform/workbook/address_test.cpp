#include "platform/workbook/Address.h"

#include <gtest/gtest.h>

using namespace xl;

TEST(Address, ColumnNamesRunToXFD) {
    EXPECT_EQ(ColumnName(1), "A");
    EXPECT_EQ(ColumnName(26), "Z");
    EXPECT_EQ(ColumnName(27), "AA");
    EXPECT_EQ(ColumnName(52), "AZ");
    EXPECT_EQ(ColumnName(53), "BA");
    EXPECT_EQ(ColumnName(256), "IV");
    EXPECT_EQ(ColumnName(257), "IW");
    EXPECT_EQ(ColumnName(702), "ZZ");
    EXPECT_EQ(ColumnName(703), "AAA");
    EXPECT_EQ(ColumnName(16384), "XFD");
    EXPECT_EQ(ColumnName(16385), "");
    EXPECT_EQ(ColumnName(0), "");
    for (int32_t c : {1, 26, 27, 256, 257, 702, 703, 16384})
        EXPECT_EQ(ColumnIndex(ColumnName(c)), c) << c;
    EXPECT_EQ(ColumnIndex(u"xfd"), 16384);
    EXPECT_EQ(ColumnIndex(u"XFE"), 0);
    EXPECT_EQ(ColumnIndex(u"AAAA"), 0);
    EXPECT_EQ(ColumnIndex(u"A1"), 0);
}

TEST(Address, ParsesCellsRangesRowsAndColumns) {
    RefMarks marks;
    auto r = ParseRange(u"$B5", &marks);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, (RangeRef{5, 2, 5, 2}));
    EXPECT_TRUE(marks.colAbsolute);
    EXPECT_FALSE(marks.rowAbsolute);
    r = ParseRange(u"D9:B5");
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, (RangeRef{5, 2, 9, 4}));  // corners in any order
    r = ParseRange(u" $3:$5 ");
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, (RangeRef{3, 1, 5, kMaxCols}));
    r = ParseRange(u"B:D");
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, (RangeRef{1, 2, kMaxRows, 4}));
    r = ParseRange(u"XFD1048576");
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, (RangeRef{kMaxRows, kMaxCols, kMaxRows, kMaxCols}));
    r = ParseRange(u"A40000:IW70000");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->row2, 70000);
    EXPECT_EQ(r->col2, 257);
    for (const char16_t* bad : {u"", u"B", u"5", u"A0", u"A1048577", u"XFE1", u"B5:", u":B5",
                                u"B5:7", u"$", u"B$", u"1A", u"A 1", u"A1:B2:C3", u"Sheet1!A1"})
        EXPECT_FALSE(ParseRange(bad)) << QString::fromUtf16(bad).toStdString();
}

TEST(Address, FormatsAbsoluteAndRelativeForms) {
    EXPECT_EQ(FormatAddress({3, 2, 20, 6}), "$B$3:$F$20");
    EXPECT_EQ(FormatAddress({3, 2, 20, 6}, false), "B3:F20");
    EXPECT_EQ(FormatAddress({5, 2, 5, 2}), "$B$5");
    EXPECT_EQ(FormatAddress({3, 1, 5, kMaxCols}), "$3:$5");
    EXPECT_EQ(FormatAddress({1, 2, kMaxRows, 4}, false), "B:D");
    EXPECT_EQ(FormatAddress({70000, 257, 70000, 257}), "$IW$70000");
    EXPECT_EQ(CellAddress(9, 3, true, false), "C$9");
}

TEST(Address, Intersects) {
    auto r = Intersection({1, 1, 10, 10}, {5, 5, 20, 20});
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, (RangeRef{5, 5, 10, 10}));
    EXPECT_FALSE(Intersection({1, 1, 4, 4}, {5, 5, 6, 6}));
    EXPECT_EQ(*Intersection({3, 1, 5, kMaxCols}, {1, 2, kMaxRows, 2}), (RangeRef{3, 2, 5, 2}));
}
