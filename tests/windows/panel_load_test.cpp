// Loading stored panels: the picture cache, rendering when it is gone, the periodic reload,
// a missing workbook, and a render that fails part-way.

#include "PanelTestSupport.h"

#include <QColor>

namespace {

QImage Solid(int w, int h, QColor color) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

}  // namespace

class PanelLoadTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        source_ = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
        dashboard_ = AddDashboard(QStringLiteral("Board"));
        panelID_ = AddStoredPanel(dashboard_, source_, QStringLiteral("S"), QStringLiteral("$A$1:$C$5``"),
                                  QStringLiteral("A"));
    }
    frmPanel* OnlyPanel() const {
        const auto open = Window()->PanelWindows();
        return open.size() == 1 ? open.front() : nullptr;
    }

    int32_t source_ = 0, dashboard_ = 0, panelID_ = 0;
};

TEST_F(PanelLoadTest, TheCacheIsWrittenReadAndReplaced) {
    StartWindow();
    frmPanel* panel = OnlyPanel();
    ASSERT_TRUE(panel) << PromptScript::Messages().join('|').toStdString();
    const QImage rendered = Painted(InFolder(QStringLiteral("Sales.xlsx")), QStringLiteral("Data"),
                                    QStringLiteral("A1:C5"));
    EXPECT_EQ(panel->picTemp()->Picture().size(), rendered.size());
    ASSERT_TRUE(QFile::exists(CachePath(panelID_)));
    EXPECT_EQ(QImage(CachePath(panelID_)).size(), rendered.size());
    EXPECT_FALSE(panel->IsLoad);
    EXPECT_FALSE(panel->IsDirty);

    // A cached picture is shown as it is, without the workbook.
    ASSERT_TRUE(Solid(50, 40, Qt::red).save(CachePath(panelID_), "BMP"));
    ExcelApp XL;
    ASSERT_TRUE(Excel_Init(XL));
    EXPECT_TRUE(panel->Panel_Load(XL, false));
    EXPECT_EQ(panel->picTemp()->Picture().size(), QSize(50, 40));
    EXPECT_EQ(panel->picTemp()->Picture().pixelColor(10, 10), QColor(Qt::red));
    EXPECT_EQ(XL->Workbooks().Count(), 0);

    // The periodic reload leaves a cached picture alone.
    panel->IsDirty = true;
    EXPECT_FALSE(panel->Panel_Reload(XL));
    EXPECT_EQ(panel->picTemp()->Picture().size(), QSize(50, 40));
    EXPECT_TRUE(panel->IsDirty);

    // Without the cache the reload renders, and writes the cache again.
    QFile::remove(CachePath(panelID_));
    EXPECT_TRUE(panel->Panel_Reload(XL));
    EXPECT_EQ(panel->picTemp()->Picture().size(), rendered.size());
    EXPECT_TRUE(QFile::exists(CachePath(panelID_)));

    // A refresh drops the cache and renders from the stored row, which the update pass may
    // have relocated meanwhile.
    ASSERT_TRUE(Solid(50, 40, Qt::red).save(CachePath(panelID_), "BMP"));
    gDB->Execute(QStringLiteral("UPDATE DsbSavedPanel SET PicRange = '$A$1:$B$2``' WHERE ID = ?"), {panelID_});
    EXPECT_TRUE(panel->Panel_Load(XL, true));
    const QImage smaller = Painted(InFolder(QStringLiteral("Sales.xlsx")), QStringLiteral("Data"),
                                   QStringLiteral("A1:B2"));
    EXPECT_EQ(panel->picTemp()->Picture().size(), smaller.size());
    EXPECT_EQ(QImage(CachePath(panelID_)).size(), smaller.size());
    EXPECT_EQ(gWorkspace->Panels(panel->Index)->PicRange, QStringLiteral("$A$1:$B$2``"));
    Excel_Exit(XL);
}

TEST_F(PanelLoadTest, AMissingWorkbookCanBeLookedFor) {
    const QString moved = InFolder(QStringLiteral("Moved.xlsx"));
    ASSERT_TRUE(QFile::rename(InFolder(QStringLiteral("Sales.xlsx")), moved));
    const QString missing = InFolder(QStringLiteral("Sales.xlsx"));
    const QString question = QStringLiteral("Unable to load panel.  [") + missing +
                             QStringLiteral("] not found. Do you want to look for the file yourself?");

    // No: the load fails and the main window offers to delete the panel (answered No too).
    StartWindow();
    EXPECT_EQ(PromptScript::Messages().value(0), question);
    EXPECT_TRUE(Window()->PanelWindows().empty());

    ExcelApp XL;
    frmPanel* panel = NewPanelWindow(XL);

    // Yes, then Cancel in the file dialog.
    PromptScript::QueueMsgBox(vbYes);
    EXPECT_FALSE(panel->Panel_Load(XL, false));
    EXPECT_EQ(PromptScript::Messages(),
              (QStringList{question, QStringLiteral("Unable to load panel.  No file selected.")}));

    // Yes, and the moved workbook: the source follows it and is stored at once.
    PromptScript::Reset();
    PromptScript::QueueMsgBox(vbYes);
    PromptScript::QueueDialog(QStringLiteral("open"), moved);
    EXPECT_TRUE(panel->Panel_Load(XL, false));
    EXPECT_EQ(panel->picTemp()->Picture().size(),
              Painted(moved, QStringLiteral("Data"), QStringLiteral("A1:C5")).size());
    EXPECT_EQ(TextOf(QStringLiteral("SELECT FullPath FROM DsbPanelSource WHERE ID = ?"), {source_}), moved);
    EXPECT_EQ(TextOf(QStringLiteral("SELECT DestFolder FROM DsbPanelSource WHERE ID = ?"), {source_}),
              Folder() + QLatin1Char('/'));
    Excel_Exit(XL);
    delete panel->Frame();
}

TEST_F(PanelLoadTest, ARenderThatFailsClosesItsWorkbookAtOnce) {
    // A range far beyond what a picture can hold makes the painter give up part-way.
    gDB->Execute(QStringLiteral("UPDATE DsbSavedPanel SET PicRange = '$A$1:$XFD$1048576``' WHERE ID = ?"),
                 {panelID_});
    StartWindow();
    EXPECT_TRUE(Window()->PanelWindows().empty());
    ExcelApp XL;
    frmPanel* panel = NewPanelWindow(XL);
    EXPECT_FALSE(panel->Panel_Load(XL, false));
    EXPECT_EQ(XL->Workbooks().Count(), 0);
    EXPECT_FALSE(QFile::exists(CachePath(panelID_)));
    EXPECT_TRUE(LogText().contains(QStringLiteral("frmPanel"))) << LogText().toStdString();
    // The stored range definition is untouched by the failure.
    EXPECT_EQ(gWorkspace->Panels(1)->PicRange, QStringLiteral("$A$1:$XFD$1048576``"));
    Excel_Exit(XL);
    delete panel->Frame();
}

TEST_F(PanelLoadTest, APictureFileGetsASourceOfItsOwn) {
    StartWindow();
    frmPanel* panel = OnlyPanel();
    ASSERT_TRUE(panel);
    const QString picture = InFolder(QStringLiteral("logo.bmp"));
    ASSERT_TRUE(Solid(64, 32, Qt::blue).save(picture, "BMP"));

    // Cancel changes nothing.
    panel->IsDirty = false;
    panel->Panel_BrowsePicture();
    EXPECT_FALSE(panel->IsDirty);
    EXPECT_EQ(gWorkspace->Panels(1)->SourceID, source_);

    PromptScript::QueueDialog(QStringLiteral("open"), picture);
    panel->Panel_BrowsePicture();
    const clsWorkspacePanel* record = gWorkspace->Panels(1);
    EXPECT_EQ(record->ContentType, PanelContent::Picture);
    EXPECT_EQ(record->Caption, QStringLiteral("logo.bmp"));
    EXPECT_NE(record->SourceID, source_);
    EXPECT_EQ(panel->picPanel()->Picture().size(), QSize(64, 32));
    EXPECT_TRUE(panel->IsDirty);
    // The workbook's source still names the workbook for every other panel of it.
    EXPECT_EQ(gSources->Source(source_)->FullPath, InFolder(QStringLiteral("Sales.xlsx")));
    EXPECT_EQ(record->Source()->FullPath, picture);

    // Stored and loaded again it shows the picture file, and writes no cache.
    Click("mnuWorkspaceSave");
    QFile::remove(CachePath(panelID_));
    ExcelApp XL;
    ASSERT_TRUE(Excel_Init(XL));
    EXPECT_TRUE(panel->Panel_Load(XL, false));
    EXPECT_EQ(panel->picTemp()->Picture().size(), QSize(64, 32));
    EXPECT_FALSE(QFile::exists(CachePath(panelID_)));
    Excel_Exit(XL);
}
