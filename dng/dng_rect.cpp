#include "dng/dng_rect.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_safe_arithmetic.h"

#include <algorithm>
#include <limits>

namespace {
const char* const kConstructorOverflow = "Overflow in dng_rect constructor";
}

dng_rect::dng_rect(uint32_t height, uint32_t width) {
    constexpr uint32_t kMax = uint32_t(std::numeric_limits<int32_t>::max());
    if (height > kMax || width > kMax) ThrowProgramError(kConstructorOverflow);
    b = int32_t(height);
    r = int32_t(width);
}

dng_rect::dng_rect(int32_t tt, int32_t ll, int32_t bb, int32_t rr) : t(tt), l(ll), b(bb), r(rr) {
    int32_t unused;
    if (!SafeInt32SubChecked(r, l, &unused) || !SafeInt32SubChecked(b, t, &unused))
        ThrowProgramError(kConstructorOverflow);
}

uint32_t dng_rect::Width() const {
    if (r < l) return 0;
    int32_t width;
    if (!SafeInt32SubChecked(r, l, &width)) ThrowProgramError("Overflow computing rectangle width");
    return uint32_t(width);
}

uint32_t dng_rect::Height() const {
    if (b < t) return 0;
    int32_t height;
    if (!SafeInt32SubChecked(b, t, &height)) ThrowProgramError("Overflow computing rectangle height");
    return uint32_t(height);
}

dng_rect operator&(const dng_rect& a, const dng_rect& b) {
    dng_rect result;
    result.t = std::max(a.t, b.t);
    result.l = std::max(a.l, b.l);
    result.b = std::min(a.b, b.b);
    result.r = std::min(a.r, b.r);
    if (result.IsEmpty()) return dng_rect();
    return result;
}
