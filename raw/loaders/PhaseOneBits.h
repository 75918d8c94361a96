#pragma once
// The bit reader of the Phase One, Samsung and Hasselblad loaders: whole 32-bit words in
// the file's byte order, most significant bit first, held in a 64-bit buffer.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// n < 0 resets; n = 0 and n > 32 return 0. With a table (entry layout of make_decoder,
// without entry 0) peeks n bits and consumes the code length it gives, returning the
// symbol. A word read past the end of the file is all ones and counts one data error.
uint32_t phase_one_bits(DecoderState& s, int n, const uint16_t* table = nullptr);

// True once a word came from past the end of the file since the last reset.
inline bool phase_one_bits_ended(const DecoderState& s) { return s.phase_one_bits_ended != 0; }

} // namespace raw
