#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// The PPM/PAM/TIFF image writer installed as output_writer.
void write_ppm_tiff(DecoderState& s);
// The thumbnail writer installed as thumbnail_writer.
void jpeg_thumb(DecoderState& s);

// The little-endian TIFF header the file writers put in front of TIFF pixels and inside a
// thumbnail's EXIF block: the main directory, EXIF and GPS directories and their values.
inline constexpr size_t kTiffHeaderSize = 1376;
using tiff_header = std::array<uint8_t, kTiffHeaderSize>;

// What the header says of the pixels that follow it; none for a thumbnail's header.
struct tiff_image_shape {
    uint32_t width, height, colours, bits;
    uint32_t profile_length; // bytes of output_profile written between header and pixels
};
tiff_header tiff_header_record(const DecoderState& s, const tiff_image_shape* image);

// The used length of output_profile (its ICC header says it); 0 when there is none.
uint32_t output_profile_length(const DecoderState& s);

} // namespace raw
