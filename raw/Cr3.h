#pragma once
// CR3 container.
#include "raw/DecoderState.h"

namespace raw {

// Walks the boxes of a CR3 file and selects its raw track.
void identify_cr3(DecoderState& s);

} // namespace raw
