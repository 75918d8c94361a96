// 12-bit data coded as differences from a gradient-chosen neighbour, with per-parity
// carries that adapt the field width to the recent magnitudes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "raw/core/BitReader.h"
#include "raw/core/DecoderError.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"

namespace raw {

using namespace loader;

namespace {

// Symbol = the number of leading zeros of 12 peeked bits; the code is those zeros and the
// one after them (all twelve zeros: symbol 12, length 12).
struct LeadingZeroTable {
    uint16_t entries[4096];
    LeadingZeroTable() {
        for (uint32_t i = 0; i < 4096; ++i) {
            uint32_t zeros = 0;
            while (zeros < 12 && !(i & (0x800u >> zeros)))
                ++zeros;
            const uint32_t length = zeros < 12 ? zeros + 1 : 12;
            entries[i] = uint16_t(length << 8 | zeros);
        }
    }
};

int32_t photosite(const DecoderState& s, uint64_t row, uint64_t col) {
    return s.raw_buffer[row * s.sensor_width + col];
}

int32_t predict(const DecoderState& s, uint64_t row, uint64_t col) {
    if (row < 2 && col < 2) return 0;
    if (row < 2) return photosite(s, row, col - 2);
    if (col < 2) return photosite(s, row - 2, col);
    const int32_t w = photosite(s, row, col - 2), n = photosite(s, row - 2, col),
                  nw = photosite(s, row - 2, col - 2);
    if ((w < nw && nw < n) || (n < nw && nw < w)) {
        if (std::abs(w - nw) > 32 || std::abs(n - nw) > 32) return w + n - nw;
        return (w + n) >> 1;
    }
    return std::abs(w - nw) > std::abs(n - nw) ? w : n;
}

struct Carry {
    int32_t c0 = 0, c1 = 0, c2 = 0;
};

// One coded difference; the carries of its column parity follow it.
int32_t next_difference(DecoderState& s, const uint16_t* table, Carry& k, uint32_t& low) {
    const int i = k.c2 < 3 ? 2 : 0;
    int n = 2 + i;
    while (n + i < 32 && (uint32_t(k.c0) >> (n + i)))
        ++n;
    const uint32_t t = read_bits(s, 3);
    const bool negative = t & 4;
    low = t & 3;
    uint32_t h = read_bits(s, 12, table);
    if (h == 12) h = read_bits(s, n < 16 ? 16 - n : 0) >> 1;
    const int bits = n < 25 ? n : 25;
    k.c0 = int32_t((h << bits) | read_bits(s, bits));
    const int32_t d = (k.c0 ^ (negative ? -1 : 0)) + k.c1;
    k.c1 = (3 * d + k.c1) >> 5;
    k.c2 = k.c0 > 16 ? 0 : k.c2 + 1;
    return d;
}

} // namespace

void adaptive_12bit_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    static const LeadingZeroTable kTable;
    std::fseek(s.input_file, 7, SEEK_CUR);
    read_bits(s, -1);
    const uint64_t rows = s.visible_height < s.sensor_height ? s.visible_height : s.sensor_height;
    for (uint64_t row = 0; row < rows && !bits_exhausted(s); ++row) {
        Carry carry[2];
        for (uint64_t col = 0; col < s.sensor_width; ++col) {
            uint32_t low = 0;
            const int32_t d = next_difference(s, kTable.entries, carry[col & 1], low);
            if (col >= s.visible_width) continue;
            const int32_t value = predict(s, row, col) + int32_t(uint32_t(d) << 2 | low);
            raw_row(s, row)[col] = uint16_t(value);
            if (uint16_t(value) >> 12) count_data_error(s);
        }
    }
}

} // namespace raw
