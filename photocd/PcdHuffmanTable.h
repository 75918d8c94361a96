#pragma once
// One residual code table, looked up by the bit window's top 16 bits.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace photocd {

struct PcdHuffmanEntry {
    int8_t value = 127;
    uint8_t length = 31;
};

class PcdHuffmanTable {
  public:
    static constexpr uint8_t kInvalidLength = 31;

    PcdHuffmanTable();
    const PcdHuffmanEntry& lookup(uint32_t window) const { return entries_[window >> 16]; }

    // Reads `count` consecutive tables from a table block; a later table with three codes
    // or fewer repeats the one before it. Throws PcdFailure on a bad length or a table that
    // runs past the block.
    static std::vector<PcdHuffmanTable> parseBlock(const uint8_t* block, size_t size, int count);

  private:
    void addCode(int length, uint16_t leftAlignedCode, int8_t value);

    std::vector<PcdHuffmanEntry> entries_;
};

} // namespace photocd
