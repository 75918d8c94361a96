#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "raw/core/InputReaders.h"
#include "raw/identify/Identify.h"
#include "raw/identify/IdentifyReading.h"

namespace raw {
namespace {

// Like the value readers: bytes past the end of the file read as 0xFF.
int next_byte(DecoderState& s) {
    int c = getc_unlocked(s.input_file);
    return c == EOF ? 0xFF : c;
}

// `count` samples of `bits` each from `offset`; the file is read bits_per_read bits at a
// time, least significant byte first within a read, samples taken from the top.
std::vector<int64_t> read_sample_run(DecoderState& s, uint64_t offset, uint64_t count, int bits,
                                     int bits_per_read) {
    std::vector<int64_t> run(count);
    seek_to(s, offset);
    uint64_t buffer = 0;
    int valid = 0;
    for (uint64_t i = 0; i < count; ++i) {
        while (valid < bits) {
            uint64_t chunk = 0;
            for (int b = 0; b < bits_per_read; b += 8)
                chunk |= uint64_t(next_byte(s)) << b;
            buffer = (buffer << bits_per_read) | chunk;
            valid += bits_per_read;
        }
        run[i] = int64_t((buffer << (64 - valid)) >> (64 - bits));
        valid -= bits;
    }
    return run;
}

} // namespace

uint16_t guess_sample_byte_order(DecoderState& s, int count, double* big_endian_sum) {
    // Sensor data is smooth: of two readings, the one with the smaller steps between
    // neighbouring samples of the same colour is the right one.
    double sum[2] = {0, 0};             // little endian, big endian
    double little[3] = {}, big[3] = {}; // the newest word last
    for (int i = 0; i < count; ++i) {
        const int first = next_byte(s), second = next_byte(s);
        little[0] = little[1], little[1] = little[2], little[2] = first | second << 8;
        big[0] = big[1], big[1] = big[2], big[2] = first << 8 | second;
        if (i < 2) continue;
        sum[0] += (little[2] - little[0]) * (little[2] - little[0]);
        sum[1] += (big[2] - big[0]) * (big[2] - big[0]);
    }
    if (big_endian_sum) *big_endian_sum = sum[1];
    return sum[0] > sum[1] ? kBigEndian : kLittleEndian;
}

double green_difference_ratio(DecoderState& s, int bits, int bits_per_read, uint64_t offset_a,
                              uint64_t offset_b) {
    if (bits < 1 || bits > 32 || bits_per_read < 8 || bits_per_read > 32 || bits_per_read % 8)
        return std::nan("");
    const uint64_t width = s.visible_width;
    const std::vector<int64_t> a = read_sample_run(s, offset_a, width, bits, bits_per_read);
    const std::vector<int64_t> b = read_sample_run(s, offset_b, width, bits, bits_per_read);
    // Diagonal neighbours: the pairs binned together share a colour in one phase of the
    // pattern and differ in the other.
    double sum[2] = {0, 0};
    for (uint64_t c = 0; c + 1 < width; ++c) {
        sum[c & 1] += double(std::llabs(a[c] - b[c + 1]));
        sum[~c & 1] += double(std::llabs(b[c] - a[c + 1]));
    }
    return 100 * std::log(sum[0] / sum[1]);
}

} // namespace raw
