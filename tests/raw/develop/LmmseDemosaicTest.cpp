#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "raw/core/BandRunner.h"
#include "raw/develop/DemosaicCommon.h"
#include "raw/develop/LmmseDemosaic.h"
#include "tests/raw/MosaicFixture.h"

using namespace mosaic_test;
using raw::lmmse_detail::WorkArea;

namespace {

// What the demosaic leaves in a channel it does not fill.
constexpr uint16_t kMarker = 0xBEEF;

// A test image: each photosite's own colour from `field`, every other channel kMarker.
Mosaic image_of(uint32_t filters, int height, int width, const Truth& field) {
    return mosaic(height, width, filters, field, kMarker);
}

void develop(Mosaic& image, bool highlight, int median_passes = 0) {
    raw::demosaic_job job = image.job(highlight);
    job.lmmse_median_passes = median_passes;
    raw::lmmse_interpolate_threaded(job);
}

Truth flat(int v) {
    return [v](int, int) { return Rgb{v, v, v}; };
}

// Each colour a plane of its own slope.
Rgb ramp(int r, int c) { return {9000 + 40 * c, 20000 + 25 * r, 4000 + 15 * (r + c)}; }

// Soft gradients under a random texture with hard steps, for comparing two runs.
Truth textured(unsigned seed) {
    auto noise = std::make_shared<std::vector<int>>();
    std::mt19937 rng(seed);
    for (int k = 0; k < 4096; ++k)
        noise->push_back(int(rng() % 9000));
    return [noise](int r, int c) {
        const int n = (*noise)[(r * 131 + c * 7) % 4096];
        const int step = (r / 23 + c / 17) % 2 ? 12000 : 0;
        return Rgb{2000 + n + step, 5000 + 10 * r + n / 2, 30000 - step - n};
    };
}

// The image as the border fill alone leaves it.
std::vector<Pixel> border_only(const Mosaic& image) {
    Mosaic copy = image.clone();
    raw::demosaic_border_fill(copy.job(), 16);
    return copy.pixels;
}

// The rectangle a worker writes: rows 16 to height - 17 and columns 16 to width - 17, for
// the plain worker two more columns on each side and two more rows at the bottom.
bool in_worker_area(const Mosaic& image, bool highlight, int r, int c) {
    const int extra = highlight || image.filters() == kXTrans ? 0 : 2;
    return r >= 16 && r < image.height() - 16 + extra && c >= 16 - extra && c < image.width() - 16 + extra;
}

struct ThreadsOff {
    ThreadsOff() { raw::set_band_threads_enabled(false); }
    ~ThreadsOff() { raw::set_band_threads_enabled(true); }
};

} // namespace

TEST(LmmseDemosaic, SmoothFieldsComeBackUnchanged) {
    struct Case {
        const char* name;
        uint32_t filters;
        bool highlight;
        int passes;
        Truth field;
        int tolerance;
        bool whole_image; // the border fill of a flat field is flat too
    };
    const Case cases[] = {
        {"plain flat", kRGGB, false, 0, flat(12345), 0, true},
        {"plain flat white", kBGGR, false, 0, flat(65535), 0, true},
        {"fusion flat", kGRBG, true, 0, flat(777), 0, true},
        {"fusion flat white", kRGGB, true, 0, flat(65535), 0, true},
        {"x-trans flat", kXTrans, false, 0, flat(3000), 0, true},
        {"plain ramp", kGRBG, false, 0, ramp, 0, false},
        {"plain ramp refined", kRGGB, false, 2, ramp, 1, false},
        {"fusion ramp", kBGGR, true, 0, ramp, 0, false},
        // The X-Trans recipes weigh greens at unequal distances: within one step of the
        // steepest plane.
        {"x-trans ramp", kXTrans, true, 0, ramp, 40, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Mosaic image = image_of(k.filters, 40, 300, k.field); // two tile columns
        develop(image, k.highlight, k.passes);
        const int margin = k.whole_image ? 0 : 16;
        int worst = 0;
        for (int r = margin; r < image.height() - margin; ++r)
            for (int c = margin; c < image.width() - margin; ++c)
                for (int ch = 0; ch < 3; ++ch)
                    worst = std::max(worst, std::abs(image.at(r, c)[ch] - k.field(r, c)[ch]));
        EXPECT_LE(worst, k.tolerance);
    }
}

TEST(LmmseDemosaic, ChannelThreeGoesToGreen) {
    for (bool highlight : {false, true}) {
        SCOPED_TRACE(highlight ? "fusion" : "plain");
        Mosaic image = image_of(kRGGBFourColour, 48, 64, textured(3));
        const std::vector<Pixel> before = image.pixels;
        develop(image, highlight);
        for (int r = 0; r < image.height(); ++r)
            for (int c = 0; c < image.width(); ++c) {
                const Pixel& px = image.at(r, c);
                const uint16_t was = before[size_t(r) * image.width() + c][3];
                const bool worked = in_worker_area(image, highlight, r, c);
                if (image.colour(r, c) == 3 && worked) {
                    ASSERT_EQ(px[1], was) << r << "," << c;
                }
                // The plain worker clears channel 3, the fusion worker leaves it alone.
                ASSERT_EQ(px[3], worked && !highlight ? 0 : was) << r << "," << c;
            }
    }
}

// Rows and columns outside the worker's rectangle keep the border fill; inside, no pixel is
// left incomplete, however few rows each band gets.
TEST(LmmseDemosaic, WorkersFillTheirRectangleAndKeepTheBorder) {
    struct Case {
        uint32_t filters;
        bool highlight;
        int height, width;
    };
    const Case cases[] = {
        {kRGGB, false, 20, 40}, {kRGGB, false, 33, 40}, {kRGGB, false, 50, 40}, {kRGGB, false, 100, 29},
        {kRGGB, false, 40, 28}, {kRGGB, true, 33, 40},  {kRGGB, true, 34, 40},  {kRGGB, true, 50, 40},
        {kRGGB, true, 63, 40},  {kRGGB, true, 100, 33}, {kRGGB, true, 40, 32},  {kXTrans, false, 50, 45},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << (k.highlight ? "fusion " : "plain ") << k.filters << " "
                                        << k.height << "x" << k.width);
        Mosaic image = image_of(k.filters, k.height, k.width, textured(5));
        const std::vector<Pixel> border = border_only(image);
        develop(image, k.highlight);
        const bool narrow = k.width <= (k.highlight || k.filters == kXTrans ? 32 : 28);
        for (int r = 0; r < image.height(); ++r)
            for (int c = 0; c < image.width(); ++c)
                for (int ch = 0; ch < 4; ++ch) {
                    const uint16_t got = image.at(r, c)[ch];
                    if (narrow || !in_worker_area(image, k.highlight, r, c)) {
                        ASSERT_EQ(got, border[size_t(r) * image.width() + c][ch])
                            << r << "," << c << " ch" << ch;
                    } else if (ch < 3) {
                        ASSERT_NE(got, kMarker) << r << "," << c << " ch" << ch;
                    }
                }
    }
}

TEST(LmmseDemosaic, BandSeamsMatchARunWithoutThreads) {
    for (uint32_t filters : {kRGGB, kXTrans})
        for (bool highlight : {false, true}) {
            if (filters == kXTrans && !highlight) continue; // X-Trans always takes the fusion worker
            SCOPED_TRACE(testing::Message() << filters << (highlight ? " fusion" : " plain"));
            Mosaic threaded = image_of(filters, 600, 48, textured(9));
            Mosaic inline_run = image_of(filters, 600, 48, textured(9));
            develop(threaded, highlight);
            {
                ThreadsOff off;
                develop(inline_run, highlight);
            }
            EXPECT_EQ(threaded.pixels, inline_run.pixels);
        }
}

// The fusion worker's Bayer steps must give, bit for bit, what its recipe tables give: every
// Bayer phase and the four-colour word, over tile seams, on noise reaching the clamps.
TEST(LmmseDemosaic, BayerFusionEqualsTheRecipePath) {
    for (uint32_t filters : {kRGGB, kBGGR, kGRBG, kGBRG, kRGGBFourColour})
        for (int image = 0; image < 2; ++image) {
            SCOPED_TRACE(testing::Message() << filters << " image " << image);
            Mosaic fast = image_of(filters, 303, 290, textured(5));
            if (image) fast.paint_noise(filters, 0, 65535);
            Mosaic generic = fast.clone();
            develop(fast, true);
            raw::lmmse_detail::use_generic_recipes_for_testing(true);
            develop(generic, true);
            raw::lmmse_detail::use_generic_recipes_for_testing(false);
            EXPECT_EQ(fast.pixels, generic.pixels);
        }
}

TEST(LmmseDemosaic, BandWithoutAWorkAreaIsSkipped) {
    struct Case {
        bool highlight;
        WorkArea failing;
        const char* message;
    };
    const Case cases[] = {
        {false, WorkArea::planes, "lmmse_interpolate() calloc failure"},
        {true, WorkArea::planes, "lmmse_interpolate_core2() calloc failure"},
        {true, WorkArea::front_end_tile, "LSMME AHD front-end calloc failure"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.message);
        Mosaic image = image_of(kRGGB, 40, 64, textured(1));
        const std::vector<Pixel> border = border_only(image);
        raw::lmmse_detail::fail_work_area_for_testing(k.failing);
        testing::internal::CaptureStderr();
        develop(image, k.highlight);
        const std::string log = testing::internal::GetCapturedStderr();
        raw::lmmse_detail::fail_work_area_for_testing(WorkArea::none);
        EXPECT_NE(log.find(k.message), std::string::npos) << log;
        EXPECT_EQ(image.pixels, border);
    }
}

TEST(LmmseDemosaic, BorderFillAveragesEachColourAroundThePixel) {
    Mosaic image = image_of(kRGGB, 40, 40, [](int r, int c) {
        const int v = 1000 + 100 * r + c;
        return Rgb{v, v, v};
    });
    raw::demosaic_border_fill(image.job(), 16);
    // Red corner: the 5 x 5 block is cut to 3 x 3, with four greens and one blue.
    EXPECT_EQ(image.at(0, 0)[0], 1000);
    EXPECT_EQ(image.at(0, 0)[1], (1001 + 1100 + 1102 + 1201) / 4);
    EXPECT_EQ(image.at(0, 0)[2], 1101);
    // Green on the right edge: three reds in column 38, four blues in columns 37 and 39.
    EXPECT_EQ(image.at(20, 39)[0], (3 * 3038) / 3);
    EXPECT_EQ(image.at(20, 39)[2], (2937 + 2939 + 3137 + 3139) / 4);
    EXPECT_EQ(image.at(20, 39)[3], kMarker);
    EXPECT_EQ(image.at(20, 20)[1], kMarker); // the interior is left alone
}
