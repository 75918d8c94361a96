#pragma once
// Small steps of the decode road that both DCRaw and the command line take.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// Loaders of data the camera already rendered; they fill four values per photosite.
bool loads_rendered_data(Routine loader);

// Allocates pixel_image (image_height x image_width), meta_block and, for a mosaic or a
// one-colour sensor, raw_buffer; a failure names `where`.
void allocate_decode_buffers(DecoderState& s, const char* where);

// Folds the smallest channel black and the smallest black-pattern value into black_level,
// then adds black_level to each channel's black.
void normalise_blacks(DecoderState& s);

// Averages the second green (slot 3) into slot 1; the image has three colours after.
void merge_green_channels(DecoderState& s);

struct finishing_options {
    bool rotate_and_stretch;   // 45-degree sensors upright, non-square pixels stretched
    bool four_colours_in_srgb; // a four-colour image leaves in sRGB, whatever output_space says
};
// Everything after demosaicing: merged greens, median passes and highlights, rotation,
// colour conversion and stretch.
void finish_development(DecoderState& s, finishing_options options);

} // namespace raw
