// Banded Kodak data: bands of four rows, each coded as a luma plane at full and two
// chroma planes at half resolution, with adaptive Huffman trees and scaled predictors.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "raw/core/BitReader.h"
#include "raw/core/DecoderError.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"

namespace raw {

using namespace loader;

namespace {

constexpr int kStoreWidth = 386;
constexpr int kMaxVisibleWidth = 2 * (kStoreWidth - 2) + 2; // 770
constexpr const char* kCorruptText = "Raw format corrupt";

// (length, symbol) pairs of trees 0..17, taken in order; each tree fills 256 entries.
constexpr int8_t kTreeSource[130][2] = {
    {1, 1},   {2, 3},   {3, 4},   {4, 2},   {5, 7},   {6, 5},   {7, 6},   {7, 8},          // 0
    {1, 0},   {2, 1},   {3, 3},   {4, 4},   {5, 2},   {6, 7},   {7, 6},   {8, 5},  {8, 8}, // 1
    {2, 1},   {2, 3},   {3, 0},   {3, 2},   {3, 4},   {4, 6},   {5, 5},   {6, 7},  {6, 8}, // 2
    {2, 0},   {2, 1},   {2, 3},   {3, 2},   {4, 4},   {5, 6},   {6, 7},   {7, 5},  {7, 8}, // 3
    {2, 1},   {2, 4},   {3, 0},   {3, 2},   {3, 3},   {4, 7},   {5, 5},   {6, 6},  {6, 8}, // 4
    {2, 3},   {3, 1},   {3, 2},   {3, 4},   {3, 5},   {3, 6},   {4, 7},   {5, 0},  {5, 8}, // 5
    {2, 3},   {2, 6},   {3, 0},   {3, 1},   {4, 4},   {4, 5},   {4, 7},   {5, 2},  {5, 8}, // 6
    {2, 4},   {2, 7},   {3, 3},   {3, 6},   {4, 1},   {4, 2},   {4, 5},   {5, 0},  {5, 8}, // 7
    {2, 6},   {3, 1},   {3, 3},   {3, 5},   {3, 7},   {3, 8},   {4, 0},   {5, 2},  {5, 4}, // 8
    {2, 0},   {2, 1},   {3, 2},   {3, 3},   {4, 4},   {4, 5},   {5, 6},   {5, 7},  {4, 8}, // 9
    {1, 0},   {2, 2},   {2, -2},                                                           // 10
    {1, -3},  {1, 3},                                                                      // 11
    {2, -17}, {2, -5},  {2, 5},   {2, 17},                                                 // 12
    {2, -7},  {2, 2},   {2, 9},   {2, 18},                                                 // 13
    {2, -18}, {2, -9},  {2, -2},  {2, 7},                                                  // 14
    {2, -28}, {2, 28},  {3, -49}, {3, -9},  {3, 9},   {4, 49},  {5, -79}, {5, 79},         // 15
    {2, -1},  {2, 13},  {2, 26},  {3, 39},  {4, -16}, {5, 55},  {6, -37}, {6, 76},         // 16
    {2, -26}, {2, -13}, {2, 1},   {3, -39}, {4, 16},  {5, -55}, {6, -76}, {6, 37},         // 17
};

// Points of the output curve; it is linear between them.
constexpr int kCurvePoints[6][2] = {{0, 0},       {1280, 1344},  {2320, 3616},
                                    {3328, 8000}, {4095, 16383}, {65535, 16383}};

struct RadcWork {
    uint16_t trees[19][256];
    int16_t store[3][3][kStoreWidth]; // plane, row, column
    int32_t last[3];
    int32_t mul[3];
};

void build_curve(DecoderState& s) {
    for (int i = 0; i + 1 < 6; ++i) {
        const int x0 = kCurvePoints[i][0], y0 = kCurvePoints[i][1];
        const int x1 = kCurvePoints[i + 1][0], y1 = kCurvePoints[i + 1][1];
        for (int x = x0; x <= x1; ++x)
            s.tone_table[x] = uint16_t(float(y0) + float(x - x0) * float(y1 - y0) / float(x1 - x0) + 0.5f);
    }
}

void build_trees(RadcWork& w, uint32_t bits_code) {
    int tree = 0, filled = 0;
    for (const auto& pair : kTreeSource) {
        const int length = pair[0];
        if (length > 8) continue;
        const uint16_t entry = uint16_t(length << 8 | uint8_t(pair[1]));
        for (int k = 0; k < 256 >> length; ++k)
            w.trees[tree][filled++] = entry;
        if (filled == 256) ++tree, filled = 0;
    }
    // Tree 18: a raw 8-bit value whose missing low bits take their middle value.
    const int s = bits_code == 243 ? 2 : 3;
    for (int i = 0; i < 256; ++i)
        w.trees[18][i] = uint16_t((8 - s) << 8 | (i & ~((1 << s) - 1)) | 1 << (s - 1));
}

int symbol(DecoderState& s, const RadcWork& w, int tree) { return int(read_bits(s, 8, w.trees[tree])); }
int signed_symbol(DecoderState& s, const RadcWork& w, int tree) { return int8_t(symbol(s, w, tree)); }

// A new multiplier rescales what the plane's store holds.
void rescale_store(RadcWork& w, int c, int32_t mul) {
    const int64_t v = int64_t(((1 << 24) / w.last[c] + 0x7FF) >> 12) * mul;
    for (auto& row : w.store[c])
        for (int16_t& x : row) {
            // Only bits the 16-bit result keeps matter, so 64 bits give the 32-bit result.
            const int64_t scaled = v < 65565 ? (v * x + 2047) >> 12 : (4 * v * x + 511) >> 10;
            x = int16_t(uint16_t(uint64_t(scaled)));
        }
    w.last[c] = mul;
}

int32_t prediction(const RadcWork& w, int c, int y, int x) {
    const auto& st = w.store[c];
    if (c == 0) return (st[y - 1][x + 1] + 2 * st[y - 1][x] + st[y][x + 1]) / 4;
    return (st[y - 1][x] + st[y][x + 1]) / 2;
}

void fill_pair(RadcWork& w, int c, int col, int difference_tree, DecoderState& s) {
    for (int y = 1; y < 3; ++y)
        for (int x = col + 1; x >= col; --x) {
            int32_t v;
            if (difference_tree == 8)
                v = symbol(s, w, 18) * w.mul[c];
            else if (difference_tree > 0)
                v = (signed_symbol(s, w, difference_tree + 10)) * 16 + prediction(w, c, y, x);
            else
                v = prediction(w, c, y, x);
            w.store[c][y][x] = int16_t(uint16_t(uint32_t(v)));
        }
}

// One run of a tree-0 context: pairs of columns that take the prediction alone, with a
// correction after every second pair.
void run_of_predictions(DecoderState& s, RadcWork& w, int c, int& col) {
    int n;
    do {
        n = col > 2 ? symbol(s, w, 9) + 1 : 1;
        for (int rep = 0; rep < 8 && rep < n && col > 0; ++rep) {
            const bool fills = col >= 2;
            col -= 2;
            if (fills) fill_pair(w, c, col, 0, s);
            if (rep & 1) {
                const int step = signed_symbol(s, w, 10) * 16;
                for (int y = 1; y < 3 && fills; ++y)
                    for (int x = col; x <= col + 1; ++x)
                        w.store[c][y][x] = int16_t(uint16_t(w.store[c][y][x] + step));
            }
        }
    } while (n == 9 && col > 0);
}

void decode_pass(DecoderState& s, RadcWork& w, int c, int half_width) {
    w.store[c][1][half_width] = w.store[c][2][half_width] = int16_t(uint16_t(w.mul[c] << 7));
    int tree = 1, col = half_width;
    while (col > 0) {
        tree = symbol(s, w, tree);
        if (tree) {
            if (col < 2) break;
            col -= 2;
            fill_pair(w, c, col, tree, s);
        } else {
            run_of_predictions(s, w, c, col);
        }
    }
}

void store_photosite(DecoderState& s, int64_t row, int64_t col, int32_t value) {
    // The road gives this loader spare rows below the sensor for the last band.
    if (row >= int64_t(s.sensor_height) + 7 || col >= s.sensor_width) return;
    s.raw_buffer[row * s.sensor_width + col] = uint16_t(uint32_t(value));
}

void write_pass(DecoderState& s, const RadcWork& w, int c, int pass, int band, int half_width) {
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < half_width; ++x) {
            int32_t value = int32_t(w.store[c][y + 1][x]) * 16 / w.mul[c];
            if (value < 0) value = 0;
            if (c == 0)
                store_photosite(s, band + 2 * pass + y, 2 * x + y, value);
            else
                store_photosite(s, band + c - 1 + 2 * y, 2 * x + 2 - c, value);
        }
}

void carry_last_row(RadcWork& w, int c) {
    if (c == 0)
        std::memmove(&w.store[0][0][1], &w.store[0][2][0], (kStoreWidth - 1) * sizeof(int16_t));
    else
        std::memcpy(w.store[c][0], w.store[c][2], sizeof w.store[c][0]);
}

// Chroma positions hold colour differences: rebuild them around their luma neighbours.
void rebuild_chroma(DecoderState& s, int band) {
    const int width = s.visible_width;
    for (int y = band; y < band + 4; ++y) {
        if (y >= int(s.sensor_height) + 7) break;
        uint16_t* line = s.raw_buffer + int64_t(y) * s.sensor_width;
        for (int x = (y + 1) & 1; x < width; x += 2) {
            const int right = x + 1 < width ? x + 1 : x - 1;
            const int left = x > 0 ? x - 1 : 1;
            if (right < 0 || left >= width) continue;
            const int32_t t = 2 * line[x] + ((line[right] + line[left]) >> 1);
            line[x] = uint16_t(t > 4096 ? t - 4096 : 0);
        }
    }
}

void decode_band(DecoderState& s, RadcWork& w, int band, int half_width) {
    for (int c = 0; c < 3; ++c)
        w.mul[c] = int32_t(read_bits(s, 6));
    if (!w.mul[0] || !w.mul[1] || !w.mul[2]) throw DecoderText{kCorruptText};
    for (int c = 0; c < 3; ++c) {
        rescale_store(w, c, w.mul[c]);
        for (int pass = 0; pass < (c == 0 ? 2 : 1); ++pass) {
            decode_pass(s, w, c, half_width);
            write_pass(s, w, c, pass, band, half_width);
            carry_last_row(w, c);
        }
    }
    rebuild_chroma(s, band);
}

} // namespace

void radc_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    // The working store holds half of at most 770 columns; the road's spare rows hold
    // at most one band below the sensor.
    if (s.visible_width > kMaxVisibleWidth || s.visible_width > s.sensor_width ||
        s.visible_height > s.sensor_height)
        throw DecoderText{kCorruptText};
    build_curve(s);
    LoaderBuffer work(s, 1, sizeof(RadcWork), "radc_load_raw()", LoaderBuffer::Kind::heap);
    RadcWork& w = *work.as<RadcWork>();
    build_trees(w, s.kodak_bits_code);
    for (auto& plane : w.store)
        for (auto& row : plane)
            std::fill(std::begin(row), std::end(row), int16_t(2048));
    std::fill(std::begin(w.last), std::end(w.last), 16);
    read_bits(s, -1);
    const int half_width = s.visible_width / 2;
    for (int band = 0; band < s.visible_height; band += 4)
        decode_band(s, w, band, half_width);

    const uint64_t values = std::min<uint64_t>(uint64_t(4) * s.image_height * s.image_width,
                                               (uint64_t(s.sensor_height) + 7) * s.sensor_width * 4);
    for (uint64_t i = 0; i < values; ++i)
        s.raw_buffer[i] = s.tone_table[s.raw_buffer[i]];
    s.white_level = 0x3FFF;
}

} // namespace raw
