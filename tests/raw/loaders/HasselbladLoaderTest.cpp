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

// A lossless-JPEG header whose table 0 codes the lengths 4 ("0"), 0 ("10") and 8 ("11").
// Its one-component frame header is followed by the byte such files carry there.
std::vector<uint8_t> header(uint8_t predictor) {
    return {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 22,   0x00, 1, 2,    0,    0,    0,         0,  0,    0, 0,    0, 0,
            0,    0,    0,    0,    0,    4,    0,    8, 0xFF, 0xC3, 0x00, 11,        12, 0x00, 2, 0x00, 2, 1,
            1,    0x11, 0,    0,    0xFF, 0xDA, 0x00, 8, 1,    1,    0x00, predictor, 0,  0};
}

struct Diff {
    int length; // 0, 4 or 8
    uint32_t bits;
};

void put_length(BitWriter& w, int length) {
    if (length == 4) w.put(0b0, 1);
    if (length == 0) w.put(0b10, 2);
    if (length == 8) w.put(0b11, 2);
}

// Differences in pairs: both lengths, then both values.
void put_pairs(BitWriter& w, const std::vector<Diff>& diffs) {
    for (size_t i = 0; i + 1 < diffs.size(); i += 2) {
        put_length(w, diffs[i].length);
        put_length(w, diffs[i + 1].length);
        w.put(diffs[i].bits, diffs[i].length);
        w.put(diffs[i + 1].bits, diffs[i + 1].length);
    }
}

std::vector<uint8_t> file(uint8_t predictor, BitWriter& w) {
    std::vector<uint8_t> out = header(predictor);
    w.put(0, 32).put(0, 32);
    const std::vector<uint8_t> bytes = testsupport::littleEndianWords(w);
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

const Diff kZero{0, 0};

} // namespace

TEST(Hasselblad, SingleShotPredictsFromTwoColumnsLeft) {
    BitWriter w;
    // Row 0: +10 (top bit set) and 3 - 15 = -12, then nothing; row 1: +128, 0, then nothing.
    put_pairs(w, {{4, 0b1010}, {4, 0b0011}, kZero, kZero});
    put_pairs(w, {{8, 0x80}, kZero, kZero, kZero});
    LoaderRig rig(file(1, w), 4, 2);
    rig.s->samples_per_pixel = 1;
    rig.run(hasselblad_load_raw);
    EXPECT_EQ(rig.raw, (std::vector<uint16_t>{32778, 32756, 32778, 32756, 32896, 32768, 32896, 32768}));
    EXPECT_EQ(rig.s->merge_greens, 0);
}

TEST(Hasselblad, TwoShotsHalveValuesAndKeepTheChosenShot) {
    BitWriter w;
    // Column 0: shots +10, +12; column 1: shots 0, +144.
    put_pairs(w, {{4, 0b1010}, {4, 0b1100}, kZero, {8, 0x90}});
    LoaderRig rig(file(1, w), 2, 1);
    rig.s->samples_per_pixel = 2;
    rig.s->shot_index = 2;
    rig.s->channel_black[6] = 100;
    rig.run(hasselblad_load_raw);
    EXPECT_EQ(rig.raw, (std::vector<uint16_t>{(32768 + 22) >> 1, (32768 + 144) >> 1}));
    EXPECT_EQ(rig.s->channel_black[6], 50);
}

TEST(Hasselblad, FifthShotIsAveragedIntoThePixel) {
    BitWriter w;
    std::vector<Diff> row0(10, kZero), row1(10, kZero);
    row0[4] = {8, 0x90}; // column 0, shot 4
    put_pairs(w, row0);
    put_pairs(w, row1);
    LoaderRig rig(file(1, w), 2, 2);
    rig.usePixels();
    rig.s->samples_per_pixel = 5;
    rig.run(hasselblad_load_raw);
    EXPECT_EQ(rig.pixel(0, 0)[0], (16384 + ((32768 + 144) >> 1)) >> 1);
    EXPECT_EQ(rig.pixel(0, 0)[1], 16384);
    EXPECT_EQ(rig.pixel(1, 0)[0], 16384); // shot 1 of row 0 one row down
    EXPECT_EQ(rig.pixel(1, 0)[3], 16384); // shot 0 of row 1
    EXPECT_EQ(rig.s->merge_greens, 1);
}

TEST(Hasselblad, RejectedHeadersAndDamageLeaveTheBufferAlone) {
    std::vector<uint8_t> not_jpeg(64, 0x11);
    LoaderRig rig(not_jpeg, 4, 2);
    rig.run(hasselblad_load_raw);
    EXPECT_EQ(rig.raw, std::vector<uint16_t>(8, 0));

    BitWriter w;
    LoaderRig many(file(1, w), 4, 2);
    many.s->samples_per_pixel = 1000;
    many.run(hasselblad_load_raw);
    EXPECT_EQ(many.raw, std::vector<uint16_t>(8, 0));
    EXPECT_GT(many.s->data_error_count, 0);

    // Data that ends early stops the rows with a data error.
    BitWriter short_data;
    put_pairs(short_data, {{4, 0b1010}, {4, 0b0011}});
    std::vector<uint8_t> bytes = file(1, short_data);
    LoaderRig cut(bytes, 64, 64);
    cut.s->samples_per_pixel = 1;
    cut.run(hasselblad_load_raw);
    EXPECT_EQ(cut.at(0, 0), 32778);
    EXPECT_GT(cut.s->data_error_count, 0);
}
