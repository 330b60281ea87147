// Timings of the workbook engine against its targets: open a million-cell sheet and find its
// last used cell (1.5 s, 600 MB), find a text by rows in it (100 ms), open an unchanged 5 MB
// workbook again in the same Application (1 ms). Figures only: nothing is asserted.

#include "platform/workbook/Workbook.h"

#include <QGuiApplication>

#include <sys/resource.h>

#include <chrono>
#include <ctime>
#include <cstdio>

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

long PeakMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;  // kilobytes on Linux
}

void Row(const char* what, double value, const char* unit, const char* target, double cpu = -1) {
    std::printf("  %-44s %10.3f %-3s", what, value, unit);
    if (cpu >= 0)
        std::printf(" (cpu %8.3f ms)", cpu);
    else
        std::printf("                 ");
    std::printf("  target %s\n", target);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);  // the default font is measured through Qt
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
        Row("open the 1,000,000-cell workbook", openMs, "ms", "-", openCpu);
        Row("open it and find the last used cell", totalMs, "ms", "< 1500 ms", totalCpu);
        Row("peak memory so far", double(PeakMb()), "MB", "< 600 MB");

        t = Clock::now();
        cpu = CpuMs();
        auto needle = all.Find(QStringLiteral("needle"), std::nullopt, xl::xlValues, xl::xlWhole,
                               xl::xlByRows, xl::xlNext);
        Row("find a text by rows (in the last cell)", Ms(t), "ms", "< 100 ms", CpuMs() - cpu);
        std::printf("  found at %s\n", needle ? qPrintable(needle->Address()) : "(nowhere)");

        t = Clock::now();
        cpu = CpuMs();
        excel.Workbooks().Open(fiveMb)->Close();
        Row("open the 5 MB workbook the first time", Ms(t), "ms", "-", CpuMs() - cpu);
        t = Clock::now();
        cpu = CpuMs();
        xl::Workbook* again = excel.Workbooks().Open(fiveMb);
        Row("open it again in the same Application", Ms(t), "ms", "< 1 ms", CpuMs() - cpu);
        again->Close();
    } catch (const xl::Error& e) {
        std::printf("  failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
