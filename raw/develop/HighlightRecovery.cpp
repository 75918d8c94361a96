// Rebuilds clipped channels from the ratio of each channel to the strongest one, measured
// in nearby cells that are bright but not yet clipped and spread into the clipped areas.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/develop/Highlights.h"

namespace raw {
namespace {

constexpr int kNeighbours[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}};

struct RatioMap {
    float* cells;
    int high, wide, scale;
    float& at(int r, int c) const { return cells[int64_t(r) * wide + c]; }
    // Trailing rows and columns that fill no whole cell belong to the last one.
    float of_pixel(int row, int col) const {
        return at(std::min(row / scale, high - 1), std::min(col / scale, wide - 1));
    }
};

struct Levels {
    int hsat[4];
    int strongest;
};

// A cell counts only when every pixel of it lies between saturation and twice it, with the
// strongest channel well exposed.
void measure(const DecoderState& s, const RatioMap& map, const Levels& lv, int c) {
    const int kc = lv.strongest, S = map.scale;
    for (int mr = 0; mr < map.high; ++mr)
        for (int mc = 0; mc < map.wide; ++mc) {
            float sum = 0, weight = 0;
            int count = 0;
            for (int row = mr * S; row < (mr + 1) * S; ++row)
                for (int col = mc * S; col < (mc + 1) * S; ++col) {
                    const uint16_t* p = s.pixel_image[int64_t(row) * s.image_width + col];
                    if (p[c] / lv.hsat[c] == 1 && p[kc] > 24000) {
                        sum += p[c];
                        weight += p[kc];
                        ++count;
                    }
                }
            map.at(mr, mc) = count == S * S ? sum / weight : 0;
        }
}

bool spread_pass(const RatioMap& map, float grow) {
    bool changed = false;
    for (int mr = 0; mr < map.high; ++mr)
        for (int mc = 0; mc < map.wide; ++mc) {
            if (map.at(mr, mc) != 0) continue;
            float total = 0;
            int count = 0;
            for (int d = 0; d < 8; ++d) {
                const int y = mr + kNeighbours[d][0], x = mc + kNeighbours[d][1];
                if (y < 0 || y >= map.high || x < 0 || x >= map.wide || !(map.at(y, x) > 0)) continue;
                const int weight = 1 + (d & 1);
                total += weight * map.at(y, x);
                count += weight;
            }
            // Negative marks a cell filled in this pass, so it feeds no neighbour yet.
            if (count > 3) {
                map.at(mr, mc) = -(total + grow) / (float(count) + grow);
                changed = true;
            }
        }
    for (int64_t i = 0; i < int64_t(map.high) * map.wide; ++i)
        if (map.cells[i] < 0) map.cells[i] = -map.cells[i];
    return changed;
}

void spread(const RatioMap& map, int mode) {
    // grow = 2^(4 - mode); higher modes spread further with less damping.
    const double grow = std::ldexp(1.0, int(std::max<int64_t>(4 - int64_t(mode), -60)));
    const int64_t passes = int64_t(std::min(32 / grow, 1e9));
    for (int64_t pass = 0; pass < passes; ++pass)
        if (!spread_pass(map, float(grow))) break;
    for (int64_t i = 0; i < int64_t(map.high) * map.wide; ++i)
        if (map.cells[i] == 0) map.cells[i] = 1;
}

void rebuild(DecoderState& s, const RatioMap& map, const Levels& lv, int c) {
    for (int row = 0; row < s.image_height; ++row)
        for (int col = 0; col < s.image_width; ++col) {
            uint16_t* p = s.pixel_image[int64_t(row) * s.image_width + col];
            if (p[c] / lv.hsat[c] <= 1) continue;
            const float value = float(p[lv.strongest]) * map.of_pixel(row, col);
            const int64_t v = value < 65536 ? int64_t(value) : 65536;
            if (v > p[c]) p[c] = uint16_t(std::min<int64_t>(v, 65535));
        }
}

Levels levels(const DecoderState& s, int colours) {
    Levels lv{{0, 0, 0, 0}, 0};
    for (int c = 0; c < colours; ++c) {
        const float m = s.daylight_multipliers[c];
        lv.hsat[c] = m > 0 ? int(std::min(32000.0f * m, 65535.0f)) : 0;
        if (m > s.daylight_multipliers[lv.strongest]) lv.strongest = c;
    }
    return lv;
}

} // namespace

void recover_highlights(DecoderState& s) {
    if (s.verbose_output) std::fputs("Rebuilding highlights...\n", stderr);
    const int colours = std::clamp(s.colour_count, 1, 4);
    const Levels lv = levels(s, colours);
    const int scale = s.half_size_option ? 2 : 4;
    RatioMap map{nullptr, s.image_height / scale, s.image_width / scale, scale};
    // An image smaller than one cell has nothing to measure.
    if (map.high == 0 || map.wide == 0) return;
    map.cells =
        static_cast<float*>(file_backed_calloc(s, uint64_t(map.high) * uint64_t(map.wide), sizeof(float)));
    memory_error(s, map.cells, "recover_highlights()");
    for (int c = 0; c < colours; ++c) {
        // A channel whose multiplier gives no saturation level cannot be rebuilt.
        if (c == lv.strongest || lv.hsat[c] == 0) continue;
        measure(s, map, lv, c);
        spread(map, s.highlight_mode);
        rebuild(s, map, lv, c);
    }
    file_backed_free(s, map.cells);
}

} // namespace raw
