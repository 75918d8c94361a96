// Bit-packed sensor data of any depth, and the 10-bit layout that stores three more
// samples in the spare bits of every five.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "raw/core/DecoderError.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"

namespace raw {
namespace {

using namespace loader;

// The packing of one file, from loader_flags (F) and bits_per_sample (b).
struct PackedLayout {
    uint64_t row_bytes;     // after the 1-in-16 filler widening
    int64_t row_end_adjust; // bits the reader moves after every row (padding skipped)
    int refill_bits;        // bits taken per refill, 8..64, as a little-endian word
    uint32_t column_xor;
    bool fillers;          // one filler byte after every 15
    bool split_halves;     // rows stored as even rows, then odd rows
    bool seek_second_half; // ... with the second half at a position of its own
};

PackedLayout packed_layout(const DecoderState& s) {
    const uint32_t f = s.loader_flags;
    const uint64_t data_bits = uint64_t(s.sensor_width) * s.bits_per_sample;
    PackedLayout p{};
    p.row_bytes = data_bits / 8;
    p.row_bytes += p.row_bytes & (f >> 9);
    p.row_end_adjust = int64_t(data_bits) - int64_t(p.row_bytes * 8);
    p.fillers = f & 1;
    if (p.fillers) p.row_bytes = p.row_bytes * 16 / 15;
    p.refill_bits = 8 + int(f & 0x38);
    p.column_xor = (f >> 6) & 3;
    p.split_halves = f & 2;
    p.seek_second_half = (f & 6) == 6;
    return p;
}

// Reads the packed stream MSB-first out of refill words of 8..64 bits.
class PackedBits {
  public:
    PackedBits(DecoderState& s, int refill_bits) : s_(s), k_(refill_bits) {}

    uint32_t take(uint32_t bits) {
        v_ -= bits;
        while (v_ < 0)
            refill();
        // Bits that a refill pushed out of the buffer read as 0.
        uint64_t sample = v_ >= 64 ? 0 : buffer_ >> v_;
        return uint32_t(sample & ((uint64_t(1) << bits) - 1));
    }
    int byte() {
        int c = getc_unlocked(s_.input_file);
        if (c != EOF) return c;
        ran_out_ = true;
        return 0xFF;
    }
    void adjust(int64_t bits) { v_ += bits; }
    void restart() { v_ = 0; }
    bool ran_out() const { return ran_out_; }

  private:
    void refill() {
        buffer_ = k_ >= 64 ? 0 : buffer_ << k_; // a 64-bit refill replaces the whole buffer
        for (int i = 0; i < k_; i += 8)
            buffer_ |= uint64_t(byte()) << i;
        v_ += k_;
    }

    DecoderState& s_;
    int k_;
    uint64_t buffer_ = 0;
    int64_t v_ = 0;
    bool ran_out_ = false;
};

// Where the second half of the rows starts.
uint64_t second_half_offset(DecoderState& s, const PackedLayout& p, uint64_t half_rows) {
    if (s.compression_code) {
        const uint64_t first_half = half_rows * p.row_bytes;
        return s.sensor_data_offset + (first_half + 2047) / 2048 * 2048;
    }
    return input_length(s) / 2 & ~uint64_t(3);
}

} // namespace

void packed_bits_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    const uint32_t bits = s.bits_per_sample;
    if (bits == 0 || bits > 16) {
        count_data_error(s);
        return;
    }
    const PackedLayout p = packed_layout(s);
    const uint64_t width = s.sensor_width, height = s.sensor_height, half = (height + 1) / 2;
    PackedBits in(s, p.refill_bits);
    for (uint64_t i = 0; i < height; ++i) {
        uint64_t row = p.split_halves ? (i % half) * 2 + i / half : i;
        if (p.seek_second_half && row == 1) {
            in.restart();
            seek_to(s, second_half_offset(s, p, half));
        }
        uint16_t* out = raw_row(s, row);
        for (uint64_t c = 0; c < width; ++c) {
            uint32_t sample = in.take(bits);
            uint64_t col = c ^ p.column_xor;
            if (out && col < width) out[col] = uint16_t(sample);
            if (p.fillers && c % 10 == 9 && in.byte() && in_visible_area(s, row, c)) count_data_error(s);
        }
        in.adjust(p.row_end_adjust);
        if (in.ran_out()) {
            // The rest of the rows would all read as the end-of-file value.
            count_data_error(s);
            return;
        }
    }
}

void split_10bit_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    const uint64_t total = uint64_t(s.sensor_width) * s.sensor_height;
    const uint64_t groups = total / 8;
    constexpr uint64_t kChunkGroups = 4096;
    LoaderBuffer chunk(s, kChunkGroups, 10, "split_10bit_load_raw()");
    uint8_t* bytes = chunk.as<uint8_t>();
    uint64_t low = 0, high = total * 5 / 8;
    for (uint64_t g = 0; g < groups; g += kChunkGroups) {
        const uint64_t n = std::min(kChunkGroups, groups - g);
        const bool whole = read_bytes(s, bytes, n * 10);
        for (uint64_t k = 0; k < n; ++k) {
            const uint8_t* d = bytes + k * 10;
            uint32_t spare = 0;
            for (int i = 0; i < 5; ++i) {
                if (low < total) s.raw_buffer[low++] = uint16_t((d[2 * i] << 8 | d[2 * i + 1]) & 0x3FF);
                spare = spare << 6 | uint32_t(d[2 * i] >> 2);
            }
            for (int i = 2; i >= 0; --i)
                if (high < total) s.raw_buffer[high++] = uint16_t(spare >> (10 * i) & 0x3FF);
        }
        if (!whole) break;
    }
    s.white_level = 1023;
}

} // namespace raw
