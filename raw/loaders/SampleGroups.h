#pragma once
// Fixed bit layouts several formats share: four 14-bit samples in 7 bytes and two 12-bit
// samples in 3 bytes, both little-endian bit order.
#include <cstdint>

namespace raw::loader {

inline void unpack_14bit_group(const uint8_t* b, uint16_t* out) {
    out[0] = uint16_t((b[1] & 0x3F) << 8 | b[0]);
    out[1] = uint16_t((b[3] & 0x0F) << 10 | b[2] << 2 | b[1] >> 6);
    out[2] = uint16_t((b[5] & 0x03) << 12 | b[4] << 4 | b[3] >> 4);
    out[3] = uint16_t(b[6] << 6 | b[5] >> 2);
}

inline void unpack_12bit_pair(const uint8_t* b, uint16_t* out) {
    out[0] = uint16_t((b[1] & 0x0F) << 8 | b[0]);
    out[1] = uint16_t(b[2] << 4 | b[1] >> 4);
}

} // namespace raw::loader
