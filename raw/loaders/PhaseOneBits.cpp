#include "raw/loaders/PhaseOneBits.h"

#include <cstdio>

#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"

namespace raw {
namespace {

uint32_t next_word(DecoderState& s) {
    uint8_t bytes[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    if (!s.input_file || std::fread(bytes, 1, 4, s.input_file) != 4) {
        for (uint8_t& b : bytes)
            b = 0xFF;
        s.phase_one_bits_ended = 1;
        count_data_error(s);
    }
    return bytes_u32(s, bytes);
}

} // namespace

uint32_t phase_one_bits(DecoderState& s, int n, const uint16_t* table) {
    if (n < 0) {
        s.phase_one_bit_buffer = 0;
        s.phase_one_bit_count = 0;
        s.phase_one_bits_ended = 0;
        return 0;
    }
    if (n == 0 || n > 32) return 0;
    if (s.phase_one_bit_count < n) {
        s.phase_one_bit_buffer = s.phase_one_bit_buffer << 32 | next_word(s);
        s.phase_one_bit_count += 32;
    }
    const int held = s.phase_one_bit_count;
    const uint32_t value = uint32_t(s.phase_one_bit_buffer << (64 - held) >> (64 - n));
    if (table) {
        const int length = table[value] >> 8;
        s.phase_one_bit_count -= length < n ? length : n;
        return uint8_t(table[value]);
    }
    s.phase_one_bit_count -= n;
    return value;
}

} // namespace raw
