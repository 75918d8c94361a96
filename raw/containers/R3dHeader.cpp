// R3D movie files: an index found through a tail block, or else the frame chunks counted
// from the head.
#include <cstdio>

#include "raw/containers/ContainerReading.h"
#include "raw/containers/Containers.h"
#include "raw/core/InputReaders.h"

namespace raw {
namespace {

using namespace container_io;

constexpr uint32_t kTailMark = 0x52454F42;   // "REOB"
constexpr uint32_t kFrameChunk = 0x52454456; // "REDV"

bool read_tail(DecoderState& s, uint64_t length) {
    const uint32_t tail = uint32_t(length & 511);
    if (!seek(s, length - tail) || read_u32(s) != tail || read_u32(s) != kTailMark) return false;
    const uint64_t index = read_u32(s);
    skip(s, 12);
    s.raw_count = read_u32(s);
    seek(s, index + 8 + 4 * uint64_t(s.shot_index));
    s.sensor_data_offset = read_u32(s);
    return true;
}

void scan_from_head(DecoderState& s, uint64_t length) {
    uint64_t at = 0;
    while (at + 8 <= length && seek(s, at)) {
        const uint32_t size = read_u32(s);
        if (size < 8) break; // a chunk shorter than its own header would never move on
        if (read_u32(s) == kFrameChunk && s.raw_count++ == s.shot_index) s.sensor_data_offset = at;
        at += size;
    }
}

} // namespace

void parse_r3d_header(DecoderState& s) {
    s.byte_order = kBigEndian;
    s.raw_count = 0;
    seek(s, 52);
    s.visible_width = fit16(read_u32(s));
    s.visible_height = fit16(read_u32(s));
    const uint64_t length = file_length(s);
    if (read_tail(s, length)) return;
    std::fprintf(stderr, "%s: Tail is missing, parsing from head...\n", s.input_path ? s.input_path : "");
    scan_from_head(s, length);
}

} // namespace raw
