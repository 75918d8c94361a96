// Rendering a stage-3 image: final sizes, the exposure and tone functions, neutrality and
// the transparency mask.
#include "DngStreams.h"
#include "tests/support/Samples.h"

#include "dng/dng_camera_profile.h"
#include "dng/dng_color_space.h"
#include "dng/dng_image.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_render.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_tag_types.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A linear three-plane negative whose camera sees XYZ -> linear sRGB, white balanced to D65.
std::unique_ptr<dng_negative>
LinearNegative(dng_host& host, uint32_t width, uint32_t height,
               const std::function<float(uint32_t, uint32_t, uint32_t)>& value) {
    std::unique_ptr<dng_negative> n(host.MakeNegative());
    n->SetColorChannels(3);
    n->SetDefaultCropSize(width, height);
    dng_matrix m(3, 3);
    const double xyzToSrgb[9] = {3.2406, -1.5372, -0.4986, -0.9689, 1.8758, 0.0415, 0.0557, -0.2040, 1.0570};
    for (int k = 0; k < 9; ++k)
        m[k / 3][k % 3] = xyzToSrgb[k];
    auto profile = std::make_unique<dng_camera_profile>();
    profile->SetColorMatrix1(m);
    profile->SetCalibrationIlluminant1(21);
    n->AddProfile(std::move(profile));
    dng_vector neutral(3);
    neutral[0] = neutral[1] = neutral[2] = 1.0;
    n->SetCameraNeutral(neutral);
    auto image =
        std::make_unique<dng_simple_image>(dng_rect(height, width), 3, ttFloat, gDefaultDNGMemoryAllocator);
    std::vector<float> v;
    for (uint32_t r = 0; r < height; ++r)
        for (uint32_t c = 0; c < width; ++c)
            for (uint32_t p = 0; p < 3; ++p)
                v.push_back(value(r, c, p));
    dng_pixel_buffer b(image->Bounds(), 0, 3, ttFloat, dng_pixel_buffer::interleaved, v.data());
    image->Put(b);
    n->SetStage3Image(std::move(image));
    return n;
}

std::vector<float> Pixels(const dng_image& image) {
    std::vector<float> out(size_t(image.Width()) * image.Height() * image.Planes());
    dng_pixel_buffer b(image.Bounds(), 0, image.Planes(), ttFloat, dng_pixel_buffer::interleaved, out.data());
    image.Get(b);
    return out;
}

TEST(RenderSize, LongerSideMeetsTheMaximum) {
    struct Case {
        uint32_t w, h, max, outW, outH;
    } cases[] = {{3000, 2000, 256, 256, 171},
                 {2000, 3000, 256, 171, 256},
                 {200, 100, 256, 200, 100},
                 {256000, 256, 256, 256, 1},
                 {400, 400, 0, 400, 400}};
    for (const Case& c : cases) {
        dng_host host;
        std::unique_ptr<dng_negative> n(host.MakeNegative());
        n->SetDefaultCropSize(c.w, c.h);
        dng_render render(host, *n);
        render.SetMaximumSize(c.max);
        EXPECT_EQ(render.FinalSize(), dng_point(int32_t(c.outH), int32_t(c.outW))) << c.w << "x" << c.h;
    }
}

TEST(RenderFunctions, ExposureRampToneAndZeroOffset) {
    // +1 stop halves the white point; shadows 0 leave a plain ramp.
    const dng_function_exposure_ramp plus1(0.5, 0.0, 0.0);
    EXPECT_EQ(plus1.Radius(), 0.0);
    EXPECT_DOUBLE_EQ(plus1.Evaluate(0.25), 0.5);
    EXPECT_DOUBLE_EQ(plus1.Evaluate(0.5), 1.0);
    EXPECT_DOUBLE_EQ(plus1.Evaluate(0.9), 1.0);
    // A toe joins the black level smoothly.
    const dng_function_exposure_ramp toe(1.0, 0.01, 0.01);
    EXPECT_DOUBLE_EQ(toe.Evaluate(0.005), 0.0);
    EXPECT_NEAR(toe.Evaluate(0.015), (0.015 - 0.01) / 0.99, 1e-12);
    EXPECT_GT(toe.Evaluate(0.01), 0.0);
    // -1 stop darkens through the tone function and keeps white.
    const dng_function_exposure_tone minus1(-1.0);
    EXPECT_DOUBLE_EQ(minus1.Evaluate(0.2), 0.1);
    EXPECT_NEAR(minus1.Evaluate(0.25), 0.125, 1e-12);
    EXPECT_NEAR(minus1.Evaluate(1.0), 1.0, 1e-12);
    EXPECT_TRUE(dng_function_exposure_tone(0.5).IsIdentity());
    EXPECT_DOUBLE_EQ(dng_function_zero_offset(32768 / 65535.0).Evaluate(0.5), 0.0);
    // The default tone curve through its anchor rows.
    const dng_1d_function& curve = dng_tone_curve_default_function::Get();
    EXPECT_EQ(curve.Evaluate(0.0), 0.0);
    EXPECT_EQ(curve.Evaluate(1.0), 1.0);
    EXPECT_NEAR(curve.Evaluate(0.25), 0.52069, 1e-5);
}

TEST(Render, NeutralGreyRampStaysNeutral) {
    dng_host host;
    auto n = LinearNegative(host, 64, 4, [](uint32_t, uint32_t c, uint32_t) { return float(c) / 63.0f; });
    dng_render render(host, *n);
    render.SetFinalPixelType(ttShort);
    std::unique_ptr<dng_image> out(render.Render());
    ASSERT_EQ(out->Planes(), 3u);
    const std::vector<float> px = Pixels(*out);
    for (size_t i = 0; i < px.size(); i += 3) {
        const float mean = (px[i] + px[i + 1] + px[i + 2]) / 3.0f;
        for (int p = 0; p < 3; ++p)
            ASSERT_NEAR(px[i + p], mean, 0.01f * std::max(mean, 0.01f)) << i / 3;
    }
    // Brighter in, brighter out.
    EXPECT_LT(px[3 * 5], px[3 * 40]);
    EXPECT_GT(px[3 * 63], 0.95f);
}

TEST(Render, MaskOfOnesKeepsTheImageAndZerosMakeWhite) {
    for (const float m : {1.0f, 0.0f}) {
        dng_host host;
        auto n = LinearNegative(host, 8, 8,
                                [](uint32_t r, uint32_t c, uint32_t p) { return 0.05f * (r + c + p); });
        dng_render plain(host, *n);
        std::unique_ptr<dng_image> reference(plain.Render());
        auto mask =
            std::make_unique<dng_simple_image>(dng_rect(8, 8), 1, ttFloat, gDefaultDNGMemoryAllocator);
        std::vector<float> ones(64, m);
        dng_pixel_buffer b(mask->Bounds(), 0, 1, ttFloat, dng_pixel_buffer::interleaved, ones.data());
        mask->Put(b);
        n->SetTransparencyMask(std::move(mask));
        dng_render masked(host, *n);
        std::unique_ptr<dng_image> out(masked.Render());
        const std::vector<float> a = Pixels(*reference), o = Pixels(*out);
        for (size_t i = 0; i < a.size(); ++i)
            ASSERT_FLOAT_EQ(o[i], m == 1.0f ? a[i] : 1.0f);
    }
}

TEST(Render, OneChannelNegativeIntoGrayGivesOnePlane) {
    dng_host host;
    std::unique_ptr<dng_negative> n(host.MakeNegative());
    n->SetColorChannels(1);
    n->SetDefaultCropSize(4, 4);
    auto image = std::make_unique<dng_simple_image>(dng_rect(4, 4), 1, ttShort, gDefaultDNGMemoryAllocator);
    image->SetConstant(16384, image->Bounds());
    n->SetStage3Image(std::move(image));
    dng_render render(host, *n);
    render.SetFinalSpace(dng_space_GrayGamma22::Get());
    std::unique_ptr<dng_image> out(render.Render());
    EXPECT_EQ(out->Planes(), 1u);
    EXPECT_EQ(out->PixelType(), ttByte);
}

TEST(Render, SamplesRenderAPreviewWithinTheMaximum) {
    for (const char* file : {"Pixel7_small.dng", "synthetic_1024_rggb_uncompressed.dng"}) {
        if (!std::filesystem::exists(testsupport::samplePath(file))) continue;
        dng_host host;
        dng_file_stream stream(testsupport::samplePath(file).c_str());
        auto n = dngtest::ReadNegative(host, stream);
        n->BuildStage2Image(host);
        n->BuildStage3Image(host);
        dng_render render(host, *n);
        render.SetMaximumSize(256);
        std::unique_ptr<dng_image> out(render.Render());
        EXPECT_EQ(std::max(out->Width(), out->Height()), 256u) << file;
        EXPECT_EQ(out->Planes(), 3u);
    }
}

} // namespace
