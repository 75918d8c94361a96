#include <cstdio>
#include <cstring>

#include "raw/develop/Demosaic.h"

namespace raw {
namespace {

// The X-Trans passes and the higher qualities go to the threaded AHD driver, which serves
// Bayer words and the X-Trans cell alike.
void run_ahd(DecoderState& s) {
    demosaic_job job{};
    job.height = s.image_height;
    job.width = s.image_width;
    job.image = s.pixel_image;
    job.filters = s.cfa_pattern;
    std::memcpy(job.xtrans, s.xtrans_layout, sizeof job.xtrans);
    ahd_interpolate_threaded(job);
}

} // namespace

void interpolate_by_quality(DecoderState& s, int quality) {
    if (!s.cfa_pattern) return; // every pixel is complete already
    if (quality == 0) return bilinear_interpolate_threaded(s);
    if (quality == 1 || s.colour_count > 3) return vng_interpolate_threaded(s);
    if (quality == 2 && s.cfa_pattern >= kPatternBayerMin) return ppg_demosaic(s);
    if (s.verbose_output) {
        if (s.cfa_pattern == kPatternXTrans)
            std::fprintf(stderr, "%d-pass X-Trans interpolation...\n", 2 * quality - 3);
        else
            std::fprintf(stderr, "AHD interpolation...\n");
    }
    run_ahd(s);
}

} // namespace raw
