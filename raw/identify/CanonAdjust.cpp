#include <cstring>
#include <utility>

#include "raw/colour/CameraColour.h"
#include "raw/identify/AdjustRules.h"
#include "raw/identify/CameraAdjust.h"
#include "raw/loaders/Loaders.h"

namespace raw::adjust {
namespace {

// A row nobody could give values for leaves the parser's frame alone.
bool has_layout(const canon_size_row& row) {
    return row.left || row.top || row.width_cut || row.height_cut || row.mask_a || row.mask_b || row.mask_c ||
           row.mask_d || row.pattern_byte;
}

void apply_size_row(DecoderState& s, const canon_size_row& row) {
    set_margins(s, row.left, row.top);
    set_visible(s, row.raw_height - row.top - row.height_cut, row.raw_width - row.left - row.width_cut);
    // Right edges count back from the sensor's edge; the sensor preparation adds the frame.
    s.masked_areas[0][1] = row.mask_a;
    s.masked_areas[0][3] = -int32_t(row.mask_b);
    s.masked_areas[1][1] = row.mask_c;
    s.masked_areas[1][3] = -int32_t(row.mask_d);
    if (row.pattern_byte) s.cfa_pattern = row.pattern_byte * 0x01010101u;
}

} // namespace

void apply_canon_frame(adjust_context& a) {
    DecoderState& s = a.s;
    if (!text_is(s.camera_make, {"Canon"}) || a.kept_length || s.bits_per_sample == 15) return;
    if (!s.raw_loader) s.raw_loader = ljpeg_sensor_load_raw;
    for (const canon_size_row& row : canon_size_table)
        if (row.raw_width == s.sensor_width && row.raw_height == s.sensor_height && has_layout(row))
            apply_size_row(s, row);
    if ((s.camera_model_id & ~0x20000u) == 0x2700000) set_margins(s, 8, 16);
}

void apply_canon_model_ids(DecoderState& s) {
    for (const camera_model_id_row& row : canon_model_ids) {
        if (s.camera_model_id != 0x80000000u + row.identifier) continue;
        lookup_camera_colours(s, "Canon", row.name);
        // Japanese "Kiss" names are replaced by the export name the colour rows use.
        if (s.camera_model[4] == 'K' && std::strlen(s.camera_model) == 8) set_text(s.camera_model, row.name);
    }
}

// Small and medium raws carry three full samples per pixel.
void adjust_canon_small_raw(adjust_context& a) {
    DecoderState& s = a.s;
    if (s.visible_width == 3872) s.visible_width = 3866;
    if (s.visible_width == 3344) s.visible_width = 3272;
    if (s.visible_width < s.visible_height) {
        std::swap(s.visible_width, s.visible_height);
        std::swap(s.sensor_width, s.sensor_height);
    }
    if (s.visible_height == 3888 && s.visible_width == 7200) {
        set_visible(s, 4320, 6480);
        s.sensor_height = 4320;
        s.sensor_width = 6480;
    }
    s.cfa_pattern = 0;
    s.colour_count = 3;
    s.samples_per_pixel = 3;
    s.raw_loader = canon_small_raw_load_raw;
}

void set_canon_10bit_defaults(DecoderState& s) {
    s.colour_count = 4;
    s.bits_per_sample = 10;
    s.raw_loader = packed_bits_load_raw;
    s.loader_flags = 264;
}

} // namespace raw::adjust
