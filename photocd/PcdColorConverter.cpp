#include "photocd/PcdColorConverter.h"

#include <algorithm>
#include <cmath>

namespace photocd {

namespace {

inline int clampCode(int v) { return std::clamp(v, 0, kCodeMax); }

// ITU-R BT.709 opto-electronic transfer, inverted.
double bt709ToLinear(double v) {
    return v < 4.5 * 0.018 ? v / 4.5 : std::pow((v + 0.099) / 1.099, 1.0 / 0.45);
}

double linearToSRGB(double l) { return l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1.0 / 2.4) - 0.055; }

} // namespace

const std::array<uint16_t, kCodeMax + 1>& PcdColorConverter::linearTable() {
    static const auto table = [] {
        // Code 1388 stands for 1.36 of full scale and maps to 1387.
        constexpr double top = 1.36;
        const double scale = (kCodeMax - 1) / bt709ToLinear(top);
        std::array<uint16_t, kCodeMax + 1> t{};
        for (int i = 0; i <= kCodeMax; ++i)
            t[i] = static_cast<uint16_t>(std::lround(scale * bt709ToLinear(top * i / kCodeMax)));
        return t;
    }();
    return table;
}

const std::array<uint16_t, kCodeMax + 1>& PcdColorConverter::sRGBTable() {
    static const auto table = [] {
        std::array<uint16_t, kCodeMax + 1> t{};
        for (int i = 0; i <= kCodeMax; ++i)
            // The nudge keeps exact products (white) from flooring one code low.
            t[i] = static_cast<uint16_t>(
                std::floor(kCodeMax * linearToSRGB(static_cast<double>(i) / kCodeMax) + 1e-9));
        return t;
    }();
    return table;
}

PcdColorConverter::PcdColorConverter(int colorMode, bool applyMatrix)
    : mode_(colorMode), applyMatrix_(applyMatrix) {
    linearTable();
    sRGBTable();
}

PcdRgb PcdColorConverter::yccToRgb(int y, int c1, int c2) const {
    const int v = 5573 * y;
    const int e = 9085 * c1 - 1417260;
    const int c = 7461 * c2 - 1022157;
    return {clampCode((v + c) >> 10), clampCode((v >> 10) + e / -5278 + c / -2012), clampCode((v + e) >> 10)};
}

PcdRgb PcdColorConverter::linearise(PcdRgb v) const {
    const auto& lin = linearTable();
    PcdRgb l{lin[v.r], lin[v.g], lin[v.b]};
    if (applyMatrix_)
        l = {(5930 * l.r - 143 * l.g + 393 * l.b) >> 13, (-176 * l.r + 6268 * l.g + 131 * l.b) >> 13,
             (76 * l.r - 128 * l.g + 8256 * l.b) >> 13};
    return l;
}

PcdRgb PcdColorConverter::convert(int y, int c1, int c2) const {
    if (mode_ == kModeScaledYCC) {
        auto scaled = [](int x) {
            return clampCode(static_cast<int>((static_cast<int64_t>(x) * 2994414646272LL) >> 39));
        };
        return {scaled(y), scaled(c1), scaled(c2)};
    }
    PcdRgb v = yccToRgb(y, c1, c2);
    if (mode_ != kModeLinear && mode_ != kModeSRGB) return v;
    v = linearise(v);
    if (mode_ == kModeSRGB) {
        const auto& out = sRGBTable();
        auto encode = [&](int x) { return x < 1 ? 0 : static_cast<int>(out[std::min(x, kCodeMax)]); };
        return {encode(v.r), encode(v.g), encode(v.b)};
    }
    return {clampCode(v.r), clampCode(v.g), clampCode(v.b)};
}

} // namespace photocd
