#pragma once
// Lossless JPEG (SOF3, predictor 1, no point transform, no restarts) of 16-bit samples, with
// optimal Huffman tables built per call from the samples' own differences, one per channel.
#include <cstdint>

class dng_stream;

// Channel k of a pixel is the sample k positions after the pixel's first; steps are in samples.
void EncodeLosslessJpeg(const uint16_t* samples, uint32_t rows, uint32_t cols, uint32_t channels,
                        uint32_t bitDepth, int32_t rowStep, int32_t colStep, dng_stream& stream);
