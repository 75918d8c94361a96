// The histogram drawn by a filter chain against the histogram builder's own image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "color/HistogramFilteredCIImage.h"
#include "engine/core/HistogramBuilder.h"
#include "tests/support/FilterImages.h"

namespace {

using platform::Image;

constexpr double kWidth = 128, kHeight = 60;

// Smooth ramps with a third of the pixels clipped to white, so that the last bin holds the
// largest count: the builder leaves it out of its peak, the chain's maximum does not.
std::shared_ptr<ImageBufferF32> scene() {
    auto buffer = ImageBufferF32::create(90, 70);
    for (uint16_t y = 0; y < 70; ++y)
        for (uint16_t x = 0; x < 90; ++x) {
            float* p = buffer->bufferFloatForRow(y, x);
            const float t = float(x) / 89, u = float(y) / 69;
            const bool clipped = x % 3 == 0;
            p[0] = clipped ? 1.0f : t * t;
            p[1] = clipped ? 1.0f : 0.5f * (t + u);
            p[2] = clipped ? 1.0f : u * 0.8f;
            p[3] = 1;
        }
    return buffer;
}

// The height of one channel's bar in a column: rows from the bottom not at background.
int barOf(const Image& image, size_t column, int channel) {
    const float background = HistogramBuilder::kBackground / 65535.0f;
    int rows = 0;
    for (size_t j = 0; j < image.height(); ++j, ++rows)
        if (image.row(image.height() - 1 - j)[4 * column + size_t(channel)] == background) break;
    return rows;
}

int barOf(const ImageBufferU16& image, size_t column, int channel) {
    int rows = 0;
    for (int j = 0; j < image.imageHeight(); ++j, ++rows)
        if (image.bufferU16ForRow(size_t(image.imageHeight() - 1 - j), column)[channel] ==
            HistogramBuilder::kBackground)
            break;
    return rows;
}

TEST(HistogramFilteredCIImage, DrawsTheBuildersBarsScaledByTheRatioOfThePeaks) {
    auto buffer = scene();
    auto builder = HistogramBuilder::create(*buffer);
    builder->setOutputSize({kWidth, kHeight});
    auto built = builder->getOutputImage();
    ASSERT_TRUE(built);

    HistogramFilteredCIImage chain({kWidth, kHeight});
    chain.setInputImage(Image::create(buffer->getImage(nullptr), buffer->extent()));
    auto drawn = chain.getOutputImage();
    ASSERT_TRUE(drawn);
    EXPECT_EQ(drawn->extent(), (platform::Rect{0, 0, kWidth, kHeight}));

    // The peaks in counts: the whole histogram's maximum, and the builder's inner one.
    const auto histogram = chain.filters()[1]->outputImage();
    ASSERT_EQ(histogram->width(), size_t(kWidth));
    const float* bins = histogram->row(0);
    double whole = 0, inner = 0;
    for (size_t i = 0; i < size_t(kWidth); ++i)
        for (size_t c = 0; c < 3; ++c) {
            whole = std::max(whole, double(bins[4 * i + c]));
            if (i >= 2 && i + 2 < size_t(kWidth)) inner = std::max(inner, double(bins[4 * i + c]));
        }
    ASSERT_GT(whole, 1.5 * inner); // the clipped white is the largest bin
    const float* maximum = chain.filters()[2]->outputImage()->row(0);
    EXPECT_FLOAT_EQ(std::max({maximum[0], maximum[1], maximum[2]}), float(whole));

    int compared = 0;
    for (size_t column = 0; column < size_t(kWidth); ++column)
        for (int c = 0; c < 3; ++c) {
            const int fromBuilder = barOf(*built, column, c);
            if (fromBuilder >= kHeight) continue; // capped at the top
            const double expected = fromBuilder * inner / whole;
            EXPECT_NEAR(barOf(*drawn, column, c), expected, 1.0) << column << "," << c;
            ++compared;
        }
    EXPECT_GT(compared, 300);

    // Painted as the builder paints: full channels, grey where all three bars meet.
    const float* bottom = drawn->row(size_t(kHeight) - 1);
    EXPECT_EQ(bottom[0], HistogramBuilder::kAllChannels / 65535.0f);
    EXPECT_EQ(bottom[3], 1.0f);
}

TEST(HistogramFilteredCIImage, NothingToDrawWithoutAnInputOrAnArea) {
    HistogramFilteredCIImage chain({64, 20});
    EXPECT_EQ(chain.filters().size(), 5u);
    EXPECT_EQ(chain.getOutputImage(), nullptr);
    chain.setInputImage(testsupport::makeImage({0, 0, 4, 4}, [](int64_t, int64_t) {
        return testsupport::Pixel{0.5f, 0.5f, 0.5f, 1};
    }));
    ASSERT_TRUE(chain.getOutputImage());
    EXPECT_EQ(chain.getOutputImage()->extent(), (platform::Rect{0, 0, 64, 20}));
    // One grey: the peak is its bin, which gets the full height.
    const size_t bin = size_t(std::pow(0.5, double(HistogramFilteredCIImage::kDisplayGamma)) * 64);
    EXPECT_EQ(barOf(*chain.getOutputImage(), bin, 1), 20);
    EXPECT_EQ(barOf(*chain.getOutputImage(), bin + 1, 1), 1); // a bar of height 0 still covers its row
    chain.setOutputSize({0, 20});
    EXPECT_EQ(chain.getOutputImage(), nullptr);
}

} // namespace
