// The filter stand-in: images with an extent, attributes, the registry and the built-in
// filters on hand-worked 4 x 4 images.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/AreaHistogramFilter.h"
#include "platform/AreaMaximumFilter.h"
#include "platform/CropFilter.h"
#include "platform/FilterRegistry.h"
#include "platform/GammaAdjustFilter.h"
#include "tests/support/FilterImages.h"

namespace {

using platform::FilterRegistry;
using platform::Image;
using platform::ImageFilter;
using platform::Rect;
using testsupport::makeImage;
using testsupport::Pixel;
using testsupport::pixelOf;

// (x / 4, y / 4, (x + y) / 8, 1) over (0, 0, 4, 4).
Image::Ptr ramp(Rect extent = {0, 0, 4, 4}) {
    return makeImage(extent, [&](int64_t x, int64_t y) {
        const auto u = float(x - int64_t(extent.x)), v = float(y - int64_t(extent.y));
        return Pixel{u / 4, v / 4, (u + v) / 8, 1};
    });
}

std::shared_ptr<ImageFilter> made(const char* name, const Image::Ptr& input) {
    auto filter = ImageFilter::filterWithName(name);
    EXPECT_TRUE(filter) << name;
    if (!filter) return nullptr;
    filter->setDefaults();
    filter->setImage(ImageFilter::kInputImage, input);
    return filter;
}

TEST(FilterImage, RowsRunTopDownInAPlaneWhoseYGrowsUpwards) {
    auto image = ramp({10, 20, 4, 4});
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelOf(*image, 10, 20), (Pixel{0, 0, 0, 1}));
    EXPECT_EQ(pixelOf(*image, 13, 23), (Pixel{0.75f, 0.75f, 0.75f, 1}));
    EXPECT_EQ(image->row(0), image->pixel(10, 23)); // the first row is the top one
    EXPECT_EQ(image->pixel(14, 20), nullptr);
    EXPECT_EQ(image->pixel(10, 19), nullptr);

    // Images are float RGBA over whole pixels of the bitmap's size.
    EXPECT_FALSE(Image::create(image->bitmap(), {0, 0, 4, 3}));
    EXPECT_FALSE(Image::create(image->bitmap(), {0.5, 0, 4, 4}));
    EXPECT_TRUE(Image::create(image->bitmap(), {-2, -2, 4, 4}));
    auto bytes = platform::Bitmap::createOwned({4, 4, 8, 32, 16, platform::bitmap_info::kAlphaLast}, nullptr);
    EXPECT_FALSE(Image::create(bytes, {0, 0, 4, 4}));
    EXPECT_FALSE(Image::createBlank({0, 0, 0, 4}));
    EXPECT_FALSE(Image::createBlank({0, 0, 1e6, 1e6})); // 16 TB of pixels
}

TEST(FilterRegistry, BuiltInsAreMadeByNameWithTheirDescriptions) {
    auto& registry = FilterRegistry::shared();
    for (const char* name : {"CIGammaAdjust", "CIAreaHistogram", "CIAreaMaximum", "CICrop"}) {
        auto filter = ImageFilter::filterWithName(name);
        ASSERT_TRUE(filter) << name;
        EXPECT_EQ(filter->name(), name);
        ASSERT_TRUE(registry.find(name));
        EXPECT_FALSE(registry.find(name)->displayName.empty());
    }
    EXPECT_EQ(registry.find("CICrop")->displayName, "Crop");
    EXPECT_FALSE(ImageFilter::filterWithName("CINoSuchFilter"));
    const auto reductions = registry.filterNamesInCategory(platform::filter_category::kReduction);
    EXPECT_EQ(reductions, (std::vector<std::string>{"CIAreaHistogram", "CIAreaMaximum"}));
    // The first registration of a name holds.
    EXPECT_FALSE(registry.registerFilter({"CICrop", "Other", {}, [] { return nullptr; }}));
    EXPECT_TRUE(ImageFilter::filterWithName("CICrop"));
}

TEST(ImageFilter, AttributesDefaultsAndTheKeptOutput) {
    auto filter = ImageFilter::filterWithName("CIGammaAdjust");
    EXPECT_EQ(filter->attributeKeys(), (std::vector<std::string>{"inputImage", "inputPower"}));
    EXPECT_TRUE(filter->value("inputPower").isNull());
    filter->setDefaults();
    EXPECT_EQ(filter->value("inputPower").doubleValue(), 0.75);
    EXPECT_EQ(filter->attribute("inputPower")->identity, 1.0);
    EXPECT_FALSE(filter->setValue("inputRadius", 3.0));
    EXPECT_FALSE(filter->setValue("inputImage", 3.0));
    EXPECT_FALSE(filter->setImage("inputPower", ramp()));

    EXPECT_FALSE(filter->outputImage()); // nothing without an input
    filter->setImage(ImageFilter::kInputImage, ramp());
    auto first = filter->outputImage();
    ASSERT_TRUE(first);
    EXPECT_EQ(filter->outputImage(), first); // kept while nothing changes
    filter->setValue("inputPower", 2.0);
    auto second = filter->outputImage();
    EXPECT_NE(second, first);
    EXPECT_FLOAT_EQ(pixelOf(*second, 2, 1)[0], 0.25f);
}

TEST(GammaAdjustFilter, RaisesColoursToThePowerAndKeepsAlpha) {
    auto input = makeImage({0, 0, 4, 1}, [](int64_t x, int64_t) {
        static const Pixel px[4] = {
            {0.25f, 0.04f, 1, 0.5f}, {0, 0.81f, 4, 1}, {-0.25f, 0.36f, 0.09f, 0}, {2, 2, 2, 2}};
        return px[x];
    });
    auto gamma = made("CIGammaAdjust", input);
    gamma->setValue("inputPower", 0.5);
    auto out = gamma->outputImage();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->extent(), input->extent());
    const Pixel expected[4] = {{0.5f, 0.2f, 1, 0.5f},
                               {0, 0.9f, 2, 1},
                               {-0.5f, 0.6f, 0.3f, 0},
                               {1.4142135f, 1.4142135f, 1.4142135f, 2}};
    for (int x = 0; x < 4; ++x)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(pixelOf(*out, x, 0)[c], expected[x][c], 1e-6) << x << "," << c;
}

TEST(AreaHistogramFilter, SharesOfTheAreaPerBinAndChannel) {
    auto histogram = made("CIAreaHistogram", ramp());
    histogram->setValue("inputCount", 4);
    histogram->setValue("inputExtent", platform::rectVector({0, 0, 4, 4}));
    auto out = histogram->outputImage();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->extent(), (Rect{0, 0, 4, 1}));
    // Red is x / 4: one column per bin. Blue (x + y) / 8 puts 3, 7, 5 and 1 pixels into
    // the bins. Alpha 1 falls into the last bin.
    for (int b = 0; b < 4; ++b) {
        EXPECT_FLOAT_EQ(pixelOf(*out, b, 0)[0], 0.25f) << b;
        EXPECT_FLOAT_EQ(pixelOf(*out, b, 0)[3], b == 3 ? 1.0f : 0.0f) << b;
    }
    const float blue[4] = {3 / 16.f, 7 / 16.f, 5 / 16.f, 1 / 16.f};
    for (int b = 0; b < 4; ++b)
        EXPECT_FLOAT_EQ(pixelOf(*out, b, 0)[2], blue[b]) << b;

    // A part of the image, widened to whole pixels and clipped, with a scale.
    histogram->setValue("inputExtent", platform::rectVector({2.5, -5, 10, 6.5}));
    histogram->setValue("inputScale", 8.0);
    out = histogram->outputImage();
    ASSERT_TRUE(out);
    // Columns 2 and 3, rows 0 and 1: red in bins 2 and 3, green in bins 0 and 1.
    const Pixel bins[4] = {{0, 4, 0, 0}, {0, 4, 6, 0}, {4, 0, 2, 0}, {4, 0, 0, 8}};
    for (int b = 0; b < 4; ++b)
        EXPECT_EQ(pixelOf(*out, b, 0), bins[b]) << b;

    histogram->setValue("inputExtent", platform::rectVector({5, 5, 2, 2}));
    EXPECT_FALSE(histogram->outputImage());
}

TEST(AreaMaximumFilter, LargestValueOfEachChannelInTheArea) {
    auto input = makeImage({0, 0, 4, 4}, [](int64_t x, int64_t y) {
        return Pixel{float(x), float(y), x == 1 && y == 1 ? NAN : float(x * y) / 9, 1};
    });
    auto maximum = made("CIAreaMaximum", input);
    maximum->setValue("inputExtent", platform::rectVector({0, 0, 2, 3}));
    auto out = maximum->outputImage();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->extent(), (Rect{0, 0, 1, 1}));
    EXPECT_EQ(pixelOf(*out, 0, 0), (Pixel{1, 2, 2.0f / 9, 1})); // the NaN is passed over
    maximum->setValue("inputExtent", platform::rectVector({-10, -10, 100, 100}));
    EXPECT_EQ(pixelOf(*maximum->outputImage(), 0, 0), (Pixel{3, 3, 1, 1}));
}

TEST(CropFilter, KeepsTheWholePixelsOfTheRectangle) {
    auto input = ramp({10, 20, 4, 4});
    auto crop = made("CICrop", input);
    EXPECT_EQ(crop->outputImage()->extent(), input->extent()); // the default keeps everything
    crop->setValue("inputRectangle", platform::rectVector({11.5, 21, 2, 2}));
    auto out = crop->outputImage();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->extent(), (Rect{11, 21, 3, 2}));
    for (int64_t y = 21; y < 23; ++y)
        for (int64_t x = 11; x < 14; ++x)
            EXPECT_EQ(pixelOf(*out, x, y), pixelOf(*input, x, y)) << x << "," << y;
    crop->setValue("inputRectangle", platform::rectVector({0, 0, 10, 10}));
    EXPECT_FALSE(crop->outputImage()); // touches the corner only
}

} // namespace
