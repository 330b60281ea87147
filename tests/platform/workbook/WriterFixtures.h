#pragma once
// The writer's test workbooks (made once per test program by an openpyxl script), and
// LibreOffice as an independent reader of what the writer wrote.

#include "FixtureTools.h"
#include "platform/workbook/Package.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <map>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace writerfx {

inline const testsupport::ScriptFolder& Fixtures() {
    return testsupport::FolderMadeBy(QStringLiteral("make_writer_workbooks.py"));
}
// Why the writer's fixtures could not be made; "" once they are.
inline QString WhyNoFixtures() { return Fixtures().why; }
// The folder holding book.xlsx, target.xlsx, template.xlsx and stale.xlsx.
inline QString Dir() { return Fixtures().path; }

// A fresh copy of a fixture in `into`, so a test may write it.
inline QString Copy(const QString& name, const QTemporaryDir& into) {
    const QString to = into.filePath(name);
    QFile::remove(to);
    QFile::copy(Dir() + QLatin1Char('/') + name, to);
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return to;
}

// LibreOffice runs of the tests take turns, also across the test programs ctest runs at once:
// several headless instances starting together slow each other down to a crawl. The turn is
// the build folder's, so that another checkout's tests never hold this one's up.
class SofficeTurn {
public:
    SofficeTurn() : fd_(::open(SB_BINARY_DIR "/soffice-turn.lock", O_CREAT | O_RDWR, 0666)) {
        if (fd_ >= 0)
            ::flock(fd_, LOCK_EX);
    }
    ~SofficeTurn() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    SofficeTurn(const SofficeTurn&) = delete;
    SofficeTurn& operator=(const SofficeTurn&) = delete;

private:
    int fd_;
};

inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every part of a package file by name, inflated.
inline std::map<QString, QByteArray> Parts(const QString& path) {
    std::map<QString, QByteArray> out;
    const xl::Package pkg = xl::Package::FromZip(ReadAll(path));
    for (const xl::ZipEntry& e : pkg.Entries())
        out[e.name] = pkg.Part(e.name);
    return out;
}

// LibreOffice's reading of a workbook: each sheet's cells as shown, as CSV lines, by sheet
// name. Empty when LibreOffice could not read it. Each call has its own profile.
inline std::map<QString, QStringList> LibreOfficeCsv(const QString& path) {
    std::map<QString, QStringList> out;
    SofficeTurn turn;
    QTemporaryDir work;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("soffice"),
            {QStringLiteral("--headless"), QStringLiteral("--norestore"),
             QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(work.filePath(QStringLiteral("p"))).toString(),
             QStringLiteral("--convert-to"),
             QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,-1"),
             QStringLiteral("--outdir"), work.filePath(QStringLiteral("out")), path});
    if (!p.waitForFinished(180000))
        p.kill();
    const QString base = QFileInfo(path).completeBaseName() + QLatin1Char('-');
    for (const QFileInfo& f : QDir(work.filePath(QStringLiteral("out"))).entryInfoList(QDir::Files)) {
        QString text = QString::fromUtf8(ReadAll(f.filePath()));
        QStringList lines = text.split(QLatin1Char('\n'));
        while (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        out[f.completeBaseName().mid(base.size())] = lines;
    }
    return out;
}

}  // namespace writerfx

#define ASSERT_WRITER_FIXTURES() ASSERT_EQ(writerfx::WhyNoFixtures(), QString())
