#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "raw/core/InputReaders.h"
#include "raw/identify/AdjustRules.h"
#include "raw/identify/FileProbes.h"
#include "raw/identify/Identify.h"

namespace raw::adjust {
namespace {

// Headerless files of these lengths hold data of more than one camera; the file's content
// tells them apart.
constexpr uint64_t kNikonE900 = 1581060, kNikonE2100 = 2940928, kPentaxOptioS = 3178560, kNikonE990 = 4771840,
                   kNikonE3700 = 4775936, kNikonE4300 = 5869568, kRoverShot = 6291456;

void set_daylight(DecoderState& s, std::initializer_list<std::pair<int, float>> values) {
    for (auto [channel, value] : values)
        s.daylight_multipliers[channel] = value;
}

void adjust_e900(DecoderState& s) {
    set_simple_matrix(s, 3);
    set_daylight(s, {{0, 1.2085f}, {1, 1.0943f}, {3, 1.1103f}});
}

void adjust_e2100(DecoderState& s) {
    if (!s.capture_time && !packed_pattern_check(s)) set_text(s.camera_model, "E2500");
    if (!text_is(s.camera_model, {"E2500"})) return;
    s.visible_height = add16(s.visible_height, -2);
    s.loader_flags = 6;
    s.colour_count = 4;
    s.cfa_pattern = 0x4b4b4b4b;
}

void adjust_e990(DecoderState& s) {
    if (!s.capture_time && tail_histogram_check(s)) set_text(s.camera_model, "E995");
    if (text_is(s.camera_model, {"E995"})) return;
    s.cfa_pattern = 0xb4b4b4b4;
    set_simple_matrix(s, 3);
    set_daylight(s, {{0, 1.196f}, {1, 1.246f}, {2, 1.018f}});
}

// A ratio of an empty or flat row is not a number; it says nothing about the pattern.
int ratio_as_int(double ratio) {
    if (std::isnan(ratio)) return 0;
    return int(std::clamp(ratio, -1e9, 1e9));
}

// Which diagonal holds the greens differs between the bodies sharing this length.
void choose_green_diagonal(DecoderState& s) {
    int r1 = ratio_as_int(green_difference_ratio(s, 12, 32, 1188864, 3576832));
    const int r2 = ratio_as_int(green_difference_ratio(s, 12, 32, 2383920, 2387016));
    if (std::abs(r1) < std::abs(r2)) {
        s.loader_flags = 24;
        r1 = r2;
    }
    if (r1 < 0) s.cfa_pattern = 0x61616161;
}

void adjust_e3700(DecoderState& s) {
    if (!s.capture_time) model_from_code_bits(s);
    if (s.camera_model[0] == 'E' && std::strtol(s.camera_model + 1, nullptr, 10) < 3700)
        s.cfa_pattern = 0x49494949;
    if (text_is(s.camera_model, {"Optio 33WR"})) {
        s.orientation_code = 1;
        s.cfa_pattern = 0x16161616;
    }
    if (s.camera_make[0] == 'O') choose_green_diagonal(s);
}

void adjust_e4300(DecoderState& s) {
    if (!s.capture_time && tail_nonzero_check(s)) {
        set_text(s.camera_make, "Minolta");
        set_text(s.camera_model, "DiMAGE Z2");
    }
    s.loader_flags = s.camera_make[0] == 'M' ? 30 : 6;
}

// Big-endian samples mark the framed variant of this sensor.
void adjust_rovershot(DecoderState& s) {
    seek_input(s, 0x300000);
    s.byte_order = guess_sample_byte_order(s, 0x10000);
    if (s.byte_order != kBigEndian) return;
    s.visible_height = add16(s.visible_height, -16);
    s.visible_width = add16(s.visible_width, -28);
    set_margins(s, 28, 16);
    s.white_level = 62912;
    set_text(s.camera_make, "ISG");
    std::snprintf(s.camera_model, sizeof s.camera_model, "%dx%d", s.visible_width, s.visible_height);
}

} // namespace

bool has_known_file_length(const adjust_context& a) {
    switch (a.kept_length) {
    case kNikonE900:
    case kNikonE2100:
    case kPentaxOptioS:
    case kNikonE990:
    case kNikonE3700:
    case kNikonE4300:
    case kRoverShot:
        return true;
    default:
        return false;
    }
}

void adjust_by_file_length(adjust_context& a) {
    DecoderState& s = a.s;
    switch (a.kept_length) {
    case kNikonE900:
        adjust_e900(s);
        break;
    case kNikonE2100:
        adjust_e2100(s);
        break;
    case kPentaxOptioS:
        s.as_shot_multipliers[0] *= 4;
        s.as_shot_multipliers[2] *= 4;
        break;
    case kNikonE990:
        adjust_e990(s);
        break;
    case kNikonE3700:
        adjust_e3700(s);
        break;
    case kNikonE4300:
        adjust_e4300(s);
        break;
    case kRoverShot:
        adjust_rovershot(s);
        break;
    }
}

} // namespace raw::adjust
