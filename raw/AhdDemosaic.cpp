#include "raw/AhdDemosaic.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "raw/DecoderError.h"
#include "raw/XTransRecipes.h"

namespace raw {
namespace {

constexpr int TS = 256;        // tile side
constexpr int kTileStep = 250; // tiles overlap by the 6 pixels their edge steps cannot finish
constexpr int kBorder = 5;     // rows and columns left to the border fill

struct AhdWorkArea {
    uint16_t rgb[2][TS * TS][3]; // 0: interpolated along the row, 1: along the column
    uint8_t homo[2][TS * TS];
};

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

// Colours of the pattern over a 16 x 16 cell (the period of every Bayer word and of
// pattern 1) or the 6 x 6 X-Trans cell.
struct ColourGrid {
    int period;
    uint8_t colour[16][16];

    explicit ColourGrid(uint32_t filters) : period(filters == kPatternXTrans ? 6 : 16) {
        for (int r = 0; r < period; ++r)
            for (int c = 0; c < period; ++c) colour[r][c] = uint8_t(demosaic_colour_at(filters, r, c));
    }
    const uint8_t* row(int r) const { return colour[r % period]; }
};

// The second green plays the part of green.
int role(int colour) { return colour == 3 ? 1 : colour; }

uint16_t clip(int v) { return uint16_t(std::clamp(v, 0, 65535)); }

int limitBetween(int v, int a, int b) { return std::clamp(v, std::min(a, b), std::max(a, b)); }

struct Tile {
    const band_job& band;
    AhdWorkArea& area;
    const ColourGrid& grid;
    int top, left;

    // End of a step's rows / columns: `inset` inside the tile, `edge` inside the image.
    int rowEnd(int inset, int edge) const { return std::min(top + TS - inset, band.height - edge); }
    int colEnd(int inset, int edge) const { return std::min(left + TS - inset, band.width - edge); }
    int position(int r, int c) const { return (r - top) * TS + (c - left); }
    uint16_t (*pixel(int r, int c) const)[4] { return band.image + int64_t(r) * band.width + c; }
};

// Own values of the photosites in rows r - 2 ... r + 2 of a Bayer-type pattern.
struct OwnRows {
    const uint16_t (*row[5])[4] = {};
    const uint8_t* colour[5] = {};

    OwnRows(const Tile& t, int r, int reach) {
        for (int k = -reach; k <= reach; ++k) {
            row[k + 2] = t.pixel(r + k, 0);
            colour[k + 2] = t.grid.row(r + k);
        }
    }
    int own(int dr, int c) const { return row[dr + 2][c][colour[dr + 2][c & 15]]; }
};

// Green along the row (0) and along the column (1) at every red and blue photosite.
void bayerGreens(Tile& t) {
    const int rowEnd = t.rowEnd(0, 2), colEnd = t.colEnd(0, 2);
    for (int r = t.top; r < rowEnd; ++r) {
        const OwnRows o(t, r, 2);
        for (int col = t.left + (o.colour[2][t.left & 15] & 1); col < colEnd; col += 2) {
            const int x = o.own(0, col);
            const int gl = o.own(0, col - 1), gr = o.own(0, col + 1);
            const int h = ((gl + x + gr) * 2 - o.own(0, col - 2) - o.own(0, col + 2)) >> 2;
            const int gu = o.own(-1, col), gd = o.own(1, col);
            const int v = ((gu + x + gd) * 2 - o.own(-2, col) - o.own(2, col)) >> 2;
            const int p = t.position(r, col);
            t.area.rgb[0][p][1] = uint16_t(limitBetween(h, gl, gr));
            t.area.rgb[1][p][1] = uint16_t(limitBetween(v, gu, gd));
        }
    }
}

// Red and blue of one direction at one photosite, from colour differences to its green.
void bayerRedBlueAt(const OwnRows& o, int col, int k, int below, uint16_t (*rix)[3]) {
    const int own = o.own(0, col);
    if (k == 1) {
        if (below == 0 || below == 2) { // a word with no red or blue below has nothing to give
            rix[0][2 - below] = clip((2 * own + o.own(0, col - 1) + o.own(0, col + 1) - rix[-1][1] - rix[1][1]) >> 1);
            rix[0][below] = clip((2 * own + o.own(-1, col) + o.own(1, col) - rix[-TS][1] - rix[TS][1]) >> 1);
        }
    } else {
        const int diagonal = o.own(-1, col - 1) + o.own(-1, col + 1) + o.own(1, col - 1) + o.own(1, col + 1) -
                             rix[-TS - 1][1] - rix[-TS + 1][1] - rix[TS - 1][1] - rix[TS + 1][1];
        rix[0][2 - k] = clip(rix[0][1] + ((diagonal + 1) >> 2));
    }
    rix[0][k] = uint16_t(own);
}

void bayerRedBlue(Tile& t) {
    const int rowEnd = t.rowEnd(1, 3), colEnd = t.colEnd(1, 3);
    for (int r = t.top + 1; r < rowEnd; ++r) {
        const OwnRows o(t, r, 1);
        for (int col = t.left + 1; col < colEnd; ++col) {
            const int k = role(o.colour[2][col & 15]);
            const int below = role(o.colour[3][col & 15]);
            const int p = t.position(r, col);
            bayerRedBlueAt(o, col, k, below, &t.area.rgb[0][p]);
            bayerRedBlueAt(o, col, k, below, &t.area.rgb[1][p]);
        }
    }
}

void xtransFrontEnd(Tile& t) {
    const direction_tile tile{&t.area.rgb[0][0][0], TS, t.top, t.left};
    xtrans_tile_greens(t.band, tile, {t.top, t.rowEnd(0, 2), t.left, t.colEnd(0, 2)});
    xtrans_tile_red_blue(t.band, tile, {t.top + 1, t.rowEnd(1, 3), t.left + 1, t.colEnd(1, 3)});
}

uint8_t countWithin(const uint32_t (&d)[4], uint32_t eps) {
    return uint8_t((d[0] <= eps) + (d[1] <= eps) + (d[2] <= eps) + (d[3] <= eps));
}

// How many of its four neighbours each direction's green agrees with, against the
// smaller of the two directions' worst disagreement along themselves.
void homogeneity(Tile& t) {
    std::memset(t.area.homo, 0, sizeof t.area.homo);
    static constexpr int kNeighbour[4] = {-1, 1, -TS, TS};
    const int rowEnd = t.rowEnd(2, 4), colEnd = t.colEnd(2, 4);
    for (int r = t.top + 2; r < rowEnd; ++r)
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

int homogeneitySum(const uint8_t* homo, int p) {
    int sum = 0;
    for (int dy = -TS; dy <= TS; dy += TS)
        for (int dx = -1; dx <= 1; ++dx) sum += homo[p + dy + dx];
    return sum;
}

// Each pixel takes the more homogeneous direction, or the mean of both on a tie. Only the
// missing colours are written and only up to the next band's first output row, so bands
// never write what another band reads or writes.
void output(Tile& t) {
    const int rowEnd = std::min(t.rowEnd(3, kBorder), t.band.end_row + 3), colEnd = t.colEnd(3, kBorder);
    for (int r = t.top + 3; r < rowEnd; ++r) {
        const uint8_t* colours = t.grid.row(r);
        int phase = (t.left + 3) % t.grid.period;
        for (int col = t.left + 3; col < colEnd; ++col, phase = phase + 1 == t.grid.period ? 0 : phase + 1) {
            const int p = t.position(r, col);
            const int s0 = homogeneitySum(t.area.homo[0], p), s1 = homogeneitySum(t.area.homo[1], p);
            const uint16_t* a = t.area.rgb[0][p];
            const uint16_t* b = t.area.rgb[1][p];
            uint16_t* pix = *t.pixel(r, col);
            for (int ch = 0; ch < 3; ++ch) {
                if (ch == colours[phase]) continue;
                pix[ch] = s0 == s1 ? uint16_t((a[ch] + b[ch]) >> 1) : s1 > s0 ? b[ch] : a[ch];
            }
        }
    }
}

template <typename FrontEnd> void runBand(const band_job& band, FrontEnd frontEnd) {
    // Images narrower than 8 pixels have no tile; the border fill covers them.
    if (band.first_row >= band.end_row || band.width < 8) return;
    WorkArea area = allocateWorkArea();
    const ColourGrid grid(band.filters);
    for (int top = band.first_row; top < band.end_row; top += kTileStep)
        for (int left = 2; left < band.width - kBorder; left += kTileStep) {
            Tile t{band, *area, grid, top, left};
            frontEnd(t);
            homogeneity(t);
            output(t);
        }
}

} // namespace

void ahd_band_worker_bayer(const band_job& band) {
    runBand(band, [](Tile& t) {
        bayerGreens(t);
        bayerRedBlue(t);
    });
}

void ahd_band_worker_xtrans(const band_job& band) { runBand(band, xtransFrontEnd); }

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
