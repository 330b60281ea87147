#pragma once
// Colours are stored as the designed RGB values, red in the low byte.

#include <QColor>

#include <cstdint>

inline QColor ColorFromRGBValue(int32_t value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

inline int32_t RGBValueOfColor(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}
