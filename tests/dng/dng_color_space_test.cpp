#include "dng/dng_color_space.h"
#include "dng/dng_function_GammaEncode_sRGB.h"
#include "dng/dng_xy_coord.h"

#include "MatrixExpectations.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <memory>
#include <tuple>

namespace {

// The usual derivation of an RGB-to-XYZ matrix from the xy of the primaries and the white.
dng_matrix PrimariesToXYZ(dng_xy_coord r, dng_xy_coord g, dng_xy_coord b, dng_xy_coord white) {
    const dng_xy_coord p[3] = {r, g, b};
    dng_matrix_3by3 m;
    for (uint32_t c = 0; c < 3; ++c) {
        m[0][c] = p[c].x / p[c].y;
        m[1][c] = 1.0;
        m[2][c] = (1.0 - p[c].x - p[c].y) / p[c].y;
    }
    const dng_vector s = Invert(m) * XYtoXYZ(white);
    return m * s.AsDiagonal();
}

// Bradford cone matrix as published with the CIECAM97s adaptation.
dng_matrix Bradford(dng_xy_coord from, dng_xy_coord to) {
    const dng_matrix_3by3 B(0.8951, 0.2664, -0.1614, -0.7502, 1.7135, 0.0367, 0.0389, -0.0685, 1.0296);
    const dng_vector a = B * XYtoXYZ(from), b = B * XYtoXYZ(to);
    dng_vector_3 s(b[0] / a[0], b[1] / a[1], b[2] / a[2]);
    return Invert(B) * s.AsDiagonal() * B;
}

} // namespace

TEST(dng_color_space, sRGBMatchesPublishedPrimariesAdaptedToD50) {
    const dng_xy_coord d65(0.3127, 0.3290);
    const dng_matrix expected =
        Bradford(d65, D50_xy_coord()) * PrimariesToXYZ({0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}, d65);
    ExpectMatrixNear(dng_space_sRGB::Get().MatrixToPCS(), expected, 5e-4);
}

TEST(dng_color_space, ProPhotoMatchesRommPrimaries) {
    const dng_matrix expected =
        PrimariesToXYZ({0.7347, 0.2653}, {0.1596, 0.8404}, {0.0366, 0.0001}, D50_xy_coord());
    ExpectMatrixNear(dng_space_ProPhoto::Get().MatrixToPCS(), expected, 5e-4);
}

TEST(dng_color_space, WhiteMapsToD50AndMatricesAreInverse) {
    for (const dng_color_space* space : {&dng_space_sRGB::Get(), &dng_space_ProPhoto::Get()}) {
        const dng_vector white = space->MatrixToPCS() * dng_vector_3(1, 1, 1);
        for (uint32_t i = 0; i < 3; ++i)
            EXPECT_NEAR(white[i], D50_XYZ()[i], 1e-12);
        dng_matrix identity;
        identity.SetIdentity(3);
        ExpectMatrixNear(space->MatrixFromPCS() * space->MatrixToPCS(), identity, 1e-12);
    }
}

TEST(dng_color_space, GrayIsMonochrome) {
    const dng_color_space& gray = dng_space_GrayGamma22::Get();
    EXPECT_TRUE(gray.IsMonochrome());
    ExpectMatrixNear(gray.MatrixToPCS(), D50_XYZ().AsColumn(), 0);
    // Luminance in, luminance out.
    EXPECT_EQ((gray.MatrixFromPCS() * gray.MatrixToPCS())[0][0], 1.0);
}

struct PowerCase {
    const dng_1d_function* function;
    double gamma;
    double x0;
    double y0;
};

class PowerCurve : public testing::TestWithParam<PowerCase> {};

TEST_P(PowerCurve, PowerAboveToeAndSmoothJoin) {
    const PowerCase& p = GetParam();
    for (double x : {p.x0 * 1.0001, 0.01, 0.18, 0.5, 1.0})
        EXPECT_NEAR(p.function->Evaluate(x), std::pow(x, 1.0 / p.gamma), 1e-12) << x;
    EXPECT_NEAR(p.function->Evaluate(p.x0), p.y0, 1e-8);
    EXPECT_EQ(p.function->Evaluate(0.0), 0.0);
    // Slope 32 at black and continuous slope at the join.
    const double h = 1e-9;
    EXPECT_NEAR(p.function->Evaluate(h) / h, 32.0, 1e-3);
    const double left = (p.function->Evaluate(p.x0) - p.function->Evaluate(p.x0 - h)) / h;
    const double right = (p.function->Evaluate(p.x0 + h) - p.function->Evaluate(p.x0)) / h;
    EXPECT_NEAR(left, right, right * 1e-3);
}

TEST_P(PowerCurve, InverseRoundTripsInToeAndAbove) {
    const PowerCase& p = GetParam();
    for (double x : {0.0, p.x0 * 0.01, p.x0 * 0.3, p.x0 * 0.9, p.x0, 0.05, 0.18, 0.7, 1.0})
        EXPECT_NEAR(p.function->EvaluateInverse(p.function->Evaluate(x)), x, 1e-9 + x * 1e-6) << x;
    EXPECT_EQ(p.function->EvaluateInverse(-0.5), 0.0);
    EXPECT_NEAR(p.function->EvaluateInverse(0.5), std::pow(0.5, p.gamma), 1e-15);
}

INSTANTIATE_TEST_SUITE_P(
    dng_color_space, PowerCurve,
    testing::Values(PowerCase{&dng_function_GammaEncode_1_8::Get(), 1.8, 0.00082118790552, 0.019310851},
                    PowerCase{&dng_function_GammaEncode_2_2::Get(), 2.2, 0.0034800731, 0.0763027458}));

TEST(dng_color_space, sRGBCurveAtTableOfPoints) {
    const dng_1d_function& f = dng_space_sRGB::Get().GammaFunction();
    const std::tuple<double, double> points[] = {{0.0, 0.0},        {0.001, 0.01292}, {0.0031308, 0.04045},
                                                 {0.18, 0.4613561}, {0.5, 0.7353570}, {1.0, 1.0}};
    for (const auto& [x, y] : points) {
        EXPECT_NEAR(f.Evaluate(x), y, 2e-6) << x;
        EXPECT_NEAR(f.EvaluateInverse(y), x, 2e-6) << y;
    }
    EXPECT_EQ(&f, &dng_function_GammaEncode_sRGB::Get());
}

namespace {

struct ProfileDeleter {
    void operator()(void* h) const { cmsCloseProfile(h); }
};
using Profile = std::unique_ptr<void, ProfileDeleter>;

Profile OpenICC(const dng_color_space& space) {
    uint32_t size = 0;
    const uint8_t* data = nullptr;
    EXPECT_TRUE(space.ICCProfile(size, data));
    EXPECT_NE(data, nullptr);
    return Profile(cmsOpenProfileFromMem(data, size));
}

void ExpectTagXYZ(cmsHPROFILE h, cmsTagSignature sig, double X, double Y, double Z) {
    const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(h, sig));
    ASSERT_NE(xyz, nullptr);
    // The file stores s15.16 fixed point.
    EXPECT_NEAR(xyz->X, X, 1e-4);
    EXPECT_NEAR(xyz->Y, Y, 1e-4);
    EXPECT_NEAR(xyz->Z, Z, 1e-4);
}

const cmsToneCurve* Curve(cmsHPROFILE h, cmsTagSignature sig) {
    return static_cast<const cmsToneCurve*>(cmsReadTag(h, sig));
}

} // namespace

TEST(dng_color_space, RGBProfilesReadBackWithTheirPrimariesWhiteAndCurve) {
    for (const dng_color_space* space : {&dng_space_sRGB::Get(), &dng_space_ProPhoto::Get()}) {
        Profile h = OpenICC(*space);
        ASSERT_TRUE(h);
        EXPECT_EQ(cmsGetColorSpace(h.get()), cmsSigRgbData);
        EXPECT_EQ(cmsGetDeviceClass(h.get()), cmsSigDisplayClass);
        EXPECT_NEAR(cmsGetProfileVersion(h.get()), 2.1, 1e-9);
        const dng_matrix& m = space->MatrixToPCS();
        const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                              cmsSigBlueColorantTag};
        for (uint32_t c = 0; c < 3; ++c)
            ExpectTagXYZ(h.get(), colorants[c], m[0][c], m[1][c], m[2][c]);
        ExpectTagXYZ(h.get(), cmsSigMediaWhitePointTag, D50_XYZ()[0], D50_XYZ()[1], D50_XYZ()[2]);
        const cmsToneCurve* curve = Curve(h.get(), cmsSigGreenTRCTag);
        ASSERT_NE(curve, nullptr);
        for (double y : {0.02, 0.3, 0.8})
            EXPECT_NEAR(cmsEvalToneCurveFloat(curve, float(y)), space->GammaFunction().EvaluateInverse(y),
                        1e-3)
                << y;
    }
}

TEST(dng_color_space, sRGBProfileCurveIsTabulated) {
    Profile h = OpenICC(dng_space_sRGB::Get());
    ASSERT_TRUE(h);
    const cmsToneCurve* curve = Curve(h.get(), cmsSigBlueTRCTag);
    ASSERT_NE(curve, nullptr);
    EXPECT_EQ(cmsGetToneCurveEstimatedTableEntries(curve), 1024u);
    EXPECT_EQ(cmsGetToneCurveParametricType(curve), 0);
}

TEST(dng_color_space, PowerProfilesStoreSingleGammaInFixedPoint) {
    const std::tuple<const dng_color_space*, cmsTagSignature, double> cases[] = {
        {&dng_space_ProPhoto::Get(), cmsSigRedTRCTag, 0x01CD / 256.0},
        {&dng_space_GrayGamma22::Get(), cmsSigGrayTRCTag, 0x0233 / 256.0}};
    for (const auto& [space, sig, gamma] : cases) {
        Profile h = OpenICC(*space);
        ASSERT_TRUE(h);
        const cmsToneCurve* curve = Curve(h.get(), sig);
        ASSERT_NE(curve, nullptr);
        ASSERT_EQ(cmsGetToneCurveParametricType(curve), 1);
        EXPECT_EQ(cmsGetToneCurveParams(curve)[0], gamma);
    }
    Profile gray = OpenICC(dng_space_GrayGamma22::Get());
    EXPECT_EQ(cmsGetColorSpace(gray.get()), cmsSigGrayData);
    ExpectTagXYZ(gray.get(), cmsSigMediaWhitePointTag, D50_XYZ()[0], D50_XYZ()[1], D50_XYZ()[2]);
}
