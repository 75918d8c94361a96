#include "raw/FujiCompressedBits.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "raw/DecoderError.h"
#include "raw/FujiCompressed.h"

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

void FujiStripBits::refill() {
    index_ = 0;
    used_ = 0;
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

int FujiStripBits::zeros(int limit) {
    int count = 0;
    for (;;) {
        if (index_ >= size_) refill();
        const uint8_t rest = uint8_t(chunk_[index_] & (0xFFu >> used_));
        if (rest == 0) {
            count = std::min(count + 8 - used_, limit);
            used_ = 0;
            ++index_;
            continue;
        }
        const int run = std::countl_zero(rest) - used_;
        count = std::min(count + run, limit);
        used_ += run + 1;
        if (used_ == 8) {
            used_ = 0;
            ++index_;
        }
        return count;
    }
}

uint32_t FujiStripBits::take(int n) {
    uint32_t value = 0;
    while (n > 0) {
        if (index_ >= size_) refill();
        const int avail = 8 - used_;
        const int t = std::min(avail, n);
        const uint32_t bits = (uint32_t(chunk_[index_]) >> (avail - t)) & ((1u << t) - 1);
        value = value << t | bits;
        used_ += t;
        n -= t;
        if (used_ == 8) {
            used_ = 0;
            ++index_;
        }
    }
    return value;
}

} // namespace raw
