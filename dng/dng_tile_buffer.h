#pragma once
// A pixel buffer describing one tile of an image, held for as long as the object lives.
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_uncopyable.h"

class dng_image;

class dng_tile_buffer : public dng_pixel_buffer, private dng_uncopyable {
  public:
    ~dng_tile_buffer() override;

    const dng_image& Image() const { return fImage; }

  protected:
    dng_tile_buffer(const dng_image& image, const dng_rect& tile, bool dirty);

    const dng_image& fImage;
    // Free for an image subclass to remember what it handed out.
    void* fRefData = nullptr;
};

class dng_const_tile_buffer : public dng_tile_buffer {
  public:
    dng_const_tile_buffer(const dng_image& image, const dng_rect& tile)
        : dng_tile_buffer(image, tile, false) {}
};

class dng_dirty_tile_buffer : public dng_tile_buffer {
  public:
    dng_dirty_tile_buffer(dng_image& image, const dng_rect& tile) : dng_tile_buffer(image, tile, true) {}
};
