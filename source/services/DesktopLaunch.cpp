#include "services/DesktopLaunch.h"

#include "services/UserPrompts.h"
#include "services/modUtilsLog.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace DesktopLaunch {

namespace {
struct Script {
    QStringList requests;
    bool result = true;
};
Script& State() {
    static Script s;
    return s;
}

bool Scripted(const QString& request) {
    State().requests.push_back(request);
    return State().result;
}
}  // namespace

bool OpenDocument(const QString& pathOrUrl) {
    if (PromptScript::Enabled())
        return Scripted(QStringLiteral("open ") + pathOrUrl);
    const QUrl url = pathOrUrl.contains(QStringLiteral("://")) ? QUrl(pathOrUrl)
                                                               : QUrl::fromLocalFile(pathOrUrl);
    return QDesktopServices::openUrl(url);
}

void ShowDocument(const QString& pathOrUrl, const QString& module, const QString& procedure) {
    if (!OpenDocument(pathOrUrl))
        LogEvent(module, procedure,
                 QStringLiteral("No application could be started to show ") + pathOrUrl +
                     QLatin1Char('.'),
                 true);
}

bool StartProgram(const QString& program) {
    if (PromptScript::Enabled())
        return Scripted(QStringLiteral("start ") + program);
    return QProcess::startDetached(program, {});
}

QStringList Requests() { return State().requests; }
void SetScriptedResult(bool ok) { State().result = ok; }
void ResetScript() { State() = Script(); }

}  // namespace DesktopLaunch
