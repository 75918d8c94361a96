#pragma once
// Internal to the maker-note parser: what one note collects while its entries are read.
#include <cstdint>

#include "raw/core/DecoderState.h"
#include "raw/tiff/TiffParser.h"

namespace raw {

struct MakerNoteContext {
    int64_t base = 0;
    uint32_t parent_tag = 0;
    char header[10] = {};
    uint32_t white_balance_index = 0; // from the Canon shot information
};

// The entry's tag is already combined with the parent tag. True when it was known.
bool apply_maker_note_tag(DecoderState& s, MakerNoteContext& note, uint32_t tag, const tiff_entry& e);
// The Canon colour-data block (tag 16385): multipliers, small-raw gains, blacks, white.
void read_canon_colour_data(DecoderState& s, uint32_t count);

} // namespace raw
