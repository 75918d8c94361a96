#pragma once
// The pixel record of an image table: interleaved 32-bit floats with a pointer to the first
// sample of each channel. The record and its floats are one block.
#include <cstdint>
#include <cstdlib>
#include <memory>

struct TarnwellFloatBitmap {
    struct Free {
        void operator()(TarnwellFloatBitmap* table) const { std::free(table); }
    };
    using Ptr = std::unique_ptr<TarnwellFloatBitmap, Free>;

    uint64_t reserved;
    float* planes[16]; // R, G, B (and A) at storage + 0, 1, 2 (and 3); the rest null
    uint64_t rows;
    uint64_t columns;
    int64_t rowStep;    // floats per row
    int64_t pixelStep;  // floats per pixel: 3, or 4 with alpha
    int32_t space;      // colour space code of the pixels
    int32_t alphaFlags; // bit 0 or 1: an image with alpha

    // Zero-filled floats for columns x rows pixels of `components` floats, with room for
    // `reservedPerPixel` floats a pixel. Null when the size overflows or memory is short.
    static Ptr allocate(uint64_t columns, uint64_t rows, int components, int reservedPerPixel, int32_t space,
                        int32_t alphaFlags);

    float* storage() const { return planes[0]; }
    // Sets the pixel step and the plane pointers for `components` interleaved floats.
    void setComponents(int components);
};
