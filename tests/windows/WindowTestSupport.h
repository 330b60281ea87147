#pragma once
// A program folder with a fresh repository, rows written straight into it, and the main
// window started as the program starts it, with its boxes and dialogs scripted.

#include "FixtureTools.h"
#include "RepositoryReads.h"
#include "TestSupport.h"

#include "model/Globals.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/DesktopLaunch.h"
#include "windows/frmPanel.h"
#include "windows/frmWorkspace.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

// The workbook the copied-cells payloads name (sheets "Data", "Q1 Data", "Fin.2024" and a
// chart), written by openpyxl once per test program; WhyNoFixtureWorkbook() is "" once it is.
inline QString WhyNoFixtureWorkbook() {
    return testsupport::FolderMadeBy(QStringLiteral("panel_workbooks.py")).why;
}
inline QString FixtureWorkbookFolder() {
    return testsupport::FolderMadeBy(QStringLiteral("panel_workbooks.py")).path;
}

using testsupport::Scalar;
using testsupport::TextOf;

class WindowTest : public ProgramFolderTest {
protected:
    void SetUp() override {
        ProgramFolderTest::SetUp();
        StartWithRepository();
        DesktopLaunch::ResetScript();
        // Stored panels name Sales.xlsx in the program folder; loading renders from it.
        ASSERT_EQ(WhyNoFixtureWorkbook(), QString());
        const QString fixtures = FixtureWorkbookFolder();
        QFile::copy(fixtures + QStringLiteral("/Sales.xlsx"), InFolder(QStringLiteral("Sales.xlsx")));
        // Titles read as the captions; the centring has tests of its own.
        gCaptionAlignment = QStringLiteral("Left");
        gPanelTimeStamp = false;
    }
    void TearDown() override {
        delete window_.data();
        gWorkspace.reset();
        gSources.reset();
        DesktopLaunch::ResetScript();
        ProgramFolderTest::TearDown();
    }

    // A stored dashboard last used `minutesAgo` minutes ago.
    static int32_t AddDashboard(const QString& name, int minutesAgo = 60) {
        gDB->Execute(QStringLiteral("INSERT INTO DsbSavedWorkspace(Name, LastUpdated) VALUES (?, ?)"),
                     {name, db::ToStoredDateTime(QDateTime::currentDateTime().addSecs(-60 * minutesAgo))});
        return static_cast<int32_t>(gDB->LastInsertId());
    }
    static int32_t AddSource(const QString& fullPath) {
        // As the registry writes a pasted workbook: its folder, file and mask filled in.
        const QFileInfo file(fullPath);
        gDB->Execute(QStringLiteral("INSERT INTO DsbPanelSource(FullPath, DestFolder, NewestFile, "
                                    "Mask, UpdateType, CheckEveryNMin) "
                                    "VALUES (?, ?, ?, ?, 'default', 60)"),
                     {fullPath, file.path() + QLatin1Char('/'), file.fileName(), file.fileName()});
        return static_cast<int32_t>(gDB->LastInsertId());
    }
    // A stored range panel at (left, top) twips.
    static int32_t AddPanel(int32_t workspaceID, int32_t sourceID, const QString& caption,
                            int32_t left = 0, int32_t top = 0) {
        gDB->Execute(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, ContentType, "
                                    "IsCustom, SheetName, PicRange, [Left], [Top], Width, Height, "
                                    "ViewType, Caption) VALUES (?, ?, 'S', 'N', 'Data', 'A1:C4``', "
                                    "?, ?, 3000, 1500, 'A', ?)"),
                     {workspaceID, sourceID, left, top, caption});
        return static_cast<int32_t>(gDB->LastInsertId());
    }

    // The main window as start-up shows it, after its first activation.
    frmWorkspace* StartWindow() {
        window_ = new frmWorkspace;
        window_->Form_Activate();
        return window_;
    }
    frmWorkspace* Window() const { return window_; }

    QAction* Item(const char* control) const {
        return window_->findChild<QAction*>(QLatin1String(control));
    }
    void Click(const char* control) const { Item(control)->trigger(); }
    QComboBox* List() const {
        return window_->findChild<QComboBox*>(QStringLiteral("cmbWorkspaces"));
    }
    QStringList ListTexts() const {
        QStringList texts;
        for (int i = 0; i < List()->count(); ++i)
            texts << List()->itemText(i);
        return texts;
    }
    int32_t ListIndexOf(int32_t id) const {
        for (int i = 0; i < List()->count(); ++i)
            if (List()->itemData(i).toInt() == id)
                return i;
        return -1;
    }
    // The user picks the entry of dashboard `id` in the list.
    void Choose(int32_t id) const { List()->setCurrentIndex(ListIndexOf(id)); }
    bool PanelMenuEnabled() const {
        return window_->findChild<QMenu*>(QStringLiteral("mnuPanel"))->menuAction()->isEnabled();
    }
    QStringList PanelTitles() const {
        QStringList titles;
        for (frmPanel* panel : window_->PanelWindows())
            titles << panel->windowTitle();
        return titles;
    }
    static QStringList DialogsShown() {
        QStringList kinds;
        for (const auto& shown : PromptScript::Record())
            if (shown.kind != QStringLiteral("msgbox"))
                kinds << shown.kind;
        return kinds;
    }

private:
    QPointer<frmWorkspace> window_;
};
