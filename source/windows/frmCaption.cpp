#include "windows/frmCaption.h"

#include "model/Globals.h"
#include "services/UserPrompts.h"
#include "services/modUtilsHelp.h"
#include "services/modUtilsLog.h"
#include "ui/DialogButtons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <exception>

namespace {
const QString kModule = QStringLiteral("frmCaption");
}

frmCaption::frmCaption(QWidget* parent) : DialogForm(parent), txtCaption_(new QLineEdit(this)) {
    setObjectName(kModule);
    setWindowTitle(QStringLiteral("Caption"));
    txtCaption_->setObjectName(QStringLiteral("txtCaption"));
    auto* lblCaption = new QLabel(QStringLiteral("Caption :"), this);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    lblCaption->setBuddy(txtCaption_);
    auto* row = new QHBoxLayout;
    row->addWidget(lblCaption);
    row->addWidget(txtCaption_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(DialogButtonRow(
        this, {{"cmdOK", QStringLiteral("OK"), [this] { cmdOK_Click(); }},
               {"cmdCancel", QStringLiteral("Cancel"), [this] { cmdCancel_Click(); }},
               {"cmdHelp", QStringLiteral("&Help"), [this] { cmdHelp_Click(); }}}));
    FitDialogToContents(this, 400);
}

void frmCaption::Form_Activate() {
    if (RefusedPanelIndex(Index))
        return;
    const clsWorkspacePanel* record = gWorkspace ? gWorkspace->Panels(Index) : nullptr;
    txtCaption_->setText(record ? record->Caption : QString());
}

void frmCaption::cmdOK_Click() {
    try {
        if (!AlwaysValid())
            return;
        clsWorkspacePanel* record = gWorkspace ? gWorkspace->Panels(Index) : nullptr;
        if (!record)
            throw std::runtime_error("No panel at index " + std::to_string(Index));
        // As typed: blanks are part of the title, and an empty title is allowed.
        record->Caption = txtCaption_->text();
        Unload(QDialog::Accepted);
    } catch (const std::exception& e) {
        ReportFailure(kModule, QStringLiteral("cmdOK_Click"), e);
    }
}

void frmCaption::cmdCancel_Click() { Unload(); }

void frmCaption::cmdHelp_Click() { ShowHelp(this, kModule); }
