#pragma once
#include "raw/DecoderState.h"

namespace raw {

// The PPM/PAM/TIFF image writer installed as output_writer.
void write_ppm_tiff(DecoderState& s);
// The thumbnail writer installed as thumbnail_writer.
void jpeg_thumb(DecoderState& s);

} // namespace raw
