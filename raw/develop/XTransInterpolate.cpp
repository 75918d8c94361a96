// Multi-pass interpolation of the X-Trans layout for the command line. The first pass
// takes green along the row and along the column from the recipe table, and red and blue
// from colour differences to it. Every later pass estimates each pixel again along four
// lines (row, column and both diagonals) from the nearest photosites of each colour on
// the line: green from the greens with a correction from the photosite's own colour, red
// and blue from their difference to the green the pass before chose. Each pass keeps, per
// pixel, the directions most homogeneous in L*a*b*. A line along an edge draws on one side
// of it alone, which is what repairs the colours the first pass mixed across edges. Tiles
// overlap by the reach of all passes, so each pixel is written once, by the tile that
// refined it furthest; rows of tiles run on the decoder's band threads.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "raw/core/BandRunner.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/develop/CieLab.h"
#include "raw/develop/Demosaic.h"
#include "raw/develop/FrameFill.h"
#include "raw/develop/LabHomogeneity.h"
#include "raw/develop/XTransRecipes.h"

namespace raw {
namespace {

constexpr int TS = 256;                      // tile side
constexpr int kEdge = 2;                     // the recipes read two photosites around
constexpr int kFirstReach = 3;               // red and blue, homogeneity, choice
constexpr int kLineReach = 3;                // every colour lies within 3 along a line of the cell
constexpr int kRefineReach = kLineReach + 2; // and homogeneity, choice
constexpr int kFrame = kEdge + kFirstReach;  // left to the border fill
constexpr int kMaxPasses = 8;                // keeps the tiles' shared margins below a third of them
constexpr int kDirections = 4;               // along the row, the column and both diagonals
constexpr int kRowStep[kDirections] = {0, 1, 1, 1}, kColStep[kDirections] = {1, 0, 1, -1};
constexpr int kAxis[kDirections] = {1, TS, TS + 1, TS - 1};
constexpr int kNeighbours[8] = {-TS - 1, -TS, -TS + 1, -1, 1, TS - 1, TS, TS + 1};

struct Rect {
    int r0, r1, c0, c1; // half-open, in image rows and columns

    Rect inset(int n) const { return {r0 + n, r1 - n, c0 + n, c1 - n}; }
    Rect intersect(const Rect& o) const {
        return {std::max(r0, o.r0), std::min(r1, o.r1), std::max(c0, o.c0), std::min(c1, o.c1)};
    }
    bool empty() const { return r0 >= r1 || c0 >= c1; }
};

// One band's work area, reused by each of its tiles.
struct XTransWork {
    uint16_t rgb[kDirections][TS * TS][3];
    int16_t lab[kDirections][TS * TS][3];
    uint8_t homo[kDirections][TS * TS];
    uint16_t chosen[2][TS * TS][3]; // a pass reads the last pass's result and writes the other
};

// What every band reads.
struct XTransTables {
    cielab_table colours;
    recipe_table recipes;
};

// The nearest photosites of one colour on a line through a position, one before and one
// after it (a side without one within kLineReach weighs 0 and points at the position
// itself): where they lie in the pixel image (samples, their own channel) and in a tile
// (positions), and their weights in 1/4096 for linear interpolation at the position.
struct LineTerms {
    bool found;
    int64_t sample[2];
    int32_t position[2];
    int32_t weight[2];
};

constexpr int kWeightShift = 12;

// What a later pass reads on each line through each position of the cell.
struct CellLines {
    int8_t channel[6][6];                  // where the photosite's value is
    int8_t colour[6][6];                   // what it is: a second green (from a hostile layout) is green
    LineTerms terms[6][6][kDirections][3]; // per colour

    CellLines(const DecoderState& s, int width) {
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c) {
                channel[r][c] = int8_t(s.xtrans_layout[r][c] & 3);
                colour[r][c] = int8_t(channel[r][c] == 3 ? 1 : channel[r][c]);
            }
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c)
                for (int d = 0; d < kDirections; ++d)
                    for (int k = 0; k < 3; ++k)
                        terms[r][c][d][k] = build(r, c, d, k, width);
    }

    LineTerms build(int r, int c, int d, int k, int width) const {
        int steps[2] = {};
        LineTerms t{};
        for (int side = 0; side < 2; ++side) {
            const int sign = side ? 1 : -1;
            for (int n = 1; n <= kLineReach && !steps[side]; ++n) {
                const int dr = sign * n * kRowStep[d], dc = sign * n * kColStep[d];
                const int y = (r + dr + 36) % 6, x = (c + dc + 36) % 6;
                if (colour[y][x] != k) continue;
                steps[side] = n;
                t.sample[side] = (int64_t(dr) * width + dc) * 4 + channel[y][x];
                t.position[side] = dr * TS + dc;
            }
        }
        t.found = steps[0] || steps[1];
        // The nearer side weighs more; a missing side weighs nothing.
        if (steps[0] && steps[1]) {
            t.weight[0] = (steps[1] << kWeightShift) / (steps[0] + steps[1]);
            t.weight[1] = (1 << kWeightShift) - t.weight[0];
        } else {
            t.weight[steps[0] ? 0 : 1] = 1 << kWeightShift;
        }
        return t;
    }
};

uint16_t clip(int v) { return uint16_t(std::clamp(v, 0, 65535)); }

int interpolate(const LineTerms& t, int before, int after) {
    return (before * t.weight[0] + after * t.weight[1] + (1 << (kWeightShift - 1))) >> kWeightShift;
}

class XTransTile {
  public:
    XTransTile(XTransWork& w, const cielab_table& colours, const DecoderState& s, const band_job& image,
               const CellLines& cell, int top, int left)
        : w_(w), colours_(colours), s_(s), image_(image), cell_(cell), top_(top), left_(left) {}

    // The whole interpolation of the tile; `core` is the part it writes back.
    void run(int passes, const Rect& core) {
        const Rect area = Rect{top_, top_ + TS, left_, left_ + TS}.intersect(
            {kEdge, image_.height - kEdge, kEdge, image_.width - kEdge});
        if (area.inset(kFirstReach).empty()) return;
        Rect reached = firstPass(area);
        const Rect written = core.intersect(reached);
        for (int pass = 1; pass < passes && !reached.inset(kRefineReach).empty(); ++pass)
            reached = refine(reached);
        write(written);
    }

  private:
    int position(int r, int c) const { return (r - top_) * TS + (c - left_); }
    const uint16_t* pixel(int r, int c) const { return s_.pixel_image[int64_t(r) * image_.width + c]; }

    template <typename Visit> static void eachInRow(const Rect& rect, int r, Visit visit) {
        if (r < rect.r0 || r >= rect.r1) return;
        for (int c = rect.c0; c < rect.c1; ++c)
            visit(r, c);
    }

    // Each pass runs its steps down the rows, every step a few rows behind the one it
    // reads, so that the rows in use stay in cache.
    Rect firstPass(const Rect& area) {
        const direction_tile tile{&w_.rgb[0][0][0], TS, top_, left_};
        const Rect colours = area.inset(1), homogeneous = area.inset(2), chosen = area.inset(3);
        current_ = 0;
        for (int r = area.r0; r < chosen.r1 + 3; ++r) {
            if (r < area.r1) xtrans_tile_greens(image_, tile, {r, r + 1, area.c0, area.c1});
            if (r - 1 >= colours.r0 && r - 1 < colours.r1)
                xtrans_tile_red_blue(image_, tile, {r - 1, r, colours.c0, colours.c1});
            eachInRow(colours, r - 1, [&](int y, int x) { toLab(position(y, x), 2); });
            eachInRow(homogeneous, r - 2, [&](int y, int x) { homogeneity(position(y, x), 2); });
            eachInRow(chosen, r - 3, [&](int y, int x) { choose(position(y, x), 2, w_.chosen[0]); });
        }
        return chosen;
    }

    Rect refine(const Rect& previous) {
        const Rect colours = previous.inset(kLineReach), homogeneous = colours.inset(1),
                   chosen = colours.inset(2);
        const uint16_t(*last)[3] = w_.chosen[current_];
        uint16_t(*next)[3] = w_.chosen[current_ ^ 1];
        // Pixels this pass does not reach keep the last pass's result.
        std::memcpy(next, last, sizeof w_.chosen[0]);
        for (int r = colours.r0; r < chosen.r1 + 2; ++r) {
            eachInRow(colours, r, [&](int y, int x) {
                alongLines(y, x, last);
                toLab(position(y, x), kDirections);
            });
            eachInRow(homogeneous, r - 1, [&](int y, int x) { homogeneity(position(y, x), kDirections); });
            eachInRow(chosen, r - 2, [&](int y, int x) { choose(position(y, x), kDirections, next); });
        }
        current_ ^= 1;
        return chosen;
    }

    // Each colour of each direction from the nearest photosites on its line: green from
    // the greens, corrected by how the own colour bends between its photosites there;
    // red and blue from their differences to the green the last pass chose.
    void alongLines(int r, int c, const uint16_t (*last)[3]) {
        const int p = position(r, c), f = cell_.colour[r % 6][c % 6];
        const uint16_t* pix = pixel(r, c);
        const int x = pix[cell_.channel[r % 6][c % 6]];
        const auto& terms = cell_.terms[r % 6][c % 6];
        for (int d = 0; d < kDirections; ++d) {
            uint16_t* out = w_.rgb[d][p];
            int green = x;
            if (f != 1) {
                const LineTerms& g = terms[d][1];
                green = g.found ? interpolate(g, pix[g.sample[0]], pix[g.sample[1]]) : last[p][1];
                const LineTerms& own = terms[d][f];
                if (own.found) green += (x - interpolate(own, pix[own.sample[0]], pix[own.sample[1]])) / 2;
            }
            out[1] = clip(green);
            for (int k : {0, 2}) {
                if (k == f) {
                    out[k] = uint16_t(x);
                    continue;
                }
                const LineTerms& t = terms[d][k];
                const int difference = t.found ? interpolate(t, pix[t.sample[0]] - last[p + t.position[0]][1],
                                                             pix[t.sample[1]] - last[p + t.position[1]][1])
                                               : last[p][k] - last[p][1];
                out[k] = clip(out[1] + difference);
            }
        }
    }

    void toLab(int p, int directions) {
        for (int d = 0; d < directions; ++d)
            cielab(colours_, w_.rgb[d][p], w_.lab[d][p]);
    }

    void homogeneity(int p, int directions) {
        const int16_t(*const lab[kDirections])[3] = {w_.lab[0], w_.lab[1], w_.lab[2], w_.lab[3]};
        uint8_t* const homo[kDirections] = {w_.homo[0], w_.homo[1], w_.homo[2], w_.homo[3]};
        lab_homogeneity({lab, directions, kAxis, kNeighbours, 8}, p, homo);
    }

    // The mean of the directions whose 3 x 3 homogeneity is the highest.
    void choose(int p, int directions, uint16_t (*into)[3]) {
        int score[kDirections] = {}, best = 0;
        for (int d = 0; d < directions; ++d) {
            score[d] = w_.homo[d][p];
            for (int n : kNeighbours)
                score[d] += w_.homo[d][p + n];
            best = std::max(best, score[d]);
        }
        int sum[3] = {}, count = 0;
        for (int d = 0; d < directions; ++d) {
            if (score[d] != best) continue;
            ++count;
            for (int ch = 0; ch < 3; ++ch)
                sum[ch] += w_.rgb[d][p][ch];
        }
        for (int ch = 0; ch < 3; ++ch)
            into[p][ch] = uint16_t(sum[ch] / count);
    }

    void write(const Rect& rect) {
        for (int r = rect.r0; r < rect.r1; ++r)
            eachInRow(rect, r, [&](int y, int x) {
                uint16_t* out = s_.pixel_image[int64_t(y) * image_.width + x];
                const uint16_t* chosen = w_.chosen[current_][position(y, x)];
                const int f = cell_.channel[y % 6][x % 6];
                for (int ch = 0; ch < 3; ++ch)
                    if (ch != f) out[ch] = chosen[ch];
            });
    }

    XTransWork& w_;
    const cielab_table& colours_;
    const DecoderState& s_;
    const band_job& image_;
    const CellLines& cell_;
    int top_, left_;
    int current_ = 0; // which of the two result buffers holds the last pass's
};

} // namespace

void xtrans_interpolate(DecoderState& s, int passes) {
    if (s.verbose_output) std::fprintf(stderr, "%d-pass X-Trans interpolation...\n", passes);
    passes = std::clamp(passes, 1, kMaxPasses);
    if (!s.pixel_image || !s.image_height || !s.image_width) return;
    const auto tables = file_backed_object<XTransTables>(s, "xtrans_interpolate()");
    cielab(s, tables->colours);
    // The image is taken as X-Trans whatever the pattern word says.
    demosaic_job job = demosaic_job_of(s);
    job.filters = kPatternXTrans;
    demosaic_copy_xtrans(job);
    build_recipe_table(job, tables->recipes, TS);
    const band_job image = whole_image_band(job, 0, 0, &tables->recipes);
    const auto cell = std::make_unique<CellLines>(s, job.width);
    // Blocks of 5 x 5: a 3 x 3 block at a corner of the cell may lack a colour.
    fill_frame(s.pixel_image, s.image_height, s.image_width, kFrame, 2, 3,
               [&cell](int row, int col) { return cell->channel[row % 6][col % 6]; });

    // Tile cores of TS - 2 margin pixels cover the image; the margin is what the passes
    // reach. Each tile writes only its core and reads only photosites' own colours, which
    // no tile writes, so rows of tiles run as bands on threads of their own.
    const int margin = kFirstReach + kRefineReach * (passes - 1);
    const int step = TS - 2 * margin;
    const int tileRows = (job.height + step - 1) / step, bands = std::min(tileRows, kBandCount);
    std::vector<file_backed_ptr<XTransWork>> work;
    for (int b = 0; b < bands; ++b)
        work.push_back(file_backed_object<XTransWork>(s, "xtrans_interpolate()"));
    run_bands(bands, [&](int b) {
        const BandRange rows = band_range(tileRows, bands, b);
        for (int top = rows.begin * step - margin; top < rows.end * step - margin; top += step)
            for (int left = -margin; left + margin < job.width; left += step) {
                XTransTile tile(*work[size_t(b)], tables->colours, s, image, *cell, top, left);
                tile.run(passes, {top + margin, top + margin + step, left + margin, left + margin + step});
            }
    });
}

} // namespace raw
