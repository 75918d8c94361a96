#pragma once
// TIFF-based metadata: the image directory chain and its sub-directories, and the choice of
// the directory that holds the raw image. Results go into the decoder state.
#include <cstdint>

#include "raw/DecoderState.h"

namespace raw {

// 0 when base holds no byte-order mark, else 1 after walking the directory chain.
int parse_tiff_file(DecoderState& s, int64_t base);
// Parses the directory at the current position; 1 when it was refused.
int parse_tiff_directory(DecoderState& s, int64_t base);
void parse_exif_ifd(DecoderState& s, int64_t base);

// Picks the raw and thumbnail directories among ifd_table and the raw loader.
void choose_raw_ifd(DecoderState& s);

// embedded_matrix = ROMM-to-RGB x m.
void romm_to_camera_matrix(DecoderState& s, const float m[3][3]);

} // namespace raw
