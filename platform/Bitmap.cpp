#include "platform/Bitmap.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

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

std::shared_ptr<Bitmap> Bitmap::blankOfSize(size_t width, size_t height) const {
    BitmapLayout out = layout_;
    out.width = width;
    out.height = height;
    out.bytesPerRow = width * (layout_.bitsPerPixel / 8);
    return createOwned(out, space_);
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
    auto canvas = blankOfSize(canvasWidth, canvasHeight);
    if (!canvas) return nullptr;
    const BitmapLayout& out = canvas->layout_;
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

namespace {

namespace bi = bitmap_info;

// Reads and writes one sample of a layout: 8-bit, 16-bit or 32-bit integers or 32-bit
// floats, byte-swapped unless the layout names the host's little-endian order.
struct SampleCodec {
    size_t bytes;
    bool isFloat, swap;

    explicit SampleCodec(const BitmapLayout& l)
        : bytes(l.bitsPerComponent / 8), isFloat(l.bitmapInfo & bi::kFloatComponents) {
        const uint32_t order = l.bitmapInfo & bi::kByteOrderMask;
        swap = bytes > 1 && order != bi::kByteOrder16Little && order != bi::kByteOrder32Little;
    }
    double read(const uint8_t* p) const {
        if (bytes == 1) return *p;
        if (bytes == 2) {
            uint16_t v;
            std::memcpy(&v, p, 2);
            return swap ? uint16_t((v >> 8) | (v << 8)) : v;
        }
        uint32_t v;
        std::memcpy(&v, p, 4);
        if (swap) v = __builtin_bswap32(v);
        return isFloat ? double(std::bit_cast<float>(v)) : double(v);
    }
    void write(double value, uint8_t* p) const {
        if (bytes == 1) {
            *p = uint8_t(std::clamp(std::lround(value), 0L, 255L));
        } else if (bytes == 2) {
            auto v = uint16_t(std::clamp(std::lround(value), 0L, 65535L));
            if (swap) v = uint16_t((v >> 8) | (v << 8));
            std::memcpy(p, &v, 2);
        } else {
            uint32_t v = isFloat ? std::bit_cast<uint32_t>(float(value))
                                 : uint32_t(std::clamp(std::llround(value), 0LL, 4294967295LL));
            if (swap) v = __builtin_bswap32(v);
            std::memcpy(p, &v, 4);
        }
    }
};

// Source positions and weights of each output position along one axis.
struct AxisTaps {
    std::vector<size_t> first, count, offset; // taps first .. first + count - 1
    std::vector<double> weight;               // count[i] weights from offset[i]

    AxisTaps(size_t in, size_t out) {
        const double scale = double(in) / double(out), radius = std::max(1.0, scale);
        for (size_t i = 0; i < out; ++i) {
            const double centre = (double(i) + 0.5) * scale - 0.5;
            const auto lo = size_t(std::max(0.0, std::floor(centre - radius) + 1));
            const auto hi = size_t(std::clamp(std::ceil(centre + radius) - 1, 0.0, double(in - 1)));
            double sum = 0;
            offset.push_back(weight.size());
            first.push_back(lo);
            for (size_t j = lo; j <= hi; ++j) {
                const double w = std::max(0.0, 1 - std::fabs(double(j) - centre) / radius);
                weight.push_back(w);
                sum += w;
            }
            count.push_back(hi + 1 - lo);
            // Every tap lies strictly inside the tent, so the sum is positive.
            for (size_t k = offset.back(); k < weight.size(); ++k)
                weight[k] /= sum;
        }
    }
};

} // namespace

std::shared_ptr<Bitmap> Bitmap::scaled(size_t width, size_t height, bool smooth) const {
    const size_t bits = layout_.bitsPerComponent;
    if (!width || !height || !layout_.width || !layout_.height || (bits != 8 && bits != 16 && bits != 32))
        return nullptr;
    auto canvas = blankOfSize(width, height);
    if (!canvas) return nullptr;
    const BitmapLayout& out = canvas->layout_;
    const size_t pixelBytes = layout_.bitsPerPixel / 8;
    uint8_t* dst = canvas->owned_.data();
    if (!smooth) {
        for (size_t row = 0; row < height; ++row) {
            const size_t sr =
                std::min(layout_.height - 1, size_t((double(row) + 0.5) * layout_.height / height));
            for (size_t col = 0; col < width; ++col) {
                const size_t sc =
                    std::min(layout_.width - 1, size_t((double(col) + 0.5) * layout_.width / width));
                std::memcpy(dst + row * out.bytesPerRow + col * pixelBytes,
                            pixels_ + sr * layout_.bytesPerRow + sc * pixelBytes, pixelBytes);
            }
        }
        return canvas;
    }
    const SampleCodec codec(layout_);
    const size_t samples = layout_.bitsPerPixel / bits, sampleBytes = bits / 8;
    const AxisTaps across(layout_.width, width), down(layout_.height, height);
    // Rows first, into doubles, then columns.
    std::vector<double> rows(layout_.height * width * samples);
    for (size_t r = 0; r < layout_.height; ++r) {
        const uint8_t* src = pixels_ + r * layout_.bytesPerRow;
        for (size_t c = 0; c < width; ++c)
            for (size_t k = 0; k < samples; ++k) {
                double v = 0;
                for (size_t t = 0; t < across.count[c]; ++t)
                    v += across.weight[across.offset[c] + t] *
                         codec.read(src + (across.first[c] + t) * pixelBytes + k * sampleBytes);
                rows[(r * width + c) * samples + k] = v;
            }
    }
    for (size_t r = 0; r < height; ++r)
        for (size_t c = 0; c < width; ++c)
            for (size_t k = 0; k < samples; ++k) {
                double v = 0;
                for (size_t t = 0; t < down.count[r]; ++t)
                    v += down.weight[down.offset[r] + t] *
                         rows[((down.first[r] + t) * width + c) * samples + k];
                codec.write(v, dst + r * out.bytesPerRow + c * pixelBytes + k * sampleBytes);
            }
    return canvas;
}

} // namespace platform
