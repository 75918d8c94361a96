#include "raw/develop/GreenMatch.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <new>

#include "raw/core/BandRunner.h"
#include "raw/core/CfaColor.h"
#include "raw/core/PhotositeAccess.h"

namespace raw {
namespace {

// Turns every second-green code 3 into 1 and leaves the other codes.
uint32_t fold_second_green(uint32_t pattern) { return pattern & (~(pattern << 1) | 0x55555555u); }

bool is_bayer_word(uint32_t folded) {
    return folded == 0x16161616u || folded == 0x61616161u || folded == 0x49494949u || folded == 0x94949494u;
}

// The walk of one band: a running green ratio b carried along a serpentine, smoothed per
// column pair, and the brighter green of each diagonal pair scaled down by it.
class BandWalk {
  public:
    BandWalk(DecoderState& s, green_match_band& band, float* column)
        : s_(s), band_(band), column_(column), width_(s.image_width), height_(s.image_height),
          floor_(std::max(3 * band.threshold, 1024)) {}

    void run() {
        const int c00 = cfa_color(s_, 0, 0);
        const int p = (c00 == 0 || c00 == 2) ? 1 : 0;
        // Matching rows need a row above and below and at least two rows above them.
        const int last = std::min(band_.end_row, height_ - 1);
        for (int i = std::max(band_.first_row, 2); i < last; ++i) {
            if ((i & 1) == 0) {
                for (int j = p; j < width_; j += 2)
                    visit(i, j);
            } else {
                int j = width_ - 1;
                if ((j & 1) != 1 - p) --j;
                for (; j >= 0; j -= 2)
                    visit(i, j);
            }
        }
    }

  private:
    uint16_t& value(int row, int col) const {
        return s_.pixel_image[size_t(row) * size_t(width_) + size_t(col)][photosite_colour(s_, row, col)];
    }

    void visit(int i, int j) {
        if (j < 2 || j > width_ - 2) return;
        const bool even = (i & 1) == 0;
        const int a = band_.threshold;
        const int h = value(i, j), l = value(i - 1, j + 1), m = value(i + 1, j - 1);
        const int o = value(i - 1, j - 1), q = value(i + 1, j + 1);
        if (h > floor_ && std::abs(h - l) < a && std::abs(m - l) < a && std::abs(o - q) < a) {
            // h > 3a and l, m within a of each other keep u well above zero.
            const int u = (l + m + o + q) / 4;
            const float r = even ? float(h) / float(u) : float(u) / float(h);
            ratio_ = 0.98f * ratio_ + 0.02f * r;
        }
        float& state = column_[j / 2];
        state = (i == band_.first_row) ? ratio_ : 0.95f * state + 0.05f * ratio_;
        if (even && state < 1.0f)
            correct(i - 1, j - 1, state, true);
        else if (!even && state > 1.0f)
            correct(i - 1, j + 1, state, false);
    }

    void correct(int row, int col, float k, bool multiply) {
        uint16_t& v = value(row, col);
        const auto fixed = uint16_t(multiply ? float(v) * k : float(v) / k);
        // The band above reads this band's first row and the row before it: hold those.
        if (row <= band_.first_row) {
            const auto* base = &s_.pixel_image[0][0];
            band_.seam.push_back({size_t(&v - base), fixed});
        } else {
            v = fixed;
        }
    }

    DecoderState& s_;
    green_match_band& band_;
    float* column_;
    const int width_, height_, floor_;
    float ratio_ = 1.0f;
};

// After matching every green of the second kind also stands in the green slot.
void move_second_greens(DecoderState& s, int begin, int end) {
    for (int row = begin; row < end; ++row)
        for (int col = 0; col < s.image_width; ++col)
            if (photosite_colour(s, row, col) == 3) {
                auto* pixel = s.pixel_image[size_t(row) * s.image_width + size_t(col)];
                pixel[1] = pixel[3];
            }
}

} // namespace

void green_match_band_worker(DecoderState& s, green_match_band& band) {
    const size_t columns = size_t(s.image_width) / 2 + 1;
    std::unique_ptr<float[]> column(new (std::nothrow) float[columns]);
    if (!column) return;
    std::fill_n(column.get(), columns, 1.0f);
    BandWalk(s, band, column.get()).run();
}

bool green_channel_match_threaded(DecoderState& s, int threshold) {
    if (!s.cfa_pattern || !s.pixel_image) return false;
    const uint32_t folded = fold_second_green(s.cfa_pattern);
    if (!is_bayer_word(folded)) return false;

    std::array<green_match_band, kBandCount> bands;
    const int height = s.image_height;
    int begin = 0;
    for (int k = 0; k < kBandCount; ++k) {
        const int end = (k + 1 == kBandCount) ? height : ((height / kBandCount) * (k + 1)) & ~1;
        bands[k] = {begin, end, threshold, {}};
        begin = end;
    }
    run_bands(kBandCount, [&](int b) { green_match_band_worker(s, bands[b]); });
    auto* slots = &s.pixel_image[0][0];
    for (const auto& band : bands)
        for (const auto& fix : band.seam)
            slots[fix.slot] = fix.value;
    run_bands(kBandCount, [&](int b) {
        const auto range = band_range(height, kBandCount, b);
        move_second_greens(s, range.begin, range.end);
    });
    s.cfa_pattern = folded;
    return true;
}

} // namespace raw
