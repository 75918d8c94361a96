#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "raw/core/BandRunner.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/output/ColourOutput.h"

namespace {

using Pixel = std::array<uint16_t, 4>;

// A decoder record holding an image of the given size, camera matrix identity.
struct Developed {
    std::unique_ptr<raw::DecoderState> s = std::make_unique<raw::DecoderState>();

    Developed(int height, int width, const std::vector<Pixel>& pixels = {}) {
        s->use_file_backed_memory = false;
        s->visible_height = s->image_height = uint16_t(height);
        s->visible_width = s->image_width = uint16_t(width);
        s->colour_count = 3;
        s->output_space = 4;
        for (int i = 0; i < 3; ++i)
            s->rgb_from_camera[i][i] = 1;
        s->pixel_image =
            static_cast<uint16_t(*)[4]>(raw::file_backed_calloc(*s, uint64_t(height) * width, 8));
        for (size_t i = 0; i < pixels.size(); ++i)
            std::memcpy(s->pixel_image[i], pixels[i].data(), 8);
    }
    ~Developed() {
        raw::file_backed_free(*s, s->pixel_image);
        raw::file_backed_free(*s, s->output_profile);
    }
    Pixel at(int i) const {
        return {s->pixel_image[i][0], s->pixel_image[i][1], s->pixel_image[i][2], s->pixel_image[i][3]};
    }
};

class ColourConversionTest : public ::testing::Test {
  protected:
    void TearDown() override { raw::set_band_threads_enabled(true); }
};

} // namespace

TEST_F(ColourConversionTest, CameraChannelsLeaveInProPhotoWithTheirLuminance) {
    Developed d(1, 1, {{10000, 20000, 30000, 7}});
    d.s->camera_colour_output = 0;
    raw::convert_to_rgb_threaded(*d.s);
    // The ProPhoto rows applied to (10000, 20000, 30000), truncated.
    const double out[3] = {16112.65, 19298.05, 28485.76};
    const Pixel p = d.at(0);
    EXPECT_NEAR(p[0], 16112, 1);
    EXPECT_NEAR(p[1], 19298, 1);
    EXPECT_NEAR(p[2], 28485, 1);
    EXPECT_NEAR(p[3], 0.299 * out[0] + 0.587 * out[1] + 0.114 * out[2], 1.5);
    EXPECT_NE(d.s->output_profile, nullptr) << "the file writers get a profile of the space";
    EXPECT_EQ(d.s->colour_count, 3);
}

TEST_F(ColourConversionTest, ResultsAreClampedToSixteenBits) {
    struct Case {
        Pixel in;
        Pixel out; // slot 3: luminance of the unclamped sums
    };
    const Case cases[] = {
        {{0, 40000, 0, 0}, {0, 40000, 0, 17500}}, // red -20000 becomes 0; luminance 23480 - 5980
        {{60000, 0, 0, 0}, {65535, 0, 0, 26910}}, // 90000 red clips; luminance 0.299 x 90000
        {{65535, 65535, 65535, 0}, {65535, 65535, 65535, 65535}},
    };
    for (const auto& c : cases) {
        Developed d(1, 1, {c.in});
        d.s->camera_colour_output = 0;
        d.s->output_space = 1; // identity: the camera matrix alone
        const float rgb[3][4] = {{1.5f, -0.5f, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
        std::memcpy(d.s->rgb_from_camera, rgb, sizeof rgb);
        raw::convert_to_rgb_threaded(*d.s);
        const Pixel p = d.at(0);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(p[i], c.out[i]) << "channel " << i << " of " << c.in[0];
        EXPECT_NEAR(p[3], c.out[3], 2) << c.in[0];
    }
}

TEST_F(ColourConversionTest, BandHistogramsSumToTheWholeImage) {
    for (int height : {5, 37, 160}) {
        SCOPED_TRACE(height);
        const int width = 23;
        std::mt19937 random(height);
        std::vector<Pixel> pixels(size_t(height) * width);
        for (auto& p : pixels)
            for (int c = 0; c < 3; ++c)
                p[c] = uint16_t(random());

        Developed threaded(height, width, pixels), inline_(height, width, pixels);
        threaded.s->camera_colour_output = inline_.s->camera_colour_output = 0;
        raw::set_band_threads_enabled(true);
        raw::convert_to_rgb_threaded(*threaded.s);
        raw::set_band_threads_enabled(false);
        raw::convert_to_rgb_threaded(*inline_.s);

        std::vector<uint32_t> recount(3 * 8192, 0);
        for (int i = 0; i < height * width; ++i) {
            ASSERT_EQ(threaded.at(i), inline_.at(i)) << "pixel " << i;
            for (int c = 0; c < 3; ++c)
                ++recount[c * 8192 + (threaded.at(i)[c] >> 3)];
        }
        for (int c = 0; c < 3; ++c)
            for (int bin = 0; bin < 8192; ++bin)
                ASSERT_EQ(threaded.s->histogram[c][bin], recount[c * 8192 + bin]) << c << " " << bin;
        EXPECT_EQ(std::memcmp(threaded.s->histogram, inline_.s->histogram, sizeof threaded.s->histogram), 0);
    }
}

TEST_F(ColourConversionTest, CameraColoursPassUnconverted) {
    struct Case {
        const char* name;
        void (*setup)(raw::DecoderState&);
        Pixel out;
        int colours;
    };
    const Case cases[] = {
        {"no camera matrix",
         [](raw::DecoderState& s) { s.camera_colour_output = 1; },
         {100, 200, 300, 400},
         3},
        {"output space outside 1..6",
         [](raw::DecoderState& s) { s.output_space = 7; },
         {100, 200, 300, 400},
         3},
        {"one channel", [](raw::DecoderState& s) { s.colour_count = 1; }, {100, 100, 100, 100}, 3},
        {"mosaic left undemosaiced",
         [](raw::DecoderState& s) {
             s.no_demosaic_mode = 1;
             s.cfa_pattern = 0x16161616; // blue at (0, 0)
         },
         {300, 200, 300, 400},
         1},
    };
    for (const auto& c : cases) {
        Developed d(1, 1, {{100, 200, 300, 400}});
        d.s->camera_colour_output = 0;
        c.setup(*d.s);
        raw::convert_to_rgb_threaded(*d.s);
        EXPECT_EQ(d.at(0), c.out) << c.name;
        EXPECT_EQ(d.s->colour_count, c.colours) << c.name;
        EXPECT_TRUE(d.s->camera_colour_output) << c.name;
        EXPECT_EQ(d.s->output_profile, nullptr) << c.name;
        EXPECT_EQ(d.s->histogram[0][c.out[0] >> 3], 1u) << c.name;
    }
}

TEST_F(ColourConversionTest, FourColoursBecomeThreeOnTheCallingThread) {
    Developed d(1, 2, {{100, 200, 300, 400}, {1000, 0, 0, 2000}});
    d.s->camera_colour_output = 0;
    d.s->colour_count = 4;
    d.s->output_space = 1;
    const float rgb[3][4] = {{1, 0, 0, 0}, {0, 0.5f, 0, 0.5f}, {0, 0, 1, 0}};
    std::memcpy(d.s->rgb_from_camera, rgb, sizeof rgb);
    raw::convert_to_rgb(*d.s);
    EXPECT_EQ(d.at(0), (Pixel{100, 300, 300, 400})) << "no luminance slot in the plain form";
    EXPECT_EQ(d.at(1), (Pixel{1000, 1000, 0, 2000}));
    EXPECT_EQ(d.s->colour_count, 3);
}

TEST_F(ColourConversionTest, OutputSpacesKeepTheirWhite) {
    // sRGB white (1, 1, 1) is the white of every RGB space here (all D65); in XYZ it is D65.
    const double d65[3] = {0.950456, 1.0, 1.088754};
    for (int space = 1; space <= 5; ++space) {
        const float(*m)[3] = raw::output_matrix(space);
        ASSERT_NE(m, nullptr);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(m[i][0] + m[i][1] + m[i][2], space == 5 ? d65[i] : 1.0, 2e-5)
                << space << " row " << i;
    }
    EXPECT_EQ(raw::output_matrix(0), nullptr);
    EXPECT_EQ(raw::output_matrix(7), nullptr);
}

TEST_F(ColourConversionTest, UnconvertedFourColoursCountAllFourChannels) {
    Developed d(1, 2, {{100, 200, 300, 400}, {800, 900, 1000, 1100}});
    d.s->camera_colour_output = 1;
    d.s->colour_count = 4;
    raw::convert_to_rgb_threaded(*d.s);
    EXPECT_EQ(d.at(1), (Pixel{800, 900, 1000, 1100}));
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(d.s->histogram[c][d.at(0)[c] >> 3], 1u) << c;
        EXPECT_EQ(d.s->histogram[c][d.at(1)[c] >> 3], 1u) << c;
    }
}
