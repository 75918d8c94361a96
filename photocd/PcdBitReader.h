#pragma once
// Reads the Huffman-coded residual streams: a sector buffer and a 32-bit window whose
// most significant bit is the next unread bit.
#include <array>
#include <cstdint>

#include "photocd/PcdFile.h"
#include "photocd/PcdLevels.h"

namespace photocd {

class PcdBitReader {
  public:
    // Fills the window from `offset`; false when nothing can be read there.
    bool start(PcdFile& file, uint64_t offset);
    // False when fewer than `bits` valid bits remain.
    bool advance(int bits);
    uint32_t window() const { return window_; }
    int validBits() const { return valid_; }
    // Moves to the next row record's sync pattern (23 ones and a zero); false at the end.
    bool resync();

  private:
    void refill();
    bool nextByte(uint8_t& byte);

    PcdFile* file_ = nullptr;
    std::array<uint8_t, kSectorSize> buffer_{};
    size_t length_ = 0;
    size_t position_ = 0;
    uint32_t window_ = 0;
    int valid_ = 0;
};

} // namespace photocd
