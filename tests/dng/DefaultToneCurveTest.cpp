#include <gtest/gtest.h>

#include "dng/dng_tone_curve_acr3_default.h"

namespace {

using Curve = dng_tone_curve_acr3_default;

TEST(DefaultToneCurve, PassesThroughPublishedRowsAndNeverFalls) {
    const struct {
        int index;
        float value;
    } rows[] = {{0, 0.0f},       {1, 0.00078f},   {4, 0.00314f},    {16, 0.01485f},   {128, 0.25961f},
                {256, 0.52069f}, {512, 0.80486f}, {1000, 0.99664f}, {1023, 0.99987f}, {1024, 1.0f}};
    const auto& t = Curve::table();
    for (const auto& r : rows)
        EXPECT_FLOAT_EQ(t[r.index], r.value) << "row " << r.index;
    for (size_t i = 1; i < t.size(); ++i)
        ASSERT_GE(t[i], t[i - 1]) << "falls at " << i;
}

TEST(DefaultToneCurve, MatchesThePublishedInverseRows) {
    const struct {
        int index;
        float input;
    } rows[] = {{1, 0.00121f},   {4, 0.00496f},   {16, 0.01620f},  {64, 0.04292f},  {128, 0.07152f},
                {256, 0.12122f}, {512, 0.23787f}, {768, 0.43434f}, {1023, 0.99291f}};
    for (const auto& r : rows)
        EXPECT_NEAR(Curve::valueAt(r.input), r.index / 1024.0f, 3e-5) << r.index;
}

TEST(DefaultToneCurve, EndsAndOutsideInputsPassThrough) {
    for (float x : {-0.5f, 0.0f, 0.0009f, 1.0f, 1.5f})
        EXPECT_EQ(Curve::valueAt(x), x) << x;
    // Halfway between rows 256 and 257.
    const auto& t = Curve::table();
    EXPECT_FLOAT_EQ(Curve::valueAt(256.5f / 1024), (t[256] + t[257]) / 2);
    EXPECT_GT(Curve::valueAt(0.25f), 0.5f);
}

TEST(DefaultToneCurve, NormalizedRangeMapsOnlyInsideTheRange) {
    EXPECT_EQ(Curve::valueForNormalizedRange(0.2f, 0.25f, 1.0f), 0.2f);
    EXPECT_FLOAT_EQ(Curve::valueForNormalizedRange(0.5f, 0.25f, 1.0f), Curve::valueAt(1.0f / 3));
    // The result is not mapped back into the range.
    EXPECT_FLOAT_EQ(Curve::valueForNormalizedRange(0.25f + 0.75f * 0.25f, 0.25f, 1.0f),
                    Curve::valueAt(0.25f));
    EXPECT_EQ(Curve::valueForNormalizedRange(0.5f, 0.5f, 0.5f), 0.5f);
}

} // namespace
