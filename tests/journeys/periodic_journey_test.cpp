// The periodic refresh on the desktop: two panels of one report copied in LibreOffice Calc, the
// dashboard saved, and a newer report written over the file while the dashboard stays open. Nobody
// touches the program; the timer's next pass finds the newer version, locates both ranges again
// three rows down and shows the new figures in both panels, their cached pictures written.

#include "Journey.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <vector>

TEST_F(Journey, ThePeriodicRefreshShowsANewerVersionInEveryPanelOfIt) {
    ASSERT_TRUE(MakeWorkbooks());
    // A pass at every tick of the timer (a minute), not every eleventh.
    ASSERT_TRUE(QDir().mkpath(ProgramFolder()));
    testsupport::WriteText(ProgramFolder() + QStringLiteral("/Sheetbeacon.INI"),
                           QStringLiteral("[Options]\nRefresh Frequency=0\n"));
    const QString report = Work(QStringLiteral("report.xlsx"));
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(StartCalc(report));

    struct Panel {
        const char* copied;  // as the Name Box takes it
        const char* link;
        const char* range;   // in the first version
        const char* moved;   // in the newer one
        QPoint at;           // where the user right-clicked before pasting it
    };
    const Panel panels[] = {
        {"$Report.A3:C8", "Report.A3:C8", "A3:C8", "A6:C11", QPoint(40, 120)},
        {"$Report.A4:B7", "Report.A4:B7", "A4:B7", "A7:B10", QPoint(520, 520)},
    };
    for (const Panel& p : panels) {
        ASSERT_TRUE(RightClickBackground(p.at));
        ASSERT_TRUE(CopyCells(QString::fromLatin1(p.copied), QString::fromLatin1(p.link)));
        ASSERT_TRUE(Paste());
        ASSERT_TRUE(WaitOnScreen(QStringLiteral("the pasted panel shows ") + QLatin1String(p.range),
                                 Render(report, QStringLiteral("Report"), QString::fromLatin1(p.range))));
    }
    ASSERT_TRUE(SaveDashboard(QStringLiteral("Weekly")));
    ASSERT_TRUE(Step(QStringLiteral("both panels are stored"), 60,
                     [&] { return Number(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel")) == 2; }));
    Screenshot(QStringLiteral("periodic-before"));

    // Next week's report is written over this one, with a later time.
    const QString newer = Work(QStringLiteral("newer.xlsx"));
    ASSERT_TRUE(QFile::copy(Work(QStringLiteral("report_0102.xlsx")), newer));
    ASSERT_TRUE(QFile::remove(report));
    ASSERT_TRUE(QFile::rename(newer, report));
    QFile touched(report);
    ASSERT_TRUE(touched.open(QIODevice::ReadWrite));
    ASSERT_TRUE(touched.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    touched.close();

    // The timer's pass, within two of its minutes.
    std::vector<QImage> fresh;
    for (const Panel& p : panels) {
        fresh.push_back(Render(report, QStringLiteral("Report"), QString::fromLatin1(p.moved)));
        ASSERT_TRUE(WaitOnScreen(QStringLiteral("the panel of ") + QLatin1String(p.range) +
                                     QStringLiteral(" shows the new figures of ") + QLatin1String(p.moved),
                                 fresh.back(), 150));
    }
    Screenshot(QStringLiteral("periodic-after"));
    EXPECT_EQ(Text(QStringLiteral("SELECT group_concat(substr(PicRange, 1, instr(PicRange, '`') - 1), '|') FROM "
                                  "(SELECT replace(PicRange, '$', '') AS PicRange FROM DsbSavedPanel ORDER BY ID)")),
              QStringLiteral("A6:C11|A7:B10"));
    for (size_t i = 0; i < std::size(panels); ++i) {
        const qint64 id = Number(QStringLiteral("SELECT ID FROM DsbSavedPanel ORDER BY ID LIMIT 1 OFFSET ?"), {qint64(i)});
        EXPECT_TRUE(Step(QStringLiteral("the new picture of ") + QLatin1String(panels[i].moved) + QStringLiteral(" is cached"),
                         60, [&] { return QImage(CachePath(id)).convertToFormat(QImage::Format_RGB32) == fresh[i]; }));
    }
}
