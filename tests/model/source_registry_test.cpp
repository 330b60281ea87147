// Panel sources in the repository and the registry that holds them: matching a pasted
// workbook to its source, storing new ones, loading them all, and the record's own rules.

#include "ModelTestSupport.h"

#include "services/UserPrompts.h"

#include <QDir>

namespace {

// Inserts a source row directly, as an import or an older program version leaves it.
int32_t InsertSourceRow(const QString& fullPath, const QVariant& destFolder,
                        const QVariant& newestFile, const QVariant& sourceFolder = QVariant()) {
    gDB->Execute(
        QStringLiteral("INSERT INTO DsbPanelSource(FullPath, Mask, DestFolder, NewestFile, "
                       "LastUpdated, LastChecked, CheckEveryNMin, UpdateType, SourceFolder) "
                       "VALUES (?, 'Sales*.xlsx', ?, ?, '2020-02-03 04:05:06', "
                       "'2020-02-04 00:00:00', 60, 'folder', ?)"),
        {fullPath, destFolder, newestFile, sourceFolder});
    return static_cast<int32_t>(gDB->LastInsertId());
}

void InsertPanelRow(int32_t sourceID, const QString& isCustom) {
    gDB->Execute(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, IsCustom) "
                                "VALUES (1, ?, ?)"),
                 {sourceID, isCustom});
}

}  // namespace

TEST_F(ModelTest, AddSourceStoresANewWorkbookOnceAndMatchesItAgain) {
    const QString path = MakeWorkbookFile(QStringLiteral("Sales.xlsx"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 750)),
                                  QFileDevice::FileModificationTime));
    }
    // Whole seconds, as a source row keeps them.
    const QDateTime fileTime(QDate(2024, 5, 6), QTime(7, 8, 9));
    const int32_t id = gSources->AddSource(path);
    ASSERT_GT(id, 0);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbPanelSource")), 1);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT ID FROM DsbPanelSource WHERE FullPath = ?"), {path}),
              id);

    clsPanelSource* s = gSources->Source(id);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->FullPath, path);
    EXPECT_EQ(s->DestFolder, Folder() + QLatin1Char('/'));
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales.xlsx"));
    EXPECT_EQ(s->Mask, QStringLiteral("Sales.xlsx"));
    EXPECT_EQ(s->UpdateType, QStringLiteral("default"));
    EXPECT_EQ(s->CheckEvery, 1000);
    EXPECT_EQ(s->LastUpdated, fileTime);
    EXPECT_LE(qAbs(s->LastChecked.secsTo(QDateTime::currentDateTime())), 5);
    EXPECT_EQ(gSources->Count(), 1);
    EXPECT_EQ(gSources->SourceByIndex(1), s);
    EXPECT_EQ(gSources->SourceByIndex(2), nullptr);

    // The same workbook again, also in other letter case, is the same source.
    EXPECT_EQ(gSources->AddSource(path), id);
    EXPECT_EQ(gSources->AddSource(path.toUpper()), id);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbPanelSource")), 1);

    // The working copy of a source finds it, even when its path names another file.
    const QString copy = MakeWorkbookFile(QStringLiteral("Sales_copy.xlsx"));
    s->FullPath = QStringLiteral("/elsewhere/Original.xlsx");
    s->NewestFile = QStringLiteral("Sales_copy.xlsx");
    EXPECT_EQ(gSources->AddSource(copy), id);
    EXPECT_EQ(gSources->Count(), 1);

    // Another workbook is another source.
    const QString other = MakeWorkbookFile(QStringLiteral("Costs.xlsx"));
    const int32_t otherID = gSources->AddSource(other);
    EXPECT_GT(otherID, id);
    EXPECT_EQ(gSources->Count(), 2);
    EXPECT_EQ(gSources->SourceByIndex(2)->ID, otherID);
    EXPECT_EQ(gSources->Source(otherID + 100), nullptr);
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(ModelTest, AddSourceRegistersNothingItCouldNotStore) {
    EXPECT_EQ(gSources->AddSource(InFolder(QStringLiteral("missing.xlsx"))), 0);
    EXPECT_EQ(gSources->Count(), 0);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbPanelSource")), 0);
    EXPECT_TRUE(LogText().contains(QStringLiteral("missing.xlsx")));

    Exec(
        QStringLiteral("CREATE TRIGGER refuse_source BEFORE INSERT ON DsbPanelSource "
                       "BEGIN SELECT RAISE(ABORT, 'no sources today'); END"));
    const QString a = MakeWorkbookFile(QStringLiteral("A.xlsx"));
    const QString b = MakeWorkbookFile(QStringLiteral("B.xlsx"));
    // Two unstored sources in a row: neither is registered, neither collides.
    EXPECT_EQ(gSources->AddSource(a), 0);
    EXPECT_EQ(gSources->AddSource(b), 0);
    EXPECT_EQ(gSources->Count(), 0);
    EXPECT_EQ(gSources->Source(0), nullptr);
    EXPECT_EQ(PromptScript::Messages().size(), 2);

    Exec(QStringLiteral("DROP TRIGGER refuse_source"));
    const int32_t id = gSources->AddSource(a);
    EXPECT_GT(id, 0);
    EXPECT_EQ(gSources->Count(), 1);
}

TEST_F(ModelTest, LoadAllRegistersEveryRowWithItsCustomFlag) {
    const int32_t plain =
        InsertSourceRow(QStringLiteral("/data/Plain.xlsx"), QStringLiteral("/data/in"),
                        QStringLiteral("Plain.xlsx"), QStringLiteral("/data/src/"));
    const int32_t custom =
        InsertSourceRow(QStringLiteral("/data/Custom.xlsx"), QStringLiteral("/data/in/"),
                        QStringLiteral("Custom.xlsx"));
    const int32_t bare = InsertSourceRow(QStringLiteral("/data/Bare.xlsx"), QString(), QVariant());
    Exec(QStringLiteral("UPDATE DsbPanelSource SET Mask = NULL, LastUpdated = NULL, "
                        "CheckEveryNMin = NULL, UpdateType = NULL WHERE ID = ?"),
         {bare});
    InsertPanelRow(plain, QStringLiteral("N"));
    InsertPanelRow(custom, QStringLiteral("N"));
    InsertPanelRow(custom, QStringLiteral("Y"));

    ASSERT_TRUE(gSources->LoadAll(gDB.get()));
    ASSERT_EQ(gSources->Count(), 3);
    EXPECT_EQ(gSources->SourceByIndex(1)->ID, plain);
    EXPECT_EQ(gSources->SourceByIndex(3)->ID, bare);

    const clsPanelSource* p = gSources->Source(plain);
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(p->HasCustom);
    EXPECT_EQ(p->DestFolder, QStringLiteral("/data/in/"));
    EXPECT_EQ(p->SourceFolder, QStringLiteral("/data/src/"));
    EXPECT_EQ(p->Mask, QStringLiteral("Sales*.xlsx"));
    EXPECT_EQ(p->CheckEvery, 60);
    EXPECT_EQ(p->UpdateType, QStringLiteral("folder"));
    EXPECT_EQ(p->LastUpdated, QDateTime(QDate(2020, 2, 3), QTime(4, 5, 6)));
    EXPECT_EQ(p->CustomDate, p->LastUpdated);
    EXPECT_EQ(p->LastChecked, QDateTime(QDate(2020, 2, 4), QTime(0, 0)));

    EXPECT_TRUE(gSources->Source(custom)->HasCustom);
    EXPECT_EQ(gSources->Source(custom)->DestFolder, QStringLiteral("/data/in/"));

    // Null columns leave the new record's empty values; an empty folder gets its separator.
    const clsPanelSource* b = gSources->Source(bare);
    EXPECT_EQ(b->Mask, QString());
    EXPECT_EQ(b->NewestFile, QString());
    EXPECT_EQ(b->CheckEvery, 0);
    EXPECT_EQ(b->UpdateType, QString());
    EXPECT_EQ(b->LastUpdated, NoDate());
    EXPECT_EQ(b->DestFolder, QStringLiteral("\\"));
    EXPECT_EQ(b->SourceFolder, QString());
    EXPECT_EQ(b->NewestFileTime(), NoDate());

    // A panel of a source the repository does not hold has no source.
    clsWorkspacePanel panel;
    panel.SourceID = custom;
    EXPECT_EQ(panel.Source(), gSources->Source(custom));
    panel.SourceID = 999;
    EXPECT_EQ(panel.Source(), nullptr);

    // The custom flag follows the stored panels when asked again.
    clsPanelSource* again = gSources->Source(plain);
    InsertPanelRow(plain, QStringLiteral("Y"));
    EXPECT_TRUE(again->chkHasCustom(plain, gDB.get()));
    EXPECT_TRUE(again->HasCustom);
}

TEST_F(ModelTest, SourceKeysBeyondSixteenBits) {
    Exec(QStringLiteral("INSERT INTO sqlite_sequence(name, seq) VALUES ('DsbPanelSource', 40000)"));
    const QString path = MakeWorkbookFile(QStringLiteral("Big.xlsx"));
    const int32_t id = gSources->AddSource(path);
    EXPECT_EQ(id, 40001);

    clsSources fresh;
    ASSERT_TRUE(fresh.LoadAll(gDB.get()));
    ASSERT_NE(fresh.Source(40001), nullptr);
    EXPECT_EQ(fresh.Source(40001)->FullPath, path);
    EXPECT_EQ(fresh.AddSource(path), 40001);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbPanelSource")), 1);

    clsPanelSource single;
    ASSERT_TRUE(single.LoadFromDB(40001, gDB.get()));
    EXPECT_EQ(single.ID, 40001);
    EXPECT_FALSE(single.LoadFromDB(1, gDB.get()));
}

TEST_F(ModelTest, SourceStorageKeepsTheUpdatePassColumns) {
    const QString path = MakeWorkbookFile(QStringLiteral("Kept.xlsx"));
    clsPanelSource s;
    s.FullPath = path;
    s.Mask = QStringLiteral("Kept*.xlsx");
    s.DestFolder = Folder() + QLatin1Char('/');
    s.NewestFile = QStringLiteral("Kept.xlsx");
    s.UpdateType = QStringLiteral("inbox");
    s.CheckEvery = 15;
    s.LastUpdated = QDateTime(QDate(2010, 1, 1), QTime(0, 0));
    s.LastChecked = s.LastUpdated;
    ASSERT_TRUE(s.SaveToDB(gDB.get()));
    ASSERT_GT(s.ID, 0);
    // Both times of the row start at the moment of storing; the record keeps its own.
    const QString stored =
        TextOf(QStringLiteral("SELECT LastUpdated FROM DsbPanelSource WHERE ID = ?"), {s.ID});
    EXPECT_TRUE(stored.startsWith(QString::number(QDate::currentDate().year())));
    EXPECT_EQ(TextOf(QStringLiteral("SELECT LastChecked FROM DsbPanelSource WHERE ID = ?"), {s.ID}),
              stored);
    EXPECT_EQ(s.LastUpdated, QDateTime(QDate(2010, 1, 1), QTime(0, 0)));

    Exec(QStringLiteral("UPDATE DsbPanelSource SET NewestFile = 'pass.xlsx', "
                        "LastUpdated = '2030-01-01 00:00:00', LastChecked = '2030-01-02 00:00:00' "
                        "WHERE ID = ?"),
         {s.ID});
    s.Mask = QStringLiteral("Other*.xlsx");
    s.CheckEvery = 30;
    s.NewestFile = QStringLiteral("ignored.xlsx");
    const int32_t id = s.ID;
    ASSERT_TRUE(s.SaveToDB(gDB.get()));
    EXPECT_EQ(s.ID, id);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbPanelSource")), 1);
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Mask FROM DsbPanelSource WHERE ID = ?"), {id}),
              QStringLiteral("Other*.xlsx"));
    EXPECT_EQ(
        Scalar(QStringLiteral("SELECT CheckEveryNMin FROM DsbPanelSource WHERE ID = ?"), {id}), 30);
    EXPECT_EQ(TextOf(QStringLiteral("SELECT NewestFile FROM DsbPanelSource WHERE ID = ?"), {id}),
              QStringLiteral("pass.xlsx"));
    EXPECT_EQ(TextOf(QStringLiteral("SELECT LastUpdated FROM DsbPanelSource WHERE ID = ?"), {id}),
              QStringLiteral("2030-01-01 00:00:00"));
    EXPECT_EQ(TextOf(QStringLiteral("SELECT LastChecked FROM DsbPanelSource WHERE ID = ?"), {id}),
              QStringLiteral("2030-01-02 00:00:00"));

    EXPECT_TRUE(s.DelFromDB(gDB.get(), id));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbPanelSource")), 0);
}

TEST_F(ModelTest, SourceRecordOwnRules) {
    clsPanelSource s;
    s.ID = 12;
    EXPECT_EQ(s.Prepped(), GetTemplatesFolder() + QStringLiteral("PVCopy12.xlsx"));
    EXPECT_TRUE(s.Prepped().startsWith(Folder() + QStringLiteral("/Templates/")));
    // The custom files keep the source workbook's own extension.
    s.FullPath = QStringLiteral("/data/Q1.report.xlsm");
    EXPECT_EQ(s.Prepped(), GetTemplatesFolder() + QStringLiteral("PVCopy12.xlsm"));
    EXPECT_EQ(s.CustomTemplate(), GetTemplatesFolder() + QStringLiteral("PVTmpl12.xlsm"));
    s.FullPath.clear();

    // The time of the file in use: none, gone, or the file's own.
    EXPECT_EQ(s.NewestFileTime(), NoDate());
    s.DestFolder = Folder() + QLatin1Char('/');
    s.NewestFile = QStringLiteral("gone.xlsx");
    EXPECT_LE(qAbs(s.NewestFileTime().secsTo(QDateTime::currentDateTime())), 5);
    const QString path = MakeWorkbookFile(QStringLiteral("here.xlsx"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2015, 6, 7), QTime(8, 9, 10, 600)),
                                  QFileDevice::FileModificationTime));
    }
    const QDateTime old(QDate(2015, 6, 7), QTime(8, 9, 10));
    s.NewestFile = QStringLiteral("here.xlsx");
    EXPECT_EQ(s.NewestFileTime(), old);
    // The file in use is found whatever the letter case of its name.
    s.NewestFile = QStringLiteral("HERE.XLSX");
    EXPECT_EQ(s.NewestFileTime(), old);
    // A name that is a mask only names itself.
    s.NewestFile = QStringLiteral("h*.xlsx");
    EXPECT_LE(qAbs(s.NewestFileTime().secsTo(QDateTime::currentDateTime())), 5);
    s.DestFolder = Folder() + QStringLiteral("/no such folder/");
    s.NewestFile = QStringLiteral("here.xlsx");
    EXPECT_LE(qAbs(s.NewestFileTime().secsTo(QDateTime::currentDateTime())), 5);

    s.IsUpdated = s.IsChecked = true;
    s.HasCustom = true;
    s.FullPath = QStringLiteral("x");
    s.OLSubject = QStringLiteral("y");
    s.CheckEvery = 5;
    s.ClearSource();
    EXPECT_EQ(s.FullPath, QString());
    EXPECT_EQ(s.OLSubject, QString());
    EXPECT_EQ(s.NewestFile, QString());
    EXPECT_EQ(s.CheckEvery, 0);
    EXPECT_EQ(s.UpdateType, QStringLiteral("NA"));
    EXPECT_EQ(s.LastUpdated, QDateTime(QDate(2008, 1, 1), QTime(0, 0)));
    EXPECT_EQ(s.ID, 12);
    EXPECT_TRUE(s.HasCustom);
    EXPECT_TRUE(s.IsUpdated);
    gSources->ClearFlags();  // an empty registry has nothing to clear
    s.ClearFlags();
    EXPECT_FALSE(s.IsUpdated);
    EXPECT_FALSE(s.IsChecked);
    EXPECT_FALSE(s.GetLatest(gDB.get(), false));
}

TEST_F(ModelTest, RegistryClearFlagsStartsAPassForEverySource) {
    MakeWorkbookFile(QStringLiteral("One.xlsx"));
    MakeWorkbookFile(QStringLiteral("Two.xlsx"));
    const int32_t one = gSources->AddSource(InFolder(QStringLiteral("One.xlsx")));
    const int32_t two = gSources->AddSource(InFolder(QStringLiteral("Two.xlsx")));
    gSources->Source(one)->IsUpdated = true;
    gSources->Source(two)->IsChecked = true;
    gSources->ClearFlags();
    EXPECT_FALSE(gSources->Source(one)->IsUpdated);
    EXPECT_FALSE(gSources->Source(two)->IsChecked);
}

TEST_F(ModelTest, AwkwardSourcePathsAreStoredAndMatchedAgain) {
    const QString sub = InFolder(QStringLiteral("O'Neil \"100%\" Ünïcode"));
    ASSERT_TRUE(QDir().mkpath(sub));
    const QString path = sub + QStringLiteral("/Q3 it's 50% \\ 日本.xlsx");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const int32_t id = gSources->AddSource(path);
    ASSERT_GT(id, 0);
    clsPanelSource* s = gSources->Source(id);
    s->OLSubject = QStringLiteral("Bob's \"weekly\" 100% ✓");
    ASSERT_TRUE(s->SaveToDB(gDB.get()));

    clsSources fresh;
    ASSERT_TRUE(fresh.LoadAll(gDB.get()));
    const clsPanelSource* back = fresh.Source(id);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->FullPath, path);
    EXPECT_EQ(back->NewestFile, QStringLiteral("Q3 it's 50% \\ 日本.xlsx"));
    EXPECT_EQ(back->DestFolder, sub + QLatin1Char('/'));
    EXPECT_EQ(back->OLSubject, QStringLiteral("Bob's \"weekly\" 100% ✓"));
    EXPECT_EQ(fresh.AddSource(path), id);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbPanelSource")), 1);
}
