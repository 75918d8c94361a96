#pragma once
// Sensor data of DNG files: tiled lossless (or lossy) JPEG and packed samples. Both end
// in dng_copy_pixel, which puts one pixel of samples_per_pixel samples into raw_buffer
// (first sample only) when there is one, else into pixel_image.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// TIFF's default: a file that gives no sample count has one sample per pixel.
inline uint32_t dng_samples_per_pixel(const DecoderState& s) {
    return s.samples_per_pixel ? s.samples_per_pixel : 1;
}

// Stores the pixel at `cursor` through tone_table when it lies inside the buffer and
// advances the cursor by one pixel. With two samples per pixel and a shot_index the
// second sample is taken, so the cursor must have one sample to spare after the pixel.
void dng_copy_pixel(DecoderState& s, uint64_t row, uint64_t column, const uint16_t*& cursor);

} // namespace raw
