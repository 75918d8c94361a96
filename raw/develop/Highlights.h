#pragma once
#include "raw/core/DecoderState.h"

namespace raw {

// median_passes passes over the colour differences; nothing when it is 0.
void median_filter(DecoderState& s);
// highlight_mode 2.
void blend_highlights(DecoderState& s);
// highlight_mode above 2.
void recover_highlights(DecoderState& s);

} // namespace raw
