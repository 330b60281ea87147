#include "windows/frmOptions.h"

#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/modUtilsHelp.h"
#include "services/modUtilsINI.h"
#include "services/modUtilsLog.h"
#include "ui/DialogButtons.h"
#include "ui/PromptDialogs.h"
#include "ui/modUtilsControls.h"
#include "windows/Colors.h"
#include "windows/FrequencyBox.h"
#include "windows/frmWorkspace.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

namespace {
const QString kModule = QStringLiteral("frmOptions");
}  // namespace

frmOptions::frmOptions(QWidget* parent)
    : DialogForm(parent),
      shWorkspaceColor_(new QFrame(this)),
      txtFrequency_(new QLineEdit(this)),
      chkDateTimeStamp_(new QCheckBox(QStringLiteral("show latest date/time as part of panel caption"), this)),
      cmbCaptionAlign_(new QComboBox(this)) {
    setObjectName(kModule);
    setWindowTitle(QStringLiteral("Options"));

    auto* fraWorkspace = new QGroupBox(QStringLiteral("Dashboard Options"), this);
    fraWorkspace->setObjectName(QStringLiteral("fraWorkspace"));
    shWorkspaceColor_->setObjectName(QStringLiteral("shWorkspaceColor"));
    shWorkspaceColor_->setFrameShape(QFrame::Box);
    shWorkspaceColor_->setAutoFillBackground(true);
    shWorkspaceColor_->setFixedSize(48, 20);
    auto* cmdWorkspaceColor = new QPushButton(QStringLiteral("..."), fraWorkspace);
    cmdWorkspaceColor->setObjectName(QStringLiteral("cmdWorkspaceColor"));
    cmdWorkspaceColor->setAutoDefault(false);
    connect(cmdWorkspaceColor, &QPushButton::clicked, this, [this] { cmdWorkspaceColor_Click(); });
    txtFrequency_->setObjectName(QStringLiteral("txtFrequency"));
    auto* workspaceGrid = new QGridLayout(fraWorkspace);
    workspaceGrid->addWidget(NamedLabel("lblWorkspaceColor", QStringLiteral("Background Color:"), fraWorkspace), 0, 0);
    workspaceGrid->addWidget(shWorkspaceColor_, 0, 1);
    workspaceGrid->addWidget(cmdWorkspaceColor, 0, 2);
    workspaceGrid->addWidget(NamedLabel("lblFrequency", QStringLiteral("Check for new file every"), fraWorkspace), 1, 0);
    workspaceGrid->addWidget(txtFrequency_, 1, 1);
    workspaceGrid->addWidget(NamedLabel("lblFrequency2", QStringLiteral("minute(s)"), fraWorkspace), 1, 2);

    auto* fraPanels = new QGroupBox(QStringLiteral("Panel Options"), this);
    fraPanels->setObjectName(QStringLiteral("fraPanels"));
    chkDateTimeStamp_->setObjectName(QStringLiteral("chkDateTimeStamp"));
    cmbCaptionAlign_->setObjectName(QStringLiteral("cmbCaptionAlign"));
    auto* panelGrid = new QGridLayout(fraPanels);
    panelGrid->addWidget(chkDateTimeStamp_, 0, 0, 1, 2);
    panelGrid->addWidget(NamedLabel("lblCaptionAlign", QStringLiteral("Caption Alignment:"), fraPanels), 1, 0);
    panelGrid->addWidget(cmbCaptionAlign_, 1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fraWorkspace);
    layout->addWidget(fraPanels);
    layout->addLayout(DialogButtonRow(
        this, {{"cmdOK", QStringLiteral("OK"), [this] { cmdOK_Click(); }},
               {"cmdCancel", QStringLiteral("Cancel"), [this] { cmdCancel_Click(); }},
               {"cmdHelp", QStringLiteral("&Help"), [this] { cmdHelp_Click(); }}}));

    // Load.
    cmbCaptionAlign_Load();
}

void frmOptions::cmbCaptionAlign_Load() {
    cmbCaptionAlign_->clear();
    cmbCaptionAlign_->addItem(QStringLiteral("Left"));
    cmbCaptionAlign_->addItem(QStringLiteral("Center"));
    Combo_SelectByText(cmbCaptionAlign_, QStringLiteral("Center"));
}

void frmOptions::SetSwatch(const QColor& color) {
    swatch_ = color;
    QPalette palette = shWorkspaceColor_->palette();
    palette.setColor(QPalette::Window, color);
    shWorkspaceColor_->setPalette(palette);
}

void frmOptions::Form_Activate() {
    // The colour the dashboard shows now; without a main window, the option itself.
    QColor present = ColorFromRGBValue(gDashboardColor);
    if (auto* main = qobject_cast<frmWorkspace*>(DialogOwner()))
        present = main->mdiArea()->background().color();
    SetSwatch(present);
    chkDateTimeStamp_->setChecked(gPanelTimeStamp);
    txtFrequency_->setText(QString::number(gRefreshFrequency));
    Combo_SelectByText(cmbCaptionAlign_, gCaptionAlignment);
}

void frmOptions::cmdWorkspaceColor_Click() {
    QColor picked;
    // Cancelling the picker keeps the swatch as it is.
    if (AskColor(this, swatch_, &picked))
        SetSwatch(picked);
}

bool frmOptions::ValidateInput() {
    if (txtFrequency_->text().trimmed().isEmpty()) {
        Refuse(QStringLiteral("No refresh frequency specified."), txtFrequency_);
        return false;
    }
    return ValidateFrequencyValue(txtFrequency_, QStringLiteral("Refresh frequency"));
}

void frmOptions::cmdOK_Click() {
    try {
        if (!ValidateInput())
            return;
        gDashboardColor = RGBValueOfColor(swatch_);
        gPanelTimeStamp = chkDateTimeStamp_->isChecked();
        gRefreshFrequency = FrequencyValue(txtFrequency_->text());
        if (cmbCaptionAlign_->currentIndex() >= 0)
            gCaptionAlignment = cmbCaptionAlign_->currentText();
        // Options that can't be saved (a full disk, a read-only folder) keep the dialog open, as
        // any failure of OK does: the new values hold until the program ends.
        if (const QString why = SaveOptionsSettings(); !why.isEmpty()) {
            MsgBox(QStringLiteral("The options could not be saved in ") + GetINIFile() +
                       QStringLiteral(".\r\n") + why,
                   vbExclamation);
            return;
        }
        Unload(QDialog::Accepted);
    } catch (const std::exception& e) {
        ReportFailure(kModule, QStringLiteral("cmdOK_Click"), e);
    }
}

void frmOptions::cmdCancel_Click() { Unload(); }

void frmOptions::cmdHelp_Click() { ShowHelp(this, kModule); }
