#include <gtest/gtest.h>

#include "raw/develop/GreenMatch.h"
#include "tests/raw/MosaicFixture.h"

using namespace mosaic_test;

namespace {

constexpr int kSize = 180;
constexpr int kGreen = 2000;

// Flat greens; the first `reds` red and `blues` blue photosites of the sampled area (rows
// and columns 16 .. size - 17, in scan order) carry varied values, all others 0, which
// gives no sample. With `odd_blue`, one more blue sees greens 100 apart: a sample of the
// middle and loose levels only.
Mosaic sampled(int reds, int blues, bool odd_blue, bool varied = true) {
    Mosaic m(kSize, kSize, kRGGB, 3);
    int seen[3] = {};
    m.paint([&](int r, int c, int colour) {
        if (colour == 1) return kGreen;
        const bool inside = r >= 16 && r < kSize - 16 && c >= 16 && c < kSize - 16;
        const int index = inside ? seen[colour]++ : 1 << 30;
        return index < (colour == 0 ? reds : blues) ? (varied ? 1000 + (index % 97) * 10 : 1500) : 0;
    });
    if (odd_blue) {
        m.own(161, 161) = 1234; // its lower green differs by 100; its neighbours give no sample
        m.own(162, 161) = kGreen + 100;
    }
    return m;
}

} // namespace

TEST(MonochromeRegression, FitNeedsMoreThan5000SamplesOfEachColourAtOneLevel) {
    struct Case {
        int reds, blues;
        bool odd_blue, varied, fitted;
    };
    const Case cases[] = {
        {5001, 5001, false, true, true},   {5001, 5000, false, true, false},
        {5000, 5001, false, true, false},  {5001, 5000, true, true, true}, // the middle level has 5001 blues
        {5001, 5001, false, false, false},                                 // no spread in x: no slope to fit
    };
    for (const auto& c : cases) {
        Mosaic m = sampled(c.reds, c.blues, c.odd_blue, c.varied);
        const int red = m.own(16, 16);
        raw::cfa_to_monochrome_regression(*m.state, 64);
        EXPECT_EQ(m.state->colour_count, 1);
        EXPECT_EQ(m.state->cfa_pattern, 0u);
        // Flat greens fit gain 0 and offset 2000: every red lands on the green level.
        EXPECT_EQ(m.at(16, 16)[0], c.fitted ? kGreen : red) << c.reds << "/" << c.blues;
        EXPECT_EQ(m.at(16, 17)[0], kGreen) << "greens keep their value";
    }
}

TEST(MonochromeRegression, SmallImageKeepsItsValues) {
    Mosaic m(32, 200, kRGGB, 3);
    m.paint_noise(7, 4, 30000);
    Mosaic before = m.clone();
    raw::cfa_to_monochrome_regression(*m.state, 64);
    for (int r = 0; r < m.height(); ++r)
        for (int c = 0; c < m.width(); ++c)
            ASSERT_EQ(m.at(r, c)[0], before.at(r, c)[before.colour(r, c)]) << r << "," << c;
}
