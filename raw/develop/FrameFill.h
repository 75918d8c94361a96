#pragma once
// What the border fills share: the frame that an interpolation's neighbourhoods cannot
// reach takes, per colour, the mean of the photosites in a block around each pixel.
#include <algorithm>
#include <cstdint>

namespace raw {

// For every pixel within `border` of an edge, sets each channel below `channels` other than
// its own colour to the mean of that colour's photosites in the (2 radius + 1) square block
// around it that lie in the image; a colour the block lacks is left as it is. Only own
// colours are read, so what earlier pixels received never feeds a later one.
template <typename ColourAt>
void fill_frame(uint16_t (*image)[4], int height, int width, int border, int radius, int channels,
                ColourAt colour_at) {
    for (int row = 0; row < height; ++row) {
        const bool inner = row >= border && row < height - border;
        for (int col = 0; col < width; ++col) {
            // Skip the middle of inner rows; narrow images have none.
            if (inner && col == border) col = std::max(col, width - border);
            if (col >= width) break;
            uint32_t sum[4] = {}, count[4] = {};
            for (int y = std::max(row - radius, 0); y <= std::min(row + radius, height - 1); ++y)
                for (int x = std::max(col - radius, 0); x <= std::min(col + radius, width - 1); ++x) {
                    const int f = colour_at(y, x);
                    sum[f] += image[int64_t(y) * width + x][f];
                    ++count[f];
                }
            const int own = colour_at(row, col);
            uint16_t* pixel = image[int64_t(row) * width + col];
            for (int c = 0; c < channels; ++c)
                if (c != own && count[c]) pixel[c] = uint16_t(sum[c] / count[c]);
        }
    }
}

} // namespace raw
