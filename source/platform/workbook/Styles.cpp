#include "platform/workbook/Styles.h"

#include "platform/workbook/Error.h"
#include "platform/workbook/NumberFormat.h"
#include "platform/workbook/Package.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace xl {

namespace {

QColor Hex(const char* rgb) { return QColor(QStringLiteral("#") + QLatin1String(rgb)); }

// "FF4472C4" (ARGB) or "4472C4"; an alpha of 00 is common from some writers and still means
// an opaque colour in cells, so it is ignored.
QColor ParseRgb(const QString& text) {
    QString hex = text.trimmed();
    if (hex.size() == 8)
        hex = hex.mid(2);
    if (hex.size() != 6)
        return {};
    bool ok = false;
    const uint v = hex.toUInt(&ok, 16);
    return ok ? QColor((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF) : QColor();
}

bool BoolAttr(const pugi::xml_node& n, const char* name, bool absent) {
    pugi::xml_attribute a = n.attribute(name);
    if (!a)
        return absent;
    const char* v = a.value();
    return !(std::strcmp(v, "0") == 0 || std::strcmp(v, "false") == 0);
}

// An element flag like <b/> or <b val="0"/>.
bool Flag(const pugi::xml_node& parent, const char* local) {
    pugi::xml_node n = Child(parent, local);
    return n && BoolAttr(n, "val", true);
}

QString ValAttr(const pugi::xml_node& parent, const char* local) {
    pugi::xml_node n = Child(parent, local);
    return n ? QString::fromUtf8(n.attribute("val").value()) : QString();
}

const std::array<const char*, 64> kPalette = {
    "000000", "FFFFFF", "FF0000", "00FF00", "0000FF", "FFFF00", "FF00FF", "00FFFF",
    "000000", "FFFFFF", "FF0000", "00FF00", "0000FF", "FFFF00", "FF00FF", "00FFFF",
    "800000", "008000", "000080", "808000", "800080", "008080", "C0C0C0", "808080",
    "9999FF", "993366", "FFFFCC", "CCFFFF", "660066", "FF8080", "0066CC", "CCCCFF",
    "000080", "FF00FF", "FFFF00", "00FFFF", "800080", "800000", "008080", "0000FF",
    "00CCFF", "CCFFFF", "CCFFCC", "FFFF99", "99CCFF", "FF99CC", "CC99FF", "FFCC99",
    "3366FF", "33CCCC", "99CC00", "FFCC00", "FF9900", "FF6600", "666699", "969696",
    "003366", "339966", "003300", "333300", "993300", "993366", "333399", "333333"};

QColor ModifyLightness(const QColor& c, double mul, double add) {
    float h, s, l, a;
    c.getHslF(&h, &s, &l, &a);
    const double nl = std::clamp(l * mul + add, 0.0, 1.0);
    return QColor::fromHslF(h, s, float(nl), a);
}

}  // namespace

Theme::Theme() {
    const char* defaults[12] = {"FFFFFF", "000000", "E7E6E6", "44546A", "4472C4", "ED7D31",
                                "A5A5A5", "FFC000", "5B9BD5", "70AD47", "0563C1", "954F72"};
    for (int i = 0; i < 12; ++i)
        colors[size_t(i)] = Hex(defaults[i]);
}

QColor Theme::Scheme(const QString& name) const {
    static const QHash<QString, int> index = {
        {QStringLiteral("lt1"), 0},     {QStringLiteral("bg1"), 0},
        {QStringLiteral("dk1"), 1},     {QStringLiteral("tx1"), 1},
        {QStringLiteral("lt2"), 2},     {QStringLiteral("bg2"), 2},
        {QStringLiteral("dk2"), 3},     {QStringLiteral("tx2"), 3},
        {QStringLiteral("accent1"), 4}, {QStringLiteral("accent2"), 5},
        {QStringLiteral("accent3"), 6}, {QStringLiteral("accent4"), 7},
        {QStringLiteral("accent5"), 8}, {QStringLiteral("accent6"), 9},
        {QStringLiteral("hlink"), 10},  {QStringLiteral("folHlink"), 11}};
    auto it = index.constFind(name);
    return it == index.constEnd() ? QColor() : colors[size_t(*it)];
}

QColor ApplyTint(const QColor& c, double tint) {
    if (!c.isValid() || tint == 0)
        return c;
    tint = std::clamp(tint, -1.0, 1.0);
    return tint < 0 ? ModifyLightness(c, 1.0 + tint, 0.0) : ModifyLightness(c, 1.0 - tint, tint);
}

QColor IndexedColor(int index, const QList<QColor>& customPalette) {
    if (index >= 0 && index < customPalette.size() && customPalette[index].isValid())
        return customPalette[index];
    if (index >= 0 && index < 64)
        return Hex(kPalette[size_t(index)]);
    if (index == 64)
        return QColor(Qt::black);  // system foreground
    return QColor(Qt::white);      // 65: system background, and anything unknown
}

QColor Fill::SolidColor() const {
    if (pattern == QLatin1String("solid"))
        return fgColor.isValid() ? fgColor : QColor(Qt::black);
    if (gradient)
        return fgColor;
    return {};
}

Font Styles::DefaultFont() const {
    if (normalFontId >= 0 && normalFontId < fonts.size())
        return fonts[normalFontId];
    return fonts.isEmpty() ? Font{} : fonts.front();
}

QColor ReadColor(const pugi::xml_node& n, const Theme& theme, const QList<QColor>& palette) {
    if (!n)
        return {};
    QColor c;
    if (pugi::xml_attribute a = n.attribute("rgb"))
        c = ParseRgb(QString::fromUtf8(a.value()));
    else if (pugi::xml_attribute t = n.attribute("theme")) {
        const int i = t.as_int(-1);
        if (i >= 0 && i < 12)
            c = theme.colors[size_t(i)];
    } else if (pugi::xml_attribute ix = n.attribute("indexed")) {
        c = IndexedColor(ix.as_int(64), palette);
    } else {
        return {};  // auto="1" or nothing: the automatic colour
    }
    return ApplyTint(c, n.attribute("tint").as_double(0));
}

QColor ReadDrawingColor(const pugi::xml_node& n, const Theme& theme) {
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
        QColor col;
        if (Is(c, "srgbClr"))
            col = ParseRgb(AttrText(c, "val"));
        else if (Is(c, "schemeClr"))
            col = theme.Scheme(AttrText(c, "val"));
        else if (Is(c, "sysClr"))
            col = ParseRgb(AttrText(c, "lastClr"));
        else if (Is(c, "prstClr"))
            col = QColor(AttrText(c, "val"));
        else if (Is(c, "scrgbClr"))
            col = QColor::fromRgbF(c.attribute("r").as_float() / 100000.f,
                                   c.attribute("g").as_float() / 100000.f,
                                   c.attribute("b").as_float() / 100000.f);
        else
            continue;
        if (!col.isValid())
            return {};
        double lumMod = 1, lumOff = 0;
        for (pugi::xml_node m = c.first_child(); m; m = m.next_sibling()) {
            const double v = m.attribute("val").as_double() / 100000.0;
            if (Is(m, "lumMod"))
                lumMod = v;
            else if (Is(m, "lumOff"))
                lumOff = v;
            else if (Is(m, "tint"))  // towards white
                col = QColor::fromRgbF(1 - v * (1 - col.redF()), 1 - v * (1 - col.greenF()),
                                       1 - v * (1 - col.blueF()), col.alphaF());
            else if (Is(m, "shade"))  // towards black
                col = QColor::fromRgbF(v * col.redF(), v * col.greenF(), v * col.blueF(),
                                       col.alphaF());
            else if (Is(m, "alpha"))
                col.setAlphaF(float(std::clamp(v, 0.0, 1.0)));
        }
        if (lumMod != 1 || lumOff != 0)
            col = ModifyLightness(col, lumMod, lumOff);
        return col;
    }
    return {};
}

Theme ReadTheme(const Package& pkg, const QString& partName) {
    Theme theme;
    if (partName.isEmpty() || !pkg.Has(partName))
        return theme;
    pugi::xml_document doc;
    LoadXml(doc, pkg.Part(partName), partName);
    pugi::xml_node elements = Child(doc.document_element(), "themeElements");
    if (pugi::xml_node scheme = Child(elements, "clrScheme")) {
        const char* names[12] = {"lt1",     "dk1",     "lt2",     "dk2",     "accent1", "accent2",
                                 "accent3", "accent4", "accent5", "accent6", "hlink",   "folHlink"};
        for (int i = 0; i < 12; ++i) {
            QColor c = ReadDrawingColor(Child(scheme, names[i]), theme);
            if (c.isValid())
                theme.colors[size_t(i)] = c;
        }
    }
    if (pugi::xml_node fonts = Child(elements, "fontScheme")) {
        const QString major = AttrText(Child(Child(fonts, "majorFont"), "latin"), "typeface");
        const QString minor = AttrText(Child(Child(fonts, "minorFont"), "latin"), "typeface");
        if (!major.isEmpty())
            theme.majorFont = major;
        if (!minor.isEmpty())
            theme.minorFont = minor;
    }
    return theme;
}

namespace {

// The spreadsheet keeps at most this many cell formats, and as many cell styles; no list of
// the styles part needs more entries than the formats that can use them.
constexpr int64_t kMaxCellFormats = 64000;

// Counts one more entry of a list of the styles part, refusing it past the spreadsheet's limit.
void CountEntry(qsizetype& count, const char* what) {
    if (++count > kMaxCellFormats)
        throw Error(QStringLiteral("the workbook defines more than %1 %2, more than a workbook "
                                   "can have")
                        .arg(kMaxCellFormats)
                        .arg(QString::fromLatin1(what)));
}

// One <font> entry. A font that names no face or size gets them from the Normal style later:
// its name stays empty and its size -1.
Font ReadFont(const pugi::xml_node& n, const Theme& theme, const QList<QColor>& palette) {
    Font f;
    const QString name = ValAttr(n, "name");
    if (!name.isEmpty())
        f.name = name;
    if (pugi::xml_node sz = Child(n, "sz"))
        f.size = std::clamp(sz.attribute("val").as_double(11), 1.0, 409.0);
    f.bold = Flag(n, "b");
    f.italic = Flag(n, "i");
    f.strike = Flag(n, "strike");
    if (pugi::xml_node u = Child(n, "u")) {
        const QString v = AttrText(u, "val");
        f.underline = v == QLatin1String("double")             ? Underline::Double
                      : v == QLatin1String("singleAccounting") ? Underline::SingleAccounting
                      : v == QLatin1String("doubleAccounting") ? Underline::DoubleAccounting
                      : v == QLatin1String("none")             ? Underline::None
                                                               : Underline::Single;
    }
    f.color = ReadColor(Child(n, "color"), theme, palette);
    f.vertAlign = ValAttr(n, "vertAlign");
    // A scheme font names the theme's font instead of its own.
    const QString scheme = ValAttr(n, "scheme");
    if (scheme == QLatin1String("minor") && name.isEmpty())
        f.name = theme.minorFont;
    else if (scheme == QLatin1String("major") && name.isEmpty())
        f.name = theme.majorFont;
    if (name.isEmpty() && f.name == Font{}.name)
        f.name.clear();  // named after the default font below
    if (!Child(n, "sz"))
        f.size = -1;
    return f;
}

// One <fill> entry: a pattern with its colours, or a gradient as its first and last stops.
Fill ReadFill(const pugi::xml_node& n, const Theme& theme, const QList<QColor>& palette) {
    Fill f;
    if (pugi::xml_node p = Child(n, "patternFill")) {
        const QString type = AttrText(p, "patternType");
        // A patternFill with colours but no type is solid in practice (some writers omit it).
        f.pattern = !type.isEmpty() ? type : (Child(p, "fgColor") ? QStringLiteral("solid")
                                                                   : QStringLiteral("none"));
        f.fgColor = ReadColor(Child(p, "fgColor"), theme, palette);
        f.bgColor = ReadColor(Child(p, "bgColor"), theme, palette);
    } else if (pugi::xml_node g = Child(n, "gradientFill")) {
        f.gradient = true;
        f.pattern = QStringLiteral("gradient");
        QList<QColor> stops;
        for (pugi::xml_node s : g.children())
            if (Is(s, "stop"))
                stops.append(ReadColor(Child(s, "color"), theme, palette));
        if (!stops.isEmpty()) {
            f.fgColor = stops.front();
            f.bgColor = stops.back();
        }
    }
    return f;
}

// One <border> entry; "start" and "end" stand for left and right where those are missing.
Border ReadBorder(const pugi::xml_node& n, const Theme& theme, const QList<QColor>& palette) {
    Border b;
    auto side = [&](const char* a, const char* alt) {
        BorderSide s;
        pugi::xml_node e = Child(n, a);
        if (!e && alt)
            e = Child(n, alt);
        if (e) {
            s.style = AttrText(e, "style");
            s.color = ReadColor(Child(e, "color"), theme, palette);
        }
        return s;
    };
    b.left = side("left", "start");
    b.right = side("right", "end");
    b.top = side("top", nullptr);
    b.bottom = side("bottom", nullptr);
    b.diagonal = side("diagonal", nullptr);
    b.diagonalUp = BoolAttr(n, "diagonalUp", false);
    b.diagonalDown = BoolAttr(n, "diagonalDown", false);
    return b;
}

// A cell format's <alignment> and <protection>, where it has them.
void ReadAlignmentAndProtection(const pugi::xml_node& n, CellStyle& s) {
    if (pugi::xml_node a = Child(n, "alignment")) {
        if (pugi::xml_attribute h = a.attribute("horizontal"))
            s.alignment.horizontal = QString::fromUtf8(h.value());
        if (pugi::xml_attribute v = a.attribute("vertical"))
            s.alignment.vertical = QString::fromUtf8(v.value());
        s.alignment.wrapText = BoolAttr(a, "wrapText", false);
        s.alignment.shrinkToFit = BoolAttr(a, "shrinkToFit", false);
        s.alignment.indent = std::clamp(a.attribute("indent").as_int(0), 0, 250);
        s.alignment.textRotation = a.attribute("textRotation").as_int(0);
    }
    if (pugi::xml_node p = Child(n, "protection")) {
        s.locked = BoolAttr(p, "locked", true);
        s.hidden = BoolAttr(p, "hidden", false);
    }
}

// The index a cell format gives in `attr`, refused when the styles part has no such entry.
int CheckedId(const pugi::xml_node& xf, const char* attr, qsizetype count) {
    const int id = xf.attribute(attr).as_int(0);
    if (id < 0 || id >= count)
        throw Error(QStringLiteral("a cell format names %1 %2, which the styles part lacks")
                        .arg(QString::fromUtf8(attr))
                        .arg(id));
    return id;
}

// The Normal cell style's font (the theme's minor font at 11 points where it names none) is
// given to every font that names no face or size of its own.
void ApplyNormalFont(const pugi::xml_node& root, const Theme& theme, Styles& st) {
    qsizetype styleXfs = 0;
    QList<int> styleXfFonts;
    for (pugi::xml_node n : Child(root, "cellStyleXfs").children()) {
        if (!Is(n, "xf"))
            continue;
        CountEntry(styleXfs, "cell styles");
        styleXfFonts.append(CheckedId(n, "fontId", st.fonts.size()));
    }
    int normalXf = 0;
    for (pugi::xml_node n : Child(root, "cellStyles").children())
        if (Is(n, "cellStyle") && n.attribute("builtinId") && n.attribute("builtinId").as_int() == 0)
            normalXf = n.attribute("xfId").as_int(0);
    if (normalXf >= 0 && normalXf < styleXfFonts.size())
        st.normalFontId = styleXfFonts[normalXf];
    // A font that names no face or size has the Normal style's.
    Font normal = st.fonts[std::clamp(st.normalFontId, 0, int(st.fonts.size()) - 1)];
    if (normal.name.isEmpty())
        normal.name = theme.minorFont;
    if (normal.size < 0)
        normal.size = 11;
    for (Font& f : st.fonts) {
        if (f.name.isEmpty())
            f.name = normal.name;
        if (f.size < 0)
            f.size = normal.size;
    }
}

}  // namespace

Styles ReadStyles(const Package& pkg, const QString& partName, const Theme& theme) {
    Styles st;
    pugi::xml_document doc;
    pugi::xml_node root;
    if (!partName.isEmpty() && pkg.Has(partName)) {
        const QByteArray& xml = pkg.Part(partName);
        // Cell formats and cell styles together, counted before any tree is built.
        if (CountElements(xml, "xf") > 2 * kMaxCellFormats)
            throw Error(QStringLiteral("the workbook defines more than %1 cell formats, more "
                                       "than a workbook can have")
                            .arg(kMaxCellFormats));
        LoadXml(doc, xml, partName);
        root = doc.document_element();
    }
    qsizetype numFmts = 0, fonts = 0, fills = 0, borders = 0, cellXfs = 0;

    if (pugi::xml_node colors = Child(root, "colors"))
        for (pugi::xml_node c : Child(colors, "indexedColors").children())
            st.indexedPalette.append(ParseRgb(AttrText(c, "rgb")));

    QHash<int, QString> customFormats;
    for (pugi::xml_node n : Child(root, "numFmts").children()) {
        if (!Is(n, "numFmt"))
            continue;
        CountEntry(numFmts, "number formats");
        customFormats.insert(n.attribute("numFmtId").as_int(), AttrText(n, "formatCode"));
    }

    for (pugi::xml_node n : Child(root, "fonts").children()) {
        if (!Is(n, "font"))
            continue;
        CountEntry(fonts, "fonts");
        st.fonts.append(ReadFont(n, theme, st.indexedPalette));
    }
    if (st.fonts.isEmpty())
        st.fonts.append(Font{});

    for (pugi::xml_node n : Child(root, "fills").children()) {
        if (!Is(n, "fill"))
            continue;
        CountEntry(fills, "fills");
        st.fills.append(ReadFill(n, theme, st.indexedPalette));
    }
    while (st.fills.size() < 2)
        st.fills.append(Fill{});

    for (pugi::xml_node n : Child(root, "borders").children()) {
        if (!Is(n, "border"))
            continue;
        CountEntry(borders, "borders");
        st.borders.append(ReadBorder(n, theme, st.indexedPalette));
    }
    if (st.borders.isEmpty())
        st.borders.append(Border{});

    ApplyNormalFont(root, theme, st);

    for (pugi::xml_node n : Child(root, "cellXfs").children()) {
        if (!Is(n, "xf"))
            continue;
        CountEntry(cellXfs, "cell formats");
        CellStyle s;
        s.numFmtId = n.attribute("numFmtId").as_int(0);
        s.numFmtCode = customFormats.contains(s.numFmtId) ? customFormats.value(s.numFmtId)
                                                           : BuiltInFormatCode(s.numFmtId);
        s.fontId = CheckedId(n, "fontId", st.fonts.size());
        s.fillId = CheckedId(n, "fillId", st.fills.size());
        s.borderId = CheckedId(n, "borderId", st.borders.size());
        ReadAlignmentAndProtection(n, s);
        st.cellXfs.append(s);
    }
    if (st.cellXfs.isEmpty())
        st.cellXfs.append(CellStyle{});
    return st;
}

}  // namespace xl
