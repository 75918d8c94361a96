#include "raw/develop/XTransRecipes.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/raw/MosaicFixture.h"

using namespace mosaic_test;

namespace {

// Runs the two-direction front end on one 24 x 24 tile at (6, 6) of a 40 x 40 image and
// checks both directions against the truth one position inside the tile.
void expectFrontEndReproduces(uint32_t filters, const Truth& truth) {
    constexpr int kStride = 24, kOrigin = 6;
    Mosaic m = mosaic(40, 40, filters, truth);
    raw::demosaic_job job = m.job();
    raw::demosaic_copy_xtrans(job);
    auto recipes = std::make_unique<raw::recipe_table>();
    raw::build_recipe_table(job, *recipes, kStride);
    raw::band_job band = raw::demosaic_bands(job, 2, 5, recipes.get())[0];
    std::vector<uint16_t> rgb(2 * kStride * kStride * 3);
    raw::direction_tile tile{rgb.data(), kStride, kOrigin, kOrigin};
    const int end = kOrigin + kStride;
    raw::xtrans_tile_greens(band, tile, {kOrigin, end, kOrigin, end});
    raw::xtrans_tile_red_blue(band, tile, {kOrigin + 1, end - 1, kOrigin + 1, end - 1});
    for (int dir = 0; dir < 2; ++dir)
        for (int r = kOrigin + 1; r < end - 1; ++r)
            for (int c = kOrigin + 1; c < end - 1; ++c) {
                const uint16_t* got = &rgb[((dir * kStride + r - kOrigin) * kStride + c - kOrigin) * 3];
                Rgb want = truth(r, c);
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_EQ(got[ch], want[ch]) << filters << " dir " << dir << " at " << r << "," << c;
            }
}

TEST(XTransRecipes, FrontEndReproducesFlatFieldsAndBayerPlanes) {
    expectFrontEndReproduces(kXTrans, [](int, int) { return Rgb{4000, 30000, 12000}; });
    // Bayer words get 2 x 2 recipes whose neighbours sit symmetrically: planes come out exact.
    Truth plane = [](int r, int c) {
        return Rgb{1000 + 30 * r + 50 * c, 2000 + 70 * r + 20 * c, 500 + 110 * r + 90 * c};
    };
    expectFrontEndReproduces(kRGGB, plane);
    expectFrontEndReproduces(kGBRG, plane);
}

// A worker may keep the photosites in a tile of its own, one value a position: recipes built
// for that layout must give what the pixel image gives.
TEST(XTransRecipes, PhotositeTileGivesWhatThePixelImageGives) {
    constexpr int kStride = 24, kOrigin = 6, kMargin = 2, kSide = kStride + 2 * kMargin;
    const int end = kOrigin + kStride;
    const raw::image_span greens{kOrigin, end, kOrigin, end};
    const raw::image_span colours{kOrigin + 1, end - 1, kOrigin + 1, end - 1};
    for (uint32_t filters : {kXTrans, kGBRG}) {
        SCOPED_TRACE(filters);
        Mosaic m(40, 40, filters);
        m.paint_noise(filters);
        raw::demosaic_job job = m.job();
        raw::demosaic_copy_xtrans(job);

        auto fromImage = std::make_unique<raw::recipe_table>();
        raw::build_recipe_table(job, *fromImage, kStride);
        const raw::band_job band = raw::demosaic_bands(job, 2, 5, fromImage.get())[0];
        std::vector<uint16_t> expected(2 * kStride * kStride * 3);
        const raw::direction_tile expectedTile{expected.data(), kStride, kOrigin, kOrigin};
        raw::xtrans_tile_greens(band, expectedTile, greens);
        raw::xtrans_tile_red_blue(band, expectedTile, colours);

        std::vector<uint16_t> photosites(kSide * kSide);
        for (int r = 0; r < kSide; ++r)
            for (int c = 0; c < kSide; ++c)
                photosites[r * kSide + c] = m.own(kOrigin - kMargin + r, kOrigin - kMargin + c);
        auto fromTile = std::make_unique<raw::recipe_table>();
        raw::build_recipe_table(job, *fromTile, kStride, {kSide, 1, false});
        const raw::sample_source source{&photosites[kMargin * kSide + kMargin], kOrigin, kOrigin};
        std::vector<uint16_t> got(expected.size());
        const raw::direction_tile gotTile{got.data(), kStride, kOrigin, kOrigin};
        raw::xtrans_tile_greens(*fromTile, source, gotTile, greens);
        raw::xtrans_tile_red_blue(*fromTile, source, gotTile, colours);
        EXPECT_EQ(got, expected);

        // The neighbour lists in tile positions name the same places as the green offsets.
        const raw::colour_difference_recipe& blues = fromTile->entry[0][0].to_blue;
        ASSERT_GT(blues.count, 0);
        for (int k = 0; k < blues.count; ++k)
            EXPECT_EQ(blues.tile_offset[k], blues.tile_position[k] * 3 + 1) << k;
    }
}

TEST(XTransRecipes, GreenRecipeOfAnXTransRedFollowsTheNearestGreens) {
    raw::demosaic_job job{};
    job.filters = kXTrans;
    job.width = 100;
    std::memcpy(job.xtrans, kXTransCell, sizeof job.xtrans);
    raw::demosaic_copy_xtrans(job);
    auto table = std::make_unique<raw::recipe_table>();
    raw::build_recipe_table(job, *table, 256);
    EXPECT_EQ(table->period_rows, 6);
    // Red at (0, 1) of a 100-pixel-wide image. Above it: blue, then green two rows up
    // (weight 2); below: green (weight 4), so Lw = 6. Same-colour matches: none straight two
    // rows up but both beside it, and one two rows down: Lg = 24, divisor 144.
    const raw::recipe_entry& red = table->entry[0][1];
    EXPECT_EQ(red.colour, 0);
    const raw::interpolation_recipe& v = red.green_vertical;
    EXPECT_EQ(v.divisor, 144);
    const int64_t offsets[] = {0, -804, -796, 800, -799, 401};
    const int32_t weights[] = {36, -12, -12, -12, 48, 96};
    ASSERT_EQ(v.count, 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(v.offset[i], offsets[i]) << i;
        EXPECT_EQ(v.weight[i], weights[i]) << i;
    }
    ASSERT_EQ(v.clamp_count, 2);
    EXPECT_EQ(v.clamp[0], -799);
    EXPECT_EQ(v.clamp[1], 401);
    // Blues at (-1, 0), (1, -1) and (1, 1); no red recipe at a red.
    ASSERT_EQ(red.to_blue.count, 3);
    EXPECT_EQ(red.to_blue.image_offset[0], -400 + 2);
    EXPECT_EQ(red.to_blue.tile_offset[0], -256 * 3 + 1);
    EXPECT_EQ(red.to_blue.image_offset[2], (100 + 1) * 4 + 2);
    EXPECT_EQ(red.to_blue.tile_offset[2], (256 + 1) * 3 + 1);
    EXPECT_EQ(red.to_red.count, 0);
}

} // namespace
