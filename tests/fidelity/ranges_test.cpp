// Our pictures of ranges against LibreOffice Calc's window, for workbooks Calc made itself: the
// columns and rows to the pixel, the text of every cell where Calc puts it, in its colour, and
// the lines between the cells in Calc's colours. Each range's two pictures go side by side into
// the evidence folder with the figures.

#include "CalcScreen.h"

#include "platform/workbook/Address.h"
#include "platform/workbook/Workbook.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cstdlib>

namespace {

using fidelity::CalcScreen;
using fidelity::ShownRange;

// Tolerances. Geometry is exact. Text is drawn by two different rasterizers, so its ink may
// start and end a few pixels apart (Calc hints its glyphs to whole pixels), but no further: a cell's text moved to the other side, cut
// to fewer characters or turned the other way is far outside. Colours are compared where they
// are strongest (the stems of the letters, the middle of a line).
constexpr int kInkSlack = 4;          // pixels, each edge of a cell's text
constexpr int kTextColourSlack = 56;  // per channel, the strongest pixel of a cell's text
constexpr int kColourSlack = 10;      // per channel, the colour along a line and of the fills
constexpr int kInkThreshold = 96;     // how far from the cell's background a pixel counts as ink
// Of the picture away from the text (fills, borders, grid lines), pixels off by more than
// kColourSlack * 4: a line drawn a pixel away, a fill or a border missing.
constexpr double kMaxDifferentShare = 0.025;

int Distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

QString Hex(QRgb c) { return QStringLiteral("#%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper(); }

// The colour most pixels of a rectangle (or a line) have.
QRgb Commonest(const QImage& img, const QRect& r) {
    QHash<QRgb, int> counts;
    QRgb best = 0xFFFFFF;
    int bestCount = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb c = img.pixel(x, y) & 0xFFFFFF;
            if (int n = ++counts[c]; n > bestCount)
                best = c, bestCount = n;
        }
    return best;
}

// A cell's text as drawn: the box of the pixels that stand out from its background, and the
// colour of the one that stands out most.
struct Ink {
    QRect box;
    QRgb colour = 0;
};

Ink InkOf(const QImage& img, const QRect& inside) {
    Ink ink;
    if (inside.width() <= 0 || inside.height() <= 0)
        return ink;
    const QRgb back = Commonest(img, inside);
    int strongest = -1;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QRgb c = img.pixel(x, y);
            const int d = Distance(c, back);
            if (d < kInkThreshold)
                continue;
            ink.box |= QRect(x, y, 1, 1);
            if (d > strongest)
                strongest = d, ink.colour = c & 0xFFFFFF;
        }
    return ink;
}

// Lines of a picture of a range: cols[0] is the line before the first column, cols[i + 1] the
// line after column i.
struct Lines {
    std::vector<int> cols, rows;
};

// Where the engine puts the range's lines.
Lines EngineLines(xl::Worksheet* ws, const xl::RangeRef& ref) {
    Lines lines{{0}, {0}};
    for (int32_t c = ref.col1; c <= ref.col2; ++c)
        lines.cols.push_back(lines.cols.back() + ws->ColumnWidthPixels(c));
    for (int32_t r = ref.row1; r <= ref.row2; ++r)
        lines.rows.push_back(lines.rows.back() + ws->RowHeightPixels(r));
    return lines;
}

// The pixels the text of a cell (or a merged area) may take: inside its lines, off them.
QRect Inside(const Lines& l, int c1, int r1, int c2, int r2) {
    return QRect(QPoint(l.cols[c1] + 2, l.rows[r1] + 2), QPoint(l.cols[c2 + 1] - 2, l.rows[r2 + 1] - 2));
}

int LineShift(const std::vector<int>& a, const std::vector<int>& b) {
    int sum = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        sum += std::abs(a[i] - b[i]);
    return sum;
}

// The share of the pixels that differ by more than `slack`, leaving out those in `skip`.
double DifferentShare(const QImage& a, const QImage& b, int slack, const QRegion& skip = {}) {
    const int w = std::min(a.width(), b.width()), h = std::min(a.height(), b.height());
    int64_t off = int64_t(a.width()) * a.height() - int64_t(w) * h;  // what only one of them has
    int64_t all = std::max(int64_t(a.width()) * a.height(), int64_t(b.width()) * b.height());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (skip.contains(QPoint(x, y))) {
                --all;
                continue;
            }
            off += Distance(a.pixel(x, y), b.pixel(x, y)) > slack;
        }
    return double(off) / double(std::max<int64_t>(1, all));
}

// Calc's picture, ours, and where they differ (red) side by side.
void SideBySide(const QImage& calc, const QImage& ours, const QString& name) {
    QImage diff(calc.size(), QImage::Format_RGB32);
    diff.fill(Qt::white);
    for (int y = 0; y < std::min(calc.height(), ours.height()); ++y)
        for (int x = 0; x < std::min(calc.width(), ours.width()); ++x)
            if (Distance(calc.pixel(x, y), ours.pixel(x, y)) > 4 * kColourSlack)
                diff.setPixel(x, y, qRgb(255, 0, 0));
    const int gap = 12;
    QImage both(calc.width() * 2 + ours.width() + 2 * gap, std::max(calc.height(), ours.height()),
                QImage::Format_RGB32);
    both.fill(QColor(255, 0, 255));
    QPainter p(&both);
    p.drawImage(0, 0, calc);
    p.drawImage(calc.width() + gap, 0, ours);
    p.drawImage(calc.width() + ours.width() + 2 * gap, 0, diff);
    p.end();
    both.save(CalcScreen::EvidenceFolder() + QLatin1Char('/') + name + QStringLiteral(".png"));
}

struct Case {
    const char* file;
    const char* sheet;
    const char* range;
};

// Every feature the workbooks have is in one of these ranges (see calc_range_workbooks.py).
const Case kCases[] = {
    {"ranges_report.xlsx", "Report", "A1:G8"},   // title, frozen header rows, hidden column
    // Currency, percent, dates, coloured borders; the stronger green line below row 7 belongs
    // to row 8, and shows on the range's edge.
    {"ranges_report.xlsx", "Report", "B3:E7"},
    {"ranges_cells.xlsx", "Cells", "A1:G6"},     // wrapped, turned, errors, numbers too wide
    {"ranges_cells.xlsx", "Cells", "B2:F5"},
};

TEST(RangesAsCalcShowsThem, GeometryTextAndLinesMatchCalcsWindow) {
    CalcScreen& calc = CalcScreen::Shared();
    ASSERT_TRUE(calc.Ready()) << calc.Why().toStdString();
    QString why;
    const QString folder = calc.Folder(QStringLiteral("ranges"));
    const QStringList made = calc.MakeWorkbooks(QStringLiteral("calc_range_workbooks.py"), folder, &why);
    ASSERT_EQ(made.size(), 2) << why.toStdString();

    xl::Application app;
    for (const Case& k : kCases) {
        const QString file = folder + QLatin1Char('/') + QLatin1String(k.file);
        const QString sheet = QLatin1String(k.sheet), range = QLatin1String(k.range);
        const QString name = QStringLiteral("%1_%2").arg(sheet, QString(range).replace(QLatin1Char(':'), QLatin1Char('_')));
        SCOPED_TRACE(name.toStdString());
        const std::optional<ShownRange> shown = calc.ShowRange(file, sheet, range, &why);
        ASSERT_TRUE(shown) << why.toStdString();
        const QImage ours = calc.Render(file, sheet, range, &why);
        ASSERT_FALSE(ours.isNull()) << why.toStdString();
        SideBySide(shown->picture, ours, name);

        xl::Worksheet* ws = app.Workbooks().Open(file)->Sheets().Item(sheet);
        const xl::RangeRef ref = *xl::ParseRange(range);
        const Lines engine = EngineLines(ws, ref);
        const Lines theirs{shown->cols, shown->rows};

        // Geometry: the picture is the engine's lines, and they are Calc's, each of them.
        EXPECT_EQ(ours.size(), QSize(engine.cols.back() + 1, engine.rows.back() + 1));
        EXPECT_EQ(engine.cols, theirs.cols) << "column lines";
        EXPECT_EQ(engine.rows, theirs.rows) << "row lines";
        EXPECT_EQ(ours.size(), shown->picture.size());

        // Text: each cell's, or merged area's, in both pictures, each inside its own lines.
        QStringList textOff;
        QRegion text;  // where either picture has text, and a pixel around it
        for (int32_t r = ref.row1; r <= ref.row2; ++r)
            for (int32_t c = ref.col1; c <= ref.col2; ++c) {
                xl::RangeRef area{r, c, r, c};
                if (auto m = ws->MergeAreaOf(r, c)) {
                    if (m->row1 != r && r != ref.row1)
                        continue;
                    if (m->col1 != c && c != ref.col1)
                        continue;
                    area = xl::RangeRef{r, c, std::min(m->row2, ref.row2), std::min(m->col2, ref.col2)};
                }
                const int c1 = area.col1 - ref.col1, r1 = area.row1 - ref.row1;
                const int c2 = area.col2 - ref.col1, r2 = area.row2 - ref.row1;
                const Ink a = InkOf(shown->picture, Inside(theirs, c1, r1, c2, r2));
                const Ink b = InkOf(ours, Inside(engine, c1, r1, c2, r2));
                const QString cell = xl::CellAddress(r, c, false, false);
                if (a.box.isNull() != b.box.isNull()) {
                    text += a.box.isNull() ? b.box : a.box;
                    textOff << QStringLiteral("%1: ink only in %2").arg(cell, a.box.isNull() ? "ours" : "Calc's");
                    continue;
                }
                if (a.box.isNull())
                    continue;
                text += a.box.adjusted(-1, -1, 1, 1);
                text += b.box.adjusted(-1, -1, 1, 1);
                // Relative to each picture's own cell, so that a column drift is counted once.
                const QPoint oa(theirs.cols[c1], theirs.rows[r1]), ob(engine.cols[c1], engine.rows[r1]);
                const QRect ra = a.box.translated(-oa), rb = b.box.translated(-ob);
                if (std::abs(ra.left() - rb.left()) > kInkSlack || std::abs(ra.right() - rb.right()) > kInkSlack ||
                    std::abs(ra.top() - rb.top()) > kInkSlack || std::abs(ra.bottom() - rb.bottom()) > kInkSlack)
                    textOff << QStringLiteral("%1: Calc's text at x %2-%3 y %4-%5, ours at x %6-%7 y %8-%9")
                                   .arg(cell)
                                   .arg(ra.left()).arg(ra.right()).arg(ra.top()).arg(ra.bottom())
                                   .arg(rb.left()).arg(rb.right()).arg(rb.top()).arg(rb.bottom());
                if (Distance(a.colour, b.colour) > kTextColourSlack)
                    textOff << QStringLiteral("%1: Calc's text in %2, ours in %3").arg(cell, Hex(a.colour), Hex(b.colour));
            }
        EXPECT_TRUE(textOff.isEmpty()) << textOff.join(QLatin1Char('\n')).toStdString();

        // The whole picture, and the picture away from the text.
        const int colShift = LineShift(engine.cols, theirs.cols), rowShift = LineShift(engine.rows, theirs.rows);
        const double whole = DifferentShare(shown->picture, ours, 4 * kColourSlack);
        const double untexted = DifferentShare(shown->picture, ours, 4 * kColourSlack, text);
        std::printf("fidelity %s: Calc %dx%d, ours %dx%d; column lines off by %d px in all, row lines by %d px; "
                    "pixels that differ: %.2f %% of the picture, %.2f %% away from the text\n",
                    qPrintable(name), shown->picture.width(), shown->picture.height(), ours.width(), ours.height(),
                    colShift, rowShift, 100 * whole, 100 * untexted);
        EXPECT_LE(untexted, kMaxDifferentShare);

        // The lines between the cells: grid lines and borders, in Calc's colour along most of
        // each. The first line is the headers' edge in Calc when the range starts the pane.
        QStringList linesOff;
        const int bottom = std::min(engine.rows.back(), theirs.rows.back()) - 1;
        const int right = std::min(engine.cols.back(), theirs.cols.back()) - 1;
        for (size_t i = shown->leftLineIsGrid ? 0 : 1; i < std::min(engine.cols.size(), theirs.cols.size()); ++i) {
            const QRgb a = Commonest(shown->picture, QRect(theirs.cols[i], 1, 1, bottom));
            const QRgb b = Commonest(ours, QRect(engine.cols[i], 1, 1, bottom));
            if (Distance(a, b) > kColourSlack)
                linesOff << QStringLiteral("column line %1: Calc %2, ours %3").arg(i).arg(Hex(a), Hex(b));
        }
        for (size_t i = shown->topLineIsGrid ? 0 : 1; i < std::min(engine.rows.size(), theirs.rows.size()); ++i) {
            const QRgb a = Commonest(shown->picture, QRect(1, theirs.rows[i], right, 1));
            const QRgb b = Commonest(ours, QRect(1, engine.rows[i], right, 1));
            if (Distance(a, b) > kColourSlack)
                linesOff << QStringLiteral("row line %1: Calc %2, ours %3").arg(i).arg(Hex(a), Hex(b));
        }
        EXPECT_TRUE(linesOff.isEmpty()) << linesOff.join(QLatin1Char('\n')).toStdString();
    }
}

}  // namespace
