// RIFF files (some cameras' movie stills): chunks {tag, little-endian size, data}, of which
// "RIFF" and "LIST" hold further chunks.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "raw/containers/ContainerReading.h"
#include "raw/containers/Containers.h"
#include "raw/core/InputReaders.h"
#include "raw/tiff/TiffParser.h"

namespace raw {
namespace {

using namespace container_io;

// Each level costs a stack frame; real files nest two or three deep.
constexpr int kMaxNesting = 64;

void read_date_text(DecoderState& s, uint32_t size) {
    static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char date[64];
    read_text(s, date, size);
    char month[64];
    int day, hour, minute, second, year;
    if (std::sscanf(date, "%*s %63s %d %d:%d:%d %d", month, &day, &hour, &minute, &second, &year) != 6)
        return;
    for (int m = 0; m < 12; ++m) {
        if (strcasecmp(kMonths[m], month) != 0) continue;
        if (const int64_t when = local_time(year, m + 1, day, hour, minute, second)) s.capture_time = when;
        return;
    }
}

// Records {tag, size}; two of them are small EXIF directories.
void read_nctg_records(DecoderState& s, uint64_t end, uint64_t file_end) {
    while (tell(s) + 7 < end && tell(s) < file_end) {
        s.byte_order = kLittleEndian;
        const uint16_t tag = read_u16(s);
        const uint16_t size = read_u16(s);
        const uint64_t data = tell(s);
        if ((tag == 19 || tag == 20) && size == 20) parse_exif_ifd(s, int64_t(data));
        seek(s, data + size);
    }
}

void read_chunk(DecoderState& s, uint64_t file_end, int depth) {
    s.byte_order = kLittleEndian;
    char tag[4] = {};
    if (std::fread(tag, 1, 4, s.input_file) != 4) return;
    const uint32_t size = read_u32(s);
    const uint64_t end = tell(s) + size;
    if (!std::memcmp(tag, "RIFF", 4) || !std::memcmp(tag, "LIST", 4)) {
        read_u32(s); // form type
        if (depth < kMaxNesting)
            while (tell(s) + 7 < end && tell(s) < file_end)
                read_chunk(s, file_end, depth + 1);
    } else if (!std::memcmp(tag, "nctg", 4)) {
        read_nctg_records(s, end, file_end);
    } else if (!std::memcmp(tag, "IDIT", 4) && size < 64) {
        read_date_text(s, size);
    }
    seek(s, end); // the next chunk starts after this one, whatever was read of it
}

} // namespace

void parse_riff_chunks(DecoderState& s) { read_chunk(s, file_length(s), 0); }

} // namespace raw
