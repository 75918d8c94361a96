// The active-area crop: black levels measured in the masked (optically black) areas of
// raw_buffer, then the visible photosites moved into pixel_image on row bands.
#include <algorithm>
#include <cstring>
#include <limits>

#include "raw/core/BandRunner.h"
#include "raw/core/PhotositeAccess.h"
#include "raw/develop/SensorPrep.h"
#include "raw/loaders/Loaders.h"

namespace raw {
namespace {

enum Edge { kTop, kLeft, kBottom, kRight };

bool model_starts_with(const DecoderState& s, const char* prefix) {
    return std::strncmp(s.camera_model, prefix, std::strlen(prefix)) == 0;
}

// Parsers may leave any value in a rectangle; keep the sums inside 32 bits.
void add_saturated(int32_t& edge, int64_t amount) {
    const int64_t v = int64_t(edge) + amount;
    edge = int32_t(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Masked columns left and right of the visible area, for the loaders whose files do not
// say where they are.
void left_and_right_masks(DecoderState& s, int64_t a) {
    auto& m = s.masked_areas;
    m[0][kTop] = m[1][kTop] = s.margin_top;
    m[0][kBottom] = m[1][kBottom] = s.margin_top + s.visible_height;
    m[0][kRight] = 0;
    add_saturated(m[0][kRight], a + s.margin_left);
    add_saturated(m[1][kLeft], int64_t(s.margin_left) + s.visible_width);
    add_saturated(m[1][kRight], s.sensor_width);
}

void default_masked_areas(DecoderState& s) {
    auto& m = s.masked_areas;
    if (m[0][kRight] >= 1) return;
    const Routine loader = s.raw_loader;
    int64_t a = m[0][kRight];
    if (loader == canon_crw_load_raw || loader == ljpeg_sensor_load_raw) {
        add_saturated(m[1][kLeft], 2);
        m[0][kLeft] = m[1][kLeft];
        a = model_starts_with(s, "PowerShot G16") ? -18 : a - 2;
        left_and_right_masks(s, a);
    } else if (loader == sony_scrambled_load_raw) {
        left_and_right_masks(s, 9);
    } else if (loader == canon600_packed_load_raw || loader == kodak_262_load_raw ||
               (loader == eight_bit_load_raw && !model_starts_with(s, "DC2")) ||
               (loader == packed_bits_load_raw && (s.loader_flags & 32))) {
        left_and_right_masks(s, a);
    }
    if (loader == nokia_load_raw) {
        m[0][kBottom] = s.margin_top;
        m[0][kRight] = s.visible_width;
    }
}

struct MaskedSums {
    uint64_t sum[4] = {}, count[4] = {}, zeros = 0;
};

// Rectangles reaching past the sensor data are measured where they lie inside it.
MaskedSums measure_masked_areas(const DecoderState& s) {
    MaskedSums t;
    for (const auto& r : s.masked_areas) {
        const int64_t top = std::max<int64_t>(r[kTop], 0),
                      bottom = std::min<int64_t>(r[kBottom], s.sensor_height);
        const int64_t left = std::max<int64_t>(r[kLeft], 0),
                      right = std::min<int64_t>(r[kRight], s.sensor_width);
        for (int64_t row = top; row < bottom; ++row) {
            const uint16_t* line = s.raw_buffer + row * s.sensor_width;
            for (int64_t col = left; col < right; ++col) {
                const int c = pattern_code(s.cfa_pattern, int(row - s.margin_top), int(col - s.margin_left));
                t.sum[c] += line[col];
                t.count[c]++;
                if (line[col] == 0) t.zeros++;
            }
        }
    }
    return t;
}

void apply_masked_blacks(DecoderState& s, const MaskedSums& t) {
    if (s.raw_loader == canon600_packed_load_raw && s.visible_width < s.sensor_width) {
        const uint64_t sum = t.sum[0] + t.sum[1] + t.sum[2] + t.sum[3];
        const uint64_t count = t.count[0] + t.count[1] + t.count[2] + t.count[3];
        if (count) {
            const uint64_t mean = sum / count;
            s.black_level = uint32_t(mean > 4 ? mean - 4 : 0);
        }
        canon600_sensor_correct(s);
        return;
    }
    if (!(t.zeros < t.count[0] && t.count[1] && t.count[2] && t.count[3])) return;
    for (int c = 0; c < 4; ++c)
        s.channel_black[c] = uint16_t(t.sum[c] / t.count[c]);
    s.channel_black[4] = s.channel_black[5] = s.channel_black[6] = 0;
}

// Bayer words at full size: a row alternates between two slots.
bool copy_bayer_row(DecoderState& s, int r, const uint16_t* source, int columns) {
    if (s.shrink_image || s.cfa_pattern == kPatternLeaf16 || s.cfa_pattern == kPatternXTrans ||
        r >= s.image_height)
        return false;
    uint16_t(*out)[4] = s.pixel_image + size_t(r) * s.image_width;
    const int n = std::min<int>(columns, s.image_width);
    const int even = pattern_code(s.cfa_pattern, r, 0), odd = pattern_code(s.cfa_pattern, r, 1);
    int c = 0;
    for (; c + 1 < n; c += 2) {
        out[c][even] = source[c];
        out[c + 1][odd] = source[c + 1];
    }
    if (c < n) out[c][even] = source[c];
    return true;
}

void copy_plain_row(DecoderState& s, int r) {
    const int64_t source_row = int64_t(r) + s.margin_top;
    const int columns = std::min<int>(s.visible_width, std::max(0, int(s.sensor_width) - int(s.margin_left)));
    if (source_row >= s.sensor_height || columns == 0) return;
    const uint16_t* source = s.raw_buffer + source_row * s.sensor_width + s.margin_left;
    if (copy_bayer_row(s, r, source, columns)) return;
    for (int c = 0; c < columns; ++c)
        if (uint16_t* pixel = photosite_pixel(s, r, c)) pixel[photosite_colour(s, r, c)] = source[c];
}

// Sensors laid out at 45 degrees: stored row r runs diagonally through the image.
void copy_rotated_row(DecoderState& s, int r) {
    const int64_t source_row = int64_t(r) + s.margin_top;
    const int w = s.rotated_width;
    const int stored = s.fuji_sensor_layout ? w : 2 * w;
    const int columns = std::min(stored, std::max(0, int(s.sensor_width) - int(s.margin_left)));
    if (source_row >= s.sensor_height || columns == 0) return;
    const uint16_t* source = s.raw_buffer + source_row * s.sensor_width + s.margin_left;
    for (int j = 0; j < columns; ++j) {
        int y, x;
        if (s.fuji_sensor_layout) {
            y = w - 1 - j + (r >> 1);
            x = j + ((r + 1) >> 1);
        } else {
            y = w - 1 + r - (j >> 1);
            x = r + ((j + 1) >> 1);
        }
        if (y >= s.visible_height || x >= s.visible_width) continue;
        if (uint16_t* pixel = photosite_pixel(s, y, x)) pixel[pattern_code(s.cfa_pattern, y, x)] = source[j];
    }
}

void copy_active_area(DecoderState& s) {
    const int rows = s.rotated_width ? int(s.sensor_height) - 2 * int(s.margin_top) : int(s.visible_height);
    if (rows < 1) return;
    const auto copy_row = s.rotated_width ? copy_rotated_row : copy_plain_row;
    // Shrunk diagonal rows land in shared pixels from several bands: keep them in order.
    if (s.shrink_image && s.rotated_width) {
        for (int r = 0; r < rows; ++r)
            copy_row(s, r);
        return;
    }
    // Every band gets rows: on a fresh pixel image the first touch of its pages costs more
    // than the copy, and it only spreads over as many cores as there are busy bands. A shrunk
    // pixel's two rows stay in one band.
    const int64_t per_band = (rows + kBandCount - 1) / kBandCount;
    const int64_t height = s.shrink_image ? per_band + (per_band & 1) : per_band;
    run_bands(kBandCount, [&](int band) {
        const int64_t begin = int64_t(band) * height;
        const int64_t end = std::min<int64_t>(begin + height, rows);
        for (int64_t r = begin; r < end; ++r)
            copy_row(s, int(r));
    });
}

} // namespace

void crop_active_area(DecoderState& s) {
    if (!s.raw_buffer || !s.pixel_image) return;
    if (s.raw_loader == phase_one_load_raw_c || s.raw_loader == phase_one_plain_load_raw)
        phase_one_correct(s);
    default_masked_areas(s);
    apply_masked_blacks(s, measure_masked_areas(s));
    copy_active_area(s);
}

} // namespace raw
