#pragma once
// The fonts that stand in for the spreadsheet's own: the metric-compatible faces installed
// here (Carlito for Calibri, Caladea for Cambria, Liberation for Arial, Times New Roman and
// Courier New), so that text takes the room it takes on the user's screen.

#include <QFont>
#include <QString>

namespace xl {

struct Font;

// The installed family that stands in for a workbook font name; the name itself when it
// has no stand-in (fontconfig then picks the closest face).
QString StandInFamily(const QString& fontName);

// A cell font at 96 dpi. Sizes are clamped to what the spreadsheet accepts (1 to 409 points).
// Its text is as wide as the font draws it: Calc neither narrows nor widens a cell's text to
// the default font's digit width.
QFont PaintFont(const Font& font);

// Throws xl::Error unless a QGuiApplication runs: fonts can't be used without one.
void NeedFonts();

// A font of `points` size for chart text, from a workbook font name.
QFont PaintFont(const QString& fontName, double points, bool bold = false);

}  // namespace xl
