#pragma once
// The main window: the dashboard area whose child windows are the panels of the current
// dashboard, the dashboard list, the menus and the toolbar, and the dashboard commands. It is
// the only creator and destroyer of panel windows.

#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <vector>

namespace xl {
class Application;
}

class QAction;
class QComboBox;
class QMdiArea;
class QMenu;
class QTimer;
class frmPanel;

class frmWorkspace : public QMainWindow {
    Q_OBJECT
public:
    explicit frmWorkspace(QWidget* parent = nullptr);
    ~frmWorkspace() override;

    bool EditMode = false;  // layout mode is on; read by the panel windows

    // The activation event: the first one starts the session (registry, list, first
    // dashboard or an empty one with the tips). Later activations do nothing.
    void Form_Activate();

    QMdiArea* mdiArea() const { return mdiArea_; }
    // The open panel windows, oldest first.
    std::vector<frmPanel*> PanelWindows() const;
    bool IsBusy() const { return Busy_; }
    bool IsDashboardDirty() const { return Dirty_; }
    // Offers to save unsaved edits; false when the user cancelled or the save failed.
    bool QuerySaveChanges(bool Reselect);
    double PasteX() const { return PasteX_; }
    double PasteY() const { return PasteY_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void BuildToolbar();

    // Dashboard menu and toolbar.
    void mnuWorkspaceNew_Click();
    void mnuWorkspaceOpen_Click();
    void mnuWorkspaceRename_Click();
    bool mnuWorkspaceSave_Click();
    bool mnuWorkspaceSaveAs_Click();
    void mnuWorkspaceRefresh_Click();
    void mnuWorkspaceDelete_Click();
    void mnuWorkspaceExit_Click();
    void mnuWorkspaceLayout_Click();
    void mnuHelpContents_Click();
    void mnuHelpLearningGuide_Click();
    void mnuHelpWeb_Click();
    void mnuHelpAbout_Click();
    void mnuWorkspacePublish_Click();
    // The rectangle of the dashboard area covered by the open panel windows, in twips.
    void GetPanelsExtent(int32_t& Left, int32_t& Top, int32_t& Right, int32_t& Bottom) const;
    QString GetImportFileName();
    void mnuToolsImport_Click();
    void mnuToolsExport_Click();
    void mnuToolsOptions_Click();
    void mnuWorkspaceSwitchRepository_Click();
    // Runs a panel dialog opener on the active panel window, with the window busy meanwhile.
    void ForwardToActivePanel(const std::function<void(frmPanel*)>& opener);
    frmPanel* ActivePanel() const;
    void cmdHelp_Click();
    void cmbWorkspaces_Click();
    void timerRefresh_Timer();

    void SetWorkspaceCaption(const QString& Name);
    void UnloadPanels();
    bool IsAnyPanelDirty();
    void ClearDirty();
    void SavePanelPositions();
    void cmbWorkspaces_Load();
    bool Workspace_LoadPanels(int32_t ID);
    void LoadPanel(xl::Application* XLInst, int16_t Index, bool Refresh);
    bool SaveWorkspace();
    bool DeletePanel(frmPanel* Window, bool FromDB);

    // Asks frmSaveWorkspace for a name in the given mode; "" when cancelled.
    QString AskWorkspaceName(const QString& Mode);
    // The item data of the selected list entry, -1 when none is selected.
    int32_t SelectedWorkspaceID() const;
    void SetPanelMenuEnabled(bool enabled);
    void UnloadPanel(frmPanel* panel);
    void SetHourglass(bool on);

    QMdiArea* mdiArea_ = nullptr;
    QComboBox* cmbWorkspaces_ = nullptr;
    QMenu* mnuWorkspace_ = nullptr;
    QMenu* mnuPanel_ = nullptr;
    QAction* mnuWorkspaceDelete_ = nullptr;
    QTimer* timerRefresh_ = nullptr;

    bool Busy_ = false;
    bool Dirty_ = false;
    bool FirstActivate_ = true;
    bool Activating_ = false;  // a modal window of the first activation re-activates us
    bool Hourglass_ = false;
    QPointer<frmPanel> BasePanel_;
    int16_t TickCount_ = 0;
    double PasteX_ = 0;
    double PasteY_ = 0;
    // Open panel windows in creation order.
    std::vector<QPointer<frmPanel>> panels_;
};
