// Canon 600 data: 10-bit samples, eight to ten bytes, the even rows stored first.
#include <algorithm>
#include <cstdint>
#include <iterator>

#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"

namespace raw {

using namespace loader;

namespace {

constexpr int kLineBytes = 1120;

void unpack_line(const uint8_t* data, uint16_t* samples) {
    for (int g = 0; g < kLineBytes / 10; ++g, data += 10, samples += 8) {
        const uint8_t* b = data;
        samples[0] = uint16_t(b[0] << 2 | b[1] >> 6);
        samples[1] = uint16_t(b[2] << 2 | (b[1] >> 4 & 3));
        samples[2] = uint16_t(b[3] << 2 | (b[1] >> 2 & 3));
        samples[3] = uint16_t(b[4] << 2 | (b[1] & 3));
        samples[4] = uint16_t(b[5] << 2 | (b[9] & 3));
        samples[5] = uint16_t(b[6] << 2 | (b[9] >> 2 & 3));
        samples[6] = uint16_t(b[7] << 2 | (b[9] >> 4 & 3));
        samples[7] = uint16_t(b[8] << 2 | b[9] >> 6);
    }
}

} // namespace

void canon600_packed_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    uint8_t data[kLineBytes];
    uint16_t samples[kLineBytes * 8 / 10];
    const uint64_t columns = std::min<uint64_t>(s.sensor_width, std::size(samples));
    uint64_t row = 0;
    for (int line = 0; line < s.visible_height; ++line) {
        read_bytes(s, data, kLineBytes);
        unpack_line(data, samples);
        if (uint16_t* out = raw_row(s, row))
            for (uint64_t col = 0; col < columns; ++col)
                out[col] = samples[col];
        row += 2;
        if (row >= s.visible_height) row = 1;
    }
}

} // namespace raw
