// Pasting from workbooks that LibreOffice Calc made and saved itself
// (tests/fixtures/make_calc_workbooks.py): charts Calc inserted, which it saves without a name,
// are found by their place and followed into a newer version; ranges of sheets saved scrolled,
// frozen or split are taken whole.

#include "PanelTestSupport.h"

#include "FixtureTools.h"
#include "services/modUtilsFile.h"

namespace {

// The captured chart payload offers a chart of 15 cm x 7.5 cm: its size in 1/100 mm travels in
// the descriptor's target name.
payloads::Rewrites ChartOfSize(int width, int height) {
    return {{"width=\"15000\";height=\"7500\"",
             QStringLiteral("width=\"%1\";height=\"%2\"").arg(width).arg(height).toUtf8()}};
}

QImage ChartPicture(const QString& workbook, const QString& sheet, int place) {
    xl::Application app;
    xl::Worksheet* ws = app.Workbooks().Open(workbook)->Sheets().Item(sheet);
    return xl::ShapePicture(*ws->ChartObjects().Item(place)).image.convertToFormat(QImage::Format_RGB32);
}

QImage Shown(const frmPanel* panel) { return panel->picTemp()->Picture().convertToFormat(QImage::Format_RGB32); }

// The items of the last choice offered under `kind`.
QStringList ItemsOffered(const QString& kind) {
    QStringList items;
    for (const auto& shown : PromptScript::Record())
        if (shown.kind == kind)
            items = shown.text.split(QLatin1Char('\n'));
    return items;
}

}  // namespace

class CalcPanelTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        for (const char* name : {"CalcCharts.xlsx", "CalcCharts_newer.xlsx", "CalcViews.xlsx"}) {
            ASSERT_CALC_MADE(testsupport::CalcMade(QLatin1String(name)));
            ASSERT_TRUE(QFile::copy(testsupport::CalcMade(QLatin1String(name)), InFolder(QLatin1String(name))));
        }
        // Tests replace these files by newer versions.
        for (const char* name : {"CalcCharts.xlsx", "CalcViews.xlsx"})
            QFile::setPermissions(InFolder(QLatin1String(name)), QFile::ReadOwner | QFile::WriteOwner);
    }

    // Cells copied in Calc: the captured cells payload with its link and text made those of
    // `range` on `sheet` of `workbook`. Each cell of the views workbook holds its own address.
    void CopyCells(const QString& workbook, const QString& sheet, const QString& range) {
        const xl::RangeRef r = *xl::ParseRange(range);
        QStringList lines;
        for (int32_t row = r.row1; row <= r.row2; ++row) {
            QStringList cells;
            for (int32_t col = r.col1; col <= r.col2; ++col)
                cells << xl::CellAddress(row, col, false, false);
            lines << cells.join(QLatin1Char('\t'));
        }
        auto data = payloads::Load(QStringLiteral("range"),
                                   {{payloads::kCaptureFolder + "/Sales.xlsx", QFile::encodeName(workbook)},
                                    {"Data.A2:C4", (sheet + QLatin1Char('.') + range).toUtf8()},
                                    {"North\t120\t135\nSouth\t98\t101\nEast\t143.5\t150", lines.join('\n').toUtf8()}});
        QGuiApplication::clipboard()->setMimeData(data.release());
    }

    void SaveDashboard(const QString& name) {
        PromptScript::QueueDialog(QStringLiteral("frmSaveWorkspace"), name);
        Click("mnuWorkspaceSave");
        ASSERT_GT(gWorkspace->ID, 0);
    }

    // A newer version of `name`, an hour newer, in place of it.
    void ArriveNewer(const QString& name, const QString& newer) {
        const QString path = InFolder(name);
        ASSERT_TRUE(QFile::remove(path));
        ASSERT_TRUE(QFile::copy(InFolder(newer), path));
        ASSERT_TRUE(AdjustFileTime(path, QDateTime::currentDateTime().addSecs(3600)));
    }
};

TEST_F(CalcPanelTest, ChartsCalcInsertedArePastedByTheirPlaceAndFollowANewerVersion) {
    const QString charts = InFolder(QStringLiteral("CalcCharts.xlsx"));
    StartWindow();
    // Two charts of the copied one's size on Data, neither with a name: the user is offered
    // both, told apart, and picks the line chart.
    Copy(QStringLiteral("range"), charts);
    Copy(QStringLiteral("chart"));
    const QString line = QStringLiteral("Data: chart 2 (no name) at F20, \"Trend\"");
    PromptScript::QueueDialog(QStringLiteral("ChartChoice"), line);
    frmPanel* panel = Paste();
    ASSERT_TRUE(panel) << PromptScript::Messages().join('|').toStdString();
    EXPECT_EQ(ItemsOffered(QStringLiteral("ChartChoice")),
              (QStringList{QStringLiteral("Data: chart 1 (no name) at F2"), line}));
    const clsWorkspacePanel* record = gWorkspace->Panels(panel->Index);
    EXPECT_EQ(record->ContentType, PanelContent::Chart);
    EXPECT_EQ(record->SheetName, QStringLiteral("Data"));
    EXPECT_EQ(record->PicRange, QStringLiteral("`2"));
    const QImage before = ChartPicture(charts, QStringLiteral("Data"), 2);
    ASSERT_NE(before, ChartPicture(charts, QStringLiteral("Data"), 1));
    EXPECT_EQ(Shown(panel), before);

    // The only chart of its size, on Other, and the chart the user named: no choice asked.
    const struct {
        int width, height;
        const char* sheet;
        const char* picRange;
    } single[] = {{12000, 6000, "Other", "`1"}, {10000, 6000, "Data", "Margins"}};
    for (const auto& c : single) {
        SCOPED_TRACE(c.picRange);
        PromptScript::Reset();
        QGuiApplication::clipboard()->setMimeData(
            payloads::Load(QStringLiteral("chart"), ChartOfSize(c.width, c.height)).release());
        frmPanel* other = Paste();
        ASSERT_TRUE(other) << PromptScript::Messages().join('|').toStdString();
        EXPECT_TRUE(ItemsOffered(QStringLiteral("ChartChoice")).isEmpty());
        EXPECT_EQ(gWorkspace->Panels(other->Index)->SheetName, QLatin1String(c.sheet));
        EXPECT_EQ(gWorkspace->Panels(other->Index)->PicRange, QLatin1String(c.picRange));
    }
    EXPECT_EQ(Shown(Window()->PanelWindows()[1]), ChartPicture(charts, QStringLiteral("Other"), 1));
    EXPECT_EQ(Shown(Window()->PanelWindows()[2]), ChartPicture(charts, QStringLiteral("Data"), 3));

    // Stored as pasted, then a version Calc saved after North's Q1 changed: the refreshed
    // panels show the new values of the same charts.
    SaveDashboard(QStringLiteral("Calc charts"));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE PicRange = '`2' "
                                    "AND SheetName = 'Data'")),
              1);
    ArriveNewer(QStringLiteral("CalcCharts.xlsx"), QStringLiteral("CalcCharts_newer.xlsx"));
    PromptScript::Reset();
    Click("mnuWorkspaceRefresh");
    ASSERT_EQ(Window()->PanelWindows().size(), 3u) << PromptScript::Messages().join('|').toStdString();
    EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join('|').toStdString();
    const QString newer = InFolder(QStringLiteral("CalcCharts_newer.xlsx"));
    const QImage after = ChartPicture(newer, QStringLiteral("Data"), 2);
    ASSERT_NE(after, before);
    std::map<QString, QImage> expected{{QStringLiteral("`2"), after},
                                       {QStringLiteral("`1"), ChartPicture(newer, QStringLiteral("Other"), 1)},
                                       {QStringLiteral("Margins"), ChartPicture(newer, QStringLiteral("Data"), 3)}};
    for (frmPanel* shown : Window()->PanelWindows()) {
        const QString picRange = gWorkspace->Panels(shown->Index)->PicRange;
        SCOPED_TRACE(picRange.toStdString());
        EXPECT_EQ(Shown(shown), expected[picRange]);
    }
}

TEST_F(CalcPanelTest, ACustomPasteOfAChartCalcInsertedFindsItInTheCopyAndKeepsItInTheTemplate) {
    const QString charts = InFolder(QStringLiteral("CalcCharts.xlsx"));
    StartWindow();
    Copy(QStringLiteral("range"), charts);
    QGuiApplication::clipboard()->setMimeData(payloads::Load(QStringLiteral("chart"), ChartOfSize(12000, 6000)).release());
    frmPanel* panel = CustomPanel(Window());
    ASSERT_TRUE(panel->Panel_Paste()) << PromptScript::Messages().join('|').toStdString();
    const clsWorkspacePanel* record = gWorkspace->Panels(panel->Index);
    EXPECT_EQ(record->PicRange, QStringLiteral("`1"));
    // Painted from the program's copy of the workbook, where the chart has its place again.
    EXPECT_EQ(Shown(panel), ChartPicture(charts, QStringLiteral("Other"), 1));
    // The template keeps a copy of it under the text the panel finds it by.
    xl::Application app;
    xl::Worksheet* kept = app.Workbooks().Open(record->Source()->CustomTemplate())->Sheets().Find(QStringLiteral("PvChartCopy"));
    ASSERT_TRUE(kept);
    ASSERT_EQ(kept->ChartObjects().Count(), 1);
    EXPECT_EQ(kept->ChartObjects().Item(record->PicRange), kept->ChartObjects().Item(1));
}

TEST_F(CalcPanelTest, AChartPlaceNoLongerInTheWorkbookIsReportedAsTheUserKnowsIt) {
    const int32_t source = AddSource(InFolder(QStringLiteral("CalcCharts.xlsx")));
    (void)AddStoredPanel(AddDashboard(QStringLiteral("Gone")), source, QStringLiteral("C"), QStringLiteral("`4"),
                         QStringLiteral("C"));
    StartWindow();
    ASSERT_FALSE(PromptScript::Messages().isEmpty());
    EXPECT_EQ(PromptScript::Messages().front(),
              QStringLiteral("A chart named chart 4 (no name) was not found in spreadsheet [Data] of worksbook "
                             "[CalcCharts.xlsx].\r\nYou may have to re-define the dashboard object.\r\nSee Help "
                             "for more information."));
}

TEST_F(CalcPanelTest, ARangeIsPastedWholeWhateverViewCalcSavedItsSheetWith) {
    const QString views = InFolder(QStringLiteral("CalcViews.xlsx"));
    StartWindow();
    // Sheets saved scrolled away from the range, frozen and split
    // (tests/fixtures/make_calc_workbooks.py). The panel shows every row and column copied,
    // with the fixed ones: the picture of `same`, or one of its size where the fixed rows stand
    // apart from the range.
    const struct {
        const char* sheet;
        const char* range;
        const char* picRange;
        const char* same;
        bool exact;
    } cases[] = {
        {"Scrolled", "A1:E16", "$A$1:$E$16``", "A1:E16", true},
        {"Far", "A1:E16", "$A$1:$E$16``", "A1:E16", true},
        {"Scrolled", "A1:E100", "$A$1:$E$100``", "A1:E100", true},
        {"FrozenRows", "A1:E16", "$A$3:$E$16`1:2`", "A1:E16", true},
        {"FrozenRows", "B41:C44", "$B$41:$C$44`1:2`", "B1:C6", false},
        {"FrozenBoth", "A1:E16", "$C$3:$E$16`1:2`A:B", "A1:E16", true},
        {"Split", "A1:E16", "$A$4:$E$16`1:3`", "A1:E16", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sheet) + " " + c.range);
        PromptScript::Reset();
        CopyCells(views, QLatin1String(c.sheet), QLatin1String(c.range));
        frmPanel* panel = Paste();
        ASSERT_TRUE(panel) << PromptScript::Messages().join('|').toStdString();
        EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join('|').toStdString();
        EXPECT_EQ(gWorkspace->Panels(panel->Index)->PicRange, QLatin1String(c.picRange));
        const QImage same = Painted(views, QLatin1String(c.sheet), QLatin1String(c.same)).convertToFormat(QImage::Format_RGB32);
        if (c.exact) {
            EXPECT_EQ(Shown(panel), same);
        } else {
            EXPECT_EQ(Shown(panel).size(), same.size());
        }
    }
}
