#pragma once
// The bit reader of the compressed loaders and its Huffman decoder tables.
//
// A decoder table has 1 + 2^L entries: entry 0 holds L (the longest code, 0..16); entry
// 1 + k holds (code length << 8) | symbol for every L-bit value k. Decode a symbol with
// read_bits(s, table[0], table + 1).
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

inline constexpr int kMaxBitsPerRead = 25;

// n < 0 resets the reader (call before every independently coded stretch); n = 0 and
// n > 25 return 0. Without a table: the next n bits. With a table: peeks n bits and
// consumes the code length the table gives, returning its symbol. With ff_stuffing set a
// 0xFF byte must be followed by 0x00; any other follower is a marker, after which no
// byte is read until the next reset. Running out of bits counts a data error.
uint32_t read_bits(DecoderState& s, int n, const uint16_t* table = nullptr);

// Builds a decoder table from a source of 16 code counts followed by the symbols, as in
// a JPEG DHT body; advances `cursor` past what it used. Bytes beyond `end` count as
// absent (missing counts are 0, codes without a symbol are dropped). The table comes
// from file_backed_calloc; release it with file_backed_free. Throws when out of memory.
uint16_t* make_decoder(DecoderState& s, const uint8_t*& cursor, const uint8_t* end);

} // namespace raw
