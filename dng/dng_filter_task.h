#pragma once
// An area task that computes a destination image from a source image tile by tile: each tile's
// source area is read (edges repeated) into per-thread scratch, filtered, and stored.
#include "dng/dng_area_task.h"
#include "dng/dng_point.h"

#include <cstdint>
#include <memory>

class dng_image;
class dng_memory_block;
class dng_pixel_buffer;

class dng_filter_task : public dng_area_task {
  public:
    static constexpr uint32_t kMaxThreads = 128;

    dng_filter_task(const char* name, const dng_image& srcImage, dng_image& dstImage);
    ~dng_filter_task() override;

    void Start(uint32_t threadCount, const dng_rect& dstArea, const dng_point& tileSize,
               dng_memory_allocator* allocator, dng_abort_sniffer* sniffer) override;
    void ProcessArea(uint32_t threadIndex, const dng_rect& dstArea, dng_abort_sniffer* sniffer) override;

    // The source pixels needed to compute `dstArea`.
    virtual dng_rect SrcArea(const dng_rect& dstArea) { return dstArea; }
    virtual dng_point SrcTileSize(const dng_point& tileSize);
    virtual void ProcessArea(uint32_t threadIndex, dng_pixel_buffer& srcBuffer,
                             dng_pixel_buffer& dstBuffer) = 0;

    const dng_point& SrcTileSizeInUse() const { return fSrcTileSize; }

  protected:
    const dng_image& fSrcImage;
    dng_image& fDstImage;
    uint32_t fSrcPlane = 0;
    uint32_t fSrcPlanes;
    uint32_t fSrcPixelType;
    uint32_t fDstPlane = 0;
    uint32_t fDstPlanes;
    uint32_t fDstPixelType;
    dng_point fSrcRepeat{1, 1};
    dng_point fSrcTileSize;

  private:
    std::unique_ptr<dng_memory_block> fSrcBuffer[kMaxThreads];
    std::unique_ptr<dng_memory_block> fDstBuffer[kMaxThreads];
};
