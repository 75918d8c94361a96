#include "platform/Image.h"

#include <cmath>
#include <new>

namespace platform {

namespace {

constexpr size_t kPixelBytes = 16;
// Beyond this a side is a mistake rather than an image.
constexpr double kMaxSide = double(1u << 30);
// Filter images live in memory whole; a larger one would only exhaust it.
constexpr size_t kMaxBytes = size_t(1) << 32;

bool isWholePixels(const Rect& r) {
    return !r.isEmpty() && std::floor(r.x) == r.x && std::floor(r.y) == r.y &&
           std::floor(r.width) == r.width && std::floor(r.height) == r.height && r.width <= kMaxSide &&
           r.height <= kMaxSide && std::fabs(r.x) <= kMaxSide && std::fabs(r.y) <= kMaxSide;
}

bool isFloatRGBA(const Bitmap& b) {
    return b.bitsPerComponent() == 32 && b.bitsPerPixel() == 128 &&
           (b.bitmapInfo() & bitmap_info::kFloatComponents) != 0 &&
           (b.bitmapInfo() & bitmap_info::kAlphaInfoMask) != bitmap_info::kAlphaNone &&
           reinterpret_cast<uintptr_t>(b.data()) % alignof(float) == 0 &&
           b.bytesPerRow() % alignof(float) == 0;
}

} // namespace

Image::Ptr Image::create(std::shared_ptr<const Bitmap> bitmap, const Rect& extent) {
    if (!bitmap || !isFloatRGBA(*bitmap) || !isWholePixels(extent)) return nullptr;
    if (double(bitmap->width()) != extent.width || double(bitmap->height()) != extent.height) return nullptr;
    std::shared_ptr<Image> image(new Image);
    image->bitmap_ = std::move(bitmap);
    image->extent_ = extent;
    return image;
}

std::shared_ptr<Image> Image::createBlank(const Rect& extent, std::shared_ptr<const ColorSpace> space) {
    if (!isWholePixels(extent)) return nullptr;
    BitmapLayout layout{size_t(extent.width),
                        size_t(extent.height),
                        32,
                        128,
                        0,
                        bitmap_info::kAlphaLast | bitmap_info::kFloatComponents};
    size_t bytes = 0;
    if (__builtin_mul_overflow(layout.width, kPixelBytes, &layout.bytesPerRow) ||
        __builtin_mul_overflow(layout.bytesPerRow, layout.height, &bytes) || bytes > kMaxBytes)
        return nullptr;
    std::shared_ptr<Bitmap> bitmap;
    try {
        bitmap = Bitmap::createOwned(layout, std::move(space));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (!bitmap) return nullptr;
    std::shared_ptr<Image> image(new Image);
    image->bitmap_ = bitmap;
    image->writable_ = std::move(bitmap);
    image->extent_ = extent;
    return image;
}

float* Image::mutableRow(size_t row) {
    if (!writable_) return nullptr;
    return reinterpret_cast<float*>(writable_->mutableData() + row * writable_->bytesPerRow());
}

const float* Image::pixel(int64_t x, int64_t y) const {
    const double fx = double(x), fy = double(y);
    if (fx < extent_.x || fy < extent_.y || fx >= extent_.maxX() || fy >= extent_.maxY()) return nullptr;
    const auto column = size_t(fx - extent_.x), fromTop = size_t(extent_.maxY() - 1 - fy);
    return row(fromTop) + 4 * column;
}

Rect integralRect(const Rect& r) {
    if (r.isNull()) return r;
    const Rect s = r.standardized();
    const double x0 = std::floor(s.x), y0 = std::floor(s.y);
    return {x0, y0, std::ceil(s.maxX()) - x0, std::ceil(s.maxY()) - y0};
}

} // namespace platform
