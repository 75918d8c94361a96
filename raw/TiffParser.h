#pragma once
// TIFF, EXIF and maker-note parsing.
#include <cstdint>

#include "raw/DecoderState.h"

namespace raw {

// Parses the TIFF file at `base`; 0 when no byte-order mark is there.
int parse_tiff_file(DecoderState& s, uint64_t base);
// Picks the raw image, the thumbnail and the loader among the parsed directories.
void choose_raw_ifd(DecoderState& s);
// Minolta MRM block at `offset`.
int parse_minolta_mrm(DecoderState& s, uint64_t offset);
// "YYYY:MM:DD HH:MM:SS" at the current position into capture_time.
void read_timestamp(DecoderState& s, int reversed);

} // namespace raw
