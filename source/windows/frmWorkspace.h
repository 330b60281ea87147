#pragma once
// The main window: the dashboard area whose child windows are the panels of the current
// dashboard, the dashboard list, the menus and the toolbar, and the dashboard commands. It is
// the only creator and destroyer of panel windows.

#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "services/modUtilsExcel.h"
#include "ui/BusyCursor.h"

class QAction;
class QComboBox;
class QToolBar;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class frmPanel;
class clsWorkspacePanel;

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
    [[nodiscard]] bool IsBusy() const { return Busy_; }
    // The window is busy with a command for the guard's scope: the periodic refresh skips its
    // turn meanwhile. Guards nest; each puts back the state it found, so a save run inside a
    // command leaves the command busy.
    class BusyState {
    public:
        explicit BusyState(frmWorkspace* window) : window_(window), was_(window->Busy_) {
            window_->Busy_ = true;
        }
        ~BusyState() { window_->Busy_ = was_; }
        BusyState(const BusyState&) = delete;
        BusyState& operator=(const BusyState&) = delete;

    private:
        frmWorkspace* window_;
        bool was_;
    };
    [[nodiscard]] bool IsDashboardDirty() const { return Dirty_; }
    // Offers to save unsaved edits; false when the user cancelled or the save failed.
    [[nodiscard]] bool QuerySaveChanges(bool Reselect);
    void KeepUnsavedInList();
    double PasteX() const { return PasteX_; }
    double PasteY() const { return PasteY_; }

    // The refresh timer's tick, public so that the window's owner and tests can drive it as
    // the timer does.
    void timerRefresh_Timer();

    // A pass (opening or refreshing the dashboard, the periodic refresh, a panel's refresh) is
    // under way. The window stays live meanwhile: its events are let in while the pass waits
    // for LibreOffice or for pictures painted on other cores, the busy pointer and the pass's
    // status show, and the commands that would interfere are refused (their menus and the
    // toolbar greyed); a close waits for the pass's end.
    [[nodiscard]] bool IsPassRunning() const { return PassDepth_ > 0; }
    // Shows the pictures of this pass that other cores have painted by now; failures wait for
    // the pass to report them.
    void ShowPaintedPictures();
    // A pass shows its status and, for its length, the hourglass, or for a pass the user may
    // work beside (the periodic refresh) the arrow with the hourglass.
    class Pass {
    public:
        Pass(frmWorkspace* window, const QString& status, Qt::CursorShape pointer = Qt::WaitCursor);
        ~Pass();
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

    private:
        frmWorkspace* window_;
    };

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
    [[nodiscard]] bool mnuWorkspaceSave_Click();
    [[nodiscard]] bool mnuWorkspaceSaveAs_Click();
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

    void SetWorkspaceCaption(const QString& Name);
    void UnloadPanels();
    [[nodiscard]] bool IsAnyPanelDirty();
    void ClearDirty();
    void SavePanelPositions();
    void cmbWorkspaces_Load();
    [[nodiscard]] bool Workspace_LoadPanels(int32_t ID);
    // A panel window's frame on the dashboard, in the panels' frame style.
    QMdiSubWindow* AddPanelFrame(frmPanel* panel);
    // The window of record Index, placed but not shown yet.
    frmPanel* NewPanelWindow(int16_t Index);
    // Loads a window made by NewPanelWindow and shows it, or offers to delete its panel; False
    // when it could not be loaded.
    [[nodiscard]] bool LoadPanel(ExcelApp& XLInst, frmPanel* Window, bool Refresh);
    void ShowPanelWindow(frmPanel* Window);
    void OfferPanelDeletion(frmPanel* Window);
    // The ways panel windows are loaded, every one by the same road (LoadPanels).
    enum class PanelLoad {
        Open,          // new windows: cached pictures shown first; one that fails is offered for deletion
        Refresh,       // new windows, every picture painted anew; one that fails is offered for deletion
        PanelRefresh,  // a shown window's picture painted anew; a failure leaves it as it was
        Timer,         // the periodic pass: only pictures whose cache the update pass deleted are painted
    };
    // New windows for every stored panel of the current dashboard, from the last record to the
    // first, loaded by LoadPanels and stacked as a load one after the other leaves them.
    void LoadPanelWindows(ExcelApp& XLInst, bool Refresh);
    // The one road of loading panel windows, in the order given, in one hidden instance: the
    // workbooks to paint from read once each, ahead where it is known they are needed, on the
    // machine's other cores and shared by every instance of the pass (the update pass's
    // relocation included); the pictures painted there side by side and shown in the order of
    // record as they are done; the window's events let in throughout.
    void LoadPanels(ExcelApp& XLInst, const std::vector<QPointer<frmPanel>>& windows, PanelLoad how);
    void BeginPass(const QString& status, Qt::CursorShape pointer);
    void EndPass();
    // The menus and the toolbar as the dashboard and a running pass allow.
    void ApplyCommandStates();
    void PasteNewPanel();
    void mnuWorkspacePaste_Click();
    void mnuPanelPaste_Click();
    [[nodiscard]] bool SaveWorkspace();
    // Asks whether a dashboard whose stored rows are gone is to be saved as a new one.
    [[nodiscard]] bool OfferToSaveAsNew();
    void DeletePanel(frmPanel* Window, bool FromDB);

    // Asks frmSaveWorkspace for a name in the given mode; "" when cancelled.
    QString AskWorkspaceName(const QString& Mode);
    // The item data of the selected list entry, -1 when none is selected.
    int32_t SelectedWorkspaceID() const;
    void SetPanelMenuEnabled(bool enabled);
    void UnloadPanel(frmPanel* panel);
    void SetHourglass(bool on);

    // Panel commands, layout mode, arrangement and the periodic refresh
    // (frmWorkspaceCommands.cpp).
    void WirePanelCommands();
    void mnuWorkspacePasteCustom_Click();
    void mnuPanelPasteCustom_Click();
    void mnuPanelCopy_Click();
    void mnuPanelMove_Click();
    void mnuPanelDelete_Click();
    void mnuPanelRefresh_Click();
    // The dashboard chosen in frmOpenWorkspace for a Copy or Move; 0 or below when cancelled.
    int32_t AskTargetWorkspace(const QString& Operation);
    // A Copy or Move target chosen before another command deleted it gets nothing written.
    [[nodiscard]] bool TargetStillExists(int32_t Target, const QString& procedure);
    void ClearMarks();
    // The frame of the align and same-size commands: `change` runs on each marked window but
    // the reference one, and returns after writing the record.
    void ChangeMarkedPanels(
        const std::function<void(frmPanel* Window, const frmPanel* Base,
                                 clsWorkspacePanel* Record)>& change);
    void mnuAlignLeft_Click();
    void mnuAlignRight_Click();
    void mnuAlignTop_Click();
    void mnuAlignBottom_Click();
    void mnuSameWidth_Click();
    void mnuSameHeight_Click();
    void mnuSameBoth_Click();
    void mnuEditCascade_Click();
    void mnuEditHorizontal_Click();
    void mnuEditVertical_Click();
    void mnuEditIcons_Click();
    void RefreshAllPanels();

    QMdiArea* mdiArea_ = nullptr;
    QComboBox* cmbWorkspaces_ = nullptr;
    QMenu* mnuWorkspace_ = nullptr;
    QMenu* mnuPanel_ = nullptr;
    QAction* mnuWorkspaceDelete_ = nullptr;
    QTimer* timerRefresh_ = nullptr;

    int PassDepth_ = 0;
    // The panel windows whose pictures are being painted on other cores in this pass.
    std::vector<QPointer<frmPanel>> painting_;
    bool CloseAfterPass_ = false;
    bool PanelMenuWanted_ = true;
    bool Busy_ = false;
    bool Dirty_ = false;
    bool FirstActivate_ = true;
    bool Activating_ = false;  // a modal window of the first activation re-activates us
    std::optional<BusyCursor> Hourglass_;
    Qt::CursorShape PassPointer_ = Qt::WaitCursor;
    QPointer<frmPanel> BasePanel_;
    int16_t TickCount_ = 0;
    double PasteX_ = 0;
    double PasteY_ = 0;
    // Open panel windows in creation order.
    std::vector<QPointer<frmPanel>> panels_;
};
