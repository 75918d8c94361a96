#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "raw/colour/CameraColour.h"
#include "raw/colour/ColourMatrixTable.h"
#include "tests/raw/IdentifiedState.h"

using raw::colour_matrix_row;
using raw::DecoderState;

namespace {

const colour_matrix_row* row_named(const char* prefix) {
    for (size_t i = 0; i < raw::colour_matrix_table_size; ++i)
        if (std::strcmp(raw::colour_matrix_table[i].prefix, prefix) == 0) return &raw::colour_matrix_table[i];
    return nullptr;
}

void set_embedded_matrix(DecoderState& s) {
    const float m[3][4] = {{0.9f, 0.1f, 0, 0}, {0.05f, 1.1f, -0.15f, 0}, {0, -0.2f, 1.2f, 0}};
    std::memcpy(s.embedded_matrix, m, sizeof m);
}

void expect_identity_output(const DecoderState& s, const char* name) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(s.rgb_from_camera[i][j], i == j ? 1.0f : 0.0f) << name;
}

} // namespace

TEST(ColourMatrixTableTest, EveryRowIsReachableByItsOwnName) {
    ASSERT_EQ(raw::colour_matrix_table_size, 685u);
    EXPECT_STREQ(raw::colour_matrix_table[0].prefix, "AGFAPHOTO DC-833m");
    EXPECT_STREQ(raw::colour_matrix_table[684].prefix, "YI M1");
    for (size_t i = 0; i < raw::colour_matrix_table_size; ++i) {
        const char* name = raw::colour_matrix_table[i].prefix;
        // A name listed twice is the same camera: its first copy answers.
        const colour_matrix_row* found = raw::find_colour_matrix_row(name);
        EXPECT_EQ(found, row_named(name))
            << name << " is shadowed by " << (found ? found->prefix : "nothing");
    }
}

TEST(ColourMatrixTableTest, RowSearchIsAByteExactPrefixMatch) {
    struct Case {
        const char* text;
        const char* row; // nullptr: no row
    };
    const Case cases[] = {
        {"Canon EOS 5D Mark III", "Canon EOS 5D Mark III"},
        {"Canon EOS 5DS R", "Canon EOS 5DS"},
        {"Canon EOS 5D", "Canon EOS 5D"},
        {"Canon EOS M50", "Canon EOS M50"},
        {"Canon EOS M50m2", "Canon EOS M50m2"},
        {"Canon EOS C500", "Canon EOS C500"},
        {"Canon EOS 1234D", "Canon EOS"},
        {"Nikon 1 V1", "Nikon 1 "},
        {"Apple QuickTake 150", "Apple QuickTake"},
        {"Apple Quicktake 150", nullptr},
        {"NIKON D850", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        const colour_matrix_row* row = raw::find_colour_matrix_row(c.text);
        EXPECT_STREQ(row ? row->prefix : nullptr, c.row) << c.text;
    }
}

TEST(ColourMatrixTableTest, ReferenceIsoRows) {
    const std::pair<const char*, int> expected[] = {
        {"Fujifilm X-T30", -930},        {"Fujifilm X-T3", -930},        {"Fujifilm X-T4", -930},
        {"Olympus E-M10 Mark III", 200}, {"Olympus E-M10 Mark II", 200}, {"Olympus E-M1MarkII", 200},
        {"Olympus E-M5MarkII", 200},     {"Olympus PEN-F", 200},
    };
    int rows_with_iso = 0;
    for (size_t i = 0; i < raw::colour_matrix_table_size; ++i)
        rows_with_iso += raw::colour_matrix_table[i].reference_iso != 0;
    EXPECT_EQ(rows_with_iso, 8);
    for (const auto& [name, iso] : expected) {
        const colour_matrix_row* row = row_named(name);
        ASSERT_NE(row, nullptr) << name;
        EXPECT_EQ(row->reference_iso, iso) << name;
    }
}

TEST(CameraColourLookupTest, RowsWithAMatrixSetLevelsExposureAndColour) {
    struct Case {
        const char *make, *model;
        uint32_t black, white;
        float exposure;
        int16_t matrix[9];
    };
    const Case cases[] = {
        {"AGFAPHOTO", "DC-833m", 0, 0, 0, {11438, -3762, -1115, -2409, 9914, 2497, -1227, 2295, 5300}},
        {"Canon",
         "EOS 5D Mark III",
         0,
         15488,
         0.25f,
         {6722, -635, -963, -4287, 12460, 2028, -908, 2162, 5668}},
        {"Canon", "EOS C500", 853, 0, 0, {17851, -10604, 922, -7425, 16662, 763, -3660, 3636, 22278}},
        {"Fujifilm", "X-T3", 0, 0, -0.25f, {16393, -7740, -1436, -4238, 12131, 2371, -633, 1424, 6553}},
        {"Nikon", "D850", 0, 0, -0.9f, {10405, -3755, -1270, -5461, 13787, 1793, -1040, 2015, 6785}},
        {"Olympus",
         "E-M10 Mark III",
         0,
         4000,
         0.5f,
         {8380, -2630, -639, -2887, 10725, 2496, -627, 1427, 5438}},
        {"Panasonic", "DMC-GH4", 15, 0, -0.4f, {6559, -1752, -491, -3672, 11407, 2586, -962, 1875, 5130}},
        {"Sony", "ILCE-7RM3", 128, 0, -0.35f, {6629, -1900, -483, -4618, 12349, 2550, -622, 1381, 6514}},
        {"YI", "M1", 0, 0, 0, {7712, -2059, -653, -3882, 11494, 2726, -710, 1332, 5958}},
    };
    for (const auto& c : cases) {
        auto s = testsupport::identified_state();
        s->iso_value = 200;
        s->bits_per_sample = 12;
        raw::lookup_camera_colours(*s, c.make, c.model);
        EXPECT_EQ(s->black_level, c.black) << c.model;
        EXPECT_EQ(s->white_level, c.white) << c.model;
        EXPECT_FLOAT_EQ(s->baseline_exposure, c.exposure) << c.model;
        EXPECT_EQ(s->camera_colour_output, 0) << c.model;
        for (int k = 0; k < 9; ++k)
            EXPECT_FLOAT_EQ(s->camera_from_xyz[k / 3][k % 3], c.matrix[k] / 10000.0f) << c.model;
        for (int r = 0; r < 3; ++r) {
            float grey = 0; // the camera's response to sRGB grey, balanced
            for (int x = 0; x < 3; ++x)
                for (int j = 0; j < 3; ++j)
                    grey += c.matrix[r * 3 + x] / 10000.0f * raw::xyz_from_srgb[x][j];
            EXPECT_NEAR(grey * s->daylight_multipliers[r], 1.0f, 1e-4) << c.model << " row " << r;
        }
        expect_identity_output(*s, c.model);
    }
}

TEST(CameraColourLookupTest, ExposureAndBlackRules) {
    struct Case {
        const char* name;
        const char *make, *model;
        float iso;
        int dynamic_range;
        uint32_t bits, black_before;
        float exposure;
        uint32_t black;
    };
    const Case cases[] = {
        {"Nikon D850 at ISO 100", "Nikon", "D850", 100, 0, 14, 0, -0.9f, 0},
        {"Fuji DR400 at ISO 640", "Fujifilm", "X-T3", 640, 400, 14, 0, 1.75f, 0},
        {"Fuji DR400 at ISO 100", "Fujifilm", "X-T3", 100, 400, 14, 0, -1.25f, 0},
        {"Fuji DR400 at ISO 400", "Fujifilm", "X-T3", 400, 400, 14, 0, 0.75f, 0},
        {"Fuji DR800 at ISO 3200", "Fujifilm", "X-T3", 3200, 800, 14, 0, 2.75f, 0},
        {"Fuji DR100 at ISO 3200", "Fujifilm", "X-T3", 3200, 100, 14, 0, -0.25f, 0},
        {"Fuji without DR", "Fujifilm", "X-T3", 640, 0, 14, 0, -0.25f, 0},
        {"Olympus below reference ISO", "Olympus", "E-M10 Mark III", 100, 0, 12, 0, -0.5f, 0},
        {"Olympus at reference ISO", "Olympus", "E-M10 Mark III", 200, 0, 12, 0, 0.5f, 0},
        {"Olympus above reference ISO", "Olympus", "E-M10 Mark III", 1600, 0, 12, 0, 0.5f, 0},
        {"Sony 14-bit", "Sony", "ILCE-7RM3", 100, 0, 14, 0, -0.35f, 512},
        {"Sony 12-bit", "Sony", "ILCE-7RM3", 100, 0, 12, 0, -0.35f, 128},
        {"Sony without a row", "Sony", "DSC-NEW1", 100, 0, 14, 100, 0, 400},
        {"Sony with absurd bits", "Sony", "DSC-NEW1", 100, 0, 1000, 100, 0, UINT32_MAX},
        {"Sony black of a 16-bit file", "Sony", "ILCE-7RM3", 100, 0, 16, 0, -0.35f, 2048},
    };
    for (const auto& c : cases) {
        auto s = testsupport::identified_state();
        s->iso_value = c.iso;
        s->fuji_dynamic_range = c.dynamic_range;
        s->bits_per_sample = c.bits;
        s->black_level = c.black_before;
        raw::lookup_camera_colours(*s, c.make, c.model);
        EXPECT_NEAR(s->baseline_exposure, c.exposure, 1e-5) << c.name;
        EXPECT_EQ(s->black_level, c.black) << c.name;
    }
}

TEST(CameraColourLookupTest, FourColourRowBalancesAllFourChannels) {
    auto s = testsupport::identified_state();
    s->colour_count = 4;
    raw::lookup_camera_colours(*s, "Canon", "PowerShot A50");
    EXPECT_EQ(s->camera_colour_output, 0);
    EXPECT_FLOAT_EQ(s->camera_from_xyz[2][2], 0.62f) << "the first three rows reach the application";
    const float last_row[3] = {-0.1404f, 1.1175f, 0.0217f};
    float grey = 0;
    for (int x = 0; x < 3; ++x)
        for (int j = 0; j < 3; ++j)
            grey += last_row[x] * raw::xyz_from_srgb[x][j];
    EXPECT_NEAR(s->daylight_multipliers[3], 1 / grey, 1e-4);
}

// Where the table gives no colours, the file's own matrix or the raw colours apply.
TEST(CameraColourLookupTest, WithoutTableColoursTheEmbeddedMatrixOrRawColoursApply) {
    struct Case {
        const char* name;
        const char *make, *model;
        float embedded; // embedded_matrix[0][0]; 0: the file carries none
        bool uses_embedded;
        float exposure;
    };
    const Case cases[] = {
        {"unknown camera, no matrix", "Nothing", "Known", 0, false, 0},
        {"unknown camera with a matrix", "Nothing", "Known", 0.9f, true, 0},
        {"unknown camera, matrix too small", "Nothing", "Known", 0.125f, false, 0},
        {"empty row, no matrix", "Olympus", "E-M10 Mark II", 0, false, -1},
        {"empty row with a matrix", "Olympus", "E-M10 Mark II", 0.9f, true, -1},
        {"A530 ignores the file's matrix", "Canon", "PowerShot A530", 0.9f, false, 0},
    };
    for (const auto& c : cases) {
        auto s = testsupport::identified_state();
        const float as_shot[4] = {2, 1, 1.5f, 0};
        std::copy(as_shot, as_shot + 4, s->as_shot_multipliers);
        if (c.embedded != 0) set_embedded_matrix(*s);
        s->embedded_matrix[0][0] = c.embedded;
        raw::lookup_camera_colours(*s, c.make, c.model);
        EXPECT_FLOAT_EQ(s->baseline_exposure, c.exposure) << c.name;
        if (c.uses_embedded) {
            EXPECT_EQ(s->camera_colour_output, 0) << c.name;
            EXPECT_EQ(std::memcmp(s->rgb_from_camera, s->embedded_matrix, sizeof s->rgb_from_camera), 0)
                << c.name;
            EXPECT_GT(s->camera_from_xyz[0][0], 0.5f) << c.name;
            EXPECT_GT(s->as_shot_white_xyz[0], 0) << c.name << ": white point from the new matrix";
        } else {
            EXPECT_EQ(s->camera_colour_output, 1) << c.name;
            expect_identity_output(*s, c.name);
            EXPECT_EQ(s->camera_from_xyz[0][0], 0) << c.name;
            EXPECT_EQ(s->as_shot_white_xyz[0], -1000) << c.name;
        }
    }
}

TEST(CameraColourLookupTest, AnUnknownCameraChangesNothing) {
    auto s = testsupport::identified_state();
    auto before = testsupport::identified_state();
    s->black_level = before->black_level = 64;
    s->bits_per_sample = before->bits_per_sample = 14;
    raw::lookup_camera_colours(*s, "Quirky", "Prototype 1");
    raw::lookup_camera_colours(*s, std::string(300, 'C').c_str(), "EOS 5D Mark III");
    EXPECT_EQ(std::memcmp(s.get(), before.get(), sizeof(DecoderState)), 0);
}
