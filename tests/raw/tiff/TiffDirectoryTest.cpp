// The TIFF directory walk: records, inline and offset values in both byte orders, the
// metadata hand-off, the directory and entry caps, and damaged files.
#include <gtest/gtest.h>

#include <random>

#include "platform/ImageProperties.h"
#include "raw/core/InputReaders.h"
#include "raw/tiff/TiffParser.h"
#include "raw/tiff/TiffReading.h"
#include "tests/raw/TiffParseFixture.h"
#include "tests/support/TiffBuilder.h"

using namespace raw;
using namespace testsupport;
using Order = TiffBuilder::Order;

namespace {

class BothOrders : public ::testing::TestWithParam<Order> {};

TEST_P(BothOrders, FillsTheImageRecordFromInlineAndOffsetValues) {
    TiffBuilder tiff(GetParam());
    int strip = tiff.addBlock(std::vector<uint8_t>(64, 7));
    auto& exif = tiff.addSubIfd();
    exif.rationals(33434, {{1, 250}}).shorts(34855, {400}).ascii(36867, "2020:01:02 03:04:05");
    tiff.addIfd()
        .longs(256, {4000})
        .shorts(257, {3000})
        .shorts(258, {14, 14, 14}) // 6 bytes: read at its offset
        .shorts(259, {7})
        .shorts(262, {32803})
        .ascii(271, "Maker")
        .ascii(272, "Model X")
        .blockOffset(273, strip)
        .shorts(274, {6})
        .longs(279, {64})
        .ifdOffset(34665, exif);
    tiff.addIfd().shorts(256, {160}).shorts(257, {120}).shorts(258, {8, 8}); // 4 bytes: inline
    UtcZone utc;
    TiffParse p(tiff.build());
    DecoderState& s = p.state();
    ASSERT_EQ(parse_tiff_file(s, 0), 1);

    ASSERT_EQ(s.ifd_count, 2u);
    const ifd_record& r = s.ifd_table[0];
    EXPECT_EQ(r.width, 4000u);
    EXPECT_EQ(r.height, 3000u);
    EXPECT_EQ(r.bits_per_sample, 14u);
    EXPECT_EQ(r.samples_per_pixel, 3u);
    EXPECT_EQ(r.compression, 7u);
    EXPECT_EQ(r.photometric, 32803u);
    EXPECT_EQ(r.data_offset, tiff.blockOffsetOf(strip));
    EXPECT_EQ(r.byte_count, 64u);
    EXPECT_EQ(r.orientation, 6u);
    EXPECT_EQ(s.ifd_table[1].bits_per_sample, 8u);
    EXPECT_EQ(s.ifd_table[1].samples_per_pixel, 2u);
    EXPECT_STREQ(s.camera_make, "Maker");
    EXPECT_STREQ(s.camera_model, "Model X");
    EXPECT_FLOAT_EQ(s.exposure_time, 0.004f);
    EXPECT_FLOAT_EQ(r.exposure_time, 0.004f); // the newest record when the EXIF directory was read
    EXPECT_EQ(s.iso_value, 400);
    EXPECT_EQ(s.capture_time, 1577934245);
    EXPECT_EQ(s.bits_per_sample, 14u);

    // Every entry also reached the metadata dictionary, in the file's byte order.
    EXPECT_EQ(p.metadata(platform::kCGImagePropertyTIFFDictionary, platform::kCGImagePropertyTIFFModel)
                  .stringValue(),
              "Model X");
    EXPECT_DOUBLE_EQ(
        p.metadata(platform::kCGImagePropertyExifDictionary, platform::kCGImagePropertyExifExposureTime)
            .doubleValue(),
        0.004);

    choose_raw_ifd(s);
    EXPECT_EQ(s.sensor_width, 4000);
    EXPECT_EQ(s.tiff_orientation, 6);
}

INSTANTIATE_TEST_SUITE_P(Tiff, BothOrders, ::testing::Values(Order::Little, Order::Big));

TEST(TiffDirectory, EntryHeaderSizesTypesAndFindsTheValue) {
    struct Case {
        uint16_t type;
        uint32_t count;
        bool inline_value;
    } cases[] = {{3, 2, true},   {3, 3, false}, {4, 1, true},   {5, 1, false},         {20, 4, true},
                 {20, 5, false}, {0, 4, true},  {12, 1, false}, {4, 0x40000000, false}};
    for (const Case& c : cases) {
        // tag, type, count, then the value word 0x10 (an offset when it does not fit).
        std::vector<uint8_t> bytes = {1, 0, uint8_t(c.type), 0, 0, 0, 0, 0, 0x10, 0, 0, 0};
        for (int i = 0; i < 4; ++i)
            bytes[4 + i] = uint8_t(c.count >> (8 * i));
        bytes.resize(64, 0);
        TiffParse p(bytes);
        DecoderState& s = p.state();
        s.byte_order = kLittleEndian;
        tiff_entry e = read_tag_header(s, 0);
        EXPECT_EQ(e.next, 12) << c.type;
        EXPECT_EQ(e.value_position, c.inline_value ? 8 : 0x10) << "type " << c.type << " count " << c.count;
        EXPECT_EQ(std::ftell(s.input_file), e.value_position);
    }
}

TEST(TiffDirectory, OrientationValuesBecomeFlipCodes) {
    const std::pair<uint32_t, int> cases[] = {{1, 0}, {2, 1}, {3, 3}, {4, 2}, {5, 4}, {6, 6}, {7, 7}, {8, 5}};
    for (auto [value, code] : cases)
        EXPECT_EQ(tiff_orientation_code(value), code) << value;
    const std::pair<int, int> degrees[] = {{0, 0}, {90, 6}, {180, 3}, {270, 5}, {-90, 5}, {450, 6}, {45, 0}};
    for (auto [angle, code] : degrees)
        EXPECT_EQ(rotation_degrees_code(angle), code) << angle;
}

TEST(TiffDirectory, ConverterSoftwareMeansNotRaw) {
    const std::pair<const char*, uint32_t> cases[] = {{"Adobe Photoshop CS2", 0},
                                                      {"UFRaw 0.22", 0},
                                                      {"Nikon Scan 4.0", 0},
                                                      {"Digital Photo Professional", 0},
                                                      {"Ver.1.00", 1},
                                                      {"Bibble", 0},
                                                      {"Firmware Adobe", 1}};
    for (auto [software, raw_count] : cases) {
        TiffBuilder tiff;
        tiff.addIfd().ascii(305, software);
        TiffParse p(tiff.build());
        parse_tiff_file(p.state(), 0);
        EXPECT_EQ(p.state().raw_count, raw_count) << software;
    }
}

TEST(TiffDirectory, RefusesTheEleventhDirectoryAndOversizedOnes) {
    TiffBuilder chain;
    for (int i = 0; i < 12; ++i)
        chain.addIfd().shorts(256, {uint16_t(100 + i)});
    TiffParse p(chain.build());
    EXPECT_EQ(parse_tiff_file(p.state(), 0), 1);
    EXPECT_EQ(p.state().ifd_count, 10u);
    EXPECT_EQ(p.state().ifd_table[9].width, 109u);

    for (uint16_t entries : {512, 513}) {
        TiffBuilder tiff;
        auto& ifd = tiff.addIfd();
        for (uint16_t i = 0; i + 1 < entries; ++i)
            ifd.shorts(uint16_t(1000 + i), {1});
        ifd.ascii(271, "Big");
        TiffParse big(tiff.build());
        parse_tiff_file(big.state(), 0);
        EXPECT_EQ(std::string(big.state().camera_make), entries == 512 ? "Big" : "") << entries;
    }
}

TEST(TiffDirectory, DamagedDirectoriesEndCleanly) {
    TiffBuilder loop;
    auto& first = loop.addIfd().shorts(256, {10});
    first.nextIfdOffset(loop.offsetOf(first)); // points at itself
    TiffParse looping(loop.build());
    EXPECT_EQ(parse_tiff_file(looping.state(), 0), 1);
    EXPECT_EQ(looping.state().ifd_count, 10u);

    TiffBuilder wild;
    wild.addIfd()
        .raw(330, 4, 0xFFFFFFF0u, {0xF0, 0xFF, 0xFF, 0x7F})   // sub-directories far past the end
        .raw(34665, 4, 1, {0x00, 0x00, 0x00, 0x70})           // EXIF past the end
        .raw(50715, 5, 0xFFFFFFFFu, {0x08, 0x00, 0x00, 0x00}) // four billion black deltas
        .raw(50714, 3, 0x7FFFFFFFu, {0x08, 0x00, 0x00, 0x00})
        .raw(291, 3, 0xFFFFFFFFu, {0x08, 0x00, 0x00, 0x00})
        .raw(50454, 1, 0x7FFFFFFFu, {0x08, 0x00, 0x00, 0x00})
        .raw(37500, 7, 0xFFFFFFFFu, {0x08, 0x00, 0x00, 0x00});
    wild.addIfd().nextIfdOffset(0x7FFFFFF0u);
    TiffParse p(wild.build());
    EXPECT_EQ(parse_tiff_file(p.state(), 0), 1);
    choose_raw_ifd(p.state());
    EXPECT_LE(p.state().ifd_count, 3u);
}

// Found by fuzzing: 500 tags all pointing at one GPS directory of 2,000 entries made a
// million entry reads (seconds per file in a folder listing). The walk stops at the
// file's entry budget and keeps what it read before.
TEST(TiffDirectory, ManyPointersAtOneLargeDirectoryStopAtTheEntryBudget) {
    TiffBuilder tiff;
    auto& gps = tiff.addSubIfd();
    for (uint16_t i = 0; i < 2000; ++i)
        gps.shorts(uint16_t(100 + i), {1});
    auto& ifd = tiff.addIfd().ascii(271, "Maker");
    for (int i = 0; i < 500; ++i)
        ifd.ifdOffset(34853, gps);
    TiffParse p(tiff.build());
    EXPECT_EQ(parse_tiff_file(p.state(), 0), 1);
    EXPECT_EQ(p.state().tiff_entries_read, kMaxTiffEntriesPerFile);
    EXPECT_STREQ(p.state().camera_make, "Maker");
}

TEST(TiffDirectory, WrongByteOrderMarkIsNoTiff) {
    TiffParse p(std::vector<uint8_t>{'X', 'X', 42, 0, 8, 0, 0, 0});
    EXPECT_EQ(parse_tiff_file(p.state(), 0), 0);
    TiffParse empty(std::vector<uint8_t>{});
    EXPECT_EQ(parse_tiff_file(empty.state(), 0), 0);
}

// Random damage to a file with every kind of sub-directory must never crash or hang.
TEST(TiffDirectory, SurvivesMutatedFiles) {
    for (auto order : {Order::Little, Order::Big}) {
        TiffBuilder tiff(order);
        auto& gps = tiff.addSubIfd();
        gps.ascii(1, "N").rationals(2, {{48, 1}, {51, 1}, {30, 1}});
        auto& exif = tiff.addSubIfd();
        exif.rationals(33434, {{1, 60}}).raw(37500, 7, 24, {'O', 'L', 'Y', 'M', 'P', 0, 1, 0, 1, 0, 8, 0,
                                                            4,   0,   0,   0,   1,   0, 0, 0, 0, 0, 0, 0});
        auto& sub = tiff.addSubIfd();
        sub.shorts(256, {64}).shorts(257, {48}).shorts(258, {12}).shorts(259, {1}).bytes(33422, {0, 1, 1, 2});
        sub.longs(50829, {0, 0, 48, 64}).longs(50830, {0, 0, 4, 64});
        tiff.addIfd()
            .ascii(271, "Make")
            .bytes(50706, {1, 4, 0, 0})
            .ifdOffset(330, sub)
            .ifdOffset(34665, exif)
            .ifdOffset(34853, gps);
        const std::vector<uint8_t> original = tiff.build();
        std::mt19937 random(1234);
        for (int round = 0; round < 1000; ++round) {
            std::vector<uint8_t> bytes = original;
            int changes = 1 + int(random() % 6);
            for (int i = 0; i < changes; ++i)
                bytes[random() % bytes.size()] = uint8_t(random());
            if (round % 7 == 0) bytes.resize(random() % bytes.size());
            TiffParse p(bytes);
            try {
                if (parse_tiff_file(p.state(), 0)) choose_raw_ifd(p.state());
            } catch (...) {
                // Placeholder steps of other areas may fail the decode; the parse itself must not crash.
            }
        }
    }
}

} // namespace
