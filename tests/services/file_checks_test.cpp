// The four file checks that start-up and logging need from the first moment.

#include "TestSupport.h"

#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"

#include <QDir>
#include <QFile>

using testsupport::ReadText;
using testsupport::WriteText;

class FileChecksTest : public ProgramFolderTest {
protected:
    void SetUp() override {
        ProgramFolderTest::SetUp();
        InitLog(GetLogFile(), false, false);
    }
};

TEST_F(FileChecksTest, ExistenceOfFilesAndFolders) {
    const QString file = InFolder(QStringLiteral("it's here.xlsx"));
    WriteText(file, QStringLiteral("x"));
    const QString logBefore = LogText();
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_EQ(LogText(), logBefore);  // an empty path logs nothing
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FileExists(Folder()));                      // a folder is no file
    EXPECT_FALSE(FileExists(InFolder(QStringLiteral("none"))));
    EXPECT_TRUE(FolderExists(Folder()));
    EXPECT_TRUE(FolderExists(file));                         // an existing file answers too
    EXPECT_FALSE(FolderExists(InFolder(QStringLiteral("none"))));
}

TEST_F(FileChecksTest, FolderCreateMakesOneLevelOnly) {
    EXPECT_TRUE(FolderCreate(InFolder(QStringLiteral("Panels"))));
    EXPECT_TRUE(QDir(InFolder(QStringLiteral("Panels"))).exists());
    const QString deep = InFolder(QStringLiteral("a/b"));
    EXPECT_FALSE(FolderCreate(deep));
    EXPECT_FALSE(QDir(deep).exists());
    EXPECT_TRUE(LogText().contains(QStringLiteral("Event at [modUtilsFile.FolderCreate]: ") + deep + QStringLiteral("\r\n")));
}

TEST_F(FileChecksTest, FileRenameReplacesTheTargetAndRemovesTheOld) {
    const QString oldPath = InFolder(QStringLiteral("old.log"));
    const QString newPath = InFolder(QStringLiteral("new.log"));
    const QString logBefore = LogText();
    EXPECT_FALSE(FileRename(oldPath, newPath));
    EXPECT_EQ(LogText(), logBefore);  // a missing file logs nothing
    WriteText(oldPath, QStringLiteral("new content"));
    WriteText(newPath, QStringLiteral("old content"));
    EXPECT_TRUE(FileRename(oldPath, newPath));
    EXPECT_FALSE(QFile::exists(oldPath));
    EXPECT_EQ(ReadText(newPath), QStringLiteral("new content"));
}

TEST_F(FileChecksTest, PathSeparatorFollowsThePath) {
    EXPECT_EQ(GetPathSeparator(QStringLiteral("a/b\\c")), QStringLiteral("/"));
    EXPECT_EQ(GetPathSeparator(QStringLiteral("a\\b")), QStringLiteral("\\"));
    EXPECT_EQ(GetPathSeparator(QString()), QStringLiteral("\\"));
}
