// The built-in working spaces carry the primaries, white and tone response they are named
// for: read back from the tags with Little CMS, not from our own code.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <thread>

#include "color/ProfileManager.h"
#include "tests/color/IccTestProfiles.h"

namespace {

using XY = std::array<double, 2>;
struct Primaries {
    XY r, g, b;
};
constexpr Primaries kProPhoto{{0.7347, 0.2653}, {0.1596, 0.8404}, {0.0366, 0.0001}};
constexpr Primaries kRec709{{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}};
constexpr Primaries kPalSecam{{0.64, 0.33}, {0.29, 0.60}, {0.15, 0.06}};
constexpr XY kD50{0.3457, 0.3585}, kD65{0.3127, 0.3290};

double gamma(double g) { return std::pow(0.5, g); }
// BT.709 inverse transfer at code value 0.5.
const double kRec709Half = std::pow((0.5 + 0.099) / 1.099, 1.0 / 0.45);

struct BuiltinCase {
    const char* name;
    std::function<ProfileManager::Profile(ProfileManager&)> get;
    const char* description;
    Primaries primaries;
    XY white;
    double trcAtHalf;
    int majorVersion;
    cmsUInt32Number intent;
};

void PrintTo(const BuiltinCase& c, std::ostream* os) { *os << c.name; }

XY xy(const cmsCIEXYZ& v) {
    const double sum = v.X + v.Y + v.Z;
    return {v.X / sum, v.Y / sum};
}

// The colorant as it is in the space's own white, undoing the chad adaptation to D50.
cmsCIEXYZ unadapted(const cmsCIEXYZ& colorant, const double* chad) {
    // Inverse of the 3x3 row-major matrix by cofactors.
    const double* m = chad;
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
    const double inv[9] = {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det,
                           (m[1] * m[5] - m[2] * m[4]) / det, (m[5] * m[6] - m[3] * m[8]) / det,
                           (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
                           (m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det,
                           (m[0] * m[4] - m[1] * m[3]) / det};
    const double v[3] = {colorant.X, colorant.Y, colorant.Z};
    cmsCIEXYZ out;
    out.X = inv[0] * v[0] + inv[1] * v[1] + inv[2] * v[2];
    out.Y = inv[3] * v[0] + inv[4] * v[1] + inv[5] * v[2];
    out.Z = inv[6] * v[0] + inv[7] * v[1] + inv[8] * v[2];
    return out;
}

void expectXY(const XY& actual, const XY& expected, const char* what) {
    EXPECT_NEAR(actual[0], expected[0], 1e-3) << what;
    EXPECT_NEAR(actual[1], expected[1], 1e-3) << what;
}

class BuiltinProfile : public testing::TestWithParam<BuiltinCase> {};

TEST_P(BuiltinProfile, ReadsBackItsPrimariesWhiteAndCurve) {
    const auto& c = GetParam();
    auto wrap = c.get(ProfileManager::sharedManager());
    ASSERT_TRUE(wrap);
    EXPECT_EQ(wrap->classType(), ColorSyncProfileWrap::kClassDisplay);
    EXPECT_EQ(wrap->spaceType(), ColorSyncProfileWrap::kSpaceRGB);
    EXPECT_EQ(wrap->description(), c.description);
    auto profile = icctest::open(*wrap);
    ASSERT_TRUE(profile);
    cmsHPROFILE p = profile.get();
    EXPECT_EQ(icctest::description(p), c.description);
    EXPECT_EQ(int(cmsGetProfileVersion(p)), c.majorVersion);
    EXPECT_EQ(cmsGetHeaderRenderingIntent(p), c.intent);

    auto* chad = static_cast<const double*>(cmsReadTag(p, cmsSigChromaticAdaptationTag));
    auto* white = static_cast<const cmsCIEXYZ*>(cmsReadTag(p, cmsSigMediaWhitePointTag));
    ASSERT_TRUE(chad && white);
    expectXY(xy(*white), c.white, "media white");
    const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                          cmsSigBlueColorantTag};
    const XY expected[3] = {c.primaries.r, c.primaries.g, c.primaries.b};
    cmsCIEXYZ sum{0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        auto* colorant = static_cast<const cmsCIEXYZ*>(cmsReadTag(p, colorants[i]));
        ASSERT_TRUE(colorant);
        expectXY(xy(unadapted(*colorant, chad)), expected[i], "primary");
        sum.X += colorant->X, sum.Y += colorant->Y, sum.Z += colorant->Z;
    }
    // Device white lands on the D50 connection white.
    EXPECT_NEAR(sum.X, cmsD50_XYZ()->X, 1e-3);
    EXPECT_NEAR(sum.Y, 1.0, 1e-3);
    EXPECT_NEAR(sum.Z, cmsD50_XYZ()->Z, 1e-3);

    for (auto tag : {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag}) {
        auto* curve = static_cast<cmsToneCurve*>(cmsReadTag(p, tag));
        ASSERT_TRUE(curve);
        EXPECT_NEAR(cmsEvalToneCurveFloat(curve, 0.5f), c.trcAtHalf, 1e-3);
    }
}

using PM = ProfileManager;
INSTANTIATE_TEST_SUITE_P(
    WorkingSpaces, BuiltinProfile,
    testing::Values(
        BuiltinCase{"ProPhoto", [](PM& m) { return m.getProPhotoProfile(); }, "Lumivar ProPhoto Perceptual",
                    kProPhoto, kD50, gamma(1.8), 2, INTENT_PERCEPTUAL},
        BuiltinCase{"ProPhotoGamma1", [](PM& m) { return m.getProPhotoGamma1Profile(); },
                    "Lumivar ProPhoto Gamma 1", kProPhoto, kD50, 0.5, 2, INTENT_PERCEPTUAL},
        BuiltinCase{"ProPhotoGamma1D65", [](PM& m) { return m.getProPhotoGamma1_D65Profile(); },
                    "Lumivar ProPhoto Gamma 1", kProPhoto, kD65, 0.5, 2, INTENT_PERCEPTUAL},
        BuiltinCase{"SwappedSRGB", [](PM& m) { return m.getSwapedSRGBProfile(); }, "Lumivar swapped sRGB",
                    kRec709, kD65, gamma(2.2), 2, INTENT_PERCEPTUAL},
        BuiltinCase{"CCIR709D50", [](PM& m) { return m.getCCIR709Gamma1D50Profile(); },
                    "Lumivar CCIR Rec 709 Gamma 1.0 D50", kRec709, kD50, 0.5, 2, INTENT_PERCEPTUAL},
        BuiltinCase{"ProPhotoRelative", [](PM& m) { return m.getProPhotocmRelativeColorimetricProfile(); },
                    "Lumivar ProPhoto cmRelativeColorimetric", kProPhoto, kD50, gamma(1.8), 2,
                    INTENT_RELATIVE_COLORIMETRIC},
        BuiltinCase{"ProPhotoSaturation", [](PM& m) { return m.getProPhotocmSaturationProfile(); },
                    "Lumivar ProPhoto cmSaturation", kProPhoto, kD50, gamma(1.8), 2, INTENT_SATURATION},
        BuiltinCase{"ProPhotoAbsolute", [](PM& m) { return m.getProPhotocmAbsoluteColorimetricProfile(); },
                    "Lumivar ProPhoto cmAbsoluteColorimetric", kProPhoto, kD50, gamma(1.8), 2,
                    INTENT_ABSOLUTE_COLORIMETRIC},
        BuiltinCase{"PalSecamGamma1", [](PM& m) { return m.getPAL_SECAMGamma1Profile(); },
                    "Lumivar PAL_SECAM RGB Gamma 1.0", kPalSecam, kD65, 0.5, 2, INTENT_PERCEPTUAL},
        BuiltinCase{"PalSecamGamma22", [](PM& m) { return m.getPAL_SECAMGamma22Profile(); },
                    "Lumivar PAL_SECAM RGB Gamma 2.2", kPalSecam, kD65, gamma(2.2), 2, INTENT_PERCEPTUAL},
        BuiltinCase{"CCIR709Gamma1", [](PM& m) { return m.getCCIR709Gamma1Profile(); },
                    "Lumivar CCIR Rec 709 Gamma 1.0", kRec709, kD65, 0.5, 2, INTENT_PERCEPTUAL},
        BuiltinCase{"ITU709", [](PM& m) { return m.getIUT709Profile(); }, "Rec. ITU-R BT.709-5", kRec709,
                    kD65, kRec709Half, 4, INTENT_PERCEPTUAL},
        BuiltinCase{"Rec709Gamma1", [](PM& m) { return m.getRec709Gamma1Profile(); }, "Rec 709 Gamma 1",
                    kRec709, kD65, 0.5, 2, INTENT_PERCEPTUAL},
        BuiltinCase{"SRGB", [](PM&) { return ColorSyncProfileWrap::createWithSRGB(); }, "sRGB IEC61966-2.1",
                    kRec709, kD65, std::pow((0.5 + 0.055) / 1.055, 2.4), 2, INTENT_PERCEPTUAL}),
    [](const testing::TestParamInfo<BuiltinCase>& info) { return std::string(info.param.name); });

TEST(BuiltinProfiles, GettersKeepOneInstanceForTheProcess) {
    auto& manager = ProfileManager::sharedManager();
    EXPECT_EQ(manager.getProPhotoGamma1Profile(), manager.getProPhotoGamma1Profile(7));
    EXPECT_EQ(manager.getProPhotoProfile(), manager.getProPhotoPerceptualProfile());
    EXPECT_EQ(manager.getCCIR709Profile(3), manager.getCCIR709Gamma1D50Profile());
}

TEST(BuiltinProfiles, ThreadsAskingAtOnceShareOneInstance) {
    std::vector<ProfileManager::Profile> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back(
            [&seen, i] { seen[i] = ProfileManager::sharedManager().getPAL_SECAMGamma1Profile(); });
    for (auto& thread : threads)
        thread.join();
    ASSERT_TRUE(seen[0]);
    for (auto& profile : seen)
        EXPECT_EQ(profile, seen[0]);
}

TEST(BuiltinProfiles, LinearRGBHasTheGivenColorantsAndD65White) {
    auto wrap = ColorSyncProfileWrap::createWithLinearRGB();
    ASSERT_TRUE(wrap);
    EXPECT_EQ(wrap->classType(), ColorSyncProfileWrap::kClassDisplay);
    EXPECT_EQ(wrap->description(), "Linear RGB Profile");
    auto profile = icctest::open(*wrap);
    ASSERT_TRUE(profile);
    EXPECT_NEAR(cmsGetProfileVersion(profile.get()), 2.2, 1e-6);
    const std::pair<cmsTagSignature, cmsCIEXYZ> expected[] = {
        {cmsSigRedColorantTag, {0.45427, 0.24263, 0.01482}},
        {cmsSigGreenColorantTag, {0.35332, 0.67441, 0.09042}},
        {cmsSigBlueColorantTag, {0.15662, 0.08336, 0.71953}},
        {cmsSigMediaWhitePointTag, {0.95047, 1.0, 1.0891}}};
    for (const auto& [tag, value] : expected) {
        auto* read = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile.get(), tag));
        ASSERT_TRUE(read);
        EXPECT_NEAR(read->X, value.X, 1e-4);
        EXPECT_NEAR(read->Y, value.Y, 1e-4);
        EXPECT_NEAR(read->Z, value.Z, 1e-4);
    }
    EXPECT_TRUE(cmsReadTag(profile.get(), cmsSigChromaticAdaptationTag));
    auto* curve = static_cast<cmsToneCurve*>(cmsReadTag(profile.get(), cmsSigGreenTRCTag));
    ASSERT_TRUE(curve);
    EXPECT_TRUE(cmsIsToneCurveLinear(curve));
}

TEST(BuiltinProfiles, PhotoCDScannerProfilesAreInputProfilesThatKeepGreyNeutral) {
    auto& m = ProfileManager::sharedManager();
    const std::pair<ProfileManager::Profile, cmsColorSpaceSignature> cases[] = {
        {m.getTarnwell2eProfile(), cmsSigLabData}, {m.getTarnwell4eProfile(), cmsSigLabData},
        {m.getTarnwell2kProfile(), cmsSigLabData}, {m.getTarnwell4kProfile(), cmsSigLabData},
        {m.getTarnwellXnProfile(), cmsSigLabData}, {m.getTarnwellXgProfile(), cmsSigXYZData}};
    icctest::Handle lab(cmsCreateLab4Profile(nullptr));
    for (const auto& [wrap, pcs] : cases) {
        ASSERT_TRUE(wrap);
        SCOPED_TRACE(wrap->description());
        EXPECT_EQ(wrap->classType(), ColorSyncProfileWrap::kClassInput);
        EXPECT_EQ(wrap->spaceType(), ColorSyncProfileWrap::kSpaceRGB);
        auto profile = icctest::open(*wrap);
        ASSERT_TRUE(profile);
        EXPECT_EQ(cmsGetPCS(profile.get()), pcs);
        cmsHTRANSFORM toLab =
            cmsCreateTransform(profile.get(), TYPE_RGB_DBL, lab.get(), TYPE_Lab_DBL, INTENT_PERCEPTUAL, 0);
        ASSERT_TRUE(toLab);
        const double rgb[2][3] = {{1, 1, 1}, {0.5, 0.5, 0.5}};
        cmsCIELab out[2];
        cmsDoTransform(toLab, rgb, out, 2);
        cmsDeleteTransform(toLab);
        EXPECT_NEAR(out[0].L, 100.0, 0.5);
        for (const auto& v : out) {
            EXPECT_NEAR(v.a, 0.0, 0.5);
            EXPECT_NEAR(v.b, 0.0, 0.5);
        }
    }
}

} // namespace
