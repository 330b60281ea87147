#include "windows/frmSaveWorkspace.h"

#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "ui/modUtilsControls.h"
#include "services/modUtilsHelp.h"
#include "services/modUtilsSQL.h"
#include "ui/DialogButtons.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QVBoxLayout>


namespace {
const QString kModule = QStringLiteral("frmSaveWorkspace");
}

frmSaveWorkspace::frmSaveWorkspace(QWidget* parent)
    : QDialog(parent),
      txtName_(new QLineEdit(this)),
      lblTitle_(new QLabel(this)),
      lblSubtitle_(new QLabel(this)) {
    setObjectName(kModule);
    setWindowTitle(QStringLiteral("Save Dashboard"));
    txtName_->setObjectName(QStringLiteral("txtName"));
    InstallValidNameKey(txtName_);
    lblTitle_->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle_->font();
    titleFont.setBold(true);
    lblTitle_->setFont(titleFont);
    lblSubtitle_->setObjectName(QStringLiteral("lblSubtitle"));
    lblSubtitle_->setWordWrap(true);
    auto* lblName = new QLabel(QStringLiteral("Name:"), this);
    lblName->setObjectName(QStringLiteral("lblName"));
    lblName->setBuddy(txtName_);
    auto* Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(style()->standardIcon(QStyle::SP_DialogSaveButton).pixmap(32, 32));


    auto* grid = new QGridLayout;
    grid->addWidget(Image1, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(lblTitle_, 0, 1);
    grid->addWidget(lblSubtitle_, 1, 1);
    // The texts take the width the picture leaves.
    grid->setColumnStretch(1, 1);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(lblName);
    nameRow->addWidget(txtName_, 1);
    QHBoxLayout* buttons = DialogButtonRow(
        this, {{"cmdOK", QStringLiteral("OK"), [this] { cmdOK_Click(); }},
               {"cmdCancel", QStringLiteral("Cancel"), [this] { cmdCancel_Click(); }},
               {"cmdHelp", QStringLiteral("&Help"), [this] { cmdHelp_Click(); }}});
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(nameRow);
    layout->addLayout(buttons);
}

void frmSaveWorkspace::Show() {
    Form_Load();
    exec();
}

void frmSaveWorkspace::Form_Load() {
    WorkspaceName.clear();
    QString caption = QStringLiteral("Save dashboard");
    QString title = QStringLiteral("Save current dashboard");
    QString subtitle = QStringLiteral(
        "Save the current dashboard for convenient review. Its contents will be updated as new "
        "data arrives.");
    if (Mode == QStringLiteral("SaveAs")) {
        caption = QStringLiteral("Save dashboard As");
    } else if (Mode == QStringLiteral("Rename")) {
        caption = QStringLiteral("Rename dashboard");
        title = QStringLiteral("Rename current dashboard");
        subtitle = QStringLiteral(
            "Rename the current dashboard for convenient review. Its contents will be updated "
            "as new data arrives.");
    }
    setWindowTitle(caption);
    lblTitle_->setText(title);
    lblSubtitle_->setText(subtitle);
    // Sized for these texts, now that they are set: sized before, the description was cut.
    FitDialogToContents(this, 420);
}

bool frmSaveWorkspace::ExistWorkspace(const QString& Name) {
    std::unique_ptr<db::Recordset> rs;
    // The database compares the names, as it does when the dashboard is found again by name.
    if (!SQL_OpenRecordset(gDB.get(), rs,
                           QStringLiteral("SELECT * FROM DsbSavedWorkspace WHERE Name = ?"),
                           {Name}, true, kModule, QStringLiteral("ExistWorkspace")))
        return false;
    return !rs->EOF_();
}

void frmSaveWorkspace::RefuseName(const QString& message) {
    MsgBox(message, vbExclamation);
    txtName_->selectAll();
    txtName_->setFocus();
}

bool frmSaveWorkspace::ValidateInput() {
    txtName_->setText(txtName_->text().trimmed());
    if (txtName_->text().isEmpty()) {
        RefuseName(QStringLiteral("Name must not be blank!"));
        return false;
    }
    if (ExistWorkspace(txtName_->text())) {
        RefuseName(QStringLiteral(
            "A dashboard with the same name already exists.  Please modify the name."));
        return false;
    }
    return true;
}

void frmSaveWorkspace::cmdOK_Click() {
    if (!ValidateInput())
        return;
    WorkspaceName = txtName_->text();
    done(QDialog::Accepted);
}

void frmSaveWorkspace::cmdCancel_Click() { done(QDialog::Rejected); }

void frmSaveWorkspace::cmdHelp_Click() { ShowHelp(this, kModule); }
