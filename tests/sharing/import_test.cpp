// Export then import between two real repositories, path rewriting through the shared file's
// alternate paths, source matching, one transaction for the whole import, and bad shared files.

#include "SharingTestSupport.h"

#include <QFile>
#include <QTemporaryDir>

namespace {
const QString kSuccess = QStringLiteral("Selected dashboard(s) were imported successfully.");
const QString kNothing = QStringLiteral("Nothing was imported.");
}  // namespace

TEST_F(SharingTest, RoundTripCopiesOneDashboardWithNewIdsAndFreshSources) {
    AddDashboard(*gDB, "Filler");  // so the IDs of both sides differ
    const int32_t sales = AddDashboard(*gDB, "Sales", "North region");
    AddDashboard(*gDB, "Stock");
    const int32_t s1 = AddSource(*gDB, "/data/s1.xlsx", "folder", "s1*.xlsx", "/dest/", "/in/");
    AddPanel(*gDB, sales, s1, "one");
    AddPanel(*gDB, sales, s1, "two");
    const QString shared = InFolder("sales.pvds");
    ASSERT_TRUE(Export({"Sales"}, shared));

    SwitchToNewRepository();
    const auto run = Import(shared, {"Sales"});
    EXPECT_EQ(run.offered, QStringList{"Sales"});
    EXPECT_TRUE(run.closed);
    EXPECT_EQ(PromptScript::Messages(), QStringList{kSuccess});
    EXPECT_EQ(Rows(*gDB, "SELECT ID, Name, Description, Template, LastUpdated, Status, Comments "
                         "FROM DsbSavedWorkspace"),
              QStringList{"1|Sales|North region|T|2024-03-05 10:11:12|S|C"});
    EXPECT_EQ(Rows(*gDB, "SELECT ID, FullPath, Mask, DestFolder, NewestFile, LastUpdated, "
                         "LastChecked, CheckEveryNMin, UpdateType, SourceFolder, MacroName "
                         "FROM DsbPanelSource"),
              QStringList{"1|/data/s1.xlsx|s1*.xlsx|/dest/||1900-01-01 00:00:00|"
                          "1900-01-01 00:00:00|15|folder|/in/|Mac"});
    EXPECT_EQ(Rows(*gDB, "SELECT WorkspaceID, SourceID, Ndx, ContentType, SheetName, PicRange, "
                         "[Left], [Top], Width, Height, ViewType, Caption FROM DsbSavedPanel "
                         "ORDER BY ID"),
              (QStringList{"1|1|1|S|Data|A1:C4|120|240|3000|1500|A|one",
                           "1|1|1|S|Data|A1:C4|120|240|3000|1500|A|two"}));
    // The scratch table stays until the next import, with the source's mapping.
    EXPECT_EQ(Rows(*gDB, "SELECT NewID, ID FROM TempSources"), QStringList{QString("1|%1").arg(s1)});
    // Alternate paths are read, never imported.
    EXPECT_EQ(Scalar(*gDB, "SELECT count(*) FROM DsbAltPaths"), 0);

    // The same file again: the dashboard is in the repository now and no longer offered.
    PromptScript::Reset();
    const auto again = Import(shared, {"Sales"});
    EXPECT_TRUE(again.closed);
    EXPECT_EQ(PromptScript::Messages(), QStringList{"There are no dashboards to import from."});
}

TEST_F(SharingTest, ImportReusesAlikeSourcesAndMergesAlikeImportedOnes) {
    const int32_t d = AddDashboard(*gDB, "Mixed");
    const int32_t empty = AddDashboard(*gDB, "Empty");
    Q_UNUSED(empty);
    const int32_t alike1 = AddSource(*gDB, "/a/one.xlsx", "folder", "rep*.xlsx", "/dest/");
    const int32_t alike2 = AddSource(*gDB, "/b/two.xlsx", "folder", "rep*.xlsx", "/dest/");
    const int32_t matching = AddSource(*gDB, "/elsewhere/m.xlsx", "FOLDER", "M*.XLSX", "/DEST/m/");
    const int32_t nullish = AddSource(*gDB, "/n/n.xlsx", QVariant(), QVariant(), QVariant());
    const int32_t otherDest = AddSource(*gDB, "/c/m.xlsx", "folder", "m*.xlsx", "/dest/other/");
    for (int32_t s : {alike1, alike2, matching, nullish, otherDest})
        AddPanel(*gDB, d, s, QString("p%1").arg(s));
    AddPanel(*gDB, d, 999, "lost source");
    const QString shared = InFolder("mixed.pvds");
    ASSERT_TRUE(Export({"Mixed", "Empty"}, shared));

    SwitchToNewRepository();
    const int32_t mine = AddSource(*gDB, "/mine/m.xlsx", "folder", "m*.xlsx", "/dest/m/");
    const int32_t mineNull = AddSource(*gDB, "/mine/n.xlsx", QVariant(), QVariant(), QVariant());
    const QStringList mineBefore = Rows(*gDB, "SELECT * FROM DsbPanelSource ORDER BY ID");
    const auto run = Import(shared, {"Mixed", "Empty"});
    ASSERT_EQ(PromptScript::Messages(), QStringList{kSuccess});

    // Reused sources stay exactly as they were.
    EXPECT_EQ(Rows(*gDB, "SELECT * FROM DsbPanelSource WHERE ID <= 2 ORDER BY ID"), mineBefore);
    // The two alike imported sources became one new source; the one with another
    // destination folder became another.
    EXPECT_EQ(Rows(*gDB, "SELECT FullPath FROM DsbPanelSource WHERE ID > 2 ORDER BY ID"),
              (QStringList{"/a/one.xlsx", "/c/m.xlsx"}));
    const QStringList panels = Rows(*gDB, "SELECT Caption, SourceID FROM DsbSavedPanel ORDER BY Caption");
    EXPECT_EQ(panels, (QStringList{"lost source|0", QString("p%1|3").arg(alike1),
                                   QString("p%1|3").arg(alike2), QString("p%1|%2").arg(matching).arg(mine),
                                   QString("p%1|%2").arg(nullish).arg(mineNull),
                                   QString("p%1|4").arg(otherDest)}));
    // A dashboard without panels comes as its row alone.
    EXPECT_EQ(Scalar(*gDB, "SELECT count(*) FROM DsbSavedWorkspace"), 2);
    EXPECT_EQ(Scalar(*gDB, "SELECT count(*) FROM DsbSavedPanel p JOIN DsbSavedWorkspace w ON "
                           "w.ID = p.WorkspaceID WHERE w.Name = 'Empty'"),
              0);
    EXPECT_TRUE(LogText().contains("has no source in it"));
}

TEST_F(SharingTest, ImportRewritesPathsThroughTheSharedFilesAlternatePaths) {
    QTemporaryDir there;
    ASSERT_TRUE(QDir(there.path()).mkpath("short"));
    ASSERT_TRUE(QDir(there.path()).mkpath("deep"));
    const QString altShort = there.path() + "/short/";
    const QString altDeep = there.path() + "/deep/";
    const QString base = "/gone/base/";
    const QString d = "/gone/base/sub/";  // nested in the shorter base
    const int32_t ws = AddDashboard(*gDB, "Paths");
    auto add = [&](const QString& full, const QString& dest, const QString& src) {
        AddPanel(*gDB, ws, AddSource(*gDB, full, "folder", full.section('/', -1), dest, src), full);
    };
    add(d + "x.xlsx", d, base);                                 // longer base wins for x
    add(base + "y.xlsx", "/keep/", "/gone/base/sub/../");       // shorter base
    add("/GONE/BASE/z.xlsx", "/k2/", QString());                // other letter case: kept
    add(base + "twice/gone/base/w.xlsx", "/k3/", QString());    // every occurrence replaced
    add("/gone/baseline/v.xlsx", "/k4/", QString());            // shares the start only
    add("/no_such%dir/q.xlsx", "/k5/", QString());              // "_" and "%" are plain
    add("/noXsuch%dir/r.xlsx", "/k6/", QString());
    add("/here/s.xlsx", "/k7/", QString());                     // base folder exists: kept
    add("/gone/noalt/t.xlsx", "/k8/", QString());               // alternate missing: kept
    QTemporaryDir here;
    gDB->Execute("INSERT INTO DsbAltPaths VALUES (?, ?), (?, ?), (?, ?), (?, ?), (?, ?), (NULL, ?)",
                 {base, altShort, d, altDeep, "/gone/baseline", "/nowhere", "/no_such%dir/", altShort,
                  here.path() + "/", altShort, altShort});
    gDB->Execute("UPDATE DsbPanelSource SET FullPath = ? WHERE FullPath = '/here/s.xlsx'",
                 {here.path() + "/s.xlsx"});
    gDB->Execute("INSERT INTO DsbAltPaths VALUES ('/gone/noalt/', '/nowhere/at/all/')");
    const QString shared = InFolder("paths.pvds");
    ASSERT_TRUE(Export({"Paths"}, shared));

    SwitchToNewRepository();
    Import(shared, {"Paths"});
    ASSERT_EQ(PromptScript::Messages(), QStringList{kSuccess});
    EXPECT_EQ(Rows(*gDB, "SELECT FullPath, DestFolder, SourceFolder FROM DsbPanelSource ORDER BY ID"),
              (QStringList{altDeep + "x.xlsx|" + altDeep + "|" + altShort,
                           altShort + "y.xlsx|/keep/|" + altDeep + "../",
                           "/GONE/BASE/z.xlsx|/k2/|",
                           altShort + "twice" + altShort + "w.xlsx|/k3/|",
                           "/gone/baseline/v.xlsx|/k4/|",
                           altShort + "q.xlsx|/k5/|",
                           "/noXsuch%dir/r.xlsx|/k6/|",
                           here.path() + "/s.xlsx|/k7/|",
                           "/gone/noalt/t.xlsx|/k8/|"}));
}

TEST_F(SharingTest, ImportOffersOnlyNamesTheRepositoryDoesNotHave) {
    AddDashboard(*gDB, "Sales");
    AddDashboard(*gDB, "Stock");
    AddDashboard(*gDB, "O'Neil's view");
    const QString shared = InFolder("three.pvds");
    ASSERT_TRUE(Export({"Sales", "Stock", "O'Neil's view"}, shared));

    SwitchToNewRepository();
    AddDashboard(*gDB, "SALES");
    AddDashboard(*gDB, "Bob's board");  // an apostrophe on this side breaks nothing
    const auto run = Import(shared, {});
    EXPECT_EQ(run.offered, (QStringList{"O'Neil's view", "Stock"}));
    EXPECT_FALSE(run.closed);
    EXPECT_EQ(PromptScript::Messages(), QStringList{"Must select at least 1 panel to import."});
}

TEST_F(SharingTest, FailedImportLeavesTheRepositoryAsItWas) {
    const int32_t first = AddDashboard(*gDB, "First");
    const int32_t second = AddDashboard(*gDB, "Second");
    const int32_t s = AddSource(*gDB, "/a/new.xlsx", "folder", "new*.xlsx", "/dest/");
    AddPanel(*gDB, first, s, "fine");
    AddPanel(*gDB, second, s, "fine too");
    AddPanel(*gDB, second, s, "boom");
    const QString shared = InFolder("two.pvds");
    ASSERT_TRUE(Export({"First", "Second"}, shared));

    SwitchToNewRepository();
    // An earlier import's scratch table, and a repository that refuses one of the panels.
    gDB->Execute("CREATE TABLE TempSources AS SELECT 0 AS NewID, * FROM DsbPanelSource");
    gDB->Execute("CREATE TRIGGER refuse BEFORE INSERT ON DsbSavedPanel WHEN NEW.Caption = 'boom' "
                 "BEGIN SELECT RAISE(ABORT, 'disk quota'); END");
    const QStringList before = Dump(*gDB);

    frmImport dialog;
    dialog.ImportFile = shared;
    dialog.Form_Activate();
    ASSERT_EQ(dialog.list()->count(), 2);
    dialog.list()->item(0)->setSelected(true);
    dialog.list()->item(1)->setSelected(true);
    dialog.cmdOK_Click();
    EXPECT_FALSE(dialog.Unloaded());
    EXPECT_EQ(Dump(*gDB), before);
    ASSERT_FALSE(PromptScript::Messages().isEmpty());
    EXPECT_EQ(PromptScript::Messages().last(), kNothing);
    EXPECT_FALSE(PromptScript::Messages().contains(kSuccess));
    EXPECT_TRUE(LogText().contains("disk quota"));
    EXPECT_EQ(dialog.list()->count(), 2);  // reloaded: both still to import

    // Once the cause is gone, a second try imports each dashboard once.
    gDB->Execute("DROP TRIGGER refuse");
    PromptScript::Reset();
    dialog.list()->item(0)->setSelected(true);
    dialog.list()->item(1)->setSelected(true);
    dialog.cmdOK_Click();
    EXPECT_EQ(PromptScript::Messages(), QStringList{kSuccess});
    EXPECT_EQ(Rows(*gDB, "SELECT Name FROM DsbSavedWorkspace ORDER BY Name"),
              (QStringList{"First", "Second"}));
    EXPECT_EQ(Scalar(*gDB, "SELECT count(*) FROM DsbSavedPanel"), 3);
    EXPECT_EQ(Scalar(*gDB, "SELECT count(*) FROM DsbPanelSource"), 1);
}

TEST_F(SharingTest, BadSharedFilesAreRefusedWithNothingWritten) {
    const int32_t ws = AddDashboard(*gDB, "Sales");
    AddPanel(*gDB, ws, AddSource(*gDB, "/a/x.xlsx", "folder", "x.xlsx", "/d/"), "p");
    const QString good = InFolder("good.pvds");
    ASSERT_TRUE(Export({"Sales"}, good));

    // Wrong key.
    const QString wrongKey = InFolder("wrongkey.pvds");
    {
        auto other = db::Database::Create(wrongKey, "not the password");
        other->ExecuteScript(testsupport::ReadText(testsupport::SchemaPath()));
    }
    // Truncated.
    const QString truncated = InFolder("truncated.pvds");
    {
        QFile in(good);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        QFile out(truncated);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(in.read(in.size() / 2));
    }
    // Not a database at all.
    const QString text = InFolder("notes.pvds");
    testsupport::WriteText(text, "Dear colleague, here are my dashboards.\n");
    // Another layout of the tables, from a newer program.
    const QString newer = InFolder("newer.pvds");
    {
        auto other = db::Database::Create(newer, DatabaseKey(kConnectString));
        other->ExecuteScript(
            testsupport::ReadText(testsupport::SchemaPath()).replace("PicRange", "CellRange"));
        AddDashboard(*other, "Future");
    }

    SwitchToNewRepository();
    const QStringList before = Dump(*gDB);
    for (const QString& path : {wrongKey, truncated, text, newer}) {
        PromptScript::Reset();
        const auto run = Import(path, {"Sales", "Future"});
        EXPECT_TRUE(run.closed) << path.toStdString();
        EXPECT_TRUE(PromptScript::Messages().contains(
            "Error opening shared file.  Unable to continue importing dashboards."))
            << path.toStdString() << ": " << PromptScript::Messages().join(" / ").toStdString();
        EXPECT_EQ(Dump(*gDB), before) << path.toStdString();
    }
    EXPECT_TRUE(LogText().contains("CellRange") || LogText().contains("PicRange"));

    PromptScript::Reset();
    const auto missing = Import(InFolder("nowhere.pvds"), {});
    EXPECT_TRUE(missing.closed);
    EXPECT_EQ(PromptScript::Messages(),
              QStringList{"Import file [" + InFolder("nowhere.pvds") + "] does not exist."});
}

// A dashboard without a name (Null or blanks) can't be imported, since the main window lists
// named dashboards only: it is not offered, so no choice of the user ends in "Nothing was
// imported.". Its named neighbours are offered and imported as usual.
TEST_F(SharingTest, UnnamedSharedDashboardsAreNotOffered) {
    const QString shared = InFolder("unnamed.pvds");
    {
        testsupport::MakeRepository(shared);
        auto file = OpenShared(shared);
        const int32_t ws = AddDashboard(*file, QVariant());
        AddPanel(*file, ws, AddSource(*file, "/a/x.xlsx", "folder", QVariant(), "/d/"), "p");
        AddDashboard(*file, QString("   "));
    }
    SwitchToNewRepository();
    const QStringList before = Dump(*gDB);
    const auto run = Import(shared, {"1"});
    EXPECT_EQ(run.offered, QStringList{});
    EXPECT_TRUE(run.closed);
    EXPECT_EQ(PromptScript::Messages(), QStringList{"There are no dashboards to import from."});
    EXPECT_TRUE(LogText().contains("of the shared file has no name; it is not offered."));
    EXPECT_EQ(Dump(*gDB), before);

    {
        auto file = OpenShared(shared);
        AddPanel(*file, AddDashboard(*file, "Named"), AddSource(*file, "/a/y.xlsx", "folder", "y*", "/d/"), "q");
    }
    PromptScript::Reset();
    const auto named = Import(shared, {"Named"});
    EXPECT_EQ(named.offered, QStringList{"Named"});
    EXPECT_TRUE(named.closed);
    EXPECT_EQ(PromptScript::Messages(), QStringList{"Selected dashboard(s) were imported successfully."});
    EXPECT_EQ(Scalar(*gDB, "SELECT COUNT(*) FROM DsbSavedWorkspace"), 1);
}
