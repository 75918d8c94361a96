#include "dng/dng_simple_image.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_memory.h"
#include "dng/dng_orientation.h"
#include "dng/dng_tile_buffer.h"
#include "dng/dng_utils.h"

#include <utility>

dng_simple_image::dng_simple_image(const dng_rect& bounds, uint32_t planes, uint32_t pixelType,
                                   dng_memory_allocator& allocator)
    : dng_image(bounds, planes, pixelType), fAllocator(allocator) {
    const uint32_t bytes = ComputeBufferSize(pixelType, bounds.Size(), planes, pad32Bytes);
    fMemory.reset(dng_guard_allocation([&] { return allocator.Allocate(bytes); }));
    if (!fMemory) ThrowMemoryFull();
    fBuffer =
        dng_pixel_buffer(bounds, 0, planes, pixelType, dng_pixel_buffer::interleaved, fMemory->Buffer());
}

dng_simple_image::~dng_simple_image() = default;

dng_image* dng_simple_image::Clone() const {
    auto result = std::make_unique<dng_simple_image>(fBounds, fPlanes, fPixelType, fAllocator);
    result->fBuffer.CopyArea(fBuffer, fBounds, 0, 0, fPlanes);
    return result.release();
}

void dng_simple_image::SetPixelType(uint32_t pixelType) {
    dng_image::SetPixelType(pixelType);
    fBuffer.pixelType = pixelType;
}

void dng_simple_image::Trim(const dng_rect& r) {
    // Outside the bounds the data pointer would leave the block.
    if ((r & fBounds) != r || r.IsEmpty())
        ThrowProgramError("Trim is not support by this dng_image subclass");
    fBuffer.data = fBuffer.DirtyPixel(r.t, r.l, 0);
    fBounds = dng_rect(0, 0, int32_t(r.H()), int32_t(r.W()));
    fBuffer.area = fBounds;
}

void dng_simple_image::Rotate(const dng_orientation& orientation) {
    const int32_t W = int32_t(fBounds.W());
    const int32_t H = int32_t(fBounds.H());
    if (orientation.FlipsHorizontally()) {
        fBuffer.data = fBuffer.DirtyPixel(fBounds.t, fBounds.r - 1, 0);
        fBuffer.colStep = -fBuffer.colStep;
    }
    if (orientation.FlipsVertically()) {
        fBuffer.data = fBuffer.DirtyPixel(fBounds.b - 1, fBounds.l, 0);
        fBuffer.rowStep = -fBuffer.rowStep;
    }
    if (orientation.FlipsDiagonally()) {
        std::swap(fBuffer.rowStep, fBuffer.colStep);
        fBounds = dng_rect(fBounds.t, fBounds.l, fBounds.t + W, fBounds.l + H);
    } else {
        fBounds = dng_rect(fBounds.t, fBounds.l, fBounds.t + H, fBounds.l + W);
    }
    fBuffer.area = fBounds;
}

void dng_simple_image::AcquireTileBuffer(dng_tile_buffer& buffer, const dng_rect& area, bool dirty) const {
    buffer.area = area;
    buffer.plane = fBuffer.plane;
    buffer.planes = fBuffer.planes;
    buffer.rowStep = fBuffer.rowStep;
    buffer.colStep = fBuffer.colStep;
    buffer.planeStep = fBuffer.planeStep;
    buffer.pixelType = fBuffer.pixelType;
    buffer.pixelSize = fBuffer.pixelSize;
    buffer.data = const_cast<void*>(fBuffer.ConstPixel(area.t, area.l, fBuffer.plane));
    buffer.dirty = dirty;
}
