// The histogram chain and the pixel zoom on a real camera file, developed by the decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "engine/stages/CoreTiledEngine.h"
#include "raw/core/DCRaw.h"
#include "settings/Schema.h"
#include "tests/color/RealImageFilterChecks.h"
#include "tests/engine/StageSource.h"
#include "tests/support/Samples.h"

namespace {

using platform::Image;

// The decoder's linear 16-bit rendering of a raw file; null when it cannot be developed.
std::shared_ptr<ImageBufferU16> developed16(const std::filesystem::path& file) {
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    decoder.setOutputColorSpace(4);
    const std::string path = file.string();
    if (!decoder.loadFile(path, nullptr)) return nullptr;
    uint16_t* pixels = nullptr;
    uint16_t w = 0, h = 0;
    const bool ok = decoder.processFileAndCreateBuffer(path, &pixels, 0, &w, &h);
    std::shared_ptr<ImageBufferU16> buffer = ok ? ImageBufferU16::create(w, h) : nullptr;
    if (buffer)
        for (uint16_t y = 0; y < h; ++y)
            std::copy_n(pixels + size_t(y) * w * 4, size_t(w) * 4, buffer->bufferU16ForRow(y));
    std::free(pixels);
    return buffer;
}

// As float (1.0 = 65325).
std::shared_ptr<ImageBufferF32> developed(const char* name) {
    auto buffer = developed16(testsupport::samplePath(name));
    return buffer ? ImageBufferF32::createWithCopyFrom(*buffer) : nullptr;
}

TEST(DecodedSampleFilters, HistogramChainDrawsTheBuildersBarsOfAPhotograph) {
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    auto buffer = developed("Pixel7_small.dng");
    ASSERT_TRUE(buffer);
    filterchecks::expectChainDrawsTheBuildersBars(*buffer, 600);
}

TEST(DecodedSampleFilters, ZoomByThreeReplicatesEachPixelOfATile) {
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    auto buffer = developed("Pixel7_small.dng");
    ASSERT_TRUE(buffer);
    filterchecks::expectZoomByThreeReplicatesATile(
        Image::create(buffer->getImage(nullptr), buffer->extent()));
}

// The output stage against the filter that does its maths: a chain of the developed file and
// the output stage, without camera profile or knee; the filter gets the stage's tile source
// as float, with the stage's exposure scale, and the same two dictionaries.
class OutputStageAgainstFilter : public testing::TestWithParam<std::filesystem::path> {};

TEST_P(OutputStageAgainstFilter, MatchesTheZoomOneTileWithinTwoSteps) {
    if (!std::filesystem::exists(GetParam())) GTEST_SKIP() << GetParam() << " not present";
    auto picture = developed16(GetParam());
    ASSERT_TRUE(picture);
    auto source =
        std::make_shared<StageSource>(picture->imageWidth(), picture->imageHeight(),
                                      [&](int32_t x, int32_t y) { return pixelAt(*picture, x, y); });
    const platform::Dictionary camera{{"cameraBaselineExposure", 0.25}};
    const platform::Dictionary settings{{settings::InputContrast.c_str(), 0.25},
                                        {settings::InputBrightness.c_str(), 0.3},
                                        {settings::InputEV.c_str(), 0.5},
                                        {settings::MonochromeRed.c_str(), 1.4},
                                        {settings::EttrAdjust.c_str(), -0.5}};
    CoreTiledEngine stage(source, "", false);
    stage.setEnableCinematic(false);
    stage.setCameraParameters(camera);
    stage.setParameters(std::nullopt, settings);
    stage.runProcessToCompletion(stage.mainMap().regionForRect(stage.extent(), 0));
    EXPECT_FLOAT_EQ(stage.ettrMul(), std::exp2(-0.5f));
    // The stage truncates its table index where the filter interpolates.
    EXPECT_GT(filterchecks::expectFilterMatchesTheStage(stage, camera, settings), 0);
}

INSTANTIATE_TEST_SUITE_P(Files, OutputStageAgainstFilter,
                         testing::Values(std::filesystem::path(LUMIVAR_SOURCE_DIR) /
                                             "samples/lumivar-chart.dng",
                                         testsupport::samplePath("Pixel7_small.dng")),
                         [](const auto& info) { return info.index == 0 ? "BundledChart" : "Pixel7"; });

} // namespace
