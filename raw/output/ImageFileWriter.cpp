// The developed image as a file: PGM, PPM or PAM by channel count, or TIFF, in 8 or 16
// bits through the encoding curve, re-oriented row by row as it is written.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "raw/colour/CameraColour.h"
#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/output/ColourOutput.h"
#include "raw/output/FileOutput.h"

namespace raw {
namespace {

void build_curve(DecoderState& s) {
    const float brightness = s.brightness > 0 ? s.brightness : 1.0f;
    build_gamma_curve(s, s.gamma_params[0], s.gamma_params[1], 2, float(white_bin(s) << 3) / brightness);
}

struct Layout {
    int source_height, source_width;
    int height, width; // as written
    int colours, bits;
};

Layout layout_of(const DecoderState& s) {
    Layout l{s.visible_height,
             s.visible_width,
             s.visible_height,
             s.visible_width,
             std::clamp(s.colour_count, 1, 4),
             s.output_bits == 16 ? 16 : 8};
    if (s.orientation_code & 4) std::swap(l.height, l.width);
    return l;
}

void write_header(DecoderState& s, const Layout& l) {
    FILE* out = s.output_file;
    const int max_value = (1 << l.bits) - 1;
    if (s.tiff_output) {
        const tiff_image_shape shape{uint32_t(l.width), uint32_t(l.height), uint32_t(l.colours),
                                     uint32_t(l.bits), output_profile_length(s)};
        const tiff_header header = tiff_header_record(s, &shape);
        std::fwrite(header.data(), 1, header.size(), out);
        if (shape.profile_length) std::fwrite(s.output_profile, 1, shape.profile_length, out);
    } else if (l.colours != 1 && l.colours != 3) { // PGM and PPM hold one or three
        std::fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL %d\nTUPLTYPE %s\nENDHDR\n", l.width,
                     l.height, l.colours, max_value, s.colour_letters);
    } else {
        std::fprintf(out, "P%d\n%d %d\n%d\n", l.colours == 1 ? 5 : 6, l.width, l.height, max_value);
    }
}

// One output row of samples: TIFF wants little-endian 16-bit samples, PNM big-endian.
void encode_row(const DecoderState& s, const Layout& l, int row, uint8_t* out) {
    const OrientedRow walk = oriented_row(s.orientation_code, l.source_height, l.source_width, row);
    const bool big_endian = !s.tiff_output;
    int64_t at = walk.start;
    for (int col = 0; col < l.width; ++col, at += walk.step) {
        const uint16_t* pixel = s.pixel_image[at];
        for (int c = 0; c < l.colours; ++c) {
            const uint16_t v = s.tone_table[pixel[c]];
            if (l.bits == 8) {
                *out++ = uint8_t(v >> 8);
            } else if (big_endian) {
                *out++ = uint8_t(v >> 8);
                *out++ = uint8_t(v);
            } else {
                *out++ = uint8_t(v);
                *out++ = uint8_t(v >> 8);
            }
        }
    }
}

} // namespace

void write_ppm_tiff(DecoderState& s) {
    if (!s.output_file || !s.pixel_image) return;
    build_curve(s);
    const Layout l = layout_of(s);
    const uint64_t row_bytes = uint64_t(l.width) * l.colours * (l.bits / 8);
    auto release = [&s](void* p) { file_backed_free(s, p); };
    std::unique_ptr<uint8_t, decltype(release)> row(
        static_cast<uint8_t*>(file_backed_calloc(s, std::max<uint64_t>(row_bytes, 1), 1)), release);
    memory_error(s, row.get(), "write_ppm_tiff()");
    write_header(s, l);
    // Once the file refuses bytes, the rest would be lost too; the caller reports it.
    for (int r = 0; r < l.height && !std::ferror(s.output_file); ++r) {
        encode_row(s, l, r, row.get());
        std::fwrite(row.get(), 1, row_bytes, s.output_file);
    }
}

} // namespace raw
