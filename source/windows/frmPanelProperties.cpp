#include "windows/frmPanelProperties.h"

#include "model/Globals.h"
#include "model/clsPanelSource.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "ui/modUtilsControls.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsFolder.h"
#include "services/modUtilsHelp.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsOutlook.h"
#include "ui/DialogButtons.h"
#include "windows/FrequencyBox.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>
#include <stdexcept>

namespace {
constexpr int kWidth = 520;

const QString kModule = QStringLiteral("frmPanelProperties");
const QChar kValueSeparator = QLatin1Char('`');


QLineEdit* NamedBox(const char* control, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(control));
    return box;
}

QPushButton* BrowseButton(const char* control, QWidget* parent) {
    auto* button = new QPushButton(QStringLiteral("..."), parent);
    button->setObjectName(QLatin1String(control));
    button->setAutoDefault(false);
    return button;
}

// The name part of a stored mail folder value: the text after its first back-quote.
QString FolderName(const QString& value) { return value.section(kValueSeparator, 1); }

bool Blank(const QLineEdit* box) { return box->text().trimmed().isEmpty(); }

}  // namespace

frmPanelProperties::frmPanelProperties(QWidget* parent)
    : DialogForm(parent),
      txtSource_(NamedBox("txtSource", this)),
      cmbUpdateType_(new QComboBox(this)),
      fraFolder_(new QGroupBox(this)),
      txtSourceFolder_(NamedBox("txtSourceFolder", fraFolder_)),
      fraInbox_(new QGroupBox(this)),
      txtOFolder_(NamedBox("txtOFolder", fraInbox_)),
      txtOSender_(NamedBox("txtOSender", fraInbox_)),
      txtOSubject_(NamedBox("txtOSubject", fraInbox_)),
      txtMask_(NamedBox("txtMask", this)),
      txtFrequency_(NamedBox("txtFrequency", this)) {
    setObjectName(kModule);
    setWindowTitle(QStringLiteral("File Updates"));

    auto* lblCaption = NamedLabel(
        "lblCaption",
        QStringLiteral("Specify how Sheetbeacon can find updates to the spreadsheet file behind "
                       "this panel"),
        this);
    lblCaption->setWordWrap(true);
    auto* fraSource = new QGroupBox(QStringLiteral("File Update Properties"), this);
    fraSource->setObjectName(QStringLiteral("fraSource"));
    txtSource_->setReadOnly(true);
    cmbUpdateType_->setObjectName(QStringLiteral("cmbUpdateType"));
    connect(cmbUpdateType_, &QComboBox::currentIndexChanged, this, [this](int) { cmbUpdateType_Click(); });

    fraFolder_->setObjectName(QStringLiteral("fraFolder"));
    auto* cmdSourceFolder = BrowseButton("cmdSourceFolder", fraFolder_);
    connect(cmdSourceFolder, &QPushButton::clicked, this, [this] { cmdSourceFolder_Click(); });
    auto* folderRow = new QHBoxLayout(fraFolder_);
    folderRow->addWidget(NamedLabel("lblSourceFolder", QStringLiteral("Source Folder:"), fraFolder_));
    folderRow->addWidget(txtSourceFolder_, 1);
    folderRow->addWidget(cmdSourceFolder);

    fraInbox_->setObjectName(QStringLiteral("fraInbox"));
    txtOFolder_->setReadOnly(true);
    auto* cmdOFolder = BrowseButton("cmdOFolder", fraInbox_);
    connect(cmdOFolder, &QPushButton::clicked, this, [this] { cmdOFolder_Click(); });
    auto* inboxGrid = new QGridLayout(fraInbox_);
    inboxGrid->addWidget(NamedLabel("lblOFolder", QStringLiteral("Mail Folder:"), fraInbox_), 0, 0);
    inboxGrid->addWidget(txtOFolder_, 0, 1);
    inboxGrid->addWidget(cmdOFolder, 0, 2);
    inboxGrid->addWidget(NamedLabel("lblOSender", QStringLiteral("Sender Mask:"), fraInbox_), 1, 0);
    inboxGrid->addWidget(txtOSender_, 1, 1, 1, 2);
    inboxGrid->addWidget(NamedLabel("lblOSubject", QStringLiteral("Subject Mask:"), fraInbox_), 2, 0);
    inboxGrid->addWidget(txtOSubject_, 2, 1, 1, 2);

    auto* sourceGrid = new QGridLayout(fraSource);
    sourceGrid->addWidget(NamedLabel("lblSource", QStringLiteral("Current File:"), fraSource), 0, 0);
    sourceGrid->addWidget(txtSource_, 0, 1, 1, 2);
    sourceGrid->addWidget(NamedLabel("lblUpdateType", QStringLiteral("Update Location:"), fraSource), 1, 0);
    sourceGrid->addWidget(cmbUpdateType_, 1, 1, 1, 2);
    sourceGrid->addWidget(fraFolder_, 2, 0, 1, 3);
    sourceGrid->addWidget(fraInbox_, 3, 0, 1, 3);
    sourceGrid->addWidget(NamedLabel("lblMask", QStringLiteral("Filename mask:"), fraSource), 4, 0);
    sourceGrid->addWidget(txtMask_, 4, 1, 1, 2);
    sourceGrid->addWidget(NamedLabel("lblFrequency", QStringLiteral("New file arrives every"), fraSource), 5, 0);
    sourceGrid->addWidget(txtFrequency_, 5, 1);
    sourceGrid->addWidget(NamedLabel("lblFrequency2", QStringLiteral("minute(s)"), fraSource), 5, 2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblCaption);
    layout->addWidget(fraSource);
    layout->addLayout(DialogButtonRow(
        this, {{"cmdOK", QStringLiteral("OK"), [this] { cmdOK_Click(); }},
               {"cmdCancel", QStringLiteral("Cancel"), [this] { cmdCancel_Click(); }},
               {"cmdHelp", QStringLiteral("&Help"), [this] { cmdHelp_Click(); }}}));
    FitDialogToContents(this, kWidth);

    // Load.
    cmbUpdateType_Load();
    FirstActivate_ = true;
}

void frmPanelProperties::cmbUpdateType_Load() {
    cmbUpdateType_->clear();
    for (const char* type : {"folder", "inbox", "refresh", "default"})
        cmbUpdateType_->addItem(QString::fromLatin1(type));
    cmbUpdateType_->setCurrentIndex(-1);
}

void frmPanelProperties::Form_Activate() {
    try {
        if (RefusedPanelIndex(Index))
            return;
        if (!FirstActivate_)
            return;
        const clsWorkspacePanel* record = gWorkspace ? gWorkspace->Panels(Index) : nullptr;
        if (!record)
            throw std::runtime_error("No panel at index " + std::to_string(Index));
        if (record->SourceID > 0) {
            SourceID_ = record->SourceID;
            LoadSource();
            FirstActivate_ = false;
        } else {
            MsgBox(QStringLiteral("Invalid source ID."), vbCritical);
            Unload();
        }
    } catch (const std::exception& e) {
        ReportFailure(kModule, QStringLiteral("Form_Activate"), e);
        Unload();
    }
}

void frmPanelProperties::LoadSource() {
    const clsPanelSource* source = gSources ? gSources->Source(SourceID_) : nullptr;
    if (!source)
        throw std::runtime_error("Source " + std::to_string(SourceID_) + " is not registered");
    txtSource_->setText(source->DestFolder + source->NewestFile);
    // A source folder never chosen reads back as a lone separator (its empty column with the
    // separator every loaded folder ends with); the box shows it blank, as the user left it.
    txtSourceFolder_->setText(IsFolderChosen(source->SourceFolder) ? source->SourceFolder : QString());
    txtFrequency_->setText(QString::number(source->CheckEvery));
    txtMask_->setText(source->Mask);
    Combo_SelectByText(cmbUpdateType_, source->UpdateType);
    OLFolderValue_ = source->OLFolder;
    // The Inbox is stored as an empty value, or as one without a name part.
    if (OLFolderValue_.trimmed().isEmpty() || !OLFolderValue_.contains(kValueSeparator))
        txtOFolder_->setText(QStringLiteral("Inbox"));
    else
        txtOFolder_->setText(FolderName(OLFolderValue_));
    txtOSender_->setText(source->OLSender.trimmed().isEmpty() ? QStringLiteral("*")
                                                              : source->OLSender);
    txtOSubject_->setText(source->OLSubject);
}

void frmPanelProperties::cmbUpdateType_Click() {
    if (cmbUpdateType_->currentIndex() < 0)
        return;
    const QString type = cmbUpdateType_->currentText();
    if (type == QStringLiteral("folder")) {
        fraFolder_->setVisible(true);
        fraInbox_->setVisible(false);
        txtFrequency_->setEnabled(true);
    } else if (type == QStringLiteral("inbox")) {
        fraFolder_->setVisible(false);
        fraInbox_->setVisible(true);
        txtFrequency_->setEnabled(true);
    } else if (type == QStringLiteral("refresh")) {
        fraFolder_->setVisible(false);
        fraInbox_->setVisible(false);
        txtFrequency_->setEnabled(true);
    } else if (type == QStringLiteral("default")) {
        fraFolder_->setVisible(false);
        fraInbox_->setVisible(false);
        txtFrequency_->setEnabled(false);
    } else {
        return;
    }
    // The height follows the frames shown, so no empty band takes the place of a hidden one;
    // a width the user chose is kept.
    FitDialogToContents(this, isVisible() ? width() : kWidth);
}

void frmPanelProperties::cmdSourceFolder_Click() {
    const QString folder =
        BrowseFolder(this, QStringLiteral("Select source folder"), txtSourceFolder_->text());
    if (!folder.isEmpty())
        txtSourceFolder_->setText(folder);
}

void frmPanelProperties::cmdOFolder_Click() {
    OLFolderValue_ = Outlook_SelectFolder();
    txtOFolder_->setText(OLFolderValue_.isEmpty() ? QString() : FolderName(OLFolderValue_));
    // The picker may have put the mail program's window in front.
    raise();
    activateWindow();
}

bool frmPanelProperties::ValidateInput() {
    if (cmbUpdateType_->currentIndex() < 0) {
        Refuse(QStringLiteral("No Update Type selected."), cmbUpdateType_);
        return false;
    }
    const QString type = cmbUpdateType_->currentText();
    const QString noFrequency = QStringLiteral("No frequency specified.");
    if (type == QStringLiteral("folder")) {
        if (Blank(txtSourceFolder_)) {
            MsgBox(QStringLiteral("No source folder specified."), vbExclamation);
            cmdSourceFolder_Click();
            return false;
        }
        if (Blank(txtFrequency_)) {
            Refuse(noFrequency, txtFrequency_);
            return false;
        }
    } else if (type == QStringLiteral("inbox")) {
        if (Blank(txtOFolder_)) {
            MsgBox(QStringLiteral("No folder specified."), vbExclamation);
            cmdOFolder_Click();
            return false;
        }
        if (Blank(txtOSender_) && Blank(txtOSubject_)) {
            Refuse(QStringLiteral("Either sender, subject must be defined."), txtOSender_);
            return false;
        }
        if (Blank(txtFrequency_)) {
            Refuse(noFrequency, txtFrequency_);
            return false;
        }
    }
    if (Blank(txtMask_)) {
        Refuse(QStringLiteral("No file mask defined."), txtMask_);
        return false;
    }
    if (Blank(txtFrequency_)) {
        Refuse(noFrequency, txtFrequency_);
        return false;
    }
    return ValidateFrequencyValue(txtFrequency_, QStringLiteral("Frequency"));
}

void frmPanelProperties::cmdOK_Click() {
    try {
        if (!ValidateInput())
            return;
        clsWorkspacePanel* record = gWorkspace ? gWorkspace->Panels(Index) : nullptr;
        clsPanelSource* source = gSources ? gSources->Source(SourceID_) : nullptr;
        if (!record || !source)
            throw std::runtime_error("The panel or its source is gone");
        record->SourceID = SourceID_;

        QString sourceFolder = txtSourceFolder_->text();
        // A blank folder stays blank: a lone separator would name the root of the disk.
        if (!sourceFolder.isEmpty() && !sourceFolder.endsWith(QLatin1Char('/')) &&
            !sourceFolder.endsWith(QLatin1Char('\\')))
            sourceFolder += GetPathSeparator(sourceFolder);
        const auto apply = [&](clsPanelSource& s) {
            s.SourceFolder = sourceFolder;
            s.CheckEvery = FrequencyValue(txtFrequency_->text());
            s.Mask = txtMask_->text();
            s.UpdateType = cmbUpdateType_->currentText();
            s.OLFolder = OLFolderValue_;
            s.OLSender = txtOSender_->text();
            s.OLSubject = txtOSubject_->text();
            // The attachment mask is the file mask.
            s.OLAttach = txtMask_->text();
        };
        // Every panel of the source shares the object: it takes the new settings only once
        // the row holds them, so memory and repository never disagree.
        clsPanelSource updated = *source;
        apply(updated);
        if (!updated.UpdateDB(gDB.get()))
            return;
        apply(*source);
        Unload(QDialog::Accepted);
    } catch (const std::exception& e) {
        ReportFailure(kModule, QStringLiteral("cmdOK_Click"), e);
    }
}

void frmPanelProperties::cmdCancel_Click() { Unload(); }

void frmPanelProperties::cmdHelp_Click() { ShowHelp(this, kModule); }
