#include "engine/core/BitmapImage.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/Log.h"

namespace bi = platform::bitmap_info;

namespace {

uint16_t load16(const uint8_t* p, bool swap) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return swap ? uint16_t((v >> 8) | (v << 8)) : v;
}

uint32_t load32(const uint8_t* p, bool swap) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return swap ? __builtin_bswap32(v) : v;
}

uint32_t defaultByteOrder(uint32_t info, size_t bits) {
    if ((info & bi::kFloatComponents) || bits == 32) return bi::kByteOrder32Big;
    return bits == 16 ? bi::kByteOrder16Big : bi::kByteOrderDefault;
}

} // namespace

std::shared_ptr<BitmapImage> BitmapImage::create(std::shared_ptr<platform::Bitmap> image) {
    if (!image) return nullptr;
    return std::shared_ptr<BitmapImage>(new BitmapImage(std::move(image)));
}

bool BitmapImage::analyse() {
    bitMap_ = myImage_->bitmapInfo();
    bitsPerComponent_ = myImage_->bitsPerComponent();
    bytesPerRow_ = myImage_->bytesPerRow();
    byteOrder_ = bitMap_ & bi::kByteOrderMask;
    if (!byteOrder_) byteOrder_ = defaultByteOrder(bitMap_, bitsPerComponent_);
    uint32_t alpha = bitMap_ & bi::kAlphaInfoMask;
    if (alpha > bi::kAlphaNoneSkipFirst) return false;
    bool first =
        alpha == bi::kAlphaPremultipliedFirst || alpha == bi::kAlphaFirst || alpha == bi::kAlphaNoneSkipFirst;
    rIndex_ = first ? 1 : 0;
    alphaIndex_ = first ? 0 : 3;
    premultipliedAlpha_ = alpha == bi::kAlphaPremultipliedLast || alpha == bi::kAlphaPremultipliedFirst;
    bufferInc_ = int64_t(myImage_->bitsPerPixel() / std::max<size_t>(bitsPerComponent_, 1));
    // Every reader takes three colour samples from rIndex on, and alpha when premultiplied.
    bool depthKnown = bitsPerComponent_ == 8 || bitsPerComponent_ == 16 || bitsPerComponent_ == 32;
    bool floatKnown = !(bitMap_ & bi::kFloatComponents) || bitsPerComponent_ == 32;
    bool fits = rIndex_ + 3 <= bufferInc_ && (!premultipliedAlpha_ || alphaIndex_ < bufferInc_);
    return depthKnown && floatKnown && fits;
}

bool BitmapImage::getDataProvider() {
    static const char* kOperation = "-[BitmapImage getDataProvider]";
    if (analysed_) return dpr_;
    analysed_ = true;
    if (!myImage_->data()) {
        LV_LOG("%s: Could not get a CGImageGetDataProvider - no image data is available", kOperation);
        return false;
    }
    if (!analyse()) return false;
    imageData_ = myImage_->copyData();
    if (imageData_.empty()) {
        LV_LOG("%s: Could not get data from CGDataProviderCopyData - zero length buffer", kOperation);
        LV_LOG("%s: Could not get data from CGDataProviderCopyData - no image data is available", kOperation);
        return false;
    }
    dpr_ = true;
    return true;
}

double BitmapImage::sample(const uint8_t* pixel, int64_t index) const {
    const uint8_t* p = pixel + index * int64_t(bitsPerComponent_ / 8);
    if (bitMap_ & bi::kFloatComponents)
        return std::bit_cast<float>(load32(p, byteOrder_ != bi::kByteOrder32Little));
    switch (bitsPerComponent_) {
    case 32:
        return load32(p, byteOrder_ == bi::kByteOrder32Big) * 0x1p-32;
    case 16:
        return load16(p, byteOrder_ == bi::kByteOrder16Big) / 65535.0;
    default:
        return *p / 255.0;
    }
}

std::array<double, 4> BitmapImage::readPixel(size_t col, size_t row) const {
    const uint8_t* px = imageData_.data() + row * bytesPerRow_ + col * (myImage_->bitsPerPixel() / 8);
    std::array<double, 4> v{sample(px, rIndex_), sample(px, rIndex_ + 1), sample(px, rIndex_ + 2), 1.0};
    if (premultipliedAlpha_) {
        v[3] = sample(px, alphaIndex_);
        // A fully transparent pixel has nothing to un-premultiply.
        if (v[3] > 0)
            for (int c = 0; c < 3; ++c)
                v[c] /= v[3];
    }
    return v;
}

bool BitmapImage::readyToFill(size_t destSize, size_t perPixel, const char* operation) {
    if (!getDataProvider()) {
        LV_LOG("%s: getDataProvider returned NULL", operation);
        return false;
    }
    return destSize / perPixel / std::max<size_t>(getWidth(), 1) >= getHeight();
}

bool BitmapImage::getLinearBuffer(std::span<uint16_t> dest) {
    if (!readyToFill(dest.size(), 3, "-[BitmapImage getLinearBuffer:]")) return false;
    const size_t w = getWidth(), h = getHeight();
    uint16_t* out = dest.data();
    for (size_t row = 0; row < h; ++row) {
        for (size_t col = 0; col < w; ++col) {
            auto v = readPixel(col, row);
            // A pixel brighter than white keeps its hue and is scaled into range.
            double m = std::max({v[0], v[1], v[2], 1.0});
            for (int c = 0; c < 3; ++c) {
                double s = v[c] / m;
                *out++ = (s >= 0 && s <= 1) ? uint16_t(s * 65535.0) : 0;
            }
        }
    }
    return true;
}

bool BitmapImage::getFloatRBGABuffer(std::span<float> dest) {
    if (!readyToFill(dest.size(), 4, "-[BitmapImage getFloatRBGABuffer:]")) return false;
    const size_t w = getWidth(), h = getHeight();
    float* out = dest.data();
    for (size_t row = 0; row < h; ++row)
        for (size_t col = 0; col < w; ++col)
            for (double v : readPixel(col, row))
                *out++ = float(v);
    return true;
}

bool BitmapImage::getPixelValues(int64_t col, int64_t row, std::array<double, 4>& values) {
    if (col < 0 || row < 0 || uint64_t(col) >= getWidth() || uint64_t(row) >= getHeight()) {
        values = {0, 0, 0, 1};
        return false;
    }
    if (!getDataProvider()) return false;
    auto v = readPixel(size_t(col), size_t(row));
    std::copy_n(v.begin(), 3, values.begin());
    return true;
}

void BitmapImage::dumpCGImageInfo(size_t row) {
    static const char* kOperation = "-[BitmapImage dumpCGImageInfo:]";
    const platform::Bitmap& image = *myImage_;
    LV_LOG("%s image size: %zu x %zu", kOperation, getWidth(), getHeight());
    LV_LOG("Alpha %d ", int(image.bitmapInfo() & bi::kAlphaInfoMask));
    LV_LOG("bitsPerPixel %ld \n", long(image.bitsPerPixel()));
    LV_LOG("Bitmap 0x%x ", unsigned(image.bitmapInfo()));
    LV_LOG("bitsPerComponent %ld \n", long(image.bitsPerComponent()));
    LV_LOG("byteOrder 0x%x \n", unsigned(image.bitmapInfo() & bi::kByteOrderMask));
    if (!image.data()) {
        LV_LOG("Lumivar could not get a CGImageGetDataProvider - no image data is available");
        return;
    }
    if (!getDataProvider()) {
        LV_LOG("Lumivar could not get data from CGDataProviderCopyData - no image data is available");
        return;
    }
    LV_LOG("Data length: %li", long(imageData_.size()));
    if (row >= getHeight()) return;
    // Only samples the row holds: a narrow image shows fewer.
    const size_t bytes = bitsPerComponent_ / 8, inRow = getWidth() * size_t(bufferInc_);
    const uint8_t* line = imageData_.data() + row * bytesPerRow_;
    for (size_t label = 256; label <= 352 && label < inRow; label += 4) {
        char text[128] = "";
        size_t used = 0;
        for (size_t i = label; i < std::min(label + 4, inRow); ++i) {
            const uint8_t* p = line + i * bytes;
            double v = bytes == 1 ? *p : bytes == 2 ? load16(p, byteOrder_ == bi::kByteOrder16Big) : 0;
            if (bytes == 4) {
                const uint32_t word =
                    load32(p, (bitMap_ & bi::kFloatComponents) ? byteOrder_ != bi::kByteOrder32Little
                                                               : byteOrder_ == bi::kByteOrder32Big);
                v = (bitMap_ & bi::kFloatComponents) ? double(std::bit_cast<float>(word)) : double(word);
            }
            used += size_t(std::snprintf(text + used, sizeof text - used, "%g ", v));
        }
        LV_LOG("%d: %s", int(label), text);
    }
}

platform::AffineTransform BitmapImage::orientationTransform(int code, double W, double H) {
    switch (code) {
    case 2:
        return {-1, 0, 0, 1, W, 0};
    case 3:
        return {-1, 0, 0, -1, W, H};
    case 4:
        return {1, 0, 0, -1, 0, H};
    case 5:
        return {0, -1, -1, 0, H, W};
    case 6:
        return {0, -1, 1, 0, 0, W};
    case 7:
        return {0, 1, 1, 0, 0, 0};
    case 8:
        return {0, 1, -1, 0, H, 0};
    default:
        return {};
    }
}

std::shared_ptr<platform::Bitmap> BitmapImage::createResizedImageBitmap(const platform::Bitmap& image,
                                                                        platform::Size newSize,
                                                                        bool drawTransposed, int orientation,
                                                                        int interpolationQuality) {
    const bool ownSize = newSize.width < 1 || newSize.height < 1;
    const auto w = ownSize ? image.width() : size_t(std::ceil(newSize.width));
    const auto h = ownSize ? image.height() : size_t(std::ceil(newSize.height));
    auto drawn = image.scaled(drawTransposed ? h : w, drawTransposed ? w : h, interpolationQuality != 1);
    const bool turns = orientation >= 2 && orientation <= 8;
    if (!drawn || (!turns && !drawTransposed)) return drawn;
    const bool exchanged = orientation >= 5 && orientation <= 8;
    return drawn->transformed(orientationTransform(orientation, double(w), double(h)), exchanged ? h : w,
                              exchanged ? w : h);
}

std::shared_ptr<BitmapImage> BitmapImage::croppedAndScaledImage(platform::Rect rect, platform::Size newSize,
                                                                int orientation) const {
    const platform::Bitmap& image = *myImage_;
    std::shared_ptr<platform::Bitmap> cropped = myImage_;
    const platform::Rect whole = extent();
    if (rect.width > 0 && rect != whole) {
        // Whole pixels covering the rectangle, within the image.
        const double x0 = std::max(std::floor(rect.x), 0.0), y0 = std::max(std::floor(rect.y), 0.0);
        const double x1 = std::min(std::ceil(rect.maxX()), whole.width);
        const double y1 = std::min(std::ceil(rect.maxY()), whole.height);
        if (!(x1 > x0 && y1 > y0) || !image.data()) return nullptr;
        platform::BitmapLayout layout = image.layout();
        layout.width = size_t(x1 - x0);
        layout.height = size_t(y1 - y0);
        const uint8_t* first =
            image.data() + size_t(y0) * image.bytesPerRow() + size_t(x0) * (image.bitsPerPixel() / 8);
        cropped = platform::Bitmap::createView(layout, first, myImage_, image.colorSpace());
        if (!cropped) return nullptr;
    }
    const bool sameSize =
        newSize.width == double(cropped->width()) && newSize.height == double(cropped->height());
    if (!sameSize || orientation > 1) {
        constexpr int kHighQuality = 3;
        cropped = createResizedImageBitmap(*cropped, newSize, false, orientation, kHighQuality);
    }
    return create(std::move(cropped));
}
