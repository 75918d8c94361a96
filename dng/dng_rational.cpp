#include "dng/dng_rational.h"

#include <cmath>
#include <limits>

int32_t dng_clamped_int32(double x) {
    if (std::isnan(x)) return 0;
    if (x <= double(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    if (x >= double(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    return int32_t(x);
}

uint32_t dng_clamped_uint32(double x) {
    if (std::isnan(x) || x <= 0.0) return 0;
    if (x >= double(std::numeric_limits<uint32_t>::max())) return std::numeric_limits<uint32_t>::max();
    return uint32_t(x);
}

namespace {
template <typename T> void Reduce(T& n, T& d, T factor) {
    if (factor <= 1) return; // 1 (and -1) would divide forever
    while (n % factor == 0 && d % factor == 0 && d >= factor) {
        n /= factor;
        d /= factor;
    }
}

// Coarser denominators for larger values keep the numerator inside 32 bits.
uint32_t DenominatorFor(double magnitude) {
    if (magnitude >= 32768.0) return 1;
    if (magnitude >= 1.0) return 32768;
    return 1073741824;
}
} // namespace

double dng_srational::AsDouble() const { return d ? double(n) / double(d) : 0.0; }

void dng_srational::SetDouble(double x, int32_t dd) {
    if (dd == 0) dd = int32_t(DenominatorFor(std::fabs(x)));
    const double scaled = double(dd) * x;
    n = dng_clamped_int32(scaled > 0.0 ? scaled + 0.5 : scaled - 0.5);
    d = dd;
}

void dng_srational::ReduceByFactor(int32_t factor) { Reduce(n, d, factor); }

double dng_urational::AsDouble() const { return d ? double(n) / double(d) : 0.0; }

void dng_urational::SetDouble(double x, uint32_t dd) {
    if (dd == 0) dd = DenominatorFor(x);
    n = dng_clamped_uint32(double(dd) * x + 0.5);
    d = dd;
}

void dng_urational::ReduceByFactor(uint32_t factor) { Reduce(n, d, factor); }
