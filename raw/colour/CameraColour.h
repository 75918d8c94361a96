#pragma once
// Camera matrices: from a camera-from-XYZ matrix to daylight multipliers and the
// camera-to-output matrix; the camera colour table; gamma curves.
#include "raw/core/DecoderState.h"

namespace raw {

// XYZ from linear sRGB (D65).
extern const float xyz_from_srgb[3][3];
// The D65 white in XYZ: the rows of xyz_from_srgb add up to it.
extern const float d65_white[3];

// out = in x (in^T x in)^-1 for an n x 3 matrix; for a square one that is in^-T.
void pseudo_inverse(const float in[][3], float out[][3], int n);

// Sets daylight_multipliers and fills `destination` (rgb_from_camera or embedded_matrix)
// from colour_count rows of camera-from-XYZ; `rows` is how many the caller's matrix has.
void camera_xyz_coefficients(DecoderState& s, float destination[3][4], const float camera_from_xyz[][3],
                             int rows = 4);
// Stores camera_from_xyz and, when none is set yet, the as-shot white point.
void set_camera_matrix(DecoderState& s, const float camera_from_xyz[][3], int rows = 4);
// Derives camera_from_xyz from a camera-to-output matrix, then the white point.
void set_camera_matrix_from_coeffs(DecoderState& s, const float rgb_from_camera[3][4]);

// Mode 0 stores gamma_params; mode 1 fills tone_table with the decoding curve, mode 2
// with the encoding curve, over inputs 0..white.
void build_gamma_curve(DecoderState& s, float power, float toe_slope, int mode, float white);

// Black, white, baseline exposure and colour matrix of a camera from the built-in table,
// else from the file's own matrix.
void lookup_camera_colours(DecoderState& s, const char* make, const char* model);

} // namespace raw
