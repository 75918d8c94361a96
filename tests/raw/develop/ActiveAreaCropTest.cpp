#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "raw/core/BandRunner.h"
#include "raw/core/PhotositeAccess.h"
#include "raw/develop/SensorPrep.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/SensorFixture.h"

using sensortest::Sensor;
using Rect = std::array<int32_t, 4>; // top, left, bottom, right

namespace {

void setRect(raw::DecoderState& s, int i, Rect r) {
    std::memcpy(s.masked_areas[i], r.data(), sizeof s.masked_areas[i]);
}
Rect rect(const raw::DecoderState& s, int i) {
    Rect r;
    std::memcpy(r.data(), s.masked_areas[i], sizeof s.masked_areas[i]);
    return r;
}

} // namespace

TEST(ActiveAreaCrop, CopiesTheVisibleAreaIntoTheSlotOfEachColour) {
    Sensor t(4, 5);
    t.addSensor(6, 8);
    t.s.margin_top = 1;
    t.s.margin_left = 2;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 8; ++c)
            t.raw(r, c) = uint16_t(100 * r + c + 1);
    raw::crop_active_area(t.s);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c) {
            const int code = raw::pattern_code(t.s.cfa_pattern, r, c);
            for (int slot = 0; slot < 4; ++slot)
                EXPECT_EQ(t.pixel(r, c)[slot], slot == code ? t.raw(r + 1, c + 2) : 0)
                    << r << "," << c << " slot " << slot;
        }
}

TEST(ActiveAreaCrop, AShrunkImageKeepsEachTwoByTwoBlockInOnePixel) {
    Sensor t(2, 3);
    t.s.shrink_image = 1;
    t.s.visible_height = 4;
    t.s.visible_width = 6;
    t.addSensor(4, 6);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 6; ++c)
            t.raw(r, c) = uint16_t(10 * r + c + 1);
    raw::crop_active_area(t.s);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(t.pixel(r / 2, c / 2)[raw::pattern_code(t.s.cfa_pattern, r, c)], t.raw(r, c))
                << r << "," << c;
}

TEST(ActiveAreaCrop, MarginsPastTheSensorEdgeReadNothingBeyondIt) {
    Sensor t(6, 6);
    t.addSensor(5, 7, 999);
    t.s.margin_top = 2;
    t.s.margin_left = 3;
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 7; ++c)
            t.raw(r, c) = 7;
    raw::crop_active_area(t.s);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c) {
            const bool inside = r + 2 < 5 && c + 3 < 7;
            const uint16_t* p = t.pixel(r, c);
            EXPECT_EQ(p[0] + p[1] + p[2] + p[3], inside ? 7 : 0) << r << "," << c;
        }
}

TEST(ActiveAreaCrop, MaskedRectanglesAreMeasuredOnlyInsideTheSensor) {
    Sensor t(8, 8);
    t.addSensor(10, 12, 60000); // the loaders' spare rows must not count
    t.s.margin_top = t.s.margin_left = 2;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 12; ++c) {
            const bool masked = c < 2 || c >= 10;
            t.raw(r, c) =
                masked ? uint16_t(100 + 10 * raw::pattern_code(t.s.cfa_pattern, r - 2, c - 2)) : 5000;
        }
    setRect(t.s, 0, {-5, 0, 50, 2});  // above and below the sensor
    setRect(t.s, 1, {0, 10, 10, 40}); // past the right edge, where the next rows would be read
    t.s.channel_black[4] = t.s.channel_black[5] = 2;
    t.s.channel_black[6] = 9;
    raw::crop_active_area(t.s);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(t.s.channel_black[c], 100 + 10 * c) << "colour " << c;
    EXPECT_EQ(t.s.channel_black[4], 0) << "the black pattern is dropped";
    EXPECT_EQ(t.s.channel_black[5], 0);
    EXPECT_EQ(t.s.channel_black[6], 0);
}

TEST(ActiveAreaCrop, UnusableMaskedAreasKeepTheParsersBlacks) {
    struct Case {
        const char* name;
        Rect area;
        uint16_t value;
    } cases[] = {
        {"one photosite: three colours missing", {0, 0, 1, 1}, 50},
        {"dead masked columns", {0, 0, 6, 2}, 0},
        {"rectangle wholly outside", {-9, -9, -1, -1}, 50},
    };
    for (const auto& c : cases) {
        Sensor t(4, 4);
        t.addSensor(6, 6);
        t.s.margin_top = 1;
        t.s.margin_left = 2;
        for (int r = 0; r < 6; ++r)
            for (int col = 0; col < 2; ++col)
                t.raw(r, col) = c.value;
        setRect(t.s, 0, c.area);
        const uint16_t before[4] = {11, 12, 13, 14};
        std::memcpy(t.s.channel_black, before, sizeof before);
        raw::crop_active_area(t.s);
        EXPECT_EQ(0, std::memcmp(t.s.channel_black, before, sizeof before)) << c.name;
    }
}

TEST(ActiveAreaCrop, LoadersWithoutMaskedTagsGetDefaultRectangles) {
    struct Case {
        const char* name;
        raw::Routine loader;
        const char* model;
        uint32_t flags;
        Rect parser0; // what the parser left in rectangle 0
        Rect rect0, rect1;
    } cases[] = {
        {"scrambled", raw::sony_scrambled_load_raw, "", 0, {}, {2, 0, 18, 13}, {2, 24, 18, 30}},
        {"crw", raw::canon_crw_load_raw, "EOS D30", 0, {}, {2, 2, 18, 2}, {2, 26, 18, 30}},
        {"G16", raw::ljpeg_sensor_load_raw, "PowerShot G16 X", 0, {}, {2, 2, 18, -14}, {2, 26, 18, 30}},
        {"packed with flag", raw::packed_bits_load_raw, "", 32, {}, {2, 0, 18, 4}, {2, 24, 18, 30}},
        {"packed without flag", raw::packed_bits_load_raw, "", 0, {}, {}, {}},
        {"eight-bit", raw::eight_bit_load_raw, "DC40", 0, {}, {2, 0, 18, 4}, {2, 24, 18, 30}},
        {"eight-bit DC2", raw::eight_bit_load_raw, "DC25", 0, {}, {}, {}},
        {"nokia", raw::nokia_load_raw, "", 0, {}, {0, 0, 2, 20}, {}},
        {"the parser's own", raw::sony_scrambled_load_raw, "", 0, {1, 1, 5, 3}, {1, 1, 5, 3}, {}},
    };
    for (const auto& c : cases) {
        Sensor t(16, 20);
        t.addSensor(20, 30);
        t.s.margin_top = 2;
        t.s.margin_left = 4;
        t.s.raw_loader = c.loader;
        t.s.loader_flags = c.flags;
        std::strcpy(t.s.camera_model, c.model);
        setRect(t.s, 0, c.parser0);
        raw::crop_active_area(t.s);
        EXPECT_EQ(rect(t.s, 0), c.rect0) << c.name;
        EXPECT_EQ(rect(t.s, 1), c.rect1) << c.name;
    }
}

TEST(ActiveAreaCrop, DiagonalSensorsLandOnTheirImagePositions) {
    struct Hit {
        int r, j, y, x;
    };
    struct Case {
        const char* name;
        int layout, rotated, sensorHeight, sensorWidth, top;
        std::vector<Hit> hits;
        int filled;
    } cases[] = {
        {"fuji layout", 1, 4, 6, 5, 0, {{0, 0, 3, 0}, {1, 0, 3, 1}, {0, 3, 0, 3}, {5, 2, 3, 5}}, 24},
        // Two stored columns per diagonal step; the sensor is narrower than that row.
        {"paired layout", 0, 2, 5, 3, 1, {{0, 0, 1, 0}, {0, 1, 1, 1}, {0, 2, 0, 1}, {2, 1, 3, 3}}, 9},
    };
    for (const auto& c : cases) {
        Sensor t(8, 8);
        t.addSensor(c.sensorHeight, c.sensorWidth);
        t.s.fuji_sensor_layout = c.layout;
        t.s.rotated_width = uint16_t(c.rotated);
        t.s.margin_top = uint16_t(c.top);
        for (int r = 0; r < c.sensorHeight; ++r)
            for (int j = 0; j < c.sensorWidth; ++j)
                t.raw(r, j) = uint16_t(100 * (r + 1) + j);
        raw::crop_active_area(t.s);
        for (const Hit& h : c.hits)
            EXPECT_EQ(t.pixel(h.y, h.x)[raw::pattern_code(t.s.cfa_pattern, h.y, h.x)],
                      t.raw(h.r + c.top, h.j))
                << c.name << " stored " << h.r << "," << h.j;
        int filled = 0;
        for (uint64_t i = 0; i < t.pixelCount(); ++i)
            for (uint16_t v : t.s.pixel_image[i])
                filled += v != 0;
        EXPECT_EQ(filled, c.filled) << c.name;
    }
}

TEST(ActiveAreaCrop, ThreadedAndInlineCropsAgree) {
    struct Case {
        int sensorHeight, sensorWidth, visibleHeight, visibleWidth, top, left, rotated;
    } cases[] = {{403, 610, 380, 600, 10, 5, 0}, {60, 40, 50, 30, 3, 4, 0}, {400, 210, 400, 400, 0, 0, 200}};
    for (const auto& c : cases) {
        std::vector<uint16_t> results[2];
        uint16_t blacks[2][4];
        for (bool threaded : {true, false}) {
            raw::set_band_threads_enabled(threaded);
            Sensor t(c.visibleHeight, c.visibleWidth);
            t.addSensor(c.sensorHeight, c.sensorWidth);
            t.randomRaw(5);
            t.s.margin_top = uint16_t(c.top);
            t.s.margin_left = uint16_t(c.left);
            t.s.rotated_width = uint16_t(c.rotated);
            t.s.fuji_sensor_layout = 1;
            setRect(t.s, 0, {0, 0, c.sensorHeight, 4});
            raw::crop_active_area(t.s);
            results[threaded] = t.pixels();
            std::memcpy(blacks[threaded], t.s.channel_black, sizeof blacks[0]);
        }
        raw::set_band_threads_enabled(true);
        EXPECT_EQ(results[0], results[1]) << c.sensorHeight << "x" << c.sensorWidth;
        EXPECT_EQ(0, std::memcmp(blacks[0], blacks[1], sizeof blacks[0]));
    }
}
