// Identification of a CR3 file: the box walk, then the choice of thumbnail and raw track.
#include <algorithm>
#include <cstring>

#include "raw/cr3/Cr3.h"
#include "raw/identify/IdentifyReading.h"
#include "raw/loaders/Loaders.h"

namespace raw {
namespace {

uint64_t raw_score(const cr3_track_record& t) {
    return t.media_kind == 1 ? uint64_t(t.bits_per_sample) * t.image_width * t.image_height : 0;
}

void choose_thumbnail(DecoderState& s, int last) {
    uint32_t largest = 0;
    for (int i = 0; i <= last; ++i) {
        const cr3_track_record& t = s.cr3_tracks[i];
        if (t.media_kind != 2 || t.media_size <= largest) continue;
        largest = t.media_size;
        s.thumbnail_offset = t.media_offset;
        s.thumbnail_length = t.media_size;
    }
}

} // namespace

void select_cr3_track(DecoderState& s, int last_track) {
    const int last = std::clamp(last_track, 0, kCr3MaxTracks - 1);
    choose_thumbnail(s, last);
    uint64_t best = 0;
    for (int i = 0; i <= last; ++i)
        best = std::max(best, raw_score(s.cr3_tracks[i]));
    if (best <= 7) return;
    int chosen = -1;
    uint32_t count = 0;
    for (int i = 0; i <= last; ++i) {
        if (raw_score(s.cr3_tracks[i]) != best) continue;
        if (count <= s.shot_index) chosen = i; // the last one when there are fewer
        ++count;
    }
    const cr3_track_record& t = s.cr3_tracks[chosen];
    s.raw_count = count;
    s.cr3_selected_track = chosen;
    s.sensor_data_offset = t.media_offset;
    s.sensor_width = fit16(t.image_width);
    s.sensor_height = fit16(t.image_height);
    s.raw_loader = crx_load_raw;
    s.cfa_pattern = crx_cfa_pattern(t.cfa_layout);
    if (s.ifd_count && s.ifd_table[0].height) s.orientation_code = int32_t(s.ifd_table[0].orientation);
}

void identify_cr3(DecoderState& s) {
    std::memset(s.camera_make, 0, sizeof s.camera_make);
    set_text(s.camera_make, "Canon");
    const uint64_t length = input_length(s);
    cr3_walk walk;
    const int result = parse_cr3_boxes(s, 0, length, -1, walk);
    if (result == kCr3Ok || result == kCr3TooDeep) select_cr3_track(s, walk.track);
}

} // namespace raw
