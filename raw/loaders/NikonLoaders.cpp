// Nikon sensor data: Huffman-coded differences with a curve, 14-bit packed rows, and
// 12-bit YCbCr pairs.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "raw/core/BitReader.h"
#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/SampleGroups.h"

namespace raw {
namespace {

using namespace loader;

// Code-length counts, then symbols. Odd rows are the trees used below the split row.
constexpr uint8_t kNikonTrees[6][32] = {
    {0, 1, 5, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 5, 4, 3, 6, 2, 7, 1, 0, 8, 9, 11, 10, 12},
    {0, 1,    5,    1,    1,    1,    1, 1, 1, 2, 0, 0, 0,  0,  0,
     0, 0x39, 0x5A, 0x38, 0x27, 0x16, 5, 4, 3, 2, 1, 0, 11, 12, 12},
    {0, 1, 4, 2, 3, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 4, 6, 3, 7, 2, 8, 1, 9, 0, 10, 11, 12},
    {0, 1, 4, 3, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 5, 6, 4, 7, 8, 3, 9, 2, 1, 0, 10, 11, 12, 13, 14},
    {0, 1,    5,    1,    1,    1, 1, 1, 1, 1, 2, 0, 0, 0,  0, 0,
     8, 0x5C, 0x4B, 0x3A, 0x29, 7, 6, 5, 4, 3, 2, 1, 0, 13, 14},
    {0, 1, 4, 2, 2, 3, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 7, 6, 8, 5, 9, 4, 10, 3, 11, 12, 2, 0, 1, 13, 14},
};

struct NikonHeader {
    int version0, version1;
    uint16_t vertical[2][2]; // predictors of the first two columns, per row parity
    int tree;
    int32_t max;        // values at or above this (plus the offset) are out of range
    uint32_t split_row; // 0: one tree for the whole image
};

int next_byte(DecoderState& s) {
    int c = std::getc(s.input_file);
    return c == EOF ? 0xFF : c;
}

// Fills the curve by straight lines between points stored every `step` entries.
void interpolate_curve(DecoderState& s, uint32_t count, int32_t max, int32_t step) {
    uint16_t* t = s.tone_table;
    for (uint32_t i = 0; i < count; ++i)
        t[i * step] = read_u16(s);
    for (int32_t i = 0; i < max; ++i) {
        const int32_t base = i - i % step, frac = i % step;
        t[i] = uint16_t((int64_t(t[base]) * (step - frac) + int64_t(t[base + step]) * frac) / step);
    }
}

NikonHeader read_nikon_header(DecoderState& s) {
    NikonHeader h{};
    seek_to(s, s.maker_data_offset);
    h.version0 = next_byte(s);
    h.version1 = next_byte(s);
    if (h.version0 == 0x49 || h.version1 == 0x58) std::fseek(s.input_file, 2110, SEEK_CUR);
    const uint32_t stored_bits = s.bits_per_sample;
    read_u16_array(s, &h.vertical[0][0], 4);
    if (h.version0 == 0x44 && h.version1 == 0x40 && s.bits_per_sample >= 2) s.bits_per_sample -= 2;
    h.tree = (h.version0 == 0x46 ? 2 : 0) + (stored_bits == 14 ? 3 : 0);
    h.max = s.bits_per_sample < 15 ? (1 << s.bits_per_sample) & 0x7FFF : 0;
    const uint32_t count = read_u16(s);
    const int32_t step = count > 1 ? h.max / int32_t(count - 1) : 0;
    if (h.version0 == 0x44 && (h.version1 == 0x20 || h.version1 == 0x40) && step > 0) {
        interpolate_curve(s, count, h.max, step);
        seek_to(s, s.maker_data_offset + 562);
        h.split_row = read_u16(s);
    } else if (h.version0 != 0x46 && count <= 0x4001) {
        read_u16_array(s, s.tone_table, count);
        h.max = int32_t(count);
    }
    // Flat tail of the curve: values there cannot be told apart.
    while (h.max > 2 && s.tone_table[h.max - 2] == s.tone_table[h.max - 1])
        --h.max;
    return h;
}

int32_t nikon_difference(DecoderState& s, uint32_t symbol) {
    const int len = symbol & 15, shift = symbol >> 4;
    const int extra = std::max(len - shift, 0);
    int64_t d = ((int64_t(read_bits(s, extra)) * 2 + 1) << shift) >> 1;
    if (len > 0 && (d & (int64_t(1) << (len - 1))) == 0) d -= (int64_t(1) << len) - (shift == 0 ? 1 : 0);
    return int32_t(d);
}

} // namespace

void nikon_compressed_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    NikonHeader h = read_nikon_header(s);
    DecoderTable tree(s, kNikonTrees[h.tree], sizeof kNikonTrees[0]);
    seek_to(s, s.sensor_data_offset);
    s.ff_stuffing = 0;
    read_bits(s, -1);
    int32_t min = 0;
    uint16_t horizontal[2] = {};
    const uint32_t rows = std::min(s.visible_height, s.sensor_height);
    for (uint32_t row = 0; row < rows && !bits_exhausted(s); ++row) {
        if (h.split_row && row == h.split_row) {
            tree.build(kNikonTrees[std::min(h.tree + 1, 5)], sizeof kNikonTrees[0]);
            min = 16;
            h.max += 32;
        }
        uint16_t* out = raw_row(s, row);
        for (uint32_t col = 0; col < s.sensor_width; ++col) {
            const int32_t d = nikon_difference(s, tree.symbol());
            uint16_t& pred = horizontal[col & 1];
            if (col < 2)
                pred = h.vertical[row & 1][col] = uint16_t(h.vertical[row & 1][col] + d);
            else
                pred = uint16_t(pred + d);
            if (uint16_t(pred + min) >= h.max) count_data_error(s);
            out[col] = s.tone_table[std::clamp<int32_t>(int16_t(pred), 0, 0x3FFF)];
        }
    }
}

void nikon_14bit_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    const uint64_t width = s.sensor_width;
    const uint64_t row_bytes = (width * 7 / 4 + 15) / 16 * 16;
    LoaderBuffer line(s, row_bytes, 1, "nikon_14bit_load_raw()", LoaderBuffer::Kind::heap);
    uint8_t* bytes = line.as<uint8_t>();
    for (uint64_t row = 0; row < s.sensor_height; ++row) {
        const uint64_t got = std::fread(bytes, 1, row_bytes, s.input_file);
        uint16_t* out = raw_row(s, row);
        for (uint64_t c = 0, b = 0; c + 4 <= width && b + 7 <= got; c += 4, b += 7)
            unpack_14bit_group(bytes + b, out + c);
        if (got < row_bytes) {
            count_data_error(s);
            return;
        }
    }
}

void ycbcr12_pair_load_raw(DecoderState& s) {
    if (!require_pixel_image(s)) return;
    const uint64_t width = s.sensor_width;
    const uint64_t row_bytes = (width + 1) / 2 * 6;
    LoaderBuffer line(s, row_bytes, 1, "ycbcr12_pair_load_raw()");
    const uint8_t* bytes = line.as<uint8_t>();
    for (uint64_t row = 0; row < s.sensor_height; ++row) {
        const bool whole = read_bytes(s, line.as<uint8_t>(), row_bytes);
        int32_t ycc[4] = {};
        for (uint64_t col = 0; col < width; ++col) {
            if (col % 2 == 0) {
                uint64_t group = 0;
                for (int i = 0; i < 6; ++i)
                    group |= uint64_t(bytes[col / 2 * 6 + i]) << (8 * i);
                for (int c = 0; c < 4; ++c)
                    ycc[c] = int32_t(group >> (12 * c) & 0xFFF) - (c >= 2 ? 2048 : 0);
            }
            if (row >= s.image_height || col >= s.image_width) continue;
            const double y = ycc[col & 1], cb = ycc[2], cr = ycc[3];
            const double rgb[3] = {y + 1.370705 * cr, y - 0.337633 * cb - 0.698001 * cr, y + 1.732446 * cb};
            uint16_t* px = s.pixel_image[row * s.image_width + col];
            for (int c = 0; c < 3; ++c) {
                double v = s.tone_table[std::clamp(int32_t(rgb[c]), 0, 0xFFF)];
                // A missing multiplier leaves the value as the curve gives it.
                if (s.as_shot_multipliers[c] > 0) v /= s.as_shot_multipliers[c];
                px[c] = uint16_t(std::min(v, 65535.0));
            }
        }
        if (!whole) return;
    }
}

} // namespace raw
