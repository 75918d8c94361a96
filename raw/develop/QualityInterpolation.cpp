#include "raw/develop/Demosaic.h"

namespace raw {

void interpolate_by_quality(DecoderState& s, int quality) {
    if (!s.cfa_pattern) return; // every pixel is complete already
    if (quality == 0) return bilinear_interpolate_threaded(s);
    if (quality == 1 || s.colour_count > 3) return vng_interpolate_threaded(s);
    if (quality == 2 && s.cfa_pattern >= kPatternBayerMin) return ppg_demosaic(s);
    if (s.cfa_pattern == kPatternXTrans) return xtrans_interpolate(s, 2 * quality - 3);
    ahd_interpolate(s);
}

} // namespace raw
