#include "raw/LmmseFrontEnd.h"

#include <algorithm>
#include <utility>

#include "raw/CfaColor.h"
#include <cstring>

namespace raw::lmmse_detail {
namespace {

int positive_mod(int value, int period) { return ((value % period) + period) % period; }

// Offsets of a neighbour (dr, dc) in the padded photosite tile and in the RGB tile.
RecipeTerm term_at(TileGeometry g, int dr, int dc, int weight) {
    return {dr * g.raw_stride() + dc, dr * g.tile_size + dc, weight};
}

// Green along one axis of a non-green position (i, j). Offsets are written (a, b): a along
// the axis, b across it.
GreenRecipe make_green_recipe(const ColourLookup& colour, TileGeometry g, int period, int i, int j,
                              bool vertical) {
    const int own = colour(i, j);
    auto offset = [&](int a, int b) { return vertical ? std::pair{a, b} : std::pair{b, a}; };
    auto colour_at = [&](int a, int b) {
        auto [dr, dc] = offset(a, b);
        return colour(i + dr + period, j + dc + period);
    };
    std::pair<int, int> matches[4], greens[4];
    int match_count = 0, green_count = 0, green_weights[4];
    for (int side : {-1, 1}) {
        if (colour_at(2 * side, 0) == own)
            matches[match_count++] = offset(2 * side, 0);
        else
            for (int b : {-1, 1})
                if (colour_at(2 * side, b) == own) matches[match_count++] = offset(2 * side, b);
        if (is_green(colour_at(side, 0))) {
            green_weights[green_count] = 4, greens[green_count++] = offset(side, 0);
        } else if (is_green(colour_at(2 * side, 0))) {
            green_weights[green_count] = 2, greens[green_count++] = offset(2 * side, 0);
        } else {
            for (int b : {-1, 1})
                if (is_green(colour_at(side, b)))
                    green_weights[green_count] = 2, greens[green_count++] = offset(side, b);
        }
    }
    const int lg = 8 * match_count;
    int lw = 0;
    for (int k = 0; k < green_count; ++k)
        lw += green_weights[k];
    const bool both = lg && lw;
    GreenRecipe r{};
    r.divisor = both ? lg * lw : (lg ? lg : lw);
    const int gradient_scale = both ? lw : 1, green_scale = both ? lg : 1;
    if (match_count) r.terms[r.term_count++] = term_at(g, 0, 0, 2 * match_count * gradient_scale);
    for (int k = 0; k < match_count; ++k)
        r.terms[r.term_count++] = term_at(g, matches[k].first, matches[k].second, -2 * gradient_scale);
    for (int k = 0; k < green_count; ++k) {
        RecipeTerm t = term_at(g, greens[k].first, greens[k].second, green_weights[k] * green_scale);
        r.terms[r.term_count++] = t;
        r.clamp_offsets[r.clamp_count++] = t.raw_offset;
    }
    return r;
}

DifferenceRecipe make_difference_recipe(const ColourLookup& colour, TileGeometry g, int period, int i, int j,
                                        int target) {
    DifferenceRecipe r{};
    if (colour(i, j) == target) return r;
    for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
            if ((dr || dc) && colour(i + dr + period, j + dc + period) == target)
                r.terms[r.count++] = term_at(g, dr, dc, 1);
    return r;
}

uint16_t apply_green(const GreenRecipe& r, const uint16_t* x) {
    int sum = 0;
    for (int k = 0; k < r.term_count; ++k)
        sum += r.terms[k].weight * x[r.terms[k].raw_offset];
    // Double division truncates as the integer one would (the quotient of 32-bit values is
    // exact enough), and costs far less.
    int v = r.divisor ? int(double(sum) / r.divisor) : 0;
    int lo = 0, hi = 65535;
    if (r.clamp_count) {
        lo = 65535, hi = 0;
        for (int k = 0; k < r.clamp_count; ++k) {
            lo = std::min<int>(lo, x[r.clamp_offsets[k]]);
            hi = std::max<int>(hi, x[r.clamp_offsets[k]]);
        }
    }
    return uint16_t(std::clamp(v, lo, hi));
}

// `g` is the centre's RGB in one direction of the tile.
uint16_t apply_difference(const DifferenceRecipe& r, const uint16_t* x, const uint16_t* g) {
    int sum = r.count * g[1];
    for (int k = 0; k < r.count; ++k)
        sum += x[r.terms[k].raw_offset] - g[r.terms[k].tile_offset * 3 + 1];
    const int v = int(double(sum) / r.count);
    return uint16_t(v < 1 ? 0 : std::min(v, 65535));
}

} // namespace

ColourLookup::ColourLookup(const demosaic_job& job) : filters(job.filters) {
    std::memcpy(xtrans, job.xtrans, sizeof xtrans);
}

int ColourLookup::operator()(int row, int col) const {
    // Layouts come from the file: keep every colour a valid channel.
    if (filters == kPatternXTrans) return xtrans[positive_mod(row, 6)][positive_mod(col, 6)] & 3;
    if (filters == kPatternLeaf16) return leaf16_color(row + 8, col + 2); // fixed margins of 8 and 2
    return int(filters >> ((((row & 7) << 1) + (col & 1)) << 1)) & 3;
}

void ColourLookup::fill_row(int row, int col, int count, uint8_t* out) const {
    // Every pattern repeats within 48 columns (2, 6 or 16).
    const int period = std::min(count, 48);
    for (int k = 0; k < period; ++k)
        out[k] = uint8_t((*this)(row, col + k));
    for (int k = period; k < count; ++k)
        out[k] = out[k - period];
}

void border_fill(const demosaic_job& job, const ColourLookup& colour, int border) {
    const int h = job.height, w = job.width;
    auto fill = [&](int row, int col) {
        int sum[4] = {}, count[4] = {};
        for (int y = std::max(row - 2, 0); y <= std::min(row + 2, h - 1); ++y)
            for (int x = std::max(col - 2, 0); x <= std::min(col + 2, w - 1); ++x) {
                const int f = colour(y, x);
                sum[f] += job.image[int64_t(y) * w + x][f];
                count[f]++;
            }
        const int own = colour(row, col);
        for (int c = 0; c < 3; ++c)
            if (c != own && count[c]) job.image[int64_t(row) * w + col][c] = uint16_t(sum[c] / count[c]);
    };
    for (int row = 0; row < h; ++row) {
        const bool whole = row < border || row >= h - border;
        const int left_end = whole ? w : std::min(border, w);
        for (int col = 0; col < left_end; ++col)
            fill(row, col);
        if (!whole)
            for (int col = std::max(border, w - border); col < w; ++col)
                fill(row, col);
    }
}

void build_recipe_table(const demosaic_job& job, const ColourLookup& colour, RecipeTable& table,
                        TileGeometry geometry) {
    table = RecipeTable{};
    const int period = job.filters < kPatternBayerMin ? 6 : 2;
    table.period_rows = table.period_cols = period;
    for (int i = 0; i < period; ++i)
        for (int j = 0; j < period; ++j) {
            PositionRecipe& e = table.at[i][j];
            e.colour = colour(i, j);
            if (!is_green(e.colour)) {
                e.green_vertical = make_green_recipe(colour, geometry, period, i, j, true);
                e.green_horizontal = make_green_recipe(colour, geometry, period, i, j, false);
            }
            e.to_red = make_difference_recipe(colour, geometry, period, i, j, 0);
            e.to_blue = make_difference_recipe(colour, geometry, period, i, j, 2);
        }
}

void run_front_end(const RecipeLookup& recipes, TileGeometry geometry, const FrontEndTile& tile) {
    const int n = geometry.tile_size, rs = geometry.raw_stride();
    for (int tr = 0; tr < n; ++tr)
        for (int tc = 0; tc < n; ++tc) {
            const PositionRecipe& e = recipes(tr, tc);
            const uint16_t* x = tile.raw + (tr + 2) * rs + tc + 2;
            uint16_t* h = tile.rgb[0] + (tr * n + tc) * 3;
            uint16_t* v = tile.rgb[1] + (tr * n + tc) * 3;
            h[0] = h[1] = h[2] = v[0] = v[1] = v[2] = 0;
            if (is_green(e.colour)) {
                h[1] = v[1] = *x;
                continue;
            }
            h[e.colour] = v[e.colour] = *x;
            h[1] = apply_green(e.green_horizontal, x);
            v[1] = apply_green(e.green_vertical, x);
        }
    for (int tr = 1; tr + 1 < n; ++tr)
        for (int tc = 1; tc + 1 < n; ++tc) {
            const PositionRecipe& e = recipes(tr, tc);
            const uint16_t* x = tile.raw + (tr + 2) * rs + tc + 2;
            for (uint16_t* rgb : tile.rgb) {
                uint16_t* g = rgb + (tr * n + tc) * 3;
                if (e.to_red.count) g[0] = apply_difference(e.to_red, x, g);
                if (e.to_blue.count) g[2] = apply_difference(e.to_blue, x, g);
            }
        }
}

RecipeLookup::RecipeLookup(const RecipeTable& table, int image_row, int image_col, int size)
    : table_(table), row_phase_(size), col_phase_(size) {
    for (int k = 0; k < size; ++k) {
        row_phase_[k] = uint8_t(positive_mod(image_row + k, table.period_rows));
        col_phase_[k] = uint8_t(positive_mod(image_col + k, table.period_cols));
    }
}

} // namespace raw::lmmse_detail
