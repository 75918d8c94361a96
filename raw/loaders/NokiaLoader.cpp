// 10-bit data, four samples in five bytes (four high bytes, then the four low bit pairs),
// optionally stored with every four bytes reversed.
#include <cstdint>
#include <cstring>

#include "raw/core/InputReaders.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"

namespace raw {

using namespace loader;

namespace {

uint16_t sample_at(const DecoderState& s, uint64_t row, uint64_t col) {
    return row < s.sensor_height && col < s.sensor_width ? s.raw_buffer[row * s.sensor_width + col] : 0;
}

// Some sensors of this make are read with their pattern shifted by a row; the direction
// whose diagonals differ less is the true one.
void choose_omnivision_pattern(DecoderState& s) {
    if (std::strcmp(s.camera_make, "OmniVision") != 0 || s.visible_width < 2) return;
    const uint64_t m = s.sensor_height / 2;
    double sum[2] = {0, 0};
    for (uint64_t i = 0; i + 1 < s.visible_width; ++i) {
        const double a = double(sample_at(s, m, i)) - sample_at(s, m + 1, i + 1);
        const double b = double(sample_at(s, m + 1, i)) - sample_at(s, m, i + 1);
        sum[i & 1] += a * a;
        sum[(i + 1) & 1] += b * b;
    }
    if (sum[1] > sum[0]) s.cfa_pattern = 0x4B4B4B4B;
}

} // namespace

void nokia_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    const uint64_t width = s.sensor_width;
    const uint64_t stored = (width * 5 + 1) / 4;
    // Whole groups of five plus the three bytes a reversed last group may reach.
    const uint64_t room = (width + 3) / 4 * 5 + 4;
    LoaderBuffer buffer(s, 2 * room, 1, "nokia_load_raw()", LoaderBuffer::Kind::heap);
    uint8_t* read = buffer.as<uint8_t>();
    uint8_t* data = read + room;
    for (uint64_t row = 0; row < s.sensor_height; ++row) {
        const bool whole = read_bytes(s, read, stored);
        const uint8_t* dp = read;
        if (s.byte_order == kLittleEndian) {
            for (uint64_t j = 0; j < stored; ++j)
                data[j] = read[j ^ 3];
            dp = data;
        }
        for (uint64_t col = 0; col < width; col += 4, dp += 5)
            for (uint64_t i = 0; i < 4; ++i)
                put_raw(s, row, col + i, uint16_t(dp[i] << 2 | ((dp[4] >> (i << 1)) & 3)));
        if (!whole) break;
    }
    s.white_level = 1023;
    choose_omnivision_pattern(s);
}

} // namespace raw
