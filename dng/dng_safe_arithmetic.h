#pragma once
// Overflow-checked integer operations that every size computation goes through.
#include <cstddef>
#include <cstdint>

uint32_t SafeUint32Add(uint32_t a, uint32_t b);
bool SafeUint32AddChecked(uint32_t a, uint32_t b, uint32_t* result);

int32_t SafeInt32Sub(int32_t a, int32_t b);
bool SafeInt32SubChecked(int32_t a, int32_t b, int32_t* result);

uint32_t SafeUint32Mult(uint32_t a, uint32_t b);
uint32_t SafeUint32Mult3(uint32_t a, uint32_t b, uint32_t c);
bool SafeUint32MultChecked(uint32_t a, uint32_t b, uint32_t* result);

std::size_t SafeSizetMult(std::size_t a, std::size_t b);

uint32_t SafeUint32DivideUp(uint32_t a, uint32_t b);
bool RoundUpUint32ToMultiple(uint32_t a, uint32_t b, uint32_t* result);

bool ConvertInt32ToUint32Checked(int32_t a, uint32_t* result);

// An unsigned 32-bit value that can only be made from a non-negative signed one.
class dng_safe_uint32 {
  public:
    explicit dng_safe_uint32(uint32_t value) : fValue(value) {}
    explicit dng_safe_uint32(int32_t value);
    uint32_t Get() const { return fValue; }

  private:
    uint32_t fValue;
};
