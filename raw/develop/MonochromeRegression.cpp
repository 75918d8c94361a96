// A colour mosaic made monochrome: red and blue photosites are mapped onto the green
// response by a straight line fitted where the greens around them agree.
#include <algorithm>
#include <cmath>

#include "raw/core/CfaColor.h"
#include "raw/develop/GreenMatch.h"

namespace raw {
namespace {

constexpr int kEdge = 16;
constexpr int kMinimumSamples = 5001;

// Running sums of one colour's (x, y) samples. Double: millions of products of values up
// to 32767 lose the fit in single precision.
struct FitSums {
    double n = 0, x = 0, y = 0, xy = 0, xx = 0;
    void add(double sx, double sy) {
        n += 1;
        x += sx;
        y += sy;
        xy += sx * sy;
        xx += sx * sx;
    }
};

// Sums of red (0) and blue (1) at one agreement level.
struct Level {
    FitSums colour[2];
    bool enough() const { return colour[0].n >= kMinimumSamples && colour[1].n >= kMinimumSamples; }
};

struct Line {
    double gain = 1, offset = 0;
};

Line fit(const FitSums& f) {
    const double spread = f.n * f.xx - f.x * f.x;
    // No spread in x (or one lost in rounding) gives no slope: keep the values as they are.
    if (!(spread > 1e-9 * f.n * f.xx)) return {};
    const double gain = (f.n * f.xy - f.x * f.y) / spread;
    const double offset = (f.y - gain * f.x) / f.n;
    if (!std::isfinite(gain) || !std::isfinite(offset)) return {};
    return {gain, offset};
}

// Flags of the three levels: greens within t, 4t and 8t of the first green scanned.
enum : unsigned { kTight = 1, kMiddle = 2, kLoose = 4 };

void sample_photosite(const DecoderState& s, int row, int col, int t, Level (&levels)[3]) {
    const int c = cfa_color(s, row, col);
    if (c != 0 && c != 2) return;
    const int width = s.image_width;
    const int x = s.pixel_image[size_t(row) * width + col][c];
    if (x < 4 || x >= 32768) return;
    unsigned flags = kTight | kMiddle | kLoose;
    long sum = 0;
    int count = 0, reference = 0;
    for (int y = -1; y <= 1 && (flags & kTight); ++y)
        for (int dx = -1; dx <= 1; ++dx) {
            const int g = cfa_color(s, row + y, col + dx);
            if (g != 1 && g != 3) continue; // the centre is red or blue
            const int v = s.pixel_image[size_t(row + y) * width + col + dx][g];
            if (count == 0) reference = v;
            const int diff = std::abs(v - reference);
            if (diff > t) flags &= ~kTight;
            if (diff > 4 * t) flags &= ~kMiddle;
            if (diff > 8 * t) flags &= ~kLoose;
            sum += v;
            ++count;
            if (!(flags & kTight)) break;
        }
    if (count < 2 || sum <= 1024 || !flags) return;
    const double mean = double(sum) / count;
    for (int level = 0; level < 3; ++level)
        if (flags & (1u << level)) levels[level].colour[c / 2].add(x, mean);
}

// The tightest level with enough red and blue samples, or none.
const Level* choose_level(const Level (&levels)[3]) {
    for (const auto& level : levels)
        if (level.enough()) return &level;
    return nullptr;
}

uint16_t apply(const Line& line, int value) {
    const double v = std::clamp(value * line.gain + line.offset, 0.0, 65535.0);
    return uint16_t(v);
}

} // namespace

void cfa_to_monochrome_regression(DecoderState& s, int threshold) {
    const int height = s.image_height, width = s.image_width;
    Level levels[3];
    if (height > 2 * kEdge && width > 2 * kEdge)
        for (int row = kEdge; row < height - kEdge; ++row)
            for (int col = kEdge; col < width - kEdge; ++col)
                sample_photosite(s, row, col, threshold, levels);

    Line red, blue;
    if (const Level* level = choose_level(levels)) {
        red = fit(level->colour[0]);
        blue = fit(level->colour[1]);
    }
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            auto* pixel = s.pixel_image[size_t(row) * width + col];
            const int c = cfa_color(s, row, col);
            pixel[0] = c == 0 ? apply(red, pixel[0]) : c == 2 ? apply(blue, pixel[2]) : pixel[c];
        }
    s.colour_count = 1;
    s.cfa_pattern = 0;
}

} // namespace raw
