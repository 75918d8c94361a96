#include "tests/support/KodakBlockWriter.h"

#include <cstdlib>

namespace testsupport {

namespace {

int lengthOf(int32_t d) {
    int n = 0;
    for (uint32_t m = uint32_t(std::abs(d)); m; m >>= 1)
        ++n;
    return n;
}

} // namespace

std::vector<uint8_t> kodakDifferenceBlock(std::vector<int32_t> diffs) {
    while (diffs.size() % 4)
        diffs.push_back(0);
    std::vector<uint8_t> out;
    for (size_t i = 0; i < diffs.size(); i += 2)
        out.push_back(uint8_t(lengthOf(diffs[i]) | lengthOf(diffs[i + 1]) << 4));
    std::vector<bool> bits;
    for (int32_t d : diffs) {
        const int n = lengthOf(d);
        const uint32_t v = d < 0 ? uint32_t(d + (1 << n) - 1) : uint32_t(d);
        for (int b = 0; b < n; ++b)
            bits.push_back(v >> b & 1);
    }
    auto word = [&](size_t from) {
        uint32_t w = 0;
        for (size_t b = 0; b < 16; ++b)
            if (from + b < bits.size() && bits[from + b]) w |= 1u << b;
        return w;
    };
    auto put16 = [&](uint32_t w) {
        out.push_back(uint8_t(w >> 8));
        out.push_back(uint8_t(w));
    };
    size_t at = 0;
    if (diffs.size() % 8 == 4) put16(word(0)), at = 16;
    for (; at < bits.size(); at += 32)
        put16(word(at)), put16(word(at + 16));
    return out;
}

} // namespace testsupport
