#include "dng/dng_safe_arithmetic.h"

#include "dng/dng_exceptions.h"

#include <limits>

namespace {
const char* const kMultOverflow = "Arithmetic overflow in SafeUnsignedMult";
}

bool SafeUint32AddChecked(uint32_t a, uint32_t b, uint32_t* result) {
    if (b > std::numeric_limits<uint32_t>::max() - a) return false;
    *result = a + b;
    return true;
}

uint32_t SafeUint32Add(uint32_t a, uint32_t b) {
    uint32_t sum;
    if (!SafeUint32AddChecked(a, b, &sum)) ThrowOverflow("Arithmetic overflow in SafeAdd");
    return sum;
}

bool SafeInt32SubChecked(int32_t a, int32_t b, int32_t* result) {
    const bool overflows =
        b < 0 ? a > std::numeric_limits<int32_t>::max() + b : a < std::numeric_limits<int32_t>::min() + b;
    if (overflows) return false;
    *result = a - b;
    return true;
}

int32_t SafeInt32Sub(int32_t a, int32_t b) {
    int32_t difference;
    if (!SafeInt32SubChecked(a, b, &difference)) ThrowOverflow("Arithmetic overflow in SafeInt32Sub");
    return difference;
}

bool SafeUint32MultChecked(uint32_t a, uint32_t b, uint32_t* result) {
    const uint64_t product = uint64_t(a) * b;
    if (product >> 32) return false;
    *result = uint32_t(product);
    return true;
}

uint32_t SafeUint32Mult(uint32_t a, uint32_t b) {
    uint32_t product;
    if (!SafeUint32MultChecked(a, b, &product)) ThrowOverflow(kMultOverflow);
    return product;
}

uint32_t SafeUint32Mult3(uint32_t a, uint32_t b, uint32_t c) {
    return SafeUint32Mult(SafeUint32Mult(a, b), c);
}

std::size_t SafeSizetMult(std::size_t a, std::size_t b) {
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    if (product >> 64) ThrowOverflow(kMultOverflow);
    return std::size_t(product);
}

uint32_t SafeUint32DivideUp(uint32_t a, uint32_t b) {
    if (b == 0) ThrowProgramError("Division by zero");
    return a == 0 ? 0 : (a - 1) / b + 1;
}

bool RoundUpUint32ToMultiple(uint32_t a, uint32_t b, uint32_t* result) {
    if (b == 0) return false;
    const uint32_t remainder = a % b;
    if (remainder == 0) {
        *result = a;
        return true;
    }
    return SafeUint32AddChecked(a, b - remainder, result);
}

bool ConvertInt32ToUint32Checked(int32_t a, uint32_t* result) {
    if (a < 0) return false;
    *result = uint32_t(a);
    return true;
}

dng_safe_uint32::dng_safe_uint32(int32_t value) {
    if (!ConvertInt32ToUint32Checked(value, &fValue)) ThrowOverflow("Overflow in dng_safe_uint32");
}
