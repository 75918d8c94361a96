#include <gtest/gtest.h>

#include <vector>

#include "raw/loaders/CanonCrwTables.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"
#include "tests/support/BitWriter.h"

using namespace raw;
using testsupport::BitWriter;
using testsupport::LoaderRig;

namespace {

int bit_length(int d) {
    int n = 0;
    for (int a = d < 0 ? -d : d; a; a >>= 1)
        ++n;
    return n;
}

// One block of 64 differences as table set 0 codes it: the first difference, then
// (zero run, length) codes for the others, then the end-of-block code.
void put_block(BitWriter& w, const std::vector<int>& diffs) {
    static const auto first =
        testsupport::canonicalHuffmanCodes({kCanonFirstTables[0], kCanonFirstTables[0] + 29});
    static const auto second =
        testsupport::canonicalHuffmanCodes({kCanonSecondTables[0], kCanonSecondTables[0] + 180});
    auto put = [&](const testsupport::HuffmanCode& code, int d) {
        ASSERT_GT(code.length, 0);
        w.put(code.code, code.length);
        const int len = bit_length(d);
        if (len) w.put(uint32_t(d > 0 ? d : d + (1 << len) - 1), len);
    };
    put(first[bit_length(diffs[0])], diffs[0]);
    size_t next = 1;
    for (size_t i = 1; i < diffs.size(); ++i) {
        if (!diffs[i]) continue;
        put(second[(i - next) << 4 | bit_length(diffs[i])], diffs[i]);
        next = i + 1;
    }
    if (next < 64) w.put(second[0].code, second[0].length);
}

} // namespace

TEST(CanonCrw, BlocksWithoutLowBits) {
    // One 64-column row per block; the first difference carries over from block to block.
    BitWriter w(true);
    put_block(w, {10, 5, -3});
    std::vector<int> second(8, 0);
    second[0] = -4;
    second[5] = 600;
    second[7] = -600;
    put_block(w, second);
    std::vector<uint8_t> bytes(540, 0);
    testsupport::append(bytes, w.finish());
    testsupport::append(bytes, {0, 0, 0, 0, 0xFF, 0x00}); // stuffed data: no separate low bits

    LoaderRig rig(bytes, 64, 2);
    rig.run(canon_crw_load_raw);
    std::vector<uint16_t> row0(64), row1(64);
    for (int c = 0; c < 64; ++c) {
        row0[size_t(c)] = c == 0 ? 522 : c % 2 ? 517 : 519;
        row1[size_t(c)] = c % 2 == 0 ? 518 : c == 5 ? 1112 : 512;
    }
    EXPECT_EQ(rig.row(0), row0);
    EXPECT_EQ(rig.row(1), row1);
    EXPECT_EQ(rig.s->white_level, 0x3FFu);
    EXPECT_EQ(rig.s->data_error_count, 1); // 1112 needs more than 10 bits
}

TEST(CanonCrw, LowBitsOfAShortBandAndTheWidth2672Rule) {
    // One row of 2672: 41 whole blocks (the last 48 columns are not coded), then the low
    // bits of a band of 8 rows, of which only the first row exists.
    constexpr uint16_t kWidth = 2672;
    BitWriter w(true);
    for (int b = 0; b < kWidth / 64; ++b)
        put_block(w, {0});
    std::vector<uint8_t> bytes(26, 0);
    bytes.resize(26 + kWidth / 4, 0x1B); // low parts 3, 2, 1, 0 for every four samples
    bytes.resize(700, 0);
    testsupport::append(bytes, {0xFF, 0x01}); // a byte that stuffed data cannot hold
    bytes.resize(540 + kWidth / 4, 0);
    testsupport::append(bytes, w.finish());
    bytes.resize(bytes.size() + 6000, 0); // what the band's missing rows would read

    LoaderRig rig(bytes, kWidth, 1);
    rig.s->white_level = 4095;
    rig.run(canon_crw_load_raw);
    for (int c = 0; c < kWidth; ++c) {
        const uint16_t low = uint16_t(3 - c % 4);
        // Coded samples are 512; the uncoded tail is 0 and gains 2 below 512.
        const uint16_t expected = c < 41 * 64 ? uint16_t(512 * 4 + low) : uint16_t(low + 2);
        ASSERT_EQ(rig.at(0, c), expected) << c;
    }
    EXPECT_EQ(rig.s->white_level, 4095u);
    EXPECT_EQ(rig.s->data_error_count, 0);
}

TEST(CanonCrw, TruncatedDataStops) {
    BitWriter w(true);
    put_block(w, {3, 1});
    std::vector<uint8_t> bytes(540, 0);
    testsupport::append(bytes, w.finish());
    LoaderRig rig(bytes, 64, 800);
    rig.run(canon_crw_load_raw);
    EXPECT_GT(rig.s->data_error_count, 0);
    EXPECT_EQ(rig.at(799, 63), 0);
}
