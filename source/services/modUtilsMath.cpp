#include "services/modUtilsMath.h"

int16_t MinInt(int16_t a, int16_t b) { return a < b ? a : b; }

int16_t MaxInt(int16_t a, int16_t b) { return a > b ? a : b; }
