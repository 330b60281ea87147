// What LibreOffice makes of the written files, the publishing flow into a template, and the
// recalculation through LibreOffice with its refusals. LibreOffice runs take seconds: few tests.

#include "TestSupport.h"
#include "WriterFixtures.h"

#include "platform/workbook/Recalc.h"
#include "platform/workbook/Workbook.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <QThread>

#include <signal.h>

using namespace xl;

namespace {

using PathOverride = testsupport::PathGuard;

}  // namespace

// The publishing road: a new workbook from a template whose "Info" sheet names the target
// sheet, the date cell and the placeholder; the picture replaces the placeholder.
TEST(WriterLibreOffice, TemplateFlowOpensInOurReaderAndInLibreOffice) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString tpl = writerfx::Copy(QStringLiteral("template.xlsx"), tmp);
    const QString out = tmp.filePath(QStringLiteral("published.xlsx"));
    double holderTop = 0, holderLeft = 0, holderWidth = 0;
    {
        Application app;
        Workbook* wb = app.Workbooks().Add(tpl);
        Worksheet* info = wb->Sheets().Item(QStringLiteral("Info"));
        const QString b1 = info->Range(QStringLiteral("B1")).Value().text;
        const QString b2 = info->Range(QStringLiteral("B2")).Value().text;
        const QString b3 = info->Range(QStringLiteral("B3")).Value().text;
        Worksheet* target = wb->Sheets().Item(b1);
        target->Activate();
        target->Range(b2).SetValue(QDateTime(QDate(2026, 12, 8), QTime(21, 5, 0)));

        QImage img(200, 50, QImage::Format_RGB32);
        img.fill(QColor(250, 120, 0));
        QGuiApplication::clipboard()->clear();
        QGuiApplication::clipboard()->setImage(img);
        target->Paste();
        QGuiApplication::clipboard()->clear();

        Shape* holder = target->Shapes().Item(b3);
        holderTop = holder->Top();
        holderLeft = holder->Left();
        holderWidth = holder->Width();
        auto last = [&] { return target->Shapes().Item(target->Shapes().Count()); };
        last()->SetTop(holder->Top());
        last()->SetLeft(holder->Left());
        last()->SetWidth(holder->Width());
        holder->Delete();
        last()->SetName(b3);
        wb->SaveAs(out);
    }
    Application app;
    Workbook* wb = app.Workbooks().Open(out);
    Worksheet* dash = wb->Sheets().Item(QStringLiteral("Dash"));
    ASSERT_EQ(dash->Shapes().Count(), 1);
    Shape* pic = dash->Shapes().Item(1);
    EXPECT_EQ(pic->Name(), QStringLiteral("Placeholder"));
    EXPECT_EQ(pic->Type(), ShapeType::Picture);
    EXPECT_NEAR(pic->Top(), holderTop, 0.01);
    EXPECT_NEAR(pic->Left(), holderLeft, 0.01);
    EXPECT_NEAR(pic->Width(), holderWidth, 0.01);
    EXPECT_NEAR(pic->Height(), holderWidth / 4, 0.01);  // the picture's own 4:1
    EXPECT_EQ(dash->Range(QStringLiteral("B2")).Text(), QStringLiteral("12/8/2026 21:05"));
    // Only the picture that was pasted is still referred to by the drawing.
    int images = 0;
    for (const Relationship& r : dash->Data().drawingRels)
        images += r.Kind() == QLatin1String("image") ? 1 : 0;
    EXPECT_EQ(images, 1);
    // The template file is as it was.
    EXPECT_EQ(writerfx::ReadAll(tpl), writerfx::ReadAll(writerfx::Dir() + QStringLiteral("/template.xlsx")));

    ASSERT_SOFFICE();
    const auto csv = writerfx::LibreOfficeCsv(out);
    ASSERT_EQ(csv.count(QStringLiteral("Dash")), 1u) << "LibreOffice could not read the published workbook";
    const QStringList& lines = csv.at(QStringLiteral("Dash"));
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0].section(QLatin1Char(','), 0, 0), QStringLiteral("Dashboard"));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("21:05"))) << lines[1].toStdString();
    EXPECT_EQ(csv.at(QStringLiteral("Info"))[2], QStringLiteral(",Placeholder"));
}

TEST(WriterLibreOffice, WrittenValuesAndCopiedSheetsReadBackInLibreOffice) {
    ASSERT_WRITER_FIXTURES();
    ASSERT_SOFFICE();
    QTemporaryDir tmp;
    const QString source = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    const QString target = writerfx::Copy(QStringLiteral("target.xlsx"), tmp);
    {
        Application app;
        Workbook* from = app.Workbooks().Open(source);
        Workbook* to = app.Workbooks().Open(target);
        Worksheet* data = from->Sheets().Item(QStringLiteral("Data"));
        data->Range(QStringLiteral("A4")).SetValue(CellValue::Text(QStringLiteral("West, \"quoted\"")));
        data->Range(QStringLiteral("B4")).SetValue(CellValue::Number(7.25));
        data->Range(QStringLiteral("B4")).GetInterior().SetColor(RGB(200, 0, 0));
        data->Copy(to->Sheets().Item(1));
        Worksheet* added = to->Sheets().Add();
        added->Range(QStringLiteral("A1")).SetValue(CellValue::Number(1));
        to->Sheets().Item(QStringLiteral("Target"))->SetName(QStringLiteral("Renamed"));
        to->Save();
    }
    const auto csv = writerfx::LibreOfficeCsv(target);
    ASSERT_EQ(csv.size(), 3u) << "LibreOffice could not read the written workbook";
    const QStringList& data = csv.at(QStringLiteral("Data"));
    ASSERT_GE(data.size(), 4);
    EXPECT_EQ(data[0], QStringLiteral("Name,Amount,,Merged"));
    EXPECT_EQ(data[1], QStringLiteral("North,10.50,,"));
    EXPECT_EQ(data[3], QStringLiteral("\"West, \"\"quoted\"\"\",7.25,,"));
    EXPECT_EQ(csv.at(QStringLiteral("Renamed"))[0], QStringLiteral("T"));
    EXPECT_EQ(csv.at(QStringLiteral("Sheet1"))[0], QStringLiteral("1"));
}

TEST(WriterLibreOffice, RefreshAllRecalculatesStaleFormulas) {
    ASSERT_WRITER_FIXTURES();
    ASSERT_SOFFICE();
    QTemporaryDir tmp;
    const QString path = writerfx::Copy(QStringLiteral("stale.xlsx"), tmp);
    {
        Application app;
        Workbook* wb = app.Workbooks().Open(path);
        Worksheet* calc = wb->Sheets().Item(QStringLiteral("Calc"));
        ASSERT_EQ(calc->Range(QStringLiteral("A3")).Value().number, 99);
        writerfx::SofficeTurn turn;
        wb->RefreshAll();
        EXPECT_EQ(calc->Range(QStringLiteral("A3")).Value().number, 6);
        EXPECT_EQ(calc->Range(QStringLiteral("A4")).Value().number, 5);
        EXPECT_EQ(calc->Range(QStringLiteral("B1")).Value().text, QStringLiteral("abcx"));
        EXPECT_FALSE(wb->Saved());
        wb->Save();
    }
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    Worksheet* calc = wb->Sheets().Item(QStringLiteral("Calc"));
    EXPECT_EQ(calc->Range(QStringLiteral("A3")).Value().number, 6);
    EXPECT_EQ(calc->Range(QStringLiteral("B1")).Value().text, QStringLiteral("abcx"));
    // The formulas stay in the file: only their results changed.
    const QByteArray sheet = writerfx::Parts(path).at(QStringLiteral("xl/worksheets/sheet1.xml"));
    EXPECT_TRUE(sheet.contains("<f>A1*A2</f>"));
    EXPECT_TRUE(sheet.contains("<f>SUM(A1:A2)</f>"));

    // An unsaved edit is recalculated through a copy, the file itself is not touched.
    const QByteArray saved = writerfx::ReadAll(path);
    calc->Range(QStringLiteral("A1")).SetValue(CellValue::Number(10));
    {
        writerfx::SofficeTurn turn;
        wb->RefreshAll();
    }
    EXPECT_EQ(calc->Range(QStringLiteral("A3")).Value().number, 30);
    EXPECT_EQ(writerfx::ReadAll(path), saved);
}

// A formula that refers to another workbook file shows what that file holds now, not the
// link's cached copy; also when unsaved edits send the recalculation through a copy in another
// folder while the link names the file by a path relative to the workbook's own folder. The
// folder's name needs escaping in a URL.
TEST(WriterLibreOffice, RefreshAllReadsTheWorkbooksItsFormulasReferTo) {
    ASSERT_SOFFICE();
    QTemporaryDir tmpRoot;
    const QDir tmp(tmpRoot.filePath(QStringLiteral("Q4 #1 [final] \u00fcber")));
    const QString script = QStringLiteral("make_refresh_workbooks.py");
    ASSERT_FIXTURE_SCRIPT(script, {tmp.path()});
    // The link's cache says 2; the file says 7.
    ASSERT_FIXTURE_SCRIPT(script, {tmp.path(), QStringLiteral("7")});
    const QString report = tmp.filePath(QStringLiteral("Report.xlsx"));
    const QString linkRels = QStringLiteral("xl/externalLinks/_rels/externalLink1.xml.rels");
    const QByteArray relsBefore = writerfx::Parts(report).at(linkRels);

    Application app;
    Workbook* wb = app.Workbooks().Open(report);
    Worksheet* ws = wb->Sheets().Item(QStringLiteral("Report"));
    EXPECT_TRUE(ws->Range(QStringLiteral("B1")).Value().IsEmpty());
    {
        writerfx::SofficeTurn turn;
        wb->RefreshAll();
    }
    EXPECT_EQ(ws->Range(QStringLiteral("B1")).Value(), CellValue::Number(70));

    ws->Range(QStringLiteral("A1")).SetValue(CellValue::Number(100));
    ASSERT_FIXTURE_SCRIPT(script, {tmp.path(), QStringLiteral("3")});
    {
        writerfx::SofficeTurn turn;
        wb->RefreshAll();
    }
    EXPECT_EQ(ws->Range(QStringLiteral("B1")).Value(), CellValue::Number(300));
    wb->Save();
    // Anchoring the link was for the copy only: the saved workbook keeps its relative link.
    const auto parts = writerfx::Parts(report);
    EXPECT_EQ(parts.at(linkRels), relsBefore);
    EXPECT_TRUE(parts.at(QStringLiteral("xl/worksheets/sheet1.xml")).contains("<f>[1]Inputs!A1*A1</f>"));
}

TEST(WriterLibreOffice, RefreshAllWithoutLibreOfficeOrWithOneThatHangs) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString path = writerfx::Copy(QStringLiteral("stale.xlsx"), tmp);
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    const QString empty = tmp.filePath(QStringLiteral("empty"));
    QDir().mkpath(empty);
    {
        PathOverride path(empty);
        try {
            wb->RefreshAll();
            ADD_FAILURE() << "recalculated without LibreOffice";
        } catch (const Error& e) {
            EXPECT_EQ(e.Message(),
                      QStringLiteral("LibreOffice (soffice) is needed to recalculate workbooks and was not found."));
        }
    }
    // A LibreOffice that never finishes is stopped, and that is an error.
    const QString fake = tmp.filePath(QStringLiteral("fake"));
    QDir().mkpath(fake);
    {
        QFile f(fake + QStringLiteral("/soffice"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nexec sleep 60\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    {
        PathOverride path(fake + QStringLiteral(":/usr/bin:/bin"));
        SetRecalcTimeout(1500);
        QElapsedTimer t;
        t.start();
        try {
            wb->RefreshAll();
            ADD_FAILURE() << "a hanging LibreOffice was taken for a result";
        } catch (const Error& e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("did not finish"))) << e.what();
        }
        SetRecalcTimeout(120000);
        EXPECT_LT(t.elapsed(), 30000);
    }
    // The workbook is as it was.
    EXPECT_EQ(wb->Sheets().Item(1)->Range(QStringLiteral("A3")).Value().number, 99);
    EXPECT_TRUE(wb->Saved());
}

namespace {

// The reports of the recalculation while it lives.
class RecalcReports {
public:
    RecalcReports() {
        SetRecalcReporter([this](const QString& text) { lines.append(text); });
    }
    ~RecalcReports() { SetRecalcReporter(nullptr); }
    QString All() const { return lines.join(QLatin1Char('\n')); }
    QStringList lines;
};

// Ended: no such process any more, or one that only waits for its parent to reap it.
bool ProcessGone(qint64 pid) {
    for (int i = 0; i < 100; ++i) {
        if (::kill(pid_t(pid), 0) != 0)
            return true;
        const QByteArray stat = writerfx::ReadAll(QStringLiteral("/proc/%1/stat").arg(pid));
        const qsizetype close = stat.lastIndexOf(')');
        if (close > 0 && stat.mid(close + 2, 1) == "Z")
            return true;
        QThread::msleep(50);
    }
    return false;
}

// A soffice in front of the real one: it counts its starts, notes the profile each start was
// given, and dies at the first start as LibreOffice did on a loaded machine when `abortFirst`.
QString FrontSoffice(const QString& folder, bool abortFirst) {
    const QString script = folder + QStringLiteral("/soffice");
    testsupport::WriteScript(
        script,
        QStringLiteral(
            "#!/bin/sh\n"
            "n=$(cat '%1/starts' 2>/dev/null || echo 0); n=$((n+1)); echo $n > '%1/starts'\n"
            "for a in \"$@\"; do case \"$a\" in -env:UserInstallation=*) echo \"$a\" >> '%1/profiles';; esac; done\n"
            "if [ $n -eq 1 ] && [ '%2' = abort ]; then echo 'Fatal exception: Signal 6' >&2; kill -ABRT $$; fi\n"
            "exec '%3' \"$@\"\n")
            .arg(folder, abortFirst ? QStringLiteral("abort") : QString(), testsupport::Soffice())
            .toUtf8());
    return script;
}

QStringList Lines(const QString& path) {
    return QString::fromUtf8(writerfx::ReadAll(path)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

// One LibreOffice serves every recalculation of the program; one that dies is started again
// for the request that found it dead, and the log says so; stopping it ends its process.
TEST(WriterLibreOffice, OneLibreOfficeIsKeptStartedAgainWhenItDiesAndStopped) {
    ASSERT_WRITER_FIXTURES();
    ASSERT_SOFFICE();
    QTemporaryDir tmp;
    RecalcReports reports;
    writerfx::SofficeTurn turn;
    auto recalculated = [&](double a1) {
        const QString path = writerfx::Copy(QStringLiteral("stale.xlsx"), tmp);
        Application app;
        Workbook* wb = app.Workbooks().Open(path);
        Worksheet* calc = wb->Sheets().Item(QStringLiteral("Calc"));
        calc->Range(QStringLiteral("A1")).SetValue(CellValue::Number(a1));
        wb->RefreshAll();
        return calc->Range(QStringLiteral("A3")).Value().number;
    };
    EXPECT_EQ(recalculated(1), 3);
    const qint64 first = RecalcInstancePid();
    ASSERT_GT(first, 0);
    EXPECT_EQ(recalculated(2), 6);
    EXPECT_EQ(RecalcInstancePid(), first) << "a second LibreOffice was started";
    EXPECT_EQ(reports.lines.filter(QStringLiteral("LibreOffice started")).size(), 1) << reports.All().toStdString();
    EXPECT_EQ(reports.lines.filter(QStringLiteral("LibreOffice recalculated stale.xlsx")).size(), 2)
        << reports.All().toStdString();

    ::kill(pid_t(-first), SIGKILL);
    ASSERT_TRUE(ProcessGone(first));
    EXPECT_EQ(recalculated(4), 12);
    const qint64 second = RecalcInstancePid();
    EXPECT_GT(second, 0);
    EXPECT_NE(second, first);
    EXPECT_EQ(reports.lines.filter(QStringLiteral("LibreOffice died while recalculating stale.xlsx")).size(), 1)
        << reports.All().toStdString();
    EXPECT_EQ(reports.lines.filter(QStringLiteral("LibreOffice started")).size(), 2);

    StopRecalculation();
    EXPECT_EQ(RecalcInstancePid(), 0);
    EXPECT_TRUE(ProcessGone(second)) << "LibreOffice outlived its stop";
}

// LibreOffice dying on its way up is tried once more, on a profile prepared anew, which is
// then kept for the next recalculation. The log hears of each.
TEST(WriterLibreOffice, RefreshAllStartsADeadLibreOfficeOnceMoreAndKeepsItsProfile) {
    ASSERT_WRITER_FIXTURES();
    ASSERT_SOFFICE();
    QTemporaryDir tmp;
    const QString path = writerfx::Copy(QStringLiteral("stale.xlsx"), tmp);
    RecalcReports reports;
    const QString aborting = tmp.filePath(QStringLiteral("aborting"));
    QDir().mkpath(aborting);
    FrontSoffice(aborting, true);
    {
        writerfx::SofficeTurn turn;
        PathOverride front(aborting + QStringLiteral(":") + QString::fromLocal8Bit(qgetenv("PATH")));
        Application app;
        Workbook* wb = app.Workbooks().Open(path);
        wb->RefreshAll();
        EXPECT_EQ(wb->Sheets().Item(QStringLiteral("Calc"))->Range(QStringLiteral("A3")).Value().number, 6);
        wb->Sheets().Item(QStringLiteral("Calc"))->Range(QStringLiteral("A1")).SetValue(CellValue::Number(10));
        wb->RefreshAll();
        EXPECT_EQ(wb->Sheets().Item(QStringLiteral("Calc"))->Range(QStringLiteral("A3")).Value().number, 30);
        StopRecalculation();
    }
    EXPECT_EQ(Lines(aborting + QStringLiteral("/starts")), QStringList{QStringLiteral("2")});
    const QStringList profiles = Lines(aborting + QStringLiteral("/profiles"));
    ASSERT_EQ(profiles.size(), 2);
    EXPECT_NE(profiles[0], profiles[1]) << "the start after a death must not trust what the dead one left";
    ASSERT_GE(reports.lines.size(), 4) << reports.All().toStdString();
    EXPECT_TRUE(reports.lines[0].contains(QStringLiteral("died while starting"))) << reports.lines[0].toStdString();
    EXPECT_TRUE(reports.lines[0].contains(QStringLiteral("crashed"))) << reports.lines[0].toStdString();
    EXPECT_TRUE(reports.lines[0].contains(QStringLiteral("once more"))) << reports.lines[0].toStdString();
    // Both recalculations by the one LibreOffice of the second start.
    const QStringList started = reports.lines.filter(QStringLiteral("LibreOffice started"));
    ASSERT_EQ(started.size(), 1) << reports.All().toStdString();
    const QString start = QRegularExpression(QStringLiteral("start \\d+")).match(started[0]).captured(0);
    ASSERT_FALSE(start.isEmpty()) << started[0].toStdString();
    const QStringList done = reports.lines.filter(QStringLiteral("recalculated stale.xlsx"));
    ASSERT_EQ(done.size(), 2) << reports.All().toStdString();
    EXPECT_TRUE(done[0].contains(QStringLiteral("(") + start + QStringLiteral(")"))) << reports.All().toStdString();
    EXPECT_TRUE(done[1].contains(QStringLiteral("(") + start + QStringLiteral(")"))) << reports.All().toStdString();
}

// A LibreOffice that dies at every start is given one more start, not more, and the error says
// it could not be started; a workbook LibreOffice can't open is an error without a restart.
TEST(WriterLibreOffice, ALibreOfficeThatDiesAtStartIsTriedTwiceABrokenWorkbookOnce) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString path = writerfx::Copy(QStringLiteral("stale.xlsx"), tmp);
    const QString fake = tmp.filePath(QStringLiteral("fake"));
    QDir().mkpath(fake);
    const QString starts = tmp.filePath(QStringLiteral("starts"));
    testsupport::WriteScript(
        fake + QStringLiteral("/soffice"),
        QStringLiteral("#!/bin/sh\necho start >> '%1'\necho 'Fatal exception: Signal 6'\nkill -ABRT $$\n")
            .arg(starts)
            .toUtf8());
    RecalcReports reports;
    {
        Application app;
        Workbook* wb = app.Workbooks().Open(path);
        PathOverride override(fake + QStringLiteral(":/usr/bin:/bin"));
        try {
            wb->RefreshAll();
            ADD_FAILURE() << "recalculated by a LibreOffice that died";
        } catch (const Error& e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("LibreOffice could not be started"))) << e.what();
        }
        EXPECT_EQ(wb->Sheets().Item(1)->Range(QStringLiteral("A3")).Value().number, 99);
    }
    EXPECT_EQ(QString::fromUtf8(writerfx::ReadAll(starts)).count(QStringLiteral("start")), 2);
    ASSERT_EQ(reports.lines.filter(QStringLiteral("LibreOffice died while starting")).size(), 2) << reports.All().toStdString();
    EXPECT_TRUE(reports.lines[0].contains(QStringLiteral("once more")));
    EXPECT_TRUE(reports.lines[0].contains(QStringLiteral("signal 6"))) << reports.lines[0].toStdString();

    // The real one: a file that is no workbook at all is refused, and nothing restarts.
    ASSERT_SOFFICE();
    writerfx::SofficeTurn turn;
    reports.lines.clear();
    const QString broken = tmp.filePath(QStringLiteral("broken.xlsx"));
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, '\x01'));
    }
    try {
        RecalculateFile(broken);
        ADD_FAILURE() << "a broken file was recalculated";
    } catch (const Error& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("Unable to recalculate broken.xlsx"))) << e.what();
    }
    EXPECT_TRUE(reports.lines.filter(QStringLiteral("died")).isEmpty()) << reports.All().toStdString();
    StopRecalculation();
}
