// The open and save dialogs, the tips window and the About box, driven as the user drives
// them: fields set by the caller, buttons clicked, keys typed.

#include "WindowTestSupport.h"

#include "services/App.h"
#include "services/modUtilsHelp.h"
#include "windows/frmAbout.h"
#include "windows/frmOpenWorkspace.h"
#include "windows/frmSaveWorkspace.h"
#include "windows/frmTip.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

void ClickButton(QWidget* dialog, const char* control) {
    auto* button = dialog->findChild<QPushButton*>(QLatin1String(control));
    ASSERT_TRUE(button) << control;
    button->click();
}

QString LabelText(QWidget* dialog, const char* control) {
    auto* label = dialog->findChild<QLabel*>(QLatin1String(control));
    return label ? label->text() : QStringLiteral("<missing>");
}

// Accepts a name typed into the save dialog; the accepted name, or "" when it stayed open.
QString SaveWithName(const QString& Mode, const QString& typed) {
    frmSaveWorkspace dialog;
    dialog.Mode = Mode;
    dialog.Form_Load();
    dialog.findChild<QLineEdit*>(QStringLiteral("txtName"))->setText(typed);
    ClickButton(&dialog, "cmdOK");
    return dialog.WorkspaceName;
}

// An executable stand-in for a desktop program, in its own folder.
QString MakeProgram(const QString& folder, const QString& name) {
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name;
    testsupport::WriteText(path, QStringLiteral("#!/bin/sh\n"));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

class PathOverride {
public:
    explicit PathOverride(const QString& value) : old_(qgetenv("PATH")) { qputenv("PATH", value.toUtf8()); }
    ~PathOverride() { qputenv("PATH", old_); }

private:
    QByteArray old_;
};

}  // namespace

TEST_F(WindowTest, OpenDialogWithoutDashboardsSaysSoAndChoosesNothing) {
    gWorkspace = std::make_unique<clsWorkspace>();
    frmOpenWorkspace dialog;
    dialog.Show();  // the empty list ends it before it is shown
    EXPECT_EQ(dialog.WorkspaceID, -1);
    EXPECT_EQ(PromptScript::Messages(),
              QStringList{QStringLiteral("There are no saved dashboards to select from.  Please "
                                         "save at least one dashboard.")});
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Open a dashboard"));
    EXPECT_EQ(LabelText(&dialog, "lblSource"), QStringLiteral("Select a dashboard to open:"));
}

TEST_F(WindowTest, OpenDialogSelectionRules) {
    gWorkspace = std::make_unique<clsWorkspace>();
    const int32_t only = AddDashboard(QStringLiteral("Only"));
    {
        // One entry: nothing is selected, and OK without a choice is refused.
        frmOpenWorkspace dialog;
        dialog.Form_Load();
        dialog.Form_Activate();
        auto* list = dialog.findChild<QComboBox*>(QStringLiteral("cmbSource"));
        EXPECT_EQ(list->count(), 1);
        EXPECT_EQ(list->currentIndex(), -1);
        ClickButton(&dialog, "cmdOK");
        EXPECT_EQ(PromptScript::Messages(), QStringList{QStringLiteral("No dashboard selected.")});
        EXPECT_EQ(dialog.WorkspaceID, -1);
        // Cancel after the refusal still chooses nothing.
        ClickButton(&dialog, "cmdCancel");
        EXPECT_EQ(dialog.WorkspaceID, -1);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    const int32_t newer = AddDashboard(QStringLiteral("Newer"), 1);
    {
        // Two or more: the most recently used is selected and OK returns it.
        frmOpenWorkspace dialog;
        dialog.Form_Load();
        auto* list = dialog.findChild<QComboBox*>(QStringLiteral("cmbSource"));
        EXPECT_EQ(list->currentText(), QStringLiteral("Newer"));
        list->setCurrentIndex(1);
        ClickButton(&dialog, "cmdOK");
        EXPECT_EQ(dialog.WorkspaceID, only);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    // A move can't target the open dashboard; a copy can.
    gWorkspace->ID = newer;
    {
        frmOpenWorkspace dialog;
        dialog.Operation = QStringLiteral("Move");
        dialog.Form_Load();
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Move to dashboard"));
        EXPECT_EQ(LabelText(&dialog, "lblSource"), QStringLiteral("Select target dashboard:"));
        auto* list = dialog.findChild<QComboBox*>(QStringLiteral("cmbSource"));
        ASSERT_EQ(list->count(), 1);
        EXPECT_EQ(list->itemText(0), QStringLiteral("Only"));
    }
    {
        frmOpenWorkspace dialog;
        dialog.Operation = QStringLiteral("Copy");
        dialog.Form_Load();
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Copy to dashboard"));
        EXPECT_EQ(dialog.findChild<QComboBox*>(QStringLiteral("cmbSource"))->count(), 2);
    }
    // Move with the open dashboard as the only other one left: the empty-list message.
    gDB->Execute(QStringLiteral("DELETE FROM DsbSavedWorkspace WHERE ID = ?"), {only});
    PromptScript::Reset();
    frmOpenWorkspace dialog;
    dialog.Operation = QStringLiteral("Move");
    dialog.Show();
    EXPECT_EQ(dialog.WorkspaceID, -1);
    EXPECT_EQ(PromptScript::Messages().size(), 1);
}

TEST_F(WindowTest, OpenDialogHelpTopicFollowsTheOperation) {
    gWorkspace = std::make_unique<clsWorkspace>();
    AddDashboard(QStringLiteral("Any"));
    const QString page = InFolder(QStringLiteral("Sheetbeacon.html"));
    testsupport::WriteText(page, QStringLiteral("<html><body><a name=\"10\"></a>Help</body></html>"));
    SetHelpFilePath(page);
    for (const QString& operation : {QString(), QStringLiteral("Copy")}) {
        frmOpenWorkspace dialog;
        dialog.Operation = operation;
        dialog.Form_Load();
        ClickButton(&dialog, "cmdHelp");
    }
    // Neither topic is in the (absent) topic file, so each is logged by name.
    EXPECT_TRUE(LogText().contains(QStringLiteral("Topic [OpenWorkspace]")));
    EXPECT_TRUE(LogText().contains(QStringLiteral("Topic [TargetWorkspace]")));
    SetHelpFilePath(QString());
    for (QWidget* top : QApplication::topLevelWidgets())
        top->close();
}

TEST_F(WindowTest, SaveDialogTextsByMode) {
    const std::vector<std::tuple<QString, QString, QString, QString>> modes = {
        {"SaveAs", "Save dashboard As", "Save current dashboard", "Save the current"},
        {"Rename", "Rename dashboard", "Rename current dashboard", "Rename the current"},
        {"Other", "Save dashboard", "Save current dashboard", "Save the current"}};
    for (const auto& [mode, caption, title, subtitle] : modes) {
        frmSaveWorkspace dialog;
        dialog.Mode = mode;
        dialog.Form_Load();
        EXPECT_EQ(dialog.windowTitle(), caption);
        EXPECT_EQ(LabelText(&dialog, "lblTitle"), title);
        EXPECT_TRUE(LabelText(&dialog, "lblSubtitle").startsWith(subtitle)) << mode.toStdString();
        EXPECT_TRUE(dialog.findChild<QLineEdit*>(QStringLiteral("txtName"))->text().isEmpty());
    }
}

TEST_F(WindowTest, SaveDialogRefusesBlankAndTakenNames) {
    AddDashboard(QStringLiteral("Sales"));
    AddDashboard(QStringLiteral("Ann's view"));
    const QString blank = QStringLiteral("Name must not be blank!");
    const QString taken =
        QStringLiteral("A dashboard with the same name already exists.  Please modify the name.");

    EXPECT_EQ(SaveWithName(QStringLiteral("SaveAs"), QStringLiteral("   ")), QString());
    EXPECT_EQ(SaveWithName(QStringLiteral("SaveAs"), QStringLiteral("Sales")), QString());
    // Names are compared as the repository compares them: letter case does not count.
    EXPECT_EQ(SaveWithName(QStringLiteral("Rename"), QStringLiteral("  SALES ")), QString());
    // An apostrophe is looked up as itself, not as the end of a quoted value.
    EXPECT_EQ(SaveWithName(QStringLiteral("SaveAs"), QStringLiteral("Ann's view")), QString());
    EXPECT_EQ(PromptScript::Messages(), (QStringList{blank, taken, taken, taken}));

    {
        // A refused name stays in the box, trimmed and selected for retyping.
        frmSaveWorkspace dialog;
        dialog.Form_Load();
        auto* box = dialog.findChild<QLineEdit*>(QStringLiteral("txtName"));
        box->setText(QStringLiteral(" Sales "));
        ClickButton(&dialog, "cmdOK");
        EXPECT_EQ(box->text(), QStringLiteral("Sales"));
        EXPECT_EQ(box->selectedText(), QStringLiteral("Sales"));
        ClickButton(&dialog, "cmdCancel");
        EXPECT_EQ(dialog.WorkspaceName, QString());
    }

    EXPECT_EQ(SaveWithName(QStringLiteral("SaveAs"), QStringLiteral("  Budget 2027  ")),
              QStringLiteral("Budget 2027"));
    EXPECT_EQ(SaveWithName(QStringLiteral("SaveAs"), QStringLiteral("Ann's other view")),
              QStringLiteral("Ann's other view"));
    const QString longName = QString(254, QLatin1Char('x')) + QStringLiteral("y");
    EXPECT_EQ(SaveWithName(QStringLiteral("SaveAs"), longName), longName);
    const QString foreign = QStringLiteral("Ventes – été 売上");
    EXPECT_EQ(SaveWithName(QStringLiteral("SaveAs"), foreign), foreign);
}

TEST_F(WindowTest, SaveDialogNameBoxDropsForbiddenKeys) {
    frmSaveWorkspace dialog;
    dialog.Form_Load();
    auto* box = dialog.findChild<QLineEdit*>(QStringLiteral("txtName"));
    const std::vector<std::pair<int, QString>> keys = {
        {Qt::Key_A, "a"}, {Qt::Key_Apostrophe, "'"}, {Qt::Key_QuoteDbl, "\""},
        {Qt::Key_Asterisk, "*"}, {Qt::Key_Plus, "+"}, {Qt::Key_B, "b"}, {Qt::Key_Minus, "-"}};
    for (const auto& [key, text] : keys) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(box, &press);
    }
    EXPECT_EQ(box->text(), QStringLiteral("ab-"));
}

TEST_F(WindowTest, TipWindowTextAndGuide) {
    {
        frmTip tip;
        EXPECT_EQ(tip.windowTitle(), QStringLiteral("Startup Tip"));
        EXPECT_EQ(LabelText(&tip, "Label1"), QStringLiteral("Did you know..."));
        EXPECT_EQ(LabelText(&tip, "lblTipText"),
                  QStringLiteral("To create a dashboard, copy ranges of cells or charts from Excel "
                                 "spreadsheets, and paste them to the Sheetbeacon dashboard.\n\nSee "
                                 "the Help or the Learning Guide for more information."));
        EXPECT_FALSE(tip.findChild<QPushButton*>(QStringLiteral("cmdGuide"))->isEnabled());
    }
    const QString guide = InFolder(App::EXEName() + QStringLiteral("_Learning_Guide.pdf"));
    EXPECT_EQ(LearningGuidePath(), guide);
    testsupport::WriteText(guide, QStringLiteral("%PDF-1.4"));
    frmTip tip;
    auto* cmdGuide = tip.findChild<QPushButton*>(QStringLiteral("cmdGuide"));
    ASSERT_TRUE(cmdGuide->isEnabled());
    cmdGuide->click();
    EXPECT_EQ(DesktopLaunch::Requests(), QStringList{QStringLiteral("open ") + guide});
    // The guide removed while the window is open: nothing is opened.
    QFile::remove(guide);
    cmdGuide->click();
    EXPECT_EQ(DesktopLaunch::Requests().size(), 1);
    ClickButton(&tip, "cmdClose");
    EXPECT_EQ(tip.result(), QDialog::Accepted);
}

TEST_F(WindowTest, AboutBoxTitleVersionAndAgreement) {
    frmAbout about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Sheetbeacon"));
    EXPECT_EQ(LabelText(&about, "lblTitle"), QStringLiteral("Sheetbeacon"));
    EXPECT_TRUE(LabelText(&about, "lblVersion").contains(QRegularExpression(QStringLiteral("^Version \\d+\\.\\d+\\.\\d+$"))))
        << LabelText(&about, "lblVersion").toStdString();
    auto* lblEULA = about.findChild<QLabel*>(QStringLiteral("lblEULA"));
    ASSERT_TRUE(lblEULA);

    const QString agreement = InFolder(QStringLiteral("EULA.rtf"));
    emit lblEULA->linkActivated(QStringLiteral("eula"));
    EXPECT_TRUE(DesktopLaunch::Requests().isEmpty());
    EXPECT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(PromptScript::Messages().value(0).contains(agreement + QStringLiteral(" file is missing.")));

    QFile::copy(QStringLiteral(SB_SOURCE_DIR "/resources/EULA.rtf"), agreement);
    emit lblEULA->linkActivated(QStringLiteral("eula"));
    EXPECT_EQ(DesktopLaunch::Requests(), QStringList{QStringLiteral("open ") + agreement});
    EXPECT_TRUE(testsupport::ReadText(agreement).startsWith(QStringLiteral("{\\rtf1")));
}

TEST_F(WindowTest, AboutBoxStartsTheFirstSystemInformationProgramFound) {
    const QString first = InFolder(QStringLiteral("bin1"));
    const QString second = InFolder(QStringLiteral("bin2"));
    MakeProgram(first, QStringLiteral("xfce4-taskmanager"));
    const QString preferred = MakeProgram(second, QStringLiteral("hardinfo2"));
    frmAbout about;
    {
        // hardinfo2 comes before xfce4-taskmanager in the list, wherever each lies on the PATH.
        PathOverride path(first + QLatin1Char(':') + second);
        ClickButton(&about, "cmdSysInfo");
        EXPECT_EQ(DesktopLaunch::Requests(), QStringList{QStringLiteral("start ") + preferred});
        EXPECT_TRUE(PromptScript::Messages().isEmpty());
    }
    {
        PathOverride path(InFolder(QStringLiteral("nothing-here")));
        EXPECT_EQ(FindSystemInfoTool(), QString());
        about.StartSysInfo();
        EXPECT_EQ(DesktopLaunch::Requests().size(), 1);
        ASSERT_EQ(PromptScript::Messages().size(), 1);
        EXPECT_TRUE(PromptScript::Messages()[0].contains(QStringLiteral("StartSysInfo")));
        EXPECT_TRUE(LogText().contains(QStringLiteral("No system information program")));
    }
}
