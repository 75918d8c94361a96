// Writers of embedded thumbnails that are stored as plain pixels: each reads the
// thumbnail at the input position and writes it to output_file as a PPM or PGM file.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>

#include "raw/core/InputReaders.h"
#include "raw/loaders/LoaderSupport.h"
#include "raw/loaders/Loaders.h"

namespace raw {
namespace {

using namespace loader;

void write_ppm_header(DecoderState& s, int kind) {
    std::fprintf(s.output_file, "P%d\n%d %d\n255\n", kind, s.thumbnail_width, s.thumbnail_height);
}

// Reads one row of 16-bit values (missing ones read as all ones) and writes one byte
// per value as `convert` makes it.
template <typename Convert>
void convert_rows(DecoderState& s, uint64_t values_per_row, const char* where, Convert convert) {
    LoaderBuffer line(s, values_per_row, sizeof(uint16_t), where, LoaderBuffer::Kind::heap);
    uint16_t* values = line.as<uint16_t>();
    for (uint32_t row = 0; row < s.thumbnail_height; ++row) {
        std::fill(values, values + values_per_row, uint16_t(0xFFFF));
        read_u16_array(s, values, values_per_row);
        for (uint64_t i = 0; i < values_per_row; ++i)
            convert(values[i]);
    }
}

} // namespace

void ppm_thumb(DecoderState& s) {
    if (!s.output_file) return;
    const uint64_t row_bytes = uint64_t(s.thumbnail_width) * 3;
    LoaderBuffer line(s, row_bytes, 1, "ppm_thumb()", LoaderBuffer::Kind::heap);
    write_ppm_header(s, 6);
    for (uint32_t row = 0; row < s.thumbnail_height; ++row) {
        read_bytes(s, line.as<uint8_t>(), row_bytes);
        std::fwrite(line.as<uint8_t>(), 1, row_bytes, s.output_file);
    }
}

void ppm16_thumb(DecoderState& s) {
    if (!s.output_file) return;
    write_ppm_header(s, 6);
    convert_rows(s, uint64_t(s.thumbnail_width) * 3, "ppm16_thumb()",
                 [&](uint16_t v) { std::putc(v >> 8, s.output_file); });
}

void rollei_thumb(DecoderState& s) {
    if (!s.output_file) return;
    write_ppm_header(s, 6);
    convert_rows(s, s.thumbnail_width, "rollei_thumb()", [&](uint16_t v) {
        std::putc(uint8_t(v << 3), s.output_file);
        std::putc(uint8_t(v >> 5 << 2), s.output_file);
        std::putc(uint8_t(v >> 11 << 3), s.output_file);
    });
}

void layer_thumb(DecoderState& s) {
    if (!s.output_file) return;
    // Order of the stored planes within a pixel, by the thumbnail word's bits 8 and up.
    static constexpr char kPlaneOrder[][5] = {"0123"};
    const uint32_t colours = s.thumbnail_misc >> 5 & 7;
    const uint32_t order = s.thumbnail_misc >> 8;
    const char* map = order < std::size(kPlaneOrder) ? kPlaneOrder[order] : kPlaneOrder[0];
    const uint64_t plane = uint64_t(s.thumbnail_width) * s.thumbnail_height;
    LoaderBuffer planes(s, plane, colours, "layer_thumb()", LoaderBuffer::Kind::heap);
    const uint8_t* bytes = planes.as<uint8_t>();
    std::fprintf(s.output_file, "P%d\n%d %d\n255\n", 5 + int(colours >> 1), s.thumbnail_width,
                 s.thumbnail_height);
    read_bytes(s, planes.as<uint8_t>(), plane * colours);
    for (uint64_t i = 0; i < plane; ++i) {
        for (uint32_t c = 0; c < colours; ++c) {
            const uint32_t from = c < 4 ? uint32_t(map[c] - '0') : c;
            std::putc(bytes[i + plane * (from < colours ? from : c)], s.output_file);
        }
    }
}

} // namespace raw
