#include <gtest/gtest.h>

#include <memory>

#include "raw/core/SplineCurve.h"

using namespace raw;

namespace {

std::unique_ptr<DecoderState> stateWithRamp() {
    auto s = std::make_unique<DecoderState>();
    for (int i = 0; i < 65536; ++i)
        s->tone_table[i] = uint16_t(65535 - i);
    return s;
}

} // namespace

TEST(SplineCurve, TwoEndPointsGiveTheIdentity) {
    auto s = stateWithRamp();
    const int32_t x[] = {0, 65535}, y[] = {0, 65535};
    build_spline_curve(*s, x, y, 2);
    for (int i = 0; i < 65536; i += 97)
        EXPECT_EQ(s->tone_table[i], i);
    EXPECT_EQ(s->tone_table[65535], 65535);
}

TEST(SplineCurve, PassesThroughItsPointsSmoothly) {
    auto s = stateWithRamp();
    const int32_t x[] = {0, 16384, 32768, 65535}, y[] = {0, 24000, 40000, 65535};
    build_spline_curve(*s, x, y, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(s->tone_table[x[i]], y[i], 1) << "knot " << i;
    for (int k = 1; k < 65536; ++k)
        ASSERT_GE(s->tone_table[k] + 2, s->tone_table[k - 1]) << k;
}

TEST(SplineCurve, PointsThatDoNotRiseLeaveTheTableAlone) {
    struct Case {
        std::vector<int32_t> x, y;
    };
    const Case cases[] = {
        {{0, 30000, 30000, 65535}, {0, 100, 200, 65535}}, // a repeated x would divide by zero
        {{0, 40000, 20000, 65535}, {0, 100, 200, 65535}},
        {{100}, {100}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        auto s = stateWithRamp();
        build_spline_curve(*s, c.x.data(), c.y.data(), int(c.x.size()));
        for (int i = 0; i < 65536; i += 4099)
            EXPECT_EQ(s->tone_table[i], 65535 - i);
    }
}

TEST(SplineCurve, OutsideThePointsIsZeroAndValuesClamp) {
    auto s = stateWithRamp();
    const int32_t x[] = {1000, 30000, 60000}, y[] = {0, 70000, 65535};
    build_spline_curve(*s, x, y, 3);
    EXPECT_EQ(s->tone_table[999], 0);
    EXPECT_EQ(s->tone_table[60001], 0);
    EXPECT_EQ(s->tone_table[30000], 65535) << "values above white clamp";
}
