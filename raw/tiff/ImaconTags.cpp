// Imacon/Ixpress private tags: sensor geometry, white balance and rotation of the back.
#include <cstdio>
#include <cstring>
#include <utility>

#include "raw/core/InputReaders.h"
#include "raw/loaders/Loaders.h"
#include "raw/tiff/TiffDirectory.h"
#include "raw/tiff/TiffReading.h"

namespace raw {
namespace {

uint16_t minus(uint32_t a, uint32_t b, uint32_t c) {
    uint64_t taken = uint64_t(b) + c;
    return a > taken ? uint16_t(a - taken) : 0;
}

void read_imacon_geometry(DecoderState& s, uint32_t image_length) {
    seek_to(s, file_position(s) + 40);
    s.sensor_width = uint16_t(read_u32(s));
    s.sensor_height = uint16_t(read_u32(s));
    s.margin_left = uint16_t(read_u32(s) & 7);
    s.visible_width = minus(s.sensor_width, s.margin_left, read_u32(s) & 7);
    s.margin_top = uint16_t(read_u32(s) & 7);
    s.visible_height = minus(s.sensor_height, s.margin_top, read_u32(s) & 7);
    if (s.sensor_width == 7262) {
        s.visible_height = 5444;
        s.visible_width = 7244;
        s.margin_left = 7;
    }
    seek_to(s, file_position(s) + 52);
    for (int c = 0; c < 3; ++c)
        s.as_shot_multipliers[c] = read_real_by_type(s, 11);
    seek_to(s, file_position(s) + 114);
    int degrees = (read_u16(s) >> 7) * 90;

    bool rgb = uint64_t(s.visible_width) * s.visible_height * 6 == image_length;
    if (rgb) {
        if (degrees % 180 == 90) std::swap(s.visible_width, s.visible_height);
        s.sensor_width = s.visible_width;
        s.sensor_height = s.visible_height;
        s.margin_left = s.margin_top = 0;
        s.cfa_pattern = 0;
        degrees = 0;
    }
    // The back stores a rotation in degrees; the decoder works with flip codes.
    s.orientation_code = rotation_degrees_code(degrees);
    std::snprintf(s.camera_model, sizeof s.camera_model, "Ixpress %d-Mp",
                  int(uint64_t(s.visible_height) * s.visible_width / 1000000));
    s.raw_loader = sinar_pixel_copy;
    if (s.cfa_pattern) {
        if (s.margin_left & 1) s.cfa_pattern = 0x61616161;
        s.raw_loader = plain_words_load_raw;
    }
    s.white_level = 0xffff;
}

} // namespace

bool apply_imacon_tag(DecoderState& s, TiffDirectoryContext& d, const tiff_entry& e) {
    switch (e.tag) {
    case 46275:
        std::strcpy(s.camera_make, "Imacon");
        s.sensor_data_offset = uint64_t(file_position(s));
        d.imacon_length = e.count;
        return true;
    case 46279:
        if (!d.imacon_length) return true;
        seek_to(s, file_position(s) + 38);
        read_imacon_geometry(s, d.imacon_length);
        return true;
    case 46274:
        read_imacon_geometry(s, d.imacon_length);
        return true;
    default:
        return false;
    }
}

} // namespace raw
