#pragma once
// Shared colour science: fixed RGB-to-XYZ matrices, standard illuminants, conversions
// between chromaticity, XYZ and white-balance temperature and tint, and Bradford chromatic
// adaptation. An instance holds one white balance.
#include <array>

#include "color/Matrix3x3.h"

using XYCoord = std::array<float, 2>;
using XYZCoord = std::array<float, 3>;

class ColorHelper {
  public:
    // Tint scale: a tint of 1 is a perpendicular offset of -1/3000 from the locus in uv.
    static constexpr double kTintScale = -3000.0;

    static Matrix3x3 XYZFromsRGB_D50();
    static Matrix3x3 XYZFromsRGB_D65();
    static Matrix3x3 XYZFromProPhoto();
    static Matrix3x3 bradford();

    static XYCoord StdA_xy_coord();
    static XYCoord D50_xy_coord();
    static XYCoord D55_xy_coord();
    static XYCoord D65_xy_coord();
    static XYCoord D75_xy_coord();

    // D50 when X + Y + Z is not positive.
    static XYCoord XYZtoXY(const XYZCoord& xyz);
    // Y = 1; x and y are clamped to [1e-6, 0.999999] and scaled down when x + y passes 0.999999.
    static XYZCoord XYtoXYZ(const XYCoord& xy);
    static XYZCoord ProPhotoRGBtoXYZ(float r, float g, float b);
    // The Bradford adaptation taking colours seen under white1 to white2.
    static Matrix3x3 MapWhiteMatrix(const XYCoord& white1, const XYCoord& white2);
    static void dumpMatrix(const Matrix3x3& m);

    // Temperature clamped to [1000, 14000] K, tint to [-150, 150].
    void setFromxyCoord(float x, float y);
    XYCoord getxyCoord() const;
    void setFromXYZCoord(const XYZCoord& xyz);
    XYZCoord getXYZCoord() const;
    void setFromProPhotoRGB(float r, float g, float b);

    float fTint() const { return fTint_; }
    void setFTint(float tint) { fTint_ = tint; }
    float fTemperature() const { return fTemperature_; }
    void setFTemperature(float kelvin) { fTemperature_ = kelvin; }

  private:
    float fTint_ = 0;
    float fTemperature_ = 0;
};
