#include <cstring>

#include "raw/identify/Identify.h"
#include "raw/loaders/Loaders.h"

namespace raw {
namespace {

struct Size {
    uint16_t height, width;
};

bool visible_is(const DecoderState& s, Size size) {
    return s.visible_height == size.height && s.visible_width == size.width;
}

void set_visible(DecoderState& s, Size size) {
    s.visible_height = size.height;
    s.visible_width = size.width;
}

bool model_is(const DecoderState& s, const char* model) { return std::strcmp(s.camera_model, model) == 0; }
bool model_begins(const DecoderState& s, const char* prefix) {
    return std::strncmp(s.camera_model, prefix, std::strlen(prefix)) == 0;
}

// Pentax bodies whose stored frame is larger than their image, known by sensor height and
// model. False when none of them is this file.
bool pentax_frame(DecoderState& s) {
    const uint16_t h = s.sensor_height;
    if (h == 2868 && (model_is(s, "K-r") || model_is(s, "K-x"))) {
        s.visible_width = 4309;
        s.cfa_pattern = 0x16161616;
    } else if (h == 3136 && model_is(s, "K-7")) {
        set_visible(s, {3122, 4684});
        s.cfa_pattern = 0x16161616;
        s.margin_top = 2;
    } else if (h == 3284 && model_begins(s, "K-5")) {
        s.margin_left = 10;
        s.visible_width = 4950;
        s.cfa_pattern = 0x16161616;
    } else if (h == 3300 && model_is(s, "K-50")) {
        set_visible(s, {3288, 4952});
        s.margin_left = 0;
        s.margin_top = 12;
    } else if (h == 3664 && model_begins(s, "K-S")) {
        s.visible_width = 5492;
        s.margin_left = 0;
    } else if (h == 4032 && model_is(s, "K-3")) {
        set_visible(s, {4032, 6040});
        s.margin_left = 4;
    } else if (h == 4060 && model_is(s, "KP")) {
        set_visible(s, {4032, 6032});
        s.margin_left = 52;
        s.margin_top = 28;
    } else if (h == 4950 && model_is(s, "K-1")) {
        set_visible(s, {4932, 7380});
        s.margin_left = 4;
        s.margin_top = 18;
    } else if (h == 4224 && model_is(s, "K-3 Mark III")) {
        set_visible(s, {4128, 6192});
        s.margin_left = 28;
        s.margin_top = 24;
    } else if (h == 5552 && model_is(s, "645D")) {
        set_visible(s, {5502, 7328});
        s.margin_left = 48;
        s.margin_top = 29;
        s.cfa_pattern = 0x61616161;
    } else {
        return false;
    }
    return true;
}

} // namespace

void apply_size_corrections(DecoderState& s) {
    if (!s.visible_height) s.visible_height = s.sensor_height;
    if (!s.visible_width) s.visible_width = s.sensor_width;
    if (visible_is(s, {2624, 3936})) {
        set_visible(s, {2616, 3896});
    } else if (visible_is(s, {3136, 4864})) {
        set_visible(s, {3124, 4688});
        s.cfa_pattern = 0x16161616;
    }
    if (!pentax_frame(s) && visible_is(s, {3014, 4096})) s.visible_width = 4014;
}

void align_xtrans_cell(DecoderState& s) {
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            s.xtrans_layout[r][c] = s.xtrans_sensor_layout[(r + s.margin_top) % 6][(c + s.margin_left) % 6];
}

void apply_dng_layout(DecoderState& s) {
    if (s.cfa_pattern == 0) {
        s.colour_count = int32_t(s.samples_per_pixel);
    } else if (s.cfa_pattern == 0xFFFFFFFF) { // no pattern given: every pixel complete
        s.cfa_pattern = 0;
        s.colour_count = int32_t(s.samples_per_pixel);
    } else {
        s.raw_count *= s.samples_per_pixel;
    }
    if (s.compression_code < 2)
        s.raw_loader = packed_dng_load_raw;
    else if (s.compression_code == 7)
        s.raw_loader = dng_ljpeg_load_raw;
    else if (s.compression_code == 34892)
        s.raw_loader = empty_loader; // lossy DNG: refused later, its codec is not linked
    else
        s.raw_loader = nullptr;
    // A DNG's 6 x 6 pattern would otherwise leave every photosite red.
    if (s.cfa_pattern == kPatternXTrans) align_xtrans_cell(s);
}

} // namespace raw
