// The median and mean stages against the described maths, on synthetic pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "engine/stages/AlphaSetTiledEngine.h"
#include "engine/stages/CopyTiledEngine.h"
#include "engine/stages/MeanTiledEngine.h"
#include "engine/stages/MedianTiledEngine.h"
#include "engine/stages/SharpeningTiledEngine.h"
#include "settings/Schema.h"
#include "tests/engine/StageSource.h"

namespace {

using Plane = std::vector<int32_t>;

platform::Dictionary artifactFilter(double x) {
    return {{settings::ArtifactFilter.c_str(), platform::Value(x)}};
}

std::shared_ptr<MedianTiledEngine> median(std::shared_ptr<TiledEngine> source, int32_t color) {
    auto engine = std::make_shared<MedianTiledEngine>(std::move(source), "", false);
    engine->setIgnoreEdges(true);
    engine->setReprocessEdgeTiles(true);
    engine->setVerticalBorder(2);
    engine->setHorizontalBorder(2);
    engine->setColorToProcess(color);
    return engine;
}

// A picture with colour noise that differs in every tile, so seams would show.
StageSource::Pixel noisy(int32_t x, int32_t y) {
    const uint32_t h = uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u;
    const auto g = uint16_t(20000 + (x * 7 + y * 13) % 9000);
    return {uint16_t(g + (h % 4001) - 2000), g, uint16_t(g + ((h >> 12) % 6001) - 3000), 0};
}

// Repeated whole-picture 3 x 3 medians of channel - green; the 2-pixel band stays as it is.
void referenceMedian(const ImageBuffer& in, int32_t channel, int32_t passes, std::vector<Plane>& rgb) {
    const int32_t w = in.imageWidth(), h = in.imageHeight();
    rgb.assign(3, Plane(size_t(w) * h));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                rgb[c][size_t(y) * w + x] = pixelAt(in, x, y)[c];
    for (int32_t pass = 0; pass < passes; ++pass) {
        Plane next = rgb[channel];
        for (int32_t y = 2; y < h - 2; ++y)
            for (int32_t x = 2; x < w - 2; ++x) {
                std::array<int32_t, 9> d;
                for (int32_t k = 0; k < 9; ++k) {
                    const size_t i = size_t(y + k / 3 - 1) * w + x + k % 3 - 1;
                    d[k] = rgb[channel][i] - rgb[1][i];
                }
                std::nth_element(d.begin(), d.begin() + 4, d.end());
                next[size_t(y) * w + x] = std::clamp(rgb[1][size_t(y) * w + x] + d[4], 0, 65535);
            }
        rgb[channel] = next;
    }
}

void expectRgb(const ImageBuffer& out, const std::vector<Plane>& rgb) {
    const int32_t w = out.imageWidth(), h = out.imageHeight();
    int64_t wrong = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                if (pixelAt(out, x, y)[c] != rgb[c][size_t(y) * w + x] && wrong++ < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c;
    EXPECT_EQ(wrong, 0);
}

} // namespace

TEST(ArtifactFilterSettings, PassCountsFollowTheSetting) {
    struct Case {
        double setting;
        int32_t medianPasses, basePasses, meanPasses;
    } cases[] = {{0.0, 0, 1, 0}, {0.1, 0, 1, 0},  {1.0 / 6 + 1e-6, 2, 2, 0},
                 {0.5, 6, 6, 0}, {0.75, 6, 6, 2}, {0.9, 6, 6, 4},
                 {1.0, 6, 6, 6}, {1.5, 0, 1, 0}};
    auto source = std::make_shared<StageSource>(8, 8, noisy);
    auto med = median(source, 0);
    auto mean = std::make_shared<MeanTiledEngine>(med, "", false);
    for (const Case& c : cases) {
        mean->setParameters(std::nullopt, artifactFilter(c.setting));
        EXPECT_EQ(med->medianFilterPasses(), c.medianPasses) << c.setting;
        EXPECT_EQ(med->numberOfPasses(), c.basePasses) << c.setting;
        EXPECT_EQ(mean->numberOfFilterPasses(), c.meanPasses) << c.setting;
    }
}

TEST(ArtifactFilterSettings, KeysReachOnlyTheirStageButTravelUpstream) {
    auto source = std::make_shared<StageSource>(8, 8, noisy);
    auto med = median(source, 0);
    auto sharp = std::make_shared<SharpeningTiledEngine>(med, "", false);
    platform::Dictionary settings = artifactFilter(0.5);
    settings[settings::InputRadius.c_str()] = platform::Value(2.0);
    settings[settings::InputIntensity.c_str()] = platform::Value(0.5);
    sharp->setParameters(std::string(settings::ArtifactFilter.c_str()), settings);
    EXPECT_EQ(med->medianFilterPasses(), 6);
    EXPECT_EQ(sharp->radius(), 0.0f); // not its key
    sharp->setParameters(std::string(settings::InputRadius.c_str()), settings);
    EXPECT_EQ(sharp->radius(), 2.0f);
    EXPECT_EQ(sharp->intensity(), 0.5f);
    settings[settings::ArtifactFilter.c_str()] = platform::Value(0.0);
    sharp->setParameters(std::string(settings::InputRadius.c_str()), settings);
    EXPECT_EQ(med->medianFilterPasses(), 6); // the median ignores the other stage's key
}

TEST(MedianTiledEngine, RemovesAnIsolatedColourSpike) {
    auto source = std::make_shared<StageSource>(9, 9, [](int32_t x, int32_t y) {
        return StageSource::Pixel{uint16_t(x == 4 && y == 4 ? 9000 : 1000), 1000, 3000, 0};
    });
    auto red = median(source, 0);
    red->setParameters(std::nullopt, artifactFilter(0.2));
    auto out = red->runProcessToCompletion(TileRegion::null());
    ASSERT_TRUE(out && out->buffer);
    EXPECT_EQ(pixelAt(*out->buffer, 4, 4)[0], 1000);
    EXPECT_EQ(pixelAt(*out->buffer, 4, 4)[2], 3000);      // the other colour is left alone
    EXPECT_EQ(pixelAt(source->picture(), 4, 4)[0], 9000); // the source is not written
}

TEST(MedianTiledEngine, SettingZeroCopiesEveryPixelIncludingTheBorderBand) {
    auto source = std::make_shared<StageSource>(40, 30, noisy);
    auto red = median(source, 0);
    auto blue = median(red, 2);
    blue->setParameters(std::nullopt, artifactFilter(0.0));
    auto out = blue->runProcessToCompletion(TileRegion::null());
    ASSERT_TRUE(out && out->buffer);
    std::vector<Plane> rgb;
    referenceMedian(source->picture(), 0, 0, rgb);
    expectRgb(*out->buffer, rgb);
}

// Two medians share one buffer across several tiles; each must match the whole-picture maths.
TEST(MedianTiledEngine, ManyTilesMatchTheWholePictureReference) {
    auto source = std::make_shared<StageSource>(1100, 700, noisy);
    auto red = median(source, 0);
    auto blue = median(red, 2);
    blue->setParameters(std::nullopt, artifactFilter(0.4)); // n = 2: four passes
    auto out = blue->runProcessToCompletion(TileRegion::null());
    ASSERT_TRUE(out && out->buffer);
    std::vector<Plane> afterRed, expected;
    referenceMedian(source->picture(), 0, 4, afterRed);
    auto redDone = ImageBufferU16::create(1100, 700);
    for (int32_t y = 0; y < 700; ++y)
        for (int32_t x = 0; x < 1100; ++x)
            for (int c = 0; c < 3; ++c)
                redDone->bufferU16ForRow(size_t(y), size_t(x))[c] =
                    uint16_t(afterRed[c][size_t(y) * 1100 + x]);
    referenceMedian(*redDone, 2, 4, expected);
    expectRgb(*out->buffer, expected);
}

TEST(MeanTiledEngine, AveragesTheDifferenceInPlace) {
    // Green ramps, red minus green is 250 except a spike of 2750 at the centre.
    auto source = std::make_shared<StageSource>(9, 9, [](int32_t x, int32_t y) {
        const auto g = uint16_t(1000 + 10 * x);
        return StageSource::Pixel{uint16_t(g + (x == 4 && y == 4 ? 2750 : 250)), g, uint16_t(g - 100), 0};
    });
    auto red = median(source, 0);
    auto mean = std::make_shared<MeanTiledEngine>(red, "", false);
    mean->setVerticalBorder(2);
    mean->setHorizontalBorder(2);
    mean->setParameters(std::nullopt, artifactFilter(0.0));
    mean->setNumberOfFilterPasses(1);
    auto out = mean->runProcessToCompletion(TileRegion::null());
    ASSERT_TRUE(out && out->buffer);
    const ImageBuffer& b = *out->buffer;
    // First pixel of the sweep: 24 x 250 + 2750 = 8750, / 25 = 350.
    EXPECT_EQ(pixelAt(b, 2, 2)[0], 1020 + 350);
    // A constant difference survives: blue minus green is -100 everywhere.
    EXPECT_EQ(pixelAt(b, 4, 4)[2], 1040 - 100);
    // Next pixel sees the first result: 23 x 250 + 2750 + 350 = 8850, / 25 = 354.
    EXPECT_EQ(pixelAt(b, 3, 2)[0], 1030 + 354);
    EXPECT_EQ(pixelAt(b, 0, 0)[0], 1250);             // the band keeps its pixels
    EXPECT_EQ(out->buffer, red->localOutputBuffer()); // in the median's buffer
    EXPECT_EQ(b.bufferOwner(), mean.get());
}

TEST(PassThroughStages, CopyKeepsPixelsAndAlphaSetMakesThemOpaque) {
    auto source = std::make_shared<StageSource>(30, 20, noisy);
    auto copy = std::make_shared<CopyTiledEngine>(source, "", false);
    auto opaque = std::make_shared<AlphaSetTiledEngine>(copy, "", false);
    auto out = opaque->runProcessToCompletion(TileRegion::null());
    ASSERT_TRUE(out && out->buffer);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 30; ++x) {
            auto want = noisy(x, y);
            want[3] = 65535;
            ASSERT_EQ(pixelAt(*out->buffer, x, y), want) << x << "," << y;
        }
}
