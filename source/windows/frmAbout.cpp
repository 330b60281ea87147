#include "windows/frmAbout.h"

#include "services/App.h"
#include "services/ProgramIcon.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"
#include "services/DesktopLaunch.h"
#include "ui/DialogButtons.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QStandardPaths>

namespace {
const QString kModule = QStringLiteral("frmAbout");
}

QString FindSystemInfoTool() {
    for (const char* name :
         {"hardinfo", "hardinfo2", "kinfocenter", "gnome-system-monitor", "xfce4-taskmanager"}) {
        const QString path = QStandardPaths::findExecutable(QLatin1String(name));
        if (!path.isEmpty())
            return path;
    }
    return QString();
}

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(kModule);
    auto* Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ProgramIcon().pixmap(48, 48));
    auto* lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    lblTitle->setFont(titleFont);
    auto* lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    auto* lblDescription = new QLabel(
        QStringLiteral("Live dashboards of spreadsheet ranges and charts."), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    auto* lblDisclaimer = new QLabel(
        QStringLiteral("Warning: this program is protected by copyright law. Unauthorized "
                       "reproduction or distribution of this program, or any portion of it, "
                       "may result in civil and criminal penalties."),
        this);
    lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    lblDisclaimer->setWordWrap(true);
    auto* lblEULA = new QLabel(
        QStringLiteral("<a href=\"eula\">View the End-User License Agreement</a>"), this);
    lblEULA->setObjectName(QStringLiteral("lblEULA"));
    lblEULA->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(lblEULA, &QLabel::linkActivated, this, [this] { lblEULA_Click(); });

    auto* grid = new QGridLayout(this);
    grid->addWidget(Image1, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(lblTitle, 0, 1);
    grid->addWidget(lblVersion, 1, 1);
    grid->addWidget(lblDescription, 2, 1);
    grid->addWidget(lblDisclaimer, 3, 0, 1, 2);
    grid->addWidget(lblEULA, 4, 0, 1, 2);
    QHBoxLayout* buttons = DialogButtonRow(
        this, {{"cmdOK", QStringLiteral("OK"), [this] { cmdOK_Click(); }},
               {"cmdSysInfo", QStringLiteral("&System Info..."), [this] { cmdSysInfo_Click(); }}});
    grid->addLayout(buttons, 5, 0, 1, 2);
    // The texts beside the picture take the width it leaves.
    grid->setColumnStretch(1, 1);

    // Load.
    setWindowTitle(QStringLiteral("About ") + App::Title());
    lblTitle->setText(App::Title());
    const QStringList parts = App::Version().split(QLatin1Char('.'));
    auto part = [&parts](int i) {
        return i < parts.size() ? QString::number(parts[i].toInt()) : QStringLiteral("0");
    };
    lblVersion->setText(QStringLiteral("Version ") + part(0) + QLatin1Char('.') + part(1) +
                        QLatin1Char('.') + part(2));
    // Sized once every text is in.
    FitDialogToContents(this, 460);
}

void frmAbout::cmdOK_Click() { accept(); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }

void frmAbout::StartSysInfo() {
    const QString tool = FindSystemInfoTool();
    if (tool.isEmpty()) {
        LogError(kModule, QStringLiteral("StartSysInfo"), 0,
                 QStringLiteral("No system information program was found on the PATH."), true);
        return;
    }
    if (!DesktopLaunch::StartProgram(tool))
        LogError(kModule, QStringLiteral("StartSysInfo"), ErrNum::kFileNotFound,
                 QStringLiteral("Unable to start ") + tool + QLatin1Char('.'), true);
}

void frmAbout::lblEULA_Click() {
    const QString path = App::Path() + QStringLiteral("/EULA.rtf");
    if (!FileExists(path)) {
        LogEvent(kModule, QStringLiteral("lblEULA_Click"),
                 path + QStringLiteral(" file is missing."), true);
        return;
    }
    if (!DesktopLaunch::OpenDocument(path))
        LogError(kModule, QStringLiteral("lblEULA_Click"), ErrNum::kGeneral,
                 QStringLiteral("No application opens ") + path + QLatin1Char('.'), true);
}
