// Makes non-square photosites square: a ratio below 1 adds rows, above 1 adds columns,
// each new line a linear mix of its two nearest source lines.
#include <algorithm>
#include <cmath>
#include <vector>

#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/output/ColourOutput.h"

namespace raw {
namespace {

using Pixel = uint16_t[4];

// Where each new line reads from; the position is accumulated in single precision
// the way the lines were always placed.
struct LineSource {
    int first, second;
    float fraction;
};

LineSource line_source(float position, int lines) {
    const int first = std::min(int(position), lines - 1);
    const int second = first + 1 < lines ? first + 1 : first;
    return {first, second, position - float(first)};
}

void mix(const Pixel& a, const Pixel& b, float fraction, Pixel& out) {
    for (int c = 0; c < 4; ++c)
        out[c] = uint16_t(float(a[c]) * (1 - fraction) + float(b[c]) * fraction + 0.5f);
}

Pixel* allocate(DecoderState& s, int64_t height, int64_t width) {
    auto* image =
        static_cast<Pixel*>(file_backed_calloc(s, uint64_t(height) * uint64_t(width), sizeof(Pixel)));
    memory_error(s, image, "stretch()");
    return image;
}

void replace_image(DecoderState& s, Pixel* image, int64_t height, int64_t width) {
    file_backed_free(s, s.pixel_image);
    s.pixel_image = image;
    s.image_height = s.visible_height = uint16_t(height);
    s.image_width = s.visible_width = uint16_t(width);
}

void add_rows(DecoderState& s, float ratio, int64_t new_height) {
    const int height = s.visible_height, width = s.visible_width;
    Pixel* image = allocate(s, new_height, width);
    float position = 0;
    for (int64_t row = 0; row < new_height; ++row, position += ratio) {
        const LineSource from = line_source(position, height);
        const Pixel* a = s.pixel_image + int64_t(from.first) * width;
        const Pixel* b = s.pixel_image + int64_t(from.second) * width;
        for (int col = 0; col < width; ++col)
            mix(a[col], b[col], from.fraction, image[row * width + col]);
    }
    replace_image(s, image, new_height, width);
}

void add_columns(DecoderState& s, float ratio, int64_t new_width) {
    const int height = s.visible_height, width = s.visible_width;
    Pixel* image = allocate(s, height, new_width);
    std::vector<LineSource> sources{size_t(new_width)};
    float position = 0;
    for (auto& from : sources) {
        from = line_source(position, width);
        position += 1 / ratio;
    }
    for (int row = 0; row < height; ++row) {
        const Pixel* line = s.pixel_image + int64_t(row) * width;
        Pixel* out = image + int64_t(row) * new_width;
        for (const auto& from : sources)
            mix(line[from.first], line[from.second], from.fraction, *out++);
    }
    replace_image(s, image, height, new_width);
}

} // namespace

void stretch(DecoderState& s) {
    const float ratio = s.pixel_aspect_ratio;
    // An unset or meaningless ratio is taken as square photosites.
    if (ratio == 1 || !(ratio > 0) || !std::isfinite(ratio)) return;
    if (s.visible_height == 0 || s.visible_width == 0) return;
    const double size = ratio < 1 ? double(float(s.visible_height) / ratio) + 0.5
                                  : double(ratio * float(s.visible_width)) + 0.5;
    if (size > 0xFFFF) {
        count_data_error(s);
        return;
    }
    if (ratio < 1)
        add_rows(s, ratio, int64_t(size));
    else
        add_columns(s, ratio, int64_t(size));
}

} // namespace raw
