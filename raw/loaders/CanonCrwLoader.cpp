// Canon compressed sensor data: Huffman-coded blocks of 64 differences, with the two
// low bits of every sample optionally stored apart at the start of the file.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "raw/core/BitReader.h"
#include "raw/core/DecoderError.h"
#include "raw/identify/CanonProbes.h"
#include "raw/loaders/CanonCrwTables.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"

namespace raw {
namespace {

using namespace loader;

constexpr int kBandRows = 8;
constexpr uint64_t kLowBitsStart = 26;
constexpr uint64_t kCodedStart = 540;

// Decodes one block's 64 differences (unset ones stay 0).
void read_block(DecoderState& s, const DecoderTable& first, const DecoderTable& second, int32_t (&diff)[64]) {
    std::fill(diff, diff + 64, 0);
    for (int i = 0; i < 64; ++i) {
        const uint32_t leaf = (i ? second : first).symbol();
        if (leaf == 0 && i) break;
        if (leaf == 0xFF) continue;
        i += leaf >> 4;
        const int len = leaf & 15;
        if (len == 0) continue;
        int32_t d = int32_t(read_bits(s, len));
        if ((d & (1 << (len - 1))) == 0) d -= (1 << len) - 1;
        if (i < 64) diff[i] = d;
    }
}

// Merges the separately stored low bits into the band that starts at `top`.
void add_low_bits(DecoderState& s, uint64_t top) {
    const uint64_t width = s.sensor_width;
    const off_t resume = ftello(s.input_file);
    seek_to(s, kLowBitsStart + top * width / 4);
    const uint64_t band_end =
        std::min<uint64_t>(uint64_t(kBandRows) * width, (s.sensor_height - top) * width);
    uint16_t* band = s.raw_buffer + top * width;
    for (uint64_t i = 0; i < width * 2; ++i) {
        int c = std::getc(s.input_file);
        if (c == EOF) c = 0xFF;
        for (int r = 0; r < 8; r += 2) {
            const uint64_t k = i * 4 + r / 2;
            if (k >= band_end) continue; // the last band can be short
            uint16_t v = uint16_t(band[k] << 2 | (c >> r & 3));
            if (width == 2672 && v < 512) v += 2;
            band[k] = v;
        }
    }
    if (resume >= 0) fseeko(s.input_file, resume, SEEK_SET);
}

} // namespace

void canon_crw_load_raw(DecoderState& s) {
    if (!require_raw_buffer(s)) return;
    const int set = int(std::min<uint32_t>(s.compression_code, 2));
    DecoderTable first(s, kCanonFirstTables[set], sizeof kCanonFirstTables[set]);
    DecoderTable second(s, kCanonSecondTables[set], sizeof kCanonSecondTables[set]);
    const uint64_t width = s.sensor_width, height = s.sensor_height;
    const int low = canon_has_low_bits(s);
    if (!low) s.white_level = 0x3FF;
    seek_to(s, kCodedStart + low * height * width / 4);
    s.ff_stuffing = 1;
    read_bits(s, -1);
    // Only the low 16 bits of a prediction are ever stored.
    uint16_t carry = 0, base[2] = {512, 512};
    uint64_t count = 0;
    for (uint64_t top = 0; top < height && !bits_exhausted(s); top += kBandRows) {
        const uint64_t blocks = std::min<uint64_t>(kBandRows, height - top) * width / 64;
        uint16_t* band = s.raw_buffer + top * width;
        for (uint64_t block = 0; block < blocks; ++block) {
            int32_t diff[64];
            read_block(s, first, second, diff);
            carry = uint16_t(carry + diff[0]);
            diff[0] = carry;
            for (int i = 0; i < 64; ++i) {
                if (count++ % width == 0) base[0] = base[1] = 512;
                const uint16_t v = base[i & 1] = uint16_t(base[i & 1] + diff[i]);
                band[block * 64 + i] = v;
                if (v >> 10) count_data_error(s);
            }
        }
        if (low) add_low_bits(s, top);
    }
}

} // namespace raw
