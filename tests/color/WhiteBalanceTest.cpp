#include <gtest/gtest.h>

#include <array>

#include "color/ComputeMatrixAndLUT.h"
#include "color/WhiteBalance.h"
#include "engine/core/ImageBufferF32.h"

namespace {

using platform::Dictionary;

XYCoord xyOf(const XYZCoord& xyz) { return ColorHelper::XYZtoXY(xyz); }

// The temperature and tint a document shows for an as-shot white.
ColorHelper balanceOf(const XYCoord& white) {
    ColorHelper c;
    c.setFromxyCoord(white[0], white[1]);
    return c;
}

Dictionary cameraWith(double x, double y) {
    return Dictionary{{WhiteBalance::kAsShotWhiteX, x}, {WhiteBalance::kAsShotWhiteY, y}};
}

Dictionary settingsWith(double kelvin, double tint) {
    return Dictionary{{WhiteBalance::kInputTemperature, kelvin}, {WhiteBalance::kInputTint, tint}};
}

std::array<float, 16> matrixFor(const Dictionary& settings, const Dictionary& camera) {
    ComputeMatrixAndLUT compute;
    compute.setImageParameters(settings);
    compute.setCameraParameters(camera);
    auto lut = ImageBufferF32::create(16, 1);
    std::array<float, 16> m{};
    float offset, kneeLow, kneeF;
    EXPECT_TRUE(compute.populateFloatLUTAndMatrix(lut.get(), m.data(), &offset, &kneeLow, &kneeF));
    return m;
}

// Published Bradford matrices (B. Lindbloom, "Chromatic Adaptation", with his reference
// whites in XYZ) against the adaptation built from the whites' chromaticities.
TEST(WhiteBalance, KnownBradfordPairs) {
    const XYZCoord d65{0.95047f, 1, 1.08883f}, d50{0.96422f, 1, 0.82521f};
    const struct {
        const char* name;
        XYZCoord from, to;
        Matrix3x3 expected;
    } pairs[] = {
        {"D65 to D50",
         d65,
         d50,
         {{{1.0478112f, 0.0228866f, -0.0501270f},
           {0.0295424f, 0.9904844f, -0.0170491f},
           {-0.0092345f, 0.0150436f, 0.7521316f}}}},
        {"D50 to D65",
         d50,
         d65,
         {{{0.9555766f, -0.0230393f, 0.0631636f},
           {-0.0282895f, 1.0099416f, 0.0210077f},
           {0.0122982f, -0.0204830f, 1.3299098f}}}},
    };
    for (const auto& p : pairs) {
        const Matrix3x3 m = ColorHelper::MapWhiteMatrix(xyOf(p.from), xyOf(p.to));
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(m[r][c], p.expected[r][c], 2e-5) << p.name << " " << r << c;
    }
}

// At the as-shot balance, or with none in the settings, there is no adaptation at all, so
// a default render is bit for bit what it was; files without a white use the rendering's.
TEST(WhiteBalance, IdentityAtTheAsShotBalance) {
    const ColorHelper d65 = balanceOf(WhiteBalance::renderingWhite());
    const struct {
        const char* name;
        Dictionary camera;
        XYCoord asShot;
    } cases[] = {
        {"camera white", cameraWith(0.3301, 0.3502), {0.3301f, 0.3502f}},
        {"tungsten white", cameraWith(0.4476, 0.4074), {0.4476f, 0.4074f}},
        {"no white recorded", cameraWith(0, 0), WhiteBalance::renderingWhite()},
        {"white outside the triangle", cameraWith(0.7, 0.6), WhiteBalance::renderingWhite()},
        {"no white key", Dictionary{}, WhiteBalance::renderingWhite()},
    };
    const auto evenMix = matrixFor({}, {});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ColorHelper asShot = balanceOf(c.asShot);
        EXPECT_FALSE(WhiteBalance::adaptationForSettings(
            c.camera, settingsWith(asShot.fTemperature(), asShot.fTint())));
        EXPECT_FALSE(WhiteBalance::adaptationForSettings(c.camera, {}));
        EXPECT_EQ(matrixFor(settingsWith(asShot.fTemperature(), asShot.fTint()), c.camera), evenMix);
        // The same temperature away from the as-shot tint is a change.
        EXPECT_TRUE(WhiteBalance::adaptationForSettings(
            c.camera, settingsWith(asShot.fTemperature(), asShot.fTint() + 5)));
    }
    EXPECT_EQ(WhiteBalance::asShotWhite(cameraWith(0, 0)), WhiteBalance::renderingWhite());
    EXPECT_FALSE(WhiteBalance::asShotWhite(Dictionary{}));
    EXPECT_NEAR(d65.fTemperature(), 6504, 20);
}

// A colour the scene showed in the chosen white renders neutral; the as-shot white maps
// onto itself when chosen.
TEST(WhiteBalance, ChosenWhiteRendersNeutral) {
    Matrix3x3 fromXYZ;
    ASSERT_TRUE(invert3x3(ColorHelper::XYZFromProPhoto(), fromXYZ));
    const XYCoord asShot{0.3301f, 0.3502f};
    for (const XYCoord chosen :
         {ColorHelper::StdA_xy_coord(), ColorHelper::D75_xy_coord(), XYCoord{0.36f, 0.33f}}) {
        // The rendering holds the as-shot white as neutral (the profile's connection white).
        const Vector3 rendered =
            apply3x3(fromXYZ, apply3x3(ColorHelper::MapWhiteMatrix(asShot, ColorHelper::D50_xy_coord()),
                                       ColorHelper::XYtoXYZ(chosen)));
        const Vector3 out = apply3x3(WhiteBalance::renderingAdaptation(chosen, asShot), rendered);
        EXPECT_NEAR(out[0] / out[1], 1.0, 1e-3) << chosen[0];
        EXPECT_NEAR(out[2] / out[1], 1.0, 1e-3) << chosen[0];
    }
    const Matrix3x3 same = WhiteBalance::renderingAdaptation(asShot, asShot);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(same[r][c], r == c ? 1.0f : 0.0f, 1e-5);
}

// In the monochrome mix a warmer balance (a higher temperature: the light was bluer) lifts
// red and lowers blue, a colder one the opposite, while a neutral keeps its value and its
// tone-table index; the three output channels stay one value.
TEST(WhiteBalance, TemperatureWeighsRedAgainstBlueAndKeepsGreys) {
    const Dictionary camera = cameraWith(0.3127, 0.3290);
    const auto asShot = matrixFor({}, camera);
    const auto cold = matrixFor(settingsWith(3000, 0), camera);
    const auto warm = matrixFor(settingsWith(9000, 0), camera);
    const auto weight = [](const std::array<float, 16>& m, int channel) { return m[4 * channel]; };
    EXPECT_GT(weight(warm, 0), weight(asShot, 0));
    EXPECT_LT(weight(cold, 0), weight(asShot, 0));
    EXPECT_LT(weight(warm, 2), weight(asShot, 2));
    EXPECT_GT(weight(cold, 2), weight(asShot, 2));
    for (const auto* m : {&cold, &warm}) {
        for (int column : {0, 3})
            EXPECT_NEAR((*m)[column] + (*m)[4 + column] + (*m)[8 + column],
                        asShot[column] + asShot[4 + column] + asShot[8 + column], 1e-5 * (column ? 4096 : 1));
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ((*m)[4 * row], (*m)[4 * row + 1]);
            EXPECT_EQ((*m)[4 * row], (*m)[4 * row + 2]);
        }
        for (int k = 12; k < 16; ++k)
            EXPECT_EQ((*m)[k], 0.0f);
    }
    // Tint moves green against red and blue, the two signs in opposite directions.
    const ColorHelper d65 = balanceOf({0.3127f, 0.3290f});
    const float green = weight(asShot, 1);
    const float plus = weight(matrixFor(settingsWith(d65.fTemperature(), d65.fTint() + 60), camera), 1);
    const float minus = weight(matrixFor(settingsWith(d65.fTemperature(), d65.fTint() - 60), camera), 1);
    EXPECT_LT((plus - green) * (minus - green), 0) << plus << " " << minus;
}

} // namespace
