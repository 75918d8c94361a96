// Canon small raws: a lossless JPEG frame whose columns each hold two (4:2:2) or four
// (4:2:0) luma samples and one Cb, Cr pair. The samples go straight into pixel_image as
// Y, Cb, Cr; the chroma is then filled in between and every pixel converted to RGB.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>

#include "raw/core/DecoderError.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"

namespace raw {
namespace {

constexpr const char* kNotSmallRawText = "Sensor data is not a small raw";
constexpr int32_t kUnitGain = 1024;

uint16_t* pixel_at(DecoderState& s, int64_t row, int64_t col) {
    if (row < 0 || col < 0 || row >= s.image_height || col >= s.image_width) return nullptr;
    return s.pixel_image[row * s.image_width + col];
}

// Serves the frame's columns in order, decoding a row whenever the last one is used up.
class ColumnReader {
  public:
    ColumnReader(DecoderState& s, ljpeg_header& jh)
        : s_(s), jh_(jh), samples_(int64_t(jh.wide) * jh.components) {
        used_ = samples_;
    }

    // Null once the frame has no more data.
    const uint16_t* next() {
        if (used_ == samples_) {
            if (ended_ || row_index_ == jh_.high) {
                if (!ended_) count_data_error(s_); // the image needs more than the frame holds
                ended_ = true;
                return nullptr;
            }
            const int64_t before = ljpeg_stream_position(s_);
            row_ = ljpeg_decode_row(s_, row_index_++, jh_);
            ended_ = ljpeg_data_ended(s_, before);
            used_ = 0;
        }
        const uint16_t* column = row_ + used_;
        used_ += jh_.components;
        return column;
    }

  private:
    DecoderState& s_;
    ljpeg_header& jh_;
    const int64_t samples_;
    int64_t used_;
    int32_t row_index_ = 0;
    const uint16_t* row_ = nullptr;
    bool ended_ = false;
};

void store_column(DecoderState& s, int64_t row, int64_t col, const uint16_t* samples, int comps) {
    for (int k = 0; k < comps - 2; ++k)
        if (uint16_t* p = pixel_at(s, row + k / 2, col + k % 2)) p[0] = samples[k];
    if (uint16_t* p = pixel_at(s, row, col)) {
        p[1] = uint16_t(samples[comps - 2] - 16384);
        p[2] = uint16_t(samples[comps - 1] - 16384);
    }
}

// Each slice is canon_slice_widths[1] samples wide; without slices one pass covers all.
void unpack_columns(DecoderState& s, ljpeg_header& jh) {
    const int comps = jh.components;
    const int64_t width = s.sensor_width & ~1;
    const int64_t slices = s.canon_slice_widths[0];
    const int row_step = comps / 2 - 1;
    ColumnReader reader(s, jh);
    int64_t end = 0;
    for (int64_t slice = 0; slice <= slices; ++slice) {
        const int64_t start = end;
        end = std::min(slices ? start + int64_t(s.canon_slice_widths[1]) * 2 / comps : width, width);
        if (start >= end) return; // no columns left for this slice or any later one
        for (int64_t row = 0; row < s.sensor_height; row += row_step)
            for (int64_t col = start; col < end; col += 2) {
                const uint16_t* samples = reader.next();
                if (!samples) return;
                store_column(s, row, col, samples, comps);
            }
    }
}

// The first three numbers of the firmware text ("%d.%d.%d" from its first digit).
int64_t firmware_version(const DecoderState& s) {
    const char* text = s.model_text_2;
    const char* end = text + strnlen(text, sizeof s.model_text_2);
    const char* p =
        std::find_if(text, end, [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    int64_t parts[3] = {};
    for (int i = 0; i < 3 && p < end; ++i) {
        auto [next, error] = std::from_chars(p, end, parts[i]);
        if (error != std::errc()) break;
        p = next;
        if (p == end || *p != '.') break;
        ++p;
    }
    return parts[0] * 1000000 + parts[1] * 1000 + parts[2];
}

int32_t chroma_offset(const DecoderState& s, int small_raw) {
    const uint32_t id = s.camera_model_id;
    if (id > 0x80000280 || (id == 0x80000218 && firmware_version(s) > 1000006)) return small_raw * 2;
    return small_raw * 4 + 4;
}

// Chroma values are signed; averaging them unsigned would break wherever they change sign.
uint16_t average(uint16_t a, uint16_t b) { return uint16_t((int16_t(a) + int16_t(b) + 1) >> 1); }

void fill_chroma(DecoderState& s, int small_raw) {
    const int64_t height = s.image_height, width = s.image_width;
    const int64_t odd_rows = small_raw >> 1;
    auto px = [&](int64_t row, int64_t col) { return s.pixel_image[row * width + col]; };
    for (int64_t row = 0; row < height; ++row) {
        if (!(row & odd_rows)) continue;
        for (int64_t col = 0; col < width; col += 2)
            for (int c = 1; c < 3; ++c)
                px(row, col)[c] = row == height - 1 ? px(row - 1, col)[c]
                                                    : average(px(row - 1, col)[c], px(row + 1, col)[c]);
    }
    for (int64_t row = 0; row < height; ++row)
        for (int64_t col = 1; col < width; col += 2)
            for (int c = 1; c < 3; ++c)
                px(row, col)[c] = col == width - 1 ? px(row, col - 1)[c]
                                                   : average(px(row, col - 1)[c], px(row, col + 1)[c]);
}

void ycc_to_rgb(const DecoderState& s, int32_t hue, const int32_t ycc[3], int32_t rgb[3]) {
    const uint32_t id = s.camera_model_id;
    int32_t y = ycc[0], cb = ycc[1], cr = ycc[2];
    if (id == 0x80000218 || id == 0x80000250 || id == 0x80000261 || id == 0x80000281 || id == 0x80000287) {
        cb = int16_t(4 * cb + hue);
        cr = int16_t(4 * cr + hue);
        rgb[0] = y + ((50 * cb + 22929 * cr) >> 14);
        rgb[1] = y + ((-5640 * cb - 11751 * cr) >> 14);
        rgb[2] = y + ((29040 * cb - 101 * cr) >> 14);
        return;
    }
    if (id < 0x80000218) y = int16_t(y - 512);
    rgb[0] = y + cr;
    rgb[1] = y + ((-778 * cb - 2048 * cr) >> 12);
    rgb[2] = y + cb;
}

void convert_pixels(DecoderState& s, int32_t hue) {
    int32_t gains[3];
    const auto* m = s.small_raw_multipliers;
    // Files that give no gains (every one zero) get unit gains rather than a black image.
    const bool unset = !m[0] && !m[1] && !m[2] && !m[3];
    for (int c = 0; c < 3; ++c)
        gains[c] = unset ? kUnitGain : m[c];
    const int64_t count = int64_t(s.image_height) * s.image_width;
    for (int64_t i = 0; i < count; ++i) {
        uint16_t* p = s.pixel_image[i];
        const int32_t ycc[3] = {int16_t(p[0]), int16_t(p[1]), int16_t(p[2])};
        int32_t rgb[3];
        ycc_to_rgb(s, hue, ycc, rgb);
        for (int c = 0; c < 3; ++c)
            p[c] = uint16_t(std::clamp<int64_t>((int64_t(rgb[c]) * gains[c]) >> 10, 0, 65535));
    }
}

} // namespace

void canon_small_raw_load_raw(DecoderState& s) {
    ljpeg_header jh;
    if (!ljpeg_start(s, jh, false)) throw DecoderText{kNotLosslessJpegText};
    if (jh.components < 4 || jh.wide < 2) throw DecoderText{kNotSmallRawText};
    if (!s.pixel_image) throw DecoderText{"Raw image corrupt in canon_small_raw_load_raw"};
    if (s.canon_slice_widths[0] && !s.canon_slice_widths[1]) throw DecoderText{kCorruptSlicesText};
    jh.wide >>= 1;
    unpack_columns(s, jh);
    fill_chroma(s, jh.small_raw);
    convert_pixels(s, chroma_offset(s, jh.small_raw));
    s.white_level = 0x3FFF;
}

} // namespace raw
