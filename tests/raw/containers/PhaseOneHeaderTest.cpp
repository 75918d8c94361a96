#include <gtest/gtest.h>

#include "raw/containers/Containers.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/ContainerBytes.h"
#include "tests/support/Samples.h"

namespace {

using testsupport::Bytes;
using testsupport::ParsedFile;

struct Record {
    uint32_t tag, type, length, data;
};

// A Phase One header at `base`: mark, "Raw", directory offset; data blocks; directory.
std::vector<uint8_t> phaseOneFile(bool big, uint64_t base, const std::vector<Record>& records,
                                  const Bytes& blocks, uint32_t storedCount) {
    Bytes out(big);
    out.zeros(base).text(big ? "MMMM" : "IIII").u32(0x52617700 | 'C');
    const size_t directoryWord = out.size();
    out.u32(0).append(blocks.data);
    out.put32(directoryWord, uint32_t(out.size() - base));
    out.u32(storedCount).u32(0);
    for (const Record& r : records)
        out.u32(r.tag).u32(r.type).u32(r.length).u32(r.data);
    return out.data;
}

TEST(PhaseOneHeader, FillsTheBackFields) {
    for (bool big : {false, true}) {
        const uint64_t base = 8;
        Bytes blocks(big); // starts 12 bytes after base
        for (float v : {1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f})
            blocks.f32(v);
        blocks.f32(2.0f).f32(1.0f).f32(1.5f);
        blocks.field("P 45+ camera, firmware 1", 64);
        const uint32_t matrixAt = 12, gainsAt = 48, modelAt = 60;
        const std::vector<Record> records = {
            {0x100, 4, 4, 5},          {0x106, 11, 36, matrixAt}, {0x107, 11, 12, gainsAt},
            {0x108, 4, 4, 7372},       {0x109, 4, 4, 5536},       {0x10A, 4, 4, 36},
            {0x10B, 4, 4, 6},          {0x10C, 4, 4, 7320},       {0x10D, 4, 4, 5484},
            {0x10E, 4, 4, 1},          {0x10F, 4, 4, 1000},       {0x110, 4, 1320, 2000},
            {0x112, 4, 4, 0x12345678}, {0x210, 4, 4, 0x42140000}, {0x21A, 4, 4, 0x1234},
            {0x21C, 4, 4, 3000},       {0x21D, 4, 4, 1024},       {0x222, 4, 4, 3696},
            {0x223, 4, 4, 4000},       {0x224, 4, 4, 2748},       {0x225, 4, 4, 5000},
            {0x301, 1, 64, modelAt},
        };
        ParsedFile f(phaseOneFile(big, base, records, blocks, uint32_t(records.size())));
        raw::parse_phase_one_header(*f.s, base);
        const raw::DecoderState& s = *f.s;
        EXPECT_EQ(s.byte_order, big ? 0x4D4D : 0x4949);
        EXPECT_STREQ(s.camera_make, "Phase One");
        EXPECT_STREQ(s.camera_model, "P 45+");
        EXPECT_EQ(s.orientation_code, 6); // "0653"[5 & 3]
        EXPECT_FLOAT_EQ(s.as_shot_multipliers[0], 2.0f);
        EXPECT_FLOAT_EQ(s.as_shot_multipliers[2], 1.5f);
        EXPECT_EQ(s.sensor_width, 7372);
        EXPECT_EQ(s.sensor_height, 5536);
        EXPECT_EQ(s.margin_left, 36);
        EXPECT_EQ(s.margin_top, 6);
        EXPECT_EQ(s.visible_width, 7320);
        EXPECT_EQ(s.visible_height, 5484);
        EXPECT_EQ(s.phase_one_format, 1);
        EXPECT_EQ(s.sensor_data_offset, base + 1000);
        EXPECT_EQ(s.maker_data_offset, base + 2000);
        EXPECT_EQ(s.meta_block_length, 1320u);
        // the key is the 0x112 record's own data word
        const uint64_t directory = base + 12 + blocks.size() + 8;
        EXPECT_EQ(s.phase_one_key_offset, directory + 12 * 16 + 12);
        EXPECT_FLOAT_EQ(s.phase_one_curve_reference, 37.0f);
        EXPECT_EQ(s.phase_one_calibration_key, 0x1234);
        EXPECT_EQ(s.strip_table_offset, base + 3000);
        EXPECT_EQ(s.phase_one_black, 1024);
        EXPECT_EQ(s.phase_one_split_column, 3696);
        EXPECT_EQ(s.phase_one_split_row, 2748);
        EXPECT_EQ(s.phase_one_row_blacks_offset, base + 4000);
        EXPECT_EQ(s.phase_one_column_blacks_offset, base + 5000);
        EXPECT_EQ(s.white_level, 0xFFFFu);
        EXPECT_EQ(s.raw_loader, &raw::phase_one_plain_load_raw);
    }
}

TEST(PhaseOneHeader, LoaderByFormatAndModelBySensorHeight) {
    const std::pair<uint32_t, const char*> heights[] = {
        {2060, "LightPhase"}, {2682, "H 10"}, {4128, "H 20"}, {5488, "H 25"}, {3000, ""}};
    for (const auto& [height, model] : heights) {
        const std::vector<Record> records = {{0x109, 4, 4, height}, {0x10E, 4, 4, 3}};
        ParsedFile f(phaseOneFile(false, 0, records, Bytes(), 2));
        f.s->phase_one_black = 99; // left from before: cleared
        raw::parse_phase_one_header(*f.s, 0);
        EXPECT_STREQ(f.s->camera_model, model);
        EXPECT_EQ(f.s->raw_loader, &raw::phase_one_load_raw_c);
        EXPECT_EQ(f.s->phase_one_black, 0);
    }
}

TEST(PhaseOneHeader, RefusesOtherMarksAndBoundsTheCount) {
    Bytes notRaw;
    notRaw.text("IIII").text("CwaX").u32(16);
    ParsedFile f(notRaw.data);
    raw::parse_phase_one_header(*f.s, 0);
    EXPECT_EQ(f.s->camera_make[0], 0);
    EXPECT_EQ(f.s->raw_loader, nullptr);

    // A count of four thousand million records in a file of two.
    ParsedFile g(phaseOneFile(false, 0, {{0x108, 4, 4, 300}, {0x109, 4, 4, 200}}, Bytes(), 0xFFFFFFFF));
    raw::parse_phase_one_header(*g.s, 0);
    EXPECT_EQ(g.s->sensor_width, 300);
    EXPECT_EQ(g.s->sensor_height, 200);
    EXPECT_STREQ(g.s->camera_make, "Phase One");
}

TEST(PhaseOneHeaderSample, StrippedCredoHeader) {
    LV_REQUIRE_SAMPLE("PhaseOne.iiq");
    ParsedFile f(testsupport::sampleBytes("PhaseOne.iiq"));
    raw::parse_phase_one_header(*f.s, 8); // "IIII" after the TIFF header
    const raw::DecoderState& s = *f.s;
    EXPECT_STREQ(s.camera_make, "Phase One");
    EXPECT_EQ(std::string(s.camera_model).rfind("Credo 40", 0), 0u) << s.camera_model;
    EXPECT_EQ(s.sensor_width, 7372);
    EXPECT_EQ(s.sensor_height, 5536);
    EXPECT_EQ(s.visible_width, 7320);
    EXPECT_EQ(s.visible_height, 5484);
    EXPECT_EQ(s.margin_left, 36);
    EXPECT_EQ(s.margin_top, 6);
    EXPECT_EQ(s.phase_one_format, 3);
    EXPECT_EQ(s.raw_loader, &raw::phase_one_load_raw_c);
    EXPECT_EQ(s.phase_one_black, 1024);
    EXPECT_EQ(s.phase_one_split_column, 3696);
    EXPECT_EQ(s.phase_one_split_row, 2748);
    EXPECT_EQ(s.maker_data_offset, 8u + 304);
    EXPECT_EQ(s.meta_block_length, 1320u);
    EXPECT_GT(s.as_shot_multipliers[0], 0.0f);
}

} // namespace
