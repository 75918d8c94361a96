#pragma once
// Calibration of Phase One sensor data (phase_one_correct is declared in Loaders.h).
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// Truncated into 0..65535; gains and curves read from the file may be negative or NaN.
inline uint16_t clamp_to_u16(double v) {
    if (!(v > 0)) return 0;
    return v >= 65535 ? 65535 : uint16_t(v);
}

// Applies the flat-field grid at the current file position to raw_buffer: gains as floats
// or as 16-bit values over 32768, for one plane (planes <= 2) or per colour (planes 4).
void phase_one_flat_field(DecoderState& s, bool float_values, int planes);

} // namespace raw
