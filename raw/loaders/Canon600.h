#pragma once
// The steps of the Canon 600's own sensor correction (canon600_sensor_correct, Loaders.h),
// exposed for their tests.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// Multipliers interpolated between fixed white balances by a colour-temperature key.
void canon600_fixed_white_balance(DecoderState& s, int key);
// Multipliers from grey-looking spots of the visible area, when any are found.
void canon600_auto_white_balance(DecoderState& s);
// Classes a pair of colour ratios: 0 near the expected grey line, 1 near enough to be
// pulled onto it (r0 and r1 are corrected in place), 2 too far off.
int canon600_colour_class(const DecoderState& s, int32_t& r0, int32_t& r1, int32_t margin);
// Chooses one of the camera's matrices by the balance the multipliers describe.
void canon600_colour_coefficients(DecoderState& s);

} // namespace raw
