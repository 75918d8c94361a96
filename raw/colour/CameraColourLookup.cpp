#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "raw/colour/CameraColour.h"
#include "raw/colour/ColourMatrixTable.h"

namespace raw {
namespace {

constexpr size_t kSearchTextLength = 129;

std::string search_text(const char* make, const char* model) {
    std::string text = std::string(make ? make : "") + " " + (model ? model : "");
    if (text.size() > kSearchTextLength) text.resize(kSearchTextLength);
    return text;
}

// Fujifilm's extended dynamic range underexposes by up to three stops, depending on
// the ISO the camera allows for it.
float fuji_dynamic_range_step(const DecoderState& s) {
    const int range = s.fuji_dynamic_range;
    const int d = range == 200 ? 1 : range == 400 ? 2 : range == 800 ? 3 : 0;
    const float iso = s.iso_value;
    if (iso < 150) return -1;
    if (iso < 300) return 0;
    if (iso < 600) return float(std::min(d, 1));
    if (iso < 1200) return float(std::min(d, 2));
    return float(d);
}

void apply_levels(DecoderState& s, const colour_matrix_row& row) {
    if (row.black) s.black_level = row.black;
    if (row.maximum) s.white_level = row.maximum;
    if (row.baseline_exposure) {
        s.baseline_exposure = row.baseline_exposure / 1000.0f;
        if (s.fuji_dynamic_range) s.baseline_exposure += fuji_dynamic_range_step(s);
    }
    if (row.reference_iso && s.iso_value > 0.5f && row.reference_iso > s.iso_value)
        s.baseline_exposure -= std::log2(row.reference_iso / s.iso_value);
}

// True when the row settles the camera's colours. A row without a matrix has nothing
// to say about them; only the A530 row keeps the raw colours on purpose.
bool apply_matrix(DecoderState& s, const colour_matrix_row& row) {
    if (std::strcmp(row.prefix, "Canon PowerShot A530") == 0) return true;
    if (!has_colour_matrix(row)) return false;
    float camera_from_xyz[4][3];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j)
            camera_from_xyz[i][j] = row.matrix[i * 3 + j] / 10000.0f;
    s.camera_colour_output = 0;
    camera_xyz_coefficients(s, s.rgb_from_camera, camera_from_xyz, 4);
    set_camera_matrix(s, camera_from_xyz, 4);
    return true;
}

// Sony's tables give the black of 12-bit data.
void scale_sony_black(DecoderState& s, const char* make) {
    if (!make || std::strncmp(make, "Sony", 4) != 0 || s.bits_per_sample <= 12) return;
    const uint32_t doublings = std::min<uint32_t>(s.bits_per_sample - 12, 32);
    const uint64_t black = uint64_t(s.black_level) << doublings;
    s.black_level = uint32_t(std::min<uint64_t>(black, UINT32_MAX));
}

void use_embedded_matrix(DecoderState& s) {
    std::memcpy(s.rgb_from_camera, s.embedded_matrix, sizeof s.rgb_from_camera);
    set_camera_matrix_from_coeffs(s, s.rgb_from_camera);
    s.camera_colour_output = 0;
}

} // namespace

void lookup_camera_colours(DecoderState& s, const char* make, const char* model) {
    const std::string text = search_text(make, model);
    const colour_matrix_row* row = find_colour_matrix_row(text.c_str());
    bool colours_known = false;
    if (row) {
        apply_levels(s, *row);
        colours_known = apply_matrix(s, *row);
    }
    scale_sony_black(s, make);
    if (!colours_known && s.embedded_matrix[0][0] > 0.125f) use_embedded_matrix(s);
}

} // namespace raw
