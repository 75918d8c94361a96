#include "raw/core/BitReader.h"

#include <cstdio>

#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"

namespace raw {
namespace {

// One decode at a time owns the input stream, so its lock can be skipped.
void refill(DecoderState& s, int n) {
    while (!s.marker_reached && s.bit_count < n) {
        int c = getc_unlocked(s.input_file);
        if (c == EOF) break;
        if (s.ff_stuffing && c == 0xFF) {
            int follower = getc_unlocked(s.input_file);
            if (follower != 0) {
                s.marker_reached = 1;
                break;
            }
        }
        s.bit_buffer = (s.bit_buffer << 8) | uint32_t(c);
        s.bit_count += 8;
    }
}

} // namespace

uint32_t read_bits(DecoderState& s, int n, const uint16_t* table) {
    if (n > kMaxBitsPerRead) return 0;
    if (n < 0) {
        s.bit_buffer = 0;
        s.bit_count = 0;
        s.marker_reached = 0;
        return 0;
    }
    if (n == 0 || s.bit_count < 0) return 0;
    refill(s, n);
    // The valid bits moved to the top of 32 (the rest zero), then the n highest taken.
    uint32_t top = uint32_t((uint64_t(s.bit_buffer) << (32 - s.bit_count)) & 0xFFFFFFFFu);
    uint32_t v = top >> (32 - n);
    uint32_t result = v;
    if (table) {
        uint16_t e = table[v];
        s.bit_count -= e >> 8;
        result = e & 0xFF;
    } else {
        s.bit_count -= n;
    }
    if (s.bit_count < 0) count_data_error(s);
    return result;
}

uint16_t* make_decoder(DecoderState& s, const uint8_t*& cursor, const uint8_t* end) {
    auto next = [&]() -> int { return cursor < end ? *cursor++ : -1; };
    int counts[17] = {};
    int longest = 0;
    for (int len = 1; len <= 16; ++len) {
        int c = next();
        counts[len] = c < 0 ? 0 : c;
        if (counts[len]) longest = len;
    }
    const uint32_t entries = 1u << longest;
    auto* table = static_cast<uint16_t*>(file_backed_calloc(s, 1 + entries, sizeof(uint16_t)));
    memory_error(s, table, "make_decoder()");
    table[0] = uint16_t(longest);
    uint32_t h = 1;
    for (int len = 1; len <= longest; ++len) {
        for (int i = 0; i < counts[len]; ++i) {
            int symbol = next();
            if (symbol < 0) return table;
            for (uint32_t j = 0; j < (1u << (longest - len)) && h <= entries; ++j)
                table[h++] = uint16_t((len << 8) | symbol);
        }
    }
    return table;
}

} // namespace raw
