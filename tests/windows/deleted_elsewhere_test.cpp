// A second copy of the program, on its own connection to the same repository file, deletes what
// this copy has open: saving then stores nothing, says so, and offers to keep the dashboard by
// saving it as a new one.

#include "WindowTestSupport.h"

#include "services/modUtilsSQL.h"

namespace {

// The other copy: its own connection to the repository, deleting through the records as its
// Delete commands do.
class OtherCopy {
public:
    OtherCopy() : db_(db::Database::Open(gDB->Name(), DatabaseKey(kConnectString))) {}
    void DeleteDashboard(int32_t id) {
        clsWorkspace theirs;
        (void)theirs.LoadFromDB(id, db_.get());
        ASSERT_TRUE(theirs.Delete(db_.get()));
    }
    void DeletePanel(int32_t id) {
        clsWorkspacePanel theirs;
        ASSERT_TRUE(theirs.LoadFromDB(id, db_.get()));
        ASSERT_TRUE(theirs.Delete(db_.get()));
    }

private:
    std::unique_ptr<db::Database> db_;
};

const QString kDashboardGone = QStringLiteral(
    "The dashboard 'Alpha' is no longer in the repository: another copy of Sheetbeacon may have "
    "deleted it. Nothing was saved.\r\n\r\nSave the dashboard as a new one, so that it is kept?");
const QString kPanelsGone = QStringLiteral(
    "Some panels of the dashboard 'Alpha' are no longer in the repository: another copy of "
    "Sheetbeacon may have deleted them. Nothing was saved.\r\n\r\nSave the dashboard as a new "
    "one, so that it is kept?");

}  // namespace

class DeletedElsewhereTest : public WindowTest {
protected:
    static QStringList Rows(const QString& sql, const QVariantList& params = {}) {
        return testsupport::Rows(*gDB, sql, params);
    }

    // Dashboard "Alpha" with panels "One" and "Two" is open and a window moved; the other copy
    // deletes the dashboard, or panel "Two"; then Save is chosen, declined and accepted.
    void SaveAfterTheOtherCopyDeleted(bool wholeDashboard, const QString& message) {
        const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
        const int32_t alpha = AddDashboard(QStringLiteral("Alpha"));
        AddPanel(alpha, source, QStringLiteral("One"), 150, 150);
        const int32_t two = AddPanel(alpha, source, QStringLiteral("Two"), 3000, 1500);
        frmWorkspace* w = StartWindow();
        ASSERT_EQ(w->PanelWindows().size(), 2u);
        frmPanel* moved = nullptr;
        for (frmPanel* panel : w->PanelWindows())
            if (gWorkspace->Panels(panel->Index)->Caption == QStringLiteral("One"))
                moved = panel;
        ASSERT_TRUE(moved);
        moved->Move(4500, 1500);
        moved->IsDirty = true;

        OtherCopy other;
        if (wholeDashboard)
            other.DeleteDashboard(alpha);
        else
            other.DeletePanel(two);
        const QStringList left = Rows(QStringLiteral("SELECT * FROM DsbSavedPanel ORDER BY ID"));

        // Declined: nothing is stored, and the window still holds the unsaved dashboard.
        PromptScript::Reset();
        PromptScript::QueueMsgBox(vbNo);
        Click("mnuWorkspaceSave");
        EXPECT_EQ(PromptScript::Messages(), QStringList{message});
        ASSERT_FALSE(PromptScript::Record().empty());
        EXPECT_EQ(PromptScript::Record().front().style, int(vbYesNo | vbExclamation));
        EXPECT_EQ(Rows(QStringLiteral("SELECT * FROM DsbSavedPanel ORDER BY ID")), left);
        EXPECT_EQ(gWorkspace->ID, alpha);
        EXPECT_TRUE(moved->IsDirty);
        EXPECT_TRUE(LogText().contains(QStringLiteral("is no longer in the repository")));

        // Closing asks to save; a save that stores nothing keeps the program open.
        PromptScript::Reset();
        PromptScript::QueueMsgBox(vbYes);
        PromptScript::QueueMsgBox(vbNo);
        EXPECT_FALSE(w->close());
        EXPECT_TRUE(Window());
        EXPECT_EQ(PromptScript::Messages(), (QStringList{QStringLiteral("Save changes to Alpha?"), message}));

        // Accepted: saved as a new dashboard with every panel where its window stands.
        PromptScript::Reset();
        PromptScript::QueueMsgBox(vbYes);
        PromptScript::QueueDialog(QStringLiteral("frmSaveWorkspace"), QStringLiteral("Alpha kept"));
        Click("mnuWorkspaceSave");
        EXPECT_EQ(PromptScript::Messages(), QStringList{message});
        EXPECT_EQ(DialogsShown(), QStringList{QStringLiteral("frmSaveWorkspace")});
        const int32_t kept = gWorkspace->ID;
        EXPECT_NE(kept, alpha);
        EXPECT_EQ(TextOf(QStringLiteral("SELECT Name FROM DsbSavedWorkspace WHERE ID = ?"), {kept}),
                  QStringLiteral("Alpha kept"));
        EXPECT_EQ(Rows(QStringLiteral("SELECT Caption, [Left], [Top] FROM DsbSavedPanel WHERE "
                                      "WorkspaceID = ? ORDER BY Caption"),
                       {kept}),
                  (QStringList{QStringLiteral("One|4500|1500"), QStringLiteral("Two|3000|1500")}));
        EXPECT_FALSE(moved->IsDirty);
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Sheetbeacon - Alpha kept"));
        EXPECT_TRUE(ListTexts().contains(QStringLiteral("Alpha kept")));
        // What the other copy left is as it left it.
        EXPECT_EQ(Rows(QStringLiteral("SELECT * FROM DsbSavedPanel WHERE WorkspaceID <> ? ORDER BY ID"),
                       {kept}),
                  left);
    }
};

TEST_F(DeletedElsewhereTest, SavingADashboardAnotherCopyDeletedSaysSoAndKeepsItAsANewOne) {
    SaveAfterTheOtherCopyDeleted(true, kDashboardGone);
}

TEST_F(DeletedElsewhereTest, SavingAfterAnotherCopyDeletedAPanelSaysSoAndKeepsItAsANewOne) {
    SaveAfterTheOtherCopyDeleted(false, kPanelsGone);
}

TEST_F(DeletedElsewhereTest, MovingAPanelAnotherCopyDeletedKeepsItHere) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t alpha = AddDashboard(QStringLiteral("Alpha"), 5);
    const int32_t beta = AddDashboard(QStringLiteral("Beta"), 50);
    const int32_t panel = AddPanel(alpha, source, QStringLiteral("Moving"));
    frmWorkspace* w = StartWindow();
    ASSERT_EQ(w->PanelWindows().size(), 1);
    OtherCopy().DeletePanel(panel);

    PromptScript::QueueDialog(QStringLiteral("frmOpenWorkspace"), beta);
    Click("mnuPanelMove");
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Unable to move the panel.")});
    EXPECT_EQ(PanelTitles(), QStringList{QStringLiteral("Moving")});
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel")), 0);
}
