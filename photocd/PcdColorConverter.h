#pragma once
// Photo CD YCC to RGB (or scaled YCC) on the 0-1388 code scale, and the output scalings.
#include <array>
#include <cstdint>

namespace photocd {

constexpr int kCodeMax = 1388;

enum PcdColorMode { kModeRaw = 0, kModeLinear = 1, kModeSRGB = 2, kModeScaledYCC = 3 };

struct PcdRgb {
    int r, g, b;
};

// A monochrome image converts with the neutral chroma values, whose chroma terms are zero.
constexpr int kNeutralChroma1 = 156;
constexpr int kNeutralChroma2 = 137;

class PcdColorConverter {
  public:
    PcdColorConverter(int colorMode, bool applyMatrix);
    PcdRgb convert(int y, int c1, int c2) const;

    // Code value to linear light (inverse BT.709 transfer over 0 to 1.36 of full scale).
    static const std::array<uint16_t, kCodeMax + 1>& linearTable();
    // Linear light to the sRGB encoding.
    static const std::array<uint16_t, kCodeMax + 1>& sRGBTable();

  private:
    PcdRgb yccToRgb(int y, int c1, int c2) const;
    PcdRgb linearise(PcdRgb v) const;

    int mode_;
    bool applyMatrix_;
};

// The output sample of kind 0 (8-bit), 1 (16-bit) or 2 (float).
inline uint8_t codeTo8(int v) { return static_cast<uint8_t>(v * 255 / kCodeMax); }
inline uint16_t codeTo16(int v) { return static_cast<uint16_t>(v * 65535 / kCodeMax); }
inline float codeToFloat(int v) { return static_cast<float>(v) / kCodeMax; }

} // namespace photocd
