// A coarse grid of gains, interpolated along both axes, for the even colours of the
// sensor (or for all photosites when the grid has a single plane).
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>

#include "raw/core/CfaColor.h"
#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/PhaseOneCorrect.h"

namespace raw {
namespace {

struct Grid {
    int64_t left, top, width, height, col_step, row_step;
    int64_t wide, high;
};

float read_gain(DecoderState& s, bool float_values) {
    if (float_values) return std::bit_cast<float>(read_u32(s));
    return read_u16(s) / 32768.0f;
}

// One image row between grid rows: gains run along the row from grid column to column.
void apply_row(DecoderState& s, const Grid& g, const float* row, int planes, int64_t y) {
    const int64_t col_end = std::min<int64_t>(g.left + g.width - g.col_step, s.sensor_width);
    for (int64_t x = 1; x < g.wide; ++x) {
        float gain[4] = {}, slope[4] = {};
        for (int p = 0; p < planes; p += 2) {
            gain[p] = row[p * g.wide + x - 1];
            slope[p] = (row[p * g.wide + x] - row[p * g.wide + x - 1]) / float(g.col_step);
        }
        const int64_t first = g.left + (x - 1) * g.col_step;
        for (int64_t col = first; col < first + g.col_step && col < col_end; ++col) {
            const int c = planes <= 2 ? 0 : cfa_color(s, int(y - s.margin_top), int(col - s.margin_left));
            if (c % 2 == 0) {
                uint16_t& v = s.raw_buffer[uint64_t(y) * s.sensor_width + uint64_t(col)];
                v = clamp_to_u16(double(v) * gain[c]);
            }
            for (int p = 0; p < planes; p += 2)
                gain[p] += slope[p];
        }
    }
}

} // namespace

void phase_one_flat_field(DecoderState& s, bool float_values, int planes) {
    uint16_t head[8];
    for (uint16_t& h : head)
        h = read_u16(s);
    if (!head[2] || !head[3] || !head[4] || !head[5] || !loader::has_raw_buffer(s)) return;
    planes = std::clamp(planes, 2, 4);
    Grid g{head[0], head[1], head[2], head[3], head[4], head[5], 0, 0};
    g.wide = (g.width + g.col_step - 1) / g.col_step;
    g.high = (g.height + g.row_step - 1) / g.row_step;
    // A grid that claims more values than the file holds is damaged: leave the data alone.
    const off_t here = s.input_file ? ftello(s.input_file) : -1;
    const uint64_t needed = uint64_t(g.wide) * g.high * (planes / 2) * (float_values ? 4 : 2);
    if (here < 0 || uint64_t(here) + needed > loader::input_length(s)) {
        count_data_error(s);
        return;
    }
    loader::LoaderBuffer buffer(s, uint64_t(planes) * g.wide, sizeof(float), "phase_one_flat_field()");
    float* row = buffer.as<float>();
    const int64_t row_end = std::min<int64_t>(g.top + g.height - g.row_step, s.sensor_height);
    for (int64_t y = 0; y < g.high; ++y) {
        for (int64_t x = 0; x < g.wide; ++x)
            for (int p = 0; p < planes; p += 2) {
                const float v = read_gain(s, float_values);
                if (y == 0)
                    row[p * g.wide + x] = v;
                else
                    row[(p + 1) * g.wide + x] = (v - row[p * g.wide + x]) / float(g.row_step);
            }
        if (y == 0) continue;
        const int64_t first = g.top + (y - 1) * g.row_step;
        for (int64_t r = first; r < first + g.row_step && r < row_end; ++r) {
            apply_row(s, g, row, planes, r);
            for (int p = 0; p < planes; p += 2)
                for (int64_t x = 0; x < g.wide; ++x)
                    row[p * g.wide + x] += row[(p + 1) * g.wide + x];
        }
    }
}

} // namespace raw
