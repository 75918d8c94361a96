#include <gtest/gtest.h>

#include <array>
#include <string>

#include "raw/core/BandRunner.h"
#include "raw/core/PhotositeAccess.h"
#include "raw/develop/SensorPrep.h"
#include "tests/raw/SensorFixture.h"

using sensortest::Sensor;
using Four = std::array<float, 4>;

namespace {

void set(float* target, const Four& v) { std::copy(v.begin(), v.end(), target); }

// Runs scale_colors and returns what it wrote to the error stream.
std::string scale(raw::DecoderState& s) {
    testing::internal::CaptureStderr();
    raw::scale_colors(s);
    return testing::internal::GetCapturedStderr();
}

} // namespace

TEST(ColourScaling, ChoosesAndDividesTheMultipliers) {
    struct Case {
        const char* name;
        Four asShot, daylight, user;
        int useAsShot, highlight, colours;
        bool whiteCell;
        Four expected;
        float adjust;
        bool refused;
    } cases[] = {
        // clang-format off
        // name, as shot, daylight, user, use as shot, highlight mode, colours, white cell,
        // multipliers applied, EV adjust, camera white balance refused
        {"as shot, clipping", {2, 1, 1.5f, 0}, {1, 1, 1, 1}, {}, 1, 0, 3, false, {2, 1, 1.5f, 1}, 0, false},
        {"keeping highlights", {2, 1, 1.5f, 0}, {1, 1, 1, 1}, {}, 1, 2, 3, false, {1, .5f, .75f, .5f}, 1, false},
        {"monochrome mode", {0, 1, 0, 0}, {1, 1, 1, 1}, {}, 1, 0, 3, false, {1, 1, 1, 1}, 0, true},
        {"user multipliers", {}, {2, 1, 2, 1}, {1.5f, 1, 3, 1}, 0, 0, 3, false, {1.5f, 1, 3, 1}, 0, false},
        {"white reference cell", {3, 1, 3, 1}, {1, 1, 1, 1}, {}, 1, 0, 3, true, {2, 1, 4, 1}, 0, false},
        {"four colours without greens", {}, {2, 0, 3, 0}, {}, 0, 0, 4, false, {2, 1, 3, 1}, 0, false},
        {"three colours, second green", {}, {3, 1.5f, 6, 0}, {}, 0, 0, 3, false, {2, 1, 4, 1}, 0, false},
        {"channels without multiplier", {}, {0, 1, 0, 0}, {}, 0, 2, 3, false, {1, 1, 1, 1}, 0, false},
        // clang-format on
    };
    for (const auto& c : cases) {
        Sensor t(2, 2);
        t.s.white_level = 4095;
        t.s.use_as_shot_wb = c.useAsShot;
        t.s.highlight_mode = c.highlight;
        t.s.colour_count = c.colours;
        set(t.s.as_shot_multipliers, c.asShot);
        set(t.s.daylight_multipliers, c.daylight);
        set(t.s.user_multipliers, c.user);
        if (c.whiteCell) {
            const uint16_t byCode[4] = {1000, 2000, 500, 2000};
            for (int r = 0; r < 8; ++r)
                for (int col = 0; col < 8; ++col)
                    t.s.white_samples[r][col] = byCode[raw::pattern_code(t.s.cfa_pattern, r, col)];
        }
        t.s.input_path = "shot.raw";
        const std::string err = scale(t.s);
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(t.s.daylight_multipliers[i], c.expected[i], 1e-5) << c.name << " [" << i << "]";
        EXPECT_FLOAT_EQ(t.s.highlight_exposure_adjust, c.adjust) << c.name;
        EXPECT_EQ(err == "shot.raw: Cannot use camera white balance.\n", c.refused) << c.name << ": " << err;
    }
}

TEST(ColourScaling, AutomaticWhiteBalanceLeavesOutBlocksNearWhite) {
    struct Case {
        const char* name;
        uint32_t white;
        int size;
        std::array<uint16_t, 4> byCode;
        bool brightBlock; // the first 8x8 block: brighter reds and one value near white
    } cases[] = {
        {"a block near white", 4095, 16, {500, 1000, 250, 1000}, true},
        {"white level below 25", 20, 8, {4, 8, 2, 8}, false},
    };
    for (const auto& c : cases) {
        Sensor t(c.size, c.size);
        t.s.white_level = c.white;
        t.s.auto_white_balance = 1;
        for (int r = 0; r < c.size; ++r)
            for (int col = 0; col < c.size; ++col) {
                const int code = raw::pattern_code(t.s.cfa_pattern, r, col);
                const bool bright = c.brightBlock && r < 8 && col < 8 && code == 0;
                t.pixel(r, col)[code] = bright ? 3000 : c.byCode[code];
            }
        if (c.brightBlock) t.pixel(0, 0)[0] = uint16_t(c.white - 24);
        scale(t.s);
        const Four expected = {2, 1, 4, 1};
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(t.s.daylight_multipliers[i], expected[i], 1e-5) << c.name << " [" << i << "]";
    }
}

TEST(ColourScaling, SubtractsBlacksScalesAndClamps) {
    Sensor t(1, 4);
    t.s.cfa_pattern = 0;
    t.s.black_level = 100;
    for (int c = 0; c < 4; ++c)
        t.s.channel_black[c] = 100;
    t.s.white_level = 65535 + 100;
    t.s.use_as_shot_wb = 0;
    set(t.s.daylight_multipliers, {2, 1, 1, 1});
    const std::array<uint16_t, 4> before[4] = {
        {0, 0, 0, 0}, {100, 50, 1100, 0}, {40000, 40000, 65535, 101}, {150, 0, 0, 0}};
    const std::array<uint16_t, 4> after[4] = {
        {0, 0, 0, 0}, {0, 0, 1000, 0}, {65535, 39900, 65435, 1}, {100, 0, 0, 0}};
    for (int i = 0; i < 4; ++i)
        std::copy(before[i].begin(), before[i].end(), t.s.pixel_image[i]);
    scale(t.s);
    EXPECT_EQ(t.s.white_level, 65535u) << "white is measured above black";
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(t.s.pixel_image[i][c], after[i][c]) << "pixel " << i << " slot " << c;
}

TEST(ColourScaling, BlackPatternsFoldIntoTheChannelsOrApplyByPosition) {
    Sensor bayer(2, 2);
    bayer.s.black_level = 100;
    bayer.s.white_level = 65535 + 100;
    bayer.s.use_as_shot_wb = 0;
    uint16_t* black = bayer.s.channel_black;
    for (int c = 0; c < 4; ++c)
        black[c] = 100;
    black[4] = black[5] = 2;
    black[6] = 10, black[7] = 20, black[8] = 30, black[9] = 40;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c)
            bayer.pixel(r, c)[raw::pattern_code(bayer.s.cfa_pattern, r, c)] = 1000;
    scale(bayer.s);
    EXPECT_EQ(bayer.pixel(0, 0)[0], 890);
    EXPECT_EQ(bayer.pixel(0, 1)[1], 880);
    EXPECT_EQ(bayer.pixel(1, 0)[3], 870);
    EXPECT_EQ(bayer.pixel(1, 1)[2], 860);
    EXPECT_EQ(black[0], 110);
    EXPECT_EQ(black[4], 0) << "the folded pattern is gone";

    Sensor rows(3, 1); // a three-row pattern cannot fold: it applies by row
    rows.s.cfa_pattern = 0;
    rows.s.white_level = 65535;
    rows.s.use_as_shot_wb = 0;
    rows.s.channel_black[4] = 3, rows.s.channel_black[5] = 1;
    rows.s.channel_black[6] = 5, rows.s.channel_black[7] = 6, rows.s.channel_black[8] = 7;
    for (int r = 0; r < 3; ++r)
        rows.pixel(r, 0)[0] = 1000;
    scale(rows.s);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(rows.pixel(r, 0)[0], 995 - r) << r;
}

TEST(ColourScaling, ThreadedAndInlineScalingAgree) {
    std::vector<uint16_t> results[2];
    for (bool threaded : {true, false}) {
        raw::set_band_threads_enabled(threaded);
        Sensor t(301, 517);
        t.randomPixels(3);
        t.s.white_level = 4095;
        t.s.black_level = 64;
        for (int c = 0; c < 4; ++c)
            t.s.channel_black[c] = uint16_t(64 + c);
        t.s.channel_black[4] = 3, t.s.channel_black[5] = 2;
        for (int i = 0; i < 6; ++i)
            t.s.channel_black[6 + i] = uint16_t(i);
        set(t.s.daylight_multipliers, {2.1f, 1, 1.7f, 1});
        t.s.use_as_shot_wb = 0;
        scale(t.s);
        results[threaded] = t.pixels();
    }
    raw::set_band_threads_enabled(true);
    EXPECT_EQ(results[0], results[1]);
}

TEST(ColourScaling, VerboseOutputNamesTheLevelsAndMultipliers) {
    Sensor t(2, 2);
    t.s.white_level = 4095;
    t.s.black_level = 5;
    t.s.use_as_shot_wb = 0;
    t.s.verbose_output = 1;
    set(t.s.daylight_multipliers, {2, 1, 4, 1});
    EXPECT_EQ(
        scale(t.s),
        "Scaling with darkness 5, saturation 4095, and\nmultipliers 2.000000 1.000000 4.000000 1.000000\n");
}
