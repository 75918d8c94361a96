// 8-bit lines whose samples start at a different place in each row, wrapping around the
// line (Kodak's uncompressed strips).
#include <cstdint>

#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"

namespace raw {

using namespace loader;

void diagonal_8bit_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    constexpr uint64_t kLine = 848;
    // (multiplier, addend) of the start position by row mod 4.
    static constexpr uint64_t kRotation[4][2] = {{162, 0}, {192, 636}, {187, 424}, {92, 212}};
    uint8_t line[kLine];
    for (uint64_t row = 0; row < s.sensor_height; ++row) {
        const bool whole = read_bytes(s, line, kLine);
        const uint64_t shift = kRotation[row & 3][1] + row * kRotation[row & 3][0];
        uint16_t* out = raw_row(s, row);
        for (uint64_t col = 0; col < s.sensor_width; ++col)
            out[col] = line[(col + shift) % kLine];
        if (!whole) break;
    }
    s.white_level = 255;
}

} // namespace raw
