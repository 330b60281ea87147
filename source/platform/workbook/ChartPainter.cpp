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
#include <tuple>
#include <utility>
#include <vector>

namespace xl {

namespace {

// What LibreOffice Calc shows where a chart part leaves a look unsaid: black text of the theme's
// body font, 10 points (the title 18 points bold, axis titles bold), grey axes and gridlines, a
// white chart area with a light outline, no plot area fill.
const QColor kTextColor(0, 0, 0);
const QColor kAutoLineColor(134, 134, 134);
const QColor kAutoFrameColor(217, 217, 217);
constexpr double kDefaultPoints = 10;
constexpr double kTitlePoints = 18;
// Distances of the spreadsheet's automatic layout: 2 % of the chart's size around each part,
// the main title 1.35 mm lower, axis titles 4.2 mm below and 4.5 mm left of the axes, tick
// marks 1.5 mm, labels 1 mm from their tick marks.
constexpr double kPageDistance = 0.02;
constexpr double kPxPerMm = 96.0 / 25.4;
constexpr double kTitleOffset = 1.35 * kPxPerMm;
constexpr double kXAxisTitleDistance = 4.2 * kPxPerMm;
constexpr double kYAxisTitleDistance = 4.5 * kPxPerMm;
constexpr double kTickLength = 1.5 * kPxPerMm;
constexpr double kLabelSpacing = 1.0 * kPxPerMm;
// A legend the file leaves in its automatic place keeps 2.1 mm from the chart's left or right
// edge and 1.85 mm from its top or bottom, and as much from the plot beside it.
constexpr double kLegendMarginX = 2.1 * kPxPerMm;
constexpr double kLegendMarginY = 1.85 * kPxPerMm;
// A text shape's inner margin above and below its line, and left and right of it.
constexpr double kTextPadY = 3.0;
constexpr double kTextPadX = 3.0;
// How much lower Calc sets the main title than its distances say (measured).
constexpr double kTitleDrop = 6.0;
// Points beyond these are not drawn: the picture has fewer pixels than that anyway.
constexpr size_t kMaxDrawnPoints = 20000;

bool Finite(double v) { return std::isfinite(v); }
double Px(double points) { return points * 96.0 / 72.0; }

QString Label(double v, const QString& code) {
    const QString c = code.isEmpty() ? QStringLiteral("General") : code;
    return FormatValue(CellValue::Number(v), c).text;
}

// An axis scale as the spreadsheet computes it when the file leaves it automatic: the data's
// range widened to zero when it is wide, towards zero when it is narrow, rounded out to whole
// steps of 1, 2 or 5 times a power of ten with no more steps than the axis has room for
// labels, and one step more where a value would touch the end of the axis.
struct Scale {
    double min = 0, max = 1, step = 0.2;

    struct Options {
        bool wideToZero = true;     // all values on one side and wide apart: start at zero
        bool narrowToZero = true;   // close together: widen by half their range towards zero
        bool closeToBorder = true;  // a value within 1/21 of an end: one step more
        int maxSteps = 10;          // as many steps as labels fit along the axis, 2 to 10
    };

    static Scale Of(double lo, double hi, const ChartAxis* axis, const Options& o) {
        Scale s;
        if (!Finite(lo) || !Finite(hi) || hi < lo) {
            lo = 0;
            hi = 0;
        }
        const bool autoMin = !(axis && axis->hasMin), autoMax = !(axis && axis->hasMax);
        double srcMin = autoMin ? lo : axis->min;
        double srcMax = autoMax ? hi : axis->max;
        if (srcMin > srcMax) {
            if (autoMax || !autoMin)
                srcMax = srcMin;
            else
                srcMin = srcMax;
        }
        // Negative ranges are worked out as positive ones and turned back at the end.
        const bool negate = srcMin < 0 && srcMax <= 0;
        bool aMin = autoMin, aMax = autoMax;
        if (negate) {
            std::tie(srcMin, srcMax) = std::pair(-srcMax, -srcMin);
            std::swap(aMin, aMax);
        }
        double tMin = srcMin, tMax = srcMax;
        if (aMin && tMin > 0) {
            if (tMin == tMax || tMin / tMax < 5.0 / 6.0) {
                if (o.wideToZero)
                    tMin = 0;
            } else if (o.narrowToZero) {
                tMin -= (tMax - tMin) / 2;
            }
        }
        if (tMin == tMax) {
            if (aMax || !aMin)
                tMax = tMax == 0 ? 1 : tMax * 2;
            else
                tMin = tMin == 0 ? -1 : tMin / 2;
        }
        const int maxSteps = std::clamp(o.maxSteps, 2, 10);
        bool autoStep = !(axis && axis->majorUnit > 0);
        double step = autoStep ? 0 : axis->majorUnit;
        const double base = !aMin ? tMin : !aMax ? tMax : 0.0;
        double mag = 1, norm = 0;
        bool normalised = false;
        double axMin = tMin, axMax = tMax;
        for (int guard = 0; guard < 400; ++guard) {
            if (autoStep) {
                if (!normalised) {
                    const double rough = (tMax - tMin) / maxSteps;
                    if (rough <= 1e-300) {
                        norm = 1;
                        mag = 1e-300;
                    } else {
                        mag = std::pow(10.0, std::floor(std::log10(rough)));
                        norm = rough / mag;
                        norm = norm <= 1 ? 1 : norm <= 2 ? 2 : norm <= 5 ? 5 : (mag *= 10, 1);
                    }
                    normalised = true;
                } else if (norm == 1) {
                    norm = 2;
                } else if (norm == 2) {
                    norm = 5;
                } else {
                    norm = 1;
                    mag *= 10;
                }
                step = norm * mag;
            }
            axMin = tMin;
            axMax = tMax;
            if (aMin) {
                axMin = base + std::floor((axMin - base) / step + 1e-9) * step;
                if (o.closeToBorder && axMin != 0 && (axMax - srcMin) / (axMax - axMin) > 20.0 / 21.0)
                    axMin -= step;
            }
            if (aMax) {
                axMax = base + std::ceil((axMax - base) / step - 1e-9) * step;
                if (o.closeToBorder && axMax != 0 && (srcMax - axMin) / (axMax - axMin) > 20.0 / 21.0)
                    axMax += step;
            }
            const double count = std::floor((axMax - axMin) / step + 1e-9);
            const int limit = autoStep ? maxSteps : 500;
            if (count <= limit || !Finite(count))
                break;
            autoStep = true;
        }
        if (negate)
            std::tie(axMin, axMax) = std::pair(-axMax, -axMin);
        s.min = axMin;
        s.max = axMax;
        s.step = step;
        if (!Finite(s.step) || s.step <= 0 || !Finite(s.min) || !Finite(s.max) || s.max <= s.min) {
            s.min = 0;
            s.max = 1;
            s.step = 0.2;
        }
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

// A text to draw: its font, colour and turn.
struct TextLook {
    QFont font;
    QColor color = kTextColor;
    double rotation = 0;
    double LineHeight() const { return QFontMetricsF(font).height(); }
    QSizeF Size(const QString& text) const {
        QFontMetricsF fm(font);
        const QStringList lines = text.split(QLatin1Char('\n'));
        double w = 0;
        for (const QString& l : lines)
            w = std::max(w, fm.horizontalAdvance(l));
        return {w, fm.height() * double(lines.size())};
    }
};

// A natural cubic spline through the points, parametrised by their order: the smoothed line
// of a series.
QPainterPath SmoothPath(const QPolygonF& pts) {
    QPainterPath path;
    const int n = int(pts.size());
    if (n == 0)
        return path;
    path.moveTo(pts[0]);
    if (n < 3) {
        for (int i = 1; i < n; ++i)
            path.lineTo(pts[i]);
        return path;
    }
    // Second derivatives of x(t) and y(t) at the points (natural ends), by the tridiagonal rule.
    auto second = [&](auto coord) {
        std::vector<double> m(size_t(n), 0.0), c(size_t(n), 0.0), d(size_t(n), 0.0);
        for (int i = 1; i < n - 1; ++i) {
            const double rhs = 6 * (coord(pts[i + 1]) - 2 * coord(pts[i]) + coord(pts[i - 1]));
            const double denom = 4 - (i > 1 ? c[size_t(i - 1)] : 0);
            c[size_t(i)] = 1 / denom;
            d[size_t(i)] = (rhs - (i > 1 ? d[size_t(i - 1)] : 0)) / denom;
        }
        for (int i = n - 2; i >= 1; --i)
            m[size_t(i)] = d[size_t(i)] - c[size_t(i)] * m[size_t(i + 1)];
        return m;
    };
    const auto mx = second([](const QPointF& p) { return p.x(); });
    const auto my = second([](const QPointF& p) { return p.y(); });
    for (int i = 0; i + 1 < n; ++i) {
        const QPointF a = pts[i], b = pts[i + 1];
        // The cubic between two points as a Bezier: control points a third along the tangents.
        const double ax = (b.x() - a.x()) - (2 * mx[size_t(i)] + mx[size_t(i + 1)]) / 6;
        const double ay = (b.y() - a.y()) - (2 * my[size_t(i)] + my[size_t(i + 1)]) / 6;
        const double bx = (b.x() - a.x()) + (mx[size_t(i)] + 2 * mx[size_t(i + 1)]) / 6;
        const double by = (b.y() - a.y()) + (my[size_t(i)] + 2 * my[size_t(i + 1)]) / 6;
        path.cubicTo(QPointF(a.x() + ax / 3, a.y() + ay / 3), QPointF(b.x() - bx / 3, b.y() - by / 3), b);
    }
    return path;
}

class ChartPainter {
public:
    ChartPainter(const ChartData& chart, const Theme& theme, QSize size, QSizeF layout)
        : chart_(chart), theme_(theme), size_(size), layout_(layout) {
        sx_ = size_.width() / layout_.width();
        sy_ = size_.height() / layout_.height();
    }

    QImage Paint() {
        QImage img(size_, QImage::Format_RGB32);
        const ChartShapeStyle& area = chart_.areaStyle;
        background_ = area.fill == ChartPaint::Solid ? area.fillColor
                      : chart_.areaFill.isValid()    ? chart_.areaFill
                                                     : QColor(Qt::white);
        background_.setAlpha(255);
        img.fill(background_);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        // The chart is laid out at its own size and drawn stretched to the pixels it covers,
        // as Calc draws its drawings to the scale of the sheet's cells.
        p.scale(sx_, sy_);
        p_ = &p;
        const double W = layout_.width(), H = layout_.height();
        const QPen frame = PenOf(area, kAutoFrameColor, 1, false);
        if (frame.style() != Qt::NoPen) {
            p.setPen(frame);
            p.setBrush(Qt::NoBrush);
            const double half = std::max(0.5, frame.widthF() / 2);
            p.drawRect(QRectF(half / sx_, half / sy_, W - 2 * half / sx_, H - 2 * half / sy_));
        }
        dx_ = std::floor(W * kPageDistance);
        dy_ = std::floor(H * kPageDistance);
        QRectF remaining(0, 0, W, H);
        if (chart_.hasTitle && !chart_.title.isEmpty()) {
            const TextLook look = Look(chart_.titleText, kTitlePoints, true);
            const QSizeF ts = look.Size(chart_.title) + QSizeF(2 * kTextPadX, 0);
            const double top = remaining.top() + dy_ + kTitleOffset + kTitleDrop;
            DrawText(chart_.title, look, QRectF(remaining.center().x() - ts.width() / 2, top, ts.width(), ts.height()));
            // Calc's title shape holds its text with the drop above and below it; what follows
            // starts right below the shape.
            remaining.setTop(top + ts.height() + kTitleDrop);
        }
        CollectLegend();
        if (chart_.hasLegend && !legend_.empty())
            remaining = DrawLegend(remaining);
        if (remaining.width() < 4 || remaining.height() < 4)
            return Finish(img);

        const ChartPlot& first = chart_.plots.front();
        if (first.kind == ChartKind::Pie || first.kind == ChartKind::Doughnut)
            DrawPie(remaining.adjusted(dx_, dy_, -dx_, -dy_), first);
        else
            DrawCartesian(remaining);
        return Finish(img);
    }

private:
    struct LegendEntry {
        QString text;
        QColor color;
        bool line = false;
        QPen pen;
        QString symbol;
        double symbolSize = 0;
    };

    QImage Finish(QImage& img) {
        p_->end();
        return img;
    }

    // ---- looks ----------------------------------------------------------------------------

    TextLook Look(const ChartTextStyle& own, double defaultPoints, bool defaultBold) const {
        const ChartTextStyle s = chart_.text.Under(own);
        const QString face = s.typeface.isEmpty() ? theme_.minorFont : s.typeface;
        const double pts = own.points > 0 ? own.points : chart_.text.points > 0 && defaultPoints == kDefaultPoints
                                                             ? chart_.text.points
                                                             : defaultPoints;
        TextLook look;
        look.font = PaintFont(face, pts, s.bold >= 0 ? s.bold == 1 : defaultBold);
        look.font.setItalic(s.italic == 1);
        look.color = s.color.isValid() ? s.color : kTextColor;
        look.color.setAlpha(255);
        look.rotation = s.hasRotation ? s.rotation : 0;
        return look;
    }

    static QPen CosmeticPen(const QColor& c) {
        QPen pen(c, 1);
        pen.setCosmetic(true);
        return pen;
    }

    // The pen of an outline: the part's own, else the automatic one (none when `autoNone`).
    static QPen PenOf(const ChartShapeStyle& st, const QColor& autoColor, double autoWidth, bool autoNone) {
        if (st.line == ChartPaint::None || (st.line == ChartPaint::Automatic && autoNone))
            return QPen(Qt::NoPen);
        QColor c = st.line == ChartPaint::Solid ? st.lineColor : autoColor;
        const double w = st.lineWidth > 0 ? std::max(1.0, Px(st.lineWidth)) : st.lineWidth == 0 ? 1.0 : autoWidth;
        QPen pen(c, std::min(w, 200.0), st.dashed ? Qt::DashLine : Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
        // Lines keep their width in the picture's pixels however the chart is stretched.
        pen.setCosmetic(true);
        return pen;
    }

    // A crisp line of one pixel sits on the middle of a pixel of the picture, across (X) or
    // down (Y) the stretched chart.
    static double Crisp(double v, const QPen& pen, double scale) {
        const double d = v * scale;
        return (int(std::lround(pen.widthF())) % 2 == 1 ? std::floor(d) + 0.5 : std::round(d)) / scale;
    }
    double CrispX(double v, const QPen& pen) const { return Crisp(v, pen, sx_); }
    double CrispY(double v, const QPen& pen) const { return Crisp(v, pen, sy_); }
    // A box on whole pixels of the picture.
    QRectF Snapped(const QRectF& r) const {
        const double l = std::round(r.left() * sx_) / sx_, t = std::round(r.top() * sy_) / sy_;
        return QRectF(QPointF(l, t), QPointF(std::round(r.right() * sx_) / sx_, std::round(r.bottom() * sy_) / sy_));
    }

    void DrawText(const QString& text, const TextLook& look, const QRectF& box,
                  Qt::Alignment align = Qt::AlignCenter) {
        p_->setFont(look.font);
        p_->setPen(look.color);
        p_->drawText(box, align, text);
    }

    // Text rotated to run upwards, centred on `c`.
    void DrawUpwards(const QString& text, const TextLook& look, QPointF c) {
        p_->save();
        p_->translate(c);
        p_->rotate(-90);
        DrawText(text, look, QRectF(-1000, -100, 2000, 200));
        p_->restore();
    }

    // A series' automatic colour: the theme's accents in turn, or, for the chart styles of one
    // accent (3 to 8 of each row of eight), that accent.
    QColor AutomaticColor(int index) const {
        const int column = (chart_.style - 1) % 8;
        if (column >= 2)
            return AutomaticSeriesColor(theme_, column - 2);
        return AutomaticSeriesColor(theme_, index);
    }
    // Lines of the chart styles past the first row are drawn heavier.
    double AutomaticLineWidth() const { return Px(chart_.style > 8 ? 3.5 : 2.25); }

    QColor SeriesFill(const ChartSeries& s) const {
        if (s.style.fill == ChartPaint::Solid)
            return s.style.fillColor;
        if (s.fillColor.isValid())
            return s.fillColor;
        if (s.lineColor.isValid())
            return s.lineColor;
        return AutomaticColor(s.index);
    }
    QColor SeriesLine(const ChartSeries& s) const {
        if (s.style.line == ChartPaint::Solid)
            return s.style.lineColor;
        if (s.lineColor.isValid())
            return s.lineColor;
        if (s.fillColor.isValid())
            return s.fillColor;
        return AutomaticColor(s.index);
    }
    QColor PointFill(const ChartPlot& plot, const ChartSeries& s, size_t point) const {
        if (point < size_t(s.pointColors.size()) && s.pointColors[qsizetype(point)].isValid())
            return s.pointColors[qsizetype(point)];
        if (plot.varyColors || plot.kind == ChartKind::Pie || plot.kind == ChartKind::Doughnut)
            return AutomaticSeriesColor(theme_, int(point));
        return SeriesFill(s);
    }
    // The pen of a series' line: its own colour and width, else the automatic 2.25 points.
    QPen SeriesPen(const ChartSeries& s) const {
        QPen pen = PenOf(s.style, SeriesLine(s), AutomaticLineWidth(), false);
        if (pen.style() != Qt::NoPen && s.style.line != ChartPaint::Solid)
            pen.setColor(SeriesLine(s));
        pen.setCapStyle(Qt::RoundCap);
        return pen;
    }

    // The symbol of a series' points: "" for none. An automatic symbol follows the series.
    static QString Symbol(const ChartPlot& plot, const ChartSeries& s) {
        QString sym = s.marker.symbol;
        if (sym.isEmpty()) {
            // Unsaid: scatter charts of the marker styles show them, and lines where their
            // chart shows markers (Calc writes nothing for a series of automatic symbols).
            const bool markerStyle = plot.kind == ChartKind::Scatter
                                         ? plot.scatterStyle == QLatin1String("lineMarker") ||
                                               plot.scatterStyle == QLatin1String("marker") ||
                                               plot.scatterStyle == QLatin1String("smoothMarker")
                                         : plot.kind == ChartKind::Line && plot.markers;
            if (!markerStyle)
                return {};
            sym = QStringLiteral("auto");
        }
        if (sym == QLatin1String("none"))
            return {};
        if (sym == QLatin1String("auto")) {
            static const char* const cycle[] = {"square", "diamond", "triangleDown", "triangle",
                                                "triangleRight", "triangleLeft", "circle", "star", "x", "plus"};
            return QLatin1String(cycle[std::max(0, s.index) % 10]);
        }
        return sym;
    }
    static double SymbolPixels(const ChartSeries& s) {
        return s.marker.size > 0 ? Px(s.marker.size) : Px(7);
    }

    void Marker(QPointF c, const QString& symbol, double size, const QColor& fill, const QPen& outline) {
        if (symbol.isEmpty())
            return;
        const double r = size / 2;
        p_->save();
        p_->setPen(outline);
        p_->setBrush(fill);
        QPolygonF poly;
        if (symbol == QLatin1String("square")) {
            p_->drawRect(QRectF(c.x() - r, c.y() - r, size, size));
        } else if (symbol == QLatin1String("circle") || symbol == QLatin1String("dot")) {
            const double rr = symbol == QLatin1String("dot") ? r / 2 : r;
            p_->drawEllipse(c, rr, rr);
        } else if (symbol == QLatin1String("diamond")) {
            poly << QPointF(c.x(), c.y() - r) << QPointF(c.x() + r, c.y()) << QPointF(c.x(), c.y() + r)
                 << QPointF(c.x() - r, c.y());
        } else if (symbol == QLatin1String("triangle")) {
            poly << QPointF(c.x(), c.y() - r) << QPointF(c.x() + r, c.y() + r) << QPointF(c.x() - r, c.y() + r);
        } else if (symbol == QLatin1String("triangleDown")) {
            poly << QPointF(c.x() - r, c.y() - r) << QPointF(c.x() + r, c.y() - r) << QPointF(c.x(), c.y() + r);
        } else if (symbol == QLatin1String("triangleRight")) {
            poly << QPointF(c.x() - r, c.y() - r) << QPointF(c.x() + r, c.y()) << QPointF(c.x() - r, c.y() + r);
        } else if (symbol == QLatin1String("triangleLeft")) {
            poly << QPointF(c.x() + r, c.y() - r) << QPointF(c.x() - r, c.y()) << QPointF(c.x() + r, c.y() + r);
        } else if (symbol == QLatin1String("star")) {
            for (int i = 0; i < 10; ++i) {
                const double a = M_PI / 2 + i * M_PI / 5, rr = i % 2 ? r / 2.5 : r;
                poly << QPointF(c.x() + rr * std::cos(a), c.y() - rr * std::sin(a));
            }
        } else {
            // Crosses and bars are drawn in the fill's colour.
            p_->setPen(QPen(fill, std::max(1.5, size / 5)));
            if (symbol == QLatin1String("x")) {
                p_->drawLine(QPointF(c.x() - r, c.y() - r), QPointF(c.x() + r, c.y() + r));
                p_->drawLine(QPointF(c.x() - r, c.y() + r), QPointF(c.x() + r, c.y() - r));
            } else if (symbol == QLatin1String("dash")) {
                p_->drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
            } else {  // plus, and anything unknown
                p_->drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
                p_->drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
            }
        }
        if (!poly.isEmpty())
            p_->drawPolygon(poly);
        p_->restore();
    }

    void SeriesMarker(QPointF c, const ChartPlot& plot, const ChartSeries& s) {
        const QString symbol = Symbol(plot, s);
        if (symbol.isEmpty())
            return;
        const QColor fill = s.marker.style.fill == ChartPaint::Solid ? s.marker.style.fillColor : SeriesLine(s);
        QPen outline = PenOf(s.marker.style, fill, 1, false);
        Marker(c, symbol, SymbolPixels(s), fill, outline);
    }

    // ---- legend ---------------------------------------------------------------------------

    void CollectLegend() {
        const ChartPlot& first = chart_.plots.front();
        if ((first.kind == ChartKind::Pie || first.kind == ChartKind::Doughnut) &&
            !first.series.empty()) {
            const ChartSeries& s = first.series.front();
            const size_t n = std::min({s.values.size(), kMaxDrawnPoints, size_t(100)});
            for (size_t i = 0; i < n; ++i)
                legend_.push_back({i < size_t(s.categories.size()) ? s.categories[qsizetype(i)]
                                                                   : QString::number(i + 1),
                                   PointFill(first, s, i), false, QPen(), QString(), 0});
            return;
        }
        for (const ChartPlot& plot : chart_.plots) {
            // The legend lists series in the order they stack on the screen: columns stacked
            // upwards and bars side by side upwards list the last first.
            const bool stacked = plot.grouping == QLatin1String("stacked") ||
                                 plot.grouping == QLatin1String("percentStacked");
            const bool reversed = plot.kind == ChartKind::Bar &&
                                  (plot.barDirection == QLatin1String("bar") ? !stacked : stacked);
            std::vector<const ChartSeries*> order;
            for (const ChartSeries& s : plot.series)
                order.push_back(&s);
            if (reversed)
                std::reverse(order.begin(), order.end());
            for (const ChartSeries* sp : order) {
                const ChartSeries& s = *sp;
                if (legend_.size() >= 100)
                    return;
                const bool line = plot.kind == ChartKind::Line || plot.kind == ChartKind::Scatter;
                LegendEntry e{s.name.isEmpty() ? QStringLiteral("Series%1").arg(s.index + 1) : s.name,
                              line ? SeriesLine(s) : SeriesFill(s), line, QPen(), QString(), 0};
                if (line) {
                    e.pen = SeriesPen(s);
                    if (s.noLine)
                        e.pen = QPen(Qt::NoPen);
                    e.symbol = Symbol(plot, s);
                    e.symbolSize = std::min(SymbolPixels(s), 10.0);
                }
                legend_.push_back(e);
            }
        }
    }

    QRectF DrawLegend(QRectF remaining) {
        const TextLook look = Look(chart_.legendText, kDefaultPoints, false);
        QFontMetricsF fm(look.font);
        const double fontPx = look.font.pixelSize();
        // Series drawn as markers alone show just their marker.
        const bool anyLine = std::any_of(legend_.begin(), legend_.end(),
                                         [](const LegendEntry& e) { return e.line && e.pen.style() != Qt::NoPen; });
        // Calc's legend (measured): a square symbol of two thirds of the text's size, a line
        // symbol 3.6 times as long, 5 pixels to the text at 10 points, rows 3 pixels apart.
        const double symH = std::round(fontPx * 0.64), symW = anyLine ? std::round(symH * 3.6) : symH;
        const double gap = std::round(fontPx * 0.36), rowH = std::ceil(fm.height()) + 3;
        const double padL = 4, padR = std::round(fontPx * 0.5), padY = 2.5;
        double widest = 0;
        for (const LegendEntry& e : legend_)
            widest = std::max(widest, std::ceil(fm.horizontalAdvance(e.text)));
        const QString& pos = chart_.legendPosition;
        const bool row = pos == QLatin1String("t") || pos == QLatin1String("b");
        const double W = layout_.width(), H = layout_.height();
        const double entryW = symW + gap + widest;
        const double colGap = row ? std::round(fontPx * 0.6) : 0;
        int columns = 1;
        int rows = int(legend_.size());
        if (row) {
            columns = std::clamp(int((W - 2 * dx_ - padL - padR + colGap) / (entryW + colGap)), 1, int(legend_.size()));
            rows = int((legend_.size() + size_t(columns) - 1) / size_t(columns));
        } else {
            rows = std::max(1, std::min(rows, int((H - 2 * dy_ - 2 * padY) / rowH)));
        }
        // Each column is as wide as its own widest text, as Calc lays out a legend in a row.
        std::vector<double> colText(size_t(columns), 0);
        for (size_t i = 0; i < legend_.size(); ++i)
            colText[i % size_t(columns)] = std::max(colText[i % size_t(columns)], std::ceil(fm.horizontalAdvance(legend_[i].text)));
        double texts = 0;
        for (const double w : colText)
            texts += w;
        const double around = columns * (symW + gap) + (columns - 1) * colGap + padL + padR;
        const double boxW = std::min(std::ceil(around + texts), W - 2 * dx_);
        // A legend narrower than its texts shortens each column's alike.
        const double shrink = texts > 0 ? std::clamp((boxW - around) / texts, 0.0, 1.0) : 1.0;
        for (double& w : colText)
            w = std::max(1.0, w * shrink);
        const double boxH = std::ceil(rows * rowH + 2 * padY);
        QRectF box;
        if (pos == QLatin1String("b")) {
            // The plot keeps the legend's margin above it, while Calc draws the legend itself
            // on the chart's bottom edge (measured).
            box = QRectF(std::round(W / 2 - boxW / 2), std::floor(H - 1 - boxH), boxW, boxH);
            remaining.setBottom(std::floor(H - kLegendMarginY - boxH));
        } else if (pos == QLatin1String("t")) {
            box = QRectF(std::round(W / 2 - boxW / 2), remaining.top() + kLegendMarginY, boxW, boxH);
            remaining.setTop(box.bottom());
        } else if (pos == QLatin1String("l")) {
            box = QRectF(std::round(kLegendMarginX), std::round(H / 2 - boxH / 2), boxW, boxH);
            remaining.setLeft(box.right());
        } else {  // "r", "tr": at the right edge, in the middle of the chart's height
            const double top = pos == QLatin1String("tr") ? remaining.top() + kLegendMarginY : std::round(H / 2 - boxH / 2);
            box = QRectF(W - kLegendMarginX - boxW, top, boxW, boxH);
            remaining.setRight(box.left());
        }
        const QPen frame = PenOf(chart_.legendStyle, kAutoLineColor, 1, true);
        if (chart_.legendStyle.fill == ChartPaint::Solid)
            p_->fillRect(Snapped(box), chart_.legendStyle.fillColor);
        if (frame.style() != Qt::NoPen) {
            p_->setPen(frame);
            p_->setBrush(Qt::NoBrush);
            p_->drawRect(QRectF(QPointF(CrispX(box.left(), frame), CrispY(box.top(), frame)),
                                QPointF(CrispX(box.right(), frame), CrispY(box.bottom(), frame))));
        }
        std::vector<double> colX(size_t(columns), box.left() + padL);
        for (size_t c = 1; c < colX.size(); ++c)
            colX[c] = colX[c - 1] + symW + gap + colText[c - 1] + colGap;
        for (int i = 0; i < int(legend_.size()) && i < rows * columns; ++i) {
            const LegendEntry& e = legend_[size_t(i)];
            const int r = row ? i / columns : i, c = row ? i % columns : 0;
            const double x = colX[size_t(c)], textW = colText[size_t(c)];
            const double y = box.top() + padY + r * rowH;
            const double cy = y + rowH / 2;
            if (e.line) {
                if (e.pen.style() != Qt::NoPen) {
                    QPen pen = e.pen;
                    pen.setWidthF(std::min(pen.widthF(), symH));
                    pen.setCapStyle(Qt::FlatCap);
                    p_->setPen(pen);
                    p_->drawLine(QPointF(x, cy), QPointF(x + symW, cy));
                }
                if (!e.symbol.isEmpty())
                    Marker(QPointF(x + symW / 2, cy), e.symbol, std::min(e.symbolSize, symH), e.color, CosmeticPen(e.color));
            } else {
                p_->fillRect(QRectF(x, std::round(cy - symH / 2), symH, symH), e.color);
            }
            DrawText(fm.elidedText(e.text, Qt::ElideRight, textW + 1), look,
                     QRectF(x + symW + gap, y, textW + 4, rowH), Qt::AlignLeft | Qt::AlignVCenter);
        }
        return remaining;
    }

    // ---- axes -----------------------------------------------------------------------------

    const ChartAxis* Axis(bool valueAxis, bool second = false) const {
        int seen = 0;
        for (const ChartAxis& a : chart_.axes) {
            const bool isValue = a.kind == QLatin1String("valAx");
            if (isValue == valueAxis && seen++ == int(second))
                return &a;
        }
        return nullptr;
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

    static bool Shown(const ChartAxis* a) {
        return !(a && (a->deleted || a->tickLabelPosition == QLatin1String("none")));
    }
    // How far tick marks reach out of the plot.
    static double TickOut(const ChartAxis* a) {
        if (!a || a->deleted)
            return 0;
        const QString& t = a->majorTickMark;
        return t == QLatin1String("out") || t == QLatin1String("cross") || t.isEmpty() ? kTickLength : 0;
    }
    static double TickIn(const ChartAxis* a) {
        if (!a || a->deleted)
            return 0;
        const QString& t = a->majorTickMark;
        return t == QLatin1String("in") || t == QLatin1String("cross") || t.isEmpty() ? kTickLength : 0;
    }

    // One axis of a chart with axes: its scale (values) or categories, its labels' look.
    struct AxisPlan {
        const ChartAxis* axis = nullptr;
        bool values = true;          // a value scale; else categories
        Scale scale;
        Scale::Options options;
        double lo = 0, hi = 0;       // the data's range (values)
        QStringList labels;          // the labels shown (values: the ticks' texts)
        QString format;
        bool onTicks = false;        // categories: points on the tick marks, not between
        TextLook look;
        bool horizontal = true;      // runs left to right
    };

    void Labels(AxisPlan& a) const {
        if (!a.values)
            return;
        a.labels.clear();
        for (double t : a.scale.Ticks())
            a.labels << Label(t, a.format);
    }
    double LabelExtent(const AxisPlan& a, bool across) const {
        // across: the room the labels take beside the axis; else their size along it
        QFontMetricsF fm(a.look.font);
        double w = 0;
        for (const QString& l : a.labels)
            w = std::max(w, fm.horizontalAdvance(l));
        const double h = fm.height();
        if (a.horizontal)
            return across ? h : w;
        return across ? w : h;
    }

    void Rescale(AxisPlan& a, double length) const {
        if (!a.values)
            return;
        const double extent = LabelExtent(a, false);
        a.options.maxSteps = extent > 0 ? int(length / extent) : 10;
        a.scale = Scale::Of(a.lo, a.hi, a.axis, a.options);
        Labels(a);
    }

    // The plot rectangle inside the diagram's room, leaving room for labels and tick marks.
    QRectF PlotRect(const QRectF& room, const AxisPlan& horizontal, const AxisPlan& vertical) const {
        QRectF plot = room;
        // Labels centred on the ends of a value axis reach past the plot by half their size:
        // the plot leaves them room inside the diagram's.
        if (Shown(vertical.axis) && vertical.values && !vertical.labels.isEmpty())
            plot.setTop(plot.top() + vertical.look.LineHeight() / 2);
        if (Shown(horizontal.axis) && (horizontal.values || horizontal.onTicks) && !horizontal.labels.isEmpty()) {
            QFontMetricsF fm(horizontal.look.font);
            plot.setRight(plot.right() - fm.horizontalAdvance(horizontal.labels.back()) / 2);
        }
        if (Shown(vertical.axis))
            plot.setLeft(plot.left() + LabelExtent(vertical, true) + kLabelSpacing);
        plot.setLeft(plot.left() + TickOut(vertical.axis));
        if (Shown(horizontal.axis))
            plot.setBottom(plot.bottom() - LabelExtent(horizontal, true) - kLabelSpacing);
        plot.setBottom(plot.bottom() - TickOut(horizontal.axis));
        return plot;
    }

    // Where value `v` lies along an axis of the plot.
    static double At(const AxisPlan& a, const QRectF& plot, double v) {
        double fr = std::clamp(a.scale.Frac(v), -0.05, 1.05);
        if (a.axis && a.axis->reversed)
            fr = 1 - fr;
        return a.horizontal ? plot.left() + fr * plot.width() : plot.bottom() - fr * plot.height();
    }
    // Where category `i` (0-based, fractional for bar slots) lies.
    static double CategoryAt(const AxisPlan& a, const QRectF& plot, double i, int count) {
        const double n = a.onTicks ? std::max(1, count - 1) : std::max(1, count);
        double fr = (i + (a.onTicks ? 0.0 : 0.5)) / n;
        if (a.onTicks && count == 1)
            fr = 0.5;
        if (a.axis && a.axis->reversed)
            fr = 1 - fr;
        return a.horizontal ? plot.left() + fr * plot.width() : plot.bottom() - fr * plot.height();
    }

    // Where an axis has its ticks and its gridlines: at each value of its scale, or on the
    // edges between categories (on the categories themselves when the axis crosses on them).
    static std::vector<double> Ticks(const AxisPlan& a, const QRectF& plot) {
        std::vector<double> at;
        if (a.values) {
            for (double t : a.scale.Ticks())
                at.push_back(At(a, plot, t));
        } else {
            const int n = int(a.labels.size());
            for (int i = 0; i < (a.onTicks ? n : n + 1); ++i)
                at.push_back(CategoryAt(a, plot, i - (a.onTicks ? 0.0 : 0.5), n));
        }
        return at;
    }

    void DrawAxis(const AxisPlan& a, const QRectF& plot, double crossAt) {
        const QPen pen = PenOf(a.axis ? a.axis->lineStyle : ChartShapeStyle(), kAutoLineColor, 1, false);
        const bool shown = !(a.axis && a.axis->deleted);
        const bool labelsShown = Shown(a.axis);
        QFontMetricsF fm(a.look.font);
        const std::vector<double> ticks = Ticks(a, plot);
        if (shown && pen.style() != Qt::NoPen) {
            p_->setPen(pen);
            if (a.horizontal) {
                const double y = CrispY(crossAt, pen);
                p_->drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
                for (double t : ticks) {
                    const double x = CrispX(t, pen);
                    p_->drawLine(QPointF(x, y - TickIn(a.axis)), QPointF(x, y + TickOut(a.axis)));
                }
            } else {
                const double x = CrispX(crossAt, pen);
                p_->drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
                for (double t : ticks) {
                    const double y = CrispY(t, pen);
                    p_->drawLine(QPointF(x - TickOut(a.axis), y), QPointF(x + TickIn(a.axis), y));
                }
            }
        }
        if (!labelsShown)
            return;
        const int n = int(a.labels.size());
        if (n == 0)
            return;
        if (a.horizontal) {
            const double top = plot.bottom() + TickOut(a.axis) + kLabelSpacing;
            double slot = a.values ? plot.width() / std::max(1, n - 1)
                                   : plot.width() / std::max(1, a.onTicks ? n - 1 : n);
            double widest = 0;
            for (const QString& l : a.labels)
                widest = std::max(widest, fm.horizontalAdvance(l));
            const int every = std::max(1, int(std::ceil((widest + 4) / std::max(1.0, slot))));
            for (int i = 0; i < n; i += every) {
                const double cx = a.values ? At(a, plot, a.scale.Ticks()[size_t(i)]) : CategoryAt(a, plot, i, n);
                DrawText(a.labels[i], a.look, QRectF(cx - 500, top, 1000, fm.height()), Qt::AlignHCenter | Qt::AlignTop);
            }
        } else {
            const double right = plot.left() - TickOut(a.axis) - kLabelSpacing;
            const double slot = plot.height() / std::max(1, n);
            const int every = a.values ? 1 : std::max(1, int(std::ceil(fm.height() / std::max(1.0, slot))));
            const double leftRoom = std::max(1.0, right);
            for (int i = 0; i < n; i += every) {
                const double cy = a.values ? At(a, plot, a.scale.Ticks()[size_t(i)]) : CategoryAt(a, plot, i, n);
                DrawText(fm.elidedText(a.labels[i], Qt::ElideRight, leftRoom), a.look,
                         QRectF(right - leftRoom, cy - fm.height() / 2, leftRoom, fm.height()),
                         Qt::AlignRight | Qt::AlignVCenter);
            }
        }
    }

    void DrawGrid(const AxisPlan& a, const QRectF& plot) {
        if (!a.axis || !a.axis->majorGridlines)
            return;
        const QPen pen = PenOf(a.axis->gridStyle, kAutoLineColor, 1, false);
        if (pen.style() == Qt::NoPen)
            return;
        p_->setPen(pen);
        for (double v : Ticks(a, plot)) {
            const double c = a.horizontal ? CrispX(v, pen) : CrispY(v, pen);
            if (a.horizontal)
                p_->drawLine(QPointF(c, plot.top()), QPointF(c, plot.bottom()));
            else
                p_->drawLine(QPointF(plot.left(), c), QPointF(plot.right(), c));
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
            // Lines and areas stack positive and negative values together; bars apart.
            const bool apart = plot.kind == ChartKind::Bar;
            for (size_t i = 0; i < n; ++i) {
                double pos = 0, neg = 0;
                for (const ChartSeries& s : plot.series)
                    if (i < s.values.size() && Finite(s.values[i])) {
                        if (apart)
                            (s.values[i] >= 0 ? pos : neg) += s.values[i];
                        else
                            pos += s.values[i];
                        hi = std::max(hi, pos);
                        lo = std::min(lo, apart ? neg : pos);
                    }
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

    void DrawCartesian(QRectF remaining) {
        const bool scatter = chart_.plots.front().kind == ChartKind::Scatter;
        AxisPlan value, other;
        value.axis = Axis(true);
        other.axis = Axis(false);
        value.look = Look(value.axis ? value.axis->text : ChartTextStyle(), kDefaultPoints, false);
        value.format = ValueFormat(value.axis);
        value.lo = std::numeric_limits<double>::infinity();
        value.hi = -value.lo;
        size_t cats = 0;
        bool horizontalBars = false;
        if (scatter) {
            // The first value axis of a scatter chart is its x axis unless it stands at a side.
            const ChartAxis* xAxis = Axis(true, false);
            const ChartAxis* yAxis = Axis(true, true);
            if (xAxis && yAxis && (xAxis->position == QLatin1String("l") || xAxis->position == QLatin1String("r")))
                std::swap(xAxis, yAxis);
            value.axis = yAxis;
            other.axis = xAxis;
            other.values = true;
            other.look = Look(xAxis ? xAxis->text : ChartTextStyle(), kDefaultPoints, false);
            other.format = ValueFormat(xAxis);
            other.lo = std::numeric_limits<double>::infinity();
            other.hi = -other.lo;
            // Only values show where they are; x values start the axis where they start.
            other.options.wideToZero = other.options.narrowToZero = false;
            for (const ChartPlot& plot : chart_.plots)
                for (const ChartSeries& s : plot.series)
                    for (size_t i = 0; i < std::min(s.values.size(), kMaxDrawnPoints); ++i) {
                        const double x = i < s.xValues.size() ? s.xValues[i] : double(i + 1);
                        if (!Finite(x) || !Finite(s.values[i]))
                            continue;
                        other.lo = std::min(other.lo, x), other.hi = std::max(other.hi, x);
                        value.lo = std::min(value.lo, s.values[i]), value.hi = std::max(value.hi, s.values[i]);
                    }
        } else {
            other.values = false;
            other.look = Look(other.axis ? other.axis->text : ChartTextStyle(), kDefaultPoints, false);
            bool areas = false;
            for (const ChartPlot& plot : chart_.plots) {
                if (plot.kind == ChartKind::Pie || plot.kind == ChartKind::Doughnut ||
                    plot.kind == ChartKind::Scatter || plot.kind == ChartKind::Other)
                    continue;
                Extent(plot, value.lo, value.hi);
                if (plot.kind == ChartKind::Bar)
                    horizontalBars = horizontalBars || plot.barDirection == QLatin1String("bar");
                areas = areas || plot.kind == ChartKind::Area;
                for (const ChartSeries& s : plot.series) {
                    cats = std::max(cats, std::min(s.values.size(), kMaxDrawnPoints));
                    if (other.labels.size() < s.categories.size())
                        other.labels = s.categories.mid(0, qsizetype(kMaxDrawnPoints));
                }
            }
            while (size_t(other.labels.size()) < cats)
                other.labels << QString::number(other.labels.size() + 1);
            other.labels = other.labels.mid(0, qsizetype(cats));
            // Points sit between the tick marks unless the value axis says they sit on them;
            // areas run from edge to edge.
            const QString between = value.axis ? value.axis->crossBetween : QString();
            other.onTicks = between.isEmpty() ? areas : between == QLatin1String("midCat");
            for (const ChartPlot& plot : chart_.plots)
                if (plot.kind == ChartKind::Bar)
                    other.onTicks = false;
        }
        if (value.hi < value.lo) {  // no cached values at all: an empty frame
            value.lo = 0;
            value.hi = 0;
        }
        if (other.values && other.hi < other.lo)
            other.lo = other.hi = 0;
        value.horizontal = horizontalBars;
        other.horizontal = !horizontalBars;
        AxisPlan& h = value.horizontal ? value : other;
        AxisPlan& v = value.horizontal ? other : value;

        // Axis titles take their room first, then the diagram gets what is left, less the
        // page distance on every side.
        const QString hTitle = h.axis ? h.axis->title : QString();
        const QString vTitle = v.axis ? v.axis->title : QString();
        const TextLook hTitleLook = Look(h.axis ? h.axis->titleText : ChartTextStyle(), kDefaultPoints, true);
        const TextLook vTitleLook = Look(v.axis ? v.axis->titleText : ChartTextStyle(), kDefaultPoints, true);
        QSizeF hTitleSize, vTitleSize;
        if (!hTitle.isEmpty()) {
            hTitleSize = hTitleLook.Size(hTitle) + QSizeF(2 * kTextPadX, 2 * kTextPadY);
            remaining.setBottom(remaining.bottom() - hTitleSize.height() - kXAxisTitleDistance);
        }
        if (!vTitle.isEmpty()) {
            vTitleSize = vTitleLook.Size(vTitle) + QSizeF(2 * kTextPadX, 2 * kTextPadY);
            vTitleSize.transpose();
            remaining.setLeft(remaining.left() + vTitleSize.width() + kYAxisTitleDistance);
        }
        const QRectF room = remaining.adjusted(dx_, dy_, -dx_, -dy_);
        if (room.width() < 8 || room.height() < 8)
            return;

        // Labels decide the plot's size and the plot's size how many labels there are: twice.
        value.options.maxSteps = 10;
        value.scale = Scale::Of(value.lo, value.hi, value.axis, value.options);
        Labels(value);
        if (other.values) {
            other.scale = Scale::Of(other.lo, other.hi, other.axis, other.options);
            Labels(other);
        }
        QRectF plot = PlotRect(room, h, v);
        for (int pass = 0; pass < 2; ++pass) {
            Rescale(h, plot.width());
            Rescale(v, plot.height());
            plot = PlotRect(room, h, v);
        }
        if (plot.width() < 4 || plot.height() < 4)
            return;

        // The plot area's own fill and outline, then gridlines, then the data, then the axes.
        const ChartShapeStyle& ps = chart_.plotStyle;
        if (ps.fill == ChartPaint::Solid)
            p_->fillRect(Snapped(plot), ps.fillColor);
        DrawGrid(h, plot);
        DrawGrid(v, plot);
        const QPen plotFrame = PenOf(ps, kAutoLineColor, 1, true);
        if (plotFrame.style() != Qt::NoPen) {
            p_->setPen(plotFrame);
            p_->setBrush(Qt::NoBrush);
            p_->drawRect(QRectF(QPointF(CrispX(plot.left(), plotFrame), CrispY(plot.top(), plotFrame)),
                                QPointF(CrispX(plot.right(), plotFrame), CrispY(plot.bottom(), plotFrame))));
        }
        p_->save();
        p_->setClipRect(plot.adjusted(-8, -8, 8, 8));
        if (scatter) {
            DrawScatter(plot, other, value);
        } else {
            for (const ChartPlot& cp : chart_.plots) {
                if (cp.kind == ChartKind::Bar)
                    DrawBars(plot, cp, other, value, cats);
                else if (cp.kind == ChartKind::Area)
                    DrawLinesOrAreas(plot, cp, other, value, cats, true);
                else if (cp.kind == ChartKind::Line)
                    DrawLinesOrAreas(plot, cp, other, value, cats, false);
            }
        }
        p_->restore();
        // Each axis crosses the other at zero, or at its end nearest zero.
        auto crossing = [&](const AxisPlan& across) {
            if (!across.values)
                return across.horizontal ? plot.left() : plot.bottom();
            const double z = std::clamp(0.0, across.scale.min, across.scale.max);
            return At(across, plot, z);
        };
        DrawAxis(h, plot, crossing(v));
        DrawAxis(v, plot, crossing(h));
        if (!hTitle.isEmpty()) {
            const double top = plot.bottom() + TickOut(h.axis) + (Shown(h.axis) ? kLabelSpacing + LabelExtent(h, true) : 0) +
                               dy_;
            DrawText(hTitle, hTitleLook, QRectF(plot.center().x() - hTitleSize.width() / 2, top, hTitleSize.width(), hTitleSize.height()));
        }
        if (!vTitle.isEmpty()) {
            const double right = plot.left() - TickOut(v.axis) - (Shown(v.axis) ? kLabelSpacing + LabelExtent(v, true) : 0) - dx_;
            DrawUpwards(vTitle, vTitleLook, QPointF(right - vTitleSize.width() / 2, plot.center().y()));
        }
        DrawLabels(plot, other, value, cats, scatter);
    }

    // The plotted values of a plot's series after stacking: (base, top) per point.
    static std::vector<std::vector<std::pair<double, double>>> Stack(const ChartPlot& plot, size_t cats) {
        const bool stacked = plot.grouping == QLatin1String("stacked");
        const bool percent = plot.grouping == QLatin1String("percentStacked");
        const bool apart = plot.kind == ChartKind::Bar;
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
                    double& acc = !apart || v >= 0 ? pos[i] : neg[i];
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

    void DrawBars(const QRectF& plot, const ChartPlot& cp, const AxisPlan& cat, const AxisPlan& val, size_t cats) {
        const auto stacked = Stack(cp, cats);
        const bool stacking = cp.grouping == QLatin1String("stacked") || cp.grouping == QLatin1String("percentStacked");
        const int n = std::max<int>(1, int(cp.series.size()));
        const double along = cat.horizontal ? plot.width() : plot.height();
        const double slot = along / double(std::max<size_t>(1, cats));
        const double gap = std::clamp(cp.gapWidth, 0, 500) / 100.0;
        const double overlap = stacking ? 1.0 : std::clamp(cp.overlap, -100, 100) / 100.0;
        const double groups = stacking ? 1.0 : n - (n - 1) * overlap;
        const double barW = slot / (groups + gap);
        for (size_t s = 0; s < cp.series.size(); ++s) {
            const ChartSeries& ser = cp.series[s];
            const QPen outline = PenOf(ser.style, SeriesLine(ser), 1, true);
            const double offset = stacking ? 0 : double(s) * barW * (1 - overlap);
            for (size_t i = 0; i < cats; ++i) {
                const auto [base, top] = stacked[s][i];
                if (!Finite(top))
                    continue;
                const double centre = CategoryAt(cat, plot, double(i), int(cats));
                const double start = -barW * groups / 2 + offset;
                const double a = At(val, plot, base), b = At(val, plot, top);
                QRectF bar;
                if (!cat.horizontal) {
                    // Categories run upwards from the bottom.
                    const double y = centre - start - barW;
                    bar = QRectF(QPointF(std::min(a, b), y), QPointF(std::max(a, b), y + barW));
                } else {
                    const double x = centre + start;
                    bar = QRectF(QPointF(x, std::min(a, b)), QPointF(x + barW, std::max(a, b)));
                }
                p_->fillRect(bar, PointFill(cp, ser, i));
                if (outline.style() != Qt::NoPen) {
                    p_->setPen(outline);
                    p_->setBrush(Qt::NoBrush);
                    p_->drawRect(bar);
                }
            }
        }
    }

    void DrawLinesOrAreas(const QRectF& plot, const ChartPlot& cp, const AxisPlan& cat, const AxisPlan& val,
                          size_t cats, bool areas) {
        const auto stacked = Stack(cp, cats);
        auto xAt = [&](size_t i) { return CategoryAt(cat, plot, double(i), int(cats)); };
        for (size_t k = 0; k < cp.series.size(); ++k) {
            // Areas that do not stack are drawn last first, so that the first stays in front.
            const bool stacking = cp.grouping == QLatin1String("stacked") || cp.grouping == QLatin1String("percentStacked");
            const size_t s = areas && !stacking ? cp.series.size() - 1 - k : k;
            const ChartSeries& ser = cp.series[s];
            if (areas) {
                QPolygonF top, bottom;
                for (size_t i = 0; i < cats; ++i) {
                    auto [base, v] = stacked[s][i];
                    if (!Finite(v))
                        base = v = 0;
                    top << QPointF(xAt(i), At(val, plot, v));
                    bottom.prepend(QPointF(xAt(i), At(val, plot, base)));
                }
                QPainterPath path;
                path.addPolygon(top + bottom);
                path.closeSubpath();
                p_->fillPath(path, SeriesFill(ser));
                const QPen outline = PenOf(ser.style, SeriesLine(ser), 1, true);
                if (outline.style() != Qt::NoPen)
                    p_->strokePath(path, outline);
                continue;
            }
            const QPen pen = SeriesPen(ser);
            const bool smooth = ser.smooth == 1;
            QPolygonF run;
            auto flush = [&] {
                if (run.size() > 1 && !ser.noLine && pen.style() != Qt::NoPen) {
                    p_->setPen(pen);
                    p_->setBrush(Qt::NoBrush);
                    if (smooth)
                        p_->drawPath(SmoothPath(run));
                    else
                        p_->drawPolyline(run);
                }
                run.clear();
            };
            for (size_t i = 0; i < cats; ++i) {
                const auto [base, v] = stacked[s][i];
                if (!Finite(v)) {
                    flush();  // a gap at a missing point
                    continue;
                }
                run << QPointF(xAt(i), At(val, plot, v));
            }
            flush();
            for (size_t i = 0; i < cats; ++i)
                if (Finite(stacked[s][i].second))
                    SeriesMarker(QPointF(xAt(i), At(val, plot, stacked[s][i].second)), cp, ser);
        }
    }

    void DrawScatter(const QRectF& plot, const AxisPlan& xs, const AxisPlan& ys) {
        for (const ChartPlot& cp : chart_.plots) {
            const bool lines = cp.scatterStyle != QLatin1String("marker");
            for (const ChartSeries& s : cp.series) {
                QPolygonF pts;
                for (const QPointF& pt : ScatterPoints(plot, xs, ys, s))
                    pts << pt;
                // Unsaid, a scatter series is smoothed unless its style says straight lines.
                const bool smooth = s.smooth == 1 || (s.smooth < 0 && (cp.scatterStyle.isEmpty() ||
                                                                       cp.scatterStyle.startsWith(QLatin1String("smooth"))));
                const QPen pen = SeriesPen(s);
                if (lines && !s.noLine && pen.style() != Qt::NoPen && pts.size() > 1) {
                    p_->setPen(pen);
                    p_->setBrush(Qt::NoBrush);
                    if (smooth)
                        p_->drawPath(SmoothPath(pts));
                    else
                        p_->drawPolyline(pts);
                }
                for (const QPointF& pt : pts)
                    SeriesMarker(pt, cp, s);
            }
        }
    }

    QPolygonF ScatterPoints(const QRectF& plot, const AxisPlan& xs, const AxisPlan& ys, const ChartSeries& s) const {
        QPolygonF pts;
        for (size_t i = 0; i < std::min(s.values.size(), kMaxDrawnPoints); ++i) {
            const double x = i < s.xValues.size() ? s.xValues[i] : double(i + 1);
            if (!Finite(x) || !Finite(s.values[i]))
                continue;
            pts << QPointF(At(xs, plot, x), At(ys, plot, s.values[i]));
        }
        return pts;
    }

    // ---- data labels ----------------------------------------------------------------------

    const ChartLabels& LabelsOf(const ChartSeries& s, size_t point) const {
        for (const auto& [idx, labels] : s.pointLabels)
            if (size_t(idx) == point)
                return labels;
        return s.labels;
    }

    // A point's label: series name, category, value and percentage, as the labels ask.
    QString LabelText(const ChartLabels& l, const ChartSeries& s, size_t point, double percent) const {
        QStringList parts;
        if (l.showSeries)
            parts << s.name;
        if (l.showCategory)
            parts << (point < size_t(s.categories.size()) ? s.categories[qsizetype(point)] : QString::number(point + 1));
        if (l.showValue && point < s.values.size() && Finite(s.values[point]))
            parts << Label(s.values[point], l.numberFormat.isEmpty() ? s.valueFormat : l.numberFormat);
        if (l.showPercent && Finite(percent))
            parts << Label(percent, l.numberFormat.contains(QLatin1Char('%')) ? l.numberFormat : QStringLiteral("0%"));
        return parts.join(l.separator.isEmpty() ? QStringLiteral(" ") : l.separator);
    }

    void DrawLabel(const QString& text, const ChartLabels& l, QPointF anchor, Qt::Alignment align) {
        if (text.isEmpty())
            return;
        const TextLook look = Look(l.text, kDefaultPoints, false);
        const QSizeF size = look.Size(text);
        QPointF topLeft(anchor.x() - size.width() / 2, anchor.y() - size.height() / 2);
        if (align & Qt::AlignBottom)  // the label ends at the anchor
            topLeft.setY(anchor.y() - size.height());
        else if (align & Qt::AlignTop)
            topLeft.setY(anchor.y());
        if (align & Qt::AlignLeft)
            topLeft.setX(anchor.x());
        DrawText(text, look, QRectF(topLeft, size + QSizeF(2, 0)));
    }

    void DrawLabels(const QRectF& plot, const AxisPlan& cat, const AxisPlan& val, size_t cats, bool scatter) {
        for (const ChartPlot& cp : chart_.plots) {
            if (cp.kind == ChartKind::Pie || cp.kind == ChartKind::Doughnut || cp.kind == ChartKind::Other)
                continue;
            const auto stacked = Stack(cp, cats);
            for (size_t s = 0; s < cp.series.size(); ++s) {
                const ChartSeries& ser = cp.series[s];
                if (!ser.labels.Any() && ser.pointLabels.empty())
                    continue;
                const QPolygonF pts = scatter ? ScatterPoints(plot, cat, val, ser) : QPolygonF();
                const size_t n = scatter ? size_t(pts.size()) : std::min(cats, ser.values.size());
                for (size_t i = 0; i < n; ++i) {
                    const ChartLabels& l = LabelsOf(ser, i);
                    if (!l.Any())
                        continue;
                    double total = 0;
                    for (const ChartSeries& other : cp.series)
                        if (i < other.values.size() && Finite(other.values[i]))
                            total += std::fabs(other.values[i]);
                    const double pct = total > 0 && i < ser.values.size() ? std::fabs(ser.values[i]) / total : NAN;
                    const QString text = LabelText(l, ser, i, pct);
                    if (scatter) {
                        DrawLabel(text, l, pts[qsizetype(i)] - QPointF(0, 4), Qt::AlignBottom);
                        continue;
                    }
                    if (s >= stacked.size() || !Finite(stacked[s][i].second))
                        continue;
                    const double c = CategoryAt(cat, plot, double(i), int(cats));
                    const double top = At(val, plot, stacked[s][i].second), base = At(val, plot, stacked[s][i].first);
                    if (cp.kind == ChartKind::Bar) {
                        // Beside a clustered bar's end, inside a stacked one's middle.
                        const bool inside = cp.grouping != QLatin1String("clustered") || l.position == QLatin1String("ctr");
                        const int nSeries = int(cp.series.size());
                        const double slot = (cat.horizontal ? plot.width() : plot.height()) / double(std::max<size_t>(1, cats));
                        const double barW = slot / (nSeries + std::clamp(cp.gapWidth, 0, 500) / 100.0);
                        const double shift = inside ? 0 : (double(s) - (nSeries - 1) / 2.0) * barW;
                        if (cat.horizontal) {
                            const QPointF at(c + shift, inside ? (top + base) / 2 : top - 2);
                            DrawLabel(text, l, at, inside ? Qt::AlignCenter : Qt::AlignBottom);
                        } else {
                            const QPointF at(inside ? (top + base) / 2 : top + 3, c - shift);
                            DrawLabel(text, l, at, inside ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter));
                        }
                    } else {
                        DrawLabel(text, l, QPointF(c, top - 4), Qt::AlignBottom);
                    }
                }
            }
        }
    }

    // ---- pies -----------------------------------------------------------------------------

    // A pie's label: its text, and inside its slice or outside the pie.
    struct PieLabel {
        QString text;
        const ChartLabels* labels = nullptr;
        double angle = 0;   // the slice's middle, degrees counter-clockwise from three o'clock
        double from = 0, span = 0;
        double innerFraction = 0;  // where the ring starts, as a share of the radius
        QSizeF size;
        bool outside = false;
    };

    // Where a label's box lies for a pie of radius `r` at `c`.
    static QRectF PieLabelBox(const PieLabel& l, QPointF c, double r) {
        const double a = l.angle * M_PI / 180.0, cx = std::cos(a), cy = -std::sin(a);
        if (!l.outside) {
            // Inside: at three quarters of the radius, or in the ring's middle.
            const double at = l.innerFraction > 0 ? (1 + l.innerFraction) / 2 : 0.74;
            const QPointF m(c.x() + at * r * cx, c.y() + at * r * cy);
            return QRectF(m.x() - l.size.width() / 2, m.y() - l.size.height() / 2, l.size.width(), l.size.height());
        }
        // Outside: just beyond the edge, the box on the side away from the centre.
        const QPointF e(c.x() + (r + 4) * cx, c.y() + (r + 4) * cy);
        const double x = cx >= 0 ? e.x() : e.x() - l.size.width();
        const double y = e.y() - l.size.height() / 2 + cy * l.size.height() / 2;
        return QRectF(x, y, l.size.width(), l.size.height());
    }

    // Whether an inside label fits its slice: every corner within the pie and the slice's angles.
    static bool FitsInside(const PieLabel& l, QPointF c, double r) {
        const QRectF box = PieLabelBox(l, c, r);
        for (const QPointF& q : {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()}) {
            const double ux = q.x() - c.x(), uy = c.y() - q.y();
            const double dist = std::hypot(ux, uy);
            if (dist > r || dist < l.innerFraction * r)
                return false;
            if (std::fabs(l.span) >= 359.9)
                continue;
            double ang = std::atan2(uy, ux) * 180.0 / M_PI;
            // The slice runs clockwise from `from` over `span` (negative) degrees.
            double rel = std::fmod(l.from - ang + 720.0, 360.0);
            if (rel > -l.span)
                return false;
        }
        return true;
    }

    // Calls `slice(point, from, span, total)` for each slice of a ring, in degrees counter-
    // clockwise from three o'clock: the first starts at twelve (turned by the first slice's
    // angle) and the slices run clockwise, so each span is negative.
    template <class Slice>
    static void Slices(const ChartPlot& plot, const ChartSeries& s, Slice slice) {
        double total = 0;
        const size_t n = std::min(s.values.size(), kMaxDrawnPoints);
        for (size_t i = 0; i < n; ++i)
            if (Finite(s.values[i]))
                total += std::fabs(s.values[i]);
        if (total <= 0)
            return;
        double angle = 90.0 - plot.firstSliceAngle;
        for (size_t i = 0; i < n; ++i) {
            if (!Finite(s.values[i]) || s.values[i] == 0)
                continue;
            const double span = -std::fabs(s.values[i]) / total * 360.0;
            slice(i, angle, span, total);
            angle += span;
        }
    }

    void DrawPie(QRectF room, const ChartPlot& plot) {
        if (room.width() < 4 || room.height() < 4 || plot.series.empty())
            return;
        const bool doughnut = plot.kind == ChartKind::Doughnut;
        const size_t rings = doughnut ? plot.series.size() : 1;
        const double hole = doughnut ? std::clamp(plot.holeSize, 10, 90) / 100.0 : 0.0;
        const QPointF c = room.center();
        double r = std::min(room.width(), room.height()) / 2;
        // The labels, each inside its slice where it fits (Calc's best fit), else outside;
        // labels outside make the pie smaller until they fit the room too.
        std::vector<PieLabel> labels;
        const ChartSeries& outerRing = plot.series[rings - 1];
        Slices(plot, outerRing, [&](size_t i, double from, double span, double total) {
            const ChartLabels& l = LabelsOf(outerRing, i);
            if (!l.Any())
                return;
            PieLabel pl;
            pl.text = LabelText(l, outerRing, i, std::fabs(outerRing.values[i]) / total);
            pl.labels = &l;
            pl.angle = from + span / 2;
            pl.from = from;
            pl.span = span;
            pl.innerFraction = doughnut ? hole + (1 - hole) * double(rings - 1) / double(rings) : 0;
            pl.size = Look(l.text, kDefaultPoints, false).Size(pl.text);
            pl.outside = l.position == QLatin1String("outEnd");
            labels.push_back(pl);
        });
        for (PieLabel& l : labels)
            if (!l.outside && l.labels->position != QLatin1String("ctr") && l.labels->position != QLatin1String("inEnd"))
                l.outside = !FitsInside(l, c, r);
        auto fits = [&](double radius) {
            QRectF used(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
            for (const PieLabel& l : labels)
                if (l.outside)
                    used |= PieLabelBox(l, c, radius);
            return room.adjusted(-1, -1, 1, 1).contains(used);
        };
        for (int guard = 0; guard < 200 && r > 4 && !fits(r); ++guard)
            r *= 0.98;
        if (r < 2)
            return;
        const QRectF outer(c.x() - r, c.y() - r, 2 * r, 2 * r);
        const double ringW = r * (1 - hole) / double(rings);
        for (size_t ring = 0; ring < rings; ++ring) {
            const ChartSeries& s = plot.series[ring];
            const double inset = ringW * double(ring);
            const QRectF box = outer.adjusted(inset, inset, -inset, -inset);
            const QPen slicePen = PenOf(s.style, background_, 1, true);
            Slices(plot, s, [&](size_t i, double from, double span, double) {
                p_->setPen(slicePen);
                p_->setBrush(PointFill(plot, s, i));
                p_->drawPie(box, int(std::lround(from * 16)), int(std::lround(span * 16)));
            });
        }
        if (doughnut) {
            p_->setPen(Qt::NoPen);
            p_->setBrush(background_);
            p_->drawEllipse(QRectF(c.x() - r * hole, c.y() - r * hole, 2 * r * hole, 2 * r * hole));
        }
        for (const PieLabel& l : labels)
            DrawText(l.text, Look(l.labels->text, kDefaultPoints, false), PieLabelBox(l, c, r).adjusted(-1, 0, 1, 0));
    }

    const ChartData& chart_;
    const Theme& theme_;
    QSize size_;     // the picture's pixels
    QSizeF layout_;  // the chart's own size, at which it is laid out
    double sx_ = 1, sy_ = 1;
    QPainter* p_ = nullptr;
    QColor background_;
    double dx_ = 0, dy_ = 0;
    std::vector<LegendEntry> legend_;
};

QImage Placeholder(const QString& name, const QString& kind, QSize size) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setPen(QPen(QColor(128, 128, 128), 1));
    p.drawRect(QRect(0, 0, size.width() - 1, size.height() - 1));
    p.setPen(QColor(89, 89, 89));
    p.setFont(PaintFont(QStringLiteral("Calibri"), 11));
    p.drawText(QRect(4, 4, size.width() - 8, size.height() - 8),
               Qt::AlignCenter | Qt::TextWordWrap, name + QLatin1Char('\n') + kind);
    p.end();
    return img;
}

}  // namespace

AxisScale AutomaticAxisScale(double lo, double hi, int maxSteps, bool yAxis, const ChartAxis* axis) {
    Scale::Options o;
    o.maxSteps = maxSteps;
    o.wideToZero = o.narrowToZero = yAxis;
    const Scale s = Scale::Of(lo, hi, axis, o);
    return {s.min, s.max, s.step};
}

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
                        QSize size, QSizeF layout) {
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
    ChartPainter painter(*chart, theme, size, layout.isEmpty() ? QSizeF(size) : layout);
    out.image = painter.Paint();
    if (out.image.isNull())
        throw Error(QStringLiteral("There is not enough memory for the picture of the chart %1.")
                        .arg(name));
    return out;
}

}  // namespace xl
