#include "engine/core/ImageBuffer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "engine/core/BitmapImage.h"
#include "platform/Log.h"

namespace bi = platform::bitmap_info;

ImageBuffer::ImageBuffer(bool isFloat, uint16_t width, uint16_t height,
                         std::shared_ptr<FileBackedFactoryNSData> storage,
                         std::shared_ptr<BufferProfile> profile)
    : imageWidth_(width), imageHeight_(height), rowStepInBytes_(uint64_t(width) * (isFloat ? 16 : 8)),
      bitmapData_(std::move(storage)), isFloat_(isFloat), bufferProfile_(std::move(profile)) {}

platform::Rect ImageBuffer::validRegion() const {
    std::lock_guard guard(monitor_);
    return validRegion_;
}

void ImageBuffer::setValidRegion(const platform::Rect& region) {
    std::lock_guard guard(monitor_);
    validRegion_ = region;
}

std::shared_ptr<BufferProfile> ImageBuffer::bufferProfile() const {
    std::lock_guard guard(monitor_);
    return bufferProfile_;
}

void ImageBuffer::setBufferProfile(std::shared_ptr<BufferProfile> profile) {
    std::lock_guard guard(monitor_);
    bufferProfile_ = std::move(profile);
}

uint8_t* ImageBuffer::pixelAddress(size_t row, size_t col) const {
    return bitmapData_->mutableBytes() + cropOffset_ + row * rowStepInBytes_ + col * bytesPerPixel();
}

platform::PixelPlane ImageBuffer::plane(size_t elementBytes) const {
    // Conversions walk samples, the scalers whole pixels.
    size_t elements = imageWidth_ * bytesPerPixel() / elementBytes;
    return {pixelAddress(0, 0), imageHeight_, elements, size_t(rowStepInBytes_)};
}

bool ImageBuffer::copyPixelsFrom(const ImageBuffer& source) {
    if (source.isFloat_ == isFloat_) {
        const size_t rowBytes = imageWidth_ * bytesPerPixel();
        for (size_t row = 0; row < imageHeight_ && rowBytes; ++row)
            std::memcpy(pixelAddress(row, 0), source.pixelAddress(row, 0), rowBytes);
        return true;
    }
    const float scale = 1.0f / kU16PerFloatUnit;
    long error = isFloat_ ? platform::convert16UToF(source.plane(2), plane(4), 0, scale)
                          : platform::convertFTo16U(source.plane(4), plane(2), 0, scale);
    if (error != platform::kPixelNoError) {
        LV_LOG("Error in %s : %zi", __PRETTY_FUNCTION__, ssize_t(error));
        return false;
    }
    return true;
}

std::shared_ptr<ImageBuffer> ImageBuffer::resizedImageFromBuffer(uint16_t width, uint16_t height) const {
    auto out = makeSibling(width, height, nullptr);
    if (!out) return nullptr;
    if (width == imageWidth_ && height == imageHeight_) {
        if (!out->copyPixelsFrom(*this)) return nullptr;
    } else {
        platform::PixelPlane src = plane(bytesPerPixel()), dst = out->plane(bytesPerPixel());
        long error = isFloat_ ? platform::scaleRGBAF(src, dst) : platform::scaleRGBA16U(src, dst);
        if (error != platform::kPixelNoError) return nullptr;
    }
    out->setBufferProfile(bufferProfile());
    out->setValidRegion(validRegion());
    return out;
}

std::shared_ptr<ImageBuffer> ImageBuffer::croppedImageFromBuffer(const platform::Rect& rect) const {
    platform::Rect inside = rect.intersection(extent());
    if (inside.isNull()) return nullptr;
    return cropTo(inside);
}

std::shared_ptr<ImageBuffer> ImageBuffer::cropTo(const platform::Rect& inside) const {
    if (!std::isfinite(inside.x) || !std::isfinite(inside.y) || !std::isfinite(inside.width) ||
        !std::isfinite(inside.height))
        return nullptr;
    // Truncation keeps the crop inside: origin and size both only shrink.
    auto x = size_t(inside.x), y = size_t(inside.y);
    auto width = uint16_t(inside.width), height = uint16_t(inside.height);
    auto crop = makeSibling(width, height, bitmapData_);
    if (!crop) return nullptr;
    crop->rowStepInBytes_ = rowStepInBytes_;
    crop->cropOffset_ = cropOffset_ + y * rowStepInBytes_ + x * bytesPerPixel();
    crop->setBufferProfile(bufferProfile());
    crop->setValidRegion(validRegion());
    return crop;
}

bool ImageBuffer::sampleValues(int64_t x, int64_t y, int64_t patchSize, double& red, double& green,
                               double& blue, double& alpha) const {
    if (!bitmapData_ || !bitmapData_->bytes()) return false;
    const int64_t half = patchSize / 2;
    const int64_t c0 = std::max<int64_t>(x - half, 0), c1 = std::min<int64_t>(imageWidth_ - 1, x + half);
    const int64_t r0 = std::max<int64_t>(y - half, 0), r1 = std::min<int64_t>(imageHeight_ - 1, y + half);
    if (c0 > c1 || r0 > r1) return false;
    double sum[4] = {0, 0, 0, 0};
    for (int64_t r = r0; r <= r1; ++r) {
        for (int64_t c = c0; c <= c1; ++c) {
            const uint8_t* p = pixelAddress(size_t(r), size_t(c));
            for (int k = 0; k < 4; ++k) {
                if (isFloat_) {
                    float v;
                    std::memcpy(&v, p + 4 * k, 4);
                    sum[k] += v;
                } else {
                    uint16_t v;
                    std::memcpy(&v, p + 2 * k, 2);
                    sum[k] += v / 65535.0;
                }
            }
        }
    }
    const double count = double((c1 - c0 + 1) * (r1 - r0 + 1));
    red = sum[0] / count, green = sum[1] / count, blue = sum[2] / count, alpha = sum[3] / count;
    return true;
}

platform::BitmapLayout ImageBuffer::layout(uint32_t alphaInfo) const {
    uint32_t order = isFloat_ ? (bi::kByteOrder32Little | bi::kFloatComponents) : bi::kByteOrder16Little;
    return {
        imageWidth_,      imageHeight_, isFloat_ ? 32u : 16u, isFloat_ ? 128u : 64u, size_t(rowStepInBytes_),
        order | alphaInfo};
}

std::shared_ptr<platform::Bitmap> ImageBuffer::createCGImage(bool) const {
    std::lock_guard guard(monitor_);
    if (!bitmapData_ || !bitmapData_->bytes() || !imageWidth_ || !imageHeight_) return nullptr;
    std::shared_ptr<const platform::ColorSpace> space;
    if (bufferProfile_) space = bufferProfile_->cgColorSpace();
    if (!space) space = platform::ColorSpace::genericLinearRGB();
    return platform::Bitmap::createView(layout(bi::kAlphaPremultipliedLast), pixelAddress(0, 0), bitmapData_,
                                        std::move(space));
}

std::shared_ptr<platform::Bitmap> ImageBuffer::getImage(const std::shared_ptr<BufferProfile>& profile) const {
    if (!bitmapData_ || !bitmapData_->bytes()) return nullptr;
    std::shared_ptr<const platform::ColorSpace> space = profile ? profile->cgColorSpace() : nullptr;
    if (!space) space = platform::ColorSpace::sRGB();
    // Starts at the buffer's own first pixel, so a crop shows its own pixels.
    return platform::Bitmap::createView(layout(bi::kAlphaLast), pixelAddress(0, 0), bitmapData_,
                                        std::move(space));
}

namespace {

// Codes 5 to 8 exchange width and height; the canvas follows so nothing is cut off.
std::shared_ptr<platform::Bitmap> orient(const platform::Bitmap& image, int code) {
    const bool turned = code >= 5;
    return image.transformed(
        BitmapImage::orientationTransform(code, double(image.width()), double(image.height())),
        turned ? image.height() : image.width(), turned ? image.width() : image.height());
}

} // namespace

std::shared_ptr<BitmapImage> ImageBuffer::getCGImageBitMap(bool, int orientation) const {
    static const char* kOperation = "-[ImageBuffer getCGImageBitMap:orientation:]";
    auto image = createCGImage();
    if (!image) return nullptr;
    if (orientation >= 2) {
        if (orientation == 2 || orientation == 4 || orientation == 5 || orientation == 7 || orientation > 8)
            LV_LOG("Invalid image rotate %i in %s", orientation, kOperation);
        if (orientation <= 8)
            if (auto turned = orient(*image, orientation)) image = std::move(turned);
    }
    return BitmapImage::create(std::move(image));
}

void ImageBuffer::lock(const TiledEngine*) { bufferLock_.lock(); }
bool ImageBuffer::tryLock(const TiledEngine*) { return bufferLock_.try_lock(); }
void ImageBuffer::unlock(const TiledEngine*) { bufferLock_.unlock(); }

bool ImageBuffer::lockWithinSeconds(const TiledEngine*, double seconds) {
    return bufferLock_.try_lock_for(std::chrono::duration<double>(seconds));
}

bool ImageBuffer::testReadOnlyAndAddtoEngineList(const TiledEngine* engine) {
    std::lock_guard guard(monitor_);
    const TiledEngine* owner = bufferOwner_.load();
    if (engine == owner) return false;
    auto slot = std::find_if(engineList_.begin(), engineList_.end(),
                             [engine](const TiledEngine* e) { return !e || e == engine; });
    if (slot != engineList_.end() && *slot == engine) return false;
    if (owner || slot == engineList_.end()) return true;
    *slot = engine;
    return false;
}
