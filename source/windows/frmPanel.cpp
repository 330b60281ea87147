#include "windows/frmPanel.h"

#include "model/Globals.h"
#include "services/UserPrompts.h"
#include "services/modUtilsLog.h"
#include "windows/Twips.h"
#include "windows/frmCaption.h"
#include "windows/frmDrillback.h"
#include "windows/frmPanelProperties.h"
#include "windows/frmRangeRelative.h"

#include <QMdiSubWindow>

namespace {
const QString kModule = QStringLiteral("frmPanel");

// A panel dialog for this window's record, modal; answered in place when tests script it.
template <typename Dialog>
void ShowPanelDialog(const QString& kind, frmPanel* owner, bool IsNew) {
    AskCustom(kind, [owner, IsNew] {
        Dialog dialog(owner);
        dialog.Index = owner->Index;
        dialog.IsNew = IsNew;
        dialog.Show();
        return QVariant(dialog.result() == QDialog::Accepted);
    });
}

}  // namespace

frmPanel::frmPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(kModule);
    setMinimumSize(40, 30);
}

QMdiSubWindow* frmPanel::SubWindow() const { return qobject_cast<QMdiSubWindow*>(parentWidget()); }

QWidget* frmPanel::Frame() const {
    if (QMdiSubWindow* sub = SubWindow())
        return sub;
    return const_cast<frmPanel*>(this);
}

int32_t frmPanel::Left() const { return PixelsToTwipsX(Frame()->x()); }
int32_t frmPanel::Top() const { return PixelsToTwipsY(Frame()->y()); }
int32_t frmPanel::Width() const { return PixelsToTwipsX(Frame()->width()); }
int32_t frmPanel::Height() const { return PixelsToTwipsY(Frame()->height()); }

void frmPanel::Move(int32_t left, int32_t top) {
    Frame()->move(TwipsToPixelsX(left), TwipsToPixelsY(top));
}

void frmPanel::Resize(int32_t width, int32_t height) {
    Frame()->resize(TwipsToPixelsX(width), TwipsToPixelsY(height));
}

void frmPanel::SetCaption() {
    const clsWorkspacePanel* record = gWorkspace ? gWorkspace->Panels(Index) : nullptr;
    setWindowTitle(record ? record->Caption : QString());
}

bool frmPanel::Panel_Load(xl::Application* /*XLInst*/, bool /*Refresh*/) {
    IsLoad = true;
    IsDirty = false;
    clsWorkspacePanel* record = gWorkspace ? gWorkspace->Panels(Index) : nullptr;
    if (!record) {
        LogEvent(kModule, QStringLiteral("Panel_Load"),
                 QStringLiteral("No panel record at index %1").arg(Index), false);
        return false;
    }
    if (!record->Source()) {
        MsgBox(QStringLiteral("Panel has no source defined."), vbExclamation);
        return false;
    }
    if (record->pWidth > 0 && record->pHeight > 0)
        Resize(record->pWidth, record->pHeight);
    SetCaption();
    IsLoad = false;
    return true;
}

bool frmPanel::Panel_Reload(xl::Application* /*XLInst*/) { return false; }
bool frmPanel::Panel_Paste() { return false; }
void frmPanel::Panel_Autosize() {}
void frmPanel::Panel_Crop() {}
void frmPanel::Panel_BrowsePicture() {}
void frmPanel::Panel_ZoomToFit() {}
void frmPanel::Panel_Launch() {}
void frmPanel::Panel_LaunchCustom() {}
void frmPanel::Panel_Drillback() {}

// The panel dialogs: each is modal and answers for itself; a cancelled one marks the panel
// changed all the same.
void frmPanel::Panel_Properties(bool IsNew) {
    ShowPanelDialog<frmPanelProperties>(QStringLiteral("frmPanelProperties"), this, IsNew);
    IsDirty = true;
}

void frmPanel::Panel_Range(bool IsNew) {
    ShowPanelDialog<frmRangeRelative>(QStringLiteral("frmRangeRelative"), this, IsNew);
    IsDirty = true;
}

void frmPanel::Panel_Caption(bool IsNew) {
    ShowPanelDialog<frmCaption>(QStringLiteral("frmCaption"), this, IsNew);
    SetCaption();
    IsDirty = true;
}

void frmPanel::Panel_DrillbackProperties() {
    const clsWorkspacePanel* record = gWorkspace ? gWorkspace->Panels(Index) : nullptr;
    if (!record)
        return;
    const int32_t sourceID = record->SourceID;
    const QString sheetName = record->SheetName;
    AskCustom(QStringLiteral("frmDrillback"), [this, sourceID, sheetName] {
        frmDrillback dialog(this);
        dialog.SourceID = sourceID;
        dialog.SheetName = sheetName;
        dialog.Show();
        return QVariant(dialog.SourceDocID);
    });
}
