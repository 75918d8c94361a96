#pragma once
// The filter checks shared by the real-file tests: the histogram chain against the
// histogram builder, the pixel zoom against replication, and the core-engine filter against
// the output stage it stands for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "color/CoreEngineFilter.h"
#include "color/HistogramFilteredCIImage.h"
#include "color/PixelZoomFilter.h"
#include "engine/core/BitmapImage.h"
#include "engine/core/HistogramBuilder.h"
#include "engine/core/ImageBufferF32.h"
#include "engine/stages/CoreTiledEngine.h"
#include "platform/CropFilter.h"
#include "tests/support/FilterImages.h"

namespace filterchecks {

// The height of a histogram bar: rows from the bottom until the background.
inline int bar(const platform::Image& image, size_t column, int channel) {
    const float background = HistogramBuilder::kBackground / 65535.0f;
    int rows = 0;
    while (size_t(rows) < image.height() &&
           image.row(image.height() - 1 - size_t(rows))[4 * column + size_t(channel)] != background)
        ++rows;
    return rows;
}

inline int bar(const ImageBufferU16& image, size_t column, int channel) {
    int rows = 0;
    while (rows < image.imageHeight() &&
           image.bufferU16ForRow(size_t(image.imageHeight() - 1 - rows), column)[channel] !=
               HistogramBuilder::kBackground)
        ++rows;
    return rows;
}

// The chain scales by its own peak over every bin, the builder leaves out the two bins at
// either end: after that ratio the bars agree within one row.
inline void expectChainDrawsTheBuildersBars(const ImageBufferF32& buffer, int minCompared) {
    constexpr double kWidth = 256, kHeight = 80;
    auto builder = HistogramBuilder::create(buffer);
    builder->setOutputSize({kWidth, kHeight});
    const auto built = builder->getOutputImage();
    HistogramFilteredCIImage chain({kWidth, kHeight});
    chain.setInputImage(platform::Image::create(buffer.getImage(nullptr), buffer.extent()));
    const auto drawn = chain.getOutputImage();
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
            EXPECT_NEAR(bar(*drawn, column, c), fromBuilder * inner / whole, 1.0) << column << " " << c;
            ++compared;
        }
    EXPECT_GT(compared, minCompared);
}

// A 128 x 96 tile at (100, 60) zoomed by three is each of its pixels three by three times.
inline void expectZoomByThreeReplicatesATile(const platform::Image::Ptr& whole) {
    auto crop = platform::ImageFilter::filterWithName(platform::CropFilter::kName);
    crop->setImage("inputImage", whole);
    crop->setValue(platform::CropFilter::kInputRectangle, platform::rectVector({100, 60, 128, 96}));
    const auto tile = crop->outputImage();
    ASSERT_TRUE(tile);

    PixelZoomFilter::registerFilter();
    auto zoom = platform::ImageFilter::filterWithName(PixelZoomFilter::kName);
    zoom->setDefaults();
    zoom->setValue(PixelZoomFilter::kScale, 3.0);
    zoom->setImage("inputImage", tile);
    const auto out = zoom->outputImage();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->extent(), (platform::Rect{300, 180, 384, 288}));
    EXPECT_EQ(PixelZoomFilter::zoomROI(out->extent(), 3.0), tile->extent());
    size_t wrong = 0;
    for (int64_t y = 180; y < 468; ++y)
        for (int64_t x = 300; x < 684; ++x)
            wrong += testsupport::pixelOf(*out, x, y) != testsupport::pixelOf(*tile, x / 3, y / 3);
    EXPECT_EQ(wrong, 0u);
}

// The filter, given the stage's tile source as float with the stage's exposure scale and
// the same two dictionaries, against the stage's zoom-1 tile (a stage with no camera
// profile and no knee). Where the table steps (its shadows are flattened below entry 512)
// the stage's whole entry and the filter's blend of two differ most: a few samples by up to
// three steps. Gives the largest difference.
inline double expectFilterMatchesTheStage(CoreTiledEngine& stage, const platform::Dictionary& camera,
                                          const platform::Dictionary& settings) {
    using platform::Image;
    const auto tile = stage.imageTile(0, 1.0, stage.extent(), nullptr, nullptr, true, 1);
    const auto fromStage = tile ? Image::create(tile->getImageRef(), stage.extent()) : nullptr;
    const auto source = stage.tileSourceBuffer();
    if (!fromStage || !source) {
        ADD_FAILURE() << "no tile from the stage";
        return -1;
    }
    const auto tileSource = ImageBufferF32::createWithCopyFrom(*source);
    const float ettr = stage.ettrMul();
    const auto input =
        platform::mapPixels(*Image::create(tileSource->getImage(nullptr), tileSource->extent()),
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
    const auto fromFilter = filter->outputImage();
    if (!fromFilter || fromFilter->width() != fromStage->width() ||
        fromFilter->height() != fromStage->height()) {
        ADD_FAILURE() << "no filter output of the stage's size";
        return -1;
    }
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
    return worst;
}

} // namespace filterchecks
