// Reading workbooks made by two independent producers: openpyxl, and LibreOffice saving a
// copy of each. What both must give alike is tested on both.

#include "platform/workbook/CopyPicture.h"
#include "platform/workbook/NumberFormat.h"
#include "platform/workbook/Workbook.h"

#include "WorkbookFixtures.h"

#include <QFile>
#include <QTemporaryDir>

#include <cmath>

using namespace xl;

namespace {

struct Producer {
    const char* name;
    QString (*path)(const QString&);
};

const Producer kProducers[] = {{"openpyxl", &fixtures::Path},
                               {"LibreOffice", &fixtures::LibreOfficeCopy}};

}  // namespace

class BothProducers : public ::testing::TestWithParam<Producer> {
protected:
    Workbook* Open(const QString& name) {
        const QString path = GetParam().path(name);
        if (!fixtures::Exists(path))
            return nullptr;
        return app_.Workbooks().Open(path);
    }
    Application app_;
};

#define OPEN_OR_FAIL(var, file)                                                             \
    ASSERT_FIXTURE(GetParam().path(QStringLiteral(file)));                                  \
    Workbook* var = Open(QStringLiteral(file))

INSTANTIATE_TEST_SUITE_P(Producers, BothProducers, ::testing::ValuesIn(kProducers),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(BothProducers, CellValuesOfEveryKind) {
    OPEN_OR_FAIL(wb, "cells_styles.xlsx");
    Worksheet* ws = wb->Sheets().Item(QStringLiteral("Values"));
    EXPECT_EQ(ws->Range(QStringLiteral("A1")).Value(), CellValue::Text(QStringLiteral("Shared text")));
    EXPECT_EQ(ws->Range(QStringLiteral("A2")).Value(), CellValue::Number(1234.5));
    EXPECT_EQ(ws->Range(QStringLiteral("A3")).Value(), CellValue::Boolean(true));
    EXPECT_EQ(ws->Range(QStringLiteral("A4")).Value(), CellValue::Boolean(false));
    EXPECT_EQ(ws->Range(QStringLiteral("A5")).Value(), CellValue::Error(QStringLiteral("#N/A")));
    // Formula cells give their cached results; nothing is evaluated.
    EXPECT_EQ(ws->Range(QStringLiteral("A6")).Value(), CellValue::Number(2469));
    EXPECT_EQ(ws->Range(QStringLiteral("A7")).Value(), CellValue::Text(QStringLiteral("Shared text more")));
    EXPECT_EQ(ws->Range(QStringLiteral("A8")).Value(), CellValue::Text(QStringLiteral("Inline text")));
    // Rich text flattened; the phonetic run is no part of the text.
    EXPECT_EQ(ws->Range(QStringLiteral("A9")).Value(), CellValue::Text(QStringLiteral("Rich text")));
    EXPECT_EQ(ws->Range(QStringLiteral("A10")).Value(), CellValue::Number(-0.000123));
    EXPECT_EQ(ws->Range(QStringLiteral("A11")).Value(), CellValue::Text(QStringLiteral("  padded  ")));
    EXPECT_TRUE(ws->Range(QStringLiteral("A13")).Value().IsEmpty());
    EXPECT_TRUE(ws->Range(QStringLiteral("XFD1048576")).Value().IsEmpty());
}

TEST_P(BothProducers, StylesResolvedWithTheirColours) {
    OPEN_OR_FAIL(wb, "cells_styles.xlsx");
    Worksheet* ws = wb->Sheets().Item(QStringLiteral("Values"));
    const Styles& st = wb->Data().Look().styles;
    const Font& b1 = st.FontOf(ws->Style(1, 2));
    EXPECT_EQ(b1.name, "Arial");
    EXPECT_DOUBLE_EQ(b1.size, 14);
    EXPECT_TRUE(b1.bold);
    EXPECT_EQ(b1.color, QColor(255, 0, 0));
    const Font& b2 = st.FontOf(ws->Style(2, 2));
    EXPECT_TRUE(b2.italic);
    EXPECT_EQ(b2.underline, Underline::Double);
    const Font& b3 = st.FontOf(ws->Style(3, 2));
    EXPECT_TRUE(b3.strike);
    EXPECT_EQ(b3.color, QColor(0, 0x70, 0xC0));
    EXPECT_EQ(st.FillOf(ws->Style(4, 2)).SolidColor(), QColor(255, 255, 0));
    const Fill& grid = st.FillOf(ws->Style(5, 2));
    // LibreOffice keeps no patterns: it saves the blend of the two colours as a solid fill.
    if (grid.pattern != QLatin1String("solid")) {
        EXPECT_EQ(grid.pattern, "darkGrid");
        EXPECT_EQ(grid.fgColor, QColor(0, 0xB0, 0x50));
        EXPECT_EQ(grid.bgColor, QColor(0xFF, 0xC0, 0));
    } else {
        EXPECT_STREQ(GetParam().name, "LibreOffice");
    }
    // Theme accent 1 lightened by 40%: lighter than the accent, same hue.
    const QColor accent = wb->Data().Look().theme.colors[4];
    const QColor tinted = st.FillOf(ws->Style(6, 2)).SolidColor();
    ASSERT_TRUE(tinted.isValid());
    EXPECT_GT(tinted.lightness(), accent.lightness());
    EXPECT_NEAR(tinted.hslHue(), accent.hslHue(), 8);
    const Border& b7 = st.BorderOf(ws->Style(7, 2));
    EXPECT_EQ(b7.left.style, "thin");
    EXPECT_EQ(b7.left.color, QColor(255, 0, 0));
    EXPECT_EQ(b7.right.style, "medium");
    EXPECT_EQ(b7.top.style, "thick");
    EXPECT_EQ(b7.top.color, QColor(0, 0, 255));
    EXPECT_EQ(b7.bottom.style, "double");
    EXPECT_EQ(st.BorderOf(ws->Style(8, 2)).bottom.style, "dashed");
    EXPECT_FALSE(st.BorderOf(ws->Style(8, 2)).top.IsSet());
    EXPECT_EQ(ws->Style(9, 2).alignment.horizontal, "center");
    EXPECT_EQ(ws->Style(9, 2).alignment.vertical, "center");
    EXPECT_EQ(ws->Style(10, 2).alignment.horizontal, "right");
    EXPECT_EQ(ws->Style(10, 2).alignment.vertical, "top");
    EXPECT_TRUE(ws->Style(10, 2).alignment.wrapText);
    EXPECT_EQ(ws->Style(11, 2).alignment.indent, 2);
    // Indexed colour 10 of the default palette is red.
    EXPECT_EQ(st.FontOf(ws->Style(15, 2)).color, QColor(255, 0, 0));
    // A cell without a style of its own has the default one.
    EXPECT_EQ(st.FontOf(ws->Style(30, 30)).name, st.DefaultFont().name);
}

TEST_P(BothProducers, NumberFormatCodes) {
    OPEN_OR_FAIL(wb, "cells_styles.xlsx");
    Worksheet* ws = wb->Sheets().Item(QStringLiteral("Formats"));
    // Custom codes come from the workbook; built-in ones are asked of the format engine.
    EXPECT_EQ(ws->Style(12, 1).numFmtCode, QStringLiteral("\"USD \"#,##0.00"));
    // LibreOffice writes codes its own way ("[RED]", "\-"): the same format.
    auto same = [](QString a, const QString& b) {
        return a.remove(QLatin1Char('\\')).compare(b, Qt::CaseInsensitive) == 0;
    };
    EXPECT_TRUE(same(ws->Style(11, 1).numFmtCode, QStringLiteral("[Red]0;[Blue]-0")));
    for (int r = 1; r <= 12; ++r) {
        const QString code = ws->Value(r, 2).text;
        const int id = ws->Style(r, 1).numFmtId;
        const QString read = ws->Style(r, 1).numFmtCode;
        EXPECT_TRUE(same(read, code) || read == BuiltInFormatCode(id))
            << "row " << r << " " << read.toStdString() << " vs " << code.toStdString();
    }
}

TEST_P(BothProducers, MergedCellsAndAPicture) {
    OPEN_OR_FAIL(wb, "cells_styles.xlsx");
    Worksheet* ws = wb->Sheets().Item(QStringLiteral("Values"));
    ASSERT_EQ(ws->MergedCells().size(), 2);
    EXPECT_TRUE(ws->MergedCells().contains(RangeRef{1, 4, 2, 5}));
    EXPECT_TRUE(ws->MergedCells().contains(RangeRef{20, 1, 20, 3}));
    EXPECT_EQ(ws->Range(QStringLiteral("E2")).MergeArea().Address(), "$D$1:$E$2");
    EXPECT_EQ(ws->Range(QStringLiteral("F2")).MergeArea().Address(), "$F$2");
    ASSERT_EQ(ws->Shapes().Count(), 1);
    Shape* pic = ws->Shapes().Item(1);
    EXPECT_EQ(pic->Type(), ShapeType::Picture);
    EXPECT_TRUE(wb->Data().package.Has(pic->Data().imagePart));
    EXPECT_EQ(pic->TopLeftCell().Address(), "$G$3");
    EXPECT_NEAR(pic->Width(), 30, 1);   // 40 px
    EXPECT_NEAR(pic->Height(), 15, 1);  // 20 px
}

TEST_P(BothProducers, RowHeightsColumnWidthsAndHiddenOnes) {
    OPEN_OR_FAIL(wb, "sizes.xlsx");
    Worksheet* ws = wb->Sheets().Item(QStringLiteral("Sizes"));
    EXPECT_EQ(ws->MaxDigitWidth(), 7);  // Calibri 11, measured with Carlito
    EXPECT_DOUBLE_EQ(ws->Rows(2).RowHeight(), 30);
    EXPECT_DOUBLE_EQ(ws->Rows(3).RowHeight(), 0);
    EXPECT_DOUBLE_EQ(ws->Rows(5).RowHeight(), 7.5);
    EXPECT_EQ(ws->RowHeightPixels(5), 10);
    EXPECT_DOUBLE_EQ(ws->Rows(4).RowHeight(), 15);
    EXPECT_NEAR(ws->Rows(70000).RowHeight(), 20, 0.6);  // beyond 16-bit row numbers
    // Width 20 in the file: 140 pixels, which the spreadsheet shows as 19.29 characters.
    EXPECT_EQ(ws->ColumnWidthPixels(2), 140);
    EXPECT_DOUBLE_EQ(ws->Columns(2).ColumnWidth(), 19.29);
    EXPECT_DOUBLE_EQ(ws->Columns(QStringLiteral("C")).ColumnWidth(), 0);
    EXPECT_EQ(ws->ColumnWidthPixels(4), 21);
    EXPECT_DOUBLE_EQ(ws->Range(QStringLiteral("D1")).ColumnWidth(), 2.29);
    EXPECT_DOUBLE_EQ(ws->Columns(257).ColumnWidth(), ws->Columns(256).ColumnWidth());
    EXPECT_DOUBLE_EQ(ws->Columns(257).ColumnWidth(), 11.29);
    EXPECT_EQ(ws->Range(QStringLiteral("IW70000")).Value(), CellValue::Text(QStringLiteral("far")));
    EXPECT_DOUBLE_EQ(ws->RowTop(4), 15 + 30 + 0);
    EXPECT_EQ(ws->ColumnLeftPixels(5), ws->ColumnWidthPixels(1) + 140 + 0 + 21);
    Worksheet* d = wb->Sheets().Item(QStringLiteral("Defaults"));
    EXPECT_DOUBLE_EQ(d->StandardHeight(), 18);
    EXPECT_DOUBLE_EQ(d->Rows(100).RowHeight(), 18);
}

TEST(WorkbookReader, DefaultColumnWidthFollowsTheBaseWidth) {
    const QString path = fixtures::Path(QStringLiteral("sizes.xlsx"));
    ASSERT_FIXTURE(path);
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    // openpyxl writes only baseColWidth: 8 characters give 64 pixels (8.43), 10 give 80.
    EXPECT_EQ(wb->Sheets().Item(1)->ColumnWidthPixels(1), 64);
    EXPECT_DOUBLE_EQ(wb->Sheets().Item(1)->StandardWidth(), 8.43);
    EXPECT_EQ(wb->Sheets().Item(2)->ColumnWidthPixels(1), 80);
    EXPECT_DOUBLE_EQ(wb->Sheets().Item(2)->StandardWidth(), 10.71);
}

TEST_P(BothProducers, FrozenAndSplitPanes) {
    OPEN_OR_FAIL(wb, "panes.xlsx");
    EXPECT_EQ(wb->ActiveSheet()->Name(), "FrozenBoth");
    Window* win = wb->ActiveWindow();
    auto addresses = [&] {
        QStringList out;
        for (const Pane& pane : win->Panes())
            out << pane.VisibleRange().Address();
        return out;
    };

    // The panes hold the selection beside the fixed rows and columns; where the lower pane was
    // scrolled (row 10) plays no part.
    wb->Sheets().Item(QStringLiteral("FrozenRows"))->Activate();
    EXPECT_TRUE(win->FreezePanes());
    EXPECT_EQ(win->SplitRow(), 2);
    EXPECT_EQ(win->SplitColumn(), 0);
    EXPECT_EQ(win->ActiveCell().Address(), "$B$12");
    EXPECT_EQ(win->RangeSelection().Row(), 12);
    wb->ActiveSheet()->Range(QStringLiteral("B12:C14")).Select();
    EXPECT_EQ(addresses(), (QStringList{"$B$1:$C$2", "$B$3:$C$14"}));

    wb->Sheets().Item(QStringLiteral("FrozenCols"))->Range(QStringLiteral("D3:F6")).Select();
    EXPECT_EQ(win->SplitColumn(), 2);
    EXPECT_EQ(addresses(), (QStringList{"$A$3:$B$6", "$C$3:$F$6"}));

    wb->Sheets().Item(QStringLiteral("FrozenBoth"))->Range(QStringLiteral("C6:E9")).Select();
    EXPECT_EQ(addresses(), (QStringList{"$A$1:$A$3", "$B$1:$E$3", "$A$4:$A$9", "$B$4:$E$9"}));

    wb->Sheets().Item(QStringLiteral("Split"))->Activate();
    EXPECT_FALSE(win->FreezePanes());
    const SheetView& v = wb->ActiveSheet()->View();
    // LibreOffice keeps a split on its own pixel grid and writes it back rounded (1870 for 2000).
    EXPECT_NEAR(v.pane.xSplit, 2000, 200);
    EXPECT_NEAR(v.pane.ySplit, 1500, 200);
    EXPECT_EQ(win->ActiveCell().Address(), "$E$12");
    // The top-left pane shows what fits in the split's size from A1; the main pane the rest
    // of the selection E12:F13, from the row and column after it.
    wb->ActiveSheet()->Range(QStringLiteral("E12:F13")).Select();
    const auto panes = win->Panes();
    ASSERT_EQ(panes.size(), 4u);
    const RangeRef fixed = panes[0].VisibleRange().Ref(), main = panes[3].VisibleRange().Ref();
    EXPECT_EQ(fixed.row1, 1);
    EXPECT_EQ(fixed.col1, 1);
    EXPECT_GE(fixed.row2, 4);
    EXPECT_LE(fixed.row2, 6);
    EXPECT_GE(fixed.col2, 2);
    EXPECT_LE(fixed.col2, 3);
    EXPECT_EQ(main, (RangeRef{fixed.row2 + 1, fixed.col2 + 1, 13, 6}));

    wb->Sheets().Item(QStringLiteral("Plain"))->Activate();
    EXPECT_EQ(win->ActiveCell().Address(), "$B$7");
    // Saved scrolled to C5: the selection B7:D9 shows whole.
    wb->ActiveSheet()->Range(QStringLiteral("B7:D9")).Select();
    EXPECT_EQ(addresses(), (QStringList{"$B$7:$D$9"}));
}

TEST_P(BothProducers, ChartsOfEachKind) {
    OPEN_OR_FAIL(wb, "charts.xlsx");
    Worksheet* ws = wb->Sheets().Item(QStringLiteral("Charts"));
    ASSERT_EQ(ws->ChartObjects().Count(), 9);
    struct Expect {
        const char* title;
        ChartKind kind;
        const char* direction;
        const char* grouping;
        size_t series;
    };
    const Expect expected[] = {{"Column Clustered", ChartKind::Bar, "col", "clustered", 3},
                               {"Column Stacked", ChartKind::Bar, "col", "stacked", 3},
                               {"Bar Clustered", ChartKind::Bar, "bar", "clustered", 3},
                               {"Bar Stacked", ChartKind::Bar, "bar", "stacked", 3},
                               {"Line", ChartKind::Line, "", "standard", 3},
                               {"Area", ChartKind::Area, "", "standard", 3},
                               {"Pie", ChartKind::Pie, "", "", 1},
                               {"Doughnut", ChartKind::Doughnut, "", "", 1},
                               {"Scatter", ChartKind::Scatter, "", "", 1}};
    for (const Expect& e : expected) {
        ChartObject* found = nullptr;
        for (ChartObject* c : ws->ChartObjects().All())
            if (c->Chart() && c->Chart()->title == QLatin1String(e.title))
                found = c;
        ASSERT_TRUE(found) << e.title;
        const ChartData& chart = *found->Chart();
        EXPECT_EQ(chart.Kind(), e.kind) << e.title;
        EXPECT_TRUE(chart.hasLegend) << e.title;
        const ChartPlot& plot = chart.plots.front();
        if (*e.direction) {
            EXPECT_EQ(plot.barDirection, e.direction) << e.title;
        }
        if (e.kind == ChartKind::Bar) {
            EXPECT_EQ(plot.grouping, e.grouping) << e.title;
        }
        ASSERT_EQ(plot.series.size(), e.series) << e.title;
        const ChartSeries& s0 = plot.series.front();
        if (e.kind == ChartKind::Scatter) {
            EXPECT_EQ(s0.xValues, (std::vector<double>{1, 2, 3, 4, 5, 6, 7}));
            EXPECT_EQ(s0.values, (std::vector<double>{2, 4, 3, 7, 6, 9, 8}));
        } else {
            EXPECT_EQ(s0.name, "North") << e.title;
            EXPECT_EQ(s0.categories, (QStringList{"Q1", "Q2", "Q3", "Q4"})) << e.title;
            EXPECT_EQ(s0.values, (std::vector<double>{10, 20, 30, 40})) << e.title;
        }
        EXPECT_GT(found->Width(), 300);
        EXPECT_GT(found->Height(), 190);
    }
    const ChartData* col = ws->ChartObjects().Item(1)->Chart();
    QStringList axisTitles;
    for (const ChartAxis& a : col->axes)
        axisTitles << a.title;
    EXPECT_TRUE(axisTitles.contains("Quarter"));
    EXPECT_TRUE(axisTitles.contains("Sales"));
    // The line's first series was given a red line.
    for (ChartObject* c : ws->ChartObjects().All()) {
        if (c->Chart()->title == QLatin1String("Line")) {
            EXPECT_EQ(c->Chart()->plots.front().series.front().lineColor, QColor(255, 0, 0));
        }
    }
    EXPECT_TRUE(Shapes(ws).Find(QStringLiteral("chart 1")));  // names ignore case
    EXPECT_FALSE(Shapes(ws).Find(QStringLiteral("Chart 10")));
}

TEST(WorkbookReader, RefusesWhatItCannotRead) {
    struct Case {
        const char* file;
        const char* reason;
    };
    const Case cases[] = {{"not_a_zip.xlsx", "not a zip"},
                          {"empty.xlsx", "empty"},
                          {"legacy.xlsx", "97-2003"},
                          {"opendocument.xlsx", "OpenDocument"},
                          {"no_workbook_part.xlsx", "workbook part"},
                          {"no_sheet_part.xlsx", "Sheet1"},
                          {"malformed_sheet.xlsx", "not well-formed"},
                          {"malformed_styles.xlsx", "xl/styles.xml"},
                          {"bomb_part.xlsx", "inflates to more than"},
                          {"bomb_total.xlsx", "inflates to more than"},
                          {"shared_string_range.xlsx", "shared string 7"},
                          {"style_range.xlsx", "style 9"},
                          {"anchor_outside.xlsx", "outside the grid"},
                          // Which of two entries of one name counts differs between programs:
                          // the picture would not be what the spreadsheet shows.
                          {"duplicate_part.xlsx", "two entries named xl/worksheets/sheet1.xml (programs differ"},
                          {"duplicate_case.xlsx",
                           "two entries named xl/worksheets/sheet1.xml and xl/worksheets/Sheet1.xml"}};
    for (const Case& c : cases) {
        const QString path = fixtures::Bad(QString::fromUtf8(c.file));
        ASSERT_FIXTURE(path);
        Application app;
        try {
            // Opened, then its sheet read as a picture of it reads it.
            Worksheet* ws = app.Workbooks().Open(path)->Sheets().Item(1);
            (void)RangePicture(ws->UsedRange());
            (void)ws->Shapes().Count();
            ADD_FAILURE() << c.file << " was read";
        } catch (const Error& e) {
            const QString msg = e.Message();
            EXPECT_TRUE(msg.startsWith(path + QStringLiteral(" is not an .xlsx workbook this program can read: ")))
                << msg.toStdString();
            EXPECT_TRUE(msg.contains(QLatin1String(c.reason))) << msg.toStdString();
        }
    }
}

TEST(WorkbookReader, ReadsOddButValidPackages) {
    const QString huge = fixtures::Bad(QStringLiteral("huge_dimension.xlsx"));
    ASSERT_FIXTURE(huge);
    Application app;
    Workbook* wb = app.Workbooks().Open(huge);
    Worksheet* ws = wb->Sheets().Item(1);
    EXPECT_EQ(ws->Data().cells.size(), 1u);  // the dimension allocates nothing
    EXPECT_EQ(ws->UsedRange().Address(), "$C$3");
    EXPECT_EQ(ws->Range(QStringLiteral("C3")).Value(), CellValue::Number(42));

    Workbook* prefixed = app.Workbooks().Open(fixtures::Bad(QStringLiteral("prefixed.xlsx")));
    Worksheet* p = prefixed->Sheets().Item(QStringLiteral("Sheet1"));
    EXPECT_EQ(p->Range(QStringLiteral("A1")).Value(), CellValue::Text(QStringLiteral("hello")));
    EXPECT_EQ(p->Range(QStringLiteral("B1")).Value(), CellValue::Number(1.5));
}

TEST(WorkbookReader, MissingFileGivesAClearError) {
    Application app;
    try {
        app.Workbooks().Open(QStringLiteral("/nonexistent/folder/Sales.xlsx"));
        FAIL() << "opened a missing file";
    } catch (const Error& e) {
        EXPECT_TRUE(e.Message().contains(QLatin1String("/nonexistent/folder/Sales.xlsx")));
        EXPECT_TRUE(e.Message().contains(QLatin1String("does not exist")));
    }
}

TEST(WorkbookReader, KeepsEveryPartsBytesForTheWriter) {
    const QString path = fixtures::Path(QStringLiteral("charts.xlsx"));
    ASSERT_FIXTURE(path);
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    const Package& pkg = wb->Data().package;
    EXPECT_TRUE(pkg.Has(QStringLiteral("[Content_Types].xml")));
    EXPECT_TRUE(pkg.Has(QStringLiteral("xl/charts/chart1.xml")));
    EXPECT_TRUE(pkg.Part(QStringLiteral("xl/charts/chart1.xml")).startsWith("<chartSpace"));
    EXPECT_EQ(pkg.ContentType(QStringLiteral("xl/worksheets/sheet2.xml")),
              "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
    const SheetData& charts = wb->Sheets().Item(QStringLiteral("Charts"))->Data();
    EXPECT_EQ(charts.drawingPart, "xl/drawings/drawing1.xml");
    EXPECT_FALSE(charts.drawingRels.isEmpty());
    EXPECT_EQ(charts.shapes.front().chartPart, charts.drawingRels.front().target);
}

TEST(WorkbookCache, ReopeningAnUnchangedFileReusesItsParse) {
    const QString src = fixtures::Path(QStringLiteral("relocation.xlsx"));
    ASSERT_FIXTURE(src);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Sales.xlsx"));
    ASSERT_TRUE(QFile::copy(src, path));
    Application app;
    Workbook* first = app.Workbooks().Open(path);
    auto data = first->SharedData();
    first->Sheets().Item(1)->Range(QStringLiteral("A1")).SetValue(CellValue::Number(5));
    first->Close();
    Workbook* again = app.Workbooks().Open(path);
    EXPECT_EQ(again->SharedData(), data);  // the same parse
    // ...but not the edits of the closed workbook.
    EXPECT_EQ(again->Sheets().Item(1)->Range(QStringLiteral("A1")).Value(),
              CellValue::Text(QStringLiteral("Region")));
    again->Close();
    // A different file at the same path is read anew.
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(fixtures::Path(QStringLiteral("sizes.xlsx")), path));
    Workbook* changed = app.Workbooks().Open(path);
    EXPECT_NE(changed->SharedData(), data);
    EXPECT_EQ(changed->Sheets().Item(1)->Name(), "Sizes");
    EXPECT_EQ(app.CachedFiles(), 1);
}

TEST(WorkbookGeometry, MaxDigitWidthOfTheStandInFonts) {
    // The widths the spreadsheet uses at 96 dpi for its usual default fonts.
    EXPECT_EQ(MaxDigitWidth(QStringLiteral("Calibri"), 11), 7);
    EXPECT_EQ(MaxDigitWidth(QStringLiteral("Arial"), 10), 7);
    EXPECT_EQ(MaxDigitWidth(QStringLiteral("Courier New"), 10), 8);
    EXPECT_EQ(MaxDigitWidth(QStringLiteral("Times New Roman"), 12), 8);
    EXPECT_GT(MaxDigitWidth(QStringLiteral("Calibri"), 20), 7);
    EXPECT_GE(MaxDigitWidth(QStringLiteral("No Such Font Anywhere"), 11), 1);
    // The column-width rule of the format: 8.43 characters are 64 pixels at 7 per digit.
    EXPECT_EQ(Worksheet::PixelsFromFileWidth(9.140625, 7), 64);
    EXPECT_EQ(Worksheet::PixelsFromCharacters(8.43, 7), 64);
    EXPECT_DOUBLE_EQ(Worksheet::CharactersFromPixels(64, 7), 8.43);
    EXPECT_EQ(Worksheet::PixelsFromCharacters(0.5, 7), 6);
    EXPECT_DOUBLE_EQ(Worksheet::CharactersFromPixels(6, 7), 0.5);
    EXPECT_EQ(Worksheet::PixelsFromCharacters(0, 7), 0);
}
