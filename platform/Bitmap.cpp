#include "platform/Bitmap.h"

#include <cmath>
#include <cstring>

#include "platform/ParallelRows.h"

namespace platform {

bool Bitmap::checkLayout(const BitmapLayout& l, size_t& length) {
    if (l.bitsPerPixel == 0 || l.bitsPerPixel % 8 != 0 || l.bitsPerComponent == 0) return false;
    size_t rowBytes = 0;
    if (__builtin_mul_overflow(l.width, l.bitsPerPixel / 8, &rowBytes) || rowBytes > l.bytesPerRow)
        return false;
    if (l.height == 0 || l.width == 0) {
        length = 0;
        return true;
    }
    size_t body = 0;
    if (__builtin_mul_overflow(l.height - 1, l.bytesPerRow, &body)) return false;
    return !__builtin_add_overflow(body, rowBytes, &length);
}

std::shared_ptr<Bitmap> Bitmap::createView(const BitmapLayout& layout, const uint8_t* pixels,
                                           std::shared_ptr<const void> owner,
                                           std::shared_ptr<const ColorSpace> space) {
    size_t length = 0;
    if (!pixels || !checkLayout(layout, length)) return nullptr;
    std::shared_ptr<Bitmap> b(new Bitmap);
    b->layout_ = layout;
    b->pixels_ = pixels;
    b->length_ = length;
    b->owner_ = std::move(owner);
    b->space_ = std::move(space);
    return b;
}

std::shared_ptr<Bitmap> Bitmap::createOwned(const BitmapLayout& layout,
                                            std::shared_ptr<const ColorSpace> space) {
    size_t length = 0;
    if (!checkLayout(layout, length)) return nullptr;
    std::shared_ptr<Bitmap> b(new Bitmap);
    b->layout_ = layout;
    b->owned_.assign(std::max<size_t>(length, 1), 0);
    b->pixels_ = b->owned_.data();
    b->length_ = length;
    b->space_ = std::move(space);
    return b;
}

namespace {

bool isUnitOrZero(double v) { return v == 0 || v == 1 || v == -1; }

bool isAxisAligned(const AffineTransform& t) {
    bool swap = t.a == 0 && t.d == 0 && t.b != 0 && t.c != 0;
    bool keep = t.b == 0 && t.c == 0 && t.a != 0 && t.d != 0;
    return (swap || keep) && isUnitOrZero(t.a) && isUnitOrZero(t.b) && isUnitOrZero(t.c) &&
           isUnitOrZero(t.d) && std::floor(t.tx) == t.tx && std::floor(t.ty) == t.ty;
}

} // namespace

std::shared_ptr<Bitmap> Bitmap::transformed(const AffineTransform& t, size_t canvasWidth,
                                            size_t canvasHeight) const {
    if (!isAxisAligned(t)) return nullptr;
    BitmapLayout out = layout_;
    out.width = canvasWidth;
    out.height = canvasHeight;
    out.bytesPerRow = canvasWidth * (layout_.bitsPerPixel / 8);
    auto canvas = createOwned(out, space_);
    if (!canvas) return nullptr;
    const size_t pixelBytes = layout_.bitsPerPixel / 8;
    const double h = double(layout_.height), ch = double(canvasHeight), cw = double(canvasWidth);
    uint8_t* dst = canvas->owned_.data();
    // Pixel centres go through the transform in y-up space, as the drawing model has it.
    parallelRows(layout_.height, 1, [&](const RowRange& rows) {
        for (size_t row = rows.begin(); row != rows.end(); ++row) {
            const uint8_t* src = pixels_ + row * layout_.bytesPerRow;
            double py = h - double(row) - 0.5;
            for (size_t col = 0; col < layout_.width; ++col) {
                double px = double(col) + 0.5;
                double X = std::floor(t.a * px + t.c * py + t.tx);
                double Y = std::floor(t.b * px + t.d * py + t.ty);
                if (X < 0 || X >= cw || Y < 0 || Y >= ch) continue;
                size_t drow = size_t(ch - 1 - Y), dcol = size_t(X);
                std::memcpy(dst + drow * out.bytesPerRow + dcol * pixelBytes, src + col * pixelBytes,
                            pixelBytes);
            }
        }
    });
    return canvas;
}

} // namespace platform
