#pragma once
// The RGBA pixel container of the engine, with 16-bit (ImageBufferU16) and float
// (ImageBufferF32) samples. A buffer may be a view onto another's storage (a crop); it
// carries the profile of its pixels, the region that holds rendered pixels and the
// bookkeeping that lets engines share it in place.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/core/BufferProfile.h"
#include "engine/core/FileBackedFactoryNSData.h"
#include "platform/Bitmap.h"
#include "platform/Geometry.h"
#include "platform/PixelPlane.h"

class BitmapImage;
class TiledEngine;

// Float 1.0 is the 16-bit value 65325 wherever buffers convert between the two types.
inline constexpr float kU16PerFloatUnit = 65325.0f;

class ImageBuffer {
  public:
    static constexpr size_t kEngineSlots = 32;

    virtual ~ImageBuffer() = default;
    ImageBuffer(const ImageBuffer&) = delete;
    ImageBuffer& operator=(const ImageBuffer&) = delete;

    uint16_t imageWidth() const { return imageWidth_; }
    uint16_t imageHeight() const { return imageHeight_; }
    uint64_t rowStepInBytes() const { return rowStepInBytes_; }
    uint64_t cropOffset() const { return cropOffset_; }
    const std::shared_ptr<FileBackedFactoryNSData>& bitmapData() const { return bitmapData_; }
    bool isFloat() const { return isFloat_; }
    size_t bytesPerPixel() const { return isFloat_ ? 16 : 8; }

    platform::Rect extent() const { return {0, 0, double(imageWidth_), double(imageHeight_)}; }
    platform::Rect validRegion() const;
    void setValidRegion(const platform::Rect& region);

    std::shared_ptr<BufferProfile> bufferProfile() const;
    void setBufferProfile(std::shared_ptr<BufferProfile> profile);
    template <class Profile> std::shared_ptr<Profile> bufferProfileAs() const {
        return std::dynamic_pointer_cast<Profile>(bufferProfile());
    }

    // Pixel addresses; no bounds check. Each type answers only for its own samples.
    uint8_t* pixelAddress(size_t row, size_t col) const;
    virtual uint16_t* bufferU16ForRow(size_t) const { return nullptr; }
    virtual uint16_t* bufferU16ForRow(size_t, size_t) const { return nullptr; }
    virtual float* bufferFloatForRow(size_t) const { return nullptr; }
    virtual float* bufferFloatForRow(size_t, size_t) const { return nullptr; }

    // A new buffer of this type and the given size with this one's profile and valid
    // region (the region is kept as it is, not scaled); null when scaling fails.
    std::shared_ptr<ImageBuffer> resizedImageFromBuffer(uint16_t width, uint16_t height) const;
    // A view of the part of the rectangle inside the buffer, on the same storage; null
    // when the rectangle misses the buffer.
    virtual std::shared_ptr<ImageBuffer> croppedImageFromBuffer(const platform::Rect& rect) const;

    // Channel means over the square patch of half-width patchSize / 2 around (x, y),
    // clipped to the buffer; 16-bit samples count as value / 65535. False when there is
    // no storage or the patch misses the buffer.
    bool sampleValues(int64_t x, int64_t y, int64_t patchSize, double& red, double& green, double& blue,
                      double& alpha) const;

    // An image over the buffer's own pixels (no copy), keeping the storage alive.
    std::shared_ptr<platform::Bitmap> createCGImage(bool unused = false) const;
    // That image turned by an orientation code (1 to 8) and wrapped.
    std::shared_ptr<BitmapImage> getCGImageBitMap(bool unused, int orientation) const;
    // An image over the pixels for filter work, in the given profile's space (sRGB without one).
    std::shared_ptr<platform::Bitmap> getImage(const std::shared_ptr<BufferProfile>& profile) const;

    // The buffer lock (recursive); the engine argument is for the caller's bookkeeping only.
    void lock(const TiledEngine* engine);
    bool tryLock(const TiledEngine* engine);
    void unlock(const TiledEngine* engine);
    bool lockWithinSeconds(const TiledEngine* engine, double seconds);

    // True when `engine` must not write into this buffer: it has another owner, or all
    // slots of the engine list are taken. Otherwise the engine is listed as a writer.
    bool testReadOnlyAndAddtoEngineList(const TiledEngine* engine);
    const TiledEngine* bufferOwner() const { return bufferOwner_.load(); }
    void setBufferOwner(const TiledEngine* owner) { bufferOwner_.store(owner); }

  protected:
    ImageBuffer(bool isFloat, uint16_t width, uint16_t height,
                std::shared_ptr<FileBackedFactoryNSData> storage, std::shared_ptr<BufferProfile> profile);
    // A buffer of type Buffer over `storage` (fresh zero-filled storage when null), or null
    // when there is none or the given storage is too small.
    template <class Buffer>
    static std::shared_ptr<Buffer> createOf(bool isFloat, uint16_t width, uint16_t height,
                                            std::shared_ptr<FileBackedFactoryNSData> storage,
                                            std::shared_ptr<BufferProfile> profile) {
        const uint64_t bytes = uint64_t(width) * height * (isFloat ? 16 : 8);
        if (!storage)
            storage = FileBackedFactoryNSData::create(bytes, false);
        else if (storage->length() < bytes)
            return nullptr;
        if (!storage) return nullptr;
        return std::shared_ptr<Buffer>(
            new Buffer(isFloat, width, height, std::move(storage), std::move(profile)));
    }
    // A Buffer with the source's size, profile and pixels.
    template <class Buffer> static std::shared_ptr<Buffer> copyOf(const ImageBuffer& source) {
        auto copy =
            Buffer::create(source.imageWidth(), source.imageHeight(), nullptr, source.bufferProfile());
        if (!copy || !copy->copyPixelsFrom(source)) return nullptr;
        return copy;
    }
    // A buffer of this type over `storage` (fresh storage when null), or null.
    virtual std::shared_ptr<ImageBuffer>
    makeSibling(uint16_t width, uint16_t height, std::shared_ptr<FileBackedFactoryNSData> storage) const = 0;
    // The crop of an already intersected rectangle.
    std::shared_ptr<ImageBuffer> cropTo(const platform::Rect& inside) const;
    // Copies or converts the pixels of `source` (same size) into this buffer.
    bool copyPixelsFrom(const ImageBuffer& source);

  private:
    platform::PixelPlane plane(size_t sampleBytes) const;
    platform::BitmapLayout layout(uint32_t alphaInfo) const;

    uint16_t imageWidth_;
    uint16_t imageHeight_;
    uint64_t rowStepInBytes_;
    uint64_t cropOffset_ = 0;
    std::shared_ptr<FileBackedFactoryNSData> bitmapData_;
    bool isFloat_;
    std::atomic<const TiledEngine*> bufferOwner_{nullptr};
    platform::Rect validRegion_;
    std::shared_ptr<BufferProfile> bufferProfile_;
    std::array<const TiledEngine*, kEngineSlots> engineList_{};
    std::recursive_timed_mutex bufferLock_;
    // The object monitor: guards the engine list, the profile and the valid region.
    mutable std::mutex monitor_;
};

// Holds a buffer's lock for an engine until the end of a scope; a null buffer holds nothing.
class BufferLock {
  public:
    BufferLock(ImageBuffer* buffer, const TiledEngine* engine) : buffer_(buffer), engine_(engine) {
        if (buffer_) buffer_->lock(engine_);
    }
    // Only when the lock is free now; owns() tells.
    BufferLock(ImageBuffer* buffer, const TiledEngine* engine, std::try_to_lock_t)
        : buffer_(buffer && buffer->tryLock(engine) ? buffer : nullptr), engine_(engine) {}
    ~BufferLock() {
        if (buffer_) buffer_->unlock(engine_);
    }
    BufferLock(const BufferLock&) = delete;
    BufferLock& operator=(const BufferLock&) = delete;

    bool owns() const { return buffer_ != nullptr; }

  private:
    ImageBuffer* buffer_;
    const TiledEngine* engine_;
};
