// Loaders that decode with the lossless JPEG routines: the Huffman delta format, Sony's
// Huffman columns and the 2x2 tiles.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "raw/core/BitReader.h"
#include "raw/core/DecoderError.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"
#include "tests/raw/LoaderRig.h"
#include "tests/support/BitWriter.h"
#include "tests/support/LosslessJpegEncoder.h"

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

// A difference after its length code, as lossless JPEG stores it.
void put_difference(BitWriter& w, testsupport::HuffmanCode code, int d) {
    ASSERT_GT(code.length, 0);
    w.put(code.code, code.length);
    const int len = bit_length(d);
    if (len) w.put(uint32_t(d > 0 ? d : d + (1 << len) - 1), len);
}

} // namespace

TEST(HuffmanDelta, TableFromTheFileAndTwoColumnPredictors) {
    // Three codes: '0' length 0, '10' length 1, '11' length 2 (starts on the 12-bit scale).
    std::vector<uint8_t> b(8, 0);
    testsupport::append(b, testsupport::le16({7})); // (7 + 12) & 15 = 3 codes
    b.resize(b.size() + 12, 0);
    testsupport::append(b, testsupport::le16({0x000, 0x800, 0xC00}));
    testsupport::append(b, {1, 2, 2});
    const long data = long(b.size());
    const testsupport::HuffmanCode codes[3] = {{0, 1}, {2, 2}, {3, 2}};
    BitWriter w;
    for (int d : {1, -1, 3, -2, 2, 0, -3, 1})
        put_difference(w, codes[bit_length(d)], d);
    testsupport::append(b, w.finish());

    LoaderRig rig(b, 4, 2);
    rig.s->maker_data_offset = 8;
    rig.s->bits_per_sample = 12;
    rig.run(huffman_delta_load_raw, data);
    EXPECT_EQ(rig.raw, (std::vector<uint16_t>{1, 0xFFFF, 4, 0xFFFD, 2, 0, 0xFFFF, 1}));
    EXPECT_EQ(rig.s->data_error_count, 3); // the three values wider than 12 bits
}

TEST(SonyHuffman, ColumnsFromTheRightEvenRowsFirst) {
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
    for (int d : {5, 1, -2, 3, 0, 4090})
        put_difference(w, codes[bit_length(d)], d);
    // Three rows, of which the third is read but not kept.
    LoaderRig rig(w.finish(), 2, 3);
    rig.s->visible_height = 2;
    rig.run(sony_huffman_load_raw);
    EXPECT_EQ(rig.raw, (std::vector<uint16_t>{7, 5, 4097, 4, 0, 0}));
    EXPECT_EQ(rig.s->data_error_count, 1); // the sum passed 12 bits
}

TEST(Ljpeg2x2Tiles, ComponentsFillCellsAndDamagedTilesLeaveHoles) {
    // Each JPEG column carries the four photosites of a 2x2 cell.
    testsupport::LosslessJpegFrame f;
    f.width = 2;
    f.height = 2;
    f.components = 4;
    f.samples = {11, 12, 21, 22, 13, 14, 23, 24, 31, 32, 41, 42, 33, 34, 43, 44};
    const std::vector<uint8_t> frame = testsupport::encodeLosslessJpeg(f);
    const std::vector<uint16_t> rows[4] = {
        {11, 12, 13, 14}, {21, 22, 23, 24}, {31, 32, 33, 34}, {41, 42, 43, 44}};

    // Three tiles of 4 x 4 on a sensor 10 wide: the third loses its outer columns; then
    // a second row of tiles whose first offset points at no frame.
    const uint16_t at = 32, next = uint16_t(32 + frame.size());
    std::vector<uint8_t> b = testsupport::le16({at, 0, next, 0, at, 0, 0, 0, at, 0, at, 0});
    b.resize(at, 0);
    testsupport::append(b, frame);
    testsupport::append(b, frame);
    LoaderRig rig(b, 10, 8);
    rig.s->tiff_tile_width = 4;
    rig.s->tiff_tile_length = 4;
    rig.run(ljpeg_2x2_tiles_load_raw);
    for (int r = 0; r < 4; ++r) {
        std::vector<uint16_t> top = rows[r], bottom(4, 0); // the hole left by the damaged tile
        top.insert(top.end(), rows[r].begin(), rows[r].end());
        bottom.insert(bottom.end(), rows[r].begin(), rows[r].end());
        for (auto* row : {&top, &bottom})
            row->insert(row->end(), rows[r].begin(), rows[r].begin() + 2);
        EXPECT_EQ(rig.row(r), top) << r;
        EXPECT_EQ(rig.row(r + 4), bottom) << r;
    }
    EXPECT_EQ(rig.s->data_error_count, 1);

    LoaderRig none(std::vector<uint8_t>(64, 0), 4, 4);
    none.s->tiff_tile_width = 4;
    none.s->tiff_tile_length = 0x7FFFFFFF; // untiled: the frame would start right here
    try {
        none.run(ljpeg_2x2_tiles_load_raw);
        ADD_FAILURE() << "data without a frame must be refused";
    } catch (const DecoderText& t) {
        EXPECT_STREQ(t.text, kNotLosslessJpegText);
    }
}
