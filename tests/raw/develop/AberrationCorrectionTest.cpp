#include <gtest/gtest.h>

#include "raw/develop/SensorPrep.h"
#include "tests/raw/SensorFixture.h"

using sensortest::Sensor;

namespace {

// Planes that bilinear resampling reproduces exactly: slot 0 = 100 r + c, slot 2 = 10 r + c.
struct Ramp : Sensor {
    Ramp(double redScale, double blueScale) : Sensor(8, 8) {
        s.aberration_scales[0] = redScale;
        s.aberration_scales[1] = blueScale;
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) {
                uint16_t* p = pixel(r, c);
                p[0] = uint16_t(100 * r + c), p[1] = 9, p[2] = uint16_t(10 * r + c);
            }
    }
};

} // namespace

TEST(AberrationCorrection, ResamplesRedAndBlueAboutTheCentre) {
    struct Probe {
        int slot, r, c;
        uint16_t expected;
    };
    struct Case {
        const char* name;
        double red, blue;
        std::vector<Probe> probes;
    } cases[] = {
        {"red shrinks", 0.5, 1, {{0, 0, 0, 202}, {0, 7, 7, 555}, {2, 7, 7, 77}, {1, 3, 3, 9}}},
        {"blue grows", 1, 2, {{2, 4, 5, 46}, {2, 5, 5, 66}, {2, 0, 5, 5}, {2, 6, 3, 63}, {0, 6, 3, 603}}},
        // Row 0 would read from y = -0.5: outside, so it keeps its values.
        {"just above the top", 1.125, 1, {{0, 0, 4, 4}, {0, 1, 4, 66}}},
    };
    for (const auto& c : cases) {
        Ramp t(c.red, c.blue);
        raw::correct_chromatic_aberration(t.s);
        for (const Probe& p : c.probes)
            EXPECT_EQ(t.pixel(p.r, p.c)[p.slot], p.expected)
                << c.name << " slot " << p.slot << " at " << p.r << "," << p.c;
    }
}

TEST(AberrationCorrection, OnlyThreeColourImagesWithAScaleAreTouched) {
    for (auto [colours, red] : {std::pair{4, 0.5}, std::pair{3, 1.0}}) {
        Ramp t(red, 1);
        t.s.colour_count = colours;
        const auto before = t.pixels();
        raw::correct_chromatic_aberration(t.s);
        EXPECT_EQ(t.pixels(), before) << colours << " colours, scale " << red;
    }
}
