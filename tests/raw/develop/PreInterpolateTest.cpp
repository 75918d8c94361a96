#include <gtest/gtest.h>

#include "raw/core/PhotositeAccess.h"
#include "raw/develop/SensorPrep.h"
#include "tests/raw/SensorFixture.h"

using sensortest::kRggb;
using sensortest::Sensor;

TEST(PreInterpolate, SecondGreenMovesIntoTheGreenSlot) {
    Sensor t(4, 4);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            t.pixel(r, c)[raw::pattern_code(kRggb, r, c)] = uint16_t(10 + 4 * r + c);
    raw::pre_interpolate(t.s);
    EXPECT_EQ(t.s.cfa_pattern, 0x94949494u) << "code 3 becomes 1";
    EXPECT_EQ(t.s.colour_count, 3);
    EXPECT_EQ(t.s.merge_greens, 0);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            const int code = raw::pattern_code(kRggb, r, c);
            const bool green = code == 1 || code == 3;
            EXPECT_EQ(t.pixel(r, c)[1], green ? 10 + 4 * r + c : 0) << r << "," << c;
        }
}

TEST(PreInterpolate, FourColourAndHalfSizeOptions) {
    struct Case {
        const char* name;
        uint32_t pattern;
        int fourColour, halfSize;
        int colours, merge;
        uint32_t patternAfter;
    } cases[] = {
        {"four colours", kRggb, 1, 0, 4, 1, kRggb},
        {"half size", kRggb, 0, 1, 4, 1, 0},
        {"both", kRggb, 1, 1, 4, 0, 0},
        {"x-trans", raw::kPatternXTrans, 0, 0, 3, 0, raw::kPatternXTrans},
    };
    for (const auto& c : cases) {
        Sensor t(2, 2);
        t.s.cfa_pattern = c.pattern;
        t.s.four_colour_option = c.fourColour;
        t.s.half_size_option = c.halfSize;
        raw::pre_interpolate(t.s);
        EXPECT_EQ(t.s.colour_count, c.colours) << c.name;
        EXPECT_EQ(t.s.merge_greens, c.merge) << c.name;
        EXPECT_EQ(t.s.cfa_pattern, c.patternAfter) << c.name;
    }
}

TEST(PreInterpolate, ShrunkImageExpandsToTheVisibleSize) {
    Sensor t(2, 3); // two by three pixels of 2x2 blocks
    t.s.shrink_image = 1;
    t.s.visible_height = 4;
    t.s.visible_width = 6;
    for (int i = 0; i < 6; ++i)
        for (int slot = 0; slot < 4; ++slot)
            t.s.pixel_image[i][slot] = uint16_t(100 * i + slot + 1);
    raw::pre_interpolate(t.s);
    ASSERT_EQ(t.s.image_height, 4);
    ASSERT_EQ(t.s.image_width, 6);
    EXPECT_EQ(t.s.shrink_image, 0);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 6; ++c) {
            const int code = raw::pattern_code(kRggb, r, c);
            const uint16_t* p = t.pixel(r, c);
            const int block = (r / 2) * 3 + c / 2;
            EXPECT_EQ(p[code], 100 * block + code + 1) << r << "," << c;
            const int green = code == 3 ? p[1] : 0; // moved there by the green step
            EXPECT_EQ(p[0] + p[1] + p[2] + p[3] - p[code] - green, 0) << r << "," << c;
        }
}

TEST(PreInterpolate, HalfSizeXTransFillsTheRedAndBlueHoles) {
    Sensor t(6, 6);
    t.s.shrink_image = t.s.half_size_option = 1;
    t.s.cfa_pattern = raw::kPatternXTrans;
    t.s.visible_height = t.s.visible_width = 12;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c) {
            const bool hole = c == 2 && r != 2 && r != 4 && r != 5;
            t.pixel(r, c)[0] = hole ? 0 : uint16_t(10 * c + 1);
            t.pixel(r, c)[2] = hole ? 0 : uint16_t(20 * c + 2);
        }
    raw::pre_interpolate(t.s);
    EXPECT_EQ(t.s.visible_height, 6);
    EXPECT_EQ(t.s.visible_width, 6);
    EXPECT_EQ(t.s.cfa_pattern, 0u);
    for (int r : {0, 3}) {
        EXPECT_EQ(t.pixel(r, 2)[0], (11 + 31) >> 1) << r;
        EXPECT_EQ(t.pixel(r, 2)[2], (22 + 62) >> 1) << r;
    }
    EXPECT_EQ(t.pixel(1, 2)[0], 0) << "only every third row from the first hole";
}
