// Backs that store several planes or shots of 16-bit words: one colour plane per strip
// set, four shifted shots of a mosaic, or whole RGB pixels.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"

namespace raw {

using namespace loader;

namespace {

// Follows entry `index` of the 32-bit offset table at sensor_data_offset.
void seek_table_entry(DecoderState& s, uint64_t index) {
    seek_to(s, s.sensor_data_offset + 4 * index);
    seek_to(s, read_u32(s));
}

// Pixel (row, col) of the visible area, or null outside it.
uint16_t* visible_pixel(DecoderState& s, int64_t row, int64_t col) {
    if (row < 0 || col < 0 || row >= s.image_height || col >= s.image_width) return nullptr;
    if (row >= s.visible_height || col >= s.visible_width) return nullptr;
    return s.pixel_image[uint64_t(row) * s.image_width + uint64_t(col)];
}

constexpr uint32_t kPixelChannels = 4;

} // namespace

void leaf_hdr_load_raw(DecoderState& s) {
    if (!s.cfa_pattern && !s.pixel_image) throw DecoderText{"Raw image corrupt in leaf_hdr_load_raw"};
    if (s.cfa_pattern ? !require_raw_buffer(s) : !require_pixel_image(s)) return;
    const uint64_t width = s.sensor_width;
    LoaderBuffer buffer(s, width, sizeof(uint16_t), "leaf_hdr_load_raw()");
    uint16_t* line = buffer.as<uint16_t>();
    const uint64_t strip_rows = s.tiff_tile_length ? s.tiff_tile_length : s.sensor_height;
    uint64_t strip = 0;
    // Planes after the one a mosaic keeps are not read; a pixel has four channels, and
    // planes beyond them have nowhere to go.
    const uint32_t planes = s.cfa_pattern ? std::min(s.samples_per_pixel, s.shot_index + 1)
                                          : std::min(s.samples_per_pixel, kPixelChannels);
    for (uint32_t plane = 0; plane < planes; ++plane) {
        for (uint64_t row = 0; row < s.sensor_height; ++row) {
            if (row % strip_rows == 0) seek_table_entry(s, strip++);
            if (s.cfa_pattern && plane != s.shot_index) continue;
            read_u16_array(s, line, width);
            if (s.cfa_pattern) {
                std::memcpy(raw_row(s, row), line, width * sizeof(uint16_t));
                continue;
            }
            for (uint64_t col = 0; col + s.margin_left < width; ++col)
                if (uint16_t* px = visible_pixel(s, int64_t(row) - s.margin_top, int64_t(col)))
                    px[plane] = line[col + s.margin_left];
        }
    }
    if (!s.cfa_pattern) {
        s.white_level = 0xFFFF;
        s.camera_colour_output = 1;
    }
}

void sinar_4shot_load_raw(DecoderState& s) {
    if (s.raw_buffer) {
        const uint32_t shot = std::clamp<uint32_t>(s.shot_index, 1, 4) - 1;
        seek_table_entry(s, shot);
        plain_words_load_raw(s);
        return;
    }
    if (!require_pixel_image(s)) return;
    const uint64_t width = s.sensor_width;
    LoaderBuffer buffer(s, width, sizeof(uint16_t), "sinar_4shot_load_raw()");
    uint16_t* line = buffer.as<uint16_t>();
    for (uint32_t shot = 0; shot < 4; ++shot) {
        seek_table_entry(s, shot);
        for (uint64_t row = 0; row < s.sensor_height; ++row) {
            read_u16_array(s, line, width);
            const int64_t r = int64_t(row) - ((shot >> 1) & 1) - s.margin_top;
            for (uint64_t col = 0; col < width; ++col) {
                uint16_t* px = visible_pixel(s, r, int64_t(col) - (shot & 1) - s.margin_left);
                if (px) px[((row & 1) * 3) ^ (~col & 1)] = line[col];
            }
        }
    }
    s.merge_greens = 1;
}

void sinar_pixel_copy(DecoderState& s) {
    if (!require_pixel_image(s)) return;
    const uint64_t width = s.image_width;
    LoaderBuffer buffer(s, width * 3, sizeof(uint16_t), "sinar_pixel_copy()");
    uint16_t* line = buffer.as<uint16_t>();
    for (uint64_t row = 0; row < s.image_height; ++row) {
        const int errors = s.data_error_count;
        read_u16_array(s, line, width * 3);
        for (uint64_t col = 0; col < width; ++col)
            std::copy(line + 3 * col, line + 3 * col + 3, s.pixel_image[row * width + col]);
        if (s.data_error_count != errors) break;
    }
}

} // namespace raw
