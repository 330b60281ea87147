#pragma once
// Pictures for publishing and pasting: a window area captured into a picture, and the
// clipboard's picture made a plain screen bitmap.

#include <QImage>

#include <cstdint>

class QPixmap;
class QWidget;

// Copies the rectangle (X1, Y1)-(X2, Y2) of the form's client area, in twips, into the picture,
// which is sized (X2 - X1) by (Y2 - Y1) twips in pixels of the form's screen. The copy is drawn
// from the form itself, so windows lying over it at that moment don't end up in it. A main
// window's client area starts below its menu bar.
[[nodiscard]] bool CopyFormContents(QWidget* form, QPixmap* picture, int32_t X1, int32_t Y1, int32_t X2,
                      int32_t Y2);
// Replaces whatever picture is on the clipboard by the same picture as a plain RGB bitmap
// without transparency (transparent parts become white, as on a sheet).
void CopyPic2007();
// Puts a picture on the clipboard as a bitmap (RGB, no transparency).
void SetClipboardBitmap(const QImage& image);
