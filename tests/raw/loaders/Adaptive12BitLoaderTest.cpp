#include <gtest/gtest.h>

#include <vector>

#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"
#include "tests/support/BitWriter.h"

using namespace raw;
using testsupport::BitWriter;
using testsupport::LoaderRig;

namespace {

// One sample: sign and low bits, the count of leading zeros (12 escapes to 16 - n bits
// whose top bits are the value), then n more bits. Here n is always 4.
void sample(BitWriter& w, uint32_t t, uint32_t zeros, uint32_t escaped, uint32_t low_bits) {
    w.put(t, 3);
    if (zeros < 12) {
        w.put(1, zeros + 1);
    } else {
        w.put(0, 12);
        w.put(escaped, 12);
    }
    w.put(low_bits, 4);
}

std::vector<uint8_t> stream() {
    BitWriter w;
    // Row 0: +3|1; +5; then -3|2 from (0,0); an escape 20 >> 1 = 10, c0 = 161.
    sample(w, 0b001, 0, 0, 3);
    sample(w, 0b000, 0, 0, 5);
    sample(w, 0b110, 0, 0, 2);
    sample(w, 0b000, 12, 20, 1);
    // Row 1: c0 = 16; 15 with low bits 3; carries make 0 into 1 and 1 into 2.
    sample(w, 0b000, 1, 0, 0);
    sample(w, 0b011, 0, 0, 15);
    sample(w, 0b000, 0, 0, 0);
    sample(w, 0b000, 0, 0, 1);
    w.put(0, 32);
    std::vector<uint8_t> bytes(7, 0xEE); // skipped
    const std::vector<uint8_t> data = w.finish(0);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

} // namespace

TEST(Adaptive12Bit, DecodesCarriesAndPredictions) {
    struct Case {
        uint16_t visible_width;
        std::vector<uint16_t> expected;
    };
    const Case cases[] = {
        {4, {13, 20, 3, 664, 64, 63, 68, 71}},
        {3, {13, 20, 3, 0, 64, 63, 68, 0}}, // the last column is decoded but not kept
    };
    for (const Case& c : cases) {
        LoaderRig rig(stream(), 4, 2);
        rig.s->visible_width = c.visible_width;
        rig.run(adaptive_12bit_load_raw);
        EXPECT_EQ(rig.raw, c.expected) << c.visible_width;
        EXPECT_EQ(rig.s->data_error_count, 0);
    }
}

TEST(Adaptive12Bit, GradientPredictionAndRangeErrors) {
    BitWriter w;
    const uint32_t samples[16][3] = {
        {0, 0, 10}, {0, 0, 2}, {0b100, 0, 4}, {0, 0, 0}, // 40 8 20 8
        {0, 0, 3},  {0, 0, 0}, {0, 0, 0},     {0, 0, 0}, // 12 0 12 0
        {0, 0, 15}, {0, 0, 0}, {0, 0, 0},     {0, 0, 0}, // 100, then carries add 1 at column 2
        {0, 1, 14}, {0, 0, 0}, {0, 0, 0},     {0, 0, 0}, // 132, then carries add 2
    };
    for (const auto& s : samples)
        sample(w, s[0], s[1], 0, s[2]);
    w.put(0, 32);
    std::vector<uint8_t> bytes(7, 0);
    const std::vector<uint8_t> data = w.finish(0);
    bytes.insert(bytes.end(), data.begin(), data.end());
    LoaderRig rig(bytes, 4, 4);
    rig.run(adaptive_12bit_load_raw);
    // (2, 2): nw 40 lies between w 100 and n 20 and differs by more than 32: w + n - nw.
    // (3, 2): nw 12 is no middle value; w differs more from it than n does: w.
    EXPECT_EQ(rig.raw,
              (std::vector<uint16_t>{40, 8, 20, 8, 12, 0, 12, 0, 100, 8, 80 + 4, 8, 132, 0, 132 + 8, 0}));
    EXPECT_EQ(rig.s->data_error_count, 0);

    // A difference that takes the value above 4095 counts an error.
    BitWriter big;
    sample(big, 0, 12, 0xFFF, 15);
    big.put(0, 32).put(0, 32);
    std::vector<uint8_t> big_bytes(7, 0);
    const std::vector<uint8_t> big_data = big.finish(0);
    big_bytes.insert(big_bytes.end(), big_data.begin(), big_data.end());
    LoaderRig over(big_bytes, 1, 1);
    over.run(adaptive_12bit_load_raw);
    EXPECT_GT(over.s->data_error_count, 0);
}
