// Loaders that decode with the lossless JPEG routines: the Huffman delta format, Sony's
// Huffman columns and the 2x2 tiles.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "raw/BitReader.h"
#include "raw/DecoderError.h"
#include "raw/Loaders.h"
#include "raw/LosslessJpeg.h"
#include "tests/raw/LoaderRig.h"
#include "tests/support/BitWriter.h"
#include "tests/support/MemoryFile.h"

using namespace raw;
using testsupport::BitWriter;
using testsupport::LoaderRig;

namespace {

// Until the lossless JPEG decoder is part of the build its routines are placeholders.
bool lossless_jpeg_available() {
    testsupport::MemoryFile file(std::vector<uint8_t>{0});
    auto s = std::make_unique<DecoderState>();
    s->input_file = file.get();
    const uint16_t table[3] = {1, 0x100, 0x100};
    try {
        ljpeg_read_difference(*s, table);
        return true;
    } catch (const DecoderText&) {
        return false;
    }
}

#define REQUIRE_LOSSLESS_JPEG()                                                       \
    do {                                                                              \
        if (!lossless_jpeg_available()) GTEST_SKIP() << "lossless JPEG decoding is not built yet"; \
    } while (0)

int bit_length(int d) {
    int n = 0;
    for (int a = d < 0 ? -d : d; a; a >>= 1) ++n;
    return n;
}

// A difference after its length code, as lossless JPEG stores it.
void put_difference(BitWriter& w, testsupport::HuffmanCode code, int d) {
    ASSERT_GT(code.length, 0);
    w.put(code.code, code.length);
    const int len = bit_length(d);
    if (len) w.put(uint32_t(d > 0 ? d : d + (1 << len) - 1), len);
}

void put_u16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}

// A 12-bit lossless JPEG frame of four components with one table of two codes:
// '0' for a zero difference and '1' for a 4-bit one.
std::vector<uint8_t> four_component_frame(int high, int wide, const std::vector<int>& diffs) {
    std::vector<uint8_t> b = {0xFF, 0xD8, 0xFF, 0xC3};
    put_u16(b, 8 + 3 * 4);
    b.push_back(12);
    put_u16(b, uint32_t(high));
    put_u16(b, uint32_t(wide));
    b.push_back(4);
    for (uint8_t c = 1; c <= 4; ++c) testsupport::append(b, {c, 0x11, 0});
    testsupport::append(b, {0xFF, 0xC4});
    put_u16(b, 2 + 1 + 16 + 2);
    testsupport::append(b, {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4});
    testsupport::append(b, {0xFF, 0xDA});
    put_u16(b, 6 + 2 * 4);
    b.push_back(4);
    for (uint8_t c = 1; c <= 4; ++c) testsupport::append(b, {c, 0});
    testsupport::append(b, {1, 0, 0});
    BitWriter w(true);
    for (int d : diffs) put_difference(w, d ? testsupport::HuffmanCode{1, 1} : testsupport::HuffmanCode{0, 1}, d);
    testsupport::append(b, w.finish());
    testsupport::append(b, {0xFF, 0xD9});
    return b;
}

} // namespace

TEST(HuffmanDelta, TableFromTheFileAndTwoColumnPredictors) {
    REQUIRE_LOSSLESS_JPEG();
    // Three codes: '0' length 0, '10' length 1, '11' length 2 (starts on the 12-bit scale).
    std::vector<uint8_t> b(8, 0);
    testsupport::append(b, testsupport::le16({7})); // (7 + 12) & 15 = 3 codes
    b.resize(b.size() + 12, 0);
    testsupport::append(b, testsupport::le16({0x000, 0x800, 0xC00}));
    testsupport::append(b, {1, 2, 2});
    const long data = long(b.size());
    const testsupport::HuffmanCode codes[3] = {{0, 1}, {2, 2}, {3, 2}};
    BitWriter w;
    for (int d : {1, -1, 3, -2, 2, 0, -3, 1}) put_difference(w, codes[bit_length(d)], d);
    testsupport::append(b, w.finish());

    LoaderRig rig(b, 4, 2);
    rig.s->maker_data_offset = 8;
    rig.s->bits_per_sample = 12;
    rig.run(huffman_delta_load_raw, data);
    EXPECT_EQ(rig.raw, (std::vector<uint16_t>{1, 0xFFFF, 4, 0xFFFD, 2, 0, 0xFFFF, 1}));
    EXPECT_EQ(rig.s->data_error_count, 3); // the three values wider than 12 bits
}

TEST(SonyHuffman, ColumnsFromTheRightEvenRowsFirst) {
    REQUIRE_LOSSLESS_JPEG();
    // The built-in codes, in table order from the lowest 15-bit value up.
    const uint16_t list[18] = {0xF11, 0xF10, 0xE0F, 0xD0E, 0xC0D, 0xB0C, 0xA0B, 0x90A, 0x809,
                               0x708, 0x607, 0x506, 0x405, 0x304, 0x303, 0x300, 0x202, 0x201};
    testsupport::HuffmanCode codes[32] = {};
    uint32_t index = 0;
    for (uint16_t e : list) {
        const int len = e >> 8;
        codes[e & 0xFF] = {index >> (15 - len), len};
        index += 32768u >> len;
    }
    BitWriter w;
    for (int d : {5, 1, -2, 3, 0, 4090}) put_difference(w, codes[bit_length(d)], d);
    // Three rows, of which the third is read but not kept.
    LoaderRig rig(w.finish(), 2, 3);
    rig.s->visible_height = 2;
    rig.run(sony_huffman_load_raw);
    EXPECT_EQ(rig.raw, (std::vector<uint16_t>{7, 5, 4097, 4, 0, 0}));
    EXPECT_EQ(rig.s->data_error_count, 1); // the sum passed 12 bits
}

TEST(Ljpeg2x2Tiles, ComponentsFillCells) {
    REQUIRE_LOSSLESS_JPEG();
    // Predictor 1 from 2048: row 0 sets all four components, row 1 the first column again.
    const std::vector<int> diffs = {8, -8, 15, 0, 0, 9, -9, 12, 10, 0, 0, -10, 0, 0, 0, 0};
    const std::vector<uint8_t> frame = four_component_frame(2, 2, diffs);
    // Two tiles of 4 x 4 on a sensor 6 wide: the second tile's outer columns fall away.
    std::vector<uint8_t> b = testsupport::le16({16, 0, uint16_t(16 + frame.size()), 0});
    b.resize(16, 0);
    testsupport::append(b, frame);
    testsupport::append(b, frame);
    LoaderRig rig(b, 6, 4);
    rig.s->tiff_tile_width = 4;
    rig.s->tiff_tile_length = 4;
    rig.run(ljpeg_2x2_tiles_load_raw);
    const std::vector<std::vector<uint16_t>> expected = {
        {2056, 2040, 2056, 2049, 2056, 2040},
        {2063, 2048, 2054, 2060, 2063, 2048},
        {2066, 2040, 2066, 2040, 2066, 2040},
        {2063, 2038, 2063, 2038, 2063, 2038},
    };
    for (int r = 0; r < 4; ++r) EXPECT_EQ(rig.row(r), expected[size_t(r)]) << r;
    EXPECT_EQ(rig.s->data_error_count, 0);
}
