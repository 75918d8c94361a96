// Layouts that place stored lines or samples somewhere else than where they are read:
// 10-bit samples three to a word with rows offset by four samples, and the 8-bit lines of
// an interlaced sensor read in twelve-row groups.
#include <cstdint>
#include <cstdio>

#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"

namespace raw {

using namespace loader;

void three_per_word_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    const uint64_t width = s.sensor_width, height = s.sensor_height;
    for (uint64_t row = 0; row < height; ++row) {
        // The first four samples of a row belong at the end of the row two above.
        const uint64_t wrapped = (row + height - (2 % height)) % height;
        uint32_t word = 0;
        for (uint64_t j = 0; j < width; ++j) {
            if (j % 3 == 0) word = read_u32(s);
            const uint16_t v = s.tone_table[(word >> (2 + 10 * (j % 3))) & 0x3FF];
            if (j < 4)
                put_raw(s, wrapped, width - 4 + j, v);
            else
                put_raw(s, row, j - 4, v);
        }
        if (std::feof(s.input_file)) {
            count_data_error(s);
            break;
        }
    }
    s.white_level = s.tone_table[1023];
}

namespace {

constexpr int kLines = 1481, kLineBytes = 768, kColumns = 1534;

// Where stored line i goes; -1 for the two lines that are dropped.
int64_t remapped_row(int i) {
    if (i > 1475) return i == 1477 || i == 1479 ? -1 : (i == 1476 ? 984 : 985);
    const int group = i / 82;
    return (i < 984 ? group | 1 : 2 * group - 24) + int64_t(i % 82) * 12;
}

bool fills_alternate_columns(int i) {
    if (i > 1475) return i == 1476 || i == 1480;
    const int group = i / 82;
    return group % 2 == 0 || group > 11;
}

// Photosites of both rows of a pair from one line: direct values and sums of the two
// neighbours, alternating between the rows.
void fill_row_pair(DecoderState& s, uint64_t row, const uint8_t* b) {
    for (int j = 0; j < kColumns - 1; ++j) {
        if (j == 1) continue;
        const uint64_t target = j & 1 ? row ^ 1 : row;
        const int h = j / 2;
        const int v = ((j + 1) & 2) == 0 ? b[h] * 2 : b[h - 1] + b[h + 1];
        put_raw(s, target, uint64_t(j), uint16_t(v));
    }
    put_raw(s, row ^ 1, 1, uint16_t(b[1] * 2));
    put_raw(s, row ^ 1, kColumns - 1, uint16_t(b[765] * 2));
}

} // namespace

void line_remap_8bit_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    uint8_t line[kLineBytes];
    for (int i = 0; i < kLines; ++i) {
        const bool whole = read_bytes(s, line, kLineBytes);
        const int64_t row = remapped_row(i);
        if (row >= 0) {
            if (fills_alternate_columns(i)) {
                for (int col = int(row & 1); col < kColumns; col += 2)
                    put_raw(s, uint64_t(row), uint64_t(col), uint16_t(line[col / 2] * 2));
            } else {
                fill_row_pair(s, uint64_t(row), line);
            }
        }
        if (!whole) break;
    }
    s.white_level = 510;
}

} // namespace raw
