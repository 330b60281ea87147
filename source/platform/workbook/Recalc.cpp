#include "platform/workbook/Recalc.h"

#include "platform/workbook/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

namespace xl {

namespace {

int gTimeout = 120000;

// The recalculation is a Basic macro of the private profile, not a --convert-to run: a
// conversion loads the workbook with link updates switched off whatever the configuration
// says, so formulas that refer to other workbooks would keep their stale results. The macro
// loads the workbook read-only, with links updated (UpdateDocMode FULL_UPDATE) and none of the
// document's own macros run (MacroExecutionMode NEVER_EXECUTE), updates the links to other
// workbooks at once rather than in the idle loop, recalculates everything and stores a copy.
// A failure writes LibreOffice's message where the caller finds it.
const char* kMacroModule = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE script:module PUBLIC "-//OpenOffice.org//DTD OfficeDocument 1.0//EN" "module.dtd">
<script:module xmlns:script="http://openoffice.org/2000/script" script:name="Recalc" script:language="StarBasic">
Sub Main
  Dim oDoc As Object
  On Error GoTo Failed
  Dim aLoad(3) As New com.sun.star.beans.PropertyValue
  aLoad(0).Name = &quot;Hidden&quot; : aLoad(0).Value = True
  aLoad(1).Name = &quot;ReadOnly&quot; : aLoad(1).Value = True
  aLoad(2).Name = &quot;UpdateDocMode&quot; : aLoad(2).Value = com.sun.star.document.UpdateDocMode.FULL_UPDATE
  aLoad(3).Name = &quot;MacroExecutionMode&quot; : aLoad(3).Value = com.sun.star.document.MacroExecMode.NEVER_EXECUTE
  oDoc = StarDesktop.loadComponentFromURL(Environ(&quot;SHEETBEACON_RECALC_IN&quot;), &quot;_blank&quot;, 0, aLoad())
  Dim oDispatch As Object
  oDispatch = createUnoService(&quot;com.sun.star.frame.DispatchHelper&quot;)
  oDispatch.executeDispatch(oDoc.getCurrentController().getFrame(), &quot;.uno:UpdateTableLinks&quot;, &quot;&quot;, 0, Array())
  oDoc.calculateAll()
  Dim aStore(0) As New com.sun.star.beans.PropertyValue
  aStore(0).Name = &quot;FilterName&quot; : aStore(0).Value = &quot;Calc MS Excel 2007 XML&quot;
  oDoc.storeToURL(Environ(&quot;SHEETBEACON_RECALC_OUT&quot;), aStore())
  oDoc.close(True)
  StarDesktop.terminate()
  Exit Sub
Failed:
  Dim sMessage As String
  sMessage = Error$
  On Error Resume Next
  Dim n As Integer
  n = FreeFile
  Open Environ(&quot;SHEETBEACON_RECALC_ERR&quot;) For Output As #n
  Print #n, sMessage
  Close #n
  If Not IsNull(oDoc) Then oDoc.close(True)
  StarDesktop.terminate()
End Sub
</script:module>
)";

const char* kScriptLibraries = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE library:libraries PUBLIC "-//OpenOffice.org//DTD OfficeDocument 1.0//EN" "libraries.dtd">
<library:libraries xmlns:library="http://openoffice.org/2000/library" xmlns:xlink="http://www.w3.org/1999/xlink">
 <library:library library:name="Standard" xlink:href="$(USER)/basic/Standard/script.xlb/" xlink:type="simple" library:link="false"/>
</library:libraries>
)";

const char* kStandardLibrary = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE library:library PUBLIC "-//OpenOffice.org//DTD OfficeDocument 1.0//EN" "library.dtd">
<library:library xmlns:library="http://openoffice.org/2000/library" library:name="Standard" library:readonly="false" library:passwordprotected="false">
 <library:element library:name="Recalc"/>
</library:library>
)";

// ooSetupInstCompleted: without it the first start copies the preset Basic libraries over
// ours. OOXMLRecalcMode/ODFRecalcMode 0: recalculate on load, always, without asking; Link 0:
// update links to other workbooks without asking. SecureURL: links are only updated for a
// document in a trusted location, so the workbook's folder is trusted - in this profile only,
// which lives as long as the run, and the workbook's own macros never run.
QByteArray ProfileSettings(const QString& trustedFolder) {
    const QString folderUrl = QUrl::fromLocalFile(trustedFolder).toString(QUrl::FullyEncoded).toHtmlEscaped();
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
               "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
               "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
               "<item oor:path=\"/org.openoffice.Setup/Office\"><prop oor:name=\"ooSetupInstCompleted\" "
               "oor:op=\"fuse\"><value>true</value></prop></item>\n"
               "<item oor:path=\"/org.openoffice.Office.Calc/Formula/Load\"><prop oor:name=\"OOXMLRecalcMode\" "
               "oor:op=\"fuse\"><value>0</value></prop></item>\n"
               "<item oor:path=\"/org.openoffice.Office.Calc/Formula/Load\"><prop oor:name=\"ODFRecalcMode\" "
               "oor:op=\"fuse\"><value>0</value></prop></item>\n"
               "<item oor:path=\"/org.openoffice.Office.Calc/Content/Update\"><prop oor:name=\"Link\" "
               "oor:op=\"fuse\"><value>0</value></prop></item>\n"
               "<item oor:path=\"/org.openoffice.Office.Common/Security/Scripting\"><prop oor:name=\"SecureURL\" "
               "oor:op=\"fuse\"><value><it>%1</it></value></prop></item>\n"
               "</oor:items>\n")
        .arg(folderUrl)
        .toUtf8();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray Run(const QString& input, const QString& name, QTemporaryDir& work) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        throw Error(QStringLiteral("LibreOffice (soffice) is needed to recalculate workbooks and was not found."));
    const QString user = work.filePath(QStringLiteral("profile/user"));
    if (!WriteFile(user + QStringLiteral("/registrymodifications.xcu"),
                   ProfileSettings(QFileInfo(input).absolutePath())) ||
        !WriteFile(user + QStringLiteral("/basic/script.xlc"), kScriptLibraries) ||
        !WriteFile(user + QStringLiteral("/basic/Standard/script.xlb"), kStandardLibrary) ||
        !WriteFile(user + QStringLiteral("/basic/Standard/Recalc.xba"), kMacroModule))
        throw Error(QStringLiteral("Unable to recalculate %1: the temporary folder can't be written").arg(name));
    const QString result = work.filePath(QStringLiteral("out/result.xlsx"));
    const QString failure = work.filePath(QStringLiteral("out/error.txt"));
    QDir().mkpath(work.filePath(QStringLiteral("out")));

    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SHEETBEACON_RECALC_IN"), QUrl::fromLocalFile(input).toString(QUrl::FullyEncoded));
    env.insert(QStringLiteral("SHEETBEACON_RECALC_OUT"), QUrl::fromLocalFile(result).toString(QUrl::FullyEncoded));
    env.insert(QStringLiteral("SHEETBEACON_RECALC_ERR"), QUrl::fromLocalFile(failure).toString(QUrl::FullyEncoded));
    p.setProcessEnvironment(env);
    p.start(soffice, {QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--nologo"),
                      QStringLiteral("--nolockcheck"),
                      QStringLiteral("-env:UserInstallation=") +
                          QUrl::fromLocalFile(work.filePath(QStringLiteral("profile"))).toString(QUrl::FullyEncoded),
                      QStringLiteral("macro:///Standard.Recalc.Main")});
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
    QFile out(result);
    if (p.exitStatus() != QProcess::NormalExit || !out.open(QIODevice::ReadOnly)) {
        QFile err(failure);
        QString why = err.open(QIODevice::ReadOnly) ? QString::fromUtf8(err.readAll()).trimmed() : QString();
        if (why.isEmpty())
            why = QString::fromLocal8Bit(p.readAll()).trimmed();
        throw Error(QStringLiteral("Unable to recalculate %1: LibreOffice failed (%2)").arg(name, why.left(300)));
    }
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
