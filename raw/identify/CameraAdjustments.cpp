#include "raw/identify/AdjustRules.h"
#include "raw/identify/CameraAdjust.h"
#include "raw/identify/Identify.h"
#include "raw/loaders/Loaders.h"

namespace raw {
namespace adjust {
namespace {

void apply_nikon_loader(DecoderState& s) {
    if (!text_is(s.camera_make, {"Nikon"})) return;
    if (!s.raw_loader) s.raw_loader = packed_bits_load_raw;
    // The E-series compacts store their rows with a different packing.
    if (s.camera_model[0] == 'E') s.loader_flags |= 2 | (s.sensor_data_offset ? 0 : 4);
}

// A bare sensor module whose data is laid out like the Kodak C603's.
void apply_kai_0340(DecoderState& s) {
    if (!text_is(s.camera_model, {"KAI-0340"}) || !(green_difference_ratio(s, 16, 16, 3840, 5120) < 25))
        return;
    s.visible_height = 480;
    s.margin_top = 0;
    s.cfa_pattern = 0;
    set_text(s.camera_model, "C603");
}

} // namespace

void apply_every_file_steps(adjust_context& a) {
    apply_canon_frame(a);
    apply_canon_model_ids(a.s);
    apply_sony_model_ids(a.s);
    apply_panasonic_aliases(a.s);
    apply_nikon_loader(a.s);
    apply_kai_0340(a.s);
}

} // namespace adjust

void apply_camera_adjustments(DecoderState& s, uint64_t file_length) {
    adjust::adjust_context a{s, file_length, adjust::input_size(s)};
    adjust::apply_every_file_steps(a);
    for (const adjust::adjust_rule& rule : adjust::camera_adjust_chain()) {
        if (!rule.holds(a)) continue;
        rule.apply(a);
        break;
    }
}

} // namespace raw
