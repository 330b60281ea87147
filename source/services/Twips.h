#pragma once
// Window placement is stored in twips (1440 per inch); the screen's dots per inch convert.
// Conversions to whole numbers round to the nearest, a half to the even neighbour.

#include <QGuiApplication>
#include <QScreen>

#include <cmath>
#include <cstdint>

inline double TwipsPerPixelX() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

inline double TwipsPerPixelY() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

inline int32_t PixelsToTwipsX(double pixels) {
    return static_cast<int32_t>(std::nearbyint(pixels * TwipsPerPixelX()));
}
inline int32_t PixelsToTwipsY(double pixels) {
    return static_cast<int32_t>(std::nearbyint(pixels * TwipsPerPixelY()));
}
inline int TwipsToPixelsX(double twips) {
    return static_cast<int>(std::nearbyint(twips / TwipsPerPixelX()));
}
inline int TwipsToPixelsY(double twips) {
    return static_cast<int>(std::nearbyint(twips / TwipsPerPixelY()));
}
