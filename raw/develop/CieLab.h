#pragma once
// CIE L*a*b* of camera colours, for the interpolations that judge which estimate looks
// smoother by lightness and chroma rather than by green alone.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

struct cielab_table {
    float cube_root[65536];      // f(i / 65535) of the L*a*b* formula
    float xyz_from_camera[3][4]; // XYZ relative to the D65 white, from camera values
    int colours;
};

// Builds the table from the decoder's camera matrix (rgb_from_camera, camera to linear
// sRGB) and colour_count.
void cielab(const DecoderState& s, cielab_table& table);
// L = 64 (116 fy - 16), a = 32000 (fx - fy), b = 12800 (fy - fz) of the camera values
// (0..65535; colour_count of them, three at most: the interpolations hold three), as
// 16-bit integers.
void cielab(const cielab_table& table, const uint16_t* camera, int16_t lab[3]);

} // namespace raw
