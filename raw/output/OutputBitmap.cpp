// The developed image leaves the decoder here: re-oriented into a 16-bit buffer for the
// application, or as 8-bit rows (optionally sharpened) into the output file.
#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "raw/colour/CameraColour.h"
#include "raw/core/BandRunner.h"
#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/output/ColourOutput.h"

namespace raw {
namespace {

using Pixel = uint16_t[4];

constexpr int kRowsPerBand = 16;

struct Geometry {
    int orientation;
    int source_height, source_width;
    int height, width; // the output
};

Geometry orient(DecoderState& s) {
    s.image_height = s.visible_height;
    s.image_width = s.visible_width;
    if (s.orientation_code & 4) std::swap(s.visible_width, s.visible_height);
    return {s.orientation_code, s.image_height, s.image_width, s.visible_height, s.visible_width};
}

// Rows [begin, end) of the re-oriented image, alpha opaque.
void copy_rows(const Geometry& g, const Pixel* source, Pixel* target, int begin, int end) {
    for (int row = begin; row < end; ++row) {
        const OrientedRow from = oriented_row(g.orientation, g.source_height, g.source_width, row);
        Pixel* out = target + int64_t(row) * g.width;
        for (int col = 0; col < g.width; ++col, ++out) {
            const uint16_t* p = source[from.start + from.step * col];
            (*out)[0] = p[0];
            (*out)[1] = p[1];
            (*out)[2] = p[2];
            (*out)[3] = 65535;
        }
    }
}

void write_to_buffer(DecoderState& s, const Geometry& g, int sharpening) {
    if (s.orientation_code == 0 || g.height == 0 || g.width == 0) return;
    auto* image =
        static_cast<Pixel*>(file_backed_calloc(s, uint64_t(g.height) * uint64_t(g.width), sizeof(Pixel)));
    memory_error(s, image, "createCGImage()");
    // Bands start on even rows.
    const int band_rows = (g.height / kBandCount) & ~1;
    run_bands(kBandCount, [&](int band) {
        if (sharpening != 0) {
            std::puts("Illegal call to bufferWriteToBuffer16_core with non-zero sharpening");
            return;
        }
        const int end = band == kBandCount - 1 ? g.height : band_rows * (band + 1);
        copy_rows(g, s.pixel_image, image, band_rows * band, end);
    });
    file_backed_free(s, s.pixel_image);
    s.pixel_image = image;
}

// 8-bit rows for the file: an opaque alpha byte, then the high byte of each channel
// through tone_table; with sharpening, the channels scale by how much the pixel's
// luminance stands out from its eight neighbours.
class RowEncoder {
  public:
    RowEncoder(const DecoderState& s, const Geometry& g, int sharpening)
        : s_(s), g_(g), channels_(std::clamp(s.colour_count, 1, 4)), k_(sharpening),
          divisor_(float(sharpening - 8)) {}

    size_t row_bytes() const { return size_t(g_.width) * (1 + channels_); }

    void encode(int row, uint8_t* out) const {
        const OrientedRow from = oriented_row(g_.orientation, g_.source_height, g_.source_width, row);
        for (int col = 0; col < g_.width; ++col) {
            const int64_t at = from.start + from.step * col;
            const float factor = k_ ? sharpening_factor(at) : 1;
            *out++ = 255;
            for (int c = 0; c < channels_; ++c)
                *out++ = uint8_t(s_.tone_table[scaled(s_.pixel_image[at][c], factor)] >> 8);
        }
    }

  private:
    static int scaled(uint16_t value, float factor) {
        if (factor == 1) return value;
        return int(std::min(float(value) * factor, 65535.0f));
    }

    float sharpening_factor(int64_t at) const {
        const int w = g_.source_width;
        const int64_t r = at / w, c = at % w;
        const int luminance = s_.pixel_image[at][3];
        if (luminance == 0 || r == 0 || c == 0 || r == g_.source_height - 1 || c == w - 1) return 1;
        int64_t around = 0;
        for (int dr = -1; dr <= 1; ++dr)
            for (int dc = -1; dc <= 1; ++dc)
                if (dr || dc) around += s_.pixel_image[at + dr * w + dc][3];
        const float raised = float(int64_t(luminance) * k_ - around) / divisor_;
        return std::max(raised, 0.0f) / float(luminance);
    }

    const DecoderState& s_;
    const Geometry& g_;
    int channels_, k_;
    float divisor_;
};

// Passes of 16 bands of 16 rows go into two alternating buffers; while one pass is
// computed on the band threads, the calling thread writes the previous one.
void write_to_file(DecoderState& s, const Geometry& g, int sharpening) {
    const RowEncoder encoder(s, g, sharpening);
    const int pass_rows = kBandCount * kRowsPerBand;
    const size_t row_bytes = encoder.row_bytes();
    std::vector<uint8_t> buffers[2] = {std::vector<uint8_t>(row_bytes * pass_rows),
                                       std::vector<uint8_t>(row_bytes * pass_rows)};
    auto rows_in = [&](int pass) { return std::min(pass_rows, g.height - pass * pass_rows); };
    auto write_pass = [&](int pass) {
        std::fwrite(buffers[pass & 1].data(), row_bytes, size_t(rows_in(pass)), s.output_file);
    };
    const int passes = (g.height + pass_rows - 1) / pass_rows;
    for (int pass = 0; pass < passes; ++pass) {
        run_bands(kBandCount + 1, [&](int band) {
            if (band == kBandCount) {
                if (pass > 0) write_pass(pass - 1);
                return;
            }
            const int first = pass * pass_rows + band * kRowsPerBand;
            const int last = std::min(first + kRowsPerBand, g.height);
            for (int row = first; row < last; ++row)
                encoder.encode(row, buffers[pass & 1].data() + size_t(row - pass * pass_rows) * row_bytes);
        });
    }
    if (passes > 0) write_pass(passes - 1);
}

} // namespace

// The brightest bin that more than 1% of the pixels reach (half of that for a 45-degree
// sensor, whose corners are empty), over all channels; never below bin 32.
int white_bin(const DecoderState& s) {
    double share = double(s.visible_height) * s.visible_width * 0.01;
    if (s.rotated_width) share /= 2;
    int white = 0;
    for (int c = 0; c < std::clamp(s.colour_count, 1, 4); ++c) {
        uint64_t total = 0;
        int bin = 8191;
        for (; bin > 32; --bin)
            if ((total += s.histogram[c][bin]) > share) break;
        white = std::max(white, bin);
    }
    return white;
}

OrientedRow oriented_row(int orientation, int source_height, int source_width, int row) {
    int64_t r = 0, c = row, dr = 1, dc = 0;
    if (!(orientation & 4)) {
        r = row;
        c = 0;
        dr = 0;
        dc = 1;
    }
    if (orientation & 1) {
        c = source_width - 1 - c;
        dc = -dc;
    }
    if (orientation & 2) {
        r = source_height - 1 - r;
        dr = -dr;
    }
    return {r * source_width + c, dr * source_width + dc};
}

void createCGImage(DecoderState& s, int sharpening_step) {
    const int k = sharpening_step != 0 && sharpening_step < 10 ? 9 : sharpening_step;
    if (s.colour_count != 3) std::puts("Non three color image passed to createCGImage");
    build_gamma_curve(s, s.gamma_params[0], s.gamma_params[1], 2, float(white_bin(s) << 3));
    const Geometry g = orient(s);
    if (s.output_file)
        write_to_file(s, g, k);
    else
        write_to_buffer(s, g, k);
}

} // namespace raw
