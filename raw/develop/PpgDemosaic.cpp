// Patterned pixel grouping for Bayer mosaics, in three passes over the 5x5 neighbourhood:
// green at red and blue photosites along the smoothest of four directions; red and blue at
// green photosites by hue transit; then blue at red and red at blue along the smoother
// diagonal.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "raw/core/CfaColor.h"
#include "raw/develop/Demosaic.h"

namespace raw {
namespace {

constexpr int kGreen = 1;
constexpr int kBorder = 3;

uint16_t clip(int64_t v) { return uint16_t(std::clamp<int64_t>(v, 0, 65535)); }

// Follows the colour difference between two known photosites when the green runs
// monotonically through the middle one, and falls back to a damped mean when it does not.
int64_t hue_transit(int64_t l1, int64_t l2, int64_t l3, int64_t v1, int64_t v3) {
    if ((l1 < l2 && l2 < l3) || (l1 > l2 && l2 > l3)) return v1 + (v3 - v1) * (l2 - l1) / (l3 - l1);
    return (v1 + v3) / 2 + (l2 * 2 - l1 - l3) / 4;
}

class Ppg {
  public:
    explicit Ppg(DecoderState& s) : s_(s), height_(s.image_height), width_(s.image_width) {}

    template <typename Step> void each_pixel(Step step) {
        for (int row = kBorder; row < height_ - kBorder; ++row)
            for (int col = kBorder; col < width_ - kBorder; ++col) {
                // A second-green code that pre-interpolation left unfolded still counts as green.
                const int f = cfa_color(s_, row, col);
                step(row, col, f == 3 ? kGreen : f);
            }
    }

    void green_at_red_and_blue(int r, int c, int f) {
        if (f == kGreen) return;
        const int64_t centre = v(r, c, f), up2 = v(r - 2, c, f), down2 = v(r + 2, c, f);
        const int64_t left2 = v(r, c - 2, f), right2 = v(r, c + 2, f);
        const int64_t up = g(r - 1, c), down = g(r + 1, c), left = g(r, c - 1), right = g(r, c + 1);
        const int64_t vertical = std::abs(up - down), horizontal = std::abs(left - right);
        const int64_t gradient[4] = {
            std::abs(centre - up2) * 2 + vertical, std::abs(centre - right2) * 2 + horizontal,
            std::abs(centre - left2) * 2 + horizontal, std::abs(centre - down2) * 2 + vertical};
        const int64_t estimate[4] = {
            (up * 3 + down + centre - up2) / 4, (right * 3 + left + centre - right2) / 4,
            (left * 3 + right + centre - left2) / 4, (down * 3 + up + centre - down2) / 4};
        const auto best = std::min_element(gradient, gradient + 4) - gradient;
        at(r, c)[kGreen] = clip(estimate[best]);
    }

    void red_and_blue_at_green(int r, int c, int f) {
        if (f != kGreen) return;
        const int across = cfa_color(s_, r, c - 1), along = cfa_color(s_, r - 1, c);
        at(r, c)[across] =
            clip(hue_transit(g(r, c - 1), g(r, c), g(r, c + 1), v(r, c - 1, across), v(r, c + 1, across)));
        at(r, c)[along] =
            clip(hue_transit(g(r - 1, c), g(r, c), g(r + 1, c), v(r - 1, c, along), v(r + 1, c, along)));
    }

    void other_at_red_and_blue(int r, int c, int f) {
        if (f == kGreen) return;
        const int o = 2 - f;
        const int64_t centre = v(r, c, f), green = g(r, c);
        const int64_t rising = std::abs(v(r - 1, c + 1, o) - v(r + 1, c - 1, o)) +
                               std::abs(v(r - 2, c + 2, f) - centre) + std::abs(centre - v(r + 2, c - 2, f)) +
                               std::abs(g(r - 1, c + 1) - green) + std::abs(green - g(r + 1, c - 1));
        const int64_t falling = std::abs(v(r - 1, c - 1, o) - v(r + 1, c + 1, o)) +
                                std::abs(v(r - 2, c - 2, f) - centre) +
                                std::abs(centre - v(r + 2, c + 2, f)) + std::abs(g(r - 1, c - 1) - green) +
                                std::abs(green - g(r + 1, c + 1));
        const int dc = rising < falling ? 1 : -1; // column step of the diagonal going up
        at(r, c)[o] = clip(
            hue_transit(g(r - 1, c + dc), green, g(r + 1, c - dc), v(r - 1, c + dc, o), v(r + 1, c - dc, o)));
    }

  private:
    uint16_t* at(int r, int c) const { return s_.pixel_image[size_t(r) * width_ + c]; }
    int64_t v(int r, int c, int channel) const { return at(r, c)[channel]; }
    int64_t g(int r, int c) const { return at(r, c)[kGreen]; }

    DecoderState& s_;
    const int height_, width_;
};

} // namespace

void ppg_demosaic(DecoderState& s) {
    if (s.verbose_output) std::fprintf(stderr, "PPG interpolation...\n");
    decoder_border_fill(s, kBorder);
    Ppg ppg(s);
    // Each pass reads only what the passes before it wrote, so the order within one is free.
    ppg.each_pixel([&](int r, int c, int f) { ppg.green_at_red_and_blue(r, c, f); });
    ppg.each_pixel([&](int r, int c, int f) { ppg.red_and_blue_at_green(r, c, f); });
    ppg.each_pixel([&](int r, int c, int f) { ppg.other_at_red_and_blue(r, c, f); });
}

} // namespace raw
