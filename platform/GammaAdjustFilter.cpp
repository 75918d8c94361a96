#include "platform/GammaAdjustFilter.h"

#include <cmath>

namespace platform {

GammaAdjustFilter::GammaAdjustFilter()
    : ImageFilter({FilterAttribute::image(kInputImage),
                   FilterAttribute::number(kInputPower, 0.75, 0.0, std::nullopt, 0.25, 4.0, 1.0)}) {}

Image::Ptr GammaAdjustFilter::computeOutput(const Image& input) {
    const float power = float(number(kInputPower, 0.75));
    return mapPixels(input, [power](const float* src, float* dst) {
        for (size_t c = 0; c < 3; ++c)
            dst[c] = src[c] < 0 ? -std::pow(-src[c], power) : std::pow(src[c], power);
        dst[3] = src[3];
    });
}

} // namespace platform
