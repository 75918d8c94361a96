#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"
#include "tests/raw/WordStream.h"
#include "tests/support/BitWriter.h"

using namespace raw;
using testsupport::BitWriter;
using testsupport::LoaderRig;

namespace {

void put_signed(BitWriter& w, int value, int width) { w.put(uint32_t(value) & ((1u << width) - 1), width); }

} // namespace

TEST(SamsungBlock, DecodesBlocksAndExchangesTheCellDiagonal) {
    // Row 0: horizontal, widths 7, every sample from 128 in the first group.
    BitWriter r0;
    r0.put(0, 1).put(0, 8);
    const int order[16] = {0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15};
    for (int c : order)
        put_signed(r0, c - 8, 7);
    // Row 1: vertical; widths become 5 (new), 6 (-1), 8 (+1), 7 (kept).
    BitWriter r1;
    r1.put(1, 1).put(3, 2).put(2, 2).put(1, 2).put(0, 2).put(5, 4);
    const int widths[4] = {5, 6, 8, 7};
    for (int c : order)
        put_signed(r1, c % 2 ? 3 : 2, widths[((c & 1) << 1) | (c >> 3)]);

    std::vector<uint8_t> row0 = testsupport::littleEndianWords(r0), row1 = testsupport::littleEndianWords(r1);
    std::vector<uint8_t> file = testsupport::le16({0, 0, uint16_t(row0.size()), 0}); // strip table
    const long data = long(file.size());
    testsupport::append(file, row0);
    testsupport::append(file, row1);
    LoaderRig rig(file, 16, 2);
    rig.s->byte_order = 0x4D4D; // the loader reads little endian whatever the file said
    rig.s->strip_table_offset = 0;
    rig.run(samsung_block_load_raw, data);
    // Before the exchange: row 0 = 120 + c; row 1 = 122 + c (even, from above) and 3 (odd,
    // nothing two rows up).
    for (int k = 0; k < 16; k += 2) {
        EXPECT_EQ(rig.at(0, k), 120 + k) << k;
        EXPECT_EQ(rig.at(0, k + 1), 122 + k) << k;
        EXPECT_EQ(rig.at(1, k), 121 + k) << k;
        EXPECT_EQ(rig.at(1, k + 1), 3) << k;
    }
    EXPECT_EQ(rig.s->data_error_count, 0);

    // A strip offset beyond the file leaves its row empty and counts.
    std::vector<uint8_t> damaged = file;
    damaged[7] = 0x70;
    LoaderRig bad(damaged, 16, 2);
    bad.s->strip_table_offset = 0;
    bad.run(samsung_block_load_raw, data);
    EXPECT_GT(bad.s->data_error_count, 0);
    EXPECT_EQ(bad.at(0, 0), 120);
}

TEST(SamsungHuffman, DecodesWithTheBuiltInTable) {
    BitWriter w;
    w.put(0b1100, 4).put(0b101, 3); // 5
    w.put(0b1111, 4).put(0b10, 2);  // 2
    w.put(0b1100, 4).put(0b011, 3); // 3 - 7 = -4, added to 5
    w.put(0b110100, 6);             // 0
    w.put(0b11011, 5).put(0b1, 1);  // 1
    w.put(0b1100, 4).put(0b111, 3); // 7
    w.put(0, 32);                   // room for the last peek
    LoaderRig rig(w.finish(0), 3, 2);
    rig.s->bits_per_sample = 12;
    rig.run(samsung_huffman_load_raw);
    EXPECT_EQ(rig.raw, (std::vector<uint16_t>{5, 2, 1, 0, 1, 7}));
    EXPECT_EQ(rig.s->data_error_count, 0);
}

namespace {

// One row of the adaptive layout: per group a mode bit and four width codes, then 16
// signed fields; the stream padded to 48 bytes so the next row starts on a boundary.
std::vector<uint8_t> adaptive_row(const std::vector<uint32_t>& modes,
                                  const std::vector<std::vector<int>>& widths,
                                  const std::vector<std::vector<int>>& diffs) {
    BitWriter w;
    for (size_t g = 0; g < modes.size(); ++g) {
        w.put(modes[g], 1);
        for (int k = 0; k < 4; ++k)
            w.put(1, 2); // each pair's older width plus one
        for (int c = 0; c < 16; ++c)
            put_signed(w, diffs[g][size_t(c)], widths[g][size_t(c / 4)]);
    }
    return testsupport::littleEndianWords(w, 48);
}

} // namespace

TEST(SamsungAdaptive, PredictsAlongRowsThenFromReferenceRows) {
    std::vector<uint8_t> file(9, 0);
    file.push_back(7); // options: no magnitudes, one mode bit, widths every group
    file.push_back(0);
    file.push_back(0);
    testsupport::append(file, testsupport::le16({1000}));
    file.resize(16, 0);
    std::vector<int> diffs(16);
    for (int c = 0; c < 16; ++c)
        diffs[size_t(c)] = c - 5;
    const std::vector<int> zeros(16, 0);
    // Rows 0-1 start their widths at 7, later rows at 4, and every group widens them; odd
    // rows update pairs 2 and 0, so their samples 8..15 keep pair 1's starting width.
    testsupport::append(file, adaptive_row({0, 0}, {{8, 8, 8, 8}, {9, 9, 9, 9}}, {diffs, zeros}));
    testsupport::append(file, adaptive_row({0, 0}, {{8, 8, 7, 7}, {9, 9, 7, 7}}, {zeros, diffs}));
    testsupport::append(file, adaptive_row({1, 1}, {{5, 5, 5, 5}, {6, 6, 6, 6}}, {zeros, zeros}));
    LoaderRig rig(file, 32, 3);
    rig.run(samsung_adaptive_load_raw);

    // Row 0, first group: the initial value plus each difference; sample c lands on
    // column 2c (c < 8) or 2(c - 8) + 1.
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(rig.at(0, c < 8 ? 2 * c : 2 * (c - 8) + 1), 1000 + c - 5) << c;
    // Row 0, second group: zero differences repeat the last photosite of the same parity.
    for (int col = 16; col < 32; ++col)
        EXPECT_EQ(rig.at(0, col), rig.at(0, 14 + (col & 1))) << col;
    // Row 1: the first group from the initial value, the second adds to it.
    for (int col = 0; col < 16; ++col)
        EXPECT_EQ(rig.at(1, col), 1000) << col;
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(rig.at(1, 16 + (c < 8 ? 2 * c + 1 : 2 * (c - 8))), 1000 + c - 5) << c;
    // Row 2, mode 3: even columns take row 1 one column right, odd columns row 0.
    for (int col = 0; col < 32; ++col)
        EXPECT_EQ(rig.at(2, col), col % 2 ? rig.at(0, col) : (col + 1 < 32 ? rig.at(1, col + 1) : 0)) << col;
    EXPECT_EQ(rig.s->data_error_count, 0);
}

TEST(SamsungLoaders, ShortStreamsCountAnError) {
    struct Case {
        const char* name;
        Routine loader;
    };
    const Case cases[] = {
        {"block", samsung_block_load_raw},
        {"huffman", samsung_huffman_load_raw},
        {"adaptive", samsung_adaptive_load_raw},
    };
    for (const Case& c : cases) {
        LoaderRig rig(std::vector<uint8_t>(20, 0), 32, 8);
        rig.s->bits_per_sample = 12;
        rig.run(c.loader);
        EXPECT_GT(rig.s->data_error_count, 0) << c.name;
    }
}
