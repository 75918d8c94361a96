// L*a*b* of camera values against the formula computed here in double precision.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "raw/develop/CieLab.h"
#include "tests/raw/IdentifiedState.h"

namespace {

double f(double r) { return r > 0.008856 ? std::cbrt(r) : 7.787 * r + 16 / 116.0; }

struct Lab {
    int L, a, b;
};

Lab convert(const raw::cielab_table& table, uint16_t r, uint16_t g, uint16_t b) {
    const uint16_t camera[4] = {r, g, b, 0};
    int16_t lab[3];
    raw::cielab(table, camera, lab);
    return {lab[0], lab[1], lab[2]};
}

class CieLab : public ::testing::Test {
  protected:
    // Camera colours are linear sRGB here: the state's matrix is the identity.
    std::unique_ptr<raw::DecoderState> s = testsupport::identified_state();
    std::unique_ptr<raw::cielab_table> table = std::make_unique<raw::cielab_table>();
    void SetUp() override { raw::cielab(*s, *table); }
};

TEST_F(CieLab, CubeRootTableFollowsTheFormulaOnBothSidesOfTheKnee) {
    // 580 / 65535 lies just below 0.008856, 581 / 65535 just above.
    for (int i : {0, 1, 579, 580, 581, 582, 30000, 65535})
        EXPECT_NEAR(table->cube_root[i], f(i / 65535.0), 1e-6) << i;
    EXPECT_LT(table->cube_root[580], std::cbrt(580 / 65535.0));      // the linear part is taken
    EXPECT_NEAR(table->cube_root[581], table->cube_root[580], 2e-4); // and joins the curve
}

TEST_F(CieLab, NeutralsHaveLightnessAlone) {
    for (uint16_t v : {uint16_t(0), uint16_t(580), uint16_t(581), uint16_t(12000), uint16_t(65535)}) {
        const Lab lab = convert(*table, v, v, v);
        EXPECT_EQ(lab.L, int(64 * (116 * f(v / 65535.0) - 16))) << v;
        EXPECT_EQ(lab.a, 0) << v;
        EXPECT_EQ(lab.b, 0) << v;
    }
    EXPECT_EQ(convert(*table, 0, 0, 0).L, 0);
    EXPECT_EQ(convert(*table, 65535, 65535, 65535).L, 6400);
}

TEST_F(CieLab, ColoursGoThroughTheCameraMatrixToXyz) {
    // Red: positive a and b, each on the formula through the sRGB-to-XYZ matrix.
    const Lab red = convert(*table, 40000, 0, 0);
    EXPECT_GT(red.a, 0);
    EXPECT_GT(red.b, 0);
    const double x = 0.412453 * 40000 / 65535 / 0.950456, y = 0.212671 * 40000 / 65535,
                 z = 0.019334 * 40000 / 65535 / 1.088754;
    EXPECT_NEAR(red.L, 64 * (116 * f(y) - 16), 1.5);
    EXPECT_NEAR(red.a, 32000 * (f(x) - f(y)), 1.5 + 32000 * 1e-4);
    EXPECT_NEAR(red.b, 12800 * (f(y) - f(z)), 1.5 + 12800 * 1e-4);

    // A camera matrix that swaps red and blue turns the same camera value blue.
    for (int i = 0; i < 3; ++i)
        s->rgb_from_camera[i][i] = 0;
    s->rgb_from_camera[0][2] = s->rgb_from_camera[2][0] = s->rgb_from_camera[1][1] = 1;
    raw::cielab(*s, *table);
    const Lab blue = convert(*table, 40000, 0, 0);
    EXPECT_LT(blue.b, 0);
}

} // namespace
