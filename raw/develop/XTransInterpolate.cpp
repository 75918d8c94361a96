// Multi-pass interpolation of the X-Trans layout for the command line. The first pass
// takes green along the row and along the column from the recipe table, and red and blue
// from colour differences to it. Every later pass estimates each pixel again along four
// lines (row, column and both diagonals) from the nearest photosites of each colour on
// the line: green from the greens with a correction from the photosite's own colour, red
// and blue from their difference to the green the pass before chose. Each pass keeps, per
// pixel, the directions most homogeneous in L*a*b*. A line along an edge draws on one side
// of it alone, which is what repairs the colours the first pass mixed across edges. Tiles
// overlap by the reach of all passes, so each pixel is written once, by the tile that
// refined it furthest.
#include <algorithm>
#include <cstdio>

#include "raw/core/FileBackedMemory.h"
#include "raw/develop/CieLab.h"
#include "raw/develop/Demosaic.h"
#include "raw/develop/FrameFill.h"
#include "raw/develop/LabHomogeneity.h"
#include "raw/develop/XTransRecipes.h"

namespace raw {
namespace {

constexpr int TS = 256;                     // tile side
constexpr int kEdge = 2;                    // the recipes read two photosites around
constexpr int kFirstReach = 3;              // red and blue, homogeneity, choice
constexpr int kLineReach = 3;               // every colour lies within 3 along a line of the cell
constexpr int kRefineReach = kLineReach + 2; // and homogeneity, choice
constexpr int kFrame = kEdge + kFirstReach; // left to the border fill
constexpr int kMaxPasses = 8;               // keeps the tiles' shared margins below a third of them
constexpr int kDirections = 4;              // along the row, the column and both diagonals
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

struct XTransWork {
    uint16_t rgb[kDirections][TS * TS][3];
    int16_t lab[kDirections][TS * TS][3];
    uint8_t homo[kDirections][TS * TS];
    uint16_t chosen[TS * TS][3]; // the last pass's result
    cielab_table colours;
    recipe_table recipes;
};

// Where the nearest photosite of a colour lies on a line through a position: steps back
// and forward (0 where none lies within kLineReach).
struct LineNeighbours {
    int8_t back, ahead;
};

// Colours of the cell's positions, and the nearest photosites of each colour on each line.
struct CellColours {
    int8_t channel[6][6]; // where the photosite's value is
    int8_t colour[6][6];  // what it is: a second green (from a hostile layout) is green
    LineNeighbours nearest[6][6][kDirections][3];

    explicit CellColours(const DecoderState& s) {
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c) {
                channel[r][c] = int8_t(s.xtrans_layout[r][c] & 3);
                colour[r][c] = int8_t(channel[r][c] == 3 ? 1 : channel[r][c]);
            }
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c)
                for (int d = 0; d < kDirections; ++d)
                    for (int k = 0; k < 3; ++k) nearest[r][c][d][k] = {find(r, c, d, k, -1), find(r, c, d, k, 1)};
    }

    int8_t find(int r, int c, int d, int k, int sign) const {
        for (int t = 1; t <= kLineReach; ++t)
            if (colour[(r + sign * t * kRowStep[d] + 36) % 6][(c + sign * t * kColStep[d] + 36) % 6] == k)
                return int8_t(t);
        return 0;
    }
};

uint16_t clip(int v) { return uint16_t(std::clamp(v, 0, 65535)); }

// Linear interpolation at the position between values `back` steps before and `ahead`
// steps after it; one side alone when the other has none.
int between(int before, int back, int after, int ahead) {
    if (!back) return after;
    if (!ahead) return before;
    return (before * ahead + after * back) / (back + ahead);
}

class XTransTile {
  public:
    XTransTile(XTransWork& w, const DecoderState& s, const band_job& image, const CellColours& cell, int top,
               int left)
        : w_(w), s_(s), image_(image), cell_(cell), top_(top), left_(left) {}

    // The whole interpolation of the tile; `core` is the part it writes back.
    void run(int passes, const Rect& core) {
        const Rect area = Rect{top_, top_ + TS, left_, left_ + TS}.intersect(
            {kEdge, image_.height - kEdge, kEdge, image_.width - kEdge});
        Rect reached = firstPass(area);
        if (reached.empty()) return;
        const Rect written = core.intersect(reached);
        for (int pass = 1; pass < passes && !reached.inset(kRefineReach).empty(); ++pass) reached = refine(reached);
        write(written);
    }

  private:
    int position(int r, int c) const { return (r - top_) * TS + (c - left_); }
    int colour(int r, int c) const { return cell_.colour[r % 6][c % 6]; }
    int own(int r, int c) const {
        return s_.pixel_image[int64_t(r) * image_.width + c][cell_.channel[r % 6][c % 6]];
    }

    template <typename Visit> static void each(const Rect& rect, Visit visit) {
        for (int r = rect.r0; r < rect.r1; ++r)
            for (int c = rect.c0; c < rect.c1; ++c) visit(r, c);
    }

    Rect firstPass(const Rect& area) {
        if (area.inset(kFirstReach).empty()) return area.inset(kFirstReach);
        const direction_tile tile{&w_.rgb[0][0][0], TS, top_, left_};
        xtrans_tile_greens(image_, tile, {area.r0, area.r1, area.c0, area.c1});
        const Rect colours = area.inset(1);
        xtrans_tile_red_blue(image_, tile, {colours.r0, colours.r1, colours.c0, colours.c1});
        toLab(colours, 2);
        homogeneity(colours.inset(1), 2);
        choose(colours.inset(2), 2);
        return colours.inset(2);
    }

    Rect refine(const Rect& previous) {
        const Rect colours = previous.inset(kLineReach);
        each(colours, [&](int r, int c) { alongLines(r, c); });
        toLab(colours, kDirections);
        homogeneity(colours.inset(1), kDirections);
        choose(colours.inset(2), kDirections);
        return colours.inset(2);
    }

    // A value taken from the nearest photosites of colour k on line d through (r, c).
    template <typename Value> int onLine(int r, int c, int d, int k, Value value, bool& found) const {
        const LineNeighbours n = cell_.nearest[r % 6][c % 6][d][k];
        found = n.back || n.ahead;
        if (!found) return 0;
        const int dr = kRowStep[d], dc = kColStep[d];
        const int before = n.back ? value(r - n.back * dr, c - n.back * dc) : 0;
        const int after = n.ahead ? value(r + n.ahead * dr, c + n.ahead * dc) : 0;
        return between(before, n.back, after, n.ahead);
    }

    void alongLines(int r, int c) {
        const int p = position(r, c), f = colour(r, c), x = own(r, c);
        const uint16_t* last = w_.chosen[p];
        auto photosite = [&](int y, int z) { return own(y, z); };
        auto differenceToGreen = [&](int y, int z) { return own(y, z) - w_.chosen[position(y, z)][1]; };
        for (int d = 0; d < kDirections; ++d) {
            uint16_t* out = w_.rgb[d][p];
            bool found = false;
            int green = x;
            if (f != 1) {
                // The greens on the line, corrected by how the own colour bends between
                // its photosites there.
                green = onLine(r, c, d, 1, photosite, found);
                if (!found) green = last[1];
                const int ownAround = onLine(r, c, d, f, photosite, found);
                if (found) green += (x - ownAround) / 2;
            }
            out[1] = clip(green);
            for (int k : {0, 2}) {
                if (k == f) {
                    out[k] = uint16_t(x);
                    continue;
                }
                const int difference = onLine(r, c, d, k, differenceToGreen, found);
                out[k] = clip(out[1] + (found ? difference : last[k] - last[1]));
            }
        }
    }

    void toLab(const Rect& rect, int directions) {
        each(rect, [&](int r, int c) {
            const int p = position(r, c);
            for (int d = 0; d < directions; ++d) cielab(w_.colours, w_.rgb[d][p], w_.lab[d][p]);
        });
    }

    void homogeneity(const Rect& rect, int directions) {
        const int16_t(*const lab[kDirections])[3] = {w_.lab[0], w_.lab[1], w_.lab[2], w_.lab[3]};
        uint8_t* const homo[kDirections] = {w_.homo[0], w_.homo[1], w_.homo[2], w_.homo[3]};
        const lab_directions dirs{lab, directions, kAxis, kNeighbours, 8};
        each(rect, [&](int r, int c) { lab_homogeneity(dirs, position(r, c), homo); });
    }

    // The mean of the directions whose 3 x 3 homogeneity is the highest.
    void choose(const Rect& rect, int directions) {
        each(rect, [&](int r, int c) {
            const int p = position(r, c);
            int score[kDirections] = {}, best = 0;
            for (int d = 0; d < directions; ++d) {
                score[d] = w_.homo[d][p];
                for (int n : kNeighbours) score[d] += w_.homo[d][p + n];
                best = std::max(best, score[d]);
            }
            int sum[3] = {}, count = 0;
            for (int d = 0; d < directions; ++d) {
                if (score[d] != best) continue;
                ++count;
                for (int ch = 0; ch < 3; ++ch) sum[ch] += w_.rgb[d][p][ch];
            }
            for (int ch = 0; ch < 3; ++ch) w_.chosen[p][ch] = uint16_t(sum[ch] / count);
        });
    }

    void write(const Rect& rect) {
        each(rect, [&](int r, int c) {
            uint16_t* pixel = s_.pixel_image[int64_t(r) * image_.width + c];
            const uint16_t* chosen = w_.chosen[position(r, c)];
            const int f = cell_.channel[r % 6][c % 6];
            for (int ch = 0; ch < 3; ++ch)
                if (ch != f) pixel[ch] = chosen[ch];
        });
    }

    XTransWork& w_;
    const DecoderState& s_;
    const band_job& image_;
    const CellColours& cell_;
    int top_, left_;
};

} // namespace

void xtrans_interpolate(DecoderState& s, int passes) {
    if (s.verbose_output) std::fprintf(stderr, "%d-pass X-Trans interpolation...\n", passes);
    passes = std::clamp(passes, 1, kMaxPasses);
    if (!s.pixel_image || !s.image_height || !s.image_width) return;
    const auto work = file_backed_object<XTransWork>(s, "xtrans_interpolate()");
    cielab(s, work->colours);

    // The image is taken as X-Trans whatever the pattern word says.
    demosaic_job job = demosaic_job_of(s);
    job.filters = kPatternXTrans;
    demosaic_copy_xtrans(job);
    build_recipe_table(job, work->recipes, TS);
    const band_job image = whole_image_band(job, 0, 0, &work->recipes);
    const CellColours cell(s);
    // Blocks of 5 x 5: a 3 x 3 block at a corner of the cell may lack a colour.
    fill_frame(s.pixel_image, s.image_height, s.image_width, kFrame, 2, 3,
               [&cell](int row, int col) { return cell.channel[row % 6][col % 6]; });


    // Tile cores of TS - 2 margin pixels cover the image; the margin is what the passes reach.
    const int margin = kFirstReach + kRefineReach * (passes - 1);
    const int step = TS - 2 * margin;
    for (int top = -margin; top + margin < job.height; top += step)
        for (int left = -margin; left + margin < job.width; left += step) {
            XTransTile tile(*work, s, image, cell, top, left);
            tile.run(passes, {top + margin, top + margin + step, left + margin, left + margin + step});
        }
}

} // namespace raw
