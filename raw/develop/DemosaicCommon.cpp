#include "raw/develop/DemosaicCommon.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "raw/core/BandRunner.h"
#include "raw/core/CfaColor.h"
#include "raw/develop/FrameFill.h"

namespace raw {
namespace {

// The drivers' own copy of the layout, so that they need nothing of the decoder state.
int8_t unitXTrans[6][6];

int wrap(int v, int period) { return (v % period + period) % period; }

} // namespace

int demosaic_colour_at(uint32_t filters, int row, int col) {
    if (filters == kPatternXTrans) return unitXTrans[wrap(row, 6)][wrap(col, 6)];
    if (filters == kPatternLeaf16) return kLeaf16Table[wrap(row + 8, 16)][wrap(col + 2, 16)];
    return int(filters >> ((((unsigned(row) % 8) * 2) + (unsigned(col) % 2)) * 2)) & 3;
}

void demosaic_colour_row(uint32_t filters, int row, int col, int count, uint8_t* out) {
    // Every pattern repeats within 48 columns (2, 6 or 16).
    const int period = std::min(count, 48);
    for (int k = 0; k < period; ++k)
        out[k] = uint8_t(demosaic_colour_at(filters, row, col + k));
    for (int k = period; k < count; ++k)
        out[k] = out[k - period];
}

demosaic_job demosaic_job_of(const DecoderState& s) {
    demosaic_job job{};
    job.height = s.image_height;
    job.width = s.image_width;
    job.image = s.pixel_image;
    job.filters = s.cfa_pattern;
    std::memcpy(job.xtrans, s.xtrans_layout, sizeof job.xtrans);
    return job;
}

void demosaic_copy_xtrans(const demosaic_job& job) {
    // The layout comes from the file: any index past 3 would address a fifth channel.
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            unitXTrans[r][c] = int8_t(job.xtrans[r][c] & 3);
}

void demosaic_border_fill(const demosaic_job& job, int border) {
    if (!job.image || job.height <= 0 || job.width <= 0) return;
    // Parts of about equal numbers of frame pixels: the rows above and below the inside
    // split into runs of columns, the rows between into runs of rows. Row bands across the
    // top rows would be a few rows each and read the rows their neighbours write, which
    // costs more than the work in them.
    const int64_t width = job.width, height = job.height;
    const int top = int(std::clamp<int64_t>(border, 0, height));
    const int bottom = int(std::max<int64_t>(height - std::max(border, 0), top));
    const int64_t side = std::min<int64_t>(width, 2 * int64_t(std::max(border, 0)));
    const int64_t total = (top + height - bottom) * width + (bottom - top) * side;
    const int64_t share = std::max<int64_t>(1, (total + kBandCount - 1) / kBandCount);
    std::vector<FramePart> parts;
    auto split = [&](int first_row, int end_row, int64_t pixels, bool by_rows) {
        if (first_row >= end_row || pixels == 0) return;
        const int64_t extent = by_rows ? end_row - first_row : width;
        const int n = int(std::clamp<int64_t>((pixels + share / 2) / share, 1, extent));
        for (int k = 0; k < n; ++k) {
            const int from = int(extent * k / n), to = int(extent * (k + 1) / n);
            parts.push_back(by_rows ? FramePart{first_row + from, first_row + to, 0, job.width}
                                    : FramePart{first_row, end_row, from, to});
        }
    };
    split(0, top, top * width, false);
    split(top, bottom, (bottom - top) * side, true);
    split(bottom, job.height, (height - bottom) * width, false);
    // A negative border leaves every row inner and whole: one part does it.
    if (border < 0) parts.assign(1, FramePart{0, job.height, 0, job.width});
    run_bands(int(parts.size()), [&](int k) {
        fill_frame_part(
            job.image, job.height, job.width, border, 2, 3,
            [&](int row, int col) { return demosaic_colour_at(job.filters, row, col); }, parts[k]);
    });
}

band_job whole_image_band(const demosaic_job& job, int first_row, int end_margin,
                          const recipe_table* recipes) {
    band_job b{};
    b.height = job.height;
    b.width = job.width;
    b.image = job.image;
    b.filters = job.filters;
    b.lmmse_median_passes = job.lmmse_median_passes;
    b.unused = job.unused;
    b.recipes = recipes;
    b.first_row = first_row;
    b.end_row = job.height - end_margin;
    b.write_end = job.height;
    return b;
}

std::array<band_job, kBandCount> demosaic_bands(const demosaic_job& job, int first_row, int end_margin,
                                                const recipe_table* recipes) {
    std::array<band_job, kBandCount> bands{};
    const int last = job.height - end_margin;
    const int rows = last / kBandCount;
    int previousEnd = first_row;
    for (int k = 0; k < kBandCount; ++k) {
        band_job& b = bands[k];
        b = whole_image_band(job, first_row, end_margin, recipes);
        // Short images give bands ending above first_row; none may start there.
        b.first_row = std::max(first_row, previousEnd);
        const bool lastBand = k + 1 == kBandCount;
        b.end_row = lastBand ? last : rows * (k + 1);
        b.write_end = lastBand ? job.height : b.end_row;
        previousEnd = b.end_row;
    }
    return bands;
}

} // namespace raw
