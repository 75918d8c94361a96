#include "raw/fuji/FujiCompressed.h"

#include <algorithm>
#include <new>
#include <vector>

#include "raw/core/BandRunner.h"
#include "raw/fuji/FujiCompressedBits.h"
#include "raw/fuji/FujiCompressedStrip.h"

namespace raw {
namespace {

constexpr int kSignature = 0x4953;
constexpr int kMaxSide = 0x3000;
constexpr int kMaxStrips = 16;
constexpr int kMaxLineGroups = 2048;

struct StreamHeader {
    int signature, version, raw_type, raw_bits;
    int raw_height, rounded_width, raw_width, strip_width, strips, line_groups;
};

StreamHeader read_header(const uint8_t* b) {
    auto u16 = [b](int at) { return int(b[at]) << 8 | b[at + 1]; };
    return {u16(0), b[2], b[3], b[4], u16(5), u16(7), u16(9), u16(11), b[13], u16(14)};
}

bool header_holds(const StreamHeader& h) {
    const int strip = XTransCompressed::kStripWidth;
    return h.signature == kSignature && h.version == 1 &&
           (h.raw_type == XTransCompressed::kRawTypeBayer ||
            h.raw_type == XTransCompressed::kRawTypeXTrans) &&
           (h.raw_bits == 12 || h.raw_bits == 14 || h.raw_bits == 16) && h.raw_height > 5 &&
           h.raw_height <= kMaxSide && h.raw_height % 6 == 0 && h.rounded_width <= kMaxSide &&
           h.rounded_width >= strip && h.rounded_width % strip == 0 &&
           // A rounded width below the raw width would give the last strip more columns
           // than its lines hold.
           h.rounded_width >= h.raw_width && h.rounded_width - h.raw_width <= strip - 1 &&
           h.raw_width >= strip && h.raw_width <= kMaxSide && h.raw_width % 24 == 0 &&
           h.strip_width == strip && h.strips >= 1 && h.strips <= kMaxStrips &&
           h.strips == h.rounded_width / strip && h.line_groups >= 1 && h.line_groups <= kMaxLineGroups &&
           h.line_groups == h.raw_height / 6;
}

uint64_t stream_length(FILE* file) {
    const off_t here = ftello(file);
    if (fseeko(file, 0, SEEK_END) != 0) return 0;
    const off_t end = ftello(file);
    if (here >= 0) fseeko(file, here, SEEK_SET);
    return end > 0 ? uint64_t(end) : 0;
}

uint32_t big_endian_u32(const uint8_t* b) {
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

} // namespace

XTransCompressed::XTransCompressed(uint16_t rawWidth, uint16_t rawHeight, uint16_t* rawBuffer,
                                   const int8_t (&xtrans)[6][6], uint32_t cfaPattern)
    : raw_width_(rawWidth), raw_height_(rawHeight), raw_buffer_(rawBuffer) {
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            xtrans_[r][c] = uint8_t(xtrans[r][c]);
    for (int i = 0; i < 4; ++i)
        bayer_[i >> 1][i & 1] = uint8_t(cfaPattern >> (2 * i) & 3);
}

int XTransCompressed::parseHeader(FILE* file, uint64_t offset) {
    input_ = file;
    if (!file) return 0;
    file_size_ = stream_length(file);
    uint8_t bytes[kHeaderSize];
    if (offset > file_size_ || file_size_ - offset < kHeaderSize) return 0;
    if (fuji_read_at(file, offset, bytes, kHeaderSize) != kHeaderSize) return 0;
    const StreamHeader h = read_header(bytes);
    if (!header_holds(h)) return 0;
    // The strip sizes follow the header and must be in the file.
    if (file_size_ - offset - kHeaderSize < uint64_t(h.strips) * 4) return 0;
    if (!raw_buffer_ || h.raw_width > raw_width_ || h.raw_height > raw_height_) return 0;
    raw_type_ = h.raw_type;
    raw_bits_ = h.raw_bits;
    raw_height_ = uint16_t(h.raw_height);
    raw_width_ = uint16_t(h.raw_width);
    strip_width_ = h.strip_width;
    strips_per_row_ = h.strips;
    line_groups_ = h.line_groups;
    header_offset_ = offset + kHeaderSize;
    return kHeaderSize;
}

bool XTransCompressed::init_fuji_compr(FujiCompressedParams& p) {
    const bool xtrans = raw_type_ == kRawTypeXTrans;
    if ((xtrans && strip_width_ % 3) || (!xtrans && strip_width_ % 2)) {
        fail(kWidthText);
        return false;
    }
    p.raw_bits = raw_bits_;
    p.total = 1 << raw_bits_;
    p.q_base = p.total - 1;
    p.max_bits = 4 * raw_bits_;
    p.min_count = 64;
    p.initial_sum = p.total >> 6;
    p.line_width = xtrans ? strip_width_ * 2 / 3 : strip_width_ / 2;
    p.xtrans = xtrans;
    try {
        p.q_table.resize(size_t(2) * p.total - 1);
    } catch (const std::bad_alloc&) {
        fail(kParamsMemoryText);
        return false;
    }
    // The class edges 18, 67 and 276 are fixed whatever the bit depth.
    for (int v = -p.q_base; v <= p.q_base; ++v) {
        int q = v <= -276 ? -4 : v <= -67 ? -3 : v <= -18 ? -2 : v < 0 ? -1 : 0;
        if (v > 0) q = v < 18 ? 1 : v < 67 ? 2 : v < 276 ? 3 : 4;
        p.q_table[size_t(v + p.q_base)] = int8_t(q);
    }
    return true;
}

bool XTransCompressed::read_strip_sizes(uint32_t* sizes) {
    std::vector<uint8_t> table(size_t(strips_per_row_) * 4);
    if (fuji_read_at(input_, header_offset_, table.data(), table.size()) != table.size()) return false;
    for (int i = 0; i < strips_per_row_; ++i)
        sizes[i] = big_endian_u32(&table[size_t(i) * 4]);
    return true;
}

int XTransCompressed::loadRaw() {
    FujiCompressedParams params{};
    if (!init_fuji_compr(params)) return 0;
    std::vector<uint32_t> sizes;
    try {
        sizes.resize(size_t(strips_per_row_));
    } catch (const std::bad_alloc&) {
        fail(kLoadMemoryText);
        return 0;
    }
    if (!read_strip_sizes(sizes.data())) {
        fail(kEofText);
        return 0;
    }
    decode_strips(params, sizes.data());
    return 0;
}

// Strips are coded independently and fill disjoint columns, so they decode side by
// side; their texts are then taken in strip order, as one strip after another would
// leave them: a later text replaces an earlier one, and a strip that stopped ends it.
void XTransCompressed::decode_strips(const FujiCompressedParams& params, const uint32_t* sizes) {
    const int n = strips_per_row_;
    std::vector<FujiStripPlace> places(static_cast<size_t>(n));
    // The first strip starts after the size table, padded to 16 bytes from the header's end.
    uint64_t offset = header_offset_ + (uint64_t(n) * 4 + 15) / 16 * 16;
    for (int s = 0; s < n; ++s) {
        const uint64_t budget = offset < file_size_ ? std::min<uint64_t>(sizes[s], file_size_ - offset) : 0;
        const int width = s + 1 < n ? kStripWidth : raw_width_ - kStripWidth * (n - 1);
        places[size_t(s)] = {input_, offset, budget, s, width};
        offset += sizes[s];
    }
    const FujiFrame frame{raw_buffer_, raw_width_, raw_height_, line_groups_, xtrans_, bayer_};
    std::vector<FujiStripOutcome> outcomes(static_cast<size_t>(n));
    run_bands(n, [&](int s) { outcomes[size_t(s)] = decode_fuji_strip(params, frame, places[size_t(s)]); });
    for (const FujiStripOutcome& outcome : outcomes) {
        if (outcome.message) fail(outcome.message);
        if (outcome.stopped) break;
    }
}

} // namespace raw
