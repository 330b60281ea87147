#include "platform/workbook/RangePainter.h"

#include "platform/workbook/Error.h"
#include "platform/workbook/FontMap.h"
#include "platform/workbook/NumberFormat.h"
#include "platform/workbook/Workbook.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

namespace xl {

namespace {

// Blank room the spreadsheet leaves between a cell's edge and its text.
constexpr int kTextMargin = 2;

QString Where(const Worksheet& sheet, const RangeRef& range) {
    return sheet.Name() + QLatin1Char('!') + FormatAddress(range);
}

// Pixel offsets of the lines before each row or column of the range: line[i] is the edge
// before item first + i, line[n] the far edge. Hidden items have no width.
struct Lines {
    int32_t first = 1;
    std::vector<int> at;
    int Size() const { return int(at.size()) - 1; }
    int Total() const { return at.back(); }
};

template <typename SizeOf>
Lines MakeLines(int32_t first, int32_t last, SizeOf sizeOf, const Worksheet& sheet,
                const RangeRef& range, bool columns) {
    Lines l;
    l.first = first;
    l.at.reserve(size_t(last - first + 2));
    int64_t total = 0;
    l.at.push_back(0);
    for (int32_t i = first; i <= last; ++i) {
        total += std::max(0, sizeOf(i));
        if (total >= kMaxPictureSide)
            throw Error(QStringLiteral("The picture of %1 would be more than %2 pixels %3; "
                                       "pick a smaller range.")
                            .arg(Where(sheet, range))
                            .arg(kMaxPictureSide)
                            .arg(columns ? QStringLiteral("wide") : QStringLiteral("tall")));
        l.at.push_back(int(total));
    }
    return l;
}

struct Layout {
    Lines cols, rows;
};

Layout MakeLayout(const Worksheet& sheet, const RangeRef& range) {
    Layout lay;
    lay.cols = MakeLines(range.col1, range.col2,
                         [&](int32_t c) { return sheet.ColumnWidthPixels(c); }, sheet, range, true);
    lay.rows = MakeLines(range.row1, range.row2,
                         [&](int32_t r) { return sheet.RowHeightPixels(r); }, sheet, range, false);
    if (lay.cols.Total() == 0 || lay.rows.Total() == 0)
        throw Error(QStringLiteral("Nothing of %1 is visible: its rows or columns are all hidden.")
                        .arg(Where(sheet, range)));
    const int64_t pixels = int64_t(lay.cols.Total() + 1) * (lay.rows.Total() + 1);
    if (pixels > kMaxPicturePixels)
        throw Error(QStringLiteral("The picture of %1 would be %2 x %3 pixels, more than %4 "
                                   "megapixels; pick a smaller range.")
                        .arg(Where(sheet, range))
                        .arg(lay.cols.Total() + 1)
                        .arg(lay.rows.Total() + 1)
                        .arg(kMaxPicturePixels / 1000000));
    return lay;
}

// The line before column / row `index`, also outside the range (merged areas reaching out of
// it), clamped far enough beyond the picture to stay clear of integer overflow.
template <typename SizeOf>
int LineAt(const Lines& l, int32_t index, SizeOf sizeOf) {
    const int32_t rel = index - l.first;
    if (rel >= 0 && rel <= l.Size())
        return l.at[size_t(rel)];
    constexpr int kFar = 2 * kMaxPictureSide;
    if (rel < 0) {
        int x = 0;
        for (int32_t i = l.first - 1; i >= index && x > -kFar; --i)
            x -= std::max(0, sizeOf(i));
        return x;
    }
    int x = l.Total();
    for (int32_t i = l.first + l.Size(); i < index && x < kFar; ++i)
        x += std::max(0, sizeOf(i));
    return x;
}

struct FontInfo {
    QFont font;
    QFontMetricsF metrics{QFont()};
    QColor color;
    bool doubleUnderline = false;  // drawn by hand: QFont knows single lines only
};

// One piece of a displayed line: text, or the blank of a "_x" padding, or the "*x" fill.
struct Segment {
    QString text;
    double width = 0;
    bool fill = false;
};

struct TextLine {
    std::vector<Segment> segs;
    double width = 0;
    QChar fillChar;
    double fillAdvance = 0;

    // Repeats the fill character into the room left, as "*x" asks.
    void ExpandFill(double room) {
        for (Segment& s : segs) {
            if (!s.fill || fillAdvance <= 0)
                continue;
            const int n = std::clamp(int((room - width) / fillAdvance), 0, 4096);
            s.text = QString(n, fillChar);
            s.width = n * fillAdvance;
            width += s.width;
        }
    }
};

TextLine MakeLine(const FormattedValue& fv, const QString& text, const QFontMetricsF& fm) {
    TextLine line;
    struct Mark {
        int pos;
        int padding;  // index into paddings, or -1 for the fill
    };
    std::vector<Mark> marks;
    for (int i = 0; i < fv.paddings.size(); ++i)
        marks.push_back({fv.paddings[i].pos, i});
    if (!fv.fillChar.isNull() && fv.fillPos >= 0) {
        marks.push_back({fv.fillPos, -1});
        line.fillChar = fv.fillChar;
        line.fillAdvance = fm.horizontalAdvance(fv.fillChar);
    }
    std::stable_sort(marks.begin(), marks.end(),
                     [](const Mark& a, const Mark& b) { return a.pos < b.pos; });
    int at = 0;
    auto addText = [&](int end) {
        end = std::clamp(end, at, int(text.size()));
        if (end > at) {
            Segment s{text.mid(at, end - at), 0, false};
            s.width = fm.horizontalAdvance(s.text);
            line.width += s.width;
            line.segs.push_back(std::move(s));
        }
        at = end;
    };
    for (const Mark& m : marks) {
        addText(m.pos);
        if (m.padding < 0) {
            line.segs.push_back({QString(), 0, true});
        } else if (at < text.size() && text[at] == QLatin1Char(' ')) {
            // The blank stands for a character's width: the space takes that room.
            Segment s{QStringLiteral(" "), fm.horizontalAdvance(fv.paddings[m.padding].width),
                      false};
            line.width += s.width;
            line.segs.push_back(std::move(s));
            ++at;
        }
    }
    addText(int(text.size()));
    return line;
}

enum class HAlign { Left, Center, Right, Fill, CenterAcross };
enum class VAlign { Top, Center, Bottom };

struct CellPaint {
    int32_t col = 0;
    int x0 = 0, x1 = 0;  // the lines before and after the cell
    bool visible = false;
    CellValue value;
    const CellStyle* style = nullptr;
    QColor fill;
    int merge = -1;      // index into the merged areas touching the range
    bool outside = false;  // beside the range: only its spilling text shows
    bool noRightGrid = false;
    // text, once laid out
    bool hasText = false;
    TextLine line;
    QString wrapped;     // wrapped text is drawn by Qt's layout
    bool wrap = false;
    QRect clip;          // where the text may paint
    double textX = 0;    // left of the line
    HAlign h = HAlign::Left;
    VAlign v = VAlign::Bottom;
    int fontId = 0;
    QColor color;
    int rotation = 0;  // degrees, counter-clockwise
    double scale = 1;  // below 1 when shrunk to fit
};

// A cell's text across: the cell (or merged area) from x0 to x1, inside its margins from innerL
// to innerR, and the indent.
struct TextBox {
    int x0, x1, innerL, innerR, indent;
};

struct BorderSeg {
    bool vertical = false;
    int fixed = 0, from = 0, to = 0;
    const BorderSide* side = nullptr;
};

int BorderWeight(const QString& style) {
    if (style == QLatin1String("thick") || style == QLatin1String("double"))
        return 3;
    if (style.startsWith(QLatin1String("medium")) || style == QLatin1String("slantDashDot"))
        return 2;
    return 1;
}

// Pixels of a border across its line: offsets from the line, drawn on.
std::vector<int> BorderOffsets(const QString& style) {
    if (style == QLatin1String("double"))
        return {-1, 1};
    switch (BorderWeight(style)) {
    case 3: return {-1, 0, 1};
    case 2: return {0, 1};
    default: return {0};
    }
}

// On/off run lengths along the line; empty for a continuous line.
std::vector<int> BorderDashes(const QString& style) {
    // A hair line is Calc's thinnest solid line, not a dotted one.
    if (style == QLatin1String("dotted"))
        return {1, 1};
    if (style == QLatin1String("dashed"))
        return {3, 1};
    if (style == QLatin1String("mediumDashed"))
        return {9, 3};
    if (style == QLatin1String("dashDot") || style == QLatin1String("mediumDashDot"))
        return {9, 3, 3, 3};
    if (style == QLatin1String("dashDotDot") || style == QLatin1String("mediumDashDotDot"))
        return {9, 3, 3, 3, 3, 3};
    if (style == QLatin1String("slantDashDot"))
        return {11, 1, 5, 1};
    return {};
}

void DrawBorder(QPainter& p, const BorderSeg& b) {
    const QColor color = b.side->color.isValid() ? b.side->color : QColor(Qt::black);
    const std::vector<int> offsets = BorderOffsets(b.side->style);
    const std::vector<int> dashes = BorderDashes(b.side->style);
    // Thick lines reach past the corners so that meeting edges close.
    const int reach = BorderWeight(b.side->style) > 1 ? 1 : 0;
    const int from = b.from - reach, to = b.to + reach;
    auto run = [&](int a, int len) {
        for (int off : offsets) {
            if (b.vertical)
                p.fillRect(QRect(b.fixed + off, a, 1, len), color);
            else
                p.fillRect(QRect(a, b.fixed + off, len, 1), color);
        }
    };
    if (dashes.empty()) {
        // The two lines of a double border have a blank between them, not the gridline.
        if (b.side->style == QLatin1String("double")) {
            if (b.vertical)
                p.fillRect(QRect(b.fixed, from, 1, to - from + 1), Qt::white);
            else
                p.fillRect(QRect(from, b.fixed, to - from + 1, 1), Qt::white);
        }
        run(from, to - from + 1);
        return;
    }
    size_t k = 0;
    for (int a = from; a <= to; a += dashes[k], k = (k + 1) % dashes.size()) {
        if (k % 2 == 0)
            run(a, std::min(dashes[k], to - a + 1));
    }
}

class Painter {
public:
    Painter(const Worksheet& sheet, const RangeRef& range)
        : sheet_(sheet), range_(range), book_(sheet.Book()), styles_(book_.Look().styles),
          lay_(MakeLayout(sheet, range)) {
        for (const RangeRef& m : sheet.MergedCells())
            if (Intersection(m, range) && m.Cells() > 1)
                merges_.push_back(m);
        mergePainted_.assign(merges_.size(), false);
        mergeText_.assign(merges_.size(), false);
        mdw_ = std::max(1, sheet.MaxDigitWidth());
    }

    QSize Size() const { return {lay_.cols.Total() + 1, lay_.rows.Total() + 1}; }

    QImage Paint() {
        QImage img(Size(), QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        p.setRenderHint(QPainter::TextAntialiasing);
        const bool grid = sheet_.ShowGridLines();
        if (grid) {
            p.fillRect(QRect(0, 0, 1, img.height()), GridlineColor());
            p.fillRect(QRect(0, 0, img.width(), 1), GridlineColor());
        }
        std::vector<CellPaint> row;
        for (int j = 0; j < lay_.rows.Size(); ++j) {
            const int y0 = lay_.rows.at[size_t(j)], y1 = lay_.rows.at[size_t(j) + 1];
            if (y1 == y0)
                continue;
            const int32_t r = range_.row1 + j;
            MakeRow(r, row);
            LayOutText(y0, y1, row);
            if (grid)
                DrawGrid(p, r, y0, y1, row);
            DrawFills(p, r, y0, y1, row);
            DrawText(p, y0, y1, row);
            CollectBorders(r, y0, y1, row);
        }
        std::stable_sort(borders_.begin(), borders_.end(), [](const BorderSeg& a, const BorderSeg& b) {
            return BorderWeight(a.side->style) < BorderWeight(b.side->style);
        });
        for (const BorderSeg& b : borders_)
            DrawBorder(p, b);
        for (const Diagonal& d : diagonals_) {
            p.setPen(QPen(d.color, d.width));
            p.drawLine(d.line);
        }
        p.end();
        return img;
    }

private:
    struct Diagonal {
        QLine line;
        QColor color;
        int width = 1;
    };

    int ColWidth(int32_t c) const { return sheet_.ColumnWidthPixels(c); }
    int RowHeight(int32_t r) const { return sheet_.RowHeightPixels(r); }
    int ColLine(int32_t c) const {
        return LineAt(lay_.cols, c, [&](int32_t i) { return ColWidth(i); });
    }
    int RowLine(int32_t r) const {
        return LineAt(lay_.rows, r, [&](int32_t i) { return RowHeight(i); });
    }
    QRect MergeRect(const RangeRef& m) const {  // from line to line, inclusive
        const int x0 = ColLine(m.col1), x1 = ColLine(m.col2 + 1);
        const int y0 = RowLine(m.row1), y1 = RowLine(m.row2 + 1);
        return QRect(QPoint(x0, y0), QPoint(x1, y1));
    }

    const FontInfo& FontOf(int fontId) {
        if (fontId < 0 || fontId >= styles_.fonts.size())
            fontId = 0;
        if (size_t(fontId) >= fonts_.size())
            fonts_.resize(size_t(fontId) + 1);
        std::optional<FontInfo>& f = fonts_[size_t(fontId)];
        if (!f) {
            const Font& src = styles_.fonts.isEmpty() ? defaultFont_ : styles_.fonts[fontId];
            FontInfo info;
            info.font = PaintFont(src);
            info.metrics = QFontMetricsF(info.font);
            info.color = src.color.isValid() ? src.color : QColor(Qt::black);
            info.doubleUnderline = src.underline == Underline::Double ||
                                   src.underline == Underline::DoubleAccounting;
            if (info.doubleUnderline) {
                info.font.setUnderline(false);
                info.metrics = QFontMetricsF(info.font);
            }
            f = std::move(info);
        }
        return *f;
    }

    QColor FillOf(int32_t r, int32_t c, const CellStyle& st) const {
        if (auto o = sheet_.InteriorOverride(r, c))
            return *o;
        const Fill& f = styles_.FillOf(st);
        if (QColor solid = f.SolidColor(); solid.isValid())
            return solid;
        if (f.pattern.isEmpty() || f.pattern == QLatin1String("none"))
            return {};
        // A pattern paints in its foreground colour; an automatic one (the light greys'
        // usual case) reads as a grey of the pattern's density.
        if (f.fgColor.isValid())
            return f.fgColor;
        if (f.pattern == QLatin1String("gray125"))
            return QColor(224, 224, 224);
        if (f.pattern == QLatin1String("gray0625"))
            return QColor(240, 240, 240);
        return QColor(128, 128, 128);
    }

    // The nearest cell beyond the range's side in row `r` that holds a value, if that is a
    // text that could spill into the range; 0 when there is none.
    int32_t SpillingNeighbour(int32_t r, int32_t from, int step) const {
        constexpr int kLookAside = 256;
        for (int k = 0; k < kLookAside && from >= 1 && from <= kMaxCols; ++k, from += step) {
            const CellValue v = sheet_.Value(r, from);
            if (v.IsEmpty())
                continue;
            if (v.type != ValueType::Text || sheet_.MergeAreaOf(r, from))
                return 0;
            return from;
        }
        return 0;
    }

    // The row's cells from the range's first column to its last, plus the cells beside the
    // range from which a text spills into it: those lie outside the picture and paint only
    // the part of their text that reaches in.
    void MakeRow(int32_t r, std::vector<CellPaint>& row) {
        int32_t lo = range_.col1, hi = range_.col2;
        if (int32_t c = SpillingNeighbour(r, range_.col1 - 1, -1))
            lo = c;
        if (int32_t c = SpillingNeighbour(r, range_.col2 + 1, 1))
            hi = c;
        row.assign(size_t(hi - lo + 1), CellPaint{});
        std::vector<int> active;
        for (size_t m = 0; m < merges_.size(); ++m)
            if (r >= merges_[m].row1 && r <= merges_[m].row2)
                active.push_back(int(m));
        for (int32_t c = lo; c <= hi; ++c) {
            CellPaint& cp = row[size_t(c - lo)];
            cp.col = c;
            cp.outside = c < range_.col1 || c > range_.col2;
            if (cp.outside) {
                cp.x0 = ColLine(c);
                cp.x1 = ColLine(c + 1);
            } else {
                cp.x0 = lay_.cols.at[size_t(c - range_.col1)];
                cp.x1 = lay_.cols.at[size_t(c - range_.col1) + 1];
            }
            cp.visible = cp.x1 > cp.x0;
            for (int m : active)
                if (c >= merges_[size_t(m)].col1 && c <= merges_[size_t(m)].col2)
                    cp.merge = m;
            cp.value = sheet_.Value(r, c);
            cp.style = &sheet_.Style(r, c);
            cp.fill = cp.outside ? QColor() : FillOf(r, c, *cp.style);
        }
    }

    // The displayed line of a value, as wide as the room allows: General numbers lose
    // digits first, other numbers turn to "#" when they don't fit.
    TextLine Displayed(const CellValue& v, const CellStyle& st, const QFontMetricsF& fm,
                       double room, QColor& color) {
        // Errors and truth values are values too: they don't fit or show whole.
        const bool number = v.type == ValueType::Number || v.type == ValueType::Error ||
                            v.type == ValueType::Boolean;
        FormattedValue fv = FormatValue(v, st.numFmtCode, book_.date1904);
        TextLine line = MakeLine(fv, CleanText(fv.text, false), fm);
        if (number && line.width > room) {
            const bool general = st.numFmtCode.compare(QLatin1String("General"),
                                                       Qt::CaseInsensitive) == 0;
            bool fits = false;
            if (general && v.type == ValueType::Number) {
                for (int chars = 10; chars >= 1 && !fits; --chars) {
                    fv = FormatValue(v, st.numFmtCode, book_.date1904, chars);
                    line = MakeLine(fv, fv.text, fm);
                    fits = line.width <= room;
                }
            }
            if (!fits) {
                // Calc shows three of them, placed as the number would be, whatever the width.
                FormattedValue hashes;
                hashes.text = QStringLiteral("###");
                line = MakeLine(hashes, hashes.text, fm);
            }
        }
        if (fv.color.isValid())
            color = fv.color;
        return line;
    }

    static QString CleanText(const QString& text, bool wrap) {
        // A line break shows only in a wrapping cell; elsewhere the lines run together.
        if (wrap || (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))))
            return text;
        QString t = text;
        t.remove(QLatin1Char('\r'));
        t.remove(QLatin1Char('\n'));
        return t;
    }

    void LayOutText(int y0, int y1, std::vector<CellPaint>& row) {
        const int n = int(row.size());
        for (int i = 0; i < n; ++i) {
            CellPaint& cp = row[size_t(i)];
            int x0 = cp.x0, x1 = cp.x1, ty0 = y0, ty1 = y1;
            CellValue value = cp.value;
            const CellStyle* style = cp.style;
            if (cp.merge >= 0) {
                // A merged area shows its first cell's value once, over the whole area, even
                // when that cell lies outside the range or is hidden.
                if (mergeText_[size_t(cp.merge)])
                    continue;
                mergeText_[size_t(cp.merge)] = true;
                const RangeRef& m = merges_[size_t(cp.merge)];
                value = sheet_.Value(m.row1, m.col1);
                style = &sheet_.Style(m.row1, m.col1);
                const QRect mr = MergeRect(m);
                x0 = mr.left(), x1 = mr.right(), ty0 = mr.top(), ty1 = mr.bottom();
            } else if (!cp.visible) {
                continue;
            }
            if (value.IsEmpty())
                continue;
            const CellStyle& st = *style;
            const Alignment& al = st.alignment;
            const FontInfo& fi = FontOf(st.fontId);
            cp.fontId = st.fontId;
            cp.color = fi.color;
            const bool isText = value.type == ValueType::Text;
            SetAlignment(cp, al, value);
            const int indent = (cp.h == HAlign::Left || cp.h == HAlign::Right)
                                   ? std::clamp(al.indent, 0, 250) * (mdw_ * 9 + 6) / 7
                                   : 0;
            const int innerL = x0 + 1 + kTextMargin, innerR = x1 - kTextMargin;
            const double room = std::max(0, innerR - innerL - indent);
            cp.clip = QRect(QPoint(x0 + 1, ty0 + 1), QPoint(x1 - 1, ty1 - 1));
            cp.hasText = true;

            if (cp.wrap && isText) {
                cp.wrapped = FormatValue(value, st.numFmtCode, book_.date1904).text;
                cp.textX = innerL + (cp.h == HAlign::Left ? indent : 0);
                continue;
            }
            cp.wrap = false;
            // Shrink to fit makes the font smaller instead of cutting the text or showing "#".
            const bool shrink = al.shrinkToFit && cp.rotation == 0;
            TextLine line = Displayed(value, st, fi.metrics, shrink ? 1e9 : room, cp.color);
            if (shrink && line.width > room && line.width > 0)
                cp.scale = std::max(0.05, room / line.width);
            if (cp.h == HAlign::Fill) {
                // The text repeated as often as it fits whole, at least once.
                const double w = line.width;
                if (w > 0) {
                    const int times = std::clamp(int(room / w), 1, 4096);
                    TextLine rep;
                    for (int k = 0; k < times; ++k)
                        for (const Segment& s : line.segs)
                            rep.segs.push_back(s);
                    rep.width = w * times;
                    line = std::move(rep);
                }
                cp.line = std::move(line);
                cp.textX = innerL;
                continue;
            }
            line.ExpandFill(room);
            // Text spills into empty neighbours; numbers never do.
            const bool spills = isText && cp.merge < 0 && cp.rotation == 0 && !shrink;
            PlaceLine(row, i, line.width * cp.scale, {x0, x1, innerL, innerR, indent}, spills);
            cp.line = std::move(line);
        }
    }

    // How the cell's text is turned and aligned: its own alignment, else text to the left,
    // numbers to the right and the rest centred.
    static void SetAlignment(CellPaint& cp, const Alignment& al, const CellValue& value) {
        // 1..90 turn the text counter-clockwise, 91..180 clockwise by the excess over 90;
        // 255 (letters stacked) is shown turned upwards.
        const int rot = al.textRotation;
        cp.rotation = rot == 255 ? 90 : rot > 90 && rot <= 180 ? -(rot - 90)
                                                               : std::clamp(rot, 0, 90);
        const QString& hz = al.horizontal;
        const bool isText = value.type == ValueType::Text;
        if (hz == QLatin1String("left"))
            cp.h = HAlign::Left;
        else if (hz == QLatin1String("right"))
            cp.h = HAlign::Right;
        else if (hz == QLatin1String("center"))
            cp.h = HAlign::Center;
        else if (hz == QLatin1String("fill"))
            cp.h = HAlign::Fill;
        else if (hz == QLatin1String("centerContinuous"))
            cp.h = HAlign::CenterAcross;
        else if (hz == QLatin1String("justify") || hz == QLatin1String("distributed"))
            cp.h = HAlign::Left;
        else
            // Calc puts numbers, truth values and errors alike at the right.
            cp.h = isText ? HAlign::Left : HAlign::Right;
        const QString& vt = al.vertical;
        cp.v = vt == QLatin1String("top") || vt == QLatin1String("justify") ||
                       vt == QLatin1String("distributed")
                   ? VAlign::Top
                   : vt == QLatin1String("center") ? VAlign::Center : VAlign::Bottom;
        cp.wrap = al.wrapText || hz == QLatin1String("justify") ||
                  hz == QLatin1String("distributed");
    }

    // Where the text of row[i] starts, `w` wide, and how far it may show: a text that spills
    // takes the room of the empty cells beside it (and their gridlines).
    void PlaceLine(std::vector<CellPaint>& row, int i, double w, const TextBox& box, bool spills) {
        const int n = int(row.size());
        CellPaint& cp = row[size_t(i)];
        const int x0 = box.x0, x1 = box.x1, innerL = box.innerL, innerR = box.innerR;
        const int indent = box.indent;
        auto emptyAt = [&](int k) {
            return k >= 0 && k < n && row[size_t(k)].value.IsEmpty() && row[size_t(k)].merge < 0;
        };
        int clipL = cp.clip.left(), clipR = cp.clip.right();
        switch (cp.h) {
        case HAlign::Left:
        case HAlign::Fill:
            cp.textX = innerL + indent;
            if (spills)
                for (int k = i + 1; cp.textX + w > clipR && emptyAt(k); ++k) {
                    row[size_t(k) - 1].noRightGrid = true;
                    clipR = row[size_t(k)].x1 - 1;
                }
            break;
        case HAlign::Right:
            cp.textX = innerR - indent - w;
            if (spills)
                for (int k = i - 1; cp.textX < clipL && emptyAt(k); --k) {
                    row[size_t(k)].noRightGrid = true;
                    clipL = row[size_t(k)].x0 + 1;
                }
            break;
        case HAlign::Center:
            cp.textX = (x0 + x1) / 2.0 - w / 2;
            if (spills) {
                for (int k = i + 1; cp.textX + w > clipR && emptyAt(k); ++k) {
                    row[size_t(k) - 1].noRightGrid = true;
                    clipR = row[size_t(k)].x1 - 1;
                }
                for (int k = i - 1; cp.textX < clipL && emptyAt(k); --k) {
                    row[size_t(k)].noRightGrid = true;
                    clipL = row[size_t(k)].x0 + 1;
                }
            }
            break;
        case HAlign::CenterAcross: {
            // Centred over the following empty cells that are centred across too.
            int k = i + 1;
            for (; emptyAt(k) && row[size_t(k)].style->alignment.horizontal ==
                                     QLatin1String("centerContinuous");
                 ++k)
                row[size_t(k) - 1].noRightGrid = true;
            clipR = row[size_t(k) - 1].x1 - 1;
            cp.textX = (x0 + row[size_t(k) - 1].x1) / 2.0 - w / 2;
            break;
        }
        }
        cp.clip.setLeft(clipL);
        cp.clip.setRight(clipR);
    }

    void DrawGrid(QPainter& p, int32_t r, int y0, int y1, const std::vector<CellPaint>& row) {
        const QColor g = GridlineColor();
        for (size_t i = 0; i < row.size(); ++i) {
            const CellPaint& cp = row[i];
            if (!cp.visible || cp.outside)
                continue;
            bool right = !cp.noRightGrid, bottom = true;
            // A filled merged area on the right hides the line it shares with this cell.
            const bool filledRight = i + 1 < row.size() && row[i + 1].merge >= 0 &&
                                     MergeFillOf(merges_[size_t(row[i + 1].merge)]).isValid();
            right = right && !filledRight;
            if (cp.merge >= 0) {
                const RangeRef& m = merges_[size_t(cp.merge)];
                if (MergeFillOf(m).isValid())
                    continue;
                right = right && cp.col == m.col2;
                bottom = r == m.row2;
            }
            if (right)
                p.fillRect(QRect(cp.x1, y0 + 1, 1, y1 - y0), g);
            if (bottom)
                p.fillRect(QRect(cp.x0 + 1, y1, cp.x1 - cp.x0 - (filledRight ? 1 : 0), 1), g);
        }
    }

    QColor MergeFillOf(const RangeRef& m) {
        const int idx = int(&m - merges_.data());
        auto it = mergeFill_.find(idx);
        if (it != mergeFill_.end())
            return it->second;
        const QColor c = FillOf(m.row1, m.col1, sheet_.Style(m.row1, m.col1));
        mergeFill_[idx] = c;
        return c;
    }

    void DrawFills(QPainter& p, int32_t r, int y0, int y1, const std::vector<CellPaint>& row) {
        (void)r;
        for (const CellPaint& cp : row) {
            if (cp.merge >= 0) {
                if (mergePainted_[size_t(cp.merge)])
                    continue;
                mergePainted_[size_t(cp.merge)] = true;
                const RangeRef& m = merges_[size_t(cp.merge)];
                if (const QColor c = MergeFillOf(m); c.isValid())
                    p.fillRect(MergeRect(m), c);
                continue;
            }
            if (cp.visible && !cp.outside && cp.fill.isValid())
                p.fillRect(QRect(QPoint(cp.x0, y0), QPoint(cp.x1, y1)), cp.fill);
        }
    }

    void DrawText(QPainter& p, int y0, int y1, const std::vector<CellPaint>& row) {
        (void)y0;
        (void)y1;
        for (const CellPaint& cp : row) {
            if (!cp.hasText || cp.clip.isEmpty())
                continue;
            const FontInfo& fi = FontOf(cp.fontId);
            p.save();
            p.setClipRect(cp.clip);
            p.setFont(fi.font);
            p.setPen(cp.color);
            if (cp.wrap) {
                int flags = Qt::TextWordWrap;
                flags |= cp.h == HAlign::Right ? Qt::AlignRight
                         : cp.h == HAlign::Center || cp.h == HAlign::CenterAcross ? Qt::AlignHCenter
                                                                                  : Qt::AlignLeft;
                flags |= cp.v == VAlign::Top ? Qt::AlignTop
                         : cp.v == VAlign::Center ? Qt::AlignVCenter : Qt::AlignBottom;
                QRectF box(cp.clip.left() + kTextMargin, cp.clip.top(),
                           cp.clip.width() - 2 * kTextMargin, cp.clip.height());
                if (cp.h == HAlign::Left)
                    box.setLeft(cp.textX);
                p.drawText(box, flags, cp.wrapped);
            } else if (cp.rotation != 0) {
                DrawTurned(p, cp, fi);
            } else {
                const QFontMetricsF& fm = fi.metrics;
                const double top = cp.clip.top(), bottom = cp.clip.bottom() + 1;
                const double k = cp.scale, ascent = fm.ascent() * k, descent = fm.descent() * k;
                double base;
                switch (cp.v) {
                case VAlign::Top: base = top + ascent; break;
                case VAlign::Center: base = (top + bottom) / 2 + (ascent - descent) / 2; break;
                default: base = bottom - descent; break;
                }
                if (k != 1) {
                    // Shrunk text: drawn at its full size in a scaled frame.
                    p.translate(cp.textX, base);
                    p.scale(k, k);
                    double x = 0;
                    for (const Segment& s : cp.line.segs) {
                        p.drawText(QPointF(x, 0), s.text);
                        x += s.width;
                    }
                    p.restore();
                    continue;
                }
                double x = cp.textX;
                for (const Segment& s : cp.line.segs) {
                    if (!s.text.isEmpty() && x < cp.clip.right() + 1 && x + s.width > cp.clip.left())
                        p.drawText(QPointF(x, base), s.text);
                    x += s.width;
                }
                if (fi.doubleUnderline && x > cp.textX) {
                    // Whole pixels, one blank row between the lines, as crisp as on screen.
                    const int w = std::max(1, int(std::lround(fm.lineWidth())));
                    const int u = int(std::floor(base)) + 1;
                    const int x0 = int(std::floor(cp.textX)), len = int(std::ceil(x - cp.textX));
                    p.fillRect(QRect(x0, u, len, w), cp.color);
                    p.fillRect(QRect(x0, u + 2 * w, len, w), cp.color);
                }
            }
            p.restore();
        }
    }

    // Turned text: one line, placed across the cell by the horizontal alignment as any text
    // is (at the left for text, at the right for numbers, unless aligned otherwise) and along
    // it by the vertical alignment.
    void DrawTurned(QPainter& p, const CellPaint& cp, const FontInfo& fi) {
        const QFontMetricsF& fm = fi.metrics;
        const QString text = [&] {
            QString t;
            for (const Segment& s : cp.line.segs)
                t += s.text;
            return t;
        }();
        const double w = fm.horizontalAdvance(text), h = fm.height();
        const QRectF box = QRectF(cp.clip).adjusted(kTextMargin, kTextMargin, -kTextMargin, -kTextMargin);
        const double rad = cp.rotation * M_PI / 180.0;
        const double reach = (std::fabs(std::sin(rad)) * w + std::fabs(std::cos(rad)) * h) / 2;
        const double across = (std::fabs(std::cos(rad)) * w + std::fabs(std::sin(rad)) * h) / 2;
        double cy = box.center().y();
        if (cp.v == VAlign::Bottom)
            cy = box.bottom() - reach;
        else if (cp.v == VAlign::Top)
            cy = box.top() + reach;
        double cx = box.center().x();
        if (cp.h == HAlign::Left || cp.h == HAlign::Fill)
            cx = box.left() + across;
        else if (cp.h == HAlign::Right)
            cx = box.right() - across;
        p.translate(cx, cy);
        p.rotate(-cp.rotation);
        p.drawText(QRectF(-w / 2, -h / 2, w, h), Qt::AlignCenter, text);
    }

    void CollectBorders(int32_t r, int y0, int y1, const std::vector<CellPaint>& row) {
        for (const CellPaint& cp : row) {
            if (!cp.visible || cp.outside)
                continue;
            const Border& b = styles_.BorderOf(*cp.style);
            bool left = true, right = true, top = true, bottom = true;
            if (cp.merge >= 0) {
                const RangeRef& m = merges_[size_t(cp.merge)];
                left = cp.col == m.col1;
                right = cp.col == m.col2;
                top = r == m.row1;
                bottom = r == m.row2;
            }
            // A line on the range's edge is shared with the cell beyond it, as a line inside is
            // with the neighbour: the stronger of the two shows, as the spreadsheet draws it.
            // The cell before (left, above) goes first, so that of two alike the later wins
            // as it does inside.
            if (left && cp.col == range_.col1)
                PushNeighbourSide(true, cp.x0, y0, y1, r, cp.col, 0, -1, &Border::right);
            if (left && b.left.IsSet())
                borders_.push_back({true, cp.x0, y0, y1, &b.left});
            if (right && b.right.IsSet())
                borders_.push_back({true, cp.x1, y0, y1, &b.right});
            if (right && cp.col == range_.col2)
                PushNeighbourSide(true, cp.x1, y0, y1, r, cp.col, 0, 1, &Border::left);
            if (top && r == range_.row1)
                PushNeighbourSide(false, y0, cp.x0, cp.x1, r, cp.col, -1, 0, &Border::bottom);
            if (top && b.top.IsSet())
                borders_.push_back({false, y0, cp.x0, cp.x1, &b.top});
            if (bottom && b.bottom.IsSet())
                borders_.push_back({false, y1, cp.x0, cp.x1, &b.bottom});
            if (bottom && r == range_.row2)
                PushNeighbourSide(false, y1, cp.x0, cp.x1, r, cp.col, 1, 0, &Border::top);
            if (b.diagonal.IsSet() && (b.diagonalUp || b.diagonalDown) && cp.merge < 0) {
                const QColor c = b.diagonal.color.isValid() ? b.diagonal.color : QColor(Qt::black);
                const int w = BorderWeight(b.diagonal.style);
                if (b.diagonalDown)
                    diagonals_.push_back({QLine(cp.x0, y0, cp.x1, y1), c, w});
                if (b.diagonalUp)
                    diagonals_.push_back({QLine(cp.x0, y1, cp.x1, y0), c, w});
            }
        }
    }

    // The side facing the range of the nearest shown cell beyond (r, c), one step of (dr, dc)
    // at a time over hidden rows and columns, onto the line at `fixed`.
    void PushNeighbourSide(bool vertical, int fixed, int from, int to, int32_t r, int32_t c, int dr, int dc,
                           BorderSide Border::*facing) {
        // Past this many hidden rows or columns the line is left to the range's own side.
        constexpr int kMostHidden = 256;
        for (int step = 0; step <= kMostHidden; ++step) {
            r += dr;
            c += dc;
            if (r < 1 || r > kMaxRows || c < 1 || c > kMaxCols)
                return;
            if ((dr != 0 && RowHeight(r) == 0) || (dc != 0 && ColWidth(c) == 0))
                continue;
            const BorderSide& side = styles_.BorderOf(sheet_.Style(r, c)).*facing;
            if (side.IsSet())
                borders_.push_back({vertical, fixed, from, to, &side});
            return;
        }
    }

    const Worksheet& sheet_;
    RangeRef range_;
    const WorkbookData& book_;
    const Styles& styles_;
    Layout lay_;
    std::vector<RangeRef> merges_;
    std::vector<bool> mergePainted_, mergeText_;
    std::map<int, QColor> mergeFill_;
    std::vector<std::optional<FontInfo>> fonts_;
    Font defaultFont_;
    std::vector<BorderSeg> borders_;
    std::vector<Diagonal> diagonals_;
    int mdw_ = 7;
};

}  // namespace

QSize RangePictureSize(const Worksheet& sheet, const RangeRef& range) {
    const Layout lay = MakeLayout(sheet, range);
    return {lay.cols.Total() + 1, lay.rows.Total() + 1};
}

QImage PaintRange(const Worksheet& sheet, const RangeRef& range) {
    NeedFonts();
    Painter painter(sheet, range);
    QImage img = painter.Paint();
    if (img.isNull())
        throw Error(QStringLiteral("There is not enough memory for the picture of %1.")
                        .arg(Where(sheet, range)));
    return img;
}

}  // namespace xl
