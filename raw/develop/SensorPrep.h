#pragma once
// Sensor preparation between the loader and demosaicing.
#include "raw/core/DecoderState.h"

namespace raw {

// Moves the active area of raw_buffer into pixel_image and measures masked-area blacks.
void crop_active_area(DecoderState& s);
// Fills dead photosites (value 0) from their neighbours of the same colour.
void fill_zero_pixels(DecoderState& s);
// Black and white levels and white-balance multipliers.
void scale_colors(DecoderState& s);
void pre_interpolate(DecoderState& s);

// Run by scale_colors when denoise_threshold is set (the command line only).
void wavelet_denoise(DecoderState& s);
// Run by scale_colors when an aberration scale differs from 1 (the command line only).
void correct_chromatic_aberration(DecoderState& s);

// Command line only. Repairs the dead photosites listed in a text file; without a path,
// the first ".badpixels" found walking up from the current folder.
void bad_pixels(DecoderState& s, const char* list_path);
// Command line only. Subtracts a 16-bit binary PGM dark frame of the visible size; false
// (with a message on the error stream) when the file is unusable.
bool subtract_dark_frame(DecoderState& s, const char* pgm_path);

} // namespace raw
