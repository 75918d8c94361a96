#include "raw/develop/AhdDemosaic.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "raw/core/DecoderError.h"
#include "raw/develop/XTransRecipes.h"

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
// pattern 1) or the 6 x 6 X-Trans cell. Bayer words repeat every second column.
struct ColourGrid {
    int period, columnPeriod;
    uint8_t colour[16][16];

    explicit ColourGrid(uint32_t filters) {
        const bool xtrans = filters == kPatternXTrans;
        period = xtrans ? 6 : 16;
        columnPeriod = xtrans ? 6 : filters == kPatternLeaf16 ? 16 : 2;
        for (int r = 0; r < period; ++r)
            for (int c = 0; c < period; ++c)
                colour[r][c] = uint8_t(demosaic_colour_at(filters, r, c));
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
    bool hasRow(int r, int inset, int edge) const { return r >= top + inset && r < rowEnd(inset, edge); }
    int colEnd(int inset, int edge) const { return std::min(left + TS - inset, band.width - edge); }
    int position(int r, int c) const { return (r - top) * TS + (c - left); }
    uint16_t (*pixel(int r, int c) const)[4] { return band.image + int64_t(r) * band.width + c; }
};

// Own values around the photosites of one column phase of row r. The colours repeat every
// columnPeriod columns along the row, so they are looked up once per phase.
struct Neighbourhood {
    const uint16_t (*row[5])[4] = {};
    uint8_t channel[5][5] = {};

    Neighbourhood(const Tile& t, int r, int phase, int reach) {
        for (int dr = -reach; dr <= reach; ++dr) {
            row[dr + 2] = t.pixel(r + dr, 0);
            const uint8_t* colours = t.grid.row(r + dr);
            for (int dc = -2; dc <= 2; ++dc)
                channel[dr + 2][dc + 2] = colours[(phase + dc) & 15];
        }
    }
    int own(int col, int dr, int dc) const { return row[dr + 2][col + dc][channel[dr + 2][dc + 2]]; }
};

// Green along the row (0) and along the column (1) at every red and blue photosite.
void bayerGreens(Tile& t, int r) {
    const int colEnd = t.colEnd(0, 2), period = t.grid.columnPeriod;
    const int start = t.left + (t.grid.row(r)[t.left & 15] & 1);
    for (int phase = start; phase < start + period; phase += 2) {
        const Neighbourhood n(t, r, phase, 2);
        for (int col = phase; col < colEnd; col += period) {
            const int x = n.own(col, 0, 0);
            const int gl = n.own(col, 0, -1), gr = n.own(col, 0, 1);
            const int h = ((gl + x + gr) * 2 - n.own(col, 0, -2) - n.own(col, 0, 2)) >> 2;
            const int gu = n.own(col, -1, 0), gd = n.own(col, 1, 0);
            const int v = ((gu + x + gd) * 2 - n.own(col, -2, 0) - n.own(col, 2, 0)) >> 2;
            const int p = t.position(r, col);
            t.area.rgb[0][p][1] = uint16_t(limitBetween(h, gl, gr));
            t.area.rgb[1][p][1] = uint16_t(limitBetween(v, gu, gd));
        }
    }
}

// Sums of the own values around a photosite that its missing colours are made from:
// left + right and up + down at a green, the four diagonals at a red or blue.
struct NeighbourSums {
    int own, across, along, diagonal;
};

NeighbourSums neighbourSums(const Neighbourhood& n, int col, int k) {
    const int own = n.own(col, 0, 0);
    if (k == 1) return {own, n.own(col, 0, -1) + n.own(col, 0, 1), n.own(col, -1, 0) + n.own(col, 1, 0), 0};
    return {own, 0, 0, n.own(col, -1, -1) + n.own(col, -1, 1) + n.own(col, 1, -1) + n.own(col, 1, 1)};
}

// Red and blue of one direction at one photosite, from colour differences to its green.
void bayerRedBlueAt(const NeighbourSums& n, int k, int below, uint16_t (*rix)[3]) {
    if (k == 1) {
        if (below == 0 || below == 2) { // a word with no red or blue below has nothing to give
            rix[0][2 - below] = clip((2 * n.own + n.across - rix[-1][1] - rix[1][1]) >> 1);
            rix[0][below] = clip((2 * n.own + n.along - rix[-TS][1] - rix[TS][1]) >> 1);
        }
    } else {
        const int greens = rix[-TS - 1][1] + rix[-TS + 1][1] + rix[TS - 1][1] + rix[TS + 1][1];
        rix[0][2 - k] = clip(rix[0][1] + ((n.diagonal - greens + 1) >> 2));
    }
    rix[0][k] = uint16_t(n.own);
}

void bayerRedBlue(Tile& t, int r) {
    const int colEnd = t.colEnd(1, 3), period = t.grid.columnPeriod;
    for (int phase = t.left + 1; phase < t.left + 1 + period; ++phase) {
        const Neighbourhood n(t, r, phase, 1);
        const int k = role(n.channel[2][2]), below = role(n.channel[3][2]);
        for (int col = phase; col < colEnd; col += period) {
            const NeighbourSums sums = neighbourSums(n, col, k);
            const int p = t.position(r, col);
            bayerRedBlueAt(sums, k, below, &t.area.rgb[0][p]);
            bayerRedBlueAt(sums, k, below, &t.area.rgb[1][p]);
        }
    }
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
void homogeneity(Tile& t, int r) {
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

// Each pixel takes the more homogeneous direction (by the 3 x 3 sums of the counts), or
// the mean of both on a tie. Only the missing colours are written and only up to the next
// band's first output row, so bands never write what another band reads or writes.
void output(Tile& t, int r) {
    const int colEnd = t.colEnd(3, kBorder), first = t.left + 3;
    uint16_t columnSum[2][TS]; // counts of three rows, per tile column
    for (int dir = 0; dir < 2; ++dir) {
        const uint8_t* homo = t.area.homo[dir];
        for (int col = first - 1; col <= colEnd; ++col) {
            const int p = t.position(r, col);
            columnSum[dir][col - t.left] = uint16_t(homo[p - TS] + homo[p] + homo[p + TS]);
        }
    }
    const uint8_t* colours = t.grid.row(r);
    int phase = first % t.grid.period;
    for (int col = first; col < colEnd; ++col, phase = phase + 1 == t.grid.period ? 0 : phase + 1) {
        const int tc = col - t.left, p = t.position(r, col);
        const int s0 = columnSum[0][tc - 1] + columnSum[0][tc] + columnSum[0][tc + 1];
        const int s1 = columnSum[1][tc - 1] + columnSum[1][tc] + columnSum[1][tc + 1];
        const uint16_t* a = t.area.rgb[0][p];
        const uint16_t* b = t.area.rgb[1][p];
        uint16_t* pix = *t.pixel(r, col);
        for (int ch = 0; ch < 3; ++ch) {
            if (ch == colours[phase]) continue;
            pix[ch] = s0 == s1 ? uint16_t((a[ch] + b[ch]) >> 1) : s1 > s0 ? b[ch] : a[ch];
        }
    }
}

// The four steps run as a pipeline down the tile, each a few rows behind the one it
// reads, so that the rows in use stay in cache; every step still sees only finished rows.
template <typename Greens, typename RedBlue> void runTile(Tile& t, Greens greens, RedBlue redBlue) {
    std::memset(t.area.homo, 0, sizeof t.area.homo);
    const int lastRow = t.rowEnd(0, 2) + 3;
    for (int r = t.top; r < lastRow; ++r) {
        if (t.hasRow(r, 0, 2)) greens(t, r);
        if (t.hasRow(r - 1, 1, 3)) redBlue(t, r - 1);
        if (t.hasRow(r - 2, 2, 4)) homogeneity(t, r - 2);
        if (t.hasRow(r - 3, 3, kBorder) && r - 3 < t.band.write_end + 3) output(t, r - 3);
    }
}

template <typename Greens, typename RedBlue>
void runBand(const band_job& band, Greens greens, RedBlue redBlue) {
    // Images narrower than 8 pixels have no tile; the border fill covers them.
    if (band.first_row >= band.end_row || band.width < 8) return;
    WorkArea area = allocateWorkArea();
    const ColourGrid grid(band.filters);
    for (int top = band.first_row; top < band.end_row; top += kTileStep)
        for (int left = 2; left < band.width - kBorder; left += kTileStep) {
            Tile t{band, *area, grid, top, left};
            runTile(t, greens, redBlue);
        }
}

} // namespace

void ahd_band_worker_bayer(const band_job& band) { runBand(band, bayerGreens, bayerRedBlue); }

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
