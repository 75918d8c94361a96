// The histogram chain and the pixel zoom on a real camera file, developed by the decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "color/HistogramFilteredCIImage.h"
#include "color/PixelZoomFilter.h"
#include "engine/core/HistogramBuilder.h"
#include "platform/CropFilter.h"
#include "raw/core/DCRaw.h"
#include "tests/support/FilterImages.h"
#include "tests/support/Samples.h"

namespace {

using platform::Image;

// The decoder's linear 16-bit rendering of a sample, as float (1.0 = 65325).
std::shared_ptr<ImageBufferF32> developed(const char* name) {
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    decoder.setOutputColorSpace(4);
    const std::string path = testsupport::samplePath(name).string();
    if (!decoder.loadFile(path, nullptr)) return nullptr;
    uint16_t* pixels = nullptr;
    uint16_t w = 0, h = 0;
    const bool ok = decoder.processFileAndCreateBuffer(path, &pixels, 0, &w, &h);
    std::shared_ptr<ImageBufferU16> buffer = ok ? ImageBufferU16::create(w, h) : nullptr;
    if (buffer)
        for (uint16_t y = 0; y < h; ++y)
            std::copy_n(pixels + size_t(y) * w * 4, size_t(w) * 4, buffer->bufferU16ForRow(y));
    std::free(pixels);
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

} // namespace
