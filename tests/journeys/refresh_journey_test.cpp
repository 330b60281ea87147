// A "refresh" source whose workbook the user still has open in LibreOffice Calc, as right after
// copying from it: Dashboard > Refresh and the periodic refresh show the values recalculated
// from the workbooks its formulas refer to, with no message box, and the file Calc holds is
// never written over. Panel > Open Excel File hands the user's own workbook to the desktop.

#include "Journey.h"

#include "FixtureTools.h"
#include "TestSupport.h"

#include "platform/workbook/Workbook.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The text a cell of a workbook shows, "" when the file can't be read (yet).
QString CellText(const QString& workbook, const QString& sheet, const QString& cell) {
    try {
        xl::Application app;
        return app.Workbooks().Open(workbook)->Sheets().Item(sheet)->Range(cell).Text();
    } catch (const std::exception&) {
        return QString();
    }
}

}  // namespace

TEST_F(Journey, ARefreshSourceOpenInCalcShowsRecalculatedValuesWithoutABox) {
    // Report.xlsx: A1 10, B1 =[Inputs.xlsx]Inputs!A1*A1; Inputs.xlsx: A1 2.
    const QString report = Work(QStringLiteral("Report.xlsx"));
    const QString folder = QFileInfo(report).absolutePath();
    ASSERT_FIXTURE_SCRIPT(QStringLiteral("make_refresh_workbooks.py"), {folder});
    // A refresh pass every minute.
    ASSERT_TRUE(QDir().mkpath(ProgramFolder()));
    testsupport::WriteText(ProgramFolder() + QStringLiteral("/Sheetbeacon.INI"),
                           QStringLiteral("[Options]\r\nRefresh Frequency=0\r\nCaption Alignment=Left\r\n"));
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(StartCalc(report));
    // The user saves the report in Calc, which keeps it open (and locked) from then on.
    ASSERT_TRUE(EditAndSave(report, QStringLiteral("Report"), QStringLiteral("A1"), QStringLiteral("10")));
    ASSERT_TRUE(QFileInfo::exists(folder + QStringLiteral("/.~lock.Report.xlsx#")));
    const QByteArray saved = testsupport::ReadBytes(report);

    ASSERT_TRUE(CopyCells(QStringLiteral("$Report.A1:F2"), QStringLiteral("Report.A1:F2")));
    ASSERT_TRUE(Paste());
    ASSERT_TRUE(WaitOnScreen(QStringLiteral("the pasted panel"), Render(report, QStringLiteral("Report"), QStringLiteral("A1:F2"))));

    // Panel > File Updates: "refresh", a new version every minute.
    ASSERT_TRUE(Menu(QStringLiteral("p"), QStringList(4, QStringLiteral("Down"))));
    ASSERT_TRUE(Answer(QStringLiteral("^File Updates$"), {QStringLiteral("Tab"), QStringLiteral("r"), QStringLiteral("Tab"),
                                                          QStringLiteral("Tab"), QStringLiteral("ctrl+a"),
                                                          QStringLiteral("1"), QStringLiteral("Return")}));
    ASSERT_TRUE(Step(QStringLiteral("the source is a \"refresh\" source checked every minute"), 60, [&] {
        return Text(QStringLiteral("SELECT UpdateType || '/' || CheckEveryNMin FROM DsbPanelSource")) ==
               QStringLiteral("refresh/1");
    }));
    ASSERT_TRUE(SaveDashboard(QStringLiteral("Journey")));
    const qint64 source = Number(QStringLiteral("SELECT ID FROM DsbPanelSource"));
    const QString copy = ProgramFolder() + QStringLiteral("/Recalculated/%1/Report.xlsx").arg(source);
    const auto noBox = [&] { return desk_.Windows(QStringLiteral("^Sheetbeacon$")).isEmpty(); };

    // The input changes in the other workbook; Dashboard > Refresh shows 70.
    ASSERT_FIXTURE_SCRIPT(QStringLiteral("make_refresh_workbooks.py"), {folder, QStringLiteral("7")});
    ASSERT_TRUE(RefreshDashboard());
    ASSERT_TRUE(Step(QStringLiteral("Dashboard > Refresh recalculates the report into a copy"), 180, [&] {
        return noBox() && CellText(copy, QStringLiteral("Report"), QStringLiteral("B1")) == QStringLiteral("70");
    }));
    ASSERT_TRUE(WaitOnScreen(QStringLiteral("the panel shows 70"),
                             Render(copy, QStringLiteral("Report"), QStringLiteral("A1:F2"))));
    Screenshot(QStringLiteral("refreshed-70"));
    EXPECT_TRUE(noBox()) << "a message box came";
    EXPECT_EQ(testsupport::ReadBytes(report), saved) << "the workbook Calc holds was written over";

    // Again, and only the periodic refresh: 90.
    ASSERT_FIXTURE_SCRIPT(QStringLiteral("make_refresh_workbooks.py"), {folder, QStringLiteral("9")});
    ASSERT_TRUE(Step(QStringLiteral("the periodic refresh recalculates the report, no box"), 300, [&] {
        if (!noBox()) {
            Fail(QStringLiteral("a message box in the periodic refresh"));
            return true;
        }
        return CellText(copy, QStringLiteral("Report"), QStringLiteral("B1")) == QStringLiteral("90");
    }));
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(WaitOnScreen(QStringLiteral("the panel shows 90"),
                             Render(copy, QStringLiteral("Report"), QStringLiteral("A1:F2"))));
    Screenshot(QStringLiteral("periodic-90"));
    EXPECT_TRUE(noBox()) << "a message box came";
    EXPECT_EQ(testsupport::ReadBytes(report), saved) << "the workbook Calc holds was written over";

    // Panel > Open Excel File: the user's own workbook goes to the desktop, not the copy.
    ASSERT_TRUE(Menu(QStringLiteral("p"), {QStringLiteral("Down")}));
    ASSERT_TRUE(Step(QStringLiteral("the workbook is handed to the desktop"), 60,
                     [&] { return !OpenedDocuments().isEmpty(); }));
    EXPECT_EQ(OpenedDocuments().constFirst(), report);
}
