// QuickTake 100 data: 4-bit steps on a checkerboard of an 8-bit grid, 2-bit steps for the
// other half, a sharpening pass and a built-in output curve.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>

#include "raw/core/BitReader.h"
#include "raw/core/DecoderError.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"

namespace raw {

using namespace loader;

namespace {

constexpr int kGridRows = 484, kGridColumns = 644;

constexpr int kGreenStep[16] = {-89, -60, -44, -32, -22, -15, -8, -2, 2, 8, 15, 22, 32, 44, 60, 89};
constexpr int kRestStep[6][4] = {{-3, -1, 1, 3},   {-5, -1, 1, 5},   {-8, -2, 2, 8},
                                 {-13, -3, 3, 13}, {-19, -4, 4, 19}, {-28, -6, 6, 28}};

constexpr uint16_t kCurve[256] = {
    0,   1,   2,   3,   4,   5,   6,   7,   8,   9,   11,  12,  13,  14,   15,   16,  17,  18,  19,  20,
    21,  22,  23,  24,  25,  26,  27,  28,  29,  30,  32,  33,  34,  35,   36,   37,  38,  39,  40,  41,
    42,  43,  44,  45,  46,  47,  48,  49,  50,  51,  53,  54,  55,  56,   57,   58,  59,  60,  61,  62,
    63,  64,  65,  66,  67,  68,  69,  70,  71,  72,  74,  75,  76,  77,   78,   79,  80,  81,  82,  83,
    84,  86,  88,  90,  92,  94,  97,  99,  101, 103, 105, 107, 110, 112,  114,  116, 118, 120, 123, 125,
    127, 129, 131, 134, 136, 138, 140, 142, 144, 147, 149, 151, 153, 155,  158,  160, 162, 164, 166, 168,
    171, 173, 175, 177, 179, 181, 184, 186, 188, 190, 192, 195, 197, 199,  201,  203, 205, 208, 210, 212,
    214, 216, 218, 221, 223, 226, 230, 235, 239, 244, 248, 252, 257, 261,  265,  270, 274, 278, 283, 287,
    291, 296, 300, 305, 309, 313, 318, 322, 326, 331, 335, 339, 344, 348,  352,  357, 361, 365, 370, 374,
    379, 383, 387, 392, 396, 400, 405, 409, 413, 418, 422, 426, 431, 435,  440,  444, 448, 453, 457, 461,
    466, 470, 474, 479, 483, 487, 492, 496, 500, 508, 519, 531, 542, 553,  564,  575, 587, 598, 609, 620,
    631, 643, 654, 665, 676, 687, 698, 710, 721, 732, 743, 754, 766, 777,  788,  799, 810, 822, 833, 844,
    855, 866, 878, 889, 900, 911, 922, 933, 945, 956, 967, 978, 989, 1001, 1012, 1023};

static_assert(kCurve[255] == 1023, "the curve has 256 entries");

using Grid = uint8_t[kGridRows][kGridColumns];

uint8_t clamp_byte(int v) { return uint8_t(std::clamp(v, 0, 255)); }

// The checkerboard half that carries 4-bit steps.
void first_half(DecoderState& s, Grid& g, int height, int width) {
    int val = 0;
    for (int row = 2; row < height + 2; ++row) {
        int col = 2 + (row & 1);
        for (; col < width + 2; col += 2) {
            val = ((g[row - 1][col - 1] + 2 * g[row - 1][col + 1] + g[row][col - 2]) >> 2) +
                  kGreenStep[read_bits(s, 4)];
            g[row][col] = uint8_t(val = clamp_byte(val));
            if (col < 4) g[row][col - 2] = g[row + 1][~row & 1] = uint8_t(val);
            if (row == 2) g[row - 1][col + 1] = g[row - 1][col + 3] = uint8_t(val);
        }
        if (col < kGridColumns) g[row][col] = uint8_t(val);
    }
}

int sharpness(const Grid& g, int row, int col) {
    if (row < 4 || col < 4) return 2;
    const int up = g[row - 2][col], left = g[row][col - 2], diag = g[row - 2][col - 2];
    const int t = std::abs(up - left) + std::abs(up - diag) + std::abs(left - diag);
    return t < 4 ? 0 : t < 8 ? 1 : t < 16 ? 2 : t < 32 ? 3 : t < 48 ? 4 : 5;
}

// The other half, in two interleaved passes of 2-bit steps scaled by local contrast.
void second_half(DecoderState& s, Grid& g, int height, int width) {
    for (int pass = 0; pass < 2; ++pass)
        for (int row = 2 + pass; row < height + 2; row += 2)
            for (int col = 3 - (row & 1); col < width + 2; col += 2) {
                const int step = kRestStep[sharpness(g, row, col)][read_bits(s, 2)];
                const uint8_t val = clamp_byte(((g[row - 2][col] + g[row][col - 2]) >> 1) + step);
                g[row][col] = val;
                if (row < 4) g[row - 2][col + 2] = val;
                if (col < 4) g[row + 2][col - 2] = val;
            }
}

void sharpen(Grid& g, int height, int width) {
    for (int row = 2; row < height + 2; ++row)
        for (int col = 3 - (row & 1); col < width + 2; col += 2)
            g[row][col] = clamp_byte(((g[row][col - 1] + 4 * g[row][col] + g[row][col + 1]) >> 1) - 256);
}

} // namespace

void quicktake_100_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    const int height = s.visible_height, width = s.visible_width;
    if (height > kGridRows - 4 || width > kGridColumns - 4)
        throw DecoderText{"raw format corrupts in quicktake_100_load_raw"};
    LoaderBuffer grid(s, 1, sizeof(Grid), "quicktake_100_load_raw()", LoaderBuffer::Kind::heap);
    Grid& g = *grid.as<Grid>();
    for (auto& line : g)
        std::fill(std::begin(line), std::end(line), uint8_t(128));
    read_bits(s, -1);
    first_half(s, g, height, width);
    second_half(s, g, height, width);
    sharpen(g, height, width);
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col)
            put_raw(s, uint64_t(row), uint64_t(col), kCurve[g[row + 2][col + 2]]);
    s.white_level = 1023;
}

} // namespace raw
