// Lateral chromatic aberration: the red and blue planes are resampled about the image
// centre by their own scale, bilinearly, from a copy of the plane.
#include <cstdio>

#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/develop/SensorPrep.h"

namespace raw {
namespace {

// Where destination index i of a line of n samples reads from; false outside the plane.
// Negative positions are outside too: truncating them toward zero would extrapolate.
bool source_position(int i, int n, double scale, int& whole, double& fraction) {
    const double p = (i - n / 2) * scale + n / 2;
    if (!(p >= 0) || p >= n - 1) return false;
    whole = int(p);
    fraction = p - whole;
    return true;
}

void resample_slot(DecoderState& s, int slot, double scale) {
    const int height = s.image_height, width = s.image_width;
    const uint64_t pixels = uint64_t(height) * width;
    auto* plane = static_cast<uint16_t*>(file_backed_calloc(s, pixels, sizeof(uint16_t)));
    memory_error(s, plane, "scale_colors()");
    for (uint64_t i = 0; i < pixels; ++i)
        plane[i] = s.pixel_image[i][slot];
    for (int r = 0; r < height; ++r) {
        int y;
        double fy;
        if (!source_position(r, height, scale, y, fy)) continue;
        for (int c = 0; c < width; ++c) {
            int x;
            double fx;
            if (!source_position(c, width, scale, x, fx)) continue;
            const uint16_t* p = plane + uint64_t(y) * width + x;
            const double top = p[0] * (1 - fx) + p[1] * fx;
            const double bottom = p[width] * (1 - fx) + p[width + 1] * fx;
            s.pixel_image[uint64_t(r) * width + c][slot] = uint16_t(top * (1 - fy) + bottom * fy);
        }
    }
    file_backed_free(s, plane);
}

} // namespace

void correct_chromatic_aberration(DecoderState& s) {
    const double* scale = s.aberration_scales;
    if (s.colour_count != 3 || (scale[0] == 1 && scale[1] == 1) || !s.pixel_image) return;
    if (s.verbose_output) std::fprintf(stderr, "Correcting chromatic aberration...\n");
    for (int i = 0; i < 2; ++i)
        if (scale[i] != 1) resample_slot(s, 2 * i, scale[i]);
}

} // namespace raw
