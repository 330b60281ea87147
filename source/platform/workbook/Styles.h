#pragma once
// Cell styles as the workbook defines them, with every colour already resolved to a QColor
// (theme colours with their tint, the indexed palette, or a plain RGB), so the painter needs
// nothing else to draw a cell.

#include <QColor>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>

namespace pugi {
class xml_node;
}

namespace xl {

class Package;

// The theme's colour scheme in the order cell colours index it: lt1, dk1, lt2, dk2,
// accent1..6, hlink, folHlink (the spreadsheet swaps the first two pairs), plus the fonts.
struct Theme {
    std::array<QColor, 12> colors;
    QString majorFont = QStringLiteral("Calibri Light");
    QString minorFont = QStringLiteral("Calibri");

    Theme();
    // A DrawingML scheme colour name: "accent1", "tx1", "bg2", "dk1"...; invalid when unknown.
    QColor Scheme(const QString& name) const;
};

// Applies a tint (-1..1) to a colour by its HLS lightness, the way cell colours are tinted.
QColor ApplyTint(const QColor& c, double tint);
// The default 64-colour palette of indexed colours (64 is the system foreground, 65 background).
QColor IndexedColor(int index, const QList<QColor>& customPalette = {});

enum class Underline : uint8_t { None, Single, Double, SingleAccounting, DoubleAccounting };

struct Font {
    QString name = QStringLiteral("Calibri");
    double size = 11;  // points
    bool bold = false, italic = false, strike = false;
    Underline underline = Underline::None;
    QColor color;       // invalid: automatic (black)
    QString vertAlign;  // "superscript", "subscript" or ""
};

struct Fill {
    QString pattern = QStringLiteral("none");  // "none", "solid", "gray125", "darkGrid"...
    QColor fgColor;                            // invalid: automatic
    QColor bgColor;
    // Gradient fills are reduced to their first and last stop.
    bool gradient = false;

    // The colour a solid fill paints; invalid when the cell has no solid fill.
    QColor SolidColor() const;
};

struct BorderSide {
    QString style;  // "" none, "thin", "medium", "thick", "dashed", "dotted", "double", "hair"...
    QColor color;   // invalid: automatic (black)
    [[nodiscard]] bool IsSet() const { return !style.isEmpty() && style != QLatin1String("none"); }
};

struct Border {
    BorderSide left, right, top, bottom, diagonal;
    bool diagonalUp = false, diagonalDown = false;
};

struct Alignment {
    QString horizontal = QStringLiteral("general");  // general, left, center, right, fill,
                                                     // justify, centerContinuous, distributed
    QString vertical = QStringLiteral("bottom");     // top, center, bottom, justify, distributed
    bool wrapText = false;
    bool shrinkToFit = false;
    int indent = 0;
    int textRotation = 0;
};

// One cellXfs entry with its parts resolved.
struct CellStyle {
    int numFmtId = 0;
    QString numFmtCode = QStringLiteral("General");
    int fontId = 0, fillId = 0, borderId = 0;
    Alignment alignment;
    bool hidden = false, locked = true;
};

struct Styles {
    QList<Font> fonts;
    QList<Fill> fills;
    QList<Border> borders;
    QList<CellStyle> cellXfs;
    QList<QColor> indexedPalette;  // a custom palette; empty for the default one
    // The differential formats of conditional formatting are not read.

    // Always valid: the reader refuses a workbook whose cells name a style it lacks, and a
    // workbook without styles gets the default one.
    const CellStyle& Xf(uint32_t index) const { return cellXfs[qsizetype(index)]; }
    const Font& FontOf(const CellStyle& s) const { return fonts[s.fontId]; }
    const Fill& FillOf(const CellStyle& s) const { return fills[s.fillId]; }
    const Border& BorderOf(const CellStyle& s) const { return borders[s.borderId]; }
    // The workbook's default font (the Normal style's), which sets the column-width unit.
    Font DefaultFont() const;

    int normalFontId = 0;
};

// Reads xl/theme/theme1.xml (or the theme part given); the default Office theme when absent.
Theme ReadTheme(const Package& pkg, const QString& partName);
// Reads the styles part; the default styles when the name is empty. Throws xl::Error on parts
// that aren't well formed.
Styles ReadStyles(const Package& pkg, const QString& partName, const Theme& theme);

// A colour element of SpreadsheetML (<color rgb=.. theme=.. indexed=.. tint=.. auto=..>).
QColor ReadColor(const pugi::xml_node& n, const Theme& theme, const QList<QColor>& palette);
// The first DrawingML colour child of `n` (srgbClr, schemeClr, sysClr, prstClr) with its
// modifiers (lumMod, lumOff, tint, shade, alpha); invalid when there is none.
QColor ReadDrawingColor(const pugi::xml_node& n, const Theme& theme);

}  // namespace xl
