// A newer version caught half-way through its arrival, with real workbooks written by openpyxl:
// in the source folder of a "folder" source, in the destination folder itself, and as the
// workbook of a "refresh" source. Such a file is never recorded, the version in use keeps its
// cached pictures, and the whole file is taken by a later pass, whatever time its copying tool
// gives it back.

#include "ModelTestSupport.h"

#include "services/UserPrompts.h"
#include "services/modUtilsFile.h"

#include <QDir>

#include <functional>

namespace {

QDateTime T(int minutes) {
    return QDateTime(QDate(2024, 3, 1), QTime(12, 0)).addSecs(qint64(minutes) * 60);
}

// What a watched folder holds of a version while it arrives.
struct Arrival {
    const char* what;
    std::function<QByteArray(const QByteArray& whole)> part;
};

const Arrival kArrivals[] = {
    {"the first fifth of it", [](const QByteArray& w) { return w.left(w.size() / 5); }},
    {"nothing yet", [](const QByteArray&) { return QByteArray(); }},
    {"all but its last bytes", [](const QByteArray& w) { return w.left(w.size() - 10); }},
    {"half of it, the rest of its space taken ahead as zeros",
     [](const QByteArray& w) {
         return w.left(w.size() / 2) + QByteArray(w.size() - w.size() / 2, '\0');
     }},
};

}  // namespace

class HalfCopyTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        const testsupport::ScriptFolder& made =
            testsupport::FolderMadeBy(QStringLiteral("panel_workbooks.py"));
        ASSERT_EQ(made.why, QString());
        inUse_ = testsupport::ReadBytes(made.path + QStringLiteral("/Sales.xlsx"));
        newer_ = testsupport::ReadBytes(made.path + QStringLiteral("/SalesNewer.xlsx"));
        ASSERT_FALSE(inUse_.isEmpty());
        ASSERT_NE(inUse_, newer_);
        src_ = InFolder(QStringLiteral("src/"));
        dest_ = InFolder(QStringLiteral("dest/"));
        ASSERT_TRUE(QDir().mkpath(src_));
        ASSERT_TRUE(QDir().mkpath(dest_));
    }

    static void Put(const QString& path, const QByteArray& bytes, const QDateTime& when) {
        testsupport::WriteBytes(path, bytes);
        ASSERT_TRUE(AdjustFileTime(path, when));
    }
    static QStringList Files(const QString& folder) {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    static QString Column(const clsPanelSource& s, const QString& column) {
        return TextOf(QStringLiteral("SELECT %1 FROM DsbPanelSource WHERE ID = ?").arg(column),
                      {s.ID});
    }

    // A stored source whose version in use, dest/Sales.xlsx of T(0), was fetched and checked at
    // T(0), with one panel whose picture is cached.
    std::unique_ptr<clsPanelSource> SourceInUse(const QString& type, const QString& mask) {
        Put(dest_ + QStringLiteral("Sales.xlsx"), inUse_, T(0));
        auto s = std::make_unique<clsPanelSource>();
        s->FullPath = src_ + QStringLiteral("Sales.xlsx");
        s->Mask = mask;
        s->SourceFolder = src_;
        s->DestFolder = dest_;
        s->NewestFile = QStringLiteral("Sales.xlsx");
        s->UpdateType = type;
        s->CheckEvery = 60;
        EXPECT_TRUE(s->SaveToDB(gDB.get()));
        Exec(QStringLiteral("UPDATE DsbPanelSource SET NewestFile = 'Sales.xlsx', LastUpdated = ?, "
                            "LastChecked = ? WHERE ID = ?"),
             {T(0), T(0), s->ID});
        s->LastUpdated = T(0);
        s->LastChecked = T(0);
        Exec(QStringLiteral(
                 "INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, ContentType, IsCustom) "
                 "VALUES (1, ?, 'S', 'N')"),
             {s->ID});
        picture_ = MakePicture(static_cast<int32_t>(gDB->LastInsertId()));
        return s;
    }

    // Nothing of the arriving file was taken: the version in use, its record and its picture
    // are as they were, no one was asked anything, and the log says why.
    void ExpectNothingTaken(const clsPanelSource& s, const QString& arriving,
                            const std::string& what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(testsupport::ReadBytes(dest_ + QStringLiteral("Sales.xlsx")), inUse_);
        EXPECT_EQ(s.NewestFile, QStringLiteral("Sales.xlsx"));
        EXPECT_EQ(s.LastUpdated, T(0));
        EXPECT_EQ(s.LastChecked, T(0));
        EXPECT_EQ(Column(s, QStringLiteral("NewestFile")), QStringLiteral("Sales.xlsx"));
        EXPECT_EQ(Column(s, QStringLiteral("LastUpdated")), QStringLiteral("2024-03-01 12:00:00"));
        EXPECT_EQ(Column(s, QStringLiteral("LastChecked")), QStringLiteral("2024-03-01 12:00:00"));
        EXPECT_TRUE(QFile::exists(picture_));
        EXPECT_TRUE(PromptScript::Messages().isEmpty())
            << PromptScript::Messages().join('\n').toStdString();
        EXPECT_TRUE(
            LogText().contains(arriving + QStringLiteral(" is not taken as a newer version yet: ")))
            << LogText().toStdString();
    }

    QByteArray inUse_, newer_;
    QString src_, dest_, picture_;
};

TEST_F(HalfCopyTest, AFolderSourceCopiesNoPartOfAVersionAndTakesTheWholeOneLater) {
    for (const Arrival& arrival : kArrivals) {
        SCOPED_TRACE(arrival.what);
        QDir(dest_).removeRecursively();
        QDir(src_).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(src_));
        ASSERT_TRUE(QDir().mkpath(dest_));
        PromptScript::Reset();
        auto s = SourceInUse(QStringLiteral("folder"), QStringLiteral("Sales.xlsx"));
        // Caught while it is written: the file's time is now.
        const QString arriving = src_ + QStringLiteral("Sales.xlsx");
        Put(arriving, arrival.part(newer_), QDateTime::currentDateTime());
        EXPECT_FALSE(s->GetLatest(gDB.get(), false));
        ExpectNothingTaken(*s, arriving, arrival.what);
        EXPECT_EQ(Files(dest_), QStringList{QStringLiteral("Sales.xlsx")});

        // The copying tool finishes and gives the file back its own, older time (cp -p, rsync
        // -t): the next pass takes it whole.
        Put(arriving, newer_, T(30));
        s->ClearFlags();
        EXPECT_TRUE(s->GetLatest(gDB.get(), false));
        EXPECT_EQ(testsupport::ReadBytes(dest_ + QStringLiteral("Sales.xlsx")), newer_);
        EXPECT_EQ(s->LastUpdated, T(30));
        EXPECT_EQ(Column(*s, QStringLiteral("LastUpdated")), QStringLiteral("2024-03-01 12:30:00"));
        EXPECT_EQ(s->LastChecked, T(30));
        EXPECT_FALSE(QFile::exists(picture_));
        EXPECT_EQ(Files(dest_), QStringList{QStringLiteral("Sales.xlsx")});
    }
}

TEST_F(HalfCopyTest, AFileArrivingInTheDestinationFolderIsTakenOnlyWhenWhole) {
    for (const Arrival& arrival : kArrivals) {
        SCOPED_TRACE(arrival.what);
        QDir(dest_).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(dest_));
        PromptScript::Reset();
        // Mail attachments and other tools' copies land here directly.
        auto s = SourceInUse(QStringLiteral("default"), QStringLiteral("Sales*.xlsx"));
        const QString arriving = dest_ + QStringLiteral("Sales_march.xlsx");
        Put(arriving, arrival.part(newer_), QDateTime::currentDateTime());
        EXPECT_FALSE(s->GetLatest(gDB.get(), false));
        ExpectNothingTaken(*s, arriving, arrival.what);
        // The pass has its verdict: the other panels of the source ask no more.
        EXPECT_TRUE(s->GetLatest(gDB.get(), false));

        Put(arriving, newer_, T(30));
        s->ClearFlags();
        EXPECT_TRUE(s->GetLatest(gDB.get(), false));
        EXPECT_EQ(s->NewestFile, QStringLiteral("Sales_march.xlsx"));
        EXPECT_EQ(Column(*s, QStringLiteral("NewestFile")), QStringLiteral("Sales_march.xlsx"));
        EXPECT_EQ(s->LastChecked, T(30));
        EXPECT_FALSE(QFile::exists(picture_));
    }
}

TEST_F(HalfCopyTest, AWorkbookBeingRewrittenInPlaceIsNeitherRecalculatedNorTaken) {
    for (const Arrival& arrival : kArrivals) {
        SCOPED_TRACE(arrival.what);
        PromptScript::Reset();
        auto s = SourceInUse(QStringLiteral("refresh"), QStringLiteral("Sales.xlsx"));
        const QString inUse = dest_ + QStringLiteral("Sales.xlsx");
        Put(inUse, arrival.part(newer_), QDateTime::currentDateTime());
        EXPECT_FALSE(s->GetLatest(gDB.get(), false));
        EXPECT_TRUE(LogText().contains(inUse + QStringLiteral(" is not recalculated yet: ")));
        EXPECT_EQ(s->LastUpdated, T(0));
        EXPECT_EQ(s->LastChecked, T(0));
        EXPECT_EQ(Column(*s, QStringLiteral("LastChecked")), QStringLiteral("2024-03-01 12:00:00"));
        EXPECT_TRUE(QFile::exists(picture_));
        EXPECT_TRUE(PromptScript::Messages().isEmpty())
            << PromptScript::Messages().join('\n').toStdString();
        // Left as the tool writes it: nothing saved over it.
        EXPECT_EQ(testsupport::ReadBytes(inUse), arrival.part(newer_));
    }
}
