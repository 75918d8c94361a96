// Differences coded with a Huffman table stored in the file, predicted from the two
// previous samples of the same colour.
#include <cstdint>
#include <cstdio>

#include "raw/core/BitReader.h"
#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/HuffmanDelta.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"

namespace raw {

using namespace loader;

void huffman_delta_decode(DecoderState& s, const uint16_t* table) {
    if (!require_raw_buffer(s)) return;
    s.ff_stuffing = 0;
    read_bits(s, -1);
    // Only the low 16 bits of a prediction are ever stored.
    uint16_t vertical[2][2] = {}, horizontal[2] = {};
    const uint32_t bits = s.bits_per_sample;
    for (uint32_t row = 0; row < s.sensor_height && !bits_exhausted(s); ++row) {
        uint16_t* out = raw_row(s, row);
        for (uint32_t col = 0; col < s.sensor_width; ++col) {
            const int32_t diff = ljpeg_read_difference(s, table);
            uint16_t& pred = horizontal[col & 1];
            if (col < 2)
                pred = vertical[row & 1][col] = uint16_t(vertical[row & 1][col] + diff);
            else
                pred = uint16_t(pred + diff);
            out[col] = pred;
            if (bits < 16 && out[col] >> bits) count_data_error(s);
        }
    }
}

void huffman_delta_load_raw(DecoderState& s) {
    // 12-bit look-up: entry 0 holds the peek width, entry 1 + k the code for k.
    constexpr uint32_t kEntries = 4096;
    LoaderBuffer buffer(s, 1 + kEntries, sizeof(uint16_t), "huffman_delta_load_raw()");
    uint16_t* table = buffer.as<uint16_t>();
    table[0] = 12;
    seek_to(s, s.maker_data_offset);
    const uint32_t codes = (read_u16(s) + 12) & 15;
    std::fseek(s.input_file, 12, SEEK_CUR);
    uint16_t start[16];
    uint8_t length[16];
    for (uint32_t c = 0; c < codes; ++c)
        start[c] = read_u16(s);
    for (uint32_t c = 0; c < codes; ++c) {
        const int byte = std::getc(s.input_file);
        length[c] = uint8_t(byte == EOF ? 0xFF : byte);
    }
    for (uint32_t c = 0; c < codes; ++c) {
        // A code of length L covers 4096 >> L look-up values from its start.
        const uint32_t span = length[c] > 12 ? 0 : kEntries >> length[c];
        const uint32_t last = ((start[c] + span - 1) & (kEntries - 1)) + 1;
        for (uint32_t i = uint32_t(start[c]) + 1; i <= last && i <= kEntries; ++i)
            table[i] = uint16_t(length[c] << 8 | c);
    }
    seek_to(s, s.sensor_data_offset);
    huffman_delta_decode(s, table);
}

} // namespace raw
