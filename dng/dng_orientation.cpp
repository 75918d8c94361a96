#include "dng/dng_orientation.h"

namespace {
// TIFF Orientation value of each internal code.
constexpr uint32_t kTIFFOfCode[9] = {1, 6, 3, 8, 2, 7, 4, 5, 9};
} // namespace

void dng_orientation::SetFromTIFF(uint32_t tiff) {
    fCode = kNormal;
    for (uint32_t code = 0; code < 9; ++code)
        if (kTIFFOfCode[code] == tiff) fCode = code;
}

uint32_t dng_orientation::ToTIFF() const { return fCode < 9 ? kTIFFOfCode[fCode] : 1; }
