// Lossless JPEG frames of the test encoder decode back to the samples they were made of.
#include "DngErrorMatchers.h"
#include "tests/support/LosslessJpegEncoder.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_lossless_jpeg_decoder.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct FrameCase {
    int precision, width, height, components, predictor, pointTransform, restartRows;
    bool tablePerComponent;
};

class LosslessJpegDecode : public ::testing::TestWithParam<FrameCase> {};

TEST_P(LosslessJpegDecode, GivesBackTheEncodedSamples) {
    const FrameCase& c = GetParam();
    testsupport::LosslessJpegFrame frame;
    frame.precision = c.precision;
    frame.width = c.width;
    frame.height = c.height;
    frame.components = c.components;
    frame.predictor = c.predictor;
    frame.pointTransform = c.pointTransform;
    frame.restartRows = c.restartRows;
    frame.tablePerComponent = c.tablePerComponent;
    std::mt19937 random(uint32_t(c.predictor * 131 + c.components * 7 + c.precision));
    const int maxValue = (1 << (c.precision - c.pointTransform)) - 1;
    for (int i = 0; i < c.width * c.height * c.components; ++i)
        frame.samples.push_back(uint16_t((random() % uint32_t(maxValue + 1)) << c.pointTransform));
    const std::vector<uint8_t> stream = testsupport::encodeLosslessJpeg(frame);

    const dng_lossless_jpeg_frame decoded = DecodeLosslessJPEG(stream.data(), stream.size(), 1u << 24);
    EXPECT_EQ(decoded.width, uint32_t(c.width));
    EXPECT_EQ(decoded.height, uint32_t(c.height));
    EXPECT_EQ(decoded.components, uint32_t(c.components));
    EXPECT_EQ(decoded.samples, frame.samples);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, LosslessJpegDecode,
    ::testing::Values(FrameCase{16, 7, 5, 1, 1, 0, 0, false}, FrameCase{12, 9, 4, 2, 2, 0, 0, true},
                      FrameCase{14, 5, 6, 3, 3, 0, 0, true}, FrameCase{16, 6, 3, 4, 4, 0, 0, true},
                      FrameCase{10, 11, 5, 2, 5, 0, 2, false}, FrameCase{8, 3, 7, 1, 6, 0, 1, false},
                      FrameCase{16, 8, 8, 2, 7, 0, 3, true}, FrameCase{12, 5, 5, 1, 1, 2, 0, false}));

TEST(LosslessJpegDecode, RefusesWhatIsNotALosslessFrame) {
    testsupport::LosslessJpegFrame frame;
    frame.precision = 12;
    frame.width = 4;
    frame.height = 4;
    frame.samples.assign(16, 100);
    const std::vector<uint8_t> stream = testsupport::encodeLosslessJpeg(frame);
    // A frame larger than the caller allows, no start marker, or no scan at all.
    EXPECT_DNG_ERROR(DecodeLosslessJPEG(stream.data(), stream.size(), 15), dng_error_bad_format);
    const std::vector<uint8_t> notJpeg = {0x12, 0x34, 0x56, 0x78};
    EXPECT_DNG_ERROR(DecodeLosslessJPEG(notJpeg.data(), notJpeg.size(), 100), dng_error_bad_format);
    const std::vector<uint8_t> headerOnly(stream.begin(), stream.begin() + 20);
    EXPECT_DNG_ERROR(DecodeLosslessJPEG(headerOnly.data(), headerOnly.size(), 100), dng_error_bad_format);
}

} // namespace
