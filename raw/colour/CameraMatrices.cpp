#include <algorithm>
#include <cmath>

#include "raw/colour/CameraColour.h"

namespace raw {

const float xyz_from_srgb[3][3] = {
    {0.412453f, 0.357580f, 0.180423f},
    {0.212671f, 0.715160f, 0.072169f},
    {0.019334f, 0.119193f, 0.950227f},
};

const float d65_white[3] = {0.950456f, 1, 1.088754f};

namespace {

bool all_finite(const float* v, int count) {
    return std::all_of(v, v + count, [](float x) { return std::isfinite(x); });
}

// Channels of a camera matrix the caller can actually supply.
int matrix_rows(const DecoderState& s, int rows) { return std::clamp(std::min(s.colour_count, rows), 0, 4); }

// The as-shot neutral through the camera matrix gives the white point in XYZ. A file
// that set a white point keeps it; a neutral that cannot be formed (a zero multiplier)
// leaves the white point absent rather than infinite.
void store_white_point(DecoderState& s, const float camera_from_xyz[][3], int n) {
    if (!(s.as_shot_white_xyz[0] < -100)) return;
    const float* m = s.as_shot_multipliers;
    if (m[0] == 0 || m[2] == 0) return;
    const float neutral[3] = {m[1] / m[0], 1, m[1] / m[2]};
    float inverse[4][3] = {};
    pseudo_inverse(camera_from_xyz, inverse, n);
    float white[3];
    for (int c = 0; c < 3; ++c)
        white[c] = inverse[0][c] * neutral[0] + inverse[1][c] * neutral[1] + inverse[2][c] * neutral[2];
    if (all_finite(white, 3)) std::copy(white, white + 3, s.as_shot_white_xyz);
}

} // namespace

// Gauss-Jordan on the normal matrix without pivot search: in^T x in is symmetric
// positive definite for any matrix of full column rank, so no pivot is needed.
void pseudo_inverse(const float in[][3], float out[][3], int n) {
    float work[3][6];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 6; ++j) {
            work[i][j] = j == i + 3 ? 1.0f : 0.0f;
            if (j < 3)
                for (int k = 0; k < n; ++k)
                    work[i][j] += in[k][i] * in[k][j];
        }
    for (int i = 0; i < 3; ++i) {
        const float pivot = work[i][i];
        if (std::fabs(pivot) > 0.00001f)
            for (int j = 0; j < 6; ++j)
                work[i][j] /= pivot;
        for (int k = 0; k < 3; ++k) {
            if (k == i) continue;
            const float factor = work[k][i];
            for (int j = 0; j < 6; ++j)
                work[k][j] -= work[i][j] * factor;
        }
    }
    for (int r = 0; r < n; ++r) {
        float row[3];
        for (int c = 0; c < 3; ++c)
            row[c] = work[c][3] * in[r][0] + work[c][4] * in[r][1] + work[c][5] * in[r][2];
        std::copy(row, row + 3, out[r]);
    }
}

// The decoder stays in camera space: it only balances the channels so that sRGB grey
// comes out equal in all of them, and leaves the conversion to the application.
void camera_xyz_coefficients(DecoderState& s, float destination[3][4], const float camera_from_xyz[][3],
                             int rows) {
    const int n = matrix_rows(s, rows);
    for (int r = 0; r < n; ++r) {
        float sum = 0;
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                sum += camera_from_xyz[r][k] * xyz_from_srgb[k][j];
        // A row blind to grey would give an infinite gain; leave that channel as it is.
        const bool usable = std::isfinite(sum) && std::fabs(sum) > 1e-6f;
        s.daylight_multipliers[r] = usable ? 1 / sum : 1.0f;
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            destination[i][j] = i == j && j < n ? 1.0f : 0.0f;
}

void set_camera_matrix(DecoderState& s, const float camera_from_xyz[][3], int rows) {
    for (int i = 0; i < 3; ++i)
        std::copy(camera_from_xyz[i], camera_from_xyz[i] + 3, s.camera_from_xyz[i]);
    store_white_point(s, camera_from_xyz, matrix_rows(s, rows));
}

void set_camera_matrix_from_coeffs(DecoderState& s, const float rgb_from_camera[3][4]) {
    // The pseudo-inverse of a transposed square matrix is its plain inverse.
    float transposed[3][3], camera_from_rgb[3][3], srgb_from_xyz[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            transposed[i][j] = rgb_from_camera[j][i];
    pseudo_inverse(transposed, camera_from_rgb, 3);
    for (int i = 0; i < 3; ++i)
        if (s.daylight_multipliers[i] != 0)
            for (float& v : camera_from_rgb[i])
                v /= s.daylight_multipliers[i];

    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            transposed[i][j] = xyz_from_srgb[j][i];
    pseudo_inverse(transposed, srgb_from_xyz, 3);

    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            float v = 0;
            for (int k = 0; k < 3; ++k)
                v += camera_from_rgb[i][k] * srgb_from_xyz[k][j];
            s.camera_from_xyz[i][j] = v;
        }
    store_white_point(s, s.camera_from_xyz, matrix_rows(s, 3));
}

} // namespace raw
