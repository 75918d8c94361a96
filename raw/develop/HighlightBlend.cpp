// Clipped highlights keep their brightness but take the colour of the clipped pixel, so a
// channel that saturated early does not tint the brightest areas.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "raw/core/BandRunner.h"
#include "raw/develop/Highlights.h"

namespace raw {
namespace {

// Forward (brightness, chroma...) and inverse transforms; inverse x forward = count x I.
constexpr float kForward3[3][3] = {{1, 1, 1}, {1.7320508f, -1.7320508f, 0}, {-1, -1, 2}};
constexpr float kInverse3[3][3] = {{1, 0.8660254f, -0.5f}, {1, -0.8660254f, -0.5f}, {1, 0, 1}};
constexpr float kHadamard4[4][4] = {{1, 1, 1, 1}, {1, -1, 1, -1}, {1, 1, -1, -1}, {1, -1, -1, 1}};

struct Transforms {
    const float* forward;
    const float* inverse;
};

void apply(const float* m, int n, const float* in, float* out) {
    for (int i = 0; i < n; ++i) {
        out[i] = 0;
        for (int j = 0; j < n; ++j)
            out[i] += m[i * n + j] * in[j];
    }
}

float chroma_energy(const float* lab, int n) {
    float sum = 0;
    for (int c = 1; c < n; ++c)
        sum += lab[c] * lab[c];
    return sum;
}

void blend_pixel(uint16_t p[4], int n, int clip, const Transforms& t) {
    float cam[2][4], lab[2][4];
    for (int c = 0; c < n; ++c) {
        cam[0][c] = p[c];
        cam[1][c] = float(std::min<int>(p[c], clip));
    }
    apply(t.forward, n, cam[0], lab[0]);
    apply(t.forward, n, cam[1], lab[1]);
    const float unclipped = chroma_energy(lab[0], n), clipped = chroma_energy(lab[1], n);
    // A pixel with no chroma of its own has nothing to scale: it stays as it is.
    if (unclipped == 0) return;
    const float ratio = std::sqrt(clipped / unclipped);
    for (int c = 1; c < n; ++c)
        lab[0][c] *= ratio;
    apply(t.inverse, n, lab[0], cam[0]);
    for (int c = 0; c < n; ++c)
        p[c] = uint16_t(std::clamp(cam[0][c] / float(n), 0.0f, 65535.0f));
}

// The level a channel clips at; odd multipliers (negative, NaN) must not overflow.
int clip_level(float multiplier) {
    const float level = multiplier * 65535.0f;
    if (!(level > 0)) return 0;
    return level >= 65535 ? 65535 : int(level);
}

} // namespace

void blend_highlights(DecoderState& s) {
    const int n = s.colour_count;
    if (n != 3 && n != 4) return;
    if (s.verbose_output) std::fputs("Blending highlights...\n", stderr);
    const Transforms t = n == 3 ? Transforms{&kForward3[0][0], &kInverse3[0][0]}
                                : Transforms{&kHadamard4[0][0], &kHadamard4[0][0]};
    int clip = INT_MAX;
    for (int c = 0; c < n; ++c)
        clip = std::min(clip, clip_level(s.daylight_multipliers[c]));
    // Each pixel on its own: bands of rows side by side.
    const int64_t width = s.image_width;
    run_bands(kBandCount, [&](int band) {
        const BandRange rows = band_range(s.image_height, kBandCount, band);
        for (int64_t i = rows.begin * width; i < rows.end * width; ++i) {
            uint16_t* p = s.pixel_image[i];
            if (std::all_of(p, p + n, [clip](uint16_t v) { return v <= clip; })) continue;
            blend_pixel(p, n, clip, t);
        }
    });
}

} // namespace raw
