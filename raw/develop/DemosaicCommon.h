#pragma once
// What the threaded demosaic drivers share: the colour lookup, the border fill and the row
// bands. The drivers read nothing of the decoder state but their demosaic_job.
#include <array>
#include <cstdint>

#include "raw/core/BandRunner.h"
#include "raw/develop/Demosaic.h"

namespace raw {

// Colour index 0..3 of a sensor position. Pattern 9 reads the X-Trans copy taken by
// demosaic_copy_xtrans; pattern 1 the fixed 16x16 table at fixed offsets; any other word
// its 2-bit codes. Rows and columns may go down to -6.
int demosaic_colour_at(uint32_t filters, int row, int col);

// Colour 3 is the second green of four-colour words.
inline bool is_green_colour(int colour) { return colour == 1 || colour == 3; }

// Colours of `count` photosites of a row from column `col` on.
void demosaic_colour_row(uint32_t filters, int row, int col, int count, uint8_t* out);

// Takes the job's X-Trans layout as the lookup's copy. Only one demosaic runs at a time.
void demosaic_copy_xtrans(const demosaic_job& job);

// Fills the missing colours of every pixel within `border` of an edge with the means of the
// photosites of each colour in the 5x5 block around it.
void demosaic_border_fill(const demosaic_job& job, int border);

struct recipe_table;

// One row band: tiles start at rows first_row <= r < end_row.
struct band_job {
    int32_t height, width;
    uint16_t (*image)[4];
    uint32_t filters;
    int32_t first_row, end_row;
    int32_t lmmse_median_passes;
    int32_t unused;
    const recipe_table* recipes;
    // Tiles from this row on are the next band's (the image height for the last band): a
    // band writes no output row that the next band's first tile writes.
    int32_t write_end;
    // Own value of every photosite, copied before any band ran, for workers that rewrite
    // own colours which the next band still reads (null where none is needed).
    const uint16_t* mosaic;
};

// The whole image as one band whose tiles start at rows first_row <= r < height - end_margin.
band_job whole_image_band(const demosaic_job& job, int first_row, int end_margin,
                          const recipe_table* recipes);

// Splits the tile rows [first_row, height - end_margin) into kBandCount bands: equal bands
// of (height - end_margin) / kBandCount rows, the last taking the rest. No band starts above
// first_row, so short images leave the leading bands empty.
std::array<band_job, kBandCount> demosaic_bands(const demosaic_job& job, int first_row, int end_margin,
                                                const recipe_table* recipes);

} // namespace raw
