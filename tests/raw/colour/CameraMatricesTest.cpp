#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "raw/colour/CameraColour.h"
#include "tests/raw/IdentifiedState.h"

using raw::DecoderState;

namespace {

// The published inverse of xyz_from_srgb.
const float kSrgbFromXyz[3][3] = {
    {3.240479f, -1.537150f, -0.498535f},
    {-0.969256f, 1.875992f, 0.041556f},
    {0.055648f, -0.204043f, 1.057311f},
};

// Random rows with a strong diagonal, so single precision stays well inside tolerance.
void random_matrix(std::mt19937& rng, float m[][3], int rows) {
    std::uniform_real_distribution<float> value(-1, 1);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < 3; ++c)
            m[r][c] = value(rng) + (r == c ? 2.5f : 0.0f);
}

float dot_column(const float a[][3], int i, const float b[][3], int j, int rows) {
    float sum = 0;
    for (int r = 0; r < rows; ++r)
        sum += a[r][i] * b[r][j];
    return sum;
}

void expect_neutral_maps_back(const DecoderState& s) {
    const float* m = s.as_shot_multipliers;
    const float neutral[3] = {m[1] / m[0], 1, m[1] / m[2]};
    for (int r = 0; r < 3; ++r) {
        float v = 0;
        for (int c = 0; c < 3; ++c)
            v += s.camera_from_xyz[r][c] * s.as_shot_white_xyz[c];
        EXPECT_NEAR(v, neutral[r], 1e-4) << "camera row " << r;
    }
}

} // namespace

TEST(PseudoInverseTest, RandomSquareAndTallMatricesGiveTheLeftInverse) {
    std::mt19937 rng(20240611);
    for (int rows : {3, 4}) {
        for (int trial = 0; trial < 25; ++trial) {
            float in[4][3], out[4][3];
            random_matrix(rng, in, rows);
            raw::pseudo_inverse(in, out, rows);
            // in^T x out = I: out^T is a left inverse of in.
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    EXPECT_NEAR(dot_column(in, i, out, j, rows), i == j ? 1.0f : 0.0f, 1e-4)
                        << rows << " rows, trial " << trial << " [" << i << "][" << j << "]";
            // in x out^T is the orthogonal projection onto in's columns, hence symmetric;
            // that singles out the least-squares inverse among the left inverses.
            for (int a = 0; a < rows; ++a)
                for (int b = 0; b < a; ++b) {
                    float ab = 0, ba = 0;
                    for (int k = 0; k < 3; ++k) {
                        ab += in[a][k] * out[b][k];
                        ba += in[b][k] * out[a][k];
                    }
                    EXPECT_NEAR(ab, ba, 1e-4) << rows << " rows, trial " << trial;
                }
        }
    }
}

TEST(PseudoInverseTest, ASingularMatrixStaysFinite) {
    const float zero[3][3] = {};
    const float rank_one[3][3] = {{1, 2, 3}, {2, 4, 6}, {3, 6, 9}};
    for (const auto* in : {zero, rank_one}) {
        float out[3][3];
        raw::pseudo_inverse(in, out, 3);
        for (const auto& row : out)
            for (float v : row)
                EXPECT_TRUE(std::isfinite(v));
    }
}

TEST(CameraXyzCoefficientsTest, SrgbCameraNeedsNoBalanceAndConvertsNothing) {
    auto s = testsupport::identified_state();
    float destination[3][4];
    std::fill(&destination[0][0], &destination[0][0] + 12, 7.0f);
    raw::camera_xyz_coefficients(*s, destination, kSrgbFromXyz, 3);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(s->daylight_multipliers[c], 1.0f, 1e-4) << c;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(destination[i][j], i == j ? 1.0f : 0.0f) << i << j;
}

TEST(CameraXyzCoefficientsTest, MultipliersPerRow) {
    const float white[3] = {0.950456f, 1.0f, 1.088754f}; // D65 through xyz_from_srgb
    struct Case {
        const char* name;
        float matrix[4][3];
        int colour_count, rows;
        float multipliers[4]; // 0: left as it was (the sentinel 9)
    };
    const Case cases[] = {
        {"plain rows",
         {{2, 0, 0}, {0, 0.5f, 0}, {0, 0, 1}, {}},
         3,
         4,
         {1 / (2 * white[0]), 2, 1 / white[2], 0}},
        {"an all-zero row keeps gain 1",
         {{1, 0, 0}, {}, {0, 0, 1}, {}},
         3,
         4,
         {1 / white[0], 1, 1 / white[2], 0}},
        {"a row blind to grey keeps gain 1",
         {{1, 0, 0}, {1, -white[0], 0}, {0, 0, 1}, {}},
         3,
         4,
         {1 / white[0], 1, 1 / white[2], 0}},
        {"four colours",
         {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0.25f, 0}},
         4,
         4,
         {1 / white[0], 1, 1 / white[2], 4}},
        {"four colours, three-row matrix",
         {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {}},
         4,
         3,
         {1 / white[0], 1, 1 / white[2], 0}},
    };
    for (const auto& c : cases) {
        auto s = testsupport::identified_state();
        s->colour_count = c.colour_count;
        std::fill(s->daylight_multipliers, s->daylight_multipliers + 4, 9.0f);
        float destination[3][4];
        raw::camera_xyz_coefficients(*s, destination, c.matrix, c.rows);
        for (int r = 0; r < 4; ++r) {
            const float expected = c.multipliers[r] != 0 ? c.multipliers[r] : 9.0f;
            EXPECT_NEAR(s->daylight_multipliers[r], expected, 1e-4) << c.name << ", row " << r;
        }
        EXPECT_EQ(destination[2][3], 0.0f) << c.name << ": the fourth channel is never converted";
    }
}

TEST(CameraMatrixTest, TheWhitePointIsTheAsShotNeutralInXyz) {
    auto s = testsupport::identified_state();
    const float as_shot[4] = {2, 1, 1.5f, 0};
    std::copy(as_shot, as_shot + 4, s->as_shot_multipliers);
    raw::set_camera_matrix(*s, kSrgbFromXyz, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(s->camera_from_xyz[i][j], kSrgbFromXyz[i][j]);
    expect_neutral_maps_back(*s);
}

TEST(CameraMatrixTest, FromCoefficientsUndoesTheOutputMatrixAndTheBalance) {
    std::mt19937 rng(7);
    float square[3][3];
    random_matrix(rng, square, 3);
    float rgb_from_camera[3][4];
    for (int i = 0; i < 3; ++i) {
        std::copy(square[i], square[i] + 3, rgb_from_camera[i]);
        rgb_from_camera[i][3] = 5; // the fourth column takes no part
    }
    auto s = testsupport::identified_state();
    const float daylight[4] = {2, 1, 0.5f, 1}, as_shot[4] = {2.2f, 1, 1.4f, 0};
    std::copy(daylight, daylight + 4, s->daylight_multipliers);
    std::copy(as_shot, as_shot + 4, s->as_shot_multipliers);
    raw::set_camera_matrix_from_coeffs(*s, rgb_from_camera);

    // rgb_from_camera x diag(daylight) x camera_from_xyz x xyz_from_srgb = I
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            float v = 0;
            for (int a = 0; a < 3; ++a)
                for (int b = 0; b < 3; ++b)
                    v += square[i][a] * daylight[a] * s->camera_from_xyz[a][b] * raw::xyz_from_srgb[b][j];
            EXPECT_NEAR(v, i == j ? 1.0f : 0.0f, 1e-4) << i << j;
        }
    expect_neutral_maps_back(*s);
}

TEST(CameraMatrixTest, TheWhitePointIsLeftAloneWhenKnownOrUnformable) {
    struct Case {
        const char* name;
        float first_white;
        float as_shot[4];
    };
    const Case cases[] = {
        {"set by the file", 0.3127f, {2, 1, 1.5f, 0}},
        {"no red multiplier", -1000, {0, 1, 1.5f, 0}},
        {"no blue multiplier", -1000, {2, 1, 0, 0}},
    };
    for (const auto& c : cases) {
        for (bool from_coeffs : {false, true}) {
            auto s = testsupport::identified_state();
            s->as_shot_white_xyz[0] = c.first_white;
            std::copy(c.as_shot, c.as_shot + 4, s->as_shot_multipliers);
            if (from_coeffs)
                raw::set_camera_matrix_from_coeffs(*s, s->rgb_from_camera);
            else
                raw::set_camera_matrix(*s, kSrgbFromXyz, 3);
            EXPECT_EQ(s->as_shot_white_xyz[0], c.first_white) << c.name << (from_coeffs ? " (coeffs)" : "");
            EXPECT_NEAR(s->camera_from_xyz[0][0], kSrgbFromXyz[0][0], 1e-4)
                << c.name << ": the matrix is stored";
        }
    }
}
