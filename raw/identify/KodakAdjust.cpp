#include <cstring>

#include "raw/colour/CameraColour.h"
#include "raw/core/DecoderError.h"
#include "raw/core/InputReaders.h"
#include "raw/identify/AdjustRules.h"
#include "raw/identify/CameraAdjust.h"
#include "raw/identify/Identify.h"
#include "raw/loaders/Loaders.h"

namespace raw::adjust {
namespace {

void make_monochrome(DecoderState& s) {
    s.colour_count = 1;
    s.cfa_pattern = 0;
}

// Professional bodies built on other makers' cameras.
void apply_dcs_rules(DecoderState& s) {
    if (text_is(s.camera_model, {"NC2000"}) || text_begins(s.camera_model, {"EOSDCS", "DCS4"})) {
        s.visible_width = add16(s.visible_width, -4);
        s.margin_left = 2;
        if (s.camera_model[6] == ' ') s.camera_model[6] = 0;
        if (text_is(s.camera_model, {"DCS460A"})) make_monochrome(s);
    } else if (text_is(s.camera_model, {"DCS760M"})) {
        make_monochrome(s);
    } else if (text_is(s.camera_model, {"DCS660M"})) {
        s.black_level = 214;
        make_monochrome(s);
    }
}

// The DC20 and DC25 store a low or a high resolution, told apart by the file size.
void frame_dc2(adjust_context& a) {
    DecoderState& s = a.s;
    const bool small = a.file_length < kKodakDc2SmallFileLimit;
    s.visible_height = 242;
    s.sensor_height = 244;
    s.visible_width = small ? 249 : 501;
    s.sensor_width = small ? 256 : 512;
    s.pixel_aspect_ratio = small ? kKodakDc2SmallAspect : kKodakDc2LargeAspect;
    set_margins(s, 1, 1);
    s.colour_count = 4;
    s.cfa_pattern = 0x8d8d8d8d;
    set_simple_matrix(s, 1);
    s.daylight_multipliers[1] = 1.179f;
    s.daylight_multipliers[2] = 1.209f;
    s.daylight_multipliers[3] = 1.036f;
    s.raw_loader = eight_bit_load_raw;
}

void frame_radc(DecoderState& s, const char* model, uint64_t offset) {
    set_text(s.camera_model, model);
    set_visible(s, 512, 768);
    s.sensor_data_offset = offset;
    s.raw_loader = radc_load_raw;
}

void frame_dcs200(DecoderState& s) {
    s.thumbnail_width = 192;
    s.thumbnail_height = 128;
    s.thumbnail_offset = 6144;
    s.thumbnail_misc = 360;
    s.thumbnail_writer = layer_thumb;
    s.black_level = 17;
}

void apply_compact_frame(adjust_context& a) {
    DecoderState& s = a.s;
    if (text_begins(s.camera_model, {"DC2"})) {
        frame_dc2(a);
    } else if (text_is(s.camera_model, {"40"})) {
        frame_radc(s, "DC40", 1152);
        s.bits_per_sample = 12;
    } else if (std::strstr(s.camera_model, "DC50")) {
        frame_radc(s, "DC50", 19712);
    } else if (std::strstr(s.camera_model, "DC120")) {
        set_text(s.camera_model, "DC120");
        set_visible(s, 976, 848);
        s.pixel_aspect_ratio = 1.5345912f;
        // JPEG-coded data needs a codec this decoder does not carry.
        s.raw_loader = s.compression_code == 7 ? empty_loader : diagonal_8bit_load_raw;
    } else if (text_is(s.camera_model, {"DCS200"})) {
        frame_dcs200(s);
    }
}

} // namespace

// Sensor modules sold for others to build into their products.
void adjust_kodak_compact(adjust_context& a) {
    DecoderState& s = a.s;
    s.byte_order = kLittleEndian;
    if (s.cfa_pattern && s.sensor_data_offset) {
        if (seek_input(s, s.sensor_data_offset >= 4096 ? 5252 : 168))
            read_u16_array(s, s.tone_table, 256);
        else
            count_data_error(s);
    } else {
        build_gamma_curve(s, 0, 3.875f, 1, 255);
    }
    if (s.cfa_pattern)
        s.raw_loader = eight_bit_load_raw;
    else
        s.raw_loader = text_is(s.camera_model, {"C330"}) ? kodak_c330_load_raw : kodak_c603_load_raw;
    s.loader_flags = s.bits_per_sample > 16 ? 1 : 0;
    s.bits_per_sample = 8;
}

void adjust_kodak(adjust_context& a) {
    DecoderState& s = a.s;
    if (s.cfa_pattern == kPatternUnset) s.cfa_pattern = 0x61616161;
    apply_dcs_rules(s);
    if (std::strlen(s.camera_model) >= 4 && std::strcmp(s.camera_model + 4, "20X") == 0)
        set_text(s.colour_letters, "MYCY");
    if (std::strstr(s.camera_model, "DC25")) {
        set_text(s.camera_model, "DC25");
        s.sensor_data_offset = 15424;
    }
    apply_compact_frame(a);
}

} // namespace raw::adjust
