// The patch grading filter on a hand-worked strip.
#include <gtest/gtest.h>

#include "color/GM24PatchesFilter.h"
#include "platform/FilterRegistry.h"
#include "tests/support/FilterImages.h"

namespace {

using testsupport::Pixel;
using testsupport::pixelOf;

TEST(GM24PatchesFilter, ScalesOffsetsAndLimitsTheColours) {
    GM24PatchesFilter::registerFilter();
    EXPECT_EQ(platform::FilterRegistry::shared().find("GM24Patches")->displayName,
              "Gretag Macbeth 24 patch generator");
    auto filter = platform::ImageFilter::filterWithName("GM24Patches");
    filter->setDefaults();
    EXPECT_EQ(filter->value("a").doubleValue(), 1.0);
    EXPECT_EQ(filter->value("b").doubleValue(), 0.0);
    EXPECT_EQ(filter->value("clamp").doubleValue(), 100.0);

    const Pixel strip[4] = {
        {0.5f, 0.25f, 1.2f, 1}, {0.02f, 0.3f, 0.6f, 0.5f}, {0.9f, 0.9f, 0.9f, 0}, {1, 0, 0.1f, 1}};
    auto input = testsupport::makeImage({0, 0, 4, 1}, [&](int64_t x, int64_t) { return strip[x]; });
    filter->setImage("inputImage", input);
    EXPECT_EQ(pixelOf(*filter->outputImage(), 0, 0), (Pixel{0.5f, 0.25f, 1, 1})); // defaults limit to 1

    filter->setValue("a", 2.0);
    filter->setValue("b", -0.1);
    filter->setValue("clamp", 80.0);
    auto out = filter->outputImage();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->extent(), input->extent());
    const Pixel expected[4] = {
        {0.8f, 0.4f, 0.8f, 1}, {0, 0.5f, 0.8f, 0.5f}, {0.5f, 0.5f, 0.6f, 1}, {0.8f, 0, 0.1f, 1}};
    for (int64_t x = 0; x < 4; ++x)
        for (size_t c = 0; c < 4; ++c)
            EXPECT_NEAR(pixelOf(*out, x, 0)[c], expected[x][c], 1e-6) << x << "," << c;
}

} // namespace
