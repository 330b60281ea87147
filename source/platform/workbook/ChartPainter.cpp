#include "platform/workbook/ChartPainter.h"

#include "platform/workbook/Chart.h"
#include "platform/workbook/Error.h"
#include "platform/workbook/FontMap.h"
#include "platform/workbook/NumberFormat.h"
#include "platform/workbook/RangePainter.h"
#include "platform/workbook/Styles.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace xl {

namespace {

const QColor kTextColor(89, 89, 89);    // the chart style's dark grey text
const QColor kLineColor(217, 217, 217); // axis lines, gridlines and the chart's frame
constexpr int kMargin = 8;
// Points beyond these are not drawn: the picture has fewer pixels than that anyway.
constexpr size_t kMaxDrawnPoints = 20000;

bool Finite(double v) { return std::isfinite(v); }

QString Label(double v, const QString& code) {
    const QString c = code.isEmpty() ? QStringLiteral("General") : code;
    return FormatValue(CellValue::Number(v), c).text;
}

// An axis scale the way the spreadsheet picks it: round steps of 1, 2 or 5 times a power of
// ten, zero included when the data is all on one side and not far from it.
struct Scale {
    double min = 0, max = 1, step = 0.2;

    static Scale Of(double lo, double hi, const ChartAxis* axis, bool includeZero) {
        Scale s;
        if (!Finite(lo) || !Finite(hi)) {
            lo = 0;
            hi = 1;
        }
        if (includeZero) {
            if (lo > 0 && lo <= hi * 5 / 6)
                lo = 0;
            if (hi < 0 && hi >= lo * 5 / 6)
                hi = 0;
        }
        if (axis && axis->hasMin)
            lo = axis->min;
        if (axis && axis->hasMax)
            hi = axis->max;
        if (hi < lo)
            std::swap(hi, lo);
        if (hi == lo) {
            const double pad = lo == 0 ? 1 : std::fabs(lo) * 0.1;
            hi += pad;
            if (!(axis && axis->hasMin) && lo != 0)
                lo -= pad;
        }
        const double rough = (hi - lo) / 6;
        const double mag = std::pow(10.0, std::floor(std::log10(rough)));
        const double norm = rough / mag;
        s.step = (norm <= 1 ? 1 : norm <= 2 ? 2 : norm <= 5 ? 5 : 10) * mag;
        if (!Finite(s.step) || s.step <= 0)
            s.step = 1;
        s.min = axis && axis->hasMin ? lo : std::floor(lo / s.step) * s.step;
        s.max = axis && axis->hasMax ? hi : std::ceil(hi / s.step) * s.step;
        if (s.max <= s.min)
            s.max = s.min + s.step;
        // Never more ticks than a picture can show.
        while ((s.max - s.min) / s.step > 50)
            s.step *= 2;
        return s;
    }
    std::vector<double> Ticks() const {
        std::vector<double> t;
        const double first = std::ceil(min / step - 1e-9) * step;
        for (double v = first; v <= max + step * 1e-9 && t.size() < 60; v += step)
            t.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);
        return t;
    }
    double Frac(double v) const { return (v - min) / (max - min); }
};

class ChartPainter {
public:
    ChartPainter(const ChartData& chart, const Theme& theme, QSize size)
        : chart_(chart), theme_(theme), size_(size) {
        title_ = PaintFont(theme.minorFont, 14);
        label_ = PaintFont(theme.minorFont, 9);
        axisTitle_ = PaintFont(theme.minorFont, 10, true);
    }

    QImage Paint() {
        QImage img(size_, QImage::Format_RGB32);
        img.fill(chart_.areaFill.isValid() ? chart_.areaFill : QColor(Qt::white));
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p_ = &p;
        p.setPen(kLineColor);
        p.drawRect(QRectF(0.5, 0.5, size_.width() - 1, size_.height() - 1));

        QRectF area(kMargin, kMargin, size_.width() - 2 * kMargin, size_.height() - 2 * kMargin);
        if (chart_.hasTitle && !chart_.title.isEmpty()) {
            QFontMetricsF fm(title_);
            const int lines = int(chart_.title.count(QLatin1Char('\n'))) + 1;
            const double h = fm.height() * lines + 4;
            p.setFont(title_);
            p.setPen(kTextColor);
            p.drawText(QRectF(area.left(), area.top(), area.width(), h), Qt::AlignCenter,
                       chart_.title);
            area.setTop(area.top() + h + 4);
        }
        CollectLegend();
        if (chart_.hasLegend && !legend_.empty())
            area = DrawLegend(area);
        if (area.width() < 4 || area.height() < 4)
            return Finish(img);

        const ChartPlot& first = chart_.plots.front();
        if (first.kind == ChartKind::Pie || first.kind == ChartKind::Doughnut)
            DrawPie(area, first);
        else if (first.kind == ChartKind::Scatter)
            DrawScatter(area);
        else
            DrawCartesian(area);
        return Finish(img);
    }

private:
    struct LegendEntry {
        QString text;
        QColor color;
        bool line = false;
    };

    QImage Finish(QImage& img) {
        p_->end();
        return img;
    }

    QColor SeriesFill(const ChartSeries& s) const {
        if (s.fillColor.isValid())
            return s.fillColor;
        if (s.lineColor.isValid())
            return s.lineColor;
        return AutomaticSeriesColor(theme_, s.index);
    }
    QColor SeriesLine(const ChartSeries& s) const {
        if (s.lineColor.isValid())
            return s.lineColor;
        if (s.fillColor.isValid())
            return s.fillColor;
        return AutomaticSeriesColor(theme_, s.index);
    }
    QColor PointFill(const ChartPlot& plot, const ChartSeries& s, size_t point) const {
        if (point < size_t(s.pointColors.size()) && s.pointColors[qsizetype(point)].isValid())
            return s.pointColors[qsizetype(point)];
        if (plot.varyColors || plot.kind == ChartKind::Pie || plot.kind == ChartKind::Doughnut)
            return AutomaticSeriesColor(theme_, int(point));
        return SeriesFill(s);
    }

    void CollectLegend() {
        const ChartPlot& first = chart_.plots.front();
        if ((first.kind == ChartKind::Pie || first.kind == ChartKind::Doughnut) &&
            !first.series.empty()) {
            const ChartSeries& s = first.series.front();
            const size_t n = std::min({s.values.size(), kMaxDrawnPoints, size_t(100)});
            for (size_t i = 0; i < n; ++i)
                legend_.push_back({i < size_t(s.categories.size()) ? s.categories[qsizetype(i)]
                                                                   : QString::number(i + 1),
                                   PointFill(first, s, i), false});
            return;
        }
        for (const ChartPlot& plot : chart_.plots)
            for (const ChartSeries& s : plot.series) {
                if (legend_.size() >= 100)
                    return;
                const bool line = plot.kind == ChartKind::Line || plot.kind == ChartKind::Scatter;
                legend_.push_back({s.name.isEmpty() ? QStringLiteral("Series%1").arg(s.index + 1)
                                                    : s.name,
                                   line ? SeriesLine(s) : SeriesFill(s), line});
            }
    }

    QRectF DrawLegend(QRectF area) {
        QFontMetricsF fm(label_);
        const double swatch = 7, gap = 4, lineH = fm.height() + 2;
        double widest = 0;
        for (const LegendEntry& e : legend_)
            widest = std::max(widest, fm.horizontalAdvance(e.text));
        const QString& pos = chart_.legendPosition;
        p_->setFont(label_);
        auto drawEntry = [&](double x, double y, const LegendEntry& e, double maxW) {
            const double cy = y + lineH / 2;
            if (e.line) {
                p_->setPen(QPen(e.color, 2));
                p_->drawLine(QPointF(x - 3, cy), QPointF(x + swatch + 3, cy));
            } else {
                p_->fillRect(QRectF(x, cy - swatch / 2, swatch, swatch), e.color);
            }
            p_->setPen(kTextColor);
            p_->drawText(QRectF(x + swatch + gap, y, maxW, lineH), Qt::AlignLeft | Qt::AlignVCenter,
                         fm.elidedText(e.text, Qt::ElideRight, maxW));
        };
        if (pos == QLatin1String("t") || pos == QLatin1String("b")) {
            // One row, centred; entries that don't fit are left out.
            const double entryW = std::min(widest, area.width() / 2) + swatch + gap + 10;
            const int fit = std::max(1, int(area.width() / entryW));
            const int n = std::min(int(legend_.size()), fit);
            double x = area.center().x() - n * entryW / 2;
            const double y = pos == QLatin1String("t") ? area.top() : area.bottom() - lineH;
            for (int i = 0; i < n; ++i, x += entryW)
                drawEntry(x, y, legend_[size_t(i)], entryW - swatch - gap - 10);
            if (pos == QLatin1String("t"))
                area.setTop(area.top() + lineH + 6);
            else
                area.setBottom(area.bottom() - lineH - 6);
            return area;
        }
        const double w = std::min(widest, area.width() / 3) + swatch + gap + 4;
        const int fit = std::max(1, int(area.height() / lineH));
        const int n = std::min(int(legend_.size()), fit);
        double y = pos == QLatin1String("tr") ? area.top() : area.center().y() - n * lineH / 2;
        const double x = pos == QLatin1String("l") ? area.left() : area.right() - w;
        for (int i = 0; i < n; ++i, y += lineH)
            drawEntry(x, y, legend_[size_t(i)], w - swatch - gap);
        if (pos == QLatin1String("l"))
            area.setLeft(area.left() + w + 8);
        else
            area.setRight(area.right() - w - 8);
        return area;
    }

    const ChartAxis* Axis(bool valueAxis, bool second = false) const {
        int seen = 0;
        for (const ChartAxis& a : chart_.axes) {
            const bool isValue = a.kind == QLatin1String("valAx");
            if (isValue == valueAxis && seen++ == int(second))
                return &a;
        }
        return nullptr;
    }

    // Text rotated to run upwards, centred on `c`.
    void DrawUpwards(const QString& text, QPointF c) {
        p_->save();
        p_->translate(c);
        p_->rotate(-90);
        p_->drawText(QRectF(-1000, -20, 2000, 40), Qt::AlignCenter, text);
        p_->restore();
    }

    QString ValueFormat(const ChartAxis* axis) const {
        if (axis && !axis->numberFormat.isEmpty())
            return axis->numberFormat;
        for (const ChartPlot& plot : chart_.plots)
            for (const ChartSeries& s : plot.series)
                if (!s.valueFormat.isEmpty())
                    return s.valueFormat;
        return QStringLiteral("General");
    }

    // The frame of a chart with axes: value ticks and gridlines along one direction,
    // category or x labels along the other. Returns the plot's inner rectangle.
    struct Frame {
        QRectF plot;
        Scale value;
        bool horizontalValues = false;  // bar charts: values run left to right
    };

    Frame DrawFrame(QRectF area, const Scale& value, bool horizontalValues,
                    const ChartAxis* valueAxis, const ChartAxis* otherAxis,
                    const QStringList& otherLabels, const Scale* otherScale,
                    const QString& otherFormat) {
        Frame f;
        f.value = value;
        f.horizontalValues = horizontalValues;
        QFontMetricsF fm(label_), ft(axisTitle_);
        const QString vfmt = ValueFormat(valueAxis);
        const std::vector<double> ticks = value.Ticks();
        QStringList vLabels;
        double vLabelW = 0;
        for (double t : ticks) {
            vLabels << Label(t, vfmt);
            vLabelW = std::max(vLabelW, fm.horizontalAdvance(vLabels.back()));
        }
        const bool showValue = !(valueAxis && valueAxis->deleted);
        const bool showOther = !(otherAxis && otherAxis->deleted);
        const QString vTitle = valueAxis ? valueAxis->title : QString();
        const QString oTitle = otherAxis ? otherAxis->title : QString();

        // The label column or row of the vertical axis and the horizontal one.
        QStringList leftLabels = horizontalValues ? otherLabels : vLabels;
        double leftW = 0;
        if (horizontalValues) {
            for (const QString& l : otherLabels)
                leftW = std::max(leftW, fm.horizontalAdvance(l));
            leftW = std::min(leftW, area.width() / 3);
        } else {
            leftW = vLabelW;
        }
        const bool leftShown = horizontalValues ? showOther : showValue;
        const bool bottomShown = horizontalValues ? showValue : showOther;
        const QString leftTitle = horizontalValues ? oTitle : vTitle;
        const QString bottomTitle = horizontalValues ? vTitle : oTitle;

        QRectF plot = area;
        if (!leftTitle.isEmpty())
            plot.setLeft(plot.left() + ft.height() + 4);
        if (leftShown)
            plot.setLeft(plot.left() + leftW + 6);
        if (!bottomTitle.isEmpty())
            plot.setBottom(plot.bottom() - ft.height() - 4);
        if (bottomShown)
            plot.setBottom(plot.bottom() - fm.height() - 4);
        plot.setTop(plot.top() + fm.height() / 2);
        plot.setRight(plot.right() - fm.averageCharWidth() * 2);
        if (plot.width() < 4 || plot.height() < 4) {
            f.plot = QRectF();
            return f;
        }
        f.plot = plot;

        p_->setFont(label_);
        DrawValueGrid(plot, value, ticks, vLabels, horizontalValues, showValue, leftW);
        DrawOtherAxis(plot, otherLabels, otherScale, otherFormat, horizontalValues, showOther, leftW);
        // Axis titles.
        p_->setFont(axisTitle_);
        p_->setPen(kTextColor);
        if (!leftTitle.isEmpty())
            DrawUpwards(leftTitle, QPointF(area.left() + ft.height() / 2, plot.center().y()));
        if (!bottomTitle.isEmpty())
            p_->drawText(QRectF(plot.left(), area.bottom() - ft.height(), plot.width(), ft.height()),
                         Qt::AlignCenter, bottomTitle);
        return f;
    }

    // Gridlines and value labels, across the plot for horizontal values, else along it.
    void DrawValueGrid(const QRectF& plot, const Scale& value, const std::vector<double>& ticks,
                       const QStringList& vLabels, bool horizontalValues, bool showValue,
                       double leftW) {
        QFontMetricsF fm(label_);
        for (size_t i = 0; i < ticks.size(); ++i) {
            const double fr = value.Frac(ticks[i]);
            p_->setPen(QPen(kLineColor, 1));
            if (horizontalValues) {
                const double x = std::round(plot.left() + fr * plot.width()) + 0.5;
                p_->drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
                if (showValue) {
                    p_->setPen(kTextColor);
                    p_->drawText(QRectF(x - 100, plot.bottom() + 3, 200, fm.height()),
                                 Qt::AlignHCenter | Qt::AlignTop, vLabels[qsizetype(i)]);
                }
            } else {
                const double y = std::round(plot.bottom() - fr * plot.height()) + 0.5;
                p_->drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
                if (showValue) {
                    p_->setPen(kTextColor);
                    p_->drawText(QRectF(plot.left() - 6 - leftW, y - fm.height() / 2, leftW,
                                        fm.height()),
                                 Qt::AlignRight | Qt::AlignVCenter, vLabels[qsizetype(i)]);
                }
            }
        }
    }

    // The category (or x) axis line and its labels: an x scale's ticks, bar categories up the
    // left side (the first at the bottom), or other categories along the bottom, thinned out
    // where they would overlap.
    void DrawOtherAxis(const QRectF& plot, const QStringList& otherLabels, const Scale* otherScale,
                       const QString& otherFormat, bool horizontalValues, bool showOther,
                       double leftW) {
        QFontMetricsF fm(label_);
        p_->setPen(QPen(kLineColor, 1));
        if (otherScale) {
            const std::vector<double> oticks = otherScale->Ticks();
            for (double t : oticks) {
                const double x = std::round(plot.left() + otherScale->Frac(t) * plot.width()) + 0.5;
                p_->setPen(QPen(kLineColor, 1));
                p_->drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
                if (showOther) {
                    p_->setPen(kTextColor);
                    p_->drawText(QRectF(x - 100, plot.bottom() + 3, 200, fm.height()),
                                 Qt::AlignHCenter | Qt::AlignTop, Label(t, otherFormat));
                }
            }
        } else if (horizontalValues) {
            p_->drawLine(QPointF(plot.left() + 0.5, plot.top()), QPointF(plot.left() + 0.5, plot.bottom()));
            const int n = int(otherLabels.size());
            if (showOther && n > 0) {
                const double slot = plot.height() / n;
                const int every = std::max(1, int(std::ceil(fm.height() / std::max(1.0, slot))));
                p_->setPen(kTextColor);
                for (int i = 0; i < n; i += every) {
                    // The first category sits at the bottom, as the spreadsheet draws bars.
                    const double cy = plot.bottom() - (i + 0.5) * slot;
                    p_->drawText(QRectF(plot.left() - 6 - leftW, cy - fm.height() / 2, leftW,
                                        fm.height()),
                                 Qt::AlignRight | Qt::AlignVCenter,
                                 fm.elidedText(otherLabels[i], Qt::ElideRight, leftW));
                }
            }
        } else {
            p_->drawLine(QPointF(plot.left(), plot.bottom() - 0.5),
                         QPointF(plot.right(), plot.bottom() - 0.5));
            const int n = int(otherLabels.size());
            if (showOther && n > 0) {
                // Area charts put their points, and so their labels, on the edges.
                const double slot = onTicks_ && n > 1 ? plot.width() / (n - 1) : plot.width() / n;
                const double shift = onTicks_ && n > 1 ? 0.0 : 0.5;
                double widest = 0;
                for (const QString& l : otherLabels)
                    widest = std::max(widest, fm.horizontalAdvance(l));
                const int every = std::max(1, int(std::ceil((widest + 4) / std::max(1.0, slot))));
                p_->setPen(kTextColor);
                for (int i = 0; i < n; i += every) {
                    const double cx = plot.left() + (i + shift) * slot;
                    p_->drawText(QRectF(cx - slot * every / 2, plot.bottom() + 3, slot * every,
                                        fm.height()),
                                 Qt::AlignHCenter | Qt::AlignTop, otherLabels[i]);
                }
            }
        }
    }

    // The values a plot reaches, stacked when it stacks.
    static void Extent(const ChartPlot& plot, double& lo, double& hi) {
        const bool stacked = plot.grouping == QLatin1String("stacked");
        const bool percent = plot.grouping == QLatin1String("percentStacked");
        if (percent) {
            lo = std::min(lo, 0.0);
            hi = std::max(hi, 1.0);
            for (const ChartSeries& s : plot.series)
                for (double v : s.values)
                    if (Finite(v) && v < 0)
                        lo = -1;
            return;
        }
        size_t n = 0;
        for (const ChartSeries& s : plot.series)
            n = std::max(n, std::min(s.values.size(), kMaxDrawnPoints));
        if (stacked) {
            for (size_t i = 0; i < n; ++i) {
                double pos = 0, neg = 0;
                for (const ChartSeries& s : plot.series)
                    if (i < s.values.size() && Finite(s.values[i]))
                        (s.values[i] >= 0 ? pos : neg) += s.values[i];
                hi = std::max(hi, pos);
                lo = std::min(lo, neg);
            }
            return;
        }
        for (const ChartSeries& s : plot.series)
            for (size_t i = 0; i < std::min(s.values.size(), kMaxDrawnPoints); ++i)
                if (Finite(s.values[i])) {
                    hi = std::max(hi, s.values[i]);
                    lo = std::min(lo, s.values[i]);
                }
    }

    void DrawCartesian(QRectF area) {
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        size_t cats = 0;
        QStringList labels;
        bool horizontal = false;
        for (const ChartPlot& plot : chart_.plots) {
            if (plot.kind == ChartKind::Pie || plot.kind == ChartKind::Doughnut ||
                plot.kind == ChartKind::Scatter || plot.kind == ChartKind::Other)
                continue;
            Extent(plot, lo, hi);
            if (plot.kind == ChartKind::Bar)
                horizontal = horizontal || plot.barDirection == QLatin1String("bar");
            if (plot.kind == ChartKind::Area)
                onTicks_ = true;
            for (const ChartSeries& s : plot.series) {
                cats = std::max(cats, std::min(s.values.size(), kMaxDrawnPoints));
                if (labels.size() < s.categories.size())
                    labels = s.categories.mid(0, qsizetype(kMaxDrawnPoints));
            }
        }
        for (const ChartPlot& plot : chart_.plots)
            if (plot.kind == ChartKind::Bar)
                onTicks_ = false;
        if (hi < lo) {  // no cached values at all: an empty frame
            lo = 0;
            hi = 1;
        }
        while (size_t(labels.size()) < cats)
            labels << QString::number(labels.size() + 1);
        const Scale scale = Scale::Of(lo, hi, Axis(true), true);
        const Frame f = DrawFrame(area, scale, horizontal, Axis(true), Axis(false), labels, nullptr,
                                  QString());
        if (f.plot.isEmpty() || cats == 0)
            return;
        p_->save();
        p_->setClipRect(f.plot.adjusted(-6, -6, 6, 6));
        for (const ChartPlot& plot : chart_.plots) {
            if (plot.kind == ChartKind::Bar)
                DrawBars(f, plot, cats);
            else if (plot.kind == ChartKind::Area)
                DrawLinesOrAreas(f, plot, cats, true);
            else if (plot.kind == ChartKind::Line)
                DrawLinesOrAreas(f, plot, cats, false);
        }
        p_->restore();
    }

    // Position along the value direction, in pixels.
    double ValuePos(const Frame& f, double v) const {
        const double fr = std::clamp(f.value.Frac(v), -0.05, 1.05);
        return f.horizontalValues ? f.plot.left() + fr * f.plot.width()
                                  : f.plot.bottom() - fr * f.plot.height();
    }

    // The plotted values of a plot's series after stacking: (base, top) per point.
    static std::vector<std::vector<std::pair<double, double>>> Stack(const ChartPlot& plot,
                                                                     size_t cats) {
        const bool stacked = plot.grouping == QLatin1String("stacked");
        const bool percent = plot.grouping == QLatin1String("percentStacked");
        std::vector<double> total(cats, 0.0), pos(cats, 0.0), neg(cats, 0.0);
        if (percent)
            for (const ChartSeries& s : plot.series)
                for (size_t i = 0; i < std::min(cats, s.values.size()); ++i)
                    if (Finite(s.values[i]))
                        total[i] += std::fabs(s.values[i]);
        std::vector<std::vector<std::pair<double, double>>> out;
        for (const ChartSeries& s : plot.series) {
            std::vector<std::pair<double, double>> pts(cats, {NAN, NAN});
            for (size_t i = 0; i < std::min(cats, s.values.size()); ++i) {
                double v = s.values[i];
                if (!Finite(v))
                    continue;
                if (percent)
                    v = total[i] > 0 ? v / total[i] : 0;
                if (stacked || percent) {
                    double& acc = v >= 0 ? pos[i] : neg[i];
                    pts[i] = {acc, acc + v};
                    acc += v;
                } else {
                    pts[i] = {0, v};
                }
            }
            out.push_back(std::move(pts));
        }
        return out;
    }

    void DrawBars(const Frame& f, const ChartPlot& plot, size_t cats) {
        const auto stacked = Stack(plot, cats);
        const bool stacking = plot.grouping == QLatin1String("stacked") ||
                              plot.grouping == QLatin1String("percentStacked");
        const int n = std::max<int>(1, int(plot.series.size()));
        const double along = f.horizontalValues ? f.plot.height() : f.plot.width();
        const double slot = along / double(cats);
        const double gap = std::clamp(plot.gapWidth, 0, 500) / 100.0;
        const double overlap = stacking ? 1.0 : std::clamp(plot.overlap, -100, 100) / 100.0;
        const double groups = stacking ? 1.0 : n - (n - 1) * overlap;
        const double barW = slot / (groups + gap);
        for (size_t s = 0; s < plot.series.size(); ++s) {
            const ChartSeries& ser = plot.series[s];
            const double offset = stacking ? 0 : double(s) * barW * (1 - overlap);
            for (size_t i = 0; i < cats; ++i) {
                const auto [base, top] = stacked[s][i];
                if (!Finite(top))
                    continue;
                const double start = slot * double(i) + slot / 2 - barW * groups / 2 + offset;
                const double a = ValuePos(f, base), b = ValuePos(f, top);
                QRectF bar;
                if (f.horizontalValues) {
                    // Categories run upwards from the bottom.
                    const double y = f.plot.bottom() - start - barW;
                    bar = QRectF(QPointF(std::min(a, b), y), QPointF(std::max(a, b), y + barW));
                } else {
                    const double x = f.plot.left() + start;
                    bar = QRectF(QPointF(x, std::min(a, b)), QPointF(x + barW, std::max(a, b)));
                }
                p_->fillRect(bar, PointFill(plot, ser, i));
            }
        }
    }

    void DrawLinesOrAreas(const Frame& f, const ChartPlot& plot, size_t cats, bool areas) {
        const auto stacked = Stack(plot, cats);
        const double slot = f.plot.width() / double(cats);
        // Areas span the plot from edge to edge; lines sit at the slot centres.
        auto xAt = [&](size_t i) {
            if (areas)
                return cats > 1 ? f.plot.left() + f.plot.width() * double(i) / double(cats - 1)
                                : f.plot.center().x();
            return f.plot.left() + slot * (double(i) + 0.5);
        };
        for (size_t s = 0; s < plot.series.size(); ++s) {
            const ChartSeries& ser = plot.series[s];
            if (areas) {
                QPolygonF top, bottom;
                for (size_t i = 0; i < cats; ++i) {
                    auto [base, v] = stacked[s][i];
                    if (!Finite(v))
                        base = v = 0;
                    top << QPointF(xAt(i), ValuePos(f, v));
                    bottom.prepend(QPointF(xAt(i), ValuePos(f, base)));
                }
                QPainterPath path;
                path.addPolygon(top + bottom);
                path.closeSubpath();
                p_->fillPath(path, SeriesFill(ser));
                continue;
            }
            const QColor c = SeriesLine(ser);
            p_->setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            QPolygonF run;
            auto flush = [&] {
                if (run.size() > 1 && !ser.noLine)
                    p_->drawPolyline(run);
                run.clear();
            };
            for (size_t i = 0; i < cats; ++i) {
                const auto [base, v] = stacked[s][i];
                if (!Finite(v)) {
                    flush();  // a gap at a missing point
                    continue;
                }
                run << QPointF(xAt(i), ValuePos(f, v));
            }
            flush();
            for (size_t i = 0; i < cats; ++i)
                if (Finite(stacked[s][i].second))
                    Marker(QPointF(xAt(i), ValuePos(f, stacked[s][i].second)), c);
        }
    }

    void Marker(QPointF c, const QColor& color) {
        p_->save();
        p_->setPen(QPen(color, 1));
        p_->setBrush(color);
        p_->drawEllipse(c, 3.5, 3.5);
        p_->restore();
    }

    void DrawScatter(QRectF area) {
        double xlo = std::numeric_limits<double>::infinity(), xhi = -xlo, ylo = xlo, yhi = -xlo;
        for (const ChartPlot& plot : chart_.plots)
            for (const ChartSeries& s : plot.series)
                for (size_t i = 0; i < std::min(s.values.size(), kMaxDrawnPoints); ++i) {
                    const double x = i < s.xValues.size() ? s.xValues[i] : double(i + 1);
                    const double y = s.values[i];
                    if (!Finite(x) || !Finite(y))
                        continue;
                    xlo = std::min(xlo, x), xhi = std::max(xhi, x);
                    ylo = std::min(ylo, y), yhi = std::max(yhi, y);
                }
        if (xhi < xlo) {
            xlo = ylo = 0;
            xhi = yhi = 1;
        }
        const ChartAxis* xAxis = Axis(true, false);
        const ChartAxis* yAxis = Axis(true, true);
        // The first value axis of a scatter chart is its x axis when it lies at the bottom.
        if (xAxis && yAxis && (xAxis->position == QLatin1String("l") ||
                               xAxis->position == QLatin1String("r")))
            std::swap(xAxis, yAxis);
        const Scale xs = Scale::Of(xlo, xhi, xAxis, true);
        const Scale ys = Scale::Of(ylo, yhi, yAxis, true);
        const Frame f = DrawFrame(area, ys, false, yAxis, xAxis, {}, &xs, ValueFormat(xAxis));
        if (f.plot.isEmpty())
            return;
        p_->save();
        p_->setClipRect(f.plot.adjusted(-6, -6, 6, 6));
        for (const ChartPlot& plot : chart_.plots) {
            const bool lines = !plot.scatterStyle.startsWith(QLatin1String("marker"));
            const bool markers = !plot.scatterStyle.contains(QLatin1String("NoMarker")) &&
                                 plot.scatterStyle != QLatin1String("line") &&
                                 plot.scatterStyle != QLatin1String("smooth");
            for (const ChartSeries& s : plot.series) {
                const QColor c = SeriesLine(s);
                QPolygonF pts;
                for (size_t i = 0; i < std::min(s.values.size(), kMaxDrawnPoints); ++i) {
                    const double x = i < s.xValues.size() ? s.xValues[i] : double(i + 1);
                    if (!Finite(x) || !Finite(s.values[i]))
                        continue;
                    pts << QPointF(f.plot.left() + std::clamp(xs.Frac(x), -0.05, 1.05) * f.plot.width(),
                                   ValuePos(f, s.values[i]));
                }
                if (lines && !s.noLine && pts.size() > 1) {
                    p_->setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                    p_->drawPolyline(pts);
                }
                if (markers || s.noLine)
                    for (const QPointF& pt : pts)
                        Marker(pt, c);
            }
        }
        p_->restore();
    }

    void DrawPie(QRectF area, const ChartPlot& plot) {
        const double d = std::min(area.width(), area.height()) - 4;
        if (d < 4 || plot.series.empty())
            return;
        const QRectF outer(area.center().x() - d / 2, area.center().y() - d / 2, d, d);
        const bool doughnut = plot.kind == ChartKind::Doughnut;
        const size_t rings = doughnut ? plot.series.size() : 1;
        const double hole = doughnut ? std::clamp(plot.holeSize, 10, 90) / 100.0 : 0.0;
        const double ringW = d / 2 * (1 - hole) / double(rings);
        const QColor bg = chart_.areaFill.isValid() ? chart_.areaFill : QColor(Qt::white);
        for (size_t r = 0; r < rings; ++r) {
            const ChartSeries& s = plot.series[r];
            double total = 0;
            const size_t n = std::min(s.values.size(), kMaxDrawnPoints);
            for (size_t i = 0; i < n; ++i)
                if (Finite(s.values[i]))
                    total += std::fabs(s.values[i]);
            const QRectF box = outer.adjusted(ringW * double(r), ringW * double(r),
                                              -ringW * double(r), -ringW * double(r));
            if (total <= 0)
                continue;
            // The first slice starts at twelve o'clock and the slices run clockwise.
            double angle = 90.0 - plot.firstSliceAngle;
            for (size_t i = 0; i < n; ++i) {
                if (!Finite(s.values[i]) || s.values[i] == 0)
                    continue;
                const double span = -std::fabs(s.values[i]) / total * 360.0;
                p_->setPen(QPen(bg, 1));
                p_->setBrush(PointFill(plot, s, i));
                p_->drawPie(box, int(std::lround(angle * 16)), int(std::lround(span * 16)));
                angle += span;
            }
        }
        if (doughnut) {
            const double holeD = d * hole;
            p_->setPen(Qt::NoPen);
            p_->setBrush(bg);
            p_->drawEllipse(QRectF(outer.center().x() - holeD / 2, outer.center().y() - holeD / 2,
                                   holeD, holeD));
        }
    }

    const ChartData& chart_;
    const Theme& theme_;
    QSize size_;
    QPainter* p_ = nullptr;
    QFont title_, label_, axisTitle_;
    std::vector<LegendEntry> legend_;
    bool onTicks_ = false;
};

QImage Placeholder(const QString& name, const QString& kind, QSize size) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setPen(QPen(QColor(128, 128, 128), 1));
    p.drawRect(QRect(0, 0, size.width() - 1, size.height() - 1));
    p.setPen(kTextColor);
    p.setFont(PaintFont(QStringLiteral("Calibri"), 11));
    p.drawText(QRect(4, 4, size.width() - 8, size.height() - 8),
               Qt::AlignCenter | Qt::TextWordWrap, name + QLatin1Char('\n') + kind);
    p.end();
    return img;
}

}  // namespace

QColor AutomaticSeriesColor(const Theme& theme, int index) {
    static const char* const accents[] = {"accent1", "accent2", "accent3",
                                          "accent4", "accent5", "accent6"};
    index = std::max(0, index);
    QColor c = theme.Scheme(QLatin1String(accents[index % 6]));
    if (!c.isValid())
        c = Qt::gray;
    // Past the sixth the accents come again, darker, then lighter, then alternating.
    const int round = (index / 6) % 4;
    if (round == 1)
        return c.darker(165);
    if (round == 2)
        return ApplyTint(c, 0.4);
    if (round == 3)
        return c.darker(125);
    return c;
}

ChartPicture PaintChart(const ChartData* chart, const Theme& theme, const QString& name,
                        QSize size) {
    if (size.width() <= 0 || size.height() <= 0)
        throw Error(QStringLiteral("The chart %1 has no size to paint.").arg(name));
    if (size.width() > kMaxPictureSide || size.height() > kMaxPictureSide ||
        int64_t(size.width()) * size.height() > kMaxPicturePixels)
        throw Error(QStringLiteral("The chart %1 would be a picture of %2 x %3 pixels, larger "
                                   "than can be painted.")
                        .arg(name)
                        .arg(size.width())
                        .arg(size.height()));
    NeedFonts();
    ChartPicture out;
    if (!chart || chart->Kind() == ChartKind::Other) {
        const QString kind = chart ? chart->KindName() : QStringLiteral("missing chart part");
        out.image = Placeholder(name, QStringLiteral("(%1)").arg(kind), size);
        out.placeholder = true;
        out.note = chart ? QStringLiteral("The chart %1 is a %2, which is shown as a placeholder.")
                               .arg(name, kind)
                         : QStringLiteral("The chart %1 has no chart part; it is shown as a "
                                          "placeholder.")
                               .arg(name);
        return out;
    }
    ChartPainter painter(*chart, theme, size);
    out.image = painter.Paint();
    if (out.image.isNull())
        throw Error(QStringLiteral("There is not enough memory for the picture of the chart %1.")
                        .arg(name));
    return out;
}

}  // namespace xl
