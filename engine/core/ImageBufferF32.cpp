#include "engine/core/ImageBufferF32.h"

std::shared_ptr<ImageBufferF32> ImageBufferF32::create(uint16_t width, uint16_t height,
                                                       std::shared_ptr<FileBackedFactoryNSData> storage,
                                                       std::shared_ptr<BufferProfile> profile) {
    return createOf<ImageBufferF32>(true, width, height, std::move(storage), std::move(profile));
}

std::shared_ptr<ImageBufferF32> ImageBufferF32::createWithCopyFrom(const ImageBuffer& source) {
    return copyOf<ImageBufferF32>(source);
}

std::shared_ptr<ImageBuffer>
ImageBufferF32::makeSibling(uint16_t width, uint16_t height,
                            std::shared_ptr<FileBackedFactoryNSData> storage) const {
    return create(width, height, std::move(storage));
}

float* ImageBufferF32::bufferFloatForRow(size_t row) const { return bufferFloatForRow(row, 0); }

float* ImageBufferF32::bufferFloatForRow(size_t row, size_t col) const {
    return reinterpret_cast<float*>(pixelAddress(row, col));
}
