#pragma once
#include "raw/DecoderState.h"

namespace raw {

// Equalises the two greens of a Bayer sensor; true when matching ran.
bool green_channel_match_threaded(DecoderState& s, int threshold);
// Turns a mosaic into one green-equivalent channel (colour_count 1, cfa_pattern 0).
void cfa_to_monochrome_regression(DecoderState& s, int threshold);

} // namespace raw
