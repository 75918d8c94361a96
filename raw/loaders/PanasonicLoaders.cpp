// Panasonic sensor data: the original block code read backwards out of 16 KiB pages, and
// the later fixed 16-byte blocks (encodings 5, 6 and 7).
#include "raw/loaders/PanasonicBits.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "raw/core/DecoderError.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/SampleGroups.h"

namespace raw {
namespace {

using namespace loader;

constexpr uint64_t kBlockBytes = 16;
constexpr uint64_t kRowsPerRead = 16;

// Samples in a 16-byte block of encodings 5 and 7.
uint64_t samples_per_block(const DecoderState& s) { return s.panasonic_bit_depth == 14 ? 9 : 10; }

void unpack_block(const DecoderState& s, const uint8_t* q, uint16_t* out) {
    if (s.panasonic_bit_depth == 14) {
        unpack_14bit_group(q, out);
        unpack_14bit_group(q + 7, out + 4);
        out[8] = uint16_t((q[15] & 0x3F) << 8 | q[14]);
        return;
    }
    for (int j = 0; j < 5; ++j)
        unpack_12bit_pair(q + 3 * j, out + 2 * j);
}

void finish_fixed_blocks(DecoderState& s) {
    const int32_t depth = std::clamp(s.panasonic_bit_depth, 0, 16);
    s.bits_per_sample = uint32_t(depth);
    s.white_level = uint32_t((1u << depth) - 1);
}

// The original code: blocks of 14 samples with two predictors and a shift every third.
void load_block_code(DecoderState& s, panasonic_bit_reader& bits) {
    for (uint64_t row = 0; row < s.sensor_height; ++row) {
        uint16_t* out = raw_row(s, row);
        int32_t pred[2] = {}, nonzero[2] = {}, sh = 0;
        for (uint64_t col = 0; col < s.sensor_width; ++col) {
            const uint64_t i = col % 14;
            if (i == 0) pred[0] = pred[1] = nonzero[0] = nonzero[1] = 0;
            if (i % 3 == 2) sh = 4 >> (3 - int(panasonic_bits(s, bits, 2)));
            const int p = int(col & 1);
            if (nonzero[p]) {
                const int32_t j = int32_t(panasonic_bits(s, bits, 8));
                if (j) {
                    pred[p] -= 0x80 << sh;
                    if (pred[p] < 0 || sh == 4) pred[p] &= int32_t((1u << sh) - 1);
                    pred[p] += j << sh;
                }
            } else {
                nonzero[p] = int32_t(panasonic_bits(s, bits, 8));
                if (nonzero[p] || i > 11) pred[p] = nonzero[p] << 4 | int32_t(panasonic_bits(s, bits, 4));
            }
            out[col] = uint16_t(pred[p]);
            if (pred[p] > 4098 && in_visible_area(s, row, col)) count_data_error(s);
        }
        if (bits.ran_out) break; // every later row would decode the end-of-file value
    }
}

// Encoding 5: the same pages, copied out 16 bytes at a time.
void load_paged_blocks(DecoderState& s, panasonic_bit_reader& bits) {
    const uint64_t per_block = samples_per_block(s);
    for (uint64_t row = 0; row < s.sensor_height; ++row) {
        uint16_t* out = raw_row(s, row);
        for (uint64_t col = 0; col < s.sensor_width; col += per_block) {
            uint8_t block[kBlockBytes];
            uint16_t values[10];
            panasonic_copy_block(s, bits, block);
            unpack_block(s, block, values);
            std::copy_n(values, std::min<uint64_t>(per_block, s.sensor_width - col), out + col);
        }
        if (bits.ran_out) break;
    }
}

using BlockDecoder = void (*)(DecoderState& s, const uint8_t* block, uint16_t* row_out, uint64_t first_col);

// Encodings 6 and 7 read the file in groups of 16 rows of whole blocks; rows of a final
// incomplete group stay 0.
void load_row_groups(DecoderState& s, uint64_t per_block, BlockDecoder decode, const char* where,
                     const char* eof_text) {
    const uint64_t blocks = s.sensor_width / per_block;
    const uint64_t group_bytes = kRowsPerRead * blocks * kBlockBytes;
    LoaderBuffer group(s, group_bytes, 1, where);
    const uint8_t* bytes = group.as<uint8_t>();
    for (uint64_t top = 0; top + kRowsPerRead <= s.sensor_height; top += kRowsPerRead) {
        if (std::fread(group.as<uint8_t>(), 1, group_bytes, s.input_file) < group_bytes)
            throw DecoderText{eof_text};
        for (uint64_t r = 0; r < kRowsPerRead; ++r) {
            uint16_t* out = raw_row(s, top + r);
            for (uint64_t b = 0; b < blocks; ++b)
                decode(s, bytes + (r * blocks + b) * kBlockBytes, out, b * per_block);
        }
    }
}

void decode_c7_block(DecoderState& s, const uint8_t* block, uint16_t* out, uint64_t col) {
    unpack_block(s, block, out + col);
}

// Encoding 6: 11 samples coded against a per-parity predictor with a scale every third.
void decode_c6_block(DecoderState& s, const uint8_t* block, uint16_t* out, uint64_t col) {
    uint16_t fields[14];
    pana_cs6_page_decoder(s, block, kBlockBytes, fields);
    int next = 0;
    uint32_t flag[2] = {}, pred[2] = {}, threshold = 0, multiplier = 0;
    for (int i = 0; i < 11; ++i) {
        if (i % 3 == 2) {
            uint32_t g = next < 14 ? fields[next++] : 0;
            if (g > 3) throw DecoderText{"Corrupt data in panasonicC6_load_raw"};
            if (g == 3) g = 4;
            threshold = 0x200u << g;
            multiplier = 1u << g;
        }
        const int p = i & 1;
        uint32_t value = 0;
        if (flag[p]) {
            value = next < 14 ? fields[next++] * multiplier : 0;
            if (threshold < 0x2000 && threshold < pred[p]) value += pred[p] - threshold;
            pred[p] = value;
        } else {
            const uint32_t field = next < 14 ? fields[next++] : pred[p];
            flag[p] = field;
            if (field) pred[p] = field;
            value = pred[p];
        }
        const uint16_t stored = value < 15 ? 0 : value > 65550 ? 0x3FFF : uint16_t(value - 15);
        out[col + uint64_t(i)] = stored;
    }
}

} // namespace

void panasonic_reset_bits(panasonic_bit_reader& bits, uint32_t split) {
    bits.position = 0;
    bits.split = std::min<uint32_t>(split, kPanasonicPage);
    bits.ran_out = false;
}

namespace {

// Fills the page: the file's next bytes go to the split point first, then wrap to 0.
// Bytes the file lacks read as all ones; they only count once decoding uses them.
void refill_page(DecoderState& s, panasonic_bit_reader& bits) {
    const uint32_t split = bits.split;
    std::memset(bits.page, 0xFF, sizeof bits.page);
    bits.high_bytes = uint32_t(std::fread(bits.page + split, 1, kPanasonicPage - split, s.input_file));
    bits.low_bytes = uint32_t(std::fread(bits.page, 1, split, s.input_file));
}

void check_byte(panasonic_bit_reader& bits, uint32_t i) {
    const bool read = i < bits.low_bytes || (i >= bits.split && i - bits.split < bits.high_bytes);
    if (!read) bits.ran_out = true;
}

} // namespace

uint32_t panasonic_bits(DecoderState& s, panasonic_bit_reader& bits, int n) {
    if (n <= 0) {
        panasonic_reset_bits(bits, bits.split);
        return 0;
    }
    if (bits.position == 0) refill_page(s, bits);
    bits.position = (bits.position - uint32_t(n)) & 0x1FFFF;
    const uint32_t byte = (bits.position >> 3) ^ 0x3FF0;
    check_byte(bits, byte);
    const uint32_t word = uint32_t(bits.page[byte]) | uint32_t(bits.page[byte + 1]) << 8;
    return (word >> (bits.position & 7)) & ((1u << std::min(n, 16)) - 1);
}

void panasonic_copy_block(DecoderState& s, panasonic_bit_reader& bits, uint8_t* out) {
    for (uint64_t i = 0; i < kBlockBytes; ++i) {
        if (bits.position == 0) refill_page(s, bits);
        check_byte(bits, bits.position);
        out[i] = bits.page[bits.position];
        bits.position = (bits.position + 1) % kPanasonicPage;
    }
}

void pana_cs6_page_decoder(DecoderState& s, const uint8_t* d, uint64_t bytes_left, uint16_t* f) {
    if (!d || bytes_left < kBlockBytes) memory_error(s, nullptr, "pana_cs6_page_decoder");
    f[0] = uint16_t(d[14] >> 2 | d[15] << 6);
    f[1] = uint16_t((d[14] & 3) << 12 | d[13] << 4 | d[12] >> 4);
    for (int g = 0; g < 3; ++g) {
        const int k = 12 - 4 * g;
        f[2 + 4 * g] = uint16_t(d[k] >> 2 & 3);
        f[3 + 4 * g] = uint16_t((d[k] & 3) << 8 | d[k - 1]);
        f[4 + 4 * g] = uint16_t(d[k - 3] >> 6 | d[k - 2] << 2);
        f[5 + 4 * g] = uint16_t((d[k - 3] & 0x3F) << 4 | d[k - 4] >> 4);
    }
}

void panasonicC6_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    if (s.sensor_width > 10)
        load_row_groups(s, 11, decode_c6_block, "panasonicC6_load_raw()",
                        "Unexpected EOF in panasonicC6_load_raw");
    finish_fixed_blocks(s);
}

void panasonicC7_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    load_row_groups(s, samples_per_block(s), decode_c7_block, "panasonicC7_load_raw()",
                    "Unexpected EOF in panasonicC7_load_raw");
    finish_fixed_blocks(s);
}

void panasonic_blocks_load_raw(DecoderState& s) {
    if (s.panasonic_encoding == 6) return panasonicC6_load_raw(s);
    if (s.panasonic_encoding == 7) return panasonicC7_load_raw(s);
    if (!require_raw_buffer(s)) return;
    panasonic_bit_reader bits;
    panasonic_reset_bits(bits, s.loader_flags);
    if (s.panasonic_encoding == 5) {
        load_paged_blocks(s, bits);
        finish_fixed_blocks(s);
    } else {
        load_block_code(s, bits);
    }
    if (bits.ran_out) count_data_error(s);
}

} // namespace raw
