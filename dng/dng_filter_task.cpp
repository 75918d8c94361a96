#include "dng/dng_filter_task.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_image.h"
#include "dng/dng_memory.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_utils.h"

#include <cstring>
#include <limits>

dng_filter_task::dng_filter_task(const char* name, const dng_image& srcImage, dng_image& dstImage)
    : dng_area_task(name), fSrcImage(srcImage), fDstImage(dstImage), fSrcPlanes(srcImage.Planes()),
      fSrcPixelType(srcImage.PixelType()), fDstPlanes(dstImage.Planes()),
      fDstPixelType(dstImage.PixelType()) {}

dng_filter_task::~dng_filter_task() {
    for (uint32_t i = kMaxThreads; i-- > 0;)
        fDstBuffer[i].reset();
    for (uint32_t i = kMaxThreads; i-- > 0;)
        fSrcBuffer[i].reset();
}

dng_point dng_filter_task::SrcTileSize(const dng_point& tileSize) {
    const dng_rect area = SrcArea(dng_rect(0, 0, tileSize.v, tileSize.h));
    return dng_point(int32_t(area.H()), int32_t(area.W()));
}

void dng_filter_task::Start(uint32_t threadCount, const dng_rect&, const dng_point& tileSize,
                            dng_memory_allocator* allocator, dng_abort_sniffer*) {
    if (threadCount > kMaxThreads) ThrowProgramError("Too many threads for a filter task");
    fSrcTileSize = SrcTileSize(tileSize);
    const uint32_t srcBytes = ComputeBufferSize(fSrcPixelType, fSrcTileSize, fSrcPlanes, pad32Bytes);
    const uint32_t dstBytes = ComputeBufferSize(fDstPixelType, tileSize, fDstPlanes, pad32Bytes);
    dng_memory_allocator& a = allocator ? *allocator : gDefaultDNGMemoryAllocator;
    for (uint32_t i = 0; i < threadCount; ++i) {
        fSrcBuffer[i].reset(a.Allocate(srcBytes));
        fDstBuffer[i].reset(a.Allocate(dstBytes));
        std::memset(fSrcBuffer[i]->Buffer(), 0, srcBytes);
        std::memset(fDstBuffer[i]->Buffer(), 0, dstBytes);
    }
}

void dng_filter_task::ProcessArea(uint32_t threadIndex, const dng_rect& dstArea, dng_abort_sniffer*) {
    const dng_rect srcArea = SrcArea(dstArea);
    const int64_t w = int64_t(srcArea.r) - srcArea.l, h = int64_t(srcArea.b) - srcArea.t;
    if (w < 0 || h < 0 || w > std::numeric_limits<int32_t>::max() ||
        h > std::numeric_limits<int32_t>::max() || w > fSrcTileSize.h || h > fSrcTileSize.v)
        ThrowMemoryFull("Area exceeds tile size.");
    dng_pixel_buffer srcBuffer(srcArea, fSrcPlane, fSrcPlanes, fSrcPixelType,
                               dng_pixel_buffer::rowInterleavedPadded, fSrcBuffer[threadIndex]->Buffer());
    dng_pixel_buffer dstBuffer(dstArea, fDstPlane, fDstPlanes, fDstPixelType,
                               dng_pixel_buffer::rowInterleavedPadded, fDstBuffer[threadIndex]->Buffer());
    fSrcImage.Get(srcBuffer, dng_image::edge_repeat, uint32_t(fSrcRepeat.v), uint32_t(fSrcRepeat.h));
    ProcessArea(threadIndex, srcBuffer, dstBuffer);
    fDstImage.Put(dstBuffer);
}
