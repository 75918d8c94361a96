#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "raw/core/DecoderError.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/PanasonicBits.h"
#include "tests/raw/LoaderRig.h"

using namespace raw;
using testsupport::LoaderRig;

namespace {

// Writes a page as panasonic_bits reads it: values placed backwards from the page's end,
// in the 16-bit little-endian word at (position / 8) xor 0x3FF0.
class PageWriter {
  public:
    void put(int n, uint32_t value) {
        position_ = (position_ - uint32_t(n)) & 0x1FFFF;
        const uint32_t byte = (position_ >> 3) ^ 0x3FF0;
        for (int i = 0; i < n; ++i) {
            const uint32_t bit = (position_ & 7) + uint32_t(i);
            const uint32_t at = byte + bit / 8;
            ASSERT_TRUE(used_.insert(at * 8 + bit % 8).second) << "bit written twice";
            if (value >> i & 1) page_[at] |= uint8_t(1 << (bit % 8));
        }
    }
    std::vector<uint8_t> page() const { return {page_.begin(), page_.begin() + kPanasonicPage}; }

  private:
    std::vector<uint8_t> page_ = std::vector<uint8_t>(kPanasonicPage + 2, 0);
    uint32_t position_ = 0;
    std::set<uint32_t> used_;
};

// One block of 14 samples with every flag set at the start: exactly 128 bits.
struct BlockCode {
    uint32_t flag0, low0, flag1, low1;
    uint32_t shifts[4]; // before samples 2, 5, 8 and 11
    uint32_t steps[12]; // samples 2..13
};

void put_block(PageWriter& w, const BlockCode& b) {
    w.put(8, b.flag0);
    w.put(4, b.low0);
    w.put(8, b.flag1);
    w.put(4, b.low1);
    for (int i = 2; i < 14; ++i) {
        if (i % 3 == 2) w.put(2, b.shifts[(i - 2) / 3]);
        w.put(8, b.steps[i - 2]);
    }
}

// 14-bit blocks of 9 samples and 12-bit blocks of 10, as encodings 5 and 7 store them.
std::vector<uint8_t> fixed_block(int depth, const std::vector<uint64_t>& v) {
    std::vector<uint8_t> b(16, 0);
    if (depth == 14) {
        for (int g = 0; g < 2; ++g) {
            const uint64_t bits = v[4 * g] | v[4 * g + 1] << 14 | v[4 * g + 2] << 28 | v[4 * g + 3] << 42;
            for (int i = 0; i < 7; ++i)
                b[size_t(7 * g + i)] = uint8_t(bits >> (8 * i));
        }
        b[14] = uint8_t(v[8]);
        b[15] = uint8_t(v[8] >> 8);
    } else {
        for (int j = 0; j < 5; ++j) {
            const uint64_t bits = v[2 * j] | v[2 * j + 1] << 12;
            for (int i = 0; i < 3; ++i)
                b[size_t(3 * j + i)] = uint8_t(bits >> (8 * i));
        }
    }
    return b;
}

std::vector<uint64_t> counting(uint64_t from, int n) {
    std::vector<uint64_t> v;
    for (int i = 0; i < n; ++i)
        v.push_back(from + uint64_t(i) * 400);
    return v;
}

// The inverse of the encoding-6 field layout.
std::vector<uint8_t> c6_block(const uint16_t (&f)[14]) {
    std::vector<uint8_t> d(16, 0);
    d[15] = uint8_t(f[0] >> 6);
    d[14] = uint8_t((f[0] & 0x3F) << 2 | (f[1] >> 12 & 3));
    d[13] = uint8_t(f[1] >> 4);
    d[12] = uint8_t((f[1] & 15) << 4);
    for (int g = 0; g < 3; ++g) {
        const int k = 12 - 4 * g;
        const uint16_t scale = f[2 + 4 * g], a = f[3 + 4 * g], b = f[4 + 4 * g], c = f[5 + 4 * g];
        d[size_t(k)] |= uint8_t(scale << 2 | a >> 8);
        d[size_t(k - 1)] = uint8_t(a);
        d[size_t(k - 2)] = uint8_t(b >> 2);
        d[size_t(k - 3)] = uint8_t((b & 3) << 6 | c >> 4);
        d[size_t(k - 4)] |= uint8_t((c & 15) << 4);
    }
    return d;
}

const uint16_t kC6Fields[14] = {100, 200, 1, 300, 50, 10, 3, 1000, 0, 1023, 0, 700, 5, 12};
const std::vector<uint16_t> kC6Row = {85, 185, 585, 85, 5, 15985, 0, 16353, 685, 15846, 185};

} // namespace

TEST(PanasonicBlocks, OriginalBlockCode) {
    // Shift codes 3, 0, 2, 1 give shifts 4, 0, 2, 1.
    const BlockCode first = {
        0x12, 3, 0x45, 6, {3, 0, 2, 1}, {0x78, 0, 0x10, 0x20, 0, 1, 0xFF, 0xFF, 0x80, 0x40, 0, 0xFF}};
    const BlockCode high = {0xFF, 0xF, 0x01, 0, {2, 3, 3, 3}, {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
    PageWriter w;
    put_block(w, first);
    put_block(w, high);
    LoaderRig rig(w.page(), 28, 1);
    rig.s->visible_width = 17; // of the values above 4098 only column 16 lies inside
    rig.run(panasonic_blocks_load_raw);
    const std::vector<uint16_t> expected = {291,  1110, 1923, 1110, 259,  1014, 259,  887, 1023, 1395,
                                            1023, 1267, 1023, 1521, 4095, 16,   4603, 16,  4603, 16,
                                            4603, 16,   4603, 16,   4603, 16,   4603, 16};
    EXPECT_EQ(rig.row(0), expected);
    EXPECT_EQ(rig.s->data_error_count, 1);
}

TEST(PanasonicBlocks, PageSplitAndShortFile) {
    // The page's bytes from the split point on come first in the file.
    PageWriter w;
    put_block(w,
              {0x12, 3, 0x45, 6, {3, 0, 2, 1}, {0x78, 0, 0x10, 0x20, 0, 1, 0xFF, 0xFF, 0x80, 0x40, 0, 0xFF}});
    const std::vector<uint8_t> page = w.page();
    std::vector<uint8_t> file(page.begin() + 100, page.end());
    file.insert(file.end(), page.begin(), page.begin() + 100);
    LoaderRig rig(file, 14, 1);
    rig.s->loader_flags = 100;
    rig.run(panasonic_blocks_load_raw);
    EXPECT_EQ(rig.at(0, 13), 1521);
    EXPECT_EQ(rig.s->data_error_count, 0);

    // A file that ends before the first block's bytes: decoding stops after one row.
    LoaderRig cut(std::vector<uint8_t>(8, 0), 14, 50);
    cut.run(panasonic_blocks_load_raw);
    EXPECT_GT(cut.s->data_error_count, 0);
    EXPECT_EQ(cut.row(1), std::vector<uint16_t>(14, 0));
}

TEST(PanasonicBlocks, Encoding5CopiesBlocksOutOfThePage) {
    for (int depth : {12, 14}) {
        const int per_block = depth == 14 ? 9 : 10;
        // Two rows of two blocks; with a split of 16 the first block lies at the page's end.
        std::vector<std::vector<uint8_t>> blocks;
        for (int b = 0; b < 4; ++b)
            blocks.push_back(fixed_block(depth, counting(uint64_t(b + 1), per_block)));
        std::vector<uint8_t> file;
        for (int b = 1; b < 4; ++b)
            testsupport::append(file, blocks[size_t(b)]);
        file.resize(kPanasonicPage - 16, 0);
        testsupport::append(file, blocks[0]);

        LoaderRig rig(file, uint16_t(2 * per_block), 2);
        rig.s->panasonic_encoding = 5;
        rig.s->panasonic_bit_depth = depth;
        rig.s->loader_flags = 16;
        rig.run(panasonic_blocks_load_raw);
        for (int b = 0; b < 4; ++b)
            for (int i = 0; i < per_block; ++i)
                EXPECT_EQ(rig.at(b / 2, (b % 2) * per_block + i), (b + 1) + i * 400)
                    << depth << " " << b << " " << i;
        EXPECT_EQ(rig.s->bits_per_sample, uint32_t(depth));
        EXPECT_EQ(rig.s->white_level, (1u << depth) - 1);
        EXPECT_EQ(rig.s->data_error_count, 0);
    }
}

TEST(PanasonicBlocks, Encoding7ReadsWholeGroupsOf16Rows) {
    for (int depth : {12, 14}) {
        const int per_block = depth == 14 ? 9 : 10;
        std::vector<uint8_t> file;
        for (int r = 0; r < 16; ++r)
            for (int b = 0; b < 2; ++b)
                testsupport::append(file, fixed_block(depth, counting(uint64_t(r * 2 + b), per_block)));
        LoaderRig rig(file, uint16_t(2 * per_block + 3), 17); // 3 columns without a whole block
        rig.s->panasonic_encoding = 7;
        rig.s->panasonic_bit_depth = depth;
        rig.run(panasonic_blocks_load_raw);
        for (int r = 0; r < 16; ++r)
            for (int c = 0; c < 2 * per_block; ++c)
                ASSERT_EQ(rig.at(r, c), (r * 2 + c / per_block) + (c % per_block) * 400)
                    << depth << " " << r << "," << c;
        EXPECT_EQ(rig.row(16), std::vector<uint16_t>(size_t(2 * per_block + 3), 0)) << depth;
        EXPECT_EQ(rig.s->white_level, (1u << depth) - 1);

        file.pop_back();
        LoaderRig cut(file, uint16_t(2 * per_block), 16);
        cut.s->panasonic_bit_depth = depth;
        try {
            cut.run(panasonicC7_load_raw);
            ADD_FAILURE() << "a short group must throw";
        } catch (const DecoderText& t) {
            EXPECT_STREQ(t.text, "Unexpected EOF in panasonicC7_load_raw");
        }
    }
}

TEST(PanasonicBlocks, Encoding6FieldsAndPredictors) {
    const std::vector<uint8_t> block = c6_block(kC6Fields);
    auto s = std::make_unique<DecoderState>();
    uint16_t fields[14];
    pana_cs6_page_decoder(*s, block.data(), 16, fields);
    EXPECT_EQ(std::vector<uint16_t>(fields, fields + 14), std::vector<uint16_t>(kC6Fields, kC6Fields + 14));
    EXPECT_THROW(pana_cs6_page_decoder(*s, nullptr, 16, fields), DecoderText);

    std::vector<uint8_t> file;
    for (int r = 0; r < 16; ++r)
        testsupport::append(file, block);
    LoaderRig rig(file, 11, 20); // rows 16 to 19 lie beyond the last whole group
    rig.s->panasonic_encoding = 6;
    rig.s->panasonic_bit_depth = 14;
    rig.run(panasonic_blocks_load_raw);
    for (int r = 0; r < 16; ++r)
        EXPECT_EQ(rig.row(r), kC6Row) << r;
    EXPECT_EQ(rig.row(19), std::vector<uint16_t>(11, 0));
    EXPECT_EQ(rig.s->white_level, 0x3FFFu);

    LoaderRig cut(std::vector<uint8_t>(file.begin(), file.end() - 1), 11, 16);
    try {
        cut.run(panasonicC6_load_raw);
        ADD_FAILURE() << "a short group must throw";
    } catch (const DecoderText& t) {
        EXPECT_STREQ(t.text, "Unexpected EOF in panasonicC6_load_raw");
    }
}
