#include "raw/DemosaicCommon.h"

#include <algorithm>

#include "raw/CfaColor.h"

namespace raw {
namespace {

// The drivers' own copy of the layout, so that they need nothing of the decoder state.
int8_t unitXTrans[6][6];

int wrap(int v, int period) { return (v % period + period) % period; }

int64_t pixelIndex(int64_t row, int64_t col, int64_t width) { return row * width + col; }

struct ColourSums {
    uint32_t sum[4] = {};
    uint32_t count[4] = {};
};

ColourSums blockSums(const demosaic_job& job, int row, int col) {
    ColourSums s;
    for (int y = std::max(row - 2, 0); y <= std::min(row + 2, job.height - 1); ++y)
        for (int x = std::max(col - 2, 0); x <= std::min(col + 2, job.width - 1); ++x) {
            int f = demosaic_colour_at(job.filters, y, x);
            s.sum[f] += job.image[pixelIndex(y, x, job.width)][f];
            s.count[f]++;
        }
    return s;
}

} // namespace

int demosaic_colour_at(uint32_t filters, int row, int col) {
    if (filters == kPatternXTrans) return unitXTrans[wrap(row, 6)][wrap(col, 6)];
    if (filters == kPatternLeaf16) return kLeaf16Table[wrap(row + 8, 16)][wrap(col + 2, 16)];
    return int(filters >> ((((unsigned(row) % 8) * 2) + (unsigned(col) % 2)) * 2)) & 3;
}

void demosaic_copy_xtrans(const demosaic_job& job) {
    // The layout comes from the file: any index past 3 would address a fifth channel.
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            unitXTrans[r][c] = int8_t(job.xtrans[r][c] & 3);
}

void demosaic_border_fill(const demosaic_job& job, int border) {
    if (!job.image || job.height <= 0 || job.width <= 0) return;
    for (int row = 0; row < job.height; ++row) {
        bool inner = row >= border && row < job.height - border;
        for (int col = 0; col < job.width; ++col) {
            // Skip the middle of inner rows; narrow images have none.
            if (inner && col == border) col = std::max(col, job.width - border);
            if (col >= job.width) break;
            ColourSums s = blockSums(job, row, col);
            int own = demosaic_colour_at(job.filters, row, col);
            uint16_t* pix = job.image[pixelIndex(row, col, job.width)];
            for (int ch = 0; ch < 3; ++ch)
                if (ch != own && s.count[ch]) pix[ch] = uint16_t(s.sum[ch] / s.count[ch]);
        }
    }
}

std::array<band_job, kBandCount> demosaic_bands(const demosaic_job& job, int first_row, int end_margin,
                                                const recipe_table* recipes) {
    std::array<band_job, kBandCount> bands{};
    const int last = job.height - end_margin;
    const int rows = last / kBandCount;
    int previousEnd = first_row;
    for (int k = 0; k < kBandCount; ++k) {
        band_job& b = bands[k];
        b.height = job.height;
        b.width = job.width;
        b.image = job.image;
        b.filters = job.filters;
        b.lmmse_median_passes = job.lmmse_median_passes;
        b.unused = job.unused;
        b.recipes = recipes;
        // Short images give bands ending above first_row; none may start there.
        b.first_row = std::max(first_row, previousEnd);
        b.end_row = k + 1 < kBandCount ? rows * (k + 1) : last;
        previousEnd = b.end_row;
    }
    return bands;
}

} // namespace raw
