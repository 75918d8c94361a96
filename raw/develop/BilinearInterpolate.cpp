// Bilinear interpolation: each missing colour is the weighted mean of the 3x3 block's
// photosites of that colour, edge neighbours counting twice the diagonal ones.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "raw/core/BandRunner.h"
#include "raw/core/CfaColor.h"
#include "raw/core/PeriodTable.h"
#include "raw/develop/Demosaic.h"

namespace raw {
namespace {

// What one position of the pattern's period reads and fills, as offsets from its pixel.
struct BilinearCode {
    struct Term {
        int offset; // in 16-bit slots
        uint8_t shift, colour;
    };
    struct Fill {
        uint8_t colour;
        // 2^32 / total weight, rounded up: exact division for every sum a 3x3 block can
        // give, so a flat field stays flat whatever the weight. 0 where the colour is absent.
        uint64_t scale;
    };
    Term terms[8];
    int term_count = 0;
    Fill fills[4];
    int fill_count = 0;
};

BilinearCode build_code(const DecoderState& s, int row, int col) {
    BilinearCode code;
    const int own = cfa_color(s, row, col);
    unsigned weight[4] = {};
    for (int y = -1; y <= 1; ++y)
        for (int x = -1; x <= 1; ++x) {
            const int c = cfa_color(s, row + y, col + x);
            if (c == own) continue;
            const int shift = (y == 0) + (x == 0);
            code.terms[code.term_count++] = {(y * s.image_width + x) * 4 + c, uint8_t(shift), uint8_t(c)};
            weight[c] += 1u << shift;
        }
    for (int c = 0; c < std::min(s.colour_count, 4); ++c) {
        if (c == own) continue;
        const uint64_t scale = weight[c] ? ((uint64_t(1) << 32) + weight[c] - 1) / weight[c] : 0;
        code.fills[code.fill_count++] = {uint8_t(c), scale};
    }
    return code;
}

using BilinearTable = PeriodTable<BilinearCode>;

// Reads only the neighbours' own colours and writes only the others, so row bands can run
// side by side on one image.
void bilinear_rows(DecoderState& s, const BilinearTable& table, int begin, int end) {
    const int width = s.image_width;
    for (int row = begin; row < end; ++row)
        for (int col = 1; col < width - 1; ++col) {
            const BilinearCode& code = table.at(row, col);
            uint16_t* pixel = s.pixel_image[size_t(row) * width + col];
            uint32_t sum[4] = {};
            for (int t = 0; t < code.term_count; ++t) {
                const auto& term = code.terms[t];
                sum[term.colour] += uint32_t(pixel[term.offset]) << term.shift;
            }
            for (int f = 0; f < code.fill_count; ++f) {
                const auto& fill = code.fills[f];
                pixel[fill.colour] = uint16_t((sum[fill.colour] * fill.scale) >> 32);
            }
        }
}

BilinearTable prepare(DecoderState& s) {
    if (s.verbose_output) std::fprintf(stderr, "Bilinear interpolation...\n");
    decoder_border_fill(s, 1);
    const int period = s.cfa_pattern == kPatternXTrans ? 6 : 16;
    return BilinearTable(period, period, [&](int row, int col) { return build_code(s, row, col); });
}

} // namespace

void bilinear_interpolate(DecoderState& s) {
    const BilinearTable table = prepare(s);
    bilinear_rows(s, table, 1, s.image_height - 1);
}

void bilinear_interpolate_threaded(DecoderState& s) {
    const BilinearTable table = prepare(s);
    const int rows = std::max(s.image_height - 2, 0);
    run_bands(kBandCount, [&](int band) {
        const auto range = band_range(rows, kBandCount, band);
        bilinear_rows(s, table, 1 + range.begin, 1 + range.end);
    });
}

} // namespace raw
