#include "tools/IdentifyListing.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>

#include "raw/core/CfaColor.h"

namespace tools {
namespace {

// Matches the 45-degree rotation's own arithmetic, so the planned size is the written one.
constexpr float kHalfRoot2 = 0.70710677f;

char colour_letter(const raw::DecoderState& s, int colour) {
    const size_t known = strnlen(s.colour_letters, sizeof s.colour_letters);
    if (colour >= 0 && size_t(colour) < known) return s.colour_letters[colour];
    return colour == 3 ? 'G' : '?'; // a three-colour Bayer word marks its second green 3
}

// The repeating cell of the pattern, as rows of colour letters joined by "/".
std::string filter_pattern(const raw::DecoderState& s) {
    int rows = 8, cols = 2;
    if (s.cfa_pattern == raw::kPatternXTrans) {
        rows = cols = 6;
    } else if (s.cfa_pattern == raw::kPatternLeaf16) {
        rows = cols = 16;
    } else if (s.cfa_pattern == (s.cfa_pattern & 0xFF) * 0x01010101u) {
        rows = 2;
    } else if (s.cfa_pattern == (s.cfa_pattern & 0xFFFF) * 0x00010001u) {
        rows = 4;
    }
    std::string text;
    for (int r = 0; r < rows; ++r) {
        if (r) text += '/';
        for (int c = 0; c < cols; ++c)
            text += colour_letter(s, raw::cfa_color(s, r, c));
    }
    return text;
}

void print_shutter(FILE* out, float seconds) {
    std::fprintf(out, "Shutter: ");
    if (seconds > 0 && seconds < 1) {
        std::fprintf(out, "1/");
        seconds = 1 / seconds;
    }
    std::fprintf(out, "%0.1f sec\n", double(seconds));
}

void print_camera_lines(FILE* out, const raw::DecoderState& s, const char* path) {
    std::fprintf(out, "\nFilename: %s\n", path);
    const std::time_t when = std::time_t(s.capture_time);
    char stamp[64] = "\n";
    ctime_r(&when, stamp);
    std::fprintf(out, "Timestamp: %s", stamp);
    std::fprintf(out, "Camera: %s %s\n", s.camera_make, s.camera_model);
    const std::string owner(s.artist_text, strnlen(s.artist_text, sizeof s.artist_text));
    if (owner.find_first_not_of(' ') != std::string::npos) std::fprintf(out, "Owner: %s\n", owner.c_str());
    if (s.dng_version_word) {
        std::fprintf(out, "DNG Version: ");
        for (int shift = 24; shift >= 0; shift -= 8)
            std::fprintf(out, "%u%c", (s.dng_version_word >> shift) & 0xFF, shift ? '.' : '\n');
    }
    std::fprintf(out, "ISO speed: %d\n", int(s.iso_value));
    print_shutter(out, s.exposure_time);
    std::fprintf(out, "Aperture: f/%0.1f\n", double(s.f_number));
    std::fprintf(out, "Focal length: %0.1f mm\n", double(s.focal_length_mm));
    std::fprintf(out, "Embedded ICC profile: %s\n", s.profile_length ? "yes" : "no");
    std::fprintf(out, "Number of raw images: %d\n", int(s.raw_count));
    if (s.pixel_aspect_ratio != 1)
        std::fprintf(out, "Pixel Aspect Ratio: %0.6f\n", double(s.pixel_aspect_ratio));
    if (s.thumbnail_offset)
        std::fprintf(out, "Thumb size:  %4d x %d\n", s.thumbnail_width, s.thumbnail_height);
    std::fprintf(out, "Full size:   %4d x %d\n", s.sensor_width, s.sensor_height);
}

void print_image_lines(FILE* out, const raw::DecoderState& s, const DecoderOptions& o) {
    const PixelSize size = planned_output_size(s, o);
    std::fprintf(out, "Image size:  %4d x %d\n", s.visible_width, s.visible_height);
    std::fprintf(out, "Output size: %4d x %d\n", size.width, size.height);
    std::fprintf(out, "Raw colors: %d", s.colour_count);
    if (s.cfa_pattern) std::fprintf(out, "\nFilter pattern: %s", filter_pattern(s).c_str());
    std::fprintf(out, "\nDaylight multipliers:");
    for (int c = 0; c < std::clamp(s.colour_count, 0, 4); ++c)
        std::fprintf(out, " %f", double(s.daylight_multipliers[c]));
    if (s.as_shot_multipliers[0] > 0) {
        std::fprintf(out, "\nCamera multipliers:");
        for (float m : s.as_shot_multipliers)
            std::fprintf(out, " %f", double(m));
    }
    std::fprintf(out, "\n");
}

} // namespace

PixelSize planned_output_size(const raw::DecoderState& s, const DecoderOptions& o) {
    // Only the half-size option leaves the image shrunk; denoising shrinks and expands it.
    const int shrink = s.cfa_pattern && o.half_size ? 1 : 0;
    int height = (s.visible_height + shrink) >> shrink;
    int width = (s.visible_width + shrink) >> shrink;
    if (!o.no_rotate_or_stretch) {
        const float aspect = s.pixel_aspect_ratio;
        if (s.rotated_width) {
            const int w = shrink ? s.rotated_width >> 1 : s.rotated_width - 1;
            width = int(float(w) / kHalfRoot2);
            height = int(float(height - w) / kHalfRoot2);
        } else if (aspect > 0 && aspect < 1) {
            height = int(float(height) / aspect + 0.5f);
        } else if (aspect > 1) {
            width = int(float(width) * aspect + 0.5f);
        }
    }
    if (s.orientation_code & 4) std::swap(width, height);
    return {width, height};
}

void print_identify_listing(FILE* out, const raw::DecoderState& s, const char* path,
                            const DecoderOptions& o) {
    print_camera_lines(out, s, path);
    if (s.raw_count) print_image_lines(out, s, o);
}

} // namespace tools
