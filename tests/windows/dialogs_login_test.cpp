// The repository choice dialog: refusing files that are no repository, the repository already
// open, and the switch that rebuilds the main window on another repository.

#include "DialogTestSupport.h"
#include "WindowTestSupport.h"

#include "services/App.h"
#include "services/modUtilsINI.h"
#include "services/modUtilsRepository.h"
#include "services/modUtilsSQL.h"
#include "windows/frmLogin.h"

#include <QApplication>
#include <QFile>

namespace {

QString RememberedRepository() {
    return INI_ReadString(GetINIFile(), QStringLiteral("Session"), QStringLiteral("Repository"),
                          QStringLiteral("<absent>"));
}

class LoginTest : public WindowTest {
protected:
    void TearDown() override {
        for (frmWorkspace* w : OtherMainWindows())
            delete w;
        WindowTest::TearDown();
    }

    // Main windows besides the one the test started, once closed windows are gone.
    std::vector<frmWorkspace*> OtherMainWindows() const {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        std::vector<frmWorkspace*> found;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* main = qobject_cast<frmWorkspace*>(w); main && main != Window())
                found.push_back(main);
        return found;
    }

    // A second repository with two dashboards, "Older" and "Newest".
    QString MakeOtherRepository() {
        const QString path = InFolder(QStringLiteral("other.pvdu"));
        testsupport::MakeRepository(path);
        auto other = db::Database::Open(path, DatabaseKey(kConnectString));
        const QDateTime now = QDateTime::currentDateTime();
        other->Execute(QStringLiteral("INSERT INTO DsbSavedWorkspace(Name, LastUpdated) VALUES "
                                      "('Older', ?), ('Newest', ?)"),
                       {db::ToStoredDateTime(now.addDays(-2)), db::ToStoredDateTime(now.addDays(-1))});
        return path;
    }

    // Picks `path` in the dialog and presses OK: refused, and the file dialog opens again for
    // another choice.
    static void ExpectNotValid(frmLogin& dialog, const QString& path) {
        PromptScript::Reset();
        dialog.CurrMode = QStringLiteral("switch");
        Type(&dialog, "txtRepository", path);
        Press(&dialog, "cmdOK");
        EXPECT_EQ(PromptScript::Messages(),
                  QStringList{QStringLiteral("You did not pick a valid project file.")});
        EXPECT_EQ(DialogsShown(), QStringList{QStringLiteral("open")});
        EXPECT_FALSE(dialog.IsUnloaded());
    }

    static qint64 RowsIn(const QString& path, const QString& table) {
        auto database = db::Database::Open(path, DatabaseKey(kConnectString));
        auto rs = database->Query(QStringLiteral("SELECT COUNT(*) FROM ") + table);
        return rs->Field(0).toLongLong();
    }
};

}  // namespace

TEST_F(LoginTest, LoadsTheRememberedPathAndNeedsOneForOk) {
    SaveDefaultRepository(QStringLiteral("  /srv/team.pvdu  "));
    frmLogin dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Welcome to ") + App::Title());
    EXPECT_EQ(TextOfBox(&dialog, "txtRepository"), QStringLiteral("/srv/team.pvdu"));
    auto* ok = Control<QPushButton>(&dialog, "cmdOK");
    EXPECT_TRUE(ok->isEnabled());
    Type(&dialog, "txtRepository", QStringLiteral("   "));
    EXPECT_FALSE(ok->isEnabled());
    Type(&dialog, "txtRepository", QString());
    EXPECT_FALSE(ok->isEnabled());

    // A browse fills the path; a cancelled one leaves it.
    PromptScript::QueueDialog(QStringLiteral("open"), QStringLiteral("/srv/picked.pvdu"));
    Press(&dialog, "cmdBrowse");
    EXPECT_EQ(TextOfBox(&dialog, "txtRepository"), QStringLiteral("/srv/picked.pvdu"));
    EXPECT_TRUE(ok->isEnabled());
    Press(&dialog, "cmdBrowse");
    EXPECT_EQ(TextOfBox(&dialog, "txtRepository"), QStringLiteral("/srv/picked.pvdu"));
    EXPECT_EQ(PromptScript::Record()[0].title, QStringLiteral("Select project file"));
}

TEST_F(LoginTest, FilesThatAreNoRepositoryAreRefusedAndTheOldOneStays) {
    StartWindow();
    db::Database* before = gDB.get();
    const QString text = InFolder(QStringLiteral("notes.pvdu"));
    testsupport::WriteText(text, QStringLiteral("not a database"));
    const QString truncated = InFolder(QStringLiteral("truncated.pvdu"));
    {
        QFile whole(GetRepositoryFile());
        ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
        QFile part(truncated);
        ASSERT_TRUE(part.open(QIODevice::WriteOnly));
        part.write(whole.read(1500));
    }
    const QString otherKey = InFolder(QStringLiteral("otherkey.pvdu"));
    {
        auto database = db::Database::Create(otherKey, QStringLiteral("another key"));
        database->ExecuteScript(testsupport::ReadText(testsupport::SchemaPath()));
    }
    const QString noTables = InFolder(QStringLiteral("empty.pvdu"));
    db::Database::Create(noTables, DatabaseKey(kConnectString));
    const QString locked = MakeOtherRepository();
    auto holder = db::Database::Open(locked, DatabaseKey(kConnectString));
    holder->Execute(QStringLiteral("BEGIN EXCLUSIVE"));

    for (const QString& path : {text, truncated, otherKey, noTables, locked,
                                InFolder(QStringLiteral("missing.pvdu"))}) {
        SCOPED_TRACE(path.toStdString());
        frmLogin dialog;
        ExpectNotValid(dialog, path);
        EXPECT_EQ(gDB.get(), before);
        EXPECT_EQ(gDB->Name(), GetRepositoryFile());
    }
    holder->Execute(QStringLiteral("ROLLBACK"));
    EXPECT_EQ(RememberedRepository(), QStringLiteral("<absent>"));
    EXPECT_TRUE(OtherMainWindows().empty());
    EXPECT_TRUE(Window());
    // The old repository is still usable.
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace")), 0);
}

// A repository may be any file the user picks: what it stores besides rows never runs, and a
// key the program can't hold is not read as another one.
TEST_F(LoginTest, RepositoriesCarryingSqlOrWideIdsAreRefusedBeforeUse) {
    StartWindow();
    db::Database* before = gDB.get();
    struct Attack {
        const char* name;
        const char* sql;
        const char* reason;
    };
    const Attack attacks[] = {
        {"view.pvdu",
         "ALTER TABLE DsbSavedWorkspace RENAME TO RealWs; CREATE VIEW DsbSavedWorkspace AS "
         "SELECT w.*, length(rtreenode(2, x'0000ffff')) AS n FROM RealWs w;",
         "it holds a view (DsbSavedWorkspace)"},
        {"trigger.pvdu",
         "CREATE TRIGGER Copy AFTER INSERT ON DsbSavedPanel BEGIN SELECT sqlcipher_export('x'); END;",
         "it holds a trigger (Copy)"},
        {"check.pvdu", "CREATE TABLE Extra(a CHECK (randomblob(a) IS NOT NULL));",
         "table Extra has a CHECK constraint"},
        {"wideid.pvdu", "INSERT INTO DsbPanelSource(ID, FullPath) VALUES (4294967297, '/x');",
         "DsbPanelSource.ID holds 4294967297, which is not an ID of 32 bits"},
        {"notable.pvdu", "DROP TABLE DsbDrillback;", "it lacks DsbDrillback.ID"},
    };
    for (const Attack& attack : attacks) {
        SCOPED_TRACE(attack.name);
        const QString path = InFolder(QString::fromLatin1(attack.name));
        testsupport::MakeRepository(path);
        db::Database::Open(path, DatabaseKey(kConnectString))->ExecuteScript(QString::fromLatin1(attack.sql));
        frmLogin dialog;
        ExpectNotValid(dialog, path);
        EXPECT_EQ(gDB.get(), before);
        EXPECT_TRUE(LogText().contains(path + QStringLiteral(" is not a project file this program "
                                                             "can read: ") +
                                       QString::fromLatin1(attack.reason)))
            << LogText().toStdString();
    }
    EXPECT_EQ(RememberedRepository(), QStringLiteral("<absent>"));
    EXPECT_TRUE(OtherMainWindows().empty());
}

TEST_F(LoginTest, TheRepositoryAlreadyOpenIsNotReopened) {
    StartWindow();
    db::Database* before = gDB.get();
    // The same file under a name in other letters.
    const QString otherCase = InFolder(QStringLiteral("SHEETBEACON-LINK.PVDU"));
    ASSERT_TRUE(QFile::link(GetRepositoryFile(), otherCase));
    for (const QString& path : {GetRepositoryFile(), otherCase,
                                Folder() + QStringLiteral("/./") + QFileInfo(GetRepositoryFile()).fileName()}) {
        SCOPED_TRACE(path.toStdString());
        frmLogin dialog;
        dialog.CurrMode = QStringLiteral("switch");
        Type(&dialog, "txtRepository", QStringLiteral("  ") + path);
        Press(&dialog, "cmdOK");
        EXPECT_TRUE(dialog.IsUnloaded());
        EXPECT_EQ(gDB.get(), before);
    }
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    EXPECT_EQ(RememberedRepository(), QStringLiteral("<absent>"));
    EXPECT_TRUE(OtherMainWindows().empty());
    EXPECT_TRUE(Window());
}

TEST_F(LoginTest, SwitchRebuildsTheMainWindowOnTheNewRepository) {
    AddDashboard(QStringLiteral("Mine"));
    StartWindow();
    EXPECT_EQ(ListTexts(), QStringList{QStringLiteral("Mine")});
    const QString other = MakeOtherRepository();
    auto* dialog = new frmLogin;
    QPointer<frmLogin> guard(dialog);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->CurrMode = QStringLiteral("switch");
    dialog->show();
    Type(dialog, "txtRepository", other);
    Press(dialog, "cmdOK");
    EXPECT_TRUE(PromptScript::Messages().isEmpty());

    EXPECT_EQ(gDB->Name(), other);
    EXPECT_EQ(RememberedRepository(), other);
    const std::vector<frmWorkspace*> windows = OtherMainWindows();
    EXPECT_FALSE(Window());  // the old main window is gone
    EXPECT_FALSE(guard);     // and so is the dialog
    ASSERT_EQ(windows.size(), 1u);
    frmWorkspace* rebuilt = windows.front();
    rebuilt->Form_Activate();
    QStringList listed;
    auto* list = rebuilt->findChild<QComboBox*>(QStringLiteral("cmbWorkspaces"));
    for (int i = 0; i < list->count(); ++i)
        listed << list->itemText(i);
    EXPECT_EQ(listed, (QStringList{QStringLiteral("Newest"), QStringLiteral("Older")}));
    EXPECT_EQ(gWorkspace->Name, QStringLiteral("Newest"));
    EXPECT_EQ(rebuilt->windowTitle(), App::Title() + QStringLiteral(" - Newest"));
}

TEST_F(LoginTest, UnsavedEditsAreOfferedToTheOldRepositoryFirst) {
    const int32_t mine = AddDashboard(QStringLiteral("Mine"));
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    AddPanel(mine, source, QStringLiteral("Sales"), 100, 200);
    StartWindow();
    ASSERT_EQ(Window()->PanelWindows().size(), 1u);
    const QString other = MakeOtherRepository();
    db::Database* before = gDB.get();

    // Cancel in the save question stops the switch with everything as it was.
    Window()->PanelWindows().front()->IsDirty = true;
    PromptScript::QueueMsgBox(vbCancel);
    frmLogin dialog;
    dialog.CurrMode = QStringLiteral("switch");
    Type(&dialog, "txtRepository", other);
    Press(&dialog, "cmdOK");
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Save changes to Mine?")});
    EXPECT_FALSE(dialog.IsUnloaded());
    EXPECT_EQ(gDB.get(), before);
    EXPECT_TRUE(Window());
    EXPECT_TRUE(OtherMainWindows().empty());
    EXPECT_EQ(RememberedRepository(), QStringLiteral("<absent>"));

    // Yes stores the edits in the old repository, then the switch goes on.
    Window()->PanelWindows().front()->Move(1440, 2880);
    PromptScript::Reset();
    PromptScript::QueueMsgBox(vbYes);
    Press(&dialog, "cmdOK");
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Save changes to Mine?")});
    EXPECT_TRUE(dialog.IsUnloaded());
    EXPECT_EQ(gDB->Name(), other);
    EXPECT_EQ(RowsIn(other, QStringLiteral("DsbSavedPanel")), 0);
    EXPECT_EQ(RowsIn(other, QStringLiteral("DsbSavedWorkspace")), 2);
    auto old = db::Database::Open(GetRepositoryFile(), DatabaseKey(kConnectString));
    auto rs = old->Query(QStringLiteral("SELECT [Left], [Top] FROM DsbSavedPanel"));
    ASSERT_FALSE(rs->EOF_());
    EXPECT_EQ(rs->Field(0).toInt(), 1440);
    EXPECT_EQ(rs->Field(1).toInt(), 2880);
    EXPECT_EQ(OtherMainWindows().size(), 1u);
}

TEST_F(LoginTest, SwitchProjectMenuOpensTheDialogAfterTheSaveQuestion) {
    AddDashboard(QStringLiteral("Mine"));
    StartWindow();
    PromptScript::Reset();
    // The item starts hidden, and nothing in the program shows it.
    EXPECT_FALSE(Item("mnuWorkspaceSwitchRepository")->isVisible());
    Item("mnuWorkspaceSwitchRepository")->setVisible(true);
    Click("mnuWorkspaceSwitchRepository");
    EXPECT_EQ(DialogsShown(), QStringList{QStringLiteral("frmLogin")});
    EXPECT_FALSE(Window()->IsBusy());
    // With unsaved edits the save question comes first, and Cancel opens nothing.
    Click("mnuWorkspaceNew");
    PromptScript::Reset();
    PromptScript::QueueMsgBox(vbCancel);
    Click("mnuWorkspaceSwitchRepository");
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("Save changes to Untitled?")});
    EXPECT_TRUE(DialogsShown().isEmpty());
}
