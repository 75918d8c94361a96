// Prepares the mosaic for demosaicing: undoes the command line's half-size shrinking and
// moves the second green of a three-colour Bayer pattern into the green slot.
#include <initializer_list>

#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/core/PhotositeAccess.h"
#include "raw/develop/SensorPrep.h"

namespace raw {
namespace {

// The first pixel of rows 0-2, columns 1-3, without red and blue; else row 3, column 4.
void first_xtrans_hole(const DecoderState& s, int& row, int& col) {
    for (int r = 0; r < 3 && r < s.image_height; ++r)
        for (int c = 1; c <= 3 && c < s.image_width; ++c) {
            const uint16_t* pixel = s.pixel_image[int64_t(r) * s.image_width + c];
            if (pixel[0] == 0 && pixel[2] == 0) {
                row = r, col = c;
                return;
            }
        }
    row = 3, col = 4;
}

// At half size an X-Trans cell leaves one pixel in each 3x3 without red and blue; they
// come from the left and right neighbours.
void fill_xtrans_half_size_holes(DecoderState& s) {
    const int height = s.image_height, width = s.image_width;
    auto at = [&](int row, int col) { return s.pixel_image[int64_t(row) * width + col]; };
    int row, col;
    first_xtrans_hole(s, row, col);
    for (; row < height; row += 3) {
        col = (col - 1) % 3 + 1;
        int past = col;
        for (int c = col; c < width - 1; c += 3, past = c)
            for (int slot : {0, 2})
                at(row, c)[slot] = uint16_t((at(row, c - 1)[slot] + at(row, c + 1)[slot]) >> 1);
        col = past;
    }
}

// Back to one photosite per pixel at the visible size.
void expand_shrunk_image(DecoderState& s) {
    const uint64_t height = s.visible_height, width = s.visible_width;
    auto* image = static_cast<uint16_t(*)[4]>(file_backed_calloc(s, height * width, sizeof(uint16_t[4])));
    memory_error(s, image, "pre_interpolate()");
    for (uint64_t row = 0; row < height; ++row)
        for (uint64_t col = 0; col < width; ++col) {
            const uint64_t y = row >> 1, x = col >> 1;
            if (y >= s.image_height || x >= s.image_width) continue;
            const int c = cfa_color(s, int(row), int(col));
            image[row * width + col][c] = s.pixel_image[y * s.image_width + x][c];
        }
    file_backed_free(s, s.pixel_image);
    s.pixel_image = image;
    s.shrink_image = 0;
    // The record describes the buffer it holds from here on.
    s.image_height = uint16_t(height);
    s.image_width = uint16_t(width);
}

void move_second_green(DecoderState& s) {
    const uint32_t pattern = s.cfa_pattern;
    const int height = s.image_height, width = s.image_width;
    for (int row = (pattern >> 5) & 1; row < height; row += 2)
        for (int col = pattern_code(pattern, row, 1) & 1; col < width; col += 2) {
            uint16_t* pixel = s.pixel_image[int64_t(row) * width + col];
            pixel[1] = pixel[3];
        }
    // Every code 3 becomes 1.
    s.cfa_pattern = pattern & ~((pattern & 0x55555555u) << 1);
}

} // namespace

void pre_interpolate(DecoderState& s) {
    if (!s.pixel_image) return;
    if (s.shrink_image) {
        if (s.half_size_option) {
            s.visible_height = s.image_height;
            s.visible_width = s.image_width;
            if (s.cfa_pattern == kPatternXTrans) fill_xtrans_half_size_holes(s);
        } else {
            expand_shrunk_image(s);
        }
    }
    if (s.cfa_pattern > 1000 && s.colour_count == 3) {
        s.merge_greens = (s.four_colour_option != 0) != (s.half_size_option != 0);
        if (s.four_colour_option || s.half_size_option)
            s.colour_count = 4;
        else
            move_second_green(s);
    }
    if (s.half_size_option) s.cfa_pattern = 0;
}

} // namespace raw
