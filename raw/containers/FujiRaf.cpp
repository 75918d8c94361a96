// Fujifilm RAF: a big-endian list of records {tag, length, data} describing the sensor.
#include <algorithm>

#include "raw/containers/ContainerReading.h"
#include "raw/containers/Containers.h"
#include "raw/core/InputReaders.h"

namespace raw {
namespace {

using namespace container_io;

constexpr uint32_t kMaxRecords = 256;

void read_layout(DecoderState& s) {
    s.fuji_sensor_layout = read_byte(s) >> 7;
    s.rotated_width = !(read_byte(s) & 8);
}

void read_xtrans(DecoderState& s) {
    s.cfa_pattern = kPatternXTrans;
    int8_t* cell = &s.xtrans_sensor_layout[0][0];
    for (int c = 0; c < 36; ++c)
        cell[35 - c] = int8_t(read_byte(s) & 3);
}

// A table of little-endian words in which the first one no wider than the sensor is the
// visible width and the next the visible height; `end` is where the record stops.
void read_visible_size(DecoderState& s, uint64_t end) {
    const uint16_t order = s.byte_order;
    s.byte_order = kLittleEndian;
    while (tell(s) + 4 <= end) {
        const uint32_t v = read_u32(s);
        if (v > s.sensor_width) continue;
        s.visible_width = uint16_t(v);
        if (tell(s) + 4 <= end) s.visible_height = fit16(read_u32(s));
        break;
    }
    s.byte_order = order;
}

void apply_record(DecoderState& s, uint16_t tag, uint16_t length, uint64_t end) {
    switch (tag) {
    case 0x100:
        s.sensor_height = read_u16(s);
        s.sensor_width = read_u16(s);
        break;
    case 0x121:
        s.visible_height = read_u16(s);
        s.visible_width = read_u16(s);
        if (s.visible_width == 4284) s.visible_width = 4287;
        break;
    case 0x130:
        read_layout(s);
        break;
    case 0x131:
        read_xtrans(s);
        break;
    case 0x2FF0:
        for (int c = 0; c < 4; ++c)
            s.as_shot_multipliers[c ^ 1] = read_u16(s);
        break;
    case 0xC000:
        if (length > 20000) read_visible_size(s, end);
        break;
    default:
        break;
    }
}

} // namespace

void parse_fuji_raf(DecoderState& s, uint64_t offset) {
    s.byte_order = kBigEndian;
    if (!seek(s, offset)) return;
    const uint32_t records = read_u32(s);
    if (records >= kMaxRecords) return;
    const uint64_t file_end = file_length(s);
    for (uint32_t i = 0; i < records; ++i) {
        const uint16_t tag = read_u16(s);
        const uint16_t length = read_u16(s);
        const uint64_t start = tell(s);
        if (start > file_end) break; // the file ends inside the record list
        apply_record(s, tag, length, std::min(start + length, file_end));
        seek(s, start + length);
    }
    s.visible_height = uint16_t(s.visible_height << s.fuji_sensor_layout);
    s.visible_width = uint16_t(s.visible_width >> s.fuji_sensor_layout);
}

} // namespace raw
