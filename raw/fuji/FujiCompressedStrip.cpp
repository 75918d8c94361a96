#include "raw/fuji/FujiCompressedStrip.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "raw/core/DecoderError.h"
#include "raw/fuji/FujiCompressed.h"
#include "raw/fuji/FujiCompressedBits.h"

namespace raw {
namespace {

// The 18 line buffers in their fixed order: each colour's lines follow one another, so
// the line before line l is l - 1 and the one before that l - 2.
enum Line : int { R0, R1, R2, R3, R4, G0, G1, G2, G3, G4, G5, G6, G7, B0, B1, B2, B3, B4, kLineCount };

// What an X-Trans line does at its even positions; Bayer lines code them all.
enum class Even : uint8_t { coded, interpolated, interpolated_at_0, interpolated_at_2 }; // at e mod 4

struct Pass {
    int first, second;
    int set; // gradient set
    Even first_even, second_even;
};

constexpr Pass kPasses[6] = {
    {R2, G2, 0, Even::interpolated, Even::coded},
    {G3, B2, 1, Even::coded, Even::interpolated},
    {R3, G4, 2, Even::interpolated_at_0, Even::interpolated},
    {G5, B3, 0, Even::coded, Even::interpolated_at_2},
    {R4, G6, 1, Even::interpolated_at_2, Even::coded},
    {G7, B4, 2, Even::interpolated, Even::interpolated_at_0},
};

constexpr int kGradients = 41; // |9 q1 + q2| for classes -4..4

struct Gradient {
    int32_t sum;   // A
    int32_t count; // N
};

class StripDecoder {
  public:
    StripDecoder(const FujiCompressedParams& p, FujiStripBits& bits)
        : p_(p), bits_(bits), stride_(size_t(p.line_width) + 2), lines_(stride_ * kLineCount, 0) {
        for (auto* sets : {&even_, &odd_})
            for (auto& set : *sets)
                for (Gradient& g : set)
                    g = {p.initial_sum, 1};
    }

    // Decodes one group of six rows; returns how many codes fell out of range.
    int decode_group() {
        errors_ = 0;
        for (const Pass& pass : kPasses) {
            run_pass(pass);
            refresh_edges();
        }
        return errors_;
    }

    void copy_group(const FujiFrame& frame, int group, int column, int width) const;
    void rotate_lines();

  private:
    uint16_t* line(int l) { return lines_.data() + size_t(l) * stride_; }
    const uint16_t* line(int l) const { return lines_.data() + size_t(l) * stride_; }

    bool interpolated(Even rule, int e) const {
        if (!p_.xtrans) return false;
        switch (rule) {
        case Even::coded:
            return false;
        case Even::interpolated:
            return true;
        case Even::interpolated_at_0:
            return e % 4 == 0;
        case Even::interpolated_at_2:
            return e % 4 == 2;
        }
        return false;
    }

    void run_pass(const Pass& pass) {
        const int width = p_.line_width;
        int e = 0, o = 1;
        while (e < width || o < width) {
            if (e < width) {
                even(pass.first, e, pass.set, interpolated(pass.first_even, e));
                even(pass.second, e, pass.set, interpolated(pass.second_even, e));
                e += 2;
            }
            if (e > 8 && o < width) {
                odd(pass.first, o, pass.set);
                odd(pass.second, o, pass.set);
                o += 2;
            }
        }
    }

    void even(int l, int pos, int set, bool interpolate);
    void odd(int l, int pos, int set);
    uint16_t decode_sample(Gradient& g, int gradient, int predicted);
    void refresh_edges();

    const FujiCompressedParams& p_;
    FujiStripBits& bits_;
    size_t stride_;
    std::vector<uint16_t> lines_;
    Gradient even_[3][kGradients];
    Gradient odd_[3][kGradients];
    int errors_ = 0;
};

// The weighted mean of the line above, leaning away from the steepest neighbour; four
// times the value.
int interpolation(int rb, int rc, int rd, int rf) {
    const int bc = std::abs(rb - rc), bd = std::abs(rb - rd), bf = std::abs(rb - rf);
    if (bc > bf && bc > bd) return rf + rd + 2 * rb;
    if (bd > bf && bd > bc) return rf + rc + 2 * rb;
    return rc + rd + 2 * rb;
}

// Position p sits at index p + 1 of its line; indices 0 and width + 1 are edge copies.
void StripDecoder::even(int l, int pos, int set, bool interpolate) {
    const uint16_t* k = line(l - 1) + pos + 1;
    const uint16_t* j = line(l - 2) + pos + 1;
    const int rb = k[0], rc = k[-1], rd = k[1], rf = j[0];
    const int i = interpolation(rb, rc, rd, rf);
    uint16_t& out = line(l)[pos + 1];
    if (interpolate) {
        out = uint16_t(i >> 2);
        return;
    }
    const int gradient = 9 * p_.quantise(rb - rf) + p_.quantise(rc - rb);
    out = decode_sample(even_[set][std::abs(gradient)], gradient, i >> 2);
}

void StripDecoder::odd(int l, int pos, int set) {
    const uint16_t* k = line(l - 1) + pos + 1;
    uint16_t* cur = line(l) + pos + 1;
    const int ra = cur[-1], rg = cur[1], rb = k[0], rc = k[-1], rd = k[1];
    const int gradient = p_.quantise(rc - ra) + 9 * p_.quantise(rb - rc);
    const bool peak = (rb > rc && rb > rd) || (rb < rc && rb < rd);
    const int predicted = peak ? (ra + rg + 2 * rb) >> 2 : (ra + rg) >> 1;
    cur[0] = decode_sample(odd_[set][std::abs(gradient)], gradient, predicted);
}

uint16_t StripDecoder::decode_sample(Gradient& g, int gradient, int predicted) {
    const int escape = p_.max_bits - p_.raw_bits - 1;
    const int z = bits_.zeros(escape);
    int code;
    if (z < escape) {
        int k = 0;
        while (k < 15 && (int64_t(g.count) << k) < g.sum)
            ++k;
        code = (z << k) + int(bits_.take(k));
    } else {
        code = 1 + int(bits_.take(p_.raw_bits));
    }
    if (code < 0 || code >= p_.total) ++errors_;
    const int d = (code & 1) ? -(code >> 1) - 1 : code >> 1;
    g.sum += std::abs(d);
    if (g.count == p_.min_count) {
        g.sum >>= 1;
        g.count >>= 1;
    }
    ++g.count;
    int value = gradient < 0 ? predicted - d : predicted + d;
    if (value < 0)
        value += p_.total;
    else if (value > p_.q_base)
        value -= p_.total;
    return uint16_t(std::clamp(value, 0, p_.q_base));
}

// Every line takes its edges from the line before, in order; refreshing all lines after
// each pass gives the same values wherever a later pass reads an edge.
void StripDecoder::refresh_edges() {
    const int width = p_.line_width;
    for (int first : {R0, G0, B0}) {
        const int last = first == G0 ? G7 : first + 4;
        for (int l = first + 2; l <= last; ++l) {
            const uint16_t* prev = line(l - 1);
            uint16_t* cur = line(l);
            cur[0] = prev[1];
            cur[width + 1] = prev[width];
        }
    }
}

void StripDecoder::rotate_lines() {
    const size_t bytes = stride_ * sizeof(uint16_t);
    for (auto [to, from] : {std::pair{R0, R3}, {R1, R4}, {G0, G6}, {G1, G7}, {B0, B3}, {B1, B4}})
        std::memcpy(line(to), line(from), bytes);
    for (auto [first, last] : {std::pair{R2, R4}, {G2, G7}, {B2, B4}})
        std::memset(line(first), 0, bytes * size_t(last - first + 1));
    refresh_edges();
}

// Row r of the group takes red from R(2 + r/2), green from G(2 + r) and blue from
// B(2 + r/2); X-Trans lines hold two samples per three columns.
void StripDecoder::copy_group(const FujiFrame& frame, int group, int column, int width) const {
    for (int r = 0; r < 6; ++r) {
        const int64_t row = int64_t(group) * 6 + r;
        if (row >= frame.height) return;
        uint16_t* out = frame.raw + row * frame.width + column;
        for (int x = 0; x < width; ++x) {
            const int colour = p_.xtrans ? frame.xtrans[r][x % 6] : frame.bayer[r % 2][x % 2];
            const int l = colour == 0 ? R2 + r / 2 : colour == 2 ? B2 + r / 2 : G2 + r;
            const int sample = p_.xtrans ? x / 3 * 2 + (x % 3 ? 1 : 0) : x >> 1;
            out[x] = line(l)[sample + 1];
        }
    }
}

const char* block_error_text(const FujiCompressedParams& p) {
    return p.xtrans ? XTransCompressed::kXTransBlockText : XTransCompressed::kBayerBlockText;
}

} // namespace

FujiStripOutcome decode_fuji_strip(const FujiCompressedParams& params, const FujiFrame& frame,
                                   const FujiStripPlace& place) {
    FujiStripOutcome outcome;
    try {
        // The read buffer and the line buffers are all a strip allocates.
        FujiStripBits bits(place.file, place.offset, place.budget);
        StripDecoder decoder(params, bits);
        const int column = place.index * XTransCompressed::kStripWidth;
        for (int g = 0; g < frame.line_groups; ++g) {
            if (decoder.decode_group() > 0) outcome.message = block_error_text(params);
            decoder.copy_group(frame, g, column, place.width);
            decoder.rotate_lines();
        }
    } catch (const std::bad_alloc&) {
        outcome = {XTransCompressed::kBlockMemoryText, true};
    } catch (const DecoderText& thrown) {
        outcome = {thrown.text ? thrown.text : XTransCompressed::kExceptionText, true};
    } catch (...) {
        outcome = {XTransCompressed::kUnknownText, true};
    }
    return outcome;
}

} // namespace raw
