#pragma once
// Mosaic images for the development-step and demosaic tests: a pixel image, in a decoder
// state of its own, whose photosites hold a chosen value in their own colour's channel.
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "raw/core/CfaColor.h"
#include "raw/core/DecoderState.h"
#include "raw/develop/Demosaic.h"

namespace mosaic_test {

inline constexpr uint32_t kRGGB = 0x94949494; // R G / G B
inline constexpr uint32_t kBGGR = 0x16161616;
inline constexpr uint32_t kGRBG = 0x61616161;
inline constexpr uint32_t kGBRG = 0x49494949;
inline constexpr uint32_t kRGGBFourColour = 0xB4B4B4B4; // second green coded 3
inline constexpr uint32_t kXTrans = raw::kPatternXTrans;

// A 6 x 6 cell of our own making with the X-Trans proportions (20 green, 8 red, 8 blue):
// 3 x 3 blocks of green corners and centre, red and blue trading places between blocks, so
// that every 3 x 3 block holds all three colours.
inline constexpr int8_t kXTransCell[6][6] = {
    {1, 0, 1, 1, 2, 1}, {2, 1, 2, 0, 1, 0}, {1, 0, 1, 1, 2, 1},
    {1, 2, 1, 1, 0, 1}, {0, 1, 0, 2, 1, 2}, {1, 2, 1, 1, 0, 1},
};

using Pixel = std::array<uint16_t, 4>;
using Rgb = std::array<int, 3>;
using Truth = std::function<Rgb(int row, int col)>;

struct Mosaic {
    std::unique_ptr<raw::DecoderState> state = std::make_unique<raw::DecoderState>();
    std::vector<Pixel> pixels; // exactly the image, so a read outside it is caught

    // Every channel starts as `blank`.
    Mosaic(int height, int width, uint32_t pattern, int colours = 3, uint16_t blank = 0) {
        state->image_height = state->visible_height = uint16_t(height);
        state->image_width = state->visible_width = uint16_t(width);
        state->cfa_pattern = pattern;
        state->colour_count = colours;
        std::memcpy(state->xtrans_layout, kXTransCell, sizeof kXTransCell);
        pixels.assign(size_t(height) * size_t(width), Pixel{blank, blank, blank, blank});
        state->pixel_image = reinterpret_cast<uint16_t(*)[4]>(pixels.data());
    }

    Mosaic clone() const {
        Mosaic copy(height(), width(), state->cfa_pattern, state->colour_count);
        std::memcpy(copy.state->xtrans_layout, state->xtrans_layout, sizeof state->xtrans_layout);
        copy.pixels = pixels;
        copy.state->pixel_image = reinterpret_cast<uint16_t(*)[4]>(copy.pixels.data());
        return copy;
    }

    int height() const { return state->image_height; }
    int width() const { return state->image_width; }
    uint32_t filters() const { return state->cfa_pattern; }
    int colour(int row, int col) const { return raw::cfa_color(*state, row, col); }
    Pixel& at(int row, int col) { return pixels[size_t(row) * width() + col]; }
    const Pixel& at(int row, int col) const { return pixels[size_t(row) * width() + col]; }
    uint16_t& own(int row, int col) { return at(row, col)[colour(row, col)]; }

    // The job a demosaic driver takes for this image.
    raw::demosaic_job job(bool highlight_flag = false) const {
        raw::demosaic_job j{};
        j.height = height();
        j.width = width();
        j.image = state->pixel_image;
        j.filters = filters();
        j.highlight_flag = highlight_flag;
        std::memcpy(j.xtrans, state->xtrans_layout, sizeof j.xtrans);
        return j;
    }

    // Writes value(row, col, colour) into every photosite's own slot.
    template <typename F> void paint(F value) {
        for (int r = 0; r < height(); ++r)
            for (int c = 0; c < width(); ++c)
                own(r, c) = uint16_t(value(r, c, colour(r, c)));
    }

    void paint_noise(unsigned seed, int low = 200, int high = 60000) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> dist(low, high);
        paint([&](int, int, int) { return dist(rng); });
    }
};

// Each photosite keeps only its own colour of `truth` (green for the second green); the
// other channels stay `blank`.
inline Mosaic mosaic(int height, int width, uint32_t filters, const Truth& truth, uint16_t blank = 0) {
    Mosaic m(height, width, filters, 3, blank);
    m.paint([&](int r, int c, int colour) { return truth(r, c)[colour == 3 ? 1 : colour]; });
    return m;
}

} // namespace mosaic_test
