#include "platform/workbook/Recalc.h"

#include "platform/workbook/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

namespace xl {

namespace {

int gTimeout = 120000;

// OOXMLRecalcMode 0: recalculate on load, always, without asking; Link 0: update links to
// other workbooks, always, without asking. A headless instance can't be asked.
const char* kProfileSettings =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
    "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
    "<item oor:path=\"/org.openoffice.Office.Calc/Formula/Load\"><prop oor:name=\"OOXMLRecalcMode\" "
    "oor:op=\"fuse\"><value>0</value></prop></item>\n"
    "<item oor:path=\"/org.openoffice.Office.Calc/Formula/Load\"><prop oor:name=\"ODFRecalcMode\" "
    "oor:op=\"fuse\"><value>0</value></prop></item>\n"
    "<item oor:path=\"/org.openoffice.Office.Calc/Content/Update\"><prop oor:name=\"Link\" "
    "oor:op=\"fuse\"><value>0</value></prop></item>\n"
    "</oor:items>\n";

QByteArray Run(const QString& input, const QString& name, QTemporaryDir& work) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        throw Error(QStringLiteral("LibreOffice (soffice) is needed to recalculate workbooks and was not found."));
    const QString profile = work.filePath(QStringLiteral("profile"));
    QDir().mkpath(profile + QStringLiteral("/user"));
    QFile settings(profile + QStringLiteral("/user/registrymodifications.xcu"));
    if (!settings.open(QIODevice::WriteOnly) || settings.write(kProfileSettings) < 0)
        throw Error(QStringLiteral("Unable to recalculate %1: the temporary folder can't be written").arg(name));
    settings.close();
    const QString outDir = work.filePath(QStringLiteral("out"));
    QDir().mkpath(outDir);

    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(soffice, {QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--nologo"),
                      QStringLiteral("--nolockcheck"),
                      QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
                      QStringLiteral("--convert-to"), QStringLiteral("xlsx:Calc MS Excel 2007 XML"),
                      QStringLiteral("--outdir"), outDir, input});
    if (!p.waitForStarted(30000))
        throw Error(QStringLiteral("Unable to recalculate %1: LibreOffice could not be started (%2)")
                        .arg(name, p.errorString()));
    if (!p.waitForFinished(gTimeout)) {
        p.kill();
        p.waitForFinished(5000);
        throw Error(QStringLiteral("Unable to recalculate %1: LibreOffice did not finish within %2 seconds and "
                                   "was stopped")
                        .arg(name)
                        .arg(gTimeout / 1000));
    }
    const QString result = outDir + QLatin1Char('/') + QFileInfo(input).completeBaseName() + QStringLiteral(".xlsx");
    QFile out(result);
    if (p.exitStatus() != QProcess::NormalExit || !out.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Unable to recalculate %1: LibreOffice failed (%2)")
                        .arg(name, QString::fromLocal8Bit(p.readAll()).trimmed().left(300)));
    return out.readAll();
}

}  // namespace

void SetRecalcTimeout(int milliseconds) { gTimeout = milliseconds; }

QByteArray RecalculateFile(const QString& path) {
    QTemporaryDir work;
    if (!work.isValid())
        throw Error(QStringLiteral("Unable to recalculate %1: no temporary folder").arg(path));
    return Run(QFileInfo(path).absoluteFilePath(), QFileInfo(path).fileName(), work);
}

QByteArray RecalculateBytes(const QByteArray& xlsx, const QString& name) {
    QTemporaryDir work;
    if (!work.isValid())
        throw Error(QStringLiteral("Unable to recalculate %1: no temporary folder").arg(name));
    QString file = QFileInfo(name).fileName();
    if (QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".xlsx");
    const QString input = work.filePath(QStringLiteral("in/") + file);
    QDir().mkpath(work.filePath(QStringLiteral("in")));
    QFile f(input);
    if (!f.open(QIODevice::WriteOnly) || f.write(xlsx) != xlsx.size())
        throw Error(QStringLiteral("Unable to recalculate %1: the temporary folder can't be written").arg(name));
    f.close();
    return Run(input, name, work);
}

}  // namespace xl
