#pragma once
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// Fills tone_table with the natural cubic spline through n points (x, y on the
// 0..65535 scale). The x values must rise strictly; otherwise, or with fewer than two
// points, the table is left as it was.
void build_spline_curve(DecoderState& s, const int32_t* x, const int32_t* y, int n);

} // namespace raw
