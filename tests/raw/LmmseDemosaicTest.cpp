#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "raw/BandRunner.h"
#include "raw/LmmseDemosaic.h"
#include "tests/raw/LmmseTestImage.h"

using namespace lmmsetest;
using raw::lmmse_detail::WorkArea;

namespace {

const uint32_t kRGGB = bayer_word(0, 1, 1, 2);
const uint32_t kBGGR = bayer_word(2, 1, 1, 0);
const uint32_t kGRBG = bayer_word(1, 0, 2, 1);
const uint32_t kXTrans = raw::kPatternXTrans;

ColourField flat(int v) {
    return [v](int, int) { return std::array<int, 3>{v, v, v}; };
}

// Each colour a plane of its own slope.
std::array<int, 3> ramp(int r, int c) { return {9000 + 40 * c, 20000 + 25 * r, 4000 + 15 * (r + c)}; }

// Soft gradients under a random texture with hard steps, for comparing two runs.
ColourField textured(unsigned seed) {
    auto noise = std::make_shared<std::vector<int>>();
    std::mt19937 rng(seed);
    for (int k = 0; k < 4096; ++k)
        noise->push_back(int(rng() % 9000));
    return [noise](int r, int c) {
        const int n = (*noise)[(r * 131 + c * 7) % 4096];
        const int step = (r / 23 + c / 17) % 2 ? 12000 : 0;
        return std::array<int, 3>{2000 + n + step, 5000 + 10 * r + n / 2, 30000 - step - n};
    };
}

// The image as the border fill alone leaves it.
std::vector<uint16_t> border_only(const TestImage& image) {
    std::vector<uint16_t> copy = image.samples;
    raw::demosaic_job job = image.job;
    job.image = reinterpret_cast<uint16_t(*)[4]>(copy.data());
    raw::lmmse_detail::border_fill(job, raw::lmmse_detail::ColourLookup(job), 16);
    return copy;
}

// The rectangle a worker writes: rows 16 to height - 17 and columns 16 to width - 17, for
// the plain worker two more columns on each side and two more rows at the bottom.
bool in_worker_area(const TestImage& image, int r, int c) {
    const int extra = image.job.highlight_flag || image.job.filters == kXTrans ? 0 : 2;
    return r >= 16 && r < image.height - 16 + extra && c >= 16 - extra && c < image.width - 16 + extra;
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
        ColourField field;
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
        TestImage image(k.filters, 40, 300, k.field, k.highlight); // two tile columns
        image.job.lmmse_median_passes = k.passes;
        raw::lmmse_interpolate_threaded(image.job);
        const int margin = k.whole_image ? 0 : 16;
        int worst = 0;
        for (int r = margin; r < image.height - margin; ++r)
            for (int c = margin; c < image.width - margin; ++c)
                for (int ch = 0; ch < 3; ++ch)
                    worst = std::max(worst, std::abs(image.at(r, c)[ch] - k.field(r, c)[ch]));
        EXPECT_LE(worst, k.tolerance);
    }
}

TEST(LmmseDemosaic, ChannelThreeGoesToGreen) {
    const uint32_t word = bayer_word(0, 1, 3, 2); // second green counted as colour 3
    for (bool highlight : {false, true}) {
        SCOPED_TRACE(highlight ? "fusion" : "plain");
        TestImage image(word, 48, 64, textured(3), highlight);
        const std::vector<uint16_t> before = image.samples;
        raw::lmmse_interpolate_threaded(image.job);
        for (int r = 0; r < image.height; ++r)
            for (int c = 0; c < image.width; ++c) {
                const uint16_t* px = image.at(r, c);
                const uint16_t was = before[(size_t(r) * image.width + c) * 4 + 3];
                const bool worked = in_worker_area(image, r, c);
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
        TestImage image(k.filters, k.height, k.width, textured(5), k.highlight);
        const std::vector<uint16_t> border = border_only(image);
        raw::lmmse_interpolate_threaded(image.job);
        const bool narrow = k.width <= (k.highlight || k.filters == kXTrans ? 32 : 28);
        for (int r = 0; r < image.height; ++r)
            for (int c = 0; c < image.width; ++c)
                for (int ch = 0; ch < 4; ++ch) {
                    const uint16_t got = image.at(r, c)[ch];
                    if (narrow || !in_worker_area(image, r, c)) {
                        ASSERT_EQ(got, border[(size_t(r) * image.width + c) * 4 + ch])
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
            TestImage threaded(filters, 600, 48, textured(9), highlight);
            TestImage inline_run(filters, 600, 48, textured(9), highlight);
            raw::lmmse_interpolate_threaded(threaded.job);
            {
                ThreadsOff off;
                raw::lmmse_interpolate_threaded(inline_run.job);
            }
            EXPECT_EQ(threaded.samples, inline_run.samples);
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
        TestImage image(kRGGB, 40, 64, textured(1), k.highlight);
        const std::vector<uint16_t> border = border_only(image);
        raw::lmmse_detail::fail_work_area_for_testing(k.failing);
        testing::internal::CaptureStderr();
        raw::lmmse_interpolate_threaded(image.job);
        const std::string log = testing::internal::GetCapturedStderr();
        raw::lmmse_detail::fail_work_area_for_testing(WorkArea::none);
        EXPECT_NE(log.find(k.message), std::string::npos) << log;
        EXPECT_EQ(image.samples, border);
    }
}

TEST(LmmseDemosaic, BorderFillAveragesEachColourAroundThePixel) {
    TestImage image(kRGGB, 40, 40, [](int r, int c) {
        const int v = 1000 + 100 * r + c;
        return std::array<int, 3>{v, v, v};
    });
    raw::lmmse_detail::border_fill(image.job, raw::lmmse_detail::ColourLookup(image.job), 16);
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
