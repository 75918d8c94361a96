#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "raw/loaders/Loaders.h"
#include "tests/support/MemoryFile.h"

using namespace raw;
using testsupport::MemoryFile;

namespace {

// Runs a writer over `input` and returns what it wrote.
std::string write_thumb(Routine writer, std::vector<uint8_t> input, uint16_t width, uint16_t height,
                        uint32_t misc = 0, uint16_t order = 0x4D4D, int* errors = nullptr) {
    MemoryFile in(std::move(input));
    auto s = std::make_unique<DecoderState>();
    s->input_file = in.get();
    s->byte_order = order;
    s->thumbnail_width = width;
    s->thumbnail_height = height;
    s->thumbnail_misc = misc;
    s->output_file = std::tmpfile();
    writer(*s);
    std::string out(size_t(std::ftell(s->output_file)), '\0');
    std::rewind(s->output_file);
    EXPECT_EQ(std::fread(out.data(), 1, out.size(), s->output_file), out.size());
    std::fclose(s->output_file);
    if (errors) *errors = s->data_error_count;
    return out;
}

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out.push_back(char(v));
    return out;
}

} // namespace

TEST(ThumbnailWriters, WriteNetpbmFiles) {
    EXPECT_EQ(write_thumb(ppm_thumb, {1, 2, 3, 4, 5, 6}, 2, 1), "P6\n2 1\n255\n" + bytes({1, 2, 3, 4, 5, 6}));
    // 16-bit values in the file's byte order; the high byte of each is written.
    EXPECT_EQ(write_thumb(ppm16_thumb, {0x12, 0x34, 0xAB, 0xCD, 0x00, 0xFF}, 1, 1),
              "P6\n1 1\n255\n" + bytes({0x12, 0xAB, 0x00}));
    EXPECT_EQ(write_thumb(ppm16_thumb, {0x12, 0x34, 0xAB, 0xCD, 0x00, 0xFF}, 1, 1, 0, 0x4949),
              "P6\n1 1\n255\n" + bytes({0x34, 0xCD, 0xFF}));
    // 5-6-5 fields: 0x0821 has the lowest bit of each field set.
    EXPECT_EQ(write_thumb(rollei_thumb, {0xFF, 0xFF, 0x08, 0x21}, 2, 1),
              "P6\n2 1\n255\n" + bytes({0xF8, 0xFC, 0xF8, 0x08, 0x04, 0x08}));
}

TEST(ThumbnailWriters, LayersAreInterleaved) {
    // Three planes of two pixels become RGB pixels; one plane a grey image.
    EXPECT_EQ(write_thumb(layer_thumb, {1, 2, 10, 20, 100, 200}, 2, 1, 3 << 5),
              "P6\n2 1\n255\n" + bytes({1, 10, 100, 2, 20, 200}));
    EXPECT_EQ(write_thumb(layer_thumb, {7, 8}, 1, 2, 1 << 5), "P5\n1 2\n255\n" + bytes({7, 8}));
}

TEST(ThumbnailWriters, ShortInputReadsAsAllOnes) {
    int errors = 0;
    EXPECT_EQ(write_thumb(ppm_thumb, {1, 2, 3, 4}, 2, 1, 0, 0x4D4D, &errors),
              "P6\n2 1\n255\n" + bytes({1, 2, 3, 4, 0xFF, 0xFF}));
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(write_thumb(ppm16_thumb, {0x12, 0x34}, 1, 1, 0, 0x4D4D, &errors),
              "P6\n1 1\n255\n" + bytes({0x12, 0xFF, 0xFF}));
    EXPECT_EQ(errors, 1);
}
