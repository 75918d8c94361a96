#pragma once
// The last development steps: colour conversion, 45-degree rotation, pixel-aspect
// stretch and the output bitmap.
#include "raw/DecoderState.h"

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

} // namespace raw
