#pragma once
// The last development steps: colour conversion, 45-degree rotation, pixel-aspect
// stretch and the output bitmap.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

void fuji_rotate(DecoderState& s);
// Threaded conversion for fewer than four colours.
void convert_to_rgb_threaded(DecoderState& s);
// Plain conversion on the calling thread (four-colour sensors).
void convert_to_rgb(DecoderState& s);
void stretch(DecoderState& s);
// Re-orders pixel_image (buffer mode) or writes 8-bit rows to output_file (file mode)
// with the sharpening step.
void createCGImage(DecoderState& s, int sharpening_step);

// Output spaces 1..6 (sRGB, Adobe RGB, wide gamut, ProPhoto, XYZ, ACES): matrices from
// linear sRGB (D65), rows are output channels. Null outside 1..6.
const float (*output_matrix(int output_space))[3];
// The space's name, as the output profile describes it; null outside 1..6.
const char* output_space_name(int output_space);

// Fills output_profile (allocated here, released by the road) with an ICC v2 profile of
// output_space; its gamma is that of gamma_params.
inline constexpr uint32_t kOutputProfileCapacity = 1024;
void build_output_profile(DecoderState& s);

// The histogram bin that sets the white of the 8-bit curve (the file writers use it too).
int white_bin(const DecoderState& s);

// Re-orientation of an image by orientation_code: bit 4 swaps rows and columns, then bit 1
// mirrors left-right and bit 2 top-bottom. Output row `row` starts at source pixel `start`
// and moves `step` source pixels per output column.
struct OrientedRow {
    int64_t start, step;
};
OrientedRow oriented_row(int orientation, int source_height, int source_width, int row);

} // namespace raw
