#include "dng/dng_function_GammaEncode_sRGB.h"

#include <cmath>

double dng_function_GammaEncode_sRGB::Evaluate(double x) const {
    if (x <= 0.0031308) return x * 12.92;
    return 1.055 * std::pow(x, 1.0 / 2.4) - 0.055;
}

double dng_function_GammaEncode_sRGB::EvaluateInverse(double y) const {
    if (y <= 0.040449936) return y / 12.92;
    return std::pow((y + 0.055) / 1.055, 2.4);
}

const dng_1d_function& dng_function_GammaEncode_sRGB::Get() {
    static const dng_function_GammaEncode_sRGB function;
    return function;
}
