// Entry headers and the small value readers the TIFF-family parsers share.
#include <cstring>
#include <ctime>

#include "raw/core/InputReaders.h"
#include "raw/core/TextNumbers.h"
#include "raw/tiff/TiffParser.h"
#include "raw/tiff/TiffReading.h"

namespace raw {

uint32_t tiff_type_size(uint32_t type) {
    static const char sizes[] = "11124811248484";
    return type < 14 ? uint32_t(sizes[type] - '0') : 1;
}

tiff_entry read_tag_header(DecoderState& s, int64_t base) {
    tiff_entry e;
    e.tag = read_u16(s);
    e.type = read_u16(s);
    e.count = read_u32(s);
    e.next = file_position(s) + 4;
    uint64_t bytes = uint64_t(e.count) * tiff_type_size(e.type);
    e.value_position = bytes > 4 ? base + int64_t(read_u32(s)) : file_position(s);
    e.in_file = e.value_position >= 0 && e.value_position < file_length(s);
    if (bytes > 4) seek_to(s, e.value_position);
    return e;
}

int tiff_orientation_code(uint32_t value) { return "50132467"[value & 7] - '0'; }

int rotation_degrees_code(int degrees) {
    switch (((degrees % 360) + 360) % 360) {
    case 90:
        return 6;
    case 180:
        return 3;
    case 270:
        return 5;
    default:
        return 0;
    }
}

void build_linear_table(DecoderState& s, uint32_t count) {
    if (count == 0) return; // nothing to repeat: keep the table as it is
    if (count > 0x1000) count = 0x1000;
    read_u16_array(s, s.tone_table, count);
    for (uint32_t i = count; i < 0x1000; ++i)
        s.tone_table[i] = s.tone_table[i - 1];
    s.white_level = s.tone_table[0xfff];
}

void read_timestamp(DecoderState& s, int reversed) {
    char text[20] = {};
    if (reversed) {
        for (int i = 19; i--;)
            text[i] = char(read_byte(s));
    } else {
        for (int i = 0; i < 19; ++i)
            text[i] = char(read_byte(s));
    }
    // Every field but the first follows its separator, as in "%d:%d:%d %d:%d:%d".
    static const char separators[] = ":: ::";
    int fields[6];
    const char* p = text;
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && separators[i - 1] == ':' && *p++ != ':') return;
        TextNumbers numbers(p, std::strlen(p));
        if (!numbers.readInt(fields[i])) return;
        p = numbers.position();
    }
    std::tm t{};
    t.tm_year = fields[0] - 1900;
    t.tm_mon = fields[1] - 1;
    t.tm_mday = fields[2];
    t.tm_hour = fields[3];
    t.tm_min = fields[4];
    t.tm_sec = fields[5];
    t.tm_isdst = -1;
    std::time_t when = std::mktime(&t);
    if (when > 0) s.capture_time = int64_t(when);
}

void romm_to_camera_matrix(DecoderState& s, const float m[3][3]) {
    static const float rgb_from_romm[3][3] = {{2.034193f, -0.727420f, -0.306766f},
                                              {-0.228811f, 1.231729f, -0.002922f},
                                              {-0.008565f, -0.153273f, 1.161839f}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            s.embedded_matrix[i][j] = 0;
            for (int k = 0; k < 3; ++k)
                s.embedded_matrix[i][j] += rgb_from_romm[i][k] * m[k][j];
        }
}

} // namespace raw
