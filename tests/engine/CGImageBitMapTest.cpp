#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "engine/core/CGImageBitMap.h"

namespace {

namespace bi = platform::bitmap_info;

// A one-row bitmap of the given samples, stored in the given byte order.
template <class Sample>
std::shared_ptr<platform::Bitmap> bitmapOf(const std::vector<Sample>& samples, size_t width, uint32_t info,
                                           bool bigEndian = false) {
    const size_t bits = sizeof(Sample) * 8;
    platform::BitmapLayout layout{
        width, 1, bits, bits * samples.size() / width, samples.size() * sizeof(Sample), info};
    auto b = platform::Bitmap::createOwned(layout, platform::ColorSpace::genericLinearRGB());
    uint8_t* out = b->mutableData();
    for (Sample s : samples) {
        std::memcpy(out, &s, sizeof(Sample));
        if (bigEndian) std::reverse(out, out + sizeof(Sample));
        out += sizeof(Sample);
    }
    return b;
}

TEST(CGImageBitMap, NullImageGivesNoWrapper) { EXPECT_FALSE(CGImageBitMap::create(nullptr)); }

TEST(CGImageBitMap, PremultipliedSixteenBitIsDividedByAlpha) {
    auto b = bitmapOf<uint16_t>({32768, 16384, 8192, 32768}, 1,
                                bi::kByteOrder16Little | bi::kAlphaPremultipliedLast);
    auto image = CGImageBitMap::create(b);
    std::vector<uint16_t> rgb(3);
    ASSERT_TRUE(image->getLinearBuffer(rgb));
    EXPECT_EQ(rgb, (std::vector<uint16_t>{65535, 32767, 16383}));
}

TEST(CGImageBitMap, BrightPixelsKeepTheirHueAndNegativesBecomeZero) {
    auto b = bitmapOf<float>({2.0f, 1.0f, 0.5f, 1.0f, -0.25f, 0.5f, 0.25f, 1.0f}, 2,
                             bi::kByteOrder32Little | bi::kFloatComponents | bi::kAlphaLast);
    auto image = CGImageBitMap::create(b);
    std::vector<uint16_t> rgb(6);
    ASSERT_TRUE(image->getLinearBuffer(rgb));
    EXPECT_EQ(rgb, (std::vector<uint16_t>{65535, 32767, 16383, 0, 32767, 16383}));
    std::vector<uint16_t> tooSmall(5);
    EXPECT_FALSE(image->getLinearBuffer(tooSmall));
}

TEST(CGImageBitMap, FloatRGBAUndoesPremultiplicationOnce) {
    auto premultiplied =
        bitmapOf<float>({0.25f, 0.1f, 0.0f, 0.5f}, 1,
                        bi::kByteOrder32Little | bi::kFloatComponents | bi::kAlphaPremultipliedLast);
    std::vector<float> out(4);
    ASSERT_TRUE(CGImageBitMap::create(premultiplied)->getFloatRBGABuffer(out));
    EXPECT_FLOAT_EQ(out[0], 0.5f);
    EXPECT_FLOAT_EQ(out[1], 0.2f);
    EXPECT_FLOAT_EQ(out[3], 0.5f);

    // Straight alpha is not read: A comes out as 1.
    auto straight = bitmapOf<float>({0.25f, 0.1f, 0.0f, 0.5f}, 1,
                                    bi::kByteOrder32Little | bi::kFloatComponents | bi::kAlphaLast);
    ASSERT_TRUE(CGImageBitMap::create(straight)->getFloatRBGABuffer(out));
    EXPECT_FLOAT_EQ(out[0], 0.25f);
    EXPECT_FLOAT_EQ(out[3], 1.0f);

    // A transparent premultiplied pixel stays black instead of dividing by zero.
    auto clear = bitmapOf<float>({0, 0, 0, 0}, 1,
                                 bi::kByteOrder32Little | bi::kFloatComponents | bi::kAlphaPremultipliedLast);
    ASSERT_TRUE(CGImageBitMap::create(clear)->getFloatRBGABuffer(out));
    EXPECT_EQ(out, (std::vector<float>{0, 0, 0, 0}));
}

struct LayoutCase {
    const char* name;
    std::shared_ptr<platform::Bitmap> image;
};

TEST(CGImageBitMap, SampleDepthsByteOrdersAndAlphaPositions) {
    // Every image holds red 1/5, green 2/5 and blue 3/5 of full scale.
    const LayoutCase cases[] = {
        {"8-bit, alpha first", bitmapOf<uint8_t>({255, 51, 102, 153}, 1, bi::kAlphaFirst)},
        {"8-bit, skip last", bitmapOf<uint8_t>({51, 102, 153, 0}, 1, bi::kAlphaNoneSkipLast)},
        {"16-bit, default order is big-endian",
         bitmapOf<uint16_t>({13107, 26214, 39321, 0}, 1, bi::kAlphaLast, true)},
        {"16-bit, little-endian",
         bitmapOf<uint16_t>({13107, 26214, 39321, 0}, 1, bi::kByteOrder16Little | bi::kAlphaLast)},
        {"32-bit integer, big-endian", bitmapOf<uint32_t>({858993459u, 1717986918u, 2576980377u, 0}, 1,
                                                          bi::kByteOrder32Big | bi::kAlphaLast, true)},
        {"float, default order is big-endian",
         bitmapOf<float>({0.2f, 0.4f, 0.6f}, 1, bi::kFloatComponents | bi::kAlphaNone, true)},
    };
    for (const auto& k : cases) {
        auto image = CGImageBitMap::create(k.image);
        std::array<double, 4> v{9, 9, 9, 9};
        ASSERT_TRUE(image->getPixelValues(0, 0, v)) << k.name;
        EXPECT_NEAR(v[0], 0.2, 1e-6) << k.name;
        EXPECT_NEAR(v[1], 0.4, 1e-6) << k.name;
        EXPECT_NEAR(v[2], 0.6, 1e-6) << k.name;
        EXPECT_EQ(v[3], 9) << k.name;
    }
}

TEST(CGImageBitMap, PixelValuesOutsideTheImage) {
    auto image = CGImageBitMap::create(bitmapOf<uint8_t>({1, 2, 3, 4, 5, 6, 7, 8}, 2, bi::kAlphaLast));
    for (auto [col, row] : {std::pair<int64_t, int64_t>{2, 0}, {0, 1}, {-1, 0}}) {
        std::array<double, 4> v{9, 9, 9, 9};
        EXPECT_FALSE(image->getPixelValues(col, row, v));
        EXPECT_EQ(v, (std::array<double, 4>{0, 0, 0, 1}));
    }
    EXPECT_EQ(image->extent(), (platform::Rect{0, 0, 2, 1}));
}

TEST(CGImageBitMap, LayoutsTheReadersCannotWalkAreRefused) {
    std::vector<float> out(16);
    std::vector<uint16_t> rgb(16);
    // Alpha only, grey (one sample a pixel), 64-bit samples and half floats.
    auto alphaOnly = bitmapOf<uint8_t>({1, 2, 3, 4}, 1, bi::kAlphaOnly);
    auto grey = bitmapOf<uint8_t>({1, 2, 3, 4}, 4, bi::kAlphaNone);
    auto wide = bitmapOf<uint64_t>({1, 2, 3, 4}, 1, bi::kAlphaLast);
    auto half = bitmapOf<uint16_t>({1, 2, 3, 4}, 1, bi::kFloatComponents | bi::kAlphaLast);
    for (const auto& b : {alphaOnly, grey, wide, half}) {
        auto image = CGImageBitMap::create(b);
        EXPECT_FALSE(image->getDataProvider());
        EXPECT_FALSE(image->getLinearBuffer(rgb));
        EXPECT_FALSE(image->getFloatRBGABuffer(out));
    }
}

} // namespace
