// The main window's commands on panels (copy, move, delete, refresh and the ones it hands to
// the active panel window), layout mode with its align and same-size commands, the MDI
// arrangement, and the periodic refresh.

#include "windows/frmWorkspace.h"

#include "model/Globals.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/modUtilsExcel.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsMisc.h"
#include "services/modUtilsSQL.h"
#include "windows/frmOpenWorkspace.h"
#include "windows/frmPanel.h"

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>

#include <algorithm>
#include <exception>
#include <limits>

namespace {

const QString kModule = QStringLiteral("frmWorkspace");

}  // namespace

void frmWorkspace::WirePanelCommands() {
    auto on = [this](const char* control, void (frmWorkspace::*handler)()) {
        QAction* action = findChild<QAction*>(QLatin1String(control));
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    on("mnuPanelCopy", &frmWorkspace::mnuPanelCopy_Click);
    on("mnuPanelMove", &frmWorkspace::mnuPanelMove_Click);
    on("mnuPanelDelete", &frmWorkspace::mnuPanelDelete_Click);
    on("mnuPanelRefresh", &frmWorkspace::mnuPanelRefresh_Click);
    on("mnuAlignLeft", &frmWorkspace::mnuAlignLeft_Click);
    on("mnuAlignRight", &frmWorkspace::mnuAlignRight_Click);
    on("mnuAlignTop", &frmWorkspace::mnuAlignTop_Click);
    on("mnuAlignBottom", &frmWorkspace::mnuAlignBottom_Click);
    on("mnuSameWidth", &frmWorkspace::mnuSameWidth_Click);
    on("mnuSameHeight", &frmWorkspace::mnuSameHeight_Click);
    on("mnuSameBoth", &frmWorkspace::mnuSameBoth_Click);
    on("mnuEditCascade", &frmWorkspace::mnuEditCascade_Click);
    on("mnuEditHorizontal", &frmWorkspace::mnuEditHorizontal_Click);
    on("mnuEditVertical", &frmWorkspace::mnuEditVertical_Click);
    on("mnuEditIcons", &frmWorkspace::mnuEditIcons_Click);

    // The operations handed to the active panel window, busy meanwhile. Load Picture is not:
    // it only reads a file the user picks.
    auto forward = [this](const char* control, void (frmPanel::*operation)()) {
        connect(findChild<QAction*>(QLatin1String(control)), &QAction::triggered, this,
                [this, operation] { ForwardToActivePanel([operation](frmPanel* p) { (p->*operation)(); }); });
    };
    forward("mnuPanelExcel", &frmPanel::Panel_Launch);
    forward("mnuPanelCustomExcel", &frmPanel::Panel_LaunchCustom);
    forward("mnuPanelDrillback", &frmPanel::Panel_Drillback);
    forward("mnuPanelAutosize", &frmPanel::Panel_Autosize);
    forward("mnuPanelCrop", &frmPanel::Panel_Crop);
    forward("mnuPanelZoomToFit", &frmPanel::Panel_ZoomToFit);
    connect(findChild<QAction*>(QStringLiteral("mnuPanelPicture")), &QAction::triggered, this,
            [this] {
                if (frmPanel* panel = ActivePanel())
                    panel->Panel_BrowsePicture();
            });

    on("mnuWorkspacePaste", &frmWorkspace::mnuWorkspacePaste_Click);
    on("mnuPanelPaste", &frmWorkspace::mnuPanelPaste_Click);
    on("mnuWorkspacePasteCustom", &frmWorkspace::mnuWorkspacePasteCustom_Click);
    on("mnuPanelPasteCustom", &frmWorkspace::mnuPanelPasteCustom_Click);
}

// Every paste makes a plain panel, Paste Custom included.
void frmWorkspace::mnuWorkspacePasteCustom_Click() { PasteNewPanel(); }
void frmWorkspace::mnuPanelPasteCustom_Click() { PasteNewPanel(); }

// --- Delete, copy, move, refresh ----------------------------------------------------------

void frmWorkspace::mnuPanelDelete_Click() {
    QPointer<frmPanel> active = ActivePanel();
    if (!active)
        return;
    const BusyState busy(this);
    if (ConfirmAction(QStringLiteral("You are about to delete the active panel.  You will not be "
                                     "able to undelete.\nDo you want to continue?")) &&
        active) {
        DeletePanel(active, true);
        Dirty_ = true;
    }
}

int32_t frmWorkspace::AskTargetWorkspace(const QString& Operation) {
    const QVariant answer = AskCustom(QStringLiteral("frmOpenWorkspace"), [this, Operation] {
        frmOpenWorkspace dialog(this);
        dialog.Operation = Operation;
        dialog.Show();
        return QVariant(dialog.WorkspaceID);
    });
    return answer.isValid() ? answer.toInt() : 0;
}

bool frmWorkspace::TargetStillExists(int32_t Target, const QString& procedure) {
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(gDB.get(), rs,
                           QStringLiteral("SELECT ID FROM DsbSavedWorkspace WHERE ID = ?"),
                           {Target}, true, kModule, procedure))
        return false;
    if (!rs->EOF_())
        return true;
    // Writing the panel now would leave a row no dashboard shows.
    LogEvent(kModule, procedure,
             QStringLiteral("The dashboard chosen no longer exists. The panel was not changed."),
             true);
    return false;
}

void frmWorkspace::mnuPanelCopy_Click() {
    QPointer<frmPanel> active = ActivePanel();
    if (!active)
        return;
    if (!QuerySaveChanges(false))
        return;
    KeepUnsavedInList();
    const BusyState busy(this);
    const int32_t Target = AskTargetWorkspace(QStringLiteral("Copy"));
    clsWorkspacePanel* Source = active ? gWorkspace->Panels(active->Index) : nullptr;
    if (Target <= 0 || !Source)
        return;
    try {
        if (Target != gWorkspace->ID) {
            if (TargetStillExists(Target, QStringLiteral("mnuPanelCopy_Click"))) {
                const int32_t keptID = Source->ID;
                Source->ID = 0;
                const bool copied = Source->SaveToDB(gDB.get(), Target);
                Source->ID = keptID;
                if (!copied)
                    MsgBox(QStringLiteral("Unable to copy the panel."), vbExclamation);
            }
        } else {
            const int16_t Index = gWorkspace->AddPanel();
            clsWorkspacePanel* record = gWorkspace->Panels(Index);
            if (record && record->LoadFromDB(Source->ID, gDB.get())) {
                record->ID = 0;
                HiddenInstance XLInst;
                if (XLInst.Start()) {
                    const Pass pass(this, QStringLiteral("Copying the panel..."));
                    LoadPanels(XLInst.XL, {NewPanelWindow(Index)}, PanelLoad::Open);
                }
                Dirty_ = true;
            } else if (record) {
                // Nothing stored to copy from (a panel pasted since the last save).
                gWorkspace->DelPanel(Index, false);
            }
        }
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("mnuPanelCopy_Click"), ErrNum::kGeneral,
                 QString::fromUtf8(e.what()), true);
    }
}

void frmWorkspace::mnuPanelMove_Click() {
    QPointer<frmPanel> active = ActivePanel();
    if (!active)
        return;
    if (!QuerySaveChanges(false))
        return;
    KeepUnsavedInList();
    const BusyState busy(this);
    const int32_t Target = AskTargetWorkspace(QStringLiteral("Move"));
    clsWorkspacePanel* record = active ? gWorkspace->Panels(active->Index) : nullptr;
    if (record && Target > 0 && Target != gWorkspace->ID &&
        TargetStillExists(Target, QStringLiteral("mnuPanelMove_Click"))) {
        // A panel that could not be stored with the other dashboard stays on this one.
        if (record->SaveToDB(gDB.get(), Target))
            DeletePanel(active, false);
        else
            MsgBox(QStringLiteral("Unable to move the panel."), vbExclamation);
    }
}

void frmWorkspace::mnuPanelRefresh_Click() {
    QPointer<frmPanel> active = ActivePanel();
    if (!active)
        return;
    const BusyState busy(this);
    if (active->IsDirty) {
        if (!QuerySaveChanges(false) || !active)
            return;
        KeepUnsavedInList();
    }
    SetHourglass(true);
    try {
        const Pass pass(this, QStringLiteral("Refreshing the panel..."));
        HiddenInstance XLInst;
        if (XLInst.Start()) {
            clsWorkspacePanel* record = gWorkspace->Panels(active->Index);
            if (record && record->Source())
                record->Source()->ClearFlags();
            LoadPanels(XLInst.XL, {active}, PanelLoad::PanelRefresh);
        }
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("mnuPanelRefresh_Click"), ErrNum::kGeneral,
                 QString::fromUtf8(e.what()), true);
    }
    SetHourglass(false);
}

// --- Layout mode ----------------------------------------------------------------------------

void frmWorkspace::mnuWorkspaceLayout_Click() {
    // A checkable item flips its own mark when chosen; the mark follows the mode only.
    auto showMode = [this] {
        for (const char* control : {"mnuWorkspaceLayout", "mnuPanelLayout", "mnuMultiLayout"})
            findChild<QAction*>(QLatin1String(control))->setChecked(EditMode);
    };
    frmPanel* active = ActivePanel();
    if (!active) {
        showMode();
        return;
    }
    auto* mnuMultiPanel = findChild<QMenu*>(QStringLiteral("mnuMultiPanel"));
    if (!EditMode) {
        EditMode = true;
        BasePanel_ = active;
        active->IsBase = true;
        active->IsMarked = true;
        active->SetCaption();
        mnuPanel_->menuAction()->setVisible(false);
        mnuMultiPanel->setTitle(QStringLiteral("Panel"));
        mnuMultiPanel->menuAction()->setVisible(true);
    } else {
        EditMode = false;
        BasePanel_ = nullptr;
        ClearMarks();
        mnuPanel_->menuAction()->setVisible(true);
        mnuMultiPanel->menuAction()->setVisible(false);
    }
    showMode();
}

void frmWorkspace::ClearMarks() {
    for (frmPanel* panel : PanelWindows()) {
        panel->IsBase = false;
        panel->IsMarked = false;
        panel->SetCaption();
    }
}

void frmWorkspace::ChangeMarkedPanels(
    const std::function<void(frmPanel*, const frmPanel*, clsWorkspacePanel*)>& change) {
    if (!BasePanel_ || !gWorkspace)
        return;
    for (frmPanel* panel : PanelWindows()) {
        if (!panel->IsMarked || panel->IsBase || panel == BasePanel_)
            continue;
        clsWorkspacePanel* record = gWorkspace->Panels(panel->Index);
        if (!record)
            continue;
        change(panel, BasePanel_, record);
        Dirty_ = true;
    }
}

void frmWorkspace::mnuAlignLeft_Click() {
    ChangeMarkedPanels([](frmPanel* w, const frmPanel* base, clsWorkspacePanel* record) {
        w->Move(base->Left(), w->Top());
        record->pLeft = w->Left();
    });
}

void frmWorkspace::mnuAlignRight_Click() {
    ChangeMarkedPanels([](frmPanel* w, const frmPanel* base, clsWorkspacePanel* record) {
        w->Move(base->Left() + base->Width() - w->Width(), w->Top());
        record->pLeft = w->Left();
    });
}

void frmWorkspace::mnuAlignTop_Click() {
    ChangeMarkedPanels([](frmPanel* w, const frmPanel* base, clsWorkspacePanel* record) {
        w->Move(w->Left(), base->Top());
        record->pTop = w->Top();
    });
}

void frmWorkspace::mnuAlignBottom_Click() {
    ChangeMarkedPanels([](frmPanel* w, const frmPanel* base, clsWorkspacePanel* record) {
        w->Move(w->Left(), base->Top() + base->Height() - w->Height());
        record->pTop = w->Top();
    });
}

// The same-size commands crop: the window's resize handling then shows the picture at its
// own scale inside the new size instead of stretching or shrinking it.
void frmWorkspace::mnuSameWidth_Click() {
    ChangeMarkedPanels([](frmPanel* w, const frmPanel* base, clsWorkspacePanel* record) {
        record->ViewType = PanelView::Crop;
        w->Resize(base->Width(), w->Height());
        record->pWidth = w->Width();
    });
}

void frmWorkspace::mnuSameHeight_Click() {
    ChangeMarkedPanels([](frmPanel* w, const frmPanel* base, clsWorkspacePanel* record) {
        record->ViewType = PanelView::Crop;
        w->Resize(w->Width(), base->Height());
        record->pHeight = w->Height();
    });
}

void frmWorkspace::mnuSameBoth_Click() {
    ChangeMarkedPanels([](frmPanel* w, const frmPanel* base, clsWorkspacePanel* record) {
        record->ViewType = PanelView::Crop;
        w->Resize(base->Width(), base->Height());
        record->pWidth = w->Width();
        record->pHeight = w->Height();
    });
}

// --- Arrangement ----------------------------------------------------------------------------

void frmWorkspace::mnuEditCascade_Click() { mdiArea_->cascadeSubWindows(); }

namespace {

// The child windows an arrangement lays out: shown and not minimized, oldest first.
std::vector<QMdiSubWindow*> ArrangedWindows(const QMdiArea* area) {
    std::vector<QMdiSubWindow*> windows;
    for (QMdiSubWindow* sub : area->subWindowList(QMdiArea::CreationOrder))
        if (sub->isVisible() && !sub->isMinimized())
            windows.push_back(sub);
    return windows;
}

// Lays the windows out in one band each across (stacked) or down (side by side) the area.
void TileWindows(QMdiArea* area, bool stacked) {
    const std::vector<QMdiSubWindow*> windows = ArrangedWindows(area);
    if (windows.empty())
        return;
    const QRect room = area->viewport()->rect();
    const int count = static_cast<int>(windows.size());
    for (int i = 0; i < count; ++i) {
        QMdiSubWindow* sub = windows[static_cast<size_t>(i)];
        if (sub->isMaximized())
            sub->showNormal();
        if (stacked) {
            const int top = room.height() * i / count;
            const int bottom = room.height() * (i + 1) / count;
            sub->setGeometry(0, top, room.width(), bottom - top);
        } else {
            const int left = room.width() * i / count;
            const int right = room.width() * (i + 1) / count;
            sub->setGeometry(left, 0, right - left, room.height());
        }
    }
}

}  // namespace

void frmWorkspace::mnuEditHorizontal_Click() { TileWindows(mdiArea_, true); }

void frmWorkspace::mnuEditVertical_Click() { TileWindows(mdiArea_, false); }

void frmWorkspace::mnuEditIcons_Click() {
    // Minimized windows line up along the bottom edge, left to right.
    const QRect room = mdiArea_->viewport()->rect();
    int left = 0;
    int top = room.height();
    for (QMdiSubWindow* sub : mdiArea_->subWindowList(QMdiArea::CreationOrder)) {
        if (!sub->isMinimized())
            continue;
        const QSize size = sub->size();
        if (left > 0 && left + size.width() > room.width()) {
            left = 0;
            top -= size.height();
        }
        sub->move(left, std::max(0, top - size.height()));
        left += size.width();
    }
}

// --- The periodic refresh -------------------------------------------------------------------

void frmWorkspace::timerRefresh_Timer() {
    // The count is compared before it grows, so a pass comes every Frequency + 1 ticks.
    if (TickCount_ == gRefreshFrequency) {
        TickCount_ = 0;
        RefreshAllPanels();
    } else if (TickCount_ < std::numeric_limits<int16_t>::max()) {
        // A frequency below 0 (only a hand-edited settings file gives one) is never reached:
        // the count stops at its top instead of running past it, and no pass comes.
        TickCount_ = static_cast<int16_t>(TickCount_ + 1);
    }
}

void frmWorkspace::RefreshAllPanels() {
    if (Busy_ || EditMode)
        return;
    // Nobody asked for this pass just now: what goes wrong in it is told on the status bar.
    const UnattendedWork unattended;
    const BusyState busy(this);
    // Busy, but the user may go on working meanwhile: the arrow with the hourglass.
    const Pass pass(this, QStringLiteral("Refreshing the panels..."), Qt::BusyCursor);
    try {
        if (gSources)
            gSources->ClearFlags();
        // One instance for the pass: a workbook several panels show is read once. Each panel
        // closes what it opened, so one that fails leaves nothing behind for the next.
        HiddenInstance XLInst;
        if (!XLInst.Start())
            return;
        // A panel's message box lets events in; a window closed meanwhile is passed over.
        std::vector<QPointer<frmPanel>> open;
        for (frmPanel* panel : PanelWindows())
            open.emplace_back(panel);
        LoadPanels(XLInst.XL, open, PanelLoad::Timer);
    } catch (const std::exception&) {
        // The pass ends quietly; the next one comes at the usual time.
    }
}
