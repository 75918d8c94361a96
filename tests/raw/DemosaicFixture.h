#pragma once
// Known RGB images laid out as a colour-filter sensor sees them, for the demosaic tests.
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>

#include "raw/DemosaicCommon.h"

namespace mosaicfixture {

inline constexpr uint32_t kRGGB = 0x94949494;
inline constexpr uint32_t kBGGR = 0x16161616;
inline constexpr uint32_t kGRBG = 0x61616161;
inline constexpr uint32_t kGBRG = 0x49494949;
inline constexpr uint32_t kXTrans = 9;

// A 6 x 6 cell of our own making with the X-Trans proportions (20 green, 8 red, 8 blue):
// 3 x 3 blocks of green corners and centre, red and blue trading places between blocks.
inline constexpr int8_t kXTransCell[6][6] = {
    {1, 0, 1, 1, 2, 1}, {2, 1, 2, 0, 1, 0}, {1, 0, 1, 1, 2, 1},
    {1, 2, 1, 1, 0, 1}, {0, 1, 0, 2, 1, 2}, {1, 2, 1, 1, 0, 1},
};

using Rgb = std::array<int, 3>;
using Truth = std::function<Rgb(int row, int col)>;

struct Mosaic {
    int height = 0, width = 0;
    uint32_t filters = 0;
    std::unique_ptr<uint16_t[][4]> pixels;

    raw::demosaic_job job() const {
        raw::demosaic_job j{};
        j.height = height;
        j.width = width;
        j.image = pixels.get();
        j.filters = filters;
        std::memcpy(j.xtrans, kXTransCell, sizeof j.xtrans);
        return j;
    }
    const uint16_t* at(int row, int col) const { return pixels[int64_t(row) * width + col]; }
    Mosaic copy() const {
        Mosaic m{height, width, filters, std::make_unique<uint16_t[][4]>(size_t(height) * width)};
        std::memcpy(m.pixels.get(), pixels.get(), sizeof(uint16_t[4]) * height * width);
        return m;
    }
};

// Each photosite keeps only its own colour of `truth`; the other channels are zero.
inline Mosaic mosaic(int height, int width, uint32_t filters, const Truth& truth) {
    Mosaic m{height, width, filters, std::make_unique<uint16_t[][4]>(size_t(height) * width)};
    raw::demosaic_copy_xtrans(m.job());
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            int f = raw::demosaic_colour_at(filters, r, c);
            m.pixels[int64_t(r) * width + c][f] = uint16_t(truth(r, c)[f == 3 ? 1 : f]);
        }
    return m;
}

} // namespace mosaicfixture
