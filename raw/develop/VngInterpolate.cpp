// Variable number of gradients: from bilinear values, eight directional gradients are
// measured over the 5x5 block and only the smoother directions feed the colour differences.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "raw/core/BandRunner.h"
#include "raw/core/CfaColor.h"
#include "raw/core/DecoderError.h"
#include "raw/core/PeriodTable.h"
#include "raw/develop/Demosaic.h"

namespace raw {
namespace {

struct GradientTerm {
    int8_t y1, x1, y2, x2, weight;
    uint8_t gradients; // bit g: feeds direction g
};

constexpr GradientTerm kTerms[64] = {
    {-2, -2, 0, -1, 0, 0x01}, {-2, -2, 0, 0, 1, 0x01},  {-2, -1, -1, 0, 0, 0x01}, {-2, -1, 0, -1, 0, 0x02},
    {-2, -1, 0, 0, 0, 0x03},  {-2, -1, 0, 1, 1, 0x01},  {-2, 0, 0, -1, 0, 0x06},  {-2, 0, 0, 0, 1, 0x02},
    {-2, 0, 0, 1, 0, 0x03},   {-2, 1, -1, 0, 0, 0x04},  {-2, 1, 0, -1, 1, 0x04},  {-2, 1, 0, 0, 0, 0x06},
    {-2, 1, 0, 1, 0, 0x02},   {-2, 2, 0, 0, 1, 0x04},   {-2, 2, 0, 1, 0, 0x04},   {-1, -2, -1, 0, 0, 0x80},
    {-1, -2, 0, -1, 0, 0x01}, {-1, -2, 1, -1, 0, 0x01}, {-1, -2, 1, 0, 1, 0x01},  {-1, -1, -1, 1, 0, 0x88},
    {-1, -1, 1, -2, 0, 0x40}, {-1, -1, 1, -1, 0, 0x22}, {-1, -1, 1, 0, 0, 0x33},  {-1, -1, 1, 1, 1, 0x11},
    {-1, 0, -1, 2, 0, 0x08},  {-1, 0, 0, -1, 0, 0x44},  {-1, 0, 0, 1, 0, 0x11},   {-1, 0, 1, -2, 1, 0x40},
    {-1, 0, 1, -1, 0, 0x66},  {-1, 0, 1, 0, 1, 0x22},   {-1, 0, 1, 1, 0, 0x33},   {-1, 0, 1, 2, 1, 0x10},
    {-1, 1, 1, -1, 1, 0x44},  {-1, 1, 1, 0, 0, 0x66},   {-1, 1, 1, 1, 0, 0x22},   {-1, 1, 1, 2, 0, 0x10},
    {-1, 2, 0, 1, 0, 0x04},   {-1, 2, 1, 0, 1, 0x04},   {-1, 2, 1, 1, 0, 0x04},   {0, -2, 0, 0, 1, 0x80},
    {0, -1, 0, 1, 1, 0x88},   {0, -1, 1, -2, 0, 0x40},  {0, -1, 1, 0, 0, 0x11},   {0, -1, 2, -2, 0, 0x40},
    {0, -1, 2, -1, 0, 0x20},  {0, -1, 2, 0, 0, 0x30},   {0, -1, 2, 1, 1, 0x10},   {0, 0, 0, 2, 1, 0x08},
    {0, 0, 2, -2, 1, 0x40},   {0, 0, 2, -1, 0, 0x60},   {0, 0, 2, 0, 1, 0x20},    {0, 0, 2, 1, 0, 0x30},
    {0, 0, 2, 2, 1, 0x10},    {0, 1, 1, 0, 0, 0x44},    {0, 1, 1, 2, 0, 0x10},    {0, 1, 2, -1, 1, 0x40},
    {0, 1, 2, 0, 0, 0x60},    {0, 1, 2, 1, 0, 0x20},    {0, 1, 2, 2, 0, 0x10},    {1, -2, 1, 0, 0, 0x80},
    {1, -1, 1, 1, 0, 0x88},   {1, 0, 1, 2, 0, 0x08},    {1, 0, 2, -1, 0, 0x40},   {1, 0, 2, 1, 0, 0x10},
};

// Directions 0..7 clockwise from up-left.
constexpr int8_t kDirections[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}};

using Pixel = std::array<uint16_t, 4>;

// What one position of the pattern's period compares and averages, as slot offsets.
struct VngCode {
    struct Term {
        int first, second;
        uint8_t weight, gradients;
    };
    std::vector<Term> terms;
    int colour;
    int neighbour[8];
    int second[8]; // the own colour two steps out, used where has_second is set
    bool has_second[8];
};

VngCode build_code(const DecoderState& s, int row, int col) {
    auto colour = [&](int y, int x) { return cfa_color(s, row + y, col + x); };
    const int width = s.image_width;
    VngCode code;
    for (const auto& t : kTerms) {
        const int c = colour(t.y1, t.x1);
        if (colour(t.y2, t.x2) != c) continue;
        const int diag = (colour(0, 1) == c && colour(1, 0) == c) ? 2 : 1;
        if (std::abs(t.y1 - t.y2) == diag && std::abs(t.x1 - t.x2) == diag) continue;
        code.terms.push_back(
            {(t.y1 * width + t.x1) * 4 + c, (t.y2 * width + t.x2) * 4 + c, uint8_t(t.weight), t.gradients});
    }
    code.colour = colour(0, 0);
    for (int g = 0; g < 8; ++g) {
        const int y = kDirections[g][0], x = kDirections[g][1];
        code.neighbour[g] = (y * width + x) * 4;
        code.has_second[g] = colour(y, x) != code.colour && colour(2 * y, 2 * x) == code.colour;
        code.second[g] = (y * width + x) * 8 + code.colour;
    }
    return code;
}

using VngTable = PeriodTable<VngCode>;

VngTable make_table(const DecoderState& s) {
    const bool xtrans = s.cfa_pattern == kPatternXTrans, leaf = s.cfa_pattern == kPatternLeaf16;
    const int rows = xtrans ? 6 : leaf ? 16 : 8, columns = xtrans ? 6 : leaf ? 16 : 2;
    return VngTable(rows, columns, [&](int row, int col) { return build_code(s, row, col); });
}

void vng_pixel(const VngCode& code, const uint16_t* pixel, int colours, uint16_t* out) {
    int gval[8] = {};
    for (const auto& term : code.terms) {
        const int d = std::abs(pixel[term.first] - pixel[term.second]) << term.weight;
        for (unsigned mask = term.gradients; mask; mask &= mask - 1)
            gval[__builtin_ctz(mask)] += d;
    }
    std::memcpy(out, pixel, sizeof(Pixel));
    const auto [gmin, gmax] = std::minmax_element(gval, gval + 8);
    if (*gmax == 0) return;
    const int threshold = *gmin + (*gmax >> 1);
    const int own = code.colour;
    int sum[4] = {}, num = 0;
    for (int g = 0; g < 8; ++g) {
        if (gval[g] > threshold) continue;
        ++num;
        const uint16_t* next = pixel + code.neighbour[g];
        for (int c = 0; c < colours; ++c)
            sum[c] += (c == own && code.has_second[g]) ? (pixel[c] + pixel[code.second[g]]) >> 1 : next[c];
    }
    for (int c = 0; c < colours; ++c)
        if (c != own) out[c] = uint16_t(std::clamp(pixel[own] + (sum[c] - sum[own]) / num, 0, 65535));
}

// One band's results in flight. Gradients must read bilinear values only, so a row is
// written back two rows behind the scan; the band's first and last two rows, which the
// neighbouring bands read, wait until every band is done.
class VngBand {
  public:
    VngBand(int begin, int end, int width)
        : begin_(begin), end_(end), width_(width), ring_(3 * size_t(width)), held_(4 * size_t(width)) {}

    void run(DecoderState& s, const VngTable& table) {
        const int colours = std::min(s.colour_count, 4);
        for (int row = begin_; row < end_; ++row) {
            Pixel* out = held(row) ? hold(row) : &ring_[size_t(row % 3) * width_];
            for (int col = 2; col < width_ - 2; ++col)
                vng_pixel(table.at(row, col), s.pixel_image[size_t(row) * width_ + col], colours,
                          out[col].data());
            const int back = row - 2;
            if (back >= begin_ && !held(back)) store(s, back, &ring_[size_t(back % 3) * width_]);
        }
    }

    void write_held(DecoderState& s) {
        for (int h = 0; h < held_count_; ++h)
            store(s, held_row_[h], &held_[size_t(h) * width_]);
    }

  private:
    bool held(int row) const { return row < begin_ + 2 || row >= end_ - 2; }
    Pixel* hold(int row) {
        held_row_[held_count_] = row;
        return &held_[size_t(held_count_++) * width_];
    }
    void store(DecoderState& s, int row, const Pixel* from) const {
        std::memcpy(s.pixel_image[size_t(row) * width_ + 2], &from[2], sizeof(Pixel) * size_t(width_ - 4));
    }

    int begin_, end_, width_;
    std::vector<Pixel> ring_, held_;
    int held_row_[4] = {};
    int held_count_ = 0;
};

void vng_in_bands(DecoderState& s, int band_count) {
    if (band_count > 1)
        bilinear_interpolate_threaded(s);
    else
        bilinear_interpolate(s);
    if (s.verbose_output) std::fprintf(stderr, "VNG interpolation...\n");
    const int height = s.image_height, width = s.image_width;
    if (height < 5 || width < 5) return;
    std::vector<VngBand> bands;
    std::unique_ptr<VngTable> table;
    try {
        table = std::make_unique<VngTable>(make_table(s));
        bands.reserve(size_t(band_count));
        for (int b = 0; b < band_count; ++b) {
            const auto range = band_range(height - 4, band_count, b);
            bands.emplace_back(2 + range.begin, 2 + range.end, width);
        }
    } catch (const std::bad_alloc&) {
        memory_error(s, nullptr, "vng_interpolate()");
    }
    run_bands(band_count, [&](int b) { bands[size_t(b)].run(s, *table); });
    for (auto& band : bands)
        band.write_held(s);
}

} // namespace

void vng_interpolate(DecoderState& s) { vng_in_bands(s, 1); }

void vng_interpolate_threaded(DecoderState& s) { vng_in_bands(s, kBandCount); }

} // namespace raw
