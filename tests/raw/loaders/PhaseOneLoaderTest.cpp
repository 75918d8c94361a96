#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <vector>

#include "raw/containers/Containers.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/PhaseOneBits.h"
#include "raw/loaders/PhaseOneCorrect.h"
#include "tests/raw/ContainerBytes.h"
#include "tests/raw/LoaderRig.h"
#include "tests/raw/WordStream.h"
#include "tests/support/BitWriter.h"
#include "tests/support/Samples.h"

using namespace raw;
using testsupport::BitWriter;
using testsupport::Bytes;
using testsupport::LoaderRig;

TEST(PhaseOneBits, ReadsAcrossWordsAndCountsTheEnd) {
    BitWriter w;
    w.put(0x5, 3).put(0x1ABCDE, 21).put(0x3FF, 10).put(0xFFFFFFFF, 32);
    LoaderRig rig(testsupport::littleEndianWords(w), 1, 1);
    DecoderState& s = *rig.s;
    phase_one_bits(s, -1);
    EXPECT_EQ(phase_one_bits(s, 0), 0u);
    EXPECT_EQ(phase_one_bits(s, 3), 0x5u);
    EXPECT_EQ(phase_one_bits(s, 21), 0x1ABCDEu);
    EXPECT_EQ(phase_one_bits(s, 10), 0x3FFu); // straddles the first two words
    EXPECT_EQ(phase_one_bits(s, 32), 0xFFFFFFFFu);
    EXPECT_FALSE(phase_one_bits_ended(s));
    EXPECT_EQ(s.data_error_count, 0);
    phase_one_bits(s, 30);
    phase_one_bits(s, 30); // the stream is spent: all ones and one data error per word
    EXPECT_TRUE(phase_one_bits_ended(s));
    EXPECT_GT(s.data_error_count, 0);
    phase_one_bits(s, -1);
    EXPECT_FALSE(phase_one_bits_ended(s));

    // A table peek consumes only the code's length.
    std::vector<uint16_t> table(4, 0);
    table[0b10] = 1 << 8 | 42; // "1x" is a one-bit code
    table[0b01] = 2 << 8 | 7;
    BitWriter t;
    t.put(0b1, 1).put(0b01, 2);
    LoaderRig tr(testsupport::littleEndianWords(t), 1, 1);
    phase_one_bits(*tr.s, -1);
    EXPECT_EQ(phase_one_bits(*tr.s, 2, table.data()), 42u);
    EXPECT_EQ(phase_one_bits(*tr.s, 2, table.data()), 7u);
}

TEST(PhaseOnePlain, UnscramblesWordPairsByFormat) {
    struct Case {
        int32_t format;
        uint16_t a, b;
        std::vector<uint16_t> stored, expected;
    };
    const Case cases[] = {
        {0, 0x1234, 0x5678, {0xFFFF, 0x0000, 7, 9}, {0xFFFF, 0x0000, 7, 9}},
        {1, 0x0000, 0x0000, {0xFFFF, 0x0000, 0x0F0F, 0xF0F0}, {0x5555, 0xAAAA, 0xA5A5, 0x5A5A}},
        {1, 0x00FF, 0x0000, {0xFFFF, 0x0000, 0, 0}, {0x5500, 0xAA00, 0x0055, 0x00AA}},
        {2, 0x0000, 0x0000, {0xFFFF, 0x0000, 0, 0}, {0x1354, 0xECAB, 0, 0}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = testsupport::le16({c.a, c.b});
        testsupport::append(bytes, testsupport::le16(c.stored));
        LoaderRig rig(bytes, 2, 2);
        rig.s->phase_one_format = c.format;
        rig.s->phase_one_key_offset = 0;
        rig.run(phase_one_plain_load_raw, 4);
        EXPECT_EQ(rig.raw, c.expected) << "format " << c.format;
        EXPECT_EQ(rig.s->data_error_count, 0);
    }
    LoaderRig cut(testsupport::le16({0, 0, 1, 2}), 2, 2);
    cut.run(phase_one_plain_load_raw, 4);
    EXPECT_GT(cut.s->data_error_count, 0);
}

namespace {

// One compressed row of ten columns: lengths 8 (even columns) and 7 (odd) for the coded
// group of eight, then two absolute 16-bit samples.
std::vector<uint8_t> compressed_row() {
    BitWriter w;
    w.put(0b010, 3).put(0b011, 3); // j = 1, then the table bit: 8 and 7
    const int even_diffs[4] = {10, 10, -20, 30}, odd_diffs[4] = {5, 1, 1, 1};
    for (int i = 0; i < 4; ++i) {
        w.put(uint32_t(even_diffs[i] + 127), 8);
        w.put(uint32_t(odd_diffs[i] + 63), 7);
    }
    w.put(1000, 16).put(2000, 16);
    return testsupport::littleEndianWords(w);
}

const uint16_t kRowSamples[10] = {10, 5, 20, 6, 0, 7, 30, 8, 1000, 2000};

struct CompressedFile {
    std::vector<uint8_t> bytes;
    uint64_t data_offset = 0;
};

// Strip table at 0 (both rows share one stream), row blacks at 8, column blacks at 16.
CompressedFile compressed_file(int16_t column_black_step) {
    Bytes b;
    b.u32(0).u32(0);
    for (uint16_t v : {10, 20, 30, 40})
        b.u16(v);
    for (int c = 0; c < 10; ++c)
        b.u16(uint16_t(c * column_black_step)).u16(uint16_t(2 * c * column_black_step));
    CompressedFile f;
    f.data_offset = b.size();
    b.append(compressed_row());
    f.bytes = b.data;
    return f;
}

std::unique_ptr<LoaderRig> run_compressed(int32_t format, const CompressedFile& f) {
    auto rig = std::make_unique<LoaderRig>(f.bytes, 10, 2);
    DecoderState& s = *rig->s;
    s.phase_one_format = format;
    s.phase_one_black = 100;
    s.phase_one_split_column = 5;
    s.phase_one_split_row = 1;
    s.strip_table_offset = 0;
    s.phase_one_row_blacks_offset = 8;
    s.phase_one_column_blacks_offset = 16;
    rig->run(phase_one_load_raw_c, long(f.data_offset));
    return rig;
}

} // namespace

TEST(PhaseOneCompressed, DecodesWithSplitBlacks) {
    const CompressedFile f = compressed_file(1);
    for (int32_t format : {1, 5, 8}) {
        auto rig = run_compressed(format, f);
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 10; ++col) {
                int32_t sample = kRowSamples[col];
                if (format == 5 && sample < 256) sample = int32_t(sample * sample / 3.969 + 0.5);
                const int32_t row_black = (row ? 30 : 10) + (col >= 5 ? 10 : 0);
                const int32_t col_black = row >= 1 ? 2 * col : col;
                const int32_t v = (format == 8 ? sample : sample * 4) - 100 + row_black + col_black;
                EXPECT_EQ(rig->at(row, col), v > 0 ? v : 0)
                    << "format " << format << " at " << row << "," << col;
            }
        EXPECT_EQ(rig->s->white_level, 0xFFFCu - 100);
        EXPECT_EQ(rig->s->data_error_count, 0);
    }
    // Sample 0 at (0, 4): 0 - 100 + 10 + 4 is negative, so the photosite stays 0.
    EXPECT_EQ(run_compressed(1, f)->at(0, 4), 0);
}

TEST(PhaseOneCompressed, RowsOutsideTheFileStayBlackWithAnError) {
    CompressedFile f = compressed_file(0);
    f.bytes[4] = 0xFF; // row 1 starts far past the end
    f.bytes[7] = 0x7F;
    auto rig = run_compressed(1, f);
    EXPECT_EQ(rig->at(0, 8), 1000 * 4 - 100 + 20);
    EXPECT_EQ(rig->row(1), std::vector<uint16_t>(10, 0));
    EXPECT_GT(rig->s->data_error_count, 0);
}

TEST(PhaseOneSample, HeaderOnlyCredoFailsCleanly) {
    LV_REQUIRE_SAMPLE("PhaseOne.iiq");
    testsupport::ParsedFile f(testsupport::sampleBytes("PhaseOne.iiq"));
    DecoderState& s = *f.s;
    parse_phase_one_header(s, 8);
    ASSERT_EQ(s.raw_loader, &phase_one_load_raw_c);
    std::vector<uint16_t> raw(size_t(s.sensor_width) * s.sensor_height, 0);
    s.raw_buffer = raw.data();
    std::fseek(s.input_file, long(s.sensor_data_offset), SEEK_SET);
    s.raw_loader(s);
    phase_one_correct(s);
    EXPECT_GT(s.data_error_count, 0);
    EXPECT_STREQ(s.decoder_message, "Unsupported file type");
    s.raw_buffer = nullptr;
}
