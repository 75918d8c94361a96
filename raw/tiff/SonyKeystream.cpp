// The keystream that hides Sony private directories and scrambled Sony sensor data.
#include <bit>

#include "raw/tiff/TiffParser.h"

namespace raw {
namespace {

void seed_keystream(DecoderState& s, uint32_t key) {
    uint32_t* p = s.sony_keystream_words;
    for (int i = 0; i < 4; ++i)
        p[i] = key = key * 48828125u + 1;
    p[3] = p[3] << 1 | (p[0] ^ p[2]) >> 31;
    for (int i = 4; i < 127; ++i)
        p[i] = (p[i - 4] ^ p[i - 2]) << 1 | (p[i - 3] ^ p[i - 1]) >> 31;
    // The data is XOR-ed as it lies in memory, big-endian words of the stream.
    if constexpr (std::endian::native == std::endian::little)
        for (int i = 0; i < 127; ++i)
            p[i] = __builtin_bswap32(p[i]);
    s.sony_keystream_position = 127;
}

} // namespace

void sony_keystream(DecoderState& s, uint32_t* words, uint32_t count, int restart, uint32_t key) {
    if (restart) seed_keystream(s, key);
    uint32_t* p = s.sony_keystream_words;
    uint32_t& pos = s.sony_keystream_position;
    while (count--) {
        uint32_t next = p[(pos + 1) & 127] ^ p[(pos + 65) & 127];
        p[pos & 127] = next;
        *words++ ^= next;
        ++pos;
    }
}

} // namespace raw
