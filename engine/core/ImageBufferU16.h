#pragma once
// Buffers of 16-bit samples: 8 bytes a pixel.
#include "engine/core/ImageBuffer.h"

class ImageBufferU16 final : public ImageBuffer {
  public:
    // Fresh zero-filled storage when `storage` is null; null when there is none, or when
    // the given storage is too small for the size.
    static std::shared_ptr<ImageBufferU16> create(uint16_t width, uint16_t height,
                                                  std::shared_ptr<FileBackedFactoryNSData> storage = nullptr,
                                                  std::shared_ptr<BufferProfile> profile = nullptr);
    // A copy of the source's pixels (converted from float: x 65325, saturated), size and
    // profile; the valid region is not copied.
    static std::shared_ptr<ImageBufferU16> createWithCopyFrom(const ImageBuffer& source);

    uint16_t* bufferU16ForRow(size_t row) const override;
    uint16_t* bufferU16ForRow(size_t row, size_t col) const override;
    // A crop at most one pixel wide (or high) beyond column (or row) 1 becomes exactly one
    // pixel, starting one earlier.
    std::shared_ptr<ImageBuffer> croppedImageFromBuffer(const platform::Rect& rect) const override;

  private:
    friend class ImageBuffer;
    using ImageBuffer::ImageBuffer;
    std::shared_ptr<ImageBuffer> makeSibling(uint16_t width, uint16_t height,
                                             std::shared_ptr<FileBackedFactoryNSData> storage) const override;
};
