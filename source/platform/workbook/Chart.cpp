#include "platform/workbook/Chart.h"

#include "platform/workbook/Error.h"
#include "platform/workbook/Package.h"
#include "platform/workbook/Styles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace xl {

namespace {

// Caches hold at most this many points: a chart part claiming more is not believed.
constexpr int kMaxPoints = 100000;
// A cache's size is claimed in a few bytes and its points are made whether the part holds them
// or not: all the caches of one chart together hold at most this many.
constexpr qsizetype kMaxChartPoints = 1000000;

QString RichText(const pugi::xml_node& tx) {
    // <c:tx><c:rich><a:p><a:r><a:t>..</a:t></a:r></a:p>...</c:rich></c:tx>, or a strRef cache.
    if (pugi::xml_node rich = Child(tx, "rich")) {
        QStringList paras;
        for (pugi::xml_node p : rich.children()) {
            if (!Is(p, "p"))
                continue;
            QString line;
            for (pugi::xml_node r : p.children())
                if (Is(r, "r") || Is(r, "fld"))
                    line += QString::fromUtf8(Child(r, "t").text().get());
            paras.append(line);
        }
        return paras.join(QLatin1Char('\n'));
    }
    if (pugi::xml_node ref = Child(tx, "strRef")) {
        QStringList parts;
        for (pugi::xml_node pt : Child(ref, "strCache").children())
            if (Is(pt, "pt"))
                parts.append(QString::fromUtf8(Child(pt, "v").text().get()));
        return parts.join(QLatin1Char(' '));
    }
    if (pugi::xml_node v = Child(tx, "v"))
        return QString::fromUtf8(v.text().get());
    return {};
}

// Reads the cached points of a data source (cat, val, xVal, yVal) as texts.
QStringList CachedTexts(const pugi::xml_node& source, QString* formatCode = nullptr) {
    pugi::xml_node cache;
    for (pugi::xml_node ref : source.children()) {
        if (Is(ref, "strRef"))
            cache = Child(ref, "strCache");
        else if (Is(ref, "numRef"))
            cache = Child(ref, "numCache");
        else if (Is(ref, "strLit") || Is(ref, "numLit"))
            cache = ref;
        else if (Is(ref, "multiLvlStrRef")) {
            // Multi-level categories: the innermost level labels the points.
            pugi::xml_node lvl = Child(Child(ref, "multiLvlStrCache"), "lvl");
            cache = lvl;
            int count = Child(Child(ref, "multiLvlStrCache"), "ptCount").attribute("val").as_int();
            QStringList out;
            for (int i = 0; i < std::min(count, kMaxPoints); ++i)
                out.append(QString());
            for (pugi::xml_node pt : lvl.children())
                if (Is(pt, "pt")) {
                    const int idx = pt.attribute("idx").as_int(-1);
                    if (idx >= 0 && idx < out.size())
                        out[idx] = QString::fromUtf8(Child(pt, "v").text().get());
                }
            return out;
        }
        if (cache)
            break;
    }
    if (!cache)
        return {};
    if (formatCode) {
        const QString code = QString::fromUtf8(Child(cache, "formatCode").text().get());
        if (!code.isEmpty())
            *formatCode = code;
    }
    int count = Child(cache, "ptCount").attribute("val").as_int(0);
    // A point past what any cache may hold is not believed: it neither stretches the series
    // nor, at the end of the numbers, wraps the count around.
    int maxIdx = -1;
    for (pugi::xml_node pt : cache.children())
        if (Is(pt, "pt")) {
            const int idx = pt.attribute("idx").as_int(-1);
            if (idx < kMaxPoints)
                maxIdx = std::max(maxIdx, idx);
        }
    count = std::clamp(std::max(count, maxIdx + 1), 0, kMaxPoints);
    QStringList out;
    out.reserve(count);
    for (int i = 0; i < count; ++i)
        out.append(QString());
    for (pugi::xml_node pt : cache.children()) {
        if (!Is(pt, "pt"))
            continue;
        const int idx = pt.attribute("idx").as_int(-1);
        if (idx >= 0 && idx < count)
            out[idx] = QString::fromUtf8(Child(pt, "v").text().get());
    }
    return out;
}

std::vector<double> CachedNumbers(const pugi::xml_node& source, QString* formatCode) {
    std::vector<double> out;
    for (const QString& t : CachedTexts(source, formatCode)) {
        bool ok = false;
        const double v = t.toDouble(&ok);
        out.push_back(ok ? v : std::numeric_limits<double>::quiet_NaN());
    }
    return out;
}

void ReadShapeColors(const pugi::xml_node& spPr, const Theme& theme, QColor& fill, QColor& line,
                     bool* noLine) {
    if (!spPr)
        return;
    if (pugi::xml_node solid = Child(spPr, "solidFill"))
        fill = ReadDrawingColor(solid, theme);
    else if (pugi::xml_node grad = Child(spPr, "gradFill"))
        fill = ReadDrawingColor(Child(Child(grad, "gsLst"), "gs"), theme);
    if (pugi::xml_node ln = Child(spPr, "ln")) {
        if (pugi::xml_node solid = Child(ln, "solidFill"))
            line = ReadDrawingColor(solid, theme);
        if (noLine && Child(ln, "noFill"))
            *noLine = true;
    }
}

// A run's or paragraph's properties (defRPr, rPr): size in hundredths of a point, bold,
// italic, fill, typeface.
void ReadRunStyle(const pugi::xml_node& r, const Theme& theme, ChartTextStyle& out) {
    if (!r)
        return;
    if (pugi::xml_attribute sz = r.attribute("sz")) {
        const double pts = sz.as_double() / 100.0;
        if (std::isfinite(pts) && pts >= 1 && pts <= 400)
            out.points = pts;
    }
    if (pugi::xml_attribute b = r.attribute("b"))
        out.bold = b.as_bool() ? 1 : 0;
    if (pugi::xml_attribute i = r.attribute("i"))
        out.italic = i.as_bool() ? 1 : 0;
    if (pugi::xml_node fill = Child(r, "solidFill")) {
        const QColor c = ReadDrawingColor(fill, theme);
        if (c.isValid())
            out.color = c;
    }
    if (pugi::xml_node latin = Child(r, "latin")) {
        QString face = QString::fromUtf8(latin.attribute("typeface").value());
        // Theme fonts by their placeholder name.
        if (face == QLatin1String("+mn-lt"))
            face = theme.minorFont;
        else if (face == QLatin1String("+mj-lt"))
            face = theme.majorFont;
        if (!face.isEmpty())
            out.typeface = face;
    }
}

// The text style of a txPr, or of a rich text (its body's rotation, its first paragraph's
// default run properties, then its first run's own).
ChartTextStyle ReadTextStyle(const pugi::xml_node& body, const Theme& theme) {
    ChartTextStyle out;
    if (!body)
        return out;
    if (pugi::xml_attribute rot = Child(body, "bodyPr").attribute("rot")) {
        const double deg = -rot.as_double() / 60000.0;
        if (std::isfinite(deg) && std::fabs(deg) <= 360) {
            out.rotation = deg;
            out.hasRotation = true;
        }
    }
    pugi::xml_node p = Child(body, "p");
    ReadRunStyle(Child(Child(p, "pPr"), "defRPr"), theme, out);
    for (pugi::xml_node r : p.children())
        if (Is(r, "r") || Is(r, "fld")) {
            ReadRunStyle(Child(r, "rPr"), theme, out);
            break;
        }
    return out;
}

// A shape's fill and outline.
ChartShapeStyle ReadShapeStyle(const pugi::xml_node& spPr, const Theme& theme) {
    ChartShapeStyle out;
    if (!spPr)
        return out;
    if (Child(spPr, "noFill")) {
        out.fill = ChartPaint::None;
    } else if (pugi::xml_node solid = Child(spPr, "solidFill")) {
        out.fillColor = ReadDrawingColor(solid, theme);
        out.fill = out.fillColor.isValid() ? ChartPaint::Solid : ChartPaint::Automatic;
    } else if (pugi::xml_node grad = Child(spPr, "gradFill")) {
        out.fillColor = ReadDrawingColor(Child(Child(grad, "gsLst"), "gs"), theme);
        out.fill = out.fillColor.isValid() ? ChartPaint::Solid : ChartPaint::Automatic;
    }
    if (pugi::xml_node ln = Child(spPr, "ln")) {
        if (pugi::xml_attribute w = ln.attribute("w")) {
            const double pts = w.as_double() / 12700.0;
            if (std::isfinite(pts) && pts >= 0 && pts <= 1584)
                out.lineWidth = pts;
        }
        if (Child(ln, "noFill")) {
            out.line = ChartPaint::None;
        } else if (pugi::xml_node solid = Child(ln, "solidFill")) {
            out.lineColor = ReadDrawingColor(solid, theme);
            out.line = out.lineColor.isValid() ? ChartPaint::Solid : ChartPaint::Automatic;
        }
        const QString dash = QString::fromUtf8(Child(ln, "prstDash").attribute("val").value());
        out.dashed = !dash.isEmpty() && dash != QLatin1String("solid");
    }
    return out;
}

// A dLbls or dLbl element: which parts the labels show, where, and in which text.
void ReadLabels(const pugi::xml_node& n, const Theme& theme, ChartLabels& out) {
    if (!n)
        return;
    out.set = true;
    auto flag = [&](const char* name, bool& into) {
        if (pugi::xml_node f = Child(n, name))
            into = f.attribute("val").as_bool(true);
    };
    flag("showVal", out.showValue);
    flag("showPercent", out.showPercent);
    flag("showCatName", out.showCategory);
    flag("showSerName", out.showSeries);
    if (pugi::xml_node sep = Child(n, "separator"))
        out.separator = QString::fromUtf8(sep.text().get());
    if (pugi::xml_node pos = Child(n, "dLblPos"))
        out.position = QString::fromUtf8(pos.attribute("val").value());
    if (pugi::xml_node fmt = Child(n, "numFmt"))
        out.numberFormat = QString::fromUtf8(fmt.attribute("formatCode").value());
    if (pugi::xml_node tx = Child(n, "txPr"))
        out.text = ReadTextStyle(tx, theme);
    if (Child(n, "delete").attribute("val").as_bool(false))
        out.showValue = out.showPercent = out.showCategory = out.showSeries = false;
}

ChartKind KindOf(const char* element) {
    const QString e = QString::fromUtf8(element);
    if (e == QLatin1String("barChart") || e == QLatin1String("bar3DChart"))
        return ChartKind::Bar;
    if (e == QLatin1String("lineChart") || e == QLatin1String("line3DChart") ||
        e == QLatin1String("stockChart"))
        return e == QLatin1String("stockChart") ? ChartKind::Other : ChartKind::Line;
    if (e == QLatin1String("areaChart") || e == QLatin1String("area3DChart"))
        return ChartKind::Area;
    if (e == QLatin1String("pieChart") || e == QLatin1String("pie3DChart") ||
        e == QLatin1String("ofPieChart"))
        return ChartKind::Pie;
    if (e == QLatin1String("doughnutChart"))
        return ChartKind::Doughnut;
    if (e == QLatin1String("scatterChart"))
        return ChartKind::Scatter;
    return ChartKind::Other;
}

bool IsPlotElement(const char* local) {
    const size_t n = std::strlen(local);
    return n > 5 && std::strcmp(local + n - 5, "Chart") == 0;
}

// One series: its name, categories (or x values) and values from the cached points, its colours
// and the colours of single points.
ChartSeries ReadSeries(const pugi::xml_node& s, const ChartPlot& plot, const Theme& theme) {
    ChartSeries ser;
    ser.index = Child(s, "idx").attribute("val").as_int(int(plot.series.size()));
    ser.name = RichText(Child(s, "tx"));
    ser.valueFormat = QStringLiteral("General");
    if (plot.kind == ChartKind::Scatter) {
        pugi::xml_node xv = Child(s, "xVal");
        ser.categories = CachedTexts(xv);
        ser.xValues = CachedNumbers(xv, nullptr);
        ser.values = CachedNumbers(Child(s, "yVal"), &ser.valueFormat);
    } else {
        ser.categories = CachedTexts(Child(s, "cat"));
        ser.values = CachedNumbers(Child(s, "val"), &ser.valueFormat);
    }
    ReadShapeColors(Child(s, "spPr"), theme, ser.fillColor, ser.lineColor,
                    &ser.noLine);
    ser.style = ReadShapeStyle(Child(s, "spPr"), theme);
    if (pugi::xml_node m = Child(s, "marker")) {
        ser.marker.symbol = QString::fromUtf8(Child(m, "symbol").attribute("val").value());
        if (pugi::xml_node size = Child(m, "size"))
            ser.marker.size = std::clamp(size.attribute("val").as_int(5), 2, 72);
        ser.marker.style = ReadShapeStyle(Child(m, "spPr"), theme);
    }
    if (pugi::xml_node sm = Child(s, "smooth"))
        ser.smooth = sm.attribute("val").as_bool(true) ? 1 : 0;
    if (pugi::xml_node labels = Child(s, "dLbls")) {
        ReadLabels(labels, theme, ser.labels);
        for (pugi::xml_node one : labels.children()) {
            if (!Is(one, "dLbl"))
                continue;
            const int idx = Child(one, "idx").attribute("val").as_int(-1);
            if (idx < 0 || idx >= kMaxPoints || ser.pointLabels.size() >= size_t(kMaxPoints))
                continue;
            // A point's label starts from its series' and changes what it says.
            ChartLabels own = ser.labels;
            ReadLabels(one, theme, own);
            ser.pointLabels.emplace_back(idx, own);
        }
    }
    for (pugi::xml_node dpt : s.children()) {
        if (!Is(dpt, "dPt"))
            continue;
        const int idx = Child(dpt, "idx").attribute("val").as_int(-1);
        if (idx < 0 || idx >= kMaxPoints)
            continue;
        QColor fill, line;
        ReadShapeColors(Child(dpt, "spPr"), theme, fill, line, nullptr);
        while (ser.pointColors.size() <= idx)
            ser.pointColors.append(QColor());
        ser.pointColors[idx] = fill;
    }
    return ser;
}

// A plot's kind and the settings its kind uses; its series are read apart.
ChartPlot ReadPlotSettings(const pugi::xml_node& p, const char* local) {
    ChartPlot plot;
    plot.element = QString::fromUtf8(local);
    plot.kind = KindOf(local);
    plot.barDirection = QString::fromUtf8(Child(p, "barDir").attribute("val").value());
    if (plot.kind == ChartKind::Bar && plot.barDirection.isEmpty())
        plot.barDirection = QStringLiteral("col");
    plot.grouping = QString::fromUtf8(Child(p, "grouping").attribute("val").value());
    if (plot.grouping.isEmpty())
        plot.grouping = plot.kind == ChartKind::Bar ? QStringLiteral("clustered")
                                                    : QStringLiteral("standard");
    if (pugi::xml_node vc = Child(p, "varyColors"))
        plot.varyColors = vc.attribute("val").as_bool(true);
    if (pugi::xml_node h = Child(p, "holeSize"))
        plot.holeSize = std::clamp(h.attribute("val").as_int(50), 1, 90);
    if (pugi::xml_node a = Child(p, "firstSliceAng"))
        plot.firstSliceAngle = a.attribute("val").as_int(0) % 360;
    if (pugi::xml_node g = Child(p, "gapWidth"))
        plot.gapWidth = std::clamp(g.attribute("val").as_int(150), 0, 500);
    if (pugi::xml_node o = Child(p, "overlap"))
        plot.overlap = std::clamp(o.attribute("val").as_int(0), -100, 100);
    plot.scatterStyle = QString::fromUtf8(Child(p, "scatterStyle").attribute("val").value());
    if (pugi::xml_node m = Child(p, "marker"))
        plot.markers = m.attribute("val").as_bool(true);
    return plot;
}

// An axis: where it is, whether it is hidden, its title, number format and fixed bounds.
ChartAxis ReadAxis(const pugi::xml_node& p, const char* local, const Theme& theme) {
    ChartAxis axis;
    axis.kind = QString::fromUtf8(local);
    axis.position = QString::fromUtf8(Child(p, "axPos").attribute("val").value());
    axis.deleted = Child(p, "delete").attribute("val").as_bool(false);
    if (pugi::xml_node t = Child(p, "title"))
        axis.title = RichText(Child(t, "tx"));
    axis.numberFormat = QString::fromUtf8(Child(p, "numFmt").attribute("formatCode").value());
    if (pugi::xml_node t = Child(p, "title"))
        axis.titleText = ReadTextStyle(Child(t, "txPr"), theme)
                             .Under(ReadTextStyle(Child(Child(t, "tx"), "rich"), theme));
    axis.text = ReadTextStyle(Child(p, "txPr"), theme);
    axis.lineStyle = ReadShapeStyle(Child(p, "spPr"), theme);
    if (pugi::xml_node g = Child(p, "majorGridlines")) {
        axis.majorGridlines = true;
        axis.gridStyle = ReadShapeStyle(Child(g, "spPr"), theme);
    }
    axis.minorGridlines = bool(Child(p, "minorGridlines"));
    axis.majorTickMark = QString::fromUtf8(Child(p, "majorTickMark").attribute("val").value());
    axis.tickLabelPosition = QString::fromUtf8(Child(p, "tickLblPos").attribute("val").value());
    axis.crossBetween = QString::fromUtf8(Child(p, "crossBetween").attribute("val").value());
    if (pugi::xml_node u = Child(p, "majorUnit")) {
        const double unit = u.attribute("val").as_double();
        if (std::isfinite(unit) && unit > 0)
            axis.majorUnit = unit;
    }
    pugi::xml_node scaling = Child(p, "scaling");
    axis.reversed = QString::fromUtf8(Child(scaling, "orientation").attribute("val").value()) ==
                    QLatin1String("maxMin");
    if (pugi::xml_node mn = Child(scaling, "min")) {
        axis.hasMin = true;
        axis.min = mn.attribute("val").as_double();
        axis.hasMin = std::isfinite(axis.min);
    }
    if (pugi::xml_node mx = Child(scaling, "max")) {
        axis.hasMax = true;
        axis.max = mx.attribute("val").as_double();
        axis.hasMax = std::isfinite(axis.max);
    }
    return axis;
}

}  // namespace

ChartTextStyle ChartTextStyle::Under(const ChartTextStyle& over) const {
    ChartTextStyle out = *this;
    if (!over.typeface.isEmpty())
        out.typeface = over.typeface;
    if (over.points > 0)
        out.points = over.points;
    if (over.bold >= 0)
        out.bold = over.bold;
    if (over.italic >= 0)
        out.italic = over.italic;
    if (over.color.isValid())
        out.color = over.color;
    if (over.hasRotation) {
        out.rotation = over.rotation;
        out.hasRotation = true;
    }
    return out;
}

QString ChartData::KindName() const {
    return plots.empty() ? QStringLiteral("empty chart") : plots.front().element;
}

ChartData ReadChart(const Package& pkg, const QString& partName, const Theme& theme) {
    ChartData chart;
    chart.partName = partName;
    pugi::xml_document doc;
    LoadXml(doc, pkg.Part(partName), partName);
    pugi::xml_node space = doc.document_element();
    pugi::xml_node c = Child(space, "chart");
    if (pugi::xml_node spPr = Child(space, "spPr")) {
        QColor line;
        ReadShapeColors(spPr, theme, chart.areaFill, line, nullptr);
        chart.areaStyle = ReadShapeStyle(spPr, theme);
    }
    chart.text = ReadTextStyle(Child(space, "txPr"), theme);
    if (pugi::xml_node style = Child(space, "style"))
        chart.style = std::clamp(style.attribute("val").as_int(2), 1, 48);
    chart.plotStyle = ReadShapeStyle(Child(Child(c, "plotArea"), "spPr"), theme);

    pugi::xml_node plotArea = Child(c, "plotArea");
    qsizetype points = 0;
    for (pugi::xml_node p : plotArea.children()) {
        const char* local = LocalName(p.name());
        if (IsPlotElement(local)) {
            ChartPlot plot = ReadPlotSettings(p, local);
            for (pugi::xml_node s : p.children()) {
                if (!Is(s, "ser"))
                    continue;
                ChartSeries ser = ReadSeries(s, plot, theme);
                points += ser.categories.size() + qsizetype(ser.values.size()) +
                          qsizetype(ser.xValues.size()) + ser.pointColors.size();
                if (points > kMaxChartPoints)
                    throw Error(QStringLiteral("chart part %1 holds more than %2 points")
                                    .arg(partName)
                                    .arg(kMaxChartPoints));
                plot.series.push_back(std::move(ser));
            }
            chart.plots.push_back(std::move(plot));
        } else if (std::strcmp(local, "catAx") == 0 || std::strcmp(local, "valAx") == 0 ||
                   std::strcmp(local, "dateAx") == 0 || std::strcmp(local, "serAx") == 0) {
            chart.axes.append(ReadAxis(p, local, theme));
        }
    }

    const bool autoDeleted = Child(c, "autoTitleDeleted").attribute("val").as_bool(false);
    if (pugi::xml_node t = Child(c, "title")) {
        chart.hasTitle = true;
        chart.title = RichText(Child(t, "tx"));
        chart.titleText = ReadTextStyle(Child(t, "txPr"), theme)
                              .Under(ReadTextStyle(Child(Child(t, "tx"), "rich"), theme));
        // A title element without text shows the only series' name, as the spreadsheet does.
        if (chart.title.isEmpty() && !chart.plots.empty() &&
            chart.plots.front().series.size() == 1)
            chart.title = chart.plots.front().series.front().name;
    } else if (!autoDeleted && chart.plots.size() == 1 && chart.plots.front().series.size() == 1 &&
               (chart.Kind() == ChartKind::Pie || chart.Kind() == ChartKind::Doughnut)) {
        chart.hasTitle = true;
        chart.title = chart.plots.front().series.front().name;
    }
    if (pugi::xml_node legend = Child(c, "legend")) {
        chart.hasLegend = true;
        const QString pos = QString::fromUtf8(Child(legend, "legendPos").attribute("val").value());
        if (!pos.isEmpty())
            chart.legendPosition = pos;
        chart.legendStyle = ReadShapeStyle(Child(legend, "spPr"), theme);
        chart.legendText = ReadTextStyle(Child(legend, "txPr"), theme);
    }
    return chart;
}

}  // namespace xl
