// The real DNG samples read into negatives whose geometry, levels, mosaic and colour matrices
// are what exiftool reads from the same files.
#include "DngErrorMatchers.h"
#include "DngStreams.h"
#include "tests/support/Samples.h"

#include "dng/dng_camera_profile.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_image.h"
#include "dng/dng_linearization_info.h"
#include "dng/dng_mosaic_info.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_tag_types.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct SampleCase {
    const char* file;
    uint32_t width, height;
    dng_rect active;
    uint32_t cropW, cropH, cropX, cropY;
    double black[4]; // pattern cells (0,0), (0,1), (1,0), (1,1) of plane 0
    double white;
    uint8_t cfa[4]; // row-major 2 x 2
    double colorMatrix1[9];
    double neutral[3];
    size_t opcodes[3];
};

const SampleCase kSamples[] = {
    {"BMPCC_cinemadng_frame.dng",
     1952,
     1112,
     dng_rect(0, 0, 1112, 1952),
     1920,
     1080,
     16,
     16,
     {256, 256, 256, 256},
     51080,
     {1, 2, 0, 1},
     {1.31197, -0.49679, 0.01156, -0.41723, 1.44237, 0.04528, 0.06723, 0.2171, 0.72651},
     {0.8722, 1, 0.5928},
     {0, 0, 0}},
    {"Pixel7_small.dng",
     510,
     382,
     dng_rect(0, 0, 382, 510),
     494,
     366,
     8,
     8,
     {1024.554688, 1024.730469, 1023.78125, 1023.929688},
     16368,
     {0, 1, 1, 2},
     {1.1556, -0.6598, 0.0696, -0.2355, 1.051, 0.2134, 0.0221, 0.1384, 0.6547},
     {1, 0.956079, 0.356516},
     {0, 4, 1}},
    {"synthetic_1024_rggb_uncompressed.dng",
     1024,
     1024,
     dng_rect(0, 0, 1024, 1024),
     1024,
     1024,
     0,
     0,
     {0, 0, 0, 0},
     65535,
     {0, 1, 1, 2},
     {1, 0, 0, 0, 1, 0, 0, 0, 1},
     {0, 0, 0},
     {0, 0, 0}},
};

class SampleNegative : public ::testing::TestWithParam<SampleCase> {};

TEST_P(SampleNegative, MatchesWhatExiftoolReads) {
    const SampleCase& c = GetParam();
    LV_REQUIRE_SAMPLE(c.file);
    dng_host host;
    dng_file_stream stream(testsupport::samplePath(c.file).c_str());
    auto negative = dngtest::ReadNegative(host, stream);

    const dng_image* raw = negative->Stage1Image();
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->Width(), c.width);
    EXPECT_EQ(raw->Height(), c.height);
    EXPECT_EQ(raw->Planes(), 1u);

    const dng_linearization_info& lin = *negative->GetLinearizationInfo();
    EXPECT_EQ(lin.fActiveArea, c.active);
    EXPECT_EQ(negative->DefaultCropSizeH().AsDouble(), c.cropW);
    EXPECT_EQ(negative->DefaultCropSizeV().AsDouble(), c.cropH);
    EXPECT_EQ(negative->DefaultCropOriginH().AsDouble(), c.cropX);
    EXPECT_EQ(negative->DefaultCropOriginV().AsDouble(), c.cropY);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(lin.fBlackLevel[k / 2 % lin.fBlackLevelRepeatRows][k % 2 % lin.fBlackLevelRepeatCols][0],
                    c.black[k], 1.0 / 256)
            << k;
    EXPECT_EQ(lin.fWhiteLevel[0], c.white);

    const dng_mosaic_info& mosaic = *negative->GetMosaicInfo();
    EXPECT_EQ(mosaic.fCFAPatternSize, dng_point(2, 2));
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(mosaic.fCFAPattern[k / 2][k % 2], c.cfa[k]) << k;

    ASSERT_EQ(negative->ProfileCount(), 1u);
    const dng_matrix& m = negative->ProfileByIndex(0).ColorMatrix1();
    ASSERT_EQ(m.Rows(), 3u);
    // The profile keeps the matrix scaled so that white's largest channel is 1: the tag's values
    // up to one common factor.
    const double scale = m[0][0] / c.colorMatrix1[0];
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(m[k / 3][k % 3], c.colorMatrix1[k] * scale, 1e-4) << k;
    if (c.neutral[0] > 0) {
        for (uint32_t k = 0; k < 3; ++k)
            EXPECT_NEAR(negative->CameraNeutral()[k], c.neutral[k], 1e-5);
    }

    EXPECT_EQ(negative->OpcodeList1().Count(), c.opcodes[0]);
    EXPECT_EQ(negative->OpcodeList2().Count(), c.opcodes[1]);
    EXPECT_EQ(negative->OpcodeList3().Count(), c.opcodes[2]);
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleNegative, ::testing::ValuesIn(kSamples),
                         [](const auto& info) { return std::to_string(info.index); });

// Codings without a decoder here end in the bad-format code, never in a half-read image.
TEST(SampleNegative, JpegXlAndVc5CodedFilesRefuseCleanly) {
    for (const char* file : {"NikonZ9_jxl_linear.dng", "Hero7_GOPR8508.GPR"}) {
        if (!std::filesystem::exists(testsupport::samplePath(file))) continue;
        dng_host host;
        dng_file_stream stream(testsupport::samplePath(file).c_str());
        EXPECT_DNG_ERROR(dngtest::ReadNegative(host, stream), dng_error_bad_format);
    }
}

} // namespace
