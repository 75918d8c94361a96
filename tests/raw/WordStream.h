#pragma once
// Bit streams stored as little-endian 32-bit words, as the word-based bit reader takes them.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "tests/support/BitWriter.h"

namespace testsupport {

// The stream padded with zero bits to whole words and to at least `min_bytes`.
inline std::vector<uint8_t> littleEndianWords(BitWriter& w, size_t min_bytes = 0) {
    std::vector<uint8_t> bytes = w.finish(0);
    bytes.resize(std::max((bytes.size() + 3) / 4 * 4, (min_bytes + 3) / 4 * 4), 0);
    for (size_t i = 0; i < bytes.size(); i += 4)
        std::reverse(bytes.begin() + long(i), bytes.begin() + long(i + 4));
    return bytes;
}

} // namespace testsupport
