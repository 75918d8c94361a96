#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/BitmapImage.h"

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

TEST(BitmapImage, NullImageGivesNoWrapper) { EXPECT_FALSE(BitmapImage::create(nullptr)); }

TEST(BitmapImage, PremultipliedSixteenBitIsDividedByAlpha) {
    auto b = bitmapOf<uint16_t>({32768, 16384, 8192, 32768}, 1,
                                bi::kByteOrder16Little | bi::kAlphaPremultipliedLast);
    auto image = BitmapImage::create(b);
    std::vector<uint16_t> rgb(3);
    ASSERT_TRUE(image->getLinearBuffer(rgb));
    EXPECT_EQ(rgb, (std::vector<uint16_t>{65535, 32767, 16383}));
}

TEST(BitmapImage, BrightPixelsKeepTheirHueAndNegativesBecomeZero) {
    auto b = bitmapOf<float>({2.0f, 1.0f, 0.5f, 1.0f, -0.25f, 0.5f, 0.25f, 1.0f}, 2,
                             bi::kByteOrder32Little | bi::kFloatComponents | bi::kAlphaLast);
    auto image = BitmapImage::create(b);
    std::vector<uint16_t> rgb(6);
    ASSERT_TRUE(image->getLinearBuffer(rgb));
    EXPECT_EQ(rgb, (std::vector<uint16_t>{65535, 32767, 16383, 0, 32767, 16383}));
    std::vector<uint16_t> tooSmall(5);
    EXPECT_FALSE(image->getLinearBuffer(tooSmall));
}

TEST(BitmapImage, FloatRGBAUndoesPremultiplicationOnce) {
    auto premultiplied =
        bitmapOf<float>({0.25f, 0.1f, 0.0f, 0.5f}, 1,
                        bi::kByteOrder32Little | bi::kFloatComponents | bi::kAlphaPremultipliedLast);
    std::vector<float> out(4);
    ASSERT_TRUE(BitmapImage::create(premultiplied)->getFloatRBGABuffer(out));
    EXPECT_FLOAT_EQ(out[0], 0.5f);
    EXPECT_FLOAT_EQ(out[1], 0.2f);
    EXPECT_FLOAT_EQ(out[3], 0.5f);

    // Straight alpha is not read: A comes out as 1.
    auto straight = bitmapOf<float>({0.25f, 0.1f, 0.0f, 0.5f}, 1,
                                    bi::kByteOrder32Little | bi::kFloatComponents | bi::kAlphaLast);
    ASSERT_TRUE(BitmapImage::create(straight)->getFloatRBGABuffer(out));
    EXPECT_FLOAT_EQ(out[0], 0.25f);
    EXPECT_FLOAT_EQ(out[3], 1.0f);

    // A transparent premultiplied pixel stays black instead of dividing by zero.
    auto clear = bitmapOf<float>({0, 0, 0, 0}, 1,
                                 bi::kByteOrder32Little | bi::kFloatComponents | bi::kAlphaPremultipliedLast);
    ASSERT_TRUE(BitmapImage::create(clear)->getFloatRBGABuffer(out));
    EXPECT_EQ(out, (std::vector<float>{0, 0, 0, 0}));
}

struct LayoutCase {
    const char* name;
    std::shared_ptr<platform::Bitmap> image;
};

TEST(BitmapImage, SampleDepthsByteOrdersAndAlphaPositions) {
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
        auto image = BitmapImage::create(k.image);
        std::array<double, 4> v{9, 9, 9, 9};
        ASSERT_TRUE(image->getPixelValues(0, 0, v)) << k.name;
        EXPECT_NEAR(v[0], 0.2, 1e-6) << k.name;
        EXPECT_NEAR(v[1], 0.4, 1e-6) << k.name;
        EXPECT_NEAR(v[2], 0.6, 1e-6) << k.name;
        EXPECT_EQ(v[3], 9) << k.name;
    }
}

TEST(BitmapImage, PixelValuesOutsideTheImage) {
    auto image = BitmapImage::create(bitmapOf<uint8_t>({1, 2, 3, 4, 5, 6, 7, 8}, 2, bi::kAlphaLast));
    for (auto [col, row] : {std::pair<int64_t, int64_t>{2, 0}, {0, 1}, {-1, 0}}) {
        std::array<double, 4> v{9, 9, 9, 9};
        EXPECT_FALSE(image->getPixelValues(col, row, v));
        EXPECT_EQ(v, (std::array<double, 4>{0, 0, 0, 1}));
    }
    EXPECT_EQ(image->extent(), (platform::Rect{0, 0, 2, 1}));
}

TEST(BitmapImage, LayoutsTheReadersCannotWalkAreRefused) {
    std::vector<float> out(16);
    std::vector<uint16_t> rgb(16);
    // Alpha only, grey (one sample a pixel), 64-bit samples and half floats.
    auto alphaOnly = bitmapOf<uint8_t>({1, 2, 3, 4}, 1, bi::kAlphaOnly);
    auto grey = bitmapOf<uint8_t>({1, 2, 3, 4}, 4, bi::kAlphaNone);
    auto wide = bitmapOf<uint64_t>({1, 2, 3, 4}, 1, bi::kAlphaLast);
    auto half = bitmapOf<uint16_t>({1, 2, 3, 4}, 1, bi::kFloatComponents | bi::kAlphaLast);
    for (const auto& b : {alphaOnly, grey, wide, half}) {
        auto image = BitmapImage::create(b);
        EXPECT_FALSE(image->getDataProvider());
        EXPECT_FALSE(image->getLinearBuffer(rgb));
        EXPECT_FALSE(image->getFloatRBGABuffer(out));
    }
}

// A W x H 8-bit RGBA image whose pixel (r, c) is (10 c + 1, 10 r + 1, 77, 255).
std::shared_ptr<platform::Bitmap> labelled(size_t W, size_t H) {
    std::vector<uint8_t> samples;
    for (size_t r = 0; r < H; ++r)
        for (size_t c = 0; c < W; ++c)
            samples.insert(samples.end(), {uint8_t(10 * c + 1), uint8_t(10 * r + 1), 77, 255});
    platform::BitmapLayout layout{W, H, 8, 32, W * 4, bi::kAlphaLast};
    auto b = platform::Bitmap::createOwned(layout, platform::ColorSpace::sRGB());
    std::copy(samples.begin(), samples.end(), b->mutableData());
    return b;
}

// Red and green of pixel (row, col): the source column and row it shows.
std::pair<int, int> sourceOf(const platform::Bitmap& b, size_t row, size_t col) {
    const uint8_t* p = b.data() + row * b.bytesPerRow() + col * 4;
    return {(p[1] - 1) / 10, (p[0] - 1) / 10};
}

// Where the turned image's pixel (row, col) comes from in a w x h unturned one, and the
// turned size.
struct Turn {
    int code;
    bool exchanges;
    std::pair<size_t, size_t> (*source)(size_t row, size_t col, size_t w, size_t h);
};
const Turn kTurns[] = {
    {1, false,
     [](size_t row, size_t col, size_t, size_t) {
         return std::pair{row, col};
     }},
    {6, true,
     [](size_t row, size_t col, size_t, size_t h) {
         return std::pair{h - 1 - col, row};
     }},
    {8, true,
     [](size_t row, size_t col, size_t w, size_t) {
         return std::pair{col, w - 1 - row};
     }},
};

// Checks that `out` is the w x h scaling of the 3 x 2 image, turned by `turn`.
void expectTurned(const platform::Bitmap& out, const Turn& turn, size_t w, size_t h) {
    ASSERT_EQ(out.width(), turn.exchanges ? h : w) << turn.code;
    ASSERT_EQ(out.height(), turn.exchanges ? w : h) << turn.code;
    for (size_t row = 0; row < out.height(); ++row)
        for (size_t col = 0; col < out.width(); ++col) {
            const auto [sr, sc] = turn.source(row, col, w, h);
            const auto want = std::pair{int(sr * 2 / h), int(sc * 3 / w)};
            EXPECT_EQ(sourceOf(out, row, col), want) << "code " << turn.code << " at " << row << "," << col;
        }
}

TEST(BitmapImage, ResizingTurnsByTheOrientationCode) {
    auto image = labelled(3, 2);
    for (const Turn& turn : kTurns)
        for (auto [w, h] : {std::pair<size_t, size_t>{3, 2}, {6, 4}}) {
            auto out =
                BitmapImage::createResizedImageBitmap(*image, {double(w), double(h)}, false, turn.code, 1);
            ASSERT_TRUE(out);
            EXPECT_EQ(out->bitmapInfo(), image->bitmapInfo());
            EXPECT_EQ(out->colorSpace(), image->colorSpace());
            expectTurned(*out, turn, w, h);
        }
    // A size below one pixel keeps the image's own.
    auto own = BitmapImage::createResizedImageBitmap(*image, {0, 5}, false, 6, 3);
    ASSERT_TRUE(own);
    expectTurned(*own, kTurns[1], 3, 2);
}

TEST(BitmapImage, CropsThenScalesAndTurns) {
    auto bitmap = BitmapImage::create(labelled(3, 2));
    // The whole image at its own size and code 1 is the same pixels, not a copy.
    for (platform::Rect whole : {platform::Rect{0, 0, 3, 2}, platform::Rect{1, 1, -1, 1}}) {
        auto same = bitmap->croppedAndScaledImage(whole, {3, 2}, 1);
        ASSERT_TRUE(same);
        EXPECT_EQ(same->getImageRef()->data(), bitmap->getImageRef()->data());
    }
    for (const Turn& turn : kTurns) {
        // Columns 1 and 2, both rows: a 2 x 2 crop of source columns 1 and 2.
        auto crop = bitmap->croppedAndScaledImage({1, 0, 2, 2}, {2, 2}, turn.code);
        ASSERT_TRUE(crop) << turn.code;
        const platform::Bitmap& out = *crop->getImageRef();
        ASSERT_EQ(out.width(), 2u);
        ASSERT_EQ(out.height(), 2u);
        for (size_t row = 0; row < 2; ++row)
            for (size_t col = 0; col < 2; ++col) {
                const auto [sr, sc] = turn.source(row, col, 2, 2);
                EXPECT_EQ(sourceOf(out, row, col), (std::pair{int(sr), int(sc) + 1})) << turn.code;
            }
        // Scaled up smoothly, the corners keep their colours.
        auto big = bitmap->croppedAndScaledImage({0, 0, 3, 2}, {6, 4}, turn.code);
        ASSERT_TRUE(big);
        const platform::Bitmap& b = *big->getImageRef();
        const size_t lastRow = b.height() - 1, lastCol = b.width() - 1;
        const auto [r0, c0] = turn.source(0, 0, 6, 4);
        EXPECT_EQ(sourceOf(b, 0, 0), (std::pair{int(r0 / 2), int(c0 / 2)})) << turn.code;
        const auto [r1, c1] = turn.source(lastRow, lastCol, 6, 4);
        EXPECT_EQ(sourceOf(b, lastRow, lastCol), (std::pair{int(r1 / 2), int(c1 / 2)})) << turn.code;
    }
    EXPECT_FALSE(bitmap->croppedAndScaledImage({5, 5, 2, 2}, {2, 2}, 1)); // outside the image
}

TEST(BitmapImage, SmoothScalingWeighsNeighboursInEachSampleFormat) {
    // Two pixels become four: the outer ones keep their values, the inner ones are 3:1 mixes.
    auto little =
        bitmapOf<uint16_t>({0, 0, 0, 0, 4000, 8000, 400, 65535}, 2, bi::kByteOrder16Little | bi::kAlphaLast);
    auto big = bitmapOf<uint16_t>({0, 0, 0, 0, 4000, 8000, 400, 65535}, 2,
                                  bi::kByteOrder16Big | bi::kAlphaLast, true);
    auto floats = bitmapOf<float>({0, 0, 0, 0, 4000, 8000, 400, 65535}, 2,
                                  bi::kByteOrder32Little | bi::kFloatComponents | bi::kAlphaLast);
    for (const auto& b : {little, big, floats}) {
        auto out = BitmapImage::create(b->scaled(4, 1, true));
        ASSERT_TRUE(out);
        std::vector<float> rgba(16);
        ASSERT_TRUE(out->getFloatRBGABuffer(rgba));
        const float scale = (b->bitmapInfo() & bi::kFloatComponents) ? 1.0f : 65535.0f;
        for (int i = 0; i < 4; ++i) {
            const float mix[4] = {0, 0.25f, 0.75f, 1};
            EXPECT_NEAR(rgba[size_t(i) * 4] * scale, 4000 * mix[i], 1) << i;
            EXPECT_NEAR(rgba[size_t(i) * 4 + 1] * scale, 8000 * mix[i], 1) << i;
        }
    }
}

TEST(BitmapImage, InfoDumpGoesToStandardErrorAndStaysInTheRow) {
    // 100 pixels of four 16-bit samples: samples 256 to 355 exist.
    std::vector<uint16_t> samples(400);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = uint16_t(i);
    auto image =
        BitmapImage::create(bitmapOf<uint16_t>(samples, 100, bi::kByteOrder16Little | bi::kAlphaLast));
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    image->dumpCGImageInfo(0);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(err.find("image size: 100 x 1"), std::string::npos) << err;
    EXPECT_NE(err.find("Data length: 800"), std::string::npos);
    EXPECT_NE(err.find("Lumivar: 256: 256 257 258 259 \n"), std::string::npos);
    EXPECT_NE(err.find("Lumivar: 352: 352 353 354 355 \n"), std::string::npos);

    // 70 pixels hold samples up to 279: the dump stops there; a row past the end shows none.
    auto narrow = BitmapImage::create(
        bitmapOf<uint16_t>(std::vector<uint16_t>(280, 7), 70, bi::kByteOrder16Little | bi::kAlphaLast));
    ::testing::internal::CaptureStderr();
    narrow->dumpCGImageInfo(0);
    narrow->dumpCGImageInfo(1);
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Lumivar: 276: 7 7 7 7 \n"), std::string::npos) << err;
    EXPECT_EQ(err.find("280:"), std::string::npos);
}

} // namespace
