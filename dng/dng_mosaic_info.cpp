#include "dng/dng_mosaic_info.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_image.h"
#include "dng/dng_negative.h"
#include "dng/dng_rational.h"

#include <cmath>

void dng_mosaic_info::PrepareFromNegative(dng_host&, dng_negative& negative) {
    const dng_image* stage2 = negative.Stage2Image();
    if (stage2) fSrcSize = dng_point(int32_t(stage2->Height()), int32_t(stage2->Width()));
    fCroppedSize = dng_point(dng_clamped_int32(std::round(negative.DefaultCropSizeV().AsDouble())),
                             dng_clamped_int32(std::round(negative.DefaultCropSizeH().AsDouble())));
    const double scaleV = negative.DefaultScaleV().AsDouble();
    fAspectRatio = scaleV != 0.0 ? negative.DefaultScaleH().AsDouble() / scaleV : 1.0;
}

dng_point dng_mosaic_info::FullScale() const {
    switch (fCFALayout) {
    case 2:
    case 3:
        return dng_point(2, 1);
    case 4:
    case 5:
        return dng_point(1, 2);
    default:
        return dng_point(1, 1);
    }
}

void dng_mosaic_info::ValidatePattern() const {
    const dng_point& size = fCFAPatternSize;
    if (size.v < 1 || size.h < 1 || size.v > int32_t(kMaxCFAPattern) || size.h > int32_t(kMaxCFAPattern))
        ThrowBadFormat("CFA pattern size out of range");
    if (fColorPlanes < 1 || fColorPlanes > kMaxColorPlanes)
        ThrowBadFormat("CFA colour plane count out of range");
    for (uint32_t plane = 0; plane < fColorPlanes; ++plane) {
        bool found = false;
        for (int32_t row = 0; row < size.v && !found; ++row)
            for (int32_t col = 0; col < size.h && !found; ++col)
                found = fCFAPattern[row][col] == fCFAPlaneColor[plane];
        if (!found) ThrowBadFormat("CFA plane colour missing from the pattern");
    }
}
