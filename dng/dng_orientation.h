#pragma once
// Image orientation: bits 0-1 count clockwise quarter turns, bit 2 mirrors left-right first.
#include <cstdint>

class dng_orientation {
  public:
    static constexpr uint32_t kNormal = 0;
    static constexpr uint32_t kRotate90CW = 1;
    static constexpr uint32_t kRotate180 = 2;
    static constexpr uint32_t kRotate90CCW = 3;
    static constexpr uint32_t kMirror = 4;
    static constexpr uint32_t kMirror90CW = 5;
    static constexpr uint32_t kMirror180 = 6;
    static constexpr uint32_t kMirror90CCW = 7;
    static constexpr uint32_t kUnknown = 8;

    dng_orientation() = default;
    explicit dng_orientation(uint32_t code) : fCode(code) {}

    uint32_t Code() const { return fCode; }
    bool operator==(const dng_orientation&) const = default;

    // TIFF values 1 to 9; anything else is taken as normal.
    void SetFromTIFF(uint32_t tiff);
    uint32_t ToTIFF() const;

    bool FlipsDiagonally() const { return fCode != kUnknown && (fCode & 1); }
    bool FlipsHorizontally() const { return fCode != kUnknown && (((fCode >> 2) ^ (fCode >> 1)) & 1); }
    bool FlipsVertically() const { return fCode != kUnknown && (((fCode >> 1) ^ fCode) & 1); }

  private:
    uint32_t fCode = kNormal;
};
