// Sony sensor data hidden under a keystream whose key is stored, itself scrambled, in the
// raw file.
#include <cstdint>
#include <cstring>

#include "raw/core/DecoderError.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"
#include "raw/tiff/TiffParser.h"

namespace raw {

using namespace loader;

namespace {

uint32_t scrambled_key(DecoderState& s) {
    uint8_t k = 0;
    seek_to(s, 200896);
    read_bytes(s, &k, 1);
    seek_to(s, uint64_t(200896 + 4 * int64_t(k)));
    uint8_t seed[4];
    read_bytes(s, seed, 4);
    uint8_t block[40];
    seek_to(s, 164600);
    read_bytes(s, block, sizeof block);
    uint32_t words[10];
    std::memcpy(words, block, sizeof block);
    sony_keystream(s, words, 10, 1, uint32_t(seed[0]) << 24 | seed[1] << 16 | seed[2] << 8 | seed[3]);
    std::memcpy(block, words, sizeof block);
    return uint32_t(block[22]) | block[23] << 8 | block[24] << 16 | uint32_t(block[25]) << 24;
}

} // namespace

void sony_scrambled_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    const uint32_t key = scrambled_key(s);
    seek_to(s, s.sensor_data_offset);
    const uint64_t width = s.sensor_width;
    // Whole 32-bit words of the row, plus room for the odd sample of an odd width.
    LoaderBuffer line(s, width / 2 + 1, sizeof(uint32_t), "sony_scrambled_load_raw()",
                      LoaderBuffer::Kind::heap);
    uint32_t* words = line.as<uint32_t>();
    const auto* bytes = reinterpret_cast<const uint8_t*>(words);
    for (uint64_t row = 0; row < s.sensor_height; ++row) {
        read_bytes(s, reinterpret_cast<uint8_t*>(words), width * 2);
        sony_keystream(s, words, uint32_t(width / 2), row == 0, key);
        uint16_t* out = raw_row(s, row);
        for (uint64_t col = 0; col < width; ++col) {
            out[col] = uint16_t(bytes[2 * col] << 8 | bytes[2 * col + 1]);
            if (out[col] > 0x3FFF) count_data_error(s);
        }
    }
    s.white_level = 0x3FF0;
}

} // namespace raw
