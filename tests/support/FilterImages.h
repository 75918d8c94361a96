#pragma once
// Small filter images built pixel by pixel, and reading them back, for the filter tests.
#include <array>
#include <cstdint>
#include <functional>

#include "platform/Image.h"

namespace testsupport {

using Pixel = std::array<float, 4>;

// Pixel (x, y) of the extent (lower-left corners, y up) is f(x, y).
inline platform::Image::Ptr makeImage(const platform::Rect& extent,
                                      const std::function<Pixel(int64_t x, int64_t y)>& f) {
    auto image = platform::Image::createBlank(extent);
    if (!image) return nullptr;
    for (size_t r = 0; r < image->height(); ++r) {
        const auto y = int64_t(extent.maxY()) - 1 - int64_t(r);
        for (size_t c = 0; c < image->width(); ++c) {
            const Pixel p = f(int64_t(extent.x) + int64_t(c), y);
            std::copy(p.begin(), p.end(), image->mutableRow(r) + 4 * c);
        }
    }
    return image;
}

// NaNs where the image has no such pixel.
inline Pixel pixelOf(const platform::Image& image, int64_t x, int64_t y) {
    const float* p = image.pixel(x, y);
    if (!p) return {NAN, NAN, NAN, NAN};
    return {p[0], p[1], p[2], p[3]};
}

} // namespace testsupport
