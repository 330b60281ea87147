// Export then import between two real repositories, path rewriting through the shared file's
// alternate paths, source matching, one transaction for the whole import, and bad shared files.

#include "SharingTestSupport.h"

#include <QFile>
#include <QTemporaryDir>

namespace {
const QString kSuccess = QStringLiteral("Selected dashboard(s) were imported successfully.");
const QString kNothing = QStringLiteral("Nothing was imported.");
}  // namespace

namespace {

// A row as one line, "column=value" joined by "|", Null as "<null>": whole rows compare and
// print at once.
QString Line(const QVariantMap& row) {
    QStringList fields;
    for (auto it = row.begin(); it != row.end(); ++it)
        fields << it.key() + QLatin1Char('=') +
                      (it.value().isNull() ? QStringLiteral("<null>") : it.value().toString());
    return fields.join(QLatin1Char('|'));
}

QStringList Lines(const std::vector<QVariantMap>& rows) {
    QStringList lines;
    for (const QVariantMap& row : rows)
        lines << Line(row);
    return lines;
}

// The row with some columns given other values.
QVariantMap With(QVariantMap row, const QVariantMap& changes) {
    for (auto it = changes.begin(); it != changes.end(); ++it)
        row.insert(it.key(), it.value());
    return row;
}

}  // namespace

// Every column of every table holds a value of its own on the exporting side; the import
// brings the chosen dashboard's rows whole, with new keys and fresh times for the new source,
// and nothing of any other table (its scratch table included).
TEST_F(SharingTest, RoundTripCopiesWholeRowsOfTheChosenDashboardAndNothingElse) {
    using testsupport::InsertEveryColumn;
    const QString sourceFolder = InFolder("in/"), destFolder = InFolder("dest/");
    int seed = 1;
    for (const char* table : {"DsbpanelThresholds", "DsbSystem", "DsbDrillback", "DsbSourceDoc", "DsbAltPaths"})
        InsertEveryColumn(*gDB, table, {}, seed++);
    const auto dashboard = [&](const QString& name) {
        return InsertEveryColumn(*gDB, "DsbSavedWorkspace", {{"ID", 40 + seed}, {"Name", name}}, seed++);
    };
    const auto source = [&](const QString& mask) {
        return InsertEveryColumn(*gDB, "DsbPanelSource",
                                 {{"ID", 70 + seed}, {"FullPath", sourceFolder + mask}, {"Mask", mask},
                                  {"DestFolder", destFolder}, {"SourceFolder", sourceFolder},
                                  {"UpdateType", "folder"}},
                                 seed++);
    };
    const auto panel = [&](qint64 workspace, qint64 sourceID) {
        InsertEveryColumn(*gDB, "DsbSavedPanel",
                          {{"ID", 100 + seed}, {"WorkspaceID", workspace}, {"SourceID", sourceID}}, seed++);
    };
    dashboard("Filler");
    const qint64 sales = dashboard("Sales");
    const qint64 stock = dashboard("Stock");
    const qint64 s1 = source("s1*.xlsx");
    const qint64 s2 = source("s2*.xlsx");
    panel(sales, s1);
    panel(stock, s2);
    panel(sales, s1);
    const QString shared = InFolder("sales.pvds");
    ASSERT_TRUE(Export({"Sales"}, shared));
    const auto sharedFile = OpenShared(shared);
    const std::vector<QVariantMap> sharedWorkspaces = testsupport::WholeRows(*sharedFile, "DsbSavedWorkspace");
    const std::vector<QVariantMap> sharedPanels = testsupport::WholeRows(*sharedFile, "DsbSavedPanel");
    const std::vector<QVariantMap> sharedSources = testsupport::WholeRows(*sharedFile, "DsbPanelSource");
    ASSERT_EQ(sharedWorkspaces.size(), 1u);
    ASSERT_EQ(sharedPanels.size(), 2u);
    ASSERT_EQ(sharedSources.size(), 1u);

    SwitchToNewRepository();
    const QStringList tablesBefore = gDB->TableNames();
    const auto run = Import(shared, {"Sales"});
    EXPECT_EQ(run.offered, QStringList{"Sales"});
    EXPECT_TRUE(run.closed);
    EXPECT_EQ(run.messages, QStringList{kSuccess});
    EXPECT_TRUE(run.places.contains("    " + sourceFolder + "\r\n        workbooks are copied from it; workbooks in it are shown\r\n"))
        << run.places.toStdString();

    EXPECT_EQ(Lines(testsupport::WholeRows(*gDB, "DsbSavedWorkspace")),
              QStringList{Line(With(sharedWorkspaces[0], {{"ID", 1}}))});
    EXPECT_EQ(Lines(testsupport::WholeRows(*gDB, "DsbPanelSource")),
              QStringList{Line(With(sharedSources[0], {{"ID", 1},
                                                       {"NewestFile", ""},
                                                       {"LastUpdated", "1900-01-01 00:00:00"},
                                                       {"LastChecked", "1900-01-01 00:00:00"}}))});
    QStringList panels;
    for (size_t i = 0; i < sharedPanels.size(); ++i)
        panels << Line(With(sharedPanels[i], {{"ID", qint64(i + 1)}, {"WorkspaceID", 1}, {"SourceID", 1}}));
    EXPECT_EQ(Lines(testsupport::WholeRows(*gDB, "DsbSavedPanel")), panels);
    // Alternate paths and every other table are read, never imported; the scratch table is
    // gone with the import.
    for (const char* table : {"DsbpanelThresholds", "DsbSystem", "DsbDrillback", "DsbSourceDoc", "DsbAltPaths"})
        EXPECT_EQ(Scalar(*gDB, QStringLiteral("SELECT count(*) FROM %1").arg(table)), 0) << table;
    EXPECT_EQ(gDB->TableNames(), tablesBefore);

    // The same file again: the dashboard is in the repository now and no longer offered.
    const auto again = Import(shared, {"Sales"});
    EXPECT_TRUE(again.closed);
    EXPECT_EQ(again.messages, QStringList{"There are no dashboards to import from."});
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
    ASSERT_EQ(run.messages, QStringList{kSuccess});

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
    ASSERT_EQ(Import(shared, {"Paths"}).messages, QStringList{kSuccess});
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
    EXPECT_EQ(run.messages, QStringList{"Must select at least 1 panel to import."});
    EXPECT_TRUE(run.places.isEmpty());
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
    PromptScript::QueueMsgBox(vbYes);  // to the places the new source uses
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
    PromptScript::QueueMsgBox(vbYes);
    dialog.cmdOK_Click();
    ASSERT_EQ(PromptScript::Messages().size(), 2);
    EXPECT_TRUE(IsPlacesQuestion(PromptScript::Messages().first()));
    EXPECT_EQ(PromptScript::Messages().last(), kSuccess);
    // The scratch table an earlier version left went with the import.
    EXPECT_FALSE(gDB->HasTable("TempSources"));
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
        EXPECT_TRUE(run.messages.contains(
            "Error opening shared file.  Unable to continue importing dashboards."))
            << path.toStdString() << ": " << run.messages.join(" / ").toStdString();
        EXPECT_EQ(Dump(*gDB), before) << path.toStdString();
    }
    EXPECT_TRUE(LogText().contains("CellRange") || LogText().contains("PicRange"));

    PromptScript::Reset();
    const auto missing = Import(InFolder("nowhere.pvds"), {});
    EXPECT_TRUE(missing.closed);
    EXPECT_EQ(missing.messages,
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
    EXPECT_EQ(run.messages, QStringList{"There are no dashboards to import from."});
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
    EXPECT_EQ(named.messages, QStringList{"Selected dashboard(s) were imported successfully."});
    EXPECT_EQ(Scalar(*gDB, "SELECT COUNT(*) FROM DsbSavedWorkspace"), 1);
}
