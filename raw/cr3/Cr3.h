#pragma once
// CR3 container.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// Walks the boxes of a CR3 file and selects its raw track.
void identify_cr3(DecoderState& s);

// What the box walk carries from one level to the next.
inline constexpr int kCr3MaxDepth = 32;
struct cr3_walk {
    char path[kCr3MaxDepth * 4 + 1] = {}; // the open boxes' types, 4 characters a level
    int track = 0;                        // 1 for the first "trak"; record 0 stays empty
    int handler = 0;                      // 1 sound, 2 video, 3 hint, 4 meta
    char sample_type[kCr3MaxTracks][5] = {};
    bool timed_metadata_read[kCr3MaxTracks] = {};
};

// Walk results.
enum : int {
    kCr3Ok = 0,
    kCr3ZeroSize = -2,
    kCr3LongHeader = -3,
    kCr3BadCmt1 = -4,
    kCr3BadCmt2 = -5,
    kCr3BadCmt34 = -6,
    kCr3ShortPayload = -7,
    kCr3ShortCraw = -8,
    kCr3BadStsz = -9,
    kCr3BadCo64 = -10,
    kCr3BadRecord = -11,
    kCr3BadRecordItem = -12,
    kCr3BadRecordData = -13,
    kCr3TooDeep = -14,
};

// Walks the boxes in [start, start + length); depth is -1 for the whole file.
int parse_cr3_boxes(DecoderState& s, uint64_t start, uint64_t length, int depth, cr3_walk& walk);

// Reads the first 36 bytes of a CMP1 payload into `track`; true when the header is one
// this decoder can decode (the track's media kind is left to the caller).
inline constexpr int kCmp1HeaderSize = 36;
bool read_cmp1_header(const uint8_t* header, cr3_track_record& track);

// Reads the timed-metadata records of a CTMD track; 0 or a walk result.
int parse_cr3_timed_metadata(DecoderState& s, const cr3_track_record& track);

// Chooses thumbnail and raw track among records 0..min(last_track, 15).
void select_cr3_track(DecoderState& s, int last_track);

// The Bayer pattern word of a CMP1 CFA layout (0 to 3).
uint32_t crx_cfa_pattern(uint32_t layout);

} // namespace raw
