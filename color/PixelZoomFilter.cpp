#include "color/PixelZoomFilter.h"

#include <cmath>
#include <cstring>

#include "platform/FilterRegistry.h"

using platform::FilterAttribute;
using platform::Image;
using platform::Rect;

void PixelZoomFilter::registerFilter() {
    using namespace platform::filter_category;
    platform::FilterRegistry::shared().registerClass<PixelZoomFilter>(kName, "Pixel Zoom Filter",
                                                                      anyFrame(kGeometryAdjustment));
}

Rect PixelZoomFilter::zoomROI(const Rect& rect, double scale) {
    return {rect.x / scale, rect.y / scale, rect.width / scale, rect.height / scale};
}

PixelZoomFilter::PixelZoomFilter()
    : ImageFilter({FilterAttribute::image(kInputImage),
                   FilterAttribute::number(kScale, 1.0, 0.01, 64.0, 1.0, 16.0, 1.0)}) {}

Image::Ptr PixelZoomFilter::computeOutput(const Image& input) {
    const double scale = number(kScale, 1.0);
    if (!(scale > 0) || !std::isfinite(scale)) return nullptr;
    const Rect& in = input.extent();
    const Rect extent =
        platform::integralRect({in.x * scale, in.y * scale, in.width * scale, in.height * scale});
    auto out = Image::createBlank(extent, input.colorSpace());
    if (!out) return nullptr;
    const auto width = size_t(extent.width);
    for (size_t r = 0; r < out->height(); ++r) {
        const double y = extent.maxY() - 1 - double(r);
        float* dst = out->mutableRow(r);
        const auto sourceY = int64_t(std::floor((y + 0.5) / scale));
        for (size_t c = 0; c < width; ++c) {
            const auto sourceX = int64_t(std::floor((extent.x + double(c) + 0.5) / scale));
            if (const float* p = input.pixel(sourceX, sourceY))
                std::memcpy(dst + 4 * c, p, 4 * sizeof(float));
        }
    }
    return out;
}
