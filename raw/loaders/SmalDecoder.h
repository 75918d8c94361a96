#pragma once
// The range coder of SMaL files and the repair of their skipped (hole) rows.
#include <cstdint>

#include "raw/core/DecoderState.h"

namespace raw {

// A stretch of photosites coded from one file offset up to the next stretch.
struct smal_segment {
    uint64_t first;      // photosite index
    uint64_t offset;     // file offset of its data
    uint64_t end;        // photosite index where it ends (exclusive)
    uint64_t end_offset; // file offset where its data ends
};

// Decodes one segment into raw_buffer; in rows whose bit of `holes` is set every even
// photosite skips the two after it.
void smal_segment_decoder(DecoderState& s, const smal_segment& segment, uint32_t holes);
// Fills the skipped photosites of the hole rows from their neighbours.
void smal_fill_holes(DecoderState& s, uint32_t holes);
// The mean of the two middle values of four.
int32_t median_of_four(const int32_t* values);

} // namespace raw
