#include "raw/identify/CanonProbes.h"

#include <cstdint>
#include <cstdio>

namespace raw {

int canon_has_low_bits(DecoderState& s) {
    uint8_t head[16384] = {};
    std::fseek(s.input_file, 0, SEEK_SET);
    size_t got = std::fread(head, 1, sizeof head, s.input_file); // a short file reads as zeros
    (void)got;
    int result = 1;
    for (int i = 540; i < int(sizeof head) - 1; ++i) {
        if (head[i] != 0xFF) continue;
        if (head[i + 1]) return 1;
        result = 0;
    }
    return result;
}

int canon_row_check(DecoderState& s) {
    for (int k = 0; k < 100; ++k) {
        std::fseek(s.input_file, 3284L + 3340L * k, SEEK_SET);
        if (std::getc(s.input_file) > 15) return 1;
    }
    return 0;
}

} // namespace raw
