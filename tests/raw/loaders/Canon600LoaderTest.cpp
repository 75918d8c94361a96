#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "raw/develop/SensorPrep.h"
#include "raw/loaders/Canon600.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"

using namespace raw;
using testsupport::LoaderRig;

namespace {

constexpr uint32_t kCanon600Pattern = 0xe1e4e1e4;

// One 1120-byte line whose every 10-byte group holds the eight samples given.
std::vector<uint8_t> packed_line(const uint16_t (&v)[8]) {
    const uint8_t group[10] = {
        uint8_t(v[0] >> 2), uint8_t((v[0] & 3) << 6 | (v[1] & 3) << 4 | (v[2] & 3) << 2 | (v[3] & 3)),
        uint8_t(v[1] >> 2), uint8_t(v[2] >> 2),
        uint8_t(v[3] >> 2), uint8_t(v[4] >> 2),
        uint8_t(v[5] >> 2), uint8_t(v[6] >> 2),
        uint8_t(v[7] >> 2), uint8_t((v[7] & 3) << 6 | (v[6] & 3) << 4 | (v[5] & 3) << 2 | (v[4] & 3)),
    };
    std::vector<uint8_t> line;
    for (int g = 0; g < 112; ++g)
        line.insert(line.end(), group, group + 10);
    return line;
}

// A visible area whose photosites hold one value per colour.
void fill_by_colour(LoaderRig& rig, const int (&value)[4]) {
    rig.s->cfa_pattern = kCanon600Pattern;
    rig.s->colour_count = 4;
    for (int r = 0; r < rig.s->sensor_height; ++r)
        for (int c = 0; c < rig.s->sensor_width; ++c) {
            const int colour = int(kCanon600Pattern >> ((((r << 1) & 14) | (c & 1)) << 1) & 3);
            rig.raw[size_t(r) * rig.s->sensor_width + size_t(c)] = uint16_t(value[colour]);
        }
}

} // namespace

TEST(Canon600Loader, UnpacksTenBytesToEightSamplesEvenRowsFirst) {
    const uint16_t a[8] = {1023, 0, 513, 2, 3, 770, 1, 1000};
    const uint16_t b[8] = {5, 6, 7, 8, 9, 10, 11, 12};
    const uint16_t c[8] = {100, 200, 300, 400, 500, 600, 700, 800};
    std::vector<uint8_t> bytes = packed_line(a);
    testsupport::append(bytes, packed_line(b));
    testsupport::append(bytes, packed_line(c));
    LoaderRig rig(bytes, 896, 3);
    rig.run(canon600_packed_load_raw);
    // Lines go to rows 0, 2, then 1.
    const uint16_t* expected[3] = {a, c, b};
    for (int row = 0; row < 3; ++row)
        for (int col : {0, 1, 2, 3, 4, 5, 6, 7, 888, 895})
            EXPECT_EQ(rig.at(row, col), expected[row][col % 8]) << row << "," << col;
    EXPECT_EQ(rig.s->data_error_count, 0);

    LoaderRig short_file(packed_line(a), 896, 2);
    short_file.run(canon600_packed_load_raw);
    EXPECT_EQ(short_file.s->data_error_count, 1);
}

TEST(Canon600Correction, ColourClasses) {
    struct Case {
        bool flash;
        int32_t r0, r1, margin;
        int expected;
        int32_t r0_after, r1_after;
    };
    const Case cases[] = {
        {false, -76, 100, 150, 0, -76, 100},   // on the grey line (target -76)
        {false, -226, 100, 150, 0, -226, 100}, // at the lower margin
        {false, -50, 100, 150, 1, -56, 100},   // above: pulled back to target + 20
        {false, -500, 100, 150, 1, -226, 100}, // below: pulled up by the margin
        {false, 600, 100, 150, 2, 600, 100},   // too far off
        {false, 0, 500, 150, 2, 0, 500},       // second ratio out of range
        {false, -109, 300, 150, 0, -109, 300}, // past 197 the target rises slowly
        {false, -109, 400, 150, 1, -109, 307}, // clamped: never class 0
        {false, -18, -50, 150, 0, -18, -50},   // negative ratios shift down
        {true, -38, 0, 80, 0, -38, 0},         // flash target
        {true, -42, 50, 80, 1, -42, 12},       // flash clamp
    };
    for (const Case& c : cases) {
        auto s = std::make_unique<DecoderState>();
        s->canon_flash_flag = c.flash ? 1.0f : 0.0f;
        int32_t r0 = c.r0, r1 = c.r1;
        EXPECT_EQ(canon600_colour_class(*s, r0, r1, c.margin), c.expected) << c.r0 << "," << c.r1;
        if (c.expected == 2) continue;
        EXPECT_EQ(r0, c.r0_after) << c.r0 << "," << c.r1;
        EXPECT_EQ(r1, c.r1_after) << c.r0 << "," << c.r1;
    }
}

TEST(Canon600Correction, FixedBalanceInterpolatesBetweenRows) {
    struct Case {
        int key;
        float weights[4]; // the multipliers' reciprocals
    };
    const Case cases[] = {
        {667, {358, 397, 565, 452}},  {500, {358, 397, 565, 452}},       {1399, {485, 431, 508, 688}},
        {2000, {485, 431, 508, 688}}, {925, {393, 357.5f, 473.5f, 527}},
    };
    for (const Case& c : cases) {
        auto s = std::make_unique<DecoderState>();
        canon600_fixed_white_balance(*s, c.key);
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(1 / s->daylight_multipliers[i], c.weights[i], 1e-3) << c.key;
    }
}

TEST(Canon600Correction, AutoBalanceFromGreySpots) {
    // Ratios (924 - 1000) / 1000 and (1100 - 1000) / 1000 lie on the grey line.
    LoaderRig rig(std::vector<uint8_t>(), 40, 40);
    fill_by_colour(rig, {1000, 924, 1000, 1100});
    rig.s->canon_exposure_value = 11.4f;
    canon600_auto_white_balance(*rig.s);
    const float* m = rig.s->daylight_multipliers;
    EXPECT_NEAR(m[1] / m[0], 1000.0 / 924, 1e-4);
    EXPECT_NEAR(m[2] / m[0], 1.0, 1e-4);
    EXPECT_NEAR(m[3] / m[0], 1000.0 / 1100, 1e-4);

    // Spots outside 150..1500 do not count: the multipliers stay as they were.
    LoaderRig dark(std::vector<uint8_t>(), 40, 40);
    fill_by_colour(dark, {100, 100, 100, 100});
    dark.s->daylight_multipliers[0] = 7;
    canon600_auto_white_balance(*dark.s);
    EXPECT_EQ(dark.s->daylight_multipliers[0], 7);
}

TEST(Canon600Correction, MatrixFollowsTheBalance) {
    struct Case {
        bool flash;
        float m[4];
        float first; // rgb_from_camera[0][0] x 1024
    };
    const Case cases[] = {
        {false, {1, 1.1f, 1, 0.5f}, -1203},
        {false, {1, 1.5f, 1, 0.5f}, -190},
        {false, {1, 0.5f, 1, 1}, -190},
        {true, {1, 1.1f, 1, 0.5f}, -807},
    };
    for (const Case& c : cases) {
        auto s = std::make_unique<DecoderState>();
        s->colour_count = 4;
        s->camera_colour_output = 1;
        s->canon_flash_flag = c.flash;
        std::copy(c.m, c.m + 4, s->daylight_multipliers);
        canon600_colour_coefficients(*s);
        EXPECT_FLOAT_EQ(s->rgb_from_camera[0][0] * 1024, c.first);
        EXPECT_EQ(s->camera_colour_output, 0);
    }
    // Table 3 differs from table 0 in its second row.
    auto s = std::make_unique<DecoderState>();
    s->colour_count = 4;
    const float m[4] = {1, 1.5f, 1, 0.5f};
    std::copy(m, m + 4, s->daylight_multipliers);
    canon600_colour_coefficients(*s);
    EXPECT_FLOAT_EQ(s->rgb_from_camera[1][0] * 1024, 2153);
}

TEST(Canon600Correction, GainsBlackAndWhiteInsideTheMargins) {
    LoaderRig rig(std::vector<uint8_t>(), 8, 6);
    rig.s->margin_left = 2;
    rig.s->margin_top = 1;
    rig.s->visible_width = 6;
    rig.s->visible_height = 5;
    rig.s->cfa_pattern = kCanon600Pattern;
    rig.s->colour_count = 4;
    std::fill(rig.raw.begin(), rig.raw.end(), uint16_t(522));
    rig.s->black_level = 10;
    canon600_sensor_correct(*rig.s);
    // Gains by visible (row mod 4, column mod 2), over 512.
    const int gain[4][2] = {{1141, 1145}, {1128, 1109}, {1178, 1149}, {1128, 1109}};
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(rig.at(r + 1, c + 2), 512 * gain[r & 3][c & 1] >> 9) << r << "," << c;
    EXPECT_EQ(rig.at(0, 2), 522); // the masked row is left alone
    EXPECT_EQ(rig.at(1, 1), 522);
    EXPECT_EQ(rig.s->white_level, uint32_t(1013 * 1109 >> 9));
    EXPECT_EQ(rig.s->black_level, 0u);
    EXPECT_EQ(rig.s->camera_colour_output, 0);
}

TEST(Canon600Correction, RunsOnTheSensorDataBeforeTheCropMovesIt) {
    // The crop measures the black in the masked columns, corrects the raw buffer, then
    // copies the corrected photosites into the image.
    LoaderRig rig(std::vector<uint8_t>(), 10, 4);
    rig.s->margin_left = 2;
    rig.s->visible_width = rig.s->image_width = 8;
    rig.s->image_height = 4;
    rig.s->cfa_pattern = kCanon600Pattern;
    rig.s->colour_count = 4;
    rig.s->raw_loader = canon600_packed_load_raw;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 10; ++c)
            rig.raw[size_t(r) * 10 + size_t(c)] = c < 2 ? 14 : 522;
    std::vector<uint16_t> image(8 * 4 * 4, 0);
    rig.s->pixel_image = reinterpret_cast<uint16_t(*)[4]>(image.data());
    crop_active_area(*rig.s);
    const int gain[4][2] = {{1141, 1145}, {1128, 1109}, {1178, 1149}, {1128, 1109}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 8; ++c) {
            const int colour = int(kCanon600Pattern >> ((((r << 1) & 14) | (c & 1)) << 1) & 3);
            EXPECT_EQ(image[(size_t(r) * 8 + size_t(c)) * 4 + size_t(colour)], gain[r][c & 1])
                << r << "," << c;
        }
    EXPECT_EQ(rig.s->white_level, uint32_t(1013 * 1109 >> 9)); // black 14 - 4
    EXPECT_EQ(rig.s->black_level, 0u);
}
