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
// `stretch` (percent) narrows or widens the text; see TextStretch.
QFont PaintFont(const Font& font, int stretch = 100);

// The stretch that makes the stand-in of the workbook's default font as wide as the
// spreadsheet's hinted screen font, whose digits are `maxDigitWidth` pixels: Carlito's
// unhinted digits are 7.6 pixels at 11 points where the spreadsheet's are 7, and text that
// is 8% too wide turns numbers to "###" and cuts texts that fit on the user's screen.
int TextStretch(const Font& defaultFont, int maxDigitWidth);

// Throws xl::Error unless a QGuiApplication runs: fonts can't be used without one.
void NeedFonts();

// A font of `points` size for chart text, from a workbook font name.
QFont PaintFont(const QString& fontName, double points, bool bold = false);

}  // namespace xl
