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
//
// Pixels depend on nothing another pixel writes, so parts of the frame may be filled side by
// side through fill_frame_part, which fills the frame's pixels in rows [first_row, end_row)
// and columns [first_col, end_col).
struct FramePart {
    int first_row, end_row, first_col, end_col;
};

template <typename ColourAt>
void fill_frame_part(uint16_t (*image)[4], int height, int width, int border, int radius, int channels,
                     ColourAt colour_at, FramePart part) {
    const int end_row = std::min(part.end_row, height), end_col = std::min(part.end_col, width);
    for (int row = std::max(part.first_row, 0); row < end_row; ++row) {
        const bool inner = row >= border && row < height - border;
        for (int col = std::max(part.first_col, 0); col < end_col; ++col) {
            // Skip the middle of inner rows; narrow images have none (and a negative border
            // makes every row inner and keeps the whole of each).
            if (inner && border >= 0 && col >= border) col = std::max(col, width - border);
            if (col >= end_col) break;
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

template <typename ColourAt>
void fill_frame(uint16_t (*image)[4], int height, int width, int border, int radius, int channels,
                ColourAt colour_at) {
    fill_frame_part(image, height, width, border, radius, channels, colour_at, {0, height, 0, width});
}

} // namespace raw
