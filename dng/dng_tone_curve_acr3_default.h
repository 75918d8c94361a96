#pragma once
// The default tone curve: 1025 samples of the curve at i / 1024, rising from 0 to 1.
// Rebuilt as a monotone cubic through the published anchor rows; the full table is not
// reproduced from any other program.
#include <array>

class dng_tone_curve_acr3_default {
  public:
    static constexpr int kTableSize = 1025;

    static const std::array<float, kTableSize>& table();

    // The curve at x, interpolated linearly in the table; x itself where the table index
    // 1024 x falls below 1 or above 1023 (so 0, 1 and out-of-range inputs pass through).
    static float valueAt(float x);
    // The curve at (x - from) / (to - from) when from <= x <= to, else x unchanged.
    static float valueForNormalizedRange(float x, float from, float to);
};
