// Reading big workbooks, against what they must cost at least, several samples each (min and
// median), every ratio from figures of the same run:
//   - a 3 x 3 summary range beside a 200 MB data sheet, cold (a new Application, the file opened
//     and the picture painted), against the same summary beside 5 MB of data: within 2 times,
//     and the process's peak memory below 50 MiB;
//   - a range at the top and one at the bottom of a 50 MB sheet, cold, against the floor:
//     inflating that sheet's part alone, nothing parsed, in the same run: within 2 times, and
//     the process's peak memory at most 1.5 times the file.
//   - 24 ranges of the 50 MB sheet painted at once from one Application, on the machine's
//     cores, as a dashboard of 24 panels from that workbook paints them: peak memory at most
//     1.5 times the file; printed beside it, the least the program, the pictures and the
//     sheet's numbers take together.
// Peak memory is measured in a process of its own that reads one picture and nothing else.
// Figures only: nothing is asserted.

#include "BenchSupport.h"

#include "platform/workbook/CopyPicture.h"
#include "platform/workbook/Workbook.h"
#include "platform/workbook/ZipArchive.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QThreadPool>

#include <chrono>
#include <ctime>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// Processor time of the whole process, every thread: on a busy machine the wall clock says
// more about the other work than about ours.
double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

struct Sample {
    double wall = 0, cpu = 0;
};

struct Samples {
    std::vector<double> wall, cpu;
    void Add(Sample s) {
        wall.push_back(s.wall);
        cpu.push_back(s.cpu);
    }
    void Print(const char* what) const {
        bench::PrintSamples(what, wall, "ms", "");
        bench::PrintSamples("  processor time of it, every thread", cpu, "ms", "");
    }
};

constexpr double kMiB = 1024.0 * 1024.0;

// A new Application, the workbook opened and one range painted: what a panel costs the first
// time it is shown from a file no parse is kept of.
Sample ColdPicture(const QString& path, const QString& sheet, const QString& range) {
    xl::Application excel;
    const auto t = Clock::now();
    const double cpu = CpuMs();
    const QImage image = xl::RangePicture(excel.Workbooks().Open(path)->Sheets().Item(sheet)->Range(range));
    if (image.isNull())
        throw xl::Error(QStringLiteral("no picture of %1!%2").arg(sheet, range));
    return {Ms(t), CpuMs() - cpu};
}

// Inflating the sheet's part alone, a piece at a time into one buffer, as the reader inflates
// it; the zip's directory is read before the clock starts.
Sample InflateOnly(const QString& path, const QString& sheet) {
    xl::Application excel;
    xl::Workbook* book = excel.Workbooks().Open(path);
    const QString part = book->Sheets().Item(sheet)->Entry().partName;
    const auto t = Clock::now();
    const double cpu = CpuMs();
    xl::EntryReader reader = book->Data().package.PartReader(part);
    QByteArray buffer;
    int64_t total = 0;
    for (;;) {
        buffer.resize(0);
        const qsizetype n = reader.Read(buffer, qsizetype(1) << 20);
        if (n == 0)
            break;
        total += n;
    }
    if (total != reader.Size())
        throw xl::Error(QStringLiteral("the part inflated short"));
    return {Ms(t), CpuMs() - cpu};
}

// 24 ranges spread down the sheet, painted at once on the pool's threads from one Application,
// as a dashboard paints its panels; every picture must be there. Returns the bytes the 24
// pictures hold.
qint64 PaintPanels(const QString& path, const QString& sheet) {
    xl::Application excel;
    xl::Worksheet* ws = excel.Workbooks().Open(path)->Sheets().Item(sheet);
    constexpr int kPanels = 24;
    std::vector<QImage> images(kPanels);
    QThreadPool pool;
    for (int i = 0; i < kPanels; ++i)
        pool.start([&, i] {
            const int top = 1 + i * 7900;
            images[size_t(i)] = xl::RangePicture(ws->Range(QStringLiteral("A%1:L%2").arg(top).arg(top + 29)));
        });
    pool.waitForDone();
    qint64 bytes = 0;
    for (const QImage& image : images) {
        if (image.isNull())
            throw xl::Error(QStringLiteral("a panel was not painted"));
        bytes += image.sizeInBytes();
    }
    return bytes;
}

// The peak memory, in MiB, of a process of its own that paints one range of the workbook
// (or, with range "panels", the 24 panels above, and then `pictures` is the MiB they hold).
double PeakMiB(const QString& path, const QString& sheet, const QString& range, double* pictures = nullptr) {
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--peak"), path, sheet, range});
    p.waitForFinished(600000);
    const QStringList figures = QString::fromLatin1(p.readAllStandardOutput()).split(QLatin1Char(' '));
    const double kib = figures.value(0).trimmed().toDouble();
    if (pictures)
        *pictures = figures.value(1).trimmed().toDouble() / 1024.0;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 && kib > 0 ? kib / 1024.0 : -1;
}

std::vector<double> Peaks(const QString& path, const QString& sheet, const QString& range, int samples,
                          double* pictures = nullptr) {
    std::vector<double> out;
    for (int i = 0; i < samples; ++i)
        if (const double mib = PeakMiB(path, sheet, range, pictures); mib > 0)
            out.push_back(mib);
    return out;
}

void Ratio(const char* what, double value, const char* goal) {
    std::printf("  %-58s %10.2f x", what, value);
    if (*goal)
        std::printf("    goal %s", goal);
    std::printf("\n");
}

void SummaryBesideData(const QString& folder) {
    const QString big = folder + QStringLiteral("/summary_beside_200mb.xlsx");
    const QString small = folder + QStringLiteral("/summary_beside_5mb.xlsx");
    if (!QFileInfo::exists(big) || !QFileInfo::exists(small)) {
        std::printf("  summary beside data: %s or %s is missing\n", qPrintable(big), qPrintable(small));
        return;
    }
    std::printf("  summary A1:C3 beside data: %.1f MB and %.1f MB on disk\n", QFileInfo(big).size() / 1e6,
                QFileInfo(small).size() / 1e6);
    const QString sheet = QStringLiteral("Summary"), range = QStringLiteral("A1:C3");
    Samples bigMs, smallMs;
    for (int i = 0; i < 9; ++i) {  // alternating, so that a busy moment weighs on both
        bigMs.Add(ColdPicture(big, sheet, range));
        smallMs.Add(ColdPicture(small, sheet, range));
    }
    bigMs.Print("cold summary picture, beside 200 MB of data");
    smallMs.Print("cold summary picture, beside 5 MB of data");
    Ratio("ratio beside 200 MB / beside 5 MB (medians)", bench::Median(bigMs.wall) / bench::Median(smallMs.wall),
          "<= 2");
    bench::PrintSamples("peak memory, summary beside 200 MB (a process of its own)", Peaks(big, sheet, range, 3),
                        "MiB", "< 50 MiB");
    bench::PrintSamples("peak memory, summary beside 5 MB (a process of its own)", Peaks(small, sheet, range, 3),
                        "MiB", "");
}

void RangesOfABigSheet(const QString& folder) {
    const QString path = folder + QStringLiteral("/fifty_megabytes.xlsx");
    if (!QFileInfo::exists(path)) {
        std::printf("  50 MB sheet: %s is missing\n", qPrintable(path));
        return;
    }
    const double fileMiB = double(QFileInfo(path).size()) / kMiB;
    std::printf("  50 MB sheet \"Numbers\" (190,000 rows x 20 numbers): %.1f MiB on disk\n", fileMiB);
    const QString sheet = QStringLiteral("Numbers");
    const struct {
        const char* name;
        QString range;
    } places[] = {{"top", QStringLiteral("A1:L30")}, {"bottom", QStringLiteral("A189971:L190000")}};
    Samples floor;
    std::vector<Samples> ours(std::size(places));
    for (int i = 0; i < 5; ++i) {
        floor.Add(InflateOnly(path, sheet));
        for (size_t k = 0; k < std::size(places); ++k)
            ours[k].Add(ColdPicture(path, sheet, places[k].range));
    }
    floor.Print("floor: inflating the sheet's part alone");
    for (size_t k = 0; k < std::size(places); ++k) {
        const QByteArray what = QStringLiteral("cold picture of %1 (%2)").arg(places[k].range, places[k].name).toUtf8();
        ours[k].Print(what.constData());
        Ratio(QStringLiteral("ratio %1 / floor (medians)").arg(places[k].name).toUtf8().constData(),
              bench::Median(ours[k].wall) / bench::Median(floor.wall), "<= 2");
        Ratio(QStringLiteral("  the same in processor time").toUtf8().constData(),
              bench::Median(ours[k].cpu) / bench::Median(floor.cpu), "");
    }
    std::vector<double> ratios;
    for (const double mib : Peaks(path, sheet, places[1].range, 3))
        ratios.push_back(mib / fileMiB);
    bench::PrintSamples("peak memory, bottom range / the file (own process)", ratios, "x", "<= 1.5");
    std::vector<double> panels;
    double picturesMiB = 0;
    for (const double mib : Peaks(path, sheet, QStringLiteral("panels"), 3, &picturesMiB))
        panels.push_back(mib / fileMiB);
    bench::PrintSamples("peak memory, 24 panels painted at once / the file", panels, "x", "<= 1.5");
    // What no reader can go below while the pictures are held and the whole sheet is kept (the
    // update pass searches the parse the pictures are painted from): the program itself, the
    // pictures, and the sheet's numbers at 8 bytes each (random doubles: nothing to compress).
    const std::vector<double> program =
        Peaks(folder + QStringLiteral("/summary_beside_5mb.xlsx"), QStringLiteral("Summary"), QStringLiteral("A1:C3"), 3);
    if (program.empty())
        return;
    const double programMiB = *std::min_element(program.begin(), program.end());
    const double numbersMiB = 190000.0 * 20 * 8 / kMiB;
    Ratio("  of which the program (a 3 x 3 range of a 5 MB workbook)", programMiB / fileMiB, "");
    Ratio("  of which the 24 pictures held", picturesMiB / fileMiB, "");
    Ratio("  and the 3.8 M numbers at 8 bytes each", numbersMiB / fileMiB, "");
    Ratio("  lowest reachable, the three together", (programMiB + picturesMiB + numbersMiB) / fileMiB, "");
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);  // the default font is measured through Qt
    if (argc > 4 && QByteArray(argv[1]) == "--peak") {
        try {
            qint64 pictures = 0;
            if (QByteArray(argv[4]) == "panels")
                pictures = PaintPanels(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
            else
                ColdPicture(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                            QString::fromLocal8Bit(argv[4]));
            std::printf("%ld %lld\n", bench::PeakKiB(), pictures / 1024);
        } catch (const xl::Error& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
        return 0;
    }
    if (argc > 3 && QByteArray(argv[1]) == "--inflate") {  // the floor alone, for a profiler
        std::printf("%.1f ms\n", InflateOnly(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3])).wall);
        return 0;
    }
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    std::printf("Reading big workbooks (%s)\n", qPrintable(folder));
    try {
        SummaryBesideData(folder);
        RangesOfABigSheet(folder);
    } catch (const xl::Error& e) {
        std::printf("  failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
