#include "color/ColorHelper.h"

#include <algorithm>
#include <cmath>

#include "dng/dng_isotemperature_table.h"
#include "dng/dng_temperature.h"
#include "platform/Log.h"

namespace {

const auto& kTable = kIsotemperatureTable;

// Unit vector along the isotemperature line of a table row.
std::array<double, 2> lineDirection(const IsotemperatureLine& row) {
    double len = std::sqrt(1.0 + row.t * row.t);
    return {1.0 / len, row.t / len};
}

} // namespace

Matrix3x3 ColorHelper::XYZFromsRGB_D50() {
    return {{{0.4361f, 0.3851f, 0.1431f}, {0.2225f, 0.7169f, 0.0606f}, {0.0139f, 0.0971f, 0.7141f}}};
}

Matrix3x3 ColorHelper::XYZFromsRGB_D65() {
    return {{{0.4124564f, 0.3575761f, 0.1804375f},
             {0.2126729f, 0.7151522f, 0.0721750f},
             {0.0193339f, 0.1191920f, 0.9503041f}}};
}

Matrix3x3 ColorHelper::XYZFromProPhoto() {
    return {{{0.7977f, 0.1352f, 0.0313f}, {0.2880f, 0.7119f, 0.0001f}, {0.0000f, 0.0000f, 0.8249f}}};
}

Matrix3x3 ColorHelper::bradford() {
    return {{{0.8951f, 0.2664f, -0.1614f}, {-0.7502f, 1.7135f, 0.0367f}, {0.0389f, -0.0685f, 1.0296f}}};
}

XYCoord ColorHelper::StdA_xy_coord() { return {0.4476f, 0.4074f}; }
XYCoord ColorHelper::D50_xy_coord() { return {0.3457f, 0.3585f}; }
XYCoord ColorHelper::D55_xy_coord() { return {0.3324f, 0.3474f}; }
XYCoord ColorHelper::D65_xy_coord() { return {0.3127f, 0.3290f}; }
XYCoord ColorHelper::D75_xy_coord() { return {0.2990f, 0.3149f}; }

XYCoord ColorHelper::XYZtoXY(const XYZCoord& xyz) {
    float sum = xyz[0] + xyz[1] + xyz[2];
    if (!(sum > 0)) return D50_xy_coord();
    return {xyz[0] / sum, xyz[1] / sum};
}

XYZCoord ColorHelper::XYtoXYZ(const XYCoord& xy) {
    float x = std::clamp(xy[0], 0.000001f, 0.999999f);
    float y = std::clamp(xy[1], 0.000001f, 0.999999f);
    if (x + y > 0.999999f) {
        float scale = 0.999999f / (x + y);
        x *= scale;
        y *= scale;
    }
    return {x / y, 1.0f, (1.0f - x - y) / y};
}

XYZCoord ColorHelper::ProPhotoRGBtoXYZ(float r, float g, float b) {
    return apply3x3(XYZFromProPhoto(), {r, g, b});
}

Matrix3x3 ColorHelper::MapWhiteMatrix(const XYCoord& white1, const XYCoord& white2) {
    const Matrix3x3 cone = bradford();
    Vector3 w1 = apply3x3(cone, XYtoXYZ(white1));
    Vector3 w2 = apply3x3(cone, XYtoXYZ(white2));
    Matrix3x3 scale{};
    for (int k = 0; k < 3; ++k) {
        float a = std::max(w1[k], 0.0f), b = std::max(w2[k], 0.0f);
        scale[k][k] = std::clamp(a > 0 ? b / a : 10.0f, 0.1f, 10.0f);
    }
    Matrix3x3 inverse;
    if (!invert3x3(cone, inverse))
        LV_LOG("%s - could not invert matrix; dterminant not found",
               "+[ColorHelper MapWhiteMatrix:toWhite:whiteMatrix:]");
    return multiply3x3(inverse, multiply3x3(scale, cone));
}

void ColorHelper::dumpMatrix(const Matrix3x3& m) {
    for (const auto& row : m)
        LV_LOG("%0.4f %0.4f %0.4f", row[0], row[1], row[2]);
    LV_LOG("%s", "");
}

void ColorHelper::setFromxyCoord(float x, float y) {
    // No chromaticity behind it: keep the white balance there is.
    const double denominator = 1.5 - x + 6.0 * y;
    if (!std::isfinite(2.0 * x / denominator) || !std::isfinite(3.0 * y / denominator)) return;
    dng_temperature white;
    white.SetFromXY(dng_xy_coord(x, y));
    fTemperature_ = float(std::clamp(white.Temperature(), 1000.0, 14000.0));
    fTint_ = float(std::clamp(white.Tint(), -150.0, 150.0));
}

XYCoord ColorHelper::getxyCoord() const {
    // An unset or impossible temperature reads as the warmest one the setters produce.
    const double kelvin = fTemperature_ > 0 && std::isfinite(fTemperature_) ? fTemperature_ : 1000.0;
    const double r = 1.0e6 / kelvin;
    const double offset = fTint_ / kTintScale;
    size_t i = 0;
    while (i < kTable.size() - 2 && !(r < kTable[i + 1].mired))
        ++i;
    const IsotemperatureLine& a = kTable[i];
    const IsotemperatureLine& b = kTable[i + 1];
    const double f = (b.mired - r) / (b.mired - a.mired);
    double u = a.u * f + b.u * (1.0 - f);
    double v = a.v * f + b.v * (1.0 - f);
    auto da = lineDirection(a), db = lineDirection(b);
    double du = da[0] * f + db[0] * (1.0 - f), dv = da[1] * f + db[1] * (1.0 - f);
    const double len = std::hypot(du, dv);
    u += offset * du / len;
    v += offset * dv / len;
    const double denominator = u - 4.0 * v + 2.0;
    return {float(1.5 * u / denominator), float(v / denominator)};
}

void ColorHelper::setFromXYZCoord(const XYZCoord& xyz) {
    XYCoord xy = XYZtoXY(xyz);
    setFromxyCoord(xy[0], xy[1]);
}

XYZCoord ColorHelper::getXYZCoord() const { return XYtoXYZ(getxyCoord()); }

void ColorHelper::setFromProPhotoRGB(float r, float g, float b) {
    setFromXYZCoord(ProPhotoRGBtoXYZ(r, g, b));
}
