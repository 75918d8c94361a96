#pragma once
// Image areas: rows t to b - 1 and columns l to r - 1.
#include "dng/dng_point.h"

#include <cstdint>

class dng_rect {
  public:
    int32_t t = 0;
    int32_t l = 0;
    int32_t b = 0;
    int32_t r = 0;

    dng_rect() = default;
    dng_rect(uint32_t height, uint32_t width);
    dng_rect(int32_t tt, int32_t ll, int32_t bb, int32_t rr);
    explicit dng_rect(const dng_point& size) : dng_rect(uint32_t(size.v), uint32_t(size.h)) {}

    bool operator==(const dng_rect& other) const = default;

    bool IsZero() const { return t == 0 && l == 0 && b == 0 && r == 0; }
    bool IsEmpty() const { return t >= b || l >= r; }
    bool NotEmpty() const { return !IsEmpty(); }

    uint32_t Width() const;
    uint32_t Height() const;
    uint32_t W() const { return Width(); }
    uint32_t H() const { return Height(); }

    dng_point TL() const { return dng_point(t, l); }
    dng_point BR() const { return dng_point(b, r); }
    dng_point Size() const { return dng_point(int32_t(Height()), int32_t(Width())); }
};

// The common area; the all-zero rectangle when the two do not overlap.
dng_rect operator&(const dng_rect& a, const dng_rect& b);
inline dng_rect Intersect(const dng_rect& a, const dng_rect& b) { return a & b; }

class dng_rect_real64 {
  public:
    double t = 0.0;
    double l = 0.0;
    double b = 0.0;
    double r = 0.0;

    dng_rect_real64() = default;
    dng_rect_real64(double tt, double ll, double bb, double rr) : t(tt), l(ll), b(bb), r(rr) {}
    explicit dng_rect_real64(const dng_rect& rect) : t(rect.t), l(rect.l), b(rect.b), r(rect.r) {}

    bool operator==(const dng_rect_real64& other) const = default;
};
