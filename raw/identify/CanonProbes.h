#pragma once
// Content probes that tell Canon layouts apart. Both move the input position.
#include "raw/core/DecoderState.h"

namespace raw {

// 1 when the file's low-bits block is present: a byte other than 0x00 follows some 0xFF
// in bytes 540..16383, or there is no 0xFF at all; 0 when every 0xFF is stuffed.
int canon_has_low_bits(DecoderState& s);
// 1 when one of the bytes at 3284 + 3340 k (k = 0..99) is above 15.
int canon_row_check(DecoderState& s);

} // namespace raw
