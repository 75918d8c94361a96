#include "dng/dng_utils.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_safe_arithmetic.h"
#include "dng/dng_tag_types.h"

#include <algorithm>
#include <cmath>

uint32_t PaddingGranule(uint32_t sampleSize) {
    switch (sampleSize) {
    case 1:
        return 32;
    case 2:
        return 16;
    case 4:
        return 8;
    case 8:
        return 4;
    default:
        return 32;
    }
}

uint32_t ComputeBufferSize(uint32_t pixelType, const dng_point& tileSize, uint32_t planes,
                           dng_pad_mode padMode) {
    if (tileSize.v < 0 || tileSize.h < 0) ThrowMemoryFull("Negative tile size");
    const uint32_t sampleSize = TagTypeSize(pixelType);
    const char* const overflow = "Arithmetic overflow computing buffer size";
    uint32_t cols = uint32_t(tileSize.h);
    if (padMode == pad32Bytes && !RoundUpUint32ToMultiple(cols, PaddingGranule(sampleSize), &cols))
        ThrowOverflow(overflow);
    uint32_t size;
    if (!SafeUint32MultChecked(cols, uint32_t(tileSize.v), &size) ||
        !SafeUint32MultChecked(size, sampleSize, &size) || !SafeUint32MultChecked(size, planes, &size))
        ThrowOverflow(overflow);
    return size;
}

double MaxDistanceToCorners(const dng_point_real64& point, const dng_rect_real64& rect) {
    const double corners[4][2] = {{rect.t, rect.l}, {rect.t, rect.r}, {rect.b, rect.l}, {rect.b, rect.r}};
    double best = 0.0;
    for (const auto& corner : corners)
        best = std::max(best, std::hypot(corner[0] - point.v, corner[1] - point.h));
    return best;
}
