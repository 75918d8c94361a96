#pragma once
// The reversible steps a tile's samples go through between the image and the compressor:
// sub-tile block order, the narrow float formats, and the predictors. Each comes with its
// inverse, which the image reader applies.
#include <cstdint>

// 16-bit half float: nearest even, overflow to infinity, NaN kept.
uint16_t FloatToHalf(float value);
// 24-bit float (sign, 7-bit exponent biased by 63, 16-bit mantissa), rounded the same way.
uint32_t FloatToFP24(float value);

// Horizontal differences along each of `rows` rows of `rowSamples` samples, `step` samples
// apart, taken from the right end so every difference is against an original sample.
void DifferenceRows8(uint8_t* data, uint32_t rows, uint32_t rowSamples, uint32_t step);
void DifferenceRows16(uint16_t* data, uint32_t rows, uint32_t rowSamples, uint32_t step);
void DifferenceRows32(uint32_t* data, uint32_t rows, uint32_t rowSamples, uint32_t step);

// The floating-point predictor on one row of `samples` samples of `bytes` bytes: the row
// becomes its byte planes, most significant first, differenced bytewise `step` bytes apart.
// `msbFirst` tells whether each sample's bytes already lie most significant first in `row`
// (else they are the machine's own order). `temp` holds a row.
void EncodeFloatPredictorRow(uint8_t* row, uint32_t samples, uint32_t bytes, uint32_t step, bool msbFirst,
                             uint8_t* temp);
// Its inverse: the row's samples come back most significant byte first.
void DecodeFloatPredictorRow(uint8_t* row, uint32_t samples, uint32_t bytes, uint32_t step, uint8_t* temp);

// Pixels of `pixelBytes` bytes of a rows x cols tile, from row order into blocks of
// blockRows x blockCols (blocks in row order, each block's pixels in row order), and back.
// The tile's sides are whole numbers of blocks.
void ToSubTileBlocks(const uint8_t* src, uint8_t* dst, uint32_t rows, uint32_t cols, uint32_t pixelBytes,
                     uint32_t blockRows, uint32_t blockCols);
void FromSubTileBlocks(const uint8_t* src, uint8_t* dst, uint32_t rows, uint32_t cols, uint32_t pixelBytes,
                       uint32_t blockRows, uint32_t blockCols);
