#pragma once
// The two LMMSE band workers. The decoder calls lmmse_interpolate_threaded (Demosaic.h),
// which copies the mosaic, fills the border and runs one worker per row band. Besides the
// band_job's usual fields the workers read band.mosaic, and lmmse_interpolate_core2 reads
// recipes built for its photosite tiles.
#include "raw/develop/DemosaicCommon.h"

namespace raw {

// Bayer words when the highlight flag is clear.
void lmmse_interpolate(const band_job& band);
// X-Trans, and any pattern when the highlight flag is set.
void lmmse_interpolate_core2(const band_job& band);

namespace lmmse_detail {
// Makes one kind of work area fail to allocate, so tests can see a band being skipped.
enum class WorkArea { none, planes, front_end_tile };
void fail_work_area_for_testing(WorkArea area);
// Makes the fusion worker run its recipe tables on Bayer words too, as it does on X-Trans,
// so tests can hold the Bayer steps to them.
void use_generic_recipes_for_testing(bool generic);
} // namespace lmmse_detail

} // namespace raw
