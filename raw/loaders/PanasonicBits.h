#pragma once
// The Panasonic page reader: the file is read in 16 KiB pages (rotated by a split point,
// loader_flags) and bits are taken backwards from the page's end; encoding 5 copies the
// page out in 16-byte blocks instead.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

inline constexpr uint32_t kPanasonicPage = 0x4000;

struct panasonic_bit_reader {
    uint8_t page[kPanasonicPage + 2] = {}; // the word read at the last byte needs one more
    uint32_t position = 0;                 // bits (or bytes for block copies) left; 0: empty
    uint32_t split = 0;
    uint32_t high_bytes = 0, low_bytes = 0; // bytes the last refill found, at split and at 0
    bool ran_out = false;                   // a byte past the end of the file was used
};

void panasonic_reset_bits(panasonic_bit_reader& bits, uint32_t split);
// n bits of the page; n <= 0 resets the reader.
uint32_t panasonic_bits(DecoderState& s, panasonic_bit_reader& bits, int n);
// The next 16 bytes of the page, wrapping at its end.
void panasonic_copy_block(DecoderState& s, panasonic_bit_reader& bits, uint8_t* out);

// Splits a 16-byte encoding-6 block into its 14 fields: two 14-bit values, then three
// groups of a 2-bit scale and three 10-bit values.
void pana_cs6_page_decoder(DecoderState& s, const uint8_t* block, uint64_t bytes_left, uint16_t* fields);

} // namespace raw
