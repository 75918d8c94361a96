#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "raw/loaders/Loaders.h"
#include "raw/loaders/SmalDecoder.h"
#include "tests/raw/ContainerBytes.h"
#include "tests/raw/LoaderRig.h"

using namespace raw;
using testsupport::Bytes;
using testsupport::LoaderRig;

TEST(SmalDecoder, MedianOfFour) {
    const int32_t cases[][5] = {
        {1, 9, 3, 5, 4}, {7, 7, 7, 7, 7}, {0, 65535, 65535, 0, 32767}, {22, 1000, 40, 42, 41}};
    for (const auto& c : cases)
        EXPECT_EQ(median_of_four(c), c[4]);
}

TEST(SmalDecoder, DataNearItsEndDecodesZerosAndHoleRowsSkip) {
    // Photosites start at 77; the segment's data ends within 12 bytes, so every decoded
    // photosite becomes 0 and the skipped ones keep 77.
    LoaderRig rig(std::vector<uint8_t>(1024, 0x5A), 8, 4);
    std::fill(rig.raw.begin(), rig.raw.end(), 77);
    // Rows count their hole bit from the sensor's bottom: row 1 of 4 is bit 5.
    smal_segment_decoder(*rig.s, {2, 0, 1000, 10}, 1u << 5);
    EXPECT_EQ(rig.row(0), (std::vector<uint16_t>{77, 77, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(rig.row(1), (std::vector<uint16_t>{0, 77, 77, 0, 0, 77, 77, 0}));
    EXPECT_EQ(rig.row(2), std::vector<uint16_t>(8, 0));
    EXPECT_EQ(rig.row(3), std::vector<uint16_t>(8, 0));
    EXPECT_EQ(rig.s->white_level, 255u);
}

TEST(SmalDecoder, CodedDataStaysInRangeAndEnds) {
    // Whatever the bytes, the coder ends at the segment's last photosite with 8-bit values.
    std::vector<uint8_t> noise(8192);
    uint32_t x = 12345;
    for (uint8_t& b : noise)
        b = uint8_t((x = x * 1103515245 + 12345) >> 24);
    LoaderRig rig(noise, 32, 16);
    smal_segment_decoder(*rig.s, {0, 0, uint64_t(1) << 40, 0x7FFFFFFF}, 0);
    EXPECT_TRUE(std::all_of(rig.raw.begin(), rig.raw.end(), [](uint16_t v) { return v <= 255; }));
    EXPECT_EQ(rig.s->data_error_count, 0);
    EXPECT_TRUE(std::any_of(rig.raw.begin(), rig.raw.end(), [](uint16_t v) { return v != 0; }));
}

TEST(SmalDecoder, FillsHoleRowsFromNeighbours) {
    LoaderRig rig({}, 8, 7);
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 8; ++c)
            rig.raw[size_t(r) * 8 + size_t(c)] = uint16_t(10 * r + c);
    // Row 3 (bit 4) and row 5 (bit 6) are holes; only rows 2..4 are filled.
    for (int c : {1, 2, 5, 6})
        rig.raw[3 * 8 + size_t(c)] = 0;
    rig.raw[2 * 8 + 0] = 1000; // an outlier among the diagonals of (3, 1)
    rig.raw[5 * 8 + 6] = 0;
    smal_fill_holes(*rig.s, 1u << 4 | 1u << 6);
    EXPECT_EQ(rig.at(3, 1), (40 + 42) / 2); // median of 1000, 22, 40, 42
    EXPECT_EQ(rig.at(3, 5), 35);
    EXPECT_EQ(rig.at(3, 2), (30 + 34) / 2); // row 5 is a hole: left and right only
    EXPECT_EQ(rig.at(3, 6), 0);             // not below width - 2
    EXPECT_EQ(rig.at(5, 6), 0);             // row 5 lies outside the filled rows

    LoaderRig flat({}, 8, 4); // fewer than five rows: nothing to fill
    flat.raw[8 + 1] = 0;
    std::vector<uint16_t> before = flat.raw;
    smal_fill_holes(*flat.s, 0xFF);
    EXPECT_EQ(flat.raw, before);
}

TEST(SmalLoaders, HeadersChooseSegments) {
    // Version 9: a table of one segment from photosite 4, data ending at once.
    Bytes v9;
    v9.zeros(67).u32(100).u8(1).to(78).u8(0).to(88).u32(58).to(100).u32(4).u32(50).zeros(400);
    LoaderRig rig(v9.data, 4, 4);
    std::fill(rig.raw.begin(), rig.raw.end(), 77);
    rig.run(smal_9_load_raw, 0);
    EXPECT_EQ(rig.row(0), (std::vector<uint16_t>{77, 77, 77, 77}));
    for (int r = 1; r < 4; ++r)
        EXPECT_EQ(rig.row(r), std::vector<uint16_t>(4, 0)) << r;

    // A count of 255 segments whose table lies past the end of the file.
    Bytes damaged;
    damaged.zeros(67).u32(0xFFFFFF).u8(255).to(78).u8(0x81).to(92);
    LoaderRig bad(damaged.data, 4, 4);
    bad.run(smal_9_load_raw, 0);
    EXPECT_EQ(bad.raw, std::vector<uint16_t>(16, 0));

    // Version 6: one segment from the 16-bit offset at 16 to the end of the sensor.
    Bytes v6;
    v6.zeros(16).u16(20).to(40);
    LoaderRig six(v6.data, 4, 2);
    six.run(smal_6_load_raw, 0);
    EXPECT_EQ(six.s->white_level, 255u);
}
