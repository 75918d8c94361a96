// Kodak's Huffman-coded strips of 32 rows: 8-bit values predicted from two neighbours,
// one table for each checkerboard half, through the curve.
#include <cstdint>

#include "raw/core/BitReader.h"
#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"

namespace raw {

using namespace loader;

namespace {

// Code counts by length, then the symbols, as a JPEG table body.
constexpr uint8_t kTrees[2][26] = {
    {0, 1, 5, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
    {0, 3, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
};

constexpr int kStripRows = 32;

// p counts photosites from the strip's start; neighbours before it are missing.
int32_t predict(const uint8_t* v, int64_t p, int64_t col, int64_t width, int chess) {
    int64_t p1 = chess ? p - 2 : p - width - 1;
    int64_t p2 = chess ? p - 2 * width : p - width + 1;
    if (col <= chess) p1 = -1;
    if (p1 < 0) p1 = p2;
    if (p2 < 0) p2 = p1;
    if (p1 < 0 && p2 < 0 && col > 1) p1 = p2 = p - 2;
    if (p1 < 0) return 0;
    return (v[p1] + v[p2]) >> 1;
}

} // namespace

void kodak_262_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    DecoderTable trees[2] = {{s, kTrees[0], sizeof kTrees[0]}, {s, kTrees[1], sizeof kTrees[1]}};
    s.byte_order = kBigEndian;
    const int64_t width = s.sensor_width, height = s.sensor_height;
    const int64_t strips = (height + 63) / kStripRows;
    LoaderBuffer strip_table(s, uint64_t(strips), sizeof(uint32_t), "kodak_262_load_raw()",
                             LoaderBuffer::Kind::heap);
    uint32_t* strip = strip_table.as<uint32_t>();
    for (int64_t i = 0; i < strips; ++i)
        strip[i] = read_u32(s);
    LoaderBuffer values(s, uint64_t(width) * kStripRows, 1, "kodak_262_load_raw()", LoaderBuffer::Kind::heap);
    uint8_t* v = values.as<uint8_t>();
    int64_t p = 0;
    for (int64_t row = 0; row < height; ++row) {
        if ((row & (kStripRows - 1)) == 0) {
            seek_to(s, strip[row / kStripRows]);
            read_bits(s, -1);
            p = 0;
        }
        uint16_t* out = raw_row(s, uint64_t(row));
        for (int64_t col = 0; col < width; ++col, ++p) {
            const int chess = int((row + col) & 1);
            const int32_t value =
                predict(v, p, col, width, chess) + ljpeg_read_difference(s, trees[chess].table());
            if (value >> 8) count_data_error(s);
            v[p] = uint8_t(value);
            out[col] = s.tone_table[v[p]];
        }
    }
}

} // namespace raw
