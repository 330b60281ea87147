#include "sharing/frmAddAltPath.h"

#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/modUtilsHelp.h"
#include "services/modUtilsSQL.h"
#include "ui/DialogButtons.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {
const QString kModule = QStringLiteral("frmAddAltPath");

bool EndsInSeparator(const QString& path) {
    return path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'));
}
}  // namespace

frmAddAltPath::frmAddAltPath(QWidget* parent)
    : QDialog(parent), cmbBase_(new QComboBox(this)), txtAlt_(new QLineEdit(this)) {
    setObjectName(kModule);
    setWindowTitle(QStringLiteral("Add Alternate Path"));
    auto* lblbase = new QLabel(QStringLiteral("Select path to define an alternate for:"), this);
    lblbase->setObjectName(QStringLiteral("lblbase"));
    auto* lblAlt = new QLabel(QStringLiteral("Enter alternate path:"), this);
    lblAlt->setObjectName(QStringLiteral("lblAlt"));
    cmbBase_->setObjectName(QStringLiteral("cmbBase"));
    cmbBase_->setMinimumContentsLength(50);
    txtAlt_->setObjectName(QStringLiteral("txtAlt"));
    QHBoxLayout* buttons = DialogButtonRow(
        this, {{"cmdOK", QStringLiteral("OK"), [this] { cmdOK_Click(); }},
               {"cmdCancel", QStringLiteral("Cancel"), [this] { reject(); }},
               {"cmdHelp", QStringLiteral("Help"), [this] { ShowHelp(this, kModule); }}});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblbase);
    layout->addWidget(cmbBase_);
    layout->addWidget(lblAlt);
    layout->addWidget(txtAlt_);
    layout->addLayout(buttons);
}

bool frmAddAltPath::Show() {
    Form_Load();
    exec();
    return saved_;
}

void frmAddAltPath::Form_Load() { cmbBase_Load(); }

void frmAddAltPath::cmbBase_Load() {
    cmbBase_->clear();
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(gDB.get(), rs,
                           QStringLiteral("SELECT DISTINCT SourceFolder AS Path FROM DsbPanelSource "
                                          "WHERE length(SourceFolder) > 1 UNION "
                                          "SELECT DISTINCT DestFolder AS Path FROM DsbPanelSource "
                                          "WHERE length(DestFolder) > 1 ORDER BY Path"),
                           {}, true, kModule, QStringLiteral("Form_Load")))
        return;
    for (; !rs->EOF_(); rs->MoveNext()) {
        if (!rs->IsNull(QStringLiteral("Path")))
            cmbBase_->addItem(rs->Text(QStringLiteral("Path")));
    }
    cmbBase_->setCurrentIndex(-1);
}

bool frmAddAltPath::ValidateInput() {
    if (cmbBase_->currentIndex() < 0) {
        MsgBox(QStringLiteral("Must select a base path."), vbInformation);
        cmbBase_->setFocus();
        return false;
    }
    if (txtAlt_->text().trimmed().isEmpty()) {
        MsgBox(QStringLiteral("Must define an alternate path."), vbInformation);
        txtAlt_->selectAll();
        txtAlt_->setFocus();
        return false;
    }
    // An alternate for a folder written with its separator must keep it, or the import's
    // replacement would glue the folder to the names that follow it.
    const QString base = cmbBase_->currentText().trimmed();
    if (EndsInSeparator(base) && !EndsInSeparator(txtAlt_->text().trimmed()))
        txtAlt_->setText(txtAlt_->text() + base.right(1));
    return true;
}

bool frmAddAltPath::SaveAltPaths() {
    // A pair that could not be stored must not look stored: the dialog stays open.
    return SQL_Execute(gDB.get(),
                       QStringLiteral("INSERT INTO DsbAltPaths (BasePath, AltPath) VALUES (?, ?)"),
                       {cmbBase_->currentText(), txtAlt_->text()}, true, kModule,
                       QStringLiteral("SaveAltPaths"));
}

void frmAddAltPath::cmdOK_Click() {
    if (!ValidateInput())
        return;
    if (!SaveAltPaths())
        return;
    saved_ = true;
    accept();
}
