#include "dng/dng_negative.h"

#include "dng/dng_camera_profile.h"
#include "dng/dng_camera_profile_info.h"
#include "dng/dng_color_spec.h"
#include "dng/dng_exif.h"
#include "dng/dng_host.h"
#include "dng/dng_iptc.h"
#include "dng/dng_linearization_info.h"
#include "dng/dng_memory.h"
#include "dng/dng_mosaic_info.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_stream.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_xmp.h"

#include "DngErrorMatchers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

std::unique_ptr<dng_image> Image(uint32_t rows, uint32_t cols, uint32_t planes = 1, uint32_t type = ttShort) {
    return std::make_unique<dng_simple_image>(dng_rect(rows, cols), planes, type, gDefaultDNGMemoryAllocator);
}

struct NegativeTest : ::testing::Test {
    dng_host host;
    std::unique_ptr<dng_negative> negative{host.MakeNegative()};
};

std::unique_ptr<dng_camera_profile> Profile(const char* name, uint32_t embedPolicy = 0,
                                            double matrixScale = 1.0, int32_t exposureOffset = 0) {
    dng_camera_profile_info info;
    info.fCalibrationIlluminant1 = 21;
    info.fColorMatrix1 = dng_matrix_3by3(0.8 * matrixScale, -0.2, -0.1, -0.3, 1.1, 0.2, 0.0, 0.2, 0.6);
    info.fProfileName.Set(name);
    info.fEmbedPolicy = embedPolicy;
    info.fBaselineExposureOffset = dng_srational(exposureOffset, 100);
    const uint8_t none = 0;
    dng_stream empty(&none, 0);
    auto profile = std::make_unique<dng_camera_profile>();
    profile->SetFromProfileInfo(empty, info);
    return profile;
}

} // namespace

TEST_F(NegativeTest, StartsWithTheDocumentedDefaults) {
    EXPECT_TRUE(negative->ModelName().IsEmpty());
    EXPECT_EQ(negative->DefaultCropSizeH(), dng_urational(0, 0));
    EXPECT_EQ(negative->DefaultCropOriginV(), dng_urational(0, 1));
    EXPECT_EQ(negative->DefaultUserCropB(), dng_urational(1, 1));
    EXPECT_FALSE(negative->HasDefaultUserCrop());
    EXPECT_EQ(negative->DefaultScaleH(), dng_urational(1, 1));
    EXPECT_EQ(negative->BaselineNoiseR(), dng_urational(100, 100));
    EXPECT_EQ(negative->BaselineExposureR(), dng_srational(0, 100));
    EXPECT_EQ(negative->AntiAliasStrength(), dng_urational(100, 100));
    EXPECT_EQ(negative->ChromaBlurRadius(), dng_urational(0, 0));
    EXPECT_EQ(negative->ShadowScaleR(), dng_urational(1, 1));
    EXPECT_EQ(negative->RawToFullScaleH(), 1.0);
    EXPECT_EQ(negative->RawImageStage(), rawImageStageNone);
    EXPECT_EQ(negative->Stage3Gain(), 1.0);
    EXPECT_EQ(negative->OpcodeList3().Stage(), 3u);
    EXPECT_EQ(negative->GetLinearizationInfo(), nullptr);
    EXPECT_EQ(negative->GetMosaicInfo(), nullptr);
    ASSERT_NE(negative->GetExif(), nullptr);
    ASSERT_NE(negative->GetXMP(), nullptr);
    EXPECT_FALSE(negative->GetXMP()->HasMeta());
    EXPECT_EQ(negative->WhiteLevel(), 65535u);
    EXPECT_DNG_ERROR(negative->RawImage(), dng_error_unknown);
    EXPECT_DNG_ERROR(negative->UnsupportedStep(), dng_error_not_yet_implemented);
}

TEST_F(NegativeTest, BayerPhasesPlaceTheColourKeys) {
    const uint8_t expected[4][2][2] = {
        {{1, 0}, {2, 1}}, {{0, 1}, {1, 2}}, {{2, 1}, {1, 0}}, {{1, 2}, {0, 1}}};
    negative->SetColorKeys(0, 1, 2);
    for (uint32_t phase = 0; phase < 4; ++phase) {
        negative->SetBayerMosaic(phase);
        const dng_mosaic_info& info = *negative->GetMosaicInfo();
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 2; ++c)
                EXPECT_EQ(info.fCFAPattern[r][c], expected[phase][r][c]) << phase << r << c;
        EXPECT_NO_THROW(info.ValidatePattern());
    }
    // A phase beyond 3 sets the shape and leaves the cells of phase 3.
    negative->ClearMosaicInfo();
    negative->SetBayerMosaic(7);
    const dng_mosaic_info& info = *negative->GetMosaicInfo();
    EXPECT_EQ(info.fCFAPatternSize, dng_point(2, 2));
    EXPECT_EQ(info.fColorPlanes, 3u);
    EXPECT_EQ(info.fCFALayout, 1u);
    EXPECT_EQ(info.fCFAPattern[0][0], 0);
    EXPECT_EQ(info.fCFAPattern[1][1], 0);
}

TEST_F(NegativeTest, ColourSettersNormaliseAndRound) {
    negative->SetAnalogBalance(dng_vector_3(2, 4, 8));
    EXPECT_EQ(negative->AnalogBalanceVector(), dng_vector_3(1, 2, 4));
    negative->SetAnalogBalance(dng_vector_3(3, 7, 3));
    EXPECT_EQ(negative->AnalogBalance(1), 2.333333);
    EXPECT_EQ(negative->AnalogBalanceR(1), dng_urational(2333333, 1000000));
    EXPECT_EQ(negative->AnalogBalance(3), 1.0);
    negative->SetAnalogBalance(dng_vector_3(1, 0, 2));
    EXPECT_TRUE(negative->AnalogBalanceVector().IsEmpty());

    negative->SetCameraNeutral(dng_vector_3(0.5, 1.0, 0.25));
    EXPECT_EQ(negative->CameraNeutralR(0), dng_urational(500000, 1000000));
    negative->SetCameraNeutral(dng_vector_3(0.2, 0.4, 0.1));
    EXPECT_EQ(negative->CameraNeutral(), dng_vector_3(0.5, 1.0, 0.25));

    negative->SetCameraWhiteXY(0.3457, 0.3585);
    double x = 0, y = 0;
    negative->CameraWhiteXY(x, y);
    EXPECT_EQ(x, 0.3457);
    EXPECT_EQ(y, 0.3585);
    dng_urational rx, ry;
    negative->GetCameraWhiteXY(rx, ry);
    EXPECT_EQ(rx, dng_urational(345700, 1000000));
    negative->SetCameraWhiteXY(0.3457, 0);
    EXPECT_FALSE(negative->HasCameraWhiteXY());
    negative->CameraWhiteXY(x, y);
    EXPECT_EQ(x, 0.0);

    negative->SetShadowScale(dng_urational(1, 2));
    negative->SetShadowScale(dng_urational(3, 2));
    negative->SetShadowScale(dng_urational(0, 0));
    EXPECT_EQ(negative->ShadowScaleR(), dng_urational(1, 2));
}

TEST_F(NegativeTest, AddProfileNamesAndReplaces) {
    negative->AddProfile(nullptr);
    negative->AddProfile(Profile(""));
    ASSERT_EQ(negative->ProfileCount(), 1u);
    EXPECT_STREQ(negative->ProfileByIndex(0).Name().Get(), "Embedded");

    // The same profile under a real name replaces the unnamed one.
    negative->AddProfile(Profile("Standard"));
    ASSERT_EQ(negative->ProfileCount(), 1u);
    negative->AddProfile(Profile("Vivid", 0, 1.1));
    negative->AddProfile(Profile("Standard", 1));
    ASSERT_EQ(negative->ProfileCount(), 2u);
    EXPECT_STREQ(negative->ProfileByIndex(0).Name().Get(), "Vivid");
    EXPECT_STREQ(negative->ProfileByIndex(1).Name().Get(), "Standard");
    EXPECT_EQ(negative->ProfileByIndex(1).EmbedPolicy(), 1u);
}

TEST_F(NegativeTest, FindCameraProfileByNameFingerprintAndVersion) {
    EXPECT_EQ(negative->FindCameraProfile(dng_camera_profile_id("x")), nullptr);
    negative->AddProfile(Profile("Neutral v1", 0, 1.0));
    negative->AddProfile(Profile("Neutral v3", 0, 1.1));
    negative->AddProfile(Profile("Neutral v3", 0, 1.2));
    negative->AddProfile(Profile("Portrait", 0, 1.3, 50));

    EXPECT_EQ(negative->FindCameraProfile(dng_camera_profile_id("Neutral v2")), &negative->ProfileByIndex(1));
    EXPECT_EQ(negative->FindCameraProfile(dng_camera_profile_id("Portrait")), &negative->ProfileByIndex(3));
    dng_camera_profile copy = negative->ProfileByIndex(2);
    const dng_fingerprint print = copy.Fingerprint();
    EXPECT_EQ(negative->FindCameraProfile(dng_camera_profile_id(nullptr, print)),
              &negative->ProfileByIndex(2));
    EXPECT_EQ(negative->FindCameraProfile(dng_camera_profile_id("Neutral v3", print)),
              &negative->ProfileByIndex(2));
    EXPECT_EQ(negative->FindCameraProfile(dng_camera_profile_id("Other")), &negative->ProfileByIndex(0));
    EXPECT_EQ(negative->FindCameraProfile(dng_camera_profile_id("Other"), false), nullptr);

    EXPECT_DOUBLE_EQ(negative->TotalBaselineExposure(dng_camera_profile_id("Portrait")), 0.5);
    std::unique_ptr<dng_color_spec> spec(negative->MakeColorSpec(dng_camera_profile_id("Portrait")));
    EXPECT_EQ(spec->Channels(), 0u) << "a negative without colour channels is monochrome";
}

TEST_F(NegativeTest, ProfileToEmbedSkipsForbiddenProfiles) {
    EXPECT_EQ(negative->ProfileToEmbed(), nullptr);
    negative->AddProfile(Profile("A", 2, 1.0));
    negative->AddProfile(Profile("B", 2, 1.1));
    negative->AddProfile(Profile("C", 2, 1.2));
    EXPECT_EQ(negative->ProfileToEmbed(), &negative->ProfileByIndex(0));
    negative->AddProfile(Profile("D", 3, 1.3));
    EXPECT_EQ(negative->ProfileToEmbed(), &negative->ProfileByIndex(3));
}

TEST_F(NegativeTest, DefaultCropMovesInsideTheStage3Image) {
    negative->SetDefaultCropOrigin(10, 10);
    negative->SetDefaultCropSize(100, 100);
    EXPECT_EQ(negative->DefaultCropArea(), dng_rect(10, 10, 110, 110));
    negative->SetStage3Image(Image(105, 200, 3));
    EXPECT_EQ(negative->DefaultCropArea(), dng_rect(5, 10, 105, 110));
    negative->SetRawToFullScale(2.0, 1.0);
    EXPECT_EQ(negative->DefaultCropArea(), dng_rect(5, 0, 105, 200)) << "moved, never shrunk";

    negative->SetRawToFullScale(1.0, 1.0);
    negative->SetDefaultScale(dng_urational(2, 1), dng_urational(1, 1));
    negative->SetBestQualityScale(dng_urational(3, 2));
    EXPECT_EQ(negative->DefaultFinalWidth(), 200u);
    EXPECT_EQ(negative->DefaultFinalHeight(), 100u);
    EXPECT_EQ(negative->BestQualityFinalWidth(), 300u);
    EXPECT_EQ(negative->BestQualityFinalHeight(), 150u);
}

TEST_F(NegativeTest, LevelsLiveInTheLinearizationInfo) {
    negative->SetStage1Image(Image(4, 4, 1, ttFloat));
    EXPECT_EQ(negative->WhiteLevel(), 1u) << "float raw data without levels";
    negative->SetStage1Image(Image(4, 4));
    EXPECT_EQ(negative->WhiteLevel(), 65535u);

    negative->SetActiveArea(dng_rect(1, 2, 3, 4));
    negative->SetWhiteLevel(4095);
    negative->SetWhiteLevel(1023, 2);
    negative->SetBlackLevel(100.3);
    negative->SetBlackLevel(-3.0, 1);
    const dng_linearization_info& info = *negative->GetLinearizationInfo();
    EXPECT_EQ(info.fActiveArea, dng_rect(1, 2, 3, 4));
    EXPECT_EQ(negative->WhiteLevel(0), 4095u);
    EXPECT_EQ(negative->WhiteLevel(2), 1023u);
    EXPECT_EQ(info.fBlackLevel[0][0][0], 100.30078125);
    EXPECT_EQ(info.fBlackLevel[0][0][1], 0.0);
    EXPECT_EQ(info.fBlackLevel[0][0][3], 100.30078125);
    EXPECT_EQ(info.BlackLevelRational(0, 0, 0), dng_urational(25677, 256));
}

TEST_F(NegativeTest, RawImageSlotsAndMasks) {
    negative->SetStage3Image(Image(2, 2, 3));
    EXPECT_EQ(&negative->RawImage(), negative->Stage3Image());
    EXPECT_EQ(negative->RawImageBlackLevel(), 0);
    negative->SetStage3BlackLevel(64);
    EXPECT_EQ(negative->RawImageBlackLevel(), 64);
    negative->SetAlternateRawImage(Image(2, 2));
    EXPECT_EQ(&negative->RawImage(), negative->AlternateRawImage());
    negative->SetStage1Image(Image(2, 2));
    EXPECT_EQ(&negative->RawImage(), negative->Stage1Image());
    EXPECT_EQ(negative->RawImageBlackLevel(), 0);
    negative->SetRawImage(Image(2, 2));
    negative->SetRawImageBlackLevel(12);
    EXPECT_EQ(negative->RawImageBlackLevel(), 12);

    EXPECT_EQ(negative->RawTransparencyMaskBitDepth(), 0u);
    struct MaskCase {
        uint32_t type;
        uint32_t depth;
    };
    for (const MaskCase c : {MaskCase{ttByte, 8}, MaskCase{ttShort, 16}, MaskCase{ttFloat, 32}}) {
        negative->SetTransparencyMask(Image(2, 2, 1, c.type));
        EXPECT_EQ(negative->RawTransparencyMaskBitDepth(), c.depth);
    }
    negative->SetRawTransparencyMask(Image(2, 2, 1, ttLong));
    EXPECT_NE(negative->RawTransparencyMask(), negative->TransparencyMask());
    EXPECT_DNG_ERROR(negative->RawTransparencyMaskBitDepth(), dng_error_unknown);
    negative->SetRawTransparencyMaskBitDepth(8);
    EXPECT_EQ(negative->RawTransparencyMaskBitDepth(), 8u);
}

TEST(DngNoiseProfile, FunctionsValidityAndEquality) {
    const dng_noise_profile single({dng_noise_function(2e-5, 1e-6)});
    EXPECT_EQ(&single.NoiseFunction(3), &single.NoiseFunction(0));
    EXPECT_DOUBLE_EQ(single.NoiseFunction(0).Evaluate(0.5), std::sqrt(2e-5 * 0.5 + 1e-6));
    EXPECT_TRUE(single.IsValidForNegative(3));

    const dng_noise_profile three(
        {dng_noise_function(1e-5, 0), dng_noise_function(2e-5, 0), dng_noise_function(3e-5, 0)});
    EXPECT_TRUE(three.IsValidForNegative(3));
    EXPECT_FALSE(three.IsValidForNegative(4));
    EXPECT_DNG_ERROR(three.NoiseFunction(3), dng_error_unknown);

    const dng_noise_profile badScale({dng_noise_function(0, 1)});
    const dng_noise_profile badOffset({dng_noise_function(1, -1)});
    EXPECT_FALSE(dng_noise_profile().IsValid());
    EXPECT_FALSE(badScale.IsValid());
    EXPECT_EQ(badScale, badOffset) << "invalid profiles are all equal";
    EXPECT_NE(badScale, single);
    EXPECT_EQ(single, dng_noise_profile({dng_noise_function(2e-5, 1e-6)}));
    EXPECT_NE(single, three);
}

TEST_F(NegativeTest, MetadataSurvivesACloneAndItsOwnIptcBlock) {
    dng_exif& exif = *negative->GetExif();
    exif.fMake.Set("Maker");
    exif.fModel.Set("Model \xC3\xB1");
    exif.fUserComment.Set_SystemEncoding("caf\xE9");
    exif.fCopyright.Set("Ann");
    exif.fCopyright2.Set("Editor");
    exif.SetExposureTime(1.0 / 250);
    exif.SetFNumber(5.6);
    exif.fISOSpeedRatings[0] = 200;
    exif.fFlash = 16;
    exif.fFocalLength = dng_urational(35, 1);
    exif.fExposureBiasValue = dng_srational(-2, 3);
    exif.fDateTimeOriginal.SetDateTime(dng_date_time(2022, 7, 1, 9, 30, 0));
    exif.fDateTimeOriginal.SetZone(-300);
    exif.fGPSLatitudeRef.Set("S");
    exif.fGPSLatitude[0] = dng_urational(33, 1);
    exif.fGPSAltitude = dng_urational(12, 1);
    exif.fGPSAltitudeRef = 0;
    exif.fLensInfo[0] = dng_urational(35, 1);
    exif.fLensName.Set("35 mm");
    exif.fImageUniqueID.data[5] = 0xAB;
    exif.fCFARepeatPatternRows = 2;
    exif.fCFAPattern[1][1] = 2;
    exif.fTemperature = dng_srational(-5, 1);

    dng_iptc iptc;
    iptc.fTitle.Set("T\xC3\xADtulo");
    iptc.fKeywords.Append(exif.fUserComment);
    dng_string japanese;
    japanese.Set_JIS("\xC5\xEC\xB5\xFE");
    iptc.fKeywords.Append(japanese);
    iptc.fCity.Set_SystemEncoding("M\xFCnchen");
    negative->Metadata().SetIPTC(iptc.Spool(negative->Allocator(), true));

    std::unique_ptr<dng_metadata> copy(negative->Metadata().Clone(negative->Allocator()));
    EXPECT_EQ(*copy->GetExif(), exif);

    dng_iptc back;
    back.Parse(copy->IPTCData(), copy->IPTCLength());
    EXPECT_STREQ(back.fTitle.Get(), "T\xC3\xADtulo");
    ASSERT_EQ(back.fKeywords.Count(), 2u);
    EXPECT_STREQ(back.fKeywords[0].Get(), "caf\xC3\xA9");
    EXPECT_STREQ(back.fKeywords[1].Get(), "\xE6\x9D\xB1\xE4\xBA\xAC");
    EXPECT_STREQ(back.fCity.Get(), "M\xC3\xBCnchen");

    // Synchronising tidies only what the EXIF synchronisation owns.
    negative->Metadata().SynchronizeMetadata();
    EXPECT_EQ(*negative->Metadata().GetOriginalExif(), *copy->GetExif());
    dng_exif expected = *copy->GetExif();
    expected.SetVersion0231();
    EXPECT_EQ(exif, expected);
}

TEST_F(NegativeTest, FieldsReadBackAsSet) {
    negative->SetModelName("Maker Model");
    negative->SetLocalName("Model");
    negative->SetDefaultCropSize(dng_urational(3000, 1), dng_urational(2000, 1));
    negative->SetDefaultCropOrigin(dng_urational(8, 1), dng_urational(6, 1));
    negative->SetDefaultUserCrop(dng_urational(1, 10), dng_urational(0, 1), dng_urational(1, 1),
                                 dng_urational(9, 10));
    negative->SetOriginalDefaultFinalSize(dng_point(2000, 3000));
    negative->SetBaselineExposure(dng_srational(-50, 100));
    negative->SetBaselineSharpness(dng_urational(3, 2));
    negative->SetLinearResponseLimit(dng_urational(9, 10));
    negative->SetColorimetricReference(1);
    negative->SetColorChannels(3);
    negative->SetAsShotProfileName("Standard");
    negative->SetCameraCalibrationSignature("sig");
    negative->SetOriginalRawFileName("IMG_0001.RAW");
    negative->SetEnhanceParams("");

    EXPECT_STREQ(negative->ModelName().Get(), "Maker Model");
    EXPECT_STREQ(negative->LocalName().Get(), "Model");
    EXPECT_EQ(negative->DefaultCropSizeH(), dng_urational(3000, 1));
    EXPECT_EQ(negative->DefaultCropSizeV(), dng_urational(2000, 1));
    EXPECT_EQ(negative->DefaultCropOriginH(), dng_urational(8, 1));
    EXPECT_EQ(negative->DefaultCropOriginV(), dng_urational(6, 1));
    EXPECT_TRUE(negative->HasDefaultUserCrop());
    EXPECT_EQ(negative->DefaultUserCropT(), dng_urational(1, 10));
    EXPECT_EQ(negative->DefaultUserCropR(), dng_urational(9, 10));
    EXPECT_EQ(negative->OriginalDefaultFinalSize(), dng_point(2000, 3000));
    EXPECT_DOUBLE_EQ(negative->BaselineExposure(), -0.5);
    EXPECT_DOUBLE_EQ(negative->BaselineSharpness(), 1.5);
    EXPECT_DOUBLE_EQ(negative->LinearResponseLimit(), 0.9);
    EXPECT_EQ(negative->ColorimetricReference(), 1u);
    EXPECT_EQ(negative->ColorChannels(), 3u);
    EXPECT_STREQ(negative->AsShotProfileName().Get(), "Standard");
    EXPECT_STREQ(negative->CameraCalibrationSignature().Get(), "sig");
    EXPECT_STREQ(negative->OriginalRawFileName().Get(), "IMG_0001.RAW");
    EXPECT_FALSE(negative->MakeFourColorBayer());
}

TEST(DngNegativeMake, AFailingFactoryLeavesNothingBehind) {
    struct Host : dng_host {
        dng_exif* CreateExif() override { Throw_dng_error(dng_error_memory); }
    } host;
    EXPECT_DNG_ERROR(std::unique_ptr<dng_negative>(host.MakeNegative()), dng_error_memory);
}
