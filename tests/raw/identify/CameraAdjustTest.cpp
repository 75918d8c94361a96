#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/identify/CameraAdjust.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/IdentifiedState.h"
#include "tests/support/MemoryFile.h"

using raw::DecoderState;

namespace {

constexpr uint32_t kUnset = 0xFFFFFFFF;

// A record as identification hands it to the adjustments: the parser's frame is the whole
// sensor, nothing chosen yet.
std::unique_ptr<DecoderState> adjust_state(const char* make, const char* model, uint16_t width,
                                           uint16_t height) {
    auto s = testsupport::identified_state();
    std::snprintf(s->camera_make, sizeof s->camera_make, "%s", make);
    std::snprintf(s->camera_model, sizeof s->camera_model, "%s", model);
    s->sensor_width = s->visible_width = width;
    s->sensor_height = s->visible_height = height;
    s->cfa_pattern = kUnset;
    s->orientation_code = -1;
    s->raw_count = 1;
    s->pixel_aspect_ratio = 1;
    s->bits_per_sample = 12;
    s->byte_order = raw::kLittleEndian;
    for (int i = 0; i < 65536; ++i)
        s->tone_table[i] = uint16_t(i);
    return s;
}

struct Expect {
    std::optional<int> width{}, height{}, left{}, top{}, sensor_width{}, sensor_height{};
    std::optional<uint32_t> pattern{}, flags{}, black{}, white{}, raw_count{}, bits{};
    std::optional<raw::Routine> loader{};
    std::optional<int> colours{}, orientation{};
    std::optional<std::string> make{}, model{}, letters{};
    std::optional<float> aspect{};
    std::optional<uint64_t> offset{};
    std::optional<uint16_t> byte_order{};
};

struct ChainCase {
    const char* name;
    const char* make;
    const char* model;
    uint16_t width, height;
    Expect expect;
    void (*prepare)(DecoderState&) = nullptr;
    uint64_t kept_length = 0;
    void (*check)(const DecoderState&) = nullptr;
};

template <class T, class U> void expect_field(const char* what, const std::optional<T>& want, const U& got) {
    if (want) {
        EXPECT_EQ(got, *want) << what;
    }
}

void expect_state(const DecoderState& s, const Expect& e) {
    expect_field("width", e.width, s.visible_width);
    expect_field("height", e.height, s.visible_height);
    expect_field("left", e.left, s.margin_left);
    expect_field("top", e.top, s.margin_top);
    expect_field("sensor width", e.sensor_width, s.sensor_width);
    expect_field("sensor height", e.sensor_height, s.sensor_height);
    expect_field("pattern", e.pattern, s.cfa_pattern);
    expect_field("loader flags", e.flags, s.loader_flags);
    expect_field("black", e.black, s.black_level);
    expect_field("white", e.white, s.white_level);
    expect_field("raw count", e.raw_count, s.raw_count);
    expect_field("bits", e.bits, s.bits_per_sample);
    expect_field("loader", e.loader, s.raw_loader);
    expect_field("colours", e.colours, s.colour_count);
    expect_field("orientation", e.orientation, s.orientation_code);
    expect_field("make", e.make, std::string(s.camera_make));
    expect_field("model", e.model, std::string(s.camera_model));
    expect_field("letters", e.letters, std::string(s.colour_letters));
    expect_field("data offset", e.offset, s.sensor_data_offset);
    expect_field("byte order", e.byte_order, s.byte_order);
    if (e.aspect) {
        EXPECT_FLOAT_EQ(s.pixel_aspect_ratio, *e.aspect);
    }
}

void run_cases(const std::vector<ChainCase>& cases) {
    for (const ChainCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = adjust_state(c.make, c.model, c.width, c.height);
        if (c.prepare) c.prepare(*s);
        raw::apply_camera_adjustments(*s, c.kept_length);
        expect_state(*s, c.expect);
        if (c.check) c.check(*s);
    }
}

void expect_simple_matrix_3(const DecoderState& s) {
    EXPECT_EQ(s.camera_colour_output, 0);
    EXPECT_FLOAT_EQ(s.rgb_from_camera[0][0], -1.9363f);
    EXPECT_FLOAT_EQ(s.rgb_from_camera[2][3], -1.8187f);
}

void set_frame(DecoderState& s, uint16_t width, uint16_t height) {
    s.visible_width = width;
    s.visible_height = height;
}

void four_colours(DecoderState& s) { s.colour_count = 4; }
void with_capture_time(DecoderState& s) { s.capture_time = 1000000000; }

} // namespace

TEST(CameraAdjustTest, CanonFramesAndBodies) {
    run_cases({
        // clang-format off
        {"size row with pattern", "Canon", "EOS 7D", 4176, 3062,
         {.width = 4072, .height = 3045, .left = 96, .top = 17, .pattern = 0x49494949,
          .loader = raw::ljpeg_sensor_load_raw}, nullptr, 0,
         [](const DecoderState& s) {
             EXPECT_EQ(s.masked_areas[0][3], -16);
             EXPECT_EQ(s.masked_areas[1][3], -7);
         }},
        {"size row keeping the pattern", "Canon", "EOS R5", 8896, 5920,
         {.width = 8736, .height = 5856, .left = 160, .top = 64, .pattern = kUnset}},
        {"camera-read row", "Canon", "EOS 350D DIGITAL", 3516, 2328,
         {.width = 3456, .height = 2304, .left = 52, .top = 19, .pattern = 0x49494949}},
        {"row without data keeps the parser's frame", "Canon", "EOS 5D", 1944, 1416,
         {.width = 1900, .height = 1400, .left = 20, .top = 10, .loader = raw::ljpeg_sensor_load_raw},
         [](DecoderState& s) {
             s.visible_width = 1900;
             s.visible_height = 1400;
             s.margin_left = 20;
             s.margin_top = 10;
         }},
        {"model id of a fixed frame", "Canon", "EOS 5D Mark IV", 6880, 4544, {.left = 8, .top = 16},
         [](DecoderState& s) { s.camera_model_id = 0x2720000; }},
        {"files known by their size skip the table", "Canon", "PowerShot A460", 4176, 3062,
         {.width = 4176, .left = 0, .pattern = kUnset, .loader = nullptr}, nullptr, 6553440},
        {"small raw turned upright", "Canon", "EOS 5D Mark II", 3872, 5184,
         {.width = 5184, .height = 3866, .sensor_width = 5184, .sensor_height = 3872, .pattern = 0,
          .loader = raw::canon_small_raw_load_raw, .colours = 3},
         [](DecoderState& s) { s.bits_per_sample = 15; }},
        {"medium raw of the large sensor", "Canon", "EOS 5DS", 7200, 3888,
         {.width = 6480, .height = 4320, .sensor_width = 6480, .sensor_height = 4320},
         [](DecoderState& s) { s.bits_per_sample = 15; }},
        {"PowerShot 600", "Canon", "PowerShot 600", 0, 0,
         {.width = 854, .height = 613, .sensor_width = 896, .pattern = 0xe1e4e1e4,
          .loader = raw::canon600_packed_load_raw, .colours = 4}},
        {"PowerShot A5", "Canon", "PowerShot A5 Zoom", 0, 0,
         {.width = 960, .height = 773, .sensor_width = 992, .pattern = 0x1e4e1e4e, .flags = 264, .bits = 10,
          .loader = raw::packed_bits_load_raw, .colours = 4, .aspect = 256 / 235.0f}},
        {"PowerShot Pro70", "Canon", "PowerShot Pro70", 0, 0,
         {.width = 1552, .height = 1024, .pattern = 0x1e4b4e1b, .flags = 264}},
        {"PowerShot G1", "Canon", "PowerShot G1", 2144, 1560, {.pattern = 0xb4b4b4b4, .colours = 4}},
        {"EOS D2000C takes its black from the curve", "Canon", "EOS D2000C", 0, 0,
         {.pattern = 0x61616161, .black = 200}},
        {"80D frame starts two rows higher", "Canon", "EOS 80D", 6288, 4056, {.height = 4002, .top = 46}},
        {"80D with no top margin to give", "Canon", "EOS 80D", 6000, 4000, {.height = 4000, .top = 0}},
        {"SX220 masked columns", "Canon", "PowerShot SX220 HS", 4168, 3060, {}, nullptr, 19131120,
         [](const DecoderState& s) { EXPECT_EQ(s.masked_areas[1][3], -4); }},
        // clang-format on
    });
}

TEST(CameraAdjustTest, NikonRows) {
    run_cases({
        // clang-format off
        {"D1 balance", "Nikon", "D1", 2012, 1324, {},
         [](DecoderState& s) {
             s.as_shot_multipliers[0] = 527 / 256.0f;
             s.as_shot_multipliers[2] = 317 / 256.0f;
         }, 0,
         [](const DecoderState& s) {
             EXPECT_FLOAT_EQ(s.as_shot_multipliers[0], 1);
             EXPECT_FLOAT_EQ(s.as_shot_multipliers[2], 1);
         }},
        {"D1X", "Nikon", "D1X", 4028, 1324, {.width = 4024, .aspect = 0.5f}},
        {"D60", "Nikon", "D60", 3904, 2616, {.width = 3900, .height = 2613}},
        {"D750", "Nikon", "D750", 6080, 4044, {.width = 6016, .height = 4032, .left = 8, .top = 6}},
        {"D3S", "Nikon", "D3S", 4288, 2844, {.width = 4284, .left = 2}},
        {"D700", "Nikon", "D700", 4288, 2844, {.width = 4284, .left = 2}},
        {"D3100", "Nikon", "D3100", 4672, 3124, {.width = 4644, .left = 6}},
        {"D90", "Nikon", "D90", 4352, 2868, {.width = 4310}},
        {"COOLPIX A", "Nikon", "COOLPIX A", 4992, 3280, {.width = 4948}},
        {"D7100", "Nikon", "D7100", 6036, 4020, {.width = 6000, .height = 4000, .left = 18, .top = 0}},
        {"D3200 as the D4", "Nikon", "D3200", 6080, 4028, {.width = 6016, .height = 4016, .left = 4}},
        {"D3400", "Nikon", "D3400", 6040, 4032, {.width = 6024, .height = 4016, .left = 8, .top = 8}},
        {"D70 family by prefix", "Nikon", "D70s", 3040, 2014, {.width = 3039, .height = 2014}},
        {"D40X caught before the D40 prefix", "Nikon", "D40X", 3904, 2616, {.width = 3900, .height = 2613}},
        {"D800E by prefix", "Nikon", "D800E", 7424, 4924, {.width = 7360, .height = 4912, .left = 4}},
        {"Df", "Nikon", "Df", 5000, 3280, {.width = 4936, .height = 3268, .left = 4}},
        {"D4S is not the D4", "Nikon", "D4S", 5000, 3280, {.width = 5000, .height = 3280}},
        {"D100 widened when packed", "Nikon", "D100", 3034, 2024, {.width = 3037, .sensor_width = 3040},
         [](DecoderState& s) { s.loader_flags = 1; }},
        {"D100 unpacked", "Nikon", "D100", 3034, 2024, {.width = 3034, .sensor_width = 3034}},
        {"D200", "Nikon", "D200", 3904, 2616, {.width = 3900, .left = 1, .pattern = 0x94949494}},
        {"D2Hs", "Nikon", "D2Hs", 2496, 1664, {.width = 2482, .left = 6}},
        {"D2X wide frame", "Nikon", "D2X", 3264, 2448, {.width = 3232}},
        {"D2Xs other frame", "Nikon", "D2Xs", 4320, 2868, {.width = 4312}},
        {"D300S", "Nikon", "D300S", 4352, 2868, {.width = 4320}},
        {"COOLPIX B", "Nikon", "COOLPIX B700", 5264, 3904, {.flags = 24}},
        {"P7700-sized sensor only borrows colours", "Nikon", "COOLPIX P7800", 4032, 3012,
         {.pattern = kUnset, .flags = 0, .black = 0},
         [](DecoderState& s) { s.iso_value = 800; }},
        {"COOLPIX P7100 at high ISO", "Nikon", "COOLPIX P7100", 3650, 2748,
         {.pattern = 0x94949494, .flags = 24, .black = 255},
         [](DecoderState& s) { s.iso_value = 400; }},
        {"COOLPIX P6000 at high ISO", "Nikon", "COOLPIX P6000", 4032 + 8, 3012, {.flags = 24, .black = 0},
         [](DecoderState& s) { s.iso_value = 800; }},
        {"Nikon 1", "Nikon", "1 J5", 5600, 3714, {.height = 3712}},
        {"E-series packing", "Nikon", "E5400", 2616, 1968, {.flags = 6, .loader = raw::packed_bits_load_raw}},
        {"E-series with a data offset", "Nikon", "E8800", 3280, 2456, {.flags = 2},
         [](DecoderState& s) { s.sensor_data_offset = 4096; }},
        // clang-format on
    });
}

// Headerless files share a length; only files the size table recognised take these rows.
TEST(CameraAdjustTest, RowsKeyedByFileLength) {
    run_cases({
        // clang-format off
        {"E900", "Nikon", "E900", 1305, 969, {.pattern = kUnset}, four_colours, 1581060,
         [](const DecoderState& s) {
             expect_simple_matrix_3(s);
             EXPECT_FLOAT_EQ(s.daylight_multipliers[0], 1.2085f);
             EXPECT_FLOAT_EQ(s.daylight_multipliers[1], 1.0943f);
             EXPECT_FLOAT_EQ(s.daylight_multipliers[2], 1.0f);
             EXPECT_FLOAT_EQ(s.daylight_multipliers[3], 1.1103f);
         }},
        {"the same length on the TIFF road", "Nikon", "E900", 1305, 969, {}, four_colours, 0,
         [](const DecoderState& s) {
             EXPECT_EQ(s.camera_colour_output, 1);
             EXPECT_FLOAT_EQ(s.daylight_multipliers[0], 1);
         }},
        {"E2500 by name", "Nikon", "E2500", 1616, 1221,
         {.height = 1219, .pattern = 0x4b4b4b4b, .flags = 6, .colours = 4}, with_capture_time, 2940928},
        {"E2100 with a time stamp keeps its name", "Nikon", "E2100", 1616, 1221,
         {.height = 1221, .model = "E2100"}, with_capture_time, 2940928},
        {"Optio S balance", "Pentax", "Optio S", 2064, 1540, {},
         [](DecoderState& s) { s.as_shot_multipliers[0] = 1.5f; s.as_shot_multipliers[2] = 2; }, 3178560,
         [](const DecoderState& s) {
             EXPECT_FLOAT_EQ(s.as_shot_multipliers[0], 6);
             EXPECT_FLOAT_EQ(s.as_shot_multipliers[2], 8);
         }},
        {"E990", "Nikon", "E990", 2064, 1540, {.pattern = 0xb4b4b4b4},
         [](DecoderState& s) { four_colours(s); with_capture_time(s); }, 4771840,
         [](const DecoderState& s) {
             expect_simple_matrix_3(s);
             EXPECT_FLOAT_EQ(s.daylight_multipliers[2], 1.018f);
         }},
        {"E995 keeps its own colours", "Nikon", "E995", 2064, 1540, {.pattern = kUnset}, with_capture_time,
         4771840,
         [](const DecoderState& s) { EXPECT_EQ(s.camera_colour_output, 1); }},
        {"E3200 pattern", "Nikon", "E3200", 2064, 1543, {.pattern = 0x49494949}, with_capture_time, 4775936},
        {"Optio 33WR", "Pentax", "Optio 33WR", 2064, 1543, {.pattern = 0x16161616, .orientation = 1},
         with_capture_time, 4775936},
        {"E4300 packing", "Nikon", "E4300", 2288, 1709, {.flags = 6}, with_capture_time, 5869568},
        {"DiMAGE Z2 packing", "Minolta", "DiMAGE Z2", 2288, 1709, {.flags = 30}, with_capture_time, 5869568},
        // clang-format on
    });
}

TEST(CameraAdjustTest, FujifilmFrames) {
    run_cases({
        // clang-format off
        {"header frame centred", "Fujifilm", "S5Pro", 4352, 1444,
         {.width = 4288, .height = 1440, .left = 32, .top = 2, .raw_count = 1},
         [](DecoderState& s) { set_frame(s, 4288, 1440); }},
        {"S2Pro", "Fujifilm", "FinePixS2Pro", 2944, 2176,
         {.width = 2880, .height = 2144, .left = 32, .top = 16, .orientation = 6, .model = "S2Pro"}},
        {"narrow frame", "Fujifilm", "S9500", 3400, 2400,
         {.width = 3262, .height = 2300, .left = 34, .top = 50},
         [](DecoderState& s) { set_frame(s, 3328, 2300); }},
        {"frame flush left", "Fujifilm", "X-Pro1", 4992, 3296, {.width = 4952, .left = 0, .top = 4},
         [](DecoderState& s) { set_frame(s, 4952, 3288); }},
        {"HS50EXR", "Fujifilm", "HS50EXR", 4000, 3000, {.width = 3962, .left = 0, .pattern = 0x16161616},
         [](DecoderState& s) { set_frame(s, 3960, 2970); }},
        {"GFX 100S", "Fujifilm", "GFX 100S", 11808, 8754,
         {.width = 11664, .height = 8752, .left = 0, .top = 2, .flags = 0},
         [](DecoderState& s) { s.loader_flags = 24; }},
        {"GFX 50R keeps its width", "Fujifilm", "GFX 50R", 8280, 6208,
         {.width = 8256, .height = 6206, .left = 0, .top = 0},
         [](DecoderState& s) { s.visible_width = 8256; }},
        {"X-A3", "Fujifilm", "X-A3", 6048, 4040, {.width = 6032, .height = 4026, .left = 0, .top = 0}},
        {"X-E4", "Fujifilm", "X-E4", 6384, 4182,
         {.width = 6230, .height = 4150, .left = 21, .top = 16, .pattern = 9}},
        // clang-format on
    });
}

// Fuji frames are centred in the sensor; a frame larger than the sensor has no centre and
// would push the margins round to 65534.
TEST(CameraAdjustTest, FujifilmFrameLargerThanItsSensorIsRefused) {
    auto s = adjust_state("Fujifilm", "FinePix F30", 2048, 1500);
    s->visible_height = 3000; // a 45-degree layout doubling the rows of a damaged header
    raw::apply_camera_adjustments(*s, 0);
    EXPECT_EQ(s->raw_count, 0u);
    EXPECT_LT(s->margin_top, 2048);
    EXPECT_LT(s->margin_left, 2048);
}

TEST(CameraAdjustTest, FujifilmLayoutWidensTheSensorByItsFrames) {
    auto s = adjust_state("Fujifilm", "S200EXR", 2000, 1500);
    s->fuji_sensor_layout = 1;
    s->raw_count = 2;
    raw::apply_camera_adjustments(*s, 0);
    EXPECT_EQ(s->sensor_width, 4000);
    EXPECT_EQ(s->raw_count, 2u);

    auto wide = adjust_state("Fujifilm", "S200EXR", 40000, 1500);
    wide->fuji_sensor_layout = 1;
    wide->raw_count = 2;
    raw::apply_camera_adjustments(*wide, 0);
    EXPECT_EQ(wide->raw_count, 0u);
}

// The file gives the 6 x 6 cell from the sensor's corner; the image starts at the margins.
TEST(CameraAdjustTest, XTransCellFollowsTheMargins) {
    auto s = adjust_state("Fujifilm", "X-T3", 6384, 4182);
    s->cfa_pattern = 9;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            s->xtrans_sensor_layout[r][c] = int8_t(r * 6 + c); // every cell told apart
    raw::apply_camera_adjustments(*s, 0);
    EXPECT_EQ(s->visible_width, 6240);
    EXPECT_EQ(s->visible_height, 4160);
    EXPECT_EQ(s->margin_left, 9);
    EXPECT_EQ(s->margin_top, 16);
    EXPECT_EQ(s->cfa_pattern, 9u);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c) {
            // Image row 0 is sensor row 16 (cell row 4), image column 0 sensor column 9 (cell column 3).
            EXPECT_EQ(s->xtrans_layout[r][c], ((r + 4) % 6) * 6 + (c + 3) % 6) << r << "," << c;
        }
}

TEST(CameraAdjustTest, CompactAndSlrFrames) {
    run_cases({
        // clang-format off
        {"KD-510Z", "Konica", "KD-510Z", 2624, 1960,
         {.width = 2607, .height = 1956, .sensor_width = 2624, .pattern = 0x61616161, .white = 991,
          .loader = raw::plain_words_load_raw, .offset = 114, .byte_order = raw::kBigEndian},
         [](DecoderState& s) { s.sensor_data_offset = 100; }},
        {"KD-400Z", "Konica", "KD-400Z", 2336, 1720, {.width = 2312, .height = 1712, .white = 991}},
        {"DiMAGE A200", "Minolta", "DiMAGE A200", 3272, 2456,
         {.pattern = 0x49494949, .white = 4095, .bits = 12, .loader = raw::packed_bits_load_raw}},
        {"DiMAGE A2 keeps the container's level", "Minolta", "DiMAGE A2", 3272, 2456,
         {.white = 0, .loader = raw::packed_bits_load_raw},
         [](DecoderState& s) { s.raw_loader = raw::plain_words_load_raw; }},
        {"DiMAGE G500", "MINOLTA", "DiMAGE G500", 2624, 1960,
         {.width = 2607, .height = 1956, .sensor_width = 2624, .pattern = 0x61616161, .white = 991,
          .loader = raw::plain_words_load_raw, .offset = 14}},
        {"MAXXUM named as DYNAX", "Minolta", "MAXXUM 7D", 3016, 2008, {.loader = raw::packed_bits_load_raw}},
        {"no model at all", "Minolta", "", 3016, 2008, {.loader = raw::packed_bits_load_raw}},
        {"*ist D", "Pentax", "*ist D", 3040, 2024, {.loader = raw::plain_words_load_raw}, nullptr, 0,
         [](const DecoderState& s) { EXPECT_EQ(s.data_error_count, -1); }},
        {"*ist DS", "Pentax", "*ist DS", 3040, 2024, {.height = 2022}},
        {"Samsung 4704", "Samsung", "NX100", 4704, 3124,
         {.width = 4688, .height = 3116, .left = 8, .top = 8, .flags = 256}},
        {"Samsung 3714 of the 5600 sensor", "Samsung", "NX1", 5600, 3714,
         {.width = 5536, .height = 3696, .left = 64, .top = 18, .pattern = 0x61616161, .colours = 3}},
        {"Samsung 3714 of another sensor", "Samsung", "NX1", 5632, 3714,
         {.width = 5536, .left = 0, .top = 0}},
        {"Samsung 5632", "Samsung", "NX500", 5632, 3714 + 1,
         {.width = 5530, .height = 3694, .left = 44, .top = 2, .flags = 80, .byte_order = raw::kLittleEndian},
         [](DecoderState& s) { s.byte_order = raw::kBigEndian; }},
        {"Samsung 5664", "Samsung", "NX300", 5664, 3714 - 2,
         {.width = 5544, .height = 3695, .left = 96, .top = 17, .pattern = 0x49494949}},
        {"Samsung 6496 black from depth", "Samsung", "NX1", 6496, 4336, {.pattern = 0x61616161, .black = 128},
         [](DecoderState& s) { s.bits_per_sample = 14; }},
        {"Samsung 6496 shallow data has no black", "Samsung", "NX1", 6496, 4336, {.black = 0},
         [](DecoderState& s) { s.bits_per_sample = 4; }},
        {"EX1 small sensor", "Samsung", "EX1", 3650, 2760, {.width = 3644, .height = 2740, .top = 2}},
        {"EX1 large sensor", "Samsung", "EX1", 3700, 2800, {.width = 3648, .height = 2770, .top = 8}},
        {"WB2000 small sensor", "Samsung", "WB2000", 3700, 2800, {.width = 3690, .height = 2797, .top = 2}},
        {"WB2000 large sensor", "Samsung", "WB2000", 3776, 2800, {.width = 3710, .height = 2769, .top = 8}},
        {"WB550 by a part of its name", "Samsung", "xx WB550 yy", 3720, 2800, {.model = "WB550"}},
        {"EX2F", "Samsung", "EX2F", 4096, 3072,
         {.width = 4070, .height = 3045, .top = 3, .pattern = 0x49494949,
          .loader = raw::plain_words_load_raw}},
        {"STV680", "ST Micro", "STV680 VGA", 644, 484, {.black = 16}},
        {"N95", "Nokia", "N95", 2592, 1968, {.height = 1966, .top = 2},
         [](DecoderState& s) { s.visible_height = 1000; }},
        {"C770UZ", "Olympus", "C770UZ", 2304, 1720,
         {.width = 2304, .height = 1718, .pattern = 0x16161616, .flags = 30,
          .loader = raw::packed_bits_load_raw}},
        {"N Digital", "Contax", "N Digital", 3072, 2048,
         {.width = 3072, .height = 2047, .pattern = 0x61616161, .loader = raw::packed_bits_load_raw,
          .offset = 6656}},
        {"Rollei small", "Rollei", "d530flex", 1316, 1032,
         {.width = 1300, .height = 1030, .left = 6, .top = 1, .pattern = 0x16161616,
          .loader = raw::split_10bit_load_raw}},
        {"Rollei with a loader", "Rollei", "d530flex", 1316, 1032, {.width = 1316, .pattern = kUnset},
         [](DecoderState& s) { s.raw_loader = raw::eight_bit_load_raw; }},
        {"Fotoman Pixtura", "Logitech", "Fotoman Pixtura", 0, 0,
         {.width = 768, .height = 512, .pattern = 0x61616161, .loader = raw::radc_load_raw, .offset = 3632},
         nullptr, 0,
         [](const DecoderState& s) { EXPECT_FLOAT_EQ(s.rgb_from_camera[0][0], 1.893f); }},
        {"layered sensor", "Sigma", "SD9", 1134, 2268, {.pattern = 0, .aspect = 2.0f},
         [](DecoderState& s) { s.foveon_sensor = 1; }, 0,
         [](const DecoderState& s) {
             EXPECT_EQ(s.camera_colour_output, 0);
             EXPECT_FLOAT_EQ(s.rgb_from_camera[0][0], 1.4032f);
         }},
        // clang-format on
    });
}

TEST(CameraAdjustTest, MediumFormatBacks) {
    run_cases({
        // clang-format off
        {"Hasselblad 7262", "Hasselblad", "CFV", 7262, 5456,
         {.width = 7248, .height = 5444, .left = 7, .top = 4, .pattern = 0x61616161,
          .loader = raw::hasselblad_load_raw},
         [](DecoderState& s) { s.raw_loader = raw::ljpeg_sensor_load_raw; }},
        {"Hasselblad 9044", "Hasselblad", "H4D-60", 9044, 6732,
         {.width = 8964, .height = 6716, .left = 40, .top = 8, .flags = 256, .black = 300, .white = 33025},
         [](DecoderState& s) { s.black_level = 44; }},
        {"Hasselblad 4090", "Hasselblad", "", 4090, 4096,
         {.width = 4080, .height = 4090, .left = 3, .top = 6, .model = "V96C"}},
        {"Hasselblad multi-shot", "Hasselblad", "H3D-39MS", 5000, 4000, {.pattern = 0, .raw_count = 4},
         [](DecoderState& s) { s.samples_per_pixel = 3; }},
        {"Sinar multi-shot", "Sinar", "", 4096, 4096,
         {.pattern = 0, .white = 0x3fff, .loader = raw::plain_words_load_raw},
         [](DecoderState& s) { s.raw_count = 2; }},
        {"Leaf CatchLight", "Leaf", "", 2048, 2048,
         {.width = 2016, .height = 2032, .left = 18, .top = 8, .pattern = 1, .white = 0x3fff,
          .model = "CatchLight", .letters = "RBTG"},
         [](DecoderState& s) { s.samples_per_pixel = 1; s.tiff_tile_length = 0xFFFFFFFF; }},
        {"Leaf DCB2", "Leaf", "", 2048, 2048, {.width = 2022, .height = 2028, .model = "DCB2"},
         [](DecoderState& s) {
             s.samples_per_pixel = 3;
             s.tiff_tile_width = 2048;
             s.tiff_tile_length = 2048;
         }},
        {"Leaf Cantare without a balance", "Leaf", "", 3108, 2096,
         {.width = 3072, .height = 2048, .left = 32, .top = 6, .pattern = 0, .model = "Cantare"},
         [](DecoderState& s) { s.as_shot_multipliers[0] = 0; s.tiff_tile_length = 0xFFFFFFFF; }},
        {"Leaf Cantare upright", "Leaf", "", 2096, 3108,
         {.width = 2048, .height = 3072, .left = 6, .top = 32, .pattern = 0x16161616, .raw_count = 1},
         [](DecoderState& s) {
             s.as_shot_multipliers[0] = 1.5f;
             s.samples_per_pixel = 1;
             s.tiff_tile_length = 0xFFFFFFFF;
         }},
        {"Leaf Valeo 6", "Leaf", "", 3171, 2110,
         {.width = 3123, .height = 2062, .left = 24, .top = 24, .pattern = 0x16161616, .model = "Valeo 6"},
         [](DecoderState& s) { s.tiff_tile_length = 0xFFFFFFFF; }},
        {"Leaf tiled planes", "Leaf", "Aptus 75", 6666, 4992,
         {.sensor_width = 512, .pattern = 0, .loader = raw::leaf_hdr_load_raw},
         [](DecoderState& s) { s.samples_per_pixel = 3; s.tiff_tile_width = 512; s.tiff_tile_length = 512; }},
        // clang-format on
    });
}

TEST(CameraAdjustTest, PanasonicAndLeica) {
    run_cases({
        // clang-format off
        {"frame grows by twelve rows up to the sensor", "Panasonic", "DMC-LX3", 3724, 2754,
         {.width = 3664, .height = 2754, .pattern = 0x16161616, .flags = 4,
          .loader = raw::plain_words_load_raw},
         [](DecoderState& s) { set_frame(s, 3664, 2742); s.cfa_pattern = 4; }, 0,
         [](const DecoderState& s) { EXPECT_EQ(s.zero_pixels_bad, 1); }},
        {"margin row and odd left margin", "Panasonic", "DMC-FZ8", 3690, 2751,
         {.width = 3682, .height = 2748, .left = 3, .top = 0, .pattern = 0x61616161},
         [](DecoderState& s) {
             set_frame(s, 3690, 2739);
             s.cfa_pattern = 1;
             s.raw_loader = raw::panasonic_blocks_load_raw;
         }},
        {"two margin rows never match one size", "Leica", "D-LUX 4", 3770, 2799,
         {.width = 3726, .height = 2780, .left = 17, .top = 15}},
        {"a sensor without width reads as plain words", "Panasonic", "DMC-G1", 0, 2000,
         {.loader = raw::plain_words_load_raw}},
        // clang-format on
    });
}

TEST(CameraAdjustTest, OlympusFrames) {
    run_cases({
        // clang-format off
        {"wide rows, odd height", "Olympus", "E-M5", 4080, 3041,
         {.width = 4056, .height = 3042, .pattern = 0x16161616, .flags = 4, .bits = 12},
         [](DecoderState& s) { s.exif_cfa_pattern = 0x16161616; s.raw_loader = raw::plain_words_load_raw; }},
        {"9280 rows", "Olympus", "E-M1X", 9280, 7000, {.width = 9274, .height = 6994}},
        {"E-300 plain words", "Olympus", "E-300", 3360, 2504, {.width = 3340, .white = 4035},
         [](DecoderState& s) { s.raw_loader = raw::plain_words_load_raw; s.channel_black[0] = 64; }, 0,
         [](const DecoderState& s) { EXPECT_EQ(s.channel_black[0], 0); }},
        {"E-330", "Olympus", "E-330", 3400, 2504, {.width = 3370, .white = 3961},
         [](DecoderState& s) { s.raw_loader = raw::plain_words_load_raw; }},
        {"E-330 packed", "Olympus", "E-330", 3400, 2504, {.width = 3370, .white = 0}},
        {"TG-4", "Olympus", "TG-4", 4624, 3472, {.width = 4608}},
        {"TG-5", "Olympus", "TG-5", 4022, 3016, {.width = 4016}},
        {"SP550UZ on a file too short for its thumbnail", "Olympus", "SP550UZ", 3088, 2310, {}, nullptr, 0,
         [](const DecoderState& s) {
             EXPECT_EQ(s.thumbnail_offset, 10721280u);
             EXPECT_EQ(s.thumbnail_length, 0u);
             EXPECT_EQ(s.thumbnail_width, 640);
             EXPECT_EQ(s.thumbnail_height, 480);
         }},
        // clang-format on
    });
}

TEST(CameraAdjustTest, SonyFrames) {
    run_cases({
        // clang-format off
        {"DSC-F828", "Sony", "DSC-F828", 3336, 2470,
         {.width = 3288, .left = 5, .pattern = 0x9c9c9c9c, .loader = raw::sony_scrambled_load_raw,
          .colours = 4, .letters = "RGBE", .offset = 862144}, nullptr, 0,
         [](const DecoderState& s) { EXPECT_EQ(s.masked_areas[1][3], -17); }},
        {"DSC-V3", "Sony", "DSC-V3", 3172, 2356, {.width = 3109, .left = 59, .offset = 787392}, nullptr, 0,
         [](const DecoderState& s) { EXPECT_EQ(s.masked_areas[0][1], 9); }},
        {"3984", "Sony", "DSLR-A700", 3984, 2608, {.width = 3925, .byte_order = raw::kBigEndian}},
        {"4288", "Sony", "DSLR-A550", 4288, 2856, {.width = 4256}},
        {"4600 A350", "Sony", "DSLR-A350", 4600, 3064, {.width = 4600, .height = 3060}},
        {"4600 other", "Sony", "DSLR-A380", 4600, 3064, {.height = 3064}},
        {"4928 full height", "Sony", "SLT-A55V", 4928, 3280, {.width = 4928}},
        {"4928 short", "Sony", "NEX-5N", 4928, 3272, {.width = 4920}},
        {"5504 tall", "Sony", "ILCE-7M2", 5504, 3672, {.width = 5496}},
        {"5504 short", "Sony", "SLT-A77V", 5504, 3656, {.width = 5472}},
        {"6048", "Sony", "ILCE-7RM2", 6048, 4024, {.width = 6024}},
        {"7392 RX1", "Sony", "DSC-RX1RM2", 7392, 4920, {.width = 7362}},
        {"7392 other", "Sony", "ILCE-7RM2", 7392, 4920, {.width = 7368}},
        {"A100 3880", "Sony", "DSLR-A100", 3880, 2608,
         {.width = 3881, .height = 2607, .sensor_width = 3881, .pattern = 0x61616161}},
        {"A100 other", "Sony", "DSLR-A100", 3872, 2592,
         {.width = 3868, .height = 2588, .pattern = 0x61616161, .flags = 2, .byte_order = raw::kBigEndian}},
        // clang-format on
    });
}

TEST(CameraAdjustTest, KodakBodies) {
    run_cases({
        // clang-format off
        {"an unset pattern", "Kodak", "DCS Pro 14nx", 4560, 3048, {.pattern = 0x61616161}},
        {"DCS4 monochrome", "KODAK", "DCS460A", 3060, 2036,
         {.width = 3056, .left = 2, .pattern = 0, .colours = 1}},
        {"blank cuts the name", "Kodak", "DCS420 2", 1524, 1012, {.model = "DCS420"}},
        {"DCS660M", "Kodak", "DCS660M", 3048, 2016, {.pattern = 0, .black = 214, .colours = 1}},
        {"MYCY letters", "Kodak", "DCS620X", 1744, 1160, {.letters = "MYCY"}},
        {"DC25 low resolution", "Kodak", "xDC25", 0, 0,
         {.width = 249, .height = 242, .left = 1, .top = 1, .sensor_width = 256, .sensor_height = 244,
          .pattern = 0x8d8d8d8d, .loader = raw::eight_bit_load_raw, .colours = 4, .model = "DC25",
          .aspect = raw::kKodakDc2SmallAspect, .offset = 15424}, nullptr, 0,
         [](const DecoderState& s) {
             EXPECT_FLOAT_EQ(s.rgb_from_camera[0][0], 2.25f);
             EXPECT_FLOAT_EQ(s.daylight_multipliers[3], 1.036f);
         }},
        {"DC40", "Kodak", "40", 0, 0,
         {.width = 768, .height = 512, .bits = 12, .loader = raw::radc_load_raw, .model = "DC40",
          .offset = 1152}},
        {"DC50", "Kodak", "Digital Science DC50 Zoom", 0, 0,
         {.width = 768, .height = 512, .loader = raw::radc_load_raw, .model = "DC50", .offset = 19712}},
        {"DC120 plain", "Kodak", "DC120 ZOOM Digital Camera", 0, 0,
         {.width = 848, .height = 976, .loader = raw::diagonal_8bit_load_raw, .model = "DC120",
          .aspect = 1.5345912f}},
        {"DC120 JPEG", "Kodak", "DC120", 0, 0, {.loader = raw::empty_loader},
         [](DecoderState& s) { s.compression_code = 7; }},
        {"DCS200 thumbnail", "Kodak", "DCS200", 1524, 1012, {.black = 17}, nullptr, 0,
         [](const DecoderState& s) {
             EXPECT_EQ(s.thumbnail_offset, 6144u);
             EXPECT_EQ(s.thumbnail_width, 192);
             EXPECT_EQ(s.thumbnail_height, 128);
             EXPECT_EQ(s.thumbnail_misc, 360u);
             EXPECT_EQ(s.thumbnail_writer, raw::layer_thumb);
         }},
        {"EasyShare low offset", "Kodak", "EASYSHARE Z1015", 3720, 2800,
         {.loader = raw::packed_bits_load_raw, .offset = 0x15000},
         [](DecoderState& s) { s.sensor_data_offset = 0x100; }},
        {"EasyShare high offset", "Kodak", "EasyShare Z980", 3720, 2800, {.offset = 0x17000},
         [](DecoderState& s) { s.sensor_data_offset = 0x16000; }},
        {"C330 without a pattern", "Kodak", "C330", 640, 480,
         {.flags = 0, .bits = 8, .loader = raw::kodak_c330_load_raw, .byte_order = raw::kLittleEndian},
         [](DecoderState& s) { s.cfa_pattern = 0; s.byte_order = raw::kBigEndian; }, 0,
         [](const DecoderState& s) { EXPECT_NE(s.tone_table[100], 100); }},
        {"12MP deep data", "Kodak", "12MP", 4040, 3030,
         {.flags = 1, .bits = 8, .loader = raw::kodak_c603_load_raw},
         [](DecoderState& s) { s.cfa_pattern = 0; s.bits_per_sample = 24; }},
        {"PIXL", "Motorola", "", 1632, 1228, {.width = 1600, .height = 1224, .left = 32, .top = 4},
         [](DecoderState& s) { std::snprintf(s.camera_make, sizeof s.camera_make, "PIXL"); }, 0,
         [](const DecoderState& s) { EXPECT_NE(s.tone_table[100], 100); }},
        // clang-format on
    });
}

// Models sold under several names borrow the colour row of one of them.
TEST(CameraAdjustTest, PanasonicAliasGroups) {
    const struct {
        const char* model;
        const char* group;
    } cases[] = {
        {"DMC-TZ61", "DMC-ZS40"},
        {"DMC-TZ60", "DMC-ZS40"},
        {"DC-FZ82", "DC-FZ80"},
        {"DC-FZ83", "DC-FZ81"},
        {"DC-GX850", "DC-GF9"},
        {"DMC-TX1", "DMC-ZS100"},
        {"DC-ZS220", "DC-ZS200"},
        {"DMC-FZH1", "DMC-FZ2500"},
        {"DMC-ZS40", nullptr},
        {"DMC-TZ6", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        const char* group = raw::panasonic_alias_group(c.model);
        EXPECT_STREQ(group, c.group) << c.model;
    }
}

TEST(CameraAdjustTest, MakerNoteIdentifiersNameTheBody) {
    auto canon = adjust_state("Canon", "EOS 5D Mark III", 5920, 3950);
    canon->camera_model_id = 0x80000285;
    raw::apply_camera_adjustments(*canon, 0);
    EXPECT_EQ(canon->white_level, 15488u); // the colour row of the identified body
    EXPECT_FLOAT_EQ(canon->baseline_exposure, 0.25f);
    EXPECT_EQ(canon->camera_colour_output, 0);

    auto eos5d = adjust_state("Canon", "EOS 5D", 4476, 2954);
    eos5d->camera_model_id = 0x80000213;
    raw::apply_camera_adjustments(*eos5d, 0);
    EXPECT_STREQ(eos5d->camera_model, "EOS 5D");

    auto kiss = adjust_state("Canon", "EOS Kiss", 3152, 2068);
    kiss->camera_model_id = 0x80000170;
    raw::apply_camera_adjustments(*kiss, 0);
    EXPECT_STREQ(kiss->camera_model, "EOS 300D");

    auto sony = adjust_state("Sony", "", 4928, 3280);
    sony->camera_model_id = 281;
    raw::apply_camera_adjustments(*sony, 0);
    EXPECT_STREQ(sony->camera_model, "SLT-A55V");
}

// A 14-photosite-in-16-bytes layout is known by the data filling the file exactly.
TEST(CameraAdjustTest, PanasonicPackedBlocksKnownByTheDataSize) {
    const uint16_t width = 70, height = 30;
    const uint64_t offset = 64, row_bytes = width * 8 / 7;
    testsupport::MemoryFile exact(std::vector<uint8_t>(offset + row_bytes * height + 5));
    auto s = adjust_state("Panasonic", "DMC-FZ30", width, height);
    s->input_file = exact.get();
    s->sensor_data_offset = offset;
    raw::apply_camera_adjustments(*s, 0);
    EXPECT_EQ(s->raw_loader, raw::panasonic_blocks_load_raw);

    testsupport::MemoryFile short_file(std::vector<uint8_t>(offset + row_bytes * (height - 1)));
    auto t = adjust_state("Panasonic", "DMC-FZ30", width, height);
    t->input_file = short_file.get();
    t->sensor_data_offset = offset;
    raw::apply_camera_adjustments(*t, 0);
    EXPECT_EQ(t->raw_loader, raw::plain_words_load_raw);
    EXPECT_EQ(t->loader_flags, 4u);
}

TEST(CameraAdjustTest, OlympusThumbnailReachesTheEndOfTheFile) {
    testsupport::MemoryFile file(std::vector<uint8_t>(10721280 + 921600));
    auto s = adjust_state("Olympus", "SP550UZ", 3088, 2310);
    s->input_file = file.get();
    raw::apply_camera_adjustments(*s, 0);
    EXPECT_EQ(s->thumbnail_offset, 10721280u);
    EXPECT_EQ(s->thumbnail_length, 921600u);
}

// Sensor modules with a pattern carry their curve in the file, at a place set by the
// data offset.
TEST(CameraAdjustTest, KodakModuleCurveIsReadFromTheFile) {
    std::vector<uint8_t> bytes(8192);
    for (int i = 0; i < 256; ++i) {
        bytes[168 + 2 * i] = uint8_t(i * 3);
        bytes[168 + 2 * i + 1] = uint8_t(i >> 4);
    }
    testsupport::MemoryFile file(bytes);
    auto s = adjust_state("Kodak", "C603", 640, 480);
    s->input_file = file.get();
    s->cfa_pattern = 0x16161616;
    s->sensor_data_offset = 1024;
    raw::apply_camera_adjustments(*s, 0);
    EXPECT_EQ(s->raw_loader, raw::eight_bit_load_raw);
    EXPECT_EQ(s->tone_table[1], 3);
    EXPECT_EQ(s->tone_table[255], uint16_t((255 * 3 & 0xFF) | (15 << 8)));
    EXPECT_EQ(s->tone_table[256], 256); // past the stored curve
}

TEST(CameraAdjustTest, QuickTakeHeader) {
    const auto header = [](uint16_t height, uint16_t width, uint16_t kind, uint16_t rotation,
                           uint8_t version) {
        std::vector<uint8_t> bytes(1024);
        bytes[5] = version;
        const uint16_t words[] = {height, width, 0, 0, kind};
        for (int i = 0; i < 5; ++i) {
            bytes[544 + 2 * i] = uint8_t(words[i] >> 8);
            bytes[545 + 2 * i] = uint8_t(words[i]);
        }
        const int data = kind == 30 ? 738 : 736;
        bytes[data - 6] = uint8_t(rotation >> 8);
        bytes[data - 5] = uint8_t(rotation);
        return bytes;
    };
    testsupport::MemoryFile landscape(header(480, 640, 30, 3, 0));
    auto s = adjust_state("Apple", "QuickTake 150", 0, 0);
    s->input_file = landscape.get();
    raw::apply_camera_adjustments(*s, 0);
    EXPECT_EQ(s->visible_width, 640);
    EXPECT_EQ(s->visible_height, 480);
    EXPECT_EQ(s->sensor_data_offset, 738u);
    EXPECT_EQ(s->orientation_code, -1);
    EXPECT_EQ(s->cfa_pattern, 0x61616161u);
    EXPECT_STREQ(s->camera_model, "QuickTake 150");

    const struct {
        uint16_t rotation;
        int orientation;
    } turns[] = {{3, 6}, {7, 6}, {1, 5}, {0, 5}};
    for (const auto& t : turns) {
        testsupport::MemoryFile portrait(header(640, 480, 12, t.rotation, 1));
        auto p = adjust_state("Apple", "QuickTake 150", 0, 0);
        p->input_file = portrait.get();
        raw::apply_camera_adjustments(*p, 0);
        EXPECT_EQ(p->visible_width, 640);
        EXPECT_EQ(p->visible_height, 480);
        EXPECT_EQ(p->sensor_data_offset, 736u);
        EXPECT_EQ(p->orientation_code, t.orientation) << t.rotation;
        EXPECT_STREQ(p->camera_model, "QuickTake 200");
    }
}

// Rows that ask the file's content which camera wrote it.
TEST(CameraAdjustTest, BigEndianSamplesMarkTheFramedRoverShot) {
    std::vector<uint8_t> bytes(0x300000 + 2 * 0x10000);
    for (size_t i = 0x300000; i + 1 < bytes.size(); i += 2)
        bytes[i + 1] = uint8_t((i / 2) % 97); // smooth when read big-endian
    testsupport::MemoryFile file(bytes);
    auto s = adjust_state("RoverShot", "3320AF", 2048, 1536);
    s->input_file = file.get();
    raw::apply_camera_adjustments(*s, 6291456);
    EXPECT_EQ(s->byte_order, raw::kBigEndian);
    EXPECT_EQ(s->visible_width, 2020);
    EXPECT_EQ(s->visible_height, 1520);
    EXPECT_EQ(s->margin_left, 28);
    EXPECT_EQ(s->margin_top, 16);
    EXPECT_EQ(s->white_level, 62912u);
    EXPECT_STREQ(s->camera_make, "ISG");
    EXPECT_STREQ(s->camera_model, "2020x1520");
}

// An empty row gives a ratio that is not a number; it must not choose a diagonal.
TEST(CameraAdjustTest, GreenRatioOfAnEmptyRowChoosesNothing) {
    testsupport::MemoryFile file(std::vector<uint8_t>(4775936));
    auto s = adjust_state("Olympus", "C740UZ", 0, 1543);
    s->input_file = file.get();
    s->capture_time = 1000000000;
    raw::apply_camera_adjustments(*s, 4775936);
    EXPECT_EQ(s->cfa_pattern, kUnset);
    EXPECT_EQ(s->loader_flags, 0u);
}

TEST(CameraAdjustTest, ContentTellsBodiesOfOneLengthApart) {
    // Data that does not carry the E2100's packing is an E2500's.
    testsupport::MemoryFile unpacked(std::vector<uint8_t>(2940928));
    auto e2100 = adjust_state("Nikon", "E2100", 1616, 1221);
    e2100->input_file = unpacked.get();
    raw::apply_camera_adjustments(*e2100, 2940928);
    EXPECT_STREQ(e2100->camera_model, "E2500");
    EXPECT_EQ(e2100->visible_height, 1219);
    EXPECT_EQ(e2100->cfa_pattern, 0x4b4b4b4bu);

    // The E995 ends its files with a test pattern of four byte values.
    std::vector<uint8_t> bytes(4771840);
    for (size_t i = bytes.size() - 2000; i < bytes.size(); ++i)
        bytes[i] = uint8_t(0x55 * (i % 4));
    testsupport::MemoryFile patterned(bytes);
    auto e990 = adjust_state("Nikon", "E990", 2064, 1540);
    e990->input_file = patterned.get();
    raw::apply_camera_adjustments(*e990, 4771840);
    EXPECT_STREQ(e990->camera_model, "E995");
    EXPECT_EQ(e990->cfa_pattern, kUnset);
    EXPECT_EQ(e990->camera_colour_output, 1);
}
