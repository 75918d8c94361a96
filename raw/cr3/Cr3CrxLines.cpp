// Line decoding of a CRX band: median prediction or plain residuals, run mode over flat
// context, and the per-line quantisation of quantised bands.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "raw/cr3/Cr3Crx.h"

namespace raw::crx {
namespace {

constexpr uint16_t kRunLength[32] = {1,   1,   1,   1,   2,    2,    2,    2,    4,     4,    4,
                                     4,   8,   8,   8,   8,    16,   16,   32,   32,    64,   64,
                                     128, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768};
constexpr uint8_t kRunBits[32] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,  2,  3,  3,  3,  3,
                                  4, 4, 5, 5, 6, 6, 7, 7, 8, 9, 10, 11, 12, 13, 14, 15};
// Decoded samples are kept well inside 32 bits so that damaged data cannot overflow sums.
constexpr int64_t kSampleLimit = int64_t(1) << 28;
constexpr int kMaxQuantParameter = 7;
constexpr int32_t kMaxQuant = 6 * 56 - 1; // steps up to 72 << 49 still fit 64 bits

int32_t clamp_sample(int64_t v) { return int32_t(std::clamp(v, -kSampleLimit, kSampleLimit)); }

int64_t median_prediction(int64_t a, int64_t b, int64_t c) {
    if (c >= std::max(a, b)) return std::min(a, b);
    if (c <= std::min(a, b)) return std::max(a, b);
    return a + b - c;
}

struct Context {
    int32_t a, b, c, d; // left, above, above-left, above-right
};

Context context_at(const int32_t* line, const int32_t* above, uint32_t x, uint32_t width) {
    const int32_t b = above[x];
    return {x ? line[x - 1] : b, b, x ? above[x - 1] : b, x + 1 < width ? above[x + 1] : b};
}

class BandDecoder {
  public:
    BandDecoder(const uint8_t* data, const Subband& band, const BandCoding& coding)
        : in_(data + band.offset, band.size), coding_(coding), width_(band.width), above_k_(band.width, 0),
          line_k_(band.width, 0) {}

    void predicted_line(const int32_t* above, int32_t* line);
    void high_line(const int32_t* above, int32_t* line);
    // False when the line's quantisation parameter leaves the decodable range.
    bool quantisation(int32_t& q);

  private:
    uint32_t run(uint32_t left);
    int32_t residual();

    BitReader in_;
    BandCoding coding_;
    uint32_t width_;
    int k_ = 0, run_state_ = 0, quant_k_ = 0;
    std::vector<uint8_t> above_k_, line_k_;
};

// Length of a run starting here, at most `left`; 0 when the flag says none.
uint32_t BandDecoder::run(uint32_t left) {
    uint64_t length = 0;
    while (in_.bit()) {
        length += kRunLength[run_state_];
        run_state_ = std::min(run_state_ + 1, 31);
        if (length >= left) return left;
    }
    if (!length) return 0;
    length += in_.bits(kRunBits[run_state_]);
    run_state_ = std::max(run_state_ - 1, 0);
    return uint32_t(std::min<uint64_t>(length, left));
}

int32_t BandDecoder::residual() {
    const uint32_t v = rice_value(in_, k_);
    k_ = adapt_parameter(k_, v);
    if (!coding_.rounding) return zigzag(v);
    return int32_t(int64_t(zigzag(v >> 1)) * 2 * coding_.rounding + (v & 1));
}

void BandDecoder::predicted_line(const int32_t* above, int32_t* line) {
    const int32_t r = int32_t(coding_.rounding);
    for (uint32_t x = 0; x < width_;) {
        Context ctx = context_at(line, above, x, width_);
        if (std::abs(int64_t(ctx.a) - ctx.b) <= r && std::abs(int64_t(ctx.b) - ctx.d) <= r) {
            const uint32_t length = run(width_ - x);
            std::fill(line + x, line + x + length, ctx.a);
            x += length;
            if (x == width_) break;
            if (length) ctx = context_at(line, above, x, width_);
        }
        line[x] = clamp_sample(median_prediction(ctx.a, ctx.b, ctx.c) + residual());
        ++x;
    }
}

void BandDecoder::high_line(const int32_t* above, int32_t* line) {
    k_ = above_k_[0];
    for (uint32_t x = 0; x < width_;) {
        const Context ctx = context_at(line, above, x, width_);
        if (!ctx.a && !ctx.b && !ctx.d) {
            const uint32_t length = run(width_ - x);
            std::fill(line + x, line + x + length, 0);
            std::fill(line_k_.begin() + x, line_k_.begin() + x + length, uint8_t(k_));
            x += length;
            if (x == width_) break;
        }
        const uint32_t v = rice_value(in_, k_);
        k_ = adapt_parameter(k_, v);
        if (above_k_[x] > k_ + 1) k_ = std::min(k_ + 1, 15);
        line_k_[x] = uint8_t(k_);
        line[x] = zigzag(v);
        ++x;
    }
    above_k_.swap(line_k_);
}

bool BandDecoder::quantisation(int32_t& q) {
    const uint32_t v = rice_value(in_, quant_k_, 23, 8);
    quant_k_ = adapt_parameter(quant_k_, v, 31);
    q += zigzag(v);
    return quant_k_ <= kMaxQuantParameter && q >= 0 && q <= kMaxQuant;
}

void scale_line(int32_t* line, uint32_t width, int64_t step) {
    for (uint32_t x = 0; x < width; ++x) {
        int64_t v;
        if (__builtin_mul_overflow(int64_t(line[x]), step, &v))
            v = line[x] < 0 ? -kSampleLimit : kSampleLimit;
        line[x] = clamp_sample(v);
    }
}

} // namespace

bool decode_band(const uint8_t* data, const Subband& band, const BandCoding& coding, int32_t* out) {
    const uint64_t width = band.width, height = band.height;
    std::fill(out, out + width * height, 0);
    if (!band.size || !width) return true;
    BandDecoder decoder(data, band, coding);
    std::vector<int32_t> above(width, 0), line(width);
    int32_t q = band.quant_start;
    for (uint64_t y = 0; y < height; ++y) {
        int64_t step = 1;
        if (band.quantised) {
            if (!decoder.quantisation(q)) return false;
            step = quant_step(q);
        }
        if (coding.high)
            decoder.high_line(above.data(), line.data());
        else
            decoder.predicted_line(above.data(), line.data());
        int32_t* row = out + y * width;
        std::copy(line.begin(), line.end(), row);
        if (step != 1) scale_line(row, band.width, step);
        above.swap(line);
    }
    return true;
}

} // namespace raw::crx
