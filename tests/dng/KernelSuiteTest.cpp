#include "dng/KernelSuite.h"
#include "dng/dng_1d_function.h"
#include "dng/dng_1d_table.h"
#include "dng/dng_matrix.h"
#include "dng/dng_memory.h"
#include "dng/dng_orientation.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_utils.h"

#include "DngErrorMatchers.h"

#include <cmath>
#include <vector>

namespace {
const dng_area_counts kRow4{1, 4, 1};
const dng_area_steps kUnit{4, 1, 1};
} // namespace

TEST(KernelSuite, SampleConversions) {
    const float in[4] = {-0.2f, 0.5f, 1.7f, std::nanf("")};
    uint16_t out16[4];
    gKernelSuite.SuiteConvertFloatTo16(in, out16, kRow4, kUnit, kUnit, 65535);
    EXPECT_EQ(std::vector<uint16_t>(out16, out16 + 4), (std::vector<uint16_t>{0, 32768, 65535, 0}));

    int16_t outS16[4];
    gKernelSuite.SuiteConvertFloatToS16(in, outS16, kRow4, kUnit, kUnit, 65535);
    EXPECT_EQ(outS16[0], -32768);
    EXPECT_EQ(outS16[2], 32767);

    const uint8_t bytes[4] = {0, 1, 128, 255};
    int16_t signedOut[4];
    gKernelSuite.SuiteConvert8ToS16(bytes, signedOut, kRow4, kUnit, kUnit);
    EXPECT_EQ(signedOut[0], -32768);
    EXPECT_EQ(signedOut[3], 255 - 32768);

    const int16_t signedIn[4] = {-32768, 0, 32767, -1};
    float floats[4];
    gKernelSuite.SuiteConvertS16ToFloat(signedIn, floats, kRow4, kUnit, kUnit, 65535);
    EXPECT_EQ(floats[0], 0.0f);
    EXPECT_EQ(floats[2], 1.0f);
}

TEST(KernelSuite, RepeatStartsAtThePhase) {
    const uint16_t pattern[4] = {1, 2, 3, 4}; // rows (1, 2) and (3, 4)
    // The destination sits in a different buffer with the same steps as the pattern's rows.
    const dng_area_steps steps{2, 1, 1};
    uint16_t area[6] = {};
    gKernelSuite.SuiteRepeat16(pattern, area, {3, 2, 1}, steps, dng_point(2, 2), dng_point(1, 0));
    EXPECT_EQ(area[0], 3) << "the first output row is pattern row 1";
    EXPECT_EQ(area[2], 1);
    EXPECT_EQ(area[5], 4);
}

TEST(KernelSuite, ResamplingKeepsFlatAreas) {
    const uint16_t source[4 * 3] = {500, 500, 500, 500, 500, 500, 500, 500, 500, 500, 500, 500};
    const int16_t weights[4] = {-1000, 9192, 9192, -1000}; // sums to 16384
    uint16_t out[3];
    gKernelSuite.SuiteResampleVertical16(source, out, 3, 3, weights, 4, 65535);
    EXPECT_EQ(out[0], 500);
    EXPECT_EQ(out[2], 500);

    const uint16_t big[4] = {60000, 65535, 65535, 60000};
    gKernelSuite.SuiteResampleVertical16(big, out, 1, 1, weights, 4, 4095);
    EXPECT_EQ(out[0], 4095) << "limited to the pixel range";

    const int32_t coords[2] = {0 << 7, (1 << 7) | 1};
    std::vector<int16_t> phases(2 * 4, 0);
    phases[0] = 16384;     // phase 0 takes the first tap
    phases[4 + 1] = 16384; // phase 1 takes the second
    const uint16_t row[5] = {10, 20, 30, 40, 50};
    gKernelSuite.SuiteResampleHorizontal16(row, out, 2, coords, phases.data(), 4, 4, 65535);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[1], 30);
}

namespace {
class Square : public dng_1d_function {
  public:
    double Evaluate(double x) const override { return x * x; }
};
} // namespace

TEST(KernelSuite, TablesAndTone) {
    dng_1d_table table(512);
    table.Initialize(gDefaultDNGMemoryAllocator, Square());
    const float in[4] = {std::nanf(""), 0.5f, 2.0f, -1.0f};
    float out[4];
    gKernelSuite.SuiteTable1D(in, out, 4, table);
    EXPECT_EQ(out[0], 0.0f) << "NaN reads the first entry";
    EXPECT_FLOAT_EQ(out[1], 0.25f);
    EXPECT_EQ(out[2], 1.0f);
    EXPECT_EQ(out[3], 0.0f);

    // The middle channel keeps its relative place between the mapped extremes.
    const float r = 0.8f, g = 0.5f, b = 0.2f;
    float tr, tg, tb;
    gKernelSuite.SuiteRGBTone(&r, &g, &b, &tr, &tg, &tb, 1, table);
    EXPECT_NEAR(tr, 0.64f, 1e-5);
    EXPECT_NEAR(tb, 0.04f, 1e-5);
    EXPECT_NEAR(tg, 0.04f + 0.6f * 0.5f, 1e-5);
}

TEST(KernelSuite, HueSatMapIdentityAndShift) {
    // 6 hues x 2 saturations x 1 value: no change except a 60 degree hue shift at full saturation.
    std::vector<float> deltas(6 * 2 * 3);
    for (int i = 0; i < 12; ++i) {
        deltas[3 * i] = (i % 2) ? 60.0f : 0.0f;
        deltas[3 * i + 1] = 1.0f;
        deltas[3 * i + 2] = 1.0f;
    }
    const dng_hue_sat_table_view map{6, 2, 1, deltas.data()};
    const float r[2] = {0.5f, 1.0f}, g[2] = {0.5f, 0.0f}, b[2] = {0.5f, 0.0f};
    float dr[2], dg[2], db[2];
    gKernelSuite.SuiteHueSatMap(r, g, b, dr, dg, db, 2, map, nullptr, nullptr);
    EXPECT_FLOAT_EQ(dr[0], 0.5f) << "gray has no hue to shift";
    EXPECT_FLOAT_EQ(dg[0], 0.5f);
    EXPECT_NEAR(dr[1], 1.0f, 1e-6) << "pure red turns yellow";
    EXPECT_NEAR(dg[1], 1.0f, 1e-6);
    EXPECT_NEAR(db[1], 0.0f, 1e-6);
}

TEST(KernelSuite, CameraToRGBLimits) {
    const float a = 2.0f, b = 0.5f, c = 0.25f;
    float r, g, bl;
    const dng_matrix_3by3 m(1, 0, 0, 0, 1, 0, -1, 0, 0);
    gKernelSuite.SuiteCameraToRGB3(&a, &b, &c, &r, &g, &bl, 1, dng_vector_3(1.5, 1, 1), m);
    EXPECT_EQ(r, 1.0f) << "limited to the camera white, then to 1";
    EXPECT_EQ(g, 0.5f);
    EXPECT_EQ(bl, 0.0f) << "negative results become 0";
}

TEST(DngOrientation, TiffMapping) {
    const uint32_t tiffOfCode[9] = {1, 6, 3, 8, 2, 7, 4, 5, 9};
    for (uint32_t code = 0; code < 9; ++code) {
        dng_orientation o;
        o.SetFromTIFF(tiffOfCode[code]);
        EXPECT_EQ(o.Code(), code);
        EXPECT_EQ(o.ToTIFF(), tiffOfCode[code]);
    }
    for (uint32_t bad : {0u, 10u}) {
        dng_orientation o(dng_orientation::kRotate180);
        o.SetFromTIFF(bad);
        EXPECT_EQ(o.Code(), dng_orientation::kNormal);
    }
    EXPECT_EQ(dng_orientation(12).ToTIFF(), 1u);

    const dng_orientation cw(dng_orientation::kRotate90CW);
    EXPECT_TRUE(cw.FlipsDiagonally());
    EXPECT_TRUE(cw.FlipsVertically());
    EXPECT_FALSE(cw.FlipsHorizontally());
    const dng_orientation unknown(dng_orientation::kUnknown);
    EXPECT_FALSE(unknown.FlipsDiagonally() || unknown.FlipsHorizontally() || unknown.FlipsVertically());
}

TEST(DngUtils, SizesOfTypesAndBuffers) {
    const uint32_t sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 2, 8, 0};
    for (uint32_t type = 0; type <= 16; ++type)
        EXPECT_EQ(TagTypeSize(type), sizes[type]) << type;

    EXPECT_EQ(ComputeBufferSize(ttShort, dng_point(10, 100), 3, pad32Bytes), 6720u);
    EXPECT_EQ(ComputeBufferSize(ttShort, dng_point(10, 100), 3, padNone), 6000u);
    EXPECT_EQ(ComputeBufferSize(ttDouble, dng_point(1, 5), 1, pad32Bytes), 64u);
    EXPECT_DNG_ERROR(ComputeBufferSize(ttShort, dng_point(-1, 10), 1, padNone), dng_error_memory);
    EXPECT_DNG_ERROR(ComputeBufferSize(ttFloat, dng_point(65536, 65536), 1, padNone), dng_error_overflow);

    EXPECT_DOUBLE_EQ(MaxDistanceToCorners(dng_point_real64(0, 0), dng_rect_real64(-3, -4, 1, 1)), 5.0);
}
