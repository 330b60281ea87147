// The custom road of a paste: the pasted workbook is copied beside the program and its sheet
// (or chart) kept in the source's template workbook.

#include "PanelTestSupport.h"

#include "services/DesktopLaunch.h"
#include "services/modMain.h"

#include <QMdiArea>

TEST_F(PanelTest, ACustomPasteKeepsTheSheetInTheSourcesTemplate) {
    StartWindow();
    Copy(QStringLiteral("range"));
    frmPanel* panel = CustomPanel(Window());
    ASSERT_TRUE(panel->Panel_Paste()) << PromptScript::Messages().join('|').toStdString();
    const clsWorkspacePanel* record = gWorkspace->Panels(panel->Index);
    ASSERT_TRUE(record->Source());
    EXPECT_TRUE(record->Source()->HasCustom);
    const QString suffix = QString::number(record->SourceID) + QStringLiteral(".xlsx");
    const QString copyPath = GetTemplatesFolder() + QStringLiteral("PVCopy") + suffix;
    const QString templatePath = GetTemplatesFolder() + QStringLiteral("PVTmpl") + suffix;
    ASSERT_TRUE(QFile::exists(copyPath));
    ASSERT_TRUE(QFile::exists(templatePath));
    EXPECT_EQ(record->ContentMatch, QStringLiteral("bottom=$C$5"));

    xl::Application app;
    xl::Workbook* tmpl = app.Workbooks().Open(templatePath);
    xl::Worksheet* kept = tmpl->Sheets().Find(QStringLiteral("Data"));
    ASSERT_TRUE(kept);
    xl::Workbook* original = app.Workbooks().Open(InFolder(QStringLiteral("Sales.xlsx")));
    EXPECT_EQ(kept->Range(QStringLiteral("B3")).Text(),
              original->Sheets().Item(QStringLiteral("Data"))->Range(QStringLiteral("B3")).Text());

    // A second custom paste from the same workbook replaces the kept sheet: still one "Data".
    Copy(QStringLiteral("range"));
    frmPanel* again = CustomPanel(Window());
    ASSERT_TRUE(again->Panel_Paste()) << PromptScript::Messages().join('|').toStdString();
    xl::Application fresh;
    xl::Workbook* reread = fresh.Workbooks().Open(templatePath);
    int dataSheets = 0;
    for (int i = 1; i <= reread->Sheets().Count(); ++i)
        dataSheets += reread->Sheets().Item(i)->Name().compare(QStringLiteral("Data"), Qt::CaseInsensitive) == 0;
    EXPECT_EQ(dataSheets, 1);
    EXPECT_FALSE(reread->Sheets().Find(QStringLiteral("PvOld1")));
}

TEST_F(PanelTest, ACustomChartPasteKeepsTheChartUnderItsName) {
    StartWindow();
    Copy(QStringLiteral("range"));
    Copy(QStringLiteral("chart"));
    frmPanel* panel = CustomPanel(Window());
    ASSERT_TRUE(panel->Panel_Paste()) << PromptScript::Messages().join('|').toStdString();
    const clsWorkspacePanel* record = gWorkspace->Panels(panel->Index);
    EXPECT_EQ(record->ContentType, PanelContent::Chart);
    ASSERT_FALSE(record->PicRange.isEmpty());
    const QString templatePath = GetTemplatesFolder() + QStringLiteral("PVTmpl") +
                                 QString::number(record->SourceID) + QStringLiteral(".xlsx");
    xl::Application app;
    xl::Worksheet* charts = app.Workbooks().Open(templatePath)->Sheets().Find(QStringLiteral("PvChartCopy"));
    ASSERT_TRUE(charts);
    ASSERT_GE(charts->ChartObjects().Count(), 1);
    EXPECT_EQ(charts->ChartObjects().All().back()->Name(), record->PicRange);
}

// A macro-enabled workbook keeps its extension on both custom files, and the panel finds them
// again: the custom launch opens the copy, and a refresh renders the panel from it. A name with
// dots of its own keeps them in the caption.
TEST_F(PanelTest, ACustomPasteOfAMacroWorkbookIsFoundAgainUnderItsOwnExtension) {
    StartWindow();
    const QString workbook = InFolder(QStringLiteral("Sales.v2.xlsm"));
    ASSERT_TRUE(QFile::copy(InFolder(QStringLiteral("Sales.xlsx")), workbook));
    Copy(QStringLiteral("range"), workbook);
    frmPanel* panel = CustomPanel(Window());
    ASSERT_TRUE(panel->Panel_Paste()) << PromptScript::Messages().join('|').toStdString();
    clsWorkspacePanel* record = gWorkspace->Panels(panel->Index);
    EXPECT_EQ(record->Caption, QStringLiteral("Sales.v2"));
    const QString id = QString::number(record->SourceID);
    const QString copyPath = GetTemplatesFolder() + QStringLiteral("PVCopy") + id + QStringLiteral(".xlsm");
    EXPECT_TRUE(QFile::exists(copyPath));
    EXPECT_TRUE(QFile::exists(GetTemplatesFolder() + QStringLiteral("PVTmpl") + id + QStringLiteral(".xlsm")));
    EXPECT_FALSE(QFile::exists(GetTemplatesFolder() + QStringLiteral("PVCopy") + id + QStringLiteral(".xlsx")));
    ASSERT_TRUE(record->Source());
    EXPECT_EQ(record->Source()->Prepped(), copyPath);

    DesktopLaunch::ResetScript();
    PromptScript::Reset();
    panel->Panel_LaunchCustom();
    EXPECT_EQ(DesktopLaunch::Requests(), QStringList{QStringLiteral("open ") + copyPath})
        << PromptScript::Messages().join('|').toStdString();

    // Rendered again, from the copy.
    ExcelApp XL;
    ASSERT_TRUE(Excel_Init(XL));
    EXPECT_TRUE(panel->Panel_Load(XL, true)) << PromptScript::Messages().join('|').toStdString();
    Excel_Exit(XL);
}
