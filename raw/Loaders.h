#pragma once
// Raw loaders: each unpacks the sensor data at sensor_data_offset into raw_buffer (or
// pixel_image) and is selected by identification through raw_loader. The decode road
// tells some of them apart by address, so every loader is a distinct function.
#include "raw/DecoderState.h"

namespace raw {

// Data the camera already rendered (no scene-referred processing).
void eight_bit_load_raw(DecoderState& s);
void empty_loader(DecoderState& s);
void ycbcr12_pair_load_raw(DecoderState& s);
void radc_load_raw(DecoderState& s);
// Needs an even visible size.
void kodak_ycc_load_raw(DecoderState& s);

// Lossless JPEG sensor data (with Canon's vertical slices), Canon small raws, and DNG's
// tiled JPEG and packed data.
void ljpeg_sensor_load_raw(DecoderState& s);
void canon_small_raw_load_raw(DecoderState& s);
void dng_ljpeg_load_raw(DecoderState& s);
void packed_dng_load_raw(DecoderState& s);

} // namespace raw
