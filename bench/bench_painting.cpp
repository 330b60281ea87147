// Timings of the painter against its goals, several samples each (min and median), on one
// 5 MB workbook with 20 ranges of 30 x 12 cells in mixed formats, 5 charts and a big sheet of
// numbers ("Bulk") that no picture shows:
//   - cold: the workbook opened in a new Application, then its first picture (< 100 ms);
//   - the same without the big sheet (painting_bench_small.xlsx): the big sheet should cost
//     little, the picture within 1.5 times the time of the small workbook's;
//   - warm: the workbook already open, per range picture (< 20 ms) and per chart;
//   - the like-for-like peer: LibreOffice converting the workbook to a PNG of its first page,
//     headless, against our cold first picture; where its Calc has no PNG export, to a PDF of
//     page 1, which the workbook's print area makes the first range.
// Figures only: nothing is asserted. SB_BENCH_NO_LIBREOFFICE=1 leaves out the LibreOffice runs.

#include "BenchSupport.h"

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
    std::printf("  %-58s %10.3f %-3s %s\n", what, value, unit, target);
}

// Cold: a new Application each time, the file read again, then the first range's picture.
std::vector<double> ColdFirstPicture(const QString& path, int samples, std::vector<double>* readOnly = nullptr);

constexpr int kRanges = 20;
constexpr int kCharts = 5;

QString RangeOf(int k) {  // block k of the "Report" sheet, below its title row
    const int top = 2 + 31 * k;
    return QStringLiteral("A%1:L%2").arg(top).arg(top + 29);
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

std::vector<double> ColdFirstPicture(const QString& path, int samples, std::vector<double>* readOnly) {
    std::vector<double> out;
    for (int i = 0; i < samples; ++i) {
        xl::Application excel;
        auto t = Clock::now();
        xl::Workbook* book = excel.Workbooks().Open(path);
        if (readOnly)
            readOnly->push_back(Ms(t));
        xl::RangePicture(book->Sheets().Item(QStringLiteral("Report"))->Range(RangeOf(0)));
        out.push_back(Ms(t));
    }
    return out;
}

// LibreOffice's headless conversion of the workbook ("png": a PNG of the first page; "pdf": a
// PDF of page 1 alone, which the fixture's print area makes the first range), with a profile of
// its own so that it never meets a running LibreOffice; the times of `samples` runs after a
// first that makes the profile; empty when there is no soffice or it made nothing.
std::vector<double> LibreOfficeMs(const QString& path, const QString& format, int samples) {
    // Calc names its export filters: "png" alone finds none.
    const QString convertTo = format == QLatin1String("png")
                                  ? QStringLiteral("png:calc_png_Export")
                                  : QStringLiteral("pdf:calc_pdf_Export:{\"PageRange\":{\"type\":\"string\",\"value\":\"1\"}}");
    std::vector<double> out;
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        return out;
    QTemporaryDir dir;
    const QStringList args = {QStringLiteral("--headless"), QStringLiteral("--norestore"),
                              QStringLiteral("-env:UserInstallation=file://") + dir.path() +
                                  QStringLiteral("/profile"),
                              QStringLiteral("--convert-to"), convertTo,
                              QStringLiteral("--outdir"), dir.path(), path};
    // The first start makes the profile: not part of what a user waits for each time.
    QProcess::execute(soffice, args);
    const QString result = dir.path() + QLatin1Char('/') + QFileInfo(path).completeBaseName() +
                           QLatin1Char('.') + format;
    for (int i = 0; i < samples; ++i) {
        QFile::remove(result);
        auto t = Clock::now();
        const int rc = QProcess::execute(soffice, args);
        const double ms = Ms(t);
        if (rc != 0 || !QFileInfo::exists(result))
            return {};
        out.push_back(ms);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const QString path = folder + QStringLiteral("/painting_bench.xlsx");
    std::printf("Painter benchmarks (%s, %.1f MB)\n", qPrintable(path),
                QFileInfo(path).size() / 1e6);
    try {
        std::vector<double> openOnly;
        const std::vector<double> firstPicture = ColdFirstPicture(path, 7, &openOnly);
        bench::PrintSamples("cold: open the workbook and paint its first range", firstPicture, "ms", "< 100 ms");
        bench::PrintSamples("cold: of which opening it (zip directory, list of sheets)", openOnly, "ms", "");
        const QString small = folder + QStringLiteral("/painting_bench_small.xlsx");
        if (QFileInfo::exists(small)) {
            const std::vector<double> smallPicture = ColdFirstPicture(small, 7);
            bench::PrintSamples("cold: the same without the big sheet", smallPicture, "ms", "");
            Row("ratio with the big sheet / without", bench::Median(firstPicture) / bench::Median(smallPicture), "x",
                "(goal < 1.5)");
        }
        std::vector<double> coldAll;
        for (int i = 0; i < 5; ++i) {
            xl::Application again;
            auto t = Clock::now();
            PaintAll(again.Workbooks().Open(path));
            coldAll.push_back(Ms(t));
        }
        bench::PrintSamples("cold: open it and paint 20 ranges and 5 charts", coldAll, "ms", "");

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
        const double warmPicture = bench::Median(perPicture);
        bench::PrintSamples("warm: per range picture (30 x 12)", perRange, "ms", "< 20 ms");
        bench::PrintSamples("warm: per chart picture", perChart, "ms", "");
        bench::PrintSamples("warm: per picture, ranges and charts", perPicture, "ms", "");

        if (qEnvironmentVariableIsSet("SB_BENCH_NO_LIBREOFFICE")) {
            std::printf("  LibreOffice: left out (SB_BENCH_NO_LIBREOFFICE)\n");
        } else if (const std::vector<double> png = LibreOfficeMs(path, QStringLiteral("png"), 3); !png.empty()) {
            bench::PrintSamples("LibreOffice: the workbook to a PNG of page 1, headless", png, "ms", "");
            Row("ratio LibreOffice page-1 PNG / our cold first picture", bench::Median(png) / bench::Median(firstPicture), "x",
                "(like for like)");
            Row("ratio LibreOffice page-1 PNG / our warm picture", bench::Median(png) / warmPicture, "x", "");
        } else if (const std::vector<double> pdf = LibreOfficeMs(path, QStringLiteral("pdf"), 3); !pdf.empty()) {
            // Its headless Calc here has no PNG export: the same range, page 1, as a PDF.
            std::printf("  LibreOffice: no PNG export of a Calc document here; the first range as a PDF instead\n");
            bench::PrintSamples("LibreOffice: the workbook to a PDF of the first range", pdf, "ms", "");
            Row("ratio LibreOffice range PDF / our cold first picture", bench::Median(pdf) / bench::Median(firstPicture), "x",
                "(like for like)");
            Row("ratio LibreOffice range PDF / our warm picture", bench::Median(pdf) / warmPicture, "x", "");
        } else {
            std::printf("  LibreOffice: soffice not found, or it made neither a PNG nor a PDF of the workbook; no ratio\n");
        }
    } catch (const xl::Error& e) {
        std::printf("  failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
