// Pasting a panel from what the user copied in their spreadsheet: ranges with every pane
// layout, a chart, and each refusal.

#include "PanelTestSupport.h"

#include "services/UserExcel.h"
#include "services/modUtilsFile.h"

#include <QDir>

namespace {

struct PaneCase {
    const char* file;
    const char* picRange;
    const char* rowHeights;
    const char* colWidths;
};

}  // namespace

TEST_F(PanelTest, PastedRangesKeepTheirPanesSizesAndPicture) {
    StartWindow();
    const PaneCase cases[] = {
        {"Sales.xlsx", "$A$2:$C$4``", "2:4=15", nullptr},
        {"FrozenRows.xlsx", "$A$2:$C$4`1:1`", "2:4=15`1:1=24", nullptr},
        {"FrozenCols.xlsx", "$B$2:$C$4``A:A", "2:4=15", "`A:A="},
        {"FrozenBoth.xlsx", "$B$2:$C$4`1:1`A:A", "2:4=15`1:1=24", "`A:A="},
    };
    int16_t expectedPanels = 0;
    for (const PaneCase& c : cases) {
        SCOPED_TRACE(c.file);
        const QString workbook = InFolder(QLatin1String(c.file));
        Copy(QStringLiteral("range"), workbook);
        frmPanel* panel = Paste();
        ASSERT_TRUE(panel) << PromptScript::Messages().join(QLatin1Char('|')).toStdString();
        ++expectedPanels;
        EXPECT_EQ(gWorkspace->NumPanels(), expectedPanels);
        const clsWorkspacePanel* record = gWorkspace->Panels(panel->Index);
        EXPECT_EQ(record->PicRange, QLatin1String(c.picRange));
        EXPECT_TRUE(record->RowHeights.startsWith(QLatin1String(c.rowHeights))) << record->RowHeights.toStdString();
        if (c.colWidths) {
            EXPECT_TRUE(record->ColWidths.contains(QLatin1String(c.colWidths))) << record->ColWidths.toStdString();
        }
        EXPECT_EQ(record->ContentType, PanelContent::Range);
        EXPECT_EQ(record->SheetName, QStringLiteral("Data"));
        EXPECT_EQ(record->Caption, QFileInfo(workbook).completeBaseName());
        EXPECT_EQ(record->RelativeTo, QStringLiteral("bottom"));
        EXPECT_EQ(record->ContentMatch, QStringLiteral("bottom=$C$5"));
        EXPECT_EQ(record->ViewType, PanelView::Crop);
        EXPECT_EQ(record->ID, 0);
        EXPECT_TRUE(panel->IsDirty);
        ASSERT_TRUE(record->Source());
        EXPECT_EQ(record->Source()->FullPath, workbook);
        // The picture is what the engine paints for the picture range of the saved file.
        xl::Application app;
        xl::Worksheet* ws = app.Workbooks().Open(workbook)->Sheets().Item(QStringLiteral("Data"));
        clsWorkspacePanel copy = *record;
        const QImage expected = xl::RangePicture(ws->Range(copy.adjRange(ws)));
        EXPECT_EQ(panel->picTemp()->Picture().size(), expected.size());
        EXPECT_EQ(panel->picPanel()->Picture().size(), expected.size());
        EXPECT_TRUE(panel->SubWindow()->isVisibleTo(Window()));
    }
    // No paste left a message behind, and no workbook stays open anywhere.
    EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join('|').toStdString();
    EXPECT_TRUE(PanelMenuEnabled());
}

TEST_F(PanelTest, ASecondPasteFromTheSameWorkbookReusesItsSource) {
    StartWindow();
    Copy(QStringLiteral("range"));
    frmPanel* first = Paste();
    Copy(QStringLiteral("single-cell"));
    frmPanel* second = Paste();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(gWorkspace->Panels(first->Index)->SourceID, gWorkspace->Panels(second->Index)->SourceID);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbPanelSource")), 1);
    EXPECT_EQ(gWorkspace->Panels(second->Index)->PicRange, QStringLiteral("$B$3``"));
}

TEST_F(PanelTest, TheFiveRefusalsComeInTheirOrder) {
    UserExcel user;
    EXPECT_EQ(frmPanel::UserExcelRefusal(false, nullptr),
              QStringLiteral("Unable to paste.  No Excel instance loaded to paste data from."));
    EXPECT_EQ(frmPanel::UserExcelRefusal(true, nullptr), QStringLiteral("Unable to paste.  Excel is not open."));
    EXPECT_EQ(frmPanel::UserExcelRefusal(true, &user), QStringLiteral("Unable to paste.  Excel is not open."));
    user.App = std::make_shared<xl::Application>();
    user.Visible = false;
    EXPECT_EQ(frmPanel::UserExcelRefusal(true, &user), QStringLiteral("Unable to paste.  Excel is not visible."));
    user.Visible = true;
    EXPECT_EQ(frmPanel::UserExcelRefusal(true, &user), QStringLiteral("Unable to paste.  No workbook opened."));

    // Real clipboard contents, each refused with no panel left behind.
    StartWindow();
    struct Refused {
        std::function<void()> copy;
        QString first;
        QString reason;
    };
    const std::vector<Refused> refusals = {
        {[this] { CopyText(QStringLiteral("just text")); },
         QStringLiteral("Unable to paste.  No Excel instance loaded to paste data from."), QString()},
        {[this] { Copy(QStringLiteral("unsaved")); }, QStringLiteral("Unable to paste.  No workbook opened."),
         QStringLiteral("never been saved")},
        {[this] { Copy(QStringLiteral("range"), InFolder(QStringLiteral("Gone.xlsx"))); },
         QStringLiteral("Unable to paste.  No workbook opened."), QStringLiteral("no longer exists")},
        {[this] {
             QFile::copy(QStringLiteral(SB_SOURCE_DIR "/tests/platform/desktop/payloads/files/Budget.ods"),
                         InFolder(QStringLiteral("Budget.ods")));
             Copy(QStringLiteral("ods-link"));
         },
         QStringLiteral("Unable to paste.  No workbook opened."), QStringLiteral("not an .xlsx workbook")},
        {[this] {
             auto data = payloads::Load(QStringLiteral("range"),
                                        {{payloads::kCaptureFolder + "/Sales.xlsx", QFile::encodeName(InFolder("Sales.xlsx"))},
                                         {"Data.A2", "Gone.A2"}});
             QGuiApplication::clipboard()->setMimeData(data.release());
         },
         QStringLiteral("Unable to paste.  No worksheet selected."), QStringLiteral("no sheet named Gone")},
    };
    for (const Refused& r : refusals) {
        SCOPED_TRACE(r.first.toStdString());
        PromptScript::Reset();
        r.copy();
        EXPECT_EQ(Paste(), nullptr);
        ASSERT_EQ(PromptScript::Messages().size(), 1);
        const QString shown = PromptScript::Messages().front();
        EXPECT_TRUE(shown.startsWith(r.first)) << shown.toStdString();
        EXPECT_TRUE(shown.contains(r.reason)) << shown.toStdString();
        EXPECT_EQ(PromptScript::Record().back().style, int(vbExclamation));
        EXPECT_EQ(gWorkspace->NumPanels(), 0);
        EXPECT_TRUE(Window()->PanelWindows().empty());
        EXPECT_FALSE(PanelMenuEnabled());
    }
}

TEST_F(PanelTest, CellsChangedAndNotSavedAreRefused) {
    StartWindow();
    Copy(QStringLiteral("changed-not-saved"));
    EXPECT_EQ(Paste(), nullptr);
    ASSERT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_EQ(PromptScript::Messages().front(),
              QStringLiteral("The spreadsheet has been changed and not saved.\r\nYou cannot paste from it "
                             "at this time.\r\nPlease refer to help for more on this."));
    for (const auto& shown : PromptScript::Record()) {
        if (shown.kind == QStringLiteral("msgbox")) {
            EXPECT_EQ(shown.style, int(vbCritical));
        }
    }
    EXPECT_EQ(gWorkspace->NumPanels(), 0);
    EXPECT_TRUE(Window()->PanelWindows().empty());
}

TEST_F(PanelTest, AChartIsFoundBySizeInTheWorkbookLastCopiedFrom) {
    StartWindow();
    // A chart copied with no cells copied before: the workbook is asked for; cancel refuses.
    Copy(QStringLiteral("chart"));
    EXPECT_EQ(Paste(), nullptr);
    ASSERT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(PromptScript::Messages().front().startsWith(QStringLiteral("Unable to paste.  No workbook opened.")));
    EXPECT_TRUE(DialogsShown().contains(QStringLiteral("open")));

    PromptScript::Reset();
    Copy(QStringLiteral("range"));
    Copy(QStringLiteral("chart"));
    frmPanel* panel = Paste();
    ASSERT_TRUE(panel) << PromptScript::Messages().join('|').toStdString();
    const clsWorkspacePanel* record = gWorkspace->Panels(panel->Index);
    EXPECT_EQ(record->ContentType, PanelContent::Chart);
    EXPECT_FALSE(record->PicRange.isEmpty());
    EXPECT_EQ(record->SheetName, QStringLiteral("Data"));
    // 15 cm by 7.5 cm, which Calc shows as 548 x 284 pixels on a 96 dpi screen (narrower across
    // than 96 dpi, as it draws the sheet's columns).
    EXPECT_NEAR(panel->picTemp()->Picture().width(), 548, 1);
    EXPECT_NEAR(panel->picTemp()->Picture().height(), 284, 1);

    // A workbook without a chart of that size: the chart is not in the saved file.
    PromptScript::Reset();
    desk::ClipboardWatcher::Instance()->Forget();
    Copy(QStringLiteral("chart"));
    PromptScript::QueueDialog(QStringLiteral("open"), InFolder(QStringLiteral("NoChart.xlsx")));
    EXPECT_EQ(Paste(), nullptr);
    ASSERT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(PromptScript::Messages().front().startsWith(
        QStringLiteral("The copied chart was not found in the saved workbook ") +
        InFolder(QStringLiteral("NoChart.xlsx")) + QLatin1Char('.')))
        << PromptScript::Messages().front().toStdString();
    EXPECT_EQ(gWorkspace->NumPanels(), 1);
}

TEST_F(PanelTest, AChartOfAWorkbookSavedByCalcIsFoundByTheSizeItsDrawingDeclares) {
    // Saved by LibreOffice: a two-cell anchor whose cells measure a little otherwise here, and
    // the drawing's own transform with the size Calc then offers on the clipboard.
    const QString saved = InFolder(QStringLiteral("Report.xlsx"));
    ASSERT_TRUE(QFile::copy(payloads::Folder() + QStringLiteral("/files/SalesSavedByCalc.xlsx"), saved));
    StartWindow();
    Copy(QStringLiteral("range"), saved);
    Copy(QStringLiteral("chart-of-saved-workbook"));
    frmPanel* panel = Paste();
    ASSERT_TRUE(panel) << PromptScript::Messages().join('|').toStdString();
    EXPECT_FALSE(DialogsShown().contains(QStringLiteral("open")));
    const clsWorkspacePanel* record = gWorkspace->Panels(panel->Index);
    EXPECT_EQ(record->ContentType, PanelContent::Chart);
    EXPECT_EQ(record->PicRange, QStringLiteral("Chart 1"));
    EXPECT_EQ(record->Source()->FullPath, saved);

    // Cells copied last from a workbook without that chart: the user is asked, in the folder
    // of that workbook, and the chart is found in the one picked.
    PromptScript::Reset();
    const QString elsewhere = InFolder(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QFile::copy(InFolder(QStringLiteral("NoChart.xlsx")), elsewhere + QStringLiteral("/NoChart.xlsx")));
    Copy(QStringLiteral("range"), elsewhere + QStringLiteral("/NoChart.xlsx"));
    Copy(QStringLiteral("chart-of-saved-workbook"));
    PromptScript::QueueDialog(QStringLiteral("open"), saved);
    frmPanel* second = Paste();
    ASSERT_TRUE(second) << PromptScript::Messages().join('|').toStdString();
    EXPECT_EQ(gWorkspace->Panels(second->Index)->PicRange, QStringLiteral("Chart 1"));
    QString startedIn;
    for (const auto& shown : PromptScript::Record())
        if (shown.kind == QStringLiteral("open"))
            startedIn = shown.text;
    EXPECT_EQ(QDir(startedIn), QDir(elsewhere));
    // Both panels show the same chart from the same source.
    EXPECT_EQ(gWorkspace->Panels(second->Index)->SourceID, record->SourceID);
}

TEST_F(PanelTest, PastedPanelsFollowANewerVersionOfTheirWorkbook) {
    StartWindow();
    Window()->show();
    QCoreApplication::processEvents();
    Copy(QStringLiteral("range"));
    ASSERT_TRUE(Paste());
    Copy(QStringLiteral("single-cell"));
    ASSERT_TRUE(Paste());
    PromptScript::QueueDialog(QStringLiteral("frmSaveWorkspace"), QStringLiteral("Regions"));
    Click("mnuWorkspaceSave");
    ASSERT_GT(gWorkspace->ID, 0);
    const int32_t first = gWorkspace->Panels(1)->ID, second = gWorkspace->Panels(2)->ID;

    // Opened again: rendered once, then shown from the cache.
    Click("mnuWorkspaceRefresh");
    ASSERT_EQ(Window()->PanelWindows().size(), 2u);
    EXPECT_TRUE(QFile::exists(CachePath(first)));
    EXPECT_TRUE(QFile::exists(CachePath(second)));

    // A newer version arrives in the destination folder: three rows above the data, a new value.
    const QString sales = InFolder(QStringLiteral("Sales.xlsx"));
    QFile::remove(sales);
    ASSERT_TRUE(QFile::copy(FixtureWorkbookFolder() + QStringLiteral("/SalesNewer.xlsx"), sales));
    ASSERT_TRUE(AdjustFileTime(sales, QDateTime::currentDateTime().addSecs(3600)));
    PromptScript::Reset();
    Click("mnuWorkspaceRefresh");
    ASSERT_EQ(Window()->PanelWindows().size(), 2u) << PromptScript::Messages().join('|').toStdString();
    for (frmPanel* panel : Window()->PanelWindows()) {
        const clsWorkspacePanel* record = gWorkspace->Panels(panel->Index);
        const QString expected = record->ID == first ? QStringLiteral("A5:C7") : QStringLiteral("B6");
        SCOPED_TRACE(expected.toStdString());
        EXPECT_EQ(panel->picTemp()->Picture().convertToFormat(QImage::Format_RGB32),
                  Painted(sales, QStringLiteral("Data"), expected).convertToFormat(QImage::Format_RGB32));
    }
}
