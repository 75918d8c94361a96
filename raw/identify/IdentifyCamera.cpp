#include <cstring>
#include <initializer_list>

#include "raw/identify/CameraAdjust.h"
#include "raw/identify/Identify.h"
#include "raw/output/FileOutput.h"

namespace raw {

void reset_identification(DecoderState& s) {
    s.tiff_orientation = s.orientation_code = -1; // unset
    s.cfa_pattern = 0xFFFFFFFF;                   // unset
    s.canon_slice_widths[0] = 0;
    s.fuji_sensor_layout = s.rotated_width = 0;
    s.sensor_height = s.sensor_width = s.visible_height = s.visible_width = 0;
    s.margin_top = s.margin_left = 0;
    s.white_level = s.black_level = 0;
    for (char* text : {s.camera_make, s.camera_model, s.model_text_2, s.artist_text, s.colour_letters})
        text[0] = 0;
    std::memset(s.description_text, 0, sizeof s.description_text);
    s.iso_value = s.exposure_time = s.f_number = s.focal_length_mm = 0;
    s.camera_model_id = 0;
    std::memset(s.ifd_table, 0, sizeof s.ifd_table);
    s.ifd_count = 0;
    std::memset(s.channel_black, 0, sizeof s.channel_black);
    std::memset(s.white_samples, 0, sizeof s.white_samples);
    std::memset(s.masked_areas, 0, sizeof s.masked_areas);
    s.thumbnail_offset = s.thumbnail_length = s.thumbnail_width = s.thumbnail_height = s.thumbnail_misc = 0;
    s.raw_loader = nullptr;
    s.sensor_data_offset = s.maker_data_offset = s.meta_block_length = 0;
    s.bits_per_sample = s.compression_code = s.dng_version_word = s.loader_flags = 0;
    s.capture_time = s.shot_order = s.samples_per_pixel = 0;
    s.foveon_sensor = s.merge_greens = s.profile_length = s.data_error_count = s.zero_pixels_bad = 0;
    s.tiff_tile_width = s.tiff_tile_length = 0;
    s.thumbnail_writer = jpeg_thumb;
    s.camera_colour_output = 1;
    s.raw_count = 1;
    s.pixel_aspect_ratio = 1;
    const float as_shot[4] = {0, 1, 0, 0}, daylight[4] = {1, 1, 1, 0};
    std::memcpy(s.as_shot_multipliers, as_shot, sizeof as_shot);
    std::memcpy(s.daylight_multipliers, daylight, sizeof daylight);
    std::memset(s.embedded_matrix, 0, sizeof s.embedded_matrix);
    std::memset(s.rgb_from_camera, 0, sizeof s.rgb_from_camera);
    for (int i = 0; i < 3; ++i)
        s.rgb_from_camera[i][i] = 1;
    s.colour_count = 3;
    for (int i = 0; i < 65536; ++i)
        s.tone_table[i] = uint16_t(i);
}

void identify_camera(DecoderState& s) {
    reset_identification(s);
    const uint64_t kept_length = recognise_container(s);
    normalise_make_and_model(s);
    if (s.raw_count) {
        apply_size_corrections(s);
        const bool dng = s.dng_version_word != 0;
        if (dng)
            apply_dng_layout(s);
        else
            apply_camera_adjustments(s, kept_length);
        apply_final_steps(s, dng);
    }
    if (s.orientation_code == -1) s.orientation_code = s.tiff_orientation == -1 ? 0 : s.tiff_orientation;
}

} // namespace raw
