#include "dng/dng_1d_table.h"

#include "dng/dng_1d_function.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_memory.h"
#include "dng/dng_safe_arithmetic.h"

#include <algorithm>
#include <cmath>

dng_1d_table::dng_1d_table(uint32_t count) : fCount(count) {
    if (count < kMinTableSize) ThrowProgramError("count must be at least kMinTableSize");
    if ((count & (count - 1)) != 0) ThrowProgramError("count must be power of 2");
}

dng_1d_table::~dng_1d_table() = default;

void dng_1d_table::Initialize(dng_memory_allocator& allocator, const dng_1d_function& function,
                              bool subSample) {
    fBuffer.reset();
    fTable = nullptr;
    fBuffer.reset(allocator.Allocate(SafeUint32Add(SafeUint32Mult(fCount, 4), 8)));
    fTable = fBuffer->Buffer_real32();

    if (!subSample) {
        const double step = 1.0 / fCount;
        for (uint32_t i = 0; i <= fCount; ++i)
            fTable[i] = float(function.Evaluate(i * step));
    } else {
        fTable[0] = float(function.Evaluate(0.0));
        fTable[fCount] = float(function.Evaluate(1.0));
        const float maxDelta = std::max(std::fabs(fTable[fCount] - fTable[0]), 1.0f) * (1.0f / 256.0f);
        SubDivide(function, 0, fCount, maxDelta);
    }
    fTable[fCount + 1] = fTable[fCount];
}

void dng_1d_table::SubDivide(const dng_1d_function& function, uint32_t lower, uint32_t upper,
                             float maxDelta) {
    const uint32_t range = upper - lower;
    const float delta = fTable[upper] - fTable[lower];
    if (range <= fCount / 256 && std::fabs(delta) <= maxDelta) {
        const float step = delta / float(range);
        for (uint32_t i = lower + 1; i < upper; ++i)
            fTable[i] = fTable[i - 1] + step;
        return;
    }
    const uint32_t middle = (lower + upper) / 2;
    fTable[middle] = float(function.Evaluate(middle * (1.0 / fCount)));
    if (range < 3) return;
    SubDivide(function, lower, middle, maxDelta);
    SubDivide(function, middle, upper, maxDelta);
}

float dng_1d_table::Interpolate(float x) const {
    const float clamped = (x > 0.0f) ? std::min(x, 1.0f) : 0.0f;
    const float scaled = clamped * float(fCount);
    const uint32_t index = std::min(uint32_t(scaled), fCount);
    const float fraction = scaled - float(index);
    return fTable[index] * (1.0f - fraction) + fTable[index + 1] * fraction;
}
