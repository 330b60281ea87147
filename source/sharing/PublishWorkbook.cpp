#include "sharing/modPublish.h"

#include "services/modUtilsLog.h"

// The workbook engine can't write workbooks yet; until it can, a publication stops here and
// says so rather than pretend.
QString PublishIntoWorkbook(const QString& dashboardName, const QString& templatePath,
                            const QString& pickedFile, const QImage& picture) {
    Q_UNUSED(dashboardName);
    Q_UNUSED(templatePath);
    Q_UNUSED(pickedFile);
    Q_UNUSED(picture);
    LogError(QStringLiteral("frmWorkspace"), QStringLiteral("mnuWorkspacePublish_Click"),
             ErrNum::kGeneral,
             QStringLiteral("Workbooks can't be written by this build, so the dashboard can't be "
                            "published."),
             true);
    return QString();
}
