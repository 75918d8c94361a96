#pragma once
// The tile machinery both AHD routines share: the threaded driver judges homogeneity on
// green, the single-threaded one on L*a*b*; the directional estimates and the choice
// between them are the same.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "raw/develop/DemosaicCommon.h"

namespace raw::ahd {

inline constexpr int TS = 256;        // tile side
inline constexpr int kTileStep = 250; // tiles overlap by the 6 pixels their edge steps cannot finish
inline constexpr int kBorder = 5;     // rows and columns left to the border fill

struct AhdWorkArea {
    uint16_t rgb[2][TS * TS][3]; // 0: interpolated along the row, 1: along the column
    uint8_t homo[2][TS * TS];
};

// Colours of the pattern over a 16 x 16 cell (the period of every Bayer word and of
// pattern 1) or the 6 x 6 X-Trans cell. Bayer words repeat every second column.
struct ColourGrid {
    int period, columnPeriod;
    uint8_t colour[16][16];

    // Colours as the threaded drivers see them.
    explicit ColourGrid(uint32_t filters)
        : ColourGrid(filters, [filters](int r, int c) { return demosaic_colour_at(filters, r, c); }) {}
    template <typename ColourAt> ColourGrid(uint32_t filters, ColourAt colourAt) {
        const bool xtrans = filters == kPatternXTrans;
        period = xtrans ? 6 : 16;
        columnPeriod = xtrans ? 6 : filters == kPatternLeaf16 ? 16 : 2;
        for (int r = 0; r < period; ++r)
            for (int c = 0; c < period; ++c)
                colour[r][c] = uint8_t(colourAt(r, c) & 3);
    }
    const uint8_t* row(int r) const { return colour[r % period]; }
};

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

// Green along the row (0) and along the column (1) at every red and blue photosite of row r.
void bayer_greens(Tile& t, int r);
// Red and blue of both directions at every photosite of row r, from colour differences.
void bayer_red_blue(Tile& t, int r);
// Each pixel of row r takes the more homogeneous direction (by the 3 x 3 sums of the
// counts), or the mean of both on a tie. Only the missing colours are written.
void choose_direction(Tile& t, int r);

// The four steps run as a pipeline down the tile, each a few rows behind the one it
// reads, so that the rows in use stay in cache; every step still sees only finished rows.
template <typename Greens, typename RedBlue, typename Homogeneity>
void run_tile(Tile& t, Greens greens, RedBlue redBlue, Homogeneity homogeneity) {
    std::memset(t.area.homo, 0, sizeof t.area.homo);
    const int lastRow = t.rowEnd(0, 2) + 3;
    for (int r = t.top; r < lastRow; ++r) {
        if (t.hasRow(r, 0, 2)) greens(t, r);
        if (t.hasRow(r - 1, 1, 3)) redBlue(t, r - 1);
        if (t.hasRow(r - 2, 2, 4)) homogeneity(t, r - 2);
        // Only up to the next band's first output row, so bands never write what another
        // band reads or writes.
        if (t.hasRow(r - 3, 3, kBorder) && r - 3 < t.band.write_end + 3) choose_direction(t, r - 3);
    }
}

// Every tile whose origin lies in the band's rows; images narrower than 8 pixels have none.
template <typename Step> void for_each_tile(const band_job& band, Step step) {
    if (band.first_row >= band.end_row || band.width < 8) return;
    for (int top = band.first_row; top < band.end_row; top += kTileStep)
        for (int left = 2; left < band.width - kBorder; left += kTileStep)
            step(top, left);
}

} // namespace raw::ahd
