#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "engine/core/HistogramBuilder.h"

namespace {

using HB = HistogramBuilder;

std::shared_ptr<ImageBufferF32> filled(uint16_t w, uint16_t h, float r, float g, float b) {
    auto buf = ImageBufferF32::create(w, h);
    for (uint16_t y = 0; y < h; ++y)
        for (uint16_t x = 0; x < w; ++x) {
            float* p = buf->bufferFloatForRow(y, x);
            p[0] = r, p[1] = g, p[2] = b, p[3] = 1;
        }
    return buf;
}

std::shared_ptr<ImageBufferU16> histogramOf(const ImageBuffer& source, double width, double height) {
    auto builder = HB::create(source);
    EXPECT_TRUE(builder);
    if (!builder) return nullptr;
    builder->setOutputSize({width, height});
    return builder->getOutputImage();
}

// Rows painted from the bottom: the bar height of one channel in a column.
int barOf(const ImageBufferU16& img, int column, int channel) {
    int rows = 0;
    for (int j = 0; j < img.imageHeight(); ++j) {
        const uint16_t* p = img.bufferU16ForRow(img.imageHeight() - 1 - j, column);
        if (p[channel] == HB::kBackground) break;
        ++rows;
    }
    return rows;
}

bool columnIsGrey(const ImageBufferU16& img, int column) {
    for (int r = 0; r < img.imageHeight(); ++r) {
        const uint16_t* p = img.bufferU16ForRow(r, column);
        if (p[0] != HB::kAllChannels || p[1] != HB::kAllChannels || p[2] != HB::kAllChannels || p[3] != 65535)
            return false;
    }
    return true;
}

TEST(HistogramBuilder, OneGreyValueFillsOneColumn) {
    const auto img = histogramOf(*filled(8, 6, 0.5f, 0.5f, 0.5f), 100.7, 20);
    ASSERT_TRUE(img);
    ASSERT_EQ(img->imageWidth(), 100);
    ASSERT_EQ(img->imageHeight(), 20);
    const int hot = int(std::pow(0.5f, HB::kDisplayGamma) * 100); // 72
    for (int c = 0; c < 100; ++c) {
        if (c == hot) {
            EXPECT_TRUE(columnIsGrey(*img, c));
            continue;
        }
        const uint16_t* bottom = img->bufferU16ForRow(19, c);
        const uint16_t* above = img->bufferU16ForRow(18, c);
        ASSERT_EQ(bottom[0], HB::kAllChannels) << c;
        ASSERT_EQ(above[0], HB::kBackground) << c;
        ASSERT_EQ(above[3], 65535) << c;
    }
}

TEST(HistogramBuilder, BarsScaleToThePeakAndColourByChannel) {
    // 4 x 4 pixels: red spread over two levels (12 and 4 pixels), green and blue on one.
    auto buf = filled(4, 4, 0.25f, 0.5f, 0.5f);
    for (int x = 0; x < 4; ++x)
        buf->bufferFloatForRow(0, x)[0] = 0.75f;
    const auto img = histogramOf(*buf, 10, 16);
    ASSERT_TRUE(img);
    const auto bin = [](float v) { return int(std::pow(v, HB::kDisplayGamma) * 10); };
    ASSERT_NE(bin(0.25f), bin(0.5f));
    ASSERT_NE(bin(0.75f), bin(0.5f));
    // The peak is 16 (green and blue share a bin): bar height = count rows plus the base row.
    EXPECT_EQ(barOf(*img, bin(0.5f), 1), 16);
    EXPECT_EQ(barOf(*img, bin(0.25f), 0), 13);
    EXPECT_EQ(barOf(*img, bin(0.75f), 0), 5);
    const uint16_t* redOnly = img->bufferU16ForRow(16 - 1 - 5, bin(0.25f));
    EXPECT_EQ(redOnly[0], 65535);
    EXPECT_EQ(redOnly[1], HB::kBackground);
    const uint16_t* greenBlue = img->bufferU16ForRow(0, bin(0.5f));
    EXPECT_EQ(greenBlue[0], HB::kBackground);
    EXPECT_EQ(greenBlue[1], 65535);
    EXPECT_EQ(greenBlue[2], 65535);
}

TEST(HistogramBuilder, NoPeakGivesFullBarsEverywhere) {
    const struct {
        float r, g, b;
        double width;
    } cases[] = {{1, 0, 0, 64}, {0.5f, 0.5f, 0.5f, 4}, {2.0f, -1.0f, 0, 16}};
    for (const auto& c : cases) {
        const auto img = histogramOf(*filled(3, 3, c.r, c.g, c.b), c.width, 8);
        ASSERT_TRUE(img);
        for (int col = 0; col < img->imageWidth(); ++col)
            EXPECT_TRUE(columnIsGrey(*img, col)) << col;
    }
}

TEST(HistogramBuilder, SixteenBitSourceAndRepeatedRequestsAgree) {
    auto u16 = ImageBufferU16::create(2, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            uint16_t* p = u16->bufferU16ForRow(y, x);
            p[0] = p[1] = p[2] = uint16_t(kU16PerFloatUnit / 2), p[3] = 65535;
        }
    auto builder = HB::create(*u16);
    ASSERT_TRUE(builder);
    builder->setOutputSize({50, 10});
    const auto first = builder->getOutputImage();
    const auto second = builder->getOutputImage();
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(columnIsGrey(*first, 36));
    EXPECT_TRUE(columnIsGrey(*second, 36)) << "the gamma must not be applied twice";
}

TEST(HistogramBuilder, RefusesBadSizesAndNonFloatBuffers) {
    auto builder = HB::create(*filled(2, 2, 0.5f, 0.5f, 0.5f));
    ASSERT_TRUE(builder);
    for (auto size : {platform::Size{0.5, 10}, platform::Size{10, 0}, platform::Size{70000, 10},
                      platform::Size{NAN, 10}}) {
        builder->setOutputSize(size);
        EXPECT_EQ(builder->getOutputImage(), nullptr) << size.width << "x" << size.height;
    }
    builder->setOutputSize({10, 10});
    builder->setTheBuffer(ImageBufferU16::create(2, 2));
    EXPECT_THROW(builder->getOutputImage(), std::logic_error);
    builder->setTheBuffer(nullptr);
    EXPECT_EQ(builder->getOutputImage(), nullptr);
}

} // namespace
