#include <cstring>

#include "raw/colour/CameraColour.h"
#include "raw/core/InputReaders.h"
#include "raw/identify/AdjustRules.h"
#include "raw/identify/CanonProbes.h"
#include "raw/identify/Identify.h"
#include "raw/loaders/Loaders.h"

namespace raw::adjust {
namespace {

using names = std::initializer_list<const char*>;

bool model_is(const adjust_context& a, names list) { return text_is(a.s.camera_model, list); }
bool model_begins(const adjust_context& a, names list) { return text_begins(a.s.camera_model, list); }
bool make_is(const adjust_context& a, const char* make) { return text_is(a.s.camera_make, {make}); }
bool samsung_width(const adjust_context& a, uint16_t width) {
    return make_is(a, "Samsung") && a.s.sensor_width == width;
}

// Changes of the visible size, width first.
void resize(DecoderState& s, int width_change, int height_change) {
    s.visible_width = add16(s.visible_width, width_change);
    s.visible_height = add16(s.visible_height, height_change);
}

void adjust_foveon(adjust_context& a) {
    DecoderState& s = a.s;
    if (s.visible_width < s.visible_height) s.pixel_aspect_ratio = 2.0f;
    if (s.visible_height * 2 < s.visible_width) s.pixel_aspect_ratio = 0.5f;
    s.cfa_pattern = 0;
    set_simple_matrix(s, 0);
}

// The 80D's frame starts two rows above the one its raw size gives; a frame already at
// the top has no rows to give.
void adjust_eos_80d(adjust_context& a) {
    if (a.s.margin_top < 2) return;
    a.s.margin_top -= 2;
    resize(a.s, 0, 2);
}

void trim_nikon_frame(adjust_context& a) {
    resize(a.s, -64, -12);
    a.s.margin_left = 4;
}

void adjust_coolpix_p(adjust_context& a) {
    DecoderState& s = a.s;
    s.loader_flags = 24;
    s.cfa_pattern = 0x94949494;
    if (s.camera_model[9] == '7' && s.iso_value >= 400) s.black_level = 255;
}

void adjust_samsung_3714(adjust_context& a) {
    DecoderState& s = a.s;
    resize(s, 0, -18);
    s.visible_width = 5536;
    if (s.sensor_width == 5600)
        set_margins(s, 5600 - 5536, 18);
    else
        set_margins(s, 0, 0);
    s.cfa_pattern = 0x61616161;
    s.colour_count = 3;
}

void adjust_samsung_5632(adjust_context& a) {
    DecoderState& s = a.s;
    s.byte_order = kLittleEndian;
    s.visible_height = 3694;
    set_margins(s, 32 + int(s.bits_per_sample), 2);
    s.visible_width = add16(5542, -int64_t(s.bits_per_sample));
    if (s.bits_per_sample == 12) s.loader_flags = 80;
}

// The black level follows the sample depth; depths below 7 bits have none.
void adjust_samsung_6496(adjust_context& a) {
    DecoderState& s = a.s;
    s.cfa_pattern = 0x61616161;
    const uint32_t bits = s.bits_per_sample;
    s.black_level = bits >= 7 && bits - 7 < 32 ? 1u << (bits - 7) : 0;
}

// Two sensor sizes share a model name; the wider one has a larger border.
struct border {
    int width_cut, height_cut, top;
};

void trim_two_sizes(DecoderState& s, int wide_width, border small, border large) {
    s.byte_order = kLittleEndian;
    const border& b = s.visible_width - small.width_cut >= wide_width ? large : small;
    resize(s, -b.width_cut, -b.height_cut);
    s.margin_top = uint16_t(b.top);
}

void adjust_rollei(adjust_context& a) {
    DecoderState& s = a.s;
    if (s.sensor_width == 1316) {
        set_visible(s, 1030, 1300);
        set_margins(s, 6, 1);
    } else if (s.sensor_width == 2568) {
        set_visible(s, 1960, 2560);
        set_margins(s, 8, 2);
    }
    s.cfa_pattern = 0x16161616;
    s.raw_loader = split_10bit_load_raw;
}

// The first rule that holds adjusts the camera; the rest are skipped.
const adjust_rule kChain[] = {
    {[](const adjust_context& a) { return a.s.foveon_sensor != 0; }, adjust_foveon},
    {[](const adjust_context& a) { return make_is(a, "Canon") && a.s.bits_per_sample == 15; },
     adjust_canon_small_raw},
    {[](const adjust_context& a) { return model_is(a, {"PowerShot 600"}); },
     [](adjust_context& a) {
         set_visible(a.s, 613, 854);
         a.s.sensor_width = 896;
         a.s.colour_count = 4;
         a.s.cfa_pattern = 0xe1e4e1e4;
         a.s.raw_loader = canon600_packed_load_raw;
     }},
    {[](const adjust_context& a) {
         return model_is(a, {"PowerShot A5", "PowerShot A5 Zoom"});
     },
     [](adjust_context& a) {
         set_visible(a.s, 773, 960);
         a.s.sensor_width = 992;
         a.s.pixel_aspect_ratio = 256 / 235.0f;
         a.s.cfa_pattern = 0x1e4e1e4e;
         set_canon_10bit_defaults(a.s);
     }},
    {[](const adjust_context& a) { return model_is(a, {"PowerShot A50"}); },
     [](adjust_context& a) {
         set_visible(a.s, 968, 1290);
         a.s.sensor_width = 1320;
         a.s.cfa_pattern = 0x1b4e4b1e;
         set_canon_10bit_defaults(a.s);
     }},
    {[](const adjust_context& a) { return model_is(a, {"PowerShot Pro70"}); },
     [](adjust_context& a) {
         set_visible(a.s, 1024, 1552);
         a.s.cfa_pattern = 0x1e4b4e1b;
         set_canon_10bit_defaults(a.s);
     }},
    {[](const adjust_context& a) {
         return model_is(a, {"PowerShot Pro90 IS", "PowerShot G1"});
     },
     [](adjust_context& a) {
         a.s.colour_count = 4;
         a.s.cfa_pattern = 0xb4b4b4b4;
     }},
    {[](const adjust_context& a) { return model_is(a, {"PowerShot A610"}); },
     [](adjust_context& a) {
         if (canon_row_check(a.s)) set_text(a.s.camera_model, "PowerShot S2 IS");
     }},
    {[](const adjust_context& a) { return model_is(a, {"PowerShot SX220 HS"}); },
     [](adjust_context& a) { a.s.masked_areas[1][3] = -4; }},
    {[](const adjust_context& a) { return model_is(a, {"EOS D2000C"}); },
     [](adjust_context& a) {
         a.s.cfa_pattern = 0x61616161;
         a.s.black_level = a.s.tone_table[200];
     }},
    {[](const adjust_context& a) { return model_is(a, {"EOS 80D"}); }, adjust_eos_80d},
    {[](const adjust_context& a) { return model_is(a, {"D1"}); },
     [](adjust_context& a) {
         a.s.as_shot_multipliers[0] *= 256 / 527.0f;
         a.s.as_shot_multipliers[2] *= 256 / 317.0f;
     }},
    {[](const adjust_context& a) { return model_is(a, {"D1X"}); },
     [](adjust_context& a) {
         resize(a.s, -4, 0);
         a.s.pixel_aspect_ratio = 0.5f;
     }},
    {[](const adjust_context& a) {
         return model_is(a, {"D40X", "D60", "D80", "D3000"});
     },
     [](adjust_context& a) { resize(a.s, -4, -3); }},
    {[](const adjust_context& a) {
         return model_is(a, {"D600", "D610", "D750"});
     },
     [](adjust_context& a) {
         resize(a.s, -64, -12);
         set_margins(a.s, 8, 6);
     }},
    {[](const adjust_context& a) {
         return model_is(a, {"D3", "D3S", "D700"});
     },
     [](adjust_context& a) {
         resize(a.s, -4, 0);
         a.s.margin_left = 2;
     }},
    {[](const adjust_context& a) { return model_is(a, {"D3100"}); },
     [](adjust_context& a) {
         resize(a.s, -28, 0);
         a.s.margin_left = 6;
     }},
    {[](const adjust_context& a) {
         return model_is(a, {"D5000", "D90"});
     },
     [](adjust_context& a) { resize(a.s, -42, 0); }},
    {[](const adjust_context& a) {
         return model_is(a, {"D5100", "D7000", "COOLPIX A"});
     },
     [](adjust_context& a) { resize(a.s, -44, 0); }},
    {[](const adjust_context& a) {
         return model_is(a, {"D5200", "D7100"});
     },
     [](adjust_context& a) {
         resize(a.s, -36, -20);
         set_margins(a.s, 18, 0);
     }},
    {[](const adjust_context& a) { return model_is(a, {"D3200"}); }, trim_nikon_frame},
    {[](const adjust_context& a) {
         return model_is(a, {"D5300", "D3300", "D3400"});
     },
     [](adjust_context& a) {
         resize(a.s, -16, -16);
         set_margins(a.s, 8, 8);
     }},
    {[](const adjust_context& a) {
         return model_begins(a, {"D40", "D50", "D70"});
     },
     [](adjust_context& a) { resize(a.s, -1, 0); }},
    {[](const adjust_context& a) {
         return model_begins(a, {"D80"}) || model_is(a, {"D4", "Df"});
     },
     trim_nikon_frame},
    {[](const adjust_context& a) { return model_is(a, {"D100"}); },
     [](adjust_context& a) {
         if (!a.s.loader_flags) return;
         resize(a.s, 3, 0);
         a.s.sensor_width = add16(a.s.visible_width, 3);
     }},
    {[](const adjust_context& a) { return model_is(a, {"D200"}); },
     [](adjust_context& a) {
         a.s.margin_left = 1;
         resize(a.s, -4, 0);
         a.s.cfa_pattern = 0x94949494;
     }},
    {[](const adjust_context& a) { return model_begins(a, {"D2H"}); },
     [](adjust_context& a) {
         a.s.margin_left = 6;
         resize(a.s, -14, 0);
     }},
    {[](const adjust_context& a) { return model_begins(a, {"D2X"}); },
     [](adjust_context& a) {
         if (a.s.visible_width == 3264)
             a.s.visible_width = 3232;
         else
             resize(a.s, -8, 0);
     }},
    {[](const adjust_context& a) { return model_begins(a, {"D300"}); },
     [](adjust_context& a) { resize(a.s, -32, 0); }},
    {[](const adjust_context& a) { return model_begins(a, {"COOLPIX B"}); },
     [](adjust_context& a) { a.s.loader_flags = 24; }},
    {[](const adjust_context& a) { return make_is(a, "Nikon") && a.s.sensor_width == 4032; },
     [](adjust_context& a) {
         const bool p7800 = model_is(a, {"COOLPIX P7800"});
         lookup_camera_colours(a.s, "Nikon", p7800 ? "COOLPIX P7800" : "COOLPIX P7700");
     }},
    {[](const adjust_context& a) { return model_begins(a, {"COOLPIX P"}); }, adjust_coolpix_p},
    {[](const adjust_context& a) { return model_begins(a, {"1 "}); },
     [](adjust_context& a) { resize(a.s, 0, -2); }},
    {has_known_file_length, adjust_by_file_length},
    {[](const adjust_context& a) { return make_is(a, "Fujifilm"); }, adjust_fujifilm},
    {[](const adjust_context& a) { return model_is(a, {"KD-510Z"}); },
     [](adjust_context& a) {
         set_visible(a.s, 1956, 2607);
         a.s.sensor_width = 2624;
         a.s.sensor_data_offset += 14;
         a.s.cfa_pattern = 0x61616161;
         set_konica_defaults(a.s);
     }},
    {[](const adjust_context& a) { return model_is(a, {"KD-400Z"}); },
     [](adjust_context& a) {
         set_visible(a.s, 1712, 2312);
         a.s.sensor_width = 2336;
         set_konica_defaults(a.s);
     }},
    {[](const adjust_context& a) { return text_is_caseless(a.s.camera_make, "Minolta"); }, adjust_minolta},
    {[](const adjust_context& a) { return model_is(a, {"*ist D"}); },
     [](adjust_context& a) {
         a.s.raw_loader = plain_words_load_raw;
         a.s.data_error_count = -1; // its data ends one read short: forgive that one
     }},
    {[](const adjust_context& a) { return model_is(a, {"*ist DS"}); },
     [](adjust_context& a) { resize(a.s, 0, -2); }},
    {[](const adjust_context& a) { return samsung_width(a, 4704); },
     [](adjust_context& a) {
         set_margins(a.s, 8, 8);
         resize(a.s, -16, -8);
         a.s.loader_flags = 256;
     }},
    {[](const adjust_context& a) { return make_is(a, "Samsung") && a.s.sensor_height == 3714; },
     adjust_samsung_3714},
    {[](const adjust_context& a) { return samsung_width(a, 5632); }, adjust_samsung_5632},
    {[](const adjust_context& a) { return samsung_width(a, 5664); },
     [](adjust_context& a) {
         set_margins(a.s, 96, 17);
         resize(a.s, 0, -17);
         a.s.visible_width = 5544;
         a.s.cfa_pattern = 0x49494949;
     }},
    {[](const adjust_context& a) { return samsung_width(a, 6496); }, adjust_samsung_6496},
    {[](const adjust_context& a) { return model_is(a, {"EX1"}); },
     [](adjust_context& a) {
         trim_two_sizes(a.s, 3683, {6, 20, 2}, {52, 30, 8});
     }},
    {[](const adjust_context& a) { return model_is(a, {"WB2000"}); },
     [](adjust_context& a) {
         trim_two_sizes(a.s, 3719, {10, 3, 2}, {66, 31, 8});
     }},
    {[](const adjust_context& a) { return std::strstr(a.s.camera_model, "WB550") != nullptr; },
     [](adjust_context& a) { set_text(a.s.camera_model, "WB550"); }},
    {[](const adjust_context& a) { return model_is(a, {"EX2F"}); },
     [](adjust_context& a) {
         set_visible(a.s, 3045, 4070);
         a.s.margin_top = 3;
         a.s.byte_order = kLittleEndian;
         a.s.cfa_pattern = 0x49494949;
         a.s.raw_loader = plain_words_load_raw;
     }},
    {[](const adjust_context& a) { return model_is(a, {"STV680 VGA"}); },
     [](adjust_context& a) { a.s.black_level = 16; }},
    {[](const adjust_context& a) { return model_is(a, {"N95"}); },
     [](adjust_context& a) {
         a.s.margin_top = 2;
         a.s.visible_height = add16(a.s.sensor_height, -2);
     }},
    {[](const adjust_context& a) { return model_is(a, {"640x480"}); },
     [](adjust_context& a) { build_gamma_curve(a.s, 0.45f, 4.5f, 1, 255); }},
    {[](const adjust_context& a) { return make_is(a, "Hasselblad"); }, adjust_hasselblad},
    {[](const adjust_context& a) { return make_is(a, "Sinar"); }, adjust_sinar},
    {[](const adjust_context& a) { return make_is(a, "Leaf"); }, adjust_leaf},
    {[](const adjust_context& a) { return make_is(a, "Leica") || make_is(a, "Panasonic"); },
     adjust_panasonic},
    {[](const adjust_context& a) { return model_is(a, {"C770UZ"}); },
     [](adjust_context& a) {
         set_visible(a.s, 1718, 2304);
         a.s.cfa_pattern = 0x16161616;
         a.s.raw_loader = packed_bits_load_raw;
         a.s.loader_flags = 30;
     }},
    {[](const adjust_context& a) { return make_is(a, "Olympus"); }, adjust_olympus},
    {[](const adjust_context& a) { return model_is(a, {"N Digital"}); },
     [](adjust_context& a) {
         set_visible(a.s, 2047, 3072);
         a.s.cfa_pattern = 0x61616161;
         a.s.sensor_data_offset = 6656;
         a.s.raw_loader = packed_bits_load_raw;
     }},
    {[](const adjust_context& a) { return model_is(a, {"DSC-F828"}); }, adjust_sony_f828},
    {[](const adjust_context& a) { return model_is(a, {"DSC-V3"}); }, adjust_sony_v3},
    {[](const adjust_context& a) { return sony_frame_known(a.s); }, adjust_sony_by_width},
    {[](const adjust_context& a) { return model_is(a, {"DSLR-A100"}); }, adjust_sony_a100},
    {[](const adjust_context& a) { return make_is(a, "PIXL"); },
     [](adjust_context& a) {
         set_margins(a.s, 32, 4);
         resize(a.s, -32, -4);
         build_gamma_curve(a.s, 0, 7, 1, 255);
     }},
    {[](const adjust_context& a) {
         return model_is(a, {"C603", "C330", "12MP"});
     },
     adjust_kodak_compact},
    {[](const adjust_context& a) { return text_begins_caseless(a.s.camera_model, "EasyShare"); },
     [](adjust_context& a) {
         a.s.sensor_data_offset = a.s.sensor_data_offset >= 0x15000 ? 0x17000 : 0x15000;
         a.s.raw_loader = packed_bits_load_raw;
     }},
    {[](const adjust_context& a) { return text_is_caseless(a.s.camera_make, "Kodak"); }, adjust_kodak},
    {[](const adjust_context& a) { return model_is(a, {"Fotoman Pixtura"}); },
     [](adjust_context& a) {
         set_visible(a.s, 512, 768);
         a.s.sensor_data_offset = 3632;
         a.s.raw_loader = radc_load_raw;
         a.s.cfa_pattern = 0x61616161;
         set_simple_matrix(a.s, 2);
     }},
    {[](const adjust_context& a) { return model_begins(a, {"QuickTake"}); }, adjust_quicktake},
    {[](const adjust_context& a) { return make_is(a, "Rollei") && !a.s.raw_loader; }, adjust_rollei},
};

} // namespace

std::span<const adjust_rule> camera_adjust_chain() { return kChain; }

} // namespace raw::adjust
