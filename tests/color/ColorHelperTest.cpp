#include <gtest/gtest.h>

#include <cmath>

#include "color/ColorHelper.h"
#include "dng/dng_isotemperature_table.h"

namespace {

// The Planckian locus in CIE 1960 uv by Krystek's rational approximation (1985), an
// independent check on the tabulated isotemperature lines between 1000 K and 15000 K.
std::array<double, 2> planckianUV(double kelvin) {
    double T = kelvin;
    double u = (0.860117757 + 1.54118254e-4 * T + 1.28641212e-7 * T * T) /
               (1 + 8.42420235e-4 * T + 7.08145163e-7 * T * T);
    double v = (0.317398726 + 4.22806245e-5 * T + 4.20481691e-8 * T * T) /
               (1 - 2.89741816e-5 * T + 1.61456053e-7 * T * T);
    return {u, v};
}

TEST(ColorHelper, IsotemperatureLinesLieOnAndAcrossThePlanckianLocus) {
    for (const auto& line : kIsotemperatureTable) {
        if (line.mired < 70) continue; // beyond the approximation's range
        double T = 1e6 / line.mired;
        auto uv = planckianUV(T);
        EXPECT_NEAR(line.u, uv[0], 2e-4) << line.mired;
        EXPECT_NEAR(line.v, uv[1], 2e-4) << line.mired;
        // The isotemperature line is normal to the locus: compare directions as angles.
        auto a = planckianUV(T * 1.001), b = planckianUV(T * 0.999);
        double normalSlope = -(a[0] - b[0]) / (a[1] - b[1]);
        EXPECT_NEAR(std::atan(line.t), std::atan(normalSlope), 0.03) << line.mired;
    }
    EXPECT_EQ(kIsotemperatureTable.front().t, -0.24341);
    EXPECT_EQ(kIsotemperatureTable.back().t, -116.45);
}

struct WhiteCase {
    const char* name;
    XYCoord xy;
    float kelvin, kelvinTolerance;
    float tint, tintTolerance;
};

TEST(ColorHelper, ChromaticityToTemperatureAndTint) {
    const WhiteCase cases[] = {
        {"D65", ColorHelper::D65_xy_coord(), 6504, 3, 9.8f, 0.2f},
        {"D50", ColorHelper::D50_xy_coord(), 5001, 3, 9.6f, 0.2f},
        {"far blue", {0.20f, 0.20f}, 14000, 0, 0, 1000},
        // Beyond the last isotemperature line (600 mired) the search stops on that line.
        {"far warm", {0.60f, 0.39f}, 1e6f / 600, 0.01f, 0, 1000},
        // Above the locus (green) the tint is positive.
        {"far green", {0.30f, 0.60f}, 0, 1e6, 150, 0},
        {"far magenta", {0.35f, 0.25f}, 0, 1e6, -150, 0},
    };
    for (const auto& k : cases) {
        ColorHelper helper;
        helper.setFromxyCoord(k.xy[0], k.xy[1]);
        EXPECT_NEAR(helper.fTemperature(), k.kelvin, k.kelvinTolerance) << k.name;
        EXPECT_NEAR(helper.fTint(), k.tint, k.tintTolerance) << k.name;
        EXPECT_GE(helper.fTemperature(), 1000) << k.name;
        EXPECT_LE(helper.fTemperature(), 14000) << k.name;
    }
}

TEST(ColorHelper, ImpossibleChromaticityKeepsTheWhiteBalance) {
    ColorHelper helper;
    helper.setFTemperature(5500);
    helper.setFTint(3);
    helper.setFromxyCoord(1.5f, 0.0f); // 1.5 - x + 6y = 0
    EXPECT_EQ(helper.fTemperature(), 5500);
    EXPECT_EQ(helper.fTint(), 3);
}

TEST(ColorHelper, TemperatureOnATableRowGivesThatRowsPoint) {
    // 5000 K is the 200 mired row exactly: (u, v) = (0.21142, 0.32312), slope -1.0182.
    const double u = 0.21142, v = 0.32312, t = -1.0182;
    for (float tint : {0.0f, 30.0f, -45.0f}) {
        ColorHelper helper;
        helper.setFTemperature(5000);
        helper.setFTint(tint);
        double offset = tint / -3000.0, len = std::sqrt(1 + t * t);
        double uu = u + offset / len, vv = v + offset * t / len;
        double d = uu - 4 * vv + 2;
        XYCoord xy = helper.getxyCoord();
        EXPECT_NEAR(xy[0], 1.5 * uu / d, 1e-6) << tint;
        EXPECT_NEAR(xy[1], vv / d, 1e-6) << tint;
    }
    ColorHelper plain;
    plain.setFTemperature(5000);
    plain.setFTint(0);
    XYCoord xy = plain.getxyCoord();
    EXPECT_NEAR(xy[0], 0.3451, 1e-4);
    EXPECT_NEAR(xy[1], 0.3516, 1e-4);
}

TEST(ColorHelper, WhiteBalanceRoundTrips) {
    const std::pair<float, float> settings[] = {{2850, 0}, {3200, 25}, {5500, -10}, {7500, 40}, {12000, -90}};
    for (auto [kelvin, tint] : settings) {
        ColorHelper helper;
        helper.setFTemperature(kelvin);
        helper.setFTint(tint);
        XYZCoord xyz = helper.getXYZCoord();
        ColorHelper back;
        back.setFromXYZCoord(xyz);
        EXPECT_NEAR(back.fTemperature(), kelvin, kelvin * 1e-3) << kelvin;
        EXPECT_NEAR(back.fTint(), tint, 0.05) << kelvin;
    }
}

TEST(ColorHelper, ProPhotoWhiteIsD50) {
    ColorHelper fromRGB, fromXY;
    fromRGB.setFromProPhotoRGB(1, 1, 1);
    fromXY.setFromxyCoord(0.3457f, 0.3585f);
    EXPECT_NEAR(fromRGB.fTemperature(), fromXY.fTemperature(), 2);
    EXPECT_NEAR(fromRGB.fTint(), fromXY.fTint(), 0.1);
    XYZCoord xyz = ColorHelper::ProPhotoRGBtoXYZ(0.5f, 0.25f, 2.0f);
    EXPECT_FLOAT_EQ(xyz[0], 0.7977f * 0.5f + 0.1352f * 0.25f + 0.0313f * 2.0f);
    EXPECT_FLOAT_EQ(xyz[2], 0.8249f * 2.0f);
}

TEST(ColorHelper, ChromaticityAndXYZConversions) {
    EXPECT_EQ(ColorHelper::XYZtoXY({0, 0, 0}), ColorHelper::D50_xy_coord());
    EXPECT_EQ(ColorHelper::XYZtoXY({-1, 0.5f, 0.2f}), ColorHelper::D50_xy_coord());
    XYCoord third = ColorHelper::XYZtoXY({2, 2, 2});
    EXPECT_FLOAT_EQ(third[0], 1.0f / 3);

    // (0.6, 0.6) is scaled onto x + y = 0.999999: both 0.4999995.
    XYZCoord over = ColorHelper::XYtoXYZ({0.6f, 0.6f});
    EXPECT_FLOAT_EQ(over[0], 1.0f);
    EXPECT_FLOAT_EQ(over[1], 1.0f);
    EXPECT_NEAR(over[2], 1e-6f / 0.4999995f, 1e-6);
    // Zero is clamped to 1e-6, which keeps the division finite.
    XYZCoord zero = ColorHelper::XYtoXYZ({0, 0});
    EXPECT_FLOAT_EQ(zero[0], 1.0f);
    EXPECT_NEAR(zero[2], (1 - 2e-6) / 1e-6, 1);
    XYZCoord d65 = ColorHelper::XYtoXYZ(ColorHelper::D65_xy_coord());
    EXPECT_NEAR(d65[0], 0.3127 / 0.3290, 1e-6);
    EXPECT_NEAR(d65[2], (1 - 0.3127 - 0.3290) / 0.3290, 1e-6);
}

TEST(ColorHelper, SRGBMatrixMapsWhiteToD65) {
    XYZCoord white = apply3x3(ColorHelper::XYZFromsRGB_D65(), {1, 1, 1});
    XYCoord xy = ColorHelper::XYZtoXY(white);
    EXPECT_NEAR(xy[0], 0.3127, 1e-4);
    EXPECT_NEAR(xy[1], 0.3290, 1e-4);
    EXPECT_NEAR(white[1], 1.0, 1e-6);
}

TEST(ColorHelper, AdaptationMapsOneWhiteOntoTheOther) {
    Matrix3x3 same = ColorHelper::MapWhiteMatrix(ColorHelper::D65_xy_coord(), ColorHelper::D65_xy_coord());
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(same[r][c], r == c ? 1.0f : 0.0f, 1e-5) << r << c;

    const std::pair<XYCoord, XYCoord> pairs[] = {{ColorHelper::D65_xy_coord(), ColorHelper::D50_xy_coord()},
                                                 {ColorHelper::StdA_xy_coord(), ColorHelper::D75_xy_coord()},
                                                 {ColorHelper::D55_xy_coord(), ColorHelper::StdA_xy_coord()}};
    for (const auto& [from, to] : pairs) {
        Matrix3x3 m = ColorHelper::MapWhiteMatrix(from, to);
        XYZCoord mapped = apply3x3(m, ColorHelper::XYtoXYZ(from));
        XYZCoord expected = ColorHelper::XYtoXYZ(to);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(mapped[k], expected[k], 1e-4) << from[0] << " " << k;
    }
}

TEST(Matrix3x3, InverseProductAndApply) {
    const Matrix3x3 m = {{{2, 0, 1}, {1, 3, 0}, {0, 1, 4}}}; // determinant 25
    Matrix3x3 inverse;
    ASSERT_TRUE(invert3x3(m, inverse));
    EXPECT_FLOAT_EQ(inverse[0][0], 12.0f / 25);
    EXPECT_FLOAT_EQ(inverse[0][2], -3.0f / 25);
    Matrix3x3 identity = multiply3x3(m, inverse);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(identity[r][c], r == c ? 1.0f : 0.0f, 1e-6);
    EXPECT_EQ(apply3x3(m, {1, 2, 3}), (Vector3{5, 7, 14}));
    EXPECT_EQ(multiply3x3(m, m)[0], (std::array<float, 3>{4, 1, 6}));

    const Matrix3x3 nearlySingular = {{{1e-4f, 0, 0}, {0, 1e-4f, 0}, {0, 0, 1e-3f}}}; // 1e-11
    Matrix3x3 out = {};
    EXPECT_FALSE(invert3x3(nearlySingular, out));
    EXPECT_EQ(out, nearlySingular);
}

} // namespace
