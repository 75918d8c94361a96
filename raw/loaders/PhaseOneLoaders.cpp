// Medium-format backs: plain 16-bit words (scrambled in pairs by a key) or per-row
// compressed data with split-sensor blacks.
#include <algorithm>
#include <cstdint>

#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/PhaseOneBits.h"

namespace raw {

using namespace loader;

void phase_one_plain_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    seek_to(s, s.phase_one_key_offset);
    const uint16_t a = read_u16(s), b = read_u16(s);
    seek_to(s, s.sensor_data_offset);
    const uint64_t count = uint64_t(s.sensor_width) * s.sensor_height;
    read_u16_array(s, s.raw_buffer, count);
    if (!s.phase_one_format) return;
    const uint16_t m = s.phase_one_format == 1 ? 0x5555 : 0x1354;
    for (uint64_t i = 0; i + 1 < count; i += 2) {
        const uint16_t x = s.raw_buffer[i] ^ a, y = s.raw_buffer[i + 1] ^ b;
        s.raw_buffer[i] = uint16_t((x & m) | (y & ~m));
        s.raw_buffer[i + 1] = uint16_t((y & m) | (x & ~m));
    }
}

namespace {

// The per-row and per-column blacks, two values each; absent tables read as zeros.
void read_black_table(DecoderState& s, uint64_t offset, int16_t* out, uint64_t pairs) {
    if (!offset) return;
    seek_to(s, offset);
    read_u16_array(s, reinterpret_cast<uint16_t*>(out), pairs * 2);
}

// One compressed row into `samples`. Code lengths are chosen per 8 columns for each
// column parity; 14 means an absolute 16-bit sample.
void decode_compressed_row(DecoderState& s, uint16_t* samples) {
    static const int kLengths[10] = {8, 7, 6, 9, 11, 10, 5, 12, 14, 13};
    phase_one_bits(s, -1);
    int32_t pred[2] = {0, 0};
    int length[2] = {0, 0};
    const uint32_t coded = s.sensor_width & ~7u;
    for (uint32_t col = 0; col < s.sensor_width && !phase_one_bits_ended(s); ++col) {
        if (col >= coded) {
            length[0] = length[1] = 14;
        } else if (col % 8 == 0) {
            for (int& len : length) {
                int j = 0;
                while (j < 5 && !phase_one_bits(s, 1))
                    ++j;
                if (j > 0) len = kLengths[2 * (j - 1) + phase_one_bits(s, 1)];
            }
        }
        const int len = length[col & 1];
        int32_t& p = pred[col & 1];
        if (len == 14)
            p = int32_t(phase_one_bits(s, 16));
        else if (len > 0)
            p += int32_t(phase_one_bits(s, len)) + 1 - (1 << (len - 1));
        if (p < 0 || p > 0xFFFF) count_data_error(s);
        samples[col] = uint16_t(p);
        if (s.phase_one_format == 5 && samples[col] < 256) samples[col] = s.tone_table[samples[col]];
    }
}

} // namespace

void phase_one_load_raw_c(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    const uint64_t width = s.sensor_width, height = s.sensor_height;
    // One block: a row of samples, the row offsets, the row blacks and the column blacks.
    LoaderBuffer block(s, 8 * width + 8 * height, 1, "phase_one_load_raw_c()");
    uint16_t* samples = block.as<uint16_t>();
    uint32_t* offsets = reinterpret_cast<uint32_t*>(block.as<uint16_t>() + 2 * width);
    int16_t* row_black = reinterpret_cast<int16_t*>(offsets + height);
    int16_t* column_black = row_black + 2 * height;

    for (uint32_t i = 0; i < 256; ++i)
        s.tone_table[i] = uint16_t(i * i / 3.969 + 0.5);
    seek_to(s, s.strip_table_offset);
    for (uint64_t r = 0; r < height; ++r)
        offsets[r] = read_u32(s);
    read_black_table(s, s.phase_one_row_blacks_offset, row_black, height);
    read_black_table(s, s.phase_one_column_blacks_offset, column_black, width);

    const uint64_t file_end = input_length(s);
    const int64_t split_col = s.phase_one_split_column, split_row = s.phase_one_split_row;
    const int32_t shift = s.phase_one_format == 8 ? 0 : 2;
    for (uint64_t row = 0; row < height; ++row) {
        const uint64_t start = s.sensor_data_offset + offsets[row];
        if (start >= file_end) { // a row the file does not hold stays black
            count_data_error(s);
            continue;
        }
        std::fill(samples, samples + width, uint16_t(0));
        seek_to(s, start);
        decode_compressed_row(s, samples);
        uint16_t* out = raw_row(s, row);
        for (uint64_t col = 0; col < width; ++col) {
            const int64_t v = (int64_t(samples[col]) << shift) - s.phase_one_black +
                              row_black[2 * row + (int64_t(col) >= split_col)] +
                              column_black[2 * col + (int64_t(row) >= split_row)];
            if (v > 0) out[col] = uint16_t(std::min<int64_t>(v, 0xFFFF));
        }
    }
    s.white_level = uint32_t(std::clamp<int64_t>(int64_t(0xFFFC) - s.phase_one_black, 0, UINT32_MAX));
}

} // namespace raw
