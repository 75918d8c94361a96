// Resampling weights, coordinates and the two passes.
#include "dng/dng_host.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_resample.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_tag_types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

TEST(ResampleWeights, RadiusFollowsTheShrinkFactor) {
    struct Case {
        double scale;
        uint32_t radius, step;
    } cases[] = {{1.0, 2, 8}, {4.0, 2, 8}, {256.0 / 4000.0, 32, 64}, {0.5, 4, 8}};
    for (const Case& c : cases) {
        dng_resample_weights w;
        w.Initialize(c.scale, dng_resample_bicubic::Get());
        EXPECT_EQ(w.Radius(), c.radius) << c.scale;
        EXPECT_EQ(w.Step(), c.step) << c.scale;
        for (uint32_t phase = 0; phase < dng_resample_weights::kPhases; ++phase) {
            const int16_t* w16 = w.Weights16(phase);
            const float* w32 = w.Weights32(phase);
            EXPECT_EQ(std::accumulate(w16, w16 + w.Width(), 0), 16384) << c.scale << " " << phase;
            EXPECT_NEAR(std::accumulate(w32, w32 + w.Width(), 0.0), 1.0, 1e-5);
        }
    }
}

TEST(ResampleWeights, WholePixelPhaseCopiesTheSample) {
    dng_resample_weights w;
    w.Initialize(1.0, dng_resample_bicubic::Get());
    EXPECT_EQ(std::vector<int16_t>(w.Weights16(0), w.Weights16(0) + 4),
              (std::vector<int16_t>{0, 16384, 0, 0}));
    EXPECT_FLOAT_EQ(w.Weights32(0)[1], 1.0f);
    dng_resample_weights_2d w2;
    w2.Initialize(dng_resample_bicubic::Get());
    EXPECT_EQ(w2.Radius(), 2u);
    for (uint32_t y = 0; y < 32; y += 7)
        for (uint32_t x = 0; x < 32; x += 5) {
            const int16_t* p = w2.Weights16(y, x);
            EXPECT_EQ(std::accumulate(p, p + 16, 0), 16384);
        }
    EXPECT_EQ(w2.Weights16(0, 0)[1 * 4 + 1], 16384);
}

TEST(ResampleCoords, OneRowReadsTheMiddleRow) {
    dng_resample_coords c;
    c.Initialize(0, 0, 9, 1);
    EXPECT_EQ(c.Coords(0)[0], 4 * 128);
    c.Initialize(10, 0, 8, 8);
    EXPECT_EQ(c.Coords(3)[0], 13 * 128);
}

std::unique_ptr<dng_image> Ramp16(uint32_t width, uint32_t height) {
    auto image =
        std::make_unique<dng_simple_image>(dng_rect(height, width), 1, ttShort, gDefaultDNGMemoryAllocator);
    std::vector<uint16_t> v;
    for (uint32_t r = 0; r < height; ++r)
        for (uint32_t c = 0; c < width; ++c)
            v.push_back(uint16_t(1000 + 500 * c));
    dng_pixel_buffer b(image->Bounds(), 0, 1, ttShort, dng_pixel_buffer::interleaved, v.data());
    image->Put(b);
    return image;
}

TEST(Resample, RampStaysARampWhenHalvedOrDoubled) {
    for (const double factor : {0.5, 2.0}) {
        dng_host host;
        auto src = Ramp16(64, 16);
        const uint32_t w = uint32_t(64 * factor), h = uint32_t(16 * factor);
        dng_simple_image dst(dng_rect(h, w), 1, ttShort, gDefaultDNGMemoryAllocator);
        host.ResampleInto(*src, dst);
        std::vector<uint16_t> out(size_t(w) * h);
        dng_pixel_buffer b(dst.Bounds(), 0, 1, ttShort, dng_pixel_buffer::interleaved, out.data());
        dst.Get(b);
        // The ramp convolved with the normalised kernel (edges repeated): cubic convolution with
        // a = -0.75 bends a ramp slightly, and that is all the error allowed besides rounding.
        const double scale = std::min(factor, 1.0);
        const int radius = int(2.0 / scale + 0.9999);
        for (uint32_t r = 0; r < h; ++r)
            for (uint32_t c = 0; c < w; ++c) {
                const double x = (c + 0.5) / factor - 0.5;
                const int base = int(std::floor(x));
                double sum = 0, weights = 0;
                for (int k = base - radius + 1; k <= base + radius; ++k) {
                    const double wk = dng_resample_bicubic::Get().Evaluate((k - x) * scale);
                    sum += wk * (1000 + 500 * std::clamp(k, 0, 63));
                    weights += wk;
                }
                ASSERT_NEAR(out[r * w + c], sum / weights, 1.0) << factor << " " << r << " " << c;
                // Away from the edges the ramp stays a ramp to within a tenth of its step.
                if (c > 4 && c + 4 < w) {
                    ASSERT_NEAR(out[r * w + c], 1000 + 500 * x, 0.1 * 500 / scale + 1);
                }
            }
    }
}

TEST(Resample, EightBitIntoSixteenBitGoesThroughFloats) {
    dng_host host;
    dng_simple_image src(dng_rect(8, 8), 1, ttByte, gDefaultDNGMemoryAllocator);
    src.SetConstant(128, src.Bounds());
    dng_simple_image dst(dng_rect(4, 4), 1, ttShort, gDefaultDNGMemoryAllocator);
    host.ResampleInto(src, dst);
    uint16_t out[16];
    dng_pixel_buffer b(dst.Bounds(), 0, 1, ttShort, dng_pixel_buffer::interleaved, out);
    dst.Get(b);
    for (uint16_t v : out)
        EXPECT_EQ(v, 32896);
}

} // namespace
