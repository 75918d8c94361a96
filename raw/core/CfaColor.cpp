#include "raw/core/CfaColor.h"

#include <cstdint>

namespace raw {

const int8_t kLeaf16Table[16][16] = {
    {2, 1, 1, 3, 2, 3, 2, 0, 3, 2, 3, 0, 1, 2, 1, 0}, {0, 3, 0, 2, 0, 1, 3, 1, 0, 1, 1, 2, 0, 3, 3, 2},
    {2, 3, 3, 2, 3, 1, 1, 3, 3, 1, 2, 1, 2, 0, 0, 3}, {0, 1, 0, 1, 0, 2, 0, 2, 2, 0, 3, 0, 1, 3, 2, 1},
    {3, 1, 1, 2, 0, 1, 0, 2, 1, 3, 1, 3, 0, 1, 3, 0}, {2, 0, 0, 3, 3, 2, 3, 1, 2, 0, 2, 0, 3, 2, 2, 1},
    {2, 3, 3, 1, 2, 1, 2, 1, 2, 1, 1, 2, 3, 0, 0, 1}, {1, 0, 0, 2, 3, 0, 0, 3, 0, 3, 0, 3, 2, 1, 2, 3},
    {2, 3, 3, 1, 1, 2, 1, 0, 3, 2, 3, 0, 2, 3, 1, 3}, {1, 0, 2, 0, 3, 0, 3, 2, 0, 1, 1, 2, 0, 1, 0, 2},
    {0, 1, 1, 3, 3, 2, 2, 1, 1, 3, 3, 0, 2, 1, 3, 2}, {2, 3, 2, 0, 0, 1, 3, 0, 2, 0, 1, 2, 3, 0, 1, 0},
    {1, 3, 1, 2, 3, 2, 3, 2, 0, 2, 0, 1, 1, 0, 3, 0}, {0, 2, 0, 3, 1, 0, 0, 1, 1, 3, 3, 2, 3, 2, 2, 1},
    {2, 1, 3, 2, 3, 1, 2, 1, 0, 3, 0, 2, 0, 2, 0, 2}, {0, 3, 1, 0, 0, 2, 0, 3, 2, 1, 3, 1, 1, 3, 1, 3},
};

namespace {

int wrap(int v, int period) {
    int m = v % period;
    return m < 0 ? m + period : m;
}

} // namespace

int leaf16_color(int row, int column) { return kLeaf16Table[wrap(row, 16)][wrap(column, 16)]; }

int cfa_color(const DecoderState& s, int row, int column) {
    // The cell comes from the file: keep every index a valid channel.
    if (s.cfa_pattern == kPatternXTrans) return s.xtrans_layout[wrap(row, 6)][wrap(column, 6)] & 3;
    if (s.cfa_pattern == kPatternLeaf16)
        return kLeaf16Table[wrap(row + s.margin_top, 16)][wrap(column + s.margin_left, 16)];
    unsigned shift = (((unsigned(row) << 1) & 14) | (unsigned(column) & 1)) << 1;
    return int(s.cfa_pattern >> shift) & 3;
}

} // namespace raw
