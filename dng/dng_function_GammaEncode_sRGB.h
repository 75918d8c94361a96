#pragma once
// The sRGB transfer curve (IEC 61966-2.1), linear to encoded.
#include "dng/dng_1d_function.h"

class dng_function_GammaEncode_sRGB : public dng_1d_function {
  public:
    double Evaluate(double x) const override;
    double EvaluateInverse(double y) const override;
    static const dng_1d_function& Get();
};
