// Dead photosites: a value of 0 is replaced by the mean of the live photosites of the
// same colour code around it.
#include <algorithm>

#include "raw/core/PhotositeAccess.h"
#include "raw/develop/SensorPrep.h"

namespace raw {
namespace {

void fill_from_window(DecoderState& s, int row, int col, int code, uint16_t* pixel) {
    const int bottom = std::min<int>(row + 2, s.visible_height - 1),
              right = std::min<int>(col + 2, s.visible_width - 1);
    uint64_t sum = 0, count = 0;
    for (int r = std::max(row - 2, 0); r <= bottom; ++r)
        for (int c = std::max(col - 2, 0); c <= right; ++c) {
            if (pattern_code(s.cfa_pattern, r, c) != code) continue;
            const uint16_t* neighbour = photosite_pixel(s, r, c);
            if (neighbour && neighbour[code]) sum += neighbour[code], count++;
        }
    if (count) pixel[code] = uint16_t(sum / count);
}

} // namespace

void fill_zero_pixels(DecoderState& s) {
    if (!s.pixel_image) return;
    // In order, so that photosites filled earlier count for later ones.
    for (int row = 0; row < s.visible_height; ++row)
        for (int col = 0; col < s.visible_width; ++col) {
            const int code = pattern_code(s.cfa_pattern, row, col);
            uint16_t* pixel = photosite_pixel(s, row, col);
            if (pixel && pixel[code] == 0) fill_from_window(s, row, col, code, pixel);
        }
}

} // namespace raw
