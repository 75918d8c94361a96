// The output stage's maths as a filter, against the matrix and tone table it is built from.
#include <gtest/gtest.h>

#include <cmath>

#include "color/ComputeMatrixAndLUT.h"
#include "color/CoreEngineFilter.h"
#include "engine/core/ImageBufferF32.h"
#include "platform/FilterRegistry.h"
#include "settings/Schema.h"
#include "tests/support/FilterImages.h"

namespace {

using platform::Dictionary;
using platform::Image;
using testsupport::Pixel;
using testsupport::pixelOf;

std::shared_ptr<platform::ImageFilter> coreEngine(const Dictionary& settings, const Image::Ptr& input) {
    CoreEngineFilter::registerFilter();
    auto filter = platform::ImageFilter::filterWithName(CoreEngineFilter::kName);
    EXPECT_TRUE(filter);
    filter->setDefaults();
    filter->setValue(CoreEngineFilter::kCameraParameters, Dictionary{});
    filter->setValue(CoreEngineFilter::kImageParameters, settings);
    filter->setImage(platform::ImageFilter::kInputImage, input);
    return filter;
}

// A ramp of colours from black to beyond white.
Image::Ptr colours() {
    return testsupport::makeImage({0, 0, 16, 4}, [](int64_t x, int64_t y) {
        const float t = float(x + 16 * y) / 50;
        return Pixel{t, t * 0.8f, t * 1.1f, 0.5f};
    });
}

// The output stage's own step: the table index truncated to a whole entry.
struct Engine {
    float matrix[16];
    float offset = 0, kneeLow = 0, kneeF = 0;
    std::shared_ptr<ImageBufferF32> lut = ImageBufferF32::create(4096, 1);
    explicit Engine(const Dictionary& settings) {
        ComputeMatrixAndLUT builder;
        builder.setCameraParameters(Dictionary{});
        builder.setImageParameters(settings);
        EXPECT_TRUE(builder.populateFloatLUTAndMatrix(lut.get(), matrix, &offset, &kneeLow, &kneeF));
    }
    float gain(float index, bool interpolate) const {
        const float* q = lut->bufferFloatForRow(0);
        const float t = std::clamp(index, 0.0f, 4095.0f);
        const int i = std::min(int(t), 4094);
        if (!interpolate || t < 1) return q[4 * int(t)];
        return q[4 * i] + (t - float(i)) * (q[4 * (i + 1)] - q[4 * i]);
    }
    Pixel apply(const Pixel& p, bool interpolate) const {
        float v[4] = {};
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i)
                v[j] += p[size_t(i)] * matrix[4 * i + j];
        const float q = gain(v[3], interpolate);
        return {v[0] * q + offset, v[1] * q + offset, v[2] * q + offset, 1};
    }
};

TEST(CoreEngineFilter, RegistersUnderItsNameAndDeclaresTheAdjustments) {
    CoreEngineFilter::registerFilter();
    const auto* entry = platform::FilterRegistry::shared().find("CoreEngine");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->displayName, "Lumivar Core engine");
    EXPECT_EQ(entry->categories.front(), platform::filter_category::kColorAdjustment);
    auto filter = platform::ImageFilter::filterWithName("CoreEngine");
    for (const char* key : {"inputEV", "inputSaturation", "inputBrightness", "inputContrast", "inputAngle",
                            "inputTemperature", "inputTint", "inputHighLight", "inputFillLight"})
        EXPECT_TRUE(filter->hasAttribute(key)) << key;
    filter->setImage("inputImage", colours());
    EXPECT_FALSE(filter->outputImage()); // no dictionaries yet
}

TEST(CoreEngineFilter, DefaultSettingsGiveTheMeanOfTheChannels) {
    auto input = testsupport::makeImage({0, 0, 2, 1}, [](int64_t x, int64_t) {
        return x == 0 ? Pixel{0.3f, 0.6f, 0.9f, 0.2f} : Pixel{0, 0, 0, 1};
    });
    auto filter = coreEngine({}, input);
    auto out = filter->outputImage();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->extent(), input->extent());
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(pixelOf(*out, 0, 0)[c], 0.6f, 1e-6);
    EXPECT_EQ(pixelOf(*out, 0, 0)[3], 1.0f);
    EXPECT_EQ(pixelOf(*out, 1, 0), (Pixel{0, 0, 0, 1}));
    filter->setValue("inputEV", 1.0); // stands in for the setting
    EXPECT_NEAR(pixelOf(*filter->outputImage(), 0, 0)[1], 1.2f, 1e-6);
    filter->setValue(CoreEngineFilter::kImageParameters, Dictionary{{settings::InputEV.c_str(), -1.0}});
    EXPECT_NEAR(pixelOf(*filter->outputImage(), 0, 0)[1], 0.3f, 1e-6);
}

TEST(CoreEngineFilter, FollowsTheOutputStageWithTheTableReadBetweenEntries) {
    const Dictionary cases[] = {
        {{settings::InputContrast.c_str(), 0.7}, {settings::InputBrightness.c_str(), 0.4}},
        {{settings::InputContrast.c_str(), -0.8},
         {settings::InputFillLight.c_str(), 0.5},
         {settings::InputEV.c_str(), 0.5}},
        {{settings::InputHighLight.c_str(), 0.6}, {settings::MonochromeRed.c_str(), 1.5}},
    };
    const auto input = colours();
    for (const Dictionary& settings : cases) {
        const Engine engine(settings);
        auto out = coreEngine(settings, input)->outputImage();
        ASSERT_TRUE(out);
        for (int64_t y = 0; y < 4; ++y)
            for (int64_t x = 0; x < 16; ++x) {
                const Pixel in = pixelOf(*input, x, y), got = pixelOf(*out, x, y);
                const Pixel lerp = engine.apply(in, true), stage = engine.apply(in, false);
                for (size_t c = 0; c < 4; ++c) {
                    EXPECT_NEAR(got[c], lerp[c], 1e-5) << x << "," << y;
                    EXPECT_NEAR(got[c], stage[c], 2.0 / 4095) << x << "," << y;
                }
            }
    }
}

} // namespace
