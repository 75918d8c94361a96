#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"

using namespace raw;
using testsupport::LoaderRig;

TEST(Nokia, UnpacksFiveByteGroupsInEitherOrder) {
    // 0x3FF, 0, 0x155, 0x2AA: high bytes, then the low bit pairs 3, 0, 1, 2.
    const std::vector<uint8_t> group = {0xFF, 0x00, 0x55, 0xAA, 0x93};
    const std::vector<uint16_t> samples = {0x3FF, 0, 0x155, 0x2AA};
    struct Case {
        const char* name;
        uint16_t order, width;
        std::vector<uint8_t> row;
        std::vector<uint16_t> expected;
    };
    // Little endian: the bytes of every four reversed; a 10-byte row's last group reaches
    // past the bytes read into zeroed room.
    const Case cases[] = {
        {"big endian", 0x4D4D, 4, group, samples},
        {"little endian",
         0x4949,
         8,
         {0xAA, 0x55, 0x00, 0xFF, 0x00, 0x01, 0x02, 0x93, 0x04, 0x03},
         {0x3FF, 0, 0x155, 0x2AA, 0x02 << 2, 0x01 << 2, 0, 0}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = c.row;
        bytes.insert(bytes.end(), c.row.begin(), c.row.end());
        LoaderRig rig(bytes, c.width, 2);
        rig.s->byte_order = c.order;
        rig.run(nokia_load_raw);
        EXPECT_EQ(rig.row(0), c.expected) << c.name;
        EXPECT_EQ(rig.row(1), c.expected) << c.name;
        EXPECT_EQ(rig.s->white_level, 1023u);
        EXPECT_EQ(rig.s->data_error_count, 0) << c.name;
    }
}

TEST(Nokia, OmniVisionPatternFollowsTheCalmerDiagonal) {
    // Rows 2 and 3 of four: a lone 100 at (2, 1) differs along one diagonal direction only.
    std::vector<uint8_t> bytes(5 * 4, 0);
    bytes[2 * 5 + 1] = 25; // 100 >> 2
    for (const char* make : {"OmniVision", "Nokia"}) {
        LoaderRig rig(bytes, 4, 4);
        rig.s->byte_order = 0x4D4D;
        rig.s->cfa_pattern = 0x94949494;
        std::strcpy(rig.s->camera_make, make);
        rig.run(nokia_load_raw);
        EXPECT_EQ(rig.s->cfa_pattern, std::strcmp(make, "Nokia") ? 0x4B4B4B4Bu : 0x94949494u) << make;
    }
}

TEST(Nokia, ShortFileStopsWithAnError) {
    LoaderRig rig({0xFF, 0x00}, 4, 3);
    rig.s->byte_order = 0x4D4D;
    rig.run(nokia_load_raw);
    EXPECT_GT(rig.s->data_error_count, 0);
    EXPECT_EQ(rig.row(2), std::vector<uint16_t>(4, 0));
}
