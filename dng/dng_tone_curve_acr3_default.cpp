#include "dng/dng_tone_curve_acr3_default.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

struct Anchor {
    double index; // input x 1024
    double value;
};

// The telling rows of the published curve, forward rows (index i stands for input i / 1024)
// merged with the inverse rows (input whose value is i / 1024), in input order.
constexpr Anchor kAnchors[] = {
    {0, 0.0},
    {1, 0.00078},
    {0.00121 * 1024, 1.0 / 1024},
    {2, 0.0016},
    {0.00237 * 1024, 2.0 / 1024},
    {3, 0.00242},
    {4, 0.00314},
    {0.00496 * 1024, 4.0 / 1024},
    {8, 0.00623},
    {0.00951 * 1024, 8.0 / 1024},
    {16, 0.01485},
    {0.01620 * 1024, 16.0 / 1024},
    {0.02631 * 1024, 32.0 / 1024},
    {32, 0.04002},
    {0.04292 * 1024, 64.0 / 1024},
    {64, 0.10433},
    {0.07152 * 1024, 128.0 / 1024},
    {0.12122 * 1024, 256.0 / 1024},
    {128, 0.25961},
    {0.23787 * 1024, 512.0 / 1024},
    {256, 0.52069},
    {384, 0.69035},
    {0.43434 * 1024, 768.0 / 1024},
    {512, 0.80486},
    {640, 0.88453},
    {768, 0.93986},
    {896, 0.97702},
    {1000, 0.99664},
    {0.99291 * 1024, 1023.0 / 1024},
    {1023, 0.99987},
    {1024, 1.0},
};
constexpr size_t kAnchorCount = sizeof(kAnchors) / sizeof(kAnchors[0]);

// Fritsch-Carlson tangents: a cubic Hermite through the anchors that never overshoots,
// so the rebuilt table keeps rising wherever the anchors do.
std::array<double, kAnchorCount> monotoneTangents() {
    std::array<double, kAnchorCount - 1> slope{};
    for (size_t k = 0; k + 1 < kAnchorCount; ++k)
        slope[k] = (kAnchors[k + 1].value - kAnchors[k].value) / (kAnchors[k + 1].index - kAnchors[k].index);
    std::array<double, kAnchorCount> tangent{};
    tangent[0] = slope[0];
    tangent[kAnchorCount - 1] = slope[kAnchorCount - 2];
    for (size_t k = 1; k + 1 < kAnchorCount; ++k) {
        const double s0 = slope[k - 1], s1 = slope[k];
        if (s0 * s1 <= 0) continue;
        const double h0 = kAnchors[k].index - kAnchors[k - 1].index;
        const double h1 = kAnchors[k + 1].index - kAnchors[k].index;
        // Weighted harmonic mean for uneven spacing.
        const double w0 = 2 * h1 + h0, w1 = h1 + 2 * h0;
        tangent[k] = (w0 + w1) / (w0 / s0 + w1 / s1);
    }
    return tangent;
}

std::array<float, dng_tone_curve_acr3_default::kTableSize> buildTable() {
    const auto tangent = monotoneTangents();
    std::array<float, dng_tone_curve_acr3_default::kTableSize> table{};
    size_t k = 0;
    for (int i = 0; i < dng_tone_curve_acr3_default::kTableSize; ++i) {
        while (k + 2 < kAnchorCount && i >= kAnchors[k + 1].index)
            ++k;
        const Anchor& a = kAnchors[k];
        const Anchor& b = kAnchors[k + 1];
        const double h = b.index - a.index;
        const double t = (i - a.index) / h;
        const double t2 = t * t, t3 = t2 * t;
        const double v = (2 * t3 - 3 * t2 + 1) * a.value + (t3 - 2 * t2 + t) * h * tangent[k] +
                         (-2 * t3 + 3 * t2) * b.value + (t3 - t2) * h * tangent[k + 1];
        table[i] = float(v);
    }
    return table;
}

} // namespace

const std::array<float, dng_tone_curve_acr3_default::kTableSize>& dng_tone_curve_acr3_default::table() {
    static const auto table = buildTable();
    return table;
}

float dng_tone_curve_acr3_default::valueAt(float x) {
    const float s = 1024.0f * x;
    if (!(s >= 1.0f && s < 1024.0f)) return x; // NaN passes through as well
    const int i = int(s);
    const float f = s - float(i);
    const auto& t = table();
    return (1.0f - f) * t[i] + f * t[i + 1];
}

float dng_tone_curve_acr3_default::valueForNormalizedRange(float x, float from, float to) {
    if (!(from <= x && x <= to) || !(to > from)) return x;
    return valueAt((x - from) / (to - from));
}
