// Files and folders: path splitting, the newest file of a mask, copying over a target without
// ever leaving half a file, file times and the folder picker, all on real files.

#include "TestSupport.h"

#include "services/UserPrompts.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsFolder.h"
#include "services/modUtilsLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/resource.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

// Readable failures.
static void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace {

class FilesTest : public ProgramFolderTest {
protected:
    void SetUp() override {
        ProgramFolderTest::SetUp();
        InitLog(GetLogFile(), false, false);
    }
    // Makes a file with its modification time set.
    QString Make(const QString& folder, const QString& name, const QByteArray& bytes,
                 const QDateTime& modified) {
        const QString path = folder + QLatin1Char('/') + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        EXPECT_TRUE(AdjustFileTime(path, modified));
        return path;
    }
    QByteArray Bytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    QStringList Hidden(const QString& folder) {
        return QDir(folder).entryList(QDir::Hidden | QDir::Files | QDir::NoDotAndDotDot)
            .filter(QRegularExpression(QStringLiteral("^\\.")));
    }
    const QDateTime t0{QDate(2024, 3, 1), QTime(9, 0)};
};

TEST_F(FilesTest, SplitPathAndFolderForms) {
    QString folder = QStringLiteral("unchanged"), name, ext = QStringLiteral("unchanged");
    SplitPath(QStringLiteral("C:\\a\\b.c.xls"), &folder, &name, &ext);
    EXPECT_EQ(folder, QStringLiteral("C:\\a"));
    EXPECT_EQ(name, QStringLiteral("b.c"));
    EXPECT_EQ(ext, QStringLiteral("xls"));

    name.clear();
    SplitPath(QStringLiteral("C:\\a\\b.c.xls"), nullptr, &name);
    EXPECT_EQ(name, QStringLiteral("b.c.xls"));

    SplitPath(QStringLiteral("report"), &folder, &name);
    EXPECT_EQ(folder, QString());
    EXPECT_EQ(name, QStringLiteral("report"));

    ext = QStringLiteral("kept");
    SplitPath(QStringLiteral("C:\\a\\.profile"), &folder, &name, &ext);
    EXPECT_EQ(ext, QStringLiteral("kept"));
    EXPECT_EQ(name, QStringLiteral(".profile"));

    // Linux paths, blanks, apostrophes and other scripts; a "/" anywhere makes "/" the separator.
    SplitPath(QStringLiteral("/home/anne/Q1 l'été/Ventes – 2024.xlsx"), &folder, &name, &ext);
    EXPECT_EQ(folder, QStringLiteral("/home/anne/Q1 l'été"));
    EXPECT_EQ(name, QStringLiteral("Ventes – 2024"));
    EXPECT_EQ(ext, QStringLiteral("xlsx"));
    SplitPath(QStringLiteral("/data/odd\\name.csv"), &folder, &name, &ext);
    EXPECT_EQ(folder, QStringLiteral("/data"));
    EXPECT_EQ(name, QStringLiteral("odd\\name"));
    // A file in the root: no folder, and the name without the separator.
    SplitPath(QStringLiteral("/top.xlsx"), &folder, &name, &ext);
    EXPECT_EQ(folder, QString());
    EXPECT_EQ(name, QStringLiteral("top"));

    EXPECT_EQ(GetPathSeparator(QStringLiteral("a/b\\c")), QStringLiteral("/"));
    EXPECT_EQ(GetPathSeparator(QStringLiteral("  ")), QStringLiteral("\\"));
    EXPECT_EQ(GetFolder(QStringLiteral("\\x.xls")), QString());
    EXPECT_EQ(GetFolder(QStringLiteral("x.xls")), QString());
    EXPECT_EQ(GetFolder(QStringLiteral("/srv/in/")), QStringLiteral("/srv/in"));
    EXPECT_EQ(GetFolder(QStringLiteral("a/b\\c")), QStringLiteral("a"));
}

TEST_F(FilesTest, NewestMatchPicksTheLatestNormalFile) {
    const QString dir = InFolder(QStringLiteral("Sales l'été"));
    ASSERT_TRUE(QDir().mkpath(dir));
    Make(dir, QStringLiteral("week1.xlsx"), "1", t0);
    Make(dir, QStringLiteral("Week3.XLSX"), "3", t0.addDays(2));
    Make(dir, QStringLiteral("week2.xlsx"), "2", t0.addDays(1));
    // Newer still, but not normal files of the search.
    Make(dir, QStringLiteral(".week9.xlsx"), "h", t0.addDays(9));
    ASSERT_TRUE(QDir(dir).mkdir(QStringLiteral("week8.xlsx")));
    ASSERT_TRUE(AdjustFileTime(dir + QStringLiteral("/week8.xlsx"), t0.addDays(8)));
    Make(dir, QStringLiteral("week7.csv"), "c", t0.addDays(7));

    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/*.xlsx")), dir + QStringLiteral("/Week3.XLSX"));
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/WEEK?.xlsx")), dir + QStringLiteral("/Week3.XLSX"));
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/week1*")), dir + QStringLiteral("/week1.xlsx"));
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/*")), dir + QStringLiteral("/week7.csv"));
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/week?.xls")), QString());
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/*.pdf")), QString());
    EXPECT_EQ(NewestMatch(QString()), QString());
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/")), QString());
    // A folder that is gone (a share that went away) is "none", not "nothing matched".
    EXPECT_EQ(NewestMatch(InFolder(QStringLiteral("gone/*.xlsx"))), QStringLiteral("none"));
    EXPECT_EQ(NewestMatch(InFolder(QStringLiteral("week1.xlsx/*"))), QStringLiteral("none"));
    // The search is silent.
    EXPECT_FALSE(LogText().contains(QStringLiteral("NewestMatch")));
}

TEST_F(FilesTest, NewestMatchMasksAreLiteralExceptWildcards) {
    const QString dir = InFolder(QStringLiteral("masks"));
    ASSERT_TRUE(QDir().mkpath(dir));
    Make(dir, QStringLiteral("a[1](x)+.xlsx"), "x", t0);
    Make(dir, QStringLiteral("a1x.xlsx"), "y", t0.addDays(1));
    Make(dir, QStringLiteral("README"), "r", t0.addDays(2));
    Make(dir, QStringLiteral("notes.txt"), "n", t0.addDays(3));

    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/a[1](x)+.xlsx")),
              dir + QStringLiteral("/a[1](x)+.xlsx"));
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/a[1]*")), dir + QStringLiteral("/a[1](x)+.xlsx"));
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/a.1.*")), QString());
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/a+*")), QString());
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/^a1x$.xlsx")), QString());
    // The dot habits of the file search: "*.*" is every file, "name.*" takes the bare name,
    // "*." the names without an extension.
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/*.*")), dir + QStringLiteral("/notes.txt"));
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/readme.*")), dir + QStringLiteral("/README"));
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/*.")), dir + QStringLiteral("/README"));
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/*.t")), QString());
}

TEST_F(FilesTest, NewestMatchTieGoesToTheFirstListed) {
    const QString dir = Folder();
    for (const char* n : {"b.xlsx", "a.xlsx", "d.xlsx", "c.xlsx"})
        Make(dir, QString::fromLatin1(n), n, t0);
    QString first;
    for (const auto& entry : std::filesystem::directory_iterator(dir.toStdString()))
        if (entry.path().extension() == ".xlsx") {
            first = QString::fromStdString(entry.path().filename().string());
            break;
        }
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(NewestMatch(dir + QStringLiteral("/*.xlsx")), dir + QLatin1Char('/') + first);
}

TEST_F(FilesTest, AdjustFileTimeSetsModificationAndAccess) {
    const QString path = Make(Folder(), QStringLiteral("v.xlsx"), "v", t0);
    const QDateTime when(QDate(2021, 12, 31), QTime(23, 59, 58));
    ASSERT_TRUE(AdjustFileTime(path, when));
    EXPECT_EQ(QFileInfo(path).lastModified(), when);
    EXPECT_EQ(QFileInfo(path).lastRead(), when);
    // Folders take times too.
    EXPECT_TRUE(AdjustFileTime(Folder(), when));

    EXPECT_FALSE(AdjustFileTime(InFolder(QStringLiteral("missing.xlsx")), when));
    EXPECT_TRUE(LogText().contains(QStringLiteral("AdjustFileTime")));
    EXPECT_TRUE(LogText().contains(QStringLiteral("missing.xlsx")));
    EXPECT_FALSE(AdjustFileTime(path, QDateTime()));
}

TEST_F(FilesTest, FileCopyReplacesTheTargetWhole) {
    const QString src = Make(Folder(), QStringLiteral("Budget l'an 2024.xlsx"), "new contents", t0);
    const QString out = InFolder(QStringLiteral("Copies été"));
    ASSERT_TRUE(QDir().mkpath(out));
    const QString dst = Make(out, QStringLiteral("Budget.xlsx"), "old contents that are longer",
                             t0.addDays(-5));

    ASSERT_TRUE(File_Copy(src, dst));
    EXPECT_EQ(Bytes(dst), QByteArray("new contents"));
    EXPECT_EQ(Bytes(src), QByteArray("new contents"));
    // The copy keeps the version's date, as the update pass dates versions by it.
    EXPECT_EQ(QFileInfo(dst).lastModified(), t0);
    EXPECT_TRUE(Hidden(out).isEmpty());

    // A target ending in a separator is the folder to copy into.
    ASSERT_TRUE(File_Copy(src, out + QLatin1Char('/')));
    EXPECT_EQ(Bytes(out + QStringLiteral("/Budget l'an 2024.xlsx")), QByteArray("new contents"));
    // A new, empty source gives an empty file.
    const QString empty = Make(Folder(), QStringLiteral("empty.xlsx"), QByteArray(), t0);
    ASSERT_TRUE(File_Copy(empty, dst));
    EXPECT_EQ(QFileInfo(dst).size(), 0);
}

TEST_F(FilesTest, FileCopyFailuresLeaveTheTargetAlone) {
    const QString dst = Make(Folder(), QStringLiteral("target.xlsx"), "old", t0);
    EXPECT_FALSE(File_Copy(InFolder(QStringLiteral("nothere.xlsx")), dst));
    EXPECT_FALSE(File_Copy(Folder(), dst));  // a folder is no file to copy
    EXPECT_FALSE(File_Copy(dst, InFolder(QStringLiteral("no/such/folder/x.xlsx"))));
    EXPECT_FALSE(File_Copy(dst, dst));
    EXPECT_FALSE(File_Copy(dst, QString()));
    EXPECT_FALSE(File_Copy(dst, Folder()));  // a folder named without its separator
    EXPECT_EQ(Bytes(dst), QByteArray("old"));
    EXPECT_TRUE(Hidden(Folder()).isEmpty());
    const QString log = LogText();
    EXPECT_TRUE(log.contains(QStringLiteral("File_Copy")));
    EXPECT_TRUE(log.contains(QStringLiteral("nothere.xlsx")));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(FilesTest, InterruptedCopyKeepsTheOldTarget) {
    const QString src = Make(Folder(), QStringLiteral("big.xlsx"), QByteArray(3 << 20, 'n'), t0);
    const QString dst = Make(Folder(), QStringLiteral("dest.xlsx"), "the old version", t0);
    // A file-size limit makes the writes fail part-way, as a full disk does.
    rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1 << 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool copied = File_Copy(src, dst);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(copied);
    EXPECT_EQ(Bytes(dst), QByteArray("the old version"));
    EXPECT_TRUE(Hidden(Folder()).isEmpty());
    EXPECT_TRUE(LogText().contains(QStringLiteral("dest.xlsx"))) << LogText().toStdString();
    EXPECT_TRUE(LogText().contains(QStringLiteral("large"), Qt::CaseInsensitive));
}

TEST_F(FilesTest, ASourceThatChangesWhileItIsCopiedIsNotCopied) {
    // Still being written by another program: a byte added every tenth of a millisecond for as
    // long as the copy runs.
    const QString src =
        Make(Folder(), QStringLiteral("growing.xlsx"), QByteArray(64 << 20, 'g'), t0);
    const QString dst = Make(Folder(), QStringLiteral("dest.xlsx"), "the old version", t0);
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        QFile f(src);
        if (!f.open(QIODevice::Append))
            return;
        while (writing) {
            f.write("+");
            f.flush();
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    const CopyOutcome copied = File_CopyOutcome(src, dst);
    writing = false;
    writer.join();

    EXPECT_FALSE(copied.copied);
    EXPECT_TRUE(copied.sourceChanged);
    EXPECT_EQ(Bytes(dst), QByteArray("the old version"));
    EXPECT_TRUE(Hidden(Folder()).isEmpty());
    EXPECT_TRUE(LogText().contains(QStringLiteral("it changed while it was copied")));

    // At rest, the same file copies; a copy its reader refuses is not kept.
    ASSERT_TRUE(File_CopyOutcome(src, dst).copied);
    EXPECT_EQ(QFileInfo(dst).size(), QFileInfo(src).size());
    const CopyOutcome refused =
        File_CopyOutcome(src, dst, [](const QString&) { return QStringLiteral("no"); });
    EXPECT_FALSE(refused.copied);
    EXPECT_EQ(refused.refused, QStringLiteral("no"));
    EXPECT_TRUE(Hidden(Folder()).isEmpty());
}

TEST_F(FilesTest, WindowsStyleSeparatorsWork) {
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Folder()));
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("in box")) && QDir().mkpath(QStringLiteral("out")));
    Make(QStringLiteral("in box"), QStringLiteral("Feb.xlsx"), "feb", t0);
    Make(QStringLiteral("in box"), QStringLiteral("Mar.xlsx"), "mar", t0.addDays(30));
    const QString newest = NewestMatch(QStringLiteral("in box\\*.XLSX"));
    const bool copied = File_Copy(newest, QStringLiteral("out\\"));
    const bool timed = AdjustFileTime(QStringLiteral("out\\Mar.xlsx"), t0);
    const bool exists = FileExists(QStringLiteral("out\\Mar.xlsx")) &&
                        FolderExists(QStringLiteral("in box\\")) &&
                        FolderCreate(QStringLiteral("out\\made")) &&
                        FileRename(QStringLiteral("out\\Mar.xlsx"), QStringLiteral("out\\made\\M.xlsx"));
    QDir::setCurrent(cwd);
    EXPECT_TRUE(exists);
    EXPECT_TRUE(QFileInfo(InFolder(QStringLiteral("out/made/M.xlsx"))).isFile());
    EXPECT_EQ(newest, QStringLiteral("in box\\Mar.xlsx"));
    EXPECT_TRUE(copied);
    EXPECT_TRUE(timed);
    EXPECT_EQ(Bytes(InFolder(QStringLiteral("out/made/M.xlsx"))), QByteArray("mar"));
    EXPECT_EQ(QFileInfo(InFolder(QStringLiteral("out/made/M.xlsx"))).lastModified(), t0);
}

TEST_F(FilesTest, BrowseFolderAsksThroughTheDialog) {
    PromptScript::QueueDialog(QStringLiteral("folder"), InFolder(QStringLiteral("Out/")));
    EXPECT_EQ(BrowseFolder(nullptr, QStringLiteral("Select destination folder"), Folder()),
              InFolder(QStringLiteral("Out")));
    ASSERT_EQ(PromptScript::Record().size(), 1u);
    EXPECT_EQ(PromptScript::Record()[0].kind, QStringLiteral("folder"));
    EXPECT_EQ(PromptScript::Record()[0].title, QStringLiteral("Select destination folder"));
    EXPECT_EQ(PromptScript::Record()[0].text, Folder());

    PromptScript::QueueDialog(QStringLiteral("folder"), QStringLiteral("/"));
    EXPECT_EQ(BrowseFolder(nullptr, QStringLiteral("Pick"), QString()), QStringLiteral("/"));
    // Cancel.
    EXPECT_EQ(BrowseFolder(nullptr, QStringLiteral("Pick"), Folder()), QString());
}

}  // namespace
