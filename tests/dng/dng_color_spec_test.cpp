#include "dng/dng_color_spec.h"

#include "dng/dng_camera_profile.h"
#include "dng/dng_stream.h"
#include "dng/dng_temperature.h"

#include "DngErrorMatchers.h"
#include "MatrixExpectations.h"
#include "tests/support/TiffBuilder.h"

#include <cmath>
#include <memory>

namespace {

constexpr uint32_t kStandardA = 17; // 2850 K
constexpr uint32_t kD65 = 21;       // 6500 K

// Two invertible calibrations that differ enough to tell apart.
const dng_matrix_3by3 kWarmMatrix(0.7, -0.1, -0.05, -0.4, 1.3, 0.1, -0.1, 0.3, 0.6);
const dng_matrix_3by3 kCoolMatrix(0.9, -0.3, -0.1, -0.4, 1.2, 0.2, -0.05, 0.15, 0.7);

// Planckian whites well outside and between the two calibrations.
const dng_xy_coord kCandle(0.5267, 0.4133); // about 2000 K
const dng_xy_coord kShade(0.2807, 0.2883);  // about 10000 K
const dng_xy_coord kD55(0.3324, 0.3474);

std::unique_ptr<dng_camera_profile> TwoIlluminantProfile(uint32_t light1, uint32_t light2) {
    auto profile = std::make_unique<dng_camera_profile>();
    profile->SetCalibrationIlluminant1(light1);
    profile->SetCalibrationIlluminant2(light2);
    profile->SetColorMatrix1(kWarmMatrix);
    profile->SetColorMatrix2(kCoolMatrix);
    return profile;
}

dng_vector Normalized(dng_vector v) {
    v.Scale(1.0 / v.MaxEntry());
    return v;
}

dng_matrix Identity(uint32_t n) {
    dng_matrix m;
    m.SetIdentity(n);
    return m;
}

} // namespace

TEST(dng_color_spec, WhitesOutsideTheCalibrationsUseTheirOwnMatrix) {
    auto profile = TwoIlluminantProfile(kStandardA, kD65);
    dng_color_spec spec(dng_color_spec_camera{}, profile.get());
    const struct {
        dng_xy_coord white;
        const dng_matrix& matrix;
    } cases[] = {{kCandle, profile->ColorMatrix1()}, {kShade, profile->ColorMatrix2()}};
    for (const auto& c : cases) {
        EXPECT_EQ(spec.XYZtoCameraForWhite(c.white), c.matrix);
        spec.SetWhiteXY(c.white);
        ExpectVectorNear(spec.CameraWhite(), Normalized(c.matrix * XYtoXYZ(c.white)), 1e-12);
        EXPECT_EQ(spec.WhiteXY(), c.white);
    }
}

TEST(dng_color_spec, WhiteBetweenCalibrationsBlendsByInverseTemperature) {
    // Listing the cooler illuminant first must not change which set a white gets.
    for (const auto& [first, second] : {std::pair{kStandardA, kD65}, std::pair{kD65, kStandardA}}) {
        auto profile = TwoIlluminantProfile(first, second);
        const dng_matrix& warm = first == kStandardA ? profile->ColorMatrix1() : profile->ColorMatrix2();
        const dng_matrix& cool = first == kStandardA ? profile->ColorMatrix2() : profile->ColorMatrix1();
        dng_color_spec spec(dng_color_spec_camera{}, profile.get());
        dng_temperature t;
        t.SetFromXY(kD55);
        const double g = (1 / t.Temperature() - 1 / 6500.0) / (1 / 2850.0 - 1 / 6500.0);
        ASSERT_GT(g, 0.0);
        ASSERT_LT(g, 1.0);
        ExpectMatrixNear(spec.XYZtoCameraForWhite(kD55), g * warm + (1 - g) * cool, 1e-12);
        EXPECT_EQ(spec.XYZtoCameraForWhite(kCandle), warm);
    }
}

TEST(dng_color_spec, DegenerateSecondCalibrationFallsBackToTheFirst) {
    auto sameLight = TwoIlluminantProfile(kD65, kD65);
    auto unknownLight = TwoIlluminantProfile(kStandardA, 0);
    auto noSecond = std::make_unique<dng_camera_profile>();
    noSecond->SetCalibrationIlluminant1(kStandardA);
    noSecond->SetCalibrationIlluminant2(kD65);
    noSecond->SetColorMatrix1(kWarmMatrix);
    for (const dng_camera_profile* profile : {sameLight.get(), unknownLight.get(), noSecond.get()}) {
        dng_color_spec spec(dng_color_spec_camera{}, profile);
        for (const dng_xy_coord& white : {kCandle, kD55, kShade})
            EXPECT_EQ(spec.XYZtoCameraForWhite(white), profile->ColorMatrix1());
    }
}

TEST(dng_color_spec, AnalogBalanceAndMatchingCalibrationScaleTheColourMatrix) {
    auto profile = TwoIlluminantProfile(kStandardA, kD65);
    dng_color_spec_camera camera;
    camera.analogBalance = dng_vector_3(1.0, 0.5, 2.0);
    camera.cameraCalibration1 = dng_matrix_3by3(1.1, 0, 0, 0, 1, 0, 0, 0, 0.9);
    const dng_matrix expectedBoth =
        camera.analogBalance.AsDiagonal() * camera.cameraCalibration1 * profile->ColorMatrix1();
    const dng_matrix expectedBalanceOnly = camera.analogBalance.AsDiagonal() * profile->ColorMatrix1();

    // Neither side signed counts as the same calibration.
    dng_color_spec matching(camera, profile.get());
    ExpectMatrixNear(matching.XYZtoCameraForWhite(kCandle), expectedBoth, 1e-12);

    camera.calibrationSignature.Set("studio");
    dng_color_spec mismatch(camera, profile.get());
    ExpectMatrixNear(mismatch.XYZtoCameraForWhite(kCandle), expectedBalanceOnly, 1e-12);
}

TEST(dng_color_spec, CameraWhiteRoundTripsThroughNeutralToXY) {
    auto profile = TwoIlluminantProfile(kStandardA, kD65);
    dng_color_spec spec(dng_color_spec_camera{}, profile.get());
    for (const dng_xy_coord& white : {kCandle, dng_xy_coord(0.4476, 0.4074), kD55, D50_xy_coord(), kShade}) {
        spec.SetWhiteXY(white);
        const dng_vector neutral = spec.CameraWhite();
        const dng_xy_coord back = spec.NeutralToXY(neutral);
        EXPECT_NEAR(back.x, white.x, 1e-5);
        EXPECT_NEAR(back.y, white.y, 1e-5);
        // Without a forward matrix the reverse matrix sends the camera white to D50.
        ExpectVectorNear(spec.CameraToPCS() * neutral, D50_XYZ(), 1e-9);
    }
}

TEST(dng_color_spec, CameraWhiteHasAFloor) {
    auto profile = TwoIlluminantProfile(kStandardA, kD65);
    dng_color_spec spec(dng_color_spec_camera{}, profile.get());
    // A saturated blue white drives the red response of the warm matrix below zero.
    spec.SetWhiteXY(dng_xy_coord(0.15, 0.06));
    EXPECT_GE(spec.CameraWhite().MinEntry(), 0.001);
    EXPECT_EQ(spec.CameraWhite().MaxEntry(), 1.0);
}

TEST(dng_color_spec, ForwardMatrixMapsCameraWhiteToD50) {
    using testsupport::TiffBuilder;
    TiffBuilder tiff(TiffBuilder::Order::Little);
    tiff.setMagic(0x4352);
    auto rationals = [](const dng_matrix& m) {
        std::vector<std::pair<int32_t, int32_t>> out;
        for (uint32_t r = 0; r < 3; ++r)
            for (uint32_t c = 0; c < 3; ++c)
                out.emplace_back(int32_t(std::lround(m[r][c] * 10000)), 10000);
        return out;
    };
    tiff.addIfd()
        .shorts(50778, {kD65})
        .srationals(50721, rationals(kCoolMatrix))
        .srationals(50964, rationals(dng_matrix_3by3(0.6, 0.25, 0.1142, 0.25, 0.7, 0.05, 0.02, 0.1, 0.7051)));
    const std::vector<uint8_t> bytes = tiff.build();
    dng_stream stream(bytes.data(), uint32_t(bytes.size()));
    dng_camera_profile profile;
    ASSERT_TRUE(profile.ReadFromDCPStream(stream));
    ASSERT_TRUE(profile.ForwardMatrix1().NotEmpty());

    dng_color_spec_camera camera;
    camera.analogBalance = dng_vector_3(1.2, 1.0, 0.8);
    dng_color_spec spec(camera, &profile);
    dng_matrix forward;
    spec.XYZtoCameraForWhite(kD55, &forward);
    ExpectVectorNear(forward * dng_vector_3(1, 1, 1), D50_XYZ(), 1e-12);
    spec.SetWhiteXY(kD55);
    ExpectVectorNear(spec.CameraToPCS() * spec.CameraWhite(), D50_XYZ(), 1e-12);
}

TEST(dng_color_spec, MissingOrUnusableProfileIsRefusedForColour) {
    auto threeColour = TwoIlluminantProfile(kStandardA, kD65);
    dng_color_spec_camera camera;
    EXPECT_DNG_ERROR(dng_color_spec(camera, nullptr), dng_error_bad_format);
    camera.channels = 4;
    EXPECT_DNG_ERROR(dng_color_spec(camera, threeColour.get()), dng_error_bad_format);
    dng_camera_profile singular;
    singular.SetColorMatrix1(dng_matrix_3by3(1, 0, 0, 0, 0, 0, 0, 0, 1));
    camera.channels = 3;
    EXPECT_DNG_ERROR(dng_color_spec(camera, &singular), dng_error_bad_format);
}

TEST(dng_color_spec, MonochromeNeedsNoProfile) {
    dng_color_spec_camera camera;
    camera.channels = 1;
    dng_color_spec spec(camera, nullptr);
    spec.SetWhiteXY(kCandle);
    ASSERT_EQ(spec.CameraWhite().Count(), 1u);
    EXPECT_EQ(spec.CameraWhite()[0], 1.0);
    ExpectMatrixNear(spec.CameraToPCS(), D50_XYZ().AsColumn(), 0.0);
    EXPECT_EQ(spec.NeutralToXY(spec.CameraWhite()), D50_xy_coord());
}

TEST(dng_color_spec, BradfordAdaptation) {
    ExpectMatrixNear(dng_color_spec::BradfordAdaptation(kD55, kD55), Identity(3), 1e-12);
    // D65 to D50 as tabulated in Lindbloom's chromatic adaptation tables (XYZ to XYZ).
    const dng_matrix_3by3 published(1.0478112, 0.0228866, -0.0501270, 0.0295424, 0.9904844, -0.0170491,
                                    -0.0092345, 0.0150436, 0.7521316);
    ExpectMatrixNear(dng_color_spec::BradfordAdaptation(dng_xy_coord(0.3127, 0.3290), D50_xy_coord()),
                     published, 2e-3);
    // Whites with no response in a cone channel keep the scale within [0.1, 10].
    const dng_matrix extreme =
        dng_color_spec::BradfordAdaptation(dng_xy_coord(0.7, 0.29), dng_xy_coord(0.1, 0.02));
    for (uint32_t r = 0; r < 3; ++r)
        for (uint32_t c = 0; c < 3; ++c)
            EXPECT_TRUE(std::isfinite(extreme[r][c]));
}
