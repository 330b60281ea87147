// What opening a dashboard a stranger made can take of memory and disk, against the budget of
// a dashboard's pictures (500 MB of pictures shown, 250 MB more being painted, 375 MB cached
// on disk). Each dashboard is opened in a process of its own, whose peak memory (VmHWM) is
// printed beside the same process's before the dashboard opened, with the cached pictures
// written. The dashboards, panels of one workbook:
//   - 3 and 8 panels of "A1:EZ990": 9985 x 19801 pixels each, larger than a screen;
//   - 8 panels of "A1:DO217": 7617 x 4341 pixels each, just within a screen;
//   - 8 zoomed "A1:C4" panels whose stored windows are 2,000,000 twips wide and tall.
// Figures only. Usage: bench_budget <folder of five_megabytes.xlsx>

#include "DashboardBench.h"

#include "model/Globals.h"
#include "services/UserPrompts.h"
#include "windows/PictureBudget.h"
#include "windows/frmPanel.h"
#include "windows/frmWorkspace.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

struct Case {
    const char* name;
    const char* range;
    const char* view;
    int32_t width, height;  // twips
    int panels;
};

const Case kCases[] = {
    {"3 panels of A1:EZ990 (9985 x 19801 px)", "A1:EZ990", "A", 3000, 2000, 3},
    {"8 panels of A1:EZ990 (9985 x 19801 px)", "A1:EZ990", "A", 3000, 2000, 8},
    {"8 panels of A1:DO217 (7617 x 4341 px)", "A1:DO217", "A", 3000, 2000, 8},
    {"8 zoomed panels, windows of 2,000,000 twips", "A1:C4", "Z", 2'000'000, 2'000'000, 8},
};

double PeakMB() {
    const QStringList lines = bench::ReadText(QStringLiteral("/proc/self/status")).split(QLatin1Char('\n'));
    for (const QString& line : lines)
        if (line.startsWith(QLatin1String("VmHWM:")))
            return line.section(QLatin1Char(':'), 1).trimmed().section(QLatin1Char(' '), 0, 0).toDouble() / 1024;
    return 0;
}

double FolderMB(const QString& folder) {
    qint64 bytes = 0;
    for (QDirIterator it(folder, QDir::Files); it.hasNext();)
        bytes += QFileInfo(it.next()).size();
    return double(bytes) / 1e6;
}

// Opens the case's dashboard in this process and prints its figures.
int RunCase(const Case& c, const QString& workbook) {
    QTemporaryDir dir;
    if (!bench::StartProgramFolder(dir.path()))
        return 1;
    PromptScript::Enable();  // refusals and deletion offers answered as their defaults
    const QString book = dir.filePath(QStringLiteral("Book.xlsx"));
    QFile::copy(workbook, book);
    const int32_t source = bench::Insert(
        QStringLiteral("INSERT INTO DsbPanelSource(FullPath, DestFolder, NewestFile, Mask, UpdateType, CheckEveryNMin) "
                       "VALUES (?, ?, 'Book.xlsx', 'Book.xlsx', 'default', 60)"),
        {book, dir.path() + QLatin1Char('/')});
    const int32_t dashboard = bench::Insert(
        QStringLiteral("INSERT INTO DsbSavedWorkspace(Name, LastUpdated) VALUES ('Shared', ?)"), {QDateTime::currentDateTime()});
    for (int i = 0; i < c.panels; ++i)
        bench::Insert(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, ContentType, IsCustom, SheetName, "
                                     "PicRange, [Left], [Top], Width, Height, ViewType, Caption) "
                                     "VALUES (?, ?, 'S', 'N', 'Numbers', ?, ?, 0, ?, ?, ?, ?)"),
                      {dashboard, source, QString::fromLatin1(c.range) + QStringLiteral("``"), 300 * i, c.width,
                       c.height, QString::fromLatin1(c.view), QStringLiteral("Panel %1").arg(i + 1)});
    const double before = PeakMB();
    auto* window = new frmWorkspace;
    window->show();
    window->Form_Activate();
    const size_t shown = window->PanelWindows().size();
    std::printf("  %-46s panels shown %zu of %d, peak memory %7.0f MB (%4.0f MB before), cached pictures %6.1f MB, "
                "refusals %lld\n",
                c.name, shown, c.panels, PeakMB(), before, FolderMB(GetPanelsFolder()),
                static_cast<long long>(PromptScript::Messages().filter(QStringLiteral("The picture of")).size()));
    delete window;
    gWorkspace.reset();
    gSources.reset();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString big = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const QString workbook = big + QStringLiteral("/five_megabytes.xlsx");
    if (!QFileInfo::exists(workbook)) {
        std::printf("Budget benchmark: %s is missing\n", qPrintable(workbook));
        return 1;
    }
    if (argc > 2)
        return RunCase(kCases[std::clamp(atoi(argv[2]), 0, int(std::size(kCases)) - 1)], workbook);
    std::printf("Opening a stranger's dashboard, against the budget: pictures shown %lld MB, being painted %lld MB, "
                "cached %lld MB\n",
                static_cast<long long>(PictureBudget::kDashboardPixels * 4 / 1000000),
                static_cast<long long>(PictureBudget::kPaintingPixels * 4 / 1000000),
                static_cast<long long>(PictureBudget::kDashboardPixels * 3 / 1000000));
    std::fflush(stdout);
    int failed = 0;
    for (size_t i = 0; i < std::size(kCases); ++i) {
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        run.start(QCoreApplication::applicationFilePath(), {big, QString::number(i)});
        run.waitForFinished(-1);
        failed += run.exitCode() != 0;
    }
    return failed == 0 ? 0 : 1;
}
