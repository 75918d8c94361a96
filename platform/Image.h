#pragma once
// An image as the filters see it: float RGBA pixels (straight alpha) over a rectangle of
// whole pixels in a plane whose y grows upwards. The bitmap's first row is the top of the
// rectangle, as it is for images made from bitmap data.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/Bitmap.h"
#include "platform/Geometry.h"

namespace platform {

// The smallest rectangle of whole pixels that holds `r`; null stays null.
Rect integralRect(const Rect& r);

class Image {
  public:
    using Ptr = std::shared_ptr<const Image>;

    // Null unless the bitmap holds float RGBA pixels (four 32-bit samples) and the extent
    // is a rectangle of whole pixels of the bitmap's size.
    static Ptr create(std::shared_ptr<const Bitmap> bitmap, const Rect& extent);
    // Zero-filled pixels over the extent for a filter to fill before it shares them; null
    // for a rectangle that is empty, not of whole pixels, or over 4 GiB of pixels.
    static std::shared_ptr<Image> createBlank(const Rect& extent,
                                              std::shared_ptr<const ColorSpace> space = nullptr);

    const Rect& extent() const { return extent_; }
    size_t width() const { return bitmap_->width(); }
    size_t height() const { return bitmap_->height(); }
    const std::shared_ptr<const Bitmap>& bitmap() const { return bitmap_; }
    const std::shared_ptr<const ColorSpace>& colorSpace() const { return bitmap_->colorSpace(); }

    // Row `row` counted from the top; no bounds check.
    const float* row(size_t row) const {
        return reinterpret_cast<const float*>(bitmap_->data() + row * bitmap_->bytesPerRow());
    }
    // Null unless the image was made blank.
    float* mutableRow(size_t row);
    // The pixel whose lower-left corner is (x, y); null outside the extent. The pixels of a
    // row follow each other, four floats apart.
    const float* pixel(int64_t x, int64_t y) const;
    // The whole pixels of the extent that `r` touches; empty or null when there are none.
    Rect clippedArea(const Rect& r) const { return integralRect(r).intersection(extent_); }

  private:
    Image() = default;

    std::shared_ptr<const Bitmap> bitmap_;
    std::shared_ptr<Bitmap> writable_; // the same bitmap, for blank images
    Rect extent_;
};

// An image of the input's extent and colour space in which f(source, result) has set each
// pixel from the input's pixel (four floats each); null when there is no memory for it.
template <class PixelFunction> Image::Ptr mapPixels(const Image& input, PixelFunction&& f) {
    auto out = Image::createBlank(input.extent(), input.colorSpace());
    if (!out) return nullptr;
    for (size_t r = 0; r < input.height(); ++r) {
        const float* src = input.row(r);
        float* dst = out->mutableRow(r);
        for (size_t k = 0; k < 4 * input.width(); k += 4)
            f(src + k, dst + k);
    }
    return out;
}

} // namespace platform
