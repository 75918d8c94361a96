#pragma once
// The decoding half of huffman_delta_load_raw, for formats whose table is built in.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// Decodes sensor_width x sensor_height differences at the input position with a 12-bit
// look-up table (entry 0 = peek width), two predictors per row parity.
void huffman_delta_decode(DecoderState& s, const uint16_t* table);

} // namespace raw
