#pragma once
// A sampled dng_1d_function for fast lookup with linear interpolation.
#include "dng/dng_uncopyable.h"

#include <cstdint>
#include <memory>

class dng_1d_function;
class dng_memory_allocator;
class dng_memory_block;

class dng_1d_table : private dng_uncopyable {
  public:
    static constexpr uint32_t kMinTableSize = 512;

    // count must be a power of two of at least kMinTableSize.
    explicit dng_1d_table(uint32_t count = 4096);
    virtual ~dng_1d_table();

    // With subSample, straight stretches are filled in by interpolation instead of evaluation.
    void Initialize(dng_memory_allocator& allocator, const dng_1d_function& function, bool subSample = false);

    uint32_t Count() const { return fCount; }
    // count + 2 entries: f(i / count) for i = 0 .. count, and the last one again.
    const float* Table() const { return fTable; }

    // x limited to [0, 1]; NaN reads the first entry.
    float Interpolate(float x) const;

  private:
    void SubDivide(const dng_1d_function& function, uint32_t lower, uint32_t upper, float maxDelta);

    uint32_t fCount;
    std::unique_ptr<dng_memory_block> fBuffer;
    float* fTable = nullptr;
};
