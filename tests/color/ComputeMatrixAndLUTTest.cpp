#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "color/ComputeMatrixAndLUT.h"
#include "engine/core/ImageBufferF32.h"

namespace {

using C = ComputeMatrixAndLUT;

struct Result {
    std::shared_ptr<ImageBufferF32> lut;
    std::array<float, 16> matrix{};
    float outputOffset = -9, kneeLow = -9, kneeF = -9;
    bool ok = false;

    float gain(int i) const { return lut->bufferFloatForRow(0)[4 * i]; }
    // What the output stage makes of a grey pixel of table input x.
    float curve(int i) const { return gain(i) * float(i) / float(lut->imageWidth() - 1) + outputOffset; }
    // Output grey of a pure colour input (channel 0 red, 1 green, 2 blue).
    float greyOf(int channel) const { return matrix[4 * channel]; }
};

Result run(platform::Dictionary settings, platform::Dictionary camera = {}, bool cinematic = false,
           uint16_t width = 4096) {
    C compute;
    compute.setImageParameters(std::move(settings));
    compute.setCameraParameters(std::move(camera));
    compute.setEnableCinematic(cinematic);
    Result r;
    r.lut = ImageBufferF32::create(width, 1);
    r.ok = compute.populateFloatLUTAndMatrix(r.lut.get(), r.matrix.data(), &r.outputOffset, &r.kneeLow,
                                             &r.kneeF);
    return r;
}

TEST(ComputeMatrixAndLUT, NeutralSettingsGiveEvenMixAndUnitGains) {
    const Result r = run({});
    ASSERT_TRUE(r.ok);
    const float expected[16] = {1 / 3.f, 1 / 3.f, 1 / 3.f, 1228.8f, 1 / 3.f, 1 / 3.f, 1 / 3.f, 2457.6f,
                                1 / 3.f, 1 / 3.f, 1 / 3.f, 409.6f,  0,       0,       0,       0};
    for (int k = 0; k < 16; ++k)
        EXPECT_FLOAT_EQ(r.matrix[k], expected[k]) << k;
    EXPECT_FLOAT_EQ(r.outputOffset, 0);
    for (int i = 0; i < 4096; i += 91)
        EXPECT_NEAR(r.gain(i), 1.0f, 1e-5) << i;
    const float* last = r.lut->bufferFloatForRow(0, 4095);
    EXPECT_EQ(last[3], 1.0f);
    EXPECT_EQ(r.kneeF, -1);
    EXPECT_EQ(r.kneeLow, 0);
}

TEST(ComputeMatrixAndLUT, ExposureAndBaselineScaleTheMix) {
    const struct {
        double ev;
        double baseline;
        bool maintainWhites;
        double stops;
    } cases[] = {
        {1, 0, false, 1},      // +1 EV doubles linear values
        {0, -0.5, true, 0},    // a negative baseline is left to the profile's curve
        {0, 0.5, true, 0.5},   // a positive one always applies
        {1, -0.5, false, 0.5}, // without maintain-whites the negative one applies too
    };
    for (const auto& c : cases) {
        const Result r = run({{C::kInputEV, c.ev}, {C::kMaintainWhites, c.maintainWhites}},
                             {{C::kCameraBaselineExposure, c.baseline}});
        ASSERT_TRUE(r.ok);
        const float g = float(std::exp2(c.stops));
        EXPECT_FLOAT_EQ(r.greyOf(0) + r.greyOf(1) + r.greyOf(2), g) << c.ev << " " << c.baseline;
        EXPECT_FLOAT_EQ(r.matrix[3], 1228.8f);
    }
}

TEST(ComputeMatrixAndLUT, ChannelMixGivesDescribedGreyForPureColours) {
    const struct {
        double red, yellow, green, cyan, blue;
        float greyRed, greyGreen, greyBlue;
    } cases[] = {
        {2, 1, 1, 1, 1, 3 / 5.f, 1 / 5.f, 1 / 5.f},
        {1, 0, 1, 1, 1, 0, 0, 1},                         // yellow 0 takes red and green out
        {1, 1, 1, 3, 1, 1 / 7.f, 3 / 7.f, 3 / 7.f},       // cyan lifts green and blue
        {0.5, 1, 0.5, 1, 0.5, 1 / 3.f, 1 / 3.f, 1 / 3.f}, // weights cancel: even mix
    };
    for (const auto& c : cases) {
        const Result r = run({{C::kMonochromeRed, c.red},
                              {C::kMonochromeYellow, c.yellow},
                              {C::kMonochromeGreen, c.green},
                              {C::kMonochromeCyan, c.cyan},
                              {C::kMonochromeBlue, c.blue}});
        ASSERT_TRUE(r.ok);
        EXPECT_NEAR(r.greyOf(0), c.greyRed, 1e-6) << c.red << c.yellow << c.green << c.cyan << c.blue;
        EXPECT_NEAR(r.greyOf(1), c.greyGreen, 1e-6);
        EXPECT_NEAR(r.greyOf(2), c.greyBlue, 1e-6);
        for (int i = 0; i < 3; ++i)
            for (int j = 1; j < 3; ++j)
                EXPECT_EQ(r.matrix[4 * i + j], r.matrix[4 * i]);
    }
}

TEST(ComputeMatrixAndLUT, NegativeContrastLiftsBlackAndHalvesSlope) {
    const Result r = run({{C::kInputContrast, -1.0}});
    ASSERT_TRUE(r.ok);
    // (0 - 0.0625) / 2 + 0.0625 at black, (1 - 0.0625) / 2 + 0.0625 at white.
    EXPECT_FLOAT_EQ(r.outputOffset, 0.03125f);
    EXPECT_FLOAT_EQ(r.curve(4095), 0.53125f);
    EXPECT_NEAR(r.gain(4095), 0.5f, 1e-6);
}

TEST(ComputeMatrixAndLUT, ToneTableNeverFallsAboveTheShadows) {
    const Result r = run({{C::kInputContrast, 1.5},
                          {C::kInputBrightness, -2.0},
                          {C::kInputFillLight, 2.0},
                          {C::kInputHighLight, -1.0}});
    ASSERT_TRUE(r.ok);
    for (int i = 4096 / 8; i < 4096; ++i)
        ASSERT_GE(r.curve(i), r.curve(i - 1) - 1e-6) << i;
    EXPECT_NEAR(r.curve(511), r.curve(512), 1e-6);
}

TEST(ComputeMatrixAndLUT, BrightnessAndFillLightRaiseTheirTones) {
    const Result plain = run({});
    const Result bright = run({{C::kInputBrightness, 1.0}});
    const Result fill = run({{C::kInputFillLight, 1.0}});
    const int mid = int(0.18 * 4095), shadow = int(0.03 * 4095);
    EXPECT_GT(bright.curve(mid), plain.curve(mid) + 0.05);
    EXPECT_GT(fill.curve(shadow), plain.curve(shadow) * 1.5);
    // Fill light leaves tones above its limit alone.
    EXPECT_NEAR(fill.curve(4000), plain.curve(4000), 1e-6);
}

TEST(ComputeMatrixAndLUT, KneeMapsKneeHighOntoTheTarget) {
    const platform::Dictionary knee = {{C::kInputKneeLow, 1.0}, {C::kInputKneeHigh, 4.0}};
    EXPECT_EQ(run(knee).kneeF, -1) << "the knee needs the cinematic switch";
    EXPECT_EQ(run({{C::kInputKneeLow, 1.0}}, {}, true).kneeF, -1) << "and both settings";

    const Result r = run(knee, {}, true);
    ASSERT_TRUE(r.ok);
    EXPECT_FLOAT_EQ(r.kneeLow, 2.0f);
    ASSERT_GT(r.kneeF, 1e-4);
    // The output stage's knee: ln((c - low) f + 1) / f + low for c = 2^KneeHigh.
    const float mapped = std::log((16.0f - r.kneeLow) * r.kneeF + 1) / r.kneeF + r.kneeLow;
    EXPECT_NEAR(mapped, C::kKneeTarget, 1e-3);
}

TEST(ComputeMatrixAndLUT, KneeSolverFindsRootsEitherSideOfOneAndRejectsTheRest) {
    for (auto [a, b] : {std::pair{14.0f, 9.313708f}, {1.0f, 0.9f}, {1000.0f, 0.01f}}) {
        const float f = C::solveKnee(a, b);
        ASSERT_GT(f, 0) << a << " " << b;
        EXPECT_NEAR(std::log(a * f + 1) / f, b, b * 1e-4) << a << " " << b;
    }
    // No root: knee low at or past the target, knee high not above knee low, b >= a.
    for (auto [a, b] : {std::pair{5.0f, 0.0f}, {5.0f, -3.0f}, {0.0f, 1.0f}, {-1.0f, 1.0f}, {2.0f, 2.5f}})
        EXPECT_EQ(C::solveKnee(a, b), -1) << a << " " << b;
    EXPECT_EQ(run({{C::kInputKneeLow, 4.0}, {C::kInputKneeHigh, 5.0}}, {}, true).kneeF, -1);
}

TEST(ComputeMatrixAndLUT, MissingInputsWriteNothing) {
    auto lut = ImageBufferF32::create(16, 1);
    auto tiny = ImageBufferF32::create(1, 1);
    std::array<float, 16> matrix;
    matrix.fill(-9);
    float offset = -9, low = -9, f = -9;
    const struct {
        bool settings, camera, haveMatrix;
        ImageBufferF32* table;
    } cases[] = {{false, true, true, lut.get()},
                 {true, false, true, lut.get()},
                 {true, true, false, lut.get()},
                 {true, true, true, nullptr},
                 {true, true, true, tiny.get()}};
    for (const auto& c : cases) {
        C compute;
        if (c.settings) compute.setImageParameters(platform::Dictionary{});
        if (c.camera) compute.setCameraParameters(platform::Dictionary{});
        EXPECT_FALSE(compute.populateFloatLUTAndMatrix(c.table, c.haveMatrix ? matrix.data() : nullptr,
                                                       &offset, &low, &f));
    }
    for (float v : matrix)
        EXPECT_EQ(v, -9);
    EXPECT_EQ(offset, -9);
    EXPECT_EQ(low, -9);
    EXPECT_EQ(f, -9);
    EXPECT_EQ(lut->bufferFloatForRow(0)[0], 0.0f);
}

} // namespace
