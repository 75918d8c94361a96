// JPEG files whose segments carry the raw metadata: frame sizes, a CIFF heap or a TIFF
// structure inside an application segment.
#include <cstdio>
#include <cstring>

#include "raw/containers/ContainerReading.h"
#include "raw/containers/Containers.h"
#include "raw/core/InputReaders.h"
#include "raw/tiff/TiffParser.h"

namespace raw {
namespace {

using namespace container_io;

bool is_frame_marker(int mark) { return mark == 0xC0 || mark == 0xC3 || mark == 0xC9; }

// A segment may hold a CIFF heap after a byte-order word, its offset and "HEAP".
void parse_embedded_heap(DecoderState& s, uint64_t start, uint64_t size, uint64_t file_end) {
    s.byte_order = read_u16(s);
    const uint32_t heap_at = read_u32(s);
    char mark[4] = {};
    if (std::fread(mark, 1, 4, s.input_file) != 4 || std::memcmp(mark, "HEAP", 4) != 0) return;
    if (heap_at > size || start + size > file_end) return;
    parse_ciff_heap(s, start + heap_at, size - heap_at, 0);
}

} // namespace

int parse_jpeg_segments(DecoderState& s, uint64_t offset) {
    if (!seek(s, offset)) return 0;
    if (std::fgetc(s.input_file) != 0xFF || std::fgetc(s.input_file) != 0xD8) return 0;
    const uint64_t file_end = file_length(s);
    int mark = 0;
    while (std::fgetc(s.input_file) == 0xFF && (mark = std::fgetc(s.input_file)) != 0xDA && mark != EOF) {
        s.byte_order = kBigEndian;
        const uint16_t stored = read_u16(s);
        if (stored < 2) break; // the length counts itself; less would walk back
        const uint64_t start = tell(s), size = stored - 2u;
        if (is_frame_marker(mark)) {
            std::fgetc(s.input_file); // sample precision
            s.sensor_height = read_u16(s);
            s.sensor_width = read_u16(s);
        }
        parse_embedded_heap(s, start, size, file_end);
        if (parse_tiff_file(s, int64_t(start + 6))) choose_raw_ifd(s);
        seek(s, start + size);
    }
    return 1;
}

} // namespace raw
