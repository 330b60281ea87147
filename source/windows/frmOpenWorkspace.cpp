#include "windows/frmOpenWorkspace.h"

#include "model/Globals.h"
#include "services/UserPrompts.h"
#include "ui/modUtilsControls.h"
#include "services/modUtilsHelp.h"
#include "windows/DashboardList.h"
#include "ui/DialogButtons.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>


namespace {
const QString kModule = QStringLiteral("frmOpenWorkspace");
}

frmOpenWorkspace::frmOpenWorkspace(QWidget* parent)
    : QDialog(parent), cmbSource_(new QComboBox(this)), lblSource_(new QLabel(this)) {
    setObjectName(kModule);
    setWindowTitle(QStringLiteral("Open Dashboard"));
    cmbSource_->setObjectName(QStringLiteral("cmbSource"));
    lblSource_->setObjectName(QStringLiteral("lblSource"));
    cmbSource_->setMinimumContentsLength(40);
    QHBoxLayout* buttons = DialogButtonRow(
        this, {{"cmdOK", QStringLiteral("OK"), [this] { cmdOK_Click(); }},
               {"cmdCancel", QStringLiteral("Cancel"), [this] { cmdCancel_Click(); }},
               {"cmdHelp", QStringLiteral("&Help"), [this] { cmdHelp_Click(); }}});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSource_);
    layout->addWidget(cmbSource_);
    layout->addLayout(buttons);
}

void frmOpenWorkspace::Show() {
    Form_Load();
    Form_Activate();
    if (!unloaded_)
        exec();
}

void frmOpenWorkspace::Form_Load() {
    WorkspaceID = -1;
    unloaded_ = false;
    if (Operation.isEmpty()) {
        setWindowTitle(QStringLiteral("Open a dashboard"));
        lblSource_->setText(QStringLiteral("Select a dashboard to open:"));
    } else {
        setWindowTitle(Operation + QStringLiteral(" to dashboard"));
        lblSource_->setText(QStringLiteral("Select target dashboard:"));
    }
    cmbSource_Load();
    // With a single entry the user must pick it, so a move or copy is never aimed by default.
    if (cmbSource_->count() > 1)
        cmbSource_->setCurrentIndex(0);
}

void frmOpenWorkspace::Form_Activate() {
    if (cmbSource_->count() == 0) {
        MsgBox(QStringLiteral("There are no saved dashboards to select from.  Please save at "
                              "least one dashboard."),
               vbInformation);
        unloaded_ = true;
        done(QDialog::Rejected);
    }
}

void frmOpenWorkspace::cmbSource_Load() {
    std::optional<int32_t> exclude;
    // A panel can be copied onto its own dashboard, but not moved there.
    if (Operation == QStringLiteral("Move"))
        exclude = gWorkspace ? gWorkspace->ID : 0;
    FillDashboardList(cmbSource_, kModule, QStringLiteral("cmbSource_Load"), exclude);
}

bool frmOpenWorkspace::ValidateInput() {
    if (cmbSource_->currentIndex() < 0) {
        MsgBox(QStringLiteral("No dashboard selected."), vbExclamation);
        cmbSource_->setFocus();
        return false;
    }
    return true;
}

void frmOpenWorkspace::cmdOK_Click() {
    if (!ValidateInput())
        return;
    WorkspaceID = Combo_ItemData(cmbSource_, cmbSource_->currentIndex());
    unloaded_ = true;
    done(QDialog::Accepted);
}

void frmOpenWorkspace::cmdCancel_Click() {
    unloaded_ = true;
    done(QDialog::Rejected);
}

void frmOpenWorkspace::cmdHelp_Click() {
    ShowHelp(this, Operation.isEmpty() ? QStringLiteral("OpenWorkspace")
                                       : QStringLiteral("TargetWorkspace"));
}
