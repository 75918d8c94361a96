// DNG tags: version and model, levels, default crop, active and masked areas, and the
// colour tags, which are combined into the camera matrix once the directory is read.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "raw/colour/CameraColour.h"
#include "raw/core/InputReaders.h"
#include "raw/tiff/TiffDirectory.h"
#include "raw/tiff/TiffReading.h"

namespace raw {
namespace {

int colours_of(const DecoderState& s) { return std::clamp(s.colour_count, 0, 4); }

constexpr uint32_t kPhotometricLinearRaw = 34892;

// Crop values of a mosaic are rounded up to even so the pattern phase survives the crop.
// Complete pixels (linear raw) have no phase to keep: rounding an odd crop up would reach
// a column or row past the image.
uint16_t crop_value(float value, bool mosaic) {
    uint16_t v = clamp_u16(std::ceil(double(value)));
    if (!mosaic) return v;
    return v >= 65534 ? 65534 : uint16_t((v + 1) & ~1);
}

void set_unique_model(DecoderState& s) {
    if (s.camera_model[0]) return;
    read_line(s, s.camera_make, sizeof s.camera_make);
    if (char* blank = std::strchr(s.camera_make, ' ')) {
        std::strncpy(s.camera_model, blank + 1, sizeof s.camera_model - 1);
        *blank = 0;
    }
}

void set_repeat_dims(DecoderState& s, uint32_t rows, uint32_t columns) {
    if (uint64_t(rows) * columns > 4096) rows = columns = 1;
    s.channel_black[4] = uint16_t(rows);
    s.channel_black[5] = uint16_t(columns);
}

void read_black_pattern(DecoderState& s, const ifd_record& r, const tiff_entry& e) {
    if (e.tag == 61450) {
        uint32_t side = std::min<uint32_t>(uint32_t(std::sqrt(double(e.count))), 64);
        s.channel_black[4] = s.channel_black[5] = uint16_t(side);
    }
    if (r.photometric == 34892) return;
    if (s.channel_black[4] * s.channel_black[5] == 0) s.channel_black[4] = s.channel_black[5] = 1;
    uint32_t n = uint32_t(s.channel_black[4]) * s.channel_black[5];
    for (uint32_t i = 0; i < n; ++i)
        s.channel_black[6 + i] = clamp_u16(read_real_by_type(s, e.type));
    s.black_level = 0;
}

void add_black_delta(DecoderState& s, const tiff_entry& e) {
    uint64_t n = values_left(s, e.count, e.type);
    if (n == 0) return; // no values, no mean
    double sum = 0;
    for (uint64_t i = 0; i < n; ++i)
        sum += read_real_by_type(s, e.type);
    s.black_level = clamp_u32(s.black_level + sum / double(n) + 0.5);
}

void set_aspect(DecoderState& s, uint32_t type) {
    float a = read_real_by_type(s, type);
    float b = read_real_by_type(s, type);
    if (!(a > 1e-5f && b > 1e-5f) || !std::isfinite(a / b)) return;
    s.pixel_aspect_ratio = a / b;
    if (s.pixel_aspect_ratio > 0.995f && s.pixel_aspect_ratio < 1.005f) s.pixel_aspect_ratio = 1.0f;
}

void set_active_area(DecoderState& s, uint32_t type) {
    uint32_t top = read_int_by_type(s, type), left = read_int_by_type(s, type);
    uint32_t bottom = read_int_by_type(s, type), right = read_int_by_type(s, type);
    // An inverted or oversized area is ignored rather than wrapped into a huge size.
    if (bottom < top || right < left || bottom > 65535 || right > 65535) return;
    s.margin_top = uint16_t(top);
    s.margin_left = uint16_t(left);
    s.visible_height = uint16_t(bottom - top);
    s.visible_width = uint16_t(right - left);
}

void set_masked_areas(DecoderState& s, const tiff_entry& e) {
    int32_t* values = &s.masked_areas[0][0];
    for (uint32_t i = 0; i < e.count && i < 32; ++i)
        values[i] = int32_t(read_int_by_type(s, e.type));
    for (auto& m : s.masked_areas)
        if (m[0] < 0 || m[1] < 0 || m[2] < m[0] || m[3] < m[1]) m[0] = m[1] = m[2] = m[3] = 0;
    s.black_level = 0;
}

bool apply_colour_tag(DecoderState& s, DngColourWork& w, const tiff_entry& e) {
    int n = colours_of(s);
    switch (e.tag) {
    case 50721:
    case 50722:
        for (int c = 0; c < n; ++c)
            for (int j = 0; j < 3; ++j)
                w.cm[c][j] = read_real_by_type(s, e.type);
        s.use_embedded_matrix = 1;
        w.matrix_seen = true;
        return true;
    case 50723:
    case 50724:
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < n; ++c)
                w.cc[i][c] = read_real_by_type(s, e.type);
        return true;
    case 50727:
        for (int c = 0; c < n; ++c)
            w.ab[c] = read_real_by_type(s, e.type);
        return true;
    case 50728:
        for (int c = 0; c < n; ++c)
            w.asn[c] = read_real_by_type(s, e.type);
        return true;
    case 50729: {
        float x = read_real_by_type(s, e.type), y = read_real_by_type(s, e.type);
        s.as_shot_white_xyz[0] = x;
        s.as_shot_white_xyz[1] = y;
        s.as_shot_white_xyz[2] = 1 - x - y;
        for (int c = 0; c < 3; ++c)
            w.xyz[c] = s.as_shot_white_xyz[c] / d65_white[c];
        return true;
    }
    default:
        return false;
    }
}

bool apply_level_tag(DecoderState& s, TiffDirectoryContext& d, const tiff_entry& e) {
    switch (e.tag) {
    case 50712:
        build_linear_table(s, e.count);
        return true;
    case 50713: {
        uint32_t rows = read_int_by_type(s, e.type);
        set_repeat_dims(s, rows, read_int_by_type(s, e.type));
        return true;
    }
    case 50714:
    case 61450:
        read_black_pattern(s, d.record(s), e);
        return true;
    case 50715:
    case 50716:
        add_black_delta(s, e);
        return true;
    case 50717:
        s.white_level = read_int_by_type(s, e.type);
        return true;
    case 50730:
        s.baseline_exposure = read_real_by_type(s, e.type);
        return true;
    default:
        return false;
    }
}

bool apply_geometry_tag(DecoderState& s, const tiff_entry& e, bool mosaic) {
    switch (e.tag) {
    case 50711:
        if (read_int_by_type(s, e.type) == 2) s.rotated_width = 1;
        return true;
    case 50718:
        set_aspect(s, e.type);
        return true;
    case 50719:
        s.margin_left = crop_value(read_real_by_type(s, e.type), mosaic);
        s.margin_top = crop_value(read_real_by_type(s, e.type), mosaic);
        return true;
    case 50720:
        s.visible_width = crop_value(read_real_by_type(s, e.type), mosaic);
        s.visible_height = crop_value(read_real_by_type(s, e.type), mosaic);
        return true;
    case 50752:
        read_u16_array(s, s.canon_slice_widths, 3);
        return true;
    case 50829:
        set_active_area(s, e.type);
        return true;
    case 50830:
        set_masked_areas(s, e);
        return true;
    default:
        return false;
    }
}

} // namespace

bool apply_dng_tag(DecoderState& s, TiffDirectoryContext& d, const tiff_entry& e) {
    switch (e.tag) {
    case 50706:
        s.dng_version_word = 0;
        for (int i = 0; i < 4; ++i)
            s.dng_version_word = (s.dng_version_word << 8) + uint32_t(read_byte(s));
        if (!s.camera_make[0]) std::strcpy(s.camera_make, "DNG");
        s.raw_count = 1;
        return true;
    case 50708:
        set_unique_model(s);
        return true;
    case 33421:
        if (read_u16(s) == 6 && read_u16(s) == 6) s.cfa_pattern = kPatternXTrans;
        return true;
    case 33422:
    case 64777:
        if (e.tag == 33422 && s.cfa_pattern == kPatternXTrans) {
            for (int i = 0; i < 36; ++i)
                (&s.xtrans_sensor_layout[0][0])[i] = int8_t(read_byte(s) & 3);
            return true;
        }
        read_cfa_pattern(s, d.cfa, e.count);
        decode_cfa_pattern(s, d.cfa);
        return true;
    case 50710:
        if (s.cfa_pattern == kPatternXTrans) return true;
        s.colour_count = int32_t(std::min<uint32_t>(e.count, 4));
        for (int c = 0; c < s.colour_count; ++c)
            d.cfa.plane_colours[c] = uint8_t(read_byte(s));
        decode_cfa_pattern(s, d.cfa);
        return true;
    default:
        // Directories list their tags in ascending order: the photometric (262) is known.
        return apply_colour_tag(s, d.colour, e) || apply_level_tag(s, d, e) ||
               apply_geometry_tag(s, e, d.record(s).photometric != kPhotometricLinearRaw);
    }
}

void finish_dng_colour(DecoderState& s, const DngColourWork& w) {
    int n = colours_of(s);
    if (n == 0) return;
    float cc[4][4];
    std::memcpy(cc, w.cc, sizeof cc);
    for (int c = 0; c < n; ++c)
        for (int j = 0; j < n; ++j)
            cc[c][j] *= w.ab[c];
    float camera_from_xyz[4][3] = {};
    if (w.matrix_seen) {
        for (int c = 0; c < n; ++c)
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < n; ++j)
                    camera_from_xyz[c][i] += cc[c][j] * w.cm[j][i] * w.xyz[i];
        camera_xyz_coefficients(s, s.embedded_matrix, camera_from_xyz);
    }
    if (w.asn[0] != 0) {
        s.as_shot_multipliers[3] = 0;
        for (int c = 0; c < n; ++c)
            if (std::fabs(w.asn[c]) > 1e-4f) s.as_shot_multipliers[c] = 1 / w.asn[c];
    }
    if (!w.matrix_seen) {
        for (int c = 0; c < n; ++c)
            if (std::fabs(cc[c][c]) > 1e-4f) s.daylight_multipliers[c] /= cc[c][c];
    } else {
        set_camera_matrix(s, camera_from_xyz);
    }
}

} // namespace raw
