// Unpacked data: 16-bit words, single bytes through the curve, whole 16-bit pixels, and
// the entries of formats whose data the decoder does not read.
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

void plain_words_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    int range_bits = 1;
    while (range_bits < 32 && (uint64_t(1) << range_bits) < s.white_level)
        ++range_bits;
    const uint64_t width = s.sensor_width, height = s.sensor_height;
    // What the file lacks reads as all ones.
    std::memset(s.raw_buffer, 0xFF, width * height * sizeof(uint16_t));
    read_u16_array(s, s.raw_buffer, width * height);
    const uint32_t shift = s.loader_flags;
    for (uint64_t row = 0; row < height; ++row) {
        uint16_t* out = s.raw_buffer + row * width;
        for (uint64_t col = 0; col < width; ++col) {
            out[col] = shift >= 16 ? 0 : uint16_t(out[col] >> shift);
            if (uint64_t(out[col]) >> range_bits && in_visible_area(s, row, col)) count_data_error(s);
        }
    }
}

void eight_bit_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    const uint64_t width = s.sensor_width;
    LoaderBuffer line(s, width, 1, "eight_bit_load_raw()");
    uint8_t* bytes = line.as<uint8_t>();
    for (uint64_t row = 0; row < s.sensor_height; ++row) {
        const bool whole = read_bytes(s, bytes, width);
        uint16_t* out = raw_row(s, row);
        for (uint64_t col = 0; col < width; ++col)
            out[col] = s.tone_table[bytes[col]];
        if (!whole) break;
    }
    s.white_level = s.tone_table[0xFF];
}

void rgb_shorts_load_raw(DecoderState& s) {
    if (!require_pixel_image(s)) return;
    const uint32_t per_pixel = s.thumbnail_misc >> 5;
    s.white_level = uint32_t((uint64_t(1) << (s.thumbnail_misc & 31)) - 1);
    if (per_pixel == 0) return;
    const uint64_t kept = std::min<uint32_t>(per_pixel, 4);
    const uint64_t pixels = uint64_t(s.image_width) * s.image_height;
    for (uint64_t i = 0; i < pixels; ++i) {
        uint16_t* px = s.pixel_image[i];
        std::fill(px, px + kept, uint16_t(0xFFFF)); // what the file lacks reads as all ones
        read_u16_array(s, px, kept);
        // A pixel can carry more samples than the image has slots for.
        if (per_pixel > kept) fseeko(s.input_file, off_t(per_pixel - kept) * 2, SEEK_CUR);
        if (s.data_error_count && std::feof(s.input_file)) break;
    }
}

// Formats recognised but not read (the decode is refused by identification); each entry
// is a routine of its own so identification can tell them apart.
void empty_loader(DecoderState&) {}
void red_jpeg2000_entry(DecoderState&) {}
void kodak_jpeg_entry(DecoderState&) {}
void lossy_dng_entry(DecoderState&) {}

} // namespace raw
