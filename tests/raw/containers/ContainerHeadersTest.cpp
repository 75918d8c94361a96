// The small fixed headers: Rollei, Sinar IA, SMaL, CINE and R3D.
#include <gtest/gtest.h>

#include <string>

#include "raw/containers/Containers.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/ContainerBytes.h"

namespace {

using testsupport::Bytes;
using testsupport::ParsedFile;

TEST(RolleiHeader, ReadsTheKeyLines) {
    const std::string header = "DSC-Image\nX  =2560\nY  =1920\nTX =160\nTY =120\nHDR=1024\n"
                               "DAT=17.05.2004\nTIM=14:30:05\nEOHD\n";
    ParsedFile f(Bytes().text(header).zeros(64).data);
    raw::parse_rollei_header(*f.s);
    const raw::DecoderState& s = *f.s;
    EXPECT_STREQ(s.camera_make, "Rollei");
    EXPECT_STREQ(s.camera_model, "d530flex");
    EXPECT_EQ(s.sensor_width, 2560);
    EXPECT_EQ(s.sensor_height, 1920);
    EXPECT_EQ(s.thumbnail_width, 160);
    EXPECT_EQ(s.thumbnail_height, 120);
    EXPECT_EQ(s.thumbnail_offset, 1024u);
    EXPECT_EQ(s.sensor_data_offset, 1024u + 160 * 120 * 2);
    EXPECT_EQ(s.capture_time, testsupport::localSeconds(2004, 5, 17, 14, 30, 5));
    EXPECT_EQ(s.thumbnail_writer, &raw::rollei_thumb);
}

TEST(RolleiHeader, HeaderWithoutEndMarkEnds) {
    ParsedFile f(Bytes().text("DSC-Image\nX  =2560\nno end here").data);
    raw::parse_rollei_header(*f.s);
    EXPECT_EQ(f.s->camera_make[0], 0);
    EXPECT_EQ(f.s->sensor_width, 2560);
}

// Sinar IA: entry count and directory offset at 4, entries {offset, length, name[8]}.
std::vector<uint8_t> sinarFile(uint32_t storedCount, const char* make) {
    Bytes out;
    out.text("PWAD").u32(storedCount).u32(16).zeros(4);
    out.u32(100).u32(0).field("META", 8);
    out.u32(300).u32(0).field("THUMB", 8);
    out.u32(400).u32(0).field("RAW0", 8);
    out.u32(500).u32(0).text("LONGNAME");
    out.to(120).field(make, 64).u16(4080).u16(5440).u32(0).u16(160).u16(120);
    return out.to(600).data;
}

TEST(SinarIaBlock, ReadsTheNamedBlocks) {
    ParsedFile f(sinarFile(4, "Sinar eMotion 75"));
    raw::parse_sinar_ia_block(*f.s);
    const raw::DecoderState& s = *f.s;
    EXPECT_EQ(s.maker_data_offset, 100u);
    EXPECT_EQ(s.thumbnail_offset, 300u);
    EXPECT_EQ(s.sensor_data_offset, 400u);
    EXPECT_STREQ(s.camera_make, "Sinar");
    EXPECT_STREQ(s.camera_model, "eMotion 75");
    EXPECT_EQ(s.sensor_width, 4080);
    EXPECT_EQ(s.sensor_height, 5440);
    EXPECT_EQ(s.thumbnail_width, 160);
    EXPECT_EQ(s.thumbnail_height, 120);
    EXPECT_EQ(s.raw_loader, &raw::plain_words_load_raw);
    EXPECT_EQ(s.thumbnail_writer, &raw::ppm_thumb);
    EXPECT_EQ(s.white_level, 0x3FFFu);
}

TEST(SinarIaBlock, CountBeyondTheFileStops) {
    ParsedFile f(sinarFile(0xFFFFFFFF, "Sinar"));
    raw::parse_sinar_ia_block(*f.s);
    EXPECT_EQ(f.s->sensor_data_offset, 400u);
    EXPECT_STREQ(f.s->camera_make, "Sinar");
    EXPECT_STREQ(f.s->camera_model, "");
}

// SMaL: version at 2; the file's length; then (version 7 up) the data offset; sizes.
std::vector<uint8_t> smalFile(uint8_t version, uint32_t storedLength, size_t length) {
    Bytes out;
    out.zeros(2).u8(version);
    if (version == 6) out.zeros(5);
    out.u32(storedLength);
    if (version > 6) out.u32(2048);
    out.u16(480).u16(640);
    return out.to(length).data;
}

TEST(SmalHeader, VersionsAndTheLengthCheck) {
    struct Case {
        uint8_t version;
        raw::Routine loader;
        uint64_t dataOffset;
    };
    for (const Case c :
         {Case{6, raw::smal_6_load_raw, 0}, Case{9, raw::smal_9_load_raw, 2048}, Case{8, nullptr, 2048}}) {
        ParsedFile f(smalFile(c.version, 4096, 4096));
        raw::parse_smal_header(*f.s, 0, 4096);
        EXPECT_STREQ(f.s->camera_make, "SMaL");
        EXPECT_EQ(std::string(f.s->camera_model), "v" + std::to_string(c.version) + " 640x480");
        EXPECT_EQ(f.s->sensor_width, 640);
        EXPECT_EQ(f.s->visible_height, 480);
        EXPECT_EQ(f.s->raw_loader, c.loader);
        EXPECT_EQ(f.s->sensor_data_offset, c.dataOffset);
    }
    ParsedFile wrong(smalFile(9, 4000, 4096));
    raw::parse_smal_header(*wrong.s, 0, 4096);
    EXPECT_EQ(wrong.s->camera_make[0], 0);
}

// CINE: file header, image header at 100, setup at 200, image offsets at 2000.
std::vector<uint8_t> cineFile(int32_t rotation, uint32_t cfa, uint16_t depth = 16, uint32_t images = 3) {
    Bytes out;
    out.text("CI").zeros(2).u16(2).zeros(14).u32(images).u32(100).u32(200).u32(2000);
    out.u32(1000).u32(1200000000);
    out.to(104).u32(1280).u32(800).u16(1).u16(depth);
    out.to(200 + 792).u32(4711).zeros(12).u32(0x5000000 | cfa).zeros(72).u32(uint32_t(rotation));
    out.f32(1.5f).f32(2.5f).u32(12).zeros(668).u32(2000000);
    out.to(2000).u32(3000).u32(0).u32(5000).u32(1).u32(7000).u32(0);
    return out.to(2100).data;
}

TEST(CineHeader, ReadsSetupAndImageOffsets) {
    ParsedFile f(cineFile(-3600, 4));
    f.s->shot_index = 1;
    raw::parse_cine_header(*f.s);
    const raw::DecoderState& s = *f.s;
    EXPECT_EQ(s.raw_count, 3u);
    EXPECT_EQ(s.capture_time, 1200000000);
    EXPECT_EQ(s.sensor_width, 1280);
    EXPECT_EQ(s.sensor_height, 800);
    EXPECT_EQ(s.raw_loader, &raw::plain_words_load_raw);
    EXPECT_STREQ(s.camera_make, "CINE");
    EXPECT_STREQ(s.camera_model, "4711");
    EXPECT_EQ(s.cfa_pattern, 0x49494949u);
    EXPECT_EQ(s.orientation_code, 2);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[0], 1.5f);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[2], 2.5f);
    EXPECT_EQ(s.white_level, 4095u);
    EXPECT_FLOAT_EQ(s.exposure_time, 0.002f);
    EXPECT_EQ(s.sensor_data_offset, (uint64_t(1) << 32) + 5000 + 8);
}

TEST(CineHeader, RotationsPatternsAndDepths) {
    const std::pair<int32_t, int32_t> rotations[] = {{-3510, 7}, {-3420, 1}, {-3330, 4}, {0, 2}, {45, -1}};
    for (const auto& [rotation, code] : rotations) {
        ParsedFile f(cineFile(rotation, 3));
        raw::parse_cine_header(*f.s);
        EXPECT_EQ(f.s->orientation_code, code) << rotation;
        EXPECT_EQ(f.s->cfa_pattern, 0x94949494u);
    }
    ParsedFile eight(cineFile(0, 5, 8));
    raw::parse_cine_header(*eight.s);
    EXPECT_EQ(eight.s->raw_loader, &raw::eight_bit_load_raw);
    EXPECT_EQ(eight.s->raw_count, 0u); // not a colour-filter pattern this decoder knows
    ParsedFile lastShot(cineFile(0, 4, 16, 1));
    lastShot.s->shot_index = 1; // past the last image: the first one's offset is read
    raw::parse_cine_header(*lastShot.s);
    EXPECT_EQ(lastShot.s->sensor_data_offset, 3000u + 8);
}

// R3D: sizes at 52; frame chunks {size, type}; an index at 200 (entries 8 bytes on); and
// optionally the tail block that the file's length modulo 512 points at.
std::vector<uint8_t> r3dFile(bool tail, uint32_t firstChunkSize = 64) {
    Bytes out(true);
    out.u32(firstChunkSize).text("RED1").to(52).u32(4096).u32(2160).to(64);
    out.u32(32).text("REDV").to(96).u32(32).text("RDAX").to(128).u32(32).text("REDV").to(160);
    out.to(208).u32(64).u32(128).to(1024);
    if (tail) out.u32(100).text("REOB").u32(200).zeros(12).u32(2);
    return out.to(1124).data;
}

TEST(R3dHeader, IndexFromTheTail) {
    ParsedFile f(r3dFile(true));
    f.s->shot_index = 1;
    raw::parse_r3d_header(*f.s);
    EXPECT_EQ(f.s->visible_width, 4096);
    EXPECT_EQ(f.s->visible_height, 2160);
    EXPECT_EQ(f.s->raw_count, 2u);
    EXPECT_EQ(f.s->sensor_data_offset, 128u);
}

TEST(R3dHeader, FramesCountedFromTheHeadWithoutTail) {
    ParsedFile f(r3dFile(false));
    f.s->shot_index = 1;
    testing::internal::CaptureStderr();
    raw::parse_r3d_header(*f.s);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), ": Tail is missing, parsing from head...\n");
    EXPECT_EQ(f.s->raw_count, 2u);
    EXPECT_EQ(f.s->sensor_data_offset, 128u);

    // A chunk too short for its own header ends the scan instead of standing still.
    ParsedFile g(r3dFile(false, 0));
    testing::internal::CaptureStderr();
    raw::parse_r3d_header(*g.s);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(g.s->raw_count, 0u);
}

} // namespace
