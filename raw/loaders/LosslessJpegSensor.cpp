// Sensor data stored as one lossless JPEG frame, either row by row (optionally as two
// interlaced halves) or, for Canon, as vertical slices: slice_widths[0] slices of
// slice_widths[1] columns, then one of slice_widths[2], each coded top to bottom.
#include <algorithm>

#include "raw/core/DecoderError.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"

namespace raw {
namespace {

struct Position {
    int64_t row, col;
};

// Slice widths come from the file: a zero width would divide by zero, and a slice wider
// than the sensor cannot be one. Columns of a last slice that overhangs are dropped.
void check_slices(DecoderState& s) {
    const uint16_t* w = s.canon_slice_widths;
    if (!w[0]) return;
    if (!w[1] || !w[2] || w[1] > s.sensor_width || w[2] > s.sensor_width)
        throw DecoderText{kCorruptSlicesText};
}

Position slice_position(const DecoderState& s, int64_t k) {
    const int64_t count = s.canon_slice_widths[0], width = s.canon_slice_widths[1];
    const int64_t slice_samples = width * s.sensor_height;
    const int64_t i = std::min(k / slice_samples, count);
    k -= i * slice_samples;
    const int64_t w = i < count ? width : s.canon_slice_widths[2];
    return {k / w, k % w + i * width};
}

void store(DecoderState& s, Position p, uint16_t value) {
    // One sensor width keeps its first two columns at the end of the row above.
    if (s.sensor_width == 3984 && (p.col -= 2) < 0) {
        p.col += s.sensor_width;
        --p.row;
    }
    if (p.row >= 0 && p.row < s.sensor_height && p.col >= 0 && p.col < s.sensor_width)
        s.raw_buffer[p.row * s.sensor_width + p.col] = value;
}

// Samples beyond this many can only land below the sensor (two more for the shift of
// width 3984), so a frame longer than the sensor is not decoded to its end.
int64_t sensor_capacity(const DecoderState& s) {
    const uint16_t* w = s.canon_slice_widths;
    const int64_t width = w[0] ? int64_t(w[0]) * w[1] + w[2] : s.sensor_width;
    return width * s.sensor_height + 2;
}

} // namespace

void ljpeg_sensor_load_raw(DecoderState& s) {
    ljpeg_header jh;
    if (!ljpeg_start(s, jh, false)) throw DecoderText{kNotLosslessJpegText};
    if (!s.raw_buffer || !s.sensor_width || !s.sensor_height)
        throw DecoderText{"Raw image corrupt in ljpeg_sensor_load_raw"};
    check_slices(s);
    const bool sliced = s.canon_slice_widths[0] != 0;
    const int64_t jwide = int64_t(jh.wide) * jh.components;
    const bool interlaced = s.loader_flags & 1;
    const int64_t capacity = sensor_capacity(s);
    Position at{0, 0};
    for (int32_t j = 0; j < jh.high && (interlaced || j * jwide < capacity); ++j) {
        const int64_t before = ljpeg_stream_position(s);
        const uint16_t* samples = ljpeg_decode_row(s, j, jh);
        if (interlaced) at.row = j & 1 ? int64_t(s.visible_height) - 1 - j / 2 : j / 2;
        for (int64_t jcol = 0; jcol < jwide; ++jcol) {
            if (sliced) at = slice_position(s, j * jwide + jcol);
            store(s, at, s.tone_table[samples[jcol]]);
            if (++at.col >= s.sensor_width) {
                at.col = 0;
                ++at.row;
            }
        }
        if (ljpeg_data_ended(s, before)) break;
    }
}

} // namespace raw
