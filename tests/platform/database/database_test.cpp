// The keyed database layer: values travel bound, Null survives, transactions nest, and the
// online backup makes a file that opens with the same key.

#include "TestSupport.h"

#include "platform/database/Database.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

const QString kKey = QStringLiteral("Wren527");

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("repo.pvdu"));
        testsupport::MakeRepository(path_);
        db_ = db::Database::Open(path_, kKey);
    }
    QTemporaryDir dir_;
    QString path_;
    std::unique_ptr<db::Database> db_;
};

TEST_F(DatabaseTest, AwkwardValuesAreStoredAndFoundAgainExactly) {
    const QStringList names = {QStringLiteral("Bob's data"), QStringLiteral("say \"hi\""),
                               QStringLiteral("C:\\x\\y"), QStringLiteral("100% _sure_"),
                               QStringLiteral("Größe – 東京"), QStringLiteral("'; DROP TABLE DsbSystem; --")};
    for (const QString& name : names)
        db_->Execute(QStringLiteral("INSERT INTO DsbSavedWorkspace (Name) VALUES (?)"), {name});
    for (const QString& name : names) {
        auto rs = db_->Query(QStringLiteral("SELECT ID, Name FROM DsbSavedWorkspace WHERE Name = ?"), {name});
        ASSERT_EQ(rs->RecordCount(), 1) << name.toStdString();
        EXPECT_EQ(rs->Text(QStringLiteral("name")), name);
    }
    EXPECT_TRUE(db_->HasTable(QStringLiteral("DsbSystem")));
}

TEST_F(DatabaseTest, NamesCompareWithoutLetterCase) {
    db_->Execute(QStringLiteral("INSERT INTO DsbSavedWorkspace (Name) VALUES (?)"), {QStringLiteral("Sales")});
    auto rs = db_->Query(QStringLiteral("SELECT ID FROM DsbSavedWorkspace WHERE Name = ?"), {QStringLiteral("SALES")});
    EXPECT_EQ(rs->RecordCount(), 1);
}

TEST_F(DatabaseTest, NullAndDatesReadBackThroughTheRecordset) {
    const QDateTime when(QDate(2024, 2, 29), QTime(23, 59, 58));
    db_->Execute(QStringLiteral("INSERT INTO DsbPanelSource (FullPath, LastUpdated, CheckEveryNMin) VALUES (?,?,?)"),
                 {QStringLiteral("/tmp/a.xlsx"), when, QVariant()});
    auto rs = db_->Query(QStringLiteral("SELECT * FROM DsbPanelSource"));
    ASSERT_FALSE(rs->EOF_());
    EXPECT_EQ(rs->Date(QStringLiteral("LastUpdated")), when);
    EXPECT_EQ(rs->Field(QStringLiteral("LastUpdated")).toString(), QStringLiteral("2024-02-29 23:59:58"));
    EXPECT_TRUE(rs->IsNull(QStringLiteral("CheckEveryNMin")));
    EXPECT_EQ(rs->Number(QStringLiteral("CheckEveryNMin")), 0);
    EXPECT_TRUE(rs->IsNull(QStringLiteral("Mask")));
    EXPECT_EQ(rs->Text(QStringLiteral("Mask")), QString());
    const QDateTime fallback(QDate(1900, 1, 1), QTime(0, 0));
    EXPECT_EQ(rs->Date(QStringLiteral("LastChecked"), fallback), fallback);
    EXPECT_TRUE(rs->Field(QStringLiteral("NoSuchColumn")).isNull());
    rs->MoveNext();
    EXPECT_TRUE(rs->EOF_());
    EXPECT_TRUE(rs->Field(QStringLiteral("FullPath")).isNull());
}

TEST_F(DatabaseTest, KeysAreNeverHandedOutAgain) {
    db_->Execute(QStringLiteral("INSERT INTO DsbSavedPanel (WorkspaceID) VALUES (1)"));
    const qint64 first = db_->LastInsertId();
    db_->Execute(QStringLiteral("DELETE FROM DsbSavedPanel WHERE ID = ?"), {first});
    db_->Execute(QStringLiteral("INSERT INTO DsbSavedPanel (WorkspaceID) VALUES (1)"));
    EXPECT_GT(db_->LastInsertId(), first);
}

TEST_F(DatabaseTest, TransactionsNestAndRollBackWhole) {
    {
        db::Transaction outer(*db_);
        db_->Execute(QStringLiteral("INSERT INTO DsbSystem VALUES ('a','1')"));
        {
            db::Transaction inner(*db_);
            db_->Execute(QStringLiteral("INSERT INTO DsbSystem VALUES ('b','2')"));
            inner.Commit();
        }
        {
            db::Transaction dropped(*db_);
            db_->Execute(QStringLiteral("INSERT INTO DsbSystem VALUES ('c','3')"));
        }
        auto mid = db_->Query(QStringLiteral("SELECT * FROM DsbSystem"));
        EXPECT_EQ(mid->RecordCount(), 2);
        // outer is not committed: everything goes
    }
    EXPECT_EQ(db_->Query(QStringLiteral("SELECT * FROM DsbSystem"))->RecordCount(), 0);
    EXPECT_EQ(db_->TransactionDepth(), 0);
}

TEST_F(DatabaseTest, FailuresCarryTheEngineMessageAndTheExpandedStatement) {
    try {
        db_->Execute(QStringLiteral("INSERT INTO NoSuchTable (x) VALUES (?)"), {QStringLiteral("v")});
        FAIL() << "an insert into a missing table succeeded";
    } catch (const db::Error& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("no such table")));
        EXPECT_TRUE(e.statement().contains(QStringLiteral("NoSuchTable")));
    }
    EXPECT_EQ(db_->Expanded(QStringLiteral("SELECT * FROM DsbSystem WHERE PropertyKey = ?"), {QStringLiteral("it's")}),
              QStringLiteral("SELECT * FROM DsbSystem WHERE PropertyKey = 'it''s'"));
    EXPECT_THROW(db_->Execute(QStringLiteral("SELECT ?"), {}), db::Error);
}

TEST_F(DatabaseTest, OpeningRefusesMissingFilesWrongKeysAndOtherFiles) {
    EXPECT_THROW(db::Database::Open(dir_.filePath(QStringLiteral("missing.pvdu")), kKey), db::Error);
    EXPECT_FALSE(QFile::exists(dir_.filePath(QStringLiteral("missing.pvdu"))));
    EXPECT_THROW(db::Database::Open(path_, QStringLiteral("wrong")), db::Error);
    const QString text = dir_.filePath(QStringLiteral("notes.txt"));
    testsupport::WriteText(text, QStringLiteral("just some text, not a database at all\n"));
    EXPECT_THROW(db::Database::Open(text, kKey), db::Error);
    EXPECT_THROW(db::Database::Open(QString(), kKey), db::Error);
}

TEST_F(DatabaseTest, AttachWithTheKeyAndRefuseAWrongOne) {
    const QString other = dir_.filePath(QStringLiteral("shared.pvds"));
    testsupport::MakeRepository(other);
    {
        auto shared = db::Database::Open(other, kKey);
        shared->Execute(QStringLiteral("INSERT INTO DsbSavedWorkspace (Name) VALUES ('Remote')"));
    }
    db_->Attach(other, QStringLiteral("shared"), kKey);
    auto rs = db_->Query(QStringLiteral("SELECT Name FROM shared.DsbSavedWorkspace"));
    ASSERT_EQ(rs->RecordCount(), 1);
    db_->Execute(QStringLiteral("CREATE TABLE TempSources AS SELECT 0 AS NewID, * FROM shared.DsbPanelSource"));
    EXPECT_TRUE(db_->TableNames().contains(QStringLiteral("TempSources")));
    db_->DropTable(QStringLiteral("TempSources"));
    EXPECT_FALSE(db_->HasTable(QStringLiteral("TempSources")));
    db_->Detach(QStringLiteral("shared"));
    EXPECT_THROW(db_->Attach(other, QStringLiteral("bad"), QStringLiteral("nope")), db::Error);
    // The failed attach left nothing attached under that name.
    EXPECT_THROW(db_->Query(QStringLiteral("SELECT * FROM bad.DsbSavedWorkspace")), db::Error);
}

TEST_F(DatabaseTest, BackupMakesAKeyedCopyOfEveryRow) {
    db_->Execute(QStringLiteral("INSERT INTO DsbSavedWorkspace (Name) VALUES ('Kept')"));
    const QString copy = dir_.filePath(QStringLiteral("copy.pvds"));
    db_->BackupTo(copy);
    auto opened = db::Database::Open(copy, kKey);
    auto rs = opened->Query(QStringLiteral("SELECT Name FROM DsbSavedWorkspace"));
    ASSERT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(rs->Text(QStringLiteral("Name")), QStringLiteral("Kept"));
    EXPECT_THROW(db::Database::Open(copy, QStringLiteral("other")), db::Error);
}

}  // namespace

// Guarded: the defences that hold even for SQL the structural check of a file did not see.
TEST_F(DatabaseTest, GuardedConnectionRefusesForeignCodeAndStopsRunawayStatements) {
    db_->ExecuteScript(QStringLiteral(
        "CREATE TABLE Digits(d INTEGER); "
        "INSERT INTO Digits VALUES (0),(1),(2),(3),(4),(5),(6),(7),(8),(9); "
        "CREATE VIEW Spy AS SELECT d FROM Digits; "
        "CREATE TABLE Log(x); "
        "CREATE TRIGGER Noisy AFTER INSERT ON DsbSystem BEGIN INSERT INTO Log VALUES (1); END;"));
    auto refused = [&](const QString& sql, const QString& expected) {
        SCOPED_TRACE(sql.toStdString());
        try {
            db_->Query(sql);
            ADD_FAILURE() << "ran";
        } catch (const db::Error& e) {
            EXPECT_TRUE(e.message().contains(expected)) << e.message().toStdString();
        }
    };
    {
        db::GuardScope guard(*db_);
        EXPECT_TRUE(db_->Guarded());
        refused(QStringLiteral("SELECT length(randomblob(1000000000))"), QStringLiteral("not authorized"));
        refused(QStringLiteral("SELECT rtreenode(2, x'0000ffff')"), QStringLiteral("not authorized"));
        refused(QStringLiteral("WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r) "
                               "SELECT count(*) FROM r"),
                QStringLiteral("not authorized"));
        refused(QStringLiteral("SELECT * FROM Spy"), QStringLiteral("prohibited"));
        try {
            db_->Execute(QStringLiteral("INSERT INTO DsbSystem VALUES ('k', 'v')"));
            ADD_FAILURE() << "the trigger ran";
        } catch (const db::Error&) {
        }
        // Nine copies of ten rows joined: a billion rows, far more work than any statement here.
        refused(QStringLiteral("SELECT count(*) FROM Digits a, Digits b, Digits c, Digits d, "
                               "Digits e, Digits f, Digits g, Digits h, Digits i"),
                QStringLiteral("was stopped"));
        // Plain statements still run.
        auto rs = db_->Query(QStringLiteral("SELECT count(*), max(length(?)) FROM Digits"), {QStringLiteral("abc")});
        EXPECT_EQ(rs->Field(0).toInt(), 10);
        EXPECT_EQ(rs->Field(1).toInt(), 3);
    }
    EXPECT_FALSE(db_->Guarded());
    EXPECT_EQ(db_->Query(QStringLiteral("SELECT count(*) FROM Log"))->Field(0).toInt(), 0);
    EXPECT_EQ(db_->Query(QStringLiteral("SELECT count(*) FROM Spy"))->Field(0).toInt(), 10);
    db_->Execute(QStringLiteral("INSERT INTO DsbSystem VALUES ('k', 'v')"));
    EXPECT_EQ(db_->Query(QStringLiteral("SELECT count(*) FROM Log"))->Field(0).toInt(), 1);

    // The schema ours trusts keeps its triggers; another one's never reach through.
    db::GuardScope trusted(*db_, QStringLiteral("main"));
    db_->Execute(QStringLiteral("INSERT INTO DsbSystem VALUES ('k2', 'v2')"));
    EXPECT_EQ(db_->Query(QStringLiteral("SELECT count(*) FROM Log"))->Field(0).toInt(), 2);
}
