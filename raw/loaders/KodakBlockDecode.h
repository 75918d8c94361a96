#pragma once
// Kodak's block coding: a block of values is either stored as absolute 12-bit values or
// as variable-length differences whose lengths come first, two to a byte.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// The most values one block carries (256 RGB pixels), and the room its output needs:
// absolute blocks are written in groups of eight.
inline constexpr int kKodakBlockMax = 768;
inline constexpr int kKodakBlockRoom = kKodakBlockMax + 8;

// Decodes n values (at most kKodakBlockMax) at the file position into out, which holds
// kKodakBlockRoom values. Returns 1 for absolute values, 0 for differences.
int kodak_block_decode(DecoderState& s, int16_t* out, int n);

} // namespace raw
