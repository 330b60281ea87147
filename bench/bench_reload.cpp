// Reloading the panels of one workbook after a newer version of it arrived, the three ways a
// user meets it: opening the dashboard, Dashboard > Refresh, and the periodic refresh pass.
// One workbook (5 MB and 50 MB, N panels of it: 1, 8, 24; 20 MB with 8 panels and 200 MB with
// 4), each panel a different range.
// Before each timing the workbook gets a newer file time, so the update pass finds a newer
// version, deletes the cached pictures and every panel is painted again.
// Printed: min and median of each, the longest gap between two paints of the dashboard area
// (it is asked to repaint every 5 ms), and the periodic pass against Refresh from the same
// run (goal: within 1.2x, longest gap < 100 ms). Figures only, no time is asserted; a
// reload that does not leave every panel with a new picture fails the run.
// Usage: bench_reload <folder of the benchmark workbooks> [samples] [panels]
// (panels: only the setups with that many panels)

#include "BenchSupport.h"
#include "DashboardBench.h"

#include "model/Globals.h"
#include "services/UserPrompts.h"
#include "services/modUtilsFile.h"
#include "windows/PictureBox.h"
#include "windows/frmPanel.h"
#include "windows/frmWorkspace.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <map>
#include <optional>
#include <vector>

namespace {

struct Setup {
    const char* file;
    const char* label;
    int panels;
    const char* sheet;
    int rows;  // of that sheet, columns A to T
};

// One timing: milliseconds, the longest gap between two paints, and the paints.
struct Sample {
    double ms = 0;
    double gap = 0;
    int paints = 0;
};

struct Series {
    std::vector<double> ms, gaps, paints;
    int failed = 0;
    void Add(const std::optional<Sample>& s) {
        if (!s) {
            ++failed;
            return;
        }
        ms.push_back(s->ms);
        gaps.push_back(s->gap);
        paints.push_back(s->paints);
    }
};

class Bench {
public:
    Bench(const QString& folder, const QString& workbook, const QString& sheet, int panels, int rows)
        : panels_(panels) {
        QDir().mkpath(folder);
        book_ = folder + QStringLiteral("/Book.xlsx");
        QFile::remove(book_);
        QFile::copy(workbook, book_);
        stamp_ = QDateTime::currentDateTime().addSecs(-3600);
        (void)AdjustFileTime(book_, stamp_);
        const int32_t source = bench::Insert(
            QStringLiteral("INSERT INTO DsbPanelSource(FullPath, DestFolder, NewestFile, Mask, UpdateType, "
                           "CheckEveryNMin, LastChecked) VALUES (?, ?, 'Book.xlsx', 'Book.xlsx', 'default', 60, ?)"),
            {book_, folder + QLatin1Char('/'), stamp_});
        dashboard_ = bench::Insert(QStringLiteral("INSERT INTO DsbSavedWorkspace(Name, LastUpdated) VALUES (?, ?)"),
                                   {QFileInfo(folder).fileName(), QDateTime::currentDateTime().addDays(-1)});
        // As pasted: each range follows the sheet's last used cell, so a newer version
        // relocates them all.
        for (int i = 0; i < panels; ++i)
            bench::Insert(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, ContentType, IsCustom, "
                                         "SheetName, PicRange, RelativeTo, ContentMatch, [Left], [Top], Width, "
                                         "Height, ViewType, Caption) "
                                         "VALUES (?, ?, 'S', 'N', ?, ?, 'bottom', ?, ?, ?, 3000, 2000, 'Z', ?)"),
                          {dashboard_, source, sheet, QStringLiteral("A%1:J%2``").arg(1 + 1000 * i).arg(30 + 1000 * i),
                           QStringLiteral("bottom=$T$%1").arg(rows), 3000 * (i % 6), 2000 * (i / 6),
                           QStringLiteral("Panel %1").arg(i + 1)});
    }

    // A newer version of the workbook: the same file with a later time.
    void NewerVersion() {
        stamp_ = stamp_.addSecs(1);
        (void)AdjustFileTime(book_, stamp_);
    }

    // The main window started on this dashboard (the most recently used), timed.
    std::optional<Sample> Open() {
        Close();
        gDB->Execute(QStringLiteral("UPDATE DsbSavedWorkspace SET LastUpdated = ? WHERE ID = ?"),
                     {QDateTime::currentDateTime().addDays(1), dashboard_});
        NewerVersion();
        const std::map<QString, QDateTime> before = CacheTimes();
        window_ = new frmWorkspace;
        window_->resize(1600, 1000);
        clock_.emplace(window_->mdiArea()->viewport());
        QObject::connect(&repaint_, &QTimer::timeout, window_, [this] { window_->mdiArea()->viewport()->update(); });
        repaint_.start(5);
        // Shown as start-up shows it: its first activation opens the dashboard.
        return Timed(
            [this] {
                window_->show();
                window_->Form_Activate();
            },
            before);
    }
    std::optional<Sample> Refresh() {
        NewerVersion();
        return Timed([this] { window_->findChild<QAction*>(QStringLiteral("mnuWorkspaceRefresh"))->trigger(); });
    }
    std::optional<Sample> Periodic() {
        NewerVersion();
        gRefreshFrequency = 0;  // every tick runs a pass
        return Timed([this] { window_->timerRefresh_Timer(); });
    }
    void Close() {
        repaint_.stop();
        clock_.reset();
        delete window_;
        window_ = nullptr;
        gWorkspace.reset();
        gSources.reset();
    }

private:
    template <typename Run>
    std::optional<Sample> Timed(Run run) {
        QCoreApplication::processEvents();
        return Timed(run, CacheTimes());
    }
    template <typename Run>
    std::optional<Sample> Timed(Run run, const std::map<QString, QDateTime>& before) {
        clock_->Reset();
        QElapsedTimer t;
        t.start();
        run();
        Sample s{double(t.nsecsElapsed()) / 1e6, double(clock_->Longest()), clock_->Paints()};
        return AllRepainted(before) ? std::optional<Sample>(s) : std::nullopt;
    }
    static std::map<QString, QDateTime> CacheTimes() {
        std::map<QString, QDateTime> times;
        for (const QFileInfo& f : QDir(GetPanelsFolder()).entryInfoList({QStringLiteral("*.bmp")}, QDir::Files))
            times[f.fileName()] = f.lastModified();
        return times;
    }
    // Every panel shows a picture painted from this version: its cached picture was written
    // again.
    bool AllRepainted(const std::map<QString, QDateTime>& before) const {
        const std::map<QString, QDateTime> after = CacheTimes();
        int fresh = 0;
        for (frmPanel* panel : window_->PanelWindows()) {
            const clsWorkspacePanel* record = gWorkspace->Panels(panel->Index);
            const QString cache = QString::number(record->ID) + QStringLiteral(".bmp");
            const auto was = before.find(cache);
            const auto now = after.find(cache);
            if (panel->Frame()->isVisible() && !panel->picTemp()->Picture().isNull() && !panel->PicturePending() &&
                now != after.end() && (was == before.end() || was->second != now->second))
                ++fresh;
        }
        return fresh == panels_;
    }

    QString book_;
    QDateTime stamp_;
    int32_t dashboard_ = 0;
    int panels_ = 0;
    frmWorkspace* window_ = nullptr;
    std::optional<bench::PaintClock> clock_;
    QTimer repaint_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is there
    const QString big = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const int samples = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
    const int only = argc > 3 ? atoi(argv[3]) : 0;
    QTemporaryDir dir;
    if (!bench::StartProgramFolder(dir.path())) {
        std::printf("Reload benchmarks: the repository could not be made\n");
        return 1;
    }
    PromptScript::Enable();  // a message box would wait for nobody
    std::printf("Reloading the panels of one workbook after a newer version arrived (%d samples)\n", samples);
    bool allRepainted = true;
    // The 20 MB and 200 MB workbooks hold their numbers on "Data", below a row of headers.
    const Setup setups[] = {{"five_megabytes.xlsx", "5 MB", 1, "Numbers", 30000},
                            {"five_megabytes.xlsx", "5 MB", 8, "Numbers", 30000},
                            {"five_megabytes.xlsx", "5 MB", 24, "Numbers", 30000},
                            {"summary_beside_20mb.xlsx", "20 MB", 8, "Data", 76001},
                            {"fifty_megabytes.xlsx", "50 MB", 1, "Numbers", 190000},
                            {"fifty_megabytes.xlsx", "50 MB", 8, "Numbers", 190000},
                            {"fifty_megabytes.xlsx", "50 MB", 24, "Numbers", 190000},
                            {"summary_beside_200mb.xlsx", "200 MB", 4, "Data", 745001}};
    for (const Setup& setup : setups) {
        if (only > 0 && setup.panels != only)
            continue;
        const QString workbook = big + QLatin1Char('/') + QLatin1String(setup.file);
        if (!QFileInfo::exists(workbook)) {
            std::printf("  %s is missing\n", qPrintable(workbook));
            return 1;
        }
        Bench bench(dir.filePath(QStringLiteral("%1-%2").arg(QLatin1String(setup.file)).arg(setup.panels)), workbook,
                    QLatin1String(setup.sheet), setup.panels, setup.rows);
        Series open, refresh, periodic;
        std::vector<double> ratios;
        for (int i = 0; i < samples; ++i) {
            open.Add(bench.Open());
            const auto r = bench.Refresh();
            const auto p = bench.Periodic();
            refresh.Add(r);
            periodic.Add(p);
            if (r && p)
                ratios.push_back(p->ms / r->ms);
        }
        bench.Close();
        std::printf(" %s workbook (%.1f MB), %d panel%s:\n", setup.label, QFileInfo(workbook).size() / 1e6,
                    setup.panels, setup.panels == 1 ? "" : "s");
        bench::PrintSamples("open the dashboard", open.ms, "ms", "");
        bench::PrintSamples("Dashboard > Refresh", refresh.ms, "ms", "");
        bench::PrintSamples("periodic pass", periodic.ms, "ms", "");
        bench::PrintSamples("periodic pass / Dashboard > Refresh, same run", ratios, "x", "<= 1.2");
        bench::PrintSamples("longest gap between paints: open", open.gaps, "ms", "");
        bench::PrintSamples("longest gap between paints: Refresh", refresh.gaps, "ms", "");
        bench::PrintSamples("longest gap between paints: periodic pass", periodic.gaps, "ms", "< 100 ms");
        bench::PrintSamples("paints during the periodic pass", periodic.paints, "", "");
        for (const auto* s : {&open, &refresh, &periodic})
            if (s->failed > 0) {
                std::printf("  FAILED: %d reloads did not paint every panel again\n", s->failed);
                allRepainted = false;
            }
    }
    if (!PromptScript::Messages().isEmpty())
        std::printf("  messages: %s\n", qPrintable(PromptScript::Messages().join(QStringLiteral(" / "))));
    gSources.reset();
    return allRepainted ? 0 : 1;
}
