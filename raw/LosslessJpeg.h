#pragma once
// Lossless JPEG (SOF3) frames: the header reader that parsers and loaders share.
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

// 1 when the stream at the current position is a usable lossless JPEG frame; with
// header_only set only the frame's geometry is read.
int ljpeg_start(DecoderState& s, ljpeg_header& jh, int header_only);

} // namespace raw
