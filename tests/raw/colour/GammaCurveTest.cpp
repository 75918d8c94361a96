#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "raw/colour/CameraColour.h"

using raw::DecoderState;

namespace {

// The exact constants of the Rec. 709 transfer curve (continuous in value and slope).
constexpr double kRec709Alpha = 1.09929682680944;
constexpr double kRec709Beta = 0.018053968510807;

double rec709_encode(double linear) {
    return linear < kRec709Beta ? 4.5 * linear : kRec709Alpha * std::pow(linear, 0.45) - (kRec709Alpha - 1);
}

std::vector<uint16_t> curve(float power, float toe_slope, int mode, float white) {
    auto s = std::make_unique<DecoderState>();
    raw::build_gamma_curve(*s, power, toe_slope, mode, white);
    return {s->tone_table, s->tone_table + 65536};
}

} // namespace

TEST(GammaCurveTest, EncodingCurveFollowsTheRec709ClosedForm) {
    const auto table = curve(0.45f, 4.5f, 2, 65535);
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[65535], 65535);
    for (int i = 0; i < 65536; ++i) {
        const double expected = std::floor(65536 * rec709_encode(i / 65535.0));
        ASSERT_NEAR(table[i], std::min(expected, 65535.0), 2) << "entry " << i;
    }
    EXPECT_NEAR(table[100], 450, 1) << "linear foot of slope 4.5";
}

TEST(GammaCurveTest, ModeZeroStoresTheSolvedShape) {
    auto s = std::make_unique<DecoderState>();
    EXPECT_EQ(s->gamma_params[0], 0.45f);
    EXPECT_EQ(s->gamma_params[1], 4.5f);
    raw::build_gamma_curve(*s, 0.45f, 4.5f, 0, 65535);
    const float* g = s->gamma_params;
    EXPECT_EQ(g[0], 0.45f);
    EXPECT_EQ(g[1], 4.5f);
    EXPECT_NEAR(g[2], 4.5 * kRec709Beta, 1e-5) << "toe end, encoded side";
    EXPECT_NEAR(g[3], kRec709Beta, 1e-5) << "toe end, linear side";
    EXPECT_NEAR(g[4], kRec709Alpha - 1, 1e-5) << "offset";
    // The last one relates the curve's area to the identity's: 1 / area - 1.
    double area = 0;
    for (uint16_t v : curve(0.45f, 4.5f, 2, 65535))
        area += v / 65536.0;
    EXPECT_NEAR(g[5], 65536 / area - 1, 1e-3);
    EXPECT_EQ(s->tone_table[1234], 0) << "mode 0 leaves the table alone";
}

TEST(GammaCurveTest, DecodingCurveInvertsTheEncodingCurve) {
    const auto encode = curve(0.45f, 4.5f, 2, 65535);
    const auto decode = curve(0.45f, 4.5f, 1, 65535);
    for (int i = 0; i < 65536; i += 7)
        EXPECT_NEAR(decode[encode[i]], i, 3) << "entry " << i;
}

TEST(GammaCurveTest, CurvesOfSmallSensorsRiseFromBlackToWhite) {
    struct Case {
        float power, toe_slope, white;
    };
    // Decoding curves of cameras that store gamma-coded data, logarithmic ones included.
    const Case cases[] = {
        {0, 12.25f, 1023}, {1 / 2.4f, 12.92f, 4095}, {0.45f, 4.5f, 255}, {0, 7, 255}, {0, 3.875f, 255}};
    for (const auto& c : cases) {
        const auto table = curve(c.power, c.toe_slope, 1, c.white);
        EXPECT_EQ(table[0], 0) << c.power << "/" << c.toe_slope;
        EXPECT_EQ(table[int(c.white)], 65535) << c.power << "/" << c.toe_slope;
        EXPECT_EQ(table[65535], 65535) << c.power << "/" << c.toe_slope;
        for (int i = 1; i < 65536; ++i)
            ASSERT_GE(table[i], table[i - 1]) << c.power << "/" << c.toe_slope << " at " << i;
        EXPECT_GT(table[int(c.white) - 1], 60000) << "no jump at white";
    }
}
