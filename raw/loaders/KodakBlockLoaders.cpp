// Kodak's block-coded data: raw photosites, YCbCr cells and RGB pixels.
#include <algorithm>
#include <cstdint>

#include "raw/core/DecoderError.h"
#include "raw/loaders/KodakBlockDecode.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"

namespace raw {

using namespace loader;

namespace {

uint16_t* pixel_at(DecoderState& s, int row, int col) {
    if (row >= s.image_height || col >= s.image_width) return nullptr;
    return s.pixel_image[size_t(row) * s.image_width + size_t(col)];
}

// One 2 x 2 cell of YCbCr data: four luma differences running along the two rows of
// the cell, then chroma differences summed over the block.
struct YccBlock {
    int32_t luma[2][2] = {};
    int32_t cb = 0, cr = 0;

    void cell(DecoderState& s, const int16_t* values, int row, int col) {
        cb += values[4];
        cr += values[5];
        int32_t offset[3];
        offset[1] = -((cb + cr + 2) >> 2);
        offset[2] = offset[1] + cb;
        offset[0] = offset[1] + cr;
        for (int j = 0; j < 2; ++j)
            for (int k = 0; k < 2; ++k) {
                int32_t& y = luma[j][k];
                y = luma[j][k ^ 1] + values[2 * j + k];
                if (y > 1023) count_data_error(s);
                uint16_t* px = pixel_at(s, row + j, col + k);
                if (!px) continue;
                for (int c = 0; c < 3; ++c)
                    px[c] = s.tone_table[std::clamp(y + offset[c], 0, 4095)];
            }
    }
};

} // namespace

void kodak_block_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    int16_t values[kKodakBlockRoom] = {};
    for (int row = 0; row < s.visible_height; ++row)
        for (int col = 0; col < s.visible_width; col += 256) {
            const int n = std::min(256, s.visible_width - col);
            const bool absolute = kodak_block_decode(s, values, n);
            int32_t predictor[2] = {0, 0};
            for (int i = 0; i < n; ++i) {
                const int32_t index = absolute ? values[i] : (predictor[i & 1] += values[i]);
                if (index < 0 || index > 0xFFFF) continue;
                const uint16_t v = s.tone_table[index];
                put_raw(s, uint64_t(row), uint64_t(col + i), v);
                if (v > 4095) count_data_error(s);
            }
        }
}

void kodak_ycc_load_raw(DecoderState& s) {
    if (!require_pixel_image(s)) return;
    int16_t values[kKodakBlockRoom] = {};
    for (int row = 0; row < s.visible_height; row += 2)
        for (int col = 0; col < s.visible_width; col += 128) {
            const int n = std::min(128, s.visible_width - col);
            kodak_block_decode(s, values, n * 3);
            YccBlock block;
            for (int i = 0; i < n; i += 2)
                block.cell(s, values + 3 * i, row, col + i);
        }
}

void kodak_rgb_blocks_load_raw(DecoderState& s) {
    if (!require_pixel_image(s)) return;
    int16_t values[kKodakBlockRoom] = {};
    for (int row = 0; row < s.visible_height; ++row)
        for (int col = 0; col < s.visible_width; col += 256) {
            const int n = std::min(256, s.visible_width - col);
            kodak_block_decode(s, values, n * 3);
            int32_t rgb[3] = {0, 0, 0};
            for (int i = 0; i < n; ++i) {
                uint16_t* px = pixel_at(s, row, col + i);
                for (int c = 0; c < 3; ++c) {
                    rgb[c] += values[3 * i + c];
                    if (rgb[c] < 0 || rgb[c] > 4095) count_data_error(s);
                    if (px) px[c] = uint16_t(std::max(rgb[c], 0));
                }
            }
        }
}

} // namespace raw
