#pragma once
// What the LMMSE demosaic needs of the demosaic unit: the photosite colour lookup with a
// per-call copy of the X-Trans layout, the border fill, and the per-position
// interpolation recipes with the two-direction front end that runs them.
#include <cstdint>
#include <vector>

#include "raw/Demosaic.h"

namespace raw::lmmse_detail {

// The colour of a photosite for the job's pattern word. Holds its own copy of the
// X-Trans layout, taken from the job when a drive starts.
struct ColourLookup {
    explicit ColourLookup(const demosaic_job& job);
    int operator()(int row, int col) const;
    // Colours of `count` photosites of a row from column `col` on.
    void fill_row(int row, int col, int count, uint8_t* out) const;

    uint32_t filters;
    int8_t xtrans[6][6];
};

inline bool is_green(int colour) { return colour == 1 || colour == 3; }

// Fills the missing colours of the outer frame of `border` pixels with the mean of each
// colour's photosites in the 5 x 5 block around the pixel.
void border_fill(const demosaic_job& job, const ColourLookup& colour, int border);

// One sample of a recipe: a photosite at `raw_offset` from the centre in the padded
// photosite tile; difference terms also read the position `tile_offset` from the centre
// in a tile of tile_size square.
struct RecipeTerm {
    int32_t raw_offset;
    int32_t tile_offset;
    int32_t weight;
};

struct GreenRecipe {
    RecipeTerm terms[16];
    int32_t term_count;
    int32_t clamp_offsets[16]; // greens that bound the result
    int32_t clamp_count;
    int32_t divisor;
};

// Mean of (photosite - its green) over `count` photosites, added to the centre's green.
struct DifferenceRecipe {
    RecipeTerm terms[16];
    int32_t count;
};

struct PositionRecipe {
    int32_t colour;
    GreenRecipe green_vertical, green_horizontal;
    DifferenceRecipe to_red, to_blue;
};

struct RecipeTable {
    int32_t period_rows, period_cols;
    PositionRecipe at[8][8];
};

// The recipe of every position of a tile whose position (0, 0) is image (row, col).
class RecipeLookup {
  public:
    RecipeLookup(const RecipeTable& table, int image_row, int image_col, int size);
    const PositionRecipe& operator()(int tr, int tc) const {
        return table_.at[row_phase_[tr]][col_phase_[tc]];
    }

  private:
    const RecipeTable& table_;
    std::vector<uint8_t> row_phase_, col_phase_;
};

// The tiles the recipes are resolved against: photosites with two positions of margin on
// every side, and a two-direction RGB tile of tile_size x tile_size.
struct TileGeometry {
    int tile_size;
    int raw_stride() const { return tile_size + 4; }
};

void build_recipe_table(const demosaic_job& job, const ColourLookup& colour, RecipeTable& table,
                        TileGeometry geometry);

// Fills rgb[2][size][size][3] (direction 0 along the row, 1 along the column) from the
// padded photosite tile `raw`, whose position (2, 2) is tile position (0, 0). Green of both
// directions for every position, then red and blue for every position but the outermost
// ring; channels nothing computes are 0.
struct FrontEndTile {
    const uint16_t* raw;
    uint16_t* rgb[2];
};
void run_front_end(const RecipeLookup& recipes, TileGeometry geometry, const FrontEndTile& tile);

} // namespace raw::lmmse_detail
