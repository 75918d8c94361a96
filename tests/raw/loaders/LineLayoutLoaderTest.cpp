#include <gtest/gtest.h>

#include <vector>

#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"

using namespace raw;
using testsupport::LoaderRig;

TEST(ThreePerWord, UnpacksAndMovesTheFirstFourSamplesTwoRowsUp) {
    std::vector<uint8_t> bytes;
    for (uint32_t row = 0; row < 3; ++row)
        for (uint32_t j = 0; j < 6; j += 3) {
            const uint32_t v = row * 10 + j + 1;
            const uint32_t word = v << 2 | (v + 1) << 12 | (v + 2) << 22;
            for (int k = 0; k < 4; ++k)
                bytes.push_back(uint8_t(word >> (8 * k)));
        }
    LoaderRig rig(bytes, 6, 3);
    for (uint32_t i = 0; i < 65536; ++i)
        rig.s->tone_table[i] = uint16_t(2 * i);
    rig.run(three_per_word_load_raw);
    // Stored row r holds 10r + 1 .. 10r + 6; its first four go to the end of row r - 2.
    EXPECT_EQ(rig.row(0), (std::vector<uint16_t>{10, 12, 42, 44, 46, 48}));
    EXPECT_EQ(rig.row(1), (std::vector<uint16_t>{30, 32, 2, 4, 6, 8}));
    EXPECT_EQ(rig.row(2), (std::vector<uint16_t>{50, 52, 22, 24, 26, 28}));
    EXPECT_EQ(rig.s->white_level, 2046u);
    EXPECT_EQ(rig.s->data_error_count, 0);

    LoaderRig cut(std::vector<uint8_t>(8, 0), 6, 3);
    cut.run(three_per_word_load_raw);
    EXPECT_GT(cut.s->data_error_count, 0);
}

TEST(LineRemap8Bit, PlacesLinesInTheirRows) {
    // Line i holds bytes (i + k) mod 256.
    std::vector<uint8_t> bytes(size_t(1481) * 768);
    for (size_t i = 0; i < 1481; ++i)
        for (size_t k = 0; k < 768; ++k)
            bytes[i * 768 + k] = uint8_t(i + k);
    LoaderRig rig(bytes, 1534, 986);
    rig.run(line_remap_8bit_load_raw);
    struct Probe {
        int row, col, value;
        const char* why;
    };
    const Probe probes[] = {
        {1, 3, 2 * 1, "line 0 (even group): odd columns of row 1"},
        {1, 0, 2 * 82, "line 82 (odd group): row 1 at even columns"},
        {1, 2, 82 + 84, "line 82: neighbours summed"},
        {0, 3, 2 * 83, "line 82: row 0 at odd columns"},
        {0, 5, 83 + 85, "line 82: row 0 summed"},
        {0, 1, 2 * 83, "line 82: column 1 set last"},
        {0, 1533, 2 * ((82 + 765) % 256), "line 82: column 1533"},
        {0, 0, 2 * (984 % 256), "line 984 (group 12): even columns of row 0"},
        {13, 3, 2 * (1 % 256 + 1), "line 1 (group 0): row 13"},
        {984, 0, 2 * (1476 % 256), "line 1476"},
        {985, 0, 2 * (1478 % 256), "line 1478: summed layout at even columns"},
        {984, 3, 2 * ((1478 + 1) % 256), "line 1478: row 984 at odd columns"},
        {985, 1, 2 * (1480 % 256), "line 1480: odd columns of row 985"},
    };
    for (const Probe& p : probes)
        EXPECT_EQ(rig.at(p.row, p.col), p.value) << p.why;
    EXPECT_EQ(rig.s->white_level, 510u);
    EXPECT_EQ(rig.s->data_error_count, 0);

    LoaderRig cut(std::vector<uint8_t>(1000, 1), 1534, 986);
    cut.run(line_remap_8bit_load_raw);
    EXPECT_GT(cut.s->data_error_count, 0);
}
