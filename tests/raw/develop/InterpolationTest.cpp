#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "raw/core/BandRunner.h"
#include "raw/core/DecoderError.h"
#include "raw/develop/Demosaic.h"
#include "tests/raw/MosaicFixture.h"

using namespace mosaic_test;
using raw::DecoderState;

namespace {

constexpr uint32_t kFourColour = 0xE4E4E4E4;     // four colours in a 2x2 cell
constexpr uint32_t kFourColourTall = 0xE1E4E1E4; // four colours, four-row period

struct Route {
    std::string name;
    std::function<void(DecoderState&)> run;
    bool bayer_only; // three-colour Bayer words only
};

const std::vector<Route>& routes() {
    static const std::vector<Route> all = {
        {"bilinear", raw::bilinear_interpolate, false},
        {"bilinear threaded", raw::bilinear_interpolate_threaded, false},
        {"vng", raw::vng_interpolate, false},
        {"vng threaded", raw::vng_interpolate_threaded, false},
        {"ppg", raw::ppg_demosaic, true},
        {"quality 0", [](DecoderState& s) { raw::interpolate_by_quality(s, 0); }, false},
        {"quality 1", [](DecoderState& s) { raw::interpolate_by_quality(s, 1); }, false},
        {"quality 2", [](DecoderState& s) { raw::interpolate_by_quality(s, 2); }, true},
    };
    return all;
}

struct Layout {
    uint32_t pattern;
    int colours;
    bool bayer() const { return pattern >= raw::kPatternBayerMin && colours == 3; }
};

std::string describe(const Route& route, const Layout& layout) {
    return route.name + " on pattern " + std::to_string(layout.pattern);
}

} // namespace

TEST(Interpolation, FlatFieldsComeBackExactlyThroughEveryRoute) {
    const Layout layouts[] = {
        {kRGGB, 3}, {kRGGBFourColour, 4}, {kFourColour, 4}, {kFourColourTall, 4}, {raw::kPatternXTrans, 3}};
    for (const auto& layout : layouts)
        for (const auto& route : routes()) {
            if (route.bayer_only && !layout.bayer()) continue;
            // Odd sizes, and few enough rows that threaded bands hold one or two rows each.
            // Every VNG gradient is 0 here, so VNG keeps the bilinear values.
            Mosaic m(23, 29, layout.pattern, layout.colours);
            m.paint([](int, int, int c) { return (c + 1) * 1000; });
            route.run(*m.state);
            for (int r = 0; r < m.height(); ++r)
                for (int col = 0; col < m.width(); ++col)
                    for (int c = 0; c < layout.colours; ++c)
                        ASSERT_EQ(m.at(r, col)[c], (c + 1) * 1000)
                            << describe(route, layout) << " at " << r << "," << col << " channel " << c;
        }
}

TEST(Interpolation, PlaneRampComesBackExactlyAwayFromTheBorder) {
    const Layout layouts[] = {{kRGGB, 3}, {kFourColour, 4}};
    for (const auto& layout : layouts)
        for (const auto& route : routes()) {
            if (route.bayer_only && !layout.bayer()) continue;
            Mosaic m(20, 24, layout.pattern, layout.colours);
            m.paint([](int r, int c, int) { return 1000 + 16 * c + 32 * r; });
            route.run(*m.state);
            for (int r = 3; r < m.height() - 3; ++r)
                for (int col = 3; col < m.width() - 3; ++col)
                    for (int c = 0; c < layout.colours; ++c)
                        ASSERT_EQ(m.at(r, col)[c], 1000 + 16 * col + 32 * r)
                            << describe(route, layout) << " at " << r << "," << col << " channel " << c;
        }
}

TEST(Interpolation, ThreadedBandsMatchTheSingleThreadedResult) {
    const Layout layouts[] = {{kRGGB, 3}, {kFourColourTall, 4}, {raw::kPatternXTrans, 3}};
    for (const auto& layout : layouts)
        for (int height : {23, 200}) {
            Mosaic single(height, 41, layout.pattern, layout.colours);
            single.paint_noise(unsigned(height));
            Mosaic threaded = single.clone();
            raw::vng_interpolate(*single.state);
            raw::vng_interpolate_threaded(*threaded.state);
            EXPECT_EQ(single.pixels, threaded.pixels) << layout.pattern << " height " << height;
        }
}

TEST(Vng, OuterTwoRowsAndColumnsKeepTheBilinearResult) {
    Mosaic vng(16, 18, kFourColour, 4);
    vng.paint_noise(3);
    Mosaic bilinear = vng.clone();
    raw::vng_interpolate(*vng.state);
    raw::bilinear_interpolate(*bilinear.state);
    int interior_changes = 0;
    for (int r = 0; r < vng.height(); ++r)
        for (int c = 0; c < vng.width(); ++c) {
            const bool frame = r < 2 || c < 2 || r >= vng.height() - 2 || c >= vng.width() - 2;
            if (frame)
                EXPECT_EQ(vng.at(r, c), bilinear.at(r, c)) << r << "," << c;
            else
                interior_changes += vng.at(r, c) != bilinear.at(r, c);
        }
    EXPECT_GT(interior_changes, 0);
}

TEST(Vng, OneSteepDirectionAloneIsLeftOut) {
    // One bright red two rows above a red centre steepens only the upward gradient. With it
    // left out, every other direction sees the flat field and the centre stays exact; had it
    // counted, the centre's green and blue would fall by (60000 - 1000) / 16.
    Mosaic m(13, 13, kRGGB, 3);
    m.paint([](int, int, int) { return 1000; });
    m.own(4, 6) = 60000;
    raw::vng_interpolate(*m.state);
    EXPECT_EQ(m.at(6, 6), (Pixel{1000, 1000, 1000, 0}));
}

TEST(Vng, FourColourStepIsNotSmearedAcross) {
    // A vertical step between columns 7 and 8. Columns 6 and 9 have neighbours whose bilinear
    // values straddle it; the steep directions toward it must be the ones left out.
    Mosaic m(12, 16, kFourColour, 4);
    m.paint([](int, int c, int) { return c < 8 ? 1000 : 20000; });
    raw::vng_interpolate(*m.state);
    for (int r = 2; r < 10; ++r) {
        EXPECT_EQ(m.at(r, 6), (Pixel{1000, 1000, 1000, 1000})) << r;
        EXPECT_EQ(m.at(r, 9), (Pixel{20000, 20000, 20000, 20000})) << r;
    }
}

TEST(Interpolation, ColourAbsentFromABlockIsFilledWithZero) {
    // Colour 3 only in row 0 of an eight-row cell: rows 2 to 6 of each cell have none in
    // their 3x3 block, which must not divide by a zero weight.
    Mosaic m(24, 12, 0x94949417, 4);
    m.paint([](int, int, int c) { return (c + 1) * 1000; });
    raw::vng_interpolate(*m.state);
    for (int r = 1; r < m.height() - 1; ++r) {
        const bool near = r % 8 == 0 || r % 8 == 1 || r % 8 == 7;
        EXPECT_EQ(m.at(r, 5)[3], m.colour(r, 5) == 3 || near ? 4000 : 0) << r;
        EXPECT_EQ(m.at(r, 5)[1], 2000) << r;
    }
}

TEST(Interpolation, XTransCellFromTheFileCannotIndexPastTheChannels) {
    Mosaic m(18, 18, raw::kPatternXTrans, 3);
    m.state->xtrans_layout[0][0] = 7;
    m.state->xtrans_layout[3][4] = -1;
    m.paint_noise(9);
    raw::vng_interpolate(*m.state);
    SUCCEED() << "no access outside the four channels";
}

TEST(BorderFill, FrameTakesTheMeanOfEachColourInItsBlock) {
    Mosaic m(6, 6, kRGGB, 3);
    m.paint([](int r, int c, int) { return 100 * (r * 6 + c + 1); });
    raw::decoder_border_fill(*m.state, 1);
    // Corner red (0,0): green from (0,1) and (1,0), blue from (1,1).
    EXPECT_EQ(m.at(0, 0), (Pixel{100, (200 + 700) / 2, 800, 0}));
    // Edge green (0,3): red from (0,2) and (0,4), blue from (1,3).
    EXPECT_EQ(m.at(0, 3), (Pixel{(300 + 500) / 2, 400, 1000, 0}));
    EXPECT_EQ(m.at(2, 2), (Pixel{1500, 0, 0, 0})) << "inside the frame nothing changes";
}

TEST(Ppg, GreenFollowsAnEdgeInsteadOfCrossingIt) {
    Mosaic m(16, 16, kRGGB, 3);
    m.paint([](int, int c, int) { return c < 8 ? 2000 : 30000; });
    raw::ppg_demosaic(*m.state);
    for (int r = 3; r < 13; ++r) {
        EXPECT_EQ(m.at(r, 7)[1], 2000) << r;
        EXPECT_EQ(m.at(r, 8)[1], 30000) << r;
    }
}

TEST(QualityChoice, NoMosaicIsLeftAlone) {
    Mosaic m(8, 8, 0, 3);
    m.paint_noise(5);
    const auto before = m.pixels;
    for (int q = 0; q < 4; ++q)
        raw::interpolate_by_quality(*m.state, q);
    EXPECT_EQ(m.pixels, before);
}

TEST(QualityChoice, EachQualityAndPatternRunsItsOwnRoutine) {
    const std::string bilinear = "Bilinear interpolation...\n", vng = bilinear + "VNG interpolation...\n";
    const struct {
        int quality;
        uint32_t pattern;
        int colours;
        std::string line;
    } cases[] = {
        {0, kRGGB, 3, bilinear},
        {0, raw::kPatternXTrans, 3, bilinear},
        {1, kRGGB, 3, vng},
        {1, raw::kPatternXTrans, 3, vng},
        {2, kFourColour, 4, vng},
        {3, kFourColour, 4, vng},
        {2, kRGGB, 3, "PPG interpolation...\n"},
        {3, kRGGB, 3, "AHD interpolation...\n"},
        {2, raw::kPatternLeaf16, 3, "AHD interpolation...\n"},
        {3, raw::kPatternLeaf16, 3, "AHD interpolation...\n"},
        {2, raw::kPatternXTrans, 3, "1-pass X-Trans interpolation...\n"},
        {3, raw::kPatternXTrans, 3, "3-pass X-Trans interpolation...\n"},
    };
    for (const auto& c : cases) {
        Mosaic m(40, 40, c.pattern, c.colours);
        m.state->verbose_output = 1;
        m.paint([](int, int, int colour) { return (colour + 1) * 1000; });
        ::testing::internal::CaptureStderr();
        raw::interpolate_by_quality(*m.state, c.quality);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.line) << c.quality << " " << c.pattern;
        if (c.colours == 3 && c.pattern != raw::kPatternLeaf16) {
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_EQ(m.at(20, 20)[ch], (ch + 1) * 1000) << c.quality << " " << c.pattern;
        }
    }
}
