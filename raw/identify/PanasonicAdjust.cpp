#include <algorithm>

#include "raw/colour/CameraColour.h"
#include "raw/identify/AdjustRules.h"
#include "raw/identify/CameraAdjust.h"
#include "raw/loaders/Loaders.h"

namespace raw::adjust {
namespace {

// Rows of 14 photosites packed into 16 bytes fill the data exactly.
bool holds_packed_blocks(const adjust_context& a) {
    const DecoderState& s = a.s;
    const uint64_t row_bytes = uint64_t(s.sensor_width) * 8 / 7;
    if (!row_bytes || s.sensor_data_offset > a.file_length) return false;
    return (a.file_length - s.sensor_data_offset) / row_bytes == s.sensor_height;
}

void apply_margin_rows(DecoderState& s) {
    for (const panasonic_margin_row& row : panasonic_margin_table) {
        if (row.raw_width != s.sensor_width || row.raw_height != s.sensor_height) continue;
        set_margins(s, row.left, row.top);
        s.visible_width = add16(s.visible_width, row.width_change);
        s.visible_height = add16(s.visible_height, row.height_change);
    }
}

// The file's pattern code counts from 1 and refers to the sensor's corner; the margins
// move the corner of the image.
void apply_pattern(DecoderState& s) {
    static constexpr uint8_t kPatterns[4] = {0x94, 0x61, 0x49, 0x16};
    const uint32_t index = ((s.cfa_pattern - 1) ^ (s.margin_left & 1u) ^ (uint32_t(s.margin_top) << 1)) & 3;
    s.cfa_pattern = kPatterns[index] * 0x01010101u;
}

} // namespace

void apply_panasonic_aliases(DecoderState& s) {
    if (const char* group = panasonic_alias_group(s.camera_model))
        lookup_camera_colours(s, "Panasonic", group);
}

void adjust_panasonic(adjust_context& a) {
    DecoderState& s = a.s;
    if (holds_packed_blocks(a)) {
        s.raw_loader = panasonic_blocks_load_raw;
    } else if (!s.raw_loader) {
        s.raw_loader = plain_words_load_raw;
        s.loader_flags = 4;
    }
    s.zero_pixels_bad = 1;
    s.visible_height = uint16_t(std::min<int>(s.visible_height + 12, s.sensor_height));
    apply_margin_rows(s);
    apply_pattern(s);
}

} // namespace raw::adjust
