// Rotation of 45-degree sensors and the pixel-aspect stretch.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "raw/core/FileBackedMemory.h"
#include "raw/output/ColourOutput.h"

namespace {

class ImageGeometryTest : public ::testing::Test {
  protected:
    std::unique_ptr<raw::DecoderState> s = std::make_unique<raw::DecoderState>();

    // Every channel of pixel (r, c) holds value(r, c).
    template <class F> void image(int height, int width, F value) {
        raw::file_backed_free(*s, s->pixel_image);
        s->use_file_backed_memory = false;
        s->colour_count = 3;
        s->pixel_aspect_ratio = 1;
        s->visible_height = s->image_height = uint16_t(height);
        s->visible_width = s->image_width = uint16_t(width);
        s->pixel_image =
            static_cast<uint16_t(*)[4]>(raw::file_backed_calloc(*s, uint64_t(height) * width, 8));
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c)
                for (int ch = 0; ch < 4; ++ch)
                    s->pixel_image[r * width + c][ch] = uint16_t(value(r, c));
    }
    uint16_t at(int r, int c, int ch = 0) const { return s->pixel_image[r * s->visible_width + c][ch]; }
    void TearDown() override { raw::file_backed_free(*s, s->pixel_image); }
};

} // namespace

TEST_F(ImageGeometryTest, A45DegreeSensorIsTurnedUpright) {
    // A linear ramp survives bilinear resampling exactly, so every pixel can be predicted.
    auto ramp = [](double r, double c) { return 100 * r + 37 * c + 50; };
    image(20, 16, ramp);
    s->rotated_width = 9;
    raw::fuji_rotate(*s);
    const int offset = 8;             // rotated_width - 1
    ASSERT_EQ(s->visible_width, 11);  // 8 / sqrt(1/2)
    ASSERT_EQ(s->visible_height, 16); // (20 - 8) / sqrt(1/2)
    EXPECT_EQ(s->image_width, 11);
    EXPECT_EQ(s->rotated_width, 0);
    int filled = 0;
    for (int i = 0; i < 16; ++i)
        for (int j = 0; j < 11; ++j) {
            const double ur = (i - j) * std::sqrt(0.5) + offset, uc = (i + j) * std::sqrt(0.5);
            const bool inside = ur >= 0 && uc >= 0 && ur < 19 && uc < 15;
            if (inside) {
                EXPECT_NEAR(at(i, j), ramp(ur, uc), 1.01) << i << "," << j;
                EXPECT_NEAR(at(i, j, 2), ramp(ur, uc), 1.01);
                ++filled;
            } else {
                EXPECT_EQ(at(i, j), 0) << "outside the sensor " << i << "," << j;
            }
        }
    EXPECT_GT(filled, 100);
}

TEST_F(ImageGeometryTest, RotationNeedsARotatedLayoutThatFits) {
    image(20, 16, [](int, int) { return 7; });
    auto* before = s->pixel_image;
    raw::fuji_rotate(*s);
    EXPECT_EQ(s->pixel_image, before) << "rotated_width 0: nothing to turn";

    s->rotated_width = 30; // wider than the image is high
    raw::fuji_rotate(*s);
    EXPECT_EQ(s->pixel_image, before);
    EXPECT_EQ(s->visible_height, 20);
    EXPECT_EQ(s->data_error_count, 1);
    EXPECT_EQ(s->rotated_width, 0);
}

TEST_F(ImageGeometryTest, HalfAspectDoublesTheHeight) {
    image(3, 2, [](int r, int) { return 1000 * r; });
    s->pixel_aspect_ratio = 0.5f;
    raw::stretch(*s);
    ASSERT_EQ(s->visible_height, 6);
    ASSERT_EQ(s->visible_width, 2);
    EXPECT_EQ(s->image_height, 6);
    const int rows[6] = {0, 500, 1000, 1500, 2000, 2000}; // the last row repeats
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 2; ++c)
            for (int ch = 0; ch < 4; ++ch)
                EXPECT_EQ(at(r, c, ch), rows[r]) << r << "," << c << "," << ch;
}

TEST_F(ImageGeometryTest, WideAspectAddsColumns) {
    image(2, 3, [](int, int c) { return 1000 * c + 1; });
    s->pixel_aspect_ratio = 2.0f;
    raw::stretch(*s);
    ASSERT_EQ(s->visible_width, 6);
    ASSERT_EQ(s->visible_height, 2);
    const int columns[6] = {1, 501, 1001, 1501, 2001, 2001};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(at(r, c), columns[c]) << r << "," << c;

    image(4, 235, [](int, int) { return 9; });
    s->pixel_aspect_ratio = 256.0f / 235;
    raw::stretch(*s);
    EXPECT_EQ(s->visible_width, 256);
}

TEST_F(ImageGeometryTest, SquareUnsetOrImpossibleAspectsLeaveTheImage) {
    const float ratios[] = {1.0f, 0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN(), 1e-5f, 1e5f};
    for (float ratio : ratios) {
        image(100, 100, [](int r, int c) { return r + c; });
        auto* before = s->pixel_image;
        s->pixel_aspect_ratio = ratio;
        raw::stretch(*s);
        EXPECT_EQ(s->pixel_image, before) << ratio;
        EXPECT_EQ(s->visible_height, 100) << ratio;
        EXPECT_EQ(s->visible_width, 100) << ratio;
    }
    EXPECT_EQ(s->data_error_count, 2) << "sizes past 65535 count as damaged data";
}
