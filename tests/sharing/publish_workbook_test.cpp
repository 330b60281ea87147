// Publishing into real templates made by openpyxl, each result read back by our reader: the
// placeholder replaced in place the first time, a new workbook from the template later, no
// template, a missing target sheet, a bad date cell, no "Info" sheet, a broken template.

#include "SharingTestSupport.h"

#include "FixtureTools.h"
#include "PublishTemplates.h"
#include "platform/workbook/Package.h"
#include "platform/workbook/Workbook.h"
#include "services/modUtilsFile.h"
#include "sharing/modPublish.h"
#include "services/DesktopLaunch.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFileInfo>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

namespace {

// Saves `workbooks` again as .xlsx with LibreOffice (headless, private profile) into `outDir`.
bool LibreOfficeCopies(const QString& soffice, const QString& profile, const QStringList& workbooks,
                       const QString& outDir) {
    QProcess lo;
    lo.start(soffice, QStringList{"-env:UserInstallation=file://" + profile, "--headless",
                                  "--norestore", "--convert-to", "xlsx", "--outdir", outDir} +
                          workbooks);
    if (!lo.waitForFinished(180000) || lo.exitCode() != 0) {
        ADD_FAILURE() << "soffice failed: " << lo.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

struct Placement {
    QString name;
    double left, top, width;
};

}  // namespace

class PublishWorkbookTest : public SharingTest {
protected:
    void SetUp() override {
        SharingTest::SetUp();
        ASSERT_TRUE(home_.isValid());
        DesktopLaunch::ResetScript();
        templates_ = GetTemplatesFolder();
        testsupport::MakePublishTemplates(templates_);
    }
    void TearDown() override {
        DesktopLaunch::ResetScript();
        SharingTest::TearDown();
    }
    QString Documents() const { return home_.path() + "/Documents"; }
    // Publishes a 160 by 90 pixel picture and returns the file shown, "" when none was.
    QString Publish(const QString& name, const QVariant& picked = QVariant()) {
        if (picked.isValid())
            PromptScript::QueueDialog("frmPublish", picked);
        const int before = static_cast<int>(DesktopLaunch::Requests().size());
        PublishWorkspace(name, 2, [](QPixmap* picture) {
            QPixmap p(160, 90);
            p.fill(Qt::darkGreen);
            *picture = p;
            return true;
        });
        const QStringList requests = DesktopLaunch::Requests();
        if (requests.size() == before)
            return QString();
        QString path = requests.last();
        path.remove(0, QStringLiteral("open ").size());
        shown_ << path;
        return path;
    }
    static std::vector<Placement> Pictures(xl::Workbook* book, const QString& sheet) {
        std::vector<Placement> out;
        for (xl::Shape* s : book->Sheets().Item(sheet)->Shapes().All())
            out.push_back({s->Name(), s->Left(), s->Top(), s->Width()});
        return out;
    }
    // The published workbooks land in the documents folder of this home.
    QTemporaryDir home_;
    testsupport::HomeGuard homeGuard_{home_.path()};
    QString templates_;
    QStringList shown_;
    xl::Application reader_;
};

TEST_F(PublishWorkbookTest, FirstPublicationReplacesThePlaceholderInTheTemplateItself) {
    const QByteArray fixture = testsupport::ReadBytes(templates_ + "placeholder.xlsx");
    xl::Workbook* original = reader_.Workbooks().Open(templates_ + "placeholder.xlsx");
    const std::vector<Placement> placeholder = Pictures(original, "Report");
    ASSERT_EQ(placeholder.size(), 1u);
    original->Close();

    const QString shown = Publish("Sales", templates_ + "placeholder.xlsx");
    const QString made = templates_ + "Sales.xlsx";
    ASSERT_EQ(shown, made) << PromptScript::Messages().join(" / ").toStdString();
    EXPECT_EQ(testsupport::ReadBytes(templates_ + "placeholder.xlsx"),
              fixture);  // the chosen file stays as it was

    xl::Workbook* book = reader_.Workbooks().Open(made);
    const std::vector<Placement> pictures = Pictures(book, "Report");
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].name, "Image 1");
    EXPECT_NEAR(pictures[0].left, placeholder[0].left, 0.75);
    EXPECT_NEAR(pictures[0].top, placeholder[0].top, 0.75);
    EXPECT_NEAR(pictures[0].width, placeholder[0].width, 0.75);
    // The date of publishing, as a date-time serial of today.
    const xl::CellValue stamp = book->Sheets().Item("Report")->Range("C2").Value();
    ASSERT_EQ(stamp.type, xl::ValueType::Number);
    EXPECT_EQ(static_cast<qint64>(stamp.number), QDate(1899, 12, 30).daysTo(QDate::currentDate()));
    book->Close();

    // Later publications make a new workbook from the template and leave the template alone.
    const QByteArray templateBytes = testsupport::ReadBytes(made);
    const QString second = Publish("Sales");
    ASSERT_FALSE(second.isEmpty());
    EXPECT_TRUE(second.startsWith(Documents() + "/Sales ")) << second.toStdString();
    EXPECT_EQ(testsupport::ReadBytes(made), templateBytes);
    xl::Workbook* next = reader_.Workbooks().Open(second);
    const std::vector<Placement> again = Pictures(next, "Report");
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].name, "Image 1");
    EXPECT_NEAR(again[0].left, placeholder[0].left, 0.75);
    EXPECT_EQ(PromptScript::Messages(), QStringList{
        "Template does not exist for this dashboard.\nYou will need to set up a template for it."});
}

// The placeholder's image goes with the placeholder: the template and every later publication
// carry the one picture they show, however often the dashboard is published.
TEST_F(PublishWorkbookTest, ReplacedPicturesLeaveNoImagesBehind) {
    auto media = [](const QString& path) {
        QStringList parts;
        const xl::Package package = xl::Package::FromZip(testsupport::ReadBytes(path));
        for (const xl::ZipEntry& e : package.Entries())
            if (e.name.startsWith("xl/media/"))
                parts << e.name;
        // Every image left is one a drawing shows.
        QStringList shown;
        for (const xl::ZipEntry& e : package.Entries())
            if (e.name.startsWith("xl/drawings/") && e.name.endsWith(".xml") && !e.name.contains("_rels"))
                for (const xl::Relationship& r : package.Relationships(e.name))
                    if (r.Kind() == "image")
                        shown << r.target;
        EXPECT_EQ(QSet<QString>(parts.begin(), parts.end()), QSet<QString>(shown.begin(), shown.end()))
            << path.toStdString();
        return parts.size();
    };
    ASSERT_EQ(media(templates_ + "placeholder.xlsx"), 1);
    const QString first = Publish("Sales", templates_ + "placeholder.xlsx");
    ASSERT_FALSE(first.isEmpty()) << PromptScript::Messages().join(" / ").toStdString();
    EXPECT_EQ(media(first), 1);
    for (int i = 0; i < 3; ++i) {
        const QString later = Publish("Sales");
        ASSERT_FALSE(later.isEmpty());
        EXPECT_EQ(media(later), 1) << i;
    }
    EXPECT_EQ(media(templates_ + "Sales.xlsx"), 1);
}

TEST_F(PublishWorkbookTest, WithoutTemplateAnEmptyWorkbookGetsThePicture) {
    const QString shown = Publish("Plain", "");
    ASSERT_FALSE(shown.isEmpty()) << PromptScript::Messages().join(" / ").toStdString();
    EXPECT_FALSE(FileExists(templates_ + "Plain.xlsx"));
    xl::Workbook* book = reader_.Workbooks().Open(shown);
    ASSERT_EQ(book->Sheets().Count(), 1);
    const auto pictures = Pictures(book, book->Sheets().Item(1)->Name());
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_NEAR(pictures[0].width, 160 * 0.75, 1.0);
}

// A new workbook is written where the user keeps documents, so that a Save in the spreadsheet
// keeps it somewhere the user looks: the desktop's documents folder, or ~/Documents (made when
// missing); never over a workbook already there.
TEST_F(PublishWorkbookTest, NewWorkbooksLandInTheDocumentsFolderBesideTheUsersOwn) {
    const QString first = Publish("Plain", "");
    ASSERT_FALSE(first.isEmpty()) << PromptScript::Messages().join(" / ").toStdString();
    EXPECT_EQ(QFileInfo(first).absolutePath(), Documents());

    // Workbooks of the user that bear the names of this second and the next stay as they are.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList mine;
    for (int s = 0; s < 2; ++s) {
        mine << Documents() + "/Plain " + now.addSecs(s).toString("yyyyMMdd-hhmmss") + ".xlsx";
        testsupport::WriteText(mine.last(), "the user's own");
    }
    const QString second = Publish("Plain", "");
    ASSERT_FALSE(second.isEmpty());
    EXPECT_FALSE(mine.contains(second)) << second.toStdString();
    for (const QString& path : mine)
        EXPECT_EQ(testsupport::ReadText(path), "the user's own");
    EXPECT_EQ(reader_.Workbooks().Open(second)->Sheets().Item(1)->Shapes().Count(), 1);

    // A documents folder the desktop names elsewhere, not there yet.
    ASSERT_TRUE(QDir().mkpath(home_.path() + "/.config"));
    testsupport::WriteText(home_.path() + "/.config/user-dirs.dirs",
                           "XDG_DOCUMENTS_DIR=\"$HOME/Papers/Work\"\n");
    const QString third = Publish("Plain", "");
    EXPECT_EQ(QFileInfo(third).absolutePath(), home_.path() + "/Papers/Work");
    EXPECT_TRUE(FileExists(third));
}

TEST_F(PublishWorkbookTest, TemplateFaultsAreLoggedAndPublishingGoesOn) {
    const QString missing = Publish("Missing", templates_ + "missing_sheet.xlsx");
    ASSERT_FALSE(missing.isEmpty()) << PromptScript::Messages().join(" / ").toStdString();
    EXPECT_TRUE(LogText().contains("[Nowhere] not found in template file [" + templates_ + "Missing.xlsx]"));
    xl::Workbook* book = reader_.Workbooks().Open(missing);
    EXPECT_EQ(book->Sheets().Count(), 3);
    int withPicture = 0;
    for (int i = 1; i <= book->Sheets().Count(); ++i)
        withPicture += book->Sheets().Item(i)->Shapes().Count();
    EXPECT_EQ(withPicture, 1);
    EXPECT_EQ(testsupport::ReadBytes(templates_ + "Missing.xlsx"),
              testsupport::ReadBytes(templates_ + "missing_sheet.xlsx"));

    const QString bad = Publish("Bad", templates_ + "bad_address.xlsx");
    ASSERT_FALSE(bad.isEmpty());
    EXPECT_TRUE(LogText().contains("[not a cell] is not a valid cell address in template file [" +
                                   templates_ + "Bad.xlsx]"));
    EXPECT_EQ(Pictures(reader_.Workbooks().Open(bad), "Report").size(), 1u);

    const QString noInfo = Publish("NoInfo", templates_ + "no_info.xlsx");
    ASSERT_FALSE(noInfo.isEmpty());
    xl::Workbook* empty = reader_.Workbooks().Open(noInfo);
    EXPECT_EQ(empty->Sheets().Count(), 1);
    EXPECT_FALSE(empty->Sheets().Find("Data"));
    EXPECT_EQ(empty->Sheets().Item(1)->Shapes().Count(), 1);
}

TEST_F(PublishWorkbookTest, BrokenTemplateIsReportedAndNothingIsShown) {
    testsupport::WriteText(templates_ + "Broken.xlsx", "this is no workbook");
    EXPECT_TRUE(Publish("Broken").isEmpty());
    ASSERT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(PromptScript::Messages()[0].contains("mnuWorkspacePublish_Click"));
}

// Where LibreOffice Calc shows the placeholder, there it shows the published picture: same
// left, top and width (the height follows the picture), in a template Calc wrote, both when
// the template itself takes the picture and in a later workbook made from it.
TEST_F(PublishWorkbookTest, CalcShowsThePictureWhereItShowedThePlaceholder) {
    ASSERT_SOFFICE();
    QTemporaryDir work;
    ASSERT_TRUE(LibreOfficeCopies(testsupport::Soffice(), work.path() + "/profile",
                                  {templates_ + "placeholder.xlsx"}, work.path()));
    const QString calcTemplate = work.path() + "/placeholder.xlsx";
    ASSERT_TRUE(QFile::copy(calcTemplate, templates_ + "FromCalc.xlsx"));
    const QString first = Publish("Placed", templates_ + "FromCalc.xlsx");
    ASSERT_FALSE(first.isEmpty()) << PromptScript::Messages().join(" / ").toStdString();
    const QString later = Publish("Placed");
    ASSERT_FALSE(later.isEmpty());

    const QString json = work.path() + "/shapes.json";
    ASSERT_FIXTURE_SCRIPT("shape_placement.py", {json, calcTemplate, first, later});
    const QJsonObject shown = QJsonDocument::fromJson(testsupport::ReadBytes(json)).object();
    const QJsonArray placeholder = shown.value(calcTemplate).toArray();
    ASSERT_EQ(placeholder.size(), 1);
    const QJsonObject p = placeholder[0].toObject();
    // One pixel is 26.46 hundredths of a millimetre.
    for (const QString& path : {first, later}) {
        SCOPED_TRACE(path.toStdString());
        const QJsonArray pictures = shown.value(path).toArray();
        ASSERT_EQ(pictures.size(), 1);
        const QJsonObject n = pictures[0].toObject();
        EXPECT_EQ(n.value("sheet").toString(), "Report");
        EXPECT_NEAR(n.value("x").toInt(), p.value("x").toInt(), 27);
        EXPECT_NEAR(n.value("y").toInt(), p.value("y").toInt(), 27);
        EXPECT_NEAR(n.value("width").toInt(), p.value("width").toInt(), 27);
        // The picture keeps its shape: 160 by 90.
        EXPECT_NEAR(n.value("height").toDouble() / n.value("width").toDouble(), 90.0 / 160.0, 0.01);
    }
}

// LibreOffice, an independent reader, opens what publishing wrote: each result is converted
// by it and the copy read back by our reader.
TEST_F(PublishWorkbookTest, LibreOfficeOpensThePublishedWorkbooks) {
    ASSERT_SOFFICE();
    const QString soffice = testsupport::Soffice();
    const QStringList published = {Publish("Sales", templates_ + "placeholder.xlsx"),
                                   Publish("Sales"), Publish("Plain", ""),
                                   Publish("Missing", templates_ + "missing_sheet.xlsx")};
    for (const QString& path : published)
        ASSERT_FALSE(path.isEmpty());
    QTemporaryDir work;
    QStringList inputs;
    for (int i = 0; i < published.size(); ++i) {
        inputs << work.path() + QString("/in%1.xlsx").arg(i);
        ASSERT_TRUE(QFile::copy(published[i], inputs.last()));
    }
    ASSERT_TRUE(LibreOfficeCopies(soffice, work.path() + "/profile", inputs, work.path() + "/out"));

    const std::vector<std::pair<QString, int>> expected = {{"Report", 1}, {"Report", 1}, {"", 1}, {"", 1}};
    for (int i = 0; i < published.size(); ++i) {
        const QString copy = work.path() + QString("/out/in%1.xlsx").arg(i);
        ASSERT_TRUE(FileExists(copy)) << copy.toStdString();
        xl::Workbook* book = reader_.Workbooks().Open(copy);
        int pictures = 0;
        for (int s = 1; s <= book->Sheets().Count(); ++s)
            pictures += book->Sheets().Item(s)->Shapes().Count();
        EXPECT_EQ(pictures, expected[i].second) << i;
        if (!expected[i].first.isEmpty()) {
            xl::Worksheet* report = book->Sheets().Item(expected[i].first);
            ASSERT_EQ(report->Shapes().Count(), 1);
            EXPECT_EQ(report->Range("C2").Value().type, xl::ValueType::Number);
        }
    }
}

// A template saved by LibreOffice: its cells' default style is a custom number format whose
// code is "General" rather than the built-in format 0. The date of publishing must still show
// as a date and time, not as its serial number.
TEST_F(PublishWorkbookTest, TheDateShowsAsADateInATemplateSavedByLibreOffice) {
    ASSERT_SOFFICE();
    const QString soffice = testsupport::Soffice();
    QTemporaryDir work;
    ASSERT_TRUE(LibreOfficeCopies(soffice, work.path() + "/profile", {templates_ + "placeholder.xlsx"},
                                  work.path()));
    const QString saved = work.path() + "/placeholder.xlsx";
    // The case at hand: a General format of its own in the styles LibreOffice wrote.
    const xl::Package package = xl::Package::FromZip(testsupport::ReadBytes(saved));
    const QRegularExpressionMatch general =
        QRegularExpression("numFmtId=\"(\\d+)\" formatCode=\"General\"")
            .match(QString::fromUtf8(package.Part("xl/styles.xml")));
    ASSERT_TRUE(general.hasMatch() && general.captured(1).toInt() >= 164)
        << "LibreOffice wrote no custom General format";
    ASSERT_TRUE(QFile::copy(saved, templates_ + "FromCalc.xlsx"));

    const QString shown = Publish("Calc", templates_ + "FromCalc.xlsx");
    ASSERT_FALSE(shown.isEmpty()) << PromptScript::Messages().join(" / ").toStdString();
    xl::Workbook* book = reader_.Workbooks().Open(shown);
    const xl::Range stamp = book->Sheets().Item("Report")->Range("C2");
    ASSERT_EQ(stamp.Value().type, xl::ValueType::Number);
    const QDateTime now = QDateTime::currentDateTime();
    const QString text = stamp.Text();
    EXPECT_TRUE(text.contains(':') && text.contains(QString::number(now.date().day())))
        << "shown as " << text.toStdString();
    EXPECT_NE(text, QString::number(stamp.Value().number));
}
