#pragma once
// Per-position interpolation recipes for the X-Trans layout (and, where a driver wants them,
// Bayer words), computed once per demosaic so that the inner loops only sum precomputed
// offset and weight lists; and the two-direction front end that runs on them.
#include <cstdint>

#include "raw/DemosaicCommon.h"

namespace raw {

inline constexpr int kRecipeTerms = 16;

// A weighted sum of image samples divided by `divisor`, limited to the range of the clamp
// samples when there are any. Offsets count 16-bit samples from the pixel's channel 0.
struct interpolation_recipe {
    int32_t count;
    int64_t offset[kRecipeTerms];
    int32_t weight[kRecipeTerms];
    int32_t clamp_count;
    int64_t clamp[kRecipeTerms];
    int32_t divisor;
};

// The centre's green plus the mean of (value - green) over `count` neighbours of one colour:
// their image samples and the greens at the same places in one direction of the tile.
struct colour_difference_recipe {
    int32_t count;
    int64_t image_offset[kRecipeTerms];
    int32_t tile_offset[kRecipeTerms];
};

struct recipe_entry {
    int32_t colour;
    interpolation_recipe green_vertical, green_horizontal;
    colour_difference_recipe to_red, to_blue;
};

// Recipes per position of the colour pattern's period (6 x 6 X-Trans, else 2 x 2).
struct recipe_table {
    int32_t period_rows, period_cols;
    recipe_entry entry[8][8];
};

// `tile_stride` is the side of the worker's square two-direction tile.
void build_recipe_table(const demosaic_job& job, recipe_table& table, int tile_stride);

// A square two-direction tile rgb[2][stride][stride][3] (0 along the row, 1 along the
// column); position (0, 0) is image pixel (top, left).
struct direction_tile {
    uint16_t* rgb;
    int stride;
    int top, left;
};

struct image_span {
    int row_begin, row_end, col_begin, col_end;
};

// X-Trans front end, driven by band.recipes, which must have been built with the tile's
// stride. The span must keep 2 pixels from every image edge and lie inside the tile; the
// colour step also needs one tile position around it.
// Greens of both directions (and each photosite's own colour) over the span:
void xtrans_tile_greens(const band_job& band, const direction_tile& tile, const image_span& span);
// then red and blue of both directions from the colour differences:
void xtrans_tile_red_blue(const band_job& band, const direction_tile& tile, const image_span& span);

} // namespace raw
