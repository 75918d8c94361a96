#include "dng/dng_tile_coding.h"

#include <bit>
#include <cstring>

namespace {

uint32_t Bits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

// Shifts right by `shift`, rounding to nearest even.
uint32_t RoundShift(uint32_t value, uint32_t shift) {
    if (shift == 0) return value;
    if (shift > 31) return 0;
    const uint32_t kept = value >> shift;
    const uint32_t rest = value & ((1u << shift) - 1);
    const uint32_t half = 1u << (shift - 1);
    return kept + ((rest > half || (rest == half && (kept & 1))) ? 1 : 0);
}

// A float in a narrower format of `exponentBits` exponent bits (bias 2^(e-1) - 1) and
// `mantissaBits` mantissa bits. Rounding may carry into the exponent, which is what the
// encoding wants (up to infinity).
uint32_t NarrowFloat(float value, uint32_t exponentBits, uint32_t mantissaBits) {
    const uint32_t x = Bits(value);
    const uint32_t sign = (x >> 31) << (exponentBits + mantissaBits);
    const int32_t exponent = int32_t((x >> 23) & 0xFF);
    const uint32_t mantissa = x & 0x7FFFFF;
    const uint32_t maxExponent = (1u << exponentBits) - 1;
    const uint32_t infinity = sign | (maxExponent << mantissaBits);
    const uint32_t drop = 23 - mantissaBits;
    if (exponent == 0xFF) {
        if (mantissa == 0) return infinity;
        // A NaN stays a NaN: the quiet bit keeps the mantissa non-zero.
        return infinity | (1u << (mantissaBits - 1)) | (mantissa >> drop);
    }
    const int32_t bias = int32_t(maxExponent >> 1);
    const int32_t e = exponent - 127 + bias;
    if (e >= int32_t(maxExponent)) return infinity;
    if (e <= 0) {
        // Subnormal in the narrow format (or zero): the mantissa with its hidden bit, scaled.
        if (exponent == 0) return sign;
        const uint32_t full = mantissa | 0x800000;
        return sign | RoundShift(full, uint32_t(1 - e) + drop);
    }
    return sign | RoundShift((uint32_t(e) << 23 | mantissa), drop);
}

template <typename T> void Difference(T* data, uint32_t rows, uint32_t rowSamples, uint32_t step) {
    for (uint32_t r = 0; r < rows; ++r) {
        T* p = data + uint64_t(r) * rowSamples;
        for (uint32_t i = rowSamples; i-- > step;)
            p[i] = T(p[i] - p[i - step]);
    }
}

template <bool toBlocks>
void Reorder(const uint8_t* src, uint8_t* dst, uint32_t rows, uint32_t cols, uint32_t pixelBytes,
             uint32_t blockRows, uint32_t blockCols) {
    const uint64_t run = uint64_t(blockCols) * pixelBytes;
    uint64_t k = 0;
    for (uint32_t top = 0; top < rows; top += blockRows)
        for (uint32_t left = 0; left < cols; left += blockCols)
            for (uint32_t r = top; r < top + blockRows; ++r, k += run) {
                const uint64_t at = (uint64_t(r) * cols + left) * pixelBytes;
                if (toBlocks)
                    std::memcpy(dst + k, src + at, run);
                else
                    std::memcpy(dst + at, src + k, run);
            }
}

} // namespace

uint16_t FloatToHalf(float value) { return uint16_t(NarrowFloat(value, 5, 10)); }

uint32_t FloatToFP24(float value) { return NarrowFloat(value, 7, 16); }

void DifferenceRows8(uint8_t* data, uint32_t rows, uint32_t rowSamples, uint32_t step) {
    Difference(data, rows, rowSamples, step);
}
void DifferenceRows16(uint16_t* data, uint32_t rows, uint32_t rowSamples, uint32_t step) {
    Difference(data, rows, rowSamples, step);
}
void DifferenceRows32(uint32_t* data, uint32_t rows, uint32_t rowSamples, uint32_t step) {
    Difference(data, rows, rowSamples, step);
}

void EncodeFloatPredictorRow(uint8_t* row, uint32_t samples, uint32_t bytes, uint32_t step, bool msbFirst,
                             uint8_t* temp) {
    // Native samples put their most significant byte last on a little-endian machine.
    const bool reversed = !msbFirst && std::endian::native == std::endian::little;
    for (uint32_t i = 0; i < samples; ++i)
        for (uint32_t b = 0; b < bytes; ++b)
            temp[uint64_t(b) * samples + i] = row[uint64_t(i) * bytes + (reversed ? bytes - 1 - b : b)];
    const uint64_t n = uint64_t(samples) * bytes;
    for (uint64_t j = n; j-- > step;)
        temp[j] = uint8_t(temp[j] - temp[j - step]);
    std::memcpy(row, temp, n);
}

void DecodeFloatPredictorRow(uint8_t* row, uint32_t samples, uint32_t bytes, uint32_t step, uint8_t* temp) {
    const uint64_t n = uint64_t(samples) * bytes;
    for (uint64_t j = step; j < n; ++j)
        row[j] = uint8_t(row[j] + row[j - step]);
    for (uint32_t i = 0; i < samples; ++i)
        for (uint32_t b = 0; b < bytes; ++b)
            temp[uint64_t(i) * bytes + b] = row[uint64_t(b) * samples + i];
    std::memcpy(row, temp, n);
}

void ToSubTileBlocks(const uint8_t* src, uint8_t* dst, uint32_t rows, uint32_t cols, uint32_t pixelBytes,
                     uint32_t blockRows, uint32_t blockCols) {
    Reorder<true>(src, dst, rows, cols, pixelBytes, blockRows, blockCols);
}

void FromSubTileBlocks(const uint8_t* src, uint8_t* dst, uint32_t rows, uint32_t cols, uint32_t pixelBytes,
                       uint32_t blockRows, uint32_t blockCols) {
    Reorder<false>(src, dst, rows, cols, pixelBytes, blockRows, blockCols);
}
