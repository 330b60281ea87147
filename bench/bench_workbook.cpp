// Timings of the workbook engine against its targets: open a million-cell sheet and find its
// last used cell (1.5 s, 600 MB), find a text by rows in it (100 ms), open an unchanged 5 MB
// workbook again in the same Application (1 ms). Figures only: nothing is asserted.

#include "platform/workbook/Workbook.h"

#include <QGuiApplication>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

long PeakMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;  // kilobytes on Linux
}

void Row(const char* what, double value, const char* unit, const char* target) {
    std::printf("  %-52s %10.3f %-3s (target %s)\n", what, value, unit, target);
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
        xl::Worksheet* ws = excel.Workbooks().Open(million)->Sheets().Item(1);
        const double openMs = Ms(t);
        const xl::Range all = ws->Cells();
        auto lastRow = all.Find(QStringLiteral("*"), std::nullopt, xl::xlValues, xl::xlPart,
                                xl::xlByRows, xl::xlPrevious);
        auto lastCol = all.Find(QStringLiteral("*"), std::nullopt, xl::xlValues, xl::xlPart,
                                xl::xlByColumns, xl::xlPrevious);
        const double totalMs = Ms(t);
        const QString last = lastRow && lastCol ? ws->Cells(lastRow->Row(), lastCol->Column()).Address()
                                                : QStringLiteral("(none)");
        std::printf("  %zu cells, last used cell %s\n", ws->Data().cells.size(), qPrintable(last));
        Row("open the 1,000,000-cell workbook", openMs, "ms", "");
        Row("open it and find the last used cell", totalMs, "ms", "< 1500 ms");
        Row("peak memory so far", double(PeakMb()), "MB", "< 600 MB");

        t = Clock::now();
        auto needle = all.Find(QStringLiteral("needle"), std::nullopt, xl::xlValues, xl::xlWhole,
                               xl::xlByRows, xl::xlNext);
        Row("find a text by rows (in the last cell)", Ms(t), "ms", "< 100 ms");
        std::printf("  found at %s\n", needle ? qPrintable(needle->Address()) : "(nowhere)");

        t = Clock::now();
        excel.Workbooks().Open(fiveMb)->Close();
        Row("open the 5 MB workbook the first time", Ms(t), "ms", "");
        t = Clock::now();
        xl::Workbook* again = excel.Workbooks().Open(fiveMb);
        Row("open it again in the same Application", Ms(t), "ms", "< 1 ms");
        again->Close();
    } catch (const xl::Error& e) {
        std::printf("  failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
