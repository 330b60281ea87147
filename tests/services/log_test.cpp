// The text log and the log database: headers, entries, roll-over, and reports that never
// loop or crash when the log can't be written.

#include "TestSupport.h"

#include "services/App.h"
#include "services/StatusText.h"
#include "services/UserPrompts.h"
#include "services/modUtilsINI.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using testsupport::ReadText;

class LogTest : public ProgramFolderTest {
protected:
    void MakeLogOfSize(qint64 size) {
        QFile f(GetLogFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
    }
    int RolledLogs() const {
        return QDir(Folder()).entryList({QStringLiteral("Sheetbeacon_*.log")}, QDir::Files).size();
    }
};

TEST_F(LogTest, StartHeaderEntriesAndSources) {
    InitLog(GetLogFile(), false, false);
    ASSERT_TRUE(LogFileOn());
    LogError(QStringLiteral("modX"), QString(), 53, QStringLiteral("it's gone"), false);
    LogError(QString(), QStringLiteral("DoIt"), 5, QStringLiteral("bad"), false);
    LogEvent(QStringLiteral("frmPanel"), QStringLiteral("Panel_Load"), QStringLiteral("loaded"), false);
    const QString text = ReadText(GetLogFile());
    EXPECT_TRUE(text.startsWith(QStringLiteral("\r\n\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\tSheetbeacon\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("Event at [modUtilsLog.InitDBLog]: No 'Log DB' value specified in [Settings] section of ") +
                              GetINIFile() + QStringLiteral("\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral(" Error on [modX]\r\nError: (53) it's gone\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral(" Error on [DoIt]\r\nError: (5) bad\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral(" Event at [frmPanel.Panel_Load]: loaded\r\n")));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(LogTest, BoxesShowUnlessQuiet) {
    InitLog(GetLogFile(), false, false);
    LogError(QStringLiteral("M"), QStringLiteral("P"), 7, QStringLiteral("desc"), true);
    LogEvent(QStringLiteral("M"), QStringLiteral("P"), QStringLiteral("an event"), true);
    ASSERT_EQ(PromptScript::Record().size(), 2u);
    EXPECT_EQ(PromptScript::Record()[0].text,
              QStringLiteral("Error Source:  M.P\r\nNumber:  7\r\nDescription:  desc"));
    EXPECT_EQ(PromptScript::Record()[0].style, vbOKOnly | vbExclamation);
    EXPECT_EQ(PromptScript::Record()[0].title, QStringLiteral("Sheetbeacon"));
    EXPECT_EQ(PromptScript::Record()[1].text, QStringLiteral("an event"));
    SetLogQuiet(true);
    LogError(QStringLiteral("M"), QStringLiteral("P"), 7, QStringLiteral("desc"), true);
    EXPECT_EQ(PromptScript::Record().size(), 2u);
}

// Unattended work (the periodic refresh) puts no box in front of the user: its failures go to
// the log and the status bar, and the last of them stays there when the work is done.
TEST_F(LogTest, UnattendedWorkReportsOnTheStatusBarInsteadOfInABox) {
    InitLog(GetLogFile(), false, false);
    QStringList progress, lasting;
    SetStatusSink([&](const QString& text, bool last) { (last ? lasting : progress) << text; });
    {
        const UnattendedWork pass;
        EXPECT_TRUE(IsUnattended());
        {
            const UnattendedWork nested;
            LogError(QStringLiteral("M"), QStringLiteral("P"), 7, QStringLiteral("Unable to save a.xlsx"), true);
        }
        EXPECT_TRUE(lasting.isEmpty());  // only when the outermost work ends
        LogEvent(QStringLiteral("M"), QStringLiteral("P"), QStringLiteral("Unable to do b.\r\nDo this."), true);
        LogEvent(QStringLiteral("M"), QStringLiteral("P"), QStringLiteral("only logged"), false);
    }
    EXPECT_FALSE(IsUnattended());
    EXPECT_TRUE(PromptScript::Record().empty());
    EXPECT_EQ(progress, (QStringList{QStringLiteral("Unable to save a.xlsx"), QStringLiteral("Unable to do b. Do this.")}));
    EXPECT_EQ(lasting, QStringList{QStringLiteral("Unable to do b. Do this.")});
    const QString log = ReadText(GetLogFile());
    EXPECT_TRUE(log.contains(QStringLiteral("Unable to save a.xlsx")));
    EXPECT_TRUE(log.contains(QStringLiteral("only logged")));

    // Work without a failure leaves the status bar alone; attended work shows boxes again.
    lasting.clear();
    { const UnattendedWork quietPass; }
    EXPECT_TRUE(lasting.isEmpty());
    LogEvent(QStringLiteral("M"), QStringLiteral("P"), QStringLiteral("asked for"), true);
    EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("asked for")});
    SetStatusSink(nullptr);
}

TEST_F(LogTest, RollsOverAboveAMillionBytesOnly) {
    MakeLogOfSize(1000000);
    InitLog(GetLogFile(), false, false);
    EXPECT_EQ(RolledLogs(), 0);
    EXPECT_GT(QFileInfo(GetLogFile()).size(), 1000000);

    ResetLog();
    MakeLogOfSize(1000001);
    InitLog(GetLogFile(), false, false);
    EXPECT_EQ(RolledLogs(), 1);
    const QString text = ReadText(GetLogFile());
    EXPECT_TRUE(text.startsWith(QStringLiteral("\r\n\r\n")));
    EXPECT_LT(text.size(), 1000);
    const QString rolled = QDir(Folder()).entryList({QStringLiteral("Sheetbeacon_*.log")}).first();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Sheetbeacon_\\d{6}_\\d{4}\\.log$")).match(rolled).hasMatch())
        << rolled.toStdString();
}

TEST_F(LogTest, FreshStartDeletesTheOldLog) {
    MakeLogOfSize(500);
    InitLog(GetLogFile(), true, false);
    EXPECT_FALSE(ReadText(GetLogFile()).contains(QStringLiteral("xxx")));
}

TEST_F(LogTest, UnwritableFolderRunsWithoutATextLog) {
    // A folder where the log file should be can't be appended to, whatever our rights are.
    ASSERT_TRUE(QDir().mkdir(GetLogFile()));
    InitLog(GetLogFile(), false, false);
    EXPECT_FALSE(LogFileOn());
    LogError(QStringLiteral("M"), QStringLiteral("P"), 1, QStringLiteral("still shown"), true);
    LogEvent(QStringLiteral("M"), QStringLiteral("P"), QStringLiteral("and this"), false);
    EXPECT_EQ(PromptScript::Messages().size(), 1);
    // A log path in a folder that does not exist fares the same.
    ResetLog();
    InitLog(InFolder(QStringLiteral("gone/Sheetbeacon.log")), false, false);
    EXPECT_FALSE(LogFileOn());
}

TEST_F(LogTest, LogDatabaseGetsOneRowPerReport) {
    const QString logDb = InFolder(QStringLiteral("errors.db"));
    testsupport::MakeLogDatabase(logDb);
    ASSERT_EQ(
        INI_WriteString(GetINIFile(), QStringLiteral("Settings"), QStringLiteral("Log DB"), logDb),
        0);
    InitLog(GetLogFile(), false, false);
    ASSERT_TRUE(LogDBOn());
    LogError(QStringLiteral("modA"), QStringLiteral("ProcB"), 42, QStringLiteral("Bob's failure"), false);
    LogEvent(QStringLiteral("modA"), QStringLiteral("ProcC"), QStringLiteral("happened"), false);
    auto database = db::Database::Open(logDb, DatabaseKey(kConnectString));
    auto rs = database->Query(QStringLiteral("SELECT * FROM Kolo_ErrorLogs ORDER BY ID"));
    ASSERT_EQ(rs->RecordCount(), 2);
    EXPECT_EQ(rs->Text(QStringLiteral("ApplicationName")), QStringLiteral("Sheetbeacon"));
    EXPECT_EQ(rs->Text(QStringLiteral("LogType")), QStringLiteral("Error"));
    EXPECT_EQ(rs->Number(QStringLiteral("LogNumber")), 42);
    EXPECT_EQ(rs->Text(QStringLiteral("LogDescription")), QStringLiteral("Bob's failure"));
    EXPECT_TRUE(rs->Date(QStringLiteral("LogTime")).isValid());
    rs->MoveNext();
    EXPECT_EQ(rs->Text(QStringLiteral("LogType")), QStringLiteral("Event"));
    EXPECT_EQ(rs->Number(QStringLiteral("LogNumber")), 0);
}

TEST_F(LogTest, MissingOrBrokenLogDatabaseIsNotedAndIgnored) {
    ASSERT_EQ(INI_WriteString(GetINIFile(), QStringLiteral("Settings"), QStringLiteral("Log DB"),
                              InFolder(QStringLiteral("none.db"))),
              0);
    InitLog(GetLogFile(), false, false);
    EXPECT_FALSE(LogDBOn());
    EXPECT_TRUE(LogText().contains(QStringLiteral("Invalid error log database name ") + InFolder(QStringLiteral("none.db"))));

    ResetLog();
    const QString broken = InFolder(QStringLiteral("broken.db"));
    testsupport::WriteText(broken, QStringLiteral("not a database"));
    ASSERT_EQ(
        INI_WriteString(GetINIFile(), QStringLiteral("Settings"), QStringLiteral("Log DB"), broken),
        0);
    InitLog(GetLogFile(), false, false);
    EXPECT_FALSE(LogDBOn());
    EXPECT_TRUE(LogText().contains(QStringLiteral("Error opening database ") + broken));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());

    // A keyed database without the table is not used either.
    ResetLog();
    const QString other = InFolder(QStringLiteral("other.db"));
    testsupport::MakeRepository(other);
    ASSERT_EQ(
        INI_WriteString(GetINIFile(), QStringLiteral("Settings"), QStringLiteral("Log DB"), other),
        0);
    InitLog(GetLogFile(), false, false);
    EXPECT_FALSE(LogDBOn());
}

TEST_F(LogTest, ALogDatabaseThatFailsLaterFallsBackToTheTextLogWithoutLooping) {
    const QString logDb = InFolder(QStringLiteral("errors.db"));
    testsupport::MakeLogDatabase(logDb);
    ASSERT_EQ(
        INI_WriteString(GetINIFile(), QStringLiteral("Settings"), QStringLiteral("Log DB"), logDb),
        0);
    InitLog(GetLogFile(), false, false);
    ASSERT_TRUE(LogDBOn());
    {
        auto database = db::Database::Open(logDb, DatabaseKey(kConnectString));
        database->Execute(QStringLiteral("DROP TABLE Kolo_ErrorLogs"));
    }
    LogError(QStringLiteral("modA"), QStringLiteral("ProcB"), 1, QStringLiteral("after the table went"), true);
    const QString text = LogText();
    EXPECT_TRUE(text.contains(QStringLiteral("after the table went")));
    EXPECT_TRUE(text.contains(QStringLiteral("Error on [modUtilsLog.LogDBLog]")));
    EXPECT_EQ(PromptScript::Messages().size(), 1);  // the caller's box only
}
