// The sharpening stage: kernel size and shape, and the unsharp result in square-root space.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <vector>

#include "engine/stages/SharpeningTiledEngine.h"
#include "settings/Schema.h"
#include "tests/engine/StageSource.h"

namespace {

std::shared_ptr<SharpeningTiledEngine> sharpening(std::shared_ptr<TiledEngine> source, double radius,
                                                  double intensity) {
    auto engine = std::make_shared<SharpeningTiledEngine>(std::move(source), "", false);
    engine->setParameters(std::nullopt, {{settings::InputRadius.c_str(), platform::Value(radius)},
                                         {settings::InputIntensity.c_str(), platform::Value(intensity)}});
    return engine;
}

// The whole-picture convolution of the square roots with the stage's kernel, in T, taken
// row of the kernel by row, left to right; pixels the kernel cannot cover keep their value.
template <typename T>
T rootSum(const ImageBuffer& in, const SharpeningTiledEngine& stage, int32_t x, int32_t y, int c) {
    const int32_t h = stage.length() / 2;
    auto root = [&](int32_t px, int32_t py) { return std::sqrt(T(pixelAt(in, px, py)[c]) / T(65535)); };
    if (x < h || y < h || x + h >= in.imageWidth() || y + h >= in.imageHeight()) return root(x, y);
    T v = 0;
    for (int32_t dy = -h; dy <= h; ++dy)
        for (int32_t dx = -h; dx <= h; ++dx)
            v += stage.kernel()[size_t(dy + h) * stage.length() + size_t(dx + h)] * root(x + dx, y + dy);
    return v;
}

double expectedSample(const ImageBuffer& in, const SharpeningTiledEngine& stage, int32_t x, int32_t y,
                      int c) {
    const double v = rootSum<double>(in, stage, x, y, c);
    return std::clamp(std::round(v * v * 65325.0), 0.0, 65535.0);
}

// The stage's own result: the sum in float, squared back at the float unit and rounded
// half away from zero.
uint16_t exactSample(const ImageBuffer& in, const SharpeningTiledEngine& stage, int32_t x, int32_t y, int c) {
    const float v = rootSum<float>(in, stage, x, y, c);
    const double square = double(v) * v * kU16PerFloatUnit;
    return square > 0 ? uint16_t(std::min(square, 65535.0) + 0.5) : 0;
}

} // namespace

TEST(SharpeningTiledEngine, KernelLengthFollowsTheRadius) {
    struct Case {
        double radius;
        int32_t length;
        float radiusAfterRun;
    } cases[] = {{0.8, 3, 0.8f}, {4.0, 5, 4.0f}, {0.01, 3, 0.05f}, {16.0, 9, 16.0f}, {1.0, 3, 1.0f}};
    for (const Case& c : cases) {
        auto source = std::make_shared<StageSource>(16, 16, [](int32_t, int32_t) {
            return StageSource::Pixel{1, 2, 3, 4};
        });
        auto stage = sharpening(source, c.radius, 1.0);
        ASSERT_TRUE(stage->runProcessToCompletion(TileRegion::null()));
        EXPECT_EQ(stage->length(), c.length) << c.radius;
        EXPECT_FLOAT_EQ(stage->radius(), c.radiusAfterRun) << c.radius;
        const auto& k = stage->kernel();
        ASSERT_EQ(k.size(), size_t(c.length) * c.length);
        EXPECT_NEAR(std::accumulate(k.begin(), k.end(), 0.0), 1.0, 1e-5);
        EXPECT_FLOAT_EQ(k.front(), k.back()); // symmetric
    }
}

TEST(SharpeningTiledEngine, KernelValuesByHand) {
    // sigma 1, amount 1: corner -exp(-1) / 2 pi, side -exp(-0.5) / 2 pi, centre 1 - the rest
    // before the centre term; then normalised.
    const auto k = SharpeningTiledEngine::fill2DGaussian(3, 1.0f, 1.0f);
    const double corner = -std::exp(-1.0) / (2 * M_PI), side = -std::exp(-0.5) / (2 * M_PI);
    const double centre = 1 - 4 * corner - 4 * side;
    const double total = centre + 4 * corner + 4 * side;
    EXPECT_NEAR(k[0], corner / total, 1e-6);
    EXPECT_NEAR(k[1], side / total, 1e-6);
    EXPECT_NEAR(k[4], centre / total, 1e-6);
    const auto identity = SharpeningTiledEngine::fill2DGaussian(5, 2.0f, 0.0f);
    EXPECT_FLOAT_EQ(identity[12], 1.0f);
    EXPECT_FLOAT_EQ(identity[0], 0.0f);
}

TEST(SharpeningTiledEngine, IntensityZeroOnlyRescalesToTheFloatUnit) {
    const uint16_t values[] = {0, 1, 1000, 32768, 65535};
    auto source = std::make_shared<StageSource>(5, 5, [&](int32_t x, int32_t) {
        return StageSource::Pixel{values[x], values[4 - x], values[x], 0};
    });
    auto out = sharpening(source, 2.0, 0.0)->runProcessToCompletion(TileRegion::null());
    ASSERT_TRUE(out && out->buffer);
    for (int32_t x = 0; x < 5; ++x) {
        EXPECT_EQ(pixelAt(*out->buffer, x, 2)[0], uint16_t(std::lround(values[x] * 65325.0 / 65535.0))) << x;
        EXPECT_EQ(pixelAt(*out->buffer, x, 2)[3], 65325);
    }
}

TEST(SharpeningTiledEngine, SteepensAnEdgeAndLeavesFlatAreas) {
    auto source = std::make_shared<StageSource>(20, 12, [](int32_t x, int32_t) {
        const uint16_t v = x < 10 ? 10000 : 40000;
        return StageSource::Pixel{v, v, v, 65535};
    });
    auto stage = sharpening(source, 1.0, 2.0);
    auto out = stage->runProcessToCompletion(TileRegion::null());
    ASSERT_TRUE(out && out->buffer);
    const auto flat = [](double v) { return uint16_t(std::lround(v * 65325.0 / 65535.0)); };
    EXPECT_LT(pixelAt(*out->buffer, 9, 6)[1], flat(10000));  // darker at the dark side
    EXPECT_GT(pixelAt(*out->buffer, 10, 6)[1], flat(40000)); // lighter at the light side
    EXPECT_NEAR(pixelAt(*out->buffer, 4, 6)[1], flat(10000), 1);
    EXPECT_NEAR(pixelAt(*out->buffer, 9, 6)[1], expectedSample(source->picture(), *stage, 9, 6, 1), 1);
    EXPECT_EQ(out->buffer->bufferOwner(), stage.get());
    EXPECT_EQ(pixelAt(source->picture(), 9, 6)[1], 10000); // never written in place
}

TEST(SharpeningTiledEngine, ManyTilesMatchTheWholePictureReference) {
    auto source = std::make_shared<StageSource>(1100, 700, [](int32_t x, int32_t y) {
        const uint32_t h = uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u;
        return StageSource::Pixel{uint16_t(h % 65536), uint16_t((x * 97 + y * 31) % 65536),
                                  uint16_t((h >> 8) % 30000), 0};
    });
    auto stage = sharpening(source, 4.0, 1.5);
    auto out = stage->runProcessToCompletion(TileRegion::null());
    ASSERT_TRUE(out && out->buffer);
    int64_t wrong = 0;
    for (int32_t y = 0; y < 700; ++y)
        for (int32_t x = 0; x < 1100; ++x)
            for (int c = 0; c < 3; ++c) {
                const double expected = expectedSample(source->picture(), *stage, x, y, c);
                if (std::abs(pixelAt(*out->buffer, x, y)[c] - expected) > 1 && wrong++ < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c;
            }
    EXPECT_EQ(wrong, 0);
}

TEST(SharpeningTiledEngine, OneDimensionalGaussianFollowsTheBell) {
    // Wide enough to hold the bell, it sums to 1; the formula itself is not normalised.
    for (auto [length, sigma] : {std::pair{15, 2.0f}, std::pair{7, 0.8f}, std::pair{29, 4.0f}}) {
        const auto g = SharpeningTiledEngine::fillGaussian(length, sigma);
        ASSERT_EQ(g.size(), size_t(length));
        EXPECT_NEAR(std::accumulate(g.begin(), g.end(), 0.0), 1.0, 1e-3) << sigma;
        EXPECT_NEAR(g[size_t(length / 2)], 1 / (2.5066283 * sigma), 1e-6);
        EXPECT_NEAR(
            g[0], std::exp(-(length / 2) * (length / 2) / (2.0 * sigma * sigma)) / (2.5066283 * sigma), 1e-7);
        EXPECT_FLOAT_EQ(g.front(), g.back());
    }
}

TEST(SharpeningTiledEngine, RowsThenColumnsEqualTheTwoDimensionalConvolution) {
    const int32_t w = 23, h = 17;
    auto buffer = ImageBufferU16::create(uint16_t(w), uint16_t(h), nullptr, nullptr);
    ASSERT_TRUE(buffer);
    std::vector<float> in(size_t(w) * h * 4), across(in.size()), out(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = float((i * 7919) % 1000) / 1000.0f;
    const auto k = SharpeningTiledEngine::fillGaussian(5, 1.1f);
    // In two tiles each way, to show the tiles need nothing of each other.
    for (int32_t dir : {0, 1})
        for (auto [c0, c1, r0, r1] : {std::array{0, 10, 0, 8}, std::array{10, w, 0, 8},
                                      std::array{0, 10, 8, h}, std::array{10, w + 5, 8, h + 5}})
            SharpeningTiledEngine::oneDConvolve(c0, c1, r0, r1, dir, *buffer, k,
                                                dir ? across.data() : in.data(),
                                                dir ? out.data() : across.data());
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) {
                double direct = 0;
                for (int32_t j = -2; j <= 2; ++j)
                    for (int32_t i = -2; i <= 2; ++i) {
                        const int32_t sx = std::clamp(x + i, 0, w - 1), sy = std::clamp(y + j, 0, h - 1);
                        direct +=
                            double(k[size_t(j + 2)]) * k[size_t(i + 2)] * in[(size_t(sy) * w + sx) * 4 + c];
                    }
                ASSERT_NEAR(out[(size_t(y) * w + x) * 4 + c], direct, 1e-5) << x << "," << y;
            }
}

TEST(SharpeningTiledEngine, EverySampleEqualsThePlainSumExactly) {
    // Across a tile seam each way; samples from black to white.
    const int32_t w = 530, h = 520;
    auto source = std::make_shared<StageSource>(w, h, [](int32_t x, int32_t y) {
        const uint32_t m = uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u;
        const uint16_t extreme = (m >> 5) % 7 == 0 ? 65535 : (m >> 5) % 7 == 1 ? 0 : uint16_t(m % 65536);
        return StageSource::Pixel{extreme, uint16_t((x * 97 + y * 31) % 65536), uint16_t((m >> 8) % 30000),
                                  0};
    });
    const ImageBuffer& in = source->picture();
    struct Case {
        double radius, intensity;
    } cases[] = {{0.8, 1.0}, {0.3, 4.0}, {4.0, 2.0}, {9.0, 0.5}, {16.0, 1.5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "radius " << c.radius << " intensity " << c.intensity);
        auto stage = sharpening(source, c.radius, c.intensity);
        auto out = stage->runProcessToCompletion(TileRegion::null());
        ASSERT_TRUE(out && out->buffer);
        int64_t wrong = 0;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                for (int ch = 0; ch < 3; ++ch)
                    if (pixelAt(*out->buffer, x, y)[ch] != exactSample(in, *stage, x, y, ch) && wrong++ < 5)
                        ADD_FAILURE() << "pixel " << x << "," << y << " channel " << ch;
        EXPECT_EQ(wrong, 0);

        // Single tiles: at the corners, narrower and lower than the kernel, straddling the
        // line where the kernel first fits, and one pixel; nothing is written outside them.
        auto src = source->runProcessToCompletion(TileRegion::null());
        ASSERT_TRUE(src && src->buffer);
        const int32_t r = stage->length() / 2;
        for (auto [c0, c1, r0, r1] :
             {std::array{0, 5, 0, 5}, std::array{w - 3, w, h - 7, h}, std::array{100, 102, 50, 51},
              std::array{std::max(r - 1, 0), r + 2, std::max(r - 2, 0), r + 40}, std::array{0, w, 300, 302},
              std::array{w - r - 3, w, 7, 9}, std::array{260, 261, 261, 262}}) {
            auto dest = ImageBufferU16::create(uint16_t(w), uint16_t(h));
            ASSERT_TRUE(dest);
            stage->processTile(c0, c1, r0, r1, src->buffer.get(), dest.get(), 0);
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    const bool inTile = x >= c0 && x < c1 && y >= r0 && y < r1;
                    for (int ch = 0; ch < 4; ++ch) {
                        const uint16_t expected = !inTile   ? 0
                                                  : ch == 3 ? uint16_t(kU16PerFloatUnit)
                                                            : exactSample(in, *stage, x, y, ch);
                        if (pixelAt(*dest, x, y)[ch] != expected && wrong++ < 5)
                            ADD_FAILURE() << "tile " << c0 << "-" << c1 << " x " << r0 << "-" << r1
                                          << ": pixel " << x << "," << y << " channel " << ch;
                    }
                }
        }
        EXPECT_EQ(wrong, 0);
    }
}
