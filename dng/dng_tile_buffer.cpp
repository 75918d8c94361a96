#include "dng/dng_tile_buffer.h"

#include "dng/dng_image.h"

dng_tile_buffer::dng_tile_buffer(const dng_image& image, const dng_rect& tile, bool dirty) : fImage(image) {
    // A throw here skips the destructor, so nothing acquired is released.
    fImage.AcquireTileBuffer(*this, tile, dirty);
}

dng_tile_buffer::~dng_tile_buffer() { fImage.ReleaseTileBuffer(*this); }
