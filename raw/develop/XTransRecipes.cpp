#include "raw/develop/XTransRecipes.h"

#include <algorithm>
#include <initializer_list>

namespace raw {
namespace {

// One period position and the lookups its recipes are built from.
struct RecipeSite {
    uint32_t filters;
    int row, col, periodRows, periodCols;
    sample_layout layout;
    int tileStride;

    int colourAt(int dr, int dc) const {
        return demosaic_colour_at(filters, row + dr + periodRows, col + dc + periodCols);
    }
    int64_t imageOffset(int dr, int dc, int channel) const {
        return dc * int64_t(layout.column_step) + dr * layout.row_step + (layout.per_channel ? channel : 0);
    }
    int32_t tilePosition(int dr, int dc) const { return dr * tileStride + dc; }
    int32_t tileGreenOffset(int dr, int dc) const { return tilePosition(dr, dc) * 3 + 1; }
};

struct Term {
    int dr, dc, weight;
};

struct TermList {
    Term term[8];
    int count = 0;
    void add(int dr, int dc, int weight) { term[count++] = {dr, dc, weight}; }
};

// Along the column for the vertical recipe; `a` runs along the direction, `b` across it.
struct Axis {
    bool vertical;
    int dr(int a, int b) const { return vertical ? a : b; }
    int dc(int a, int b) const { return vertical ? b : a; }
};

// Photosites of the centre's colour two steps away on each side (or beside those).
TermList gradientMatches(const RecipeSite& site, Axis axis, int colour) {
    TermList m;
    for (int side : {-2, 2}) {
        if (site.colourAt(axis.dr(side, 0), axis.dc(side, 0)) == colour) {
            m.add(axis.dr(side, 0), axis.dc(side, 0), -2);
            continue;
        }
        for (int across : {-1, 1})
            if (site.colourAt(axis.dr(side, across), axis.dc(side, across)) == colour)
                m.add(axis.dr(side, across), axis.dc(side, across), -2);
    }
    return m;
}

// The nearest greens on each side: next to the centre, else two away, else diagonal.
TermList greenNeighbours(const RecipeSite& site, Axis axis) {
    TermList g;
    for (int side : {-1, 1}) {
        if (is_green_colour(site.colourAt(axis.dr(side, 0), axis.dc(side, 0)))) {
            g.add(axis.dr(side, 0), axis.dc(side, 0), 4);
        } else if (is_green_colour(site.colourAt(axis.dr(2 * side, 0), axis.dc(2 * side, 0)))) {
            g.add(axis.dr(2 * side, 0), axis.dc(2 * side, 0), 2);
        } else {
            for (int across : {-1, 1})
                if (is_green_colour(site.colourAt(axis.dr(side, across), axis.dc(side, across))))
                    g.add(axis.dr(side, across), axis.dc(side, across), 2);
        }
    }
    return g;
}

void addTerm(interpolation_recipe& r, int64_t offset, int32_t weight) {
    r.offset[r.count] = offset;
    r.weight[r.count++] = weight;
}

// The weighted mean of the greens plus a quarter of (own value - mean of the matches).
interpolation_recipe greenRecipe(const RecipeSite& site, Axis axis, int colour) {
    TermList matches = gradientMatches(site, axis, colour);
    TermList greens = greenNeighbours(site, axis);
    const int32_t lg = 8 * matches.count;
    int32_t lw = 0;
    for (int i = 0; i < greens.count; ++i)
        lw += greens.term[i].weight;
    const int32_t gradientScale = lg && lw ? lw : 1;
    const int32_t greenScale = lg && lw ? lg : 1;

    interpolation_recipe r{};
    if (matches.count) addTerm(r, site.imageOffset(0, 0, colour), 2 * matches.count * gradientScale);
    for (int i = 0; i < matches.count; ++i) {
        const Term& t = matches.term[i];
        addTerm(r, site.imageOffset(t.dr, t.dc, colour), t.weight * gradientScale);
    }
    for (int i = 0; i < greens.count; ++i) {
        const Term& t = greens.term[i];
        const int64_t offset = site.imageOffset(t.dr, t.dc, site.colourAt(t.dr, t.dc));
        addTerm(r, offset, t.weight * greenScale);
        r.clamp[r.clamp_count++] = offset;
    }
    r.divisor = lg && lw ? lg * lw : lg + lw;
    return r;
}

colour_difference_recipe differenceRecipe(const RecipeSite& site, int target) {
    colour_difference_recipe r{};
    for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc) {
            if ((dr || dc) && site.colourAt(dr, dc) == target) {
                r.image_offset[r.count] = site.imageOffset(dr, dc, target);
                r.tile_offset[r.count] = site.tileGreenOffset(dr, dc);
                r.tile_position[r.count++] = site.tilePosition(dr, dc);
            }
        }
    return r;
}

uint16_t clip16(int64_t v) { return uint16_t(std::clamp<int64_t>(v, 0, 65535)); }

// No recipe without a divisor: a layout with no greens near a photosite keeps its value.
uint16_t applyGreen(const interpolation_recipe& r, const uint16_t* pixel, uint16_t own) {
    if (!r.divisor) return own;
    int64_t sum = 0;
    for (int i = 0; i < r.count; ++i)
        sum += int64_t(r.weight[i]) * pixel[r.offset[i]];
    int64_t v = sum / r.divisor;
    if (r.clamp_count) {
        int64_t lo = 65535, hi = 0;
        for (int i = 0; i < r.clamp_count; ++i) {
            lo = std::min<int64_t>(lo, pixel[r.clamp[i]]);
            hi = std::max<int64_t>(hi, pixel[r.clamp[i]]);
        }
        v = std::clamp(v, lo, hi);
    }
    return clip16(v);
}

int64_t imageSum(const colour_difference_recipe& r, const uint16_t* pixel) {
    int64_t sum = 0;
    for (int i = 0; i < r.count; ++i)
        sum += pixel[r.image_offset[i]];
    return sum;
}

// The image part of the sum is the same for both directions. Without a neighbour of the
// colour, the colour difference is taken as none.
uint16_t applyDifference(const colour_difference_recipe& r, int64_t imageSum, const uint16_t* tilePos) {
    const int64_t green = tilePos[1];
    if (!r.count) return uint16_t(green);
    int64_t sum = imageSum + r.count * green;
    for (int i = 0; i < r.count; ++i)
        sum -= tilePos[r.tile_offset[i]];
    const int64_t v = sum / r.count;
    return v < 1 ? 0 : clip16(v);
}

struct FrontEnd {
    const recipe_table& recipes;
    const sample_source& source;
    const direction_tile& tile;

    // Calls visit(entry, own samples, horizontal rgb, vertical rgb) at every position of
    // the span.
    template <typename Visit> void each(const image_span& span, Visit visit) const {
        const int64_t plane = int64_t(tile.stride) * tile.stride * 3;
        const sample_layout& layout = recipes.layout;
        for (int row = span.row_begin; row < span.row_end; ++row) {
            recipe_row entries(recipes, row, span.col_begin);
            const uint16_t* pix = source.origin + (row - source.top) * layout.row_step +
                                  int64_t(span.col_begin - source.left) * layout.column_step;
            uint16_t* horizontal =
                tile.rgb + (int64_t(row - tile.top) * tile.stride + (span.col_begin - tile.left)) * 3;
            for (int col = span.col_begin; col < span.col_end; ++col) {
                visit(*entries, pix, horizontal, horizontal + plane);
                entries.next();
                pix += layout.column_step;
                horizontal += 3;
            }
        }
    }
};

sample_source pixelImage(const band_job& band) { return {band.image[0], 0, 0}; }

} // namespace

void build_recipe_table(const demosaic_job& job, recipe_table& table, int tile_stride) {
    build_recipe_table(job, table, tile_stride, pixel_image_layout(job.width));
}

void build_recipe_table(const demosaic_job& job, recipe_table& table, int tile_stride, sample_layout layout) {
    table = recipe_table{};
    const int period = job.filters < kPatternBayerMin ? 6 : 2;
    table.period_rows = table.period_cols = period;
    table.layout = layout;
    for (int i = 0; i < period; ++i)
        for (int j = 0; j < period; ++j) {
            RecipeSite site{job.filters, i, j, period, period, layout, tile_stride};
            recipe_entry& e = table.entry[i][j];
            e.colour = demosaic_colour_at(job.filters, i, j);
            e.own_offset = int32_t(site.imageOffset(0, 0, e.colour));
            if (!is_green_colour(e.colour)) {
                e.green_vertical = greenRecipe(site, Axis{true}, e.colour);
                e.green_horizontal = greenRecipe(site, Axis{false}, e.colour);
            }
            if (e.colour != 0) e.to_red = differenceRecipe(site, 0);
            if (e.colour != 2) e.to_blue = differenceRecipe(site, 2);
        }
}

void xtrans_tile_greens(const recipe_table& recipes, const sample_source& source, const direction_tile& tile,
                        const image_span& span) {
    FrontEnd{recipes, source, tile}.each(
        span, [](const recipe_entry& e, const uint16_t* pix, uint16_t* horizontal, uint16_t* vertical) {
            const uint16_t own = pix[e.own_offset];
            if (is_green_colour(e.colour)) {
                horizontal[1] = vertical[1] = own;
                return;
            }
            horizontal[e.colour] = vertical[e.colour] = own;
            horizontal[1] = applyGreen(e.green_horizontal, pix, own);
            vertical[1] = applyGreen(e.green_vertical, pix, own);
        });
}

void xtrans_tile_red_blue(const recipe_table& recipes, const sample_source& source,
                          const direction_tile& tile, const image_span& span) {
    FrontEnd{recipes, source, tile}.each(
        span, [](const recipe_entry& e, const uint16_t* pix, uint16_t* horizontal, uint16_t* vertical) {
            const int64_t reds = imageSum(e.to_red, pix), blues = imageSum(e.to_blue, pix);
            for (uint16_t* rix : {horizontal, vertical}) {
                if (e.colour != 0) rix[0] = applyDifference(e.to_red, reds, rix);
                if (e.colour != 2) rix[2] = applyDifference(e.to_blue, blues, rix);
            }
        });
}

void xtrans_tile_greens(const band_job& band, const direction_tile& tile, const image_span& span) {
    xtrans_tile_greens(*band.recipes, pixelImage(band), tile, span);
}

void xtrans_tile_red_blue(const band_job& band, const direction_tile& tile, const image_span& span) {
    xtrans_tile_red_blue(*band.recipes, pixelImage(band), tile, span);
}

} // namespace raw
