#include <gtest/gtest.h>

#include "raw/core/PhotositeAccess.h"
#include "raw/develop/SensorPrep.h"
#include "tests/raw/SensorFixture.h"

using sensortest::Sensor;

namespace {

// A 6x6 mosaic whose photosite (r, c) reads 10 + 6r + c in the slot of its code.
struct Mosaic : Sensor {
    Mosaic() : Sensor(6, 6) {
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c)
                site(r, c) = uint16_t(10 + 6 * r + c);
    }
    uint16_t& site(int r, int c) { return pixel(r, c)[raw::pattern_code(s.cfa_pattern, r, c)]; }
};

} // namespace

TEST(ZeroFill, BorderPhotositesUseTheClippedWindow) {
    struct Case {
        int r, c;
        uint16_t expected;
    } cases[] = {
        {0, 0, (12 + 22 + 24) / 3}, // red corner: (0,2), (2,0), (2,2)
        {1, 0, (18 + 28 + 30) / 3}, // second green, row -1 clipped: (1,2), (3,0), (3,2)
        {0, 1, (13 + 23 + 25) / 3}, // green, column -1 clipped: (0,3), (2,1), (2,3)
    };
    for (const auto& c : cases) {
        Mosaic t;
        t.site(c.r, c.c) = 0;
        raw::fill_zero_pixels(t.s);
        EXPECT_EQ(t.site(c.r, c.c), c.expected) << c.r << "," << c.c;
    }
}

TEST(ZeroFill, EarlierFillsCountAndLoneDeadColoursStayZero) {
    Mosaic t;
    t.site(0, 0) = 0;
    t.site(2, 2) = 0;
    raw::fill_zero_pixels(t.s);
    EXPECT_EQ(t.site(0, 0), (12 + 22) / 2);
    EXPECT_EQ(t.site(2, 2), (17 + 12 + 14 + 22 + 26 + 34 + 36 + 38) / 8) << "(0,0) was filled first";

    Mosaic blue;
    for (int r = 1; r < 6; r += 2)
        for (int c = 1; c < 6; c += 2)
            blue.site(r, c) = 0;
    raw::fill_zero_pixels(blue.s);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(blue.site(r, c), (r & c & 1) ? 0 : 10 + 6 * r + c) << r << "," << c;
}
