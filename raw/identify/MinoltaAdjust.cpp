#include <cstdio>
#include <cstring>

#include "raw/colour/CameraColour.h"
#include "raw/core/InputReaders.h"
#include "raw/identify/AdjustRules.h"
#include "raw/loaders/Loaders.h"

namespace raw::adjust {
namespace {

// DYNAX and MAXXUM bodies were sold under both names; the colour rows know the DYNAX one.
void look_up_as_dynax(DecoderState& s) {
    const size_t skip = s.camera_model[0] == 'M' ? 7 : 6;
    const size_t length = std::strlen(s.camera_model);
    char name[96];
    std::snprintf(name, sizeof name, "DYNAX %-10s", s.camera_model + (length < skip ? length : skip));
    lookup_camera_colours(s, s.camera_make, name);
}

void frame_dimage_g(DecoderState& s) {
    switch (s.camera_model[8]) {
    case '6':
        set_visible(s, 2136, 2848);
        break;
    case '5':
        set_visible(s, 1956, 2607);
        s.sensor_width = 2624;
        break;
    case '4':
        set_visible(s, 1716, 2304);
        break;
    }
    s.sensor_data_offset += 14;
    s.cfa_pattern = 0x61616161;
    set_konica_defaults(s);
}

} // namespace

void set_konica_defaults(DecoderState& s) {
    s.raw_loader = plain_words_load_raw;
    s.white_level = 991;
    s.byte_order = kBigEndian;
}

void adjust_minolta(adjust_context& a) {
    DecoderState& s = a.s;
    if (!s.raw_loader) {
        s.white_level = 4095;
        s.raw_loader = plain_words_load_raw;
    }
    if (text_begins(s.camera_model, {"DiMAGE A"})) {
        if (text_is(s.camera_model, {"DiMAGE A200"})) s.cfa_pattern = 0x49494949;
        s.bits_per_sample = 12;
        s.raw_loader = packed_bits_load_raw;
    } else if (!s.camera_model[0] || text_begins(s.camera_model, {"DYNAX", "MAXXUM"})) {
        look_up_as_dynax(s);
        s.raw_loader = packed_bits_load_raw;
    } else if (text_begins(s.camera_model, {"DiMAGE G"})) {
        frame_dimage_g(s);
    }
}

} // namespace raw::adjust
