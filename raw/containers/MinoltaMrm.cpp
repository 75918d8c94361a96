// The Minolta MRM block: raw size, white balance and an embedded TIFF file.
#include <cstring>

#include "raw/core/InputReaders.h"
#include "raw/tiff/TiffParser.h"
#include "raw/tiff/TiffReading.h"

namespace raw {

void parse_minolta_mrm(DecoderState& s, int64_t offset) {
    NestingGuard depth(s);
    if (!depth.ok || !seek_inside(s, offset)) return;
    if (read_byte(s) != 0 || read_byte(s) != 'M' || read_byte(s) != 'R') return;
    uint16_t previous_order = s.byte_order;
    s.byte_order = uint16_t(read_byte(s) * 0x101);
    int64_t end = offset + 8 + int64_t(read_u32(s));
    uint16_t high = 0, wide = 0;
    for (int64_t item = file_position(s); item < end; item = file_position(s)) {
        uint32_t tag = 0;
        for (int i = 0; i < 4; ++i)
            tag = tag << 8 | uint32_t(read_byte(s));
        int32_t length = int32_t(read_u32(s));
        if (length < 0) return; // sizes and byte order stay as they are
        switch (tag) {
        case 0x505244: // "PRD"
            seek_to(s, file_position(s) + 8);
            high = read_u16(s);
            wide = read_u16(s);
            break;
        case 0x574247: { // "WBG"
            read_u32(s);
            int flip = std::strcmp(s.camera_model, "DiMAGE A200") ? 0 : 3;
            for (int c = 0; c < 4; ++c)
                s.as_shot_multipliers[c ^ (c >> 1) ^ flip] = read_u16(s);
            break;
        }
        case 0x545457: // "TTW"
            parse_tiff_file(s, file_position(s));
            s.sensor_data_offset = uint64_t(end);
            break;
        default:
            break;
        }
        if (!seek_inside(s, item + 8 + length)) break;
    }
    s.sensor_height = high;
    s.sensor_width = wide;
    s.byte_order = previous_order;
}

} // namespace raw
