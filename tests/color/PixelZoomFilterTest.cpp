// Pixel zoom: nearest-neighbour enlargement, its region of interest, and the two-slot holder.
#include <gtest/gtest.h>

#include "color/PixelZoomFilter.h"
#include "color/PixelatedCIImages.h"
#include "tests/support/FilterImages.h"

namespace {

using platform::Image;
using platform::Rect;
using testsupport::Pixel;
using testsupport::pixelOf;

// Pixel (x, y) of the 4 x 4 image at (ox, oy) holds (x, y, 10 x + y, 1) counted from its corner.
Image::Ptr numbered(double ox = 0, double oy = 0) {
    return testsupport::makeImage({ox, oy, 4, 4}, [ox, oy](int64_t x, int64_t y) {
        const auto u = float(x - int64_t(ox)), v = float(y - int64_t(oy));
        return Pixel{u, v, 10 * u + v, 1};
    });
}

std::shared_ptr<platform::ImageFilter> zoom(const Image::Ptr& input, double scale) {
    PixelZoomFilter::registerFilter();
    auto filter = platform::ImageFilter::filterWithName("PixelZoom");
    filter->setDefaults();
    filter->setValue(PixelZoomFilter::kScale, scale);
    filter->setImage("inputImage", input);
    return filter;
}

TEST(PixelZoomFilter, WholeScalesReplicateEachPixel) {
    for (double scale : {1.0, 2.0, 3.0}) {
        SCOPED_TRACE(scale);
        auto input = numbered(1, 2);
        auto out = zoom(input, scale)->outputImage();
        ASSERT_TRUE(out);
        EXPECT_EQ(out->extent(), (Rect{scale, 2 * scale, 4 * scale, 4 * scale}));
        const auto s = int64_t(scale);
        for (int64_t y = 2 * s; y < 6 * s; ++y)
            for (int64_t x = s; x < 5 * s; ++x)
                ASSERT_EQ(pixelOf(*out, x, y), pixelOf(*input, x / s, y / s)) << x << "," << y;
    }
}

TEST(PixelZoomFilter, FractionalScalesAndTheRegionOfInterest) {
    auto out = zoom(numbered(), 1.5)->outputImage();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->extent(), (Rect{0, 0, 6, 6}));
    // Centres 0.5, 1.5, 2.5, ... over 1.5 fall into pixels 0, 1, 1, 2, 3, 3.
    const int64_t from[6] = {0, 1, 1, 2, 3, 3};
    for (int64_t x = 0; x < 6; ++x)
        EXPECT_EQ(pixelOf(*out, x, 5)[0], float(from[x])) << x;

    auto wide = zoom(testsupport::makeImage({0, 0, 3, 1},
                                            [](int64_t x, int64_t) {
                                                return Pixel{float(x), 0, 0, 1};
                                            }),
                     1.5)
                    ->outputImage();
    EXPECT_EQ(wide->extent(), (Rect{0, 0, 5, 2}));        // 4.5 x 1.5 widened to whole pixels
    EXPECT_EQ(pixelOf(*wide, 4, 0), (Pixel{0, 0, 0, 0})); // its centre lies past the input

    EXPECT_EQ(PixelZoomFilter::zoomROI({0, 0, 6, 6}, 3), (Rect{0, 0, 2, 2}));
    EXPECT_EQ(PixelZoomFilter::zoomROI({3, 6, 9, 3}, 3), (Rect{1, 2, 3, 1}));
    for (double bad : {0.0, -2.0})
        EXPECT_FALSE(zoom(numbered(), bad)->outputImage()) << bad;
}

TEST(PixelatedCIImages, ShowsTheInputUntilTheFactorPassesOne) {
    PixelatedCIImages pixelated;
    EXPECT_FLOAT_EQ(pixelated.getPixelScaleFactor(), 1.0f);
    auto first = numbered(), second = numbered(4, 0);
    pixelated.setImage(first, 0);
    EXPECT_EQ(pixelated.getInputImage(0), first);
    EXPECT_EQ(pixelated.getPixelatedImage(0), first);

    pixelated.setPixelScaleFactor(3);
    EXPECT_EQ(pixelated.getPixelatedImage(0)->extent(), (Rect{0, 0, 12, 12}));
    // A slot first used after the factor was set is enlarged as much.
    pixelated.setImage(second, 1);
    EXPECT_FLOAT_EQ(pixelated.getPixelScaleFactor(), 3.0f);
    EXPECT_EQ(pixelated.getPixelatedImage(1)->extent(), (Rect{12, 0, 12, 12}));
    EXPECT_EQ(pixelOf(*pixelated.getPixelatedImage(1), 23, 11), pixelOf(*second, 7, 3));

    pixelated.setPixelScaleFactor(0.5f);
    EXPECT_EQ(pixelated.getPixelatedImage(1), second);
    pixelated.setImage(first, 2); // there are two slots
    EXPECT_EQ(pixelated.getInputImage(2), nullptr);
}

} // namespace
