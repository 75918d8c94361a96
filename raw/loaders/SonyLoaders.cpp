// Sony compressed data: 16-byte blocks of 16 samples over a range, and the older
// Huffman-coded column stream.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "raw/core/BitReader.h"
#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"

namespace raw {
namespace {

using namespace loader;

constexpr int kBlockBytes = 16;
constexpr int kBlockSpan = 32; // a block covers every other column of 32

// One block: an 11-bit maximum and minimum, the positions that hold them, and 7-bit
// steps above the minimum, scaled by the range.
void decode_block(const DecoderState& s, const uint8_t* block, uint16_t (&values)[16]) {
    const uint32_t w = bytes_u32(s, block);
    const int32_t max = w & 0x7FF, min = w >> 11 & 0x7FF;
    const uint32_t imax = w >> 22 & 15, imin = w >> 26 & 15;
    int sh = 0;
    while (sh < 4 && (0x80 << sh) <= max - min)
        ++sh;
    uint32_t bit = 30;
    for (uint32_t i = 0; i < 16; ++i) {
        if (i == imax) {
            values[i] = uint16_t(max);
        } else if (i == imin) {
            values[i] = uint16_t(min);
        } else {
            const uint32_t field = bytes_u16(s, block + bit / 8) >> (bit % 8) & 0x7F;
            values[i] = uint16_t(std::min<int32_t>(int32_t(field << sh) + min, 0x7FF));
            bit += 7;
        }
    }
}

} // namespace

void sony_arw2_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    const int64_t width = s.sensor_width;
    // Slack after the row: a block without a separate maximum position reads two bytes
    // past its own sixteen.
    LoaderBuffer line(s, uint64_t(width) + kBlockBytes, 1, "sony_arw2_load_raw()", LoaderBuffer::Kind::heap);
    uint8_t* bytes = line.as<uint8_t>();
    const uint32_t rows = std::min(s.visible_height, s.sensor_height);
    for (uint32_t row = 0; row < rows; ++row) {
        const bool whole = read_bytes(s, bytes, size_t(width));
        uint16_t* out = raw_row(s, row);
        const uint8_t* block = bytes;
        for (int64_t c = 0; c < width - (kBlockSpan - 2); c += (c & 1) ? kBlockSpan - 1 : 1) {
            uint16_t values[16];
            decode_block(s, block, values);
            for (int i = 0; i < 16; ++i)
                out[c + 2 * i] = uint16_t(s.tone_table[values[i] << 1] >> 2);
            block += kBlockBytes;
        }
        if (!whole) break;
    }
    s.white_level = 4095;
}

void sony_huffman_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    // Codes by length, each filling 32768 >> length entries of a 15-bit look-up.
    static constexpr uint16_t kCodes[18] = {0xF11, 0xF10, 0xE0F, 0xD0E, 0xC0D, 0xB0C, 0xA0B, 0x90A, 0x809,
                                            0x708, 0x607, 0x506, 0x405, 0x304, 0x303, 0x300, 0x202, 0x201};
    LoaderBuffer table(s, 1 + 32768, sizeof(uint16_t), "sony_huffman_load_raw()");
    uint16_t* huff = table.as<uint16_t>();
    huff[0] = 15;
    uint32_t n = 1;
    for (uint16_t code : kCodes)
        for (uint32_t k = 0; k < (32768u >> (code >> 8)); ++k)
            huff[n++] = code;
    s.ff_stuffing = 0;
    read_bits(s, -1);
    const uint32_t height = s.sensor_height, rows = std::min(s.visible_height, s.sensor_height);
    int64_t sum = 0;
    for (int32_t col = int32_t(s.sensor_width) - 1; col >= 0 && !bits_exhausted(s); --col) {
        for (uint32_t i = 0; i < height; ++i) {
            // Even rows first, then odd rows.
            const uint32_t row = i < (height + 1) / 2 ? i * 2 : (i - (height + 1) / 2) * 2 + 1;
            sum += ljpeg_read_difference(s, huff);
            if (sum >> 12) count_data_error(s);
            if (row < rows) s.raw_buffer[uint64_t(row) * s.sensor_width + uint32_t(col)] = uint16_t(sum);
        }
    }
}

} // namespace raw
