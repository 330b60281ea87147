// The main window's commands on the active panel: delete with renumbering, copy and move
// between dashboards, refresh, with real windows and a real repository.

#include "WindowTestSupport.h"

#include "services/modUtilsMisc.h"

#include <QApplication>

namespace {
const QString kDeletePrompt = QStringLiteral(
    "You are about to delete the active panel.  You will not be able to undelete.\n"
    "Do you want to continue?");
}

class PanelCommandsTest : public WindowTest {
protected:
    frmPanel* WindowOf(const QString& caption) const {
        for (frmPanel* panel : Window()->PanelWindows())
            if (gWorkspace->Panels(panel->Index) &&
                gWorkspace->Panels(panel->Index)->Caption == caption)
                return panel;
        return nullptr;
    }
    void Activate(frmPanel* panel) const {
        ASSERT_TRUE(panel);
        Window()->mdiArea()->setActiveSubWindow(panel->SubWindow());
    }
    static QStringList RecordCaptions() {
        QStringList captions;
        for (int16_t i = 1; i <= gWorkspace->NumPanels(); ++i)
            captions << gWorkspace->Panels(i)->Caption;
        return captions;
    }
    static qint64 RowsOf(int32_t workspaceID) {
        return Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE WorkspaceID = ?"),
                      {workspaceID});
    }
    int32_t source_ = 0;
    void SetUp() override {
        WindowTest::SetUp();
        source_ = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    }
};

TEST_F(PanelCommandsTest, DeleteRenumbersTheWindowsBehindTheRemovedOne) {
    const int32_t id = AddDashboard(QStringLiteral("Sales"));
    for (const char* caption : {"A", "B", "C", "D"})
        AddPanel(id, source_, QString::fromLatin1(caption));
    frmWorkspace* w = StartWindow();
    ASSERT_EQ(w->PanelWindows().size(), 4u);
    const int32_t rowB = gWorkspace->Panels(2)->ID;

    // Declining keeps everything.
    Activate(WindowOf(QStringLiteral("B")));
    PromptScript::QueueMsgBox(vbNo);
    Click("mnuPanelDelete");
    EXPECT_EQ(PromptScript::Messages(), QStringList{kDeletePrompt});
    EXPECT_EQ(w->PanelWindows().size(), 4u);
    EXPECT_FALSE(w->IsDashboardDirty());

    Activate(WindowOf(QStringLiteral("B")));
    PromptScript::QueueMsgBox(vbYes);
    Click("mnuPanelDelete");
    EXPECT_EQ(w->PanelWindows().size(), 3u);
    EXPECT_EQ(RecordCaptions(), (QStringList{QStringLiteral("A"), QStringLiteral("C"),
                                             QStringLiteral("D")}));
    ASSERT_TRUE(WindowOf(QStringLiteral("A")) && WindowOf(QStringLiteral("C")) &&
                WindowOf(QStringLiteral("D")));
    EXPECT_EQ(WindowOf(QStringLiteral("A"))->Index, 1);
    EXPECT_EQ(WindowOf(QStringLiteral("C"))->Index, 2);
    EXPECT_EQ(WindowOf(QStringLiteral("D"))->Index, 3);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE ID = ?"), {rowB}), 0);
    EXPECT_EQ(RowsOf(id), 3);
    EXPECT_TRUE(w->IsDashboardDirty());
    EXPECT_TRUE(PanelMenuEnabled());
    EXPECT_FALSE(w->IsBusy());
}

TEST_F(PanelCommandsTest, DeletingTheOnlyPanelDisablesThePanelMenu) {
    const int32_t id = AddDashboard(QStringLiteral("Sales"));
    AddPanel(id, source_, QStringLiteral("Only"));
    frmWorkspace* w = StartWindow();
    ASSERT_TRUE(PanelMenuEnabled());
    PromptScript::QueueMsgBox(vbYes);
    Click("mnuPanelDelete");
    EXPECT_TRUE(w->PanelWindows().empty());
    EXPECT_EQ(gWorkspace->NumPanels(), 0);
    EXPECT_FALSE(PanelMenuEnabled());
    EXPECT_EQ(RowsOf(id), 0);
    // With no active panel the panel commands do nothing at all.
    PromptScript::Reset();
    Click("mnuPanelDelete");
    Click("mnuPanelRefresh");
    Click("mnuPanelCopy");
    EXPECT_TRUE(PromptScript::Record().empty());
}

TEST_F(PanelCommandsTest, CopyToAnotherDashboardWritesOneRowAndLeavesThisOneAlone) {
    const int32_t id = AddDashboard(QStringLiteral("Sales"), 5);
    const int32_t other = AddDashboard(QStringLiteral("Other"), 60);
    const int32_t row = AddPanel(id, source_, QStringLiteral("Revenue"), 1500, 750);
    frmWorkspace* w = StartWindow();
    ASSERT_EQ(gWorkspace->ID, id);

    PromptScript::QueueDialog(QStringLiteral("frmOpenWorkspace"), other);
    Click("mnuPanelCopy");
    EXPECT_EQ(RowsOf(other), 1);
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Caption FROM DsbSavedPanel WHERE WorkspaceID = ?"),
                     {other}),
              QStringLiteral("Revenue"));
    EXPECT_EQ(RowsOf(id), 1);
    EXPECT_EQ(gWorkspace->Panels(1)->ID, row);
    EXPECT_EQ(w->PanelWindows().size(), 1u);
    EXPECT_FALSE(w->IsDashboardDirty());
    EXPECT_FALSE(w->IsBusy());

    // Cancelling the choice copies nothing.
    PromptScript::QueueDialog(QStringLiteral("frmOpenWorkspace"), QVariant());
    Click("mnuPanelCopy");
    EXPECT_EQ(RowsOf(other), 1);
}

TEST_F(PanelCommandsTest, CopyToThisDashboardAddsAnUnsavedWindowAtTheStoredPosition) {
    const int32_t id = AddDashboard(QStringLiteral("Sales"));
    AddPanel(id, source_, QStringLiteral("Revenue"), 1500, 750);
    frmWorkspace* w = StartWindow();
    frmPanel* original = w->PanelWindows().at(0);
    // Moved but not saved: the copy takes the stored place, after the save question.
    original->Move(4500, 3000);
    original->IsDirty = true;
    PromptScript::QueueMsgBox(vbNo);
    PromptScript::QueueDialog(QStringLiteral("frmOpenWorkspace"), id);
    Click("mnuPanelCopy");
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Save changes to Sales?")});
    ASSERT_EQ(gWorkspace->NumPanels(), 2);
    EXPECT_EQ(gWorkspace->Panels(2)->ID, 0);
    EXPECT_EQ(gWorkspace->Panels(2)->Caption, QStringLiteral("Revenue"));
    ASSERT_EQ(w->PanelWindows().size(), 2u);
    frmPanel* copy = w->PanelWindows().at(1);
    EXPECT_EQ(copy->Index, 2);
    EXPECT_EQ(copy->Left(), 1500);
    EXPECT_EQ(copy->Top(), 750);
    EXPECT_EQ(RowsOf(id), 1);
    EXPECT_TRUE(w->IsDashboardDirty());
}

TEST_F(PanelCommandsTest, CancelInTheSaveQuestionStopsCopyMoveAndRefresh) {
    const int32_t id = AddDashboard(QStringLiteral("Sales"), 5);
    const int32_t other = AddDashboard(QStringLiteral("Other"), 60);
    AddPanel(id, source_, QStringLiteral("Revenue"));
    frmWorkspace* w = StartWindow();
    w->PanelWindows().at(0)->IsDirty = true;
    for (const char* command : {"mnuPanelCopy", "mnuPanelMove", "mnuPanelRefresh"}) {
        PromptScript::QueueMsgBox(vbCancel);
        Click(command);
    }
    EXPECT_EQ(PromptScript::Messages().size(), 3);
    EXPECT_TRUE(DialogsShown().isEmpty());
    EXPECT_EQ(RowsOf(id), 1);
    EXPECT_EQ(RowsOf(other), 0);
    EXPECT_EQ(w->PanelWindows().size(), 1u);
    EXPECT_FALSE(w->IsBusy());
}

TEST_F(PanelCommandsTest, MoveTakesTheRowToTheTargetAndNowhereElse) {
    const int32_t id = AddDashboard(QStringLiteral("Sales"), 5);
    const int32_t other = AddDashboard(QStringLiteral("Other"), 60);
    AddPanel(id, source_, QStringLiteral("Stays"));
    const int32_t moved = AddPanel(id, source_, QStringLiteral("Moves"));
    frmWorkspace* w = StartWindow();

    // To the dashboard that is open: nothing happens.
    Activate(WindowOf(QStringLiteral("Moves")));
    PromptScript::QueueDialog(QStringLiteral("frmOpenWorkspace"), id);
    Click("mnuPanelMove");
    EXPECT_EQ(w->PanelWindows().size(), 2u);
    EXPECT_EQ(RowsOf(id), 2);
    EXPECT_FALSE(w->IsDashboardDirty());

    Activate(WindowOf(QStringLiteral("Moves")));
    PromptScript::QueueDialog(QStringLiteral("frmOpenWorkspace"), other);
    Click("mnuPanelMove");
    EXPECT_EQ(Scalar(QStringLiteral("SELECT WorkspaceID FROM DsbSavedPanel WHERE ID = ?"), {moved}),
              other);
    EXPECT_EQ(RecordCaptions(), QStringList{QStringLiteral("Stays")});
    ASSERT_EQ(w->PanelWindows().size(), 1u);
    EXPECT_EQ(w->PanelWindows().at(0)->Index, 1);
    EXPECT_FALSE(w->IsDashboardDirty());
}

TEST_F(PanelCommandsTest, ACopyOrMoveTargetDeletedMeanwhileGetsNothing) {
    const int32_t id = AddDashboard(QStringLiteral("Sales"), 5);
    const int32_t gone = AddDashboard(QStringLiteral("Gone"), 60);
    const int32_t row = AddPanel(id, source_, QStringLiteral("Revenue"));
    frmWorkspace* w = StartWindow();
    gDB->Execute(QStringLiteral("DELETE FROM DsbSavedWorkspace WHERE ID = ?"), {gone});

    PromptScript::QueueDialog(QStringLiteral("frmOpenWorkspace"), gone);
    Click("mnuPanelCopy");
    PromptScript::QueueDialog(QStringLiteral("frmOpenWorkspace"), gone);
    Click("mnuPanelMove");
    EXPECT_EQ(RowsOf(gone), 0);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT WorkspaceID FROM DsbSavedPanel WHERE ID = ?"), {row}), id);
    EXPECT_EQ(w->PanelWindows().size(), 1u);
    EXPECT_EQ(gWorkspace->NumPanels(), 1);
    EXPECT_FALSE(w->IsDashboardDirty());
    EXPECT_EQ(PromptScript::Messages().size(), 2);
    EXPECT_TRUE(PromptScript::Messages().at(0).contains(QStringLiteral("no longer exists")));
    EXPECT_TRUE(LogText().contains(QStringLiteral("mnuPanelMove_Click")));
}

TEST_F(PanelCommandsTest, ACopyOrMoveTheRepositoryRefusesSaysSoAndKeepsThePanelHere) {
    const int32_t id = AddDashboard(QStringLiteral("Sales"), 5);
    const int32_t other = AddDashboard(QStringLiteral("Other"), 60);
    const int32_t row = AddPanel(id, source_, QStringLiteral("Revenue"));
    frmWorkspace* w = StartWindow();
    gDB->Execute(QStringLiteral("CREATE TRIGGER refuse_other BEFORE INSERT ON DsbSavedPanel "
                                "WHEN NEW.WorkspaceID = ") + QString::number(other) +
                 QStringLiteral(" BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    gDB->Execute(QStringLiteral("CREATE TRIGGER refuse_move BEFORE UPDATE ON DsbSavedPanel "
                                "WHEN NEW.WorkspaceID = ") + QString::number(other) +
                 QStringLiteral(" BEGIN SELECT RAISE(ABORT, 'refused'); END"));

    PromptScript::QueueDialog(QStringLiteral("frmOpenWorkspace"), other);
    Click("mnuPanelCopy");
    PromptScript::QueueDialog(QStringLiteral("frmOpenWorkspace"), other);
    Click("mnuPanelMove");
    const QStringList shown = PromptScript::Messages();
    ASSERT_EQ(shown.size(), 4) << shown.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(shown[0].contains(QStringLiteral("refused")));
    EXPECT_EQ(shown[1], QStringLiteral("Unable to copy the panel."));
    EXPECT_TRUE(shown[2].contains(QStringLiteral("refused")));
    EXPECT_EQ(shown[3], QStringLiteral("Unable to move the panel."));
    EXPECT_EQ(RowsOf(other), 0);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT WorkspaceID FROM DsbSavedPanel WHERE ID = ?"), {row}), id);
    ASSERT_EQ(w->PanelWindows().size(), 1u);
    EXPECT_EQ(gWorkspace->NumPanels(), 1);
    EXPECT_EQ(gWorkspace->Panels(1)->ID, row);
    EXPECT_FALSE(w->IsBusy());
}

TEST_F(PanelCommandsTest, RefreshAsksToSaveOnlyForAChangedPanel) {
    const int32_t id = AddDashboard(QStringLiteral("Sales"));
    AddPanel(id, source_, QStringLiteral("Revenue"));
    frmWorkspace* w = StartWindow();
    frmPanel* panel = w->PanelWindows().at(0);

    Click("mnuPanelRefresh");
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    EXPECT_EQ(w->PanelWindows().size(), 1u);
    EXPECT_FALSE(w->IsBusy());

    panel->IsDirty = true;
    PromptScript::QueueMsgBox(vbNo);
    Click("mnuPanelRefresh");
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Save changes to Sales?")});
    EXPECT_FALSE(panel->IsDirty);
    EXPECT_FALSE(w->IsBusy());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// An unsaved dashboard whose changes the user declines to save stays open, and so stays the
// list's current entry, whichever command asked.
TEST_F(PanelCommandsTest, DecliningToSaveAnUnsavedDashboardKeepsItInTheList) {
    frmWorkspace* w = StartWindow();
    ASSERT_EQ(gWorkspace->ID, 0);
    ASSERT_TRUE(w->IsDashboardDirty());
    PromptScript::QueueMsgBox(vbNo);
    Click("mnuWorkspaceRefresh");
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Save changes to Untitled?")});
    EXPECT_EQ(ListTexts(), QStringList{QStringLiteral("Untitled")});
    EXPECT_EQ(List()->currentText(), QStringLiteral("Untitled"));
    EXPECT_EQ(gWorkspace->Name, QStringLiteral("Untitled"));
}
