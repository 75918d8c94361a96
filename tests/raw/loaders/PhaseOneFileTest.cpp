// Whole Phase One files through identification, loading, calibration and development:
// the file decodes, and damaged or cut-short copies end with a status, never a crash.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "raw/core/BandRunner.h"
#include "tests/raw/ContainerBytes.h"
#include "tests/raw/WordStream.h"
#include "tests/support/DecodeBytes.h"

using testsupport::BitWriter;
using testsupport::Bytes;

namespace {

// Identification refuses visible areas below 22 x 22.
constexpr uint32_t kWidth = 48, kHeight = 32;

// Rows of absolute 16-bit samples: each group of eight columns picks length 14 for both
// parities ("000000" twice).
std::vector<uint8_t> compressed_row(uint32_t row) {
    BitWriter w;
    for (uint32_t group = 0; group < kWidth / 8; ++group) {
        w.put(0, 6).put(0, 6);
        for (uint32_t c = 0; c < 8; ++c)
            w.put(1000 + 40 * row + 8 * (c & 1) + group, 16);
    }
    return testsupport::littleEndianWords(w);
}

Bytes calibration() {
    Bytes c;
    c.u16(0x4949).zeros(6).u32(0);
    const uint32_t defects = uint32_t(c.size());
    c.u16(5).u16(3).u16(129).u16(0).u16(9).u16(0).u16(131).u16(0);
    const uint32_t curve = uint32_t(c.size());
    for (float q : {5.0f, 0.0f, 0.0f, 0.0f})
        c.f32(q);
    const uint32_t flat = uint32_t(c.size());
    c.u16(4).u16(1).u16(16).u16(4).u16(8).u16(2).u16(0).u16(0);
    for (int i = 0; i < 2 * 2; ++i)
        c.u16(uint16_t(32768 + 1024 * i));
    c.put32(8, uint32_t(c.size()));
    c.u32(3).u32(0);
    c.u32(0x400).u32(16).u32(defects).u32(0x41A).u32(16).u32(curve).u32(0x410).u32(24).u32(flat);
    return c;
}

struct Record {
    uint32_t tag, data;
};

// Bytes before the coded rows (header, model, gains, strip table) and after them
// (calibration block and directory).
constexpr size_t kHeaderBytes = 12 + 32 + 12 + 4 * kHeight;
constexpr size_t kDirectoryBytes = 8 + 15 * 16;

std::vector<uint8_t> phase_one_file() {
    Bytes f;
    f.text("IIII").u32(0x52617700).u32(0);
    const uint32_t model = uint32_t(f.size());
    f.field("P 45+", 32);
    const uint32_t gains = uint32_t(f.size());
    f.f32(2.0f).f32(1.0f).f32(1.5f);
    const uint32_t strips = uint32_t(f.size());
    f.zeros(4 * kHeight);
    const uint32_t data = uint32_t(f.size());
    for (uint32_t r = 0; r < kHeight; ++r) {
        f.put32(strips + 4 * r, uint32_t(f.size() - data));
        f.append(compressed_row(r));
    }
    const uint32_t cal = uint32_t(f.size());
    const Bytes c = calibration();
    f.append(c.data);
    const std::vector<Record> records = {
        {0x107, gains},  {0x108, kWidth}, {0x109, kHeight}, {0x10A, 4},    {0x10B, 2},
        {0x10C, 40},     {0x10D, 24},     {0x10E, 3},       {0x10F, data}, {0x110, cal},
        {0x21C, strips}, {0x21D, 64},     {0x222, 24},      {0x224, 16},   {0x301, model},
    };
    f.put32(8, uint32_t(f.size()));
    f.u32(uint32_t(records.size())).u32(0);
    for (const Record& r : records)
        f.u32(r.tag).u32(4).u32(r.tag == 0x110 ? uint32_t(c.size()) : 4).u32(r.data);
    return f.data;
}

testsupport::DecodeOutcome decode(const std::vector<uint8_t>& bytes) {
    return testsupport::decodeBytes(bytes.data(), bytes.size(), {.maxPixels = 1 << 12});
}

class PhaseOneFile : public ::testing::Test {
  protected:
    void SetUp() override { raw::set_band_threads_enabled(false); }
    void TearDown() override { raw::set_band_threads_enabled(true); }
};

} // namespace

TEST_F(PhaseOneFile, Decodes) {
    const testsupport::DecodeOutcome out = decode(phase_one_file());
    ASSERT_TRUE(out.decoded) << out.summary();
    EXPECT_EQ(out.width, 40u);
    EXPECT_EQ(out.height, 24u);
}

// Hundreds of full developments: split in shards so the test runner spreads them over
// its jobs.
constexpr size_t kShards = 8;

class PhaseOneDamage : public PhaseOneFile, public ::testing::WithParamInterface<size_t> {};

TEST_P(PhaseOneDamage, DamagedOrCutShortEndsWithAStatus) {
    const size_t shard = GetParam();
    const std::vector<uint8_t> whole = phase_one_file();
    const size_t trailer = calibration().size() + kDirectoryBytes;
    // Every byte of the headers, tables and calibration block, where one byte steers the
    // decode, and a spread over the coded rows; offsets and counts become huge, zero or
    // merely wrong.
    const uint8_t values[4] = {0xFF, 0x00, 0x80, 0x5A};
    for (size_t at = shard; at < whole.size(); at += kShards) {
        const bool coded_rows = at >= kHeaderBytes && at < whole.size() - trailer;
        if (coded_rows && at % 29 != 0) continue;
        std::vector<uint8_t> bytes = whole;
        bytes[at] = values[at % 4] == bytes[at] ? uint8_t(~bytes[at]) : values[at % 4];
        EXPECT_FALSE(decode(bytes).status.empty()) << "byte " << at;
    }
    for (size_t length = 23 * shard; length < whole.size(); length += 23 * kShards) {
        const std::vector<uint8_t> bytes(whole.begin(), whole.begin() + long(length));
        EXPECT_FALSE(decode(bytes).status.empty()) << "cut at " << length;
    }
}

INSTANTIATE_TEST_SUITE_P(Shards, PhaseOneDamage, ::testing::Range(size_t(0), kShards));
