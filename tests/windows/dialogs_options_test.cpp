// The options dialog: the frequency checks row by row, the colour picker, the alignment and
// the time stamp, and the Tools menu command that applies the options to the main window.

#include "DialogTestSupport.h"
#include "WindowTestSupport.h"

#include "services/modUtilsINI.h"
#include "windows/Colors.h"
#include "windows/frmOptions.h"

#include <QCheckBox>
#include <QColor>
#include <QFile>

namespace {

QString StoredOption(const char* key) {
    return INI_ReadString(GetINIFile(), QStringLiteral("Options"), QLatin1String(key),
                          QStringLiteral("<absent>"));
}

class OptionsTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        gDashboardColor = 16777215;
        gPanelTimeStamp = true;
        gRefreshFrequency = 10;
        gCaptionAlignment = QStringLiteral("Center");
    }
};

}  // namespace

TEST_F(OptionsTest, FrequencyChecksInOrderKeepTheDialogOpen) {
    struct Row {
        const char* typed;
        const char* message;
    };
    const Row rows[] = {
        {"", "No refresh frequency specified."},
        {"   ", "No refresh frequency specified."},
        {"abc", "Refresh frequency must be numeric."},
        {"12abc", "Refresh frequency must be numeric."},
        {"0", "Refresh frequency must be greater than 0."},
        {"-1", "Refresh frequency must be greater than 0."},
        // Would be stored as 0 minutes.
        {"0.4", "Refresh frequency must be greater than 0."},
        {"32001", "Refresh frequency cannot be greater than 32,000."},
        {"32000.5", "Refresh frequency cannot be greater than 32,000."},
        {"1e9", "Refresh frequency cannot be greater than 32,000."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        PromptScript::Reset();
        frmOptions dialog;
        dialog.Form_Activate();
        Type(&dialog, "txtFrequency", QString::fromLatin1(row.typed));
        Press(&dialog, "cmdOK");
        EXPECT_EQ(PromptScript::Messages(), QStringList{QString::fromLatin1(row.message)});
        ASSERT_EQ(PromptScript::Record().size(), 1u);
        EXPECT_EQ(PromptScript::Record()[0].style, vbExclamation);
        EXPECT_FALSE(dialog.IsUnloaded());
        if (!QString::fromLatin1(row.typed).trimmed().isEmpty()) {
            EXPECT_TRUE(WholeTextSelected(&dialog, "txtFrequency"));
        }
        EXPECT_EQ(gRefreshFrequency, 10);
    }
    EXPECT_FALSE(QFile::exists(GetINIFile()));
}

TEST_F(OptionsTest, AcceptedFrequenciesAreStoredRounded) {
    const std::pair<const char*, int> rows[] = {
        {"1", 1}, {"32000", 32000}, {"2.5", 2}, {"3.5", 4}, {" 15 ", 15}, {"0.6", 1}};
    for (const auto& [typed, stored] : rows) {
        SCOPED_TRACE(typed);
        PromptScript::Reset();
        frmOptions dialog;
        dialog.Form_Activate();
        Type(&dialog, "txtFrequency", QString::fromLatin1(typed));
        Press(&dialog, "cmdOK");
        EXPECT_TRUE(PromptScript::Messages().isEmpty());
        EXPECT_TRUE(dialog.IsUnloaded());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(gRefreshFrequency, stored);
        EXPECT_EQ(StoredOption("Refresh Frequency"), QString::number(stored));
    }
}

TEST_F(OptionsTest, ActivationShowsTheOptionsAndOkWritesAllFour) {
    gPanelTimeStamp = true;
    gRefreshFrequency = 25;
    gCaptionAlignment = QStringLiteral(" left ");
    frmOptions dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Options"));
    EXPECT_EQ(ComboTexts(&dialog, "cmbCaptionAlign"),
              (QStringList{QStringLiteral("Left"), QStringLiteral("Center")}));
    EXPECT_EQ(Combo(&dialog, "cmbCaptionAlign")->currentText(), QStringLiteral("Center"));
    dialog.Form_Activate();
    auto* stamp = Control<QCheckBox>(&dialog, "chkDateTimeStamp");
    EXPECT_TRUE(stamp->isChecked());
    EXPECT_EQ(TextOfBox(&dialog, "txtFrequency"), QStringLiteral("25"));
    // Chosen without regard to case and blanks.
    EXPECT_EQ(Combo(&dialog, "cmbCaptionAlign")->currentText(), QStringLiteral("Left"));
    EXPECT_EQ(dialog.SwatchColor(), QColor(255, 255, 255));

    stamp->setChecked(false);
    Press(&dialog, "cmdOK");
    EXPECT_TRUE(dialog.IsUnloaded());
    EXPECT_FALSE(gPanelTimeStamp);
    EXPECT_EQ(gCaptionAlignment, QStringLiteral("Left"));
    EXPECT_EQ(StoredOption("Panel Time Stamp"), QStringLiteral("0"));
    EXPECT_EQ(StoredOption("Caption Alignment"), QStringLiteral("Left"));
    EXPECT_EQ(StoredOption("Dashboard Color"), QStringLiteral("16777215"));
    EXPECT_EQ(StoredOption("Refresh Frequency"), QStringLiteral("25"));
}

TEST_F(OptionsTest, AnAlignmentOfNeitherKindShowsNoChoiceAndIsKept) {
    gCaptionAlignment = QStringLiteral("Right");
    frmOptions dialog;
    dialog.Form_Activate();
    EXPECT_EQ(Combo(&dialog, "cmbCaptionAlign")->currentIndex(), -1);
    Press(&dialog, "cmdOK");
    EXPECT_TRUE(dialog.IsUnloaded());
    EXPECT_EQ(gCaptionAlignment, QStringLiteral("Right"));
    EXPECT_EQ(StoredOption("Caption Alignment"), QStringLiteral("Right"));
}

TEST_F(OptionsTest, ColourPickStartsFromTheSwatchAndCancelDropsIt) {
    gDashboardColor = RGBValue(10, 20, 30);
    {
        frmOptions dialog;
        dialog.Form_Activate();
        PromptScript::QueueDialog(QStringLiteral("color"), QColor(200, 100, 50));
        Press(&dialog, "cmdWorkspaceColor");
        ASSERT_EQ(PromptScript::Record().size(), 1u);
        EXPECT_EQ(PromptScript::Record()[0].text, QColor(10, 20, 30).name());
        EXPECT_EQ(dialog.SwatchColor(), QColor(200, 100, 50));
        // A cancelled picker keeps the colour picked before.
        Press(&dialog, "cmdWorkspaceColor");
        EXPECT_EQ(dialog.SwatchColor(), QColor(200, 100, 50));
        Press(&dialog, "cmdCancel");
        EXPECT_TRUE(dialog.IsUnloaded());
    }
    EXPECT_EQ(gDashboardColor, RGBValue(10, 20, 30));
    EXPECT_FALSE(QFile::exists(GetINIFile()));
    {
        frmOptions dialog;
        dialog.Form_Activate();
        PromptScript::QueueDialog(QStringLiteral("color"), QColor(200, 100, 50));
        Press(&dialog, "cmdWorkspaceColor");
        Press(&dialog, "cmdOK");
    }
    EXPECT_EQ(gDashboardColor, RGBValue(200, 100, 50));
    EXPECT_EQ(StoredOption("Dashboard Color"), QString::number(RGBValue(200, 100, 50)));
}

TEST_F(OptionsTest, ToolsOptionsAppliesTheColourAndRedrawsTheTitles) {
    frmWorkspace* window = StartWindow();
    EXPECT_TRUE(Item("mnuToolsOptions")->isEnabled());
    // The swatch starts from the colour the dashboard shows.
    {
        frmOptions dialog;
        dialog.Form_Activate();
        EXPECT_EQ(dialog.SwatchColor(), window->mdiArea()->background().color());
    }
    gDashboardColor = RGBValue(1, 2, 3);
    PromptScript::QueueDialog(QStringLiteral("frmOptions"), true);
    Click("mnuToolsOptions");
    EXPECT_TRUE(DialogsShown().contains(QStringLiteral("frmOptions")));
    EXPECT_EQ(window->mdiArea()->background().color(), QColor(1, 2, 3));
    EXPECT_FALSE(window->IsBusy());
}
