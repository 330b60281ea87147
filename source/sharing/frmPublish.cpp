#include "sharing/frmPublish.h"

#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/modUtilsHelp.h"
#include "ui/DialogButtons.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace {
const QString kModule = QStringLiteral("frmPublish");
const QString kNone = QStringLiteral("<none>");
}  // namespace

frmPublish::frmPublish(QWidget* parent) : QDialog(parent), lstTemplates_(new QListWidget(this)) {
    setObjectName(kModule);
    setWindowTitle(QStringLiteral("Publish"));
    auto* lblCaption = new QLabel(QStringLiteral("Select template to use for publishing:"), this);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    lstTemplates_->setObjectName(QStringLiteral("lstTemplates"));
    lstTemplates_->setSelectionMode(QAbstractItemView::SingleSelection);
    QHBoxLayout* buttons = DialogButtonRow(
        this, {{"cmdOK", QStringLiteral("OK"), [this] { cmdOK_Click(); }},
               {"cmdCancel", QStringLiteral("Cancel"), [this] { cmdCancel_Click(); }},
               {"cmdHelp", QStringLiteral("Help"), [this] { ShowHelp(this, kModule); }}});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblCaption);
    layout->addWidget(lstTemplates_);
    layout->addLayout(buttons);
}

void frmPublish::Show() {
    Form_Load();
    Form_Activate();
    exec();
}

void frmPublish::Form_Load() { TemplateFile.clear(); }

void frmPublish::Form_Activate() {
    lstTemplates_Load();
    lstTemplates_->setCurrentRow(0);
}

void frmPublish::lstTemplates_Load() {
    lstTemplates_->clear();
    lstTemplates_->addItem(kNone);
    const QString folder = GetTemplatesFolder();
    if (folder.isEmpty())
        return;
    // Workbook names match without regard to case, as masks do everywhere in the program.
    const QStringList names =
        QDir(folder).entryList({QStringLiteral("*.xls*")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    lstTemplates_->addItems(names);
}

bool frmPublish::ValidateSelection() {
    if (lstTemplates_->currentRow() < 0 || lstTemplates_->selectedItems().isEmpty()) {
        MsgBox(QStringLiteral("Must select a template for publishing."), vbExclamation);
        lstTemplates_->setFocus();
        return false;
    }
    return true;
}

void frmPublish::cmdOK_Click() {
    if (!ValidateSelection())
        return;
    const QString text = lstTemplates_->currentItem()->text();
    TemplateFile = text.compare(kNone, Qt::CaseInsensitive) == 0 ? QString()
                                                                  : GetTemplatesFolder() + text;
    accept();
}

void frmPublish::cmdCancel_Click() { reject(); }

void frmPublish::reject() {
    // Left as "", the result would read as "<none>" and publish into a new workbook.
    TemplateFile = QStringLiteral("cancel");
    QDialog::reject();
}
