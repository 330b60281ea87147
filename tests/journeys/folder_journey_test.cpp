// A panel whose workbook arrives in a watched folder: File Updates set to that folder and a
// mask, a newer version with rows inserted above the range dropped in, Dashboard > Refresh, and
// the panel shows the range at its new place in the new version.

#include "Journey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TEST_F(Journey, APanelFollowsANewerWorkbookDroppedIntoItsWatchedFolder) {
    ASSERT_TRUE(MakeWorkbooks());
    // The user's report in a folder of its own; newer versions arrive in another one.
    const QString reports = Work(QStringLiteral("reports"));
    const QString incoming = Work(QStringLiteral("incoming"));
    ASSERT_TRUE(QDir().mkpath(reports));
    ASSERT_TRUE(QDir().mkpath(incoming));
    const QString report = reports + QStringLiteral("/report.xlsx");
    ASSERT_TRUE(QFile::rename(Work(QStringLiteral("report.xlsx")), report));
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(StartCalc(report));

    ASSERT_TRUE(CopyCells(QStringLiteral("$Report.A3:C8"), QStringLiteral("Report.A3:C8")));
    ASSERT_TRUE(Paste());
    ASSERT_TRUE(WaitOnScreen(QStringLiteral("the pasted panel shows A3:C8"),
                             Render(report, QStringLiteral("Report"), QStringLiteral("A3:C8"))));

    // Panel > File Updates...: newer files come to the folder "incoming", named report*.xlsx.
    ASSERT_TRUE(Menu(QStringLiteral("p"), QStringList(4, QStringLiteral("Down"))));
    ASSERT_TRUE(Answer(QStringLiteral("^File Updates$"), {QStringLiteral("Tab"), QStringLiteral("f"), QStringLiteral("Tab"),
                                                          QStringLiteral("ctrl+a")}));
    desk_.Type(incoming);
    desk_.Keys({QStringLiteral("Tab"), QStringLiteral("ctrl+a")});
    desk_.Type(QStringLiteral("report*.xlsx"));
    desk_.Keys({QStringLiteral("Tab"), QStringLiteral("ctrl+a")});
    desk_.Type(QStringLiteral("1"));
    desk_.Keys({QStringLiteral("Return")});
    ASSERT_TRUE(Step(QStringLiteral("the source watches the folder"), 60, [&] {
        return Text(QStringLiteral("SELECT UpdateType || '|' || Mask || '|' || SourceFolder FROM DsbPanelSource")) ==
               QStringLiteral("folder|report*.xlsx|") + incoming + QLatin1Char('/');
    }));

    // Dashboard > Save, named "Reports".
    ASSERT_TRUE(SaveDashboard(QStringLiteral("Reports")));
    ASSERT_TRUE(Step(QStringLiteral("the panel is stored"), 60,
                     [&] { return Number(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel")) == 1; }));
    const qint64 panel = Number(QStringLiteral("SELECT ID FROM DsbSavedPanel"));

    // Next week's report arrives: three more rows above the title, other figures. It is caught
    // by a refresh while it is still being copied in: its first fifth, dated now. Nothing of it
    // is taken, the panel keeps its picture, and no box asks anything.
    const QString arrived = incoming + QStringLiteral("/report_0102.xlsx");
    QFile source(Work(QStringLiteral("report_0102.xlsx")));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray whole = source.readAll();
    const QDateTime lastFetched =
        db::FromStoredDateTime(Text(QStringLiteral("SELECT LastUpdated FROM DsbPanelSource")));
    auto write = [&](const QByteArray& bytes, const QDateTime& when) {
        QFile f(arrived);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() &&
               f.setFileTime(when, QFileDevice::FileModificationTime);
    };
    const QDateTime copying = QDateTime::currentDateTime();
    ASSERT_TRUE(lastFetched.isValid() && lastFetched.secsTo(copying) >= 4);
    ASSERT_TRUE(write(whole.left(whole.size() / 5), copying));
    const QString log = ProgramFolder() + QStringLiteral("/Sheetbeacon.log");
    ASSERT_TRUE(RefreshDashboard());
    ASSERT_TRUE(Step(QStringLiteral("the half-copied report is left for a later pass"), 120, [&] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) &&
               f.readAll().contains(
                   (arrived + QStringLiteral(" is not taken as a newer version yet")).toUtf8());
    }));
    ASSERT_TRUE(WaitOnScreen(QStringLiteral("the panel keeps its picture"),
                             Render(report, QStringLiteral("Report"), QStringLiteral("A3:C8"))));
    EXPECT_TRUE(desk_.Windows(QStringLiteral("^Sheetbeacon$")).isEmpty())
        << "a message box is open";
    Screenshot(QStringLiteral("half-copied-report-panel-keeps-its-picture"));
    EXPECT_NE(Text(QStringLiteral("SELECT NewestFile FROM DsbPanelSource")),
              QStringLiteral("report_0102.xlsx"));
    EXPECT_EQ(
        db::FromStoredDateTime(Text(QStringLiteral("SELECT LastUpdated FROM DsbPanelSource"))),
        lastFetched);
    EXPECT_FALSE(QFileInfo::exists(reports + QStringLiteral("/report_0102.xlsx")));

    // The copy completes, and the copying tool gives the file back its own time, older than
    // the half copy's (cp -p, rsync -t).
    ASSERT_TRUE(write(whole, lastFetched.addSecs(lastFetched.secsTo(copying) / 2)));

    // Dashboard > Refresh: fetched into the report's folder, the range found again six rows
    // down (the last used cell moved with it), the picture drawn from the new file.
    ASSERT_TRUE(RefreshDashboard());
    ASSERT_TRUE(Step(QStringLiteral("the newer report is fetched and recorded"), 120, [&] {
        return Text(QStringLiteral("SELECT NewestFile FROM DsbPanelSource")) == QStringLiteral("report_0102.xlsx");
    }));
    const QString fetched = reports + QStringLiteral("/report_0102.xlsx");
    EXPECT_TRUE(QFileInfo::exists(fetched));
    ASSERT_TRUE(Step(QStringLiteral("the range is found again at A6:C11"), 60, [&] {
        return Text(QStringLiteral("SELECT PicRange FROM DsbSavedPanel WHERE ID = ?"), {panel})
            .remove(QLatin1Char('$'))
            .startsWith(QStringLiteral("A6:C11`"));
    }));
    const QImage fresh = Render(fetched, QStringLiteral("Report"), QStringLiteral("A6:C11"));
    ASSERT_TRUE(WaitOnScreen(QStringLiteral("the panel shows the new figures"), fresh));
    ASSERT_TRUE(Step(QStringLiteral("the new picture is cached"), 60, [&] {
        return QImage(CachePath(panel)).convertToFormat(QImage::Format_RGB32) == fresh;
    }));
}
