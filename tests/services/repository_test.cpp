// Start-up end to end, the repository routines' reports, repository validation, the drill-back
// lookup and the key/value settings.

#include "TestSupport.h"

#include "services/App.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/modUtilsINI.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsRepository.h"
#include "services/modUtilsSQL.h"

#include <QDir>
#include <QFile>

using testsupport::ReadText;
using testsupport::WriteText;

namespace {
const QString kInitFailure = QStringLiteral(
    "Error occurred during initialization of Sheetbeacon.\r\n"
    "If this occurred right after install, try re-running the application \r\n"
    "by clicking on the icon in the desktop or via the Start menu.");
}

class StartupTest : public ProgramFolderTest {
protected:
    bool RunMain() {
        shown_ = false;
        return Main([this] { shown_ = true; });
    }
    bool shown_ = false;
};

TEST_F(StartupTest, MissingRepositoryEndsWithTwoBoxesAndNoWindow) {
    EXPECT_FALSE(RunMain());
    EXPECT_FALSE(shown_);
    ASSERT_EQ(PromptScript::Record().size(), 2u);
    EXPECT_EQ(PromptScript::Record()[0].text,
              QStringLiteral("Project file [") + GetRepositoryFile() +
                  QStringLiteral("] not found.  Unable to continue loading Sheetbeacon."));
    EXPECT_EQ(PromptScript::Record()[0].style, vbOKOnly | vbExclamation);
    EXPECT_EQ(PromptScript::Record()[1].text, kInitFailure);
    EXPECT_EQ(PromptScript::Record()[1].style, vbOKOnly | vbInformation);
    EXPECT_TRUE(LogText().contains(QStringLiteral("Event at [Main.InitStandard]: Project file [")));
    EXPECT_FALSE(gDB);
}

TEST_F(StartupTest, WrongKeyOrOtherFileIsNotAValidProjectFile) {
    {
        auto other = db::Database::Create(GetRepositoryFile(), QStringLiteral("another key"));
        other->ExecuteScript(ReadText(testsupport::SchemaPath()));
    }
    EXPECT_FALSE(RunMain());
    EXPECT_FALSE(shown_);
    ASSERT_EQ(PromptScript::Messages().size(), 2);
    EXPECT_EQ(PromptScript::Messages()[0], QStringLiteral("Selected file is not a valid Sheetbeacon project file."));
    EXPECT_EQ(PromptScript::Messages()[1], kInitFailure);
    EXPECT_TRUE(LogText().contains(QStringLiteral("Error on [UtilsSQL.SQL_OpenDatabase]")));
    EXPECT_FALSE(gDB);

    ResetLog();
    PromptScript::Reset();
    QFile::remove(GetRepositoryFile());
    WriteText(GetRepositoryFile(), QStringLiteral("PK\x03\x04 this is not a database"));
    EXPECT_FALSE(RunMain());
    EXPECT_EQ(PromptScript::Messages().value(0), QStringLiteral("Selected file is not a valid Sheetbeacon project file."));
    EXPECT_FALSE(gDB);
}

TEST_F(StartupTest, RepositoryBesideTheProgramIsCheckedLikeAnyOther) {
    testsupport::MakeRepository(GetRepositoryFile());
    db::Database::Open(GetRepositoryFile(), DatabaseKey(kConnectString))
        ->ExecuteScript(QStringLiteral("CREATE TRIGGER Stamp AFTER UPDATE ON DsbSavedWorkspace "
                                       "BEGIN SELECT 1; END;"));
    EXPECT_FALSE(RunMain());
    EXPECT_FALSE(shown_);
    EXPECT_EQ(PromptScript::Messages().value(0),
              QStringLiteral("Selected file is not a valid Sheetbeacon project file."));
    EXPECT_TRUE(LogText().contains(GetRepositoryFile() +
                                   QStringLiteral(" is not a project file this program can read: "
                                                  "it holds a trigger (Stamp)")));
    EXPECT_FALSE(gDB);
}

TEST_F(StartupTest, ValidRepositoryOpensAndShowsTheWindow) {
    testsupport::MakeRepository(GetRepositoryFile());
    testsupport::WriteText(GetINIFile(), QStringLiteral("[Options]\nRefresh Frequency=3\n"));
    const QByteArray before = testsupport::ReadBytes(GetRepositoryFile());
    EXPECT_TRUE(RunMain());
    EXPECT_TRUE(shown_);
    ASSERT_TRUE(gDB);
    EXPECT_EQ(gRefreshFrequency, 3);
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    const QString log = LogText();
    EXPECT_TRUE(log.contains(QStringLiteral("Event at [Utils.InitRepository]: opened database at ") + GetRepositoryFile()));
    EXPECT_TRUE(log.contains(QStringLiteral("Event at [modHTMLHelp.SetHelpFile]: ") + Folder() +
                             QStringLiteral("/Sheetbeacon.html not found. Will not be able to load help file.")));
    // Opening writes nothing to the file.
    EXPECT_EQ(testsupport::ReadBytes(GetRepositoryFile()), before);
}

TEST_F(StartupTest, FoldersBesideTheProgramAreMadeOnDemand) {
    EXPECT_EQ(GetPanelsFolder(), Folder() + QStringLiteral("/Panels/"));
    EXPECT_TRUE(QDir(Folder() + QStringLiteral("/Panels")).exists());
    EXPECT_EQ(GetTemplatesFolder(), Folder() + QStringLiteral("/Templates/"));
    EXPECT_EQ(GetRepositoryFile(), Folder() + QStringLiteral("/Sheetbeacon.pvdu"));
    App::SetPath(Folder() + QStringLiteral("/"));  // a folder given with its separator
    EXPECT_EQ(GetRepositoryFile(), Folder() + QStringLiteral("/Sheetbeacon.pvdu"));
}

class SqlRoutinesTest : public ProgramFolderTest {};

TEST_F(SqlRoutinesTest, AFailingStatementIsLoggedWithCallerEngineMessageAndStatement) {
    StartWithRepository();
    EXPECT_FALSE(SQL_Execute(gDB.get(), QStringLiteral("UPDATE NoTable SET x = ? WHERE ID = 4"),
                             {QStringLiteral("it's")}, true, QStringLiteral("clsWorkspace"),
                             QStringLiteral("UpdateDB")));
    const QString log = LogText();
    EXPECT_TRUE(log.contains(QStringLiteral("Error on [UtilsSQL.SQL_Execute]")));
    EXPECT_TRUE(log.contains(QStringLiteral("\r\nCaller: clsWorkspace.UpdateDB\r\nno such table: NoTable\r\nSQL: UPDATE NoTable SET x = 'it''s' WHERE ID = 4")))
        << log.toStdString();
    ASSERT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(PromptScript::Messages()[0].startsWith(QStringLiteral("Error Source:  UtilsSQL.SQL_Execute\r\nNumber:  ")));

    PromptScript::Reset();
    std::unique_ptr<db::Recordset> rs;
    EXPECT_FALSE(SQL_OpenRecordset(gDB.get(), rs, QStringLiteral("SELECT nothing FROM nowhere"), {}, false,
                                   QString(), QStringLiteral("Ignored")));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    EXPECT_FALSE(LogText().contains(QStringLiteral("Caller: .Ignored")));
    EXPECT_TRUE(LogText().contains(QStringLiteral("Error: (1) no such table: nowhere\r\nSQL: SELECT nothing FROM nowhere")));
}

TEST_F(SqlRoutinesTest, TransactionsKeepAllOrNothing) {
    StartWithRepository();
    const bool ok = SQL_InTransaction(gDB.get(), false, QStringLiteral("T"), QStringLiteral("t"), [] {
        return SQL_Execute(gDB.get(), QStringLiteral("INSERT INTO DsbSystem VALUES ('k','v')"), {}, false, QString(), QString()) &&
               SQL_Execute(gDB.get(), QStringLiteral("INSERT INTO Missing VALUES (1)"), {}, false, QString(), QString());
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetSystemSettings(QStringLiteral("k")), QString());
    EXPECT_TRUE(SQL_InTransaction(gDB.get(), false, QStringLiteral("T"), QStringLiteral("t"), [] {
        return SaveSystemSettings(QStringLiteral("k"), QStringLiteral("v"));
    }));
    EXPECT_EQ(GetSystemSettings(QStringLiteral("k")), QStringLiteral("v"));
}

TEST_F(SqlRoutinesTest, ValidateRepositoryAcceptsOnlyKeyedRepositories) {
    const QString repo = InFolder(QStringLiteral("a.pvdu"));
    testsupport::MakeRepository(repo);
    EXPECT_TRUE(ValidateRepository(repo));  // empty dashboard table still counts

    const QString keyedOther = InFolder(QStringLiteral("b.pvdu"));
    testsupport::MakeLogDatabase(keyedOther);
    EXPECT_FALSE(ValidateRepository(keyedOther));

    const QString plain = InFolder(QStringLiteral("c.pvdu"));
    WriteText(plain, QStringLiteral("hello"));
    EXPECT_FALSE(ValidateRepository(plain));
    EXPECT_FALSE(ValidateRepository(InFolder(QStringLiteral("missing.pvdu"))));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(SqlRoutinesTest, DefaultRepositoryIsRememberedTrimmed) {
    EXPECT_EQ(GetDefaultRepository(), QString());
    SaveDefaultRepository(QStringLiteral("   "));
    EXPECT_EQ(GetDefaultRepository(), QString());
    SaveDefaultRepository(QStringLiteral("/srv/team's/Sheetbeacon.pvdu"));
    EXPECT_EQ(GetDefaultRepository(), QStringLiteral("/srv/team's/Sheetbeacon.pvdu"));
}

TEST_F(SqlRoutinesTest, DrillbackAndSettingsTakeAnyText) {
    StartWithRepository();
    ASSERT_TRUE(SQL_Execute(gDB.get(), QStringLiteral("INSERT INTO DsbDrillback (PanelSourceID, Sheet) VALUES (?,?)"),
                            {40000, QStringLiteral("Bob's data")}, false, QString(), QString()));
    EXPECT_TRUE(HasDrillback(40000, QStringLiteral("Bob's data"), gDB.get()));
    EXPECT_TRUE(HasDrillback(40000, QStringLiteral("BOB'S DATA"), gDB.get()));
    EXPECT_FALSE(HasDrillback(40000, QStringLiteral("Other"), gDB.get()));
    EXPECT_FALSE(HasDrillback(1, QStringLiteral("Bob's data"), gDB.get()));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());

    const QString key = QStringLiteral("it's a key");
    EXPECT_TRUE(SaveSystemSettings(key, QStringLiteral("O'Brien")));
    EXPECT_EQ(GetSystemSettings(key), QStringLiteral("O'Brien"));
    EXPECT_TRUE(DeleteSystemSettings(key));
    EXPECT_EQ(GetSystemSettings(key), QString());
    ASSERT_TRUE(SQL_Execute(gDB.get(), QStringLiteral("INSERT INTO DsbSystem VALUES ('nullvalue', NULL)"), {}, false, QString(), QString()));
    EXPECT_EQ(GetSystemSettings(QStringLiteral("nullvalue")), QString());
}
