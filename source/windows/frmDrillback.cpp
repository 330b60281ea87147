#include "windows/frmDrillback.h"

#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "ui/modUtilsControls.h"
#include "services/modUtilsHelp.h"
#include "services/modUtilsSQL.h"
#include "ui/DialogButtons.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {
const QString kModule = QStringLiteral("frmDrillback");
}

frmDrillback::frmDrillback(QWidget* parent) : DialogForm(parent), cmbSourceDoc_(new QComboBox(this)) {
    setObjectName(kModule);
    setWindowTitle(QStringLiteral("Drillback Properties"));
    cmbSourceDoc_->setObjectName(QStringLiteral("cmbSourceDoc"));
    auto* lblSourceDoc = new QLabel(QStringLiteral("Document Source:"), this);
    lblSourceDoc->setObjectName(QStringLiteral("lblSourceDoc"));
    lblSourceDoc->setBuddy(cmbSourceDoc_);
    auto* row = new QHBoxLayout;
    row->addWidget(lblSourceDoc);
    row->addWidget(cmbSourceDoc_, 1);

    auto* fraSourceDoc = new QGroupBox(this);
    fraSourceDoc->setObjectName(QStringLiteral("fraSourceDoc"));
    auto* form = new QFormLayout(fraSourceDoc);
    const std::pair<const char*, const char*> boxes[] = {
        {"txtNewestFile", "Newest File:"},       {"txtSourceFolder", "Source Folder:"},
        {"txtDefaultFolder", "Default Folder:"}, {"txtDrillbackType", "Drillback Type:"},
        {"txtDrillbackUsing", "Drillback Using:"}, {"txtPath1", "Path1:"},
        {"txtPath2", "Path 2:"},                 {"txtPath3", "Path 3:"},
        {"txtParam1", "Param 1:"},               {"txtParam2", "Param 2:"},
        {"txtParam3", "Param 3:"},               {"txtParam4", "Param 4:"},
        {"txtParam5", "Param 5:"}};
    for (const auto& [control, caption] : boxes) {
        auto* box = new QLineEdit(fraSourceDoc);
        box->setObjectName(QLatin1String(control));
        form->addRow(QString::fromLatin1(caption), box);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(fraSourceDoc);
    layout->addLayout(DialogButtonRow(
        this, {{"cmdOK", QStringLiteral("OK"), [this] { cmdOK_Click(); }},
               {"cmdCancel", QStringLiteral("Cancel"), [this] { cmdCancel_Click(); }},
               {"cmdHelp", QStringLiteral("&Help"), [this] { cmdHelp_Click(); }}}));

    // Load.
    cmbSourceDoc_Load();
}

void frmDrillback::cmbSourceDoc_Load() {
    cmbSourceDoc_->clear();
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(gDB.get(), rs,
                           QStringLiteral("SELECT * FROM DsbSourceDoc ORDER BY Mask"), {}, true,
                           kModule, QStringLiteral("cmbSourceDoc_Load")))
        return;
    for (; !rs->EOF_(); rs->MoveNext()) {
        if (rs->IsNull(QStringLiteral("Mask")))
            continue;
        Combo_AddItem(cmbSourceDoc_, rs->Text(QStringLiteral("Mask")),
                      static_cast<int32_t>(rs->Number(QStringLiteral("ID"))));
    }
    rs->Close();
    cmbSourceDoc_->setCurrentIndex(-1);
}

void frmDrillback::Form_Activate() {
    if (SourceID < 0) {
        MsgBox(QStringLiteral("Invalid Source ID."), vbExclamation);
        Unload();
        return;
    }
    if (SheetName.isEmpty()) {
        MsgBox(QStringLiteral("Invalid Sheet name."), vbExclamation);
        Unload();
    }
}

bool frmDrillback::ValidateInput() {
    if (cmbSourceDoc_->currentIndex() < 0) {
        Refuse(QStringLiteral("No document source selected."), cmbSourceDoc_);
        return false;
    }
    return true;
}

void frmDrillback::cmdOK_Click() {
    if (!ValidateInput())
        return;
    SourceDocID = Combo_ItemData(cmbSourceDoc_, cmbSourceDoc_->currentIndex());
    Unload(QDialog::Accepted);
}

void frmDrillback::cmdCancel_Click() { Unload(); }

void frmDrillback::cmdHelp_Click() { ShowHelp(this, kModule); }
