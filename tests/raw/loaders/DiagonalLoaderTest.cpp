#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"

using namespace raw;
using testsupport::LoaderRig;

TEST(DiagonalLoader, EachRowStartsWhereItsRotationSays) {
    // A marker at the first byte of every line shows where each row's rotation puts it:
    // row i starts at byte (addend + i x multiplier) mod 848.
    constexpr int kLine = 848, kRows = 6;
    std::vector<uint8_t> bytes(size_t(kLine) * kRows, 7);
    for (int i = 0; i < kRows; ++i)
        bytes[size_t(i) * kLine] = 200;
    LoaderRig rig(bytes, kLine, kRows);
    rig.run(diagonal_8bit_load_raw);
    const int marker_column[kRows] = {0, 20, 50, 360, 200, 100};
    for (int row = 0; row < kRows; ++row) {
        const std::vector<uint16_t> line = rig.row(row);
        for (int col = 0; col < kLine; ++col)
            ASSERT_EQ(line[size_t(col)], col == marker_column[row] ? 200 : 7) << row << "," << col;
    }
    EXPECT_EQ(rig.s->white_level, 255u);
    EXPECT_EQ(rig.s->data_error_count, 0);
}

TEST(DiagonalLoader, ShortFileCountsAnErrorAndStops) {
    LoaderRig rig(std::vector<uint8_t>(848 + 100, 9), 848, 3);
    rig.run(diagonal_8bit_load_raw);
    EXPECT_EQ(rig.s->data_error_count, 1);
    EXPECT_EQ(rig.row(2), std::vector<uint16_t>(848, 0));
}
