#pragma once
// Adaptive homogeneity-directed demosaicing of the master rendering. The driver,
// ahd_interpolate_threaded, is declared in Demosaic.h; the band workers are here for tests.
#include "raw/develop/DemosaicCommon.h"

namespace raw {

// Interpolate the tiles whose origins lie in the band's rows. Each writes only the
// non-own colour channels of the rows from first_row + 3 up to write_end + 3.
void ahd_band_worker_bayer(const band_job& band);
void ahd_band_worker_xtrans(const band_job& band);

} // namespace raw
