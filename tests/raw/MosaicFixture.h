#pragma once
// A small mosaic image in a decoder state of its own, for the development-step tests.
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "raw/CfaColor.h"
#include "raw/DecoderState.h"

namespace mosaic_test {

inline constexpr uint32_t kRggb = 0x94949494;           // R G / G B
inline constexpr uint32_t kRggbFourColour = 0xB4B4B4B4; // second green coded 3

// A 6x6 cell in which every 3x3 block holds all three colours.
inline constexpr int8_t kXTransCell[6][6] = {
    {1, 2, 1, 1, 0, 1}, {0, 1, 0, 2, 1, 2}, {1, 2, 1, 1, 0, 1},
    {1, 0, 1, 1, 2, 1}, {2, 1, 2, 0, 1, 0}, {1, 0, 1, 1, 2, 1},
};

using Pixel = std::array<uint16_t, 4>;

struct Mosaic {
    std::unique_ptr<raw::DecoderState> state = std::make_unique<raw::DecoderState>();
    std::vector<Pixel> pixels;

    Mosaic(int height, int width, uint32_t pattern, int colours) {
        state->image_height = state->visible_height = uint16_t(height);
        state->image_width = state->visible_width = uint16_t(width);
        state->cfa_pattern = pattern;
        state->colour_count = colours;
        std::memcpy(state->xtrans_layout, kXTransCell, sizeof kXTransCell);
        pixels.assign(size_t(height) * size_t(width), Pixel{});
        state->pixel_image = reinterpret_cast<uint16_t(*)[4]>(pixels.data());
    }

    Mosaic clone() const {
        Mosaic copy(height(), width(), state->cfa_pattern, state->colour_count);
        copy.pixels = pixels;
        copy.state->pixel_image = reinterpret_cast<uint16_t(*)[4]>(copy.pixels.data());
        return copy;
    }

    int height() const { return state->image_height; }
    int width() const { return state->image_width; }
    int colour(int row, int col) const { return raw::cfa_color(*state, row, col); }
    Pixel& at(int row, int col) { return pixels[size_t(row) * width() + col]; }
    uint16_t& own(int row, int col) { return at(row, col)[colour(row, col)]; }

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

} // namespace mosaic_test
