#pragma once
// The bit reader of one compressed Fuji strip: most significant bit first, through a
// 64 KiB buffer refilled from the strip's own bytes only. Past the end it grants one
// zero byte, then throws the end-of-input text.
#include <cstdint>
#include <cstdio>
#include <vector>

namespace raw {

class FujiStripBits {
  public:
    static constexpr size_t kChunk = 64 * 1024;

    FujiStripBits(FILE* file, uint64_t offset, uint64_t budget);

    // Zero bits before the next one bit (which is consumed); stops counting at `limit`
    // but still consumes the whole run.
    int zeros(int limit);
    // The next n bits (0..16) as an unsigned value.
    uint32_t take(int n);

  private:
    void refill();
    void top_up();

    FILE* file_;
    uint64_t next_offset_; // file offset of the next chunk
    uint64_t remaining_;   // budget bytes not yet read
    std::vector<uint8_t> chunk_;
    size_t size_ = 0;
    size_t index_ = 0;
    uint64_t cache_ = 0; // the low cache_bits_ bits are next, most significant first
    int cache_bits_ = 0;
    int fill_count_ = 1;
};

// Reads n bytes at an absolute offset; safe beside other strips reading the same stream.
size_t fuji_read_at(FILE* file, uint64_t offset, uint8_t* into, size_t n);

} // namespace raw
