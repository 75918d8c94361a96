#pragma once
// Small pixel routines over rows of samples: type conversion and resampling of four-channel
// images. Each returns 0 on success or a negative PixelError.
#include <cstddef>
#include <cstdint>

namespace platform {

// `height` rows of `width` elements, `rowBytes` apart. An element is a sample for the
// conversions and a four-sample pixel for the scalers.
struct PixelPlane {
    void* data = nullptr;
    size_t height = 0;
    size_t width = 0;
    size_t rowBytes = 0;
};

enum PixelError : long {
    kPixelNoError = 0,
    kPixelInvalidParameter = -1,
    kPixelMemoryAllocation = -2,
};

// dst = offset + scale x src, over dst's rows and width.
long convert16UToF(const PixelPlane& src, const PixelPlane& dst, float offset, float scale);
// dst = (src - offset) / scale, rounded to nearest and saturated to 0..65535; NaN gives 0.
long convertFTo16U(const PixelPlane& src, const PixelPlane& dst, float offset, float scale);

// Resamples a whole four-channel image to dst's size with a Lanczos filter (widened when
// shrinking, so every source pixel contributes).
long scaleRGBA16U(const PixelPlane& src, const PixelPlane& dst);
long scaleRGBAF(const PixelPlane& src, const PixelPlane& dst);

} // namespace platform
