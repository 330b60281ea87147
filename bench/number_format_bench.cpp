// How long formatting one cell's value takes: painting formats every visible cell, so this
// bounds the text part of a range picture (a 30 x 12 range is 360 calls).

#include "platform/workbook/NumberFormat.h"

#include <benchmark/benchmark.h>

#include <QStringList>

namespace {

const QStringList& Codes() {
    static const QStringList codes = {
        QStringLiteral("General"),
        QStringLiteral("#,##0.00"),
        QStringLiteral("0%"),
        QStringLiteral("m/d/yyyy"),
        QStringLiteral("_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)"),
        QStringLiteral("[h]:mm:ss"),
        QStringLiteral("0.00E+00"),
        QStringLiteral("# ?/?"),
        QStringLiteral("[Red][>100]#,##0;[Blue]-#,##0;0"),
        QStringLiteral("dddd, mmmm d, yyyy"),
    };
    return codes;
}

void BM_FormatValue(benchmark::State& state) {
    const QString& code = Codes()[static_cast<int>(state.range(0))];
    state.SetLabel(code.toStdString());
    double v = 1234.5678;
    for (auto _ : state) {
        auto f = xl::FormatValue(xl::CellValue::Number(v), code);
        benchmark::DoNotOptimize(f);
        v += 0.37;
        if (v > 50000) v = 0.1;
    }
}
BENCHMARK(BM_FormatValue)->DenseRange(0, 9);

// A 30 x 12 range of mixed formats, as one range picture formats it.
void BM_FormatRange(benchmark::State& state) {
    const QStringList& codes = Codes();
    for (auto _ : state) {
        for (int r = 0; r < 30; ++r) {
            for (int c = 0; c < 12; ++c) {
                auto f = xl::FormatValue(xl::CellValue::Number(r * 1000.25 + c * 3.5 - 50),
                                         codes[(r + c) % codes.size()]);
                benchmark::DoNotOptimize(f);
            }
        }
    }
}
BENCHMARK(BM_FormatRange)->Unit(benchmark::kMicrosecond);

// Parsing cost: a code seen for the first time (the cache keys on the code text).
void BM_FirstUse(benchmark::State& state) {
    int n = 0;
    for (auto _ : state) {
        const QString code = QStringLiteral("#,##0.00 \"u%1\";[Red]-#,##0.00").arg(n++ % 100000);
        auto f = xl::FormatValue(xl::CellValue::Number(-1234.5), code);
        benchmark::DoNotOptimize(f);
    }
}
BENCHMARK(BM_FirstUse);

}  // namespace

BENCHMARK_MAIN();
