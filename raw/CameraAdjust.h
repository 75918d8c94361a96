#pragma once
// Per-make camera adjustments, run by identification between its size corrections and its
// final steps.
#include <cstdint>

#include "raw/DecoderState.h"

namespace raw {

// `file_length` is the length the size-based rows may test: the file's length when the
// file-size table recognised it, else 0.
void apply_camera_adjustments(DecoderState& s, uint64_t file_length);

} // namespace raw
