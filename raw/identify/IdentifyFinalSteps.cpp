#include <algorithm>
#include <cstdio>
#include <cstring>

#include "raw/colour/CameraColour.h"
#include "raw/identify/Identify.h"
#include "raw/identify/IdentifyReading.h"
#include "raw/loaders/Loaders.h"
#include "raw/loaders/LosslessJpeg.h"

namespace raw {
namespace {

constexpr uint32_t kUnsetPattern = 0xFFFFFFFF;

void name_unnamed_model(DecoderState& s) {
    if (!s.camera_model[0])
        std::snprintf(s.camera_model, sizeof s.camera_model, "%dx%d", s.visible_width, s.visible_height);
}

void read_thumbnail_size(DecoderState& s) {
    if (!s.thumbnail_offset || s.thumbnail_height || !seek_to(s, s.thumbnail_offset)) return;
    ljpeg_header jh{};
    if (!ljpeg_start(s, jh, true)) return;
    s.thumbnail_width = fit16(uint32_t(jh.wide));
    s.thumbnail_height = fit16(uint32_t(jh.high));
}

void choose_colours(DecoderState& s) {
    if (s.use_embedded_matrix && (s.use_as_shot_wb || s.dng_version_word) &&
        s.embedded_matrix[0][0] > 0.125f) {
        std::memcpy(s.rgb_from_camera, s.embedded_matrix, sizeof s.rgb_from_camera);
        set_camera_matrix_from_coeffs(s, s.rgb_from_camera);
        s.camera_colour_output = 0;
    } else if (s.camera_colour_output) {
        lookup_camera_colours(s, s.camera_make, s.camera_model);
        if (s.raw_loader == radc_load_raw && s.camera_colour_output)
            lookup_camera_colours(s, "Apple", "QuickTake");
    }
}

uint16_t shrink(uint16_t value, uint16_t by) { return value > by ? uint16_t(value - by) : 0; }

// Sensors laid out at 45 degrees are rotated upright, which makes the image larger than the
// stored frame; ordinary frames are at least as large as their visible area.
void settle_frame(DecoderState& s) {
    if (!s.rotated_width) {
        s.sensor_height = std::max(s.sensor_height, s.visible_height);
        s.sensor_width = std::max(s.sensor_width, s.visible_width);
        return;
    }
    const int layout = s.fuji_sensor_layout ? 1 : 0;
    s.rotated_width = uint16_t(s.visible_width >> (layout ? 0 : 1));
    s.cfa_pattern = (s.rotated_width & 1) ? 0x94949494 : 0x49494949;
    const uint32_t width = uint32_t(s.rotated_width) + (s.visible_height >> layout);
    s.visible_width = fit16(width); // too wide to hold: refused below
    s.visible_height = fit16(width - 1);
    s.pixel_aspect_ratio = 1;
}

void default_levels(DecoderState& s) {
    if (!s.bits_per_sample) s.bits_per_sample = 12;
    if (!s.white_level) s.white_level = uint32_t((uint64_t(1) << std::min(s.bits_per_sample, 32u)) - 1);
}

bool readable(const DecoderState& s) {
    // No colour channel at all can only come from a damaged header.
    return s.raw_loader && s.visible_width >= 22 && s.visible_height >= 22 && s.bits_per_sample <= 16 &&
           s.samples_per_pixel <= 6 && s.colour_count >= 1 && s.colour_count <= 4;
}

// Data that needs a codec this decoder does not carry. Null for any other file.
const char* missing_codec(const DecoderState& s) {
    if (s.raw_loader != empty_loader) return nullptr;
    if (std::strcmp(s.camera_make, "Red") == 0) return "libjasper";
    if (s.dng_version_word && s.compression_code == 34892) return "libjpeg";
    if (std::strcmp(s.camera_make, "Kodak") == 0 && s.compression_code == 7) return "libjpeg";
    return nullptr;
}

void refuse_unreadable(DecoderState& s) {
    if (!readable(s)) s.raw_count = 0;
    if (const char* codec = missing_codec(s)) {
        std::fprintf(stderr, "%s: Error - Not linked with %s!!\n", s.input_path ? s.input_path : "", codec);
        s.raw_count = 0;
    }
}

// The crop copies visible_width x visible_height photosites of the raw buffer starting at
// the margins; a frame that cannot hold them would be read outside the buffer. Loaders
// without a raw buffer fill the image directly and have no crop.
void refuse_overflowing_margins(DecoderState& s) {
    if (!s.cfa_pattern && s.colour_count != 1) return;
    if (s.rotated_width) {
        // The rotation reads rows inside the frame by construction, and diagonal columns.
        const uint64_t columns = uint64_t(s.rotated_width) * (s.fuji_sensor_layout ? 1 : 2);
        if (s.margin_left + columns > s.sensor_width) s.raw_count = 0;
        return;
    }
    if (uint64_t(s.margin_top) + s.visible_height > s.sensor_height ||
        uint64_t(s.margin_left) + s.visible_width > s.sensor_width)
        s.raw_count = 0;
}

void spread_green_pattern(DecoderState& s) {
    if (s.cfa_pattern < kPatternBayerMin || s.colour_count != 3) return;
    const uint32_t p = s.cfa_pattern;
    s.cfa_pattern = p | (((p >> 2 & 0x22222222) | (p << 2 & 0x88888888)) & p << 1);
}

} // namespace

void apply_final_steps(DecoderState& s, bool dng) {
    if (!dng) {
        name_unnamed_model(s);
        if (s.cfa_pattern == kUnsetPattern) s.cfa_pattern = 0x94949494;
        read_thumbnail_size(s);
    }
    choose_colours(s);
    if (std::strcmp(s.camera_model, "R9 - Digital Back DMR") == 0) {
        s.visible_width = shrink(s.visible_width, 4);
        s.visible_height = shrink(s.visible_height, 4);
    }
    settle_frame(s);
    default_levels(s);
    refuse_unreadable(s);
    if (!s.colour_letters[0]) set_text(s.colour_letters, s.colour_count == 3 ? "RGB" : "GMCY");
    if (!s.sensor_height) s.sensor_height = s.visible_height;
    if (!s.sensor_width) s.sensor_width = s.visible_width;
    spread_green_pattern(s);
    refuse_overflowing_margins(s);
}

} // namespace raw
