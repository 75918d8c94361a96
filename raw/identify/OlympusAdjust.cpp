#include <algorithm>
#include <cstring>

#include "raw/identify/AdjustRules.h"
#include "raw/loaders/Loaders.h"

namespace raw::adjust {
namespace {

// Bodies whose stored rows are wider than the image.
void trim_width(DecoderState& s) {
    switch (s.visible_width) {
    case 9280:
        s.visible_width = 9274;
        s.visible_height = add16(s.visible_height, -6);
        break;
    case 10400:
        s.visible_width = 10388;
        break;
    case 4080:
        s.visible_width = 4056;
        break;
    case 4100:
        s.visible_width = 4096;
        break;
    }
}

// The SP-550UZ keeps a plain 640 x 480 thumbnail at the end of its files.
void place_sp550uz_thumbnail(adjust_context& a) {
    constexpr uint64_t kThumbnailOffset = 10721280;
    DecoderState& s = a.s;
    s.thumbnail_offset = kThumbnailOffset;
    const uint64_t rest = a.file_length > kThumbnailOffset ? a.file_length - kThumbnailOffset : 0;
    s.thumbnail_length = uint32_t(std::min<uint64_t>(rest, UINT32_MAX));
    s.thumbnail_width = 640;
    s.thumbnail_height = 480;
}

void apply_model_rules(adjust_context& a) {
    DecoderState& s = a.s;
    const bool plain = s.raw_loader == plain_words_load_raw;
    if (text_is(s.camera_model, {"E-300", "E-500"})) {
        s.visible_width = add16(s.visible_width, -20);
        if (plain) {
            s.white_level = 4035;
            std::memset(s.channel_black, 0, sizeof s.channel_black);
        }
    } else if (text_is(s.camera_model, {"E-330"})) {
        s.visible_width = add16(s.visible_width, -30);
        if (plain) s.white_level = 3961;
    } else if (text_is(s.camera_model, {"SP550UZ"})) {
        place_sp550uz_thumbnail(a);
    } else if (text_is(s.camera_model, {"TG-4"})) {
        s.visible_width = add16(s.visible_width, -16);
    } else if (text_is(s.camera_model, {"TG-5"})) {
        s.visible_width = add16(s.visible_width, -6);
    }
}

} // namespace

void adjust_olympus(adjust_context& a) {
    DecoderState& s = a.s;
    s.visible_height = add16(s.visible_height, s.visible_height & 1);
    if (s.exif_cfa_pattern) s.cfa_pattern = s.exif_cfa_pattern;
    trim_width(s);
    if (s.raw_loader == plain_words_load_raw) s.loader_flags = 4;
    s.bits_per_sample = 12;
    apply_model_rules(a);
}

} // namespace raw::adjust
