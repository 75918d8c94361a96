#include "engine/core/CGImageBitMap.h"

#include <algorithm>
#include <bit>
#include <cmath>
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

std::shared_ptr<CGImageBitMap> CGImageBitMap::create(std::shared_ptr<platform::Bitmap> image) {
    if (!image) return nullptr;
    return std::shared_ptr<CGImageBitMap>(new CGImageBitMap(std::move(image)));
}

bool CGImageBitMap::analyse() {
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

bool CGImageBitMap::getDataProvider() {
    static const char* kOperation = "-[CGImageBitMap getDataProvider]";
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

double CGImageBitMap::sample(const uint8_t* pixel, int64_t index) const {
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

std::array<double, 4> CGImageBitMap::readPixel(size_t col, size_t row) const {
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

bool CGImageBitMap::readyToFill(size_t destSize, size_t perPixel, const char* operation) {
    if (!getDataProvider()) {
        LV_LOG("%s: getDataProvider returned NULL", operation);
        return false;
    }
    return destSize / perPixel / std::max<size_t>(getWidth(), 1) >= getHeight();
}

bool CGImageBitMap::getLinearBuffer(std::span<uint16_t> dest) {
    if (!readyToFill(dest.size(), 3, "-[CGImageBitMap getLinearBuffer:]")) return false;
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

bool CGImageBitMap::getFloatRBGABuffer(std::span<float> dest) {
    if (!readyToFill(dest.size(), 4, "-[CGImageBitMap getFloatRBGABuffer:]")) return false;
    const size_t w = getWidth(), h = getHeight();
    float* out = dest.data();
    for (size_t row = 0; row < h; ++row)
        for (size_t col = 0; col < w; ++col)
            for (double v : readPixel(col, row))
                *out++ = float(v);
    return true;
}

bool CGImageBitMap::getPixelValues(int64_t col, int64_t row, std::array<double, 4>& values) {
    if (col < 0 || row < 0 || uint64_t(col) >= getWidth() || uint64_t(row) >= getHeight()) {
        values = {0, 0, 0, 1};
        return false;
    }
    if (!getDataProvider()) return false;
    auto v = readPixel(size_t(col), size_t(row));
    std::copy_n(v.begin(), 3, values.begin());
    return true;
}
