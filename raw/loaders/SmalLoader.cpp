// SMaL data: an adaptive binary-range coder over three models per photosite, in one or
// more segments, with rows a camera may leave out to be filled from their neighbours.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "raw/core/BitReader.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/SmalDecoder.h"

namespace raw {

using namespace loader;

namespace {

constexpr uint64_t kNoEndOffset = 0x7FFFFFFF;
constexpr int kMaxSegments = 255;

// Bit of the hole mask for a row; rows count from the bottom of the sensor.
bool hole_row(const DecoderState& s, int64_t row, uint32_t holes) {
    const int64_t bit = ((row - s.sensor_height) % 8 + 8) % 8;
    return (holes >> bit) & 1;
}

class RangeDecoder {
  public:
    explicit RangeDecoder(DecoderState& s) : s_(s) {}

    uint32_t symbol(uint8_t* h) {
        fill();
        const int32_t e = high_ >> 4;
        const int32_t count = ((int32_t(((data_ - range_ + 1) & 0xFFFF) << 2)) - 1) / e;
        int bin = 0;
        while (bin < 7 && h[bin + 5] > count)
            ++bin;
        const int32_t low = h[bin + 5] * e >> 2;
        if (bin > 0) high_ = h[bin + 4] * e >> 2;
        high_ -= low;
        if (high_ < 1) high_ = 1; // the models keep it above 1; never loop on damage
        for (nbits_ = 0; (high_ << nbits_) < 128; ++nbits_) {
        }
        range_ = ((range_ & 0xFFFF) + uint32_t(low)) << nbits_;
        high_ <<= nbits_;
        update(h, bin);
        return uint32_t(bin);
    }

  private:
    void fill() {
        data_ = ((data_ & 0xFFFF) << nbits_) | read_bits(s_, nbits_);
        if (carry_ < 0) {
            nbits_ += carry_ + 1;
            carry_ = nbits_ < 1 ? nbits_ - 1 : 0;
        }
        int k = nbits_ - 1;
        while (k >= 0 && (((data_ & 0xFFFF) >> k) & 0xFF) != 0xFF)
            --k;
        if (k < 0) return;
        if (k > 0) {
            const uint32_t d16 = data_ & 0xFFFF, half = 1u << (k - 1);
            data_ = ((data_ + 2 * (d16 & half)) & ~((1u << k) - 1)) | ((d16 & (half - 1)) << 1);
        }
        data_ += read_bits(s_, 1);
        carry_ = k - 8;
    }

    static void update(uint8_t* h, int bin) {
        uint8_t next = h[1];
        if (++h[2] > h[3]) {
            next = uint8_t((h[1] + 1) & h[0]);
            h[3] = uint8_t((h[next + 4] - h[next + 5]) >> 2);
            h[2] = 1;
        }
        if (h[h[1] + 4] - h[h[1] + 5] > 1) {
            if (bin < h[1])
                for (int i = bin; i < h[1]; ++i)
                    --h[i + 5];
            else if (next <= bin)
                for (int i = h[1]; i < bin; ++i)
                    ++h[i + 5];
        }
        h[1] = next;
    }

    DecoderState& s_;
    uint32_t data_ = 0, range_ = 0;
    int32_t nbits_ = 8, carry_ = 0, high_ = 0xFF;
};

} // namespace

int32_t median_of_four(const int32_t* v) {
    const int32_t lo = std::min({v[0], v[1], v[2], v[3]}), hi = std::max({v[0], v[1], v[2], v[3]});
    return (v[0] + v[1] + v[2] + v[3] - lo - hi) >> 1;
}

void smal_segment_decoder(DecoderState& s, const smal_segment& segment, uint32_t holes) {
    if (!require_raw_buffer(s)) return;
    uint8_t models[3][13] = {{7, 7, 0, 0, 63, 55, 47, 39, 31, 23, 15, 7, 0},
                             {7, 7, 0, 0, 63, 55, 47, 39, 31, 23, 15, 7, 0},
                             {3, 3, 0, 0, 63, 47, 31, 15, 0, 0, 0, 0, 0}};
    const uint64_t width = s.sensor_width;
    const uint64_t end = std::min<uint64_t>(segment.end, width * s.sensor_height);
    seek_to(s, segment.offset + 1);
    s.ff_stuffing = 0;
    read_bits(s, -1);
    RangeDecoder coder(s);
    uint8_t pred[2] = {0, 0};
    for (uint64_t p = segment.first; p < end && !bits_exhausted(s); ++p) {
        uint32_t sym[3];
        for (int m = 0; m < 3; ++m)
            sym[m] = coder.symbol(models[m]);
        uint8_t d = uint8_t(sym[2] << 5 | sym[1] << 2 | (sym[0] & 3));
        if (sym[0] & 4) d = d ? uint8_t(-d) : 0x80;
        const off_t here = ftello(s.input_file);
        if (here >= 0 && uint64_t(here) + 12 >= segment.end_offset) d = 0;
        pred[p & 1] = uint8_t(pred[p & 1] + d);
        s.raw_buffer[p] = pred[p & 1];
        if (!(p & 1) && hole_row(s, int64_t(p / width), holes)) p += 2;
    }
    s.white_level = 255;
}

void smal_fill_holes(DecoderState& s, uint32_t holes) {
    if (!has_raw_buffer(s)) return;
    const int64_t height = std::min(s.visible_height, s.sensor_height),
                  width = std::min(s.visible_width, s.sensor_width);
    if (height < 5) return;
    auto at = [&](int64_t r, int64_t c) -> uint16_t& {
        return s.raw_buffer[uint64_t(r) * s.sensor_width + uint64_t(c)];
    };
    for (int64_t row = 2; row < height - 2; ++row) {
        if (!hole_row(s, row, holes)) continue;
        if (width > 2)
            for (int64_t col = 1; col < width - 1; col += 4) {
                const int32_t v[4] = {at(row - 1, col - 1), at(row - 1, col + 1), at(row + 1, col - 1),
                                      at(row + 1, col + 1)};
                at(row, col) = uint16_t(median_of_four(v));
            }
        if (width > 4)
            for (int64_t col = 2; col < width - 2; col += 4) {
                if (hole_row(s, row - 2, holes) || hole_row(s, row + 2, holes)) {
                    at(row, col) = uint16_t((at(row, col - 2) + at(row, col + 2)) >> 1);
                } else {
                    const int32_t v[4] = {at(row, col - 2), at(row, col + 2), at(row - 2, col),
                                          at(row + 2, col)};
                    at(row, col) = uint16_t(median_of_four(v));
                }
            }
    }
}

void smal_6_load_raw(DecoderState& s) {
    seek_to(s, 16);
    const uint64_t offset = read_u16(s);
    smal_segment_decoder(s, {0, offset, uint64_t(s.sensor_width) * s.sensor_height, kNoEndOffset}, 0);
}

void smal_9_load_raw(DecoderState& s) {
    seek_to(s, 67);
    const uint64_t table = read_u32(s);
    const int byte = std::getc(s.input_file);
    const int count = byte == EOF ? 0 : std::min(byte, kMaxSegments);
    seek_to(s, 78);
    const int mask = std::getc(s.input_file);
    const uint32_t holes = mask == EOF ? 0 : uint32_t(mask);
    seek_to(s, 88);
    uint64_t first[kMaxSegments + 1], offset[kMaxSegments + 1];
    first[count] = uint64_t(s.sensor_width) * s.sensor_height;
    offset[count] = read_u32(s) + s.sensor_data_offset;
    seek_to(s, table);
    for (int i = 0; i < count; ++i) {
        first[i] = read_u32(s);
        offset[i] = read_u32(s) + s.sensor_data_offset;
    }
    for (int i = 0; i < count; ++i)
        smal_segment_decoder(s, {first[i], offset[i], first[i + 1], offset[i + 1]}, holes);
    if (holes) smal_fill_holes(s, holes);
}

} // namespace raw
