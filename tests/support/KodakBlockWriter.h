#pragma once
// Writes Kodak's block-coded data the way the cameras do, for loader tests and benchmarks.
#include <cstdint>
#include <vector>

namespace testsupport {

// A block of differences: lengths two to a byte (low nibble first), a 16-bit head when
// the count is 4 mod 8, then 32-bit chunks of two big-endian words, low word first;
// values fill the bits from the lowest up, negative ones by the lossless JPEG rule. The
// count is padded with zeros to a multiple of 4; every difference fits in 12 bits.
std::vector<uint8_t> kodakDifferenceBlock(std::vector<int32_t> diffs);

} // namespace testsupport
