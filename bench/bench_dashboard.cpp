// Timings of the dashboard as a user lives through them, each beside its goal, several samples
// each (min and median):
//   - 24 panels from 24 different copies of the 5 MB painting bench workbook, no cached
//     picture: from the window's start to all panels shown (goal < 1 s);
//   - start-up to a painted window with the same 24 panels cached (goal < 1 s);
//   - refreshing a dashboard whose small workbook has a link to another workbook file, which
//     LibreOffice recalculates, after the first (goal < 1.5 s), and the longest gap between two
//     paints of the window meanwhile (it is asked to repaint every 5 ms).
// Figures only, no time is asserted; but a start that does not show every panel fails the run.
// SB_BENCH_NO_LIBREOFFICE=1 leaves out the recalculation.

#include "BenchSupport.h"
#include "DashboardBench.h"

#include "model/Globals.h"
#include "platform/workbook/Recalc.h"
#include "services/App.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsRepository.h"
#include "services/modUtilsSQL.h"
#include "windows/PictureBox.h"
#include "windows/frmPanel.h"
#include "windows/frmWorkspace.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiArea>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr int kPanels = 24;

// The samples of one start-up timing. A start that did not show every panel has no time worth
// the name: it is counted apart, said plainly and fails the run, never mixed into the figures.
struct Starts {
    std::vector<double> ms;
    int failed = 0;
    void Add(std::optional<double> sample) {
        if (sample)
            ms.push_back(*sample);
        else
            ++failed;
    }
    // Prints the figures and any failed starts; false when a start failed.
    bool Print(const char* what, const char* goal) const {
        bench::PrintSamples(what, ms, "ms", goal);
        if (failed > 0)
            std::printf("  FAILED: %d of %zu starts did not show all %d panels\n", failed, ms.size() + failed,
                        kPanels);
        return failed == 0;
    }
};

int32_t AddSource(const QString& folder, const QString& file, const QString& type) {
    return bench::Insert(QStringLiteral("INSERT INTO DsbPanelSource(FullPath, DestFolder, NewestFile, Mask, UpdateType, "
                                 "CheckEveryNMin, LastChecked) VALUES (?, ?, ?, ?, ?, 60, ?)"),
                  {folder + QLatin1Char('/') + file, folder + QLatin1Char('/'), file, file, type,
                   db::ToStoredDateTime(QDateTime::currentDateTime().addDays(1))});
}

void AddPanel(int32_t workspace, int32_t source, const QString& sheet, const QString& range, int i) {
    bench::Insert(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, ContentType, IsCustom, SheetName, "
                          "PicRange, [Left], [Top], Width, Height, ViewType, Caption) "
                          "VALUES (?, ?, 'S', 'N', ?, ?, ?, ?, 3000, 2000, 'Z', ?)"),
           {workspace, source, sheet, range + QStringLiteral("``"), 3000 * (i % 6), 2000 * (i / 6),
            QStringLiteral("Panel %1").arg(i + 1)});
}

void ClearCache() {
    QDir panels(GetPanelsFolder());
    for (const QString& f : panels.entryList({QStringLiteral("*.bmp")}, QDir::Files))
        panels.remove(f);
}

// One start of the main window on the stored dashboard: the time to all panels shown, or to
// the first paint of the dashboard area; none when not every panel showed.
std::optional<double> StartOnce(bool untilPainted) {
    QElapsedTimer t;
    t.start();
    auto* window = new frmWorkspace;
    double firstPaint = -1;
    struct FirstPaint : QObject {
        QElapsedTimer* clock;
        double* at;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint && *at < 0)
                *at = double(clock->nsecsElapsed()) / 1e6;
            return false;
        }
    } probe;
    probe.clock = &t;
    probe.at = &firstPaint;
    window->mdiArea()->viewport()->installEventFilter(&probe);
    window->show();
    window->Form_Activate();
    const double allShown = double(t.nsecsElapsed()) / 1e6;
    size_t shown = 0;
    for (frmPanel* panel : window->PanelWindows())
        shown += panel->Frame()->isVisible() && !panel->picTemp()->Picture().isNull() ? 1 : 0;
    window->mdiArea()->viewport()->removeEventFilter(&probe);
    delete window;
    gWorkspace.reset();
    gSources.reset();
    if (shown != size_t(kPanels))
        return std::nullopt;
    return untilPainted ? firstPaint : allShown;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString big = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const QString bench = big + QStringLiteral("/painting_bench.xlsx");
    if (!QFileInfo::exists(bench)) {
        std::printf("Dashboard benchmarks: %s is missing\n", qPrintable(bench));
        return 1;
    }
    QTemporaryDir dir;
    if (!bench::StartProgramFolder(dir.path())) {
        std::printf("Dashboard benchmarks: the repository could not be made\n");
        return 1;
    }
    PromptScript::Enable();  // a message box would wait for nobody
    std::printf("Dashboard benchmarks (%d panels from %d copies of %s, %.1f MB each)\n", kPanels, kPanels,
                qPrintable(QFileInfo(bench).fileName()), QFileInfo(bench).size() / 1e6);

    const QString books = dir.filePath(QStringLiteral("books"));
    QDir().mkpath(books);
    const int32_t dashboard =
        bench::Insert(QStringLiteral("INSERT INTO DsbSavedWorkspace(Name, LastUpdated) VALUES ('Bench', ?)"),
               {db::ToStoredDateTime(QDateTime::currentDateTime())});
    for (int i = 0; i < kPanels; ++i) {
        const QString name = QStringLiteral("Book%1.xlsx").arg(i + 1);
        QFile::copy(bench, books + QLatin1Char('/') + name);
        AddPanel(dashboard, AddSource(books, name, QStringLiteral("default")), QStringLiteral("Report"),
                 QStringLiteral("A2:L31"), i);
    }

    Starts cold, cached;
    for (int i = 0; i < 5; ++i) {
        ClearCache();
        cold.Add(StartOnce(false));
        cached.Add(StartOnce(true));
    }
    const bool coldShown = cold.Print("24 panels, 24 workbooks, no cache: start to all shown", "< 1000 ms");
    const bool cachedShown = cached.Print("24 cached panels: start to the painted window", "< 1000 ms");
    const int exitCode = coldShown && cachedShown ? 0 : 1;

    if (qEnvironmentVariableIsSet("SB_BENCH_NO_LIBREOFFICE") ||
        QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) {
        std::printf("  recalculation: left out (no soffice, or SB_BENCH_NO_LIBREOFFICE)\n");
        return exitCode;
    }
    const QString links = dir.filePath(QStringLiteral("links"));
    QDir().mkpath(links);
    if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral(SB_SOURCE_DIR "/tests/fixtures/make_refresh_workbooks.py"), links}) != 0) {
        std::printf("  recalculation: the linked workbooks could not be made (python3-openpyxl)\n");
        return exitCode;
    }
    gDB->Execute(QStringLiteral("UPDATE DsbSavedWorkspace SET LastUpdated = ? WHERE ID = ?"),
                 {db::ToStoredDateTime(QDateTime::currentDateTime().addDays(-1)), dashboard});
    const int32_t linked =
        bench::Insert(QStringLiteral("INSERT INTO DsbSavedWorkspace(Name, LastUpdated) VALUES ('Links', ?)"),
               {db::ToStoredDateTime(QDateTime::currentDateTime())});
    AddPanel(linked, AddSource(links, QStringLiteral("Report.xlsx"), QStringLiteral("refresh")),
             QStringLiteral("Report"), QStringLiteral("A1:B1"), 0);
    QElapsedTimer t;
    t.start();
    auto* window = new frmWorkspace;
    window->show();
    window->Form_Activate();  // the first recalculation starts LibreOffice
    std::printf("  first open, LibreOffice started: %.0f ms\n", double(t.elapsed()));
    bench::PaintClock paints(window->mdiArea()->viewport());
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, [window] { window->mdiArea()->viewport()->update(); });
    repaint.start(5);
    std::vector<double> refresh, gaps;
    QAction* refreshAction = window->findChild<QAction*>(QStringLiteral("mnuWorkspaceRefresh"));
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        paints.Reset();
        t.restart();
        refreshAction->trigger();
        refresh.push_back(double(t.nsecsElapsed()) / 1e6);
        gaps.push_back(double(paints.Longest()));
    }
    repaint.stop();
    bench::PrintSamples("refresh of a workbook linked to another, after the first", refresh, "ms", "< 1500 ms");
    bench::PrintSamples("longest gap between two paints during that refresh", gaps, "ms",
                        "(window repainting throughout)");
    if (!PromptScript::Messages().isEmpty())
        std::printf("  messages: %s\n", qPrintable(PromptScript::Messages().join(QStringLiteral(" / "))));
    delete window;
    gWorkspace.reset();
    gSources.reset();
    xl::StopRecalculation();
    return exitCode;
}
