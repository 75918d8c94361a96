#pragma once
// Demosaicing. The threaded drivers take a job record and touch no other decoder state.
#include <cstdint>

#include "raw/core/DecoderState.h"

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

// The job for the decoder state's pixel image.
demosaic_job demosaic_job_of(const DecoderState& s);

void ahd_interpolate_threaded(demosaic_job& job);
void lmmse_interpolate_threaded(demosaic_job& job);
// Four-colour sensors.
void vng_interpolate(DecoderState& s);

// Interpolations that work on the decoder state directly.
// Fills the colours missing in the outer frame `border` pixels wide from each 3x3 block.
void decoder_border_fill(DecoderState& s, int border);
void bilinear_interpolate(DecoderState& s);
void bilinear_interpolate_threaded(DecoderState& s);
void vng_interpolate_threaded(DecoderState& s);
// Patterned pixel grouping, for three-colour Bayer words.
void ppg_demosaic(DecoderState& s);
// AHD on the calling thread, judging homogeneity on L*a*b* lightness and chroma.
void ahd_interpolate(DecoderState& s);
// The X-Trans layout in tiles over `passes` passes (1 to 8), each choosing among its
// directional estimates by L*a*b* homogeneity; rows of tiles run on band threads.
void xtrans_interpolate(DecoderState& s, int passes);
// The command line's choice by quality: 0 bilinear, 1 (or more than three colours) VNG,
// 2 PPG on Bayer words, 2 and above X-Trans passes (2 quality - 3) on the X-Trans layout,
// otherwise single-threaded AHD.
void interpolate_by_quality(DecoderState& s, int quality);

} // namespace raw
