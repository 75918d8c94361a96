#pragma once
// A view of pixel memory owned by someone else: an area, a range of planes, three signed steps
// (in samples) and a sample type. Every bulk pixel operation goes through the kernel table.
#include "dng/dng_point.h"
#include "dng/dng_rect.h"

#include <cstdint>

class dng_pixel_buffer {
  public:
    enum planar_configuration : uint32_t {
        interleaved = 1,
        planar = 2,
        rowInterleaved = 100000,
        rowInterleavedPadded = 100001
    };

    dng_rect area;
    uint32_t plane = 0;
    uint32_t planes = 1;
    int32_t rowStep = 1;
    int32_t colStep = 1;
    int32_t planeStep = 1;
    uint32_t pixelType = 7;
    uint32_t pixelSize = 0;
    void* data = nullptr;
    bool dirty = true;

    dng_pixel_buffer() = default;
    dng_pixel_buffer(const dng_rect& area, uint32_t plane, uint32_t planes, uint32_t pixelType,
                     uint32_t planarConfiguration, void* data);
    dng_pixel_buffer(const dng_pixel_buffer&) = default;
    dng_pixel_buffer& operator=(const dng_pixel_buffer&) = default;
    virtual ~dng_pixel_buffer() = default;

    const void* ConstPixel(int32_t row, int32_t col, uint32_t plane = 0) const;
    void* DirtyPixel(int32_t row, int32_t col, uint32_t plane = 0);
    template <typename T> const T* ConstPixelAs(int32_t row, int32_t col, uint32_t plane = 0) const {
        return static_cast<const T*>(ConstPixel(row, col, plane));
    }
    template <typename T> T* DirtyPixelAs(int32_t row, int32_t col, uint32_t plane = 0) {
        return static_cast<T*>(DirtyPixel(row, col, plane));
    }

    void SetAreaConstant(const dng_rect& area, uint32_t plane, uint32_t planes, uint32_t value);
    void SetAreaZero(const dng_rect& area, uint32_t plane, uint32_t planes);
    void CopyArea(const dng_pixel_buffer& src, const dng_rect& area, uint32_t srcPlane, uint32_t dstPlane,
                  uint32_t planes);

    // Where dstArea's top-left pixel falls in the repeating srcArea: (vertical, horizontal).
    static dng_point RepeatPhase(const dng_rect& srcArea, const dng_rect& dstArea);
    // Fills dstArea, all planes, with the periodic repetition of srcArea of this buffer.
    void RepeatArea(const dng_rect& srcArea, const dng_rect& dstArea);

    void ShiftRight16(uint32_t shift);
    bool EqualArea(const dng_pixel_buffer& src, const dng_rect& area, uint32_t plane, uint32_t planes) const;

    // Reorders three dimensions so the innermost walks the smallest step, and merges contiguous ones.
    static void OptimizeOrder(const void*& sPtr, void*& dPtr, uint32_t sPixelSize, uint32_t dPixelSize,
                              uint32_t& count0, uint32_t& count1, uint32_t& count2, int32_t& sStep0,
                              int32_t& sStep1, int32_t& sStep2, int32_t& dStep0, int32_t& dStep1,
                              int32_t& dStep2);
    static void OptimizeOrder(void*& dPtr, uint32_t dPixelSize, uint32_t& count0, uint32_t& count1,
                              uint32_t& count2, int32_t& dStep0, int32_t& dStep1, int32_t& dStep2);
    static void OptimizeOrder(const void*& sPtr, uint32_t sPixelSize, uint32_t& count0, uint32_t& count1,
                              uint32_t& count2, int32_t& sStep0, int32_t& sStep1, int32_t& sStep2);
};
