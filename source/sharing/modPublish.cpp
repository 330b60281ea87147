#include "sharing/modPublish.h"

#include "services/App.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"
#include "sharing/frmPublish.h"
#include "ui/PromptDialogs.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPixmap>

namespace {
// Publishing is the main window's command; its reports carry the window's names.
const QString kModule = QStringLiteral("frmWorkspace");
const QString kProc = QStringLiteral("mnuWorkspacePublish_Click");
}  // namespace

QString TemplatePathFor(const QString& dashboardName) {
    const QString folder = GetTemplatesFolder();
    if (folder.isEmpty())
        return QString();
    QString name = dashboardName.trimmed();
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    return folder + name + QStringLiteral(".xlsx");
}

void PublishWorkspace(const QString& dashboardName, int panelCount,
                      const std::function<bool(QPixmap*)>& capture) {
    // Without panels there is no area to capture, only an empty or inverted rectangle.
    if (panelCount <= 0) {
        MsgBox(QStringLiteral("There are no panels on this dashboard to publish."), vbExclamation);
        return;
    }
    QString templatePath = TemplatePathFor(dashboardName);
    if (templatePath.isEmpty()) {
        LogEvent(kModule, kProc,
                 QStringLiteral("The Templates folder beside the program can't be made.  Unable "
                                "to continue publishing."),
                 true);
        return;
    }
    QString picked;
    if (!FileExists(templatePath)) {
        MsgBox(QStringLiteral("Template does not exist for this dashboard.\nYou will need to set "
                              "up a template for it."),
               vbInformation);
        const QVariant answer = AskCustom(QStringLiteral("frmPublish"), [] {
            frmPublish dialog(DialogOwner());
            dialog.Show();
            return QVariant(dialog.TemplateFile);
        });
        picked = answer.isValid() ? answer.toString() : QStringLiteral("cancel");
        if (picked == QLatin1String("cancel"))
            return;
        if (picked.isEmpty()) {
            templatePath.clear();
        } else if (!FileExists(picked)) {
            LogEvent(kModule, kProc,
                     QStringLiteral("Selected template [") + picked +
                         QStringLiteral("] does not exist.  Unable to continue publishing."),
                     true);
            return;
        } else if (QFileInfo(picked).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) != 0) {
            // Copied under the template's .xlsx name, another format would no longer open.
            LogEvent(kModule, kProc,
                     QStringLiteral("Selected template [") + picked +
                         QStringLiteral("] is not an .xlsx workbook.  Unable to continue publishing."),
                     true);
            return;
        } else if (const CopyOutcome copied = File_CopyOutcome(picked, templatePath);
                   !copied.copied) {
            LogEvent(kModule, kProc,
                     QStringLiteral("Unable to copy [") + picked + QStringLiteral("] to [") +
                         templatePath + QStringLiteral("].") +
                         (copied.error
                              ? QStringLiteral("  ") + WriteFailureText(copied.error, templatePath)
                              : QString()),
                     true);
            return;
        }
    }
    // The dialog and the boxes must be gone from the screen before it is captured.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QPixmap picture;
    if (!capture || !capture(&picture) || picture.isNull()) {
        LogEvent(kModule, kProc, QStringLiteral("Unable to copy form contents to publish."));
        MsgBox(QStringLiteral("Unable to publish dashboard.  Please close ") + App::Title() +
                   QStringLiteral(" and restart it."),
               vbExclamation);
        return;
    }
    PublishIntoWorkbook(dashboardName, templatePath, picked, picture.toImage());
}
