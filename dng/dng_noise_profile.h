#pragma once
// Sensor noise as a function of signal level, one function per colour plane or one for all.
#include "dng/dng_1d_function.h"

#include <cstdint>
#include <vector>

// noise(x) = sqrt(scale * x + offset).
class dng_noise_function : public dng_1d_function {
  public:
    dng_noise_function() = default;
    dng_noise_function(double scale, double offset) : fScale(scale), fOffset(offset) {}

    double Evaluate(double x) const override;

    double Scale() const { return fScale; }
    double Offset() const { return fOffset; }
    void SetScale(double scale) { fScale = scale; }
    void SetOffset(double offset) { fOffset = offset; }

  private:
    double fScale = 0.0;
    double fOffset = 0.0;
};

class dng_noise_profile {
  public:
    static constexpr uint32_t kMaxFunctions = 4;

    dng_noise_profile() = default;
    explicit dng_noise_profile(const std::vector<dng_noise_function>& functions)
        : fNoiseFunctions(functions) {}

    uint32_t NumFunctions() const { return uint32_t(fNoiseFunctions.size()); }
    // A single function serves every plane.
    const dng_noise_function& NoiseFunction(uint32_t plane) const;

    // 1 to 4 functions, each with a positive scale and a non-negative offset.
    bool IsValid() const;
    bool IsValidForNegative(uint32_t colorChannels) const;

    // Invalid profiles all compare equal.
    bool operator==(const dng_noise_profile& other) const;
    bool operator!=(const dng_noise_profile& other) const { return !(*this == other); }

  private:
    std::vector<dng_noise_function> fNoiseFunctions;
};
