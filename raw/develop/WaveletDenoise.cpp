// Wavelet denoising: each colour plane is taken to a square-root scale (where photon noise
// is roughly even), split into five a-trous detail levels, and the details are shrunk
// toward zero by the threshold scaled to each level's share of the noise.
#include <algorithm>
#include <cmath>
#include <utility>

#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/develop/SensorPrep.h"

namespace raw {
namespace {

constexpr int kLevels = 5;
// Noise of unit white noise left in each detail level of the [1 2 1] / 4 kernel.
constexpr float kLevelNoise[kLevels] = {0.8002f, 0.2735f, 0.1202f, 0.0585f, 0.0291f};

struct Planes {
    int height, width;
    float* buffer; // four planes of height x width
    uint64_t size() const { return uint64_t(height) * width; }
    float* plane(int i) const { return buffer + i * size(); }
};

int mirror(int i, int n) {
    if (i < 0) i = -i;
    if (i >= n) i = 2 * (n - 1) - i;
    return std::clamp(i, 0, n - 1);
}

// One a-trous smoothing: the [1 2 1] / 4 kernel with holes of `step`, rows then columns.
void smooth(const Planes& p, const float* in, float* out, float* tmp, int step) {
    const int h = p.height, w = p.width;
    for (int r = 0; r < h; ++r) {
        const float* line = in + int64_t(r) * w;
        for (int c = 0; c < w; ++c)
            tmp[int64_t(r) * w + c] =
                (line[mirror(c - step, w)] + 2 * line[c] + line[mirror(c + step, w)]) * 0.25f;
    }
    for (int r = 0; r < h; ++r) {
        const float* above = tmp + int64_t(mirror(r - step, h)) * w;
        const float* below = tmp + int64_t(mirror(r + step, h)) * w;
        const float* line = tmp + int64_t(r) * w;
        for (int c = 0; c < w; ++c)
            out[int64_t(r) * w + c] = (above[c] + 2 * line[c] + below[c]) * 0.25f;
    }
}

float soft_threshold(float d, float t) { return d > t ? d - t : d < -t ? d + t : 0.0f; }

void denoise_slot(DecoderState& s, const Planes& p, int slot) {
    float *level = p.plane(0), *lower = p.plane(1), *tmp = p.plane(2), *kept = p.plane(3);
    const uint64_t n = p.size();
    for (uint64_t i = 0; i < n; ++i)
        level[i] = 256.0f * std::sqrt(float(s.pixel_image[i][slot])), kept[i] = 0;
    for (int k = 0; k < kLevels; ++k) {
        smooth(p, level, lower, tmp, 1 << k);
        const float t = s.denoise_threshold * kLevelNoise[k];
        for (uint64_t i = 0; i < n; ++i)
            kept[i] += soft_threshold(level[i] - lower[i], t);
        std::swap(level, lower);
    }
    for (uint64_t i = 0; i < n; ++i) {
        const float v = std::max(kept[i] + level[i], 0.0f);
        s.pixel_image[i][slot] = uint16_t(std::min(v * v / 65536.0f + 0.5f, 65535.0f));
    }
}

// Three-colour Bayer data keeps its two greens in slots 1 and 3: each moves by half of the
// local (5x5) mean difference, which removes an imbalance between the green rows but
// keeps detail that differs between them.
void even_out_greens(DecoderState& s, const Planes& p) {
    float *difference = p.plane(0), *valid = p.plane(1);
    const int h = p.height, w = p.width;
    for (uint64_t i = 0; i < p.size(); ++i) {
        const uint16_t* px = s.pixel_image[i];
        valid[i] = px[1] && px[3] ? 1.0f : 0.0f;
        difference[i] = valid[i] ? float(px[1]) - float(px[3]) : 0.0f;
    }
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            uint16_t* px = s.pixel_image[int64_t(r) * w + c];
            if (!px[1] || !px[3]) continue;
            float sum = 0, count = 0;
            for (int y = std::max(r - 2, 0); y <= std::min(r + 2, h - 1); ++y)
                for (int x = std::max(c - 2, 0); x <= std::min(c + 2, w - 1); ++x)
                    sum += difference[int64_t(y) * w + x], count += valid[int64_t(y) * w + x];
            const float half = sum / count / 2;
            px[1] = uint16_t(std::clamp(px[1] - half + 0.5f, 0.0f, 65535.0f));
            px[3] = uint16_t(std::clamp(px[3] + half + 0.5f, 0.0f, 65535.0f));
        }
}

uint16_t shifted(uint16_t v, int shift) { return uint16_t(std::min<uint32_t>(uint32_t(v) << shift, 65535)); }

// Brings the data up to a 15-bit white at least, so the square-root scale has precision.
void widen_levels(DecoderState& s) {
    int shift = 0;
    if (s.white_level)
        while ((uint64_t(s.white_level) << shift) < 0x8000)
            ++shift;
    if (!shift) return;
    const uint64_t pixels = uint64_t(s.image_height) * s.image_width;
    for (uint64_t i = 0; i < pixels; ++i)
        for (uint16_t& v : s.pixel_image[i])
            v = shifted(v, shift);
    const uint64_t cells = std::min<uint64_t>(uint64_t(s.channel_black[4]) * s.channel_black[5],
                                              sizeof s.channel_black / sizeof s.channel_black[0] - 6);
    for (int c = 0; c < 4; ++c)
        s.channel_black[c] = shifted(s.channel_black[c], shift);
    for (uint64_t i = 0; i < cells; ++i)
        s.channel_black[6 + i] = shifted(s.channel_black[6 + i], shift);
    s.black_level <<= shift;
    s.white_level <<= shift;
}

bool slot_has_data(const DecoderState& s, int slot, uint64_t pixels) {
    for (uint64_t i = 0; i < pixels; ++i)
        if (s.pixel_image[i][slot]) return true;
    return false;
}

} // namespace

void wavelet_denoise(DecoderState& s) {
    if (s.denoise_threshold == 0 || !s.pixel_image || !s.image_height || !s.image_width) return;
    widen_levels(s);
    Planes p{s.image_height, s.image_width, nullptr};
    p.buffer = static_cast<float*>(file_backed_calloc(s, p.size() * 4, sizeof(float)));
    memory_error(s, p.buffer, "wavelet_denoise()");
    for (int slot = 0; slot < 4; ++slot)
        if (slot_has_data(s, slot, p.size())) denoise_slot(s, p, slot);
    if (s.colour_count == 3 && s.cfa_pattern >= kPatternBayerMin) even_out_greens(s, p);
    file_backed_free(s, p.buffer);
}

} // namespace raw
