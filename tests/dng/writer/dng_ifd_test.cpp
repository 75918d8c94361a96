#include "dng/dng_exceptions.h"
#include "dng/dng_ifd.h"
#include "dng/dng_tag_types.h"

#include <gtest/gtest.h>

namespace {

dng_ifd Grid(uint32_t width, uint32_t length, uint32_t tileWidth, uint32_t tileLength, bool strips) {
    dng_ifd ifd;
    ifd.fImageWidth = width;
    ifd.fImageLength = length;
    ifd.fTileWidth = tileWidth;
    ifd.fTileLength = tileLength;
    ifd.fUsesStrips = strips;
    ifd.fUsesTiles = !strips;
    return ifd;
}

} // namespace

TEST(DngIfd, TileGridCountsAndAreas) {
    const dng_ifd empty;
    EXPECT_EQ(empty.TilesAcross(), 0u);
    EXPECT_EQ(empty.TilesDown(), 0u);
    EXPECT_EQ(empty.TilesPerImage(), 0u);

    const dng_ifd wide = Grid(1000, 100, 256, 100, false);
    EXPECT_EQ(wide.TilesAcross(), 4u);
    EXPECT_EQ(wide.TileArea(0, 3), dng_rect(0, 768, 100, 1024)); // columns never clipped

    EXPECT_EQ(Grid(100, 100, 100, 30, true).TileArea(3, 0), dng_rect(90, 0, 100, 100));
    EXPECT_EQ(Grid(100, 100, 100, 30, false).TileArea(3, 0), dng_rect(90, 0, 120, 100));

    dng_ifd planar = Grid(20, 20, 10, 10, false);
    planar.fSamplesPerPixel = 3;
    planar.fPlanarConfiguration = 2;
    EXPECT_EQ(planar.TilesPerImage(), 12u);
    planar.fPlanarConfiguration = 1;
    EXPECT_EQ(planar.TilesPerImage(), 4u);
}

TEST(DngIfd, TileByteCountByLayout) {
    struct Case {
        uint32_t planar, bits, samples, compression, width, expected;
    } cases[] = {{1, 16, 3, 1, 10, 120},
                 {2, 16, 3, 1, 10, 40},
                 {100000, 16, 3, 1, 10, 120},
                 {1, 16, 3, 7, 10, 0},
                 {1, 12, 1, 1, 3, 10}};
    for (const Case& c : cases) {
        dng_ifd ifd;
        ifd.fPlanarConfiguration = c.planar;
        ifd.fBitsPerSample[0] = c.bits;
        ifd.fSamplesPerPixel = c.samples;
        ifd.fCompression = c.compression;
        EXPECT_EQ(ifd.TileByteCount(dng_rect(0, 0, 2, int32_t(c.width))), c.expected)
            << c.planar << " " << c.bits;
    }
}

TEST(DngIfd, PixelTypeAndBaselineJpeg) {
    dng_ifd ifd;
    const std::pair<uint32_t, uint32_t> byBits[] = {{8, ttByte}, {12, ttShort}, {16, ttShort}, {32, ttLong}};
    for (const auto& [bits, type] : byBits) {
        ifd.fBitsPerSample[0] = bits;
        EXPECT_EQ(ifd.PixelType(), type) << bits;
    }
    ifd.fBitsPerSample[0] = 16;
    ifd.fSampleFormat[0] = 3;
    EXPECT_EQ(ifd.PixelType(), uint32_t(ttFloat));

    dng_ifd jpeg;
    jpeg.fBitsPerSample[0] = 8;
    jpeg.fCompression = 7;
    jpeg.fPhotometricInterpretation = 6;
    jpeg.fSamplesPerPixel = 3;
    EXPECT_TRUE(jpeg.IsBaselineJPEG());
    jpeg.fPlanarConfiguration = 2;
    EXPECT_FALSE(jpeg.IsBaselineJPEG());
    jpeg.fPhotometricInterpretation = 1;
    jpeg.fSamplesPerPixel = 1;
    EXPECT_TRUE(jpeg.IsBaselineJPEG());
    jpeg.fCompression = 34892;
    EXPECT_TRUE(jpeg.IsBaselineJPEG());
    jpeg.fBitsPerSample[0] = 16;
    EXPECT_FALSE(jpeg.IsBaselineJPEG());
}

TEST(DngIfd, FindTileSizeBalancesTilesOnCells) {
    dng_ifd ifd;
    ifd.fImageWidth = 3000;
    ifd.fImageLength = 2000;
    ifd.fSamplesPerPixel = 3;
    ifd.fBitsPerSample[0] = 16;
    ifd.FindTileSize(262144, 16, 16);
    EXPECT_EQ(ifd.fTileWidth, 208u);
    EXPECT_EQ(ifd.fTileLength, 208u);
    EXPECT_TRUE(ifd.fUsesTiles);
    EXPECT_FALSE(ifd.fUsesStrips);

    dng_ifd tiny = ifd;
    try {
        tiny.FindTileSize(4, 16, 16);
        FAIL() << "a budget below one pixel must fail";
    } catch (const dng_exception& e) {
        EXPECT_EQ(e.ErrorCode(), dng_error_unknown);
    }
}

TEST(DngIfd, FindStripSizeBalancesStrips) {
    dng_ifd ifd;
    ifd.fImageWidth = 1000;
    ifd.fImageLength = 100;
    ifd.fSamplesPerPixel = 3;
    ifd.fBitsPerSample[0] = 8;
    ifd.FindStripSize(65536, 1);
    EXPECT_EQ(ifd.fTileWidth, 1000u);
    EXPECT_EQ(ifd.fTileLength, 20u);
    EXPECT_EQ(ifd.TilesDown(), 5u);
    EXPECT_TRUE(ifd.fUsesStrips);
}

TEST(DngIfd, CopiesAreIndependent) {
    dng_ifd ifd;
    ifd.fPreviewInfo.fApplicationName.Set("Lumivar");
    std::unique_ptr<dng_ifd> copy(ifd.Clone());
    ifd.fPreviewInfo.fApplicationName.Set("Other");
    EXPECT_STREQ(copy->fPreviewInfo.fApplicationName.Get(), "Lumivar");
    EXPECT_EQ(copy->fCFAPattern[7][7], 255);
}
