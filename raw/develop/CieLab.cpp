#include "raw/develop/CieLab.h"

#include <algorithm>
#include <cmath>

#include "raw/colour/CameraColour.h"

namespace raw {

void cielab(const DecoderState& s, cielab_table& table) {
    for (int i = 0; i < 65536; ++i) {
        const double r = i / 65535.0;
        table.cube_root[i] = float(r > 0.008856 ? std::cbrt(r) : 7.787 * r + 16 / 116.0);
    }
    table.colours = std::clamp(s.colour_count, 1, 3);
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 4; ++c) {
            double sum = 0;
            for (int k = 0; k < 3; ++k)
                sum += double(xyz_from_srgb[i][k]) * s.rgb_from_camera[k][c];
            table.xyz_from_camera[i][c] = float(sum / d65_white[i]);
        }
}

void cielab(const cielab_table& table, const uint16_t* camera, int16_t lab[3]) {
    float f[3];
    for (int i = 0; i < 3; ++i) {
        float xyz = 0.5f; // rounds to the nearest table entry
        for (int c = 0; c < table.colours; ++c)
            xyz += table.xyz_from_camera[i][c] * camera[c];
        f[i] = table.cube_root[int(std::clamp(xyz, 0.0f, 65535.0f))];
    }
    lab[0] = int16_t(64 * (116 * f[1] - 16));
    lab[1] = int16_t(32000 * (f[0] - f[1]));
    lab[2] = int16_t(12800 * (f[1] - f[2]));
}

} // namespace raw
