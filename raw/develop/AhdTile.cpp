#include "raw/develop/AhdTile.h"

namespace raw::ahd {
namespace {

// The second green plays the part of green.
int role(int colour) { return colour == 3 ? 1 : colour; }

uint16_t clip(int v) { return uint16_t(std::clamp(v, 0, 65535)); }

int limitBetween(int v, int a, int b) { return std::clamp(v, std::min(a, b), std::max(a, b)); }

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

} // namespace

void bayer_greens(Tile& t, int r) {
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

void bayer_red_blue(Tile& t, int r) {
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

void choose_direction(Tile& t, int r) {
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

} // namespace raw::ahd
