#include <gtest/gtest.h>

#include <cstdlib>

#include "raw/core/BandRunner.h"
#include "raw/develop/GreenMatch.h"
#include "tests/raw/MosaicFixture.h"

using namespace mosaic_test;

namespace {

struct FoldCase {
    uint32_t pattern;
    bool matched;
    uint32_t after;
};

// Even-row greens at `level`, odd-row greens 5% brighter, red and blue at 2000.
Mosaic imbalanced(uint32_t pattern, int level) {
    Mosaic m(2048, 128, pattern, 3);
    m.paint(
        [&](int r, int, int c) { return (c == 1 || c == 3) ? (r & 1 ? level * 105 / 100 : level) : 2000; });
    return m;
}

} // namespace

TEST(GreenMatch, OnlyTheFourBayerWordsAreMatchedAndLeftFolded) {
    const FoldCase cases[] = {
        {kRGGB, true, kRGGB},
        {kRGGBFourColour, true, kRGGB},
        {0x9C9C9C9C, true, kRGGB}, // the other green coded 3
        {0x16161616, true, 0x16161616},
        {0x36363636, true, 0x16161616},
        {0x61616161, true, 0x61616161},
        {0x49494949, true, 0x49494949},
        {0, false, 0},
        {raw::kPatternLeaf16, false, raw::kPatternLeaf16},
        {raw::kPatternXTrans, false, raw::kPatternXTrans},
        {0x94949495, false, 0x94949495},
        {0x16169494, false, 0x16169494}, // two Bayer layouts mixed
    };
    for (const auto& c : cases) {
        Mosaic m(8, 8, c.pattern, 3);
        for (int r = 0; r < 8; ++r)
            for (int col = 0; col < 8; ++col)
                if (m.colour(r, col) == 3) m.at(r, col)[3] = 777;
        const Mosaic before = m.clone();
        EXPECT_EQ(raw::green_channel_match_threaded(*m.state, 512), c.matched) << std::hex << c.pattern;
        EXPECT_EQ(m.state->cfa_pattern, c.after) << std::hex << c.pattern;
        for (int r = 0; r < 8; ++r)
            for (int col = 0; col < 8; ++col) {
                if (c.matched && before.colour(r, col) == 3)
                    EXPECT_EQ(m.at(r, col)[1], 777) << "second green moved to the green slot";
                else
                    EXPECT_EQ(m.at(r, col), before.pixels[size_t(r) * 8 + col]);
            }
    }
}

TEST(GreenMatch, ImbalanceIsTakenOutOfTheBrighterGreens) {
    Mosaic m = imbalanced(kRGGBFourColour, 3000);
    ASSERT_TRUE(raw::green_channel_match_threaded(*m.state, 512));
    // Each band starts afresh; by the second half of a 128-row band the smoothing has settled.
    // A row is corrected from the row below it.
    for (int r = 64; r < m.height() - 2; ++r) {
        if ((r + 1) % 128 < 64) continue;
        for (int c = 8; c < m.width() - 8; ++c) {
            if (m.colour(r, c) != 1) continue;
            EXPECT_NEAR(m.at(r, c)[1], 3000, 12) << r << "," << c;
        }
    }
    EXPECT_EQ(m.at(100, 1)[1], 3000) << "the darker greens are never raised";
}

TEST(GreenMatch, BandsGiveTheSameImageWithAndWithoutThreads) {
    Mosaic threaded = imbalanced(kRGGB, 3000);
    for (int r = 0; r < threaded.height(); r += 7)
        threaded.own(r, 5) = 2500; // some texture
    Mosaic inline_run = threaded.clone();
    raw::green_channel_match_threaded(*threaded.state, 512);
    raw::set_band_threads_enabled(false);
    raw::green_channel_match_threaded(*inline_run.state, 512);
    raw::set_band_threads_enabled(true);
    EXPECT_EQ(threaded.pixels, inline_run.pixels);
}

TEST(GreenMatch, DimGreensAndWideDifferencesLeaveTheRatioAlone) {
    struct Case {
        int level;
        int threshold;
    };
    // Below max(3a, 1024) the ratio never moves; a difference of a or more is texture.
    for (const Case c : {Case{1400, 512}, Case{3000, 100}}) {
        Mosaic m = imbalanced(kRGGB, c.level);
        const auto before = m.pixels;
        ASSERT_TRUE(raw::green_channel_match_threaded(*m.state, c.threshold));
        EXPECT_EQ(m.pixels, before) << c.level;
    }
}
