// The main window on real repositories: start, the dashboard list, the save question and the
// dashboard commands, with boxes and dialogs answered by script.

#include "WindowTestSupport.h"

#include "services/App.h"
#include "ui/modUtilsControls.h"
#include "services/modUtilsHelp.h"
#include "services/ProgramIcon.h"
#include "services/Twips.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QMouseEvent>
#include <QTimer>
#include <QToolButton>

namespace {
const QString kNoSource = QStringLiteral("Panel has no source defined.");
}

TEST_F(WindowTest, EmptyRepositoryStartsUntitledWithTheTips) {
    frmWorkspace* w = StartWindow();
    ASSERT_TRUE(gWorkspace);
    EXPECT_EQ(gWorkspace->ID, 0);
    EXPECT_EQ(gWorkspace->Name, QStringLiteral("Untitled"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Sheetbeacon - Untitled"));
    EXPECT_EQ(ListTexts(), QStringList{QStringLiteral("Untitled")});
    EXPECT_EQ(List()->currentIndex(), 0);
    EXPECT_FALSE(PanelMenuEnabled());
    EXPECT_EQ(DialogsShown(), QStringList{QStringLiteral("frmTip")});
    EXPECT_TRUE(w->IsDashboardDirty());
    EXPECT_FALSE(w->IsBusy());
    // Later activations start nothing again.
    w->Form_Activate();
    EXPECT_EQ(DialogsShown().size(), 1);
    EXPECT_EQ(ListTexts().size(), 1);
}

TEST_F(WindowTest, MostRecentDashboardOpensAtStartWithItsPanels) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t older = AddDashboard(QStringLiteral("Older"), 300);
    const int32_t recent = AddDashboard(QStringLiteral("Recent"), 5);
    AddPanel(older, source, QStringLiteral("Old panel"));
    AddPanel(recent, source, QStringLiteral("First"), 1500, 750);
    AddPanel(recent, source, QStringLiteral("Second"), 4500, 3000);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-2);

    frmWorkspace* w = StartWindow();
    EXPECT_EQ(gWorkspace->ID, recent);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Sheetbeacon - Recent"));
    EXPECT_EQ(ListTexts(), (QStringList{QStringLiteral("Recent"), QStringLiteral("Older")}));
    EXPECT_TRUE(DialogsShown().isEmpty()) << DialogsShown().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    EXPECT_TRUE(PanelMenuEnabled());
    EXPECT_FALSE(w->IsDashboardDirty());
    // Windows are made from the last record to the first; the first record's is active.
    ASSERT_EQ(w->PanelWindows().size(), 2u);
    EXPECT_EQ(PanelTitles(), (QStringList{QStringLiteral("Second"), QStringLiteral("First")}));
    EXPECT_EQ(w->PanelWindows()[0]->Index, 2);
    EXPECT_EQ(w->PanelWindows()[1]->Index, 1);
    ASSERT_TRUE(w->mdiArea()->activeSubWindow());
    EXPECT_EQ(w->mdiArea()->activeSubWindow()->widget(), w->PanelWindows()[1]);
    EXPECT_EQ(w->PanelWindows()[1]->Left(), 1500);
    EXPECT_EQ(w->PanelWindows()[1]->Top(), 750);
    EXPECT_EQ(w->PanelWindows()[0]->Left(), 4500);
    // Opening stamps the dashboard as the most recently used.
    const QDateTime stamped = QDateTime::fromString(
        TextOf(QStringLiteral("SELECT LastUpdated FROM DsbSavedWorkspace WHERE ID = ?"), {recent}),
        QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    EXPECT_GE(stamped, before);
}

TEST_F(WindowTest, ChoosingTheOpenDashboardDoesNothing) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t id = AddDashboard(QStringLiteral("Sales"));
    AddPanel(id, source, QStringLiteral("Panel"));
    frmWorkspace* w = StartWindow();
    frmPanel* before = w->PanelWindows().at(0);
    before->IsDirty = true;
    const QString stamp =
        TextOf(QStringLiteral("SELECT LastUpdated FROM DsbSavedWorkspace WHERE ID = ?"), {id});
    gDB->Execute(QStringLiteral("UPDATE DsbSavedWorkspace SET LastUpdated = '2001-01-01 00:00:00'"));

    // Selected again from code, as the save paths do, and chosen again by the user.
    Combo_SelectByData(List(), id);
    List()->setCurrentIndex(ListIndexOf(id));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    ASSERT_EQ(w->PanelWindows().size(), 1u);
    EXPECT_EQ(w->PanelWindows()[0], before);
    EXPECT_TRUE(before->IsDirty);
    EXPECT_EQ(TextOf(QStringLiteral("SELECT LastUpdated FROM DsbSavedWorkspace")),
              QStringLiteral("2001-01-01 00:00:00"));
    EXPECT_NE(stamp, QStringLiteral("2001-01-01 00:00:00"));
}

TEST_F(WindowTest, SaveQuestionCancelKeepsAndNoDiscards) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t a = AddDashboard(QStringLiteral("Alpha"), 5);
    const int32_t b = AddDashboard(QStringLiteral("Beta"), 50);
    AddPanel(a, source, QStringLiteral("A panel"));
    AddPanel(b, source, QStringLiteral("B panel"));
    frmWorkspace* w = StartWindow();
    ASSERT_EQ(gWorkspace->ID, a);
    w->PanelWindows()[0]->IsDirty = true;

    // Cancel: the current dashboard stays, with its entry selected again.
    PromptScript::QueueMsgBox(vbCancel);
    Choose(b);
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Save changes to Alpha?")});
    EXPECT_EQ(gWorkspace->ID, a);
    EXPECT_EQ(List()->currentIndex(), ListIndexOf(a));
    EXPECT_EQ(PanelTitles(), QStringList{QStringLiteral("A panel")});
    EXPECT_TRUE(w->PanelWindows()[0]->IsDirty);

    // No: the chosen dashboard opens and nothing of Alpha is written.
    PromptScript::QueueMsgBox(vbNo);
    Choose(b);
    EXPECT_EQ(gWorkspace->ID, b);
    EXPECT_EQ(PanelTitles(), QStringList{QStringLiteral("B panel")});
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Sheetbeacon - Beta"));
    EXPECT_FALSE(w->IsBusy());

    // No on an unsaved new dashboard drops its entry from the list.
    Click("mnuWorkspaceNew");
    EXPECT_TRUE(ListTexts().contains(QStringLiteral("Untitled")));
    PromptScript::QueueMsgBox(vbNo);
    Choose(a);
    EXPECT_EQ(gWorkspace->ID, a);
    EXPECT_FALSE(ListTexts().contains(QStringLiteral("Untitled")));
    EXPECT_EQ(ListTexts().size(), 2);
}

TEST_F(WindowTest, SaveQuestionYesStoresTheMovedWindowsThenOpensTheChoice) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t a = AddDashboard(QStringLiteral("Alpha"), 5);
    const int32_t b = AddDashboard(QStringLiteral("Beta"), 50);
    const int32_t panel = AddPanel(a, source, QStringLiteral("A panel"), 0, 0);
    AddPanel(b, source, QStringLiteral("B panel"));
    frmWorkspace* w = StartWindow();
    w->PanelWindows()[0]->Move(3000, 1500);
    w->PanelWindows()[0]->IsDirty = true;

    PromptScript::QueueMsgBox(vbYes);
    Choose(b);
    EXPECT_EQ(gWorkspace->ID, b);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT [Left] FROM DsbSavedPanel WHERE ID = ?"), {panel}), 3000);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT [Top] FROM DsbSavedPanel WHERE ID = ?"), {panel}), 1500);
    EXPECT_EQ(List()->currentIndex(), ListIndexOf(b));
    // Beta was opened once: its stamp makes it the most recent entry.
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Name FROM DsbSavedWorkspace ORDER BY LastUpdated DESC, ID DESC")),
              QStringLiteral("Beta"));
}

TEST_F(WindowTest, RefreshAfterAnUnsavedPanelAnsweredNoKeepsItsRecordWithoutWindow) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t a = AddDashboard(QStringLiteral("Alpha"));
    AddPanel(a, source, QStringLiteral("One"));
    AddPanel(a, source, QStringLiteral("Two"));
    frmWorkspace* w = StartWindow();
    // A panel pasted and not yet stored: a record with ID 0 whose window marks itself changed.
    const int16_t added = gWorkspace->AddPanel();
    gWorkspace->Panels(added)->SourceID = source;
    w->PanelWindows()[0]->IsDirty = true;

    PromptScript::QueueMsgBox(vbNo);
    Click("mnuWorkspaceRefresh");
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Save changes to Alpha?")});
    EXPECT_EQ(gWorkspace->NumPanels(), 3);
    EXPECT_EQ(w->PanelWindows().size(), 2u);
    EXPECT_EQ(PanelTitles(), (QStringList{QStringLiteral("Two"), QStringLiteral("One")}));
    EXPECT_FALSE(w->IsDashboardDirty());
    EXPECT_FALSE(w->IsBusy());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Cancel stops the refresh before any window is closed.
    frmPanel* kept = w->PanelWindows()[0];
    kept->IsDirty = true;
    PromptScript::QueueMsgBox(vbCancel);
    Click("mnuWorkspaceRefresh");
    EXPECT_EQ(w->PanelWindows()[0], kept);
}

TEST_F(WindowTest, SaveOfANeverStoredDashboardAsksForAName) {
    frmWorkspace* w = StartWindow();
    PromptScript::Reset();

    // Save As cancelled: nothing is stored.
    Click("mnuWorkspaceSave");
    EXPECT_EQ(DialogsShown(), QStringList{QStringLiteral("frmSaveWorkspace")});
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace")), 0);
    EXPECT_EQ(gWorkspace->ID, 0);

    PromptScript::QueueDialog(QStringLiteral("frmSaveWorkspace"), QStringLiteral("Quarterly"));
    Click("mnuWorkspaceSave");
    EXPECT_GT(gWorkspace->ID, 0);
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Name FROM DsbSavedWorkspace WHERE ID = ?"), {gWorkspace->ID}),
              QStringLiteral("Quarterly"));
    EXPECT_EQ(ListTexts(), QStringList{QStringLiteral("Quarterly")});
    EXPECT_EQ(List()->currentIndex(), 0);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Sheetbeacon - Quarterly"));
    EXPECT_FALSE(w->IsDashboardDirty());

    // A stored dashboard is saved in place, without a dialog.
    PromptScript::Reset();
    Click("mnuWorkspaceSave");
    EXPECT_TRUE(DialogsShown().isEmpty());
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace")), 1);
}

TEST_F(WindowTest, QuerySaveChangesStopsTheCallerWhenTheSaveDidNotHappen) {
    // Closing with an unsaved dashboard, answering Yes and cancelling the name dialog.
    frmWorkspace* w = StartWindow();
    PromptScript::QueueMsgBox(vbYes);
    EXPECT_FALSE(w->close());
    EXPECT_EQ(PromptScript::Messages().last(), QStringLiteral("Save changes to Untitled?"));
    EXPECT_TRUE(Window());
    EXPECT_TRUE(w->IsDashboardDirty());

    // New with Yes and a cancelled name: New does not run (it would list a second entry).
    PromptScript::Reset();
    PromptScript::QueueMsgBox(vbYes);
    Click("mnuWorkspaceNew");
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Save changes to Untitled?")});
    EXPECT_EQ(DialogsShown(), QStringList{QStringLiteral("frmSaveWorkspace")});
    EXPECT_EQ(ListTexts(), QStringList{QStringLiteral("Untitled")});
    EXPECT_TRUE(w->IsDashboardDirty());
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace")), 0);
}

TEST_F(WindowTest, AFailedSaveStopsTheCloseAndTheOpen) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t a = AddDashboard(QStringLiteral("Alpha"), 5);
    const int32_t b = AddDashboard(QStringLiteral("Beta"), 50);
    AddPanel(a, source, QStringLiteral("A panel"));
    frmWorkspace* w = StartWindow();
    w->PanelWindows()[0]->IsDirty = true;
    // The repository can no longer store panels.
    gDB->Execute(QStringLiteral("DROP TABLE DsbSavedPanel"));

    PromptScript::QueueMsgBox(vbYes);
    Choose(b);
    EXPECT_EQ(gWorkspace->ID, a);
    EXPECT_EQ(List()->currentIndex(), ListIndexOf(a));
    EXPECT_EQ(PanelTitles(), QStringList{QStringLiteral("A panel")});

    PromptScript::QueueMsgBox(vbYes);
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(Window());
    EXPECT_TRUE(w->PanelWindows()[0]->IsDirty);
}

TEST_F(WindowTest, RenameAndSaveAsStoreTheWindowPositions) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t a = AddDashboard(QStringLiteral("Alpha"));
    const int32_t panel = AddPanel(a, source, QStringLiteral("Moved"), 0, 0);
    frmWorkspace* w = StartWindow();

    w->PanelWindows()[0]->Move(4500, 1500);
    PromptScript::QueueDialog(QStringLiteral("frmSaveWorkspace"), QStringLiteral("Renamed"));
    Click("mnuWorkspaceRename");
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Name FROM DsbSavedWorkspace WHERE ID = ?"), {a}),
              QStringLiteral("Renamed"));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT [Left] FROM DsbSavedPanel WHERE ID = ?"), {panel}), 4500);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT [Top] FROM DsbSavedPanel WHERE ID = ?"), {panel}), 1500);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Sheetbeacon - Renamed"));

    // Rename cancelled: nothing changes.
    Click("mnuWorkspaceRename");
    EXPECT_EQ(gWorkspace->Name, QStringLiteral("Renamed"));

    w->PanelWindows()[0]->Move(6000, 3000);
    PromptScript::QueueDialog(QStringLiteral("frmSaveWorkspace"), QStringLiteral("Copy of it"));
    Click("mnuWorkspaceSaveAs");
    const int32_t copy = gWorkspace->ID;
    EXPECT_NE(copy, a);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT [Left] FROM DsbSavedPanel WHERE WorkspaceID = ?"), {copy}), 6000);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT [Top] FROM DsbSavedPanel WHERE WorkspaceID = ?"), {copy}), 3000);
    // The dashboard that was open is left as it was stored.
    EXPECT_EQ(Scalar(QStringLiteral("SELECT [Left] FROM DsbSavedPanel WHERE ID = ?"), {panel}), 4500);
    EXPECT_EQ(ListTexts().size(), 2);
    EXPECT_EQ(List()->currentIndex(), ListIndexOf(copy));
}

TEST_F(WindowTest, AFailedSaveAsLeavesTheDashboardTiedToItsRows) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t a = AddDashboard(QStringLiteral("Alpha"));
    const int32_t panel = AddPanel(a, source, QStringLiteral("P"));
    StartWindow();
    gDB->Execute(QStringLiteral("DROP TABLE DsbSavedPanel"));
    PromptScript::QueueDialog(QStringLiteral("frmSaveWorkspace"), QStringLiteral("Copy"));
    Click("mnuWorkspaceSaveAs");
    EXPECT_EQ(gWorkspace->ID, a);
    EXPECT_EQ(gWorkspace->Name, QStringLiteral("Alpha"));
    EXPECT_EQ(gWorkspace->Panels(1)->ID, panel);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace")), 1);
}

TEST_F(WindowTest, DeletingDashboards) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t a = AddDashboard(QStringLiteral("Alpha"), 5);
    const int32_t b = AddDashboard(QStringLiteral("Beta"), 50);
    AddPanel(a, source, QStringLiteral("A panel"));
    AddPanel(b, source, QStringLiteral("B panel"));
    frmWorkspace* w = StartWindow();

    // No keeps everything.
    PromptScript::QueueMsgBox(vbNo);
    Click("mnuWorkspaceDelete");
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Are you sure you want to delete 'Alpha'?")});
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace")), 2);

    // With entries left the first of them opens.
    PromptScript::QueueMsgBox(vbYes);
    Click("mnuWorkspaceDelete");
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace WHERE ID = ?"), {a}), 0);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE WorkspaceID = ?"), {a}), 0);
    EXPECT_EQ(gWorkspace->ID, b);
    EXPECT_EQ(PanelTitles(), QStringList{QStringLiteral("B panel")});
    EXPECT_TRUE(Item("mnuWorkspaceDelete")->isEnabled());

    // The last one: Delete is disabled and a new dashboard starts, without a question.
    PromptScript::Reset();
    PromptScript::QueueMsgBox(vbYes);
    Click("mnuWorkspaceDelete");
    EXPECT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace")), 0);
    EXPECT_FALSE(Item("mnuWorkspaceDelete")->isEnabled());
    EXPECT_EQ(gWorkspace->ID, 0);
    EXPECT_EQ(gWorkspace->Name, QStringLiteral("Untitled"));
    EXPECT_EQ(ListTexts(), QStringList{QStringLiteral("Untitled")});
    EXPECT_TRUE(w->PanelWindows().empty());
    EXPECT_FALSE(PanelMenuEnabled());

    // Once a dashboard is stored again it can be deleted again.
    PromptScript::QueueDialog(QStringLiteral("frmSaveWorkspace"), QStringLiteral("Fresh"));
    Click("mnuWorkspaceSave");
    EXPECT_TRUE(Item("mnuWorkspaceDelete")->isEnabled());
}

TEST_F(WindowTest, ADashboardThatCouldNotBeDeletedStaysListedAndOpen) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t a = AddDashboard(QStringLiteral("Alpha"), 5);
    AddDashboard(QStringLiteral("Beta"), 50);
    AddPanel(a, source, QStringLiteral("A panel"));
    frmWorkspace* w = StartWindow();
    ASSERT_EQ(gWorkspace->ID, a);
    w->PanelWindows()[0]->IsDirty = true;
    gDB->Execute(QStringLiteral("CREATE TRIGGER keep_dashboards BEFORE DELETE ON DsbSavedWorkspace "
                                "BEGIN SELECT RAISE(ABORT, 'kept'); END"));

    PromptScript::Reset();
    PromptScript::QueueMsgBox(vbYes);
    Click("mnuWorkspaceDelete");
    const QStringList shown = PromptScript::Messages();
    ASSERT_EQ(shown.size(), 3) << shown.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(shown[0], QStringLiteral("Are you sure you want to delete 'Alpha'?"));
    EXPECT_TRUE(shown[1].contains(QStringLiteral("kept")));
    EXPECT_EQ(shown[2], QStringLiteral("Unable to delete 'Alpha'."));
    // Nothing went: the rows, the list entry, the open dashboard and its unsaved change.
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace")), 2);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE WorkspaceID = ?"), {a}), 1);
    EXPECT_EQ(ListTexts(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));
    EXPECT_EQ(List()->currentText(), QStringLiteral("Alpha"));
    EXPECT_EQ(gWorkspace->ID, a);
    EXPECT_EQ(gWorkspace->NumPanels(), 1);
    EXPECT_EQ(PanelTitles(), QStringList{QStringLiteral("A panel")});
    EXPECT_TRUE(w->PanelWindows()[0]->IsDirty);

    // Once the repository lets it go, the same command deletes it and Beta opens.
    gDB->Execute(QStringLiteral("DROP TRIGGER keep_dashboards"));
    PromptScript::QueueMsgBox(vbYes);
    Click("mnuWorkspaceDelete");
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace")), 1);
    EXPECT_EQ(ListTexts(), QStringList{QStringLiteral("Beta")});
    EXPECT_EQ(gWorkspace->Name, QStringLiteral("Beta"));
}

TEST_F(WindowTest, CloseQuestion) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t a = AddDashboard(QStringLiteral("Alpha"));
    AddPanel(a, source, QStringLiteral("A panel"));
    frmWorkspace* w = StartWindow();

    // Changed: Exit asks, and Cancel keeps the program running.
    w->PanelWindows()[0]->IsDirty = true;
    PromptScript::QueueMsgBox(vbCancel);
    Click("mnuWorkspaceExit");
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Save changes to Alpha?")});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(Window());
    EXPECT_EQ(w->PanelWindows().size(), 1u);

    // No: the window closes and nothing is written.
    PromptScript::QueueMsgBox(vbNo);
    EXPECT_TRUE(w->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Window());
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel")), 1);
}

TEST_F(WindowTest, CloseWithoutChangesAsksNothing) {
    const int32_t a = AddDashboard(QStringLiteral("Alpha"));
    (void)a;
    frmWorkspace* w = StartWindow();
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Window());
}

// The help window has no owner: left open after Exit it would keep the program running with
// no main window. It closes with the main window, and a cancelled Exit leaves it open.
TEST_F(WindowTest, ExitClosesTheHelpWindowToo) {
    for (const char* name : {"Sheetbeacon.html", "SheetbeaconHelp.INI"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(SB_SOURCE_DIR "/resources/") + QLatin1String(name),
                                InFolder(QLatin1String(name))));
    SetHelpFile();
    auto helpWindows = [] {
        int shown = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            shown += w->objectName() == QLatin1String("frmHelp") && w->isVisible();
        return shown;
    };
    const int32_t a = AddDashboard(QStringLiteral("Alpha"));
    (void)a;
    StartWindow();
    Click("mnuHelpContents");
    ASSERT_EQ(helpWindows(), 1);
    Click("mnuWorkspaceNew");  // a change, so Exit asks
    PromptScript::QueueMsgBox(vbCancel);
    Click("mnuWorkspaceExit");
    ASSERT_TRUE(Window());
    EXPECT_EQ(helpWindows(), 1);

    PromptScript::QueueMsgBox(vbNo);
    Click("mnuWorkspaceExit");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Window());
    EXPECT_EQ(helpWindows(), 0);
    SetHelpFilePath(QString());
}

// Panel title bars (which publishing captures too) show the program's own icon, not the
// toolkit's logo; so do the main window and the dialogs.
TEST_F(WindowTest, WindowsCarryTheProgramsIcon) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    AddPanel(AddDashboard(QStringLiteral("Alpha")), source, QStringLiteral("A panel"));
    frmWorkspace* w = StartWindow();
    ASSERT_EQ(w->PanelWindows().size(), 1u);
    const QImage own = ProgramIcon().pixmap(16, 16).toImage();
    const QImage logo = w->style()->standardIcon(QStyle::SP_TitleBarMenuButton).pixmap(16, 16).toImage();
    ASSERT_FALSE(own.isNull());
    EXPECT_NE(own, logo);
    EXPECT_EQ(w->windowIcon().pixmap(16, 16).toImage(), own);
    QWidget* frame = w->PanelWindows()[0]->Frame();
    EXPECT_EQ(frame->windowIcon().pixmap(16, 16).toImage(), own);

    // In the painted title bar: the beacon's amber is there.
    frame->resize(320, 200);
    const QImage painted = frame->grab().toImage();
    const int titleHeight = frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame);
    bool beacon = false;
    for (int y = 0; y < titleHeight && !beacon; ++y)
        for (int x = 0; x < painted.width() / 2 && !beacon; ++x) {
            const QColor c = painted.pixelColor(x, y);
            beacon = c.red() > 230 && c.green() > 150 && c.green() < 200 && c.blue() < 60;
        }
    EXPECT_TRUE(beacon);
}

TEST_F(WindowTest, ADashboardWithoutANameIsSavedAsUntitled) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t id = AddDashboard(QString(""));
    AddPanel(id, source, QStringLiteral("P"));
    frmWorkspace* w = StartWindow();
    EXPECT_EQ(gWorkspace->ID, id);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Sheetbeacon"));
    w->PanelWindows()[0]->IsDirty = true;

    PromptScript::QueueMsgBox(vbYes);
    EXPECT_TRUE(w->close());
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Save changes to Untitled?")});
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Name FROM DsbSavedWorkspace WHERE ID = ?"), {id}),
              QStringLiteral("Untitled"));
}

TEST_F(WindowTest, PanelsThatCannotLoadAreOfferedForDeletion) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t a = AddDashboard(QStringLiteral("Alpha"));
    // Panels are listed by source: the broken ones (source 0 and a missing 999) come first.
    const int32_t lost = AddPanel(a, 0, QStringLiteral("Lost"));
    const int32_t good = AddPanel(a, source, QStringLiteral("Good"));
    const int32_t gone = AddPanel(a, 999, QStringLiteral("Gone"));

    // Loaded last to first: "Gone" asked first (keep it), then "Lost" (delete it).
    PromptScript::QueueMsgBox(vbOK);
    PromptScript::QueueMsgBox(vbNo);
    PromptScript::QueueMsgBox(vbOK);
    PromptScript::QueueMsgBox(vbYes);
    frmWorkspace* w = StartWindow();
    EXPECT_EQ(PromptScript::Messages(),
              (QStringList{kNoSource,
                           QStringLiteral("Unable to load panel with caption 'Gone'\nDelete this "
                                          "panel from dashboard?"),
                           kNoSource,
                           QStringLiteral("Unable to load panel with caption 'Lost'\nDelete this "
                                          "panel from dashboard?")}));
    EXPECT_EQ(gWorkspace->ID, a);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE ID = ?"), {lost}), 0);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE ID = ?"), {gone}), 1);
    // The record list closed up; the one window left points at its record's new position.
    ASSERT_EQ(gWorkspace->NumPanels(), 2);
    ASSERT_EQ(w->PanelWindows().size(), 1u);
    frmPanel* shown = w->PanelWindows()[0];
    EXPECT_EQ(gWorkspace->Panels(shown->Index)->ID, good);
    EXPECT_EQ(shown->windowTitle(), QStringLiteral("Good"));
    EXPECT_TRUE(PanelMenuEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, OpenCommandOpensTheChosenDashboard) {
    const int32_t a = AddDashboard(QStringLiteral("Alpha"), 5);
    const int32_t b = AddDashboard(QStringLiteral("Beta"), 50);
    frmWorkspace* w = StartWindow();
    ASSERT_EQ(gWorkspace->ID, a);

    Click("mnuWorkspaceOpen");  // cancelled
    EXPECT_EQ(gWorkspace->ID, a);
    PromptScript::QueueDialog(QStringLiteral("frmOpenWorkspace"), b);
    Click("mnuWorkspaceOpen");
    EXPECT_EQ(gWorkspace->ID, b);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Sheetbeacon - Beta"));
    EXPECT_EQ(DialogsShown(),
              (QStringList{QStringLiteral("frmOpenWorkspace"), QStringLiteral("frmOpenWorkspace")}));
    EXPECT_FALSE(w->IsBusy());
}

TEST_F(WindowTest, AnUnusableRepositoryEndsTheWindowAtFirstActivation) {
    gDB->Execute(QStringLiteral("DROP TABLE DsbPanelSource"));
    StartWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(PromptScript::Messages().contains(
        QStringLiteral("Sheetbeacon was unable to use its database. Please contact your "
                       "administrator to correct the problem.")));
    EXPECT_FALSE(Window());
}

TEST_F(WindowTest, FiveHundredDashboardsAreListedMostRecentFirst) {
    {
        db::Transaction rows(*gDB);
        for (int i = 0; i < 500; ++i)
            AddDashboard(QStringLiteral("Dashboard %1").arg(i), 10 + 3 * i);
        rows.Commit();
    }
    StartWindow();
    ASSERT_EQ(List()->count(), 500);
    EXPECT_EQ(List()->itemText(0), QStringLiteral("Dashboard 0"));
    EXPECT_EQ(List()->itemText(499), QStringLiteral("Dashboard 499"));
    for (int i = 1; i < 500; ++i)
        ASSERT_EQ(List()->itemText(i), QStringLiteral("Dashboard %1").arg(i));
    EXPECT_EQ(gWorkspace->Name, QStringLiteral("Dashboard 0"));
}

TEST_F(WindowTest, UnusualNamesRoundTripThroughTheList) {
    const QString longName(255, QLatin1Char('n'));
    const QString quoted = QStringLiteral("Ann's \"best\" dashboard");
    const QString foreign = QStringLiteral("Übersicht – 売上 ✓");
    AddDashboard(longName, 30);
    AddDashboard(quoted, 20);
    const int32_t f = AddDashboard(foreign, 10);
    frmWorkspace* w = StartWindow();
    EXPECT_EQ(ListTexts(), (QStringList{foreign, quoted, longName}));
    EXPECT_EQ(gWorkspace->ID, f);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Sheetbeacon - ") + foreign);

    PromptScript::QueueDialog(QStringLiteral("frmSaveWorkspace"), QStringLiteral("O'Neil's ✓"));
    Click("mnuWorkspaceRename");
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Name FROM DsbSavedWorkspace WHERE ID = ?"), {f}),
              QStringLiteral("O'Neil's ✓"));
    EXPECT_EQ(List()->currentText(), QStringLiteral("O'Neil's ✓"));
}

TEST_F(WindowTest, MenusToolbarAndDashboardList) {
    frmWorkspace* w = StartWindow();
    struct Row {
        const char* menu;
        std::vector<std::tuple<const char*, const char*, bool>> items;
    };
    const std::vector<Row> rows = {
        {"mnuWorkspace",
         {{"mnuWorkspaceNew", "New", true},
          {"mnuWorkspaceOpen", "Open...", true},
          {"mnuWorkspaceSpace1", "-", true},
          {"mnuWorkspaceRename", "Rename", true},
          {"mnuWorkspaceSave", "Save", true},
          {"mnuWorkspaceSaveAs", "Save As...", true},
          {"mnuWorkspacePublish", "Publish...", true},
          {"mnuWorkspaceSpace2", "-", true},
          {"mnuWorkspaceRefresh", "Refresh", true},
          {"mnuWorkspaceDelete", "Delete", true},
          {"mnuWorkspaceSpace3", "-", true},
          {"mnuWorkspacePaste", "Paste", true},
          {"mnuWorkspacePasteCustom", "Paste Custom", false},
          {"mnuWorkspaceLayout", "Layout Mode", true},
          {"mnuWorkspaceSpace4", "-", true},
          {"mnuWorkspaceSwitchRepository", "Switch Project...", false},
          {"mnuWorkspaceExit", "Exit", true}}},
        {"mnuEdit",
         {{"mnuEditHorizontal", "Tile Horizontally", true},
          {"mnuEditVertical", "Tile Vertically", true},
          {"mnuEditCascade", "Cascade", true},
          {"mnuEditIcons", "Arrange Icons", true}}},
        {"mnuPanel",
         {{"mnuPanelPicture", "Load Picture", false},
          {"mnuPanelPaste", "Paste", true},
          {"mnuPanelPasteCustom", "Paste Custom", false},
          {"mnuPanelSpacer1", "-", true},
          {"mnuPanelExcel", "Open Excel File", true},
          {"mnuPanelCustomExcel", "View Personalized File", false},
          {"mnuPanelDrillback", "View Data Source", false},
          {"mnuPanelDrillbackProperties", "Define Data Source...", false},
          {"mnuPanelSpace1", "-", true},
          {"mnuPanelCaption", "&Caption...", true},
          {"mnuPanelRange", "Range Location...", true},
          {"mnuPanelProperties", "File Updates...", true},
          {"mnuPanelRawFile", "Raw File...", false},
          {"mnuPanelSpace2", "-", true},
          {"mnuPanelRefresh", "Refresh", true},
          {"mnuPanelDelete", "Delete", true},
          {"mnuPanelSpace3", "-", true},
          {"mnuPanelLayout", "Layout Mode", true},
          {"mnuPanelAutosize", "Autosize", true},
          {"mnuPanelZoomToFit", "Zoom to Fit", true},
          {"mnuPanelCrop", "Crop", true},
          {"mnuPanelSpace4", "-", true},
          {"mnuPanelCopy", "Copy...", true},
          {"mnuPanelMove", "Move...", true}}},
        {"mnuMultiPanel",
         {{"mnuMultiLayout", "Layout Mode", true},
          {"mnuMultiAlign", "Align", true},
          {"mnuSameSize", "Make Same Size", true}}},
        {"mnuMultiAlign",
         {{"mnuAlignLeft", "Lefts", true},
          {"mnuAlignRight", "Rights", true},
          {"mnuMultiAlignSpace", "-", true},
          {"mnuAlignTop", "Tops", true},
          {"mnuAlignBottom", "Bottoms", true}}},
        {"mnuSameSize",
         {{"mnuSameWidth", "Width", true}, {"mnuSameHeight", "Height", true}, {"mnuSameBoth", "Both", true}}},
        {"mnuTools",
         {{"mnuToolsOptions", "Options", true},
          {"mnuToolsImport", "Import Dashboards...", true},
          {"mnuToolsExport", "Export Dashboards...", true}}},
        {"mnuHelp",
         {{"mnuHelpContents", "Contents...", true},
          {"mnuHelpLearningGuide", "Learning Guide...", true},
          {"mnuHelpWeb", "Visit Web Site...", true},
          {"mnuHelpSpace", "-", true},
          {"mnuHelpAbout", "About Sheetbeacon...", true}}},
    };
    for (const Row& row : rows) {
        const QMenu* menu = w->findChild<QMenu*>(QLatin1String(row.menu));
        ASSERT_TRUE(menu) << row.menu;
        const QList<QAction*> actions = menu->actions();
        ASSERT_EQ(actions.size(), static_cast<qsizetype>(row.items.size())) << row.menu;
        for (size_t i = 0; i < row.items.size(); ++i) {
            const auto& [control, caption, shown] = row.items[i];
            const QAction* action = actions[static_cast<qsizetype>(i)];
            EXPECT_EQ(action->objectName(), QLatin1String(control)) << row.menu;
            const bool separator = qstrcmp(caption, "-") == 0;
            // A separator carries no text: the style would draw it beside the line.
            EXPECT_EQ(action->text(), separator ? QString() : QString::fromUtf8(caption)) << control;
            EXPECT_EQ(action->isVisible(), shown) << control;
            EXPECT_EQ(action->isSeparator(), separator) << control;
        }
    }
    // Menu bar order; the Edit and Multi Panel menus start hidden.
    QStringList bar;
    QStringList visible;
    for (QAction* action : w->menuBar()->actions()) {
        bar << action->objectName();
        if (action->isVisible())
            visible << action->objectName();
    }
    EXPECT_EQ(bar, (QStringList{"mnuWorkspace", "mnuEdit", "mnuPanel", "mnuMultiPanel", "mnuTools", "mnuHelp"}));
    EXPECT_EQ(visible, (QStringList{"mnuWorkspace", "mnuPanel", "mnuTools", "mnuHelp"}));
    // Commands whose dialogs are not there yet can't be chosen.
    for (const char* control : {"mnuWorkspacePasteCustom", "mnuPanelPasteCustom"})
        EXPECT_FALSE(Item(control)->isEnabled()) << control;
    for (const char* control : {"mnuWorkspacePaste", "mnuPanelPaste", "mnuToolsImport", "mnuToolsExport",
                                "mnuWorkspacePublish", "mnuToolsOptions"})
        EXPECT_TRUE(Item(control)->isEnabled()) << control;

    const std::vector<std::pair<const char*, const char*>> buttons = {
        {"cmdWorkspaceNew", "New Dashboard"},   {"cmdWorkspaceSave", "Save Dashboard"},
        {"cmdWorkspaceRefresh", "Refresh Dashboard"}, {"cmdWorkspacePublish", "Publish to Excel"},
        {"cmdHelp", "Help"}};
    for (const auto& [control, tip] : buttons) {
        const QToolButton* button = w->findChild<QToolButton*>(QLatin1String(control));
        ASSERT_TRUE(button) << control;
        EXPECT_EQ(button->toolTip(), QLatin1String(tip));
    }
    EXPECT_EQ(List()->toolTip(), QStringLiteral("Open Workspace"));
    const QTimer* timer = w->findChild<QTimer*>(QStringLiteral("timerRefresh"));
    ASSERT_TRUE(timer);
    EXPECT_EQ(timer->interval(), 60000);
    EXPECT_FALSE(w->EditMode);
    // Without an active panel layout mode can't start: its item must not pretend it is on.
    Click("mnuWorkspaceLayout");
    EXPECT_FALSE(w->EditMode);
    EXPECT_FALSE(Item("mnuWorkspaceLayout")->isChecked());

    // The toolbar's New runs the menu's New: from the unsaved Untitled, the save question.
    PromptScript::Reset();
    PromptScript::QueueMsgBox(vbCancel);
    w->findChild<QToolButton*>(QStringLiteral("cmdWorkspaceNew"))->click();
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Save changes to Untitled?")});
}

TEST_F(WindowTest, RightClickOnTheBackgroundRemembersThePastePoint) {
    frmWorkspace* w = StartWindow();
    EXPECT_EQ(w->PasteX(), 0);
    EXPECT_EQ(w->PasteY(), 0);
    QWidget* viewport = w->mdiArea()->viewport();
    QMouseEvent left(QEvent::MouseButtonRelease, QPointF(10, 10), viewport->mapToGlobal(QPointF(10, 10)),
                     Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &left);
    EXPECT_EQ(w->PasteX(), 0);
    QMouseEvent right(QEvent::MouseButtonRelease, QPointF(40, 20), viewport->mapToGlobal(QPointF(40, 20)),
                      Qt::RightButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &right);
    EXPECT_EQ(w->PasteX(), PixelsToTwipsX(40));
    EXPECT_EQ(w->PasteY(), PixelsToTwipsY(20));
    QMenu* menu = w->findChild<QMenu*>(QStringLiteral("mnuWorkspace"));
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
}

TEST_F(WindowTest, HelpMenuOpensTheGuideOnlyWhenItIsThere) {
    StartWindow();
    Click("mnuHelpLearningGuide");
    EXPECT_TRUE(DesktopLaunch::Requests().isEmpty());
    const QString guide = InFolder(App::EXEName() + QStringLiteral("_Learning_Guide.pdf"));
    testsupport::WriteText(guide, QStringLiteral("%PDF-1.4"));
    Click("mnuHelpLearningGuide");
    EXPECT_EQ(DesktopLaunch::Requests(), QStringList{QStringLiteral("open ") + guide});

    PromptScript::Reset();
    Click("mnuHelpAbout");
    EXPECT_EQ(DialogsShown(), QStringList{QStringLiteral("frmAbout")});
    EXPECT_FALSE(Window()->IsBusy());
}

TEST_F(WindowTest, AGuideOrWebSiteNoApplicationWouldShowIsSaidSo) {
    StartWindow();
    const QString guide = InFolder(App::EXEName() + QStringLiteral("_Learning_Guide.pdf"));
    testsupport::WriteText(guide, QStringLiteral("%PDF-1.4"));
    DesktopLaunch::SetScriptedResult(false);
    Click("mnuHelpLearningGuide");
    Click("mnuHelpWeb");
    DesktopLaunch::SetScriptedResult(true);
    ASSERT_EQ(DesktopLaunch::Requests().size(), 2);
    const QStringList shown = PromptScript::Messages();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0], QStringLiteral("No application could be started to show ") + guide +
                            QLatin1Char('.'));
    EXPECT_TRUE(shown[1].startsWith(QStringLiteral("No application could be started to show http")));
}

TEST_F(WindowTest, ShowingTheWindowStartsTheSession) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t a = AddDashboard(QStringLiteral("Alpha"));
    AddPanel(a, source, QStringLiteral("Shown"), 1500, 1500);
    auto* w = new frmWorkspace;
    QPointer<frmWorkspace> guard(w);
    w->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(gWorkspace->ID, a);
    ASSERT_EQ(w->PanelWindows().size(), 1u);
    EXPECT_TRUE(w->PanelWindows()[0]->isVisible());
    if (const char* shot = std::getenv("SB_SCREENSHOT"))
        w->grab().save(QString::fromLocal8Bit(shot));
    delete guard.data();
}

TEST_F(WindowTest, RenameThroughTheRealDialogKeepsTheWindowBusyMeanwhile) {
    const int32_t a = AddDashboard(QStringLiteral("Alpha"));
    frmWorkspace* w = StartWindow();
    bool busyWhileOpen = false;
    QString dialogCaption;
    // The dialog runs for real here; the user types a name and presses OK.
    PromptScript::Disable();
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        busyWhileOpen = w->IsBusy();
        dialogCaption = dialog->windowTitle();
        dialog->findChild<QLineEdit*>(QStringLiteral("txtName"))->setText(QStringLiteral("Beta"));
        dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    Click("mnuWorkspaceRename");
    PromptScript::Enable();
    EXPECT_TRUE(busyWhileOpen);
    EXPECT_EQ(dialogCaption, QStringLiteral("Rename dashboard"));
    EXPECT_FALSE(w->IsBusy());
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Name FROM DsbSavedWorkspace WHERE ID = ?"), {a}),
              QStringLiteral("Beta"));
}
