#include "color/GM24PatchesFilter.h"

#include <algorithm>

#include "platform/FilterRegistry.h"

using platform::FilterAttribute;
using platform::Image;

void GM24PatchesFilter::registerFilter() {
    using namespace platform::filter_category;
    platform::FilterRegistry::shared().registerClass<GM24PatchesFilter>(
        kName, "Gretag Macbeth 24 patch generator", anyFrame(kColorAdjustment));
}

GM24PatchesFilter::GM24PatchesFilter()
    : ImageFilter({FilterAttribute::image(kInputImage),
                   FilterAttribute::number(kA, 1.0, 0.0, 10.0, 0.0, 2.0, 1.0),
                   FilterAttribute::scalar(kB, 0.0, -1.0, 1.0),
                   FilterAttribute::number(kClamp, 100.0, 0.0, 1000.0, 0.0, 100.0, 100.0)}) {}

Image::Ptr GM24PatchesFilter::computeOutput(const Image& input) {
    const auto a = float(number(kA, 1.0)), b = float(number(kB, 0.0));
    const float top = std::max(0.0f, float(number(kClamp, 100.0)) / 100.0f);
    return mapPixels(input, [a, b, top](const float* src, float* dst) {
        if (src[3] == 0) {
            std::copy(kSurround.begin(), kSurround.end(), dst);
            return;
        }
        for (size_t c = 0; c < 3; ++c)
            dst[c] = std::clamp(a * src[c] + b, 0.0f, top);
        dst[3] = src[3];
    });
}
