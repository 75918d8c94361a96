#pragma once
// How the sensor-preparation steps find a photosite of the visible area in pixel_image.
#include <cstddef>
#include <cstdint>

#include "raw/core/CfaColor.h"
#include "raw/core/DecoderState.h"

namespace raw {

// The 2-bit code of the 8-row x 2-column cell, whatever the pattern word means.
inline int pattern_code(uint32_t pattern, int row, int column) {
    const unsigned shift = (((unsigned(row) << 1) & 14) | (unsigned(column) & 1)) << 1;
    return int(pattern >> shift) & 3;
}

// cfa_color without the call for the common Bayer words.
inline int photosite_colour(const DecoderState& s, int row, int column) {
    if (s.cfa_pattern == kPatternLeaf16 || s.cfa_pattern == kPatternXTrans) return cfa_color(s, row, column);
    return pattern_code(s.cfa_pattern, row, column);
}

// The pixel holding photosite (row, column); a shrunk image keeps each 2x2 block in one
// pixel. Null outside pixel_image.
inline uint16_t* photosite_pixel(const DecoderState& s, int row, int column) {
    if (row < 0 || column < 0) return nullptr;
    const unsigned shift = s.shrink_image ? 1 : 0;
    const size_t y = unsigned(row) >> shift, x = unsigned(column) >> shift;
    if (y >= s.image_height || x >= s.image_width) return nullptr;
    return s.pixel_image[y * s.image_width + x];
}

} // namespace raw
