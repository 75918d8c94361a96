#pragma once
// Demosaicing. The threaded drivers take a job record and touch no other decoder state.
#include <cstdint>

#include "raw/DecoderState.h"

namespace raw {

struct demosaic_job {
    int32_t height;
    int32_t width;
    uint16_t (*image)[4];
    uint32_t filters;
    int32_t lmmse_median_passes;
    int32_t unused;
    int8_t xtrans[6][6];
    uint8_t highlight_flag; // alternate demosaicing only
};

void ahd_interpolate_threaded(demosaic_job& job);
void lmmse_interpolate_threaded(demosaic_job& job);
// Four-colour sensors.
void vng_interpolate(DecoderState& s);

} // namespace raw
