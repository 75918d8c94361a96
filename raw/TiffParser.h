#pragma once
// TIFF-based metadata: the image directory chain and its sub-directories, and the choice of
// the directory that holds the raw image. Results go into the decoder state.
#include <cstdint>

#include "raw/DecoderState.h"

namespace raw {

// 0 when base holds no byte-order mark, else 1 after walking the directory chain.
int parse_tiff_file(DecoderState& s, int64_t base);
void parse_minolta_mrm(DecoderState& s, int64_t offset);

// Picks the raw and thumbnail directories among ifd_table and the raw loader.
void choose_raw_ifd(DecoderState& s);

// Reads "YYYY:MM:DD HH:MM:SS" (stored back to front when reversed) into capture_time.
void read_timestamp(DecoderState& s, int reversed);

} // namespace raw
