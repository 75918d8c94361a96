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

// Loaders the active-area crop recognises by address to give their files default
// masked areas or a sensor correction.
void canon_crw_load_raw(DecoderState& s);
void ljpeg_sensor_load_raw(DecoderState& s);
void sony_scrambled_load_raw(DecoderState& s);
void canon600_packed_load_raw(DecoderState& s);
void kodak_262_load_raw(DecoderState& s);
void packed_bits_load_raw(DecoderState& s);
void nokia_load_raw(DecoderState& s);
void phase_one_plain_load_raw(DecoderState& s);
void phase_one_load_raw_c(DecoderState& s);

// Sensor corrections run on raw_buffer before the active area is cropped.
void phase_one_correct(DecoderState& s);
void canon600_sensor_correct(DecoderState& s);

} // namespace raw
