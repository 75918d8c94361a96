#pragma once
// The two LMMSE band workers. The decoder calls lmmse_interpolate_threaded (Demosaic.h),
// which copies the mosaic, fills the border and runs one worker per row band.
#include <cstdint>

#include "raw/LmmseFrontEnd.h"

namespace raw {

// One row band of an LMMSE drive.
struct lmmse_band_job {
    int32_t height, width;
    uint16_t (*image)[4];
    uint32_t filters;
    int32_t first_row, end_row; // tile origin rows
    int32_t write_end;          // first row that belongs to the next band
    int32_t lmmse_median_passes;
    const uint16_t* mosaic; // own-colour value of every photosite, taken before any band ran
    const lmmse_detail::ColourLookup* colour;
    const lmmse_detail::RecipeTable* recipes; // used by lmmse_interpolate_core2 only
};

// Bayer words when the highlight flag is clear.
void lmmse_interpolate(const lmmse_band_job& band);
// X-Trans, and any pattern when the highlight flag is set.
void lmmse_interpolate_core2(const lmmse_band_job& band);

namespace lmmse_detail {
// Makes one kind of work area fail to allocate, so tests can see a band being skipped.
enum class WorkArea { none, planes, front_end_tile };
void fail_work_area_for_testing(WorkArea area);
} // namespace lmmse_detail

} // namespace raw
