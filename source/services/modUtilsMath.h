#pragma once

#include <cstdint>

// The smaller / greater of two 16-bit values (either, when they are equal).
int16_t MinInt(int16_t a, int16_t b);
int16_t MaxInt(int16_t a, int16_t b);
