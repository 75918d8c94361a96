#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"
#include "tests/support/BitWriter.h"

using namespace raw;
using testsupport::LoaderRig;

namespace {

void quadruple_curve(LoaderRig& rig) {
    for (uint32_t i = 0; i < 65536; ++i)
        rig.s->tone_table[i] = uint16_t(4 * i);
}

// Y 100 with Cb +20, Cr -40 gives G 105, R 65, B 125; Y 250 pushes B past 255.
const uint16_t kFirst[3] = {65 * 4, 105 * 4, 125 * 4};
const uint16_t kSecond[3] = {215 * 4, 255 * 4, 255 * 4};

} // namespace

TEST(KodakCompactLoaders, C330PairsShareTheirChroma) {
    LoaderRig rig({100, 148, 250, 88}, 2, 1);
    rig.usePixels();
    quadruple_curve(rig);
    rig.run(kodak_c330_load_raw);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(rig.pixel(0, 0)[c], kFirst[c]) << c;
        EXPECT_EQ(rig.pixel(0, 1)[c], kSecond[c]) << c;
    }
    EXPECT_EQ(rig.s->white_level, 1020u);
}

TEST(KodakCompactLoaders, C330SkipsInterleavedBlocks) {
    // With loader flags, 32 rows of other data follow every 32 rows.
    std::vector<uint8_t> bytes;
    for (int row = 0; row < 32; ++row)
        testsupport::append(bytes, {10, 128, 10, 128});
    testsupport::append(bytes, std::vector<uint8_t>(32 * 2, 0));
    testsupport::append(bytes, {90, 128, 90, 128});
    LoaderRig rig(bytes, 2, 33);
    rig.usePixels();
    rig.s->loader_flags = 1;
    rig.run(kodak_c330_load_raw);
    EXPECT_EQ(rig.pixel(31, 1)[1], 10);
    EXPECT_EQ(rig.pixel(32, 0)[1], 90);
    EXPECT_EQ(rig.s->data_error_count, 0);
}

TEST(KodakCompactLoaders, C603ReadsTwoRowsAtOnce) {
    // Even row lumas, chroma pairs, odd row lumas; a missing third row counts an error.
    LoaderRig rig({100, 250, 148, 88, 250, 100}, 2, 3);
    rig.usePixels();
    quadruple_curve(rig);
    rig.run(kodak_c603_load_raw);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(rig.pixel(0, 0)[c], kFirst[c]) << c;
        EXPECT_EQ(rig.pixel(0, 1)[c], kSecond[c]) << c;
        EXPECT_EQ(rig.pixel(1, 0)[c], kSecond[c]) << c;
        EXPECT_EQ(rig.pixel(1, 1)[c], kFirst[c]) << c;
    }
    EXPECT_EQ(rig.s->data_error_count, 1);
}

namespace {

// The loader's two tables: code counts by length, then symbols 0..9.
std::vector<uint8_t> table_source(std::vector<uint8_t> counts) {
    counts.resize(16, 0);
    for (uint8_t s = 0; s < 10; ++s)
        counts.push_back(s);
    return counts;
}

// Strip offsets (big endian) for a sensor of at most 32 rows, some filler, then one
// strip of differences coded by the checkerboard's tables.
std::vector<uint8_t> kodak_262_file(const std::vector<std::vector<int32_t>>& rows) {
    const auto codes = std::array{testsupport::canonicalHuffmanCodes(table_source({0, 1, 5, 1, 1, 2})),
                                  testsupport::canonicalHuffmanCodes(table_source({0, 3, 1, 1, 1, 1, 1, 2}))};
    testsupport::BitWriter w;
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c) {
            const int32_t d = rows[r][c];
            int n = 0;
            for (uint32_t m = uint32_t(d < 0 ? -d : d); m; m >>= 1)
                ++n;
            const auto& code = codes[(r + c) & 1][size_t(n)];
            w.put(code.code, code.length);
            w.put(uint32_t(d < 0 ? d + (1 << n) - 1 : d), n);
        }
    std::vector<uint8_t> file = {0, 0, 0, 12, 0, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE};
    testsupport::append(file, w.finish());
    return file;
}

} // namespace

TEST(Kodak262Loader, NeighboursPredictEachHalfOfTheCheckerboard) {
    LoaderRig rig(kodak_262_file({{100, 50, -10}, {20, 5, 1}}), 3, 2);
    for (uint32_t i = 0; i < 65536; ++i)
        rig.s->tone_table[i] = uint16_t(3 * i);
    rig.run(kodak_262_load_raw);
    // Row 0 has no row above: (0,2) lands on (0,0); (1,1) averages (0,0) and (0,2);
    // (1,2) has only (1,0) two to the left.
    const uint16_t expected[2][3] = {{100, 50, 90}, {20, 100, 21}};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(rig.at(r, c), 3 * expected[r][c]) << r << "," << c;
    EXPECT_EQ(rig.s->byte_order, 0x4D4D);
    EXPECT_EQ(rig.s->data_error_count, 0);
}

TEST(Kodak262Loader, ValuesBeyondEightBitsCountErrors) {
    LoaderRig rig(kodak_262_file({{300}}), 1, 1);
    rig.run(kodak_262_load_raw);
    EXPECT_EQ(rig.at(0, 0), 300 & 255);
    EXPECT_EQ(rig.s->data_error_count, 1);
}
