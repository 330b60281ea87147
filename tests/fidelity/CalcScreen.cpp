#include "CalcScreen.h"

#include "FixtureTools.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace fidelity {

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kHere = QStringLiteral(SB_SOURCE_DIR "/tests/fidelity/");

QStringList Strings(const QJsonValue& v) {
    QStringList out;
    for (const QJsonValue& item : v.toArray())
        out << item.toString();
    return out;
}

}  // namespace

CalcScreen& CalcScreen::Shared() {
    static CalcScreen screen;
    return screen;
}

CalcScreen::CalcScreen() { Start(); }

CalcScreen::~CalcScreen() { Stop(); }

QString CalcScreen::Folder(const QString& name) const {
    const QString path = root_->filePath(name);
    QDir().mkpath(path);
    return path;
}

QString CalcScreen::EvidenceFolder() {
    const QString path = QStringLiteral(SB_BINARY_DIR "/Testing/fidelity");
    QDir().mkpath(path);
    return path;
}

bool CalcScreen::Start() {
    if (const std::string missing = journey::MissingTool(); !missing.empty()) {
        why_ = QString::fromStdString(missing);
        return false;
    }
    if (!QFileInfo::exists(kPython)) {
        why_ = QString::fromStdString(testsupport::Missing("/usr/bin/python3", "python3"));
        return false;
    }
    root_ = std::make_unique<QTemporaryDir>();
    if (!root_->isValid()) {
        why_ = QStringLiteral("no temporary folder");
        return false;
    }
    const QString profile = Folder(QStringLiteral("profile/user"));
    testsupport::WriteBytes(profile + QStringLiteral("/registrymodifications.xcu"),
                            journey::CalcProfileSettings());
    if (!desk_.Start(Folder(QStringLiteral("x")), &why_))
        return false;

    QProcessEnvironment env = desk_.Environment();
    env.insert(QStringLiteral("HOME"), Folder(QStringLiteral("home")));
    // The plain X11 look: the one the journeys drive, with no desktop theme in between.
    env.insert(QStringLiteral("SAL_USE_VCLPLUGIN"), QStringLiteral("gen"));
    const QString pipe = QStringLiteral("sbfidelity%1").arg(::getpid());
    if (!calc_.Start(testsupport::Soffice(),
                     {QStringLiteral("--calc"), QStringLiteral("--norestore"), QStringLiteral("--nologo"),
                      QStringLiteral("--nodefault"),
                      QStringLiteral("-env:UserInstallation=") +
                          QUrl::fromLocalFile(root_->filePath(QStringLiteral("profile"))).toString(),
                      QStringLiteral("--accept=pipe,name=%1;urp;").arg(pipe)},
                     env, root_->filePath(QStringLiteral("calc.log")))) {
        why_ = QStringLiteral("LibreOffice Calc did not start: ") + calc_.Error();
        return false;
    }

    bridge_ = std::make_unique<QProcess>();
    bridge_->setProcessEnvironment(env);
    bridge_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    bridge_->setStandardErrorFile(root_->filePath(QStringLiteral("bridge.log")));
    bridge_->start(kPython, {kHere + QStringLiteral("calc_bridge.py")});
    if (!bridge_->waitForStarted(30000)) {
        why_ = QStringLiteral("the bridge to Calc did not start: ") + bridge_->errorString();
        return false;
    }
    QString why;
    if (!Ask({{QStringLiteral("cmd"), QStringLiteral("connect")}, {QStringLiteral("pipe"), pipe}}, &why)) {
        why_ = why.contains(QLatin1String("No module named 'uno'"))
                   ? QString::fromStdString(testsupport::Missing("the Python UNO bridge", "python3-uno"))
                   : why + QStringLiteral("\nLibreOffice's output: ") +
                         testsupport::ReadText(root_->filePath(QStringLiteral("calc.log")));
        return false;
    }
    return true;
}

void CalcScreen::Stop() {
    if (bridge_ && bridge_->state() == QProcess::Running) {
        bridge_->write("{\"cmd\": \"quit\"}\n");
        bridge_->closeWriteChannel();
        if (!bridge_->waitForFinished(30000))
            bridge_->kill();
        bridge_->waitForFinished(5000);
    }
    bridge_.reset();
    calc_.Stop();
    desk_.Stop();
}

std::optional<QJsonObject> CalcScreen::Ask(const QJsonObject& request, QString* why, int seconds) {
    if (!bridge_ || bridge_->state() != QProcess::Running) {
        *why = QStringLiteral("the bridge to Calc is not running; its output: ") +
               (root_ ? testsupport::ReadText(root_->filePath(QStringLiteral("bridge.log"))) : QString());
        return std::nullopt;
    }
    bridge_->write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    QElapsedTimer clock;
    clock.start();
    while (!bridge_->canReadLine()) {
        if (clock.elapsed() > qint64(seconds) * 1000 || !bridge_->waitForReadyRead(1000)) {
            if (bridge_->state() != QProcess::Running || clock.elapsed() > qint64(seconds) * 1000) {
                *why = QStringLiteral("Calc gave no answer to %1 within %2 s; the bridge's output: %3")
                           .arg(QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact)))
                           .arg(seconds)
                           .arg(testsupport::ReadText(root_->filePath(QStringLiteral("bridge.log"))));
                return std::nullopt;
            }
        }
    }
    const QJsonObject answer = QJsonDocument::fromJson(bridge_->readLine()).object();
    if (!answer.value(QStringLiteral("ok")).toBool()) {
        *why = QStringLiteral("Calc could not do %1: %2")
                   .arg(request.value(QStringLiteral("cmd")).toString(),
                        answer.value(QStringLiteral("error")).toString());
        return std::nullopt;
    }
    return answer;
}

QStringList CalcScreen::MakeWorkbooks(const QString& script, const QString& folder, QString* why) {
    const auto answer = Ask({{QStringLiteral("cmd"), QStringLiteral("make")},
                             {QStringLiteral("module"), kHere + script},
                             {QStringLiteral("out"), folder}},
                            why, 600);
    if (!answer)
        return {};
    QStringList files;
    for (const QString& name : Strings(answer->value(QStringLiteral("files"))))
        files << folder + QLatin1Char('/') + name;
    return files;
}

std::optional<ShownRange> CalcScreen::ShowRange(const QString& workbook, const QString& sheet,
                                                const QString& range, QString* why) {
    const auto answer = Ask({{QStringLiteral("cmd"), QStringLiteral("show")},
                             {QStringLiteral("path"), workbook},
                             {QStringLiteral("sheet"), sheet},
                             {QStringLiteral("range"), range}},
                            why);
    if (!answer)
        return std::nullopt;
    ShownRange shown;
    // Each cell's box runs from its first pixel to the one before the next cell; its grid line
    // is its last pixel. The line before the range is the last pixel before its first cell.
    auto edges = [](const QJsonArray& boxes, int* origin, std::vector<int>* lines) {
        *origin = boxes.isEmpty() ? 0 : boxes.first().toArray().at(0).toInt() - 1;
        lines->assign(1, 0);
        for (const QJsonValue& box : boxes)
            lines->push_back(lines->back() + box.toArray().at(1).toInt());
    };
    int left = 0, top = 0;
    edges(answer->value(QStringLiteral("cols")).toArray(), &left, &shown.cols);
    edges(answer->value(QStringLiteral("rows")).toArray(), &top, &shown.rows);
    shown.leftLineIsGrid = answer->value(QStringLiteral("left_is_grid")).toBool(true);
    shown.topLineIsGrid = answer->value(QStringLiteral("top_is_grid")).toBool(true);
    shown.area = QRect(left, top, shown.cols.back() + 1, shown.rows.back() + 1);
    if (!QRect(QPoint(0, 0), desk_.ScreenSize()).contains(shown.area)) {
        *why = QStringLiteral("%1 of %2 does not fit on the screen").arg(range, workbook);
        return std::nullopt;
    }
    shown.picture = Settled(shown.area);
    if (shown.picture.isNull()) {
        *why = QStringLiteral("Calc's window did not settle showing %1 of %2").arg(range, workbook);
        return std::nullopt;
    }
    return shown;
}

QImage CalcScreen::Settled(const QRect& area, int seconds) const {
    QElapsedTimer clock;
    clock.start();
    QImage last = desk_.Screen().copy(area);
    while (clock.elapsed() < qint64(seconds) * 1000) {
        QThread::msleep(400);
        const QImage now = desk_.Screen().copy(area);
        if (!now.isNull() && now == last)
            return now;
        last = now;
    }
    return {};
}

QImage CalcScreen::Render(const QString& workbook, const QString& sheet, const QString& what,
                          QString* why) const {
    static int shots = 0;
    const QString out = root_->filePath(QStringLiteral("render-%1.png").arg(++shots));
    QProcess p;
    QProcessEnvironment env = desk_.Environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HOME"), root_->filePath(QStringLiteral("home")));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(SB_BINARY_DIR "/tools/render-range"), {workbook, sheet, what, out});
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *why = QStringLiteral("render-range %1 %2 %3: %4")
                   .arg(workbook, sheet, what, QString::fromUtf8(p.readAll()));
        return {};
    }
    return QImage(out).convertToFormat(QImage::Format_RGB32);
}

}  // namespace fidelity
