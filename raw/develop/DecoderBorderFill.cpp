#include <algorithm>

#include "raw/core/CfaColor.h"
#include "raw/develop/Demosaic.h"
#include "raw/develop/FrameFill.h"

namespace raw {

// The interpolations leave a frame their neighbourhoods cannot reach; a plain 3x3 mean
// of each colour keeps it from staying black.
void decoder_border_fill(DecoderState& s, int border) {
    fill_frame(s.pixel_image, s.image_height, s.image_width, border, 1, std::min(s.colour_count, 4),
               [&](int row, int col) { return cfa_color(s, row, col); });
}

} // namespace raw
