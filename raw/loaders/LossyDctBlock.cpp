// The 8 x 8 blocks of lossy DNG tiles: Huffman-coded, quantised DCT coefficients turned
// back into samples with a separable inverse DCT in float arithmetic.
#include <array>
#include <cmath>

#include "raw/core/BitReader.h"
#include "raw/core/DecoderError.h"
#include "raw/loaders/LosslessJpeg.h"

namespace raw {
namespace {

// Natural (row-major) position of each coefficient in coding order.
constexpr uint8_t kZigZag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                 12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// cos(k pi / 16) / 2 for every product u (2x + 1) the transform needs (at most 7 x 15).
const std::array<float, 106>& cosine_table() {
    static const std::array<float, 106> table = [] {
        std::array<float, 106> t{};
        for (int k = 0; k < 106; ++k)
            t[k] = float(std::cos((k % 32) * M_PI / 16) / 2);
        return t;
    }();
    return table;
}

// Fills `block` (natural order) from the stream; false when the block is damaged.
void read_coefficients(DecoderState& s, ljpeg_header& jh, float block[64]) {
    const int32_t dc = ljpeg_read_difference(s, jh.decoders[0]);
    jh.column_predictors[0] =
        int32_t(uint32_t(jh.column_predictors[0]) + uint32_t(dc * int32_t(jh.quantisation[0])));
    block[0] = float(jh.column_predictors[0]);
    const uint16_t* ac = jh.decoders[16];
    for (int i = 1; i < 64; ++i) {
        const uint32_t symbol = read_bits(s, ac[0], ac + 1);
        const int length = int(symbol & 15);
        if (length == 0 && symbol < 0xF0) return; // end of block
        i += int(symbol >> 4);
        if (i > 63) {
            count_data_error(s); // a run past the last coefficient
            return;
        }
        int32_t v = int32_t(read_bits(s, length));
        if (length && !(v >> (length - 1))) v -= (int32_t(1) << length) - 1;
        block[kZigZag[i]] = float(int64_t(v) * jh.quantisation[i]);
    }
}

uint16_t to_sample(float v) {
    const float rounded = v + 0.5f;
    if (!(rounded > 0)) return 0;
    if (rounded >= 65535) return 65535;
    return uint16_t(rounded);
}

} // namespace

void ljpeg_decode_dct_block(DecoderState& s, ljpeg_header& jh) {
    float block[64] = {};
    read_coefficients(s, jh, block);
    constexpr float kHalfRoot2 = 0.7071067811865476f;
    for (int k = 0; k < 8; ++k) {
        block[k] *= kHalfRoot2;
        block[k * 8] *= kHalfRoot2;
    }
    const auto& cs = cosine_table();
    float rows[64];
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            float sum = 0;
            for (int u = 0; u < 8; ++u)
                sum += block[y * 8 + u] * cs[u * (2 * x + 1)];
            rows[y * 8 + x] = sum;
        }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            float sum = 0;
            for (int v = 0; v < 8; ++v)
                sum += rows[v * 8 + x] * cs[v * (2 * y + 1)];
            jh.dct_block[y * 8 + x] = to_sample(sum);
        }
}

} // namespace raw
