// An export killed with a real kill -9 at any moment of its work, and an export onto a real full
// disk: the chosen name holds the earlier file or the whole export of the chosen dashboard,
// never the repository, and never a dashboard the user did not choose.

#include "SharingTestSupport.h"

#include "MountedDisk.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <csignal>

namespace {

QString ExportChild() { return QStringLiteral(SB_BINARY_DIR "/tests/export_child"); }

// Dashboards in a shared file, by name; what keeps it from being read, when something does
// (a copy cut short).
QStringList NamesIn(const QString& path) {
    QStringList names;
    try {
        auto shared = db::Database::Open(path, DatabaseKey(kConnectString));
        auto rs = shared->Query(QStringLiteral("SELECT Name FROM DsbSavedWorkspace ORDER BY Name"));
        for (; !rs->EOF_(); rs->MoveNext())
            names << rs->Text(QStringLiteral("Name"));
    } catch (const db::Error& e) {
        names << QStringLiteral("<unreadable: ") + e.message() + QLatin1Char('>');
    }
    return names;
}

qint64 FreePages(const QString& path) {
    try {
        auto shared = db::Database::Open(path, DatabaseKey(kConnectString));
        return shared->Query(QStringLiteral("PRAGMA freelist_count"))->Field(0).toLongLong();
    } catch (const db::Error&) {
        return -1;
    }
}

}  // namespace

class ExportKillTest : public SharingTest {
protected:
    void SetUp() override {
        SharingTest::SetUp();
        ASSERT_TRUE(QFileInfo(ExportChild()).isExecutable()) << ExportChild().toStdString();
        // A repository that takes a while to copy and compact: the one dashboard to share and
        // many that must never leave the machine, with panels carrying long comments.
        db::Transaction rows(*gDB);
        const int32_t source = AddSource(*gDB, "/data/s.xlsx", "folder", "s*.xlsx", "/dest/");
        AddPanel(*gDB, AddDashboard(*gDB, "Chosen"), source, "shared panel");
        const QString secret = QString(4000, QLatin1Char('s'));
        for (int d = 0; d < 30; ++d) {
            const int32_t id = AddDashboard(*gDB, QStringLiteral("Private %1").arg(d));
            for (int p = 0; p < 50; ++p) {
                const int32_t panel = AddPanel(
                    *gDB, id, AddSource(*gDB, "/private/p.xlsx", "folder", "p", "/d/"), "private");
                gDB->Execute(QStringLiteral("UPDATE DsbSavedPanel SET Comments = ? WHERE ID = ?"),
                             {secret, panel});
            }
        }
        rows.Commit();
    }

    // Starts the export of "Chosen" into `target` in a process of its own; waits until its
    // dialog is about to export.
    static bool StartExport(QProcess& child, const QString& folder, const QString& target) {
        child.start(ExportChild(), {folder, target, QStringLiteral("Chosen")});
        if (!child.waitForStarted(30000))
            return false;
        while (!child.canReadLine())
            if (!child.waitForReadyRead(30000))
                return false;
        return child.readLine().trimmed() == "exporting";
    }
};

TEST_F(ExportKillTest, AnExportKilledAtAnyMomentLeavesTheEarlierFileOrTheWholeExport) {
    const QString target = InFolder(QStringLiteral("shared/out.pvds"));
    ASSERT_TRUE(QDir().mkpath(InFolder(QStringLiteral("shared"))));
    // The earlier export at that name, which another user may be reading.
    testsupport::MakeRepository(target);
    AddDashboard(*OpenShared(target), "Earlier");
    const QByteArray earlier = testsupport::ReadBytes(target);

    // One export to its end, timed, to spread the kills over its work.
    QProcess child;
    QElapsedTimer clock;
    ASSERT_TRUE(StartExport(child, Folder(), InFolder(QStringLiteral("shared/timed.pvds"))));
    clock.start();
    ASSERT_TRUE(child.waitForFinished(120000));
    const qint64 exportMs = clock.elapsed();
    ASSERT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();

    constexpr int kKills = 20;
    int killedMidway = 0, earlierKept = 0, wholeExports = 0;
    for (int i = 0; i < kKills; ++i) {
        SCOPED_TRACE(i);
        testsupport::WriteBytes(target, earlier);
        QProcess killed;
        ASSERT_TRUE(StartExport(killed, Folder(), target));
        QThread::usleep(static_cast<unsigned long>(exportMs * 1000 * i / kKills));
        if (killed.state() == QProcess::Running) {
            ::kill(static_cast<pid_t>(killed.processId()), SIGKILL);
            ++killedMidway;
        }
        ASSERT_TRUE(killed.waitForFinished(30000));

        ASSERT_TRUE(QFile::exists(target));
        const QByteArray now = testsupport::ReadBytes(target);
        if (now == earlier) {
            ++earlierKept;
            continue;
        }
        // Replaced: then by the whole export, pruned and compacted.
        ++wholeExports;
        EXPECT_EQ(NamesIn(target), QStringList{QStringLiteral("Chosen")});
        EXPECT_EQ(FreePages(target), 0);
    }
    EXPECT_EQ(earlierKept + wholeExports, kKills);
    // Most kills landed while the export worked (a loaded machine may finish a few first).
    EXPECT_GE(killedMidway, kKills / 2);

    // The next export clears what a killed one left beside the chosen name, and exports whole.
    QProcess last;
    ASSERT_TRUE(StartExport(last, Folder(), target));
    ASSERT_TRUE(last.waitForFinished(120000));
    EXPECT_EQ(last.exitCode(), 0) << last.readAllStandardError().toStdString();
    EXPECT_EQ(NamesIn(target), QStringList{QStringLiteral("Chosen")});
    EXPECT_EQ(FreePages(target), 0);
    EXPECT_EQ(
        QDir(InFolder(QStringLiteral("shared"))).entryList(QDir::Files | QDir::Hidden, QDir::Name),
        (QStringList{QStringLiteral("out.pvds"), QStringLiteral("timed.pvds")}));
}

TEST_F(ExportKillTest, AnExportOntoAFullDiskSaysSoAndKeepsTheEarlierFile) {
    // A disk too small for the copy of the repository.
    testsupport::MountedDisk disk(InFolder(QStringLiteral("usb")), 2 << 20);
    ASSERT_MOUNTED(disk);
    const QString target = disk.Path() + QStringLiteral("/out.pvds");
    testsupport::MakeRepository(target);
    AddDashboard(*OpenShared(target), "Earlier");
    const QByteArray earlier = testsupport::ReadBytes(target);
    ASSERT_LT(disk.FreeBytes(), QFileInfo(gDB->Name()).size());

    EXPECT_FALSE(Export({"Chosen"}, target));
    EXPECT_EQ(PromptScript::Messages(),
              QStringList{QStringLiteral("Unable to export to ") + target +
                          QStringLiteral(".  The disk that holds ") + disk.Path() +
                          QStringLiteral(" is full.")});
    EXPECT_EQ(testsupport::ReadBytes(target), earlier);
    EXPECT_EQ(QDir(disk.Path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              QStringList{QStringLiteral("out.pvds")});
}
