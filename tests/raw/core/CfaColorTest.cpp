#include <gtest/gtest.h>

#include <memory>

#include "raw/core/CfaColor.h"

using namespace raw;

TEST(CfaColor, BayerWordRepeatsEveryTwoRowsAndColumns) {
    auto s = std::make_unique<DecoderState>();
    s->cfa_pattern = 0x94949494; // rows: R G / G B
    const int expected[2][2] = {{0, 1}, {1, 2}};
    for (int r = -4; r < 12; ++r)
        for (int c = -4; c < 12; ++c)
            EXPECT_EQ(cfa_color(*s, r, c), expected[r & 1][c & 1]) << r << "," << c;
}

TEST(CfaColor, EightRowCellUsesEveryRow) {
    auto s = std::make_unique<DecoderState>();
    s->cfa_pattern = 0x1E0000E1; // one nibble per row, row 0 lowest
    const int expected[8][2] = {{1, 0}, {2, 3}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {2, 3}, {1, 0}};
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(cfa_color(*s, r, c), expected[r % 8][c % 2]) << r << "," << c;
}

TEST(CfaColor, XTransCellWrapsNegativePositions) {
    auto s = std::make_unique<DecoderState>();
    s->cfa_pattern = kPatternXTrans;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            s->xtrans_layout[r][c] = int8_t((r * 6 + c) % 3);
    EXPECT_EQ(cfa_color(*s, -6, -6), s->xtrans_layout[0][0]);
    EXPECT_EQ(cfa_color(*s, -1, 7), s->xtrans_layout[5][1]);
    EXPECT_EQ(cfa_color(*s, 13, -13), s->xtrans_layout[1][5]);
}

TEST(CfaColor, FixedTableFollowsTheMargins) {
    auto s = std::make_unique<DecoderState>();
    s->cfa_pattern = kPatternLeaf16;
    EXPECT_EQ(cfa_color(*s, 0, 0), 2);
    EXPECT_EQ(cfa_color(*s, 0, 7), 0);
    EXPECT_EQ(cfa_color(*s, 15, 15), 3);
    s->margin_top = 1;
    s->margin_left = 2;
    EXPECT_EQ(cfa_color(*s, 0, 0), 0) << "row 1, column 2 of the table";
    EXPECT_EQ(cfa_color(*s, 15, 13), 0) << "wraps to row 0, column 15";
}
