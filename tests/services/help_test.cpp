// Help: the shipped help page and topic file, and the help window opened at a topic's section.

#include "TestSupport.h"

#include "services/UserPrompts.h"
#include "services/modUtilsHelp.h"
#include "services/modUtilsLog.h"

#include <QApplication>
#include <QFile>
#include <QScrollBar>
#include <QTextBrowser>

namespace {

QList<QWidget*> HelpWindows() {
    QList<QWidget*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("frmHelp") && !w->testAttribute(Qt::WA_WState_Hidden))
            found << w;
    return found;
}

QTextBrowser* Browser() {
    const auto windows = HelpWindows();
    return windows.size() == 1 ? windows.first()->findChild<QTextBrowser*>() : nullptr;
}

class HelpTest : public ProgramFolderTest {
protected:
    void SetUp() override {
        ProgramFolderTest::SetUp();
        InitLog(GetLogFile(), false, false);
        for (const char* name : {"Sheetbeacon.html", "SheetbeaconHelp.INI"})
            ASSERT_TRUE(QFile::copy(QStringLiteral(SB_SOURCE_DIR "/resources/") +
                                        QLatin1String(name),
                                    InFolder(QLatin1String(name))));
        SetHelpFile();
    }
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("frmHelp"))
                w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetHelpFilePath(QString());
        ProgramFolderTest::TearDown();
    }
};

TEST_F(HelpTest, EveryWindowTopicHasASection) {
    EXPECT_EQ(GetHelpINIFile(), InFolder(QStringLiteral("SheetbeaconHelp.INI")));
    EXPECT_EQ(HelpFile(), InFolder(QStringLiteral("Sheetbeacon.html")));
    const QString page = testsupport::ReadText(HelpFile());
    const QStringList topics = {
        "Main", "Login", "OpenWorkspace", "TargetWorkspace", "frmWorkspace", "frmPanel",
        "frmSaveWorkspace", "frmPanelProperties", "frmRangeRelative", "frmCaption",
        "frmDrillback", "frmOptions", "frmLogin", "frmTip", "frmAbout", "frmPublish", "frmExport",
        "frmImport", "frmAltPaths", "frmAddAltPath"};
    for (const QString& topic : topics) {
        const int32_t id = GetHelpContextID(topic);
        EXPECT_GT(id, 0) << topic.toStdString();
        EXPECT_TRUE(page.contains(QStringLiteral("name=\"%1\"").arg(id))) << topic.toStdString();
    }
    // The windows' sections are told apart.
    EXPECT_NE(GetHelpContextID(QStringLiteral("OpenWorkspace")),
              GetHelpContextID(QStringLiteral("TargetWorkspace")));
    EXPECT_NE(GetHelpContextID(QStringLiteral("frmCaption")),
              GetHelpContextID(QStringLiteral("frmRangeRelative")));
    // Topics are found without regard to case, as profile keys are; blanks are no topic.
    EXPECT_EQ(GetHelpContextID(QStringLiteral("FRMOPTIONS")),
              GetHelpContextID(QStringLiteral("frmOptions")));
    EXPECT_EQ(GetHelpContextID(QStringLiteral("   ")), 0);
    EXPECT_EQ(GetHelpContextID(QString()), 0);
}

TEST_F(HelpTest, ShowHelpOpensOneWindowAtTheTopic) {
    ShowHelp(nullptr, QStringLiteral("frmImport"));
    QTextBrowser* browser = Browser();
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->source().fragment(), QString::number(GetHelpContextID("frmImport")));
    EXPECT_EQ(browser->source().toLocalFile(), HelpFile());
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Importing dashboards")));
    // A section far down the page is scrolled to.
    EXPECT_GT(browser->verticalScrollBar()->value(), 0);

    // The next request reuses the window.
    ShowHelp(nullptr, QStringLiteral("Main"));
    ASSERT_EQ(HelpWindows().size(), 1);
    EXPECT_EQ(Browser()->source().fragment(), QStringLiteral("10"));
    EXPECT_FALSE(LogText().contains(QStringLiteral("ShowHelp")));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(HelpTest, UnknownOrZeroTopicOpensTheContentsAndIsLogged) {
    testsupport::WriteText(GetHelpINIFile(),
                           testsupport::ReadText(GetHelpINIFile()) +
                               QStringLiteral("frmZero=0\nfrmWords=abc\n"));
    ShowHelp(nullptr, QStringLiteral("frmZero"));
    ASSERT_NE(Browser(), nullptr);
    EXPECT_EQ(Browser()->source().fragment(), QStringLiteral("10"));
    EXPECT_TRUE(LogText().contains(QStringLiteral("Topic [frmZero] not found in help INI file ") +
                                   GetHelpINIFile() + QStringLiteral(".")));

    ShowHelp(nullptr, QStringLiteral("frmWords"));
    EXPECT_TRUE(LogText().contains(QStringLiteral("Topic [frmWords] not found")));
    ShowHelp(nullptr, QStringLiteral("frmNoSuchForm"));
    EXPECT_TRUE(LogText().contains(QStringLiteral("Topic [frmNoSuchForm] not found")));
    EXPECT_EQ(Browser()->source().fragment(), QStringLiteral("10"));

    // A blank topic opens the contents without a word in the log.
    const QString before = LogText();
    ShowHelp(nullptr, QStringLiteral("  "));
    EXPECT_EQ(Browser()->source().fragment(), QStringLiteral("10"));
    EXPECT_EQ(LogText(), before);
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(HelpTest, MissingHelpFileShowsTheBoxAndNoWindow) {
    ASSERT_TRUE(QFile::remove(InFolder(QStringLiteral("Sheetbeacon.html"))));
    SetHelpFile();
    EXPECT_EQ(HelpFile(), QString());
    EXPECT_TRUE(LogText().contains(InFolder(QStringLiteral("Sheetbeacon.html")) +
                                   QStringLiteral(" not found. Will not be able to load help file.")));
    ShowHelp(nullptr, QStringLiteral("frmOptions"));
    ShowHelp(nullptr, QStringLiteral("Main"));
    ASSERT_EQ(PromptScript::Messages().size(), 2);
    EXPECT_EQ(PromptScript::Messages()[0], QStringLiteral("Unable to load help file. ") +
                                               InFolder(QStringLiteral("Sheetbeacon.html")) +
                                               QStringLiteral(" not found."));
    EXPECT_EQ(PromptScript::Record()[0].style, vbOKOnly | vbInformation);
    EXPECT_TRUE(HelpWindows().isEmpty());
}

TEST_F(HelpTest, HelpFileGoneSinceStartUpIsReported) {
    ASSERT_FALSE(HelpFile().isEmpty());
    ASSERT_TRUE(QFile::remove(HelpFile()));
    ShowHelp(nullptr, QStringLiteral("frmOptions"));
    EXPECT_TRUE(HelpWindows().isEmpty());
    ASSERT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(PromptScript::Messages()[0].contains(QStringLiteral("Error loading ") + HelpFile()));
    EXPECT_TRUE(LogText().contains(QStringLiteral("Error loading ") + HelpFile()));
}

}  // namespace
