// Hasselblad data: a lossless-JPEG header whose first table codes the bit lengths of
// differences read from little-endian 32-bit words; multi-shot files interleave the
// differences of every shot of a photosite pair.
#include <algorithm>
#include <cstdint>

#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"
#include "raw/loaders/PhaseOneBits.h"

namespace raw {

using namespace loader;

namespace {

// More shots than any back takes; beyond this the count is damage.
constexpr uint32_t kMaxShots = 16;

int32_t length_coded_value(DecoderState& s, int length) {
    if (length <= 0) return 0;
    int32_t v = int32_t(phase_one_bits(s, length));
    if (length < 32 && !(v >> (length - 1))) v -= (int32_t(1) << length) - 1;
    return v == 65535 ? -32768 : v;
}

struct ShotLayout {
    uint32_t shots;
    int shift;
    uint32_t kept;
};

// Writes the value of shot l at sensor position (row, j) into the outputs that exist.
void store_shot(DecoderState& s, const ShotLayout& lay, uint64_t row, uint64_t col, uint64_t j, uint32_t l,
                uint16_t v) {
    if (s.raw_buffer && l == lay.kept) put_raw(s, row, j, v);
    if (!s.pixel_image) return;
    const int64_t r = int64_t(row) + (l & 1) - s.margin_top;
    const int64_t c = int64_t(col) - ((l >> 1) & 1) - s.margin_left;
    if (r < 0 || c < 0 || r >= s.visible_height || c >= s.visible_width || r >= s.image_height ||
        c >= s.image_width)
        return;
    uint16_t& slot = s.pixel_image[uint64_t(r) * s.image_width + uint64_t(c)][(j & 1) ^ (row & 1 ? 3 : 0)];
    if (l > 3) v = uint16_t((v + slot) >> 1);
    slot = v;
}

} // namespace

void hasselblad_load_raw(DecoderState& s) {
    ljpeg_header jh;
    if (!ljpeg_start(s, jh, false)) return;
    const uint16_t* table = jh.decoders[0];
    const uint64_t width = s.sensor_width;
    const uint32_t shots = std::max<uint32_t>(s.samples_per_pixel, 1);
    if (!table || !width || shots > kMaxShots) {
        count_data_error(s);
        return;
    }
    s.byte_order = kLittleEndian;
    phase_one_bits(s, -1);
    LoaderBuffer stores(s, 3 * width, sizeof(int32_t), "hasselblad_load_raw()");
    int32_t* back[3] = {stores.as<int32_t>(), stores.as<int32_t>() + width, stores.as<int32_t>() + 2 * width};
    const ShotLayout lay{shots, shots > 1 ? 1 : 0,
                         std::min(s.shot_index, shots) ? std::min(s.shot_index, shots) - 1 : 0};
    s.channel_black[6] = uint16_t(s.channel_black[6] >> lay.shift);
    int32_t diff[2 * kMaxShots];
    for (uint64_t row = 0; row < s.sensor_height && !phase_one_bits_ended(s); ++row) {
        std::rotate(back, back + 1, back + 3); // back[2] is this row, back[0] two rows up
        for (uint64_t col = 0; col < width; col += 2) {
            for (uint32_t i = 0; i < 2 * shots; i += 2) {
                const int l0 = int(phase_one_bits(s, table[0], table + 1));
                const int l1 = int(phase_one_bits(s, table[0], table + 1));
                diff[i] = length_coded_value(s, l0);
                diff[i + 1] = length_coded_value(s, l1);
            }
            for (uint64_t j = col; j < col + 2 && j < width; ++j) {
                // Running values wrap at 32 bits, as damaged data may drive them anywhere.
                int64_t h = int64_t(s.loader_flags) + 0x8000;
                if (col > 0) {
                    h = back[2][j - 2];
                    if (row > 1 && jh.predictor == 11) h += back[0][j] / 2 - back[0][j - 2] / 2;
                }
                for (uint32_t l = 0; l < shots; ++l) {
                    h = int32_t(h + diff[l + (j - col) * shots]);
                    store_shot(s, lay, row, col, j, l, uint16_t(h >> lay.shift));
                }
                back[2][j] = int32_t(h);
            }
        }
    }
    if (s.pixel_image) s.merge_greens = 1;
}

} // namespace raw
