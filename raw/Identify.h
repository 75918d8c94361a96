#pragma once
// Identification: recognises the container and camera of input_file and fills the state.
// raw_count ends 0 when the file cannot be decoded.
#include "raw/DecoderState.h"

namespace raw {

void identify_camera(DecoderState& s);

} // namespace raw
