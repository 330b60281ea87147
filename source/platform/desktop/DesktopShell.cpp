#include "platform/desktop/DesktopShell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace desk {

namespace {
// wmctrl answers at once; a hung window manager must not freeze the program.
constexpr int kWmctrlTimeoutMs = 3000;
}  // namespace

bool OpenWithDesktop(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        if (error)
            *error = QStringLiteral("%1 does not exist.").arg(path);
        return false;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()))) {
        if (error)
            *error = QStringLiteral("No application could be started to show %1.").arg(path);
        return false;
    }
    return true;
}

bool BringToFront(const QString& title) {
    if (title.isEmpty())
        return false;
    const QString wmctrl = QStandardPaths::findExecutable(QStringLiteral("wmctrl"));
    if (wmctrl.isEmpty())
        return false;
    QProcess p;
    // The title goes as one argument, never through a shell.
    p.start(wmctrl, {QStringLiteral("-a"), title});
    if (!p.waitForFinished(kWmctrlTimeoutMs)) {
        p.kill();
        p.waitForFinished(kWmctrlTimeoutMs);
        return false;
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace desk
