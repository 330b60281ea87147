#include "platform/workbook/Recalc.h"

#include "platform/workbook/Error.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <functional>
#include <memory>
#include <mutex>

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
// update links to other workbooks without asking.
const char* kProfileSettings =
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
    "</oor:items>\n";

// Links are only updated for a document in a trusted location, so the workbook's folder is
// trusted: in this private profile only, for this one run (the item is replaced at the next),
// and the workbook's own macros never run. LibreOffice keeps what it adds to the file itself
// (it writes one item a line), so a later start does not redo the work of the first.
QByteArray WithTrustedFolder(const QByteArray& settings, const QString& trustedFolder) {
    const QByteArray folderUrl =
        QUrl::fromLocalFile(trustedFolder).toString(QUrl::FullyEncoded).toHtmlEscaped().toUtf8();
    QByteArray out;
    for (const QByteArray& line : settings.split('\n')) {
        if (line.contains("oor:name=\"SecureURL\""))
            continue;
        if (line.trimmed() == "</oor:items>")
            out += "<item oor:path=\"/org.openoffice.Office.Common/Security/Scripting\"><prop oor:name=\"SecureURL\" "
                   "oor:op=\"fuse\"><value><it>" + folderUrl + "</it></value></prop></item>\n";
        if (!line.isEmpty())
            out += line + '\n';
    }
    return out;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

std::function<void(const QString&)> gReporter;

void Report(const QString& message) {
    if (gReporter)
        gReporter(message);
}

// LibreOffice's private profile, prepared once and kept while the program runs. Its first start
// sets the profile up, the slowest and most fragile start of all (it is where LibreOffice was
// seen to abort on a loaded machine); every later recalculation starts on a finished profile.
// One recalculation at a time uses it: a second LibreOffice on the same profile would hand its
// work to the first and return at once.
class Profile {
public:
    // The profile folder, ready for a run over a workbook in `trustedFolder`.
    QString PrepareFor(const QString& trustedFolder, const QString& name) {
        if (!dir_ || !dir_->isValid()) {
            dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/sheetbeacon-recalc-XXXXXX"));
            const QString user = dir_->filePath(QStringLiteral("user"));
            if (!dir_->isValid() || !WriteFile(user + QStringLiteral("/basic/script.xlc"), kScriptLibraries) ||
                !WriteFile(user + QStringLiteral("/basic/Standard/script.xlb"), kStandardLibrary) ||
                !WriteFile(user + QStringLiteral("/basic/Standard/Recalc.xba"), kMacroModule)) {
                dir_.reset();
                throw Error(QStringLiteral("Unable to recalculate %1: the temporary folder can't be written").arg(name));
            }
        }
        const QString settings = dir_->filePath(QStringLiteral("user/registrymodifications.xcu"));
        QFile current(settings);
        QByteArray kept = current.open(QIODevice::ReadOnly) ? current.readAll() : QByteArray();
        current.close();
        if (!kept.contains("</oor:items>"))
            kept = kProfileSettings;
        if (!WriteFile(settings, WithTrustedFolder(kept, trustedFolder)))
            throw Error(QStringLiteral("Unable to recalculate %1: the temporary folder can't be written").arg(name));
        return dir_->path();
    }
    // After LibreOffice died, nothing of what it left in the profile is trusted.
    void Discard() { dir_.reset(); }

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

std::mutex gProfileMutex;
Profile& TheProfile() {
    static Profile profile;
    return profile;
}

enum class Outcome { Done, Died };

struct Attempt {
    Outcome outcome = Outcome::Died;
    QByteArray result;
    QString why;
};

// One start of LibreOffice over `input`. A LibreOffice that ran the macro either stored the
// result or wrote why it could not (the workbook's fault, final); one that ends with neither
// died before it got there.
Attempt RunOnce(const QString& soffice, const QString& profile, const QString& input, const QString& name,
                const QString& out) {
    const QString result = out + QStringLiteral("/result.xlsx");
    const QString failure = out + QStringLiteral("/error.txt");
    QDir(out).removeRecursively();
    QDir().mkpath(out);

    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SHEETBEACON_RECALC_IN"), QUrl::fromLocalFile(input).toString(QUrl::FullyEncoded));
    env.insert(QStringLiteral("SHEETBEACON_RECALC_OUT"), QUrl::fromLocalFile(result).toString(QUrl::FullyEncoded));
    env.insert(QStringLiteral("SHEETBEACON_RECALC_ERR"), QUrl::fromLocalFile(failure).toString(QUrl::FullyEncoded));
    p.setProcessEnvironment(env);
    p.start(soffice, {QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--nologo"),
                      QStringLiteral("--nolockcheck"),
                      QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(QUrl::FullyEncoded),
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
    Attempt attempt;
    QFile stored(result);
    QFile err(failure);
    if (p.exitStatus() == QProcess::NormalExit && stored.open(QIODevice::ReadOnly)) {
        attempt.outcome = Outcome::Done;
        attempt.result = stored.readAll();
    } else if (err.open(QIODevice::ReadOnly)) {
        attempt.outcome = Outcome::Done;
        attempt.why = QString::fromUtf8(err.readAll()).trimmed();
        if (attempt.why.isEmpty())
            attempt.why = QStringLiteral("no reason given");
    } else {
        const QString output = QString::fromLocal8Bit(p.readAll()).simplified();
        attempt.why = p.exitStatus() == QProcess::CrashExit
                          ? QStringLiteral("it crashed")
                          : QStringLiteral("it ended with code %1").arg(p.exitCode());
        if (!output.isEmpty())
            attempt.why += QStringLiteral(": ") + output.left(300);
    }
    return attempt;
}

QByteArray Run(const QString& input, const QString& name, QTemporaryDir& work) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        throw Error(QStringLiteral("LibreOffice (soffice) is needed to recalculate workbooks and was not found."));
    std::lock_guard<std::mutex> turn(gProfileMutex);
    Profile& profile = TheProfile();
    QElapsedTimer clock;
    clock.start();
    // A LibreOffice that dies on its way up is started once more, on a profile prepared anew;
    // one that read the workbook and refused it is not: a second try would only say it again.
    constexpr int kStarts = 2;
    for (int start = 1;; ++start) {
        const QString folder = profile.PrepareFor(QFileInfo(input).absolutePath(), name);
        const Attempt attempt = RunOnce(soffice, folder, input, name, work.filePath(QStringLiteral("out")));
        if (attempt.outcome == Outcome::Done && attempt.why.isEmpty()) {
            Report(QStringLiteral("LibreOffice recalculated %1 in %2 s%3")
                       .arg(name)
                       .arg(clock.elapsed() / 1000.0, 0, 'f', 1)
                       .arg(start > 1 ? QStringLiteral(" (start %1)").arg(start) : QString()));
            return attempt.result;
        }
        if (attempt.outcome == Outcome::Done)
            throw Error(QStringLiteral("Unable to recalculate %1: LibreOffice failed (%2)").arg(name, attempt.why.left(300)));
        profile.Discard();
        if (start == kStarts)
            throw Error(QStringLiteral("Unable to recalculate %1: LibreOffice died twice before it could (%2)")
                            .arg(name, attempt.why));
        Report(QStringLiteral("LibreOffice died while recalculating %1 (%2); starting it once more on a new profile")
                   .arg(name, attempt.why));
    }
}

}  // namespace

void SetRecalcTimeout(int milliseconds) { gTimeout = milliseconds; }

void SetRecalcReporter(std::function<void(const QString&)> reporter) {
    std::lock_guard<std::mutex> turn(gProfileMutex);
    gReporter = std::move(reporter);
}

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
