#include "dng/dng_noise_profile.h"

#include "dng/dng_exceptions.h"

#include <cmath>

double dng_noise_function::Evaluate(double x) const { return std::sqrt(fScale * x + fOffset); }

const dng_noise_function& dng_noise_profile::NoiseFunction(uint32_t plane) const {
    if (NumFunctions() == 1) return fNoiseFunctions.front();
    if (plane >= NumFunctions()) ThrowProgramError("Bad plane index argument for NoiseFunction ().");
    return fNoiseFunctions[plane];
}

bool dng_noise_profile::IsValid() const {
    if (NumFunctions() < 1 || NumFunctions() > kMaxFunctions) return false;
    for (const dng_noise_function& f : fNoiseFunctions)
        if (!(f.Scale() > 0.0) || !(f.Offset() >= 0.0)) return false;
    return true;
}

bool dng_noise_profile::IsValidForNegative(uint32_t colorChannels) const {
    return IsValid() && (NumFunctions() == 1 || NumFunctions() == colorChannels);
}

bool dng_noise_profile::operator==(const dng_noise_profile& other) const {
    if (!IsValid() || !other.IsValid()) return IsValid() == other.IsValid();
    if (NumFunctions() != other.NumFunctions()) return false;
    for (uint32_t i = 0; i < NumFunctions(); ++i)
        if (fNoiseFunctions[i].Scale() != other.fNoiseFunctions[i].Scale() ||
            fNoiseFunctions[i].Offset() != other.fNoiseFunctions[i].Offset())
            return false;
    return true;
}
