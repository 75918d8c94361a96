// Filter chains: feeding, and re-running from the first filter a settings change touches.
#include <gtest/gtest.h>

#include "color/FilteredCIImage.h"
#include "settings/Schema.h"
#include "tests/support/FilterImages.h"

namespace {

using platform::FilterAttribute;
using platform::Image;
using testsupport::makeImage;
using testsupport::Pixel;
using testsupport::pixelOf;

// The setting that drives a filter attribute of that name.
std::string adjustment(const char* attribute) {
    return FilteredCIImage::kSettingsPrefix + std::string(attribute);
}

// Adds its "inputOffset" to the colours, counting its runs and keeping the extent it was given.
class OffsetFilter : public platform::ImageFilter {
  public:
    explicit OffsetFilter(const char* key)
        : ImageFilter({FilterAttribute::image(kInputImage), FilterAttribute::scalar(key, 0, -1, 1),
                       FilterAttribute::vector(kInputExtent, platform::makeVector({0, 0, 1, 1}))}),
          key_(key) {}
    int runs = 0;

  protected:
    Image::Ptr computeOutput(const Image& input) override {
        ++runs;
        const auto offset = float(number(key_, 0));
        return platform::mapPixels(input, [offset](const float* s, float* d) {
            for (int c = 0; c < 3; ++c)
                d[c] = s[c] + offset;
            d[3] = s[3];
        });
    }

  private:
    const char* key_;
};

Image::Ptr grey(float v, platform::Rect extent = {0, 0, 2, 2}) {
    return makeImage(extent, [v](int64_t, int64_t) { return Pixel{v, v, v, 1}; });
}

struct Chain {
    std::shared_ptr<OffsetFilter> f[3] = {std::make_shared<OffsetFilter>("inputA"),
                                          std::make_shared<OffsetFilter>("inputB"),
                                          std::make_shared<OffsetFilter>("inputA")};
    FilteredCIImage chain;
    Chain() {
        for (auto& filter : f)
            chain.addFilter(filter);
    }
    std::array<int, 3> runs() const { return {f[0]->runs, f[1]->runs, f[2]->runs}; }
    float out() { return pixelOf(*chain.getOutputImage(), 0, 0)[0]; }
};

TEST(FilteredCIImage, FeedsEachFilterThePreviousOutput) {
    Chain c;
    EXPECT_EQ(c.chain.getOutputImage(), nullptr);
    c.chain.setInputImage(grey(0.25f, {5, 6, 2, 2}));
    EXPECT_FLOAT_EQ(pixelOf(*c.chain.getOutputImage(), 5, 6)[0], 0.25f);
    EXPECT_EQ(c.runs(), (std::array<int, 3>{1, 1, 1}));
    EXPECT_EQ(platform::rectFromVector(c.f[1]->value("inputExtent")), (platform::Rect{5, 6, 2, 2}));

    FilteredCIImage empty(grey(0.5f));
    EXPECT_EQ(empty.getOutputImage(), empty.getInputImage()); // no filters: the input itself
    c.chain.removeFilter(c.f[2]);
    EXPECT_EQ(c.chain.getOutputImage(), c.f[1]->outputImage());
}

TEST(FilteredCIImage, AdjustmentsRerunTheChainFromTheFirstChangedFilter) {
    Chain c;
    c.chain.setInputImage(grey(0.25f));
    c.out();

    c.chain.applyAdjustments({{adjustment("inputB"), 0.125}, {std::string(settings::Prefix) + "Other", 3}});
    EXPECT_FLOAT_EQ(c.out(), 0.375f);
    EXPECT_EQ(c.runs(), (std::array<int, 3>{1, 2, 2}));

    c.chain.applyAdjustments({{adjustment("inputB"), 0.125}}); // the same value: nothing runs
    c.out();
    EXPECT_EQ(c.runs(), (std::array<int, 3>{1, 2, 2}));
    c.chain.applyAdjustments({{adjustment("inputB"), 1}}); // 1 and 0.125 differ as numbers
    c.out();
    EXPECT_EQ(c.runs(), (std::array<int, 3>{1, 3, 3}));

    // Both filters with key "inputA" get it, the second although the first already had it.
    c.chain.applyAdjustments({{adjustment("inputA"), 0.5}, {adjustment("inputB"), 1}});
    EXPECT_FLOAT_EQ(c.out(), 0.25f + 0.5f + 1 + 0.5f);
    EXPECT_EQ(c.runs(), (std::array<int, 3>{2, 4, 4}));

    // A value that is not a number is set every time.
    for (int i = 0; i < 2; ++i) {
        c.chain.applyAdjustments({{adjustment("inputB"), "0.25"}});
        c.out();
    }
    EXPECT_EQ(c.runs(), (std::array<int, 3>{2, 6, 6}));
}

TEST(FilteredCIImage, AFedFilterGetsTheExtentOfItsInput) {
    auto crop = platform::ImageFilter::filterWithName("CICrop");
    auto offset = std::make_shared<OffsetFilter>("inputA");
    FilteredCIImage chain;
    chain.addFilter(crop);
    chain.addFilter(offset);
    chain.setInputImage(grey(0.5f, {0, 0, 8, 8}));
    EXPECT_EQ(platform::rectFromVector(offset->value("inputExtent")), (platform::Rect{0, 0, 8, 8}));
    chain.applyAdjustments({{adjustment("inputRectangle"), platform::rectVector({2, 3, 4, 1})}});
    EXPECT_EQ(platform::rectFromVector(offset->value("inputExtent")), (platform::Rect{2, 3, 4, 1}));
    EXPECT_EQ(chain.getOutputImage()->extent(), (platform::Rect{2, 3, 4, 1}));
}

} // namespace
