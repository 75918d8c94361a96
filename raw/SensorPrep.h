#pragma once
// Sensor preparation between the loader and demosaicing.
#include "raw/DecoderState.h"

namespace raw {

// Moves the active area of raw_buffer into pixel_image and measures masked-area blacks.
void crop_active_area(DecoderState& s);
// Fills dead photosites (value 0) from their neighbours of the same colour.
void fill_zero_pixels(DecoderState& s);
// Black and white levels and white-balance multipliers.
void scale_colors(DecoderState& s);
void pre_interpolate(DecoderState& s);

} // namespace raw
