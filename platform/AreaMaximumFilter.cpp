#include "platform/AreaMaximumFilter.h"

#include <limits>

namespace platform {

AreaMaximumFilter::AreaMaximumFilter()
    : ImageFilter({FilterAttribute::image(kInputImage),
                   FilterAttribute::vector(kInputExtent, makeVector({0, 0, 640, 80}))}) {}

Image::Ptr AreaMaximumFilter::computeOutput(const Image& input) {
    const auto requested = rectFromVector(value(kInputExtent));
    if (!requested) return nullptr;
    const Rect area = input.clippedArea(*requested);
    if (area.isEmpty()) return nullptr;
    auto out = Image::createBlank({0, 0, 1, 1}, input.colorSpace());
    if (!out) return nullptr;
    float* best = out->mutableRow(0);
    for (size_t c = 0; c < 4; ++c)
        best[c] = -std::numeric_limits<float>::infinity();
    const auto width = size_t(area.width);
    for (double y = area.y; y < area.maxY(); ++y) {
        const float* p = input.pixel(int64_t(area.x), int64_t(y));
        for (size_t k = 0; k < 4 * width; ++k)
            if (p[k] > best[k & 3]) best[k & 3] = p[k];
    }
    return out;
}

} // namespace platform
