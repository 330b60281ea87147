#include "platform/workbook/Recalc.h"

#include "RecalcBridgeScript.h"
#include "platform/workbook/Error.h"
#include "platform/workbook/Waiting.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <signal.h>
#include <unistd.h>

#include <memory>

namespace xl {

namespace {

int gTimeout = 120000;
std::function<void(const QString&)> gLog;

// ooSetupInstCompleted: a first start that skips its first-start work. OOXMLRecalcMode and
// ODFRecalcMode 0: recalculate on load, always, without asking; Link 0: update links to other
// workbooks without asking. The trusted folder (links are only updated for a document in a
// trusted location) is set per workbook by the bridge.
const char* kProfileSettings = R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/Office"><prop oor:name="ooSetupInstCompleted" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" oor:op="fuse"><value>0</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="ODFRecalcMode" oor:op="fuse"><value>0</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Content/Update"><prop oor:name="Link" oor:op="fuse"><value>0</value></prop></item>
</oor:items>
)";

void Note(const QString& text) {
    if (gLog)
        gLog(text);
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString FileUrl(const QString& path) { return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded); }

// Debian's own python3 carries the uno module; a python3 earlier on the PATH (a pyenv one, say)
// may not.
QString Python() {
    if (QFileInfo(QStringLiteral("/usr/bin/python3")).isExecutable())
        return QStringLiteral("/usr/bin/python3");
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

// The running bridge and its LibreOffice, with the private profile prepared once.
class Bridge {
public:
    ~Bridge() { Stop(); }

    QByteArray Recalculate(const QString& input, const QString& name);
    void Stop();
    qint64 OfficePid() const { return Running() ? officePid_ : 0; }

private:
    struct Message {
        enum Kind { Line, Ended, TimedOut } kind = Ended;
        QJsonObject object;
    };
    enum class Started { Ready, Died };

    bool Running() const { return process_ && process_->state() != QProcess::NotRunning; }
    void PrepareHome(const QString& name);
    QString ProfileFolder() const;
    // After LibreOffice died, nothing of what it left in its profile is trusted.
    void FreshProfile(const QString& name);
    Started Start(const QString& soffice, const QString& name, QString& why);
    Message Read(const QElapsedTimer& clock);
    void Kill();
    QString BridgeOutput();
    [[noreturn]] void TimedOut(const QString& name);

    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<QProcess> process_;
    QString soffice_;
    qint64 officePid_ = 0;
    int serial_ = 0;
    int starts_ = 0;   // LibreOffice starts in this program run
    int profile_ = 0;  // the generation of the private profile
    bool inUse_ = false;
};

void Bridge::PrepareHome(const QString& name) {
    if (home_)
        return;
    auto home = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/sheetbeacon-recalc-XXXXXX"));
    if (!home->isValid() ||
        !WriteFile(home->filePath(QStringLiteral("profile-0/user/registrymodifications.xcu")), kProfileSettings) ||
        !WriteFile(home->filePath(QStringLiteral("recalc_bridge.py")), kRecalcBridgeScript))
        throw Error(QStringLiteral("Unable to recalculate %1: the temporary folder can't be written").arg(name));
    home_ = std::move(home);
}

QString Bridge::ProfileFolder() const {
    return home_->filePath(QStringLiteral("profile-%1").arg(profile_));
}

void Bridge::FreshProfile(const QString& name) {
    QDir(ProfileFolder()).removeRecursively();
    ++profile_;
    if (!WriteFile(ProfileFolder() + QStringLiteral("/user/registrymodifications.xcu"), kProfileSettings))
        throw Error(QStringLiteral("Unable to recalculate %1: the temporary folder can't be written").arg(name));
}

QString Bridge::BridgeOutput() {
    if (!process_)
        return QString();
    return QString::fromLocal8Bit(process_->readAllStandardError()).trimmed();
}

Bridge::Message Bridge::Read(const QElapsedTimer& clock) {
    Message m;
    while (!process_->canReadLine()) {
        if (process_->state() == QProcess::NotRunning) {
            process_->waitForReadyRead(0);
            if (!process_->canReadLine())
                return m;
            break;
        }
        const qint64 left = gTimeout - clock.elapsed();
        if (left <= 0) {
            m.kind = Message::TimedOut;
            return m;
        }
        process_->waitForReadyRead(int(std::min<qint64>(left, 20)));
        WhileWaiting();
    }
    m.kind = Message::Line;
    m.object = QJsonDocument::fromJson(process_->readLine()).object();
    return m;
}

Bridge::Started Bridge::Start(const QString& soffice, const QString& name, QString& why) {
    const QString python = Python();
    if (python.isEmpty())
        throw Error(QStringLiteral("Unable to recalculate %1: python3 with its uno module (Debian package "
                                   "python3-uno) is needed to drive LibreOffice and was not found.")
                        .arg(name));
    process_ = std::make_unique<QProcess>();
    ++starts_;
    const QString pipe = QStringLiteral("sheetbeacon-%1-%2").arg(QCoreApplication::applicationPid()).arg(++serial_);
    process_->start(python, {home_->filePath(QStringLiteral("recalc_bridge.py")), soffice,
                             FileUrl(ProfileFolder()), pipe,
                             QString::number(gTimeout / 1000 + 5)});
    if (!process_->waitForStarted(30000))
        throw Error(QStringLiteral("Unable to recalculate %1: %2 could not be started (%3)")
                        .arg(name, python, process_->errorString()));
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const Message m = Read(clock);
        if (m.kind == Message::TimedOut)
            TimedOut(name);
        if (m.kind == Message::Ended) {
            const QString output = BridgeOutput();
            if (output.contains(QStringLiteral("No module named 'uno'")))
                throw Error(QStringLiteral("Unable to recalculate %1: %2 has no uno module; the Debian package "
                                           "python3-uno is needed to drive LibreOffice.")
                                .arg(name, python));
            why = output.isEmpty() ? QStringLiteral("the LibreOffice bridge ended") : output.right(300);
            return Started::Died;
        }
        if (m.object.contains(QStringLiteral("starting"))) {
            officePid_ = m.object.value(QStringLiteral("starting")).toInteger();
            continue;
        }
        if (m.object.value(QStringLiteral("ready")).toBool()) {
            soffice_ = soffice;
            Note(QStringLiteral("LibreOffice started (process %1, start %2) to recalculate workbooks.")
                     .arg(officePid_)
                     .arg(starts_));
            return Started::Ready;
        }
        why = m.object.value(QStringLiteral("error")).toString();
        return Started::Died;
    }
}

void Bridge::Kill() {
    if (officePid_ > 0)
        ::kill(pid_t(-officePid_), SIGKILL);  // LibreOffice runs in a process group of its own
    officePid_ = 0;
    if (process_) {
        process_->kill();
        process_->waitForFinished(3000);
        process_.reset();
    }
}

void Bridge::TimedOut(const QString& name) {
    Kill();
    Note(QStringLiteral("LibreOffice did not finish %1 within %2 seconds and was stopped.").arg(name).arg(gTimeout / 1000));
    throw Error(QStringLiteral("Unable to recalculate %1: LibreOffice did not finish within %2 seconds and was stopped")
                    .arg(name)
                    .arg(gTimeout / 1000));
}

void Bridge::Stop() {
    if (!process_)
        return;
    // The end of its input lets the bridge close LibreOffice properly.
    process_->closeWriteChannel();
    if (!process_->waitForFinished(5000))
        Kill();
    officePid_ = 0;
    process_.reset();
}

QByteArray Bridge::Recalculate(const QString& input, const QString& name) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        throw Error(QStringLiteral("LibreOffice (soffice) is needed to recalculate workbooks and was not found."));
    if (inUse_)
        throw Error(QStringLiteral("Unable to recalculate %1: LibreOffice is busy with another workbook").arg(name));
    inUse_ = true;
    struct Release {
        bool& flag;
        ~Release() { flag = false; }
    } release{inUse_};

    PrepareHome(name);
    if (Running() && soffice_ != soffice)
        Stop();
    const QString result = home_->filePath(QStringLiteral("out/result.xlsx"));
    QDir().mkpath(home_->filePath(QStringLiteral("out")));
    // A LibreOffice that dies (at start, or on this workbook) is given one more start.
    for (int attempt = 0;; ++attempt) {
        const QString again = attempt == 0 ? QStringLiteral("; starting it once more on a new profile") : QString();
        if (!Running()) {
            QString why;
            if (Start(soffice, name, why) == Started::Died) {
                Kill();
                FreshProfile(name);
                Note(QStringLiteral("LibreOffice died while starting (%1)%2.").arg(why, again));
                if (attempt == 0)
                    continue;
                throw Error(QStringLiteral("Unable to recalculate %1: LibreOffice could not be started (%2)")
                                .arg(name, why.left(300)));
            }
        }
        QFile::remove(result);
        QJsonObject request{{QStringLiteral("id"), serial_},
                            {QStringLiteral("in"), FileUrl(input)},
                            {QStringLiteral("out"), FileUrl(result)},
                            {QStringLiteral("trusted"), FileUrl(QFileInfo(input).absolutePath())}};
        process_->write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
        QElapsedTimer clock;
        clock.start();
        const Message m = Read(clock);
        if (m.kind == Message::TimedOut)
            TimedOut(name);
        const bool died = m.kind == Message::Ended || m.object.value(QStringLiteral("died")).toBool();
        const QString why = m.kind == Message::Ended ? BridgeOutput().right(300)
                                                     : m.object.value(QStringLiteral("error")).toString();
        if (died) {
            Kill();
            FreshProfile(name);
            Note(QStringLiteral("LibreOffice died while recalculating %1 (%2)%3.").arg(name, why, again));
            if (attempt == 0)
                continue;
            throw Error(QStringLiteral("Unable to recalculate %1: LibreOffice failed (%2)").arg(name, why.left(300)));
        }
        QFile out(result);
        if (!m.object.value(QStringLiteral("ok")).toBool() || !out.open(QIODevice::ReadOnly))
            throw Error(QStringLiteral("Unable to recalculate %1: LibreOffice failed (%2)")
                            .arg(name, why.isEmpty() ? QStringLiteral("no result") : why.left(300)));
        QByteArray bytes = out.readAll();
        out.close();
        QFile::remove(result);
        Note(QStringLiteral("LibreOffice recalculated %1 in %2 s (start %3).")
                 .arg(name)
                 .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 2)
                 .arg(starts_));
        return bytes;
    }
}

Bridge* gBridge = nullptr;

Bridge& TheBridge() {
    if (!gBridge) {
        gBridge = new Bridge;
        // LibreOffice goes when the program does.
        if (QCoreApplication::instance())
            qAddPostRoutine([] {
                delete gBridge;
                gBridge = nullptr;
            });
    }
    return *gBridge;
}

}  // namespace

void SetRecalcTimeout(int milliseconds) { gTimeout = milliseconds; }
void SetRecalcReporter(std::function<void(const QString&)> reporter) { gLog = std::move(reporter); }

qint64 RecalcInstancePid() { return gBridge ? gBridge->OfficePid() : 0; }

void StopRecalculation() {
    if (gBridge)
        gBridge->Stop();
}

QByteArray RecalculateFile(const QString& path) {
    const QFileInfo info(path);
    return TheBridge().Recalculate(info.absoluteFilePath(), info.fileName());
}

QByteArray RecalculateBytes(const QByteArray& xlsx, const QString& name) {
    QTemporaryDir work;
    if (!work.isValid())
        throw Error(QStringLiteral("Unable to recalculate %1: no temporary folder").arg(name));
    QString file = QFileInfo(name).fileName();
    if (QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".xlsx");
    const QString input = work.filePath(QStringLiteral("in/") + file);
    if (!WriteFile(input, xlsx))
        throw Error(QStringLiteral("Unable to recalculate %1: the temporary folder can't be written").arg(name));
    return TheBridge().Recalculate(input, name);
}

}  // namespace xl
