#include "FixtureTools.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <map>
#include <memory>

namespace testsupport {

namespace {
// Debian's interpreter is the one its python3-openpyxl and python3-pil packages serve; a
// per-user Python earlier on the PATH usually has neither.
const QString kSystemPython = QStringLiteral("/usr/bin/python3");
}  // namespace

std::string Missing(const std::string& what, const std::string& package) {
    return what + " is missing: install the Debian package " + package +
           " (scripts/install-deps --test installs what the tests need)";
}

QString RunFixtureScript(const QString& script, const QStringList& args, int timeoutMs) {
    if (!QFileInfo::exists(kSystemPython))
        return QString::fromStdString(Missing("/usr/bin/python3", "python3"));
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(kSystemPython, QStringList{QStringLiteral(SB_SOURCE_DIR "/tests/fixtures/") + script} + args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return script + QStringLiteral(" did not finish in %1 s").arg(timeoutMs / 1000);
    }
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return QString();
    const QString output = QString::fromUtf8(p.readAll());
    QString hint;
    if (output.contains(QLatin1String("No module named 'openpyxl'")))
        hint = QString::fromStdString(Missing("openpyxl", "python3-openpyxl"));
    else if (output.contains(QLatin1String("No module named 'PIL'")))
        hint = QString::fromStdString(Missing("PIL", "python3-pil"));
    else if (output.contains(QLatin1String("No module named 'uno'")))
        hint = QString::fromStdString(Missing("the Python UNO bridge", "python3-uno"));
    return script + QStringLiteral(" failed: ") + output.trimmed() +
           (hint.isEmpty() ? QString() : QStringLiteral("\n") + hint);
}

const ScriptFolder& FolderMadeBy(const QString& script) {
    struct Made {
        QTemporaryDir dir;
        ScriptFolder folder;
    };
    static std::map<QString, std::unique_ptr<Made>> made;
    std::unique_ptr<Made>& m = made[script];
    if (!m) {
        m = std::make_unique<Made>();
        m->folder.path = m->dir.path();
        m->folder.why = m->dir.isValid() ? RunFixtureScript(script, {m->dir.path()})
                                         : QStringLiteral("no temporary folder for ") + script;
    }
    return m->folder;
}

QString Soffice() { return QStandardPaths::findExecutable(QStringLiteral("soffice")); }

}  // namespace testsupport
