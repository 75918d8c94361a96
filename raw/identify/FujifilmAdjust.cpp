#include <cstring>

#include "raw/identify/AdjustRules.h"
#include "raw/identify/Identify.h"

namespace raw::adjust {
namespace {

// Frames of the bodies whose active area the header does not describe exactly, as cuts
// from the sensor size.
struct fuji_frame {
    const char* models[12];
    int width_cut; // -1 keeps the width
    int height_cut;
    int left, top;
    bool xtrans;
    bool clear_loader_flags;
};

constexpr fuji_frame kFrames[] = {
    {{"XQ1", "XQ2", "X20", "X30"}, 76, 8, 5, 5, true, false},
    {{"X-H1", "X100S", "X100T", "X-E2", "X-E3", "X-T1", "X-T10", "X70", "X-Pro2", "X-T2", "X-T20"},
     96,
     32,
     21,
     16,
     true,
     true},
    {{"X-E4"}, 154, 32, 21, 16, true, true},
    {{"X-T3", "X-T30", "X100V", "X-T4", "X-S10"}, 144, 22, 9, 16, true, true},
    {{"GFX 50S", "GFX 50S II", "GFX 50R"}, -1, 2, 0, 0, false, false},
    {{"GFX100S", "GFX 100S"}, 144, 2, 0, 2, false, true},
    {{"GFX 100"}, -1, 2, 0, 0, false, true},
    {{"X-A3", "X-A10", "X-A5", "X-A20", "X-T100"}, 16, 14, 0, 0, false, false},
};

bool lists(const fuji_frame& frame, const char* model) {
    for (const char* name : frame.models)
        if (name && std::strcmp(name, model) == 0) return true;
    return false;
}

// Half of the unused border on each side, kept even so the pattern does not shift. A
// frame larger than the sensor has no border to split.
uint16_t centred_margin(uint16_t sensor, uint16_t visible) {
    return sensor >= visible ? uint16_t(((sensor - visible) >> 2) * 2) : 0;
}

void apply_width_rules(DecoderState& s) {
    switch (s.visible_width) {
    case 4032:
    case 4952:
    case 6032:
    case 8280:
        s.margin_left = 0;
        break;
    case 2848:
    case 3664:
        s.cfa_pattern = 0x16161616;
        break;
    case 3328:
        s.visible_width = 3262;
        s.margin_left = 34;
        break;
    case 4936:
        s.margin_left = 4;
        break;
    }
    if (text_is(s.camera_model, {"HS50EXR", "F900EXR"})) {
        s.visible_width = add16(s.visible_width, 2);
        s.margin_left = 0;
        s.cfa_pattern = 0x16161616;
    }
}

void apply_model_frame(DecoderState& s) {
    for (const fuji_frame& frame : kFrames) {
        if (!lists(frame, s.camera_model)) continue;
        if (frame.width_cut >= 0) s.visible_width = add16(s.sensor_width, -frame.width_cut);
        s.visible_height = add16(s.sensor_height, -frame.height_cut);
        set_margins(s, frame.left, frame.top);
        if (frame.xtrans) s.cfa_pattern = kPatternXTrans;
        if (frame.clear_loader_flags) s.loader_flags = 0;
        return;
    }
}

} // namespace

void adjust_fujifilm(adjust_context& a) {
    DecoderState& s = a.s;
    const bool s2pro = std::strlen(s.camera_model) >= 7 && std::strcmp(s.camera_model + 7, "S2Pro") == 0;
    if (s2pro) {
        set_text(s.camera_model, "S2Pro");
        set_visible(s, 2144, 2880);
        s.orientation_code = 6;
    }
    s.margin_top = centred_margin(s.sensor_height, s.visible_height);
    s.margin_left = centred_margin(s.sensor_width, s.visible_width);
    if (!s2pro) apply_width_rules(s);
    apply_model_frame(s);
    if (s.visible_width > s.sensor_width || s.visible_height > s.sensor_height) {
        s.raw_count = 0;
        return;
    }
    if (s.fuji_sensor_layout) {
        const uint64_t width = uint64_t(s.sensor_width) * s.raw_count;
        if (width > UINT16_MAX) s.raw_count = 0;
        s.sensor_width = fit16(int64_t(width));
    }
    if (s.cfa_pattern == kPatternXTrans) align_xtrans_cell(s);
}

} // namespace raw::adjust
