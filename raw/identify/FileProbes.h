#pragma once
// Content probes identification uses to tell apart files that share a size. Each moves
// the input position.
#include "raw/core/DecoderState.h"

namespace raw {

// The last 2000 bytes hold 0x00, 0x55, 0xAA and 0xFF at least 200 times each.
bool tail_histogram_check(DecoderState& s);
// The first 1024 twelve-byte groups carry the fixed bits of one 10-bit packing.
bool packed_pattern_check(DecoderState& s);
// More than 20 of the last 424 bytes are non-zero.
bool tail_nonzero_check(DecoderState& s);
// Two code bits of the header at 3072 name a few compact cameras; on a match sets
// camera_make and camera_model and returns true.
bool model_from_code_bits(DecoderState& s);

} // namespace raw
