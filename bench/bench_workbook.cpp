// Timings of the workbook engine against its targets, several samples each (min and median):
// open a million-cell sheet and find its last used cell (1.5 s, 600 MB), find a text by rows in
// it (100 ms), open an unchanged 5 MB workbook again in the same Application (1 ms), and the
// peak memory of a process that reads a 50 MB workbook (< 3 times the file). Figures only:
// nothing is asserted.

#include "BenchSupport.h"

#include "platform/workbook/Workbook.h"

#include <QGuiApplication>
#include <QFileInfo>
#include <QProcess>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <algorithm>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// Processor time, which a machine busy with other work inflates less than the wall clock.
double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

long PeakMb() { return bench::PeakKiB() / 1024; }

void Row(const char* what, double value, const char* unit, const char* goal, double cpu = -1) {
    std::printf("  %-58s     %10.3f %-3s", what, value, unit);
    if (cpu >= 0)
        std::printf(" (cpu %8.3f ms)", cpu);
    if (*goal)
        std::printf("  goal %s", goal);
    std::printf("\n");
}

// The peak memory of this program reading one workbook, every sheet of it, and nothing else,
// in MB; run as a process of its own so that nothing read before counts. A sheet is read when
// first used, so each is used: opening alone would read none.
int ReadPeak(const QString& path) {
    xl::Application excel;
    xl::Workbook* book = excel.Workbooks().Open(path);
    for (int i = 1; i <= book->Sheets().Count(); ++i)
        (void)book->Sheets().Item(i)->UsedRange();
    std::printf("%ld\n", PeakMb());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);  // the default font is measured through Qt
    if (argc > 2 && QByteArray(argv[1]) == "--read-peak")
        return ReadPeak(QString::fromLocal8Bit(argv[2]));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const QString million = folder + QStringLiteral("/million_cells.xlsx");
    const QString fiveMb = folder + QStringLiteral("/five_megabytes.xlsx");
    std::printf("Workbook engine benchmarks (%s)\n", qPrintable(folder));
    std::printf("  memory before opening: %ld MB\n", PeakMb());
    try {
        xl::Application excel;
        auto t = Clock::now();
        double cpu = CpuMs();
        xl::Worksheet* ws = excel.Workbooks().Open(million)->Sheets().Item(1);
        const double openMs = Ms(t), openCpu = CpuMs() - cpu;
        const xl::Range all = ws->Cells();
        auto lastRow = all.Find(QStringLiteral("*"), std::nullopt, xl::xlValues, xl::xlPart,
                                xl::xlByRows, xl::xlPrevious);
        auto lastCol = all.Find(QStringLiteral("*"), std::nullopt, xl::xlValues, xl::xlPart,
                                xl::xlByColumns, xl::xlPrevious);
        const double totalMs = Ms(t), totalCpu = CpuMs() - cpu;
        const QString last = lastRow && lastCol ? ws->Cells(lastRow->Row(), lastCol->Column()).Address()
                                                : QStringLiteral("(none)");
        std::printf("  %zu cells, last used cell %s\n", ws->Data().cells.size(), qPrintable(last));
        Row("open the 1,000,000-cell workbook", openMs, "ms", "", openCpu);
        Row("open it and find the last used cell", totalMs, "ms", "< 1500 ms", totalCpu);
        Row("peak memory so far", double(PeakMb()), "MB", "< 600 MB");
        // More samples, each in an Application of its own: one sample under load misleads.
        std::vector<double> opens{openMs}, totals{totalMs};
        for (int i = 0; i < 2; ++i) {
            xl::Application another;
            const auto s = Clock::now();
            const xl::Range cells = another.Workbooks().Open(million)->Sheets().Item(1)->Cells();
            opens.push_back(Ms(s));
            cells.Find(QStringLiteral("*"), std::nullopt, xl::xlValues, xl::xlPart, xl::xlByRows, xl::xlPrevious);
            cells.Find(QStringLiteral("*"), std::nullopt, xl::xlValues, xl::xlPart, xl::xlByColumns, xl::xlPrevious);
            totals.push_back(Ms(s));
        }
        bench::PrintSamples("open the 1,000,000-cell workbook", opens, "ms", "");
        bench::PrintSamples("open it and find the last used cell", totals, "ms", "< 1500 ms");

        t = Clock::now();
        cpu = CpuMs();
        auto needle = all.Find(QStringLiteral("needle"), std::nullopt, xl::xlValues, xl::xlWhole,
                               xl::xlByRows, xl::xlNext);
        Row("find a text by rows (in the last cell)", Ms(t), "ms", "< 100 ms", CpuMs() - cpu);
        std::printf("  found at %s\n", needle ? qPrintable(needle->Address()) : "(nowhere)");

        std::vector<double> firstOpens;
        for (int i = 0; i < 3; ++i) {
            xl::Application fresh;
            t = Clock::now();
            fresh.Workbooks().Open(fiveMb)->Close();
            firstOpens.push_back(Ms(t));
        }
        bench::PrintSamples("open the 5 MB workbook the first time", firstOpens, "ms", "");
        excel.Workbooks().Open(fiveMb)->Close();
        t = Clock::now();
        cpu = CpuMs();
        xl::Workbook* again = excel.Workbooks().Open(fiveMb);
        Row("open it again in the same Application", Ms(t), "ms", "< 1 ms", CpuMs() - cpu);
        again->Close();
        std::vector<double> reopen;
        for (int i = 0; i < 7; ++i) {
            t = Clock::now();
            excel.Workbooks().Open(fiveMb)->Close();
            reopen.push_back(Ms(t));
        }
        bench::PrintSamples("open the unchanged 5 MB workbook again", reopen, "ms", "< 1 ms");
    } catch (const xl::Error& e) {
        std::printf("  failed: %s\n", e.what());
        return 1;
    }
    const QString fifty = folder + QStringLiteral("/fifty_megabytes.xlsx");
    if (QFileInfo::exists(fifty)) {
        std::vector<double> ratios;
        for (int i = 0; i < 3; ++i) {
            QProcess p;
            p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--read-peak"), fifty});
            p.waitForFinished(600000);
            const double mb = QString::fromLatin1(p.readAllStandardOutput()).trimmed().toDouble();
            if (p.exitCode() == 0 && mb > 0)
                ratios.push_back(mb * 1024 * 1024 / double(QFileInfo(fifty).size()));
        }
        std::printf("  the 50 MB workbook: %.1f MB on disk\n", QFileInfo(fifty).size() / 1048576.0);
        bench::PrintSamples("peak memory reading it / its file size", ratios, "x", "< 3");
    }
    return 0;
}
