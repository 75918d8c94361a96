// High-speed camera CINE files: a little-endian file header pointing at the image header,
// the camera setup block and the table of image offsets.
#include <cstdio>

#include "raw/containers/ContainerReading.h"
#include "raw/containers/Containers.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/Loaders.h"

namespace raw {
namespace {

using namespace container_io;

struct CineOffsets {
    uint64_t image_header, setup, image_offsets;
};

CineOffsets read_file_header(DecoderState& s) {
    seek(s, 4);
    s.raw_count = read_u16(s) == 2;
    skip(s, 14);
    s.raw_count *= read_u32(s);
    CineOffsets at;
    at.image_header = read_u32(s);
    at.setup = read_u32(s);
    at.image_offsets = read_u32(s);
    s.capture_time = read_u32(s);
    if (const uint32_t later = read_u32(s)) s.capture_time = later;
    return at;
}

void read_image_header(DecoderState& s, uint64_t at) {
    seek(s, at + 4);
    s.sensor_width = fit16(read_u32(s));
    s.sensor_height = fit16(read_u32(s));
    skip(s, 2);
    switch (read_u16(s)) {
    case 8:
        s.raw_loader = eight_bit_load_raw;
        break;
    case 16:
        s.raw_loader = plain_words_load_raw;
        break;
    default:
        break;
    }
}

// The camera's rotation to the orientation bits.
void set_orientation(DecoderState& s, uint32_t rotation) {
    const int64_t value = int32_t(rotation);
    switch ((value % 360 + 360) % 360) {
    case 270:
        s.orientation_code = 4;
        break;
    case 180:
        s.orientation_code = 1;
        break;
    case 90:
        s.orientation_code = 7;
        break;
    case 0:
        s.orientation_code = 2;
        break;
    default:
        break;
    }
}

void read_setup(DecoderState& s, uint64_t at) {
    seek(s, at + 792);
    set_text(s.camera_make, "CINE");
    std::snprintf(s.camera_model, sizeof s.camera_model, "%d", int32_t(read_u32(s)));
    skip(s, 12);
    switch (read_u32(s) & 0xFFFFFF) {
    case 3:
        s.cfa_pattern = 0x94949494;
        break;
    case 4:
        s.cfa_pattern = 0x49494949;
        break;
    default:
        s.raw_count = 0;
        break;
    }
    skip(s, 72);
    set_orientation(s, read_u32(s));
    s.as_shot_multipliers[0] = read_float(s);
    s.as_shot_multipliers[2] = read_float(s);
    const uint32_t bits = read_u32(s);
    s.white_level = bits >= 32 ? 0xFFFFFFFF : (1u << bits) - 1;
    skip(s, 668);
    s.exposure_time = float(read_u32(s) / 1e9);
}

} // namespace

void parse_cine_header(DecoderState& s) {
    s.byte_order = kLittleEndian;
    const CineOffsets at = read_file_header(s);
    read_image_header(s, at.image_header);
    read_setup(s, at.setup);
    seek(s, at.image_offsets);
    if (s.shot_index < s.raw_count) skip(s, 8 * int64_t(s.shot_index));
    const uint64_t low = read_u32(s);
    const uint64_t high = read_u32(s);
    s.sensor_data_offset = low + 8 + (high << 32);
}

} // namespace raw
