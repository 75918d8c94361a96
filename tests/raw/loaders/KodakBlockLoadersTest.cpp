#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "raw/loaders/KodakBlockDecode.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"
#include "tests/support/KodakBlockWriter.h"

using namespace raw;
using testsupport::LoaderRig;

namespace {

// An escaped block: six little-endian words (the first byte's low nibble above 12).
std::vector<uint8_t> absolute_block(const uint16_t (&r)[6]) {
    std::vector<uint8_t> out;
    for (uint16_t w : r)
        out.push_back(uint8_t(w)), out.push_back(uint8_t(w >> 8));
    return out;
}

constexpr uint16_t kEscaped[6] = {0x1ABD, 0x2002, 0x3003, 0x4004, 0x5005, 0x6FFF};
const std::vector<int32_t> kEscapedValues = {0x135, 0x246, 0xABD, 0x002, 0x003, 0x004, 0x005, 0xFFF};

} // namespace

TEST(KodakBlockDecode, DifferencesAndEscapedBlocks) {
    struct Case {
        std::vector<int32_t> diffs; // count 4 mod 8 starts with a 16-bit head
    };
    for (const Case& c : {Case{{5, -3, 0, 4095}}, Case{{1, -1, 2, -2, 100, -100, 2047, -4095}},
                          Case{{-7, 0, 0, 12, 300, -1, 1, 0, 0, 0, 0, 33}}}) {
        std::vector<uint8_t> bytes = testsupport::kodakDifferenceBlock(c.diffs);
        bytes.push_back(0x5A); // the next block must start right after this one
        LoaderRig rig(bytes, 1, 1);
        int16_t out[kKodakBlockRoom] = {};
        EXPECT_EQ(kodak_block_decode(*rig.s, out, int(c.diffs.size())), 0);
        for (size_t i = 0; i < c.diffs.size(); ++i)
            EXPECT_EQ(out[i], c.diffs[i]) << i;
        EXPECT_EQ(std::fgetc(rig.s->input_file), 0x5A);
        EXPECT_EQ(rig.s->data_error_count, 0);
    }

    LoaderRig rig(absolute_block(kEscaped), 1, 1);
    int16_t out[kKodakBlockRoom] = {};
    EXPECT_EQ(kodak_block_decode(*rig.s, out, 7), 1); // 7 rounds up to 8
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(out[i], kEscapedValues[i]) << i;
    EXPECT_EQ(std::fgetc(rig.s->input_file), EOF);
    EXPECT_EQ(rig.s->data_error_count, 0);
}

TEST(KodakBlockDecode, ShortDataCountsAnError) {
    LoaderRig rig({0x33, 0x33}, 1, 1);
    int16_t out[kKodakBlockRoom] = {};
    kodak_block_decode(*rig.s, out, kKodakBlockMax + 100); // also bounded to the block size
    EXPECT_GT(rig.s->data_error_count, 0);
}

TEST(KodakBlockLoader, PredictorsRunPerParityAndRestartPerBlock) {
    // Row 0: a block of 256 then one of 2; row 1: escaped blocks of absolute values.
    std::vector<int32_t> first(256, 0);
    first[0] = 10, first[1] = 7, first[2] = -4, first[3] = 1, first[5] = -9;
    std::vector<uint8_t> bytes = testsupport::kodakDifferenceBlock(first);
    testsupport::append(bytes, testsupport::kodakDifferenceBlock({3, 2}));
    for (int group = 0; group < 32 + 1; ++group)
        testsupport::append(bytes, absolute_block(kEscaped));
    LoaderRig rig(bytes, 258, 2);
    for (uint32_t i = 0; i < 65536; ++i)
        rig.s->tone_table[i] = uint16_t(i + 1);
    rig.s->tone_table[0xFFF] = 5000; // beyond 12 bits: an error, stored anyway
    rig.run(kodak_block_load_raw);
    // Column 5 went to -1: not a curve index, so nothing is stored there.
    const uint16_t row0[] = {11, 8, 7, 9, 7, 0, 7};
    for (int c = 0; c < 7; ++c)
        EXPECT_EQ(rig.at(0, c), row0[c]) << c;
    EXPECT_EQ(rig.at(0, 255), 0);
    EXPECT_EQ(rig.at(0, 256), 4);
    EXPECT_EQ(rig.at(0, 257), 3);
    for (int c = 0; c < 258; ++c)
        ASSERT_EQ(rig.at(1, c), c % 8 == 7 ? 5000 : kEscapedValues[size_t(c % 8)] + 1) << c;
    EXPECT_EQ(rig.s->data_error_count, 32); // every eighth value of the first block maps above 12 bits
}

TEST(KodakYccLoader, CellsShareTheirBlocksChroma) {
    // Two cells of 2 x 2 pixels: four luma differences, then Cb and Cr differences that
    // add up along the block.
    LoaderRig rig(testsupport::kodakDifferenceBlock({100, 10, 200, -20, 40, -20, 0, 5, 0, 0, 20, 0}), 4, 2);
    rig.usePixels();
    for (uint32_t i = 0; i < 65536; ++i)
        rig.s->tone_table[i] = uint16_t(i + 1);
    rig.run(kodak_ycc_load_raw);
    // Cell 0: cb 40, cr -20: G offset -((40 - 20 + 2) >> 2) = -5, R -25, B 35.
    // Cell 1: cb 60, cr -20: G -10, R -30, B 50; luma continues along each row.
    struct Pixel {
        int row, col;
        int luma;
        int offset[3];
    };
    const Pixel expected[] = {{0, 0, 100, {-25, -5, 35}},  {0, 1, 110, {-25, -5, 35}},
                              {1, 0, 200, {-25, -5, 35}},  {1, 1, 180, {-25, -5, 35}},
                              {0, 2, 110, {-30, -10, 50}}, {0, 3, 115, {-30, -10, 50}},
                              {1, 2, 180, {-30, -10, 50}}, {1, 3, 180, {-30, -10, 50}}};
    for (const Pixel& p : expected)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(rig.pixel(p.row, p.col)[c], p.luma + p.offset[c] + 1) << p.row << p.col << c;
    EXPECT_EQ(rig.s->data_error_count, 0);

    // Luma past 10 bits counts an error; the sum is clamped to 12 bits for the curve.
    LoaderRig bright(testsupport::kodakDifferenceBlock({4000, 0, 0, 0, 1000, 0}), 2, 2);
    bright.usePixels();
    bright.run(kodak_ycc_load_raw);
    EXPECT_EQ(bright.pixel(0, 0)[2], 4095); // 4000 + 1000 - 250
    EXPECT_EQ(bright.pixel(0, 1)[0], 3750);
    EXPECT_EQ(bright.s->data_error_count, 2);
}

TEST(KodakRgbLoader, RunningSumsGivePixels) {
    LoaderRig rig(testsupport::kodakDifferenceBlock({100, 200, 300, 5, -10, 4000}), 2, 1);
    rig.usePixels();
    rig.run(kodak_rgb_blocks_load_raw);
    const uint16_t expected[2][3] = {{100, 200, 300}, {105, 190, 4300}};
    for (int x = 0; x < 2; ++x)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(rig.pixel(0, x)[c], expected[x][c]);
    EXPECT_EQ(rig.s->data_error_count, 1); // blue above 4095
}
