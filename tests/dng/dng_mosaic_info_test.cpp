#include "dng/dng_mosaic_info.h"

#include "DngErrorMatchers.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

namespace {

// RGGB: red at (0, 0), blue at (1, 1).
void MakeBayer(dng_mosaic_info& info) {
    info.fCFAPatternSize = dng_point(2, 2);
    info.fColorPlanes = 3;
    const uint8_t keys[3] = {0, 1, 2};
    std::copy(keys, keys + 3, info.fCFAPlaneColor);
    info.fCFAPattern[0][0] = 0;
    info.fCFAPattern[0][1] = 1;
    info.fCFAPattern[1][0] = 1;
    info.fCFAPattern[1][1] = 2;
}

using Weights = std::map<std::pair<int32_t, int32_t>, float>;

Weights Of(const dng_pattern_kernel& k) {
    Weights w;
    for (uint32_t i = 0; i < k.fCount; ++i)
        w[{k.fDelta[i].v, k.fDelta[i].h}] = k.fWeight32[i];
    return w;
}

} // namespace

TEST(DngMosaicInfo, PatternsMustHoldEveryPlaneColour) {
    EXPECT_FALSE(dng_mosaic_info().IsColorFilterArray());
    EXPECT_DNG_ERROR(dng_mosaic_info().ValidatePattern(), dng_error_bad_format);
    dng_mosaic_info info;
    MakeBayer(info);
    EXPECT_NO_THROW(info.ValidatePattern());
    // Blue is nowhere: the search for its nearest cell must fail, not run forever.
    info.fCFAPattern[1][1] = 1;
    EXPECT_DNG_ERROR(info.ValidatePattern(), dng_error_bad_format);
    EXPECT_DNG_ERROR(info.PatternKernel(2, 0, 0), dng_error_bad_format);
    info.fCFAPattern[1][1] = 2;
    info.fCFAPatternSize = dng_point(9, 2);
    EXPECT_DNG_ERROR(info.ValidatePattern(), dng_error_bad_format);

    const uint32_t layouts[] = {1, 2, 3, 4, 5, 6};
    const dng_point scales[] = {{1, 1}, {2, 1}, {2, 1}, {1, 2}, {1, 2}, {1, 1}};
    for (int i = 0; i < 6; ++i) {
        info.fCFALayout = layouts[i];
        EXPECT_EQ(info.FullScale(), scales[i]) << layouts[i];
    }
}

TEST(DngMosaicInfo, BayerKernelsAreBilinear) {
    dng_mosaic_info info;
    MakeBayer(info);
    EXPECT_EQ(Of(info.PatternKernel(0, 0, 0)), (Weights{{{0, 0}, 1.0f}}));
    EXPECT_EQ(Of(info.PatternKernel(0, 0, 1)), (Weights{{{0, -1}, 0.5f}, {{0, 1}, 0.5f}}));
    EXPECT_EQ(Of(info.PatternKernel(0, 1, 0)), (Weights{{{-1, 0}, 0.5f}, {{1, 0}, 0.5f}}));
    const Weights diagonals{{{-1, -1}, 0.25f}, {{-1, 1}, 0.25f}, {{1, -1}, 0.25f}, {{1, 1}, 0.25f}};
    EXPECT_EQ(Of(info.PatternKernel(0, 1, 1)), diagonals);
    const Weights cross{{{-1, 0}, 0.25f}, {{0, -1}, 0.25f}, {{0, 1}, 0.25f}, {{1, 0}, 0.25f}};
    EXPECT_EQ(Of(info.PatternKernel(1, 0, 0)), cross);
    EXPECT_EQ(Of(info.PatternKernel(1, 1, 1)), cross);

    dng_pattern_kernel k = info.PatternKernel(0, 0, 1);
    k.Finalize(dng_point(1, 1), 0, 1, 100, 1);
    ASSERT_EQ(k.fCount, 2u);
    EXPECT_EQ(k.fWeight16[0] + k.fWeight16[1], 256);
    EXPECT_EQ(k.fWeight16[0], 128);
    EXPECT_EQ(k.fOffset[0], -1);
    EXPECT_EQ(k.fOffset[1], 1);
}

TEST(DngMosaicInfo, SparseKeysUseTheGeneralKernel) {
    // A 4 x 4 pattern whose only key-0 cell is (0, 0): at (2, 2) the nearest ones are two
    // cells away on every side.
    dng_mosaic_info info;
    info.fCFAPatternSize = dng_point(4, 4);
    info.fColorPlanes = 2;
    info.fCFAPlaneColor[0] = 0;
    info.fCFAPlaneColor[1] = 1;
    for (auto& row : info.fCFAPattern)
        for (uint8_t& cell : row)
            cell = 1;
    info.fCFAPattern[0][0] = 0;
    const Weights corners{{{-2, -2}, 0.25f}, {{-2, 2}, 0.25f}, {{2, -2}, 0.25f}, {{2, 2}, 0.25f}};
    EXPECT_EQ(Of(info.PatternKernel(0, 2, 2)), corners);

    // At (1, 2): the key's row is 1 up and 3 down, its column 2 left and 2 right.
    dng_pattern_kernel k = info.PatternKernel(0, 1, 2);
    float total = 0;
    for (uint32_t i = 0; i < k.fCount; ++i)
        total += k.fWeight32[i];
    EXPECT_FLOAT_EQ(total, 1.0f);
    k.Finalize(dng_point(1, 1), 1, 2, 10, 1);
    uint32_t sum = 0;
    for (uint32_t i = 0; i < k.fCount; ++i)
        sum += k.fWeight16[i];
    EXPECT_EQ(sum, 256u);
}
