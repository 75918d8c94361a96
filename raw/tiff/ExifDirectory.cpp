// The EXIF and GPS sub-directories.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "raw/core/InputReaders.h"
#include "raw/tiff/TiffDirectory.h"
#include "raw/tiff/TiffReading.h"
#include "raw/tiff/exifEngine.h"

namespace raw {
namespace {

void hand_to_metadata(DecoderState& s, const tiff_entry& e, bool gps) {
    if (!s.metadata_engine) return;
    s.metadata_engine->setByteOrder(s.byte_order == kLittleEndian);
    s.metadata_engine->addTag(s.input_file, e.tag, e.type, e.count, gps);
}

// EXIF exposure values also go to the newest image directory, if there is one yet.
void set_exposure(DecoderState& s, float seconds) {
    s.exposure_time = seconds;
    if (s.ifd_count > 0) s.ifd_table[s.ifd_count - 1].exposure_time = seconds;
}

void read_exif_cfa(DecoderState& s) {
    if (read_u32(s) != 0x20002) return;
    s.exif_cfa_pattern = 0;
    for (int c = 0; c < 8; c += 2)
        s.exif_cfa_pattern |= uint32_t(read_byte(s)) * 0x01010101u << c;
}

void apply_exif_tag(DecoderState& s, int64_t base, bool kodak, const tiff_entry& e) {
    switch (e.tag) {
    case 33434:
        set_exposure(s, read_real_by_type(s, e.type));
        break;
    case 33437:
        s.f_number = read_real_by_type(s, e.type);
        break;
    case 34855:
        s.iso_value = read_u16(s);
        break;
    case 36867:
    case 36868:
        read_timestamp(s, 0);
        break;
    case 37377: {
        float exponent = -read_real_by_type(s, e.type);
        if (exponent < 128) set_exposure(s, std::pow(2.0f, exponent));
        break;
    }
    case 37378:
        s.f_number = std::pow(2.0f, read_real_by_type(s, e.type) / 2);
        break;
    case 37386:
        s.focal_length_mm = read_real_by_type(s, e.type);
        break;
    case 37500:
        parse_maker_note(s, base, 0);
        break;
    case 40962:
        if (kodak) s.sensor_width = uint16_t(read_u32(s));
        break;
    case 40963:
        if (kodak) s.sensor_height = uint16_t(read_u32(s));
        break;
    case 41730:
        read_exif_cfa(s);
        break;
    default:
        break;
    }
}

void read_gps_text(DecoderState& s, int word, uint32_t count) {
    char* text = reinterpret_cast<char*>(s.gps_data + word);
    int size = int(std::min<uint32_t>(count, 12));
    if (size > 0) read_line(s, text, size);
}

void apply_gps_tag(DecoderState& s, const tiff_entry& e) {
    switch (e.tag) {
    case 1:
    case 3:
    case 5:
        s.gps_data[29 + e.tag / 2] = uint32_t(read_byte(s));
        break;
    case 2:
    case 4:
    case 7:
        for (int c = 0; c < 6; ++c)
            s.gps_data[e.tag / 3 * 6 + c] = read_u32(s);
        break;
    case 6:
        for (int c = 0; c < 2; ++c)
            s.gps_data[18 + c] = read_u32(s);
        break;
    case 18:
    case 29:
        read_gps_text(s, 14 + int(e.tag) / 3, e.count);
        break;
    default:
        break;
    }
}

} // namespace

void parse_exif_ifd(DecoderState& s, int64_t base) {
    NestingGuard depth(s);
    if (!depth.ok) return;
    bool kodak = text_begins(s.camera_make, "EASTMAN") && s.ifd_count < 3;
    uint32_t entries = take_entries(s, read_u16(s));
    if (s.metadata_engine) s.metadata_engine->setByteOrder(s.byte_order == kLittleEndian);
    while (entries--) {
        tiff_entry e = read_tag_header(s, base);
        hand_to_metadata(s, e, false);
        if (e.in_file) apply_exif_tag(s, base, kodak, e);
        seek_to(s, e.next);
    }
}

void parse_gps_ifd(DecoderState& s, int64_t base) {
    NestingGuard depth(s);
    if (!depth.ok) return;
    uint32_t entries = take_entries(s, read_u16(s));
    while (entries--) {
        tiff_entry e = read_tag_header(s, base);
        hand_to_metadata(s, e, true);
        if (e.in_file) apply_gps_tag(s, e);
        seek_to(s, e.next);
    }
}

} // namespace raw
