// Demosaicing by linear minimum mean-square-error estimation of colour differences: the
// alternate rendering, which the raw combine stage blends with the AHD master.
#include "raw/develop/LmmseDemosaic.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "platform/Log.h"
#include "raw/core/BandRunner.h"
#include "raw/develop/XTransRecipes.h"

namespace raw {
namespace {

using namespace lmmse_detail;

constexpr int kTile = 284; // 256 output positions and a margin of 14 on every side
constexpr int kTileStep = 250;
constexpr int kMargin = 14;
constexpr int kPlane = kTile * kTile;
constexpr int kRawStride = kTile + 4; // photosite tiles keep two more positions each side
constexpr int kRawSize = kRawStride * kRawStride;
// The recipes of the fusion worker read the photosite tiles.
constexpr sample_layout kPhotositeLayout{kRawStride, 1, false};
constexpr int kBorder = 16;
constexpr float kScale = 1.0f / 65535.0f;
// Smoothing and fusion only cover tile positions kInner ... kTile - 1 - kInner.
constexpr int kInner = 10;

// Normalised Gaussians, centre tap first.
constexpr float kGauss9[5] = {0.2041637f, 0.18017383f, 0.12383155f, 0.06628225f, 0.027630553f};
constexpr float kGauss17[9] = {0.10315262f, 0.099978946f, 0.091031864f, 0.077863686f, 0.06256523f,
                               0.04722671f, 0.033488754f, 0.02230832f,  0.013960189f};

std::atomic<WorkArea> failingArea{WorkArea::none};

template <class T> std::unique_ptr<T[]> zeroed(size_t count, WorkArea area = WorkArea::planes) {
    if (failingArea == area) return nullptr;
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]());
}

uint16_t to_sample(float v) {
    const float x = v * 65535.0f + 0.5f;
    return x > 0 ? (x < 65535.0f ? uint16_t(x) : uint16_t(65535)) : uint16_t(0);
}

int raw_index(int p) { return (p / kTile + 2) * kRawStride + p % kTile + 2; }

// Where a tile lies: image position of tile position (0, 0) and the image rectangle it
// writes.
struct TilePlace {
    int top, left;
    int row_end, col_end; // output rows and columns start at top/left + kMargin
    int out_row() const { return top + kMargin; }
    int out_col() const { return left + kMargin; }
};

// The tile whose first output pixel is (row, col); it writes up to 256 rows and columns,
// short of the `edge` last ones of the image and of the next band's rows.
TilePlace place_tile(const band_job& b, int row, int col, int edge) {
    return {row - kMargin, col - kMargin, std::min({row + 256, b.height - edge, b.write_end}),
            std::min(col + 256, b.width - edge)};
}

// The photosites of a tile with two positions of margin (0 outside the image) and their
// colours.
struct TileInput {
    std::unique_ptr<uint16_t[]> raw;
    std::unique_ptr<uint8_t[]> colours;
    bool allocate() {
        raw = zeroed<uint16_t>(kRawSize);
        colours = zeroed<uint8_t>(kPlane);
        return raw && colours;
    }
    float photo(int p) const { return raw[raw_index(p)] * kScale; }
    const uint16_t* raw_row(int tr) const { return raw.get() + (tr + 2) * kRawStride + 2; }
    void load(const band_job& b, const TilePlace& t);
};

void TileInput::load(const band_job& b, const TilePlace& t) {
    for (int rr = 0; rr < kRawStride; ++rr) {
        uint16_t* dst = raw.get() + rr * kRawStride;
        std::fill(dst, dst + kRawStride, 0);
        const int64_t row = int64_t(t.top) - 2 + rr, col = int64_t(t.left) - 2;
        if (row < 0 || row >= b.height) continue;
        const int64_t from = std::max<int64_t>(col, 0), to = std::min<int64_t>(col + kRawStride, b.width);
        if (from < to)
            std::memcpy(dst + (from - col), b.mosaic + row * b.width + from, size_t(to - from) * 2);
    }
    for (int tr = 0; tr < kTile; ++tr)
        demosaic_colour_row(b.filters, t.top + tr, t.left, kTile, &colours[tr * kTile]);
}

// Symmetric smoothing of `src` along `step` over the inner square; the frame stays 0 so
// that the fusion near the tile edge never sees values of an earlier tile.
// With Split, each row holds its even columns in 0 ... kHalf - 1 and its odd ones after
// them; the same positions are smoothed.
constexpr int kHalf = kTile / 2;
template <bool Split = false, int Taps>
void smooth(const float* src, float* dst, int step, const float (&kernel)[Taps]) {
    for (int tr = 0; tr < kTile; ++tr) {
        float* out = dst + tr * kTile;
        if (tr < kInner || tr >= kTile - kInner) {
            std::fill(out, out + kTile, 0.0f);
            continue;
        }
        const float* in = src + tr * kTile;
        const auto run = [&](int from, int to) {
            for (int tc = from; tc < to; ++tc)
                out[tc] = kernel[0] * in[tc];
            for (int k = 1; k < Taps; ++k)
                for (int tc = from; tc < to; ++tc)
                    out[tc] += kernel[k] * (in[tc - k * step] + in[tc + k * step]);
        };
        if constexpr (Split) {
            std::fill(out, out + kTile, 0.0f);
            run(kInner / 2, (kTile - kInner) / 2);
            run(kHalf + kInner / 2, kHalf + (kTile - kInner) / 2);
        } else {
            std::fill(out, out + kInner, 0.0f);
            std::fill(out + kTile - kInner, out + kTile, 0.0f);
            run(kInner, kTile - kInner);
        }
    }
}

// Signal and noise of one direction's difference over the 9 positions around each inner
// position of tile row tr: S = 1e-7 + sum (smoothed - mean)^2, N = 1e-7 + sum (raw - smoothed)^2.
struct RowWindows {
    float signal[kTile], noise[kTile];
};

struct Window {
    float signal, noise;
};

// One pass per block of positions: the sums stay in registers instead of being stored and
// reloaded for each of the 9 taps. Each position's sums keep the tap order -4 ... 4.
void row_windows(const float* smoothed, const float* raw, int tr, int step, RowWindows& w) {
    constexpr int from = kInner, to = kTile - kInner, kBlock = 8;
    static_assert((to - from) % kBlock == 0);
    const float* __restrict s = smoothed + tr * kTile;
    const float* __restrict r = raw + tr * kTile;
    for (int tc0 = from; tc0 < to; tc0 += kBlock) {
        float mean[kBlock], signal[kBlock], noise[kBlock];
        for (int j = 0; j < kBlock; ++j)
            mean[j] = 0.0f;
        for (int k = -4; k <= 4; ++k)
            for (int j = 0; j < kBlock; ++j)
                mean[j] += s[tc0 + j + k * step];
        for (int j = 0; j < kBlock; ++j) {
            mean[j] /= 9.0f;
            signal[j] = noise[j] = 1e-7f;
        }
        for (int k = -4; k <= 4; ++k)
            for (int j = 0; j < kBlock; ++j) {
                const float sv = s[tc0 + j + k * step];
                const float d = sv - mean[j], e = r[tc0 + j + k * step] - sv;
                signal[j] += d * d;
                noise[j] += e * e;
            }
        for (int j = 0; j < kBlock; ++j) {
            w.signal[tc0 + j] = signal[j];
            w.noise[tc0 + j] = noise[j];
        }
    }
}

// The same sums at kSpread positions whose taps -4 ... 4 lie at s[k][i] (smoothed) and
// r[k][i] (difference); the last block overlaps the one before.
constexpr int kSpread = (kTile - 2 * kInner) / 2;
struct SpreadWindows {
    float signal[kSpread], noise[kSpread];
};

void tap_windows(const float* const (&s)[9], const float* const (&r)[9], SpreadWindows& w) {
    constexpr int kBlock = 8;
    for (int i0 = 0;; i0 += kBlock) {
        i0 = std::min(i0, kSpread - kBlock);
        float mean[kBlock], signal[kBlock], noise[kBlock];
        for (int j = 0; j < kBlock; ++j)
            mean[j] = 0.0f;
        for (int k = 0; k < 9; ++k)
            for (int j = 0; j < kBlock; ++j)
                mean[j] += s[k][i0 + j];
        for (int j = 0; j < kBlock; ++j) {
            mean[j] /= 9.0f;
            signal[j] = noise[j] = 1e-7f;
        }
        for (int k = 0; k < 9; ++k)
            for (int j = 0; j < kBlock; ++j) {
                const float sv = s[k][i0 + j];
                const float d = sv - mean[j], e = r[k][i0 + j] - sv;
                signal[j] += d * d;
                noise[j] += e * e;
            }
        for (int j = 0; j < kBlock; ++j) {
            w.signal[i0 + j] = signal[j];
            w.noise[i0 + j] = noise[j];
        }
        if (i0 == kSpread - kBlock) break;
    }
}

struct Estimate {
    float value, variance;
};

Estimate lmmse_estimate(float d, float ds, Window w) {
    const float total = w.signal + w.noise;
    return {(d * w.signal + ds * w.noise) / total, w.signal * w.noise / total};
}

float fuse(Estimate h, Estimate v) {
    return (h.value * v.variance + v.value * h.variance) / (v.variance + h.variance);
}

bool red_or_blue(int colour) { return colour == 0 || colour == 2; }

// A worker's float planes of one tile, with the tile's photosites.
template <int Planes> struct TileArea {
    std::unique_ptr<float[]> planes;
    TileInput input;
    float* q[Planes];
    bool allocate_planes() {
        planes = zeroed<float>(size_t(Planes) * kPlane);
        if (!planes || !input.allocate()) return false;
        for (int k = 0; k < Planes; ++k)
            q[k] = planes.get() + k * kPlane;
        return true;
    }
    int colour(int p) const { return input.colours[p]; }
};

// ---------------------------------------------------------------- plain worker

// Planes: 0 horizontal and 1 vertical difference, 2 and 3 their smoothed values, 4 the
// photosite and later the fused difference, 5 refinement scratch. Channels 0 to 2 of the
// result take planes 0 to 2 once the differences are done with.
using PlainArea = TileArea<6>;

float directional_difference(const float* x, int step, float w, bool green) {
    const float m2 = x[-2 * step], m1 = x[-step], c = x[0], p1 = x[step], p2 = x[2 * step];
    float e = 0.5f * (m1 + c + p1) - 0.25f * (m2 + p2);
    if (green) return c - std::clamp(e, 0.0f, 1.0f);
    if (c > 1.75f * (0.5f * e + w))
        e = std::clamp(e, std::min(m1, p1), std::max(m1, p1));
    else
        e = std::clamp(e, 0.0f, 1.0f);
    return e - c;
}

void plain_differences(PlainArea& a) {
    const float* x = a.q[4];
    for (int tr = 0; tr < kTile; ++tr) {
        const uint16_t* raw = a.input.raw_row(tr);
        for (int tc = 0; tc < kTile; ++tc)
            a.q[4][tr * kTile + tc] = raw[tc] * kScale;
    }
    for (int tr = 2; tr < kTile - 2; ++tr)
        for (int tc = 2; tc < kTile - 2; ++tc) {
            const int p = tr * kTile + tc;
            const float w =
                0.0625f * (x[p - kTile - 1] + x[p - kTile + 1] + x[p + kTile - 1] + x[p + kTile + 1]) +
                0.25f * x[p];
            const bool green = is_green_colour(a.colour(p));
            a.q[0][p] = directional_difference(x + p, 1, w, green);
            a.q[1][p] = directional_difference(x + p, kTile, w, green);
        }
}

void plain_fusion(PlainArea& a) {
    RowWindows h, v;
    for (int tr = kInner; tr < kTile - kInner; ++tr) {
        row_windows(a.q[2], a.q[0], tr, 1, h);
        row_windows(a.q[3], a.q[1], tr, kTile, v);
        for (int tc = kInner; tc < kTile - kInner; ++tc) {
            const int p = tr * kTile + tc;
            if (!red_or_blue(a.colour(p))) continue;
            a.q[4][p] = fuse(lmmse_estimate(a.q[0][p], a.q[2][p], {h.signal[tc], h.noise[tc]}),
                             lmmse_estimate(a.q[1][p], a.q[3][p], {v.signal[tc], v.noise[tc]}));
        }
    }
}

// Own colours from the photosites, green at red and blue from the fused difference.
void plain_reload(PlainArea& a) {
    for (int p = 0; p < kPlane; ++p) {
        const int c = a.colour(p);
        const float x = a.input.photo(p);
        a.q[0][p] = a.q[1][p] = a.q[2][p] = 0;
        if (is_green_colour(c)) {
            a.q[1][p] = x;
        } else {
            a.q[c][p] = x;
            a.q[1][p] = x + a.q[4][p];
        }
    }
}

int own_channel(int colour) { return is_green_colour(colour) ? 1 : colour; }

void plain_missing_colours(PlainArea& a) {
    float* g = a.q[1];
    auto side_mean = [&](int p, int step) {
        const int ch = a.colour(p + step);
        if (!red_or_blue(ch)) return;
        a.q[ch][p] = g[p] + 0.5f * ((a.q[ch][p - step] - g[p - step]) + (a.q[ch][p + step] - g[p + step]));
    };
    for (int tr = 1; tr < kTile - 1; ++tr)
        for (int tc = 1; tc < kTile - 1; ++tc) {
            const int p = tr * kTile + tc;
            if (!is_green_colour(a.colour(p))) continue;
            side_mean(p, 1);
            side_mean(p, kTile);
        }
    for (int tr = 1; tr < kTile - 1; ++tr)
        for (int tc = 1; tc < kTile - 1; ++tc) {
            const int p = tr * kTile + tc, c = a.colour(p);
            if (!red_or_blue(c)) continue;
            float sum = 0;
            for (int n : {p - kTile - 1, p - kTile + 1, p + kTile - 1, p + kTile + 1})
                sum += a.q[own_channel(a.colour(n))][n] - g[n];
            a.q[2 - c][p] = g[p] + 0.25f * sum;
        }
}

// out = median of the 3 x 3 block of (colour - green) on the inner positions, the plain
// difference on the outermost ring.
void median_difference(const float* colour, const float* green, float* scratch, float* out) {
    for (int p = 0; p < kPlane; ++p)
        out[p] = scratch[p] = colour[p] - green[p];
    for (int tr = 1; tr < kTile - 1; ++tr)
        for (int tc = 1; tc < kTile - 1; ++tc) {
            const int p = tr * kTile + tc;
            float v[9];
            for (int k = 0, dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc)
                    v[k++] = scratch[p + dr * kTile + dc];
            std::nth_element(v, v + 4, v + 9);
            out[p] = v[4];
        }
}

void plain_refine(PlainArea& a, int passes) {
    float *red = a.q[0], *green = a.q[1], *blue = a.q[2];
    float *red_diff = a.q[3], *blue_diff = a.q[4];
    for (int pass = 0; pass < passes; ++pass) {
        median_difference(red, green, a.q[5], red_diff);
        median_difference(blue, green, a.q[5], blue_diff);
        for (int tr = 1; tr < kTile - 1; ++tr)
            for (int tc = 1; tc < kTile - 1; ++tc) {
                const int p = tr * kTile + tc, c = a.colour(p);
                const float g = green[p];
                red[p] = c == 0 ? a.input.photo(p) : g + red_diff[p];
                blue[p] = c == 2 ? a.input.photo(p) : g + blue_diff[p];
                if (red_or_blue(c)) green[p] = 0.5f * ((red[p] - red_diff[p]) + (blue[p] - blue_diff[p]));
            }
    }
}

void plain_output(const band_job& b, const PlainArea& a, const TilePlace& t) {
    for (int r = t.out_row(); r < t.row_end; ++r)
        for (int c = t.out_col(); c < t.col_end; ++c) {
            const int p = (r - t.top) * kTile + (c - t.left), own = a.colour(p);
            uint16_t* pixel = b.image[int64_t(r) * b.width + c];
            for (int ch = 0; ch < 3; ++ch)
                if (ch != own) pixel[ch] = to_sample(a.q[ch][p]);
            pixel[3] = 0;
        }
}

// ---------------------------------------------------------------- fusion worker

// The colours of a Bayer word whose rows repeat every two, red and blue on one diagonal and
// the greens on the other.
struct BayerCell {
    int colour[2][2];
};

std::atomic<bool> genericRecipes{false};

std::optional<BayerCell> bayer_cell(uint32_t filters) {
    if (filters < kPatternBayerMin || genericRecipes) return std::nullopt;
    BayerCell cell{};
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 2; ++c) {
            const int colour = demosaic_colour_at(filters, r, c);
            if (r < 2)
                cell.colour[r][c] = colour;
            else if (colour != cell.colour[r & 1][c])
                return std::nullopt;
        }
    const int(&k)[2][2] = cell.colour;
    const bool greens = is_green_colour(k[0][0]) ? is_green_colour(k[1][1]) && !is_green_colour(k[0][1])
                                                 : is_green_colour(k[0][1]) && is_green_colour(k[1][0]);
    const int first = is_green_colour(k[0][0]) ? k[0][1] : k[0][0];
    const int second = is_green_colour(k[0][0]) ? k[1][0] : k[1][1];
    if (!greens || !red_or_blue(first) || second != 2 - first) return std::nullopt;
    return cell;
}

// Planes: 0 G-R horizontal, 1 G-R vertical, 2 and 3 their smoothed values, 4 G-B
// horizontal, 5 G-B vertical, 6 and 7 their smoothed values, 8 green horizontal (later
// fused), 9 green vertical, 10 the photosite (later the fused difference). Red, green and
// blue of the result take planes 0 to 2.
struct FusionArea : TileArea<11> {
    std::unique_ptr<uint16_t[]> rgb; // two directions of kPlane x 3
    bool allocate_rgb() {
        return bool(rgb = zeroed<uint16_t>(size_t(2) * kPlane * 3, WorkArea::front_end_tile));
    }
};

// With Split (Bayer words) the vertical differences go to planes 1 and 5 with each row's
// even columns first (see bayer_fuse).
int split_column(int tc) { return (tc & 1) * kHalf + tc / 2; }

template <bool Split> void fusion_differences(FusionArea& a) {
    const uint16_t* h = a.rgb.get();
    const uint16_t* v = h + kPlane * 3;
    for (int tr = 0; tr < kTile; ++tr)
        for (int tc = 0; tc < kTile; ++tc, h += 3, v += 3) {
            const int p = tr * kTile + tc, pv = Split ? tr * kTile + split_column(tc) : p;
            a.q[0][p] = float(h[1] - h[0]) * kScale;
            a.q[1][pv] = float(v[1] - v[0]) * kScale;
            a.q[4][p] = float(h[1] - h[2]) * kScale;
            a.q[5][pv] = float(v[1] - v[2]) * kScale;
            a.q[8][p] = h[1] * kScale;
            a.q[9][p] = v[1] * kScale;
        }
    for (int tr = 0; tr < kTile; ++tr) {
        const uint16_t* raw = a.input.raw_row(tr);
        for (int tc = 0; tc < kTile; ++tc)
            a.q[10][tr * kTile + tc] = raw[tc] * kScale;
    }
}

// The G-B statistics (set 1) unless the G-R set's horizontal residual is the larger.
int chosen_set(float red_noise, float blue_noise) { return red_noise <= blue_noise ? 1 : 0; }

// The fused difference and green of red or blue position p (pv in the vertical planes).
void fuse_position(float** f, int p, int pv, int colour, Window h, Window v) {
    const int base = colour == 0 ? 0 : 4; // the position's own difference planes
    f[10][p] = fuse(lmmse_estimate(f[base][p], f[base + 2][p], h),
                    lmmse_estimate(f[base + 1][pv], f[base + 3][pv], v));
    f[8][p] = (f[8][p] * v.noise + f[9][p] * h.noise) / (v.noise + h.noise);
}

void fusion_fuse(FusionArea& a) {
    float** f = a.q;
    RowWindows w[2][2]; // [G-R, G-B][horizontal, vertical]
    for (int tr = kInner; tr < kTile - kInner; ++tr) {
        row_windows(f[2], f[0], tr, 1, w[0][0]);
        row_windows(f[3], f[1], tr, kTile, w[0][1]);
        row_windows(f[6], f[4], tr, 1, w[1][0]);
        row_windows(f[7], f[5], tr, kTile, w[1][1]);
        for (int tc = kInner; tc < kTile - kInner; ++tc) {
            const int p = tr * kTile + tc, c = a.colour(p);
            if (!red_or_blue(c)) continue;
            const RowWindows(&set)[2] = w[chosen_set(w[0][0].noise[tc], w[1][0].noise[tc])];
            const Window h{set[0].signal[tc], set[0].noise[tc]}, v{set[1].signal[tc], set[1].noise[tc]};
            fuse_position(f, p, p, c, h, v);
        }
    }
}

// Row tr of a plane split into even and odd columns.
struct SplitRow {
    float even[kHalf], odd[kHalf];
    void load(const float* row) {
        for (int m = 0; m < kHalf; ++m) {
            even[m] = row[2 * m];
            odd[m] = row[2 * m + 1];
        }
    }
    // Where tap k of positions first, first + 2, ... starts.
    const float* tap(int first, int k) const {
        const int u = first + k;
        return (u & 1 ? odd : even) + u / 2;
    }
};

// Bayer words: only every second position of a row is red or blue, and only there are the
// windows worked out. The vertical differences (planes 1 and 5) come with each row's even
// columns first and its odd ones after them, so that the positions of one row sit side by
// side in both directions.
void bayer_fuse(FusionArea& a, const BayerCell& cell, const TilePlace& t) {
    float** f = a.q;
    SplitRow rows[2][2];   // [G-R, G-B][smoothed, difference], horizontal
    SpreadWindows w[2][2]; // [G-R, G-B][horizontal, vertical]
    for (int tr = kInner; tr < kTile - kInner; ++tr) {
        const int(&colours)[2] = cell.colour[(t.top + tr) & 1];
        const int first = kInner + (is_green_colour(colours[(t.left + kInner) & 1]) ? 1 : 0);
        const int split_first = split_column(first);
        for (int set = 0; set < 2; ++set) {
            const int base = set * 4;
            rows[set][0].load(f[base + 2] + tr * kTile);
            rows[set][1].load(f[base] + tr * kTile);
            const float *hs[9], *hr[9], *vs[9], *vr[9];
            for (int k = 0; k < 9; ++k) {
                hs[k] = rows[set][0].tap(first, k - 4);
                hr[k] = rows[set][1].tap(first, k - 4);
                vs[k] = f[base + 3] + (tr + k - 4) * kTile + split_first;
                vr[k] = f[base + 1] + (tr + k - 4) * kTile + split_first;
            }
            tap_windows(hs, hr, w[set][0]);
            tap_windows(vs, vr, w[set][1]);
        }
        for (int i = 0; i < kSpread; ++i) {
            const int tc = first + 2 * i, p = tr * kTile + tc, split = tr * kTile + split_first + i;
            const int c = colours[(t.left + tc) & 1];
            const SpreadWindows(&set)[2] = w[chosen_set(w[0][0].noise[i], w[1][0].noise[i])];
            const Window h{set[0].signal[i], set[0].noise[i]}, v{set[1].signal[i], set[1].noise[i]};
            fuse_position(f, p, split, c, h, v);
        }
    }
}

// Mean of (colour - green) over the recipe's photosites among the 8 neighbours.
float neighbour_difference(const float* colour, const float* green, int p,
                           const colour_difference_recipe& r) {
    if (!r.count) return 0.0f;
    float sum = 0;
    for (int k = 0; k < r.count; ++k) {
        const int n = p + r.tile_position[k];
        sum += colour[n] - green[n];
    }
    return sum / float(r.count);
}

// The mean of (colour - green) over N neighbours `step` and -`step` away (N = 2) or on the
// diagonals (N = 4), in the order the recipes list them.
float bayer_pair_difference(const float* colour, const float* green, int p, int step) {
    float sum = 0;
    sum += colour[p - step] - green[p - step];
    sum += colour[p + step] - green[p + step];
    return sum / 2.0f;
}

float bayer_diagonal_difference(const float* colour, const float* green, int p) {
    float sum = 0;
    for (int n : {p - kTile - 1, p - kTile + 1, p + kTile - 1, p + kTile + 1})
        sum += colour[n] - green[n];
    return sum / 4.0f;
}

// Only photosites of the neighbour's own colour are read, and those are never written here.
void bayer_colours(FusionArea& a, const BayerCell& cell, const TilePlace& t) {
    float** f = a.q;
    for (int tr = 1; tr < kTile - 1; ++tr) {
        const int(&colours)[2] = cell.colour[(t.top + tr) & 1];
        for (int tc = 1; tc < kTile - 1; ++tc) {
            const int p = tr * kTile + tc, c = colours[(t.left + tc) & 1];
            if (is_green_colour(c)) {
                const int across = colours[(t.left + tc + 1) & 1];
                const int red_step = across == 0 ? 1 : kTile, blue_step = across == 0 ? kTile : 1;
                f[0][p] = f[1][p] + bayer_pair_difference(f[0], f[1], p, red_step);
                f[2][p] = f[1][p] + bayer_pair_difference(f[2], f[1], p, blue_step);
            } else {
                f[2 - c][p] = f[1][p] + bayer_diagonal_difference(f[2 - c], f[1], p);
            }
        }
    }
}

void fusion_colours(FusionArea& a, const recipe_table& recipes, const TilePlace& t, const BayerCell* bayer) {
    float** f = a.q;
    for (int p = 0; p < kPlane; ++p) {
        const int c = a.colour(p);
        if (is_green_colour(c)) {
            f[1][p] = f[10][p];
        } else {
            f[c][p] = f[8][p] - f[10][p];
            f[1][p] = f[8][p];
        }
    }
    if (bayer) {
        bayer_colours(a, *bayer, t);
        return;
    }
    for (int tr = 1; tr < kTile - 1; ++tr) {
        recipe_row entries(recipes, t.top + tr, t.left + 1);
        for (int tc = 1; tc < kTile - 1; ++tc, entries.next()) {
            const int p = tr * kTile + tc, c = a.colour(p);
            const recipe_entry& e = *entries;
            if (c != 0) f[0][p] = f[1][p] + neighbour_difference(f[0], f[1], p, e.to_red);
            if (c != 2) f[2][p] = f[1][p] + neighbour_difference(f[2], f[1], p, e.to_blue);
        }
    }
}

// ------------------------------------------------ Bayer steps of the fusion worker
// What the recipes of a 2 x 2 Bayer cell work out to, with the tiles' fixed strides: the
// same integer sums and the same float operations in the same order, without the offset and
// weight lists.

// Green of a red or blue photosite along `Step`: 32 own - 16 (two away) + 64 (next greens)
// over 128, held between the two greens.
template <int Step> uint16_t bayer_green(const uint16_t* x) {
    const int m2 = x[-2 * Step], m1 = x[-Step], c = x[0], p1 = x[Step], p2 = x[2 * Step];
    const int v = (32 * c - 16 * m2 - 16 * p2 + 64 * m1 + 64 * p1) / 128;
    return uint16_t(std::clamp(v, std::min(m1, p1), std::max(m1, p1)));
}

// Green plus the mean of (photosite - green) over N neighbours; none below 1.
template <int N> uint16_t bayer_difference(int photosites, int green, int greens) {
    const int v = (photosites + N * green - greens) / N;
    return v < 1 ? 0 : uint16_t(std::min(v, 65535));
}

// The tile position's green in one direction's rgb tile, `dr` rows and `dc` columns away.
template <int Dr, int Dc> int tile_green(const uint16_t* rix) { return rix[(Dr * kTile + Dc) * 3 + 1]; }

void bayer_greens(FusionArea& a, const BayerCell& cell, const TilePlace& t) {
    uint16_t* const rgb = a.rgb.get();
    for (int tr = 0; tr < kTile; ++tr) {
        const int(&colours)[2] = cell.colour[(t.top + tr) & 1];
        const uint16_t* x = a.input.raw_row(tr);
        uint16_t* h = rgb + tr * kTile * 3;
        for (int tc = 0; tc < kTile; ++tc, h += 3) {
            uint16_t* v = h + kPlane * 3;
            const int c = colours[(t.left + tc) & 1];
            const uint16_t own = x[tc];
            if (is_green_colour(c)) {
                h[1] = v[1] = own;
                continue;
            }
            h[c] = v[c] = own;
            h[1] = bayer_green<1>(x + tc);
            v[1] = bayer_green<kRawStride>(x + tc);
        }
    }
}

void bayer_red_blue(FusionArea& a, const BayerCell& cell, const TilePlace& t) {
    constexpr int R = kRawStride;
    uint16_t* const rgb = a.rgb.get();
    for (int tr = 1; tr < kTile - 1; ++tr) {
        const int(&colours)[2] = cell.colour[(t.top + tr) & 1];
        const uint16_t* x = a.input.raw_row(tr);
        for (int tc = 1; tc < kTile - 1; ++tc) {
            const int c = colours[(t.left + tc) & 1];
            const uint16_t* s = x + tc;
            uint16_t* const h = rgb + (tr * kTile + tc) * 3;
            if (is_green_colour(c)) {
                // The row's other colour beside it, the column's above and below.
                const int across = colours[(t.left + tc + 1) & 1];
                const int along = s[-1] + s[1], up_down = s[-R] + s[R];
                for (uint16_t* rix : {h, h + kPlane * 3}) {
                    const int g = rix[1];
                    const int beside = tile_green<0, -1>(rix) + tile_green<0, 1>(rix);
                    const int above = tile_green<-1, 0>(rix) + tile_green<1, 0>(rix);
                    rix[across] = bayer_difference<2>(along, g, beside);
                    rix[2 - across] = bayer_difference<2>(up_down, g, above);
                }
                continue;
            }
            const int diagonals = s[-R - 1] + s[-R + 1] + s[R - 1] + s[R + 1];
            for (uint16_t* rix : {h, h + kPlane * 3}) {
                const int greens = tile_green<-1, -1>(rix) + tile_green<-1, 1>(rix) + tile_green<1, -1>(rix) +
                                   tile_green<1, 1>(rix);
                rix[2 - c] = bayer_difference<4>(diagonals, rix[1], greens);
            }
        }
    }
}

// Green in both directions over the whole tile, then red and blue inside its outer ring.
// The ring's red and blue keep what the previous tile left: no later step reads them into a
// position that is output.
void fusion_front_end(const band_job& b, FusionArea& a, const TilePlace& t, const BayerCell* bayer) {
    if (bayer) {
        bayer_greens(a, *bayer, t);
        bayer_red_blue(a, *bayer, t);
        return;
    }
    const sample_source source{a.input.raw_row(0), t.top, t.left};
    const direction_tile tile{a.rgb.get(), kTile, t.top, t.left};
    xtrans_tile_greens(*b.recipes, source, tile, {t.top, t.top + kTile, t.left, t.left + kTile});
    xtrans_tile_red_blue(*b.recipes, source, tile,
                         {t.top + 1, t.top + kTile - 1, t.left + 1, t.left + kTile - 1});
}

void fusion_output(const band_job& b, const FusionArea& a, const TilePlace& t) {
    for (int r = t.out_row(); r < t.row_end; ++r)
        for (int c = t.out_col(); c < t.col_end; ++c) {
            const int p = (r - t.top) * kTile + (c - t.left);
            uint16_t* pixel = b.image[int64_t(r) * b.width + c];
            for (int ch = 0; ch < 3; ++ch)
                pixel[ch] = to_sample(a.q[ch][p]);
        }
}

// ---------------------------------------------------------------- driver

// Left unzeroed and filled in row bands: every value is written, and on a large image
// the first touch of each page costs as much as the copy.
std::unique_ptr<uint16_t[]> copy_mosaic(const demosaic_job& job) {
    const size_t width = size_t(job.width);
    auto mosaic = std::make_unique_for_overwrite<uint16_t[]>(width * size_t(job.height));
    run_bands(kBandCount, [&](int band) {
        const BandRange rows = band_range(job.height, kBandCount, band);
        std::vector<uint8_t> colours(width);
        for (int r = rows.begin; r < rows.end; ++r) {
            demosaic_colour_row(job.filters, r, 0, job.width, colours.data());
            const size_t row = size_t(r) * width;
            for (size_t c = 0; c < width; ++c)
                mosaic[row + c] = job.image[row + c][colours[c]];
        }
    });
    return mosaic;
}

} // namespace

void lmmse_detail::fail_work_area_for_testing(WorkArea area) { failingArea = area; }

void lmmse_detail::use_generic_recipes_for_testing(bool generic) { genericRecipes = generic; }

void lmmse_interpolate(const band_job& b) {
    if (b.width <= 2 * kMargin || b.first_row >= b.end_row) return;
    PlainArea a;
    if (!a.allocate_planes()) {
        LV_LOG("lmmse_interpolate() calloc failure");
        return;
    }
    for (int m = b.first_row; m < b.end_row; m += kTileStep)
        for (int off = kMargin; off < b.width - kMargin; off += kTileStep) {
            const TilePlace t = place_tile(b, m, off, kMargin);
            a.input.load(b, t);
            plain_differences(a);
            smooth(a.q[0], a.q[2], 1, kGauss9);
            smooth(a.q[1], a.q[3], kTile, kGauss9);
            plain_fusion(a);
            plain_reload(a);
            plain_missing_colours(a);
            plain_refine(a, b.lmmse_median_passes);
            plain_output(b, a, t);
        }
}

void lmmse_interpolate_core2(const band_job& b) {
    if (b.width <= 2 * kBorder || b.first_row >= b.end_row) return;
    FusionArea a;
    if (!a.allocate_planes()) {
        LV_LOG("lmmse_interpolate_core2() calloc failure");
        return;
    }
    // Without the two-direction tile the later steps would have nothing to work on.
    if (!a.allocate_rgb()) {
        LV_LOG("LSMME AHD front-end calloc failure");
        return;
    }
    // A tile starting in the band's last two rows is left out, as the one before covers
    // them; the first tile always runs, or a short band would stay undone.
    const std::optional<BayerCell> cell = bayer_cell(b.filters);
    const BayerCell* bayer = cell ? &*cell : nullptr;
    for (int j = b.first_row; j < b.end_row && (j == b.first_row || j < b.end_row - 2); j += kTileStep)
        for (int off = kBorder; off < b.width - kBorder; off += kTileStep) {
            const TilePlace t = place_tile(b, j, off, kBorder);
            a.input.load(b, t);
            fusion_front_end(b, a, t, bayer);
            bayer ? fusion_differences<true>(a) : fusion_differences<false>(a);
            smooth(a.q[0], a.q[2], 1, kGauss17);
            smooth(a.q[4], a.q[6], 1, kGauss17);
            if (bayer) {
                smooth<true>(a.q[1], a.q[3], kTile, kGauss17);
                smooth<true>(a.q[5], a.q[7], kTile, kGauss17);
            } else {
                smooth(a.q[1], a.q[3], kTile, kGauss17);
                smooth(a.q[5], a.q[7], kTile, kGauss17);
            }
            bayer ? bayer_fuse(a, *bayer, t) : fusion_fuse(a);
            fusion_colours(a, *b.recipes, t, bayer);
            fusion_output(b, a, t);
        }
}

void lmmse_interpolate_threaded(demosaic_job& job) {
    if (job.width <= 0 || job.height <= 0 || !job.image) return;
    demosaic_copy_xtrans(job);
    demosaic_border_fill(job, kBorder);
    const bool fusion = job.filters == kPatternXTrans || job.highlight_flag;
    auto recipes = std::make_unique<recipe_table>();
    if (fusion) build_recipe_table(job, *recipes, kTile, kPhotositeLayout);
    // The fusion worker rewrites own colours that the next band's margin still reads, so
    // every band reads the photosites from a copy taken now.
    const std::unique_ptr<uint16_t[]> mosaic = copy_mosaic(job);
    // The first interpolated row is 16, so on small images the empty leading bands leave
    // the border alone.
    auto bands = demosaic_bands(job, kBorder, kBorder, recipes.get());
    for (band_job& band : bands)
        band.mosaic = mosaic.get();
    run_bands(kBandCount,
              [&](int k) { fusion ? lmmse_interpolate_core2(bands[k]) : lmmse_interpolate(bands[k]); });
}

} // namespace raw
