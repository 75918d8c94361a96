// The CRX bit reader and its adaptive Rice codes.
#include "raw/core/DecoderError.h"
#include "raw/cr3/Cr3Crx.h"

namespace raw::crx {

void BitReader::fill() {
    while (cached_ <= 56 && next_ < size_) {
        cache_ |= uint64_t(data_[next_++]) << (56 - cached_);
        cached_ += 8;
    }
}

uint32_t BitReader::bits(int count) {
    if (count == 0) return 0;
    if (cached_ < count) fill();
    if (cached_ < count) throw DecoderText{kFillBufferText};
    const uint32_t value = uint32_t(cache_ >> (64 - count));
    cache_ <<= count;
    cached_ -= count;
    return value;
}

uint32_t BitReader::prefix() {
    uint32_t zeros = 0;
    for (;;) {
        if (!cached_) fill();
        if (!cached_) throw DecoderText{kFillBufferText};
        if (cache_) {
            const int run = __builtin_clzll(cache_);
            if (run < cached_) {
                cache_ = run == 63 ? 0 : cache_ << (run + 1);
                cached_ -= run + 1;
                return zeros + uint32_t(run);
            }
        }
        zeros += uint32_t(cached_);
        cache_ = 0;
        cached_ = 0;
    }
}

uint32_t rice_value(BitReader& in, int k, uint32_t escape, int escape_bits) {
    const uint32_t p = in.prefix();
    if (p >= escape) return in.bits(escape_bits);
    return p << k | in.bits(k);
}

int adapt_parameter(int k, uint32_t v, int limit) {
    const uint32_t high = v >> k;
    k += (high > 2) + (high > 5) - (k > 0 && v < (1u << (k - 1)));
    return k < limit ? k : limit;
}

int64_t quant_step(int32_t q) {
    static constexpr int64_t kSteps[6] = {40, 45, 51, 57, 64, 72};
    if (q < 36) return kSteps[q % 6] >> (6 - q / 6);
    return kSteps[q % 6] << (q / 6 - 6);
}

} // namespace raw::crx
