// The dashboard with its panels in the repository: insert, read back, update, orphan rows,
// deletion and the cached pictures that go with the rows.

#include "ModelTestSupport.h"

#include "services/UserPrompts.h"

namespace {

void FillPanel(clsWorkspacePanel* p, int32_t sourceID, const QString& caption) {
    p->SourceID = sourceID;
    p->Caption = caption;
    p->Comments = caption + QStringLiteral(" notes");
    p->ContentType = PanelContent::Range;
    p->IsCustom = PanelPaste::Plain;
    p->SheetName = QStringLiteral("Data");
    p->PicRange = QStringLiteral("$B$3:$F$20``");
    p->RowHeights = QStringLiteral("3:20=15");
    p->ColWidths = QStringLiteral("B:F=8.43");
    p->RelativeTo = QStringLiteral("bottom");
    p->ContentMatch = QStringLiteral("bottom=$H$40");
    p->ViewType = PanelView::AutoSize;
    p->pLeft = 120;
    p->pTop = 240;
    p->pWidth = 3000;
    p->pHeight = 2000;
    p->LastViewed = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7));
}

// A stored dashboard with panels of sources 30, 10 and 20, pasted in that order.
int32_t StoreThreePanels(const QString& name = QStringLiteral("Sales")) {
    clsWorkspace w;
    w.Name = name;
    w.Description = QStringLiteral("Monthly");
    FillPanel(w.Panels(w.AddPanel()), 30, QStringLiteral("third"));
    FillPanel(w.Panels(w.AddPanel()), 10, QStringLiteral("first"));
    FillPanel(w.Panels(w.AddPanel()), 20, QStringLiteral("second"));
    EXPECT_TRUE(w.SaveToDB(gDB.get()));
    return w.ID;
}

// Makes the repository refuse to store any panel captioned "boom".
void RefuseBoomPanels() {
    gDB->Execute(
        QStringLiteral("CREATE TRIGGER refuse_boom BEFORE INSERT ON DsbSavedPanel "
                       "WHEN NEW.Caption = 'boom' BEGIN SELECT RAISE(ABORT, 'refused'); END"));
}

}  // namespace

TEST_F(ModelTest, NewDashboardIsInsertedAndReadBackInSourceOrder) {
    const int32_t id = StoreThreePanels();
    ASSERT_GT(id, 0);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace")), 1);
    EXPECT_EQ(
        Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE WorkspaceID = ?"), {id}),
        3);
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Name FROM DsbSavedWorkspace WHERE ID = ?"), {id}),
              QStringLiteral("Sales"));

    Exec(QStringLiteral("UPDATE DsbSavedWorkspace SET LastUpdated = '2001-01-01 00:00:00'"));
    clsWorkspace w;
    EXPECT_TRUE(w.LoadFromDB(id, gDB.get()));
    EXPECT_EQ(w.ID, id);
    EXPECT_EQ(w.Name, QStringLiteral("Sales"));
    EXPECT_EQ(w.Description, QStringLiteral("Monthly"));
    EXPECT_FALSE(w.PartlyLoaded());
    // Opening stamps the row, so the dashboard lists put it first.
    EXPECT_GT(TextOf(QStringLiteral("SELECT LastUpdated FROM DsbSavedWorkspace")),
              QStringLiteral("2026-"));
    ASSERT_EQ(w.NumPanels(), 3);
    EXPECT_EQ(w.Panels(1)->Caption, QStringLiteral("first"));
    EXPECT_EQ(w.Panels(2)->Caption, QStringLiteral("second"));
    EXPECT_EQ(w.Panels(3)->Caption, QStringLiteral("third"));
    const clsWorkspacePanel* p = w.Panels(1);
    EXPECT_EQ(p->SourceID, 10);
    EXPECT_EQ(p->Comments, QStringLiteral("first notes"));
    EXPECT_EQ(p->PicRange, QStringLiteral("$B$3:$F$20``"));
    EXPECT_EQ(p->RowHeights, QStringLiteral("3:20=15"));
    EXPECT_EQ(p->ColWidths, QStringLiteral("B:F=8.43"));
    EXPECT_EQ(p->RelativeTo, QStringLiteral("bottom"));
    EXPECT_EQ(p->ContentMatch, QStringLiteral("bottom=$H$40"));
    EXPECT_EQ(p->IsCustom, PanelPaste::Plain);
    EXPECT_EQ(p->ViewType, PanelView::AutoSize);
    EXPECT_EQ(p->pLeft, 120);
    EXPECT_EQ(p->pTop, 240);
    EXPECT_EQ(p->pWidth, 3000);
    EXPECT_EQ(p->pHeight, 2000);
    EXPECT_EQ(p->LastViewed, QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)));
    EXPECT_EQ(w.Panels(0), nullptr);
    EXPECT_EQ(w.Panels(4), nullptr);
    EXPECT_EQ(w.PanelsByID(w.Panels(2)->ID), w.Panels(2));
    EXPECT_EQ(w.PanelsByID(99999), nullptr);
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(ModelTest, LoadingAMissingOrEmptyDashboard) {
    clsWorkspace w;
    w.Name = QStringLiteral("kept");
    EXPECT_FALSE(w.LoadFromDB(42, gDB.get()));
    EXPECT_EQ(w.ID, 0);
    EXPECT_EQ(w.Name, QStringLiteral("kept"));

    Exec(
        QStringLiteral("INSERT INTO DsbSavedWorkspace(ID, Name, Description, LastUpdated) "
                       "VALUES (7, 'Bare', NULL, '2001-01-01 00:00:00')"));
    // A stored dashboard without panels loads its row and is stamped, but reports False.
    // The record is reused, as the open dashboard is: a Null column leaves nothing of before.
    clsWorkspace bare;
    bare.AddPanel();
    bare.Description = QStringLiteral("left from before");
    EXPECT_FALSE(bare.LoadFromDB(7, gDB.get()));
    EXPECT_EQ(bare.ID, 7);
    EXPECT_EQ(bare.Name, QStringLiteral("Bare"));
    EXPECT_EQ(bare.Description, QString());
    EXPECT_EQ(bare.NumPanels(), 0);
    EXPECT_FALSE(bare.PartlyLoaded());
    EXPECT_NE(TextOf(QStringLiteral("SELECT LastUpdated FROM DsbSavedWorkspace WHERE ID = 7")),
              QStringLiteral("2001-01-01 00:00:00"));
    // Saving it again with its empty list deletes nothing and keeps it stored.
    bare.Description = QStringLiteral("still bare");
    EXPECT_TRUE(bare.SaveToDB(gDB.get()));
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Description FROM DsbSavedWorkspace WHERE ID = 7")),
              QStringLiteral("still bare"));
}

TEST_F(ModelTest, StoredDashboardIsUpdatedByIDAndLosesOnlyDroppedPanels) {
    const int32_t id = StoreThreePanels();
    clsWorkspace w;
    ASSERT_TRUE(w.LoadFromDB(id, gDB.get()));
    const int32_t dropped = w.Panels(2)->ID;
    const int32_t kept1 = w.Panels(1)->ID;
    const int32_t kept3 = w.Panels(3)->ID;
    const QString droppedPicture = MakePicture(dropped);
    const QString keptPicture = MakePicture(kept1);

    w.DelPanel(2, false);  // off the dashboard, row still stored until the save
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE ID = ?"), {dropped}),
              1);
    w.Name = QStringLiteral("Sales 2");
    w.Panels(1)->Caption = QStringLiteral("renamed");
    w.Panels(2)->pLeft = 50000;  // beyond 16-bit twips
    const int16_t added = w.AddPanel();
    FillPanel(w.Panels(added), 40, QStringLiteral("fourth"));
    ASSERT_TRUE(w.SaveToDB(gDB.get()));

    EXPECT_EQ(w.ID, id);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace")), 1);
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Name FROM DsbSavedWorkspace WHERE ID = ?"), {id}),
              QStringLiteral("Sales 2"));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE ID = ?"), {dropped}),
              0);
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Caption FROM DsbSavedPanel WHERE ID = ?"), {kept1}),
              QStringLiteral("renamed"));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT [Left] FROM DsbSavedPanel WHERE ID = ?"), {kept3}),
              50000);
    EXPECT_GT(w.Panels(added)->ID, kept3);
    EXPECT_EQ(
        Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE WorkspaceID = ?"), {id}),
        3);
    EXPECT_FALSE(QFile::exists(droppedPicture));
    EXPECT_TRUE(QFile::exists(keptPicture));

    // A panel saved under another dashboard moves its row there.
    clsWorkspacePanel* moved = w.Panels(1);
    ASSERT_TRUE(moved->SaveToDB(gDB.get(), 77));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT WorkspaceID FROM DsbSavedPanel WHERE ID = ?"), {kept1}),
              77);
}

TEST_F(ModelTest, EmptyListDeletesNoStoredPanel) {
    const int32_t id = StoreThreePanels();
    clsWorkspace w;
    w.ID = id;
    w.Name = QStringLiteral("Sales");
    EXPECT_TRUE(w.SaveToDB(gDB.get()));
    EXPECT_EQ(
        Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE WorkspaceID = ?"), {id}),
        3);
}

TEST_F(ModelTest, DelPanelRenumbersAndDeletesRowAndPictureOnRequest) {
    clsWorkspace w;
    w.Name = QStringLiteral("Four");
    for (int i = 1; i <= 4; ++i)
        FillPanel(w.Panels(w.AddPanel()), i, QStringLiteral("p%1").arg(i));
    ASSERT_TRUE(w.SaveToDB(gDB.get()));
    const int32_t id2 = w.Panels(2)->ID;
    const int32_t id3 = w.Panels(3)->ID;
    const QString picture2 = MakePicture(id2);

    w.DelPanel(2, true);
    ASSERT_EQ(w.NumPanels(), 3);
    EXPECT_EQ(w.Panels(1)->Caption, QStringLiteral("p1"));
    EXPECT_EQ(w.Panels(2)->Caption, QStringLiteral("p3"));
    EXPECT_EQ(w.Panels(3)->Caption, QStringLiteral("p4"));
    EXPECT_EQ(w.Panels(2)->ID, id3);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE ID = ?"), {id2}), 0);
    EXPECT_FALSE(QFile::exists(picture2));

    // Out-of-range indexes remove nothing.
    w.DelPanel(0, true);
    w.DelPanel(4, true);
    EXPECT_EQ(w.NumPanels(), 3);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel")), 3);
}

TEST_F(ModelTest, DeletingADashboardRemovesItsRowsAndPicturesOnly) {
    const int32_t keep = StoreThreePanels(QStringLiteral("Keep"));
    clsWorkspace gone;
    gone.Name = QStringLiteral("Gone");
    FillPanel(gone.Panels(gone.AddPanel()), 1, QStringLiteral("a"));
    FillPanel(gone.Panels(gone.AddPanel()), 2, QStringLiteral("b"));
    ASSERT_TRUE(gone.SaveToDB(gDB.get()));
    const QString goneA = MakePicture(gone.Panels(1)->ID);
    const QString goneB = MakePicture(gone.Panels(2)->ID);
    const QString kept = MakePicture(static_cast<int32_t>(
        Scalar(QStringLiteral("SELECT MIN(ID) FROM DsbSavedPanel WHERE WorkspaceID = ?"), {keep})));
    // A row stored for the dashboard but not in its list goes too.
    Exec(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID) VALUES (?, 5)"),
         {gone.ID});
    const QString goneC = MakePicture(static_cast<int32_t>(gDB->LastInsertId()));

    const int32_t goneID = gone.ID;
    EXPECT_TRUE(gone.Delete(gDB.get()));
    EXPECT_EQ(gone.ID, goneID);
    EXPECT_EQ(gone.Name, QStringLiteral("Gone"));
    EXPECT_EQ(gone.NumPanels(), 0);
    EXPECT_EQ(
        Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace WHERE ID = ?"), {goneID}), 0);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE WorkspaceID = ?"),
                     {goneID}),
              0);
    EXPECT_EQ(
        Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE WorkspaceID = ?"), {keep}),
        3);
    EXPECT_FALSE(QFile::exists(goneA));
    EXPECT_FALSE(QFile::exists(goneB));
    EXPECT_FALSE(QFile::exists(goneC));
    EXPECT_TRUE(QFile::exists(kept));

    // A dashboard never stored runs no statement.
    const QStringList before = Dump();
    clsWorkspace fresh;
    FillPanel(fresh.Panels(fresh.AddPanel()), 1, QStringLiteral("x"));
    EXPECT_TRUE(fresh.Delete(gDB.get()));
    EXPECT_EQ(Dump(), before);
    EXPECT_EQ(fresh.NumPanels(), 1);
}

TEST_F(ModelTest, ADeleteTheRepositoryRefusesDeletesNothingAndSaysSo) {
    const int32_t id = StoreThreePanels(QStringLiteral("Kept"));
    clsWorkspace w;
    ASSERT_TRUE(w.LoadFromDB(id, gDB.get()));
    const QString picture = MakePicture(w.Panels(1)->ID);
    // The panel rows go first; the dashboard row is refused, so the whole delete is undone.
    Exec(QStringLiteral("CREATE TRIGGER keep_dashboards BEFORE DELETE ON DsbSavedWorkspace "
                        "BEGIN SELECT RAISE(ABORT, 'kept'); END"));
    const QStringList before = Dump();

    EXPECT_FALSE(w.Delete(gDB.get()));
    EXPECT_EQ(Dump(), before);
    EXPECT_EQ(w.ID, id);
    EXPECT_EQ(w.NumPanels(), 3);
    EXPECT_TRUE(QFile::exists(picture));
    ASSERT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(PromptScript::Messages()[0].contains(QStringLiteral("kept")));

    // With the refusal gone the same record deletes everything.
    Exec(QStringLiteral("DROP TRIGGER keep_dashboards"));
    EXPECT_TRUE(w.Delete(gDB.get()));
    EXPECT_EQ(w.NumPanels(), 0);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel")), 0);
    EXPECT_FALSE(QFile::exists(picture));
}

TEST_F(ModelTest, KeysAndPlacementBeyondSixteenBits) {
    Exec(
        QStringLiteral("INSERT INTO sqlite_sequence(name, seq) VALUES ('DsbSavedPanel', 40000), "
                       "('DsbSavedWorkspace', 70000)"));
    clsWorkspace w;
    w.Name = QStringLiteral("Big");
    FillPanel(w.Panels(w.AddPanel()), 100000, QStringLiteral("one"));
    FillPanel(w.Panels(w.AddPanel()), 100001, QStringLiteral("two"));
    w.Panels(1)->pLeft = 40000;
    w.Panels(1)->pTop = 36000;
    w.Panels(1)->pWidth = 65000;
    w.Panels(1)->pHeight = 33000;
    ASSERT_TRUE(w.SaveToDB(gDB.get()));
    EXPECT_EQ(w.ID, 70001);
    EXPECT_EQ(w.Panels(1)->ID, 40001);
    EXPECT_EQ(w.Panels(2)->ID, 40002);

    clsWorkspace loaded;
    ASSERT_TRUE(loaded.LoadFromDB(70001, gDB.get()));
    ASSERT_EQ(loaded.NumPanels(), 2);
    clsWorkspacePanel* p = loaded.PanelsByID(40001);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->SourceID, 100000);
    EXPECT_EQ(p->pLeft, 40000);
    EXPECT_EQ(p->pTop, 36000);
    EXPECT_EQ(p->pWidth, 65000);
    EXPECT_EQ(p->pHeight, 33000);
    // Saving again keeps both rows: nothing was lost in a conversion.
    loaded.Panels(2)->Caption = QStringLiteral("two again");
    ASSERT_TRUE(loaded.SaveToDB(gDB.get()));
    EXPECT_EQ(
        Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE WorkspaceID = 70001")), 2);
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Caption FROM DsbSavedPanel WHERE ID = 40002")),
              QStringLiteral("two again"));
}

TEST_F(ModelTest, PartlyLoadedDashboardSavesWithoutLosingRows) {
    const int32_t id = StoreThreePanels();
    // A row whose source key no 32-bit field can hold does not load.
    Exec(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, Caption, [Left]) "
                        "VALUES (?, 5000000000, 'unloadable', 10)"),
         {id});
    const int32_t badID = static_cast<int32_t>(gDB->LastInsertId());
    const QString badPicture = MakePicture(badID);

    clsWorkspace w;
    EXPECT_FALSE(w.LoadFromDB(id, gDB.get()));
    EXPECT_TRUE(w.PartlyLoaded());
    ASSERT_EQ(w.NumPanels(), 3);
    for (int i = 1; i <= 3; ++i)
        EXPECT_NE(w.Panels(i)->ID, badID);
    EXPECT_TRUE(LogText().contains(QStringLiteral("Overflow")));
    EXPECT_EQ(PromptScript::Messages().size(), 1);

    // Even a panel the user dropped without deleting stays stored: it can't be told from one
    // that did not load.
    const int32_t dropped = w.Panels(1)->ID;
    w.DelPanel(1, false);
    w.Panels(1)->Caption = QStringLiteral("edited");
    ASSERT_TRUE(w.SaveToDB(gDB.get()));
    EXPECT_EQ(
        Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE WorkspaceID = ?"), {id}),
        4);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT SourceID FROM DsbSavedPanel WHERE ID = ?"), {badID}),
              5000000000LL);
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Caption FROM DsbSavedPanel WHERE ID = ?"), {badID}),
              QStringLiteral("unloadable"));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE ID = ?"), {dropped}),
              1);
    EXPECT_EQ(
        TextOf(QStringLiteral("SELECT Caption FROM DsbSavedPanel WHERE ID = ?"), {w.Panels(1)->ID}),
        QStringLiteral("edited"));
    EXPECT_TRUE(QFile::exists(badPicture));

    // What the user deletes on purpose still goes.
    const int32_t deleted = w.Panels(1)->ID;
    w.DelPanel(1, true);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE ID = ?"), {deleted}),
              0);
}

TEST_F(ModelTest, FailedPanelSaveLeavesTheRepositoryAsItWas) {
    const int32_t id = StoreThreePanels();
    RefuseBoomPanels();
    clsWorkspace w;
    ASSERT_TRUE(w.LoadFromDB(id, gDB.get()));
    const int32_t orphan = w.Panels(3)->ID;
    const QString orphanPicture = MakePicture(orphan);
    w.DelPanel(3, false);
    w.Name = QStringLiteral("Renamed");
    w.Panels(1)->Caption = QStringLiteral("changed");
    FillPanel(w.Panels(w.AddPanel()), 50, QStringLiteral("fine"));
    FillPanel(w.Panels(w.AddPanel()), 60, QStringLiteral("boom"));
    const QStringList before = Dump();

    EXPECT_FALSE(w.SaveToDB(gDB.get()));
    EXPECT_EQ(Dump(), before);
    EXPECT_EQ(gDB->TransactionDepth(), 0);
    EXPECT_TRUE(QFile::exists(orphanPicture));
    // The keys handed out inside the rolled-back save are not kept.
    EXPECT_EQ(w.ID, id);
    EXPECT_EQ(w.Panels(3)->ID, 0);
    EXPECT_EQ(w.Panels(4)->ID, 0);
    ASSERT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(PromptScript::Messages().first().contains(QStringLiteral("refused")))
        << PromptScript::Messages().first().toStdString();

    // Once the panel can be stored, the same save goes through whole.
    Exec(QStringLiteral("DROP TRIGGER refuse_boom"));
    ASSERT_TRUE(w.SaveToDB(gDB.get()));
    EXPECT_EQ(
        Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE WorkspaceID = ?"), {id}),
        4);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel")), 4);
    EXPECT_FALSE(QFile::exists(orphanPicture));
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Name FROM DsbSavedWorkspace WHERE ID = ?"), {id}),
              QStringLiteral("Renamed"));
}

TEST_F(ModelTest, FailedInsertOfANewDashboardLeavesNoRow) {
    RefuseBoomPanels();
    const QStringList empty = Dump();
    clsWorkspace w;
    w.Name = QStringLiteral("New");
    FillPanel(w.Panels(w.AddPanel()), 1, QStringLiteral("fine"));
    FillPanel(w.Panels(w.AddPanel()), 2, QStringLiteral("boom"));
    EXPECT_FALSE(w.SaveToDB(gDB.get()));
    EXPECT_EQ(Dump(), empty);
    EXPECT_EQ(w.ID, 0);
    EXPECT_EQ(w.Panels(1)->ID, 0);

    w.Panels(2)->Caption = QStringLiteral("fine too");
    ASSERT_TRUE(w.SaveToDB(gDB.get()));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace")), 1);
    EXPECT_EQ(
        Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE WorkspaceID = ?"), {w.ID}),
        2);
}

TEST_F(ModelTest, AwkwardTextIsStoredAndFoundAgain) {
    const QString name = QStringLiteral("Bob's \"Q3\" C:\\figures 100% — Ärger ✓");
    const QString awkward = QStringLiteral("it's \"x\" \\y\\ 50% ünïcödé 日本");
    clsWorkspace w;
    w.Name = name;
    w.Description = awkward;
    clsWorkspacePanel* p = w.Panels(w.AddPanel());
    FillPanel(p, 1, awkward);
    p->Comments = awkward;
    p->SheetName = QStringLiteral("O'Brien's \"sheet\" %");
    p->ContentMatch = QStringLiteral("bottom=$H$4`anchor=$C5`content=it's `100%` \\ ü");
    ASSERT_TRUE(w.SaveToDB(gDB.get()));

    // Another dashboard whose name differs only in letter case doesn't confuse the new key.
    clsWorkspace twin;
    twin.Name = name.toUpper();
    ASSERT_TRUE(twin.SaveToDB(gDB.get()));
    EXPECT_NE(twin.ID, w.ID);

    clsWorkspace loaded;
    ASSERT_TRUE(loaded.LoadFromDB(w.ID, gDB.get()));
    EXPECT_EQ(loaded.Name, name);
    EXPECT_EQ(loaded.Description, awkward);
    ASSERT_EQ(loaded.NumPanels(), 1);
    EXPECT_EQ(loaded.Panels(1)->Caption, awkward);
    EXPECT_EQ(loaded.Panels(1)->Comments, awkward);
    EXPECT_EQ(loaded.Panels(1)->SheetName, QStringLiteral("O'Brien's \"sheet\" %"));
    EXPECT_EQ(loaded.Panels(1)->ContentMatch, p->ContentMatch);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT ID FROM DsbSavedWorkspace WHERE Name = ?"), {name}),
              w.ID);
    // A percent sign is a value, never a pattern.
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedWorkspace WHERE Name = ?"),
                     {QStringLiteral("%")}),
              0);
}

TEST_F(ModelTest, DashboardWhosePanelsCouldNotBeReadKeepsThemOnSave) {
    const int32_t id = StoreThreePanels();
    // The panel table is out of reach while the dashboard opens, and back when it is saved.
    Exec(QStringLiteral("ALTER TABLE DsbSavedPanel RENAME TO DsbSavedPanelAway"));
    clsWorkspace w;
    EXPECT_FALSE(w.LoadFromDB(id, gDB.get()));
    EXPECT_EQ(w.NumPanels(), 0);
    EXPECT_TRUE(w.PartlyLoaded());
    Exec(QStringLiteral("ALTER TABLE DsbSavedPanelAway RENAME TO DsbSavedPanel"));

    FillPanel(w.Panels(w.AddPanel()), 9, QStringLiteral("pasted later"));
    ASSERT_TRUE(w.SaveToDB(gDB.get()));
    EXPECT_EQ(
        Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE WorkspaceID = ?"), {id}),
        4);
}

TEST_F(ModelTest, StoredCodesBecomeTheirKindsAndAreWrittenBackAsTheyWere) {
    const int32_t id = StoreThreePanels();
    const QString codesOfFirst = QStringLiteral(
        "SELECT ContentType || '/' || IsCustom || '/' || ViewType FROM DsbSavedPanel "
        "WHERE Caption = 'first'");
    // What a paste stores: the one-letter codes.
    EXPECT_EQ(TextOf(codesOfFirst), QStringLiteral("S/N/A"));

    struct Case {
        const char* content;
        const char* paste;
        const char* view;
        PanelContent contentKind;
        PanelPaste pasteKind;
        PanelView viewKind;
    };
    const Case cases[] = {
        {"C", "Y", "C", PanelContent::Chart, PanelPaste::Custom, PanelView::Crop},
        {"P", "N", "Z", PanelContent::Picture, PanelPaste::Plain, PanelView::Zoom},
        {"M", "Y", "A", PanelContent::ReadRange, PanelPaste::Custom, PanelView::AutoSize},
    };
    for (const Case& c : cases) {
        const QString codes = QStringLiteral("%1/%2/%3").arg(QLatin1String(c.content),
                                                             QLatin1String(c.paste), QLatin1String(c.view));
        SCOPED_TRACE(codes.toStdString());
        Exec(QStringLiteral("UPDATE DsbSavedPanel SET ContentType = ?, IsCustom = ?, ViewType = ? "
                            "WHERE Caption = 'first'"),
             {QString::fromLatin1(c.content), QString::fromLatin1(c.paste), QString::fromLatin1(c.view)});
        clsWorkspace w;
        ASSERT_TRUE(w.LoadFromDB(id, gDB.get()));
        const clsWorkspacePanel* p = w.Panels(1);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->ContentType, c.contentKind);
        EXPECT_EQ(p->IsCustom, c.pasteKind);
        EXPECT_EQ(p->ViewType, c.viewKind);
        ASSERT_TRUE(w.SaveToDB(gDB.get()));
        EXPECT_EQ(TextOf(codesOfFirst), codes);
    }

    // Codes are compared as stored: another letter, or the right one in lower case, is no kind.
    // Another version or tool may know such a code, so a save of this one keeps it byte for
    // byte, in every column, until the user gives the panel a kind of this version.
    Exec(QStringLiteral("UPDATE DsbSavedPanel SET ContentType = 's', IsCustom = 'X', ViewType = 'zoom2' "
                        "WHERE Caption = 'first'"));
    Exec(QStringLiteral("UPDATE DsbSavedPanel SET ContentType = 'Ä', IsCustom = ' Y', ViewType = 'c' "
                        "WHERE Caption = 'second'"));
    const QString codesOfSecond = QString(codesOfFirst).replace(QStringLiteral("'first'"), QStringLiteral("'second'"));
    clsWorkspace w;
    ASSERT_TRUE(w.LoadFromDB(id, gDB.get()));
    clsWorkspacePanel* first = w.Panels(1);
    EXPECT_EQ(first->ContentType, PanelContent::None);
    EXPECT_EQ(first->IsCustom, PanelPaste::None);
    EXPECT_EQ(first->ViewType, PanelView::None);
    ASSERT_TRUE(w.SaveToDB(gDB.get()));
    EXPECT_EQ(TextOf(codesOfFirst), QStringLiteral("s/X/zoom2"));
    EXPECT_EQ(TextOf(codesOfSecond), QStringLiteral("Ä/ Y/c"));

    // A kind chosen in this version is written as its code; the others stay as they were.
    first->ViewType = PanelView::Zoom;
    ASSERT_TRUE(w.SaveToDB(gDB.get()));
    EXPECT_EQ(TextOf(codesOfFirst), QStringLiteral("s/X/Z"));
    // A copy of the panel (into another dashboard) carries the codes with it.
    clsWorkspace copy;
    copy.Name = QStringLiteral("Copy");
    ASSERT_TRUE(copy.Panels(copy.AddPanel())->LoadFromDB(w.Panels(2)->ID, gDB.get()));
    copy.Panels(1)->ID = 0;
    ASSERT_TRUE(copy.SaveToDB(gDB.get()));
    EXPECT_EQ(TextOf(QStringLiteral("SELECT ContentType || '/' || IsCustom || '/' || ViewType FROM "
                                    "DsbSavedPanel WHERE WorkspaceID = ?"),
                     {copy.ID}),
              QStringLiteral("Ä/ Y/c"));
    // Emptied content is emptied, other versions' codes with it.
    first->ClearSource();
    ASSERT_TRUE(w.SaveToDB(gDB.get()));
    EXPECT_EQ(TextOf(QStringLiteral("SELECT ContentType || '/' || IsCustom || '/' || ViewType FROM "
                                    "DsbSavedPanel WHERE ID = ?"),
                     {first->ID}),
              QStringLiteral("//"));
}
