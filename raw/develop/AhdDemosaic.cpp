#include "raw/develop/AhdDemosaic.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "raw/core/DecoderError.h"
#include "raw/develop/AhdTile.h"
#include "raw/develop/XTransRecipes.h"

namespace raw {
namespace {

using namespace ahd;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using WorkArea = std::unique_ptr<AhdWorkArea, FreeDeleter>;

// One per band, reused by every tile of it.
WorkArea allocateWorkArea() {
    auto* area = static_cast<AhdWorkArea*>(std::calloc(1, sizeof(AhdWorkArea)));
    if (!area) {
        std::fputs("ahd_interpolate() calloc failure\n", stderr);
        // A band left as a mosaic would pass for a developed image: fail the decode instead.
        throw DecoderText{kOutOfMemoryText};
    }
    return WorkArea(area);
}

direction_tile directionTile(const Tile& t) { return {&t.area.rgb[0][0][0], TS, t.top, t.left}; }

void xtransGreens(Tile& t, int r) {
    xtrans_tile_greens(t.band, directionTile(t), {r, r + 1, t.left, t.colEnd(0, 2)});
}

void xtransRedBlue(Tile& t, int r) {
    xtrans_tile_red_blue(t.band, directionTile(t), {r, r + 1, t.left + 1, t.colEnd(1, 3)});
}

uint8_t countWithin(const uint32_t (&d)[4], uint32_t eps) {
    return uint8_t((d[0] <= eps) + (d[1] <= eps) + (d[2] <= eps) + (d[3] <= eps));
}

// How many of its four neighbours each direction's green agrees with, against the
// smaller of the two directions' worst disagreement along themselves.
void greenHomogeneity(Tile& t, int r) {
    static constexpr int kNeighbour[4] = {-1, 1, -TS, TS};
    const int colEnd = t.colEnd(2, 4);
    for (int col = t.left + 2; col < colEnd; ++col) {
        const int p = t.position(r, col);
        uint32_t d[2][4];
        for (int dir = 0; dir < 2; ++dir)
            for (int n = 0; n < 4; ++n) {
                // Squares of differences up to 65535 need all 32 unsigned bits.
                const int diff = t.area.rgb[dir][p][1] - t.area.rgb[dir][p + kNeighbour[n]][1];
                d[dir][n] = uint32_t(diff * int64_t(diff));
            }
        const uint32_t eps = std::min(std::max(d[0][0], d[0][1]), std::max(d[1][2], d[1][3]));
        t.area.homo[0][p] = countWithin(d[0], eps);
        t.area.homo[1][p] = countWithin(d[1], eps);
    }
}

template <typename Greens, typename RedBlue>
void runBand(const band_job& band, Greens greens, RedBlue redBlue) {
    if (band.first_row >= band.end_row || band.width < 8) return;
    WorkArea area = allocateWorkArea();
    const ColourGrid grid(band.filters);
    for_each_tile(band, [&](int top, int left) {
        Tile t{band, *area, grid, top, left};
        run_tile(t, greens, redBlue, greenHomogeneity);
    });
}

} // namespace

void ahd_band_worker_bayer(const band_job& band) { runBand(band, bayer_greens, bayer_red_blue); }

void ahd_band_worker_xtrans(const band_job& band) { runBand(band, xtransGreens, xtransRedBlue); }

void ahd_interpolate_threaded(demosaic_job& job) {
    if (!job.image || job.height <= 0 || job.width <= 0) return;
    demosaic_copy_xtrans(job);
    demosaic_border_fill(job, kBorder);
    const bool xtrans = job.filters == kPatternXTrans;
    auto recipes = std::make_unique<recipe_table>();
    if (xtrans) build_recipe_table(job, *recipes, TS);
    const auto bands = demosaic_bands(job, 2, kBorder, recipes.get());
    run_bands(kBandCount, [&](int b) {
        if (xtrans)
            ahd_band_worker_xtrans(bands[b]);
        else
            ahd_band_worker_bayer(bands[b]);
    });
}

} // namespace raw
