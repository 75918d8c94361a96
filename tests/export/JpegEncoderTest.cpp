#include "export/JpegEncoder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace bi = platform::bitmap_info;

TEST(JpegEncoder, QualityIsARoundedPercentageFromOneToAHundred) {
    const std::pair<double, int> cases[] = {{0.7, 70}, {1.0, 100}, {0.555, 56}, {0.0, 1},
                                            {-3, 1},   {1.5, 100}, {NAN, 100},  {0.004, 1}};
    for (auto [q, expected] : cases)
        EXPECT_EQ(jpegQuality(q), expected) << q;
}

TEST(JpegEncoder, EverySixteenBitSampleRoundsToTheNearestEightBitOne) {
    // One row of every 16-bit value, as host-order RGBA and as big-endian RGB.
    auto host = platform::Bitmap::createOwned(
        {65536, 1, 16, 64, 65536 * 8, bi::kByteOrder16Little | bi::kAlphaLast}, nullptr);
    auto big = platform::Bitmap::createOwned({65536, 1, 16, 48, 65536 * 6, bi::kByteOrder16Big}, nullptr);
    auto* h = reinterpret_cast<uint16_t*>(host->mutableData());
    uint8_t* b = big->mutableData();
    for (uint32_t v = 0; v < 65536; ++v) {
        h[4 * v] = h[4 * v + 1] = h[4 * v + 2] = uint16_t(v);
        h[4 * v + 3] = 65535;
        for (int c = 0; c < 3; ++c)
            b[6 * v + 2 * c] = uint8_t(v >> 8), b[6 * v + 2 * c + 1] = uint8_t(v);
    }
    for (const auto& image : {host, big}) {
        auto rgb = rgb8Pixels(image);
        ASSERT_TRUE(rgb);
        for (uint32_t v = 0; v < 65536; ++v)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(rgb[3 * v + c], std::lround(v * 255.0 / 65535.0)) << v;
    }
}

TEST(JpegEncoder, PremultipliedColourIsDividedByAlpha) {
    auto image = platform::Bitmap::createOwned({2, 1, 8, 32, 8, bi::kAlphaPremultipliedLast}, nullptr);
    const uint8_t px[] = {50, 100, 0, 128, 9, 9, 9, 0};
    std::copy(std::begin(px), std::end(px), image->mutableData());
    auto rgb = rgb8Pixels(image);
    ASSERT_TRUE(rgb);
    EXPECT_EQ(std::vector<uint8_t>(rgb.get(), rgb.get() + 6), (std::vector<uint8_t>{100, 199, 0, 0, 0, 0}));
}

TEST(JpegEncoder, RefusesWhatItCannotRead) {
    EXPECT_EQ(rgb8Pixels(nullptr), nullptr);
    // Two samples a pixel hold no R, G and B.
    EXPECT_EQ(rgb8Pixels(platform::Bitmap::createOwned({4, 4, 16, 32, 32, 0}, nullptr)), nullptr);
    std::string failure;
    uint8_t rgb[3] = {};
    EXPECT_FALSE(encodeJpeg(rgb, 0, 1, 90, &failure));
    EXPECT_FALSE(failure.empty());
}
