// Where file and folder dialogs start: the folder of the file or folder concerned, else the
// folder the last dialog was answered in, else the home folder; never the program folder.

#include "TestSupport.h"

#include "services/UserPrompts.h"

#include <QDir>

namespace {

class DialogStartTest : public ProgramFolderTest {
protected:
    void SetUp() override {
        ProgramFolderTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(InFolder(QStringLiteral("data/reports"))));
        ASSERT_TRUE(QDir().mkpath(InFolder(QStringLiteral("shared"))));
        testsupport::WriteText(InFolder(QStringLiteral("data/Sales.xlsx")), QStringLiteral("x"));
    }
    // The folder (or path) the last dialog started at.
    static QString LastStart() {
        return PromptScript::Record().empty() ? QString() : PromptScript::Record().back().text;
    }
};

TEST_F(DialogStartTest, TheFileOrFolderConcernedDecides) {
    const QString data = InFolder(QStringLiteral("data"));
    AskOpenFile(nullptr, QStringLiteral("t"), data + QStringLiteral("/Sales.xlsx"), QString());
    EXPECT_EQ(LastStart(), data);
    // A file that is not there (any more) still names its folder.
    AskOpenFile(nullptr, QStringLiteral("t"), data + QStringLiteral("/Gone.xlsx"), QString());
    EXPECT_EQ(LastStart(), data);
    AskFolder(nullptr, QStringLiteral("t"), data + QStringLiteral("/reports/"));
    EXPECT_EQ(LastStart(), data + QStringLiteral("/reports"));
    // Saving offers the concerned file's name in its folder.
    AskSaveFile(nullptr, QStringLiteral("t"), data + QStringLiteral("/out.pvds"), QString());
    EXPECT_EQ(LastStart(), data + QStringLiteral("/out.pvds"));
}

TEST_F(DialogStartTest, WithoutAUsableFileTheLastFolderUsedThenHome) {
    // Nothing concerned and nothing answered yet: the home folder, not the program folder.
    AskOpenFile(nullptr, QStringLiteral("t"), QString(), QString());
    EXPECT_EQ(LastStart(), QDir::homePath());
    AskSaveFile(nullptr, QStringLiteral("t"), QString(), QString());
    EXPECT_EQ(LastStart(), QDir::homePath());

    // An answer in one dialog is where the next one without a file of its own starts, whatever
    // kind of dialog it is.
    const QString shared = InFolder(QStringLiteral("shared"));
    PromptScript::QueueDialog(QStringLiteral("save"), shared + QStringLiteral("/mine.pvds"));
    AskSaveFile(nullptr, QStringLiteral("export"), QString(), QString());
    AskOpenFile(nullptr, QStringLiteral("import"), QString(), QString());
    EXPECT_EQ(LastStart(), shared);
    PromptScript::QueueDialog(QStringLiteral("folder"), InFolder(QStringLiteral("data/reports/")));
    AskFolder(nullptr, QStringLiteral("t"), QString());
    AskFolder(nullptr, QStringLiteral("t"), QString());
    EXPECT_EQ(LastStart(), InFolder(QStringLiteral("data/reports")));

    // A concerned path of no use here: a folder gone with its parent, a relative path, another
    // platform's path. A cancelled dialog changes nothing.
    for (const QString& useless : {InFolder(QStringLiteral("gone/deeper/x.xlsx")), QStringLiteral("x.xlsx"),
                                   QStringLiteral("C:\\Data\\Sales.xlsx")}) {
        AskOpenFile(nullptr, QStringLiteral("t"), useless, QString());
        EXPECT_EQ(LastStart(), InFolder(QStringLiteral("data/reports"))) << useless.toStdString();
    }

    // A remembered folder that has gone since is passed over.
    ASSERT_TRUE(QDir(InFolder(QStringLiteral("data/reports"))).removeRecursively());
    AskOpenFile(nullptr, QStringLiteral("t"), QString(), QString());
    EXPECT_EQ(LastStart(), QDir::homePath());
}

}  // namespace
