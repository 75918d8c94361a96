// The road from a DNG file to a full-colour stage-3 image: linearization, demosaicing, the
// opcode lists and the choice of the stage kept as raw.
#include "DngErrorMatchers.h"
#include "DngFixtures.h"
#include "DngStreams.h"
#include "tests/support/Samples.h"
#include "tests/support/SyntheticDng.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_image.h"
#include "dng/dng_linearization_info.h"
#include "dng/dng_mosaic_info.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_tag_types.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::vector<uint16_t> Plane16(const dng_image& image, uint32_t plane) {
    std::vector<uint16_t> out(size_t(image.Width()) * image.Height());
    dng_pixel_buffer buffer(image.Bounds(), plane, 1, ttShort, dng_pixel_buffer::interleaved, out.data());
    image.Get(buffer);
    return out;
}

std::unique_ptr<dng_image> Image16(uint32_t width, uint32_t height, uint32_t planes,
                                   const std::vector<uint16_t>& v) {
    auto image = std::make_unique<dng_simple_image>(dng_rect(height, width), planes, ttShort,
                                                    gDefaultDNGMemoryAllocator);
    dng_pixel_buffer buffer(image->Bounds(), 0, planes, ttShort, dng_pixel_buffer::interleaved,
                            const_cast<uint16_t*>(v.data()));
    image->Put(buffer);
    return image;
}

std::unique_ptr<dng_negative> NegativeOver(dng_host& host, std::unique_ptr<dng_image> stage1) {
    std::unique_ptr<dng_negative> n(host.MakeNegative());
    n->SetColorChannels(stage1->Planes() == 1 ? 3 : stage1->Planes());
    n->SetDefaultCropSize(stage1->Width(), stage1->Height());
    n->SetStage1Image(std::move(stage1));
    return n;
}

TEST(Linearize, WhiteAndBlackLevelsScaleToTheFullRange) {
    struct Case {
        double black, white;
        uint16_t in, out;
    } cases[] = {{0, 4095, 4095, 65535}, {0, 4095, 2048, 32776}, {0, 4095, 5000, 65535},
                 {512, 4095, 100, 0},    {0, 65535, 1234, 1234}, {0, 65535, 65535, 65535}};
    for (const Case& c : cases) {
        dng_host host;
        auto n = NegativeOver(host, Image16(1, 1, 1, {c.in}));
        n->SetWhiteLevel(uint32_t(c.white));
        n->SetBlackLevel(c.black);
        n->BuildStage2Image(host);
        EXPECT_EQ(Plane16(*n->Stage2Image(), 0)[0], c.out) << c.black << " " << c.white << " " << c.in;
    }
}

TEST(Linearize, BlackPatternFollowsTheActiveAreaOrigin) {
    // Blacks 100 and 200 in a 1 x 2 pattern; the active area starts at column 1, so its first
    // column takes the pattern's first black.
    dng_host host;
    auto n = NegativeOver(host, Image16(3, 1, 1, {1000, 1100, 1200}));
    n->SetWhiteLevel(65535);
    n->SetActiveArea(dng_rect(0, 1, 1, 3));
    dng_linearization_info& lin = *n->GetLinearizationInfo();
    lin.fBlackLevelRepeatCols = 2;
    lin.fBlackLevel[0][0][0] = 100;
    lin.fBlackLevel[0][1][0] = 200;
    n->BuildStage2Image(host);
    const std::vector<uint16_t> out = Plane16(*n->Stage2Image(), 0);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_NEAR(out[0], (1100.0 - 100) * 65535 / (65535 - 200), 1.0);
    EXPECT_NEAR(out[1], (1200.0 - 200) * 65535 / (65535 - 200), 1.0);
}

TEST(Linearize, WhiteAtTheBlackLevelIsBadFormat) {
    dng_host host;
    auto n = NegativeOver(host, Image16(1, 1, 1, {10}));
    n->SetWhiteLevel(512);
    n->SetBlackLevel(512);
    EXPECT_DNG_ERROR(n->BuildStage2Image(host), dng_error_bad_format);
}

TEST(Demosaic, ConstantMosaicStaysConstantEverywhere) {
    dng_host host;
    auto n = NegativeOver(host, Image16(7, 5, 1, std::vector<uint16_t>(35, 4321)));
    n->SetColorKeys(0, 1, 2);
    n->SetBayerMosaic(1);
    n->BuildStage2Image(host);
    n->BuildStage3Image(host);
    const dng_image& s3 = *n->Stage3Image();
    ASSERT_EQ(s3.Planes(), 3u);
    for (uint32_t p = 0; p < 3; ++p)
        for (uint16_t v : Plane16(s3, p))
            ASSERT_EQ(v, 4321);
}

TEST(Demosaic, BilinearInterpolationOfAnRggbRamp) {
    // A horizontal ramp: each colour's missing values are the means of its neighbours.
    std::vector<uint16_t> v;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            v.push_back(uint16_t(1000 + 100 * c));
    dng_host host;
    auto n = NegativeOver(host, Image16(6, 6, 1, v));
    n->SetColorKeys(0, 1, 2);
    n->SetBayerMosaic(1); // red at (0, 0)
    n->BuildStage2Image(host);
    n->BuildStage3Image(host);
    const std::vector<uint16_t> red = Plane16(*n->Stage3Image(), 0);
    const std::vector<uint16_t> green = Plane16(*n->Stage3Image(), 1);
    EXPECT_EQ(red[2 * 6 + 3], 1300);   // green site between reds at columns 2 and 4
    EXPECT_EQ(red[3 * 6 + 3], 1300);   // blue site: four diagonal reds
    EXPECT_EQ(green[2 * 6 + 2], 1200); // red site: four green neighbours
}

TEST(StageBuilds, LinearImageMovesIntoStage3AndKeepsACopyAsRaw) {
    dng_host host;
    host.SetSaveDNGVersion(0x01040000);
    host.SetSaveLinearDNG(true);
    std::vector<uint16_t> v(4 * 3 * 3);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = uint16_t(i * 1000);
    auto n = NegativeOver(host, Image16(4, 3, 3, v));
    n->SetWhiteLevel(65535);
    n->BuildStage2Image(host);
    const dng_image* stage2 = n->Stage2Image();
    n->BuildStage3Image(host);
    EXPECT_EQ(n->RawImageStage(), rawImageStagePreOpcode3);
    EXPECT_EQ(n->Stage3Image(), stage2);
    EXPECT_EQ(n->Stage2Image(), nullptr);
    ASSERT_TRUE(n->HasRawImage());
    EXPECT_NE(&n->RawImage(), n->Stage3Image());
    EXPECT_TRUE(n->RawImage().EqualArea(*n->Stage3Image(), n->Stage3Image()->Bounds(), 0, 3));
    EXPECT_EQ(n->RawToFullScaleH(), 1.0);
    EXPECT_EQ(n->RawToFullScaleV(), 1.0);
}

TEST(StageBuilds, MosaicKeepsStage1AsRawWithListsAndLevels) {
    dng_host host;
    host.SetSaveDNGVersion(0x01040000);
    auto n = NegativeOver(host, Image16(4, 4, 1, std::vector<uint16_t>(16, 300)));
    n->SetColorKeys(0, 1, 2);
    n->SetBayerMosaic(1);
    n->SetWhiteLevel(4095);
    n->BuildStage2Image(host);
    n->BuildStage3Image(host);
    EXPECT_EQ(n->RawImageStage(), rawImageStagePreOpcode1);
    ASSERT_TRUE(n->HasRawImage());
    EXPECT_EQ(n->RawImage().Planes(), 1u);
    EXPECT_EQ(Plane16(n->RawImage(), 0)[0], 300);
    EXPECT_NE(n->GetLinearizationInfo(), nullptr);
    EXPECT_NE(n->GetMosaicInfo(), nullptr);
    EXPECT_EQ(n->Stage3Image()->Planes(), 3u);
}

// The synthetic camera's lossless JPEG file and its uncompressed twin hold the same mosaic.
TEST(StageBuilds, LosslessJpegAndUncompressedFilesReadTheSame) {
    testsupport::SyntheticDngSpec spec;
    spec.width = 40;
    spec.height = 30;
    dng_host host;
    auto plainStream = dngtest::StreamOver(testsupport::buildSyntheticDng(spec));
    spec.losslessJpeg = true;
    auto jpegStream = dngtest::StreamOver(testsupport::buildSyntheticDng(spec));
    auto plain = dngtest::ReadNegative(host, *plainStream);
    auto jpeg = dngtest::ReadNegative(host, *jpegStream);
    EXPECT_EQ(Plane16(*plain->Stage1Image(), 0), Plane16(*jpeg->Stage1Image(), 0));

    const std::vector<uint16_t> raw = Plane16(*plain->Stage1Image(), 0);
    plain->BuildStage2Image(host);
    const std::vector<uint16_t> linear = Plane16(*plain->Stage2Image(), 0);
    for (size_t i = 0; i < raw.size(); ++i) {
        const double expected = std::clamp((raw[i] - 64.0) * 65535.0 / (4095 - 64), 0.0, 65535.0);
        ASSERT_NEAR(linear[i], expected, 0.5) << i;
    }
    plain->BuildStage3Image(host);
    EXPECT_EQ(plain->Stage3Image()->Planes(), 3u);
    EXPECT_EQ(plain->Stage3Image()->Bounds(), dng_rect(30, 40));
}

TEST(StageBuilds, RealSamplesReachStage3) {
    for (const char* file :
         {"Pixel7_small.dng", "BMPCC_cinemadng_frame.dng", "synthetic_1024_rggb_uncompressed.dng"}) {
        if (!std::filesystem::exists(testsupport::samplePath(file))) continue;
        dng_host host;
        dng_file_stream stream(testsupport::samplePath(file).c_str());
        auto n = dngtest::ReadNegative(host, stream);
        const dng_rect active = n->GetLinearizationInfo()->fActiveArea;
        n->BuildStage2Image(host);
        n->BuildStage3Image(host);
        const dng_image& s3 = *n->Stage3Image();
        EXPECT_EQ(s3.Bounds(), dng_rect(active.H(), active.W())) << file;
        EXPECT_EQ(s3.Planes(), 3u) << file;
        // Some light reached every plane.
        for (uint32_t p = 0; p < 3; ++p) {
            const std::vector<uint16_t> v = Plane16(s3, p);
            double sum = 0;
            for (uint16_t x : v)
                sum += x;
            EXPECT_GT(sum / double(v.size()), 10.0) << file << " plane " << p;
        }
    }
}

} // namespace
