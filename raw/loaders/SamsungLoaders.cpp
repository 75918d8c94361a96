// The three Samsung layouts: rows of 16-column blocks with adaptive widths (by strip
// table or on 16-byte boundaries with running magnitudes), and built-in Huffman deltas.
#include <cstdint>
#include <cstdio>

#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/HuffmanDelta.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/PhaseOneBits.h"

namespace raw {

using namespace loader;

namespace {

// A two's-complement field of `width` bits (none outside 1..32).
int32_t signed_field(DecoderState& s, int32_t width) {
    if (width < 1 || width > 32) return 0;
    const uint32_t v = phase_one_bits(s, width);
    return width == 32 ? int32_t(v) : int32_t(v << (32 - width)) >> (32 - width);
}

int32_t photosite(const DecoderState& s, int64_t row, int64_t col) {
    if (row < 0 || col < 0 || row >= s.sensor_height || col >= s.sensor_width) return 0;
    return s.raw_buffer[uint64_t(row) * s.sensor_width + uint64_t(col)];
}

void adjust_widths(DecoderState& s, int32_t* widths, int count) {
    uint32_t op[4];
    for (int c = 0; c < count; ++c)
        op[c] = phase_one_bits(s, 2);
    for (int c = 0; c < count; ++c) {
        if (op[c] == 3) widths[c] = int32_t(phase_one_bits(s, 4));
        if (op[c] == 2) --widths[c];
        if (op[c] == 1) ++widths[c];
    }
}

void decode_block_row(DecoderState& s, int64_t row) {
    int32_t widths[4];
    for (int32_t& w : widths)
        w = row < 2 ? 7 : 4;
    for (int64_t col = 0; col < s.sensor_width && !phase_one_bits_ended(s); col += 16) {
        const bool vertical = phase_one_bits(s, 1);
        adjust_widths(s, widths, 4);
        for (int c = 0; c < 16; c += 2) {
            const int32_t value = signed_field(s, widths[((c & 1) << 1) | (c >> 3)]);
            int32_t pred;
            if (vertical)
                pred = photosite(s, row - 1 - (c & 1), col + c);
            else
                pred = col == 0 ? 128 : photosite(s, row, col + c - 2 + (c & 1));
            put_raw(s, uint64_t(row), uint64_t(col + c), uint16_t(value + pred));
            if (c == 14) c = -1; // odd columns follow the even ones
        }
    }
}

} // namespace

void samsung_block_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    s.byte_order = kLittleEndian;
    const uint64_t file_end = input_length(s);
    for (int64_t row = 0; row < s.sensor_height; ++row) {
        seek_to(s, s.strip_table_offset + 4 * uint64_t(row));
        const uint64_t start = s.sensor_data_offset + read_u32(s);
        if (start >= file_end) { // a row the file does not hold
            count_data_error(s);
            continue;
        }
        seek_to(s, start);
        phase_one_bits(s, -1);
        decode_block_row(s, row);
    }
    // The data stores each 2 x 2 cell with its off-diagonal photosites exchanged.
    for (uint64_t row = 0; row + 1 < s.sensor_height; row += 2)
        for (uint64_t col = 0; col + 1 < s.sensor_width; col += 2) {
            uint16_t* a = raw_row(s, row) + col + 1;
            uint16_t* b = raw_row(s, row + 1) + col;
            const uint16_t t = *a;
            *a = *b;
            *b = t;
        }
}

void samsung_huffman_load_raw(DecoderState& s) {
    static const uint16_t kCodes[14] = {0x304, 0x307, 0x206, 0x205, 0x403, 0x600, 0x709,
                                        0x80A, 0x90B, 0xA0C, 0xA0D, 0x501, 0x408, 0x402};
    uint16_t table[1 + 1024];
    table[0] = 10;
    uint32_t n = 1;
    for (uint16_t code : kCodes)
        for (uint32_t i = 0; i < 1024u >> (code >> 8); ++i)
            table[n++] = code;
    seek_to(s, s.sensor_data_offset);
    huffman_delta_decode(s, table);
}

namespace {

struct AdaptiveRow {
    int64_t row;
    uint32_t options;
    uint16_t initial;
    int32_t mag = 0, mode = 7;
    int32_t widths[6];
};

int32_t adaptive_prediction(const DecoderState& s, const AdaptiveRow& r, int64_t start, int64_t col) {
    const int64_t row = r.row;
    if (r.mode == 7 || row < 2) return start == 0 ? r.initial : photosite(s, row, start - 2 + (col & 1));
    const int64_t first = "0224468"[r.mode] - '4', second = "0244668"[r.mode] - '4';
    int64_t ref_row = row - 2, shift = 0;
    if (((row ^ col) & 1) == 0) {
        ref_row = row - 1;
        shift = row & 1 ? -1 : 1;
    }
    return (photosite(s, ref_row, col + shift + first) + photosite(s, ref_row, col + shift + second) + 1) >>
           1;
}

void read_adaptive_header(DecoderState& s, AdaptiveRow& r, int64_t start) {
    if (!(r.options & 4) && start % 64 == 0) {
        const uint32_t i = phase_one_bits(s, 2);
        r.mag = i < 3 ? r.mag + "204"[i] - '2' : int32_t(phase_one_bits(s, 12));
    }
    if (r.options & 2)
        r.mode = 7 - 4 * int32_t(phase_one_bits(s, 1));
    else if (!phase_one_bits(s, 1))
        r.mode = int32_t(phase_one_bits(s, 3));
    if ((r.options & 1) || !phase_one_bits(s, 1)) {
        for (int c = 0; c < 4; ++c) {
            int32_t* pair = r.widths + 2 * (((r.row & 1) * 2 + (c & 1)) % 3);
            const uint32_t code = phase_one_bits(s, 2);
            const int32_t width = code < 3 ? pair[0] + "120"[code] - '1' : int32_t(phase_one_bits(s, 4));
            pair[0] = pair[1];
            pair[1] = width;
        }
    }
}

void decode_adaptive_row(DecoderState& s, AdaptiveRow& r) {
    for (int32_t& w : r.widths)
        w = r.row < 2 ? 7 : 4;
    for (int64_t start = 0; start + 15 < s.sensor_width && !phase_one_bits_ended(s); start += 16) {
        read_adaptive_header(s, r, start);
        for (int c = 0; c < 16; ++c) {
            const int64_t col = start + ((((c & 7) << 1) ^ (c >> 3)) ^ (r.row & 1));
            const int32_t d = signed_field(s, r.widths[c / 4]);
            const int64_t value =
                adaptive_prediction(s, r, start, col) + int64_t(d) * (2 * r.mag + 1) + r.mag;
            put_raw(s, uint64_t(r.row), uint64_t(col), uint16_t(value));
        }
    }
}

} // namespace

void samsung_adaptive_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    s.byte_order = kLittleEndian;
    seek_to(s, s.sensor_data_offset + 9);
    const int options = std::getc(s.input_file);
    std::fseek(s.input_file, 2, SEEK_CUR);
    AdaptiveRow r{};
    r.options = options == EOF ? 0 : uint32_t(options);
    r.initial = read_u16(s);
    for (int64_t row = 0; row < s.sensor_height; ++row) {
        const off_t here = ftello(s.input_file);
        const uint64_t done =
            here > 0 && uint64_t(here) > s.sensor_data_offset ? uint64_t(here) - s.sensor_data_offset : 0;
        seek_to(s, s.sensor_data_offset + (done + 15) / 16 * 16);
        phase_one_bits(s, -1);
        r.row = row;
        r.mag = 0;
        r.mode = 7;
        decode_adaptive_row(s, r);
        if (phase_one_bits_ended(s)) break;
    }
}

} // namespace raw
