// The calibration records of a Phase One back: defective pixels and columns, flat
// fields, linearisation curves, quadrant gains and the per-band output curves.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "raw/core/CfaColor.h"
#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/core/SplineCurve.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/PhaseOneCorrect.h"

namespace raw {
namespace {

using loader::seek_to;

uint64_t tell(DecoderState& s) {
    const off_t at = ftello(s.input_file);
    return at < 0 ? 0 : uint64_t(at);
}

float read_float(DecoderState& s) { return std::bit_cast<float>(read_u32(s)); }

// A photosite of raw_buffer, 0 outside it.
int32_t photosite(const DecoderState& s, int64_t row, int64_t col) {
    if (row < 0 || col < 0 || row >= s.sensor_height || col >= s.sensor_width) return 0;
    return s.raw_buffer[uint64_t(row) * s.sensor_width + uint64_t(col)];
}

uint16_t& photosite_ref(DecoderState& s, int64_t row, int64_t col) {
    return s.raw_buffer[uint64_t(row) * s.sensor_width + uint64_t(col)];
}

int colour_at(const DecoderState& s, int64_t row, int64_t col) {
    return cfa_color(s, int(row - s.margin_top), int(col - s.margin_left));
}

int32_t sum_at(const DecoderState& s, int64_t row, int64_t col, const int8_t (*offsets)[2], int n) {
    int32_t sum = 0;
    for (int i = 0; i < n; ++i)
        sum += photosite(s, row + offsets[i][0], col + offsets[i][1]);
    return sum;
}

constexpr int8_t kDiagonals[4][2] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
constexpr int8_t kCorners[4][2] = {{-2, -2}, {-2, 2}, {2, -2}, {2, 2}};

void repair_pixel(DecoderState& s, int64_t row, int64_t col) {
    static const int8_t kGreen[8][2] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}, {-2, 0}, {0, -2}, {0, 2}, {2, 0}};
    static const int8_t kOther[8][2] = {{-2, 0}, {0, -2}, {0, 2}, {2, 0}, {-2, -2}, {-2, 2}, {2, -2}, {2, 2}};
    const int32_t sum = sum_at(s, row, col, colour_at(s, row, col) == 1 ? kGreen : kOther, 8);
    photosite_ref(s, row, col) = uint16_t((sum + 4) >> 3);
}

// A green photosite of a bad column takes its diagonal neighbours without the one that
// strays furthest; the other colours take the same colour two columns away.
void repair_column(DecoderState& s, int64_t col) {
    for (int64_t row = 0; row < s.sensor_height; ++row) {
        double value;
        if (colour_at(s, row, col) == 1) {
            int32_t d[4];
            for (int i = 0; i < 4; ++i)
                d[i] = photosite(s, row + kDiagonals[i][0], col + kDiagonals[i][1]);
            const int32_t sum = d[0] + d[1] + d[2] + d[3];
            int worst = 0;
            for (int i = 1; i < 4; ++i)
                if (std::abs(4 * d[i] - sum) > std::abs(4 * d[worst] - sum)) worst = i;
            value = (sum - d[worst]) / 3.0 + 0.5;
        } else {
            value = (photosite(s, row, col - 2) + photosite(s, row, col + 2)) * 0.3535534 +
                    sum_at(s, row, col, kCorners, 4) * 0.0732233 + 0.5;
        }
        photosite_ref(s, row, col) = clamp_to_u16(value);
    }
}

// What the records have done so far. Real blocks hold each whole-image record once; a
// damaged one that repeats them endlessly runs out of its work budget instead.
struct CorrectionState {
    bool linearised = false, gained = false;
    bool have_band_curves = false;
    uint64_t band_curves_at = 0;
    int32_t band_curves_distance = 0;
    uint64_t budget = 0; // photosites that records may still rewrite
    bool exhausted = false;

    bool spend(DecoderState& s, uint64_t photosites) {
        if (photosites <= budget) {
            budget -= photosites;
            return true;
        }
        if (!exhausted) count_data_error(s);
        exhausted = true;
        return false;
    }
};

// Rewrites of every photosite that a block may ask for.
constexpr uint64_t kWholeImagePasses = 64;

void apply_defects(DecoderState& s, uint64_t length, CorrectionState& c) {
    for (; length >= 8; length -= 8) {
        const uint16_t col = read_u16(s), row = read_u16(s), type = read_u16(s);
        read_u16(s);
        if (col >= s.sensor_width) continue;
        if (type == 129 && row < s.sensor_height)
            repair_pixel(s, row, col);
        else if ((type == 131 || type == 137) && c.spend(s, s.sensor_height))
            repair_column(s, col);
    }
}

struct Area {
    int64_t top, bottom, left, right;
};

// A spline needs rising control points; a quadrant whose points do not rise keeps its
// values rather than going through the curve left from before.
bool rising(const int32_t* x, int n) {
    for (int i = 1; i < n; ++i)
        if (x[i] <= x[i - 1]) return false;
    return true;
}

void map_through_curve(DecoderState& s, const Area& a) {
    for (int64_t row = a.top; row < a.bottom; ++row)
        for (int64_t col = a.left; col < a.right; ++col) {
            uint16_t& v = photosite_ref(s, row, col);
            v = s.tone_table[v];
        }
}

int64_t split_column(const DecoderState& s) {
    return std::clamp<int64_t>(s.phase_one_split_column, 0, s.sensor_width);
}
int64_t split_row(const DecoderState& s) {
    return std::clamp<int64_t>(s.phase_one_split_row, 0, s.sensor_height);
}

Area quadrant(const DecoderState& s, int qr, int qc) {
    const int64_t sr = split_row(s), sc = split_column(s);
    return {qr ? sr : 0, qr ? s.sensor_height : sr, qc ? sc : 0, qc ? s.sensor_width : sc};
}

void curve_from_split_column(DecoderState& s) {
    read_u32(s);
    float p[8];
    for (float& v : p)
        v = read_float(s);
    p[3] += (s.phase_one_curve_reference - p[7]) * p[6] + 1;
    for (int64_t i = 0; i < 0x10000; ++i)
        s.tone_table[i] = clamp_to_u16((p[5] * i + p[3]) * i + p[1]);
    map_through_curve(s, {0, s.sensor_height, split_column(s), s.sensor_width});
}

void curve_for_all_columns(DecoderState& s) {
    float q[4];
    for (float& v : q)
        v = read_float(s);
    for (int64_t i = 0; i < 0x10000; ++i)
        s.tone_table[i] = clamp_to_u16(i + ((q[3] * i + q[2]) * i + q[1]) * i + q[0]);
    map_through_curve(s, {0, s.sensor_height, 0, s.sensor_width});
}

// Each quadrant is linearised towards the mean of the four at 16 control levels.
void quadrant_linearisation(DecoderState& s) {
    uint16_t lc[2][2][16];
    for (auto& half : lc)
        for (auto& q : half)
            for (uint16_t& v : q)
                v = read_u16(s);
    int32_t ref[16];
    for (int k = 0; k < 16; ++k)
        ref[k] = (lc[0][0][k] + lc[0][1][k] + lc[1][0][k] + lc[1][1][k] + 2) >> 2;
    for (int qr = 0; qr < 2; ++qr)
        for (int qc = 0; qc < 2; ++qc) {
            const uint16_t* l = lc[qr][qc];
            if (!l[15]) continue; // no top control level: nothing to scale by
            int32_t x[19], y[19];
            x[0] = y[0] = 0;
            for (int k = 0; k < 16; ++k) {
                x[k + 1] = l[k];
                y[k + 1] = ref[k];
            }
            x[17] = y[17] = int32_t(int64_t(ref[15]) * 65535 / l[15]);
            x[18] = y[18] = 65535;
            if (!rising(x, 19)) continue;
            build_spline_curve(s, x, y, 19);
            map_through_curve(s, quadrant(s, qr, qc));
        }
}

void quadrant_gains(DecoderState& s) {
    uint32_t words[19];
    for (uint32_t& w : words)
        w = read_u32(s);
    const int kWords[4] = {4, 10, 14, 18};
    for (int q = 0; q < 4; ++q) {
        const double gain = std::bit_cast<float>(words[kWords[q]]) + 1.0;
        const Area a = quadrant(s, q >> 1, q & 1);
        for (int64_t row = a.top; row < a.bottom; ++row)
            for (int64_t col = a.left; col < a.right; ++col) {
                uint16_t& v = photosite_ref(s, row, col);
                v = clamp_to_u16(v * gain);
            }
    }
}

void quadrant_curves(DecoderState& s) {
    int32_t ref[7], lc[2][2][7];
    for (int32_t& v : ref)
        v = uint16_t(read_u32(s));
    for (auto& half : lc)
        for (auto& q : half)
            for (int32_t& v : q)
                v = uint16_t(read_u32(s));
    for (int qr = 0; qr < 2; ++qr)
        for (int qc = 0; qc < 2; ++qc) {
            int32_t x[9], y[9];
            x[0] = y[0] = 0;
            for (int k = 0; k < 7; ++k) {
                x[k + 1] = ref[k];
                y[k + 1] = int32_t(int64_t(lc[qr][qc][k]) * ref[k] / 10000);
            }
            x[8] = y[8] = 65535;
            if (!rising(x, 9)) continue;
            build_spline_curve(s, x, y, 9);
            map_through_curve(s, quadrant(s, qr, qc));
        }
}

// The output curves of tag 0x412: per band of columns, a curve of the half value, blended
// between neighbouring bands and scaled by the row.
class BandCurves {
  public:
    BandCurves(DecoderState& s, uint64_t start) : s_(s) {
        seek_to(s, start);
        for (uint32_t& v : h_)
            v = read_u32(s) & 0x7FFF;
        n0_ = uint64_t(h_[1]) * h_[3];
        n1_ = uint64_t(h_[2]) * h_[4];
    }
    bool fits_in_file() {
        const uint64_t bytes = 2 + 6 * (n0_ + n1_);
        return tell(s_) + bytes <= loader::input_length(s_);
    }
    void apply() {
        loader::LoaderBuffer block(s_, n0_ + n1_, 6, "phase_one_correct()");
        y_ = block.as<float>();
        x_ = reinterpret_cast<uint16_t*>(y_ + n0_ + n1_);
        read_u16(s_);
        for (uint64_t i = 0; i < n0_ + n1_; ++i)
            y_[i] = read_float(s_);
        read_u16_array(s_, x_, n0_ + n1_);
        build_ceilings();
        for (int64_t row = 0; row < s_.sensor_height; ++row)
            for (int64_t col = 0; col < s_.sensor_width; ++col)
                correct(row, col);
    }

  private:
    // The tables lie end to end; a search that runs past one reads on into the next.
    float y(uint64_t i) const { return i < n0_ + n1_ ? y_[i] : 0.0f; }
    float x(uint64_t i) const { return i < n0_ + n1_ ? x_[i] : 0.0f; }

    // The first point of a band above n is where the running maximum of its points first
    // passes n: a binary search over those maxima finds it in any table, sorted or not.
    void build_ceilings() {
        const uint64_t points = h_[1], bands = uint64_t(h_[3]) + 2; // the last band reads on
        ceilings_.resize(points * bands);
        for (uint64_t b = 0; b < bands; ++b)
            for (uint64_t j = 0; j < points; ++j) {
                const float v = x(b * points + j);
                ceilings_[b * points + j] = j ? std::max(ceilings_[b * points + j - 1], v) : v;
            }
    }

    float band_value(uint64_t band, float n) const {
        const uint64_t base = uint64_t(h_[1]) * band;
        const auto first = ceilings_.begin() + ptrdiff_t(base);
        const uint32_t j = uint32_t(std::upper_bound(first, first + h_[1], n) - first);
        const uint64_t k = base + j;
        float f = 0;
        if (j > 0 && j < h_[1]) f = (x(k) - n) / (x(k) - x(k - 1));
        return (f != 0 ? y(k - 1) * f : 0.0f) + y(k) * (1 - f);
    }

    void correct(int64_t row, int64_t col) {
        uint16_t& v = photosite_ref(s_, row, col);
        float cf = float(col) * float(h_[3]) / float(s_.sensor_width);
        const uint64_t band = std::min<uint64_t>(uint64_t(cf), h_[3]);
        cf -= float(band);
        const float n = v * 0.5f;
        const float m0 = band_value(band, n), m1 = band_value(band + 1, n);
        v = clamp_to_u16(((double(m0) * (1 - cf) + double(m1) * cf) * double(row) + n) * 2);
    }

    DecoderState& s_;
    uint32_t h_[9];
    uint64_t n0_ = 0, n1_ = 0;
    float* y_ = nullptr;
    uint16_t* x_ = nullptr;
    std::vector<float> ceilings_;
};

struct Record {
    uint32_t tag, length, data;
};

void apply_record(DecoderState& s, const Record& r, uint64_t length, CorrectionState& c) {
    const uint64_t image = uint64_t(s.sensor_width) * s.sensor_height;
    switch (r.tag) {
    case 0x401:
    case 0x40B:
    case 0x410:
    case 0x416:
    case 0x419:
    case 0x41A:
        if (!c.spend(s, image)) return;
        break;
    default:
        break;
    }
    switch (r.tag) {
    case 0x400:
        apply_defects(s, length, c);
        break;
    case 0x401:
        phase_one_flat_field(s, true, 2);
        break;
    case 0x40B:
        phase_one_flat_field(s, false, 4);
        break;
    case 0x410:
    case 0x416:
        phase_one_flat_field(s, false, 2);
        break;
    case 0x412: {
        std::fseek(s.input_file, 36, SEEK_CUR);
        const int32_t distance = std::abs(int32_t(read_u16(s)) - s.phase_one_calibration_key);
        if (!c.have_band_curves || distance < c.band_curves_distance) {
            c.have_band_curves = true;
            c.band_curves_distance = distance;
            c.band_curves_at = tell(s) - 38;
        }
        break;
    }
    case 0x419:
        curve_from_split_column(s);
        break;
    case 0x41A:
        curve_for_all_columns(s);
        break;
    case 0x41F:
        if (!c.linearised) quadrant_linearisation(s);
        c.linearised = true;
        break;
    case 0x41E:
        if (!c.gained) quadrant_gains(s);
        c.gained = true;
        break;
    case 0x431:
        if (!c.gained) {
            quadrant_curves(s);
            c.gained = c.linearised = true;
        }
        break;
    default:
        break;
    }
}

} // namespace

void phase_one_correct(DecoderState& s) {
    if (s.half_size_option || !s.meta_block_length || !loader::has_raw_buffer(s) || !s.input_file) return;
    if (s.verbose_output) std::fprintf(stderr, "Phase One correction...\n");
    const uint64_t base = s.maker_data_offset, file_end = loader::input_length(s);
    seek_to(s, base);
    s.byte_order = read_u16(s);
    std::fseek(s.input_file, 6, SEEK_CUR);
    seek_to(s, base + read_u32(s));
    uint64_t entries = read_u32(s);
    read_u32(s);
    const uint64_t first = tell(s);
    // No more entries than the file can hold.
    entries = std::min<uint64_t>(entries, first < file_end ? (file_end - first) / 12 : 0);
    CorrectionState c;
    c.budget = kWholeImagePasses * uint64_t(s.sensor_width) * s.sensor_height;
    for (uint64_t i = 0; i < entries; ++i) {
        Record r;
        r.tag = read_u32(s);
        r.length = read_u32(s);
        r.data = read_u32(s);
        const uint64_t next = tell(s), at = base + r.data;
        if (at >= file_end) {
            count_data_error(s);
            continue;
        }
        seek_to(s, at);
        apply_record(s, r, std::min<uint64_t>(r.length, file_end - at), c);
        seek_to(s, next);
    }
    if (!c.have_band_curves) return;
    BandCurves curves(s, c.band_curves_at);
    if (curves.fits_in_file())
        curves.apply();
    else
        count_data_error(s);
}

} // namespace raw
