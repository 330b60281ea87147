// The program on real disks that refuse it: a program folder on a full disk or a read-only one, a
// read-only repository file, a picture cache with no room left, and a workbook in use caught while
// it is rewritten. Each disk is a small tmpfs of the test's own (see MountedDisk.h).

#include "DialogTestSupport.h"
#include "WindowTestSupport.h"

#include "MaildirFixture.h"
#include "MountedDisk.h"
#include "services/App.h"
#include "services/modUtilsINI.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsOutlook.h"
#include "services/modUtilsRepository.h"
#include "sharing/modPublish.h"
#include "windows/frmOptions.h"

#include <QDir>
#include <QImage>

#include <functional>

namespace {

QString FullText(const QString& folder) {
    return QStringLiteral("The disk that holds ") + folder + QStringLiteral(" is full.");
}

}  // namespace

// A program folder that is a disk of its own, 64 MB, with one dashboard "Sales" of one panel
// painted from Sales.xlsx beside the program.
class DiskTest : public WindowTest {
protected:
    void SetUp() override {
        disk_ = std::make_unique<testsupport::MountedDisk>(Folder(), 64 << 20);
        ASSERT_MOUNTED(*disk_);
        WindowTest::SetUp();
        source_ = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
        dashboard_ = AddDashboard(QStringLiteral("Sales"));
        panel_ = AddPanel(dashboard_, source_, QStringLiteral("Revenue"));
        // Start-up reads the options: titles read as the captions.
        testsupport::WriteText(
            GetINIFile(),
            QStringLiteral("[Options]\r\nPanel Time Stamp=0\r\nCaption Alignment=Left\r\n"));
    }
    void TearDown() override {
        WindowTest::TearDown();
        disk_.reset();
    }
    // Starts the program as a user does, from its own folder as it now stands.
    bool StartProgram() {
        gDB.reset();
        ResetLog();
        return Main([this] { StartWindow(); });
    }
    testsupport::MountedDisk& Disk() { return *disk_; }
    // Starts the program, which shows the dashboard without a box, makes `edit` and saves:
    // refused, saying why after the repository's name.
    void StartsAndSavingSays(const QString& why, const std::function<void()>& edit = [] {}) {
        ASSERT_TRUE(StartProgram());
        ASSERT_TRUE(Window());
        EXPECT_EQ(PanelTitles(), QStringList{QStringLiteral("Revenue")});
        EXPECT_TRUE(PromptScript::Messages().isEmpty())
            << PromptScript::Messages().join('\n').toStdString();
        edit();
        Click("mnuWorkspaceSave");
        EXPECT_EQ(PromptScript::Messages(),
                  QStringList{QStringLiteral("Sheetbeacon could not save to ") + GetRepositoryFile() +
                              QStringLiteral(".\r\n") + why});
    }

    int32_t source_ = 0, dashboard_ = 0, panel_ = 0;

private:
    std::unique_ptr<testsupport::MountedDisk> disk_;
};

TEST_F(DiskTest, AProgramFolderOnAReadOnlyDiskStartsShowsItsDashboardsAndSaysWhySavingFails) {
    gDB.reset();
    ASSERT_TRUE(Disk().SetReadOnly(true));
    const QByteArray before = testsupport::ReadBytes(GetRepositoryFile());

    ASSERT_NO_FATAL_FAILURE(
        StartsAndSavingSays(QStringLiteral("The disk that holds ") + Folder() + QStringLiteral(" is read-only.")));
    EXPECT_EQ(ListTexts(), QStringList{QStringLiteral("Sales")});
    EXPECT_EQ(testsupport::ReadBytes(GetRepositoryFile()), before);
}

TEST_F(DiskTest, AReadOnlyRepositoryFileStartsAndSavingSaysTheFileIsReadOnly) {
    gDB.reset();
    testsupport::ReadOnlyFile readOnly(GetRepositoryFile());
    ASSERT_MOUNTED(readOnly);

    ASSERT_NO_FATAL_FAILURE(StartsAndSavingSays(GetRepositoryFile() + QStringLiteral(" is read-only.")));
    // Opening the dashboard could not note the time it was opened: logged, not shown.
    EXPECT_TRUE(LogText().contains(QStringLiteral("Caller: clsWorkspace.LoadFromDB")));
}

TEST_F(DiskTest, AProgramFolderOnAFullDiskStartsAndSavesOnceThereIsRoom) {
    // The picture is cached first, so that nothing but the repository wants room.
    ASSERT_TRUE(StartProgram());
    ASSERT_EQ(PanelTitles(), QStringList{QStringLiteral("Revenue")});
    delete Window();
    ASSERT_TRUE(Disk().Fill());

    ASSERT_NO_FATAL_FAILURE(StartsAndSavingSays(
        FullText(Folder()), [] { gWorkspace->Panels(1)->Caption = QStringLiteral("Revenue by region"); }));
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Caption FROM DsbSavedPanel WHERE ID = ?"), {panel_}),
              QStringLiteral("Revenue"));

    Disk().Free();
    PromptScript::Reset();
    Click("mnuWorkspaceSave");
    EXPECT_TRUE(PromptScript::Messages().isEmpty())
        << PromptScript::Messages().join('\n').toStdString();
    EXPECT_EQ(TextOf(QStringLiteral("SELECT Caption FROM DsbSavedPanel WHERE ID = ?"), {panel_}),
              QStringLiteral("Revenue by region"));
}

TEST_F(DiskTest, APictureCachedOnAFullDiskIsWrittenWholeOrNotAtAll) {
    const QString cache = PanelPicturePath(panel_);
    ASSERT_FALSE(cache.isEmpty());
    // Room for a good part of the picture, not for all of it.
    ASSERT_TRUE(Disk().Fill(8 * 1024));
    StartWindow();
    ASSERT_EQ(PanelTitles(), QStringList{QStringLiteral("Revenue")});
    EXPECT_FALSE(QFile::exists(cache));
    EXPECT_EQ(QDir(QFileInfo(cache).path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    EXPECT_TRUE(LogText().contains(QStringLiteral("The picture of panel ") +
                                   QString::number(panel_) + QStringLiteral(" was not cached: ") +
                                   FullText(QFileInfo(cache).absolutePath())))
        << LogText().toStdString();
    EXPECT_TRUE(PromptScript::Messages().isEmpty())
        << PromptScript::Messages().join('\n').toStdString();

    // With room again the next painting caches the whole picture.
    Disk().Free();
    Click("mnuWorkspaceRefresh");
    const QImage cached(cache);
    ASSERT_FALSE(cached.isNull());
    EXPECT_GT(cached.width(), 50);
    EXPECT_GT(cached.height(), 20);
}

TEST_F(DiskTest, EveryWriteThatFindsTheDiskFullSaysSo) {
    const QString full = Folder();
    const QString workbook = FixtureWorkbookFolder() + QStringLiteral("/Sales.xlsx");
    const QString templatePath = TemplatePathFor(QStringLiteral("Sales"));
    const QString mail = Folder() + QStringLiteral("/mail");
    ASSERT_EQ(INI_WriteString(GetINIFile(), QStringLiteral("Settings"),
                              QStringLiteral("Mail Store"), testsupport::SharedMaildirRoot()),
              0);
    ASSERT_TRUE(QDir().mkpath(mail));
    struct Row {
        const char* what;
        std::function<void()> write;
        QString message;  // what the user is told
    };
    const Row rows[] = {
        {"the options",
         [] {
             frmOptions dialog;
             dialog.Form_Activate();
             Press(&dialog, "cmdOK");
             EXPECT_FALSE(dialog.IsUnloaded());
         },
         QStringLiteral("The options could not be saved in ") + GetINIFile() +
             QStringLiteral(".\r\n") + FullText(Folder())},
        {"a copy from a watched folder",
         [&] {
             clsPanelSource s;
             s.Mask = QStringLiteral("Sales.xlsx");
             s.SourceFolder = FixtureWorkbookFolder() + QLatin1Char('/');
             s.DestFolder = full + QLatin1Char('/');
             s.UpdateType = QStringLiteral("folder");
             PromptScript::QueueMsgBox(vbNo);
             QDateTime dt;
             (void)s.chkSrcFolder(dt);
         },
         QStringLiteral("Unable to copy ") + workbook + QStringLiteral(" to ") + full +
             QStringLiteral("/.\r\n") + FullText(full) +
             QStringLiteral("\r\nThen click Yes to retry copying the file.")},
        {"a mail attachment",
         [&] {
             QDateTime newest;
             EXPECT_EQ(NewestAttach(QStringLiteral("Sales report*"), QStringLiteral("Sales*.xlsx"),
                                    QString(),
                                    QDateTime::fromSecsSinceEpoch(testsupport::kMailT0 - 86400),
                                    mail, newest),
                       QString());
         },
         QStringLiteral("Unable to save attachment as [") + mail +
             QStringLiteral("/Sales 2023-46.xlsx].  ") + FullText(mail)},
        {"a dashboard's template",
         [&] {
             PromptScript::QueueDialog(QStringLiteral("frmPublish"), workbook);
             PublishWorkspace(QStringLiteral("Sales"), 1, [](QPixmap*) { return false; });
         },
         QStringLiteral("Unable to copy [") + workbook + QStringLiteral("] to [") + templatePath +
             QStringLiteral("].  ") + FullText(QFileInfo(templatePath).absolutePath())},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PromptScript::Reset();
        ASSERT_TRUE(Disk().Fill());
        row.write();
        ASSERT_FALSE(PromptScript::Messages().isEmpty());
        EXPECT_EQ(PromptScript::Messages().last(), row.message);
        Disk().Free();
    }
    // Nothing cut short was left behind, and what was there stays as it was.
    for (const QString& folder : {full, mail, QFileInfo(templatePath).absolutePath()})
        EXPECT_EQ(QDir(folder).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden),
                  QStringList())
            << folder.toStdString();
    EXPECT_FALSE(QFile::exists(templatePath));
    EXPECT_EQ(testsupport::ReadBytes(full + QStringLiteral("/Sales.xlsx")),
              testsupport::ReadBytes(workbook));
    EXPECT_EQ(INI_ReadString(GetINIFile(), QStringLiteral("Settings"), QStringLiteral("Mail Store"),
                             QString()),
              testsupport::SharedMaildirRoot());
}

// A dashboard whose workbook in use is rewritten in place by another program while the user
// refreshes: caught half-way it is no workbook yet.
class ArrivingWorkbookTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
        panel_ = AddPanel(AddDashboard(QStringLiteral("Sales")), source, QStringLiteral("Revenue"));
        whole_ = testsupport::ReadBytes(InFolder(QStringLiteral("Sales.xlsx")));
    }
    // The program writing the file has got through its first fifth.
    void CatchHalfWay() const {
        testsupport::WriteBytes(InFolder(QStringLiteral("Sales.xlsx")),
                                whole_.left(whole_.size() / 5));
    }
    int32_t panel_ = 0;
    QByteArray whole_;
};

TEST_F(ArrivingWorkbookTest, ARefreshKeepsThePanelsPictureAndOffersNoDeletion) {
    StartWindow();
    const QString cache = PanelPicturePath(panel_);
    ASSERT_TRUE(QFile::exists(cache));
    const QByteArray picture = testsupport::ReadBytes(cache);
    CatchHalfWay();

    Click("mnuWorkspaceRefresh");
    EXPECT_TRUE(PromptScript::Messages().isEmpty())
        << PromptScript::Messages().join('\n').toStdString();
    EXPECT_EQ(PanelTitles(), QStringList{QStringLiteral("Revenue")});
    EXPECT_EQ(testsupport::ReadBytes(cache), picture);
    EXPECT_TRUE(LogText().contains(InFolder(QStringLiteral("Sales.xlsx")) +
                                   QStringLiteral(" is not painted from yet: ")));

    // Whole again: the next refresh paints from it.
    testsupport::WriteBytes(InFolder(QStringLiteral("Sales.xlsx")), whole_);
    Click("mnuWorkspaceRefresh");
    EXPECT_TRUE(PromptScript::Messages().isEmpty())
        << PromptScript::Messages().join('\n').toStdString();
    EXPECT_EQ(PanelTitles(), QStringList{QStringLiteral("Revenue")});
    EXPECT_TRUE(QFile::exists(cache));
}

TEST_F(ArrivingWorkbookTest, APanelWithNoPictureYetWaitsForTheWholeFileAndIsKept) {
    StartWindow();
    ASSERT_TRUE(QFile::remove(PanelPicturePath(panel_)));
    CatchHalfWay();

    Click("mnuWorkspaceRefresh");
    const QString path = InFolder(QStringLiteral("Sales.xlsx"));
    ASSERT_EQ(PromptScript::Messages().size(), 1)
        << PromptScript::Messages().join('\n').toStdString();
    EXPECT_TRUE(
        PromptScript::Messages()[0].startsWith(QStringLiteral("Unable to load panel.  [") + path +
                                               QStringLiteral("] is not a whole workbook yet: ")));
    EXPECT_TRUE(PromptScript::Messages()[0].endsWith(
        QStringLiteral("\r\nRefresh the dashboard once the whole file is there.")));
    // No deletion was offered, and the panel is still the dashboard's, stored and unchanged.
    EXPECT_TRUE(PanelTitles().isEmpty());
    EXPECT_EQ(gWorkspace->NumPanels(), 1);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT count(*) FROM DsbSavedPanel WHERE ID = ?"), {panel_}),
              1);

    testsupport::WriteBytes(path, whole_);
    PromptScript::Reset();
    Click("mnuWorkspaceRefresh");
    EXPECT_TRUE(PromptScript::Messages().isEmpty())
        << PromptScript::Messages().join('\n').toStdString();
    EXPECT_EQ(PanelTitles(), QStringList{QStringLiteral("Revenue")});
}
