#include "raw/loaders/KodakBlockDecode.h"

#include <algorithm>
#include <cstdio>

#include "raw/loaders/LoaderSupport.h"

namespace raw {

using namespace loader;

namespace {

// Escaped blocks: six 16-bit words give eight 12-bit values, the top nibbles of the
// words forming the first two.
void absolute_values(DecoderState& s, int16_t* out, int n) {
    for (int i = 0; i < n; i += 8) {
        uint8_t bytes[12];
        read_bytes(s, bytes, sizeof bytes);
        uint16_t r[6];
        for (int k = 0; k < 6; ++k)
            r[k] = s.byte_order == 0x4949 ? uint16_t(bytes[2 * k] | bytes[2 * k + 1] << 8)
                                          : uint16_t(bytes[2 * k] << 8 | bytes[2 * k + 1]);
        out[i] = int16_t((r[0] >> 12) << 8 | (r[2] >> 12) << 4 | r[4] >> 12);
        out[i + 1] = int16_t((r[1] >> 12) << 8 | (r[3] >> 12) << 4 | r[5] >> 12);
        for (int k = 0; k < 6; ++k)
            out[i + 2 + k] = int16_t(r[k] & 0xFFF);
    }
}

uint32_t big_endian_pair(const uint8_t* b) { return uint32_t(b[0] << 8 | b[1]); }

// The block's bits are read in one go: the lengths say how many 32-bit chunks follow.
void differences(DecoderState& s, int16_t* out, const uint8_t* lengths, int n) {
    const bool head = (n & 7) == 4;
    int total = 0;
    for (int i = 0; i < n; ++i)
        total += lengths[i];
    const int after_head = std::max(0, total - (head ? 16 : 0));
    uint8_t data[2 + (kKodakBlockMax * 12 / 32 + 1) * 4];
    const size_t size = (head ? 2 : 0) + size_t(after_head + 31) / 32 * 4;
    read_bytes(s, data, size);
    const uint8_t* next = data;
    uint64_t buffer = 0;
    int held = 0;
    if (head) {
        buffer = big_endian_pair(next);
        next += 2;
        held = 16;
    }
    for (int i = 0; i < n; ++i) {
        const int length = lengths[i];
        if (held < length) {
            buffer |= uint64_t(big_endian_pair(next) | big_endian_pair(next + 2) << 16) << held;
            next += 4;
            held += 32;
        }
        int32_t diff = int32_t(buffer & ((uint64_t(1) << length) - 1));
        if (length && !(diff >> (length - 1))) diff -= (1 << length) - 1;
        out[i] = int16_t(diff);
        buffer >>= length;
        held -= length;
    }
}

} // namespace

int kodak_block_decode(DecoderState& s, int16_t* out, int n) {
    n = (std::clamp(n, 0, kKodakBlockMax) + 3) & ~3;
    const off_t start = s.input_file ? ftello(s.input_file) : 0;
    uint8_t packed[kKodakBlockMax / 2];
    read_bytes(s, packed, size_t(n / 2));
    uint8_t lengths[kKodakBlockMax];
    bool escaped = false;
    for (int i = 0; i < n / 2; ++i) {
        lengths[2 * i] = packed[i] & 15;
        lengths[2 * i + 1] = packed[i] >> 4;
        escaped |= lengths[2 * i] > 12 || lengths[2 * i + 1] > 12;
    }
    if (escaped) {
        if (s.input_file && start >= 0) fseeko(s.input_file, start, SEEK_SET);
        absolute_values(s, out, n);
        return 1;
    }
    differences(s, out, lengths, n);
    return 0;
}

} // namespace raw
