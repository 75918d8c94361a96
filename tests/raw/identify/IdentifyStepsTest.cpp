#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "raw/identify/Identify.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/IdentifyKit.h"
#include "tests/support/LosslessJpegEncoder.h"
#include "tests/support/MemoryFile.h"

using namespace raw;
using identifykit::freshState;

namespace {

std::unique_ptr<DecoderState> named(const char* make, const char* model) {
    auto s = freshState();
    std::strcpy(s->camera_make, make);
    std::strcpy(s->camera_model, model);
    return s;
}

// A state that the final steps accept as it stands.
std::unique_ptr<DecoderState> readableState() {
    auto s = freshState();
    reset_identification(*s);
    std::strcpy(s->camera_make, "Maker");
    std::strcpy(s->camera_model, "Model");
    s->raw_loader = packed_bits_load_raw;
    s->sensor_width = s->visible_width = 100;
    s->sensor_height = s->visible_height = 80;
    s->bits_per_sample = 12;
    s->samples_per_pixel = 1;
    s->cfa_pattern = 0x94949494;
    return s;
}

} // namespace

TEST(IdentifySteps, MakeAndModelNormalisation) {
    struct Case {
        const char *make, *model, *wantMake, *wantModel;
    } cases[] = {
        {"NIKON CORPORATION", "NIKON D3", "Nikon", "D3"},
        {"OLYMPUS IMAGING CORP.", "E-M10 Mark III", "Olympus", "E-M10 Mark III"},
        {"Konica Minolta Camera, Inc.", "DiMAGE A2", "Minolta", "DiMAGE A2"},
        {"Eastman Kodak Company", "Kodak DC120 ZOOM Digital Camera", "Kodak", "DC120 ZOOM"},
        {"Kodak", "DCS Pro 14N FILE VERSION 3", "Kodak", "DCS Pro 14N"},
        {"Kodak", "DCS Pro file version 3", "Kodak", "DCS Pro file version 3"}, // exact case only
        {"LEICA CAMERA AG", "LEICA M8 digital camera", "Leica", "M8"},
        {"Canon", "CANON EOS 5D   ", "Canon", "EOS 5D"},
        {"Canon", "CanonEOS", "Canon", "CanonEOS"}, // the make must be followed by a blank
        {"", "PENTAX K-5", "Pentax", "K-5"},
        {"RICOH IMAGING COMPANY, LTD.", "PENTAX K-3 II", "Pentax", "K-3 II"},
        {"FUJIFILM", "FinePix S5Pro", "Fujifilm", "S5Pro"},
        {"SAMSUNG TECHWIN", "Digital Camera GX-1S", "Samsung", "GX-1S"},
        {"SONY ", "SLT-A55V", "Sony", "SLT-A55V"},
        {"Panasonic", "DMC-LX3", "Panasonic", "DMC-LX3"},
        {"Phase One A/S", "IQ180", "Phase One", "IQ180"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.make) + " / " + c.model);
        auto s = named(c.make, c.model);
        normalise_make_and_model(*s);
        EXPECT_STREQ(s->camera_make, c.wantMake);
        EXPECT_STREQ(s->camera_model, c.wantModel);
    }
}

TEST(IdentifySteps, UnterminatedTextFieldsAreCut) {
    auto s = freshState();
    std::memset(s->camera_make, 'A', sizeof s->camera_make);
    std::memset(s->camera_model, 'B', sizeof s->camera_model);
    std::memset(s->description_text, 'C', sizeof s->description_text);
    normalise_make_and_model(*s);
    EXPECT_EQ(std::strlen(s->camera_make), 63u);
    EXPECT_EQ(std::strlen(s->camera_model), 63u);
    EXPECT_EQ(std::strlen(s->description_text), 511u);
}

TEST(IdentifySteps, SizeCorrections) {
    struct Case {
        uint16_t sensorHeight;
        const char* model;
        uint16_t height, width; // visible, before
        uint16_t wantHeight, wantWidth, wantLeft, wantTop;
        uint32_t wantPattern;
    } cases[] = {
        {0, "", 2624, 3936, 2616, 3896, 0, 0, 7},
        {0, "", 3136, 4864, 3124, 4688, 0, 0, 0x16161616},
        {2868, "K-x", 2848, 4352, 2848, 4309, 0, 0, 0x16161616},
        {3136, "K-7", 3136, 4700, 3122, 4684, 0, 2, 0x16161616},
        {3284, "K-5 II", 3284, 5000, 3284, 4950, 10, 0, 0x16161616},
        {4950, "K-1", 4950, 7400, 4932, 7380, 4, 18, 7},
        {5552, "645D", 5552, 7400, 5502, 7328, 48, 29, 0x61616161},
        {3014, "", 3014, 4096, 3014, 4014, 0, 0, 7},
        {4032, "K-3", 3014, 4096, 4032, 6040, 4, 0, 7},  // a matched model skips the last rule
        {3136, "K-70", 3136, 4700, 3136, 4700, 0, 0, 7}, // exact model names
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sensorHeight << " " << c.model);
        auto s = named("Pentax", c.model);
        s->sensor_height = c.sensorHeight;
        s->visible_height = c.height;
        s->visible_width = c.width;
        s->cfa_pattern = 7;
        apply_size_corrections(*s);
        EXPECT_EQ(s->visible_height, c.wantHeight);
        EXPECT_EQ(s->visible_width, c.wantWidth);
        EXPECT_EQ(s->margin_left, c.wantLeft);
        EXPECT_EQ(s->margin_top, c.wantTop);
        EXPECT_EQ(s->cfa_pattern, c.wantPattern);
    }
    auto unset = named("", "");
    unset->sensor_height = 1000;
    unset->sensor_width = 1500;
    apply_size_corrections(*unset);
    EXPECT_EQ(unset->visible_height, 1000);
    EXPECT_EQ(unset->visible_width, 1500);
}

TEST(IdentifySteps, DngLayout) {
    struct Case {
        uint32_t pattern, samples, compression;
        uint32_t wantPattern;
        int wantColours;
        uint32_t wantCount;
        Routine wantLoader;
    } cases[] = {
        {0, 3, 1, 0, 3, 1, packed_dng_load_raw},                   // linear raw
        {0xFFFFFFFF, 3, 7, 0, 3, 1, dng_ljpeg_load_raw},           // no pattern tag
        {0x94949494, 1, 0, 0x94949494, 3, 1, packed_dng_load_raw}, // mosaic
        {0x94949494, 2, 7, 0x94949494, 3, 2, dng_ljpeg_load_raw},  // two planes
        {0x94949494, 1, 34892, 0x94949494, 3, 1, empty_loader},    // lossy
        {0x94949494, 1, 52546, 0x94949494, 3, 1, nullptr},         // unknown codec
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.pattern << std::dec << " " << c.compression);
        auto s = freshState();
        reset_identification(*s);
        s->cfa_pattern = c.pattern;
        s->samples_per_pixel = c.samples;
        s->compression_code = c.compression;
        apply_dng_layout(*s);
        EXPECT_EQ(s->cfa_pattern, c.wantPattern);
        EXPECT_EQ(s->colour_count, c.wantColours);
        EXPECT_EQ(s->raw_count, c.wantCount);
        EXPECT_EQ(s->raw_loader, c.wantLoader);
    }
}

TEST(IdentifySteps, DngXTransCellStartsAtTheActiveArea) {
    auto s = freshState();
    reset_identification(*s);
    s->cfa_pattern = kPatternXTrans;
    s->samples_per_pixel = 1;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            s->xtrans_sensor_layout[r][c] = int8_t((r + c) % 3);
    s->margin_top = 1;
    s->margin_left = 4;
    apply_dng_layout(*s);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(s->xtrans_layout[r][c], (r + 1 + c + 4) % 3) << r << "," << c;
}

TEST(IdentifySteps, FinalStepsFillDefaults) {
    auto s = readableState();
    s->camera_model[0] = 0;
    s->cfa_pattern = 0xFFFFFFFF;
    s->bits_per_sample = 0;
    s->sensor_width = s->sensor_height = 0;
    apply_final_steps(*s, false);
    EXPECT_STREQ(s->camera_model, "100x80");
    EXPECT_EQ(s->cfa_pattern, 0xb4b4b4b4u) << "0x94949494 with its second green marked";
    EXPECT_EQ(s->bits_per_sample, 12u);
    EXPECT_EQ(s->white_level, 4095u);
    EXPECT_EQ(s->sensor_width, 100);
    EXPECT_EQ(s->sensor_height, 80);
    EXPECT_STREQ(s->colour_letters, "RGB");
    EXPECT_EQ(s->raw_count, 1u);

    auto four = readableState();
    four->colour_count = 4;
    apply_final_steps(*four, false);
    EXPECT_STREQ(four->colour_letters, "GMCY");
    EXPECT_EQ(four->cfa_pattern, 0x94949494u);

    auto dng = readableState(); // a DNG enters at the colour step
    dng->camera_model[0] = 0;
    dng->cfa_pattern = 0;
    apply_final_steps(*dng, true);
    EXPECT_STREQ(dng->camera_model, "");
    EXPECT_EQ(dng->raw_count, 1u);
}

TEST(IdentifySteps, FinalStepsRefuseWhatCannotBeRead) {
    struct Case {
        const char* what;
        void (*change)(DecoderState&);
        uint32_t wantCount;
    } cases[] = {
        {"as it stands", [](DecoderState&) {}, 1},
        {"no loader", [](DecoderState& s) { s.raw_loader = nullptr; }, 0},
        {"21 wide", [](DecoderState& s) { s.visible_width = 21; }, 0},
        {"21 high", [](DecoderState& s) { s.visible_height = 21; }, 0},
        {"22 x 22", [](DecoderState& s) { s.visible_width = s.visible_height = 22; }, 1},
        {"17 bits", [](DecoderState& s) { s.bits_per_sample = 17; }, 0},
        {"7 samples", [](DecoderState& s) { s.samples_per_pixel = 7; }, 0},
        {"5 colours", [](DecoderState& s) { s.colour_count = 5; }, 0},
        {"no colours", [](DecoderState& s) { s.colour_count = 0; }, 0},
        {"top margin past the frame", [](DecoderState& s) { s.margin_top = 1; }, 0},
        {"left margin past the frame", [](DecoderState& s) { s.margin_left = 1; }, 0},
        {"margins inside a larger frame",
         [](DecoderState& s) {
             s.margin_left = s.margin_top = 2;
             s.sensor_width = 102;
             s.sensor_height = 82;
         },
         1},
        {"no crop without a mosaic",
         [](DecoderState& s) {
             s.margin_top = 1;
             s.cfa_pattern = 0;
         },
         1},
        {"one channel crops",
         [](DecoderState& s) {
             s.margin_top = 1;
             s.cfa_pattern = 0;
             s.colour_count = 1;
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto s = readableState();
        c.change(*s);
        apply_final_steps(*s, false);
        EXPECT_EQ(s->raw_count, c.wantCount);
    }
}

TEST(IdentifySteps, DataNeedingAnAbsentCodecIsRefusedWithAMessage) {
    struct Case {
        const char* make;
        uint32_t dngVersion, compression;
        const char* library;
    } cases[] = {
        {"Red", 0, 0, "libjasper"},
        {"Kodak", 0, 7, "libjpeg"},
        {"Canon", 0x01040000, 34892, "libjpeg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.make);
        auto s = readableState();
        std::strcpy(s->camera_make, c.make);
        s->dng_version_word = c.dngVersion;
        s->compression_code = c.compression;
        s->raw_loader = empty_loader;
        s->input_path = "/photos/frame.raw";
        testing::internal::CaptureStderr();
        apply_final_steps(*s, c.dngVersion != 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("/photos/frame.raw: Error - Not linked with ") + c.library + "!!\n");
        EXPECT_EQ(s->raw_count, 0u);
    }
}

TEST(IdentifySteps, FortyFiveDegreeSensorsAreRotatedUpright) {
    struct Case {
        int layout;
        uint16_t width, height;
        uint16_t wantRotated, wantWidth;
        uint32_t wantPattern;
    } cases[] = {
        {0, 200, 100, 100, 200, 0x4b4b4b4b}, // half the width; an even one
        {1, 201, 100, 201, 251, 0xb4b4b4b4}, // the whole width; an odd one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        auto s = readableState();
        s->rotated_width = 1;
        s->fuji_sensor_layout = c.layout;
        s->sensor_width = s->visible_width = c.width;
        s->sensor_height = s->visible_height = c.height;
        s->pixel_aspect_ratio = 0.5f;
        apply_final_steps(*s, false);
        EXPECT_EQ(s->rotated_width, c.wantRotated);
        EXPECT_EQ(s->visible_width, c.wantWidth);
        EXPECT_EQ(s->visible_height, c.wantWidth - 1);
        EXPECT_EQ(s->cfa_pattern, c.wantPattern);
        EXPECT_EQ(s->pixel_aspect_ratio, 1.0f);
        EXPECT_EQ(s->raw_count, 1u);
    }
    auto huge = readableState(); // the upright image would not fit 16 bits
    huge->rotated_width = 1;
    huge->fuji_sensor_layout = 1;
    huge->sensor_width = huge->visible_width = 60000;
    huge->sensor_height = huge->visible_height = 20000;
    apply_final_steps(*huge, false);
    EXPECT_EQ(huge->raw_count, 0u);
    auto offside = readableState(); // diagonal columns would start past the frame
    offside->rotated_width = 1;
    offside->fuji_sensor_layout = 1;
    offside->margin_left = 10;
    apply_final_steps(*offside, false);
    EXPECT_EQ(offside->raw_count, 0u);
}

TEST(IdentifySteps, ThumbnailSizeComesFromItsJpegHeader) {
    testsupport::LosslessJpegFrame frame; // two components: one-component frames carry a quirk
    frame.width = 40;
    frame.height = 30;
    frame.components = 2;
    frame.samples.assign(40 * 30 * 2, 512);
    std::vector<uint8_t> bytes(100, 0);
    const std::vector<uint8_t> jpeg = testsupport::encodeLosslessJpeg(frame);
    bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
    testsupport::MemoryFile file(bytes);
    for (uint16_t knownHeight : {0, 7}) {
        auto s = readableState();
        s->input_file = file.get();
        s->thumbnail_offset = 100;
        s->thumbnail_height = knownHeight;
        apply_final_steps(*s, false);
        EXPECT_EQ(s->thumbnail_width, knownHeight ? 0 : 40);
        EXPECT_EQ(s->thumbnail_height, knownHeight ? 7 : 30);
    }
}
