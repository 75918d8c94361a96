// YCC to RGB: the integer conversion, the transfer tables, output kinds, rotation and
// monochrome media.
#include <gtest/gtest.h>

#include "photocd/PcdColorConverter.h"
#include "photocd/pcdDecode.h"
#include "tests/photocd/PcdTestFiles.h"
#include "tests/support/PhotoCdBuilder.h"

using photocd::PcdColorConverter;
using photocd::PcdRgb;
using testsupport::PhotoCdBuilder;

namespace {

// A Base/16 decoder over flat planes.
struct FlatPack {
    pcdtest::TempFolder folder;
    pcdDecode decoder;
    FlatPack(uint8_t y, uint8_t c1, uint8_t c2, int medium = 0, int rotation = 0) {
        PhotoCdBuilder b;
        b.attributes(rotation, 0).byte(2069, static_cast<uint8_t>(medium)).flatLevels(y, c1, c2);
        decoder.setInterpolation(0);
        parsed = decoder.parseFile(folder.write("f.pcd", b.data()), "", 0);
    }
    bool parsed = false;
};

TEST(PcdColor, GreyChromaGivesEqualChannelsInEveryOutputKind) {
    for (int y : {0, 1, 100, 200, 255}) {
        SCOPED_TRACE(y);
        FlatPack pack(static_cast<uint8_t>(y), 156, 137);
        ASSERT_TRUE(pack.parsed);
        const int code = (5573 * y) >> 10;
        const size_t n = 192 * 128;
        std::vector<uint8_t> px8(n * 4);
        std::vector<uint16_t> px16(n * 3);
        std::vector<float> pxf(n * 3);
        ASSERT_TRUE(pack.decoder.read8BitImage(&px8[0], &px8[1], &px8[2], &px8[3], 4));
        ASSERT_TRUE(pack.decoder.read16BitImage(&px16[0], &px16[1], &px16[2], nullptr, 3));
        ASSERT_TRUE(pack.decoder.readFloatImage(&pxf[0], &pxf[1], &pxf[2], nullptr, 3));
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_EQ(px8[ch], code * 255 / 1388);
            EXPECT_EQ(px16[ch], code * 65535 / 1388);
            EXPECT_FLOAT_EQ(pxf[ch], code / 1388.0f);
        }
        EXPECT_EQ(px8[3], 255);
    }
}

TEST(PcdColor, ColouredPixelFollowsTheIntegerConversion) {
    FlatPack pack(120, 200, 90);
    ASSERT_TRUE(pack.parsed);
    // By hand: v = 668760, e = 399740, c = -350667 -> codes 310, 752, 1043.
    std::vector<uint8_t> rgba(192 * 128 * 4);
    ASSERT_TRUE(
        pack.decoder.read8BitImage(rgba.data(), rgba.data() + 1, rgba.data() + 2, rgba.data() + 3, 4));
    for (size_t at : {size_t(0), rgba.size() - 4}) {
        EXPECT_EQ(rgba[at], 56);
        EXPECT_EQ(rgba[at + 1], 138);
        EXPECT_EQ(rgba[at + 2], 191);
        EXPECT_EQ(rgba[at + 3], 255);
    }
}

TEST(PcdColor, ConverterModes) {
    struct Case {
        int mode;
        bool matrix;
        int y, c1, c2;
        PcdRgb expected;
    } cases[] = {
        {0, false, 100, 156, 137, {544, 544, 544}},
        {0, false, 0, 255, 0, {0, 338, 878}},       // red clamped at 0
        {0, false, 255, 255, 0, {389, 1388, 1388}}, // green and blue clamped at 1388
        {3, false, 255, 0, 127, {1388, 0, 691}},    // scaled YCC
        {1, false, 255, 156, 137, {1385, 1385, 1385}},
        {1, true, 255, 156, 137, {1044, 1052, 1387}},
        {2, false, 0, 156, 137, {0, 0, 0}},
        {2, true, 255, 156, 137, {1224, 1228, 1387}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " matrix " << c.matrix << " y " << c.y);
        const PcdRgb v = PcdColorConverter(c.mode, c.matrix).convert(c.y, c.c1, c.c2);
        EXPECT_EQ(v.r, c.expected.r);
        EXPECT_EQ(v.g, c.expected.g);
        EXPECT_EQ(v.b, c.expected.b);
    }
}

TEST(PcdColor, TransferTablesAndOutputScaling) {
    const auto& lin = PcdColorConverter::linearTable();
    const std::pair<int, int> linRows[] = {{0, 0}, {100, 16}, {700, 350}, {1000, 709}, {1388, 1387}};
    for (const auto& [in, out] : linRows)
        EXPECT_EQ(lin[in], out) << in;
    const auto& srgb = PcdColorConverter::sRGBTable();
    EXPECT_EQ(srgb[0], 0);
    EXPECT_EQ(srgb[694], 1020); // 1388 x 0.73536
    EXPECT_EQ(srgb[1388], 1388);
    for (int i = 1; i <= 1388; ++i) {
        ASSERT_GE(lin[i], lin[i - 1]) << i;
        ASSERT_GE(srgb[i], srgb[i - 1]) << i;
    }
    EXPECT_EQ(photocd::codeTo16(1388), 65535);
    EXPECT_EQ(photocd::codeTo16(694), 32767);
    EXPECT_EQ(photocd::codeTo8(1388), 255);
    EXPECT_FLOAT_EQ(photocd::codeToFloat(1388), 1.0f);
}

TEST(PcdColor, RotationMovesTheFirstPixel) {
    struct Case {
        int rotation, width, height, row, column;
    } cases[] = {{0, 192, 128, 0, 0}, {1, 128, 192, 191, 0}, {2, 192, 128, 127, 191}, {3, 128, 192, 0, 127}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rotation);
        PhotoCdBuilder b;
        b.attributes(c.rotation, 0)
            .plainLevel(
                0, [](int r, int col) { return uint8_t(r == 0 && col == 0 ? 200 : 50); },
                [](int, int) { return uint8_t(156); }, [](int, int) { return uint8_t(137); });
        pcdtest::TempFolder folder;
        pcdDecode decoder;
        ASSERT_TRUE(decoder.parseFile(folder.write("r.pcd", b.data()), "", 0));
        EXPECT_EQ(decoder.rotation(), c.rotation);
        const pcdtest::Rgb16Image image = pcdtest::read16(decoder);
        ASSERT_EQ(image.width, c.width);
        ASSERT_EQ(image.height, c.height);
        EXPECT_EQ(image.at(c.row, c.column, 0), pcdtest::grey16(200));
        int bright = 0;
        for (size_t i = 0; i < image.samples.size(); i += 3)
            bright += image.samples[i] == pcdtest::grey16(200);
        EXPECT_EQ(bright, 1);
    }
}

TEST(PcdColor, SeparatePlanesMatchInterleavedPixels) {
    PhotoCdBuilder b;
    b.plainLevel(
        0, [](int r, int c) { return uint8_t(r + c); }, [](int r, int c) { return uint8_t(100 + r + c); },
        [](int r, int c) { return uint8_t(200 - r - c); });
    pcdtest::TempFolder folder;
    pcdDecode decoder; // edge-directed chroma by default
    ASSERT_TRUE(decoder.parseFile(folder.write("p.pcd", b.data()), "", 0));
    const size_t n = 192 * 128;
    std::vector<uint16_t> r(n), g(n), bl(n), rgba(n * 4);
    ASSERT_TRUE(decoder.read16BitImage(r.data(), g.data(), bl.data(), nullptr, 1));
    ASSERT_TRUE(decoder.read16BitImage(rgba.data(), rgba.data() + 1, rgba.data() + 2, rgba.data() + 3, 4));
    for (size_t i = 0; i < n; ++i) {
        ASSERT_EQ(rgba[4 * i], r[i]) << i;
        ASSERT_EQ(rgba[4 * i + 1], g[i]) << i;
        ASSERT_EQ(rgba[4 * i + 2], bl[i]) << i;
        ASSERT_EQ(rgba[4 * i + 3], 65535) << i;
    }
}

TEST(PcdColor, BlackAndWhiteMediaDecodeGrey) {
    for (int medium : {4, 5, 6}) {
        FlatPack pack(100, 220, 40, medium);
        ASSERT_TRUE(pack.parsed);
        EXPECT_TRUE(pack.decoder.isBlackAndWhiteMedium());
        EXPECT_TRUE(pack.decoder.monochrome());
        pack.decoder.setMonochrome(false); // cannot be cleared
        EXPECT_TRUE(pack.decoder.monochrome());
        const pcdtest::Rgb16Image image = pcdtest::read16(pack.decoder);
        ASSERT_FALSE(image.samples.empty());
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_EQ(image.at(64, 96, ch), pcdtest::grey16(100));
    }
    FlatPack colour(100, 220, 40, 1);
    EXPECT_FALSE(colour.decoder.monochrome());
}

TEST(PcdColor, ReadingWithoutAnImageWritesNothing) {
    pcdDecode decoder;
    uint16_t px[3] = {7, 7, 7};
    EXPECT_FALSE(decoder.read16BitImage(px, px + 1, px + 2, nullptr, 3));
    EXPECT_EQ(px[0], 7);
    EXPECT_EQ(decoder.width(), 0);
}

} // namespace
