#include <algorithm>

#include "raw/identify/Identify.h"

namespace raw {
namespace {

// Camera-to-RGB matrices of cameras without colour data of their own. Each is read as
// three rows of colour_count entries packed one after another.
constexpr float kSimpleMatrices[4][12] = {
    // layered-photodiode sensors, 3 colours
    {1.4032f, -0.2231f, -0.1016f, -0.5263f, 1.4816f, 0.0170f, -0.0112f, 0.0183f, 0.9113f},
    // Kodak DC20 and DC25, 4 colours
    {2.25f, 0.75f, -1.75f, -0.25f, -0.25f, 0.75f, 0.75f, -0.25f, -0.25f, -1.75f, 0.75f, 2.25f},
    // Fotoman Pixtura, 3 colours
    {1.893f, -0.418f, -0.476f, -0.495f, 1.773f, -0.278f, -1.017f, -0.655f, 2.672f},
    // Nikon E900 and E995 family, 4 colours
    {-1.9363f, 1.8004f, -1.4485f, 2.5843f, 1.4054f, -0.5250f, -0.2891f, 0.4087f, -1.2050f, 1.0823f, 2.9414f,
     -1.8187f},
};

} // namespace

void set_simple_matrix(DecoderState& s, int index) {
    if (index < 0 || index > 3) return;
    // More than four colours would read past the twelve values.
    const int colours = std::clamp(s.colour_count, 1, 4);
    for (int row = 0; row < 3; ++row)
        for (int c = 0; c < colours; ++c)
            s.rgb_from_camera[row][c] = kSimpleMatrices[index][row * colours + c];
    s.camera_colour_output = 0;
}

} // namespace raw
