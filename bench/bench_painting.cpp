// Timings of the painter against its targets, on one 5 MB workbook with 20 ranges of
// 30 x 12 cells in mixed formats and 5 charts:
//   - cold: the workbook opened in a new Application, then its first picture (< 150 ms);
//   - warm: the workbook already open, per range picture (< 20 ms) and per chart;
//   - LibreOffice converting the same workbook to PDF headless, per picture of ours, and the
//     ratio of the two (at least 20).
// Figures only: nothing is asserted. SB_BENCH_NO_LIBREOFFICE=1 leaves out the minute-long
// LibreOffice run.

#include "platform/workbook/CopyPicture.h"
#include "platform/workbook/Workbook.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

void Row(const char* what, double value, const char* unit, const char* target) {
    std::printf("  %-56s %10.3f %-3s %s\n", what, value, unit, target);
}

constexpr int kRanges = 20;
constexpr int kCharts = 5;

QString RangeOf(int k) {  // block k of the "Report" sheet, below its title row
    const int top = 2 + 31 * k;
    return QStringLiteral("A%1:L%2").arg(top).arg(top + 29);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One whole pass: every range and every chart of the open workbook; returns the time.
double PaintAll(xl::Workbook* book, double* rangesMs = nullptr, double* chartsMs = nullptr) {
    xl::Worksheet* report = book->Sheets().Item(QStringLiteral("Report"));
    xl::Worksheet* charts = book->Sheets().Item(QStringLiteral("Charts"));
    auto t = Clock::now();
    for (int k = 0; k < kRanges; ++k) {
        const QImage img = xl::RangePicture(report->Range(RangeOf(k)));
        if (img.isNull())
            throw xl::Error(QStringLiteral("no picture"));
    }
    const double r = Ms(t);
    t = Clock::now();
    for (int k = 1; k <= kCharts; ++k) {
        const xl::ChartPicture pic =
            xl::ShapePicture(*charts->Shapes().Item(QStringLiteral("Chart %1").arg(k)));
        if (pic.image.isNull() || pic.placeholder)
            throw xl::Error(QStringLiteral("chart %1 not drawn").arg(k));
    }
    const double c = Ms(t);
    if (rangesMs)
        *rangesMs = r;
    if (chartsMs)
        *chartsMs = c;
    return r + c;
}

// LibreOffice's headless conversion of the workbook to PDF, with a profile of its own so
// that it never meets a running LibreOffice; negative when there is no soffice.
double LibreOfficeMs(const QString& path) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        return -1;
    QTemporaryDir dir;
    const QStringList args = {QStringLiteral("--headless"), QStringLiteral("--norestore"),
                              QStringLiteral("-env:UserInstallation=file://") + dir.path() +
                                  QStringLiteral("/profile"),
                              QStringLiteral("--convert-to"), QStringLiteral("pdf"),
                              QStringLiteral("--outdir"), dir.path(), path};
    // The first start makes the profile: not part of what a user waits for each time.
    QProcess::execute(soffice, args);
    auto t = Clock::now();
    const int rc = QProcess::execute(soffice, args);
    const double ms = Ms(t);
    const QString pdf = dir.path() + QLatin1Char('/') + QFileInfo(path).completeBaseName() +
                        QStringLiteral(".pdf");
    return rc == 0 && QFileInfo::exists(pdf) ? ms : -1;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const QString path = folder + QStringLiteral("/painting_bench.xlsx");
    std::printf("Painter benchmarks (%s, %.1f MB)\n", qPrintable(path),
                QFileInfo(path).size() / 1e6);
    try {
        // Cold: a new Application each time, the file parsed again.
        std::vector<double> firstPicture, openOnly, coldAll;
        for (int i = 0; i < 5; ++i) {
            xl::Application excel;
            auto t = Clock::now();
            xl::Workbook* book = excel.Workbooks().Open(path);
            openOnly.push_back(Ms(t));
            xl::RangePicture(book->Sheets().Item(QStringLiteral("Report"))->Range(RangeOf(0)));
            firstPicture.push_back(Ms(t));
            xl::Application again;
            t = Clock::now();
            PaintAll(again.Workbooks().Open(path));
            coldAll.push_back(Ms(t));
        }
        Row("cold: open the workbook and paint its first range", Median(firstPicture), "ms",
            "(target < 150 ms)");
        Row("cold: of which reading the workbook", Median(openOnly), "ms", "");
        Row("cold: open it and paint 20 ranges and 5 charts", Median(coldAll), "ms", "");

        // Warm: the workbook open; the fonts and formats met once already.
        xl::Application excel;
        xl::Workbook* book = excel.Workbooks().Open(path);
        PaintAll(book);
        std::vector<double> perRange, perChart, perPicture;
        for (int i = 0; i < 10; ++i) {
            double r = 0, c = 0;
            const double all = PaintAll(book, &r, &c);
            perRange.push_back(r / kRanges);
            perChart.push_back(c / kCharts);
            perPicture.push_back(all / (kRanges + kCharts));
        }
        const double warmPicture = Median(perPicture);
        Row("warm: per range picture (30 x 12)", Median(perRange), "ms", "(target < 20 ms)");
        Row("warm: per chart picture", Median(perChart), "ms", "");
        Row("warm: per picture, ranges and charts", warmPicture, "ms", "");

        const double lo = qEnvironmentVariableIsSet("SB_BENCH_NO_LIBREOFFICE") ? -1 : LibreOfficeMs(path);
        if (lo < 0) {
            std::printf("  LibreOffice: soffice not found or the conversion failed; no ratio\n");
        } else {
            const double loPerPicture = lo / (kRanges + kCharts);
            const double coldPerPicture = Median(coldAll) / (kRanges + kCharts);
            Row("LibreOffice: the workbook to PDF, headless", lo, "ms", "");
            Row("LibreOffice: per picture of ours (25)", loPerPicture, "ms", "");
            Row("ratio LibreOffice / ours, warm", loPerPicture / warmPicture, "x", "(target >= 20)");
            Row("ratio LibreOffice / ours, cold", loPerPicture / coldPerPicture, "x", "");
        }
    } catch (const xl::Error& e) {
        std::printf("  failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
