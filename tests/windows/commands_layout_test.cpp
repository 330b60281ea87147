// Layout mode on real windows: the menus and marks, align and same size against the reference
// panel, and the arrangement commands.

#include "WindowTestSupport.h"

#include <QApplication>

class LayoutModeTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
        id_ = AddDashboard(QStringLiteral("Sales"));
        for (const char* caption : {"Base", "Wide", "Small", "Idle"})
            AddPanel(id_, source, QString::fromLatin1(caption));
        StartWindow();
        ASSERT_EQ(Window()->PanelWindows().size(), 4u);
        Place("Base", 1500, 750, 3000, 1500);
        Place("Wide", 6000, 3000, 4500, 2250);
        Place("Small", 300, 4500, 1500, 900);
        Place("Idle", 7500, 6000, 2400, 1200);
    }
    frmPanel* Panel(const char* caption) const {
        for (frmPanel* panel : Window()->PanelWindows())
            if (gWorkspace->Panels(panel->Index)->Caption == QLatin1String(caption))
                return panel;
        return nullptr;
    }
    clsWorkspacePanel* Record(const char* caption) const {
        return gWorkspace->Panels(Panel(caption)->Index);
    }
    void Place(const char* caption, int32_t left, int32_t top, int32_t width, int32_t height) {
        frmPanel* panel = Panel(caption);
        panel->Move(left, top);
        panel->Resize(width, height);
    }
    // Layout mode with `base` as the reference and `marked` marked as the user marks them.
    void EnterLayout(const char* base, std::initializer_list<const char*> marked) {
        Window()->mdiArea()->setActiveSubWindow(Panel(base)->SubWindow());
        Click("mnuWorkspaceLayout");
        ASSERT_TRUE(Window()->EditMode);
        for (const char* caption : marked)
            LeftClick(caption);
    }
    void LeftClick(const char* caption) const {
        Panel(caption)->picPanel_MouseDown(Qt::LeftButton, Qt::NoModifier, 5, 5);
    }
    QRect Geometry(const char* caption) const {
        frmPanel* p = Panel(caption);
        return QRect(p->Left(), p->Top(), p->Width(), p->Height());
    }
    int32_t id_ = 0;
};

TEST_F(LayoutModeTest, EnteringAndLeavingSwapsTheMenusAndClearsEveryMark) {
    auto* multi = Window()->findChild<QMenu*>(QStringLiteral("mnuMultiPanel"));
    auto* panelMenu = Window()->findChild<QMenu*>(QStringLiteral("mnuPanel"));
    EnterLayout("Wide", {"Small"});
    EXPECT_TRUE(Panel("Wide")->IsBase);
    EXPECT_TRUE(Panel("Wide")->IsMarked);
    EXPECT_FALSE(panelMenu->menuAction()->isVisible());
    EXPECT_TRUE(multi->menuAction()->isVisible());
    EXPECT_EQ(multi->title(), QStringLiteral("Panel"));
    for (const char* item : {"mnuWorkspaceLayout", "mnuPanelLayout", "mnuMultiLayout"})
        EXPECT_TRUE(Item(item)->isChecked()) << item;

    Click("mnuMultiLayout");
    EXPECT_FALSE(Window()->EditMode);
    for (frmPanel* panel : Window()->PanelWindows()) {
        EXPECT_FALSE(panel->IsBase);
        EXPECT_FALSE(panel->IsMarked);
    }
    EXPECT_TRUE(panelMenu->menuAction()->isVisible());
    EXPECT_FALSE(multi->menuAction()->isVisible());
    for (const char* item : {"mnuWorkspaceLayout", "mnuPanelLayout", "mnuMultiLayout"})
        EXPECT_FALSE(Item(item)->isChecked()) << item;
    // Leaving forgets the reference: align has nothing to align to.
    Panel("Small")->IsMarked = true;
    Click("mnuAlignLeft");
    EXPECT_EQ(Geometry("Small").left(), 300);
    EXPECT_FALSE(Window()->IsDashboardDirty());
}

TEST_F(LayoutModeTest, ClicksMarkPanelsAndTheTitlesShowIt) {
    EnterLayout("Base", {"Wide"});
    EXPECT_EQ(Panel("Base")->windowTitle(), QStringLiteral("*Base"));
    EXPECT_EQ(Panel("Wide")->windowTitle(), QStringLiteral("**Wide"));
    EXPECT_EQ(Panel("Small")->windowTitle(), QStringLiteral("Small"));
    LeftClick("Wide");
    EXPECT_FALSE(Panel("Wide")->IsMarked);
    EXPECT_EQ(Panel("Wide")->windowTitle(), QStringLiteral("Wide"));
    // The reference panel can't be unmarked.
    LeftClick("Base");
    EXPECT_TRUE(Panel("Base")->IsMarked);
    // A right click offers the Multi Panel menu.
    Panel("Small")->picPanel_MouseDown(Qt::RightButton, Qt::NoModifier, 5, 5);
    auto* multi = Window()->findChild<QMenu*>(QStringLiteral("mnuMultiPanel"));
    EXPECT_TRUE(multi->isVisible());
    multi->hide();
    LeftClick("Small");
    Click("mnuWorkspaceLayout");
    EXPECT_EQ(PanelTitles().filter(QStringLiteral("*")), QStringList());
    // Outside layout mode a left click marks nothing.
    LeftClick("Small");
    EXPECT_FALSE(Panel("Small")->IsMarked);
}

TEST_F(LayoutModeTest, AlignRightsAndBottomsUseEachWindowsOwnSize) {
    EnterLayout("Base", {"Wide", "Small"});
    const QRect base = Geometry("Base");
    const QRect idle = Geometry("Idle");
    Click("mnuAlignRight");
    EXPECT_EQ(Geometry("Wide").left(), 1500 + 3000 - 4500);
    EXPECT_EQ(Geometry("Small").left(), 1500 + 3000 - 1500);
    EXPECT_EQ(Record("Wide")->pLeft, 0);
    EXPECT_EQ(Record("Small")->pLeft, 3000);
    EXPECT_TRUE(Window()->IsDashboardDirty());

    Click("mnuAlignBottom");
    for (const char* caption : {"Wide", "Small"}) {
        const QRect g = Geometry(caption);
        EXPECT_EQ(g.top() + g.height(), 750 + 1500) << caption;
        EXPECT_EQ(Record(caption)->pTop, g.top()) << caption;
    }
    EXPECT_EQ(Geometry("Wide").top(), 0);
    EXPECT_EQ(Geometry("Small").top(), 1350);
    // Sizes stay, and neither the reference nor an unmarked window moves.
    EXPECT_EQ(Geometry("Wide").size(), QSize(4500, 2250));
    EXPECT_EQ(Geometry("Base"), base);
    EXPECT_EQ(Geometry("Idle"), idle);

    Click("mnuAlignLeft");
    Click("mnuAlignTop");
    EXPECT_EQ(Geometry("Small").topLeft(), QPoint(1500, 750));
    EXPECT_EQ(Record("Small")->pLeft, 1500);
    EXPECT_EQ(Record("Small")->pTop, 750);
}

TEST_F(LayoutModeTest, MakeSameSizeCropsAnAutosizePanel) {
    ASSERT_EQ(Record("Small")->ViewType, PanelView::AutoSize);
    EnterLayout("Base", {"Small"});
    const QRect idle = Geometry("Idle");
    Click("mnuSameBoth");
    EXPECT_EQ(Record("Small")->ViewType, PanelView::Crop);
    EXPECT_EQ(Geometry("Small").size(), QSize(3000, 1500));
    EXPECT_EQ(Record("Small")->pWidth, 3000);
    EXPECT_EQ(Record("Small")->pHeight, 1500);
    EXPECT_EQ(Geometry("Small").topLeft(), QPoint(300, 4500));
    EXPECT_EQ(Geometry("Idle"), idle);
    EXPECT_EQ(Record("Idle")->ViewType, PanelView::AutoSize);
    EXPECT_EQ(Record("Base")->ViewType, PanelView::AutoSize);

    LeftClick("Wide");
    Click("mnuSameWidth");
    EXPECT_EQ(Geometry("Wide").size(), QSize(3000, 2250));
    EXPECT_EQ(Record("Wide")->pWidth, 3000);
    Click("mnuSameHeight");
    EXPECT_EQ(Geometry("Wide").size(), QSize(3000, 1500));
    EXPECT_EQ(Record("Wide")->pHeight, 1500);
}

TEST_F(LayoutModeTest, NothingMarkedChangesNothing) {
    EnterLayout("Base", {});
    std::vector<QRect> before;
    for (frmPanel* p : Window()->PanelWindows())
        before.emplace_back(p->Left(), p->Top(), p->Width(), p->Height());
    for (const char* item : {"mnuAlignLeft", "mnuAlignRight", "mnuAlignTop", "mnuAlignBottom",
                             "mnuSameWidth", "mnuSameHeight", "mnuSameBoth"})
        Click(item);
    size_t i = 0;
    for (frmPanel* p : Window()->PanelWindows())
        EXPECT_EQ(QRect(p->Left(), p->Top(), p->Width(), p->Height()), before[i++]);
    EXPECT_FALSE(Window()->IsDashboardDirty());
    EXPECT_EQ(Record("Small")->ViewType, PanelView::AutoSize);
}

TEST_F(LayoutModeTest, ArrangementMovesWindowsButNotRecords) {
    const int32_t storedLeft = Record("Wide")->pLeft;
    // The dashboard area takes its real size once the window is on screen.
    Window()->show();
    QApplication::processEvents();
    // Cropped panels keep the size they are given; autosize ones fit themselves to the picture.
    for (frmPanel* p : Window()->PanelWindows())
        gWorkspace->Panels(p->Index)->ViewType = PanelView::Crop;
    Click("mnuEditVertical");
    const QRect room = Window()->mdiArea()->viewport()->rect();
    int32_t widthSum = 0;
    for (frmPanel* p : Window()->PanelWindows()) {
        EXPECT_EQ(p->Frame()->y(), 0);
        EXPECT_EQ(p->Frame()->height(), room.height());
        widthSum += p->Frame()->width();
    }
    EXPECT_EQ(widthSum, room.width());
    Click("mnuEditHorizontal");
    for (frmPanel* p : Window()->PanelWindows())
        EXPECT_EQ(p->Frame()->width(), room.width());
    Click("mnuEditCascade");
    Click("mnuEditIcons");
    EXPECT_EQ(Record("Wide")->pLeft, storedLeft);
    EXPECT_FALSE(Window()->IsDashboardDirty());
}
