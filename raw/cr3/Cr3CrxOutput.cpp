// Decoded CRX plane samples into the raw buffer: four planes interleave into the Bayer
// cell, one plane is the image itself; encoding type 3 first undoes a colour transform.
#include <algorithm>

#include "raw/cr3/Cr3Crx.h"
#include "raw/loaders/LoaderSupport.h"

namespace raw::crx {
namespace {

// Cell position (row x 2 + column) of the planes, which come in colour order R, G, G, B.
constexpr uint32_t kPlaneCell[4][4] = {{0, 1, 2, 3}, {1, 0, 3, 2}, {2, 0, 3, 1}, {3, 1, 2, 0}};

struct Range {
    int64_t low, high;
};

uint16_t clamp_to(int64_t v, Range r) { return uint16_t(std::clamp(v, r.low, r.high)); }

int64_t round_even(int64_t m) {
    return m >= 0 ? ((m + 512) >> 9) & ~int64_t(1) : -(((-m + 512) >> 9) & ~int64_t(1));
}

// The four samples of a colour-transformed cell, in plane order.
void untransform(const int64_t p[4], uint32_t bits, int64_t out[4]) {
    const int64_t d = int64_t(1024) << (bits - 1);
    const int64_t l = d + 1024 * p[0];
    const int64_t m = round_even(l - 168 * p[1] - 585 * p[3]);
    out[0] = ((l | 512) + 1510 * p[3]) >> 10;
    out[1] = (m + p[2] + 1) >> 1;
    out[2] = (m - p[2] + 1) >> 1;
    out[3] = (d + 512 + 1024 * p[0] + 1927 * p[1]) >> 10;
}

void write_cell(DecoderState& s, const OutputFormat& f, uint64_t row, uint64_t col, const int64_t planes[4]) {
    const Range full{0, (int64_t(1) << f.bits) - 1};
    const int64_t half = int64_t(1) << (f.bits - 1);
    int64_t values[4];
    if (f.encoding == 3) untransform(planes, f.bits, values);
    for (uint32_t p = 0; p < f.planes; ++p) {
        int64_t v = planes[p];
        if (f.encoding == 0) v += half;
        if (f.encoding == 1) v = std::clamp(v, -half, half - 1);
        if (f.encoding == 3) v = values[p];
        const uint32_t cell = f.planes == 4 ? kPlaneCell[f.cfa_layout & 3][p] : 0;
        loader::put_raw(s, row + (cell >> 1), col + (cell & 1), clamp_to(v, full));
    }
}

} // namespace

void write_tile(DecoderState& s, const OutputFormat& format, const Tile& tile,
                const std::vector<std::vector<int32_t>>& planes) {
    const uint64_t scale = format.planes == 4 ? 2 : 1;
    for (uint64_t y = 0; y < tile.height; ++y)
        for (uint64_t x = 0; x < tile.width; ++x) {
            int64_t cell[4] = {};
            for (uint32_t p = 0; p < format.planes; ++p)
                cell[p] = planes[p][y * tile.width + x];
            write_cell(s, format, (tile.row + y) * scale, (tile.column + x) * scale, cell);
        }
}

} // namespace raw::crx
