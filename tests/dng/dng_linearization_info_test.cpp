#include "dng/dng_linearization_info.h"

#include "dng/dng_memory.h"

#include "DngErrorMatchers.h"

#include <gtest/gtest.h>

#include <memory>

namespace {
std::unique_ptr<dng_memory_block> Deltas(std::initializer_list<double> values) {
    std::unique_ptr<dng_memory_block> block(gDefaultDNGMemoryAllocator.Allocate(uint32_t(values.size() * 8)));
    double* d = block->Buffer_real64();
    for (double v : values)
        *d++ = v;
    return block;
}
} // namespace

TEST(DngLinearizationInfo, RoundBlacksPicksADenominatorThatFits) {
    dng_linearization_info info;
    info.RoundBlacks();
    EXPECT_EQ(info.fBlackDenom, 256u);

    info.fBlackLevel[0][0][0] = 10000000.0;
    info.RoundBlacks();
    EXPECT_EQ(info.fBlackDenom, 128u);

    info.fBlackLevel[0][0][0] = 100.3;
    info.fBlackLevel[0][0][1] = -3.0;
    info.fBlackDeltaV = Deltas({0.001, -0.6});
    info.RoundBlacks();
    EXPECT_EQ(info.fBlackDenom, 256u);
    EXPECT_EQ(info.fBlackLevel[0][0][0], 100.30078125);
    EXPECT_EQ(info.fBlackLevel[0][0][1], 0.0);
    EXPECT_EQ(info.RowDeltaCount(), 2u);
    EXPECT_EQ(info.RowDeltaRational(1), dng_srational(-154, 256));
    EXPECT_EQ(info.fBlackDeltaV->Buffer_real64()[0], 0.0);
    EXPECT_EQ(info.ColumnDeltaRational(0), dng_srational(0, 1));
}

TEST(DngLinearizationInfo, MaxBlackLevelAddsTheLargestDeltas) {
    dng_linearization_info info;
    info.fBlackLevelRepeatCols = 2;
    info.fBlackLevel[0][0][0] = 10;
    info.fBlackLevel[0][1][0] = 20;
    info.fBlackDeltaH = Deltas({1, 5, 3, 2});
    EXPECT_EQ(info.MaxBlackLevel(0), 25.0);
    info.fBlackLevelRepeatCols = 0;
    EXPECT_DNG_ERROR(info.MaxBlackLevel(0), dng_error_unknown);
}
