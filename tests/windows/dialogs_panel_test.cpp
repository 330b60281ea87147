// The panel dialogs for file updates, caption and drill-back, on records of the current
// dashboard and sources of the registry loaded from a real repository.

#include "DialogTestSupport.h"
#include "WindowTestSupport.h"

#include "MaildirFixture.h"
#include "ui/modUtilsControls.h"
#include "services/modUtilsINI.h"
#include "windows/frmCaption.h"
#include "windows/frmDrillback.h"
#include "windows/frmPanelProperties.h"

#include <QGroupBox>

namespace {

struct SourceRow {
    QString updateType = QStringLiteral("folder");
    QString sourceFolder = QStringLiteral("/data/in/");
    QString mask = QStringLiteral("sales*.xlsx");
    int checkEvery = 60;
    QString olFolder;
    QString olSender;
    QString olSubject;
};

class PanelDialogTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        gWorkspace = std::make_unique<clsWorkspace>();
        gSources = std::make_unique<clsSources>();
    }

    // A stored source and one panel of the current dashboard on it; the panel's index.
    int16_t PanelOn(const SourceRow& row) {
        gDB->Execute(QStringLiteral(
                         "INSERT INTO DsbPanelSource(FullPath, Mask, DestFolder, NewestFile, "
                         "CheckEveryNMin, UpdateType, SourceFolder, OutlookFolder, "
                         "OutlookSender, OutlookSubject) VALUES ('/data/Sales.xlsx', ?, "
                         "'/data/dest/', 'Sales.xlsx', ?, ?, ?, ?, ?, ?)"),
                     {row.mask, row.checkEvery, row.updateType, row.sourceFolder, row.olFolder,
                      row.olSender, row.olSubject});
        sourceID_ = static_cast<int32_t>(gDB->LastInsertId());
        gSources = std::make_unique<clsSources>();
        EXPECT_TRUE(gSources->LoadAll(gDB.get()));
        const int16_t index = gWorkspace->AddPanel();
        gWorkspace->Panels(index)->SourceID = sourceID_;
        return index;
    }
    clsPanelSource* Source() const { return gSources->Source(sourceID_); }
    QString Column(const char* column) const {
        return TextOf(QStringLiteral("SELECT %1 FROM DsbPanelSource WHERE ID = ?")
                          .arg(QLatin1String(column)),
                      {sourceID_});
    }

    int32_t sourceID_ = 0;
};

void UseMailStore() {
    ASSERT_EQ(INI_WriteString(GetINIFile(), QStringLiteral("Settings"),
                              QStringLiteral("Mail Store"), testsupport::SharedMaildirRoot()),
              0);
}

bool Hidden(const QWidget* dialog, const char* frame) {
    const auto* f = Control<QGroupBox>(dialog, frame);
    return !f || f->isHidden();
}

}  // namespace

// --- File updates ------------------------------------------------------------------------

TEST_F(PanelDialogTest, FileUpdatesRefusesABadIndexOrSource) {
    {
        frmPanelProperties dialog;
        dialog.Index = -1;
        dialog.Show();
        EXPECT_TRUE(dialog.IsUnloaded());
        EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Invalid panel index.")});
        EXPECT_EQ(PromptScript::Record()[0].style, vbCritical);
    }
    PromptScript::Reset();
    {
        const int16_t index = gWorkspace->AddPanel();  // a panel without a source
        frmPanelProperties dialog;
        dialog.Index = index;
        dialog.Show();
        EXPECT_TRUE(dialog.IsUnloaded());
        EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Invalid source ID.")});
        EXPECT_EQ(PromptScript::Record()[0].style, vbCritical);
    }
}

TEST_F(PanelDialogTest, FileUpdatesShowsTheSourceAndItsFrames) {
    SourceRow row;
    row.updateType = QStringLiteral("inbox");
    row.olSender = QStringLiteral("  ");
    const int16_t index = PanelOn(row);
    frmPanelProperties dialog;
    dialog.Index = index;
    dialog.Form_Activate();
    EXPECT_FALSE(dialog.IsUnloaded());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("File Updates"));
    EXPECT_EQ(TextOfBox(&dialog, "txtSource"), QStringLiteral("/data/dest/Sales.xlsx"));
    EXPECT_EQ(ComboTexts(&dialog, "cmbUpdateType"),
              (QStringList{QStringLiteral("folder"), QStringLiteral("inbox"),
                           QStringLiteral("refresh"), QStringLiteral("default")}));
    EXPECT_EQ(Combo(&dialog, "cmbUpdateType")->currentText(), QStringLiteral("inbox"));
    // The Inbox is the empty stored folder; a blank sender shows as "*".
    EXPECT_EQ(TextOfBox(&dialog, "txtOFolder"), QStringLiteral("Inbox"));
    EXPECT_EQ(TextOfBox(&dialog, "txtOSender"), QStringLiteral("*"));
    EXPECT_EQ(TextOfBox(&dialog, "txtFrequency"), QStringLiteral("60"));
    EXPECT_EQ(TextOfBox(&dialog, "txtMask"), QStringLiteral("sales*.xlsx"));

    struct FrameRow {
        const char* type;
        bool folderShown, inboxShown, frequencyEnabled;
    };
    const FrameRow frames[] = {{"folder", true, false, true},
                               {"inbox", false, true, true},
                               {"refresh", false, false, true},
                               {"default", false, false, false}};
    for (const FrameRow& f : frames) {
        SCOPED_TRACE(f.type);
        Combo_SelectByText(Combo(&dialog, "cmbUpdateType"), QString::fromLatin1(f.type));
        EXPECT_EQ(!Hidden(&dialog, "fraFolder"), f.folderShown);
        EXPECT_EQ(!Hidden(&dialog, "fraInbox"), f.inboxShown);
        EXPECT_EQ(Box(&dialog, "txtFrequency")->isEnabled(), f.frequencyEnabled);
    }

    // An inbox source with no changes keeps the Inbox as the empty value and stores "*".
    Combo_SelectByText(Combo(&dialog, "cmbUpdateType"), QStringLiteral("inbox"));
    Press(&dialog, "cmdOK");
    EXPECT_TRUE(dialog.IsUnloaded());
    EXPECT_EQ(Column("OutlookFolder"), QString());
    EXPECT_EQ(Column("OutlookSender"), QStringLiteral("*"));
}

// The source folder box shows the folder as stored, and nothing for one never chosen: not the
// lone separator that an empty folder column reads back as, which OK would store as a folder.
TEST_F(PanelDialogTest, FileUpdatesShowsAFolderNeverChosenAsBlank) {
    struct Row {
        const char* stored;
        const char* shown;
    };
    const Row rows[] = {{"", ""}, {"\\", ""}, {"/data/in", "/data/in/"}, {"/data/in/", "/data/in/"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.stored);
        PromptScript::Reset();
        SourceRow row;
        row.sourceFolder = QString::fromLatin1(r.stored);
        const int16_t index = PanelOn(row);
        frmPanelProperties dialog;
        dialog.Index = index;
        dialog.Form_Activate();
        EXPECT_EQ(TextOfBox(&dialog, "txtSourceFolder"), QString::fromLatin1(r.shown));
        Press(&dialog, "cmdOK");
        if (QString::fromLatin1(r.shown).isEmpty()) {
            // Nothing to store: the user is asked for the folder, and the row keeps its value.
            EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("No source folder specified.")});
            EXPECT_FALSE(dialog.IsUnloaded());
            EXPECT_EQ(Column("SourceFolder"), QString::fromLatin1(r.stored));
        } else {
            EXPECT_TRUE(dialog.IsUnloaded());
            EXPECT_EQ(Column("SourceFolder"), QString::fromLatin1(r.shown));
        }
    }
}

TEST_F(PanelDialogTest, FileUpdatesKeepsAStoredMailFolderAndAPickReplacesIt) {
    UseMailStore();
    SourceRow row;
    row.updateType = QStringLiteral("inbox");
    row.olFolder = QStringLiteral("Reports`Reports");
    row.olSubject = QStringLiteral("Monthly*");
    const int16_t index = PanelOn(row);
    {
        frmPanelProperties dialog;
        dialog.Index = index;
        dialog.Form_Activate();
        EXPECT_EQ(TextOfBox(&dialog, "txtOFolder"), QStringLiteral("Reports"));
        Press(&dialog, "cmdOK");
        EXPECT_TRUE(dialog.IsUnloaded());
        EXPECT_EQ(Column("OutlookFolder"), QStringLiteral("Reports`Reports"));
    }
    {
        frmPanelProperties dialog;
        dialog.Index = index;
        dialog.Form_Activate();
        PromptScript::QueueDialog(QStringLiteral("mailfolder"), QStringLiteral("Reports/2024`x"));
        Press(&dialog, "cmdOFolder");
        EXPECT_EQ(TextOfBox(&dialog, "txtOFolder"), QStringLiteral("2024"));
        // A cancelled pick clears the choice, and OK then asks for a folder with the picker.
        Press(&dialog, "cmdOFolder");
        EXPECT_EQ(TextOfBox(&dialog, "txtOFolder"), QString());
        PromptScript::Reset();
        PromptScript::QueueDialog(QStringLiteral("mailfolder"), QStringLiteral("Reports/2024`x"));
        Press(&dialog, "cmdOK");
        EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("No folder specified.")});
        EXPECT_TRUE(DialogsShown().contains(QStringLiteral("mailfolder")));
        EXPECT_FALSE(dialog.IsUnloaded());
        EXPECT_EQ(TextOfBox(&dialog, "txtOFolder"), QStringLiteral("2024"));
        Press(&dialog, "cmdOK");
        EXPECT_TRUE(dialog.IsUnloaded());
    }
    EXPECT_EQ(Column("OutlookFolder"), QStringLiteral("Reports/2024`2024"));
    EXPECT_EQ(Source()->OLFolder, QStringLiteral("Reports/2024`2024"));
}

TEST_F(PanelDialogTest, FileUpdatesValidationRowByRow) {
    struct Row {
        const char* type;
        const char* sourceFolder;
        const char* sender;
        const char* subject;
        const char* mask;
        const char* frequency;
        const char* message;
        const char* focus;  // the box that gets the focus; nullptr when a picker opens
    };
    const Row rows[] = {
        {"folder", "  ", "*", "", "a.xlsx", "5", "No source folder specified.", nullptr},
        {"folder", "/in", "*", "", "a.xlsx", " ", "No frequency specified.", "txtFrequency"},
        {"inbox", "", " ", " ", "a.xlsx", "5", "Either sender, subject must be defined.",
         "txtOSender"},
        {"inbox", "", "*", "", "a.xlsx", "", "No frequency specified.", "txtFrequency"},
        {"refresh", "", "*", "", " ", "5", "No file mask defined.", "txtMask"},
        {"default", "", "*", "", "", "5", "No file mask defined.", "txtMask"},
        {"refresh", "", "*", "", "a.xlsx", "", "No frequency specified.", "txtFrequency"},
        {"refresh", "", "*", "", "a.xlsx", "abc", "Frequency must be numeric.", "txtFrequency"},
        {"refresh", "", "*", "", "a.xlsx", "0", "Frequency must be greater than 0.",
         "txtFrequency"},
        {"refresh", "", "*", "", "a.xlsx", "-5", "Frequency must be greater than 0.",
         "txtFrequency"},
        {"folder", "/in", "*", "", "a.xlsx", "0.4", "Frequency must be greater than 0.",
         "txtFrequency"},
        {"inbox", "", "*", "", "a.xlsx", "32001",
         "Refresh frequency cannot be greater than 32,000.", "txtFrequency"},
    };
    const int16_t index = PanelOn(SourceRow());
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.type) + " / " + r.message);
        PromptScript::Reset();
        frmPanelProperties dialog;
        dialog.Index = index;
        dialog.show();
        dialog.Form_Activate();
        Combo_SelectByText(Combo(&dialog, "cmbUpdateType"), QString::fromLatin1(r.type));
        Type(&dialog, "txtSourceFolder", QString::fromLatin1(r.sourceFolder));
        Type(&dialog, "txtOSender", QString::fromLatin1(r.sender));
        Type(&dialog, "txtOSubject", QString::fromLatin1(r.subject));
        Type(&dialog, "txtMask", QString::fromLatin1(r.mask));
        Type(&dialog, "txtFrequency", QString::fromLatin1(r.frequency));
        Press(&dialog, "cmdOK");
        EXPECT_EQ(PromptScript::Messages(), QStringList{QString::fromLatin1(r.message)});
        EXPECT_EQ(PromptScript::Record()[0].style, vbExclamation);
        EXPECT_FALSE(dialog.IsUnloaded());
        if (r.focus) {
            EXPECT_EQ(dialog.focusWidget(), Box(&dialog, r.focus));
        } else {
            // The folder browser opened, starting from the box's text.
            ASSERT_EQ(DialogsShown(), QStringList{QStringLiteral("folder")});
            EXPECT_EQ(PromptScript::Record()[1].title, QStringLiteral("Select source folder"));
        }
        dialog.hide();
    }
    // Nothing was written by any refused OK.
    EXPECT_EQ(Column("Mask"), QStringLiteral("sales*.xlsx"));
    EXPECT_EQ(Column("CheckEveryNMin"), QStringLiteral("60"));

    // "default" disables the frequency box, yet its value is still checked.
    {
        PromptScript::Reset();
        frmPanelProperties dialog;
        dialog.Index = index;
        dialog.Form_Activate();
        Combo_SelectByText(Combo(&dialog, "cmbUpdateType"), QStringLiteral("default"));
        Type(&dialog, "txtFrequency", QStringLiteral("abc"));
        Press(&dialog, "cmdOK");
        EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Frequency must be numeric.")});
        EXPECT_FALSE(dialog.IsUnloaded());
        EXPECT_FALSE(Box(&dialog, "txtFrequency")->isEnabled());
    }

    // No entry of the list: the source's type is none of the four.
    gDB->Execute(QStringLiteral("UPDATE DsbPanelSource SET UpdateType = 'ftp'"));
    gSources = std::make_unique<clsSources>();
    ASSERT_TRUE(gSources->LoadAll(gDB.get()));
    PromptScript::Reset();
    frmPanelProperties dialog;
    dialog.Index = index;
    dialog.Form_Activate();
    EXPECT_EQ(Combo(&dialog, "cmbUpdateType")->currentIndex(), -1);
    Press(&dialog, "cmdOK");
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("No Update Type selected.")});
    EXPECT_FALSE(dialog.IsUnloaded());
}

TEST_F(PanelDialogTest, FileUpdatesFolderBrowserFillsTheBoxAndOkStoresEverything) {
    SourceRow row;
    row.updateType = QStringLiteral("inbox");
    row.olFolder = QStringLiteral("Reports`Reports");
    row.olSender = QStringLiteral("boss@example.com");
    row.olSubject = QStringLiteral("Sales 'weekly'");
    const int16_t index = PanelOn(row);
    frmPanelProperties dialog;
    dialog.Index = index;
    dialog.Form_Activate();
    Combo_SelectByText(Combo(&dialog, "cmbUpdateType"), QStringLiteral("folder"));
    Type(&dialog, "txtSourceFolder", QString());
    PromptScript::QueueDialog(QStringLiteral("folder"), QStringLiteral("/srv/reports"));
    Press(&dialog, "cmdOK");
    // The browser filled the box; OK must be pressed again.
    EXPECT_EQ(TextOfBox(&dialog, "txtSourceFolder"), QStringLiteral("/srv/reports"));
    EXPECT_FALSE(dialog.IsUnloaded());
    // A cancelled browse leaves the box as it was.
    Press(&dialog, "cmdSourceFolder");
    EXPECT_EQ(TextOfBox(&dialog, "txtSourceFolder"), QStringLiteral("/srv/reports"));
    Type(&dialog, "txtMask", QStringLiteral(" weekly*.xlsx "));
    Type(&dialog, "txtFrequency", QStringLiteral("2.5"));
    Press(&dialog, "cmdOK");
    EXPECT_TRUE(dialog.IsUnloaded());

    // The separator is added; texts are stored as typed; the hidden inbox values stay.
    EXPECT_EQ(Column("SourceFolder"), QStringLiteral("/srv/reports/"));
    EXPECT_EQ(Column("Mask"), QStringLiteral(" weekly*.xlsx "));
    EXPECT_EQ(Column("OutlookAttachment"), QStringLiteral(" weekly*.xlsx "));
    EXPECT_EQ(Column("CheckEveryNMin"), QStringLiteral("2"));
    EXPECT_EQ(Column("UpdateType"), QStringLiteral("folder"));
    EXPECT_EQ(Column("OutlookFolder"), QStringLiteral("Reports`Reports"));
    EXPECT_EQ(Column("OutlookSender"), QStringLiteral("boss@example.com"));
    EXPECT_EQ(Column("OutlookSubject"), QStringLiteral("Sales 'weekly'"));
    // Every panel of the source sees the new settings at once.
    EXPECT_EQ(Source()->SourceFolder, QStringLiteral("/srv/reports/"));
    EXPECT_EQ(Source()->CheckEvery, 2);
    EXPECT_EQ(Source()->UpdateType, QStringLiteral("folder"));

    // A folder typed with its separator is stored unchanged.
    frmPanelProperties again;
    again.Index = index;
    again.Form_Activate();
    Type(&again, "txtSourceFolder", QStringLiteral("/srv/other/"));
    Type(&again, "txtFrequency", QStringLiteral("32000"));
    Press(&again, "cmdOK");
    EXPECT_TRUE(again.IsUnloaded());
    EXPECT_EQ(Column("SourceFolder"), QStringLiteral("/srv/other/"));
    EXPECT_EQ(Column("CheckEveryNMin"), QStringLiteral("32000"));
}

TEST_F(PanelDialogTest, FileUpdatesAFailedWriteLeavesTheSharedSourceAlone) {
    const int16_t index = PanelOn(SourceRow());
    // A second panel of the same workbook shares the source.
    const int16_t other = gWorkspace->AddPanel();
    gWorkspace->Panels(other)->SourceID = sourceID_;
    gDB->Execute(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON DsbPanelSource "
                                "BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    frmPanelProperties dialog;
    dialog.Index = index;
    dialog.Form_Activate();
    Type(&dialog, "txtMask", QStringLiteral("other*.xlsx"));
    Type(&dialog, "txtFrequency", QStringLiteral("5"));
    Press(&dialog, "cmdOK");
    EXPECT_FALSE(dialog.IsUnloaded());
    EXPECT_EQ(PromptScript::Messages().size(), 1);  // the failed statement, reported once
    EXPECT_EQ(Source()->Mask, QStringLiteral("sales*.xlsx"));
    EXPECT_EQ(Source()->CheckEvery, 60);
    EXPECT_EQ(gWorkspace->Panels(other)->Source()->Mask, QStringLiteral("sales*.xlsx"));
    EXPECT_EQ(Column("Mask"), QStringLiteral("sales*.xlsx"));

    // Once the row can be written, the same OK goes through.
    gDB->Execute(QStringLiteral("DROP TRIGGER refuse"));
    Press(&dialog, "cmdOK");
    EXPECT_TRUE(dialog.IsUnloaded());
    EXPECT_EQ(Source()->Mask, QStringLiteral("other*.xlsx"));
    EXPECT_EQ(Column("Mask"), QStringLiteral("other*.xlsx"));
}

// --- Caption -----------------------------------------------------------------------------

TEST_F(PanelDialogTest, CaptionRoundTripAsTyped) {
    const int16_t index = gWorkspace->AddPanel();
    gWorkspace->Panels(index)->Caption = QStringLiteral("Sales");
    {
        frmCaption dialog;
        dialog.Index = index;
        dialog.Form_Activate();
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Caption"));
        EXPECT_EQ(TextOfBox(&dialog, "txtCaption"), QStringLiteral("Sales"));
        Type(&dialog, "txtCaption", QStringLiteral("  Q3 'Sales'  "));
        Press(&dialog, "cmdOK");
        EXPECT_TRUE(dialog.IsUnloaded());
    }
    EXPECT_EQ(gWorkspace->Panels(index)->Caption, QStringLiteral("  Q3 'Sales'  "));
    {
        // Reopened: the caption as last set, not yet saved.
        frmCaption dialog;
        dialog.Index = index;
        dialog.Form_Activate();
        EXPECT_EQ(TextOfBox(&dialog, "txtCaption"), QStringLiteral("  Q3 'Sales'  "));
        Type(&dialog, "txtCaption", QStringLiteral("dropped"));
        Press(&dialog, "cmdCancel");
        EXPECT_TRUE(dialog.IsUnloaded());
    }
    EXPECT_EQ(gWorkspace->Panels(index)->Caption, QStringLiteral("  Q3 'Sales'  "));
    {
        frmCaption dialog;
        dialog.Index = index;
        dialog.Form_Activate();
        Type(&dialog, "txtCaption", QString());
        Press(&dialog, "cmdOK");
        EXPECT_TRUE(dialog.IsUnloaded());
    }
    EXPECT_EQ(gWorkspace->Panels(index)->Caption, QString());
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    {
        frmCaption dialog;
        dialog.Index = -1;
        dialog.Show();
        EXPECT_TRUE(dialog.IsUnloaded());
        EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Invalid panel index.")});
    }
}

TEST_F(PanelDialogTest, PanelWindowOpenersMarkThePanelChanged) {
    const int16_t index = gWorkspace->AddPanel();
    gWorkspace->Panels(index)->Caption = QStringLiteral("Sales");
    frmPanel panel;
    panel.Index = index;
    panel.IsDirty = false;
    // Cancelled: still marked changed, and the title is drawn again.
    panel.Panel_Caption(false);
    EXPECT_TRUE(panel.IsDirty);
    EXPECT_EQ(panel.windowTitle(), QStringLiteral("Sales"));
    panel.IsDirty = false;
    panel.Panel_Properties(false);
    EXPECT_TRUE(panel.IsDirty);
    EXPECT_EQ(DialogsShown(),
              (QStringList{QStringLiteral("frmCaption"), QStringLiteral("frmPanelProperties")}));
}

// --- Drill-back --------------------------------------------------------------------------

TEST_F(PanelDialogTest, DrillbackListsDocumentSourcesByMaskAndNeedsAChoice) {
    for (const char* mask : std::initializer_list<const char*>{"orders*.csv", nullptr, "Budget.xlsx", "ledger.xlsx"})
        gDB->Execute(QStringLiteral("INSERT INTO DsbSourceDoc(Mask) VALUES (?)"),
                     {mask ? QVariant(QString::fromLatin1(mask)) : QVariant()});
    frmDrillback dialog;
    dialog.SourceID = 0;  // accepted
    dialog.SheetName = QStringLiteral("Data");
    dialog.Form_Activate();
    EXPECT_FALSE(dialog.IsUnloaded());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Drillback Properties"));
    EXPECT_EQ(ComboTexts(&dialog, "cmbSourceDoc"),
              (QStringList{QStringLiteral("Budget.xlsx"), QStringLiteral("ledger.xlsx"),
                           QStringLiteral("orders*.csv")}));
    EXPECT_EQ(Combo(&dialog, "cmbSourceDoc")->currentIndex(), -1);
    dialog.show();
    Press(&dialog, "cmdOK");
    EXPECT_EQ(PromptScript::Messages(),
              QStringList{QStringLiteral("No document source selected.")});
    EXPECT_EQ(dialog.focusWidget(), Combo(&dialog, "cmbSourceDoc"));
    EXPECT_FALSE(dialog.IsUnloaded());
    Combo(&dialog, "cmbSourceDoc")->setCurrentIndex(1);
    Press(&dialog, "cmdOK");
    EXPECT_EQ(dialog.SourceDocID, 4);
    EXPECT_TRUE(dialog.IsUnloaded());
}

TEST_F(PanelDialogTest, DrillbackRefusesItsArguments) {
    {
        frmDrillback dialog;
        dialog.SourceID = -1;
        dialog.SheetName = QStringLiteral("Data");
        dialog.Show();
        EXPECT_TRUE(dialog.IsUnloaded());
        EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Invalid Source ID.")});
    }
    PromptScript::Reset();
    {
        frmDrillback dialog;
        dialog.SourceID = 3;
        dialog.Show();
        EXPECT_TRUE(dialog.IsUnloaded());
        EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Invalid Sheet name.")});
        EXPECT_EQ(PromptScript::Record()[0].style, vbExclamation);
    }
    PromptScript::Reset();
    {
        // An empty table: an empty list, and OK asks for a choice.
        frmDrillback dialog;
        dialog.SourceID = 3;
        dialog.SheetName = QStringLiteral("Data");
        dialog.Form_Activate();
        EXPECT_EQ(Combo(&dialog, "cmbSourceDoc")->count(), 0);
        Press(&dialog, "cmdOK");
        EXPECT_EQ(PromptScript::Messages(),
                  QStringList{QStringLiteral("No document source selected.")});
    }
}

TEST_F(PanelDialogTest, PanelMenuOpensTheDialogsOfTheActivePanel) {
    const int32_t mine = AddDashboard(QStringLiteral("Mine"));
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    AddPanel(mine, source, QStringLiteral("Sales"));
    StartWindow();
    ASSERT_EQ(Window()->PanelWindows().size(), 1u);
    frmPanel* panel = Window()->PanelWindows().front();
    PromptScript::Reset();
    const std::pair<const char*, const char*> items[] = {{"mnuPanelCaption", "frmCaption"},
                                                         {"mnuPanelRange", "frmRangeRelative"},
                                                         {"mnuPanelProperties", "frmPanelProperties"}};
    for (const auto& [item, dialog] : items) {
        SCOPED_TRACE(item);
        panel->IsDirty = false;
        PromptScript::Reset();
        Click(item);
        EXPECT_EQ(DialogsShown(), QStringList{QString::fromLatin1(dialog)});
        EXPECT_TRUE(panel->IsDirty);
        EXPECT_FALSE(Window()->IsBusy());
    }
}
