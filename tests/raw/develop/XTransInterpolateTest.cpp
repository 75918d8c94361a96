// The command line's multi-pass X-Trans interpolation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "raw/core/BandRunner.h"
#include "raw/develop/Demosaic.h"
#include "tests/raw/MosaicFixture.h"

using namespace mosaic_test;

namespace {

Mosaic developed(int height, int width, const Truth& truth, int passes) {
    Mosaic m = mosaic(height, width, kXTrans, truth);
    for (int i = 0; i < 3; ++i)
        m.state->rgb_from_camera[i][i] = 1;
    raw::xtrans_interpolate(*m.state, passes);
    return m;
}

// Largest difference from the truth, relative to the truth, over pixels at least `inset`
// from every edge and `gap` columns from column `edge`.
double worstRatio(const Mosaic& m, const Truth& truth, int inset, int edge = -100, int gap = 0) {
    double worst = 0;
    for (int r = inset; r < m.height() - inset; ++r)
        for (int c = inset; c < m.width() - inset; ++c) {
            if (std::abs(c - edge) < gap) continue;
            for (int ch = 0; ch < 3; ++ch) {
                const double want = truth(r, c)[ch];
                worst = std::max(worst, std::abs(m.at(r, c)[ch] - want) / want);
            }
        }
    return worst;
}

TEST(XTransInterpolate, FlatColourComesBackWithOneAndThreePasses) {
    const Truth flat = [](int, int) { return Rgb{9000, 30000, 17000}; };
    // Several tiles each way with partial last ones, one tile, and images too small to
    // have any interpolated pixel.
    for (int passes : {1, 3})
        for (auto [height, width] :
             {std::pair{300, 520}, std::pair{40, 37}, std::pair{9, 12}, std::pair{4, 4}}) {
            const Mosaic m = developed(height, width, flat, passes);
            EXPECT_LE(worstRatio(m, flat, 0), 0.01) << passes << " passes, " << height << " x " << width;
        }
}

TEST(XTransInterpolate, LaterPassesRepairColoursMixedAcrossAnEdge) {
    // The first pass takes red and blue from all eight neighbours, so the columns beside
    // an edge mix both sides; the later passes estimate along the column as well and get
    // them right. Rows and columns within 15 of the border are refined less.
    const Rgb red{30000, 6000, 4000}, teal{5000, 26000, 30000};
    const Truth columns = [&](int, int c) { return c < 101 ? red : teal; };
    const Truth rows = [&](int r, int) { return r < 61 ? red : teal; };
    for (const Truth& truth : {columns, rows}) {
        EXPECT_GT(worstRatio(developed(120, 200, truth, 1), truth, 15), 0.5);
        EXPECT_EQ(worstRatio(developed(120, 200, truth, 3), truth, 15), 0);
    }
}

TEST(XTransInterpolate, ThreePassesComeCloserToTheSceneThanOne) {
    // Colour ramps, a disc with a hard rim and diagonal stripes.
    const Truth scene = [](int r, int c) {
        if ((c - 150) * (c - 150) + (r - 100) * (r - 100) < 3600)
            return Rgb{40000 - 50 * r, 9000, 3000 + 7 * c};
        Rgb v{8000 + 66 * c, 12000 + 75 * r, 15000 - 30 * c};
        if (r > 150 && (r + c) / 7 % 2) v = {v[0] * 2 / 5, v[1] * 2 / 5, v[2] * 3 / 2};
        return v;
    };
    auto meanError = [&](const Mosaic& m) {
        double sum = 0;
        for (int r = 15; r < m.height() - 15; ++r)
            for (int c = 15; c < m.width() - 15; ++c)
                for (int ch = 0; ch < 3; ++ch)
                    sum += std::abs(m.at(r, c)[ch] - scene(r, c)[ch]);
        return sum / ((m.height() - 30) * (m.width() - 30) * 3);
    };
    const double one = meanError(developed(200, 300, scene, 1)),
                 three = meanError(developed(200, 300, scene, 3));
    EXPECT_LT(three, one * 0.7) << one << " " << three;
}

TEST(XTransInterpolate, BandThreadsGiveTheSameImageAsOneThread) {
    // Several rows and columns of tiles, with their seams.
    Mosaic threaded(700, 600, kXTrans);
    threaded.paint_noise(21);
    for (int i = 0; i < 3; ++i)
        threaded.state->rgb_from_camera[i][i] = 1;
    Mosaic inline_ = threaded.clone();
    for (int i = 0; i < 3; ++i)
        inline_.state->rgb_from_camera[i][i] = 1;
    raw::xtrans_interpolate(*threaded.state, 3);
    raw::set_band_threads_enabled(false);
    raw::xtrans_interpolate(*inline_.state, 3);
    raw::set_band_threads_enabled(true);
    EXPECT_TRUE(threaded.pixels == inline_.pixels);
}

TEST(XTransInterpolate, ReportsItsPassesWhenVerbose) {
    for (int passes : {1, 3}) {
        Mosaic m(30, 30, kXTrans);
        m.state->verbose_output = 1;
        ::testing::internal::CaptureStderr();
        raw::xtrans_interpolate(*m.state, passes);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  std::to_string(passes) + "-pass X-Trans interpolation...\n");
    }
}

TEST(XTransInterpolate, CellFromTheFileCannotIndexPastTheChannels) {
    Mosaic m(40, 40, kXTrans);
    m.state->xtrans_layout[0][0] = 7; // a second green
    m.state->xtrans_layout[3][4] = -1;
    m.paint_noise(4);
    raw::xtrans_interpolate(*m.state, 3);
    SUCCEED() << "no access outside the four channels";
}

} // namespace
