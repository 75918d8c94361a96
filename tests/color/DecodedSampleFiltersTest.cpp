// The histogram chain and the pixel zoom on a real camera file, developed by the decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "color/CoreEngineFilter.h"
#include "color/HistogramFilteredCIImage.h"
#include "color/PixelZoomFilter.h"
#include "engine/core/CGImageBitMap.h"
#include "engine/core/HistogramBuilder.h"
#include "engine/stages/CoreTiledEngine.h"
#include "platform/CropFilter.h"
#include "raw/core/DCRaw.h"
#include "tests/engine/StageSource.h"
#include "tests/support/FilterImages.h"
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

int bar(const Image& image, size_t column, int channel) {
    const float background = HistogramBuilder::kBackground / 65535.0f;
    int rows = 0;
    while (size_t(rows) < image.height() &&
           image.row(image.height() - 1 - size_t(rows))[4 * column + size_t(channel)] != background)
        ++rows;
    return rows;
}

int bar(const ImageBufferU16& image, size_t column, int channel) {
    int rows = 0;
    while (rows < image.imageHeight() &&
           image.bufferU16ForRow(size_t(image.imageHeight() - 1 - rows), column)[channel] !=
               HistogramBuilder::kBackground)
        ++rows;
    return rows;
}

TEST(DecodedSampleFilters, HistogramChainDrawsTheBuildersBarsOfAPhotograph) {
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    auto buffer = developed("Pixel7_small.dng");
    ASSERT_TRUE(buffer);
    constexpr double kWidth = 256, kHeight = 80;
    auto builder = HistogramBuilder::create(*buffer);
    builder->setOutputSize({kWidth, kHeight});
    auto built = builder->getOutputImage();
    HistogramFilteredCIImage chain({kWidth, kHeight});
    chain.setInputImage(Image::create(buffer->getImage(nullptr), buffer->extent()));
    auto drawn = chain.getOutputImage();
    ASSERT_TRUE(built && drawn);

    const float* bins = chain.filters()[1]->outputImage()->row(0);
    double whole = 0, inner = 0;
    for (size_t i = 0; i < size_t(kWidth); ++i)
        for (size_t c = 0; c < 3; ++c) {
            whole = std::max(whole, double(bins[4 * i + c]));
            if (i >= 2 && i + 2 < size_t(kWidth)) inner = std::max(inner, double(bins[4 * i + c]));
        }
    ASSERT_GT(inner, 0);
    int compared = 0;
    for (size_t column = 0; column < size_t(kWidth); ++column)
        for (int c = 0; c < 3; ++c) {
            const int fromBuilder = bar(*built, column, c);
            if (fromBuilder >= kHeight) continue; // capped at the top
            EXPECT_NEAR(bar(*drawn, column, c), fromBuilder * inner / whole, 1.0) << column;
            ++compared;
        }
    EXPECT_GT(compared, 600);
}

TEST(DecodedSampleFilters, ZoomByThreeReplicatesEachPixelOfATile) {
    LV_REQUIRE_SAMPLE("Pixel7_small.dng");
    auto buffer = developed("Pixel7_small.dng");
    ASSERT_TRUE(buffer);
    auto whole = Image::create(buffer->getImage(nullptr), buffer->extent());
    auto crop = platform::ImageFilter::filterWithName(platform::CropFilter::kName);
    crop->setImage("inputImage", whole);
    crop->setValue(platform::CropFilter::kInputRectangle, platform::rectVector({100, 60, 128, 96}));
    auto tile = crop->outputImage();
    ASSERT_TRUE(tile);

    PixelZoomFilter::registerFilter();
    auto zoom = platform::ImageFilter::filterWithName(PixelZoomFilter::kName);
    zoom->setDefaults();
    zoom->setValue(PixelZoomFilter::kScale, 3.0);
    zoom->setImage("inputImage", tile);
    auto out = zoom->outputImage();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->extent(), (platform::Rect{300, 180, 384, 288}));
    for (int64_t y = 180; y < 468; ++y)
        for (int64_t x = 300; x < 684; ++x)
            ASSERT_EQ(testsupport::pixelOf(*out, x, y), testsupport::pixelOf(*tile, x / 3, y / 3))
                << x << "," << y;
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
    const platform::Dictionary settings{{"Lumivar_Filter_inputContrast", 0.25},
                                        {"Lumivar_Filter_inputBrightness", 0.3},
                                        {"Lumivar_Filter_inputEV", 0.5},
                                        {"Lumivar_Filter_monochromeRed", 1.4},
                                        {"Lumivar_ettrAdjust", -0.5}};
    CoreTiledEngine stage(source, "", false);
    stage.setEnableCinematic(false);
    stage.setCameraParameters(camera);
    stage.setParameters(std::nullopt, settings);
    stage.runProcessToCompletion(stage.mainMap().regionForRect(stage.extent(), 0));
    auto tile = stage.imageTile(0, 1.0, stage.extent(), nullptr, nullptr, true, 1);
    ASSERT_TRUE(tile);
    auto fromStage = Image::create(tile->getImageRef(), stage.extent());
    ASSERT_TRUE(fromStage);

    auto tileSource = ImageBufferF32::createWithCopyFrom(*stage.tileSourceBuffer());
    const float ettr = stage.ettrMul();
    EXPECT_FLOAT_EQ(ettr, std::exp2(-0.5f));
    auto input = platform::mapPixels(*Image::create(tileSource->getImage(nullptr), tileSource->extent()),
                                     [ettr](const float* s, float* d) {
                                         for (int c = 0; c < 4; ++c)
                                             d[c] = s[c] * ettr;
                                     });
    CoreEngineFilter::registerFilter();
    auto filter = platform::ImageFilter::filterWithName(CoreEngineFilter::kName);
    filter->setDefaults();
    filter->setValue(CoreEngineFilter::kCameraParameters, camera);
    filter->setValue(CoreEngineFilter::kImageParameters, settings);
    filter->setImage("inputImage", input);
    auto fromFilter = filter->outputImage();
    ASSERT_TRUE(fromFilter);

    // Where the table steps (its shadows are flattened below entry 512) the stage's whole
    // entry and the filter's blend of two differ most: a few pixels by up to 3 steps.
    double worst = 0;
    size_t samples = 0, beyondTwo = 0;
    for (size_t r = 0; r < fromStage->height(); ++r)
        for (size_t k = 0; k < 4 * fromStage->width(); ++k) {
            if (k % 4 == 3) continue;
            const double d = std::fabs(fromStage->row(r)[k] - fromFilter->row(r)[k]);
            worst = std::max(worst, d);
            beyondTwo += d > 2.0 / 4095;
            ++samples;
        }
    EXPECT_LE(worst, 3.0 / 4095);
    EXPECT_LE(beyondTwo, samples / 1000);
    EXPECT_GT(worst, 0); // the stage truncates its table index where the filter interpolates
}

INSTANTIATE_TEST_SUITE_P(Files, OutputStageAgainstFilter,
                         testing::Values(std::filesystem::path(LUMIVAR_SOURCE_DIR) /
                                             "samples/lumivar-chart.dng",
                                         testsupport::samplePath("Pixel7_small.dng")),
                         [](const auto& info) { return info.index == 0 ? "BundledChart" : "Pixel7"; });

} // namespace
