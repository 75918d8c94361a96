// Colour scaling: picks the white-balance multipliers, then subtracts the blacks and
// scales every photosite so that white lands on 65535, on 16 pixel ranges.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "raw/core/BandRunner.h"
#include "raw/core/PhotositeAccess.h"
#include "raw/develop/SensorPrep.h"

namespace raw {
namespace {

// Adds one 8x8 block's black-subtracted sums, unless the block holds a near-white value.
void sum_block(const DecoderState& s, int64_t row, int64_t col, int64_t bottom, int64_t right, double sum[4],
               double count[4]) {
    // A white level below 25 leaves no block out, rather than every block.
    const int64_t clip = s.white_level >= 25 ? int64_t(s.white_level) - 25 : INT64_MAX;
    uint64_t block_sum[4] = {}, block_count[4] = {};
    for (int64_t y = row; y < std::min(row + 8, bottom); ++y)
        for (int64_t x = col; x < std::min(col + 8, right); ++x) {
            const uint16_t* pixel = photosite_pixel(s, int(y), int(x));
            if (!pixel) continue;
            const int own = s.cfa_pattern ? photosite_colour(s, int(y), int(x)) : 0;
            for (int c = own; c < (s.cfa_pattern ? own + 1 : 4); ++c) {
                if (pixel[c] > clip) return;
                block_sum[c] += uint64_t(std::max(int(pixel[c]) - int(s.channel_black[c]), 0));
                block_count[c]++;
            }
        }
    for (int c = 0; c < 4; ++c)
        sum[c] += double(block_sum[c]), count[c] += double(block_count[c]);
}

// Over grey_box: the whole image unless the command line names a box.
void automatic_white_balance(DecoderState& s) {
    const uint32_t x = s.grey_box[0], y = s.grey_box[1];
    const int64_t bottom = std::min<int64_t>(int64_t(y) + s.grey_box[3], s.visible_height);
    const int64_t right = std::min<int64_t>(int64_t(x) + s.grey_box[2], s.visible_width);
    double sum[4] = {}, count[4] = {};
    for (int64_t row = y; row < bottom; row += 8)
        for (int64_t col = x; col < right; col += 8)
            sum_block(s, row, col, bottom, right, sum, count);
    for (int c = 0; c < 4; ++c)
        if (sum[c] != 0) s.daylight_multipliers[c] = float(count[c] / sum[c]);
}

void as_shot_white_balance(DecoderState& s) {
    uint64_t sum[4] = {}, count[4] = {};
    for (int row = 0; row < 8; ++row)
        for (int col = 0; col < 8; ++col) {
            const int c = pattern_code(s.cfa_pattern, row, col);
            const int v = int(s.white_samples[row][col]) - int(s.channel_black[c]);
            if (v > 0) sum[c] += uint64_t(v), count[c]++;
        }
    if (sum[0] && sum[1] && sum[2] && sum[3]) {
        for (int c = 0; c < 4; ++c)
            s.daylight_multipliers[c] = float(count[c]) / float(sum[c]);
    } else if (s.as_shot_multipliers[0] != 0 && s.as_shot_multipliers[2] != 0) {
        std::copy(s.as_shot_multipliers, s.as_shot_multipliers + 4, s.daylight_multipliers);
    } else {
        std::fprintf(stderr, "%s: Cannot use camera white balance.\n", s.input_path ? s.input_path : "");
    }
}

void choose_multipliers(DecoderState& s) {
    float* m = s.daylight_multipliers;
    if (s.user_multipliers[0] != 0) std::copy(s.user_multipliers, s.user_multipliers + 4, m);
    if (s.auto_white_balance || (s.use_as_shot_wb && s.as_shot_multipliers[0] == -1))
        automatic_white_balance(s);
    if (s.use_as_shot_wb && s.as_shot_multipliers[0] != -1) as_shot_white_balance(s);
    if (m[1] == 0) m[1] = 1;
    if (m[3] == 0) m[3] = s.colour_count < 4 ? m[1] : 1;
}

// Divides the multipliers by the smallest (clip) or the largest (keep highlights) and
// returns the per-slot factors that map white_level to 65535. A multiplier that is not
// positive (none known for that channel) is taken as neutral: as a divisor it would send
// every channel to infinity.
void scale_factors(DecoderState& s, float factor[4]) {
    float* m = s.daylight_multipliers;
    for (int c = 0; c < 4; ++c)
        if (!(m[c] > 0)) m[c] = 1;
    const float lo = *std::min_element(m, m + 4), hi = *std::max_element(m, m + 4);
    const float divisor = s.highlight_mode ? hi : lo;
    s.highlight_exposure_adjust = s.highlight_mode ? float(std::log2(double(hi) / lo)) : 0.0f;
    for (int c = 0; c < 4; ++c) {
        m[c] /= divisor;
        factor[c] = float(double(m[c]) * 65535.0 / s.white_level);
    }
}

// A 2x2 (or smaller) black pattern of a Bayer sensor goes into the per-channel blacks.
void fold_black_pattern(DecoderState& s) {
    uint16_t* black = s.channel_black;
    const unsigned rows = black[4], cols = black[5];
    if (s.cfa_pattern <= 1000 || rows < 1 || rows > 2 || cols < 1 || cols > 2) return;
    for (unsigned i = 0; i < 4; ++i) {
        uint16_t& target = black[(s.cfa_pattern >> (2 * i)) & 3];
        const unsigned cell = 6 + ((i / 2) % rows) * cols + (i % 2) % cols;
        target = uint16_t(std::min(unsigned(target) + black[cell], 65535u));
    }
    black[4] = black[5] = 0;
}

struct ScalingJob {
    uint16_t (*image)[4];
    uint64_t width;
    int black[4];
    float factor[4];
    const uint16_t* pattern; // null when no black pattern remains
    unsigned pattern_rows, pattern_cols;
};

ScalingJob scaling_job(const DecoderState& s, const float factor[4]) {
    ScalingJob job{s.pixel_image, s.image_width, {}, {}, nullptr, s.channel_black[4], s.channel_black[5]};
    for (int c = 0; c < 4; ++c)
        job.black[c] = s.channel_black[c], job.factor[c] = factor[c];
    // A pattern claiming more cells than the record holds is ignored.
    const uint64_t cells = uint64_t(job.pattern_rows) * job.pattern_cols;
    if (cells && cells <= sizeof s.channel_black / sizeof s.channel_black[0] - 6)
        job.pattern = s.channel_black + 6;
    return job;
}

void scale_pixels(const ScalingJob& job, uint64_t begin, uint64_t end) {
    if (begin >= end || job.width == 0) return;
    uint64_t row = begin / job.width, col = begin % job.width;
    for (uint64_t i = begin; i < end; ++i) {
        const int cell =
            job.pattern ? job.pattern[(row % job.pattern_rows) * job.pattern_cols + col % job.pattern_cols]
                        : 0;
        // Without branches (min and max, a select for the empty slots), so it vectorises.
        for (int c = 0; c < 4; ++c) {
            uint16_t& value = job.image[i][c];
            const float v =
                std::min(std::max(float(int(value) - job.black[c] - cell) * job.factor[c], 0.0f), 65535.0f);
            value = value ? uint16_t(int(v)) : 0;
        }
        if (++col == job.width) col = 0, ++row;
    }
}

// 16 ranges of pixel_count / 16 pixels, each starting on an even pixel.
void scale_image(DecoderState& s, const float factor[4]) {
    const ScalingJob job = scaling_job(s, factor);
    const uint64_t pixels = uint64_t(s.image_height) * s.image_width;
    const uint64_t step = pixels / kBandCount;
    run_bands(kBandCount, [&](int band) {
        const uint64_t begin = (band * step) & ~uint64_t(1);
        const uint64_t end = band == kBandCount - 1 ? pixels : ((band + 1) * step) & ~uint64_t(1);
        scale_pixels(job, begin, end);
    });
}

} // namespace

void scale_colors(DecoderState& s) {
    if (!s.pixel_image) return;
    choose_multipliers(s);
    const uint32_t darkness = s.black_level, saturation = s.white_level;
    if (s.denoise_threshold != 0) wavelet_denoise(s);
    // A white level at or below black gives no range: take the full 16 bits instead.
    if (s.white_level <= s.black_level) s.white_level = 65535;
    s.white_level = s.white_level > s.black_level ? s.white_level - s.black_level : 1;
    float factor[4];
    scale_factors(s, factor);
    if (s.verbose_output) {
        std::fprintf(stderr, "Scaling with darkness %d, saturation %d, and\nmultipliers", int(darkness),
                     int(saturation));
        for (float m : s.daylight_multipliers)
            std::fprintf(stderr, " %f", double(m));
        std::fputc('\n', stderr);
    }
    fold_black_pattern(s);
    scale_image(s, factor);
    correct_chromatic_aberration(s);
}

} // namespace raw
