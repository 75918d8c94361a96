#include "dng/dng_1d_function.h"
#include "dng/dng_1d_table.h"
#include "dng/dng_memory.h"
#include "dng/dng_spline.h"
#include "dng/dng_temperature.h"
#include "dng/dng_tone_curve.h"
#include "dng/dng_xy_coord.h"

#include "DngErrorMatchers.h"

#include <cmath>
#include <set>

namespace {
class Line : public dng_1d_function {
  public:
    double Evaluate(double x) const override {
        evaluated.insert(x);
        return 0.25 + 0.5 * x;
    }
    mutable std::set<double> evaluated;
};

class Constant : public dng_1d_function {
  public:
    double Evaluate(double) const override { return 0.3; }
};

class Gamma : public dng_1d_function {
  public:
    double Evaluate(double x) const override { return std::pow(x, 2.2); }
};
} // namespace

TEST(Dng1dTable, SizeRules) {
    EXPECT_NO_THROW(dng_1d_table(512));
    try {
        dng_1d_table small(511);
        ADD_FAILURE();
    } catch (const dng_exception& e) {
        EXPECT_EQ(e.ErrorCode(), dng_error_unknown);
    }
    EXPECT_DNG_ERROR(dng_1d_table(768), dng_error_unknown);
}

TEST(Dng1dTable, SubSamplingEvaluatesOnlyWhereNeeded) {
    Line line;
    dng_1d_table table(1024);
    table.Initialize(gDefaultDNGMemoryAllocator, line, true);
    // A straight line is split down to ranges of 1024 / 256 = 4 entries, then interpolated.
    EXPECT_EQ(line.evaluated.size(), 257u);
    for (double x : line.evaluated)
        EXPECT_EQ(std::fmod(x * 1024, 4.0), 0.0) << x;
    for (uint32_t i = 0; i <= 1025; ++i)
        EXPECT_NEAR(table.Table()[i], 0.25 + 0.5 * std::min(i, 1024u) / 1024.0, 1e-6) << i;

    Gamma gamma;
    dng_1d_table curve(4096);
    curve.Initialize(gDefaultDNGMemoryAllocator, gamma, true);
    for (float x : {0.001f, 0.1f, 0.5f, 0.9f})
        EXPECT_NEAR(curve.Interpolate(x), std::pow(x, 2.2), 2e-4) << x;
    EXPECT_EQ(curve.Interpolate(std::nanf("")), 0.0f);
}

TEST(Dng1dFunction, InversesAndComposition) {
    EXPECT_EQ(Constant().EvaluateInverse(0.7), 1.0) << "a flat function stops at once";
    Gamma gamma;
    EXPECT_NEAR(gamma.EvaluateInverse(0.2), std::pow(0.2, 1 / 2.2), 1e-6);
    const dng_1d_inverse inverse(gamma);
    EXPECT_NEAR(inverse.Evaluate(0.2), std::pow(0.2, 1 / 2.2), 1e-6);
    EXPECT_NEAR(inverse.EvaluateInverse(0.5), std::pow(0.5, 2.2), 1e-12);

    const dng_1d_concatenate both(inverse, gamma);
    EXPECT_NEAR(both.Evaluate(0.3), 0.3, 1e-6);
    EXPECT_FALSE(both.IsIdentity());
    EXPECT_TRUE(dng_1d_concatenate(dng_1d_identity::Get(), dng_1d_identity::Get()).IsIdentity());
}

TEST(DngSpline, PassesThroughPointsWithContinuousSlope) {
    const double xs[] = {0.0, 0.1, 0.35, 0.6, 0.8, 1.0};
    const double ys[] = {0.0, 0.2, 0.45, 0.7, 0.85, 1.0};
    dng_spline_solver spline;
    for (int i = 0; i < 6; ++i)
        spline.Add(xs[i], ys[i]);
    spline.Solve();
    const double h = 1e-7;
    for (int i = 0; i < 6; ++i) {
        EXPECT_DOUBLE_EQ(spline.Evaluate(xs[i]), ys[i]);
        if (i == 0 || i == 5) continue;
        const double left = (spline.Evaluate(xs[i]) - spline.Evaluate(xs[i] - h)) / h;
        const double right = (spline.Evaluate(xs[i] + h) - spline.Evaluate(xs[i])) / h;
        EXPECT_NEAR(left, right, 1e-4) << "slope jumps at point " << i;
    }
    EXPECT_EQ(spline.Evaluate(-1.0), 0.0);
    EXPECT_EQ(spline.Evaluate(2.0), 1.0);

    dng_spline_solver identity;
    identity.Add(0.0, 0.0);
    identity.Add(1.0, 1.0);
    identity.Solve();
    EXPECT_TRUE(identity.IsIdentity());
    for (double x : {0.1, 0.37, 0.9})
        EXPECT_DOUBLE_EQ(identity.Evaluate(x), x);

    dng_spline_solver single;
    single.Add(0.5, 0.5);
    EXPECT_DNG_ERROR(single.Solve(), dng_error_unknown);
}

TEST(DngToneCurve, ValidityAndSolve) {
    dng_tone_curve curve;
    EXPECT_TRUE(curve.IsValid());
    curve.fCoord.insert(curve.fCoord.begin() + 1, dng_point_real64(0.6, 0.4)); // output 0.6 at input 0.4
    EXPECT_TRUE(curve.IsValid());
    dng_spline_solver spline;
    curve.Solve(spline);
    EXPECT_DOUBLE_EQ(spline.Evaluate(0.4), 0.6);

    dng_tone_curve bad = curve;
    bad.fCoord[1].h = 0.0; // inputs no longer strictly increase
    EXPECT_FALSE(bad.IsValid());
    EXPECT_NE(bad, curve);
    bad.Clear();
    EXPECT_FALSE(bad.IsValid());
}

TEST(DngTemperature, RobertsonAtKnownWhites) {
    dng_temperature t;
    t.SetFromXY(D50_xy_coord());
    EXPECT_NEAR(t.Temperature(), 5000.0, 20.0);
    EXPECT_LT(std::fabs(t.Tint()), 10.0);

    t.SetFromXY(dng_xy_coord(0.3127, 0.3290)); // D65
    EXPECT_NEAR(t.Temperature(), 6504.0, 20.0);

    t.SetFromXY(dng_xy_coord(0.5, 0.4)); // warmer than the last line
    EXPECT_GT(t.Temperature(), 1600.0);
    EXPECT_LT(t.Temperature(), 2600.0);
}

TEST(DngXYCoord, Conversions) {
    EXPECT_EQ(XYZtoXY(dng_vector_3(0, 0, 0)), D50_xy_coord());
    const dng_vector_3 xyz = D50_XYZ();
    EXPECT_NEAR(xyz[0], 0.3457 / 0.3585, 1e-12);
    EXPECT_EQ(xyz[1], 1.0);
    const dng_xy_coord back = XYZtoXY(xyz);
    EXPECT_NEAR(back.x, 0.3457, 1e-12);
    EXPECT_NEAR(back.y, 0.3585, 1e-12);
    const dng_vector_3 edge = XYtoXYZ(dng_xy_coord(0.9, 0.9));
    EXPECT_TRUE(std::isfinite(edge[0]) && edge[2] >= -1e-9);
}
