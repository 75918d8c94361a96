#pragma once
// Mosaic images for the demosaic tests: a pixel image whose photosites carry a known
// colour field and whose other channels hold a marker value.
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "raw/Demosaic.h"
#include "raw/LmmseFrontEnd.h"

namespace lmmsetest {

constexpr uint16_t kMarker = 0xBEEF;

// Pattern word of a 2 x 2 Bayer cell, colours given row by row.
inline uint32_t bayer_word(int c00, int c01, int c10, int c11) {
    uint32_t word = 0;
    for (int row = 0; row < 8; ++row) {
        word |= uint32_t(row & 1 ? c10 : c00) << (row * 4);
        word |= uint32_t(row & 1 ? c11 : c01) << (row * 4 + 2);
    }
    return word;
}

// A 6 x 6 cell of 3 x 3 blocks with green corners and centre, red and blue swapping
// places from block to block.
inline void xtrans_cell(int8_t (&cell)[6][6]) {
    const int8_t block[3][3] = {{1, 0, 1}, {2, 1, 2}, {1, 0, 1}};
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c) {
            const int8_t v = block[r % 3][c % 3];
            const bool swap = (r / 3 + c / 3) % 2;
            cell[r][c] = swap && v != 1 ? int8_t(2 - v) : v;
        }
}

using ColourField = std::function<std::array<int, 3>(int row, int col)>;

struct TestImage {
    int height, width;
    raw::demosaic_job job{};
    std::vector<uint16_t> samples;

    TestImage(const TestImage&) = delete;
    TestImage(uint32_t filters, int h, int w, const ColourField& field, bool highlight_flag = false)
        : height(h), width(w), samples(size_t(h) * w * 4, kMarker) {
        job.height = h;
        job.width = w;
        job.filters = filters;
        job.highlight_flag = highlight_flag;
        if (filters == raw::kPatternXTrans) xtrans_cell(job.xtrans);
        job.image = reinterpret_cast<uint16_t(*)[4]>(samples.data());
        const raw::lmmse_detail::ColourLookup colour(job);
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) {
                const int own = colour(r, c);
                at(r, c)[own] = uint16_t(field(r, c)[own == 3 ? 1 : own]);
            }
    }
    uint16_t* at(int r, int c) { return &samples[(size_t(r) * width + c) * 4]; }
    int colour(int r, int c) const { return raw::lmmse_detail::ColourLookup(job)(r, c); }
};

} // namespace lmmsetest
