// Shared dashboard files made to attack the program: SQL stored in the file (views, triggers,
// virtual tables, CHECK constraints, computed defaults, indexes on expressions), IDs beyond 32
// bits, and a file swapped after its list was read. Each is refused through the import dialog
// with the reason, and neither the repository nor the file is changed.

#include "SharingTestSupport.h"

#include <QFile>

namespace {

const QString kOpenFailed =
    QStringLiteral("Error opening shared file.  Unable to continue importing dashboards.");
const QString kNothing = QStringLiteral("Nothing was imported.");

class HostileImportTest : public SharingTest {
protected:
    // A shared file with the real tables and one dashboard "Sales" with a panel and its
    // source, then `attack` run on it.
    QString MakeShared(const QString& name, const QString& attack) {
        const QString path = InFolder(name);
        testsupport::MakeRepository(path);
        auto file = OpenShared(path);
        const int32_t ws = AddDashboard(*file, "Sales");
        AddPanel(*file, ws, AddSource(*file, "/a/x.xlsx", "folder", "x.xlsx", "/d/"), "p");
        if (!attack.isEmpty())
            file->ExecuteScript(attack);
        return path;
    }

    // Imports "Sales" from `path` into the fresh repository and expects the refusal naming
    // `reason`, with nothing written on either side.
    void ExpectRefused(const QString& path, const QString& reason) {
        SCOPED_TRACE(path.toStdString());
        const QStringList before = Dump(*gDB);
        const QByteArray fileBefore = testsupport::ReadBytes(path);
        PromptScript::Reset();
        const auto run = Import(path, {"Sales"});
        EXPECT_TRUE(run.closed);
        EXPECT_TRUE(run.offered.isEmpty());
        const QStringList shown = run.messages;
        EXPECT_TRUE(run.places.isEmpty());
        ASSERT_EQ(shown.size(), 2) << shown.join(" / ").toStdString();
        EXPECT_TRUE(shown[0].contains(
            path + " is not a shared dashboard file this program can read: " + reason))
            << shown[0].toStdString();
        EXPECT_EQ(shown[1], kOpenFailed);
        EXPECT_EQ(Dump(*gDB), before);
        EXPECT_EQ(testsupport::ReadBytes(path), fileBefore);
    }
};

}  // namespace

TEST_F(HostileImportTest, ViewInPlaceOfTheDashboardTableIsRefusedBeforeItRuns) {
    // Reading this view runs a function of the engine that reads out of bounds.
    const QString shared = MakeShared(
        "view.pvds",
        "ALTER TABLE DsbSavedWorkspace RENAME TO RealWs; "
        "CREATE VIEW DsbSavedWorkspace AS SELECT w.*, length(rtreenode(2, x'0000ffff')) AS n "
        "FROM RealWs w;");
    SwitchToNewRepository();
    ExpectRefused(shared, "it holds a view (DsbSavedWorkspace)");
}

TEST_F(HostileImportTest, SqlStoredInTheFileNeverRuns) {
    SwitchToNewRepository();
    struct Attack {
        const char* name;
        const char* sql;
        const char* reason;
    };
    const Attack attacks[] = {
        // Would copy the repository into the shared file while panels are read.
        {"export.pvds",
         "ALTER TABLE DsbSavedPanel RENAME TO RealPanel; CREATE VIEW DsbSavedPanel AS SELECT "
         "p.*, sqlcipher_export('shared') AS x FROM RealPanel p;",
         "it holds a view (DsbSavedPanel)"},
        // Would run for ever, its memory growing.
        {"endless.pvds",
         "ALTER TABLE DsbPanelSource RENAME TO RealSource; CREATE VIEW DsbPanelSource AS WITH "
         "RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r) SELECT s.* FROM RealSource "
         "s, r;",
         "it holds a view (DsbPanelSource)"},
        {"trigger.pvds",
         "CREATE TRIGGER Spy AFTER INSERT ON DsbSystem BEGIN SELECT randomblob(1000000000); END;",
         "it holds a trigger (Spy)"},
        {"virtual.pvds", "CREATE VIRTUAL TABLE Boxes USING rtree(id, x0, x1);",
         "it holds a virtual table (Boxes)"},
        {"check.pvds",
         "CREATE TABLE Extra(a INTEGER CHECK (length(rtreenode(2, x'0000ffff')) > 0));",
         "table Extra has a CHECK constraint"},
        {"default.pvds", "CREATE TABLE Extra(a BLOB DEFAULT (zeroblob(1000000000)));",
         "column Extra.a has a computed default"},
        {"expression.pvds", "CREATE INDEX Folded ON DsbAltPaths(lower(BasePath));",
         "index Folded is on an expression"},
        {"partial.pvds", "CREATE INDEX Some ON DsbAltPaths(BasePath) WHERE AltPath > 'a';",
         "index Some is partial"},
    };
    for (const Attack& attack : attacks)
        ExpectRefused(MakeShared(attack.name, attack.sql), attack.reason);
}

TEST_F(HostileImportTest, IdsBeyond32BitsAreRefusedNotTruncated) {
    // Truncated to 32 bits, dashboard 4294967297 would be read as dashboard 1.
    const QString bigDashboard = MakeShared(
        "bigid.pvds",
        "INSERT INTO DsbSavedWorkspace(ID, Name) VALUES (4294967297, 'Chosen bigid'); "
        "UPDATE DsbSavedWorkspace SET Name = 'Harmless one' WHERE Name = 'Sales'; "
        "INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, Caption) VALUES (4294967297, 1, 'big');");
    const QString bigSource = MakeShared(
        "bigsource.pvds", "UPDATE DsbSavedPanel SET SourceID = -4294967295;");
    const QString textId = MakeShared(
        "textid.pvds", "UPDATE DsbSavedPanel SET WorkspaceID = '1 or 1';");
    SwitchToNewRepository();
    const QStringList before = Dump(*gDB);
    PromptScript::Reset();
    const auto run = Import(bigDashboard, {"Chosen bigid"});
    EXPECT_TRUE(run.closed);
    EXPECT_TRUE(run.messages.value(0).contains(
        "DsbSavedWorkspace.ID holds 4294967297, which is not an ID of 32 bits"));
    EXPECT_FALSE(run.messages.contains("Selected dashboard(s) were imported successfully."));
    EXPECT_EQ(Dump(*gDB), before);

    ExpectRefused(bigSource, "DsbSavedPanel.SourceID holds -4294967295, which is not an ID of 32 bits");
    ExpectRefused(textId, "DsbSavedPanel.WorkspaceID holds 1 or 1, which is not an ID of 32 bits");
}

TEST_F(HostileImportTest, FileSwappedAfterItsListWasReadIsCheckedAgain) {
    const QString shared = MakeShared("swapped.pvds", QString());
    const QString hostile = MakeShared(
        "hostile.pvds",
        "ALTER TABLE DsbSavedPanel RENAME TO RealPanel; CREATE VIEW DsbSavedPanel AS SELECT "
        "p.*, sqlcipher_export('shared') AS x FROM RealPanel p;");
    SwitchToNewRepository();
    const QStringList before = Dump(*gDB);

    frmImport dialog;
    dialog.ImportFile = shared;
    dialog.Form_Activate();
    ASSERT_EQ(dialog.list()->count(), 1);
    ASSERT_TRUE(QFile::remove(shared));
    ASSERT_TRUE(QFile::copy(hostile, shared));
    const QByteArray fileBefore = testsupport::ReadBytes(shared);
    dialog.list()->item(0)->setSelected(true);
    dialog.cmdOK_Click();

    EXPECT_FALSE(dialog.Unloaded());
    const QStringList shown = PromptScript::Messages();
    ASSERT_EQ(shown.size(), 2) << shown.join(" / ").toStdString();
    EXPECT_TRUE(shown[0].contains(shared +
                                  " is not a shared dashboard file this program can read: it "
                                  "holds a view (DsbSavedPanel)"));
    EXPECT_EQ(shown[1], kNothing);
    EXPECT_EQ(Dump(*gDB), before);
    EXPECT_EQ(testsupport::ReadBytes(shared), fileBefore);
    EXPECT_FALSE(gDB->Guarded());
}
