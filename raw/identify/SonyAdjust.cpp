#include <cstring>

#include "raw/core/InputReaders.h"
#include "raw/identify/AdjustRules.h"
#include "raw/identify/CameraAdjust.h"
#include "raw/loaders/Loaders.h"

namespace raw::adjust {

void apply_sony_model_ids(DecoderState& s) {
    for (const camera_model_id_row& row : sony_model_ids)
        if (s.camera_model_id == row.identifier) set_text(s.camera_model, row.name);
}

bool sony_frame_known(const DecoderState& s) {
    if (!text_is(s.camera_make, {"Sony"})) return false;
    switch (s.sensor_width) {
    case 3984:
    case 4288:
    case 4600:
    case 4928:
    case 5504:
    case 6048:
    case 7392:
        return true;
    default:
        return false;
    }
}

// Sensors of one width share their unused columns on the right.
void adjust_sony_by_width(adjust_context& a) {
    DecoderState& s = a.s;
    switch (s.sensor_width) {
    case 3984:
        s.visible_width = 3925;
        s.byte_order = kBigEndian;
        break;
    case 4288:
        s.visible_width = add16(s.visible_width, -32);
        break;
    case 4600:
        if (text_is(s.camera_model, {"DSLR-A350"})) s.visible_height = add16(s.visible_height, -4);
        break;
    case 4928:
        if (s.visible_height < 3280) s.visible_width = add16(s.visible_width, -8);
        break;
    case 5504:
        s.visible_width = add16(s.visible_width, s.visible_height > 3664 ? -8 : -32);
        break;
    case 6048:
        s.visible_width = add16(s.visible_width, -24);
        break;
    case 7392: {
        const bool narrower = std::strstr(s.camera_model, "RX1") || std::strstr(s.camera_model, "A99");
        s.visible_width = add16(s.visible_width, narrower ? -30 : -24);
        break;
    }
    }
}

void adjust_sony_a100(adjust_context& a) {
    DecoderState& s = a.s;
    if (s.visible_width == 3880) {
        s.visible_height = add16(s.visible_height, -1);
        s.sensor_width = add16(s.sensor_width, 1);
        s.visible_width = s.sensor_width;
    } else {
        s.visible_height = add16(s.visible_height, -4);
        s.visible_width = add16(s.visible_width, -4);
        s.byte_order = kBigEndian;
        s.loader_flags = 2;
    }
    s.cfa_pattern = 0x61616161;
}

void adjust_sony_f828(adjust_context& a) {
    DecoderState& s = a.s;
    s.visible_width = 3288;
    s.margin_left = 5;
    s.masked_areas[1][3] = -17;
    s.sensor_data_offset = 862144;
    s.raw_loader = sony_scrambled_load_raw;
    s.cfa_pattern = 0x9c9c9c9c;
    s.colour_count = 4;
    set_text(s.colour_letters, "RGBE");
}

void adjust_sony_v3(adjust_context& a) {
    DecoderState& s = a.s;
    s.visible_width = 3109;
    s.margin_left = 59;
    s.masked_areas[0][1] = 9;
    s.sensor_data_offset = 787392;
    s.raw_loader = sony_scrambled_load_raw;
}

} // namespace raw::adjust
