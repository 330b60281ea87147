// One panel row on its own: loading with Null columns, insert and update by key, deletion
// with its cached picture, and clearing its content.

#include "ModelTestSupport.h"

TEST_F(ModelTest, PanelRowWithNullColumnsLoadsWithoutLosingEarlierValues) {
    Exec(
        QStringLiteral("INSERT INTO DsbSavedPanel(ID, WorkspaceID, SourceID, Caption, [Top], "
                       "[Left], Width, Height, LastViewed, PicRange) VALUES "
                       "(9, 1, NULL, NULL, NULL, NULL, NULL, NULL, NULL, '$A$1:$B$2``')"));
    clsWorkspacePanel p;
    p.Caption = QStringLiteral("as it was");
    p.movRange = QStringLiteral("$Z$1");
    p.NewCell = QStringLiteral("$C5");
    p.Content = QStringLiteral("Total");
    p.LastViewed = QDateTime(QDate(2020, 1, 1), QTime(0, 0));
    ASSERT_TRUE(p.LoadFromDB(9, gDB.get()));
    EXPECT_EQ(p.ID, 9);
    EXPECT_EQ(p.SourceID, 0);
    EXPECT_EQ(p.pLeft, 0);
    EXPECT_EQ(p.pHeight, 0);
    EXPECT_EQ(p.Caption, QStringLiteral("as it was"));
    EXPECT_EQ(p.PicRange, QStringLiteral("$A$1:$B$2``"));
    EXPECT_EQ(p.LastViewed, NoDate());
    EXPECT_EQ(p.movRange, QString());
    EXPECT_EQ(p.NewCell, QString());
    EXPECT_EQ(p.Content, QString());
    EXPECT_EQ(p.adjMovRange(), QString());
    EXPECT_EQ(p.adjPicRange(), QString());
    // A missing row leaves the record as it was.
    EXPECT_FALSE(p.LoadFromDB(10, gDB.get()));
    EXPECT_EQ(p.ID, 9);

    // A row with a number no field can hold is refused whole.
    Exec(
        QStringLiteral("INSERT INTO DsbSavedPanel(ID, WorkspaceID, SourceID, Caption, Width) "
                       "VALUES (11, 1, 3, 'huge', 9999999999)"));
    EXPECT_FALSE(p.LoadFromDB(11, gDB.get()));
    EXPECT_EQ(p.ID, 9);
    EXPECT_EQ(p.Caption, QStringLiteral("as it was"));
}

TEST_F(ModelTest, PanelInsertUpdateDeleteAndClear) {
    clsWorkspacePanel p;
    p.SourceID = 4;
    p.Caption = QStringLiteral("Revenue");
    p.RowHeights = QStringLiteral("1:2=15");
    p.ColWidths = QStringLiteral("A:A=9");
    p.pLeft = 10;
    ASSERT_TRUE(p.SaveToDB(gDB.get(), 3));
    const int32_t id = p.ID;
    ASSERT_GT(id, 0);
    EXPECT_EQ(TextOf(QStringLiteral("SELECT LastViewed FROM DsbSavedPanel WHERE ID = ?"), {id}),
              QStringLiteral("1900-01-01 00:00:00"));

    p.Caption = QStringLiteral("Revenue 2");
    ASSERT_TRUE(p.SaveToDB(gDB.get(), 3));
    EXPECT_EQ(p.ID, id);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel")), 1);
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Caption FROM DsbSavedPanel WHERE ID = ?"), {id}),
              QStringLiteral("Revenue 2"));

    p.ClearSource();
    EXPECT_EQ(p.SourceID, 0);
    EXPECT_EQ(p.Caption, QString());
    EXPECT_EQ(p.LastViewed, NoDate());
    EXPECT_EQ(p.ID, id);
    EXPECT_EQ(p.RowHeights, QStringLiteral("1:2=15"));
    EXPECT_EQ(p.ColWidths, QStringLiteral("A:A=9"));
    EXPECT_EQ(p.pLeft, 10);
    // Clearing writes nothing.
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Caption FROM DsbSavedPanel WHERE ID = ?"), {id}),
              QStringLiteral("Revenue 2"));

    const QString picture = MakePicture(id);
    const QString other = MakePicture(id + 1);
    EXPECT_TRUE(p.Delete(gDB.get()));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel")), 0);
    EXPECT_FALSE(QFile::exists(picture));
    EXPECT_TRUE(QFile::exists(other));
    EXPECT_EQ(p.ID, id);
}
