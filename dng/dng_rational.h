#pragma once
// TIFF RATIONAL and SRATIONAL values.
#include <cstdint>

class dng_srational {
  public:
    int32_t n = 0;
    int32_t d = 0;

    dng_srational() = default;
    dng_srational(int32_t nn, int32_t dd) : n(nn), d(dd) {}

    bool operator==(const dng_srational&) const = default;
    bool IsValid() const { return d != 0; }
    bool NotValid() const { return !IsValid(); }

    double AsDouble() const;
    // dd = 0 picks a denominator from the magnitude of x.
    void SetDouble(double x, int32_t dd = 0);
    void ReduceByFactor(int32_t factor);
};

class dng_urational {
  public:
    uint32_t n = 0;
    uint32_t d = 0;

    dng_urational() = default;
    dng_urational(uint32_t nn, uint32_t dd) : n(nn), d(dd) {}

    bool operator==(const dng_urational&) const = default;
    bool IsValid() const { return d != 0; }
    bool NotValid() const { return !IsValid(); }

    double AsDouble() const;
    void SetDouble(double x, uint32_t dd = 0);
    void ReduceByFactor(uint32_t factor);
};

// Truncations of a real value to 32 bits that saturate instead of overflowing (NaN gives 0).
int32_t dng_clamped_int32(double x);
uint32_t dng_clamped_uint32(double x);
