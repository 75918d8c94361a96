#include <algorithm>

#include "raw/CfaColor.h"
#include "raw/Demosaic.h"

namespace raw {

// The interpolations leave a frame their neighbourhoods cannot reach; a plain 3x3 mean
// of each colour keeps it from staying black.
void decoder_border_fill(DecoderState& s, int border) {
    const int height = s.image_height, width = s.image_width;
    const int colours = std::min(s.colour_count, 4);
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            if (col == border && row >= border && row < height - border)
                col = std::max(border, width - border);
            if (col >= width) break;
            unsigned sum[4] = {}, count[4] = {};
            for (int y = std::max(row - 1, 0); y <= std::min(row + 1, height - 1); ++y)
                for (int x = std::max(col - 1, 0); x <= std::min(col + 1, width - 1); ++x) {
                    const int f = cfa_color(s, y, x);
                    sum[f] += s.pixel_image[size_t(y) * width + x][f];
                    ++count[f];
                }
            const int own = cfa_color(s, row, col);
            auto* pixel = s.pixel_image[size_t(row) * width + col];
            for (int c = 0; c < colours; ++c)
                if (c != own && count[c]) pixel[c] = uint16_t(sum[c] / count[c]);
        }
}

} // namespace raw
