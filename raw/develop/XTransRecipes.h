#pragma once
// Per-position interpolation recipes for the X-Trans layout (and, where a driver wants them,
// Bayer words), computed once per demosaic so that the inner loops only sum precomputed
// offset and weight lists; and the two-direction front end that runs on them.
#include <cstdint>

#include "raw/develop/DemosaicCommon.h"

namespace raw {

inline constexpr int kRecipeTerms = 16;

// Where the photosite values a front end reads lie, in 16-bit samples: the pixel image (four
// samples a pixel, the value in its colour's channel) or a tile of one value a position.
struct sample_layout {
    int64_t row_step;
    int32_t column_step;
    bool per_channel; // the value sits in the channel of its colour
};

inline sample_layout pixel_image_layout(int width) { return {int64_t(width) * 4, 4, true}; }

// A weighted sum of samples divided by `divisor`, limited to the range of the clamp samples
// when there are any. Offsets count samples from the position's own sample (the pixel's
// channel 0 in the pixel image).
struct interpolation_recipe {
    int32_t count;
    int64_t offset[kRecipeTerms];
    int32_t weight[kRecipeTerms];
    int32_t clamp_count;
    int64_t clamp[kRecipeTerms];
    int32_t divisor;
};

// The centre's green plus the mean of (value - green) over `count` neighbours of one colour:
// their samples and the greens at the same places in one direction of the tile.
// tile_position counts the same neighbours in positions of the tile.
struct colour_difference_recipe {
    int32_t count;
    int64_t image_offset[kRecipeTerms];
    int32_t tile_offset[kRecipeTerms];
    int32_t tile_position[kRecipeTerms];
};

struct recipe_entry {
    int32_t colour;
    int32_t own_offset; // of the position's own value
    interpolation_recipe green_vertical, green_horizontal;
    colour_difference_recipe to_red, to_blue;
};

// Recipes per position of the colour pattern's period (6 x 6 X-Trans, else 2 x 2), with
// sample offsets for `layout`.
struct recipe_table {
    int32_t period_rows, period_cols;
    sample_layout layout;
    recipe_entry entry[8][8];
};

// `tile_stride` is the side of the worker's square two-direction tile. Without a layout the
// recipes read the job's pixel image.
void build_recipe_table(const demosaic_job& job, recipe_table& table, int tile_stride);
void build_recipe_table(const demosaic_job& job, recipe_table& table, int tile_stride, sample_layout layout);

// The entries of one image row, column after column from `col` on.
class recipe_row {
  public:
    recipe_row(const recipe_table& table, int row, int col)
        : entries_(table.entry[row % table.period_rows]), period_(table.period_cols), phase_(col % period_) {}
    const recipe_entry& operator*() const { return entries_[phase_]; }
    void next() { phase_ = phase_ + 1 == period_ ? 0 : phase_ + 1; }

  private:
    const recipe_entry* entries_;
    int period_, phase_;
};

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

// The samples the recipes read, laid out as the table says; `origin` is image pixel
// (top, left). Positions are image coordinates, never negative.
struct sample_source {
    const uint16_t* origin;
    int top, left;
};

// Two-direction front end driven by the recipes, which must have been built with the tile's
// stride and the source's layout. The source must hold 2 positions around the span, which
// must lie inside the tile; the colour step also needs one tile position around it.
// Greens of both directions (and each photosite's own colour) over the span:
void xtrans_tile_greens(const recipe_table& recipes, const sample_source& source, const direction_tile& tile,
                        const image_span& span);
// then red and blue of both directions from the colour differences:
void xtrans_tile_red_blue(const recipe_table& recipes, const sample_source& source,
                          const direction_tile& tile, const image_span& span);

// The same on the band's pixel image with band.recipes; the span keeps 2 pixels from every
// image edge.
void xtrans_tile_greens(const band_job& band, const direction_tile& tile, const image_span& span);
void xtrans_tile_red_blue(const band_job& band, const direction_tile& tile, const image_span& span);

} // namespace raw
