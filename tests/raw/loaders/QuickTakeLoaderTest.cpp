#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "raw/core/DecoderError.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/LoaderRig.h"

using namespace raw;
using testsupport::LoaderRig;

namespace {

std::vector<uint8_t> noise(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes)
        b = uint8_t(gen());
    return bytes;
}

} // namespace

TEST(QuickTakeLoader, FirstSiteTakesTheGridStartPlusItsStep) {
    // The first 4-bit code steps from the grid's 128; the curve maps 128 + 89 to 598.
    std::vector<uint8_t> bytes = noise(4096, 1);
    bytes[0] = 0xF0 | (bytes[0] & 0x0F);
    LoaderRig rig(bytes, 16, 8);
    rig.run(quicktake_100_load_raw);
    EXPECT_EQ(rig.at(0, 0), 598);
    EXPECT_EQ(rig.s->white_level, 1023u);
    EXPECT_EQ(rig.s->data_error_count, 0);
}

TEST(QuickTakeLoader, LargestAndOddSizesStayInsideTheGrid) {
    // The grid's far edges are reached at 640 x 480; odd sizes shift the checkerboard.
    struct Size {
        uint16_t width, height;
    };
    for (Size size : {Size{640, 480}, Size{639, 479}, Size{1, 1}}) {
        LoaderRig rig(noise(size_t(size.width) * size.height, size.width), size.width, size.height);
        rig.run(quicktake_100_load_raw);
        for (uint16_t v : rig.raw)
            ASSERT_LE(v, 1023) << size.width;
    }
}

TEST(QuickTakeLoader, RefusesPicturesLargerThanItsGrid) {
    for (auto [width, height] : {std::pair<uint16_t, uint16_t>{641, 480}, {640, 481}}) {
        LoaderRig rig(std::vector<uint8_t>(16, 0), width, height);
        std::string text;
        try {
            rig.run(quicktake_100_load_raw);
        } catch (const DecoderText& t) {
            text = t.text;
        }
        EXPECT_EQ(text, "raw format corrupts in quicktake_100_load_raw") << width << "x" << height;
    }
}
