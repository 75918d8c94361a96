#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "raw/core/InputReaders.h"
#include "raw/identify/Identify.h"
#include "tests/raw/IdentifyKit.h"
#include "tests/support/BitWriter.h"
#include "tests/support/MemoryFile.h"

using namespace raw;
using identifykit::freshState;
using testsupport::MemoryFile;

namespace {

std::vector<uint8_t> words(const std::vector<uint16_t>& values, bool bigEndian) {
    std::vector<uint8_t> out;
    for (uint16_t v : values) {
        out.push_back(uint8_t(bigEndian ? v >> 8 : v));
        out.push_back(uint8_t(bigEndian ? v : v >> 8));
    }
    return out;
}

uint16_t guess(const std::vector<uint8_t>& bytes, int count, double* sum = nullptr) {
    MemoryFile file(bytes);
    auto s = freshState();
    s->input_file = file.get();
    return guess_sample_byte_order(*s, count, sum);
}

// Samples packed most significant bit first, then stored 32 bits at a time least
// significant byte first.
std::vector<uint8_t> packed12(const std::vector<uint16_t>& samples) {
    testsupport::BitWriter bits;
    for (uint16_t v : samples)
        bits.put(v, 12);
    std::vector<uint8_t> stream = bits.finish(0);
    stream.resize((stream.size() + 3) / 4 * 4);
    for (size_t i = 0; i < stream.size(); i += 4)
        std::reverse(stream.begin() + long(i), stream.begin() + long(i) + 4);
    return stream;
}

double greenRatio(const std::vector<uint8_t>& bytes, uint16_t width, int bits, int perRead, uint64_t b) {
    MemoryFile file(bytes);
    auto s = freshState();
    s->input_file = file.get();
    s->visible_width = width;
    return green_difference_ratio(*s, bits, perRead, 0, b);
}

} // namespace

TEST(SampleStatistics, ByteOrderGuessPrefersTheSmootherReading) {
    std::vector<uint16_t> ramp;
    for (int i = 0; i < 64; ++i)
        ramp.push_back(uint16_t(1000 + 3 * i));
    EXPECT_EQ(guess(words(ramp, true), 64), kBigEndian);
    EXPECT_EQ(guess(words(ramp, false), 64), kLittleEndian);

    // 1, 2, 3, 4 stored little endian read 256, 512, 768, 1024 big endian.
    double bigSum = -1;
    EXPECT_EQ(guess(words({1, 2, 3, 4}, false), 4, &bigSum), kLittleEndian);
    EXPECT_EQ(bigSum, 2 * 512.0 * 512.0);
    EXPECT_EQ(guess(words({1, 2}, true), 2, &bigSum), kLittleEndian) << "two words decide nothing";
    EXPECT_EQ(bigSum, 0);
    EXPECT_EQ(guess({}, 100), kLittleEndian) << "past the end every word reads the same";
}

TEST(SampleStatistics, GreenDifferenceRatioTellsThePhaseOfThePattern) {
    // Row a: G R G R; row b: B G B G. The greens meet on the pairs binned as even.
    const std::vector<uint16_t> a = {100, 1000, 102, 1000}, b = {3000, 104, 3000, 106};
    const double expected = 100 * std::log(10.0 / 6000.0);
    std::vector<uint8_t> plain = words(a, false), second = words(b, false);
    plain.insert(plain.end(), second.begin(), second.end());
    EXPECT_NEAR(greenRatio(plain, 4, 16, 16, 8), expected, 1e-9);

    std::vector<uint8_t> swapped = words(b, false), rest = words(a, false);
    swapped.insert(swapped.end(), rest.begin(), rest.end());
    EXPECT_NEAR(greenRatio(swapped, 4, 16, 16, 8), -expected, 1e-9) << "the other phase";

    std::vector<uint8_t> packed = packed12(a), packedB = packed12(b);
    const uint64_t at = packed.size();
    packed.insert(packed.end(), packedB.begin(), packedB.end());
    EXPECT_NEAR(greenRatio(packed, 4, 12, 32, at), expected, 1e-9) << "12-bit samples in 32-bit reads";

    EXPECT_TRUE(std::isnan(greenRatio(plain, 0, 16, 16, 8))) << "no samples";
    EXPECT_TRUE(std::isnan(greenRatio(plain, 4, 16, 12, 8))) << "reads must be whole bytes";
}

TEST(SampleStatistics, SimpleMatricesAreReadAsRowsOfTheColourCount) {
    auto three = freshState();
    three->colour_count = 3;
    three->camera_colour_output = 1;
    set_simple_matrix(*three, 2);
    EXPECT_FLOAT_EQ(three->rgb_from_camera[0][0], 1.893f);
    EXPECT_FLOAT_EQ(three->rgb_from_camera[1][0], -0.495f);
    EXPECT_FLOAT_EQ(three->rgb_from_camera[2][2], 2.672f);
    EXPECT_EQ(three->rgb_from_camera[0][3], 0.0f);
    EXPECT_EQ(three->camera_colour_output, 0);

    auto four = freshState();
    four->colour_count = 4;
    set_simple_matrix(*four, 3);
    EXPECT_FLOAT_EQ(four->rgb_from_camera[0][3], 2.5843f);
    EXPECT_FLOAT_EQ(four->rgb_from_camera[1][0], 1.4054f);
    EXPECT_FLOAT_EQ(four->rgb_from_camera[2][3], -1.8187f);

    auto odd = freshState();
    odd->colour_count = 9; // never read past the twelve values
    odd->camera_colour_output = 1;
    set_simple_matrix(*odd, 3);
    EXPECT_FLOAT_EQ(odd->rgb_from_camera[2][3], -1.8187f);
    set_simple_matrix(*odd, 4);
    EXPECT_FLOAT_EQ(odd->rgb_from_camera[2][3], -1.8187f) << "no such matrix: nothing changes";
}
