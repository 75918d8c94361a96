// The median filter and the two highlight treatments.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "raw/core/FileBackedMemory.h"
#include "raw/develop/Highlights.h"

namespace {

using Pixel = std::array<uint16_t, 4>;

class HighlightsTest : public ::testing::Test {
  protected:
    std::unique_ptr<raw::DecoderState> s = std::make_unique<raw::DecoderState>();

    void image(int height, int width, Pixel fill = {}) {
        raw::file_backed_free(*s, s->pixel_image);
        s->use_file_backed_memory = false;
        s->image_height = s->visible_height = uint16_t(height);
        s->image_width = s->visible_width = uint16_t(width);
        s->pixel_image =
            static_cast<uint16_t(*)[4]>(raw::file_backed_calloc(*s, uint64_t(height) * width, 8));
        for (int i = 0; i < height * width; ++i)
            set(i / width, i % width, fill);
    }
    void set(int r, int c, Pixel p) { std::memcpy(s->pixel_image[r * s->image_width + c], p.data(), 8); }
    Pixel at(int r, int c) const {
        const uint16_t* p = s->pixel_image[r * s->image_width + c];
        return {p[0], p[1], p[2], p[3]};
    }
    void multipliers(std::initializer_list<float> m) {
        std::copy(m.begin(), m.end(), s->daylight_multipliers);
    }
    void TearDown() override { raw::file_backed_free(*s, s->pixel_image); }
};

} // namespace

TEST_F(HighlightsTest, MedianRemovesAColourSpeckleButNotTheBorder) {
    image(5, 5, {1000, 800, 1200, 0});
    set(2, 2, {9000, 800, 100, 0}); // red and blue far off their neighbours
    set(0, 0, {9000, 800, 100, 0}); // the same on the border
    s->colour_count = 3;
    s->median_passes = 1;
    raw::median_filter(*s);
    EXPECT_EQ(at(2, 2)[0], 1000);
    EXPECT_EQ(at(2, 2)[1], 800) << "green is the reference, never filtered";
    EXPECT_EQ(at(2, 2)[2], 1200);
    EXPECT_EQ(at(0, 0)[0], 9000) << "outermost rows and columns stay";
    EXPECT_EQ(at(2, 2)[3], 100) << "channel 3 is overwritten with the blue copy";
    EXPECT_EQ(at(1, 1)[3], 1200);
}

TEST_F(HighlightsTest, MedianFollowsAnEdgeAndClipsItsResult) {
    // Left half has red - green = +500, right half -500; the edge is kept.
    image(4, 6, {0, 1000, 1000, 0});
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 6; ++c)
            set(r, c, {uint16_t(c < 3 ? 1500 : 500), 1000, 1000, 0});
    s->colour_count = 3;
    s->median_passes = 2;
    raw::median_filter(*s);
    EXPECT_EQ(at(1, 2)[0], 1500);
    EXPECT_EQ(at(1, 3)[0], 500);

    // Around a centre whose green differs wildly, the sums leave 16 bits.
    struct Case {
        Pixel around, centre;
        int channel, expected;
    };
    const Case cases[] = {
        {{65535, 0, 0, 0}, {0, 65535, 0, 0}, 0, 65535}, // 65535 + 65535 clips at the top
        {{0, 65535, 0, 0}, {0, 0, 0, 0}, 2, 0},         // 0 - 65535 clips at 0
    };
    for (const auto& c : cases) {
        image(3, 3, c.around);
        set(1, 1, c.centre);
        s->median_passes = 1;
        raw::median_filter(*s);
        EXPECT_EQ(at(1, 1)[c.channel], c.expected) << "channel " << c.channel;
    }
}

TEST_F(HighlightsTest, MedianWithoutPassesChangesNothing) {
    image(3, 3, {1, 2, 3, 4});
    set(1, 1, {60000, 2, 3, 4});
    s->colour_count = 3;
    raw::median_filter(*s);
    EXPECT_EQ(at(1, 1), (Pixel{60000, 2, 3, 4}));
}

TEST_F(HighlightsTest, BlendingTouchesOnlyPixelsAboveTheClipLevel) {
    multipliers({1.0f, 0.5f, 0.8f}); // clip 32767
    s->colour_count = 3;
    struct Case {
        Pixel in;
        Pixel out;
    };
    const Case cases[] = {
        {{30000, 32767, 20000, 7}, {30000, 32767, 20000, 7}}, // within the clip level
        // Above it on every channel: the brightness stays, the chroma becomes the clipped
        // pixel's, which is none.
        {{40000, 50000, 60000, 7}, {50000, 50000, 50000, 7}},
        // Equal channels have no chroma to scale; they stay.
        {{40000, 40000, 40000, 7}, {40000, 40000, 40000, 7}},
    };
    for (const auto& c : cases) {
        image(1, 1, c.in);
        raw::blend_highlights(*s);
        const Pixel p = at(0, 0);
        for (int ch = 0; ch < 4; ++ch)
            EXPECT_NEAR(p[ch], c.out[ch], 1) << c.in[0] << " channel " << ch;
    }

    image(1, 1, {40000, 30000, 30000, 0});
    raw::blend_highlights(*s);
    const Pixel p = at(0, 0);
    EXPECT_NE(p, (Pixel{40000, 30000, 30000, 0})) << "one channel above the clip level is enough";
    EXPECT_NEAR(p[0] + p[1] + p[2], 100000, 3) << "brightness kept";
    // Clipped (32767, 30000, 30000) has a chroma of 2767 in red: the result's is as small.
    EXPECT_NEAR(p[0] - p[1], 2767, 3);
    EXPECT_NEAR(p[1], p[2], 1);
}

TEST_F(HighlightsTest, BlendingFourColoursKeepsTheSum) {
    multipliers({0.5f, 0.5f, 0.5f, 0.5f}); // clip 32767
    s->colour_count = 4;
    image(1, 1, {50000, 20000, 30000, 40000});
    raw::blend_highlights(*s);
    const Pixel p = at(0, 0);
    EXPECT_NEAR(p[0] + p[1] + p[2] + p[3], 140000, 4);
    EXPECT_LT(p[0] - p[1], 30000) << "chroma shrinks towards the clipped pixel's";
}

TEST_F(HighlightsTest, BlendingLeavesOneAndTwoColourImages) {
    multipliers({0.1f, 0.1f, 0.1f, 0.1f});
    for (int colours : {1, 2}) {
        s->colour_count = colours;
        image(1, 1, {60000, 10000, 50000, 0});
        raw::blend_highlights(*s);
        EXPECT_EQ(at(0, 0), (Pixel{60000, 10000, 50000, 0})) << colours;
    }
}

namespace {

// Green is the strongest channel (kc); red saturates at hsat 16000.
void prepare_recovery(raw::DecoderState& s) {
    s.colour_count = 3;
    s.highlight_mode = 3;
    const float m[4] = {0.5f, 1.0f, 0.25f, 0};
    std::copy(m, m + 4, s.daylight_multipliers);
}

} // namespace

TEST_F(HighlightsTest, RecoveryRebuildsClippedRedFromMeasuredCells) {
    // 12 x 8 pixels, 3 x 2 cells. The left cells are bright but unclipped with red / green
    // 0.8; the right ones have red above twice its saturation level and green 40000.
    // The middle right cell needs all three left cells (weights 1 + 2 + 1 > 3) to be
    // filled, damped by grow 2: (0.8 x 4 + 2) / (4 + 2).
    struct Case {
        const char* name;
        int spoilt_row, spoilt_col;
        Pixel spoiler;
        int rebuilt; // red of the middle right cell
    };
    const Case cases[] = {
        {"every left cell measured", -1, -1, {}, int(40000 * (0.8f * 4 + 2) / 6)},
        {"green of one pixel not above 24000", 0, 0, {24000, 20000, 100, 0}, 40000},
        {"red of one pixel at twice saturation", 9, 1, {32000, 30000, 100, 0}, 40000},
    };
    for (const auto& c : cases) {
        prepare_recovery(*s);
        image(12, 8);
        for (int r = 0; r < 12; ++r)
            for (int col = 0; col < 8; ++col)
                set(r, col, col < 4 ? Pixel{24000, 30000, 100, 0} : Pixel{33000, 40000, 100, 0});
        if (c.spoilt_row >= 0) set(c.spoilt_row, c.spoilt_col, c.spoiler);
        raw::recover_highlights(*s);
        EXPECT_NEAR(at(5, 6)[0], c.rebuilt, 1) << c.name;
        EXPECT_EQ(at(5, 1)[0], 24000) << c.name << ": red within its band is never rebuilt";
        EXPECT_EQ(at(5, 6)[1], 40000) << c.name << ": the strongest channel stays";
        EXPECT_EQ(at(5, 6)[2], 100) << c.name << ": blue never reaches its band";
    }
    EXPECT_EQ(at(9, 1)[0], 32000) << "its own green is lower: kept";
}

TEST_F(HighlightsTest, RecoveryReachesTrailingRowsAndColumns) {
    prepare_recovery(*s);
    // 10 x 10: the map has 2 x 2 cells; rows and columns 8 and 9 belong to the last ones.
    image(10, 10, {40000, 50000, 100, 0});
    raw::recover_highlights(*s);
    EXPECT_EQ(at(9, 9)[0], 50000) << "ratio 1 from the last cell";
    EXPECT_EQ(at(0, 0)[0], 50000);
}

TEST_F(HighlightsTest, RecoverySurvivesDegenerateMultipliersAndSizes) {
    prepare_recovery(*s);
    s->daylight_multipliers[0] = 1e-6f; // below 1/32000: no saturation level for red
    image(8, 8, {500, 50000, 100, 0});
    raw::recover_highlights(*s);
    EXPECT_EQ(at(3, 3), (Pixel{500, 50000, 100, 0}));

    prepare_recovery(*s);
    image(3, 3, {40000, 50000, 100, 0}); // smaller than one cell
    raw::recover_highlights(*s);
    EXPECT_EQ(at(1, 1), (Pixel{40000, 50000, 100, 0}));

    s->highlight_mode = 90; // spreads without a practical pass limit; stops when nothing changes
    image(8, 8, {40000, 50000, 100, 0});
    raw::recover_highlights(*s);
    EXPECT_EQ(at(7, 7)[0], 50000);
}
