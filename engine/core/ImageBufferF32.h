#pragma once
// Buffers of float samples: 16 bytes a pixel.
#include "engine/core/ImageBuffer.h"

class ImageBufferF32 final : public ImageBuffer {
  public:
    static std::shared_ptr<ImageBufferF32> create(uint16_t width, uint16_t height,
                                                  std::shared_ptr<FileBackedFactoryNSData> storage = nullptr,
                                                  std::shared_ptr<BufferProfile> profile = nullptr);
    // Converted from 16-bit: / 65325.
    static std::shared_ptr<ImageBufferF32> createWithCopyFrom(const ImageBuffer& source);

    float* bufferFloatForRow(size_t row) const override;
    float* bufferFloatForRow(size_t row, size_t col) const override;

  private:
    friend class ImageBuffer;
    using ImageBuffer::ImageBuffer;
    std::shared_ptr<ImageBuffer> makeSibling(uint16_t width, uint16_t height,
                                             std::shared_ptr<FileBackedFactoryNSData> storage) const override;
};
