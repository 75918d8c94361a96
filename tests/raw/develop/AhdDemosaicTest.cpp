#include "raw/develop/AhdDemosaic.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "raw/develop/XTransRecipes.h"
#include "tests/raw/MosaicFixture.h"

using namespace mosaic_test;

namespace {

struct Pattern {
    const char* name;
    uint32_t filters;
};

void PrintTo(const Pattern& p, std::ostream* os) { *os << p.name; }

// The last Bayer word keeps its second green in channel 3, as four-colour words do.
const Pattern kPatterns[] = {{"RGGB", kRGGB}, {"BGGR", kBGGR},     {"GRBG", kGRBG},
                             {"GBRG", kGBRG}, {"XTrans", kXTrans}, {"RGG2B", 0xb4b4b4b4}};

Mosaic developed(int height, int width, uint32_t filters, const Truth& truth) {
    Mosaic m = mosaic(height, width, filters, truth);
    raw::demosaic_job job = m.job();
    raw::ahd_interpolate_threaded(job);
    return m;
}

// Largest difference from the truth over pixels at least `inset` from every edge.
int maxError(const Mosaic& m, const Truth& truth, int inset) {
    int worst = 0;
    for (int r = inset; r < m.height() - inset; ++r)
        for (int c = inset; c < m.width() - inset; ++c) {
            Rgb want = truth(r, c);
            for (int ch = 0; ch < 3; ++ch)
                worst = std::max(worst, std::abs(m.at(r, c)[ch] - want[ch]));
        }
    return worst;
}

const Truth kFlat = [](int, int) { return Rgb{4000, 30000, 12000}; };

class AhdPattern : public ::testing::TestWithParam<Pattern> {};

TEST_P(AhdPattern, FlatFieldIsReproducedExactlyEverywhere) {
    // 300 x 520 has several bands, three column tiles and a partial last tile.
    EXPECT_EQ(maxError(developed(300, 520, GetParam().filters, kFlat), kFlat, 0), 0);
}

TEST_P(AhdPattern, RampsAreReproducedInside) {
    // Every channel its own plane in rows and columns: Bayer colour differences are exact
    // on planes; the X-Trans green recipes are not symmetric around every photosite.
    Truth ramp = [](int r, int c) {
        return Rgb{1000 + 3 * r + 5 * c, 2000 + 7 * r + 2 * c, 500 + 11 * r + 9 * c};
    };
    int tolerance = GetParam().filters == kXTrans ? 6 : 0;
    EXPECT_LE(maxError(developed(300, 520, GetParam().filters, ramp), ramp, 5), tolerance);
}

TEST_P(AhdPattern, GreyStepEdgesKeepNoFringe) {
    // The direction along the edge is exact there; taking the other one leaves colour.
    Truth columns = [](int, int c) {
        int v = c < 101 ? 2000 : 50000;
        return Rgb{v, v, v};
    };
    Truth rows = [](int r, int) {
        int v = r < 77 ? 2000 : 50000;
        return Rgb{v, v, v};
    };
    EXPECT_EQ(maxError(developed(300, 520, GetParam().filters, columns), columns, 5), 0);
    EXPECT_EQ(maxError(developed(300, 520, GetParam().filters, rows), rows, 5), 0);
}

TEST_P(AhdPattern, SmallImagesAreFilledWithoutReadingOutside) {
    // Heights below 21 leave bands 1 to 15 empty; widths below 8 leave no tile at all.
    // The image buffers are exactly sized, so a read above row 0 would be caught.
    for (int height : {1, 5, 6, 7, 8, 12, 19, 20, 21, 22, 37})
        for (int width : {1, 5, 7, 8, 9, 13, 40}) {
            Mosaic m = developed(height, width, GetParam().filters, kFlat);
            if (height >= 3 && width >= 3) {
                EXPECT_EQ(maxError(m, kFlat, 0), 0) << height << " x " << width;
            }
        }
}

INSTANTIATE_TEST_SUITE_P(Patterns, AhdPattern, ::testing::ValuesIn(kPatterns),
                         [](const auto& info) { return std::string(info.param.name); });

// Independent 16-bit values per pixel and channel, the same for every call.
Truth noise(uint32_t seed) {
    return [seed](int r, int c) {
        uint64_t x = (uint64_t(seed) << 40) ^ (uint64_t(r) << 20) ^ uint64_t(c);
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
        x ^= x >> 31;
        return Rgb{int(x & 0xffff), int((x >> 16) & 0xffff), int((x >> 32) & 0xffff)};
    };
}

bool samePixels(const Mosaic& a, const Mosaic& b) { return a.pixels == b.pixels; }

// The whole image as one band, on the calling thread.
void oneBand(Mosaic& m) {
    raw::demosaic_job job = m.job();
    raw::demosaic_copy_xtrans(job);
    raw::demosaic_border_fill(job, 5);
    auto recipes = std::make_unique<raw::recipe_table>();
    raw::build_recipe_table(job, *recipes, 256);
    raw::band_job band = raw::demosaic_bands(job, 2, 5, recipes.get())[raw::kBandCount - 1];
    band.first_row = 2;
    if (m.filters() == kXTrans)
        raw::ahd_band_worker_xtrans(band);
    else
        raw::ahd_band_worker_bayer(band);
}

TEST(AhdDemosaic, BandsMatchOneBandAndAnInlineRunBitForBit) {
    // 16 bands of 43 rows each: every band's tiles reach across several seams.
    for (uint32_t filters : {kRGGB, kXTrans}) {
        Mosaic threaded = mosaic(700, 600, filters, noise(filters));
        Mosaic inline_ = threaded.clone();
        Mosaic single = threaded.clone();
        raw::demosaic_job job = threaded.job();
        raw::ahd_interpolate_threaded(job);
        raw::set_band_threads_enabled(false);
        job = inline_.job();
        raw::ahd_interpolate_threaded(job);
        raw::set_band_threads_enabled(true);
        oneBand(single);
        EXPECT_TRUE(samePixels(threaded, inline_)) << filters;
        EXPECT_TRUE(samePixels(threaded, single)) << filters;
    }
}

TEST(AhdDemosaic, FrameComesFromTheBorderFillAloneAndOwnColoursStay) {
    for (uint32_t filters : {kGBRG, kXTrans}) {
        Mosaic input = mosaic(60, 70, filters, noise(3));
        Mosaic developed = input.clone();
        Mosaic filled = input.clone();
        raw::demosaic_job job = developed.job();
        raw::ahd_interpolate_threaded(job);
        job = filled.job();
        raw::demosaic_border_fill(job, 5);
        for (int r = 0; r < input.height(); ++r)
            for (int c = 0; c < input.width(); ++c) {
                int own = raw::demosaic_colour_at(filters, r, c);
                EXPECT_EQ(developed.at(r, c)[own], input.at(r, c)[own]);
                bool frame = r < 5 || r >= input.height() - 5 || c < 5 || c >= input.width() - 5;
                if (frame) {
                    EXPECT_EQ(developed.at(r, c), filled.at(r, c)) << r << "," << c;
                }
                EXPECT_EQ(developed.at(r, c)[3], 0); // the second green channel is never touched
            }
    }
}

TEST(AhdDemosaic, LayoutIndicesFromTheFileStayWithinTheChannels) {
    Mosaic m = mosaic(40, 40, kXTrans, kFlat);
    raw::demosaic_job job = m.job();
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            job.xtrans[r][c] = int8_t(r * 6 + c - 9); // -9 ... 26
    raw::ahd_interpolate_threaded(job);
}

} // namespace
