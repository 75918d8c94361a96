// 8-bit YCbCr data of Kodak's compact cameras, converted to RGB through the curve.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"

namespace raw {

using namespace loader;

namespace {

void store_ycc(DecoderState& s, int row, int col, int y, int cb, int cr) {
    if (row >= s.image_height || col >= s.image_width) return;
    const int g = y - ((cb + cr + 2) >> 2);
    const int rgb[3] = {g + cr, g, g + cb};
    uint16_t* px = s.pixel_image[size_t(row) * s.image_width + size_t(col)];
    for (int c = 0; c < 3; ++c)
        px[c] = s.tone_table[std::clamp(rgb[c], 0, 255)];
}

// Room for a row as the format lays it out over the visible width, whatever the sensor
// width the file claims.
uint64_t row_room(const DecoderState& s, uint64_t per_column) {
    return per_column * std::max<uint64_t>(s.sensor_width, s.visible_width) + 4;
}

} // namespace

void kodak_c330_load_raw(DecoderState& s) {
    if (!require_pixel_image(s)) return;
    LoaderBuffer line(s, row_room(s, 2), 1, "kodak_c330_load_raw()");
    const uint8_t* bytes = line.as<uint8_t>();
    for (int row = 0; row < s.visible_height; ++row) {
        read_bytes(s, line.as<uint8_t>(), size_t(s.sensor_width) * 2);
        // Some models interleave a 32-row block of other data after every 32 rows.
        if (s.loader_flags && (row & 31) == 31) fseeko(s.input_file, off_t(s.sensor_width) * 32, SEEK_CUR);
        for (int col = 0; col < s.visible_width; ++col) {
            const size_t chroma = size_t(2 * col) & ~size_t(3);
            store_ycc(s, row, col, bytes[2 * col], bytes[chroma + 1] - 128, bytes[chroma + 3] - 128);
        }
    }
    s.white_level = s.tone_table[255];
}

void kodak_c603_load_raw(DecoderState& s) {
    if (!require_pixel_image(s)) return;
    LoaderBuffer lines(s, row_room(s, 3), 1, "kodak_c603_load_raw()");
    const uint8_t* bytes = lines.as<uint8_t>();
    const size_t width = s.visible_width;
    for (int row = 0; row < s.visible_height; ++row) {
        if (!(row & 1)) read_bytes(s, lines.as<uint8_t>(), size_t(s.sensor_width) * 3);
        for (size_t col = 0; col < width; ++col) {
            const size_t chroma = width + (col & ~size_t(1));
            store_ycc(s, row, int(col), bytes[width * 2 * (row & 1) + col], bytes[chroma] - 128,
                      bytes[chroma + 1] - 128);
        }
    }
    s.white_level = s.tone_table[255];
}

} // namespace raw
