#include <gtest/gtest.h>

#include <lcms2.h>

#include <memory>
#include <string>

#include "raw/colour/CameraColour.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/output/ColourOutput.h"

namespace {

struct ProfileDeleter {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, ProfileDeleter>;

uint32_t big_endian(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

class OutputProfileTest : public ::testing::Test {
  protected:
    void SetUp() override { s->use_file_backed_memory = false; }
    void TearDown() override { raw::file_backed_free(*s, s->output_profile); }

    Profile build(int space) {
        s->output_space = space;
        raw::build_gamma_curve(*s, 0.45f, 4.5f, 0, 0);
        raw::build_output_profile(*s);
        const uint32_t length = big_endian(s->output_profile);
        return Profile(cmsOpenProfileFromMem(s->output_profile, length));
    }

    std::unique_ptr<raw::DecoderState> s = std::make_unique<raw::DecoderState>();
};

// D50 connection-space colorants of the output space: XYZ(D50) from sRGB times the
// inverse of the space's matrix (computed here in double, by cofactors).
void expected_colorants(int space, double out[3][3]) {
    static const double d50[3][3] = {
        {0.436083, 0.385083, 0.143055}, {0.222507, 0.716888, 0.060608}, {0.013930, 0.097097, 0.714022}};
    const float(*m)[3] = raw::output_matrix(space);
    double inv[3][3];
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
            inv[i][j] = (m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0]) / det;
        }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            out[i][j] = 0;
            for (int k = 0; k < 3; ++k)
                out[i][j] += d50[i][k] * inv[k][j];
        }
}

} // namespace

TEST_F(OutputProfileTest, EverySpaceParsesAndDescribesItsMatrix) {
    const cmsTagSignature colorant_tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                              cmsSigBlueColorantTag};
    for (int space = 1; space <= 6; ++space) {
        SCOPED_TRACE(raw::output_space_name(space));
        Profile profile = build(space);
        ASSERT_TRUE(profile) << "Little CMS refused the profile";
        EXPECT_EQ(big_endian(s->output_profile), 476u);
        EXPECT_EQ(cmsGetEncodedICCversion(profile.get()), 0x02100000u);
        EXPECT_EQ(cmsGetDeviceClass(profile.get()), cmsSigDisplayClass);
        EXPECT_EQ(cmsGetColorSpace(profile.get()), space == 5 ? cmsSigXYZData : cmsSigRgbData);
        EXPECT_EQ(cmsGetPCS(profile.get()), cmsSigXYZData);

        char name[64] = {};
        cmsGetProfileInfoASCII(profile.get(), cmsInfoDescription, "en", "US", name, sizeof name);
        EXPECT_STREQ(name, raw::output_space_name(space));

        double expected[3][3];
        expected_colorants(space, expected);
        for (int c = 0; c < 3; ++c) {
            auto* xyz = static_cast<cmsCIEXYZ*>(cmsReadTag(profile.get(), colorant_tags[c]));
            ASSERT_NE(xyz, nullptr);
            EXPECT_NEAR(xyz->X, expected[0][c], 5e-5) << "channel " << c;
            EXPECT_NEAR(xyz->Y, expected[1][c], 5e-5) << "channel " << c;
            EXPECT_NEAR(xyz->Z, expected[2][c], 5e-5) << "channel " << c;
        }
        auto* white = static_cast<cmsCIEXYZ*>(cmsReadTag(profile.get(), cmsSigMediaWhitePointTag));
        ASSERT_NE(white, nullptr);
        EXPECT_NEAR(white->X, 0.950455, 1e-4);
        EXPECT_NEAR(white->Y, 1.0, 1e-4);
        EXPECT_NEAR(white->Z, 1.089050, 1e-4);
        auto* black = static_cast<cmsCIEXYZ*>(cmsReadTag(profile.get(), cmsSigMediaBlackPointTag));
        ASSERT_NE(black, nullptr);
        EXPECT_EQ(black->Y, 0);
    }
}

TEST_F(OutputProfileTest, ProPhotoColorantsAddUpToTheConnectionWhite) {
    Profile profile = build(4);
    ASSERT_TRUE(profile);
    cmsCIEXYZ sum{0, 0, 0};
    for (auto tag : {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag}) {
        auto* xyz = static_cast<cmsCIEXYZ*>(cmsReadTag(profile.get(), tag));
        ASSERT_NE(xyz, nullptr);
        sum.X += xyz->X;
        sum.Y += xyz->Y;
        sum.Z += xyz->Z;
    }
    // Output white (1, 1, 1) is sRGB white, which the constant matrix maps to D50.
    EXPECT_NEAR(sum.X, 0.9642, 2e-3);
    EXPECT_NEAR(sum.Y, 1.0, 2e-3);
    EXPECT_NEAR(sum.Z, 0.8249, 2e-3);
    // Close to the ROMM RGB colorants of ISO 22028-2 (a D65 white adapted back to D50).
    const double romm[3][3] = {{0.7977, 0.2880, 0.0}, {0.1352, 0.7119, 0.0}, {0.0313, 0.0001, 0.8249}};
    int c = 0;
    for (auto tag : {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag}) {
        auto* xyz = static_cast<cmsCIEXYZ*>(cmsReadTag(profile.get(), tag));
        EXPECT_NEAR(xyz->X, romm[c][0], 0.01) << c;
        EXPECT_NEAR(xyz->Y, romm[c][1], 0.01) << c;
        EXPECT_NEAR(xyz->Z, romm[c][2], 0.01) << c;
        ++c;
    }
}

TEST_F(OutputProfileTest, TheCurvesCarryTheGammaOfTheDecoder) {
    Profile profile = build(4);
    ASSERT_TRUE(profile);
    const uint32_t fixed = uint32_t(256 / s->gamma_params[5] + 0.5f);
    for (auto tag : {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag}) {
        auto* curve = static_cast<cmsToneCurve*>(cmsReadTag(profile.get(), tag));
        ASSERT_NE(curve, nullptr);
        EXPECT_NEAR(cmsEstimateGamma(curve, 0.01), fixed / 256.0, 0.01);
    }
}

TEST_F(OutputProfileTest, TagsFollowEachOtherOnFourByteBoundaries) {
    build(2);
    const uint8_t* p = s->output_profile;
    ASSERT_EQ(big_endian(p + 128), 10u);
    const char* order[10] = {"cprt", "desc", "wtpt", "bkpt", "rTRC", "gTRC", "bTRC", "rXYZ", "gXYZ", "bXYZ"};
    const uint32_t offsets[10] = {252, 288, 328, 348, 368, 384, 400, 416, 436, 456};
    for (int t = 0; t < 10; ++t) {
        const uint8_t* entry = p + 132 + 12 * t;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry), 4), order[t]);
        EXPECT_EQ(big_endian(entry + 4), offsets[t]) << order[t];
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 36), 4), "acsp");
}
