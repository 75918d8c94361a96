#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "raw/core/DecoderState.h"

namespace raw {

// Equalises the two greens of a Bayer sensor; true when matching ran.
bool green_channel_match_threaded(DecoderState& s, int threshold);

// A correction of a row that the band before also reads; written once every band is done.
struct green_seam_fix {
    size_t slot; // index into pixel_image viewed as 16-bit values
    uint16_t value;
};

// One band of green matching: rows [first_row, end_row).
struct green_match_band {
    int first_row;
    int end_row;
    int threshold;
    std::vector<green_seam_fix> seam;
};
void green_match_band_worker(DecoderState& s, green_match_band& band);

// Turns a mosaic into one green-equivalent channel (colour_count 1, cfa_pattern 0).
void cfa_to_monochrome_regression(DecoderState& s, int threshold);

} // namespace raw
