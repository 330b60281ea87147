#include "ui/MailFolderDialog.h"
#include "services/UserPrompts.h"
#include "services/modUtilsINI.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsOutlook.h"

#include "MaildirFixture.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>

namespace {

using testsupport::kMailT0;

QDateTime At(qint64 secondsAfterT0) { return QDateTime::fromSecsSinceEpoch(kMailT0 + secondsAfterT0); }
constexpr qint64 kDay = 86400;

class OutlookTest : public ProgramFolderTest {
protected:
    static QString StoreRoot() { return testsupport::SharedMaildirRoot(); }

    void SetUp() override {
        ProgramFolderTest::SetUp();
        InitLog(GetLogFile(), false, false);
        UseStore(StoreRoot());
        gOutlookWasRunning = false;
    }
    void UseStore(const QString& root) {
        ASSERT_EQ(INI_WriteString(GetINIFile(), QStringLiteral("Settings"),
                                  QStringLiteral("Mail Store"), root),
                  0);
    }
    QString Out() const { return InFolder(QStringLiteral("out/")); }
    static QByteArray ReadBytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // A search from 10 days before the fixture's dates with no newest time yet.
    QString Search(const QString& subject, const QString& attach, const QString& folder,
                   QDateTime* newest = nullptr, const QDateTime& since = At(-10 * kDay)) {
        QDateTime local;
        QDateTime& n = newest ? *newest : local;
        // The store's own behaviour, on attachments of every kind; the source update's
        // workbooks-only rule has tests of its own.
        return NewestAttach(subject, attach, folder, since, Out(), n, SavableAttachments::Any);
    }
};

TEST(WildcardPatterns, TranslateWildcardsAndMatchEverythingElseLiterally) {
    EXPECT_EQ(WildcardToRegExp(QStringLiteral("*")), QStringLiteral("^.*"));
    EXPECT_EQ(WildcardToRegExp(QStringLiteral("a?c")), QStringLiteral("^a.c"));
    EXPECT_EQ(WildcardToRegExp(QStringLiteral("Re: x")), QStringLiteral("^Re: x"));
    EXPECT_EQ(WildcardToRegExp(QStringLiteral("Sales*.xls")), QStringLiteral("^Sales.*\\.xls"));
    EXPECT_EQ(WildcardToRegExp(QString()), QStringLiteral("^"));

    auto matches = [](const QString& pattern, const QString& text) {
        return QRegularExpression(WildcardToRegExp(pattern), QRegularExpression::CaseInsensitiveOption)
            .match(text)
            .hasMatch();
    };
    EXPECT_TRUE(matches(QStringLiteral("Re: x"), QStringLiteral("Re: x")));
    EXPECT_FALSE(matches(QStringLiteral("Re: x"), QStringLiteral("Re. x")));
    EXPECT_TRUE(matches(QStringLiteral("Sales*.xls"), QStringLiteral("Sales 2007.xlsx")));  // open end
    EXPECT_TRUE(matches(QStringLiteral("sales*"), QStringLiteral("SALES.XLSX")));
    EXPECT_FALSE(matches(QStringLiteral("Sales*.xls"), QStringLiteral("SalesXxls")));
    EXPECT_FALSE(matches(QStringLiteral("Sales"), QStringLiteral("My Sales")));  // anchored start
    EXPECT_TRUE(matches(QStringLiteral("Cost (Q1) [final] + $5"), QStringLiteral("Cost (Q1) [final] + $5")));
    EXPECT_FALSE(matches(QStringLiteral("a+b"), QStringLiteral("aab")));
    EXPECT_FALSE(matches(QStringLiteral("(x|y)"), QStringLiteral("x")));
    EXPECT_TRUE(matches(QStringLiteral("c:\\tmp\\{1}"), QStringLiteral("C:\\TMP\\{1}")));
    EXPECT_TRUE(QRegularExpression(WildcardToRegExp(QStringLiteral("[(*"))).isValid());

    EXPECT_EQ(StripTrailingWildcard(QStringLiteral("Sales*")), QStringLiteral("Sales"));
    EXPECT_EQ(StripTrailingWildcard(QStringLiteral("*Sales")), QStringLiteral("*Sales"));
    EXPECT_EQ(StripTrailingWildcard(QString()), QString());
}

TEST_F(OutlookTest, PatternsMatchSubjectsAndNamesFullOfSpecialCharacters) {
    const QString patterns = QStringLiteral("Patterns`Patterns");
    // "ReX x" is the newer mail, but the colon of the pattern is a colon.
    const QString saved = Search(QStringLiteral("Re: x"), QStringLiteral("plain"), patterns);
    EXPECT_EQ(ReadBytes(saved), QByteArray("p"));
    EXPECT_EQ(Search(QStringLiteral("cost (q1) [final] + $5"), QStringLiteral("a+b (1).xlsx"), patterns),
              Out() + QStringLiteral("a+b (1).xlsx"));
    EXPECT_EQ(Search(QStringLiteral("Cost (Q1) [final] + $5"), QStringLiteral("ab (1)*"), patterns), QString());
    // The same attachment again: its name is taken now.
    const QString again = Search(QStringLiteral("Cost?(Q1)*"), QStringLiteral("a?b*"), patterns);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("/out/a\\+b \\(1\\)_\\d{12}\\.xlsx$")).match(again).hasMatch())
        << again.toStdString();
}

TEST_F(OutlookTest, SavesTheLastMatchingAttachmentOfTheLatestMatchingMail) {
    QDateTime newest;
    const QString saved = Search(QStringLiteral("sales report*"), QStringLiteral("Sales*.xlsx"),
                                 QString(), &newest);
    // Week 47 is newer but its attachment is a .csv; of week 46 the draft comes first.
    EXPECT_EQ(saved, Out() + QStringLiteral("Sales 2023-46.xlsx"));
    EXPECT_EQ(newest, At(kDay));
    QByteArray expected;
    for (int i = 0; i < 4; ++i)
        for (int b = 0; b < 256; ++b)
            expected += char(b);
    std::reverse(expected.begin(), expected.end());
    // The attachment is a whole zip (stored, not deflated) around those bytes.
    EXPECT_EQ(testsupport::HeldInZip(ReadBytes(saved)), expected);
    EXPECT_EQ(QFileInfo(saved).lastModified(), At(kDay));  // the mail's received time
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    EXPECT_TRUE(LogText().contains(QStringLiteral("post Outlook_Exit")));
    EXPECT_TRUE(gOutlookWasRunning);

    // The unread mail in new/ with its quoted-printable attachment.
    const QString csv = Search(QStringLiteral("Sales"), QStringLiteral("*.csv"), QString(), &newest);
    EXPECT_EQ(csv, Out() + QStringLiteral("Sales 2023-47.csv"));
    EXPECT_EQ(newest, At(2 * kDay));
    EXPECT_TRUE(ReadBytes(csv).startsWith("Region;Total\nNord;1 234,50 "));

    // RFC 2231 and RFC 2047 encoded names are matched and saved decoded.
    EXPECT_EQ(Search(QStringLiteral("Zahlen f?r"), QString::fromUtf8("ü*"), QString()),
              Out() + QString::fromUtf8("Übersicht März.xlsx"));
    EXPECT_EQ(Search(QStringLiteral("Encoded"), QString::fromUtf8("äpfel*"), QStringLiteral("`Inbox")),
              Out() + QString::fromUtf8("Äpfel und Birnen.xlsx"));
}

TEST_F(OutlookTest, FolderValuesNameTheFolderByItsPath) {
    // No back-quote: the value is a name only, and that means the Inbox.
    for (const QString& value : {QString(), QStringLiteral("Reports")}) {
        EXPECT_EQ(Search(QStringLiteral("Monthly"), QStringLiteral("report"), value), QString());
        EXPECT_TRUE(PromptScript::Messages().isEmpty());
    }
    EXPECT_EQ(Search(QStringLiteral("Monthly"), QStringLiteral("report"), QStringLiteral("Reports`Reports")),
              Out() + QStringLiteral("report.xlsx"));
    EXPECT_EQ(Search(QStringLiteral("Monthly"), QStringLiteral("report"), QStringLiteral("Reports/2024`2024")),
              Out() + QStringLiteral("report-2024.xlsx"));
    EXPECT_EQ(Search(QStringLiteral("Monthly"), QStringLiteral("*"), QStringLiteral("Archive/2019`2019"),
                     nullptr, At(-500 * kDay)),
              Out() + QStringLiteral("archive-2019.xlsx"));

    // A folder that is gone: the name part is what the user is told.
    EXPECT_EQ(Search(QStringLiteral("*"), QStringLiteral("*"), QStringLiteral("Old/Gone`Gone Folder")), QString());
    EXPECT_EQ(PromptScript::Messages(),
              QStringList{"[Gone Folder] not found in the mail store " + StoreRoot() +
                          ". Unable to check for newest files."});
    EXPECT_EQ(PromptScript::Record().back().style, vbCritical);
    // A level that holds folders but no mails is no folder either, and no path leaves the store.
    EXPECT_EQ(Search(QStringLiteral("*"), QStringLiteral("*"), QStringLiteral("Deep`Deep")), QString());
    EXPECT_EQ(Search(QStringLiteral("*"), QStringLiteral("*"), QStringLiteral("../Maildir`x")), QString());
    EXPECT_EQ(PromptScript::Messages().size(), 3);
}

TEST_F(OutlookTest, EqualTimesKeepTheFirstMail) {
    QDateTime newest;
    const QString saved = Search(QStringLiteral("Tie"), QStringLiteral("tie"), QStringLiteral("Ties`Ties"), &newest);
    EXPECT_EQ(saved, Out() + QStringLiteral("tie.xlsx"));
    EXPECT_EQ(ReadBytes(saved), QByteArray("first"));
    EXPECT_EQ(newest, At(0));
}

TEST_F(OutlookTest, AMailNotNewerThanSinceIsFoundButNotSaved) {
    QDateTime newest;
    EXPECT_EQ(Search(QStringLiteral("Sales"), QStringLiteral("*.xlsx"), QString(), &newest, At(kDay)),
              QString());
    EXPECT_EQ(newest, At(kDay));  // found: the newest time moved to it
    EXPECT_FALSE(QFileInfo::exists(Out() + QStringLiteral("Sales 2023-46.xlsx")));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());

    // A mail not later than the newest time already known is never chosen.
    newest = At(kDay);
    EXPECT_EQ(Search(QStringLiteral("Sales"), QStringLiteral("*.xlsx"), QString(), &newest), QString());
    EXPECT_EQ(newest, At(kDay));

    // Mails received before the day of `since` are not looked at.
    newest = QDateTime();
    EXPECT_EQ(Search(QStringLiteral("Sales"), QStringLiteral("*.xlsx"), QString(), &newest, At(5 * kDay)),
              QString());
    EXPECT_FALSE(newest.isValid());
}

TEST_F(OutlookTest, ATakenNameGetsATimeStamp) {
    ASSERT_TRUE(QDir().mkpath(Out()));
    testsupport::WriteText(Out() + QStringLiteral("Sales 2023-46.xlsx"), QStringLiteral("old"));
    const QString saved = Search(QStringLiteral("Sales"), QStringLiteral("Sales*.xlsx"), QString());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("/out/Sales 2023-46_\\d{12}\\.xlsx$")).match(saved).hasMatch())
        << saved.toStdString();
    EXPECT_EQ(testsupport::HeldInZip(ReadBytes(saved)).size(), 1024);
    EXPECT_EQ(testsupport::ReadText(Out() + QStringLiteral("Sales 2023-46.xlsx")), QStringLiteral("old"));
}

TEST_F(OutlookTest, HostileAttachmentNamesStayInTheOutputFolder) {
    const QString hostile = QStringLiteral("Hostile`Hostile");
    EXPECT_EQ(Search(QStringLiteral("Hostile"), QStringLiteral(".bash"), hostile), Out() + QStringLiteral(".bashrc"));
    EXPECT_EQ(ReadBytes(Out() + QStringLiteral(".bashrc")), QByteArray("dotfile"));
    EXPECT_FALSE(QFileInfo::exists(InFolder(QStringLiteral(".bashrc"))));
    EXPECT_EQ(Search(QStringLiteral("Hostile"), QStringLiteral("win"), hostile), Out() + QStringLiteral("win.ini"));
    EXPECT_EQ(Search(QStringLiteral("Hostile"), QStringLiteral("abc"), hostile), Out() + QStringLiteral("abc.txt"));
    // The last matching attachment has an empty name.
    EXPECT_EQ(Search(QStringLiteral("Hostile"), QStringLiteral("*"), hostile), Out() + QStringLiteral("attachment"));
    EXPECT_EQ(ReadBytes(Out() + QStringLiteral("attachment")), QByteArray("empty"));
    // A hidden file is a taken name too.
    const QString again = Search(QStringLiteral("Hostile"), QStringLiteral(".bash"), hostile);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("/out/\\.bashrc_\\d{12}$")).match(again).hasMatch())
        << again.toStdString();
    EXPECT_EQ(QDir(Out()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 5);
    EXPECT_EQ(QDir(Folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
              QDir(Folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

TEST_F(OutlookTest, AttachmentsThatCantBeSavedSoundlyAreReportedAndOthersGetSafeNames) {
    // A store of two mails: the newer one's attachment is broken base64.
    const QString root = InFolder(QStringLiteral("store"));
    for (const char* sub : {"cur", "new", "tmp"})
        ASSERT_TRUE(QDir().mkpath(root + QLatin1Char('/') + QLatin1String(sub)));
    auto mail = [&](qint64 at, const QByteArray& name, const QByteArray& content) {
        QFile f(root + QStringLiteral("/cur/") + QString::number(kMailT0 + at) + QStringLiteral(".M1P1.sbtest:2,S"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Date: Tue, 14 Nov 2023 22:13:20 +0000\nFrom: a@example.com\nSubject: Figures\n"
                "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b\"\n\n--b\n"
                "Content-Type: application/octet-stream\nContent-Disposition: attachment; "
                "filename*=UTF-8''" + name + "\nContent-Transfer-Encoding: base64\n\n" + content +
                "\n--b--\n");
    };
    mail(10, "report%E2%80%AExslx.exe", QByteArray("MZ").toBase64());
    UseStore(root);
    EXPECT_EQ(Search(QStringLiteral("Figures"), QStringLiteral("report"), QString()),
              Out() + QStringLiteral("reportxslx.exe"));
    EXPECT_EQ(ReadBytes(Out() + QStringLiteral("reportxslx.exe")), QByteArray("MZ"));

    mail(20, "figures.xlsx", "%%% this is no base64 %%%");
    PromptScript::Reset();
    EXPECT_EQ(Search(QStringLiteral("Figures"), QStringLiteral("figures"), QString()), QString());
    EXPECT_EQ(PromptScript::Messages(),
              QStringList{QStringLiteral("Unable to save attachment as [") + Out() +
                          QStringLiteral("figures.xlsx].  Make sure you have proper rights to the folder.")});
    EXPECT_TRUE(LogText().contains(QStringLiteral("figures.xlsx can't be written: the attachment's "
                                                  "base64 content is broken")));
    EXPECT_FALSE(QFileInfo::exists(Out() + QStringLiteral("figures.xlsx")));
    EXPECT_EQ(QDir(Out()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("reportxslx.exe")});
}

TEST_F(OutlookTest, MalformedMailsAreSkippedWithAnEvent) {
    QDateTime newest;
    const QString saved = Search(QStringLiteral("Data feed"), QStringLiteral("feed"),
                                 QStringLiteral("Broken`Broken"), &newest, At(-kDay));
    // feed-3 is newer but cut short; the undated mail can't be placed.
    EXPECT_EQ(saved, Out() + QStringLiteral("feed-2.csv"));
    EXPECT_EQ(ReadBytes(saved), QByteArray("two"));
    EXPECT_EQ(newest, At(20));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
    const QString log = LogText();
    EXPECT_EQ(log.count(QStringLiteral("Mail skipped: ")), 3) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("M2P400.sbtest:2,S is not a MIME mail")));
    EXPECT_TRUE(log.contains(QStringLiteral("M4P400.sbtest:2,S is not a sound MIME mail")));
    EXPECT_TRUE(log.contains(QStringLiteral("undated.M5P400.sbtest:2,S has neither a Date nor a Received header")));
    // The old noise lies before the day of `since`: it is never read.
    EXPECT_FALSE(log.contains(QStringLiteral("M6P400")));

    // The truncated mail's subject doesn't match another search: its body is never read.
    ResetLog();
    InitLog(GetLogFile(), true, false);
    EXPECT_EQ(Search(QStringLiteral("Other"), QStringLiteral("*"), QStringLiteral("Broken`Broken"), nullptr, At(-kDay)),
              QString());
    EXPECT_EQ(LogText().count(QStringLiteral("Mail skipped: ")), 2) << LogText().toStdString();
    EXPECT_FALSE(LogText().contains(QStringLiteral("M4P400")));
}

TEST_F(OutlookTest, ReportsAMissingStoreAndFoldersThatCantBeWritten) {
    // The box names the missing folder and the setting that names it.
    UseStore(InFolder(QStringLiteral("nowhere")));
    EXPECT_EQ(Search(QStringLiteral("*"), QStringLiteral("*"), QString()), QString());
    ASSERT_EQ(PromptScript::Record().size(), 1u);
    EXPECT_EQ(PromptScript::Record()[0].text,
              "Sheetbeacon is unable to check the mail for updates. The mail store folder " +
                  InFolder(QStringLiteral("nowhere")) +
                  " does not exist. It is set as \"Mail Store\" in section [Settings] of " +
                  GetINIFile() + ".");
    EXPECT_EQ(PromptScript::Record()[0].style, vbCritical);
    EXPECT_FALSE(gOutlookWasRunning);

    // A folder that is there but holds no Maildir is told apart from a missing one.
    PromptScript::Reset();
    UseStore(Folder());
    EXPECT_EQ(Search(QStringLiteral("*"), QStringLiteral("*"), QString()), QString());
    ASSERT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(PromptScript::Messages()[0].contains(
        "The mail store folder " + Folder() + " is not a Maildir folder (it has no cur and new folders)."));

    UseStore(StoreRoot());
    PromptScript::Reset();
    QDateTime newest;
    const QString deep = InFolder(QStringLiteral("missing/deeper/"));
    EXPECT_EQ(NewestAttach(QStringLiteral("Tie"), QStringLiteral("*"), QStringLiteral("Ties`Ties"), At(-kDay), deep,
                           newest),
              QString());
    EXPECT_EQ(PromptScript::Messages(),
              QStringList{"Unable to create output path [" + deep + "].  Make sure you have rights to create the folder."});

    // A folder no file can be made in, not even by the superuser.
    PromptScript::Reset();
    newest = QDateTime();
    EXPECT_EQ(NewestAttach(QStringLiteral("Tie"), QStringLiteral("*"), QStringLiteral("Ties`Ties"), At(-kDay),
                           QStringLiteral("/proc/"), newest),
              QString());
    EXPECT_EQ(PromptScript::Messages(),
              QStringList{"Unable to save attachment as [/proc/tie.xlsx].  Make sure you have proper rights to the folder."});
    EXPECT_EQ(PromptScript::Record()[0].style, vbExclamation);
    EXPECT_TRUE(LogText().contains(QStringLiteral("Error during call to SaveAsFile. ErrNum = 75 ")));
}

TEST_F(OutlookTest, TheInstanceIsTheStoreWhenItsRootIsAMaildir) {
    OutlookInstance olApp;
    EXPECT_TRUE(Outlook_GetInstance(olApp));
    ASSERT_TRUE(olApp);
    EXPECT_TRUE(gOutlookWasRunning);
    mail::Store* held = olApp.get();
    EXPECT_TRUE(Outlook_Init(olApp));
    EXPECT_EQ(olApp.get(), held);  // an instance already held is kept
    Outlook_Exit(olApp);
    EXPECT_FALSE(olApp);

    // "~/" in the INI value is the home folder.
    UseStore(QStringLiteral("~/") + QDir::home().relativeFilePath(StoreRoot()));
    EXPECT_TRUE(Outlook_GetInstance(olApp));
    Outlook_Exit(olApp);

    // Not set: ~/Maildir.
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", Folder().toUtf8());
    UseStore(QString());
    EXPECT_FALSE(Outlook_GetInstance(olApp));
    ASSERT_TRUE(QDir().mkpath(InFolder(QStringLiteral("Maildir/cur"))) &&
                QDir().mkpath(InFolder(QStringLiteral("Maildir/new"))));
    EXPECT_TRUE(Outlook_GetInstance(olApp));
    EXPECT_EQ(olApp->Root(), InFolder(QStringLiteral("Maildir")));
    Outlook_Exit(olApp);
    qputenv("HOME", home);

    UseStore(StoreRoot() + QStringLiteral("/cur"));
    EXPECT_FALSE(Outlook_GetInstance(olApp));
    EXPECT_TRUE(PromptScript::Messages().isEmpty());  // attaching alone never complains
    EXPECT_FALSE(Outlook_Init(olApp));
    EXPECT_FALSE(olApp);
    EXPECT_FALSE(gOutlookWasRunning);
    ASSERT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(PromptScript::Messages()[0].contains(QStringLiteral("Outlook_Init")));
    EXPECT_TRUE(LogText().contains(QStringLiteral("is not a Maildir folder")));
}

TEST_F(OutlookTest, SelectFolderReturnsTheStoredValueOfThePickedFolder) {
    PromptScript::QueueDialog(QStringLiteral("mailfolder"), QStringLiteral("Reports/2024`whatever"));
    EXPECT_EQ(Outlook_SelectFolder(), QStringLiteral("Reports/2024`2024"));
    PromptScript::QueueDialog(QStringLiteral("mailfolder"), QStringLiteral("`Inbox"));
    EXPECT_EQ(Outlook_SelectFolder(), QStringLiteral("`Inbox"));
    EXPECT_FALSE(LogText().contains(QStringLiteral("No outlook folder selected.")));

    EXPECT_EQ(Outlook_SelectFolder(), QString());  // cancelled
    EXPECT_TRUE(LogText().contains(QStringLiteral("No outlook folder selected.")));
    PromptScript::QueueDialog(QStringLiteral("mailfolder"), QStringLiteral("Deep`Deep"));
    EXPECT_EQ(Outlook_SelectFolder(), QString());
    EXPECT_TRUE(PromptScript::Messages().isEmpty());

    UseStore(InFolder(QStringLiteral("nowhere")));
    PromptScript::QueueDialog(QStringLiteral("mailfolder"), QStringLiteral("Reports`Reports"));
    EXPECT_EQ(Outlook_SelectFolder(), QString());
    const QStringList shown = PromptScript::Messages();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("Outlook_Init")));
    EXPECT_TRUE(shown[0].contains(InFolder(QStringLiteral("nowhere")) + " does not exist."));
    EXPECT_EQ(shown[1], QStringLiteral("Unable to open the mail store."));
}

TEST_F(OutlookTest, FolderDialogShowsTheTreeAndPicksOnlyMaildirs) {
    const mail::Store store(StoreRoot());
    MailFolderDialog dialog(store.Folders());
    auto* tree = dialog.findChild<QTreeWidget*>(QStringLiteral("tvwFolders"));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    ASSERT_TRUE(tree && ok);
    // Clicks the item shown at that place of the tree, as the user would.
    auto select = [tree](const QStringList& names) {
        QTreeWidgetItem* item = tree->topLevelItem(0);
        for (const QString& name : names) {
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; item && i < item->childCount(); ++i)
                if (item->child(i)->text(0) == name)
                    next = item->child(i);
            item = next;
        }
        if (item)
            tree->setCurrentItem(item);
        return item != nullptr;
    };
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("Inbox"));
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 8);
    EXPECT_EQ(dialog.FolderValue(), QStringLiteral("`Inbox"));
    EXPECT_TRUE(ok->isEnabled());

    EXPECT_TRUE(select({"Deep", "Er"}));
    EXPECT_EQ(dialog.FolderValue(), QString());
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_FALSE(select({"Nope"}));

    EXPECT_TRUE(select({"Archive", "2019"}));
    EXPECT_TRUE(ok->isEnabled());
    ok->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.FolderValue(), QStringLiteral("Archive/2019`2019"));
}

}  // namespace
