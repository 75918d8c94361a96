#pragma once
// Size and geometry helpers of the pixel code.
#include "dng/dng_point.h"
#include "dng/dng_rect.h"

#include <cstdint>

enum dng_pad_mode : uint32_t { padNone = 0, pad32Bytes = 1 };

// Bytes of a tile buffer; with pad32Bytes each row is a multiple of 32 bytes.
uint32_t ComputeBufferSize(uint32_t pixelType, const dng_point& tileSize, uint32_t planes,
                           dng_pad_mode padMode);

// The count of samples that makes a row of this sample size a multiple of 32 bytes.
uint32_t PaddingGranule(uint32_t sampleSize);

double MaxDistanceToCorners(const dng_point_real64& point, const dng_rect_real64& rect);
