#include "Journey.h"

#include "FixtureTools.h"
#include "RepositoryReads.h"
#include "TestSupport.h"

#include "platform/workbook/Workbook.h"
#include "services/modUtilsSQL.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>

namespace {

// The desktop's application for workbooks in the journeys: it records what it was given to open.
// The program hands files over through the real xdg-open, which finds it as the default.
const char kOpenRecorder[] = "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$SB_JOURNEY_OPENED\"\n";
const char kWorkbookType[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

const QString kLinkFormat = QStringLiteral("application/x-openoffice-link");
const QString kDescriptorFormat = QStringLiteral("application/x-openoffice-objectdescriptor-xml");
const QString kChartClass = QStringLiteral("12DCAE26-281F-416F-A234-C3086127382E");

QString Slug(const QString& text) {
    QString s = text.left(60).toLower();
    s.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("-"));
    return s;
}

QString Title(const QString& file) {
    return QLatin1Char('^') + QRegularExpression::escape(file) + QStringLiteral(" - LibreOffice Calc$");
}

}  // namespace

void Journey::SetUp() {
    const std::string missing = journey::MissingTool();
    ASSERT_TRUE(missing.empty()) << missing;
    ASSERT_TRUE(root_.isValid());
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    evidence_ = QStringLiteral(SB_BINARY_DIR "/Testing/journeys/") + QLatin1String(test->test_suite_name()) +
                QLatin1Char('.') + QLatin1String(test->name());
    QDir(evidence_).removeRecursively();
    QDir().mkpath(evidence_);
    for (const char* folder : {"work", "home/.config", "home/.local/share/applications", "tmp", "run", "stubs",
                               "openpyxl", "profile/user"})
        ASSERT_TRUE(QDir().mkpath(root_.filePath(QLatin1String(folder))));
    QFile::setPermissions(root_.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    testsupport::WriteBytes(
        root_.filePath(QStringLiteral("profile/user/registrymodifications.xcu")), journey::CalcProfileSettings());
    testsupport::WriteScript(root_.filePath(QStringLiteral("stubs/record-open")), kOpenRecorder);
    testsupport::WriteText(root_.filePath(QStringLiteral("home/.local/share/applications/journey-open.desktop")),
                           QStringLiteral("[Desktop Entry]\nType=Application\nName=Journey recorder\nExec=") +
                               root_.filePath(QStringLiteral("stubs/record-open")) +
                               QStringLiteral(" %f\nMimeType=") + QLatin1String(kWorkbookType) +
                               QStringLiteral(";\nNoDisplay=true\n"));
    testsupport::WriteText(root_.filePath(QStringLiteral("home/.config/mimeapps.list")),
                           QStringLiteral("[Default Applications]\n") + QLatin1String(kWorkbookType) +
                               QStringLiteral("=journey-open.desktop\n"));
    QString why;
    ASSERT_TRUE(desk_.Start(root_.filePath(QStringLiteral("x")), &why)) << why.toStdString();
}

void Journey::TearDown() {
    // How the desktop looked at the end, for whoever reads the test's output.
    if (!desk_.Display().isEmpty())
        desk_.Screen().save(evidence_ + QStringLiteral("/last.png"));
    program_.Stop();
    calc_.Stop();
    desk_.Stop();
    // A failed journey keeps what the programs said, beside its screenshots.
    if (HasFailure())
        for (const char* name : {"program.out", "calc.log"})
            QFile::copy(root_.filePath(QLatin1String(name)), evidence_ + QLatin1Char('/') + QLatin1String(name));
}

bool Journey::Step(const QString& what, int seconds, const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > qint64(seconds) * 1000) {
            Fail(what + QStringLiteral(": not within %1 s").arg(seconds));
            return false;
        }
        QThread::msleep(250);
    }
    return true;
}

void Journey::Fail(const QString& what) {
    const QString shot = QStringLiteral("%1/%2-%3.png").arg(evidence_).arg(++shots_, 2, 10, QLatin1Char('0')).arg(Slug(what));
    desk_.Screen().save(shot);
    ADD_FAILURE() << what.toStdString() << "\nScreenshot: " << shot.toStdString()
                  << "\nLibreOffice's output: " << root_.filePath(QStringLiteral("calc.log")).toStdString()
                  << "\nThe program's log:\n"
                  << LogTail().toStdString();
}

QString Journey::LogTail() const {
    QString log = testsupport::ReadText(ProgramFolder() + QStringLiteral("/Sheetbeacon.log"));
    if (log.isEmpty())
        return QStringLiteral("(empty)");
    const QStringList lines = log.split(QLatin1Char('\n'));
    return lines.mid(std::max<qsizetype>(0, lines.size() - 120)).join(QLatin1Char('\n'));
}

QString Journey::Home() const { return root_.filePath(QStringLiteral("home")); }

QString Journey::Work(const QString& name) const { return root_.filePath(QStringLiteral("work/") + name); }

QString Journey::CalcMadeWorkbook(const QString& name) {
    const QString made = testsupport::CalcMade(name);
    if (!QFileInfo::exists(made)) {
        Fail(QStringLiteral("not made: ") + made +
             QStringLiteral(": the build makes it in LibreOffice Calc's window (Debian packages "
                            "libreoffice-calc, xvfb, python3-uno)"));
        return QString();
    }
    const QString copy = Work(name);
    QFile::remove(copy);
    if (!QFile::copy(made, copy)) {
        Fail(QStringLiteral("could not copy ") + made);
        return QString();
    }
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    return copy;
}

void Journey::Screenshot(const QString& name) { desk_.Screen().save(evidence_ + QLatin1Char('/') + name + QStringLiteral(".png")); }

QProcessEnvironment Journey::CalcEnvironment() const {
    QProcessEnvironment env = desk_.Environment();
    env.insert(QStringLiteral("HOME"), root_.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("SAL_USE_VCLPLUGIN"), QStringLiteral("gen"));
    return env;
}

QProcessEnvironment Journey::ProgramEnvironment() const {
    QProcessEnvironment env = desk_.Environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HOME"), root_.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("TMPDIR"), root_.filePath(QStringLiteral("tmp")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root_.filePath(QStringLiteral("run")));
    // xdg-open as on a plain X desktop: the applications and defaults of this home only.
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root_.filePath(QStringLiteral("home/.config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), root_.filePath(QStringLiteral("home/.local/share")));
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                             "GNOME_DESKTOP_SESSION_ID", "BROWSER"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("SB_JOURNEY_OPENED"), root_.filePath(QStringLiteral("opened.txt")));
    return env;
}

// --- LibreOffice ----------------------------------------------------------------------------

bool Journey::MakeWorkbooks() {
    const QString made = root_.filePath(QStringLiteral("openpyxl"));
    const QString why = testsupport::RunFixtureScript(QStringLiteral("make_journey_workbooks.py"), {made});
    if (!why.isEmpty()) {
        ADD_FAILURE() << why.toStdString();
        return false;
    }
    QList<std::pair<QString, QString>> copies;
    for (const QString& name : QDir(made).entryList({QStringLiteral("*.xlsx")}, QDir::Files))
        copies.append({made + QLatin1Char('/') + name, Work(name)});
    return SaveWithLibreOffice(copies);
}

bool Journey::SaveWithLibreOffice(const QString& source, const QString& target) {
    return SaveWithLibreOffice({{source, target}});
}

bool Journey::SaveWithLibreOffice(const QList<std::pair<QString, QString>>& copies) {
    const QString out = root_.filePath(QStringLiteral("converted"));
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    const auto converted = [&](const QString& source) {
        return out + QLatin1Char('/') + QFileInfo(source).fileName();
    };
    const auto unsaved = [&] {
        QStringList sources;
        for (const auto& [source, target] : copies)
            if (!QFileInfo::exists(converted(source)))
                sources.append(source);
        return sources;
    };
    // One LibreOffice start for all of them: each cold start costs seconds. One that dies while
    // it sets up its profile gets one more start, for what it had not saved yet.
    for (int attempt = 1; attempt <= 2 && !unsaved().isEmpty(); ++attempt) {
        QProcess p;
        p.setProcessEnvironment(CalcEnvironment());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.setStandardOutputFile(root_.filePath(QStringLiteral("calc.log")), QIODevice::Append);
        p.start(testsupport::Soffice(),
                QStringList{
                    QStringLiteral("--headless"), QStringLiteral("--norestore"),
                    QStringLiteral("--nologo"),
                    QStringLiteral("-env:UserInstallation=") +
                        QUrl::fromLocalFile(root_.filePath(QStringLiteral("profile"))).toString(),
                    QStringLiteral("--convert-to"), QStringLiteral("xlsx:Calc MS Excel 2007 XML"),
                    QStringLiteral("--outdir"), out} +
                    unsaved());
        if (!p.waitForFinished(300000)) {
            p.kill();
            p.waitForFinished();
        }
    }
    const QStringList failed = unsaved();
    if (!failed.isEmpty()) {
        Fail(QStringLiteral("LibreOffice did not save ") + failed.join(QStringLiteral(", ")));
        return false;
    }
    for (const auto& [source, target] : copies) {
        QFile::remove(target);
        if (!QFile::rename(converted(source), target)) {
            Fail(QStringLiteral("cannot move LibreOffice's copy of ") + source +
                 QStringLiteral(" to ") + target);
            return false;
        }
    }
    return true;
}

bool Journey::StartCalc(const QString& workbook) {
    if (!calc_.Start(testsupport::Soffice(),
                     {QStringLiteral("--calc"), QStringLiteral("--norestore"), QStringLiteral("--nologo"),
                      QStringLiteral("-env:UserInstallation=") +
                          QUrl::fromLocalFile(root_.filePath(QStringLiteral("profile"))).toString(),
                      workbook},
                     CalcEnvironment(), root_.filePath(QStringLiteral("calc.log")))) {
        Fail(QStringLiteral("LibreOffice Calc did not start: ") + calc_.Error());
        return false;
    }
    const QString title = Title(QFileInfo(workbook).fileName());
    if (!Step(QStringLiteral("Calc shows ") + QFileInfo(workbook).fileName(), 240,
              [&] { return !desk_.Windows(title).isEmpty(); }))
        return false;
    calcWindow_ = desk_.Windows(title).constFirst();
    // Beside the program's window, so that both are seen whole.
    desk_.Place(calcWindow_, QRect(1010, 0, 900, 1000));
    return desk_.Activate(calcWindow_);
}

bool Journey::QuitCalc() {
    if (!calcWindow_.isEmpty() && desk_.Activate(calcWindow_))
        desk_.Keys({QStringLiteral("ctrl+q")});
    // Every workbook was saved: nothing asks, and LibreOffice ends.
    const bool ended = calc_.WaitForExit(120000);
    calc_.Stop();
    calcWindow_.clear();
    if (!ended)
        Fail(QStringLiteral("LibreOffice Calc did not end after ctrl+q"));
    return ended;
}

bool Journey::CopyCells(const QString& reference, const QString& linkItem) {
    if (!desk_.Activate(calcWindow_))
        return false;
    // The Name Box takes a reference; Return selects it.
    desk_.Keys({QStringLiteral("Escape"), QStringLiteral("ctrl+shift+F5"), QStringLiteral("ctrl+a")});
    desk_.Type(reference);
    desk_.Keys({QStringLiteral("Return"), QStringLiteral("ctrl+c")});
    return Step(QStringLiteral("Calc offers the link to ") + linkItem + QStringLiteral(" on the clipboard"), 60, [&] {
        for (const QString& target : desk_.ClipboardTargets())
            if (target.startsWith(kLinkFormat))
                return desk_.Clipboard(target).split('\0').value(2) == linkItem.toUtf8();
        return false;
    });
}

bool Journey::CopyChart(QRgb color) {
    if (!desk_.Activate(calcWindow_))
        return false;
    desk_.Keys({QStringLiteral("Escape")});
    std::optional<QPoint> bar;
    if (!Step(QStringLiteral("Calc shows the chart's colour #%1").arg(color & 0xFFFFFF, 6, 16, QLatin1Char('0')), 60, [&] {
            bar = journey::FindColor(desk_.Screen(), color, desk_.Geometry(calcWindow_));
            return bar.has_value();
        }))
        return false;
    desk_.Click(*bar + QPoint(3, 3));
    desk_.Keys({QStringLiteral("ctrl+c")});
    return Step(QStringLiteral("Calc offers the chart on the clipboard"), 60, [&] {
        for (const QString& target : desk_.ClipboardTargets())
            if (target.startsWith(kDescriptorFormat) && target.contains(kChartClass, Qt::CaseInsensitive))
                return true;
        return false;
    });
}

bool Journey::EditAndSave(const QString& workbook, const QString& sheet, const QString& cell,
                          const QString& text) {
    const QDateTime before = QFileInfo(workbook).lastModified();
    if (!desk_.Activate(calcWindow_))
        return false;
    desk_.Keys({QStringLiteral("Escape"), QStringLiteral("ctrl+shift+F5"), QStringLiteral("ctrl+a")});
    // With its sheet: the Name Box takes a bare cell on the sheet shown.
    desk_.Type(QStringLiteral("$") + sheet + QLatin1Char('.') + cell);
    desk_.Keys({QStringLiteral("Return")});
    desk_.Type(text);
    desk_.Keys({QStringLiteral("Return"), QStringLiteral("ctrl+s")});
    return Step(QStringLiteral("Calc saved ") + text + QStringLiteral(" in ") + cell, 120, [&] {
        if (QFileInfo(workbook).lastModified() <= before)
            return false;
        try {
            xl::Application app;
            return app.Workbooks().Open(workbook)->Sheets().Item(sheet)->Range(cell).Text() == text;
        } catch (const std::exception&) {
            return false;  // still being written
        }
    });
}

// --- Sheetbeacon ----------------------------------------------------------------------------

QString Journey::ProgramFolder() const { return root_.filePath(QStringLiteral("program")); }

bool Journey::StartProgram() {
    // The program folder as the build makes it, with an empty repository of its own.
    const QString folder = ProgramFolder();
    QDir().mkpath(folder);
    const QSet<QString> userFiles{QStringLiteral("Sheetbeacon.pvdu"), QStringLiteral("Sheetbeacon.INI"),
                                  QStringLiteral("Sheetbeacon.log")};
    for (const QFileInfo& file : QDir(QStringLiteral(SB_BINARY_DIR "/bin")).entryInfoList(QDir::Files))
        if (!userFiles.contains(file.fileName()))
            QFile::copy(file.absoluteFilePath(), folder + QLatin1Char('/') + file.fileName());
    QFile::setPermissions(folder + QStringLiteral("/Sheetbeacon"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    testsupport::MakeRepository(folder + QStringLiteral("/Sheetbeacon.pvdu"));
    if (!program_.Start(folder + QStringLiteral("/Sheetbeacon"), {}, ProgramEnvironment(),
                        root_.filePath(QStringLiteral("program.out")))) {
        Fail(QStringLiteral("Sheetbeacon did not start: ") + program_.Error());
        return false;
    }
    // A first start: an empty dashboard and the tips window, which the user closes.
    if (!Answer(QStringLiteral("^Startup Tip$"), {QStringLiteral("Escape")}) ||
        !Step(QStringLiteral("the tips window closes"), 30,
              [&] { return desk_.Windows(QStringLiteral("^Startup Tip$")).isEmpty(); }) ||
        !Step(QStringLiteral("the main window"), 60,
              [&] { return !desk_.Windows(QStringLiteral("^Sheetbeacon - Untitled$")).isEmpty(); }))
        return false;
    mainWindow_ = desk_.Windows(QStringLiteral("^Sheetbeacon - Untitled$")).constFirst();
    desk_.Place(mainWindow_, QRect(0, 0, 1000, 1000));
    return desk_.Activate(mainWindow_);
}

QRect Journey::MainWindow() const { return desk_.Geometry(mainWindow_); }

bool Journey::Menu(const QString& letter, const QStringList& moves) {
    return OpenMenu(letter).has_value() && desk_.Keys(moves + QStringList{QStringLiteral("Return")});
}

std::optional<QRect> Journey::OpenMenu(const QString& letter) {
    if (!desk_.Activate(mainWindow_))
        return std::nullopt;
    // The pointer out of the way: an item under it would be highlighted.
    desk_.Xdo({QStringLiteral("mousemove"), QString::number(desk_.kWidth - 1), QString::number(desk_.kHeight - 1)});
    const QRect area = MainWindow();
    // A menu closed with Escape leaves the menu bar in its keyboard mode, in which the next
    // alt+letter only ends that mode; the user presses it once more. A menu is open when more
    // than the menu bar's own line changed.
    QRect changed;
    QImage last;
    for (int attempt = 1; attempt <= 3 && changed.height() < 60; ++attempt) {
        const QImage before = desk_.Screen().copy(area);
        desk_.Keys({QStringLiteral("alt+") + letter});
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000 && changed.height() < 60) {
            QThread::msleep(200);
            last = desk_.Screen().copy(area);
            changed = journey::Difference(before, last);
        }
        if (changed.height() >= 60) {
            // Looked at twice, it stays as it is: drawn whole.
            if (!Step(QStringLiteral("the menu alt+") + letter + QStringLiteral(" is drawn"), 30, [&] {
                    const QImage now = desk_.Screen().copy(area);
                    const bool still = now == last;
                    last = now;
                    return still;
                }))
                return std::nullopt;
            return journey::Difference(before, last).translated(area.topLeft());
        }
    }
    Fail(QStringLiteral("the menu alt+") + letter + QStringLiteral(" does not open"));
    return std::nullopt;
}

QImage Journey::MenuPicture(const QString& letter) {
    const std::optional<QRect> menu = OpenMenu(letter);
    if (!menu)
        return {};
    const QImage picture = desk_.Screen().copy(*menu);
    desk_.Keys({QStringLiteral("Escape")});
    return picture;
}

bool Journey::Paste() {
    // New is the first item and Exit the last: up from New wraps to Exit, Layout Mode, Paste.
    return Menu(QStringLiteral("d"), {QStringLiteral("Up"), QStringLiteral("Up"), QStringLiteral("Up")});
}

bool Journey::SaveDashboard(const QString& name) {
    // Down from New: Open, Rename, Save.
    return Menu(QStringLiteral("d"), QStringList(3, QStringLiteral("Down"))) &&
           Answer(QStringLiteral("^Save [Dd]ashboard"), {QStringLiteral("Return")}, name);
}

bool Journey::RefreshDashboard() {
    // Down from Save: Save As, Publish, Refresh.
    return Menu(QStringLiteral("d"), QStringList(6, QStringLiteral("Down")));
}

bool Journey::Answer(const QString& titlePattern, const QStringList& keys, const QString& text) {
    if (!Step(QStringLiteral("a window titled ") + titlePattern, 120,
              [&] { return !desk_.Windows(titlePattern).isEmpty(); }))
        return false;
    if (!desk_.Activate(desk_.Windows(titlePattern).constLast()))
        return false;
    if (!text.isEmpty()) {
        desk_.Keys({QStringLiteral("ctrl+a")});
        desk_.Type(text);
    }
    return desk_.Keys(keys);
}

bool Journey::RightClickBackground(const QPoint& at) {
    if (!desk_.Activate(mainWindow_))
        return false;
    desk_.Click(MainWindow().topLeft() + at, 3);
    return desk_.Keys({QStringLiteral("Escape")});
}

QImage Journey::Render(const QString& workbook, const QString& sheet, const QString& what) {
    const QString out = root_.filePath(QStringLiteral("render-%1.png").arg(++shots_));
    QProcess p;
    p.setProcessEnvironment(ProgramEnvironment());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(SB_BINARY_DIR "/tools/render-range"), {workbook, sheet, what, out});
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        ADD_FAILURE() << "render-range " << workbook.toStdString() << " " << what.toStdString() << ": "
                      << p.readAll().toStdString();
        return {};
    }
    return QImage(out).convertToFormat(QImage::Format_RGB32);
}

std::optional<QRect> Journey::WaitOnScreen(const QString& what, const QImage& picture, int seconds) {
    std::optional<QRect> where;
    if (picture.isNull()) {
        Fail(QStringLiteral("no picture to look for: ") + what);
        return std::nullopt;
    }
    if (!Step(what, seconds, [&] {
            if (const auto at = journey::Find(desk_.Screen(), picture))
                where = QRect(*at, picture.size());
            return where.has_value();
        }))
        return std::nullopt;
    return where;
}

std::unique_ptr<db::Database> Journey::Repository() const {
    return db::Database::Open(ProgramFolder() + QStringLiteral("/Sheetbeacon.pvdu"), DatabaseKey(kConnectString));
}

qint64 Journey::Number(const QString& sql, const QVariantList& params) const {
    return testsupport::Scalar(*Repository(), sql, params);
}

QString Journey::Text(const QString& sql, const QVariantList& params) const {
    return testsupport::TextOf(*Repository(), sql, params);
}

QString Journey::CachePath(qint64 panelID) const {
    return ProgramFolder() + QStringLiteral("/Panels/%1.bmp").arg(panelID);
}

QStringList Journey::OpenedDocuments() const {
    QStringList opened;
    for (const QString& line :
         testsupport::ReadText(root_.filePath(QStringLiteral("opened.txt"))).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        opened << (line.startsWith(QLatin1String("file:")) ? QUrl(line).toLocalFile() : line);
    return opened;
}
