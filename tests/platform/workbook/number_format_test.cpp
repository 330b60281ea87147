// The number-format engine against the texts the spreadsheet shows (en-US). Where LibreOffice
// and the spreadsheet differ (the 1900 leap-year bug, rounding to the shown second, "-0"),
// the expected text is the spreadsheet's.

#include "platform/workbook/NumberFormat.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <cmath>
#include <limits>

using xl::CellValue;
using xl::FormatValue;

namespace {

struct Case {
    const char* code;
    double value;
    const char* expected;
    bool date1904 = false;
};

QString Show(const char* code, double v, bool date1904 = false, int width = 11) {
    return FormatValue(CellValue::Number(v), QString::fromUtf8(code), date1904, width).text;
}

QString ShowText(const char* code, const char* text) {
    return FormatValue(CellValue::Text(QString::fromUtf8(text)), QString::fromUtf8(code)).text;
}

void RunTable(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(Show(c.code, c.value, c.date1904).toStdString(), std::string(c.expected))
            << "format \"" << c.code << "\" value " << c.value << (c.date1904 ? " (1904)" : "");
    }
}

}  // namespace

TEST(NumberFormat, GeneralNumbers) {
    RunTable({
        {"General", 0, "0"},
        {"General", 1234567, "1234567"},
        {"General", -1234.5, "-1234.5"},
        {"General", 0.1 + 0.2, "0.3"},  // 15 significant digits hide the binary tail
        {"General", 1.0 / 3.0, "0.333333333"},
        {"General", 2.0 / 3.0, "0.666666667"},
        {"General", 12345678901, "12345678901"},
        {"General", 123456789012, "1.23457E+11"},
        {"General", 99999999999.9, "1E+11"},
        {"General", 1e20, "1E+20"},
        {"General", 1e-10, "1E-10"},
        {"General", 1.5e-9, "1.5E-09"},
        {"General", 0.0000001, "0.0000001"},
        {"General", 0.0001234567, "0.000123457"},
        {"General", 0.0000123456789, "1.23457E-05"},
        {"General", 1.23e100, "1.23E+100"},
        {"", 42.5, "42.5"},
        {"general", 7, "7"},
    });
    // A narrow column leaves fewer characters.
    EXPECT_EQ(Show("General", 3.14159265, false, 5), "3.142");
    EXPECT_EQ(Show("General", 123456, false, 5), "1E+05");
    EXPECT_EQ(Show("General", -123456, false, 5), "-1E+05");
    EXPECT_EQ(Show("General", 1.0 / 3.0, false, 20), "0.333333333333333");
}

TEST(NumberFormat, FixedThousandsScalingPercent) {
    RunTable({
        {"0", 1234.5, "1235"},
        {"0", -1234.5, "-1235"},
        {"0", 0.5, "1"},
        {"0.00", 2.675, "2.68"},  // half away from zero on the decimal value, not the binary one
        {"0.00", 1.005, "1.01"},
        {"0.00", -2.675, "-2.68"},
        {"0.000", 1, "1.000"},
        {"00000", 123, "00123"},
        {"000-00-0000", 123456789, "123-45-6789"},
        {"#,##0", 0, "0"},
        {"#,##0", 1234567, "1,234,567"},
        {"#,##0", 999.5, "1,000"},
        {"#,##0.00", 1234567.891, "1,234,567.89"},
        {"#,##0.00", -1234.5, "-1,234.50"},
        {"#,###", 0, ""},
        {"#.##", 1, "1."},
        {"#.##", 0.5, ".5"},
        {".00", 1.5, "1.50"},
        {"0.0#", 1.5, "1.5"},
        {"0.0#", 1.256, "1.26"},
        {"0.??", 1.5, "1.5 "},
        {"#,##0,", 1234567, "1,235"},
        {"0.0,,", 1234567, "1.2"},
        {"#,##0,\"K\"", 1234567, "1,235K"},
        {"0%", 0.5, "50%"},
        {"0%", 0.145, "15%"},
        {"0.0%", 0.125, "12.5%"},
        {"0.00%", -0.0123, "-1.23%"},
        {"0\"x\"", 5, "5x"},
        {"\\$0.00", 5, "$5.00"},
        {"0", 1e20, "100000000000000000000"},
        // A negative value that rounds to zero keeps its sign, as on screen.
        {"0", -0.001, "-0"},
        {"0.00", -0.001, "-0.00"},
    });
}

TEST(NumberFormat, ScientificAndFractions) {
    RunTable({
        {"0.00E+00", 12345, "1.23E+04"},
        {"0.00E+00", 0.000123, "1.23E-04"},
        {"0.00E+00", 0, "0.00E+00"},
        {"0.00E+00", -12345, "-1.23E+04"},
        {"0.00E-00", 12345, "1.23E04"},
        {"0.0E+00", 9.99, "1.0E+01"},
        {"00.0E+0", 12345, "12.3E+3"},
        {"##0.0E+0", 12345, "12.3E+3"},
        {"##0.0E+0", 0.00012345, "123.5E-6"},
        {"##0.0E+0", 1234, "1.2E+3"},
        {"# ?/?", 1.25, "1 1/4"},
        {"# ?/?", 0.5, " 1/2"},
        {"# ?/?", 2, "2    "},
        {"# ?/?", 0, "0    "},
        {"# ?/?", -1.25, "-1 1/4"},
        {"# ?/?", 3.14159265, "3 1/7"},
        {"# ?\?/??", 3.14159265, "3 14/99"},
        {"# ?\?/??", 0.3333, "  1/3 "},
        {"?/?", 0, "0/1"},
        {"?/?", 2, "2/1"},
        {"?/?", 1.25, "5/4"},
        {"?/4", 1.25, "5/4"},
        {"# ?/4", 1.25, "1 1/4"},
        {"# ?/8", 0.99, "1    "},
        {"?/4", 1e12, "4000000000000/4"},
        {"0\"/\"0", 12, "1/2"},  // a quoted "/" is text between two digits
        {"# ??\?/???", 0.1234, " 106/859"},
    });
}

TEST(NumberFormat, DatesAndTimes) {
    RunTable({
        {"yyyy-mm-dd", 45000, "2023-03-15"},
        {"m/d/yyyy", 45000, "3/15/2023"},
        {"dddd, mmmm d, yyyy", 45000, "Wednesday, March 15, 2023"},
        {"ddd mmm mmmmm", 45000, "Wed Mar M"},
        {"d-mmm-yy", 45000, "15-Mar-23"},
        {"dd/mm/yy", 45000.99, "15/03/23"},
        {"yy", 36526, "00"},
        // The 1900 system's 29 February 1900 and its day 0.
        {"yyyy-mm-dd", 1, "1900-01-01"},
        {"yyyy-mm-dd", 59, "1900-02-28"},
        {"yyyy-mm-dd", 60, "1900-02-29"},
        {"yyyy-mm-dd", 61, "1900-03-01"},
        {"m/d/yyyy", 0, "1/0/1900"},
        {"ddd", 1, "Sun"},
        {"ddd", 61, "Thu"},
        {"m/d/yyyy", 2958465, "12/31/9999"},
        // The 1904 system counts from 1 January 1904.
        {"yyyy-mm-dd", 0, "1904-01-01", true},
        {"yyyy-mm-dd", 45000, "2027-03-16", true},
        {"dddd", 0, "Friday", true},
        {"h:mm AM/PM", 45000.75, "6:00 PM"},
        {"h:mm AM/PM", 0, "12:00 AM"},
        {"h:mm am/pm", 0.5, "12:00 pm"},
        {"hh:mm A/P", 0.75, "06:00 P"},
        {"h:mm a/p", 0.25, "6:00 a"},
        {"h:mm:ss", 0.5 + 1.0 / 86400, "12:00:01"},
        {"h:mm:ss", 0.99999999, "0:00:00"},  // rounds to the shown second, into the next day
        {"h:m", 0.5 + 5.0 / 1440, "12:5"},
        {"m/d/yyyy h:mm", 45000.5, "3/15/2023 12:00"},
        {"mm:ss.0", 12.34 / 86400, "00:12.3"},
        {"h:mm:ss.00", 0.5 + 0.01 / 86400, "12:00:00.01"},
        {"[h]:mm", 1.5, "36:00"},
        {"[h]:mm:ss", 2 + 1.0 / 86400, "48:00:01"},
        {"[mm]:ss", 0.0625, "90:00"},
        {"[ss]", 1.0 / 1440, "60"},
        {"[$-409]h:mm", 0.5, "12:00"},
        {"[h]:mm;\"-\"[h]:mm", -1.5, "-36:00"},  // a negative section shows the magnitude
        {"[$-F800]dddd, mmmm dd, yyyy", 45000, "Wednesday, March 15, 2023"},
    });
    // Out of range: the cell fills with "#".
    for (double v : {-1.0, 2958466.0}) {
        const auto f = FormatValue(CellValue::Number(v), "yyyy-mm-dd");
        EXPECT_EQ(f.text, "#") << v;
        EXPECT_EQ(f.fillChar, QLatin1Char('#'));
        EXPECT_EQ(f.fillPos, 0);
    }
    EXPECT_TRUE(xl::IsDateFormat("m/d/yyyy"));
    EXPECT_TRUE(xl::IsDateFormat("[h]:mm"));
    EXPECT_FALSE(xl::IsDateFormat("0.00"));
    EXPECT_FALSE(xl::IsDateFormat("General"));
    EXPECT_FALSE(xl::IsDateFormat("\"d\"0"));
}

TEST(NumberFormat, SectionsColoursAndConditions) {
    RunTable({
        {"0;(0)", -5, "(5)"},
        {"0;(0)", 5, "5"},
        {"0;-0;\"zero\"", 0, "zero"},
        {"0;;0", -3, ""},
        {";;;", 5, ""},
        {"0.00;@", -2, "-2.00"},
        {"[>100]\"big\";[<=-5]\"neg\";\"mid\"", 150, "big"},
        {"[>100]\"big\";[<=-5]\"neg\";\"mid\"", -10, "neg"},
        {"[>100]\"big\";[<=-5]\"neg\";\"mid\"", 3, "mid"},
        {"[<=9999999]###-####;(###) ###-####", 5551234, "555-1234"},
        {"[<=9999999]###-####;(###) ###-####", 8005551234, "(800) 555-1234"},
        {"[>=100]0;[<100]0", -5, "-5"},  // an explicit condition keeps the minus sign
        {"[<0]\"(\"0\")\";0", -5, "(5)"},
        {"\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)", -1234, "($1,234)"},
    });
    auto red = FormatValue(CellValue::Number(-5), "[Blue]0;[Red]-0");
    EXPECT_EQ(red.text, "-5");
    EXPECT_EQ(red.color, QColor(255, 0, 0));
    auto blue = FormatValue(CellValue::Number(5), "[BLUE]0;[Red]-0");
    EXPECT_EQ(blue.color, QColor(0, 0, 255));
    EXPECT_FALSE(FormatValue(CellValue::Number(5), "0.00").color.isValid());
    EXPECT_EQ(FormatValue(CellValue::Number(5), "[Color10]0").color, QColor(0, 0x80, 0));
    EXPECT_EQ(FormatValue(CellValue::Number(5), "[color3]0").color, QColor(255, 0, 0));
    auto cond = FormatValue(CellValue::Number(150), "[Red][>100]0;[Green]0");
    EXPECT_EQ(cond.color, QColor(255, 0, 0));
    EXPECT_EQ(FormatValue(CellValue::Number(50), "[Red][>100]0;[Green]0").color, QColor(0, 255, 0));
}

TEST(NumberFormat, CurrencyPaddingAndFill) {
    RunTable({
        {"[$€-407]#,##0.00", 1234.5, "€1,234.50"},
        {"#,##0.00 [$€-407]", 1234.5, "1,234.50 €"},
        {"[$USD] 0", 3, "USD 3"},
    });
    // The accounting format: pads as wide as ")" and a fill of spaces after the first pad.
    const QString acct = xl::BuiltInFormatCode(43);
    auto pos = FormatValue(CellValue::Number(1234.5), acct);
    EXPECT_EQ(pos.text, " 1,234.50 ");
    EXPECT_EQ(pos.fillChar, QLatin1Char(' '));
    EXPECT_EQ(pos.fillPos, 1);
    ASSERT_EQ(pos.paddings.size(), 2);
    EXPECT_EQ(pos.paddings[0].pos, 0);
    EXPECT_EQ(pos.paddings[0].width, QLatin1Char('('));
    EXPECT_EQ(pos.paddings[1].pos, 9);
    EXPECT_EQ(pos.paddings[1].width, QLatin1Char(')'));
    EXPECT_EQ(FormatValue(CellValue::Number(-1234.5), acct).text, " (1,234.50)");
    EXPECT_EQ(FormatValue(CellValue::Number(0), acct).text, " -   ");
    auto text = FormatValue(CellValue::Text("abc"), acct);
    EXPECT_EQ(text.text, " abc ");
    EXPECT_EQ(text.paddings.size(), 2);
    // A single-section fill: the minus goes in front, the fill position moves with it.
    auto dash = FormatValue(CellValue::Number(-7), "*-0");
    EXPECT_EQ(dash.text, "-7");
    EXPECT_EQ(dash.fillChar, QLatin1Char('-'));
    EXPECT_EQ(dash.fillPos, 1);
    auto pad = FormatValue(CellValue::Number(-7), "0_)");
    EXPECT_EQ(pad.text, "-7 ");
    ASSERT_EQ(pad.paddings.size(), 1);
    EXPECT_EQ(pad.paddings[0].pos, 2);
    // Only the first fill counts.
    auto two = FormatValue(CellValue::Number(1), "*x0*y");
    EXPECT_EQ(two.fillChar, QLatin1Char('x'));
    EXPECT_EQ(two.fillPos, 0);
}

TEST(NumberFormat, TextBooleansAndErrors) {
    EXPECT_EQ(ShowText("@", "abc"), "abc");
    EXPECT_EQ(ShowText("\"Name: \"@", "abc"), "Name: abc");
    EXPECT_EQ(ShowText("@\" \"@", "ab"), "ab ab");
    EXPECT_EQ(ShowText("0.00", "abc"), "abc");
    EXPECT_EQ(ShowText("0;-0;0", "abc"), "abc");
    EXPECT_EQ(ShowText(";;;", "abc"), "");
    EXPECT_EQ(ShowText("0;-0;0;\"fixed\"", "abc"), "fixed");
    EXPECT_EQ(ShowText("General", "12%"), "12%");
    auto red = FormatValue(CellValue::Text("abc"), "0;-0;0;[Red]@");
    EXPECT_EQ(red.text, "abc");
    EXPECT_EQ(red.color, QColor(255, 0, 0));
    EXPECT_FALSE(FormatValue(CellValue::Text("abc"), "[Red]0").color.isValid());
    EXPECT_EQ(Show("@", 12.5), "12.5");
    EXPECT_EQ(FormatValue(CellValue::Boolean(true), "0.00").text, "TRUE");
    EXPECT_EQ(FormatValue(CellValue::Boolean(false), "General").text, "FALSE");
    EXPECT_EQ(FormatValue(CellValue::Error("#DIV/0!"), "0.00").text, "#DIV/0!");
    EXPECT_EQ(FormatValue(CellValue(), "0.00").text, "");
    // Searching on displayed values relies on these.
    EXPECT_EQ(Show("0%", 0.5), "50%");
    EXPECT_EQ(Show("m/d/yyyy", 45000), "3/15/2023");
}

TEST(NumberFormat, BuiltInFormats) {
    struct Builtin {
        int id;
        double value;
        const char* expected;
    };
    const Builtin cases[] = {
        {0, 1.5, "1.5"},          {1, 1.5, "2"},
        {2, 1.5, "1.50"},         {3, 1234.5, "1,235"},
        {4, 1234.5, "1,234.50"},  {5, -1234, "($1,234)"},
        {6, 1234, "$1,234 "},     {7, 1234.5, "$1,234.50 "},
        {9, 0.25, "25%"},         {10, 0.25, "25.00%"},
        {11, 12345, "1.23E+04"},  {12, 1.5, "1 1/2"},
        {13, 1.5, "1  1/2 "},     {14, 45000, "3/15/2023"},
        {15, 45000, "15-Mar-23"}, {16, 45000, "15-Mar"},
        {17, 45000, "Mar-23"},    {18, 0.75, "6:00 PM"},
        {19, 0.75, "6:00:00 PM"}, {20, 0.75, "18:00"},
        {21, 0.75, "18:00:00"},   {22, 45000.75, "3/15/2023 18:00"},
        {37, -1234, "(1,234)"},   {38, 1234, "1,234 "},
        {39, 1234, "1,234.00"},   {40, -1234, "(1,234.00)"},
        {45, 0.0625, "30:00"},    {46, 1.5, "36:00:00"},
        {47, 12.34 / 86400, "0012.3"}, {48, 12345, "12.3E+3"},
        {49, 12.5, "12.5"},
    };
    for (const Builtin& c : cases) {
        EXPECT_EQ(FormatValue(CellValue::Number(c.value), xl::BuiltInFormatCode(c.id)).text.toStdString(),
                  std::string(c.expected))
            << "built-in " << c.id;
    }
    EXPECT_EQ(FormatValue(CellValue::Number(-1234), xl::BuiltInFormatCode(38)).color, QColor(255, 0, 0));
    EXPECT_EQ(xl::BuiltInFormatCode(0), "General");
    EXPECT_EQ(xl::BuiltInFormatCode(-1), "General");
    EXPECT_EQ(xl::BuiltInFormatCode(164), "General");
    EXPECT_TRUE(xl::IsDateFormat(xl::BuiltInFormatCode(30)));
}

TEST(NumberFormat, MalformedCodesFallBackToGeneral) {
    for (const char* code : {"\"abc", "[Red", "0;0;0;0;0", "[Color99]0", "[>abc]0", "0\\", "0_", "0*",
                             "[Color0]0"}) {
        EXPECT_EQ(Show(code, 1.5), "1.5") << code;
        EXPECT_EQ(Show(code, -1.5), "-1.5") << code;
        EXPECT_EQ(ShowText(code, "abc"), "abc") << code;
    }
    EXPECT_EQ(Show("0.00", std::numeric_limits<double>::quiet_NaN()), "#NUM!");
    EXPECT_EQ(Show("0.00", std::numeric_limits<double>::infinity()), "#NUM!");
}

TEST(NumberFormat, AnyCodeAndValueFormatsWithoutFailing) {
    // Random codes from the format alphabet, and extreme values: nothing may crash, hang or
    // return text out of proportion to the code.
    const QString alphabet = QStringLiteral("0#?.,%E+-/ @;[]\"\\_*$hmsdyAP:GeneralRed<>=1234");
    const double values[] = {0, -0.0, 1, -1, 0.5, 1e-300, 1e300, -1e300, 2958465.5, 12345.678,
                             std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min()};
    QRandomGenerator rng(20261208);
    for (int i = 0; i < 3000; ++i) {
        QString code;
        const int len = static_cast<int>(rng.bounded(1, 24));
        for (int k = 0; k < len; ++k) code += alphabet[static_cast<int>(rng.bounded(alphabet.size()))];
        for (double v : values) {
            const auto f = FormatValue(CellValue::Number(v), code);
            EXPECT_LT(f.text.size(), 1000) << code.toStdString() << " " << v;
            EXPECT_LE(f.fillPos, f.text.size());
        }
        FormatValue(CellValue::Text("x"), code);
    }
    // Long codes stay proportionate.
    const QString many0 = QString(5000, QLatin1Char('0'));
    EXPECT_EQ(FormatValue(CellValue::Number(1), many0).text.size(), 5000);
    EXPECT_EQ(FormatValue(CellValue::Number(1), QString(2000, QLatin1Char('%')) + "0").text.size(), 2000 + 301);
    EXPECT_EQ(Show("0.000000000000000000000000000000000000000", 1.0 / 3.0).size(), 41);
    EXPECT_EQ(Show("[hhhhhhhh]", 1), "00000024");
}
