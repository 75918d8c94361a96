#pragma once
// Integer and real points, vertical coordinate first.
#include <cstdint>

class dng_point {
  public:
    int32_t v = 0;
    int32_t h = 0;

    constexpr dng_point() = default;
    constexpr dng_point(int32_t vv, int32_t hh) : v(vv), h(hh) {}

    constexpr bool operator==(const dng_point&) const = default;
};

class dng_point_real64 {
  public:
    double v = 0.0;
    double h = 0.0;

    constexpr dng_point_real64() = default;
    constexpr dng_point_real64(double vv, double hh) : v(vv), h(hh) {}
    constexpr explicit dng_point_real64(const dng_point& p) : v(p.v), h(p.h) {}

    constexpr bool operator==(const dng_point_real64&) const = default;
};
