#pragma once
// Lossless JPEG header and decoding.
#include <cstdint>

#include "raw/DecoderState.h"

namespace raw {

struct ljpeg_header {
    int32_t algorithm, bits, high, wide, components, small_raw, predictor, restart;
    int32_t column_predictors[6];
    uint16_t quantisation[64];
    uint16_t dct_block[64];
    uint16_t* decoders[20];
    uint16_t* owned_decoders[20];
    uint16_t* row_buffer;
};

// 1 when a usable lossless JPEG frame starts at the current position.
int ljpeg_start(DecoderState& s, ljpeg_header& jh, bool header_only);

} // namespace raw
