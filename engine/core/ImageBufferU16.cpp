#include "engine/core/ImageBufferU16.h"

std::shared_ptr<ImageBufferU16> ImageBufferU16::create(uint16_t width, uint16_t height,
                                                       std::shared_ptr<FileBackedFactoryNSData> storage,
                                                       std::shared_ptr<BufferProfile> profile) {
    return createOf<ImageBufferU16>(false, width, height, std::move(storage), std::move(profile));
}

std::shared_ptr<ImageBufferU16> ImageBufferU16::createWithCopyFrom(const ImageBuffer& source) {
    return copyOf<ImageBufferU16>(source);
}

std::shared_ptr<ImageBuffer>
ImageBufferU16::makeSibling(uint16_t width, uint16_t height,
                            std::shared_ptr<FileBackedFactoryNSData> storage) const {
    return create(width, height, std::move(storage));
}

uint16_t* ImageBufferU16::bufferU16ForRow(size_t row) const { return bufferU16ForRow(row, 0); }

uint16_t* ImageBufferU16::bufferU16ForRow(size_t row, size_t col) const {
    return reinterpret_cast<uint16_t*>(pixelAddress(row, col));
}

std::shared_ptr<ImageBuffer> ImageBufferU16::croppedImageFromBuffer(const platform::Rect& rect) const {
    platform::Rect inside = rect.intersection(extent());
    if (inside.isNull()) return nullptr;
    if (inside.width <= 1 && inside.x > 1) inside.x -= 1, inside.width = 1;
    if (inside.height <= 1 && inside.y > 1) inside.y -= 1, inside.height = 1;
    return cropTo(inside);
}
