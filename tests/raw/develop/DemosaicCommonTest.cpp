#include "raw/develop/DemosaicCommon.h"

#include <gtest/gtest.h>

#include "raw/develop/FrameFill.h"
#include "tests/raw/MosaicFixture.h"

using namespace mosaic_test;

namespace {

TEST(DemosaicCommon, ColourLookupForEveryKindOfPattern) {
    raw::demosaic_job job{};
    std::memcpy(job.xtrans, kXTransCell, sizeof job.xtrans);
    raw::demosaic_copy_xtrans(job);
    // 0xb4b4b4b4 is a four-colour word whose second green keeps its own index; pattern 1
    // reads its 16 x 16 table 8 rows and 2 columns on.
    struct Case {
        uint32_t filters;
        int row, col, colour;
    } cases[] = {
        {kRGGB, 0, 0, 0},    {kRGGB, 0, 1, 1},      {kRGGB, 1, 0, 1},   {kRGGB, 1, 1, 2},
        {kRGGB, -1, -1, 2},  {kBGGR, 0, 0, 2},      {kGRBG, 0, 1, 0},   {kGBRG, 0, 1, 2},
        {kGBRG, 9, 0, 0},    {0xb4b4b4b4, 3, 0, 3}, {1, 0, 0, 3},       {1, -8, -2, 2},
        {1, 7, 13, 3},       {1, 8, 0, 1},          {kXTrans, 0, 4, 2}, {kXTrans, -1, -1, 1},
        {kXTrans, 10, 9, 2}, {kXTrans, -6, 1, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(raw::demosaic_colour_at(c.filters, c.row, c.col), c.colour)
            << std::hex << c.filters << std::dec << " at " << c.row << "," << c.col;
}

TEST(DemosaicCommon, BorderFillTakesBlockMeansAndLeavesTheInside) {
    // Own values 100 * row + col + 1 on RGGB.
    Mosaic m = mosaic(12, 12, kRGGB, [](int r, int c) {
        int v = 100 * r + c + 1;
        return Rgb{v, v, v};
    });
    raw::demosaic_job job = m.job();
    raw::demosaic_border_fill(job, 5);
    // Red corner: greens (0,1) (1,0) (1,2) (2,1) and blues (1,1) in its clipped 5 x 5 block.
    const Pixel& corner = m.at(0, 0);
    EXPECT_EQ(corner[0], 1);
    EXPECT_EQ(corner[1], (2 + 101 + 103 + 202) / 4);
    EXPECT_EQ(corner[2], 102);
    EXPECT_EQ(corner[3], 0);
    // Green at (4,5): reds at rows 2 and 4 and 6, cols 4 and 6; blues at rows 3 and 5, cols 3, 5, 7.
    const Pixel& green = m.at(4, 5);
    EXPECT_EQ(green[0], (205 + 207 + 405 + 407 + 605 + 607) / 6);
    EXPECT_EQ(green[2], (304 + 306 + 308 + 504 + 506 + 508) / 6);
    // Right frame starts at width - 5; (5,5) and (5,6) are inside.
    EXPECT_EQ(m.at(5, 5)[0], 0);
    EXPECT_EQ(m.at(5, 6)[2], 0);
    EXPECT_NE(m.at(5, 7)[0], 0);
}

TEST(DemosaicCommon, BorderFillOfImagesNarrowerThanTwoBordersEnds) {
    // Every column is then in the frame; the skip over the middle must not jump back.
    for (int width : {1, 7, 9, 10}) {
        Mosaic m = mosaic(20, width, kGRBG, [](int, int) { return Rgb{10, 20, 30}; });
        raw::demosaic_job job = m.job();
        raw::demosaic_border_fill(job, 5);
        if (width > 1) {
            EXPECT_EQ(m.at(10, width - 1)[0] + m.at(10, width - 1)[2], 40) << width;
        }
    }
}

// The fill runs in parts side by side (runs of columns across the top and bottom rows, runs
// of rows between): together they must give what one pass over the frame gives.
TEST(DemosaicCommon, BorderFillInPartsEqualsOnePass) {
    struct Case {
        int height, width, border;
        uint32_t filters;
    } cases[] = {
        {97, 131, 16, kRGGB}, {97, 131, 5, kXTrans}, {40, 300, 16, kRGGBFourColour},
        {300, 20, 16, kGBRG}, {25, 25, 16, kRGGB},   {64, 64, 0, kRGGB},
        {30, 30, -1, kBGGR},  {3, 500, 2, kGRBG},
    };
    unsigned seed = 1;
    for (const Case& c : cases) {
        Mosaic parts(c.height, c.width, c.filters, 3, 7); // a channel no block feeds keeps its 7
        parts.paint_noise(seed++);
        Mosaic whole = parts.clone();
        const raw::demosaic_job job = parts.job();
        raw::demosaic_copy_xtrans(job);
        raw::demosaic_border_fill(job, c.border);
        raw::fill_frame(whole.state->pixel_image, c.height, c.width, c.border, 2, 3,
                        [&](int row, int col) { return raw::demosaic_colour_at(c.filters, row, col); });
        EXPECT_TRUE(parts.pixels == whole.pixels) << c.height << " x " << c.width << ", border " << c.border
                                                  << ", pattern " << std::hex << c.filters;
    }
}

TEST(DemosaicCommon, BandsNeverStartAboveTheFirstRowAndCoverTheRest) {
    raw::demosaic_job job{};
    for (int height : {0, 3, 6, 7, 12, 20, 21, 22, 37, 100, 1005}) {
        job.height = height;
        auto bands = raw::demosaic_bands(job, 2, 5, nullptr);
        int next = 2;
        for (const raw::band_job& b : bands) {
            EXPECT_GE(b.first_row, 2) << height;
            if (b.first_row >= b.end_row) continue;
            EXPECT_EQ(b.first_row, next) << height;
            next = b.end_row;
        }
        EXPECT_EQ(next, std::max(2, height - 5)) << height;
        EXPECT_EQ(bands[raw::kBandCount - 1].end_row, height - 5);
    }
    job.height = 1005; // 1000 / 16 = 62 rows a band, the last takes 70
    auto bands = raw::demosaic_bands(job, 2, 5, nullptr);
    EXPECT_EQ(bands[0].end_row, 62);
    EXPECT_EQ(bands[1].first_row, 62);
    EXPECT_EQ(bands[14].end_row, 930);
    EXPECT_EQ(bands[15].first_row, 930);
    EXPECT_EQ(bands[15].end_row, 1000);
}

} // namespace
