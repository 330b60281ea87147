#include "windows/frmLogin.h"

#include "services/App.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/modUtilsHelp.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsRepository.h"
#include "services/modUtilsSQL.h"
#include "ui/DialogButtons.h"
#include "services/ProgramIcon.h"
#include "ui/BusyCursor.h"
#include "ui/PromptDialogs.h"
#include "windows/frmWorkspace.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>
#include <filesystem>

namespace {

const QString kModule = QStringLiteral("frmLogin");

// The repository open now is the chosen file: the same file on disk, however the path is
// spelled (letter case on a disk that ignores it, a link, "." and ".." steps).
bool IsOpenRepository(const QString& path) {
    if (!gDB)
        return false;
    std::error_code error;
    return std::filesystem::equivalent(std::filesystem::path(gDB->Name().toStdString()),
                                       std::filesystem::path(path.toStdString()), error);
}

}  // namespace

frmLogin::frmLogin(QWidget* parent)
    : DialogForm(parent),
      imgBackground_(new QLabel(this)),
      txtRepository_(new QLineEdit(this)),
      cmdOK_(nullptr) {
    setObjectName(kModule);
    imgBackground_->setObjectName(QStringLiteral("imgBackground"));
    imgBackground_->setAutoFillBackground(true);
    QPalette background = imgBackground_->palette();
    background.setColor(QPalette::Window, palette().color(QPalette::AlternateBase));
    imgBackground_->setPalette(background);
    imgBackground_->lower();
    auto* imgKolo = new QLabel(this);
    imgKolo->setObjectName(QStringLiteral("imgKolo"));
    imgKolo->setPixmap(ProgramIcon().pixmap(48, 48));
    auto* lblRepository = new QLabel(QStringLiteral("Registry:"), this);
    lblRepository->setObjectName(QStringLiteral("lblRepository"));
    lblRepository->setBuddy(txtRepository_);
    txtRepository_->setObjectName(QStringLiteral("txtRepository"));
    connect(txtRepository_, &QLineEdit::textChanged, this, [this] { EnableButtons(); });
    auto* cmdBrowse = new QPushButton(QStringLiteral("..."), this);
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    cmdBrowse->setAutoDefault(false);
    connect(cmdBrowse, &QPushButton::clicked, this, [this] { cmdBrowse_Click(); });

    auto* row = new QHBoxLayout;
    row->addWidget(lblRepository);
    row->addWidget(txtRepository_, 1);
    row->addWidget(cmdBrowse);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(imgKolo, 0, Qt::AlignLeft);
    layout->addLayout(row);
    layout->addLayout(DialogButtonRow(
        this, {{"cmdOK", QStringLiteral("OK"), [this] { cmdOK_Click(); }},
               {"cmdCancel", QStringLiteral("Cancel"), [this] { cmdCancel_Click(); }},
               {"cmdHelp", QStringLiteral("&Help"), [this] { cmdHelp_Click(); }}}));
    cmdOK_ = findChild<QPushButton*>(QStringLiteral("cmdOK"));
    FitDialogToContents(this, 480);

    // Load.
    setWindowTitle(QStringLiteral("Welcome to ") + App::Title());
    imgBackground_->setGeometry(rect());
    txtRepository_->setText(GetDefaultRepository());
    EnableButtons();
}

void frmLogin::resizeEvent(QResizeEvent* event) {
    DialogForm::resizeEvent(event);
    imgBackground_->setGeometry(rect());
}

void frmLogin::EnableButtons() { cmdOK_->setEnabled(!txtRepository_->text().trimmed().isEmpty()); }

void frmLogin::cmdBrowse_Click() {
    const QString chosen = AskOpenFile(this, QStringLiteral("Select project file"),
                                       txtRepository_->text().trimmed(),
                                       QStringLiteral("Project files (*.pvdu)"));
    // Cancelling the file dialog leaves the path as it was.
    if (chosen.isEmpty())
        return;
    txtRepository_->setText(chosen);
    EnableButtons();
}

bool frmLogin::ValidateInput() {
    txtRepository_->setText(txtRepository_->text().trimmed());
    if (txtRepository_->text().isEmpty()) {
        RefuseText(QStringLiteral("No project file selected."), txtRepository_);
        return false;
    }
    if (!ValidateRepository(txtRepository_->text())) {
        MsgBox(QStringLiteral("You did not pick a valid project file."), vbExclamation);
        cmdBrowse_Click();
        return false;
    }
    return true;
}

void frmLogin::cmdOK_Click() {
    try {
        if (!ValidateInput())
            return;
        const QString path = txtRepository_->text();
        const bool switching = CurrMode == QStringLiteral("switch");
        if (switching && IsOpenRepository(path)) {
            Unload(QDialog::Accepted);
            return;
        }
        if (SwitchTo(path))
            Unload(QDialog::Accepted);
    } catch (const std::exception& e) {
        ReportFailure(kModule, QStringLiteral("cmdOK_Click"), e);
    }
}

bool frmLogin::SwitchTo(const QString& path) {
    std::unique_ptr<db::Database> opened;
    if (!InitRepository(opened, path)) {
        MsgBox(QStringLiteral("Selected file is not a valid ") + App::Title() +
                   QStringLiteral(" project file.  Please select another file."),
               vbExclamation);
        return false;
    }
    const bool switching = CurrMode == QStringLiteral("switch");
    // The old dashboard is let go while its own repository is still open: its save question
    // must store unsaved edits there, and Cancel must leave everything as it was.
    if (switching) {
        if (auto* main = qobject_cast<frmWorkspace*>(DialogOwner())) {
            if (!main->close()) {
                SQL_CloseDatabase(opened, false, kModule, QStringLiteral("cmdOK_Click"));
                return false;
            }
        }
    }
    SaveDefaultRepository(path);
    if (gDB)
        SQL_CloseDatabase(gDB, true, kModule, QStringLiteral("cmdOK_Click"));
    gDB = std::move(opened);
    const BusyCursor hourglass;
    // Loading the new window makes a new dashboard and registry; its first activation loads
    // the sources and dashboards of the new repository.
    (new frmWorkspace)->show();
    return true;
}

void frmLogin::cmdCancel_Click() { Unload(); }

void frmLogin::cmdHelp_Click() { ShowHelp(this, QStringLiteral("Login")); }
