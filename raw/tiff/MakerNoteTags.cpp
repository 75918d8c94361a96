// The maker-note entries the decoder uses: exposure, white balance, black levels,
// thumbnails and embedded directories of Canon, Nikon, Olympus, Minolta, Fujifilm and others.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "raw/core/InputReaders.h"
#include "raw/tiff/MakerNote.h"
#include "raw/tiff/TiffDirectory.h"
#include "raw/tiff/TiffReading.h"

namespace raw {
namespace {

// Canon shot information: ISO, aperture, exposure, white-balance index and shot order.
void read_shot_info(DecoderState& s, MakerNoteContext& note) {
    read_u32(s);
    uint16_t iso = read_u16(s);
    if (iso != 0x7fff && s.iso_value == 0) s.iso_value = 50 * std::pow(2.0f, iso / 32.0f - 4);
    read_u16(s);
    uint16_t aperture = read_u16(s);
    if (aperture != 0x7fff && s.f_number == 0) s.f_number = std::pow(2.0f, aperture / 64.0f);
    uint16_t shutter = read_u16(s);
    if (shutter != 0xffff && s.exposure_time == 0)
        s.exposure_time = std::pow(2.0f, int16_t(shutter) / -32.0f);
    read_u16(s);
    note.white_balance_index = read_u16(s);
    read_u16(s);
    s.shot_order = read_u16(s);
}

void read_minolta_orientation(DecoderState& s, uint32_t tag) {
    seek_to(s, file_position(s) + (tag == 4 ? 140 : 160));
    switch (read_u16(s)) {
    case 'H':
        s.orientation_code = 0;
        break;
    case 'R':
        s.orientation_code = 5;
        break;
    case 'L':
        s.orientation_code = 6;
        break;
    default:
        break;
    }
}

void read_indexed_white_balance(DecoderState& s, const MakerNoteContext& note) {
    static const char slots[] = "012347800000005896";
    int slot = note.white_balance_index < 18 ? slots[note.white_balance_index] - '0' : 0;
    seek_to(s, file_position(s) + 8 + 32 * slot);
    for (int c = 0; c < 4; ++c)
        s.as_shot_multipliers[c ^ (c >> 1) ^ 1] = float(read_u32(s));
}

// A note of items, each with a 32-bit id, 14 bytes, a 32-bit size and its data.
void read_capture_note(DecoderState& s, uint32_t count) {
    ByteOrderKeeper keep(s); // the rest of the note is in its own byte order
    s.byte_order = kLittleEndian;
    int64_t start = file_position(s);
    seek_to(s, start + 22);
    for (int64_t offset = 22; offset + 22 < int64_t(count);) {
        uint32_t id = read_u32(s);
        seek_to(s, file_position(s) + 14);
        int64_t size = int64_t(read_u32(s)) - 4;
        if (size < 0) break;
        if (id == 0x76a43207) {
            s.orientation_code = read_u16(s);
            break;
        }
        seek_to(s, file_position(s) + size);
        offset += 22 + size;
    }
}

void read_two_multipliers(DecoderState& s) {
    s.as_shot_multipliers[0] = read_u16(s) / 256.0f;
    s.as_shot_multipliers[2] = read_u16(s) / 256.0f;
}

bool apply_shot_tag(DecoderState& s, MakerNoteContext& note, uint32_t tag, const tiff_entry& e) {
    switch (tag) {
    case 2:
        if (std::strstr(s.camera_make, "NIKON") && s.iso_value == 0) {
            read_u16(s);
            s.iso_value = read_u16(s);
        }
        return true;
    case 4:
    case 276:
        if (tag == 4 && e.count > 26 && e.count < 35) read_shot_info(s, note);
        if (text_begins(s.camera_make, "KONICA MINOLTA")) {
            seek_to(s, e.value_position);
            read_minolta_orientation(s, tag);
        }
        return true;
    case 7:
        if (e.type == 2 && e.count > 20) read_line(s, s.model_text_2, sizeof s.model_text_2);
        return true;
    case 8:
        if (e.type == 4) s.shot_order = read_u32(s);
        return true;
    case 9:
        if (!std::strcmp(s.camera_make, "Canon")) read_fixed_text(s, s.artist_text, sizeof s.artist_text);
        return true;
    case 12:
        if (e.type == 4)
            for (int c = 0; c < 3; ++c)
                s.as_shot_multipliers[(c << 1 | c >> 1) & 3] = read_real_by_type(s, e.type);
        return true;
    case 16:
        if (e.type == 4) s.camera_model_id = read_u32(s);
        return true;
    case 17:
        if (s.raw_count && text_begins(s.camera_make, "NIKON") &&
            seek_inside(s, note.base + int64_t(read_u32(s))))
            parse_tiff_directory(s, note.base);
        return true;
    case 21:
        if (e.type == 2 && s.raw_count) read_fixed_text(s, s.camera_model, sizeof s.camera_model);
        return true;
    default:
        return false;
    }
}

bool apply_colour_tag(DecoderState& s, const MakerNoteContext& note, uint32_t tag, const tiff_entry& e) {
    switch (tag) {
    case 41:
        if (e.type == 1) read_indexed_white_balance(s, note);
        return true;
    case 61:
        if (e.type == 3) {
            int shift = std::max(0, 14 - int(s.bits_per_sample));
            for (int c = 0; c < 4; ++c)
                s.channel_black[c] = uint16_t(read_u16(s) >> shift);
        }
        return true;
    case 3712:
        if (e.type == 7 && e.count == 256) {
            seek_to(s, file_position(s) + 48);
            s.as_shot_multipliers[0] = float(read_u16(s) * 508 * 1.078 / 0x10000);
            s.as_shot_multipliers[2] = float(read_u16(s) * 382 * 1.173 / 0x10000);
        }
        return true;
    case 4113:
    case 0x20400200:
        if (tag == 4113 && e.count != 9) return true;
        for (auto& row : s.embedded_matrix)
            for (int c = 0; c < 3; ++c)
                row[c] = int16_t(read_u16(s)) / 256.0f;
        return true;
    case 4119:
        s.as_shot_multipliers[0] = read_u16(s) / 256.0f;
        return true;
    case 4120:
        s.as_shot_multipliers[2] = read_u16(s) / 256.0f;
        return true;
    case 0x20400100:
        read_two_multipliers(s);
        return true;
    case 8209:
        if (e.count == 2) {
            ByteOrderKeeper keep(s);
            s.byte_order = kBigEndian;
            read_two_multipliers(s);
        }
        return true;
    case 16385:
        if (e.count > 500) read_canon_colour_data(s, e.count);
        return true;
    default:
        return false;
    }
}

bool is_embedded_jpeg(uint32_t tag, uint32_t type) {
    return (tag == 129 || tag == 256 || tag == 640) && (type == 7 || type == 1);
}

bool apply_offset_tag(DecoderState& s, MakerNoteContext& note, uint32_t tag, const tiff_entry& e) {
    if (is_embedded_jpeg(tag, e.type)) {
        s.thumbnail_offset = uint64_t(file_position(s));
        s.thumbnail_length = e.count;
        return true;
    }
    switch (tag) {
    case 129:
        if (e.type != 4) return true;
        s.sensor_data_offset = read_u32(s);
        seek_to(s, int64_t(s.sensor_data_offset) + 41);
        s.sensor_height = uint16_t(read_u16(s) * 2);
        return true;
    case 136:
        if (uint32_t offset = read_u32(s)) s.thumbnail_offset = uint64_t(note.base + int64_t(offset));
        return true;
    case 137:
        s.thumbnail_length = read_u32(s);
        return true;
    case 140:
    case 150:
        s.maker_data_offset = uint64_t(file_position(s));
        return true;
    case 3585:
        read_capture_note(s, e.count);
        return true;
    case 5123:
        if (!std::strcmp(s.camera_make, "FUJIFILM"))
            s.fuji_dynamic_range = int32_t(read_int_by_type(s, e.type));
        return true;
    case 8224:
        if (!std::memcmp(note.header, "OLYMP", 5)) parse_thumbnail_note(s, note.base, 257, 258);
        return true;
    case 8256: // image-processing sub-directory, whose tags are qualified by it
        if (note.parent_tag) return true;
        if (e.type == 13 || (e.type == 4 && e.count == 1)) {
            if (!seek_inside(s, note.base + int64_t(read_u32(s)))) return true;
        }
        parse_maker_note(s, note.base, tag);
        return true;
    default:
        return false;
    }
}

} // namespace

bool apply_maker_note_tag(DecoderState& s, MakerNoteContext& note, uint32_t tag, const tiff_entry& e) {
    return apply_shot_tag(s, note, tag, e) || apply_colour_tag(s, note, tag, e) ||
           apply_offset_tag(s, note, tag, e);
}

} // namespace raw
