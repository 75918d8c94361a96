#pragma once
// Lossless JPEG (process 14, SOF3) as DNG tiles hold it: Huffman-coded differences, predictors
// 1 to 7, one to four interleaved components, restart intervals and a point transform.
#include <cstdint>
#include <vector>

struct dng_lossless_jpeg_frame {
    uint32_t width = 0;      // samples per line and component
    uint32_t height = 0;     // lines
    uint32_t components = 0; // 1 to 4
    uint32_t precision = 0;  // 2 to 16 bits
    // height x width x components samples, components interleaved.
    std::vector<uint16_t> samples;
};

// Decodes the whole frame. A stream that is not a lossless JPEG frame, or that claims more
// samples than `maxSamples`, fails with the bad-format code; data that ends early leaves the
// missing samples at their predicted values.
dng_lossless_jpeg_frame DecodeLosslessJPEG(const uint8_t* data, uint64_t size, uint64_t maxSamples);
