#include "raw/fuji/FujiCompressedBits.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "raw/core/DecoderError.h"
#include "raw/fuji/FujiCompressed.h"

namespace raw {

size_t fuji_read_at(FILE* file, uint64_t offset, uint8_t* into, size_t n) {
    if (!file || offset > uint64_t(INT64_MAX)) return 0;
    // Strips read one stream from several threads. stdio locks the stream on every call
    // anyway; holding the lock across the seek and the read keeps the pair together.
    flockfile(file);
    size_t got = 0;
    if (fseeko(file, off_t(offset), SEEK_SET) == 0) got = std::fread(into, 1, n, file);
    funlockfile(file);
    return got;
}

FujiStripBits::FujiStripBits(FILE* file, uint64_t offset, uint64_t budget)
    : file_(file), next_offset_(offset), remaining_(budget), chunk_(kChunk) {}

// Only called when every buffered bit is taken, so the zero byte and the end-of-input
// text come exactly when a bit beyond the strip is needed.
void FujiStripBits::refill() {
    index_ = 0;
    if (remaining_ > 0) {
        const size_t n = size_t(std::min<uint64_t>(kChunk, remaining_));
        const size_t got = fuji_read_at(file_, next_offset_, chunk_.data(), n);
        next_offset_ += n;
        remaining_ = got == n ? remaining_ - n : 0;
        size_ = got;
        if (got) return;
    }
    // The last byte of a strip may be cut short; one zero byte stands in for it.
    if (fill_count_ > 0) {
        std::memset(chunk_.data(), 0, size_t(fill_count_));
        size_ = size_t(fill_count_);
        fill_count_ = 0;
        return;
    }
    throw DecoderText{XTransCompressed::kEofText};
}

void FujiStripBits::top_up() {
    if (index_ >= size_) refill();
    while (cache_bits_ <= 56 && index_ < size_) {
        cache_ = cache_ << 8 | chunk_[index_++];
        cache_bits_ += 8;
    }
}

int FujiStripBits::zeros(int limit) {
    int count = 0;
    for (;;) {
        if (cache_bits_ == 0) top_up();
        const uint64_t live = cache_bits_ == 64 ? cache_ : cache_ & ((uint64_t(1) << cache_bits_) - 1);
        if (live == 0) {
            count = std::min(count + cache_bits_, limit);
            cache_bits_ = 0;
            continue;
        }
        const int run = std::countl_zero(live) - (64 - cache_bits_);
        cache_bits_ -= run + 1;
        return std::min(count + run, limit);
    }
}

uint32_t FujiStripBits::take(int n) {
    while (cache_bits_ < n)
        top_up();
    cache_bits_ -= n;
    return uint32_t(cache_ >> cache_bits_) & ((1u << n) - 1);
}

} // namespace raw
