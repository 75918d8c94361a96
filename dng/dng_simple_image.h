#pragma once
// The image kept whole in one memory block: a single tile covering the bounds.
#include "dng/dng_image.h"
#include "dng/dng_pixel_buffer.h"

#include <memory>

class dng_memory_allocator;
class dng_memory_block;

class dng_simple_image : public dng_image {
  public:
    dng_simple_image(const dng_rect& bounds, uint32_t planes, uint32_t pixelType,
                     dng_memory_allocator& allocator);
    ~dng_simple_image() override;

    dng_image* Clone() const override;
    void SetPixelType(uint32_t pixelType) override;
    // Afterwards the image's origin is (0, 0).
    void Trim(const dng_rect& r) override;
    // Changes only the buffer's steps; no pixel moves.
    void Rotate(const dng_orientation& orientation) override;
    void AcquireTileBuffer(dng_tile_buffer& buffer, const dng_rect& area, bool dirty) const override;

    const dng_pixel_buffer& Buffer() const { return fBuffer; }

  private:
    dng_pixel_buffer fBuffer;
    std::unique_ptr<dng_memory_block> fMemory;
    dng_memory_allocator& fAllocator;
};
