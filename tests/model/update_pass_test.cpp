// The update pass of a panel source on real folders, files, Maildir trees and repositories:
// when a source is fetched, how a newer version is copied or saved, and how the newest file
// of the destination folder is taken into use.

#include "ModelTestSupport.h"

#include "MaildirFixture.h"
#include "services/UserPrompts.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsExcel.h"
#include "services/modUtilsINI.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

namespace {

QDateTime T(int minutes) {
    return QDateTime(QDate(2024, 3, 1), QTime(12, 0)).addSecs(qint64(minutes) * 60);
}

}  // namespace

class UpdatePassTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        src_ = InFolder(QStringLiteral("src/"));
        dest_ = InFolder(QStringLiteral("dest/"));
        ASSERT_TRUE(QDir().mkpath(src_));
        ASSERT_TRUE(QDir().mkpath(dest_));
    }

    // A version holding `marker`: a whole file, which the pass takes.
    static void Write(const QString& path, const QByteArray& marker, const QDateTime& when) {
        WriteRaw(path, testsupport::ZipHolding(marker), when);
    }
    static void WriteRaw(const QString& path, const QByteArray& bytes, const QDateTime& when) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
        f.write(bytes);
        f.close();
        ASSERT_TRUE(AdjustFileTime(path, when));
    }
    // The marker of the version at `path`.
    static QByteArray Read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? testsupport::HeldInZip(f.readAll())
                                           : QByteArray("<missing>");
    }
    static QStringList Files(const QString& folder) {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    // A stored "folder" source from src/ to dest/ that last fetched a version at T(0).
    std::unique_ptr<clsPanelSource> FolderSource(const QString& mask,
                                                 const QString& type = QStringLiteral("folder")) {
        auto s = std::make_unique<clsPanelSource>();
        s->FullPath = src_ + QStringLiteral("Sales.xlsx");
        s->Mask = mask;
        s->SourceFolder = src_;
        s->DestFolder = dest_;
        s->UpdateType = type;
        s->CheckEvery = 60;
        s->LastUpdated = T(0);
        s->LastChecked = T(0);
        EXPECT_TRUE(s->SaveToDB(gDB.get()));
        return s;
    }
    static QString Column(const clsPanelSource& s, const QString& column) {
        return TextOf(QStringLiteral("SELECT %1 FROM DsbPanelSource WHERE ID = ?").arg(column), {s.ID});
    }
    static int32_t InsertPanel(int32_t workspaceID, int32_t sourceID) {
        gDB->Execute(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, ContentType, "
                                    "IsCustom) VALUES (?, ?, 'S', 'N')"),
                     {workspaceID, sourceID});
        return static_cast<int32_t>(gDB->LastInsertId());
    }

    // The private step that nothing in the program calls yet.
    static void DoPrep(clsPanelSource& s) { s.DoPrep(gDB.get()); }

    QString src_;
    QString dest_;
};

TEST_F(UpdatePassTest, TheTimerFetchesOnlyOnceTheIntervalHasRunOutAndOpeningAlways) {
    auto s = FolderSource(QStringLiteral("Sales.xlsx"));
    Write(src_ + QStringLiteral("Sales.xlsx"), "v1", T(10));

    s->LastChecked = QDateTime::currentDateTime().addSecs(-59 * 60);
    EXPECT_FALSE(s->GetLatest(gDB.get(), true));
    EXPECT_TRUE(Files(dest_).isEmpty());
    EXPECT_FALSE(s->IsUpdated);
    EXPECT_FALSE(s->IsChecked);  // nothing in the destination folder: no verdict
    EXPECT_EQ(s->NewestFile, QString());

    s->ClearFlags();
    s->LastChecked = QDateTime::currentDateTime().addSecs(-61 * 60);
    EXPECT_TRUE(s->GetLatest(gDB.get(), true));
    EXPECT_EQ(Read(dest_ + QStringLiteral("Sales.xlsx")), "v1");
    EXPECT_TRUE(s->IsUpdated);
    EXPECT_TRUE(s->IsChecked);
    EXPECT_EQ(s->LastUpdated, T(10));
    EXPECT_EQ(Column(*s, QStringLiteral("LastUpdated")), QStringLiteral("2024-03-01 12:10:00"));
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales.xlsx"));
    EXPECT_EQ(Column(*s, QStringLiteral("NewestFile")), QStringLiteral("Sales.xlsx"));
    EXPECT_EQ(Column(*s, QStringLiteral("LastChecked")), QStringLiteral("2024-03-01 12:10:00"));

    // Opening a dashboard fetches regardless of the interval.
    s->ClearFlags();
    s->CheckEvery = 100000000;
    Write(src_ + QStringLiteral("Sales.xlsx"), "v2", T(20));
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(Read(dest_ + QStringLiteral("Sales.xlsx")), "v2");
    EXPECT_EQ(s->LastUpdated, T(20));
}

TEST_F(UpdatePassTest, PanelsSharingASourceFetchAndCheckItOncePerPass) {
    auto s = FolderSource(QStringLiteral("Sales*.xlsx"));
    Write(src_ + QStringLiteral("Sales_jan.xlsx"), "jan", T(10));
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales_jan.xlsx"));

    // The second panel of the pass: a newer file in either folder is not looked at.
    Write(src_ + QStringLiteral("Sales_feb.xlsx"), "feb", T(20));
    Write(dest_ + QStringLiteral("Sales_mar.xlsx"), "mar", T(30));
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    EXPECT_TRUE(s->GetLatest(gDB.get(), true));
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales_jan.xlsx"));
    EXPECT_EQ(s->LastUpdated, T(10));
    EXPECT_FALSE(QFile::exists(dest_ + QStringLiteral("Sales_feb.xlsx")));

    // The next pass sees both.
    s->ClearFlags();
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(s->LastUpdated, T(20));
    EXPECT_EQ(Read(dest_ + QStringLiteral("Sales_feb.xlsx")), "feb");
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales_mar.xlsx"));
    EXPECT_EQ(s->LastChecked, T(30));
}

TEST_F(UpdatePassTest, ASeriesMaskKeepsEarlierVersionsAndAPlainNameReplacesItsFile) {
    // A taken name gets the current date-time before its extension.
    auto series = FolderSource(QStringLiteral("Sales*.xlsx"));
    Write(dest_ + QStringLiteral("Sales_jan.xlsx"), "old", T(-10));
    Write(src_ + QStringLiteral("Sales_jan.xlsx"), "new", T(10));
    QDateTime dt;
    const QString copied = series->chkSrcFolder(dt);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Sales_jan_\\d{12}\\.xlsx$")).match(copied).hasMatch())
        << copied.toStdString();
    EXPECT_EQ(dt, T(10));
    EXPECT_EQ(Read(dest_ + copied), "new");
    EXPECT_EQ(Read(dest_ + QStringLiteral("Sales_jan.xlsx")), "old");
    const QDateTime stamped = QDateTime::fromString(copied.mid(10, 12), QStringLiteral("yyMMddhhmmss"))
                                  .addYears(100);
    EXPECT_LE(qAbs(stamped.secsTo(QDateTime::currentDateTime())), 5);

    // Plain names, and a wildcard only as the first character, overwrite.
    for (const QString& mask : {QStringLiteral("Costs.xlsx"), QStringLiteral("*osts.xlsx")}) {
        QDir(dest_).removeRecursively();
        QDir().mkpath(dest_);
        Write(src_ + QStringLiteral("Costs.xlsx"), "new costs", T(10));
        Write(dest_ + QStringLiteral("Costs.xlsx"), "old costs", T(5));
        auto plain = FolderSource(mask);
        EXPECT_EQ(plain->chkSrcFolder(dt), QStringLiteral("Costs.xlsx")) << mask.toStdString();
        EXPECT_EQ(Read(dest_ + QStringLiteral("Costs.xlsx")), "new costs");
        EXPECT_EQ(Files(dest_), QStringList{QStringLiteral("Costs.xlsx")});
    }

    // A source file exactly as old as the last fetched version is not copied; neither is an
    // older one, nor anything from a folder that holds no match.
    QDir(dest_).removeRecursively();
    QDir().mkpath(dest_);
    auto equal = FolderSource(QStringLiteral("Costs.xlsx"));
    equal->LastUpdated = T(10);
    EXPECT_EQ(equal->chkSrcFolder(dt), QString());
    equal->LastUpdated = T(11);
    EXPECT_EQ(equal->chkSrcFolder(dt), QString());
    equal->Mask = QStringLiteral("Nothing*.xlsx");
    EXPECT_EQ(equal->chkSrcFolder(dt), QString());
    equal->SourceFolder = InFolder(QStringLiteral("gone/"));
    EXPECT_EQ(equal->chkSrcFolder(dt), QString());
    EXPECT_TRUE(Files(dest_).isEmpty());
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(UpdatePassTest, AFailedCopyAsksToRetry) {
    auto s = FolderSource(QStringLiteral("Sales.xlsx"));
    const QString from = src_ + QStringLiteral("Sales.xlsx");
    Write(from, "v1", T(10));
    // A folder of the copy's name stands in the way, as a locked file would.
    const QString blocker = dest_ + QStringLiteral("Sales.xlsx");
    ASSERT_TRUE(QDir().mkpath(blocker));
    const QString question = QStringLiteral("Unable to copy ") + from + QStringLiteral(" to ") + dest_ +
                             QStringLiteral(".\r\nIf you have the file open in Excel, please close "
                                            "it.\r\nThen click Yes to retry copying the file.");

    // No: the version counts as fetched.
    PromptScript::QueueMsgBox(vbNo);
    EXPECT_FALSE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(PromptScript::Messages(), QStringList{question});
    EXPECT_EQ(PromptScript::Record().front().style, vbYesNo | vbQuestion | vbDefaultButton2);
    EXPECT_EQ(s->LastUpdated, T(10));
    EXPECT_EQ(Column(*s, QStringLiteral("LastUpdated")), QStringLiteral("2024-03-01 12:10:00"));

    // Yes, and the copy fails again: a box, an event, and nothing fetched.
    PromptScript::Reset();
    Write(from, "v2", T(20));
    s->ClearFlags();
    PromptScript::QueueMsgBox(vbYes);
    EXPECT_FALSE(s->GetLatest(gDB.get(), false));
    const QString failed = QStringLiteral("Unable to copy ") + from + QStringLiteral(" to ") + dest_ + '.';
    EXPECT_EQ(PromptScript::Messages(), (QStringList{question, failed}));
    EXPECT_EQ(PromptScript::Record().back().style, vbExclamation);
    EXPECT_EQ(PromptScript::Record().back().title, QStringLiteral("Sheetbeacon"));
    EXPECT_TRUE(LogText().contains(QStringLiteral("Error copying ") + from + QStringLiteral(" to ") + dest_));
    EXPECT_EQ(s->LastUpdated, T(10));
    EXPECT_EQ(Column(*s, QStringLiteral("LastUpdated")), QStringLiteral("2024-03-01 12:10:00"));

    // Yes after the user freed the file: the retry copies it. The real box is answered.
    PromptScript::Disable();
    s->ClearFlags();
    bool asked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        asked = box->text() == question;
        QDir(blocker).removeRecursively();
        box->button(QMessageBox::Yes)->click();
    });
    poll.start(10);
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    poll.stop();
    PromptScript::Enable();
    EXPECT_TRUE(asked);
    EXPECT_EQ(Read(blocker), "v2");
    EXPECT_EQ(s->LastUpdated, T(20));
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales.xlsx"));
}

TEST_F(UpdatePassTest, MissingFoldersAreAskedForAndEveryChosenFolderIsKept) {
    auto s = FolderSource(QStringLiteral("Sales.xlsx"));
    const QString oldSource = s->SourceFolder;
    s->SourceFolder = InFolder(QStringLiteral("vanished-src/"));
    s->DestFolder = InFolder(QStringLiteral("vanished-dest/"));
    ASSERT_TRUE(s->UpdateDB(gDB.get()));
    Write(src_ + QStringLiteral("Sales.xlsx"), "v1", T(10));

    // The source folder is chosen, the destination prompt and the check's prompt cancelled:
    // the chosen source folder is stored all the same.
    PromptScript::QueueDialog(QStringLiteral("folder"), Folder() + QStringLiteral("/src"));
    EXPECT_FALSE(s->GetLatest(gDB.get(), false));
    const auto& shown = PromptScript::Record();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].title, QStringLiteral("Select source folder to retrieve files named [Sales.xlsx] from"));
    // The prompts start in the source folder; while it is gone, in the home folder.
    EXPECT_EQ(shown[0].text, QDir::homePath());
    EXPECT_EQ(shown[1].title, QStringLiteral("Select destination folder to place file named [Sales.xlsx] to"));
    EXPECT_EQ(shown[1].text, QDir::cleanPath(oldSource));
    EXPECT_EQ(shown[2].title, QStringLiteral("Select folder to check for files named [Sales.xlsx]"));
    EXPECT_EQ(s->SourceFolder, oldSource);
    EXPECT_EQ(Column(*s, QStringLiteral("SourceFolder")), oldSource);
    EXPECT_EQ(Column(*s, QStringLiteral("DestFolder")), InFolder(QStringLiteral("vanished-dest/")));
    EXPECT_EQ(s->NewestFile, QString());
    EXPECT_FALSE(s->IsChecked);
    EXPECT_EQ(s->LastUpdated, T(0));

    // Next pass: only the destination is missing; choosing it fetches and checks.
    PromptScript::Reset();
    s->ClearFlags();
    PromptScript::QueueDialog(QStringLiteral("folder"), Folder() + QStringLiteral("/dest/"));
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(PromptScript::Record().size(), 1u);
    EXPECT_EQ(Column(*s, QStringLiteral("DestFolder")), dest_);
    EXPECT_EQ(Read(dest_ + QStringLiteral("Sales.xlsx")), "v1");
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales.xlsx"));

    // A "refresh" source asks for the folder of its workbook; cancelled, nothing is refreshed
    // and the check asks once more.
    PromptScript::Reset();
    auto refresh = FolderSource(QStringLiteral("Report.xlsx"), QStringLiteral("refresh"));
    refresh->DestFolder = InFolder(QStringLiteral("vanished-dest/"));
    EXPECT_FALSE(refresh->GetLatest(gDB.get(), false));
    ASSERT_EQ(PromptScript::Record().size(), 2u);
    for (const auto& prompt : PromptScript::Record()) {
        EXPECT_EQ(prompt.kind, QStringLiteral("folder"));
        EXPECT_EQ(prompt.title, QStringLiteral("Select folder to check for files named [Report.xlsx]"));
    }
    EXPECT_TRUE(refresh->IsUpdated);
    EXPECT_EQ(refresh->LastUpdated, T(0));

    // A folder never chosen (an empty column loads as a lone backslash) is asked for too.
    PromptScript::Reset();
    auto defaults = FolderSource(QStringLiteral("Sales.xlsx"), QStringLiteral("default"));
    defaults->DestFolder = QStringLiteral("\\");
    PromptScript::QueueDialog(QStringLiteral("folder"), Folder() + QStringLiteral("/dest"));
    EXPECT_TRUE(defaults->GetLatest(gDB.get(), false));
    EXPECT_EQ(defaults->DestFolder, dest_);
    EXPECT_EQ(Column(*defaults, QStringLiteral("DestFolder")), dest_);
}

TEST_F(UpdatePassTest, AChosenFolderThatCantBeStoredIsNotUsed) {
    auto s = FolderSource(QStringLiteral("Sales.xlsx"));
    const QString vanished = InFolder(QStringLiteral("vanished-dest/"));
    s->DestFolder = vanished;
    ASSERT_TRUE(s->UpdateDB(gDB.get()));
    Write(src_ + QStringLiteral("Sales.xlsx"), "v1", T(10));
    Write(dest_ + QStringLiteral("Sales.xlsx"), "v0", T(5));
    Exec(QStringLiteral("CREATE TRIGGER refuse_source BEFORE UPDATE ON DsbPanelSource "
                        "BEGIN SELECT RAISE(ABORT, 'refused'); END"));

    // Both the fetch and the check ask; each answer is refused by the repository, so neither
    // copies into the folder nor takes a file from it.
    PromptScript::QueueDialog(QStringLiteral("folder"), dest_);
    PromptScript::QueueDialog(QStringLiteral("folder"), dest_);
    EXPECT_FALSE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(PromptScript::Record().size(), 4u);  // two folder prompts, two reports
    EXPECT_EQ(s->DestFolder, vanished);
    EXPECT_EQ(Column(*s, QStringLiteral("DestFolder")), vanished);
    EXPECT_EQ(Read(dest_ + QStringLiteral("Sales.xlsx")), "v0");
    EXPECT_EQ(s->NewestFile, QString());
    EXPECT_FALSE(s->IsChecked);

    // Once the folder can be stored, the same request goes through.
    Exec(QStringLiteral("DROP TRIGGER refuse_source"));
    PromptScript::Reset();
    s->ClearFlags();
    PromptScript::QueueDialog(QStringLiteral("folder"), dest_);
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(Column(*s, QStringLiteral("DestFolder")), dest_);
    EXPECT_EQ(Read(dest_ + QStringLiteral("Sales.xlsx")), "v1");
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales.xlsx"));
}

TEST_F(UpdatePassTest, TheNewestFileOfTheDestinationFolderComesIntoUse) {
    // "default" sources are never fetched, but their folder is still examined.
    auto s = FolderSource(QStringLiteral("Sales*.xlsx"), QStringLiteral("default"));
    auto other = FolderSource(QStringLiteral("Other.xlsx"), QStringLiteral("default"));
    Write(src_ + QStringLiteral("Sales_src.xlsx"), "not fetched", T(50));
    const int32_t a = InsertPanel(1, s->ID), b = InsertPanel(2, s->ID), c = InsertPanel(1, other->ID);
    const QString picA = MakePicture(a), picB = MakePicture(b), picC = MakePicture(c);

    // An empty destination folder: no verdict, so the next request of the pass looks again.
    s->NewestFile = QStringLiteral("Sales_old.xlsx");
    EXPECT_FALSE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(s->NewestFile, QString());
    EXPECT_FALSE(s->IsChecked);
    EXPECT_TRUE(QFile::exists(picA));

    Write(dest_ + QStringLiteral("Sales_1.xlsx"), "1", T(10));
    Write(dest_ + QStringLiteral("Sales_2.xlsx"), "2", T(20));
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales_2.xlsx"));
    EXPECT_EQ(s->LastChecked, T(20));
    EXPECT_EQ(Column(*s, QStringLiteral("LastChecked")), QStringLiteral("2024-03-01 12:20:00"));
    EXPECT_EQ(Column(*s, QStringLiteral("NewestFile")), QStringLiteral("Sales_2.xlsx"));
    EXPECT_FALSE(QFile::exists(picA));
    EXPECT_FALSE(QFile::exists(picB));
    EXPECT_TRUE(QFile::exists(picC));
    EXPECT_EQ(s->LastUpdated, T(0));
    EXPECT_FALSE(QFile::exists(dest_ + QStringLiteral("Sales_src.xlsx")));

    // The same file next pass: a verdict of "nothing newer", and the pictures stay.
    MakePicture(a);
    s->ClearFlags();
    EXPECT_FALSE(s->GetLatest(gDB.get(), false));
    EXPECT_TRUE(s->IsChecked);
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));  // the verdict holds for the pass
    EXPECT_TRUE(QFile::exists(picA));

    // The file in use vanishes: the newest remaining one takes its place even though older.
    QFile::remove(dest_ + QStringLiteral("Sales_2.xlsx"));
    s->ClearFlags();
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales_1.xlsx"));
    EXPECT_EQ(s->LastChecked, T(10));
    EXPECT_FALSE(QFile::exists(picA));

    // A folder whose name matches the mask is no version, however new.
    ASSERT_TRUE(QDir().mkpath(dest_ + QStringLiteral("Sales_9.xlsx")));
    s->ClearFlags();
    EXPECT_FALSE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales_1.xlsx"));
    EXPECT_TRUE(s->IsChecked);

    // A file dated in the future is newer than everything.
    Write(dest_ + QStringLiteral("Sales_future.xlsx"), "f", QDateTime::currentDateTime().addDays(2));
    s->ClearFlags();
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales_future.xlsx"));
}

TEST_F(UpdatePassTest, AnInboxSourceSavesTheNewestAttachmentFromTheMailStore) {
    ASSERT_EQ(INI_WriteString(GetINIFile(), QStringLiteral("Settings"),
                              QStringLiteral("Mail Store"), testsupport::SharedMaildirRoot()),
              0);
    auto s = FolderSource(QStringLiteral("Sales*.xlsx"), QStringLiteral("inbox"));
    s->OLSubject = QStringLiteral("Sales report");
    s->OLAttach = QStringLiteral("Sales*.xlsx");
    s->OLFolder = QString();
    s->LastUpdated = QDateTime::fromSecsSinceEpoch(testsupport::kMailT0 - 86400);
    s->DestFolder = InFolder(QStringLiteral("mail/"));
    ASSERT_TRUE(s->UpdateDB(gDB.get()));

    // The destination folder is missing: asked for, stored, then the attachment lands there.
    ASSERT_TRUE(QDir().mkpath(InFolder(QStringLiteral("attachments"))));
    PromptScript::QueueDialog(QStringLiteral("folder"), InFolder(QStringLiteral("attachments")));
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    ASSERT_FALSE(PromptScript::Record().empty());
    EXPECT_EQ(PromptScript::Record().front().title, QStringLiteral("Select destination folder to save attachment to"));
    const QString folder = InFolder(QStringLiteral("attachments/"));
    EXPECT_EQ(Column(*s, QStringLiteral("DestFolder")), folder);
    const QDateTime received = QDateTime::fromSecsSinceEpoch(testsupport::kMailT0 + 86400);
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales 2023-46.xlsx"));
    EXPECT_EQ(Read(folder + s->NewestFile).size(), 1024);
    EXPECT_EQ(s->LastUpdated, received);
    EXPECT_EQ(s->LastChecked, received);
    EXPECT_EQ(Column(*s, QStringLiteral("LastUpdated")), received.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));

    // Nothing newer in the store: no second copy.
    s->ClearFlags();
    EXPECT_FALSE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(Files(folder), QStringList{QStringLiteral("Sales 2023-46.xlsx")});
    EXPECT_TRUE(s->IsChecked);
}

TEST_F(UpdatePassTest, ANewerWorkbookRelocatesFollowingRangePanelsOfEveryDashboardOnly) {
    const QString fixture = QStringLiteral(SB_FIXTURE_DIR "/relocation.xlsx");
    ASSERT_TRUE(QFile::exists(fixture))
        << "fixture not made (the build makes it with python3-openpyxl and python3-pil: scripts/install-deps --test)";
    // Every write to a panel row is noted, whatever the relocation makes of the texts.
    Exec(QStringLiteral("CREATE TABLE Written(PanelID INTEGER)"));
    Exec(QStringLiteral("CREATE TRIGGER NoteWrite AFTER UPDATE ON DsbSavedPanel "
                        "BEGIN INSERT INTO Written VALUES (NEW.ID); END"));
    auto s = FolderSource(QStringLiteral("Sales*.xlsx"), QStringLiteral("default"));
    auto other = FolderSource(QStringLiteral("Other*.xlsx"), QStringLiteral("default"));
    // Stored when the last used cell was K10 and "Total" stood in C7: both moved two rows down.
    auto panel = [&](int32_t workspace, int32_t source, const QString& type, const QVariant& rule,
                     const QString& sheet,
                     const QString& match = QStringLiteral("bottom=$K$10`anchor=$C7`content=Total")) {
        Exec(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, ContentType, IsCustom, "
                            "SheetName, PicRange, RowHeights, ColWidths, RelativeTo, ContentMatch) "
                            "VALUES (?, ?, ?, 'N', ?, 'B2:D4``', '', '', ?, ?)"),
             {workspace, source, type, sheet, rule, match});
        const auto id = static_cast<int32_t>(gDB->LastInsertId());
        MakePicture(id);
        return id;
    };
    const int32_t bottom = panel(1, s->ID, QStringLiteral("S"), QStringLiteral("bottom"), QStringLiteral("Data"));
    const int32_t contents = panel(2, s->ID, QStringLiteral("S"), QStringLiteral("contents"), QStringLiteral("Data"));
    const int32_t emptySheet = panel(2, s->ID, QStringLiteral("S"), QStringLiteral("bottom"), QStringLiteral("Empty"));
    const int32_t anchorGone = panel(1, s->ID, QStringLiteral("S"), QStringLiteral("contents"), QStringLiteral("Data"),
                                     QStringLiteral("bottom=`anchor=$C7`content=Nowhere to be found"));
    // Codes another version wrote: a relocated row keeps them as they were.
    const int32_t otherCodes = panel(1, s->ID, QStringLiteral("S"), QStringLiteral("bottom"), QStringLiteral("Data"));
    Exec(QStringLiteral("UPDATE DsbSavedPanel SET IsCustom = 'n', ViewType = 'W' WHERE ID = ?"), {otherCodes});
    const QList<int32_t> staying = {
        panel(1, s->ID, QStringLiteral("S"), QStringLiteral("top"), QStringLiteral("Data")),
        panel(2, s->ID, QStringLiteral("S"), QVariant(), QStringLiteral("Data")),
        panel(1, s->ID, QStringLiteral("S"), QStringLiteral(""), QStringLiteral("Data")),
        panel(1, s->ID, QStringLiteral("S"), QStringLiteral("anywhere"), QStringLiteral("Data")),
        panel(1, s->ID, QStringLiteral("C"), QStringLiteral("bottom"), QStringLiteral("Data")),
        // Codes compare exactly: a lower-case "s" is no range of this version.
        panel(1, s->ID, QStringLiteral("s"), QStringLiteral("bottom"), QStringLiteral("Data")),
        panel(1, s->ID, QStringLiteral("S"), QStringLiteral("bottom"), QStringLiteral("Gone")),
        panel(1, other->ID, QStringLiteral("S"), QStringLiteral("bottom"), QStringLiteral("Data")),
    };
    const auto row = [](int32_t id) {
        auto rs = gDB->Query(QStringLiteral("SELECT * FROM DsbSavedPanel WHERE ID = ?"), {id});
        QStringList fields;
        for (int i = 0; i < rs->Columns().size(); ++i)
            fields << (rs->Field(i).isNull() ? QStringLiteral("<null>") : rs->Field(i).toString());
        return fields.join(QLatin1Char('|'));
    };
    QStringList before;
    for (int32_t id : staying)
        before << row(id);
    const auto texts = [](int32_t id) {
        return TextOf(QStringLiteral("SELECT PicRange || '|' || RowHeights || '|' || ColWidths || '|' || "
                                     "ContentMatch FROM DsbSavedPanel WHERE ID = ?"),
                      {id});
    };
    const QString emptySheetTexts = texts(emptySheet), anchorGoneTexts = texts(anchorGone);

    ASSERT_TRUE(QFile::copy(fixture, dest_ + QStringLiteral("Sales_2.xlsx")));
    ASSERT_TRUE(AdjustFileTime(dest_ + QStringLiteral("Sales_2.xlsx"), T(20)));
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales_2.xlsx"));

    const auto written = [] {
        QList<int32_t> ids;
        for (auto rs = gDB->Query(QStringLiteral("SELECT DISTINCT PanelID FROM Written ORDER BY PanelID"));
             !rs->EOF_(); rs->MoveNext())
            ids << static_cast<int32_t>(rs->Field(0).toLongLong());
        return ids;
    };
    const QList<int32_t> touched = written();
    EXPECT_TRUE(touched.contains(bottom));
    EXPECT_TRUE(touched.contains(contents));
    EXPECT_TRUE(touched.contains(otherCodes));
    EXPECT_EQ(TextOf(QStringLiteral("SELECT ContentType || IsCustom || ViewType FROM DsbSavedPanel WHERE ID = ?"),
                     {otherCodes}),
              QStringLiteral("SnW"));
    for (int32_t id : staying)
        EXPECT_FALSE(touched.contains(id)) << id;
    QStringList after;
    for (int32_t id : staying)
        after << row(id);
    EXPECT_EQ(after, before);
    // Both following panels moved with the sheet, in their own dashboards.
    const auto picRange = [](int32_t id) {
        return TextOf(QStringLiteral("SELECT PicRange FROM DsbSavedPanel WHERE ID = ?"), {id});
    };
    EXPECT_TRUE(picRange(bottom).remove(QLatin1Char('$')).startsWith(QStringLiteral("B4:D6`"))) << picRange(bottom).toStdString();
    EXPECT_TRUE(picRange(contents).remove(QLatin1Char('$')).startsWith(QStringLiteral("B4:D6`"))) << picRange(contents).toStdString();
    EXPECT_TRUE(picRange(otherCodes).remove(QLatin1Char('$')).startsWith(QStringLiteral("B4:D6`"))) << picRange(otherCodes).toStdString();
    EXPECT_EQ(Scalar(QStringLiteral("SELECT WorkspaceID FROM DsbSavedPanel WHERE ID = ?"), {contents}), 2);
    // A sheet with nothing on it gives no new bottom cell, an anchor text that is gone no new
    // anchor: those panels keep their stored texts while the others moved.
    EXPECT_EQ(texts(emptySheet), emptySheetTexts);
    EXPECT_EQ(texts(anchorGone), anchorGoneTexts);
    EXPECT_TRUE(LogText().contains(QStringLiteral("Gone not found in Sales_2.xlsx")));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());

    // Every cached picture of the source is gone, the other source's stays.
    for (int32_t id : QList<int32_t>{bottom, contents, emptySheet, anchorGone} + staying.mid(0, staying.size() - 1))
        EXPECT_FALSE(QFile::exists(PanelPicturePath(id))) << id;
    EXPECT_TRUE(QFile::exists(PanelPicturePath(staying.last())));

    // A newer file that is no whole workbook is not taken into use: the pictures stay, nothing
    // is relocated, and the log says why.
    Exec(QStringLiteral("DELETE FROM Written"));
    MakePicture(bottom);
    WriteRaw(dest_ + QStringLiteral("Sales_3.xlsx"), "not a workbook", T(30));
    s->ClearFlags();
    EXPECT_FALSE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(s->NewestFile, QStringLiteral("Sales_2.xlsx"));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    EXPECT_TRUE(LogText().contains(
        dest_ + QStringLiteral("Sales_3.xlsx is not taken as a newer version yet")));
    EXPECT_TRUE(written().isEmpty());
    EXPECT_TRUE(QFile::exists(PanelPicturePath(bottom)));
}

namespace {

const QString kRefreshScript = QStringLiteral("make_refresh_workbooks.py");

QString CellText(const QString& path, const QString& sheet, const QString& cell) {
    ExcelApp XL;
    QString text;
    if (Excel_Init(XL)) {
        try {
            text = XL->Workbooks().Open(path)->Sheets().Item(sheet)->Range(cell).Text();
        } catch (const std::exception& e) {
            text = QStringLiteral("<error> ") + QString::fromUtf8(e.what());
        }
    }
    Excel_Exit(XL);
    return text;
}

}  // namespace

TEST_F(UpdatePassTest, ARefreshSourceRecalculatesItsWorkbookAndShowsTheNewValue) {
    ASSERT_SOFFICE();
    const QString folder = InFolder(QStringLiteral("books"));
    ASSERT_FIXTURE_SCRIPT(kRefreshScript, {folder});
    const QString report = folder + QStringLiteral("/Report.xlsx");
    EXPECT_EQ(CellText(report, QStringLiteral("Report"), QStringLiteral("B1")), QString());

    auto s = FolderSource(QStringLiteral("Report.xlsx"), QStringLiteral("refresh"));
    s->DestFolder = folder + QLatin1Char('/');
    s->NewestFile = QStringLiteral("Report.xlsx");
    ASSERT_TRUE(s->UpdateDB(gDB.get()));
    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(CellText(report, QStringLiteral("Report"), QStringLiteral("B1")), QStringLiteral("20"));
    EXPECT_GE(s->LastUpdated, started);
    EXPECT_EQ(Column(*s, QStringLiteral("LastUpdated")), s->LastUpdated.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    EXPECT_EQ(s->LastChecked, s->LastUpdated);
    EXPECT_EQ(s->NewestFile, QStringLiteral("Report.xlsx"));

    // The input changes in the other workbook the report's formula refers to (the report
    // itself is not touched): the next pass shows the new value.
    ASSERT_FIXTURE_SCRIPT(kRefreshScript, {folder, QStringLiteral("7")});
    s->ClearFlags();
    (void)s->GetLatest(gDB.get(), false);  // the recalculated cell tells
    EXPECT_EQ(CellText(report, QStringLiteral("Report"), QStringLiteral("B1")), QStringLiteral("70"));

    // A file in use that is no whole workbook (still being written, say): not recalculated,
    // nothing fetched, and left for the next pass without a box.
    PromptScript::Reset();
    const QDateTime fetched = s->LastUpdated;
    WriteRaw(s->DestFolder + QStringLiteral("Broken.xlsx"), "not a workbook", T(0));
    s->NewestFile = QStringLiteral("Broken.xlsx");
    QDateTime dt;
    EXPECT_EQ(s->chkRefresh(dt), QString());
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    EXPECT_TRUE(
        LogText().contains(s->DestFolder + QStringLiteral("Broken.xlsx is not recalculated yet")));
    EXPECT_EQ(s->LastUpdated, fetched);
}

// A workbook the user has open in LibreOffice Calc (its lock file beside it, as right after a
// paste): the recalculation never writes over it; its values go to a copy of the program's,
// which the panels are drawn from while it is the newer. Once Calc has let go, the workbook
// itself is saved again and the copy goes. A copy that can't be written is told plainly.
TEST_F(UpdatePassTest, AWorkbookOpenInCalcIsRecalculatedIntoACopyOfTheProgramsOwn) {
    ASSERT_SOFFICE();
    const QString folder = InFolder(QStringLiteral("books"));
    ASSERT_FIXTURE_SCRIPT(kRefreshScript, {folder});
    const QString report = folder + QStringLiteral("/Report.xlsx");
    const QString lock = folder + QStringLiteral("/.~lock.Report.xlsx#");
    testsupport::WriteText(lock, QStringLiteral(",ann,desk,01.03.2024 12:00,file:///home/ann/.config/libreoffice/4;"));
    ASSERT_TRUE(AdjustFileTime(report, QDateTime::currentDateTime().addSecs(-120)));
    const QByteArray held = Read(report);

    auto s = FolderSource(QStringLiteral("Report.xlsx"), QStringLiteral("refresh"));
    s->DestFolder = folder + QLatin1Char('/');
    s->NewestFile = QStringLiteral("Report.xlsx");
    s->LastChecked = SourceFileTime(report);
    ASSERT_TRUE(s->UpdateDB(gDB.get()));
    const QString copy = s->RecalculatedCopy(QStringLiteral("Report.xlsx"));
    EXPECT_EQ(copy, Folder() + QStringLiteral("/Recalculated/%1/Report.xlsx").arg(s->ID));
    EXPECT_EQ(s->WorkbookInUse(), report);

    const int32_t workspace = 1;
    const int32_t panel = InsertPanel(workspace, s->ID);
    MakePicture(panel);
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(Read(report), held);
    EXPECT_EQ(s->WorkbookInUse(), copy);
    EXPECT_EQ(CellText(copy, QStringLiteral("Report"), QStringLiteral("B1")), QStringLiteral("20"));
    EXPECT_EQ(s->NewestFileTime(), SourceFileTime(copy));
    EXPECT_EQ(s->LastChecked, SourceFileTime(copy));
    EXPECT_EQ(s->WorkbookPath(), report);  // the user's own, for opening it
    EXPECT_FALSE(QFile::exists(PanelPicturePath(panel)));  // drawn anew from the copy

    // The input changes: the next pass recalculates into the copy again.
    ASSERT_FIXTURE_SCRIPT(kRefreshScript, {folder, QStringLiteral("7")});
    QThread::sleep(1);  // file times are compared in whole seconds
    s->ClearFlags();
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    EXPECT_EQ(CellText(copy, QStringLiteral("Report"), QStringLiteral("B1")), QStringLiteral("70"));
    EXPECT_EQ(Read(report), held);

    // The user saves in Calc: the workbook is newer than the copy, and in use again.
    ASSERT_TRUE(AdjustFileTime(report, QDateTime::currentDateTime().addSecs(5)));
    EXPECT_EQ(s->WorkbookInUse(), report);

    // The copy can't be written (its folder is a file): the user is told which workbook and
    // what to do, and the workbook is still not written.
    QDir(Folder() + QStringLiteral("/Recalculated")).removeRecursively();
    testsupport::WriteText(Folder() + QStringLiteral("/Recalculated"), QStringLiteral("in the way"));
    QDateTime dt;
    EXPECT_EQ(s->chkRefresh(dt), QString());
    ASSERT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(PromptScript::Messages()[0].startsWith(QStringLiteral("Unable to recalculate ") + report +
                                                       QStringLiteral(" while it is open in another program")))
        << PromptScript::Messages()[0].toStdString();
    EXPECT_TRUE(PromptScript::Messages()[0].endsWith(QStringLiteral("Save and close it there, then refresh the dashboard.")));
    EXPECT_EQ(Read(report), held);
    QFile::remove(Folder() + QStringLiteral("/Recalculated"));

    // Calc closed the workbook: it is saved itself again, and the copy goes.
    ASSERT_TRUE(QDir().mkpath(QFileInfo(copy).absolutePath()));
    testsupport::WriteText(copy, QStringLiteral("an old copy"));
    QFile::remove(lock);
    PromptScript::Reset();
    EXPECT_EQ(s->chkRefresh(dt), QStringLiteral("Report.xlsx"));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    EXPECT_EQ(CellText(report, QStringLiteral("Report"), QStringLiteral("B1")), QStringLiteral("70"));
    EXPECT_FALSE(QFile::exists(copy));
    EXPECT_EQ(s->WorkbookInUse(), report);
}

// A source imported from a shared file has no file in use yet: its first recalculation is of
// the workbook it was made from, found under that name in its folder, and being no mail
// source it never looks at the mail store (which is missing here).
TEST_F(UpdatePassTest, AnImportedRefreshSourceRecalculatesItsOwnWorkbookFirst) {
    ASSERT_SOFFICE();
    const QString folder = InFolder(QStringLiteral("books"));
    ASSERT_FIXTURE_SCRIPT(kRefreshScript, {folder});
    ASSERT_EQ(
        INI_WriteString(GetINIFile(), QStringLiteral("Settings"), QStringLiteral("Mail Store"),
                        InFolder(QStringLiteral("no-mail-here"))),
        0);
    const QString report = folder + QStringLiteral("/Report.xlsx");
    auto s = FolderSource(QStringLiteral("Report*.xlsx"), QStringLiteral("refresh"));
    // As an import stores it: paths of the exporting machine rewritten, no newest file yet.
    s->FullPath = report;
    s->DestFolder = folder + QLatin1Char('/');
    s->NewestFile.clear();
    s->LastUpdated = s->LastChecked = QDateTime(QDate(1900, 1, 1), QTime(0, 0));
    ASSERT_TRUE(s->UpdateDB(gDB.get()));
    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    EXPECT_TRUE(s->GetLatest(gDB.get(), false));
    EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(LogText().contains(QStringLiteral("mail store"))) << LogText().toStdString();
    EXPECT_EQ(CellText(report, QStringLiteral("Report"), QStringLiteral("B1")), QStringLiteral("20"));
    EXPECT_GE(s->LastUpdated, started);
    EXPECT_EQ(s->NewestFile, QStringLiteral("Report.xlsx"));

    // Its workbook not in the folder either: nothing to recalculate and nothing to report;
    // the folder is still looked through for a file to use.
    s->ClearFlags();
    s->NewestFile.clear();
    s->FullPath = QStringLiteral("/exporting/machine/Gone.xlsx");
    PromptScript::Reset();
    QDateTime dt;
    EXPECT_EQ(s->chkRefresh(dt), QString());
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(UpdatePassTest, ThePreparedCopyTakesTheCustomRangesAndChartsFromTheTemplate) {
    auto s = FolderSource(QStringLiteral("Source.xlsx"), QStringLiteral("default"));
    s->NewestFile = QStringLiteral("Source.xlsx");
    const QString tmpl = GetTemplatesFolder() + QStringLiteral("PVTmpl") + QString::number(s->ID) +
                         QStringLiteral(".xlsx");
    ASSERT_FIXTURE_SCRIPT(QStringLiteral("make_prep_workbooks.py"), {dest_ + s->NewestFile, tmpl});

    // Without custom panels the copy is made and left as it is.
    DoPrep(*s);
    ASSERT_TRUE(QFile::exists(s->Prepped()));
    EXPECT_EQ(Read(s->Prepped()), Read(dest_ + s->NewestFile));

    Exec(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, ContentType, IsCustom, SheetName, "
                        "PicRange, RelativeTo) VALUES (1, ?, 'S', 'Y', 'Data', 'B2:C3``', 'top')"),
         {s->ID});
    Exec(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, ContentType, IsCustom, SheetName, "
                        "PicRange) VALUES (1, ?, 'C', 'Y', 'Data', 'Chart 1')"),
         {s->ID});
    Exec(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, ContentType, IsCustom, SheetName, "
                        "PicRange, RelativeTo) VALUES (1, ?, 'S', 'N', 'Data', 'A1:A1``', 'top')"),
         {s->ID});
    DoPrep(*s);
    EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join(QLatin1Char('\n')).toStdString();

    ExcelApp XL;
    ASSERT_TRUE(Excel_Init(XL));
    try {
        xl::Worksheet* ws = XL->Workbooks().Open(s->Prepped())->Sheets().Item(QStringLiteral("Data"));
        EXPECT_EQ(ws->Range(QStringLiteral("B2")).Text(), QStringLiteral("custom 1"));
        EXPECT_EQ(ws->Range(QStringLiteral("C3")).Text(), QStringLiteral("custom 4"));
        // Cells outside the custom range keep the version's values.
        EXPECT_EQ(ws->Range(QStringLiteral("A1")).Text(), QStringLiteral("Region"));
        EXPECT_EQ(ws->Range(QStringLiteral("D5")).Text(), QStringLiteral("12"));
        ASSERT_EQ(ws->ChartObjects().Count(), 1);
        // The chart lands right of the data, covering none of it.
        EXPECT_EQ(ws->ChartObjects().Item(1)->TopLeftCell().Address(), QStringLiteral("$E$1"));
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
    }
    Excel_Exit(XL);

    // The version in use itself is never written.
    EXPECT_EQ(CellText(dest_ + s->NewestFile, QStringLiteral("Data"), QStringLiteral("B2")), QStringLiteral("1"));
}
