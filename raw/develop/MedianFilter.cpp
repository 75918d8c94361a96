// 3 x 3 median of the colour differences red - green and blue - green, which removes
// isolated colour speckles without touching the green detail.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "raw/develop/Highlights.h"

namespace raw {
namespace {

// A fixed exchange network: afterwards v[4] is the median of the nine.
void median_of_nine(int v[9]) {
    static constexpr uint8_t kNetwork[19][2] = {{1, 2}, {4, 5}, {7, 8}, {0, 1}, {3, 4}, {6, 7}, {1, 2},
                                                {4, 5}, {7, 8}, {0, 3}, {5, 8}, {4, 7}, {3, 6}, {1, 4},
                                                {2, 5}, {4, 7}, {4, 2}, {6, 4}, {4, 2}};
    for (const auto& step : kNetwork)
        if (v[step[0]] > v[step[1]]) std::swap(v[step[0]], v[step[1]]);
}

// Channel 3 holds the unfiltered copy, so the pass never reads a value it has changed.
void filter_channel(DecoderState& s, int channel) {
    const int height = s.image_height, width = s.image_width;
    uint16_t(*image)[4] = s.pixel_image;
    for (int64_t i = 0; i < int64_t(height) * width; ++i)
        image[i][3] = image[i][channel];
    for (int row = 1; row < height - 1; ++row)
        for (int col = 1; col < width - 1; ++col) {
            uint16_t(*p)[4] = image + int64_t(row) * width + col;
            int v[9], n = 0;
            for (int dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc) {
                    const uint16_t* q = p[dr * width + dc];
                    v[n++] = q[3] - q[1];
                }
            median_of_nine(v);
            (*p)[channel] = uint16_t(std::clamp(v[4] + (*p)[1], 0, 65535));
        }
}

} // namespace

void median_filter(DecoderState& s) {
    for (int pass = 1; pass <= s.median_passes; ++pass) {
        if (s.verbose_output) std::fprintf(stderr, "Median filter pass %d...\n", pass);
        filter_channel(s, 0);
        filter_channel(s, 2);
    }
}

} // namespace raw
