#include "raw/identify/AdjustRules.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"

namespace raw::adjust {
namespace {

// Multi-shot backs store one frame per shot: the shots are combined into full pixels, so
// the mosaic goes unless a single shot is asked for.
void count_shots(DecoderState& s) {
    if (s.samples_per_pixel < 2) return;
    s.raw_count = s.samples_per_pixel + 1;
    if (!s.shot_index && !s.half_size_option) s.cfa_pattern = 0;
}

bool holds_15_bit_ljpeg(DecoderState& s) {
    ljpeg_header jh;
    return seek_input(s, s.sensor_data_offset) && ljpeg_start(s, jh, true) && jh.bits == 15;
}

void frame_leaf_2048(DecoderState& s) {
    if (s.samples_per_pixel == 1) {
        s.cfa_pattern = kPatternLeaf16;
        set_text(s.colour_letters, "RBTG");
        set_text(s.camera_model, "CatchLight");
        set_margins(s, 18, 8);
        set_visible(s, 2032, 2016);
    } else {
        set_text(s.camera_model, "DCB2");
        set_margins(s, 16, 10);
        set_visible(s, 2028, 2022);
    }
}

void frame_cantare(DecoderState& s) {
    if (!s.camera_model[0]) set_text(s.camera_model, "Cantare");
    if (s.visible_width > s.visible_height) {
        set_margins(s, 32, 6);
        set_visible(s, 2048, 3072);
        s.cfa_pattern = 0x61616161;
    } else {
        set_margins(s, 6, 32);
        set_visible(s, 3072, 2048);
        s.cfa_pattern = 0x16161616;
    }
    if (!s.as_shot_multipliers[0] || s.camera_model[0] == 'V')
        s.cfa_pattern = 0;
    else
        s.raw_count = s.samples_per_pixel;
}

void frame_valeo(DecoderState& s, int left, int top, int width, uint32_t pattern) {
    set_text(s.camera_model, "Valeo 6");
    set_margins(s, left, top);
    s.visible_height = add16(s.visible_height, -2 * top);
    s.visible_width = fit16(width);
    s.cfa_pattern = pattern;
}

} // namespace

void adjust_hasselblad(adjust_context& a) {
    DecoderState& s = a.s;
    if (s.raw_loader == ljpeg_sensor_load_raw) s.raw_loader = hasselblad_load_raw;
    switch (s.sensor_width) {
    case 7262:
        set_visible(s, 5444, 7248);
        set_margins(s, 7, 4);
        s.cfa_pattern = 0x61616161;
        break;
    case 7410:
    case 8282:
        s.visible_height = add16(s.visible_height, -84);
        s.visible_width = add16(s.visible_width, -82);
        set_margins(s, 41, 4);
        s.cfa_pattern = 0x61616161;
        break;
    case 8384:
        set_visible(s, 6208, 8280);
        set_margins(s, 46, 96);
        break;
    case 9044:
        set_visible(s, 6716, 8964);
        set_margins(s, 40, 8);
        s.loader_flags = 256;
        s.black_level += 256;
        s.white_level = 33025;
        break;
    case 4090:
        set_text(s.camera_model, "V96C");
        set_margins(s, 3, 6);
        s.visible_height = add16(s.visible_height, -6);
        s.visible_width = add16(s.visible_width, -10);
        s.cfa_pattern = 0x61616161;
        break;
    }
    count_shots(s);
}

void adjust_sinar(adjust_context& a) {
    DecoderState& s = a.s;
    if (!s.raw_loader) s.raw_loader = plain_words_load_raw;
    if (s.raw_count >= 2 && !s.shot_index && !s.half_size_option) s.cfa_pattern = 0;
    s.white_level = 0x3fff;
}

void adjust_leaf(adjust_context& a) {
    DecoderState& s = a.s;
    s.white_level = holds_15_bit_ljpeg(s) ? 0x1fff : 0x3fff;
    if (s.samples_per_pixel > 1) s.cfa_pattern = 0;
    // Several planes, or tiles shorter than the frame, are read tile by tile.
    if (s.samples_per_pixel > 1 || s.tiff_tile_length < s.sensor_height) {
        s.raw_loader = leaf_hdr_load_raw;
        s.sensor_width = fit16(s.tiff_tile_width);
    }
    if ((s.visible_width | s.visible_height) == 2048)
        frame_leaf_2048(s);
    else if (s.visible_width + s.visible_height == 5204)
        frame_cantare(s);
    else if (s.visible_width == 3171)
        frame_valeo(s, 24, 24, 3123, 0x16161616);
    else if (s.visible_width == 2116)
        frame_valeo(s, 55, 30, 2006, 0x49494949);
}

} // namespace raw::adjust
