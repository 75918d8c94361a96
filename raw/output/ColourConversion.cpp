// Conversion of the developed camera channels into the output space, counting the
// histogram that later sets the white of 8-bit output.
#include <algorithm>
#include <cstring>
#include <memory>

#include "raw/colour/CameraColour.h"
#include "raw/core/BandRunner.h"
#include "raw/core/CfaColor.h"
#include "raw/output/ColourOutput.h"

namespace raw {
namespace {

using Histogram = uint32_t[4][8192];

uint16_t clip(float v) {
    if (!(v > 0)) return 0;
    return v >= 65535 ? 65535 : uint16_t(v);
}

// Sets output_from_camera; the camera's colours pass unconverted when no output space
// applies.
void prepare(DecoderState& s) {
    build_gamma_curve(s, s.gamma_params[0], s.gamma_params[1], 0, 0);
    std::memcpy(s.output_from_camera, s.rgb_from_camera, sizeof s.output_from_camera);
    if (s.colour_count == 1 || s.no_demosaic_mode || !output_matrix(s.output_space))
        s.camera_colour_output = 1;
    if (s.camera_colour_output) return;
    build_output_profile(s);
    const float(*m)[3] = output_matrix(s.output_space);
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 4; ++c) {
            float v = 0;
            for (int k = 0; k < 3; ++k)
                v += m[i][k] * s.rgb_from_camera[k][c];
            s.output_from_camera[i][c] = v;
        }
}

// The matrix and channel count are fixed for the whole image, so they live in registers
// rather than being read back from the state after every histogram store.
template <int Channels>
void convert_row(const float (&m)[3][4], uint16_t (*p)[4], int width, Histogram& histogram, bool luminance) {
    for (int col = 0; col < width; ++col, ++p) {
        float out[3] = {0, 0, 0};
        for (int i = 0; i < 3; ++i)
            for (int c = 0; c < Channels; ++c)
                out[i] += m[i][c] * (*p)[c];
        for (int i = 0; i < 3; ++i)
            (*p)[i] = clip(out[i]);
        // The file mode's sharpening reads this slot.
        if (luminance) (*p)[3] = clip(0.299f * out[0] + 0.587f * out[1] + 0.114f * out[2]);
        for (int c = 0; c < 3; ++c)
            ++histogram[c][(*p)[c] >> 3];
    }
}

void pass_camera_colour_row(const DecoderState& s, uint16_t (*p)[4], int row, int width,
                            Histogram& histogram) {
    const bool grey = s.colour_count == 1, mosaic = s.no_demosaic_mode != 0;
    // Unconverted four-colour data keeps four channels; everything else leaves with three.
    const int counted = s.colour_count == 4 ? 4 : 3;
    for (int col = 0; col < width; ++col, ++p) {
        if (grey)
            (*p)[1] = (*p)[2] = (*p)[3] = (*p)[0];
        else if (mosaic)
            (*p)[0] = (*p)[cfa_color(s, row, col) & 3];
        for (int c = 0; c < counted; ++c)
            ++histogram[c][(*p)[c] >> 3];
    }
}

void convert_rows(const DecoderState& s, int begin, int end, Histogram& histogram, bool luminance) {
    const int width = s.visible_width;
    float m[3][4];
    std::memcpy(m, s.output_from_camera, sizeof m);
    for (int row = begin; row < end; ++row) {
        uint16_t(*p)[4] = s.pixel_image + int64_t(row) * width;
        if (s.camera_colour_output) {
            pass_camera_colour_row(s, p, row, width, histogram);
            continue;
        }
        switch (std::clamp(s.colour_count, 1, 4)) {
        case 1:
            convert_row<1>(m, p, width, histogram, luminance);
            break;
        case 2:
            convert_row<2>(m, p, width, histogram, luminance);
            break;
        case 3:
            convert_row<3>(m, p, width, histogram, luminance);
            break;
        default:
            convert_row<4>(m, p, width, histogram, luminance);
            break;
        }
    }
}

void settle_colour_count(DecoderState& s) {
    const int before = s.colour_count;
    if (before == 4 && s.output_space != 0) s.colour_count = 3;
    if (s.camera_colour_output && before == 1) s.colour_count = 3;
    // Checked last: an undemosaiced mosaic stays one channel even though it passed unconverted.
    if (s.no_demosaic_mode && s.cfa_pattern) s.colour_count = 1;
}

} // namespace

void convert_to_rgb_threaded(DecoderState& s) {
    prepare(s);
    std::memset(s.histogram, 0, sizeof s.histogram);
    // Each band counts into its own histogram; they are added once all have finished.
    auto counts = std::make_unique<Histogram[]>(kBandCount);
    const int height = s.visible_height, band_rows = height / kBandCount;
    run_bands(kBandCount, [&](int band) {
        const int begin = band_rows * band;
        const int end = band == kBandCount - 1 ? height : band_rows * (band + 1);
        convert_rows(s, begin, end, counts[band], true);
    });
    for (int band = 0; band < kBandCount; ++band)
        for (int c = 0; c < 4; ++c)
            for (int bin = 0; bin < 8192; ++bin)
                s.histogram[c][bin] += counts[band][c][bin];
    settle_colour_count(s);
}

void convert_to_rgb(DecoderState& s) {
    prepare(s);
    std::memset(s.histogram, 0, sizeof s.histogram);
    convert_rows(s, 0, s.visible_height, s.histogram, false);
    settle_colour_count(s);
}

} // namespace raw
