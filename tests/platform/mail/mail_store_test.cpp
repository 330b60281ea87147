#include "platform/mail/MailStore.h"

#include "MaildirFixture.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

namespace {

using testsupport::kMailT0;

class MailStoreTest : public ::testing::Test {
protected:
    static QString Root() { return testsupport::SharedMaildirRoot(); }

    std::vector<mail::MailEntry> MailsOf(const QString& path, const QDateTime& notBefore = {}) {
        const mail::Store store(Root());
        const mail::Folder tree = store.Folders();
        const mail::Folder* folder = mail::Store::FindFolder(tree, path);
        if (!folder)
            throw std::runtime_error("no folder " + path.toStdString());
        return store.Mails(*folder, notBefore);
    }
    // The mail of a folder whose file name starts with `prefix`.
    std::unique_ptr<mail::Message> OpenMail(const QString& path, const QString& prefix) {
        for (const auto& entry : MailsOf(path))
            if (QFileInfo(entry.file).fileName().startsWith(prefix))
                return mail::Message::Open(entry.file);
        throw std::runtime_error("no mail " + prefix.toStdString());
    }
    static QByteArray ReadBytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir out_;
};

QStringList Names(const mail::Folder& folder) {
    QStringList names;
    for (const auto& child : folder.children)
        names << child.name;
    return names;
}

TEST_F(MailStoreTest, RunsOnlyOnAMaildirRoot) {
    EXPECT_TRUE(mail::Store(Root()).IsRunning());
    EXPECT_TRUE(mail::Store(Root() + QStringLiteral("/")).IsRunning());
    EXPECT_FALSE(mail::Store(Root() + QStringLiteral("/cur")).IsRunning());
    EXPECT_FALSE(mail::Store(Root() + QStringLiteral("/missing")).IsRunning());
    EXPECT_FALSE(mail::Store(QString()).IsRunning());
}

TEST_F(MailStoreTest, FolderTreeJoinsMaildirPlusPlusAndNestedMaildirs) {
    const mail::Folder tree = mail::Store(Root()).Folders();
    EXPECT_EQ(tree.path, QString());
    EXPECT_EQ(tree.name, QStringLiteral("Inbox"));
    EXPECT_TRUE(tree.IsMaildir());
    EXPECT_EQ(Names(tree), (QStringList{"Archive", "Broken", "Deep", "Hostile", "Patterns",
                                        "Received", "Reports", "Ties"}));

    const mail::Folder* reports2024 = mail::Store::FindFolder(tree, QStringLiteral("Reports/2024"));
    ASSERT_NE(reports2024, nullptr);
    EXPECT_EQ(reports2024->name, QStringLiteral("2024"));
    EXPECT_EQ(QFileInfo(reports2024->dir).fileName(), QStringLiteral(".Reports.2024"));

    const mail::Folder* archive2019 = mail::Store::FindFolder(tree, QStringLiteral("Archive/2019"));
    ASSERT_NE(archive2019, nullptr);
    EXPECT_EQ(archive2019->dir, Root() + QStringLiteral("/Archive/2019"));

    // ".Deep.Er.Still" alone: "Deep" and "Deep/Er" are levels of the tree, not folders.
    EXPECT_EQ(mail::Store::FindFolder(tree, QStringLiteral("Deep")), nullptr);
    EXPECT_EQ(mail::Store::FindFolder(tree, QStringLiteral("Deep/Er")), nullptr);
    EXPECT_NE(mail::Store::FindFolder(tree, QStringLiteral("Deep/Er/Still")), nullptr);

    EXPECT_EQ(mail::Store::FindFolder(tree, QString()), &tree);
    EXPECT_EQ(mail::Store::FindFolder(tree, QStringLiteral("Nope")), nullptr);
    EXPECT_EQ(mail::Store::FindFolder(tree, QStringLiteral("reports")), nullptr);
    EXPECT_EQ(mail::Store::FindFolder(tree, QStringLiteral("../Maildir")), nullptr);
    EXPECT_EQ(mail::Store::FindFolder(tree, QStringLiteral("Reports/cur")), nullptr);
}

TEST_F(MailStoreTest, ListsCurAndNewInDeliveryOrderAndFiltersByTime) {
    const auto all = MailsOf(QString());
    ASSERT_EQ(all.size(), 5u);  // the hidden note in cur/ is not a mail
    for (size_t i = 1; i < all.size(); ++i)
        EXPECT_LT(all[i - 1].received, all[i].received);
    EXPECT_EQ(all.front().received, QDateTime::fromSecsSinceEpoch(kMailT0 - 2 * 86400));
    EXPECT_TRUE(all.back().file.contains(QStringLiteral("/new/")));
    for (const auto& entry : all)
        EXPECT_TRUE(entry.problem.isEmpty()) << entry.file.toStdString();

    const auto recent = MailsOf(QString(), QDateTime::fromSecsSinceEpoch(kMailT0 + 86400));
    ASSERT_EQ(recent.size(), 2u);
    EXPECT_EQ(recent.front().received, QDateTime::fromSecsSinceEpoch(kMailT0 + 86400));
}

TEST_F(MailStoreTest, DatesMailsWithoutATimeInTheirNameFromTheirHeaders) {
    const auto mails = MailsOf(QStringLiteral("Received"));
    ASSERT_EQ(mails.size(), 2u);
    // File-name order: dated-b, then relay-a.
    EXPECT_EQ(mails[0].received, QDateTime::fromSecsSinceEpoch(kMailT0 + 1800));
    // The first Received header wins over the later hop and over the Date header.
    EXPECT_EQ(mails[1].received, QDateTime::fromSecsSinceEpoch(kMailT0 + 3600));
    EXPECT_EQ(mail::Message::Open(mails[1].file)->HeaderReceived(),
              QDateTime::fromSecsSinceEpoch(kMailT0 + 3600));
}

TEST_F(MailStoreTest, TakesTheDeliveryTimeOnlyFromMaildirStyleNames) {
    QDir root(out_.path());
    ASSERT_TRUE(root.mkpath(QStringLiteral("cur")) && root.mkpath(QStringLiteral("new")));
    const QByteArray dated = "Date: Tue, 14 Nov 2023 22:13:20 +0000\nSubject: s\n\nbody\n";
    for (const char* name : {"1700000100.M1P1.host:2,S", "1700000200_0.77.host", "20231114.eml",
                             "1700000300:2,S", "0.M1.host"}) {
        QFile f(out_.filePath(QStringLiteral("new/") + QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(dated);
    }
    const mail::Store store(out_.path());
    const auto mails = store.Mails(store.Folders(), QDateTime());
    ASSERT_EQ(mails.size(), 5u);
    // File-name order; names that carry no time are dated by their Date header.
    EXPECT_EQ(mails[0].received, QDateTime::fromSecsSinceEpoch(kMailT0));  // 0.M1.host
    EXPECT_EQ(mails[1].received, QDateTime::fromSecsSinceEpoch(kMailT0 + 100));
    EXPECT_EQ(mails[2].received, QDateTime::fromSecsSinceEpoch(kMailT0 + 200));
    EXPECT_EQ(mails[3].received, QDateTime::fromSecsSinceEpoch(kMailT0));  // 1700000300:2,S
    EXPECT_EQ(mails[4].received, QDateTime::fromSecsSinceEpoch(kMailT0));  // 20231114.eml is no time
}

TEST_F(MailStoreTest, DecodesSubjectsSendersAndAttachmentNames) {
    auto week46 = OpenMail(QString(), QString::number(kMailT0 + 86400));
    EXPECT_EQ(week46->Subject(), QStringLiteral("Sales report week 46"));
    EXPECT_EQ(week46->SenderName(), QStringLiteral("Report Robot"));
    EXPECT_EQ(week46->SenderAddress(), QStringLiteral("robot@example.com"));
    ASSERT_EQ(week46->Attachments().size(), 3u);  // the text body is no attachment
    EXPECT_EQ(week46->Attachments()[0].name, QStringLiteral("Sales 2023-46 draft.xlsx"));
    EXPECT_EQ(week46->Attachments()[2].name, QStringLiteral("Sales 2023-46.xlsx"));

    auto rfc2231 = OpenMail(QString(), QString::number(kMailT0 - 86400));
    EXPECT_EQ(rfc2231->Subject(), QString::fromUtf8("Zahlen für März"));
    EXPECT_EQ(mail::HeaderSubject(rfc2231->File()), rfc2231->Subject());
    ASSERT_EQ(rfc2231->Attachments().size(), 1u);
    EXPECT_EQ(rfc2231->Attachments()[0].name, QString::fromUtf8("Übersicht März.xlsx"));

    auto rfc2047 = OpenMail(QString(), QString::number(kMailT0 - 2 * 86400));
    EXPECT_EQ(rfc2047->SenderName(), QString::fromUtf8("Jürgen Müller"));
    EXPECT_EQ(rfc2047->SenderAddress(), QStringLiteral("jm@example.com"));
    ASSERT_EQ(rfc2047->Attachments().size(), 1u);
    EXPECT_EQ(rfc2047->Attachments()[0].name, QString::fromUtf8("Äpfel und Birnen.xlsx"));
}

TEST_F(MailStoreTest, SavesAttachmentsDecoded) {
    QByteArray binary;
    for (int i = 0; i < 4; ++i)
        for (int b = 0; b < 256; ++b)
            binary += char(b);
    std::reverse(binary.begin(), binary.end());

    auto week46 = OpenMail(QString(), QString::number(kMailT0 + 86400));
    const QString base64Target = out_.filePath(QStringLiteral("week46.xlsx"));
    week46->SaveAttachment(2, base64Target);
    // The attachment is a whole zip (stored, not deflated) around those bytes.
    EXPECT_EQ(testsupport::HeldInZip(ReadBytes(base64Target)), binary);

    auto week47 = OpenMail(QString(), QString::number(kMailT0 + 2 * 86400));
    ASSERT_EQ(week47->Attachments().size(), 1u);
    const QString qpTarget = out_.filePath(QStringLiteral("week47.csv"));
    week47->SaveAttachment(0, qpTarget);
    EXPECT_EQ(ReadBytes(qpTarget), QString::fromUtf8("Region;Total\nNord;1 234,50 €\nSüd;= 99\n").toUtf8());

    // Saving over an existing file replaces it whole.
    week46->SaveAttachment(1, qpTarget);
    EXPECT_EQ(ReadBytes(qpTarget), QByteArray("n"));

    EXPECT_THROW(week46->SaveAttachment(3, out_.filePath(QStringLiteral("none"))), mail::Error);
    EXPECT_THROW(week46->SaveAttachment(0, out_.filePath(QStringLiteral("missing/x.xlsx"))),
                 mail::Error);
    // No half-written or hidden leftovers.
    EXPECT_EQ(QDir(out_.path()).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot),
              (QStringList{"week46.xlsx", "week47.csv"}));
}

TEST_F(MailStoreTest, RefusesMailsThatAreNoSoundMime) {
    const auto mails = MailsOf(QStringLiteral("Broken"));
    ASSERT_EQ(mails.size(), 6u);
    int opened = 0, refused = 0;
    for (const auto& entry : mails) {
        const QString name = QFileInfo(entry.file).fileName();
        if (name.startsWith(QStringLiteral("undated"))) {
            EXPECT_FALSE(entry.received.isValid());
            EXPECT_TRUE(entry.problem.startsWith(entry.file));
        }
        if (name.contains(QStringLiteral(".M2P"))) {
            EXPECT_THROW(mail::HeaderSubject(entry.file), mail::Error);
        }
        if (name.contains(QStringLiteral(".M4P"))) {  // the cut is in the body: the headers are whole
            EXPECT_EQ(mail::HeaderSubject(entry.file), QStringLiteral("Data feed"));
        }
        try {
            auto message = mail::Message::Open(entry.file);
            EXPECT_EQ(message->Subject(), QStringLiteral("Data feed")) << name.toStdString();
            ++opened;
        } catch (const mail::Error& e) {
            EXPECT_TRUE(e.message().startsWith(entry.file));
            if (name.contains(QStringLiteral(".M4P"))) {
                EXPECT_TRUE(e.message().contains(QStringLiteral("cut short"))) << e.what();
            }
            ++refused;
        }
    }
    // Good: feed-1 and feed-2. Refused: two kinds of noise, the truncated and the undated mail.
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(refused, 4);
    EXPECT_THROW(mail::Message::Open(Root() + QStringLiteral("/cur/missing")), mail::Error);

    // A header name with a blank in it is a sender's slip, not a broken mail.
    const QString odd = out_.filePath(QStringLiteral("odd.eml"));
    QFile f(odd);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Date: Tue, 14 Nov 2023 22:13:20 +0000\nX-Odd Header: x\nSubject: odd\n"
            "Content-Type: text/csv; name=odd.csv\n\na;b\n");
    f.close();
    auto message = mail::Message::Open(odd);
    EXPECT_EQ(message->Subject(), QStringLiteral("odd"));
    ASSERT_EQ(message->Attachments().size(), 1u);  // a mail that is its attachment
    EXPECT_EQ(message->Attachments()[0].name, QStringLiteral("odd.csv"));
}

TEST_F(MailStoreTest, AttachmentNamesAreReducedToSafeFileNames) {
    auto hostile = OpenMail(QStringLiteral("Hostile"), QString::number(kMailT0));
    QStringList safe;
    for (const auto& a : hostile->Attachments())
        safe << a.safeName;
    EXPECT_EQ(safe, (QStringList{".bashrc", "x", "win.ini", "abc.txt", "attachment"}));
    EXPECT_EQ(hostile->Attachments()[0].name, QStringLiteral("../../.bashrc"));

    EXPECT_EQ(mail::SafeFileName(QStringLiteral("..")), QStringLiteral("attachment"));
    EXPECT_EQ(mail::SafeFileName(QStringLiteral("a/..")), QStringLiteral("attachment"));
    EXPECT_EQ(mail::SafeFileName(QStringLiteral("dir/")), QStringLiteral("attachment"));
    EXPECT_EQ(mail::SafeFileName(QStringLiteral("C:\\temp\\r.xlsx")), QStringLiteral("r.xlsx"));
    EXPECT_EQ(mail::SafeFileName(QString::fromUtf8("Zahlen\u0085 März.xlsx")),
              QString::fromUtf8("Zahlen März.xlsx"));
    EXPECT_EQ(mail::SafeFileName(QStringLiteral("Report (1).xlsx")), QStringLiteral("Report (1).xlsx"));
}

}  // namespace

namespace {

// A mail with one attachment of this name (RFC 2231, UTF-8) and base64 content.
QString WriteMail(const QString& path, const QString& name, const QByteArray& base64) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    f.write("Date: Tue, 14 Nov 2023 22:13:20 +0000\nFrom: a@example.com\nSubject: Report\n"
            "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b\"\n\n--b\n"
            "Content-Type: text/plain\n\nhi\n--b\nContent-Type: application/octet-stream\n"
            "Content-Disposition: attachment; filename*=UTF-8''" +
            QUrl::toPercentEncoding(name) + "\nContent-Transfer-Encoding: base64\n\n" + base64 +
            "\n--b--\n");
    return path;
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

}  // namespace

TEST_F(MailStoreTest, SavingWritesOnlyTheTargetThroughNoLink) {
    const QString mailFile = WriteMail(out_.filePath(QStringLiteral("m.eml")), QStringLiteral("pwned.txt"),
                                       QByteArray("new content").toBase64());
    auto message = mail::Message::Open(mailFile);
    QTemporaryDir outside;
    const QString victim = outside.filePath(QStringLiteral("victim.txt"));
    {
        QFile v(victim);
        ASSERT_TRUE(v.open(QIODevice::WriteOnly));
        v.write("precious");
    }
    const QString folder = out_.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(folder));
    // Links where a save might write: the name a partial file once had, and the target itself.
    ASSERT_TRUE(QFile::link(victim, folder + QStringLiteral("/.pwned.txt.part")));
    ASSERT_TRUE(QFile::link(victim, folder + QStringLiteral("/linked.txt")));

    message->SaveAttachment(0, folder + QStringLiteral("/pwned.txt"));
    message->SaveAttachment(0, folder + QStringLiteral("/linked.txt"));

    EXPECT_EQ(ReadBytes(victim), QByteArray("precious"));
    EXPECT_EQ(ReadBytes(folder + QStringLiteral("/pwned.txt")), QByteArray("new content"));
    // The link at the target is replaced by the file, not written through.
    EXPECT_FALSE(QFileInfo(folder + QStringLiteral("/linked.txt")).isSymLink());
    EXPECT_EQ(ReadBytes(folder + QStringLiteral("/linked.txt")), QByteArray("new content"));
    EXPECT_EQ(Entries(folder), (QStringList{".pwned.txt.part", "linked.txt", "pwned.txt"}));
}

TEST_F(MailStoreTest, LongAndReorderingNamesAreSavedUnderSafeNames) {
    // A right-to-left override would show "report<RLO>xslx.exe" as "reportexe.xlsx".
    EXPECT_EQ(mail::SafeFileName(QString::fromUtf8("report\u202Exslx.exe")), QStringLiteral("reportxslx.exe"));
    EXPECT_EQ(mail::SafeFileName(QString::fromUtf8("\u2067a\u2069\u200Fb\u061C.csv")), QStringLiteral("ab.csv"));

    const QString exact = QString(250, QLatin1Char('n')) + QStringLiteral(".xlsx");  // 255 bytes
    EXPECT_EQ(mail::SafeFileName(exact), exact);
    const QString longer = QString(300, QChar(0x20AC)) + QStringLiteral(".xlsx");  // 905 bytes
    const QString cut = mail::SafeFileName(longer);
    // 83 three-byte signs and the extension: a sign is never split.
    EXPECT_EQ(cut, QString(83, QChar(0x20AC)) + QStringLiteral(".xlsx"));
    EXPECT_EQ(cut.toUtf8().size(), 254);
    const QString noExtension = QString(300, QLatin1Char('z'));
    EXPECT_EQ(mail::SafeFileName(noExtension), QString(255, QLatin1Char('z')));

    // Both long names are saved, the temporary file beside them notwithstanding.
    const QString folder = out_.filePath(QStringLiteral("names"));
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const QString& name : {exact, longer, QString::fromUtf8("report\u202Exslx.exe")}) {
        auto message = mail::Message::Open(
            WriteMail(out_.filePath(QStringLiteral("n.eml")), name, QByteArray("x").toBase64()));
        ASSERT_EQ(message->Attachments().size(), 1u);
        EXPECT_EQ(message->Attachments()[0].name, name);
        const QString target = folder + QLatin1Char('/') + message->Attachments()[0].safeName;
        message->SaveAttachment(0, target);
        EXPECT_EQ(ReadBytes(target), QByteArray("x")) << target.toStdString();
    }
    EXPECT_EQ(Entries(folder).size(), 3);
}

TEST_F(MailStoreTest, ContentWhoseEncodingIsBrokenIsReportedNotSavedEmpty) {
    const QString folder = out_.filePath(QStringLiteral("broken"));
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const QByteArray& content : {QByteArray("!!!! not base64 at all !!!!"), QByteArray("QUJD=RA=="),
                                      QByteArray("QUJDR")}) {
        SCOPED_TRACE(content.toStdString());
        auto message = mail::Message::Open(
            WriteMail(out_.filePath(QStringLiteral("b.eml")), QStringLiteral("data.xlsx"), content));
        try {
            message->SaveAttachment(0, folder + QStringLiteral("/data.xlsx"));
            ADD_FAILURE() << "saved";
        } catch (const mail::Error& e) {
            EXPECT_EQ(e.message(), folder + QStringLiteral("/data.xlsx can't be written: the "
                                                           "attachment's base64 content is broken"));
        }
        EXPECT_TRUE(Entries(folder).isEmpty());
    }
    // Sound base64 with line ends and padding still saves.
    auto sound = mail::Message::Open(
        WriteMail(out_.filePath(QStringLiteral("s.eml")), QStringLiteral("data.xlsx"), "QUJD\nRA=="));
    sound->SaveAttachment(0, folder + QStringLiteral("/data.xlsx"));
    EXPECT_EQ(ReadBytes(folder + QStringLiteral("/data.xlsx")), QByteArray("ABCD"));
}
