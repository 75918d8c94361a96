#pragma once
#include "raw/core/DecoderState.h"

namespace raw {

// Colour index 0..3 of a sensor position under cfa_pattern: the X-Trans cell (9), the
// fixed 16x16 table offset by the margins (1), or 2-bit codes of an 8-row x 2-column cell.
// Negative positions wrap like positive ones.
int cfa_color(const DecoderState& s, int row, int column);

// Colour indices of pattern 1, before the margin offsets.
extern const int8_t kLeaf16Table[16][16];
// The fixed 16x16 table of pattern word 1 at (row, column), without margins.
int leaf16_color(int row, int column);

} // namespace raw
