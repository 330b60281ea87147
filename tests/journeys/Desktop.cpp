#include "Desktop.h"

#include "FixtureTools.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QtEndian>

#include <csignal>
#include <sys/prctl.h>
#include <cstring>
#include <unistd.h>

namespace journey {

namespace {
bool Installed(const QString& package) {
    QProcess p;
    p.start(QStringLiteral("dpkg-query"), {QStringLiteral("-W"), QStringLiteral("-f=${Status}"), package});
    return p.waitForFinished(30000) && p.readAllStandardOutput() == "install ok installed";
}
}  // namespace

std::string MissingTool() {
    const std::pair<const char*, const char*> tools[] = {
        {"Xvfb", "xvfb"},         {"openbox", "openbox"}, {"xdotool", "xdotool"},
        {"xclip", "xclip"},       {"soffice", "libreoffice-calc"},
        // The program hands workbooks to the desktop through it, and the journeys see them
        // arrive at the application it starts.
        {"xdg-open", "xdg-utils"}, {"file", "file"},
    };
    for (const auto& [tool, package] : tools)
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return testsupport::Missing(tool, package);
    // The journeys drive Calc's window: the flavour without one serves recalculation only.
    if (Installed(QStringLiteral("libreoffice-calc-nogui")) && !Installed(QStringLiteral("libreoffice-calc")))
        return testsupport::Missing("LibreOffice Calc with its window", "libreoffice-calc (in place of "
                                    "libreoffice-calc-nogui, which serves recalculation only)");
    return {};
}

const char* CalcProfileSettings() {
    return
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
        "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
        "<item oor:path=\"/org.openoffice.Setup/Office\"><prop oor:name=\"ooSetupInstCompleted\" oor:op=\"fuse\"><value>true</value></prop></item>\n"
        "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop oor:name=\"FirstRun\" oor:op=\"fuse\"><value>false</value></prop></item>\n"
        "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop oor:name=\"ShowTipOfTheDay\" oor:op=\"fuse\"><value>false</value></prop></item>\n"
        "<item oor:path=\"/org.openoffice.Office.Common/Save/Document\"><prop oor:name=\"WarnAlienFormat\" oor:op=\"fuse\"><value>false</value></prop></item>\n"
        "<item oor:path=\"/org.openoffice.Office.Recovery/AutoSave\"><prop oor:name=\"Enabled\" oor:op=\"fuse\"><value>false</value></prop></item>\n"
        "<item oor:path=\"/org.openoffice.Office.Recovery/RecoveryInfo\"><prop oor:name=\"Enabled\" oor:op=\"fuse\"><value>false</value></prop></item>\n"
        "<item oor:path=\"/org.openoffice.Office.Linguistic/SpellChecking\"><prop oor:name=\"IsSpellAuto\" oor:op=\"fuse\"><value>false</value></prop></item>\n"
        "</oor:items>\n";
}

// --- Process --------------------------------------------------------------------------------

Process::Process() = default;
Process::~Process() { Stop(); }

bool Process::Start(const QString& program, const QStringList& args,
                    const QProcessEnvironment& env, const QString& outputFile) {
    Stop();
    process_ = std::make_unique<QProcess>();
    process_->setProcessEnvironment(env);
    // Its own process group: a program that starts others (soffice does) ends with all of them.
    // Should the journey itself die (a test timeout kills it), the program dies with it; the
    // X server going takes every program on its display along.
    process_->setChildProcessModifier([] {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    if (!outputFile.isEmpty()) {
        process_->setProcessChannelMode(QProcess::MergedChannels);
        process_->setStandardOutputFile(outputFile, QIODevice::Append);
    }
    process_->start(program, args);
    if (!process_->waitForStarted(30000))
        return false;
    group_ = process_->processId();
    return true;
}

bool Process::Running() const { return process_ && process_->state() == QProcess::Running; }

bool Process::WaitForExit(int ms) { return !Running() || process_->waitForFinished(ms); }

QByteArray Process::ReadOutput() {
    if (!process_)
        return {};
    process_->waitForReadyRead(100);
    return process_->readAllStandardOutput();
}

void Process::Stop() {
    if (!process_)
        return;
    if (group_ > 0) {
        ::kill(-pid_t(group_), SIGTERM);
        if (!process_->waitForFinished(5000))
            ::kill(-pid_t(group_), SIGKILL);
        // The leader may be gone while the rest of its group lingers.
        ::kill(-pid_t(group_), SIGKILL);
    }
    process_->waitForFinished(5000);
    process_.reset();
    group_ = 0;
}

QString Process::Error() const { return process_ ? process_->errorString() : QString(); }

// --- Desktop --------------------------------------------------------------------------------

Desktop::~Desktop() { Stop(); }

bool Desktop::Start(const QString& folder, QString* why) {
    QDir().mkpath(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // -displayfd: the server picks a display no other server holds and says which on stdout.
    // -fbdir: its frame buffer is a file, read for every look at the screen; -nocursor keeps
    // the mouse pointer out of it, where it would cover what a journey looks for. 96 dpi, the
    // desktop's usual, at which LibreOffice Calc lays out its sheets as users see them (the
    // server's own default, 100 dpi, makes every column a few pixels wider).
    if (!xvfb_.Start(QStringLiteral("Xvfb"),
                     {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                      QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(kWidth).arg(kHeight),
                      QStringLiteral("-dpi"), QStringLiteral("96"), QStringLiteral("-nolisten"),
                      QStringLiteral("tcp"), QStringLiteral("-nocursor"),
                      QStringLiteral("-fbdir"), folder},
                     env, QString())) {
        *why = QStringLiteral("Xvfb did not start: ") + xvfb_.Error();
        return false;
    }
    QString number;
    QElapsedTimer clock;
    clock.start();
    // The number arrives as a line on standard output.
    while (clock.elapsed() < 60000 && !number.contains(QLatin1Char('\n'))) {
        if (!xvfb_.Running())
            break;
        number += QString::fromLatin1(xvfb_.ReadOutput());
    }
    number = number.trimmed();
    if (number.isEmpty()) {
        *why = QStringLiteral("Xvfb gave no display number within a minute");
        return false;
    }
    display_ = QLatin1Char(':') + number;
    frameBuffer_ = folder + QStringLiteral("/Xvfb_screen0");

    if (!openbox_.Start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")}, Environment(),
                        folder + QStringLiteral("/openbox.log"))) {
        *why = QStringLiteral("openbox did not start: ") + openbox_.Error();
        return false;
    }
    // A window manager that took the screen answers for its desktops.
    clock.restart();
    while (!Xdo({QStringLiteral("get_num_desktops")})) {
        if (clock.elapsed() > 60000 || !openbox_.Running()) {
            *why = QStringLiteral("openbox did not take the screen within a minute");
            return false;
        }
        QThread::msleep(200);
    }
    return true;
}

void Desktop::Stop() {
    openbox_.Stop();
    xvfb_.Stop();
}

QProcessEnvironment Desktop::Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

QImage Desktop::Screen() const {
    // The frame buffer as an X window dump: a header of big-endian 32-bit fields, the window
    // name, the colour map, then the pixels.
    QFile f(frameBuffer_);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    if (bytes.size() < 100)
        return {};
    auto field = [&](int index) {
        return qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(bytes.constData()) + 4 * index);
    };
    const quint32 headerSize = field(0), width = field(4), height = field(5), bitsPerPixel = field(11),
                  bytesPerLine = field(12), colours = field(19);
    const qint64 offset = qint64(headerSize) + qint64(colours) * 12;
    if (bitsPerPixel != 32 || offset + qint64(bytesPerLine) * height > bytes.size())
        return {};
    QImage image(int(width), int(height), QImage::Format_RGB32);
    for (quint32 y = 0; y < height; ++y) {
        const auto* from = reinterpret_cast<const quint32*>(bytes.constData() + offset + qint64(y) * bytesPerLine);
        auto* to = reinterpret_cast<quint32*>(image.scanLine(int(y)));
        for (quint32 x = 0; x < width; ++x)
            to[x] = qFromLittleEndian(from[x]) | 0xFF000000u;
    }
    return image;
}

bool Desktop::Xdo(const QStringList& args, QString* out) const {
    QProcess p;
    p.setProcessEnvironment(Environment());
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QStringList Desktop::Windows(const QString& titlePattern) const {
    QString out;
    // Shown ones only: a program keeps hidden windows of its own under its name.
    if (!Xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), titlePattern}, &out))
        return {};
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QRect Desktop::Geometry(const QString& window) const {
    QString out;
    if (!Xdo({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window}, &out))
        return {};
    int x = 0, y = 0, w = 0, h = 0;
    for (const QString& line : out.split(QLatin1Char('\n'))) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const int value = line.section(QLatin1Char('='), 1).toInt();
        if (key == QLatin1String("X"))
            x = value;
        else if (key == QLatin1String("Y"))
            y = value;
        else if (key == QLatin1String("WIDTH"))
            w = value;
        else if (key == QLatin1String("HEIGHT"))
            h = value;
    }
    return QRect(x, y, w, h);
}

bool Desktop::Place(const QString& window, const QRect& where) const {
    return Xdo({QStringLiteral("windowmove"), window, QString::number(where.x()), QString::number(where.y())}) &&
           Xdo({QStringLiteral("windowsize"), window, QString::number(where.width()),
                QString::number(where.height())});
}

bool Desktop::Activate(const QString& window) const {
    return Xdo({QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
}

bool Desktop::Keys(const QStringList& keys) const {
    return Xdo(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("80")} + keys);
}

bool Desktop::Type(const QString& text) const {
    return Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
}

bool Desktop::Click(const QPoint& at, int button) const {
    return Xdo({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
                QString::number(at.y()), QStringLiteral("sleep"), QStringLiteral("0.2"),
                QStringLiteral("click"), QString::number(button)});
}

bool Desktop::Drag(const QPoint& from, const QPoint& to) const {
    const QPoint half = (from + to) / 2;
    return Xdo({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(from.x()),
                QString::number(from.y()), QStringLiteral("sleep"), QStringLiteral("0.3"),
                QStringLiteral("mousedown"), QStringLiteral("1"), QStringLiteral("sleep"),
                QStringLiteral("0.3"), QStringLiteral("mousemove"), QString::number(half.x()),
                QString::number(half.y()), QStringLiteral("sleep"), QStringLiteral("0.3"),
                QStringLiteral("mousemove"), QString::number(to.x()), QString::number(to.y()),
                QStringLiteral("sleep"), QStringLiteral("0.3"), QStringLiteral("mouseup"),
                QStringLiteral("1")});
}

namespace {
QByteArray RunXclip(const QProcessEnvironment& env, const QString& target) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                      QStringLiteral("-t"), target, QStringLiteral("-o")});
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
}
}  // namespace

QStringList Desktop::ClipboardTargets() const {
    return QString::fromUtf8(RunXclip(Environment(), QStringLiteral("TARGETS")))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray Desktop::Clipboard(const QString& target) const { return RunXclip(Environment(), target); }

// --- Looking at the screen ------------------------------------------------------------------

std::optional<QPoint> Find(const QImage& screen, const QImage& picture, QRect within) {
    if (screen.isNull() || picture.isNull())
        return std::nullopt;
    const QImage s = screen.convertToFormat(QImage::Format_RGB32);
    QImage p = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < p.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(p.scanLine(y));
        for (int x = 0; x < p.width(); ++x)
            line[x] |= 0xFF000000u;
    }
    if (within.isEmpty())
        within = s.rect();
    within &= s.rect();
    const int w = p.width(), h = p.height();
    const size_t rowBytes = size_t(w) * 4;
    for (int y = within.top(); y + h <= within.bottom() + 1; ++y) {
        const auto* first = reinterpret_cast<const quint32*>(s.constScanLine(y));
        const auto* want = reinterpret_cast<const quint32*>(p.constScanLine(0));
        for (int x = within.left(); x + w <= within.right() + 1; ++x) {
            if (first[x] != want[0] || std::memcmp(first + x, want, rowBytes) != 0)
                continue;
            bool all = true;
            for (int r = 1; r < h && all; ++r)
                all = std::memcmp(reinterpret_cast<const quint32*>(s.constScanLine(y + r)) + x,
                                  p.constScanLine(r), rowBytes) == 0;
            if (all)
                return QPoint(x, y);
        }
    }
    return std::nullopt;
}

std::optional<QPoint> FindColor(const QImage& screen, QRgb color, const QRect& within) {
    const QRect area = within & screen.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if ((screen.pixel(x, y) & 0xFFFFFF) == (color & 0xFFFFFF))
                return QPoint(x, y);
    return std::nullopt;
}

QRect Difference(const QImage& a, const QImage& b) {
    QRect box;
    if (a.size() != b.size())
        return a.rect();
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF))
                box |= QRect(x, y, 1, 1);
    return box;
}

}  // namespace journey
