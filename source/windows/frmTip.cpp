#include "windows/frmTip.h"

#include "services/App.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsHelp.h"
#include "services/DesktopLaunch.h"
#include "ui/DialogButtons.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>


QString LearningGuidePath() {
    return App::WithSeparator(App::Path()) + App::EXEName() +
           QStringLiteral("_Learning_Guide.pdf");
}

frmTip::frmTip(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmTip"));
    setWindowTitle(QStringLiteral("Startup Tip"));

    auto* Label1 = new QLabel(QStringLiteral("Did you know..."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    auto* lblTipText = new QLabel(this);
    lblTipText->setObjectName(QStringLiteral("lblTipText"));
    lblTipText->setWordWrap(true);
    auto* Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(48, 48));

    auto* grid = new QGridLayout(this);
    grid->addWidget(Picture1, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(Label1, 0, 1);
    grid->addWidget(lblTipText, 1, 1);
    QHBoxLayout* buttons = DialogButtonRow(
        this, {{"cmdClose", QStringLiteral("&Close"), [this] { cmdClose_Click(); }},
               {"cmdGuide", QStringLiteral("&Learning Guide"), [this] { cmdGuide_Click(); }},
               {"cmdHelp", QStringLiteral("&Help"), [this] { cmdHelp_Click(); }}});
    grid->addLayout(buttons, 2, 0, 1, 2);

    // Load.
    GuidePath_ = LearningGuidePath();
    findChild<QPushButton*>(QStringLiteral("cmdGuide"))->setEnabled(FileExists(GuidePath_));
    lblTipText->setText(QStringLiteral(
        "To create a dashboard, copy ranges of cells or charts from Excel spreadsheets, and "
        "paste them to the Sheetbeacon dashboard.\n\nSee the Help or the Learning Guide for more "
        "information."));
    // The wrapped tip decides the height, so the size is taken once the text is in.
    resize(440, grid->totalHeightForWidth(440));
}

void frmTip::cmdGuide_Click() {
    if (FileExists(GuidePath_))
        DesktopLaunch::ShowDocument(GuidePath_, objectName(), QStringLiteral("cmdGuide_Click"));
}

void frmTip::cmdHelp_Click() { ShowHelp(this, objectName()); }

void frmTip::cmdClose_Click() { accept(); }
