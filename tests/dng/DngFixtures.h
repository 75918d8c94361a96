#pragma once
// Small DNG files built in a test: one raw directory in IFD 0 whose samples are laid out,
// packed and compressed as the test asks.
#include "tests/support/TiffBuilder.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace dngtest {

struct RawLayout {
    bool bigEndian = false;
    uint32_t width = 6, height = 5, samples = 1;
    uint32_t bits = 16;
    uint32_t sampleFormat = 1; // 3 for floats; the values are then the stored bit patterns
    uint32_t compression = 1;  // 1, 8 (deflate) or 32773 (PackBits)
    uint32_t predictor = 1;
    bool tiled = false;
    uint32_t tileWidth = 4, tileLength = 2; // the strip's rows when not tiled
    uint32_t photometric = 32803;           // CFA; 34892 for linear raw
    // Stored values, row-major, samples interleaved.
    std::vector<uint32_t> values;
    // More tags for the raw directory.
    std::function<void(testsupport::TiffBuilder::Ifd&)> extraTags;
};

// The values' bytes for one tile or strip: rows of `area` samples packed by `bits`.
std::vector<uint8_t> PackRows(const RawLayout& layout, uint32_t top, uint32_t left, uint32_t rows,
                              uint32_t cols);

std::vector<uint8_t> BuildRawDng(const RawLayout& layout);

} // namespace dngtest
