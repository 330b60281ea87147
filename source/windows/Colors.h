#pragma once
// Colours are stored as RGB values with red in the low byte, the form the INI files and the
// repository already hold.

#include <QColor>

#include <cstdint>

inline QColor ColorFromRGBValue(int32_t value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

inline int32_t RGBValueOfColor(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}
