#include <gtest/gtest.h>

#include "raw/containers/Containers.h"
#include "tests/raw/ContainerBytes.h"
#include "tests/support/Samples.h"

namespace {

using testsupport::Bytes;
using testsupport::ParsedFile;

constexpr uint64_t kRecordsAt = 16;

// A record list at kRecordsAt: the count, then {tag, length, data}.
struct RafRecords {
    Bytes out{true};
    uint32_t count = 0;

    RafRecords& add(uint16_t tag, const Bytes& data) {
        out.u16(tag).u16(uint16_t(data.size())).append(data.data);
        ++count;
        return *this;
    }
    std::vector<uint8_t> build(uint32_t storedCount) const {
        Bytes file(true);
        file.zeros(kRecordsAt).u32(storedCount).append(out.data);
        return file.data;
    }
    std::vector<uint8_t> build() const { return build(count); }
};

TEST(FujiRaf, ReadsTheSensorRecords) {
    Bytes xtrans(true);
    for (int i = 0; i < 36; ++i)
        xtrans.u8(uint8_t(i % 3 + 4)); // only the low two bits count
    RafRecords raf;
    raf.add(0x100, Bytes(true).u16(1444).u16(4352))
        .add(0x121, Bytes(true).u16(1440).u16(4284))
        .add(0x130, Bytes(true).u8(0x01).u8(0x02).u16(0))
        .add(0x131, xtrans)
        .add(0x2FF0, Bytes(true).u16(384).u16(601).u16(384).u16(515))
        .add(0x9999, Bytes(true).u32(1));
    ParsedFile f(raf.build());
    raw::parse_fuji_raf(*f.s, kRecordsAt);
    const raw::DecoderState& s = *f.s;
    EXPECT_EQ(s.sensor_height, 1444);
    EXPECT_EQ(s.sensor_width, 4352);
    EXPECT_EQ(s.visible_height, 1440);
    EXPECT_EQ(s.visible_width, 4287);
    EXPECT_EQ(s.fuji_sensor_layout, 0);
    EXPECT_EQ(s.rotated_width, 1); // the 45-degree sensor
    EXPECT_EQ(s.cfa_pattern, 9u);
    EXPECT_EQ(s.xtrans_sensor_layout[5][5], 0); // first byte, stored last: (0 + 4) & 3
    EXPECT_EQ(s.xtrans_sensor_layout[5][4], 1);
    EXPECT_EQ(s.xtrans_sensor_layout[0][0], 35 % 3);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[1], 384);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[0], 601);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[3], 384);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[2], 515);
}

TEST(FujiRaf, LayoutBitHalvesTheWidthAndDoublesTheHeight) {
    RafRecords raf;
    raf.add(0x121, Bytes(true).u16(1000).u16(3000)).add(0x130, Bytes(true).u8(0x80).u8(0x08));
    ParsedFile f(raf.build());
    raw::parse_fuji_raf(*f.s, kRecordsAt);
    EXPECT_EQ(f.s->visible_height, 2000);
    EXPECT_EQ(f.s->visible_width, 1500);
    EXPECT_EQ(f.s->fuji_sensor_layout, 1);
    EXPECT_EQ(f.s->rotated_width, 0);
}

// Record 0xC000: little-endian words; the first no wider than the sensor is the width.
Bytes sizeTable(const std::vector<uint32_t>& words, size_t length) {
    Bytes b;
    for (uint32_t w : words)
        b.u32(w);
    return b.to(length);
}

TEST(FujiRaf, VisibleSizeFromTheLongRecord) {
    RafRecords raf;
    raf.add(0x100, Bytes(true).u16(4000).u16(6048)).add(0xC000, sizeTable({99999, 70000, 6032, 4020}, 20004));
    ParsedFile f(raf.build());
    raw::parse_fuji_raf(*f.s, kRecordsAt);
    EXPECT_EQ(f.s->visible_width, 6032);
    EXPECT_EQ(f.s->visible_height, 4020);

    RafRecords shortRecord; // 20000 bytes or less: not the size table
    shortRecord.add(0x100, Bytes(true).u16(4000).u16(6048)).add(0xC000, sizeTable({6032, 4020}, 20000));
    ParsedFile g(shortRecord.build());
    raw::parse_fuji_raf(*g.s, kRecordsAt);
    EXPECT_EQ(g.s->visible_width, 0);
}

TEST(FujiRaf, SizeSearchStopsAtTheRecordEnd) {
    // No word fits the sensor, and the file ends inside the record.
    RafRecords raf;
    raf.add(0x100, Bytes(true).u16(10).u16(20));
    Bytes table;
    for (int i = 0; i < 6000; ++i)
        table.u32(0xFFFF0000);
    raf.out.u16(0xC000).u16(30000).append(table.data);
    ++raf.count;
    ParsedFile f(raf.build());
    raw::parse_fuji_raf(*f.s, kRecordsAt);
    EXPECT_EQ(f.s->visible_width, 0);
    EXPECT_EQ(f.s->sensor_width, 20);
}

TEST(FujiRaf, RecordCountOf256ReadsNothing) {
    RafRecords raf;
    raf.add(0x100, Bytes(true).u16(1444).u16(4352));
    ParsedFile f(raf.build(256));
    raw::parse_fuji_raf(*f.s, kRecordsAt);
    EXPECT_EQ(f.s->sensor_width, 0);
    ParsedFile g(raf.build(255));
    raw::parse_fuji_raf(*g.s, kRecordsAt);
    EXPECT_EQ(g.s->sensor_width, 4352);
}

TEST(FujiRaf, TruncatedListEnds) {
    RafRecords raf;
    raf.add(0x100, Bytes(true).u16(1444).u16(4352)).add(0x121, Bytes(true).u16(1440).u16(4288));
    auto bytes = raf.build(200);
    bytes.erase(bytes.end() - 2, bytes.end()); // the file ends inside the second record
    ParsedFile f(bytes);
    raw::parse_fuji_raf(*f.s, kRecordsAt);
    EXPECT_EQ(f.s->sensor_width, 4352);
    EXPECT_EQ(f.s->visible_height, 1440);
}

TEST(FujiRafSample, StrippedS5ProHeader) {
    LV_REQUIRE_SAMPLE("FujiFilm.raf");
    const std::vector<uint8_t> bytes = testsupport::sampleBytes("FujiFilm.raf");
    ParsedFile f(bytes);
    EXPECT_EQ(std::string(bytes.begin() + 28, bytes.begin() + 41), "FinePix S5Pro");
    const uint32_t records = uint32_t(bytes[92]) << 24 | bytes[93] << 16 | bytes[94] << 8 | bytes[95];
    raw::parse_fuji_raf(*f.s, records);
    const raw::DecoderState& s = *f.s;
    EXPECT_EQ(s.sensor_width, 4352);
    EXPECT_EQ(s.sensor_height, 1444);
    EXPECT_EQ(s.visible_width, 4288);
    EXPECT_EQ(s.visible_height, 1440);
    EXPECT_EQ(s.fuji_sensor_layout, 0);
    EXPECT_EQ(s.rotated_width, 1);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[0], 601);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[2], 515);
}

} // namespace
