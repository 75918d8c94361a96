#include <gtest/gtest.h>

#include <vector>

#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"

using namespace raw;
using testsupport::LoaderRig;

namespace {

// A 16-byte block: maximum, minimum, their positions, then 7-bit steps for the other
// positions, all little-endian from bit 0.
std::vector<uint8_t> arw2_block(uint32_t max, uint32_t min, uint32_t imax, uint32_t imin,
                                const std::vector<uint32_t>& steps) {
    std::vector<uint8_t> b(16, 0);
    auto put = [&](uint32_t at, uint32_t value, uint32_t bits) {
        for (uint32_t i = 0; i < bits; ++i)
            if (value >> i & 1) b[(at + i) / 8] |= uint8_t(1 << ((at + i) % 8));
    };
    put(0, max, 11);
    put(11, min, 11);
    put(22, imax, 4);
    put(26, imin, 4);
    for (size_t k = 0; k < steps.size(); ++k)
        put(30 + 7 * uint32_t(k), steps[k], 7);
    return b;
}

} // namespace

TEST(SonyArw2, BlocksScaleStepsByTheRangeAndClamp) {
    // Even columns: range 900 gives steps of 8 above 100. Odd columns: range 47 gives
    // steps of 1, and a step of 127 above 2000 is clamped to 2047.
    std::vector<uint32_t> even_steps, odd_steps;
    for (uint32_t k = 1; k <= 14; ++k)
        even_steps.push_back(k * 5);
    for (uint32_t k = 0; k < 14; ++k)
        odd_steps.push_back(k == 4 ? 127 : k);
    std::vector<uint8_t> row = arw2_block(1000, 100, 0, 15, even_steps);
    testsupport::append(row, arw2_block(2047, 2000, 3, 9, odd_steps));

    LoaderRig rig(row, 32, 2);
    for (uint32_t i = 0; i < 32768; ++i)
        rig.s->tone_table[i] = uint16_t(2 * i); // curve[2v] >> 2 = v
    rig.run(sony_arw2_load_raw);

    std::vector<uint16_t> expected(32);
    for (uint32_t i = 0; i < 16; ++i) {
        expected[2 * i] = uint16_t(i == 0 ? 1000 : i == 15 ? 100 : 100 + 40 * i);
        const uint32_t step = i < 3 ? i : i < 9 ? i - 1 : i - 2; // positions 3 and 9 hold max and min
        expected[2 * i + 1] = uint16_t(i == 3 ? 2047 : i == 9 ? 2000 : step == 4 ? 2047 : 2000 + step);
    }
    EXPECT_EQ(rig.row(0), expected);
    EXPECT_EQ(rig.s->white_level, 4095u);
    EXPECT_EQ(rig.s->data_error_count, 1); // the second row is missing
}

TEST(SonyArw2, NarrowRowsHaveNoBlocks) {
    LoaderRig rig(std::vector<uint8_t>(30 * 2, 0xFF), 30, 2);
    rig.run(sony_arw2_load_raw);
    EXPECT_EQ(rig.raw, std::vector<uint16_t>(60, 0));
    EXPECT_EQ(rig.s->data_error_count, 0);
}
