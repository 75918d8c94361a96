#include <cstdio>
#include <cstring>
#include <utility>

#include "raw/core/InputReaders.h"
#include "raw/identify/AdjustRules.h"

namespace raw::adjust {

// The QuickTake header is big-endian, whatever its first word claims.
void adjust_quicktake(adjust_context& a) {
    DecoderState& s = a.s;
    if (seek_input(s, 5) && std::fgetc(s.input_file) > 0 && std::strlen(s.camera_model) >= 10)
        set_text(s.camera_model + 10, sizeof s.camera_model - 10, "200");
    const uint16_t order = s.byte_order;
    s.byte_order = kBigEndian;
    seek_input(s, 544);
    uint16_t height = read_u16(s), width = read_u16(s);
    read_u32(s);
    s.sensor_data_offset = read_u16(s) == 30 ? 738 : 736;
    if (height > width) {
        std::swap(height, width);
        seek_input(s, s.sensor_data_offset - 6);
        s.orientation_code = (read_u16(s) & 3) == 3 ? 6 : 5;
    }
    s.visible_height = height;
    s.visible_width = width;
    s.byte_order = order;
    s.cfa_pattern = 0x61616161;
}

} // namespace raw::adjust
