// The reversible 5/3 wavelet of CRX tiles, undone from the deepest level up. A band carries
// one extra sample on each side where a neighbouring tile overlaps, so that edge samples
// are rebuilt with the two-sided form there.
#include <vector>

#include "raw/cr3/Cr3Crx.h"

namespace raw::crx {
namespace {

struct Span {
    uint32_t low, high; // samples of the low and high band, overlap included
};

Span split(uint32_t n, bool before, bool after) {
    const uint32_t extra = uint32_t(before) + uint32_t(after);
    return {(n + 1) / 2 + extra, n / 2 + extra};
}

// Sizes of the whole-tile image at each level: [0] is the tile, [levels] the low band.
struct LevelSizes {
    uint32_t width[4], height[4];
};

LevelSizes level_sizes(const Tile& tile, uint32_t levels) {
    LevelSizes z{};
    z.width[0] = tile.width;
    z.height[0] = tile.height;
    for (uint32_t l = 1; l <= levels; ++l) {
        z.width[l] = split(z.width[l - 1], tile.edges & 2, tile.edges & 1).low;
        z.height[l] = split(z.height[l - 1], tile.edges & 8, tile.edges & 4).low;
    }
    return z;
}

// Undoes one level in one direction for `count` lines of `stride`-spaced samples.
void inverse_lines(const int32_t* low, const int32_t* high, uint32_t n, bool before, bool after,
                   uint32_t count, const Span& span, bool columns, int32_t* out, uint32_t out_stride) {
    std::vector<int32_t> l(span.low), h(span.high), line(n);
    for (uint32_t i = 0; i < count; ++i) {
        for (uint32_t j = 0; j < span.low; ++j)
            l[j] = columns ? low[uint64_t(j) * count + i] : low[uint64_t(i) * span.low + j];
        for (uint32_t j = 0; j < span.high; ++j)
            h[j] = columns ? high[uint64_t(j) * count + i] : high[uint64_t(i) * span.high + j];
        inverse_53_line(l.data(), h.data(), n, before, after, line.data());
        for (uint32_t j = 0; j < n; ++j)
            (columns ? out[uint64_t(j) * out_stride + i] : out[uint64_t(i) * out_stride + j]) = line[j];
    }
}

} // namespace

void set_band_sizes(Tile& tile, uint32_t levels) {
    const LevelSizes z = level_sizes(tile, levels);
    for (Plane& plane : tile.planes) {
        plane.bands[0].width = z.width[levels];
        plane.bands[0].height = z.height[levels];
        for (uint32_t l = levels; l >= 1; --l) {
            const Span across = split(z.width[l - 1], tile.edges & 2, tile.edges & 1);
            const Span down = split(z.height[l - 1], tile.edges & 8, tile.edges & 4);
            Subband* b = &plane.bands[1 + 3 * (levels - l)];
            b[0].width = across.high, b[0].height = down.low;
            b[1].width = across.low, b[1].height = down.high;
            b[2].width = across.high, b[2].height = down.high;
        }
    }
}

void inverse_53_line(const int32_t* low, const int32_t* high, uint32_t n, bool left, bool right,
                     int32_t* out) {
    const int64_t m = (n + 1) / 2, nh = n / 2, o = left ? 1 : 0;
    auto lo = [&](int64_t i) { return int64_t(low[i + o]); };
    auto hi = [&](int64_t i) { return int64_t(high[i + o]); };
    auto has_high = [&](int64_t i) { return (i >= 0 || left) && (i < nh || (right && i == nh)); };
    auto even = [&](int64_t i) {
        const bool l = has_high(i - 1), r = has_high(i);
        if (l && r) return lo(i) - ((hi(i - 1) + hi(i) + 2) >> 2);
        if (l || r) return lo(i) - (((l ? hi(i - 1) : hi(i)) + 1) >> 1);
        return lo(i);
    };
    for (int64_t i = 0; i < m; ++i)
        out[2 * i] = int32_t(even(i));
    for (int64_t i = 0; i < nh; ++i) {
        const int64_t e = out[2 * i];
        if (i + 1 < m)
            out[2 * i + 1] = int32_t(hi(i) + ((e + out[2 * i + 2]) >> 1));
        else if (right)
            out[2 * i + 1] = int32_t(hi(i) + ((e + even(m)) >> 1));
        else
            out[2 * i + 1] = int32_t(hi(i) + e);
    }
}

void inverse_wavelet(const Tile& tile, uint32_t levels, const std::vector<std::vector<int32_t>>& bands,
                     int32_t* out) {
    const LevelSizes z = level_sizes(tile, levels);
    const bool left = tile.edges & 2, right = tile.edges & 1, above = tile.edges & 8, below = tile.edges & 4;
    std::vector<int32_t> image = bands[0];
    for (uint32_t l = levels; l >= 1; --l) {
        const uint32_t w = z.width[l - 1], h = z.height[l - 1];
        const Span across = split(w, left, right), down = split(h, above, below);
        const auto& hl = bands[1 + 3 * (levels - l)];
        const auto& lh = bands[2 + 3 * (levels - l)];
        const auto& hh = bands[3 + 3 * (levels - l)];
        // Vertical first: the low and the high columns, each h lines tall.
        std::vector<int32_t> low_cols(uint64_t(across.low) * h), high_cols(uint64_t(across.high) * h);
        inverse_lines(image.data(), lh.data(), h, above, below, across.low, down, true, low_cols.data(),
                      across.low);
        inverse_lines(hl.data(), hh.data(), h, above, below, across.high, down, true, high_cols.data(),
                      across.high);
        std::vector<int32_t> next(uint64_t(w) * h);
        inverse_lines(low_cols.data(), high_cols.data(), w, left, right, h, across, false, next.data(), w);
        image.swap(next);
    }
    std::copy(image.begin(), image.end(), out);
}

} // namespace raw::crx
