// Turns the image of a sensor laid out at 45 degrees upright by bilinear resampling.
#include <algorithm>

#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/output/ColourOutput.h"

namespace raw {
namespace {

constexpr float kStep = 0.70710677f; // sqrt(1/2)

using Pixel = uint16_t[4];

struct Diagonal {
    int width, height; // the source
    int offset;        // where the diagonal layout starts, in source rows
    int channels;
};

// Bilinear mix of the 2 x 2 source block at the diagonal position of target (row, col);
// positions without a full block stay black.
void sample(const Diagonal& d, const Pixel* source, int row, int col, Pixel& target) {
    const float ur = float(row - col) * kStep + float(d.offset);
    const float uc = float(row + col) * kStep;
    if (ur < 0 || uc < 0) return;
    const int r = int(ur), c = int(uc);
    if (r > d.height - 2 || c > d.width - 2) return;
    const float fr = ur - float(r), fc = uc - float(c);
    const Pixel* p = source + int64_t(r) * d.width + c;
    for (int i = 0; i < d.channels; ++i) {
        const float top = float(p[0][i]) * (1 - fc) + float(p[1][i]) * fc;
        const float bottom = float(p[d.width][i]) * (1 - fc) + float(p[d.width + 1][i]) * fc;
        target[i] = uint16_t(top * (1 - fr) + bottom * fr);
    }
}

} // namespace

void fuji_rotate(DecoderState& s) {
    if (!s.rotated_width) return;
    const int offset = s.half_size_option ? s.rotated_width >> 1 : s.rotated_width - 1;
    s.rotated_width = uint16_t(offset);
    const int64_t wide = int64_t(float(offset) / kStep);
    const int64_t high = int64_t(float(int(s.visible_height) - offset) / kStep);
    s.rotated_width = 0;
    // A layout that does not fit the image (or would not fit our sizes) stays as it is.
    if (wide <= 0 || high <= 0 || wide > 0xFFFF || high > 0xFFFF) {
        count_data_error(s);
        return;
    }
    auto* image = static_cast<Pixel*>(file_backed_calloc(s, uint64_t(wide) * uint64_t(high), sizeof(Pixel)));
    memory_error(s, image, "fuji_rotate()");
    const Diagonal d{s.visible_width, s.visible_height, offset, std::clamp(s.colour_count, 1, 4)};
    for (int row = 0; row < high; ++row)
        for (int col = 0; col < wide; ++col)
            sample(d, s.pixel_image, row, col, image[int64_t(row) * wide + col]);
    file_backed_free(s, s.pixel_image);
    s.pixel_image = image;
    s.image_width = s.visible_width = uint16_t(wide);
    s.image_height = s.visible_height = uint16_t(high);
}

} // namespace raw
