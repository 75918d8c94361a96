#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"
#include "tests/support/BitWriter.h"

using namespace raw;
using testsupport::BitWriter;
using testsupport::LoaderRig;

namespace {

// The two trees the test streams use: before and after the split row.
const std::vector<uint8_t> kTree0 = {0, 1, 5, 1, 1, 1, 1, 1, 1, 2, 0, 0,  0,  0, 0,
                                     0, 5, 4, 3, 6, 2, 7, 1, 0, 8, 9, 11, 10, 12};
const std::vector<uint8_t> kTree1 = {0, 1,    5,    1,    1,    1,    1, 1, 1, 2, 0, 0, 0,  0,  0,
                                     0, 0x39, 0x5A, 0x38, 0x27, 0x16, 5, 4, 3, 2, 1, 0, 11, 12, 12};

int bit_length(int d) {
    int n = 0;
    for (int a = d < 0 ? -d : d; a; a >>= 1)
        ++n;
    return n;
}

// A difference as the loader reads it: the code of its length, then its bits.
void put_difference(BitWriter& w, const std::vector<uint8_t>& tree, int d) {
    const auto codes = testsupport::canonicalHuffmanCodes(tree);
    const int len = bit_length(d);
    ASSERT_GT(codes[len].length, 0) << "no code for length " << len;
    w.put(codes[len].code, codes[len].length);
    if (len) w.put(uint32_t(d > 0 ? d : d + (1 << len) - 1), len);
}

struct NikonFile {
    std::vector<uint8_t> bytes;
    uint64_t data_offset;
};

constexpr uint64_t kMakerOffset = 16;

// Maker data: version bytes, the four vertical predictors, the curve, the split row.
NikonFile nikon_file(uint8_t v0, uint8_t v1, const std::vector<uint16_t>& predictors,
                     const std::vector<uint16_t>& curve, uint16_t split, const std::vector<uint8_t>& stream) {
    std::vector<uint8_t> b(kMakerOffset, 0);
    b.push_back(v0);
    b.push_back(v1);
    testsupport::append(b, testsupport::le16(predictors));
    testsupport::append(b, testsupport::le16({uint16_t(curve.size())}));
    testsupport::append(b, testsupport::le16(curve));
    b.resize(kMakerOffset + 562, 0);
    testsupport::append(b, testsupport::le16({split}));
    const uint64_t data = b.size() + 6;
    b.resize(data, 0);
    testsupport::append(b, stream);
    return {b, data};
}

std::unique_ptr<LoaderRig> run_nikon(const NikonFile& f, uint16_t width, uint16_t height) {
    auto rig = std::make_unique<LoaderRig>(f.bytes, width, height);
    rig->s->bits_per_sample = 12;
    rig->s->maker_data_offset = kMakerOffset;
    rig->run(nikon_compressed_load_raw, long(f.data_offset));
    return rig;
}

} // namespace

TEST(NikonCompressed, CurveAndSplitRow) {
    // Deltas per row; rows 2 and 3 use the second tree, which also allows 32 more.
    const int deltas[4][4] = {{10, -5, 20, -5}, {1, -1, 31, -31}, {10, -15, 30, -10}, {3799, 3721, -31, -20}};
    BitWriter w;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            put_difference(w, r < 2 ? kTree0 : kTree1, deltas[r][c]);
    std::vector<uint16_t> curve(257);
    for (int k = 0; k < 257; ++k)
        curve[size_t(k)] = uint16_t(k * 16 * 15); // 15 x, once filled in
    const NikonFile f = nikon_file(0x44, 0x20, {100, 200, 300, 400}, curve, 2, w.finish());

    auto rig = run_nikon(f, 4, 4);
    const std::vector<uint16_t> expected = {
        15 * 110, 15 * 195, 15 * 130,  15 * 190, // from the vertical predictors 100, 200
        15 * 301, 15 * 399, 15 * 332,  15 * 368, // ... 300, 400
        15 * 120, 15 * 180, 15 * 150,  15 * 170, // second tree
        4100,     4120,     15 * 4069, 4100,     // 4100 and 4120 lie beyond the filled curve
    };
    EXPECT_EQ(rig->raw, expected);
    // 4100 + 16 fits below 4096 + 32; 4120 + 16 does not.
    EXPECT_EQ(rig->s->data_error_count, 1);
}

TEST(NikonCompressed, FlatCurveStopsTrimmingAtTwoEntries) {
    // A two-entry curve of equal values: the range limit stays 2, so 1 is in range.
    BitWriter w;
    for (int i = 0; i < 4; ++i)
        put_difference(w, kTree0, 0);
    const NikonFile f = nikon_file(0x00, 0x00, {1, 1, 1, 1}, {5, 5}, 0, w.finish());
    auto rig = run_nikon(f, 2, 2);
    EXPECT_EQ(rig->raw, std::vector<uint16_t>(4, 5));
    EXPECT_EQ(rig->s->data_error_count, 0);
}

TEST(NikonCompressed, TruncatedStreamStops) {
    BitWriter w;
    for (int i = 0; i < 6; ++i)
        put_difference(w, kTree0, 100);
    const NikonFile f = nikon_file(0x44, 0x20, {0, 0, 0, 0}, {0, 4095}, 0, w.finish());
    auto rig = run_nikon(f, 64, 2000);
    EXPECT_GT(rig->s->data_error_count, 0);
    EXPECT_EQ(rig->at(1999, 63), 0); // not decoded from the end-of-file bits
}

TEST(Nikon14Bit, GroupsOfFourInPaddedRows) {
    // Six columns: one whole group per row, the partial group stays 0; rows are 16 bytes.
    auto group = [](uint64_t a, uint64_t b, uint64_t c, uint64_t d) {
        const uint64_t bits = a | b << 14 | c << 28 | d << 42;
        std::vector<uint8_t> out;
        for (int i = 0; i < 7; ++i)
            out.push_back(uint8_t(bits >> (8 * i)));
        out.resize(16, 0xEE);
        return out;
    };
    std::vector<uint8_t> bytes = group(0x3FFF, 1, 0x2AAA, 0x1555);
    testsupport::append(bytes, group(0, 16383, 8192, 7));
    testsupport::append(bytes, {1, 2, 3, 4, 5}); // a third row cut short
    LoaderRig rig(bytes, 6, 3);
    rig.run(nikon_14bit_load_raw);
    EXPECT_EQ(rig.raw, (std::vector<uint16_t>{0x3FFF, 1, 0x2AAA, 0x1555, 0, 0, 0, 16383, 8192, 7, 0, 0, 0, 0,
                                              0, 0, 0, 0}));
    EXPECT_EQ(rig.s->data_error_count, 1);
}

TEST(YCbCr12Pair, ConvertsThroughCurveAndMultipliers) {
    auto pair = [](uint64_t y0, uint64_t y1, int cb, int cr) {
        const uint64_t bits = y0 | y1 << 12 | uint64_t(cb + 2048) << 24 | uint64_t(cr + 2048) << 36;
        std::vector<uint8_t> out;
        for (int i = 0; i < 6; ++i)
            out.push_back(uint8_t(bits >> (8 * i)));
        return out;
    };
    std::vector<uint8_t> bytes = pair(1000, 2000, 100, -50);
    testsupport::append(bytes, pair(4095, 0, 2047, -2048));
    LoaderRig rig(bytes, 2, 2);
    rig.usePixels();
    const float multipliers[4] = {2, 1, 0.5f, 1};
    std::copy(multipliers, multipliers + 4, rig.s->as_shot_multipliers);
    rig.run(ycbcr12_pair_load_raw);
    // R = Y + 1.370705 Cr, G = Y - 0.337633 Cb - 0.698001 Cr, B = Y + 1.732446 Cb.
    const uint16_t expected[4][3] = {{931 / 2, 1001, 1173 * 2},
                                     {1931 / 2, 2001, 2173 * 2},
                                     {1287 / 2, 4095, 4095 * 2},
                                     {0, 738, 3546 * 2}};
    for (int p = 0; p < 4; ++p)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(rig.pixel(p / 2, p % 2)[c], expected[p][c]) << p << "," << c;
}
